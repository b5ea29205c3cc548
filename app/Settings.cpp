// SPDX-License-Identifier: MIT
// Settings file sections, keys and defaults, and the port table.
#include "Settings.h"

#include "DeviceCatalogue.h"
#include "IniFile.h"

namespace kavoda {

QString PortSetting;
QString ProgramVersion;

const std::array<PortChoice, 3> kPortChoices = {{
    {"     Port 0278", "Port2", 0x278},
    {"     Port 0378", "Port1", 0x378},
    {"     Port 03BC", "Port3", 0x3BC},
}};

namespace {
const QString kPortSection = QStringLiteral("Device Port");
const QString kPortKey = QStringLiteral("Port");
const QString kVersionSection = QStringLiteral("Version");
const QString kVersionKey = QStringLiteral("Version");
const QString kDelaySection = QStringLiteral("Delay");
const QString kDelayKey = QStringLiteral("Delay");
constexpr int kFallbackItem = 1; // "Port1"
} // namespace

int portItemFor(const QString& setting)
{
    // Exact, case-sensitive: "port2" is not "Port2".
    if (setting == QLatin1String(kPortChoices[0].setting))
        return 0;
    if (setting == QLatin1String(kPortChoices[2].setting))
        return 2;
    return kFallbackItem;
}

std::uint16_t portBaseFor(const QString& setting)
{
    return kPortChoices[static_cast<std::size_t>(portItemFor(setting))].base;
}

void loadSettings()
{
    {
        const IniFile ini(kSettingsFileName);
        PortSetting = ini.readString(kPortSection, kPortKey, QStringLiteral("Port2"));
        BusDelay = ini.readInteger(kDelaySection, kDelayKey, 10);
        ProgramVersion = kProgramVersion;
    }
    PortBase = portBaseFor(PortSetting);
}

void saveSettings()
{
    IniFile ini(kSettingsFileName);
    ini.writeString(kPortSection, kPortKey, PortSetting);
    ini.writeString(kVersionSection, kVersionKey, ProgramVersion);
    ini.writeInteger(kDelaySection, kDelayKey, BusDelay);
}

} // namespace kavoda
