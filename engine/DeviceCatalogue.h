// SPDX-License-Identifier: MIT
// The catalogue of supported EEPROM types and the process-wide device state
// (port base, selected type, block count, bus delay, fast-timing flag).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kavoda {

enum class Family { C24, SDA };

// One device type as the main window's device menus offer it.
struct CatalogueEntry {
    std::string_view menu;       // the menu-bar entry that lists it
    std::string_view caption;    // the menu item's caption
    std::string_view handler;    // the main window's click handler
    std::string_view panelText;  // shown in the status panel once chosen
    std::uint8_t deviceType;     // 1..4 (24C), 6..8 (SDA); no type has code 5
    std::uint8_t lastBlock;      // 256-byte blocks minus one
    Family family;
    int sizeBytes() const { return (lastBlock + 1) * 256; }
};

// In menu order: the 24C types, then the SDA types.
extern const std::array<CatalogueEntry, 7> kCatalogue;

// Case-insensitive lookup by caption ("24c16", "SDA3546"); nullptr if unknown.
const CatalogueEntry* findDevice(std::string_view caption);
// The captions in catalogue order, "24C02, 24C04, ...", for messages.
std::string catalogueCaptions();
// Lookup by DeviceType code; nullptr if no entry has it.
const CatalogueEntry* findDeviceByType(std::uint8_t deviceType);
// A code of 5 or less is the 24C family, 6 or more the SDA family.
Family familyOf(std::uint8_t deviceType);

// Sets LastBlock, then DeviceType, from the entry; nothing else changes.
void SelectDevice(const CatalogueEntry& entry);

// Process-wide device state, read by the bus driver and the device operations.
extern std::uint16_t PortBase;   // data register; status +1, control +2
extern std::uint8_t DeviceType;
extern std::uint8_t LastBlock;
extern std::int32_t BusDelay;    // the "Delay" setting; scales every bus wait
extern std::uint8_t FastTiming;  // 1 halves every bus wait (reads)

// The start values, also what resetDeviceState() restores.
inline constexpr std::uint16_t kDefaultPortBase = 0x378;
inline constexpr std::uint8_t kDefaultDeviceType = 1;
inline constexpr std::uint8_t kDefaultLastBlock = 0;
inline constexpr std::int32_t kDefaultBusDelay = 10;
inline constexpr std::uint8_t kDefaultFastTiming = 1;

// Puts every value above back to its start value (start-up, tests).
void resetDeviceState();

}  // namespace kavoda
