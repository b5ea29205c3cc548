// SPDX-License-Identifier: MIT
// Small conversions shared by the page view: a cell's text back to a byte.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kavoda {

// A text that does not convert to a number.
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The byte of a hex cell's text (UTF-8): empty gives 0, one character its
// own value, otherwise the first two characters as two hexadecimal digits;
// anything after the second is ignored. A..F count in either case. Any other
// character than 0..9 and A..F raises ConversionError
// "'%s' is not a valid integer value" naming that one character.
std::uint8_t HexToByte(std::string_view text);

} // namespace kavoda
