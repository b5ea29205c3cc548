// SPDX-License-Identifier: MIT
// The settings values and the settings file "Kavoda.INI": the port table,
// and loading and saving PortSetting, BusDelay and the version. The main
// window's LoadSettings/SaveSettings add the "Port" field on top of these.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kavoda {

// The stored port choice: "Port1", "Port2" or "Port3"; any other text counts
// as "Port1".
extern QString PortSetting;
// The version text, "1.2 1998"; written to the settings file, never read back.
extern QString ProgramVersion;

inline const QString kProgramVersion = QStringLiteral("1.2 1998");

// The folder of the settings file: the user's configuration folder unless a
// test has redirected it.
QString settingsFolder();
// Redirects it to another folder; an empty text restores the default.
void setSettingsFolder(const QString& folder);
// The settings file "Kavoda.INI" in settingsFolder(), as a local path.
std::string settingsFilePath();

// One choice of the port dialog's radio group, in item order.
struct PortChoice {
    const char* itemText; // radio item, five leading blanks
    const char* setting;  // PortSetting as stored
    std::uint16_t base;   // PortBase
};
extern const std::array<PortChoice, 3> kPortChoices;

// The radio item that matches the stored text exactly; item 1 ("Port1")
// for every other text.
int portItemFor(const QString& setting);
// The base address of that item.
std::uint16_t portBaseFor(const QString& setting);

// Reads the file: PortSetting, BusDelay, ProgramVersion, then PortBase.
void loadSettings();
// Writes PortSetting, ProgramVersion and BusDelay, in that order; throws
// IniWriteError "Unable to write to Kavoda.INI" at the first write that fails.
void saveSettings();

struct ChipType;

// The type chosen last, kept in a section of its own that older files lack:
//   [Device Type]
//   Type=93C66
//   Org=16
//   ByteOrder=little
// Org (8 or 16) and ByteOrder (big or little) only for a Microwire type.
// Each text empty when the file has none.
struct StoredType {
    std::string type;
    std::string org;
    std::string byteOrder;
};
StoredType loadTypeSetting();
// Stores it; with onlyIfKept, only into a file that already keeps one (a
// choice from the device menus leaves an older file as it was).
void saveTypeSetting(const ChipType& chip, bool onlyIfKept = false);

} // namespace kavoda
