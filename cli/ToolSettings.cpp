// SPDX-License-Identifier: MIT
// Where kavoda-cli finds the settings file.
#include "ToolSettings.h"

#include <cstdlib>

namespace kavoda {

std::string defaultSettingsFolder()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home && home[0] ? home : "") + "/.config";
}

ToolSettings readToolSettings(const std::string& folder)
{
    ToolSettings settings;
    settings.path = folder + "/" + kToolSettingsFileName;
    static_cast<StoredSettings&>(settings) = readStoredSettings(settings.path);
    return settings;
}

}  // namespace kavoda
