// SPDX-License-Identifier: MIT
// Hexadecimal texts of addresses and bytes, as both programs show them:
// upper case, zero padded.
#pragma once

#include <cstdint>
#include <string>

namespace kavoda {

enum class HexCase { Upper, Lower };

// value in hexadecimal with at least minDigits digits, more when it needs
// them: hexNumber(0x3BC, 4) is "03BC", hexNumber(0x12345, 4) "12345".
std::string hexNumber(std::uint64_t value, int minDigits, HexCase letters = HexCase::Upper);

// A byte as two digits: "3F".
inline std::string byteHex(std::uint8_t value)
{
    return hexNumber(value, 2);
}

// An address or offset as at least four digits: "01A3".
inline std::string addressHex(std::uint64_t value)
{
    return hexNumber(value, 4);
}

} // namespace kavoda
