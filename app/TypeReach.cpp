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
    for (const Transport transport : {Transport::I2c, Transport::Spi, Transport::Lines}) {
        if (adapterType(kind).offers(transport))
            carried.push_back(transport);
    }
    return carried;
}

bool reaches(AdapterKind kind, const ChipType& chip)
{
    return adapterType(kind).offers(transportOf(chip.family));
}

namespace {

// How a reason names an adapter of the table: "parallel-port", "CH341A".
std::string_view adapterWord(const AdapterType& type)
{
    switch (type.kind) {
    case AdapterKind::ParallelPort:
        return "parallel-port";
    case AdapterKind::I2cDev:
        return "i2c-dev";
    case AdapterKind::Spidev:
        return "spidev";
    case AdapterKind::Ch341a:
        break;
    }
    return type.caption;
}

std::string_view transportWord(Transport transport)
{
    switch (transport) {
    case Transport::I2c:
        return "I2C";
    case Transport::Spi:
        return "SPI";
    case Transport::Lines:
        return "Microwire";
    }
    return "These";
}

} // namespace

std::string unreachableReason(AdapterKind kind, const ChipType& chip)
{
    if (reaches(kind, chip))
        return {};
    // The adapters that carry it, as the table lists them.
    const Transport transport = transportOf(chip.family);
    std::vector<std::string_view> carriers;
    for (const AdapterType& type : kAdapterTable)
        if (type.offers(transport))
            carriers.push_back(adapterWord(type));
    if (carriers.empty())
        return "No adapter can drive this chip";
    std::string names(carriers.front());
    for (std::size_t i = 1; i < carriers.size(); ++i)
        names += (i + 1 == carriers.size() ? " or " : ", ") + std::string(carriers[i]);
    return std::string(transportWord(transport)) + " chips need a " + names + " adapter";
}

namespace {

std::string withOrganisationText(const ChipType& chip, std::string_view big,
                                 std::string_view little)
{
    std::string text(typePanelText(chip));
    if (!chip.isMicrowire() || chip.microwire.organisation == 0)
        return text;
    if (chip.microwire.organisation == 8)
        return text + " x8";
    return text + " x16 " + std::string(chip.microwire.byteOrder == ByteOrder::Big ? big : little);
}

} // namespace

std::string typeShownText(const ChipType& chip)
{
    return withOrganisationText(chip, "big-endian", "little-endian");
}

std::string typePanelCaption(const ChipType& chip)
{
    return withOrganisationText(chip, "BE", "LE");
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
    case Family::Microwire:
        return "93Cxx (Microwire)";
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
