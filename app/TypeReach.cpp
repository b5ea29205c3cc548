// SPDX-License-Identifier: MIT
#include "TypeReach.h"

#include "AdapterSettings.h"
#include "Options.h"

#include <algorithm>
#include <ostream>

namespace kavoda {

std::vector<Transport> transportsOf(AdapterKind kind)
{
    std::vector<Transport> carried;
    for (const Transport transport : {Transport::I2c, Transport::Spi}) {
        if (adapterType(kind).offers(transport))
            carried.push_back(transport);
    }
    return carried;
}

bool reaches(AdapterKind kind, const ChipType& chip)
{
    return adapterType(kind).offers(transportOf(chip.family));
}

std::string unreachableReason(AdapterKind kind, const ChipType& chip)
{
    if (reaches(kind, chip))
        return {};
    switch (transportOf(chip.family)) {
    case Transport::Spi:
        return "SPI chips need a CH341A or spidev adapter";
    case Transport::I2c:
        return "I2C chips need a parallel-port, CH341A or i2c-dev adapter";
    }
    return "The adapter cannot drive this chip";
}

std::string familyTitle(Family family)
{
    switch (family) {
    case Family::C24:
        return "24Cxx (I2C)";
    case Family::SDA:
        return "SDA35x6 (I2C)";
    case Family::Spi25:
        return "25xxx (SPI)";
    case Family::SpiNor:
        return "SPI flash";
    }
    return "Other";
}

const ChipType* chipForAdapter(std::string_view name, AdapterKind kind, std::string* error)
{
    const ChipType* chip = findChip(name);
    if (!chip) {
        *error = "unknown device type '" + std::string(name) + "'; known types: " + chipCaptions();
        return nullptr;
    }
    if (const std::string why = unreachableReason(kind, *chip); !why.empty()) {
        *error = "the adapter in use cannot drive a " + std::string(chip->caption) + ": " + why;
        return nullptr;
    }
    return chip;
}

std::string adapterFieldText(const AdapterChoice& adapter)
{
    if (adapter.isParallelPort())
        return {};
    if (adapter.type().takesPath)
        return adapter.path;
    return "USB " + std::string(adapter.type().caption);
}

int checkStartType(const ParsedOptions& parsed, std::ostream& err)
{
    if (parsed.typeName.empty())
        return 0;
    const AdapterChoice adapter =
        resolveAdapter(parsed.options, adapterForWindow(parsed.options));
    std::string error;
    if (chipForAdapter(parsed.typeName, adapter.kind, &error))
        return 0;
    err << "kavoda: " << error << " (--type).\n";
    return 2;
}

} // namespace kavoda
