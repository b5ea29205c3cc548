// SPDX-License-Identifier: MIT
#include "myfunc.h"

namespace kavoda {

namespace {

// The bytes of the UTF-8 character that starts text; a stray byte counts as
// one character, so a broken text still names what it choked on.
std::string_view firstCharacter(std::string_view text)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 1;
    if (lead >= 0xF0 && lead < 0xF8)
        length = 4;
    else if (lead >= 0xE0)
        length = lead < 0xF0 ? 3 : 1;
    else if (lead >= 0xC0)
        length = 2;
    if (length > text.size())
        length = 1;
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            return text.substr(0, 1);
    }
    return text.substr(0, length);
}

// The text is upper-cased (ASCII letters only) before it is read, so a bad
// lower-case letter is named in capitals.
int digitValue(std::string_view character)
{
    std::string upper(character);
    if (upper.size() == 1 && upper[0] >= 'a' && upper[0] <= 'z')
        upper[0] = static_cast<char>(upper[0] - 'a' + 'A');
    if (upper.size() == 1) {
        const char c = upper[0];
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
    }
    throw ConversionError("'" + upper + "' is not a valid integer value");
}

} // namespace

std::uint8_t HexToByte(std::string_view text)
{
    if (text.empty())
        return 0;
    const std::string_view first = firstCharacter(text);
    const int high = digitValue(first);
    const std::string_view rest = text.substr(first.size());
    if (rest.empty())
        return static_cast<std::uint8_t>(high);
    const int low = digitValue(firstCharacter(rest));
    return static_cast<std::uint8_t>(high * 16 + low);
}

} // namespace kavoda
