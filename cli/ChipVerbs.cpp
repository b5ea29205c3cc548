// SPDX-License-Identifier: MIT
// The whole-chip verbs: read, write, verify, erase, fill.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <functional>
#include <ostream>

#include "DeviceOperations.h"
#include "ImageFiles.h"
#include "Sfdp.h"
#include "IntelHex.h"
#include "Interrupt.h"
#include "Tool.h"
#include "Verbs.h"

namespace kavoda {

namespace {

// The verify after a write; Ctrl+C during it says the write itself ended.
std::optional<VerifyMismatch> verifyAfterWrite(
    const std::function<std::optional<VerifyMismatch>()>& verify)
{
    try {
        return verify();
    } catch (const ChipStop&) {
        if (interruptRequested())
            throw Interrupted("Interrupted while verifying; the write itself was finished, "
                              "the verify was not.");
        throw;
    }
}

struct ChipArguments {
    std::string file;
    std::string format;
    std::string value;
    bool all = false;
    bool sizeMismatchOk = false;
    bool noVerify = false;
};

std::string fileName(const std::string& path)
{
    return path == "-" ? "standard input" : path;
}

// The file laid over the chip, with the size rules of write and verify:
// a raw file of another size is refused unless mismatchOk, then a shorter one
// gives its bytes and a longer one's excess is ignored with a warning; a HEX
// file's bytes beyond the chip are refused likewise, and its gaps reported.
WantedImage loadWanted(Tool& tool, const ChipArguments& args)
{
    const ChipType& chip = tool.device();
    const auto size = static_cast<std::size_t>(chip.sizeBytes());
    const std::string name = fileName(args.file);
    const FileFormat format = formatForPath(args.file, formatOption(args.format));
    // The trace starts empty when the port opens: it would replace the file.
    if (args.file != "-" && tool.sessionUsesFile(args.file))
        throw UsageError(args.file + " is the simulated chip's content file or the trace; "
                                     "give the image another name");
    const std::string text = readInput(args.file, tool.in());

    WantedImage wanted;
    if (format == FileFormat::Raw) {
        if (text.size() != size && !args.sizeMismatchOk)
            throw UsageError(name + " holds " + std::to_string(text.size()) + " bytes, the " +
                             tool.chipName() + " " + std::to_string(size) +
                             "; give --size-mismatch-ok to use it anyway");
        const std::size_t used = std::min(text.size(), size);
        wanted.bytes.assign(size, 0xFF);
        wanted.present.assign(size, false);
        for (std::size_t i = 0; i < used; ++i) {
            wanted.bytes[i] = static_cast<std::uint8_t>(text[i]);
            wanted.present[i] = true;
        }
        wanted.given = used;
        if (text.size() > size)
            tool.warn("warning: " + name + " holds " + std::to_string(text.size()) +
                      " bytes; the " + std::to_string(text.size() - size) + " beyond the " +
                      std::to_string(size) + " of the " + tool.chipName() + " are ignored");
        return wanted;
    }

    IntelHexImage hex;
    try {
        hex = readIntelHex(text, size,
                           args.sizeMismatchOk ? BeyondCapacity::Drop : BeyondCapacity::Refuse);
    } catch (const IntelHexBeyondError& e) {
        throw UsageError(name + " " + e.what() + " of the " + tool.chipName() +
                         "; give --size-mismatch-ok to ignore what lies beyond");
    } catch (const IntelHexError& e) {
        throw FileError(name + " is no valid Intel HEX file: " + e.what());
    }
    if (hex.beyond > 0)
        tool.warn("warning: " + name + " gives " + std::to_string(hex.beyond) +
                  " bytes beyond the " + std::to_string(size) + " of the " + tool.chipName() +
                  "; they are ignored");
    if (hex.given < size) {
        std::size_t first = 0;
        while (first < size && hex.present[first])
            ++first;
        tool.warn("note: " + name + " gives " + std::to_string(hex.given) + " of the " +
                  std::to_string(size) + " bytes of the " + tool.chipName() + "; the other " +
                  std::to_string(size - hex.given) + " (the first at " +
                  hexText(static_cast<long>(first), 4) + ") are left as the chip holds them");
    }
    wanted.bytes = std::move(hex.bytes);
    wanted.present = std::move(hex.present);
    wanted.given = hex.given;
    return wanted;
}

// The closing read of write, erase and fill: the whole chip, or the pages
// the runs wrote.
void verifyAfterWrite(Tool& tool, const WantedImage& wanted,
                      const std::vector<WriteRun>* runs = nullptr)
{
    std::optional<VerifyMismatch> mismatch;
    if (runs) {
        ChipJob job = tool.job();
        tool.progress().begin("Verifying", 0);
        mismatch = verifyAfterWrite([&] { return verifyRuns(job, *runs, wanted); });
        tool.progress().end();
    } else {
        mismatch = compareWithChip(
            tool.readChip("Verifying", "the write itself was finished, the verify was not."),
            wanted);
    }
    if (mismatch)
        throw ChipError(verifyFailureText(*mismatch) + writeCheckHint(tool.device()));
}

int runRead(Tool& tool, const ChipArguments& args)
{
    tool.prepareReading();
    const FileFormat format = formatForPath(args.file, formatOption(args.format));
    // Made first, so that a folder that cannot take the file is found out
    // before the chip is read.
    std::optional<AtomicFile> file;
    if (args.file != "-") {
        if (tool.sessionUsesFile(args.file))
            throw UsageError(args.file + " is the simulated chip's content file or the trace; "
                                         "give the image another name");
        file.emplace(args.file);
    }

    BusClaim claim(tool.bus());
    const auto bytes = tool.readChip(
        "Reading", args.file == "-" ? "nothing was written." : args.file + " was not written.");
    const std::string content = encodeImage(bytes, format);
    if (file) {
        file->write(content);
        file->commit();
        tool.out() << "Read " << bytes.size() << " bytes from the " << tool.chipName()
                   << " into " << args.file << ".\n";
    } else {
        tool.out().write(content.data(), static_cast<std::streamsize>(content.size()));
        tool.out().flush();
        if (!tool.out())
            throw FileError("Cannot write to standard output");
    }
    return kExitOk;
}

// A write that Ctrl+C ended: where, and how far it got.
Interrupted interruptedWrite(const WriteOutcome& outcome)
{
    if (outcome.written == 0)
        return Interrupted("Interrupted before the first write; nothing was written.");
    return Interrupted("Interrupted at " + addressText(outcome.next) + " after writing " +
                       std::to_string(outcome.written) + " of " + std::to_string(outcome.total) +
                       " bytes; the chip holds part of the image: run the write again to "
                       "finish it.");
}

// A flash: every unit holding a difference erased (unless its changes
// only clear bits) and programmed, then those units read back.
int runFlashWrite(Tool& tool, const ChipArguments& args, const WantedImage& wanted)
{
    BusClaim claim(tool.bus());
    // Read even with --all: an erased unit gets back the bytes the image
    // leaves open.
    const std::vector<std::uint8_t> before = tool.readChip("Comparing", "nothing was written.");
    ChipJob job = tool.job();
    const FlashPlan plan = planFlashWrite(job, wanted, before, args.all);
    long span = 0;
    for (const FlashStep& step : plan.steps)
        span += step.span;
    const long unit = std::max<long>(1, tool.device().smallestErase().size);
    tool.progress().begin("Writing", span);
    const WriteOutcome outcome = writeFlash(job, plan);
    tool.progress().end();
    if (outcome.end == PassEnd::Stopped)
        throw interruptedWrite(outcome);
    if (!args.noVerify) {
        tool.progress().begin("Verifying", 0);
        std::optional<VerifyMismatch> mismatch;
        mismatch = verifyAfterWrite([&] { return verifyFlash(job, plan); });
        tool.progress().end();
        if (mismatch)
            throw ChipError(verifyFailureText(*mismatch) +
                            " Check the chip's write protection and its supply.");
    }
    tool.out() << "Wrote " << plan.programBytes << (plan.programBytes == 1 ? " byte" : " bytes")
               << " to the " << tool.chipName() << " after erasing " << plan.erases
               << (plan.erases == 1 ? " unit" : " units") << " (" << plan.erasedBytes
               << " bytes); " << span / unit << " of its " << tool.device().size / unit
               << " smallest units changed" << (args.noVerify ? "; not verified.\n" : "; verified.\n");
    return kExitOk;
}

int runWrite(Tool& tool, const ChipArguments& args)
{
    tool.prepare();
    formatOption(args.format);
    const WantedImage wanted = loadWanted(tool, args);
    if (tool.device().isFlash())
        return runFlashWrite(tool, args, wanted);

    BusClaim claim(tool.bus());
    // Differential by default: only the pages holding a byte the chip does
    // not hold yet, each from its first to its last differing byte.
    std::vector<std::uint8_t> before;
    if (!args.all)
        before = tool.readChip("Comparing", "nothing was written.");
    ChipJob job = tool.job();
    const std::vector<WriteRun> runs = planWrite(job, wanted, args.all ? nullptr : &before);
    long total = 0;
    for (const WriteRun& run : runs)
        total += static_cast<long>(run.bytes.size());

    tool.progress().begin("Writing", total);
    const WriteOutcome outcome = writeRuns(job, runs);
    tool.progress().end();
    if (outcome.end == PassEnd::Stopped)
        throw interruptedWrite(outcome);

    if (!args.noVerify)
        verifyAfterWrite(tool, wanted, args.all ? nullptr : &runs);
    // The runs carry every differing byte and, from a page's first to its
    // last difference, bytes that held their value: written, not held. Held
    // are the file's bytes that no run wrote, so written and held add up.
    std::vector<bool> written(wanted.bytes.size(), false);
    for (const WriteRun& run : runs)
        std::fill_n(written.begin() + run.address, run.bytes.size(), true);
    long differing = 0;
    long held = 0;
    for (std::size_t i = 0; i < wanted.bytes.size(); ++i) {
        if (!wanted.present[i])
            continue;
        differing += args.all || before[i] != wanted.bytes[i];
        held += !written[i];
    }
    tool.out() << "Wrote " << total << (total == 1 ? " byte" : " bytes") << " to the "
               << tool.chipName();
    if (differing != total)
        tool.out() << ", " << differing << " of them differing";
    if (!args.all)
        tool.out() << " (" << held << " held their value already)";
    tool.out() << (args.noVerify ? "; not verified.\n" : "; verified.\n");
    return kExitOk;
}

int runVerify(Tool& tool, const ChipArguments& args)
{
    tool.prepareReading();
    formatOption(args.format);
    const WantedImage wanted = loadWanted(tool, args);
    BusClaim claim(tool.bus());
    const auto chip = tool.readChip("Verifying", "nothing was compared.");
    const std::string name = fileName(args.file);
    const auto mismatch = compareWithChip(chip, wanted);
    if (!mismatch) {
        tool.out() << "The " << tool.chipName() << " holds " << name << " (" << wanted.given
                   << " bytes compared).\n";
        return kExitOk;
    }
    const std::string differ = std::to_string(mismatch->count) +
                               (mismatch->count == 1 ? " byte differs" : " bytes differ");
    tool.out() << "First difference at " << hexText(mismatch->address, 4) << ": file "
               << hexText(mismatch->wrote, 2) << ", chip " << hexText(mismatch->read, 2) << " ("
               << differ << ").\n";
    throw ChipError("the " + tool.chipName() + " differs from " + name + " at " +
                    hexText(mismatch->address, 4) + " (" + differ +
                    "); write it with kavoda-cli write");
}

// A flash: one chip erase, then (for another value than FF) every page
// programmed.
void fillFlash(Tool& tool, ChipJob& job, std::uint8_t value, const WantedImage& wanted)
{
    const ChipType& chip = tool.device();
    tool.progress().begin("Erasing", chip.size);
    if (eraseFlashChip(job) == PassEnd::Stopped)
        throw Interrupted("Interrupted before the chip erase; nothing was changed.");
    tool.progress().end();
    if (value == 0xFF)
        return;
    tool.progress().begin("Filling " + hexText(value, 2), chip.size);
    const WriteOutcome outcome = writeRuns(job, planWrite(job, wanted, nullptr));
    tool.progress().end();
    if (outcome.end == PassEnd::Stopped)
        throw Interrupted("Interrupted at " + addressText(outcome.next) + ": " +
                          std::to_string(outcome.written) + " of " + std::to_string(chip.size) +
                          " bytes set to " + hexText(value, 2) + ", the rest is erased (FF).");
}

// The tool's display, noting whether the operation got past its first
// stop check: a Microwire fill shows its first step right before its
// whole-chip cycle.
class StepWatch final : public OperationDisplay {
public:
    explicit StepWatch(OperationDisplay& display) : m_display(display) {}
    bool stepped() const { return m_stepped; }

    void processMessages() override { m_display.processMessages(); }
    bool stopRequested() const override { return m_display.stopRequested(); }
    void showPercent(int percent) override
    {
        m_stepped = true;
        m_display.showPercent(percent);
    }
    void showAddress(int address) override { m_display.showAddress(address); }
    void showData(std::uint8_t value) override { m_display.showData(value); }
    std::string panelText() const override { return m_display.panelText(); }
    void setPanelText(const std::string& text) override { m_display.setPanelText(text); }
    void setMeterCaption(const std::string& text) override { m_display.setMeterCaption(text); }
    void showProgress(long done, long total, long address) override
    {
        m_display.showProgress(done, total, address);
    }

private:
    OperationDisplay& m_display;
    bool m_stepped = false;
};

// A Microwire chip: one ERAL (FF) or WRAL cycle, then what it did not take
// word by word. The report says how it went.
std::string fillMicrowire(Tool& tool, std::uint8_t value, bool erase)
{
    const char* cycle = value == 0xFF ? "ERAL" : "WRAL";
    const std::string again = erase ? "run the erase again" : "run the fill again";
    StepWatch watch(tool.display());
    ChipJob job{tool.bus(), tool.device(), watch, Transfers::Fast};
    long rewritten = -1;
    tool.progress().begin(erase ? "Erasing" : "Filling " + hexText(value, 2), tool.device().size);
    const PassEnd end = fillMicrowireChip(job, value, erase, &rewritten);
    tool.progress().end();
    if (end == PassEnd::Stopped) {
        if (!watch.stepped())
            throw Interrupted(std::string("Interrupted before the ") + cycle +
                              "; nothing was changed.");
        if (rewritten < 0)
            throw Interrupted(std::string("Interrupted while reading back after the ") + cycle +
                              " cycle: the chip holds " + hexText(value, 2) +
                              " wherever it took it; " + again + " to finish.");
        throw Interrupted("Interrupted while rewriting the " + std::to_string(rewritten) +
                          " bytes the " + cycle + " did not set; the chip holds " +
                          hexText(value, 2) + " elsewhere: " + again + " to finish.");
    }
    std::string how = std::string(" (one ") + cycle + " cycle";
    if (rewritten > 0)
        how += ", then " + std::to_string(rewritten) + (rewritten == 1 ? " byte" : " bytes") +
               " it did not take written word by word";
    return how + ")";
}

int runFill(Tool& tool, std::uint8_t value, bool erase, bool noVerify)
{
    const ChipType& chip = tool.device();
    BusClaim claim(tool.bus());
    const WantedImage wanted = WantedImage::constant(static_cast<std::size_t>(chip.size), value);
    if (chip.isMicrowire()) {
        const std::string how = fillMicrowire(tool, value, erase);
        if (!noVerify)
            verifyAfterWrite(tool, wanted);
        tool.out() << (erase ? "Erased the " : "Filled the ") << tool.chipName() << " with "
                   << hexText(value, 2) << how << (noVerify ? "; not verified.\n" : "; verified.\n");
        return kExitOk;
    }
    ChipJob job = tool.job();
    if (chip.isFlash()) {
        fillFlash(tool, job, value, wanted);
        if (!noVerify)
            verifyAfterWrite(tool, wanted);
        tool.out() << (erase ? "Erased the " : "Filled the ") << tool.chipName() << " with "
                   << hexText(value, 2) << (noVerify ? "; not verified.\n" : "; verified.\n");
        return kExitOk;
    }
    tool.progress().begin(erase ? "Erasing" : "Filling " + hexText(value, 2), chip.size);
    const WriteOutcome outcome = writeRuns(job, planWrite(job, wanted, nullptr));
    tool.progress().end();
    if (outcome.end == PassEnd::Stopped && outcome.written == 0)
        throw Interrupted("Interrupted before the first write; nothing was written.");
    if (outcome.end == PassEnd::Stopped)
        throw Interrupted("Interrupted at " + addressText(outcome.next) + ": " +
                          std::to_string(outcome.written) + " of " + std::to_string(chip.size) +
                          " bytes set to " + hexText(value, 2) + ", the rest is as it was.");
    if (!noVerify)
        verifyAfterWrite(tool, wanted);
    tool.out() << (erase ? "Erased the " : "Filled the ") << tool.chipName() << " with "
               << hexText(value, 2) << (noVerify ? "; not verified.\n" : "; verified.\n");
    return kExitOk;
}

void addFileArguments(CLI::App* verb, ChipArguments& args, const char* what)
{
    verb->add_option("FILE", args.file, what)->required();
    verb->add_option("--format", args.format,
                     "raw or ihex (default: ihex for .hex and .ihex names, else raw)")
        ->type_name(kFileFormatValue);
}

}  // namespace

std::string writeCheckHint(const ChipType& chip)
{
    if (chip.isMicrowire())
        return " Check the chip's supply (some 93Cxx parts write only at 5 V) and, where it "
               "has one, its PE pin.";
    return " Check the chip's write protection (WP pin) and its supply.";
}

std::optional<FileFormat> formatOption(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    const auto format = parseFileFormat(text);
    if (!format)
        throw UsageError("format '" + text + "' is neither raw nor ihex");
    return format;
}

void addChipVerbs(VerbTable& verbs)
{
    auto args = std::make_shared<ChipArguments>();

    CLI::App* read = verbs.add("read", "Read the whole chip into FILE",
                               [args](Tool& tool) { return runRead(tool, *args); });
    addFileArguments(read, *args, "Image file to write, - for standard output");

    CLI::App* write =
        verbs.add("write",
                  "Write FILE onto the chip, only the bytes that differ, then verify it",
                  [args](Tool& tool) { return runWrite(tool, *args); });
    addFileArguments(write, *args, "Image file to write onto the chip, - for standard input");
    write->add_flag("--all", args->all, "Write every byte, not only those that differ");
    write->add_flag("--size-mismatch-ok", args->sizeMismatchOk,
                    "Accept a file of another size than the chip: a shorter one leaves the "
                    "rest of the chip, a longer one's excess is ignored");
    write->add_flag("--no-verify", args->noVerify, "Skip the closing read");

    CLI::App* verify = verbs.add("verify", "Compare the chip with FILE",
                                 [args](Tool& tool) { return runVerify(tool, *args); });
    addFileArguments(verify, *args, "Image file to compare with, - for standard input");
    verify->add_flag("--size-mismatch-ok", args->sizeMismatchOk,
                     "Compare a file of another size than the chip as far as both go");

    CLI::App* erase = verbs.add("erase", "Set every byte to FF, then verify", [args](Tool& tool) {
        tool.prepare();
        return runFill(tool, 0xFF, true, args->noVerify);
    });
    erase->add_flag("--no-verify", args->noVerify, "Skip the closing read");

    CLI::App* fill =
        verbs.add("fill", "Set every byte to VALUE, then verify", [args](Tool& tool) {
            tool.prepare();
            const auto value = static_cast<std::uint8_t>(numberArgument("value", args->value, 0xFF));
            return runFill(tool, value, false, args->noVerify);
        });
    fill->add_option("VALUE", args->value, "Byte value, 0 to 255 (decimal or 0x-hex)")->required();
    fill->add_flag("--no-verify", args->noVerify, "Skip the closing read");
}

}  // namespace kavoda
