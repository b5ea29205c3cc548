// SPDX-License-Identifier: MIT
// Settings file sections, keys and defaults, and the port table.
#include "Settings.h"

#include "ChipTable.h"
#include "DeviceCatalogue.h"
#include "IniFile.h"
#include "StoredSettings.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace kavoda {

QString PortSetting;
QString ProgramVersion;

const std::array<PortChoice, 3> kPortChoices = {{
    {"     Port 0278", "Port2", 0x278},
    {"     Port 0378", "Port1", 0x378},
    {"     Port 03BC", "Port3", 0x3BC},
}};

namespace {
constexpr int kFallbackItem = 1; // "Port1"
constexpr std::string_view kTypeSection = "Device Type";
constexpr std::string_view kTypeKey = "Type";
constexpr std::string_view kOrgKey = "Org";
constexpr std::string_view kByteOrderKey = "ByteOrder";

QString& folderOverride()
{
    static QString folder;
    return folder;
}

// The settings file's bytes are Latin-1, as the window's texts go in and out.
QString fromFile(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toFile(const QString& text)
{
    return text.toLatin1().toStdString();
}

IniFile settingsIni()
{
    return IniFile(settingsFilePath(), kSettingsFileName);
}
} // namespace

QString settingsFolder()
{
    if (!folderOverride().isEmpty())
        return folderOverride();
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

void setSettingsFolder(const QString& folder)
{
    folderOverride() = folder;
}

std::string settingsFilePath()
{
    const QString path = QDir(settingsFolder()).filePath(QString::fromLatin1(kSettingsFileName));
    return QFile::encodeName(path).toStdString();
}

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
    // The reader kavoda-cli uses too, so that both find the same port and delay.
    const StoredSettings stored = readStoredSettings(settingsFilePath());
    PortSetting = fromFile(stored.portSetting);
    BusDelay = stored.busDelay;
    ProgramVersion = kProgramVersion;
    PortBase = portBaseFor(PortSetting);
}

void saveSettings()
{
    IniFile ini = settingsIni();
    ini.writeString("Device Port", "Port", toFile(PortSetting));
    ini.writeString("Version", "Version", toFile(ProgramVersion));
    ini.writeInteger("Delay", "Delay", BusDelay);
}

StoredType loadTypeSetting()
{
    const IniFile ini = settingsIni();
    return {ini.readString(kTypeSection, kTypeKey, {}), ini.readString(kTypeSection, kOrgKey, {}),
            ini.readString(kTypeSection, kByteOrderKey, {})};
}

void saveTypeSetting(const ChipType& chip, bool onlyIfKept)
{
    IniFile ini = settingsIni();
    if (onlyIfKept && ini.readString(kTypeSection, kTypeKey, {}).empty())
        return;
    ini.writeString(kTypeSection, kTypeKey, chip.caption);
    std::string org;
    std::string order;
    if (chip.isMicrowire()) {
        org = std::to_string(chip.microwire.organisation);
        if (chip.microwire.organisation == 16)
            order = chip.microwire.byteOrder == ByteOrder::Little ? "little" : "big";
    }
    // A key another type left is emptied, not kept: it would speak for the
    // next Microwire type named by hand.
    if (!org.empty() || !ini.readString(kTypeSection, kOrgKey, {}).empty())
        ini.writeString(kTypeSection, kOrgKey, org);
    if (!order.empty() || !ini.readString(kTypeSection, kByteOrderKey, {}).empty())
        ini.writeString(kTypeSection, kByteOrderKey, order);
}

} // namespace kavoda
