// SPDX-License-Identifier: MIT
// dump and probe: looking at the chip without changing it.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <ostream>

#include "HexDump.h"
#include "Identify.h"
#include "MicrowireBus.h"
#include "Sfdp.h"
#include "SpiChipBus.h"
#include "Tool.h"
#include "Verbs.h"

namespace kavoda {

namespace {

struct InspectArguments {
    std::string start;
    std::string length;
};

// Read transactions a probe tries before it gives up on a silent chip: each
// takes over a hundred port accesses, so together they outlast the 10 ms
// write cycle that a busy 24C answers nothing during.
constexpr int kProbeAttempts = 100;

int runDump(Tool& tool, const InspectArguments& args)
{
    tool.prepareReading();
    const ChipType& chip = tool.device();
    const long size = chip.sizeBytes();
    long start = 0;
    if (!args.start.empty()) {
        start = numberArgument("start", args.start, size - 1 > 0xFFFF ? size - 1 : 0xFFFF);
        if (start >= size)
            throw UsageError("start 0x" + hexText(start, 4) + " is beyond the " +
                             std::string(chip.caption) + " (" + std::to_string(size) +
                             " bytes)");
    }
    long length = size - start;
    if (!args.length.empty()) {
        length = numberArgument("length", args.length, size > 0xFFFF ? size : 0xFFFF);
        if (start + length > size)
            throw UsageError("start 0x" + hexText(start, 4) + " and length " +
                             std::to_string(length) + " go beyond the " +
                             std::string(chip.caption) + " (" + std::to_string(size) +
                             " bytes)");
    }

    // Nothing asked for, nothing read: an empty listing, as hexdump -n 0
    // gives, so that a script's computed length of 0 is no error.
    if (length == 0)
        return kExitOk;

    BusClaim claim(tool.bus());
    const std::vector<std::uint8_t> bytes =
        tool.readChip("Reading", "nothing was shown.", static_cast<std::uint32_t>(start),
                      static_cast<std::uint32_t>(length));
    // A Microwire chip's bytes mean nothing without how its words were laid out.
    if (chip.isMicrowire())
        tool.out() << "The " << tool.chipName() << ":\n";
    tool.out() << hexDumpText(bytes.data(), bytes.size(), static_cast<std::uint32_t>(start));
    return kExitOk;
}

// How the type addresses its bytes, so that a wrong type is seen before it
// scatters a write: "one word address byte, block bits 3..1 of the device
// address".
std::string addressingText(const ChipType& chip)
{
    std::string text = chip.wordAddressBytes == 2 ? "two word address bytes" : "one word address byte";
    if (chip.blockMask != 0) {
        const int low = chip.blockShift;
        int high = low;
        while ((chip.blockMask >> (high - low + 1)) != 0)
            ++high;
        text += high == low ? ", the block number in bit " + std::to_string(low)
                            : ", the block number in bits " + std::to_string(high) + ".." +
                                  std::to_string(low);
        text += " of the device address";
    }
    return text;
}

std::string jedecText(std::uint32_t id)
{
    return hexText(id >> 16, 2) + " " + hexText((id >> 8) & 0xFF, 2) + " " + hexText(id & 0xFF, 2);
}

int runProbe(Tool& tool)
{
    tool.allowOpenOrganisation();
    tool.prepare();
    const ChipType& chip = tool.device();
    if (chip.transport() == Transport::Spi)
        return probeSpi(tool, chip);
    if (chip.isMicrowire())
        return probeMicrowire(tool);
    const std::string family = chip.family == Family::SDA ? "SDA" : "24C";
    BusClaim claim(tool.bus());
    FastTiming = 1;
    const std::string where = hexText(addressPhase(chip, 0, tool.bus().chipAddress()).device, 2);
    // The device address alone changes nothing on the chip. A busy 24C
    // answers nothing during its write cycle: polls outlast it.
    const int attempts = chip.family == Family::C24 ? kProbeAttempts : 1;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        if (tool.stopRequested())
            throw Interrupted("Interrupted while probing.");
        if (!tool.bus().poll(chip, 0))
            continue;
        tool.out() << "A chip answers at address " << where;
        if (attempt > 1)
            tool.out() << " after " << attempt - 1 << " unanswered "
                       << (attempt == 2 ? "try" : "tries") << ": it was busy with a write";
        else if (chip.family == Family::C24)
            tool.out() << "; it is not busy";
        tool.out() << ".\nThe " << chip.caption << " is addressed with " << addressingText(chip)
                   << ".\n";
        return kExitOk;
    }
    tool.out() << "No chip answers at address " << where << ".\n";
    throw ChipError(noAcknowledgeText(chip, 0));
}

}  // namespace

// A Microwire chip: how many address bits a READ takes before the chip
// drives its dummy 0, and which types and organisation that means. Reads
// only.
int probeMicrowire(Tool& tool)
{
    const ChipType& chip = tool.device();
    BusClaim claim(tool.bus());
    auto* bus = dynamic_cast<MicrowireBus*>(&tool.bus());
    if (!bus)
        throw ChipError("the " + std::string(chip.caption) +
                        " is a Microwire chip: choose an adapter that drives its lines (--adapter "
                        "ch341a)");
    if (tool.stopRequested())
        throw Interrupted("Interrupted while probing.");
    tool.progress().begin("Probing", 0);
    const MicrowireIdentification found = identifyMicrowire(*bus, tool.display());
    tool.progress().end();
    for (const std::string& line : found.lines)
        tool.out() << line << '\n';
    if (found.stopped)
        throw Interrupted("Interrupted while probing; nothing was written.");
    if (found.addressBits == 0)
        throw ChipError(noAcknowledgeText(chip, 0));
    if (found.candidates.empty())
        throw ChipError("No 93Cxx takes " + std::to_string(found.addressBits) +
                        " address bits: check the adapter board's wiring (DO held low?).");
    const int organisation = found.organisation;
    const ChipType* proven = found.row;

    const std::string caption(chip.caption);
    bool fits = false;
    for (const MicrowireWidth& each : found.candidates)
        fits = fits || caption == each.row->caption;
    if (!fits || (proven && caption != proven->caption)) {
        tool.out() << "That is not the " << caption << " of -d: check the type printed on the "
                   << "chip.\n";
        return kExitHardware;
    }
    if (tool.organisationOpen()) {
        tool.out() << "Give --org " << organisation << " with -d " << caption << ".\n";
    } else if (chip.microwire.organisation != organisation) {
        tool.out() << "The chip is wired " << organisationWiring(organisation)
                   << ", not x" << int{chip.microwire.organisation}
                   << " as given: check its ORG pin, or give --org " << organisation << ".\n";
        return kExitHardware;
    }
    return kExitOk;
}

// An SPI chip: a flash by its JEDEC ID, SFDP table and row; an EEPROM by
// its status register. Nothing is written.
int probeSpi(Tool& tool, const ChipType& row)
{
    SpiChipBus& spi = tool.spiBus();
    BusClaim claim(spi);
    const ChipType& chip = spi.identify(row);
    if (chip.isFlash()) {
        const SpiIdentity& id = spi.identity();
        tool.out() << "A flash answers with JEDEC ID " << jedecText(id.jedecId) << ": "
                   << (id.row ? "the " + std::string(id.row->caption) + " of the chip table"
                              : std::string("no row of the chip table"))
                   << ".\n";
        if (id.sfdp) {
            ChipType fromTable = chip;
            fromTable.size = static_cast<int>(id.sfdp->sizeBytes);
            fromTable.spi.erase = id.sfdp->erase;
            tool.out() << "Its SFDP table: " << flashLayoutText(fromTable)
                       << (id.sfdp->fourByteAddressing ? ", 4-byte addresses" : ", 3-byte addresses")
                       << ".\n";
        } else {
            tool.out() << "It has no SFDP table.\n";
        }
        tool.out() << "The " << chip.caption << " is taken as " << flashLayoutText(chip) << ".\n";
    } else {
        tool.out() << "A chip answers on the SPI bus.\nThe " << chip.caption << " is addressed with "
                   << static_cast<int>(chip.spi.addressBytes)
                   << (chip.spi.addressBytes == 1 ? " address byte" : " address bytes")
                   << (chip.spi.a8InOpcode ? " and its ninth address bit in bit 3 of the opcode"
                                           : "")
                   << ", " << chip.pageSize << "-byte pages.\n";
    }
    const std::string bits = spi.protection(chip);
    if (bits.empty())
        tool.out() << "Its status register protects nothing.\n";
    else
        tool.out() << "It is write-protected by its status register (" << bits
                   << "); --unprotect clears it on a write or erase.\n";
    // WPEN (SRWD, SRP0): with the WP pin low, the bits above cannot change.
    if (spi.statusRegister() & 0x80)
        tool.out() << "Its status register is locked while the WP pin is low (WPEN = 1).\n";
    return kExitOk;
}


void addInspectVerbs(VerbTable& verbs)
{
    auto args = std::make_shared<InspectArguments>();
    CLI::App* dump = verbs.add("dump",
                               "List the chip, or LENGTH bytes from START, in hex and "
                               "characters like hexdump -C",
                               [args](Tool& tool) { return runDump(tool, *args); });
    dump->add_option("START", args->start, "First address (default 0)");
    dump->add_option("LENGTH", args->length, "Number of bytes (default: to the end)");

    verbs.add("probe", "Tell whether a chip of the -d type's family answers (exit 0) or not (1); an SPI flash's JEDEC ID and SFDP table; a 93Cxx chip's address width and organisation (no --org needed)",
              runProbe);
}

}  // namespace kavoda
