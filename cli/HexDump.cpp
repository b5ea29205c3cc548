// SPDX-License-Identifier: MIT
// Formatting the dump listing.
#include "HexDump.h"

#include <cstdio>

namespace kavoda {

std::string hexDumpText(const std::uint8_t* bytes, std::size_t count, std::uint32_t start)
{
    std::string text;
    char cell[16];
    for (std::size_t line = 0; line < count; line += 16) {
        std::snprintf(cell, sizeof cell, "%08lx ",
                      static_cast<unsigned long>(start + line));
        text += cell;
        std::string chars = "|";
        for (std::size_t i = 0; i < 16; ++i) {
            if (i == 8)
                text += ' ';
            if (line + i < count) {
                const std::uint8_t b = bytes[line + i];
                std::snprintf(cell, sizeof cell, " %02x", b);
                text += cell;
                chars += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
            } else {
                text += "   ";
            }
        }
        text += "  " + chars + "|\n";
    }
    if (count > 0) {
        std::snprintf(cell, sizeof cell, "%08lx\n", static_cast<unsigned long>(start + count));
        text += cell;
    }
    return text;
}

}  // namespace kavoda
