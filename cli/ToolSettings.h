// SPDX-License-Identifier: MIT
// The values kavoda-cli takes from the window's settings file "Kavoda.INI":
// the port, the bus delay and the adapter, read by the window's own reader.
// Read only; the tool never writes the file.
#pragma once

#include <string>

#include "IniFile.h"
#include "StoredSettings.h"

namespace kavoda {

inline constexpr const char* kToolSettingsFileName = kSettingsFileName;

// The user's configuration folder as the window finds it: $XDG_CONFIG_HOME
// when it is an absolute path, else $HOME/.config.
std::string defaultSettingsFolder();

struct ToolSettings : StoredSettings {
    std::string path;  // the file consulted
};

// Reads folder/Kavoda.INI; a missing or unreadable file gives the window's
// defaults ("Port2", 10).
ToolSettings readToolSettings(const std::string& folder);

}  // namespace kavoda
