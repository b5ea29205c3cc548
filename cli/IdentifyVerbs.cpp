// SPDX-License-Identifier: MIT
// scan and identify: what answers on the bus, and which chip is in the
// socket, found by reads alone.
#include <CLI/CLI.hpp>
#include <ostream>

#include "DeviceBus.h"
#include "Identify.h"
#include "Tool.h"
#include "Verbs.h"

namespace kavoda {

namespace {

std::string addressList(const std::vector<std::uint8_t>& addresses)
{
    std::string text;
    for (const std::uint8_t a : addresses)
        text += (text.empty() ? "" : ", ") + ("0x" + hexText(a, 2));
    return text;
}

// A Microwire chip has no bus address to look for: what probe does instead.
bool microwireGiven(Tool& tool)
{
    tool.allowOpenOrganisation();
    return tool.deviceGiven() && tool.device().isMicrowire();
}

int runScan(Tool& tool)
{
    if (microwireGiven(tool))
        throw UsageError("scan lists the addresses of an I2C bus; the " +
                         std::string(tool.device().caption) +
                         " is a Microwire chip, which has none: probe tells its address width");
    tool.prepareForBus();
    std::vector<std::uint8_t> answering;
    {
        BusClaim claim(tool.bus());
        answering = scanBus(tool.bus());
    }
    tool.out() << scanTable(answering);
    std::vector<std::uint8_t> eeproms;
    for (const std::uint8_t a : answering) {
        if (a >= kEepromFirst && a <= kEepromLast)
            eeproms.push_back(a);
    }
    if (eeproms.empty())
        tool.out() << "No address of an EEPROM (0x50..0x57) answers.\n";
    else
        tool.out() << "Addresses of an EEPROM or its blocks (0x50..0x57) that answer: "
                   << addressList(eeproms) << ".\n";
    return kExitOk;
}

int runIdentify(Tool& tool)
{
    if (microwireGiven(tool)) {
        tool.prepare();
        return probeMicrowire(tool);
    }
    // An SPI chip tells what it is: its JEDEC ID, SFDP table and row.
    if (tool.deviceGiven() && tool.device().transport() == Transport::Spi) {
        tool.prepare();
        return probeSpi(tool, tool.device());
    }
    tool.prepareForBus();
    Identification found;
    {
        BusClaim claim(tool.bus());
        found = identifyI2c(tool.bus());
    }
    for (const AddressSeen& seen : found.seen)
        tool.out() << seenText(seen) << '\n';
    tool.out() << found.verdict << '\n';
    for (const std::string& doubt : found.doubts)
        tool.out() << "doubt: " << doubt << '\n';
    if (found.confidence == Confidence::NothingThere)
        throw ChipError("No EEPROM answers at 0x50..0x57: check that the chip sits in the socket "
                        "and the adapter is powered");
    return found.confidence == Confidence::Certain ? kExitOk : kExitHardware;
}

}  // namespace

void addIdentifyVerbs(VerbTable& verbs)
{
    verbs.add("scan",
              "List the I2C addresses 0x08..0x77 that answer, as i2cdetect does, reading only",
              runScan);
    verbs.add("identify",
              "Tell which EEPROM answers at 0x50..0x57, by reads alone (exit 0 when certain); "
              "with -d an SPI type, the chip's JEDEC ID, SFDP table and table row; with -d a 93Cxx "
              "type, what probe tells",
              runIdentify);
}

}  // namespace kavoda
