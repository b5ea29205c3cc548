// SPDX-License-Identifier: MIT
// What both programs take from the settings file: the port, the delay and
// the adapter.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Adapter.h"
#include "IniFile.h"

namespace kavoda {

// What both programs take from the settings file.
struct StoredSettings {
    std::string portSetting;  // "Port1", "Port2", "Port3" or any other text
    std::uint16_t portBase;   // 0x278 for "Port2", 0x3BC for "Port3", else 0x378
    std::int32_t busDelay;    // 10 when missing or no integer
    // [Adapter]: empty when the file names none (the parallel port); a text
    // that names no adapter means the parallel port, an unknown Speed 100 kHz.
    std::optional<AdapterChoice> adapter;
};

// The port base of a stored port text: exact and case-sensitive, every
// unknown text meaning "Port1".
std::uint16_t portBaseForSetting(std::string_view setting);

// Reads the settings file at path; a missing or unreadable file gives the
// defaults ("Port2", 10, no adapter). Writes nothing.
StoredSettings readStoredSettings(const std::string& path);

}  // namespace kavoda
