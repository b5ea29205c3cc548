// SPDX-License-Identifier: MIT
// The values kavoda-cli takes from the window's settings file "Kavoda.INI":
// the port, the bus delay and the adapter. Read only; the tool never writes
// the file. Plain C++, with the private-profile reading rules the window
// uses: section and key names without regard to case, values trimmed and
// one pair of matching double or single quotes around them stripped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Adapter.h"

namespace kavoda {

inline constexpr const char* kToolSettingsFileName = "Kavoda.INI";

// The value of key in section, or empty when either is missing. Values are
// cut to 1023 characters, as the window reads them.
std::optional<std::string> iniValue(std::string_view text, std::string_view section,
                                    std::string_view key);

// An INI integer: optional sign, decimal digits or a "0x", "0X" or "$" prefix
// and hex digits, within 32 bits (hex texts cover the full bit pattern).
std::optional<std::int32_t> parseIniNumber(std::string_view text);

// The user's configuration folder as the window finds it: $XDG_CONFIG_HOME
// when it is an absolute path, else $HOME/.config.
std::string defaultSettingsFolder();

struct ToolSettings {
    std::string path;         // the file consulted
    std::string portSetting;  // "Port1", "Port2", "Port3" or any other text
    std::uint16_t portBase;   // 0x278 for "Port2", 0x3BC for "Port3", else 0x378
    std::int32_t busDelay;    // 10 when missing or no integer
    // [Adapter]: empty when the file names none (the parallel port); an
    // unknown text means the parallel port, an unknown Speed 100 kHz.
    std::optional<AdapterChoice> adapter;
};

// The port base the window derives from a stored port text: exact and
// case-sensitive, every unknown text meaning "Port1".
std::uint16_t portBaseForSetting(std::string_view setting);

// Reads folder/Kavoda.INI; a missing or unreadable file gives the window's
// defaults ("Port2", 10).
ToolSettings readToolSettings(const std::string& folder);

}  // namespace kavoda
