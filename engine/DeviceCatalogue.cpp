// SPDX-License-Identifier: MIT
// The device catalogue as data, its lookups, and the device state variables.
#include "DeviceCatalogue.h"

#include <cctype>

namespace kavoda {

namespace {
constexpr std::string_view kMenu24C = "&Device 24C...";
constexpr std::string_view kMenuSDA = "De&vice SDA...";
}  // namespace

const std::array<CatalogueEntry, 7> kCatalogue = {{
    {kMenu24C, "24C02", "N24c021Click", "24C02", 1, 0, Family::C24},
    {kMenu24C, "24C04", "N24c041Click", "24C04", 2, 1, Family::C24},
    {kMenu24C, "24C08", "N24c081Click", "24C08", 3, 3, Family::C24},
    {kMenu24C, "24C16", "N24c161Click", "24C16", 4, 7, Family::C24},
    {kMenuSDA, "SDA3526", "SDA35261Click", "SDA3526", 6, 0, Family::SDA},
    {kMenuSDA, "SDA3546", "SDA35461Click", "SDA3546", 7, 1, Family::SDA},
    {kMenuSDA, "SDA3586", "SDA35861Click", "SDA3586", 8, 3, Family::SDA},
}};

std::uint16_t PortBase = kDefaultPortBase;
std::uint8_t DeviceType = kDefaultDeviceType;
std::uint8_t LastBlock = kDefaultLastBlock;
std::int32_t BusDelay = kDefaultBusDelay;
std::uint8_t FastTiming = kDefaultFastTiming;

const CatalogueEntry* findDevice(std::string_view caption)
{
    for (const CatalogueEntry& entry : kCatalogue) {
        if (entry.caption.size() != caption.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < caption.size() && same; ++i) {
            const auto a = static_cast<unsigned char>(entry.caption[i]);
            const auto b = static_cast<unsigned char>(caption[i]);
            same = std::toupper(a) == std::toupper(b);
        }
        if (same)
            return &entry;
    }
    return nullptr;
}

std::string catalogueCaptions()
{
    std::string list;
    for (const CatalogueEntry& entry : kCatalogue) {
        if (!list.empty())
            list += ", ";
        list += entry.caption;
    }
    return list;
}

const CatalogueEntry* findDeviceByType(std::uint8_t deviceType)
{
    for (const CatalogueEntry& entry : kCatalogue) {
        if (entry.deviceType == deviceType)
            return &entry;
    }
    return nullptr;
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
