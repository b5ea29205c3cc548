// SPDX-License-Identifier: MIT
// get and set: one byte of the chip.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <ostream>

#include "Tool.h"
#include "Verbs.h"

namespace kavoda {

namespace {

// Without -d these two work on a 24C02, as they always have.
constexpr const char* kByteVerbDevice = "24C02";

struct ByteArguments {
    std::string address;
    std::string value;
    bool noVerify = false;
};

long checkedAddress(Tool& tool, const std::string& text)
{
    const ChipType& chip = tool.device();
    const long address =
        numberArgument("address", text, std::max<long>(0x3FFFF, chip.sizeBytes() - 1));
    if (address >= chip.sizeBytes())
        throw UsageError("address 0x" + hexText(address, 4) + " is beyond the " +
                         std::string(chip.caption) + " (" + std::to_string(chip.sizeBytes()) +
                         " bytes)");
    return address;
}

std::uint8_t readOne(Tool& tool, long address)
{
    return tool.readChip("Reading", "nothing was read.", static_cast<std::uint32_t>(address), 1)
        .at(0);
}

int runGet(Tool& tool, const ByteArguments& args)
{
    tool.prepareReading(kByteVerbDevice);
    const long address = checkedAddress(tool, args.address);
    BusClaim claim(tool.bus());
    const std::uint8_t value = readOne(tool, address);
    tool.out() << hexText(value, 2) << '\n';
    return kExitOk;
}

int runSet(Tool& tool, const ByteArguments& args)
{
    tool.prepare(kByteVerbDevice);
    const long address = checkedAddress(tool, args.address);
    const auto value = static_cast<std::uint8_t>(numberArgument("value", args.value, 0xFF));
    BusClaim claim(tool.bus());
    ChipJob job = tool.job();
    if (job.chip.isFlash()) {
        // The byte's smallest erase unit: read, then erased and programmed
        // again only when the byte needs a bit set.
        const ChipType& chip = job.chip;
        const std::uint32_t unit = chip.smallestErase().size;
        const std::uint32_t start = static_cast<std::uint32_t>(address) / unit * unit;
        const auto held = tool.readChip("Reading", "nothing was written.", start, unit);
        std::vector<std::uint8_t> before(static_cast<std::size_t>(chip.size), 0xFF);
        std::copy(held.begin(), held.end(), before.begin() + start);
        WantedImage wanted = WantedImage::constant(before.size(), value);
        std::fill(wanted.present.begin(), wanted.present.end(), false);
        wanted.present[static_cast<std::size_t>(address)] = true;
        wanted.given = 1;
        writeFlash(job, planFlashWrite(job, wanted, before));
    } else {
        writeRuns(job, {WriteRun{static_cast<std::uint32_t>(address), {value}}});
    }
    if (!args.noVerify) {
        const std::uint8_t back = readOne(tool, address);
        if (back != value)
            throw ChipError("Verify failed at " + hexText(address, 4) + ": wrote " +
                            hexText(value, 2) + ", read " + hexText(back, 2) + "." +
                            writeCheckHint(job.chip));
    }
    return kExitOk;
}

}  // namespace

void addByteVerbs(VerbTable& verbs)
{
    auto args = std::make_shared<ByteArguments>();
    CLI::App* get = verbs.add("get", "Print the byte at ADDRESS as two hex digits",
                              [args](Tool& tool) { return runGet(tool, *args); });
    get->add_option("ADDRESS", args->address, "Absolute address: block * 256 + address")
        ->required();

    CLI::App* set = verbs.add("set", "Write VALUE to the byte at ADDRESS, then read it back",
                              [args](Tool& tool) { return runSet(tool, *args); });
    set->add_option("ADDRESS", args->address, "Absolute address: block * 256 + address")
        ->required();
    set->add_option("VALUE", args->value, "Byte value, 0 to 255")->required();
    set->add_flag("--no-verify", args->noVerify, "Do not read the byte back");
}

}  // namespace kavoda
