// SPDX-License-Identifier: MIT
// Reading the port and delay from the settings file.
#include "ToolSettings.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kavoda {

namespace {

constexpr std::size_t kMaxValueLength = 1023;

std::string_view trimmed(std::string_view text)
{
    const char* const space = " \t\r\n\v\f";
    const std::size_t first = text.find_first_not_of(space);
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(space);
    return text.substr(first, last - first + 1);
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        if (lower(x) != lower(y))
            return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> iniValue(std::string_view text, std::string_view section,
                                    std::string_view key)
{
    bool inSection = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = trimmed(text.substr(start, end - start));
        start = end + 1;
        if (!line.empty() && line[0] == '[') {
            const std::size_t close = line.find(']');
            const std::string_view name =
                close == std::string_view::npos ? line.substr(1) : line.substr(1, close - 1);
            inSection = sameName(trimmed(name), section);
            continue;
        }
        if (!inSection || line.empty() || line[0] == ';')
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || !sameName(trimmed(line.substr(0, eq)), key))
            continue;
        std::string_view value = trimmed(line.substr(eq + 1));
        // One pair of matching quotes around a value is not part of it.
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return std::string(value.substr(0, kMaxValueLength));
    }
    return std::nullopt;
}

std::optional<std::int32_t> parseIniNumber(std::string_view text)
{
    text = trimmed(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text[0] == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    std::uint64_t magnitude = 0;
    for (const char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return std::nullopt;
        magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (magnitude > 0xFFFFFFFFull)
            return std::nullopt;
    }
    std::int64_t value;
    if (base == 16) {
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
    } else {
        value = static_cast<std::int64_t>(magnitude);
        if (value > (negative ? 0x80000000LL : 0x7FFFFFFFLL))
            return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

std::string defaultSettingsFolder()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home && home[0] ? home : "") + "/.config";
}

std::uint16_t portBaseForSetting(std::string_view setting)
{
    if (setting == "Port2")
        return 0x278;
    if (setting == "Port3")
        return 0x3BC;
    return 0x378;
}

ToolSettings readToolSettings(const std::string& folder)
{
    ToolSettings settings;
    settings.path = folder + "/" + kToolSettingsFileName;
    std::string text;
    if (std::ifstream in{settings.path, std::ios::binary}) {
        std::ostringstream all;
        all << in.rdbuf();
        text = all.str();
    }
    settings.portSetting = iniValue(text, "Device Port", "Port").value_or("Port2");
    settings.portBase = portBaseForSetting(settings.portSetting);
    const auto delay = iniValue(text, "Delay", "Delay");
    settings.busDelay = (delay ? parseIniNumber(*delay) : std::nullopt).value_or(10);
    const auto adapter = iniValue(text, "Adapter", "Adapter");
    if (adapter && !adapter->empty()) {
        settings.adapter = parseAdapter(*adapter).value_or(AdapterChoice{});
        const auto speed = iniValue(text, "Adapter", "Speed");
        const auto khz = speed ? parseIniNumber(*speed) : std::nullopt;
        settings.adapter->speed =
            (khz ? i2cSpeedFromKhz(*khz) : std::nullopt).value_or(kDefaultI2cSpeed);
    }
    return settings;
}

}  // namespace kavoda
