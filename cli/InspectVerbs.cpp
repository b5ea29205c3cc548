// SPDX-License-Identifier: MIT
// dump and probe: looking at the chip without changing it.
#include <CLI/CLI.hpp>
#include <ostream>

#include "HexDump.h"
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
    tool.prepare();
    const CatalogueEntry& chip = tool.device();
    const long size = chip.sizeBytes();
    long start = 0;
    if (!args.start.empty()) {
        start = numberArgument("start", args.start, 0xFFFF);
        if (start >= size)
            throw UsageError("start 0x" + hexText(start, 4) + " is beyond the " +
                             std::string(chip.caption) + " (" + std::to_string(size) +
                             " bytes)");
    }
    long length = size - start;
    if (!args.length.empty()) {
        length = numberArgument("length", args.length, 0xFFFF);
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

    std::vector<std::uint8_t> bytes;
    BusClaim claim(tool.bus());
    if (start == 0 && length == size) {
        bytes = tool.readChip("Reading", "nothing was shown.");
    } else {
        FastTiming = 1;
        tool.bus().clearAcks();
        tool.progress().begin("Reading", length);
        for (long i = 0; i < length; ++i) {
            const long address = start + i;
            if (tool.stopRequested())
                throw Interrupted("Interrupted at " + hexText(address, 4) +
                                  "; nothing was shown.");
            tool.progress().update(i, address);
            bytes.push_back(tool.bus().readByte(tool.family(),
                                                static_cast<std::uint8_t>(address / 256),
                                                static_cast<std::uint8_t>(address % 256)));
        }
        tool.progress().update(length, start + length - 1);
        tool.progress().end();
        tool.checkAcks();
    }
    tool.out() << hexDumpText(bytes.data(), bytes.size(), static_cast<std::uint32_t>(start));
    return kExitOk;
}

int runProbe(Tool& tool)
{
    tool.prepare();
    const CatalogueEntry& chip = tool.device();
    const std::string family = chip.family == Family::SDA ? "SDA" : "24C";
    BusClaim claim(tool.bus());
    FastTiming = 1;
    // A random read of block 0 acknowledges its address first; it changes
    // nothing on the chip.
    const int attempts = chip.family == Family::C24 ? kProbeAttempts : 1;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        if (tool.stopRequested())
            throw Interrupted("Interrupted while probing.");
        tool.bus().clearAcks();
        tool.bus().readByte(chip.family, 0, 0);
        if (tool.bus().acks().unanswered > 0)
            continue;
        tool.out() << "A chip of the " << family << " family answers at address A0";
        if (attempt > 1)
            tool.out() << " after " << attempt - 1 << " unanswered "
                       << (attempt == 2 ? "try" : "tries") << ": it was busy with a write";
        else if (chip.family == Family::C24)
            tool.out() << "; it is not busy";
        tool.out() << ".\n";
        return kExitOk;
    }
    tool.out() << "No chip of the " << family << " family answers at address A0.\n";
    throw ChipError(ackReportText(tool.bus().acks(), chip.caption));
}

}  // namespace

void addInspectVerbs(VerbTable& verbs)
{
    auto args = std::make_shared<InspectArguments>();
    CLI::App* dump = verbs.add("dump",
                               "List the chip, or LENGTH bytes from START, in hex and "
                               "characters like hexdump -C",
                               [args](Tool& tool) { return runDump(tool, *args); });
    dump->add_option("START", args->start, "First address (default 0)");
    dump->add_option("LENGTH", args->length, "Number of bytes (default: to the end)");

    verbs.add("probe", "Tell whether a chip of the -d type's family answers (exit 0) or not (1)",
              runProbe);
}

}  // namespace kavoda
