// SPDX-License-Identifier: MIT
// The main window's device catalogue (its rows of the chip table) and the
// process-wide device state (port base, selected type, block count, bus
// delay, fast-timing flag).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "ChipTable.h"

namespace kavoda {

// One device type as the main window's device menus offer it: a row of the
// chip table.
using CatalogueEntry = ChipType;

// The window's rows of the chip table, in menu order: the 24C types, then
// the SDA types.
class WindowCatalogue {
public:
    const ChipType* begin() const { return kChipTable.data(); }
    const ChipType* end() const { return kChipTable.data() + kWindowChipCount; }
    std::size_t size() const { return kWindowChipCount; }
    const ChipType& operator[](std::size_t i) const { return kChipTable[i]; }
};
inline constexpr WindowCatalogue kCatalogue{};

// Case-insensitive lookup among the window's types ("24c16", "SDA3546");
// nullptr if unknown.
const CatalogueEntry* findDevice(std::string_view caption);
// The window's captions in menu order, "24C02, 24C04, ...", for messages.
std::string catalogueCaptions();
// Lookup of a window type by DeviceType code; nullptr if no entry has it.
const CatalogueEntry* findDeviceByType(std::uint8_t deviceType);
// The window's family rule: a code of 5 or less is the 24C family, 6 or
// more the SDA family.
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
