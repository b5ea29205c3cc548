// SPDX-License-Identifier: MIT
// HexToByte on arbitrary bytes: the value of one or two hex digits, or a
// ConversionError that names the first character it could not read.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "myfunc.h"

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
        return (c | 0x20) - 'a' + 10;
    return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const int high = text.empty() ? 0 : hexDigit(text[0]);
    const int low = text.size() < 2 ? -2 : hexDigit(text[1]);
    const bool valid = text.empty() || (high >= 0 && low != -1);
    try {
        const int value = kavoda::HexToByte(text);
        if (!valid)
            std::abort();
        const int expected = text.empty() ? 0 : low == -2 ? high : high * 16 + low;
        if (value != expected)
            std::abort();
    } catch (const kavoda::ConversionError& e) {
        if (valid)
            std::abort();
        const std::size_t at = high < 0 ? 0 : 1;
        if (text[at] == '\0')
            return 0;  // a C string's message ends at it
        const std::string message = e.what();
        const std::string tail = "' is not a valid integer value";
        if (message.size() < tail.size() + 2 || message[0] != '\'' ||
            message.compare(message.size() - tail.size(), tail.size(), tail) != 0)
            std::abort();
        // The character named is the one at fault, from the text itself.
        const std::string named = message.substr(1, message.size() - tail.size() - 1);
        if (named.empty() || named.size() > 4 ||
            (named.size() == 1 && hexDigit(named[0]) >= 0) ||
            (text.compare(at, named.size(), named) != 0 &&
             !(named.size() == 1 && (named[0] | 0x20) == (text[at] | 0x20))))
            std::abort();
    }
    return 0;
}
