// SPDX-License-Identifier: MIT
// The window's catalogue lookups and the device state variables.
#include "DeviceCatalogue.h"

namespace kavoda {

std::uint16_t PortBase = kDefaultPortBase;
std::uint8_t DeviceType = kDefaultDeviceType;
std::uint8_t LastBlock = kDefaultLastBlock;
std::int32_t BusDelay = kDefaultBusDelay;
std::uint8_t FastTiming = kDefaultFastTiming;

const CatalogueEntry* findDevice(std::string_view caption)
{
    const ChipType* chip = findChip(caption);
    return chip && chip->inWindow() ? chip : nullptr;
}

std::string catalogueCaptions()
{
    return chipCaptions(true);
}

const CatalogueEntry* findDeviceByType(std::uint8_t deviceType)
{
    const ChipType* chip = findChipByCode(deviceType);
    return chip && chip->inWindow() ? chip : nullptr;
}

Family familyOf(std::uint8_t deviceType)
{
    return deviceType <= 5 ? Family::C24 : Family::SDA;
}

void SelectDevice(const CatalogueEntry& entry)
{
    LastBlock = entry.lastBlock;
    DeviceType = entry.deviceType;
}

void resetDeviceState()
{
    PortBase = kDefaultPortBase;
    DeviceType = kDefaultDeviceType;
    LastBlock = kDefaultLastBlock;
    BusDelay = kDefaultBusDelay;
    FastTiming = kDefaultFastTiming;
}

}  // namespace kavoda
