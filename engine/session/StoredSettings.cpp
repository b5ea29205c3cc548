// SPDX-License-Identifier: MIT
// The settings both programs read, through the settings file's reader.
#include "StoredSettings.h"

#include "I2cController.h"

namespace kavoda {

std::uint16_t portBaseForSetting(std::string_view setting)
{
    if (setting == "Port2")
        return 0x278;
    if (setting == "Port3")
        return 0x3BC;
    return 0x378;
}

StoredSettings readStoredSettings(const std::string& path)
{
    const IniFile ini(path);
    StoredSettings settings;
    settings.portSetting = ini.readString("Device Port", "Port", "Port2");
    settings.portBase = portBaseForSetting(settings.portSetting);
    settings.busDelay = ini.readInteger("Delay", "Delay", 10);
    const std::string adapter = ini.readString("Adapter", "Adapter", {});
    if (!adapter.empty()) {
        settings.adapter = parseAdapter(adapter).value_or(AdapterChoice{});
        const std::int32_t khz = ini.readInteger("Adapter", "Speed", kDefaultI2cSpeedKhz);
        settings.adapter->speed = i2cSpeedFromKhz(khz).value_or(kDefaultI2cSpeed);
    }
    return settings;
}

}  // namespace kavoda
