// SPDX-License-Identifier: MIT
#include "HexText.h"

#include <algorithm>

namespace kavoda {

std::string hexNumber(std::uint64_t value, int minDigits, HexCase letters)
{
    const char* digits = letters == HexCase::Upper ? "0123456789ABCDEF" : "0123456789abcdef";
    // Sixteen digits hold any value; wider texts are zeros in front.
    char text[16];
    int count = 0;
    do {
        text[15 - count++] = digits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    std::string result(static_cast<std::size_t>(std::max(0, minDigits - count)), '0');
    result.append(text + 16 - count, static_cast<std::size_t>(count));
    return result;
}

} // namespace kavoda
