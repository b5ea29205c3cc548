// SPDX-License-Identifier: MIT
// Formatting the dump listing.
#include "HexDump.h"

#include "HexText.h"

namespace kavoda {

std::string hexDumpText(const std::uint8_t* bytes, std::size_t count, std::uint32_t start)
{
    // Lower case, as hexdump -C writes it, so that the two listings compare.
    constexpr HexCase kLower = HexCase::Lower;
    std::string text;
    for (std::size_t line = 0; line < count; line += 16) {
        text += hexNumber(start + line, 8, kLower) + " ";
        std::string chars = "|";
        for (std::size_t i = 0; i < 16; ++i) {
            if (i == 8)
                text += ' ';
            if (line + i < count) {
                const std::uint8_t b = bytes[line + i];
                text += " " + hexNumber(b, 2, kLower);
                chars += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
            } else {
                text += "   ";
            }
        }
        text += "  " + chars + "|\n";
    }
    if (count > 0)
        text += hexNumber(start + count, 8, kLower) + "\n";
    return text;
}

}  // namespace kavoda
