// SPDX-License-Identifier: MIT
// The number parsers of both programs on arbitrary text: kavoda-cli's
// decimal or 0x-hex arguments up to a limit, and the window program's
// integer conversion of settings values and the Delay field. Each result is
// checked against a plain reading of the text.
#include <fuzzer/FuzzedDataProvider.h>

#include <QString>

#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <string>

#include "Cli.h"
#include "IniFile.h"
#include "Setup.h"

namespace {

bool isDigitIn(char c, int base)
{
    if (c >= '0' && c <= '9')
        return true;
    return base == 16 && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
}

int digitValue(char c)
{
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// The command-line tool's rule: digits, or 0x and hex digits; no sign, no
// blanks; at most max.
void checkCliNumber(const std::string& text, long max)
{
    const auto parsed = kavoda::parseCliNumber(text, max);
    std::string digits = text;
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.erase(0, 2);
    }
    bool valid = !digits.empty();
    unsigned __int128 value = 0;
    for (const char c : digits) {
        if (!isDigitIn(c, base)) {
            valid = false;
            break;
        }
        if (value <= static_cast<unsigned __int128>(max))
            value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digitValue(c));
    }
    valid = valid && value <= static_cast<unsigned __int128>(max);
    if (parsed.has_value() != valid)
        std::abort();
    if (parsed && static_cast<unsigned __int128>(*parsed) != value)
        std::abort();
}

// The window program's rule: an optional sign, then decimal digits, or 0x or
// $ and hex digits, within 32 bits; strToInt wants no surrounding blanks.
void checkWindowNumber(const std::string& bytes)
{
    const QString text = QString::fromLatin1(bytes.data(), static_cast<int>(bytes.size()));
    const std::optional<std::int32_t> parsed = kavoda::parseIniInteger(bytes);
    const bool ok = parsed.has_value();
    const std::int32_t value = parsed.value_or(0);
    if (ok) {
        // A value converts back to its own decimal and hexadecimal texts.
        if (kavoda::parseIniInteger(std::to_string(value)) != value)
            std::abort();
        if (kavoda::parseIniInteger(QStringLiteral("0x%1")
                                        .arg(static_cast<std::uint32_t>(value), 0, 16)
                                        .toStdString()) != value)
            std::abort();
    }
    // A plain decimal text within 32 bits is always accepted, with its value.
    if (!bytes.empty() && bytes.size() <= 9 &&
        bytes.find_first_not_of("0123456789") == std::string::npos) {
        if (!ok || value != std::strtol(bytes.c_str(), nullptr, 10))
            std::abort();
    }
    try {
        const int dialog = kavoda::strToInt(text);
        if (!ok || dialog != value || text != text.trimmed())
            std::abort();
    } catch (const std::runtime_error&) {
        if (ok && text == text.trimmed())
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const long limits[] = {0xFF, 0xFFFF, 1'000'000, 0x7FFFFFFF, std::numeric_limits<long>::max()};
    const long max = input.ConsumeBool() ? limits[input.ConsumeIntegralInRange(0, 4)]
                                         : input.ConsumeIntegralInRange<long>(0, 1L << 40);
    const std::string text = input.ConsumeRemainingBytesAsString();
    checkCliNumber(text, max);
    checkWindowNumber(text);
    return 0;
}
