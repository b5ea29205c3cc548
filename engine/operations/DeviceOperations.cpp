// SPDX-License-Identifier: MIT
// The passes, the write planner, the comparer and the reports.
#include "DeviceOperations.h"

#include <algorithm>

#include "DeviceCatalogue.h"
#include "HexText.h"
#include "MicrowireBus.h"
#include "SpiChipBus.h"

namespace kavoda {

namespace {

// A read the chip does not answer is tried this many times more: a loose
// contact, or a chip still busy with the write before.
constexpr int kReadRetries = 2;

// Puts the panel text back however the pass ends.
class PanelTextGuard {
public:
    explicit PanelTextGuard(OperationDisplay& display)
        : m_display(display), m_saved(display.panelText())
    {
    }
    ~PanelTextGuard()
    {
        try {
            m_display.setPanelText(m_saved);
        } catch (...) {
            // Already unwinding from the error that matters.
        }
    }
    PanelTextGuard(const PanelTextGuard&) = delete;
    PanelTextGuard& operator=(const PanelTextGuard&) = delete;

private:
    OperationDisplay& m_display;
    std::string m_saved;
};

bool pumpAndCheckStop(OperationDisplay& display)
{
    display.processMessages();
    return display.stopRequested();
}

int percentOf(long bytes, long total)
{
    return static_cast<int>(static_cast<double>(bytes) * 100.0 / static_cast<double>(total));
}

// The progress step before a run of `length` bytes at `address`, the
// `done` bytes before it finished. A byte counts before its transaction, as
// the per-byte step has it; a longer run counts once it is done (finished()),
// so that a run that fails shows no progress it did not make.
void showStep(OperationDisplay& display, long done, long length, long total, std::uint32_t address)
{
    display.showPercent(percentOf(length == 1 ? done + 1 : done, total));
    display.showAddress(static_cast<int>(address));
    display.showProgress(done, total, static_cast<long>(address));
}

// lastAddress: the batch's last byte, where the display's address ends up,
// so that a stop between two batches names the right place.
void finished(OperationDisplay& display, long done, long length, long total,
              std::uint32_t lastAddress)
{
    if (length > 1) {
        display.showPercent(percentOf(done + length, total));
        display.showAddress(static_cast<int>(lastAddress));
        display.showProgress(done + length, total, static_cast<long>(lastAddress) + 1);
    }
}

// The bytes an adapter moves in the time a stop may wait; unbounded when it
// does not say how fast it is. Never fewer than 16: on a bus slowed that
// far, more address phases and write cycles would cost more than a later
// stop.
std::uint32_t bytesInStopLatency(const TransferLimits& limits)
{
    constexpr std::uint64_t kFewest = 16;
    if (limits.byteNs == 0)
        return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(std::max(kFewest, kStopLatencyNs / limits.byteNs));
}

struct Range {
    std::uint32_t start;
    std::uint32_t length;
};

// One call's worth of read runs.
using ReadBatch = std::vector<ReadRun>;

// The runs of a range into out: never across the chip's read boundary nor
// longer than the adapter reads at once, bytewise one byte each; grouped
// into calls as the adapter allows.
std::vector<ReadBatch> planReads(const ChipJob& job, Range range, std::uint8_t* out)
{
    const TransferLimits limits = job.bus.limits();
    const std::uint32_t budget = bytesInStopLatency(limits);
    std::uint32_t longest = std::min({job.chip.readBoundary(), limits.maxReadRun, budget});
    if (job.transfers == Transfers::Bytewise || limits.byteTransactionsOnly)
        longest = 1;
    longest = std::max<std::uint32_t>(1, longest);
    const std::uint32_t batchBytes = std::max(std::min(limits.maxReadBatch, budget), longest);

    std::vector<ReadBatch> batches;
    std::uint32_t inBatch = batchBytes;
    const std::uint32_t end = range.start + range.length;
    for (std::uint32_t address = range.start; address < end;) {
        const std::uint32_t boundary =
            (address / job.chip.readBoundary() + 1) * job.chip.readBoundary();
        const std::uint32_t length = std::min({longest, end - address, boundary - address});
        if (inBatch + length > batchBytes) {
            batches.emplace_back();
            inBatch = 0;
        }
        batches.back().push_back(ReadRun{address, out + (address - range.start), length});
        inBatch += length;
        address += length;
    }
    return batches;
}

// One call, a failing run tried again as often as allowed.
void readBatch(ChipJob& job, const ReadBatch& batch)
{
    std::size_t from = 0;
    std::size_t lastFailed = batch.size();
    int tries = 0;
    while (from < batch.size()) {
        const ReadBatch rest(batch.begin() + static_cast<std::ptrdiff_t>(from), batch.end());
        const DeviceBus::ReadOutcome outcome = job.bus.read(job.chip, rest);
        if (outcome.result.ok())
            return;
        const std::size_t failed = from + outcome.run;
        if (failed != lastFailed) {
            lastFailed = failed;
            tries = 0;
        }
        const std::uint32_t address = batch[failed].address;
        if (++tries > kReadRetries)
            throw ChipStop(noAcknowledgeText(job.chip, address), address);
        ++job.retriedReads;
        from = failed;
    }
}

// The ranges into out (their bytes one after the other), progress counted
// over all of them.
PassEnd readRanges(ChipJob& job, const std::vector<Range>& ranges, std::vector<std::uint8_t>& out,
                   ByteSink* sink)
{
    long total = 0;
    for (const Range& range : ranges)
        total += range.length;
    out.assign(static_cast<std::size_t>(total), 0xFF);
    long done = 0;
    for (const Range& range : ranges) {
        for (const ReadBatch& batch : planReads(job, range, out.data() + done)) {
            long length = 0;
            for (const ReadRun& run : batch)
                length += run.length;
            if (pumpAndCheckStop(job.display)) {
                out.resize(static_cast<std::size_t>(done));
                return PassEnd::Stopped;
            }
            showStep(job.display, done, length, total, batch.front().address);
            readBatch(job, batch);
            finished(job.display, done, length, total,
                     batch.back().address + batch.back().length - 1);
            const std::uint8_t* bytes = out.data() + done;
            job.display.showData(bytes[length - 1]);
            if (sink)
                sink->put(bytes, static_cast<std::size_t>(length));
            done += length;
        }
    }
    job.display.showProgress(total, total, total > 0 ? static_cast<long>(ranges.back().start +
                                                                         ranges.back().length - 1)
                                                     : 0);
    return PassEnd::Completed;
}

std::uint32_t endOf(const WriteRun& run)
{
    return run.address + static_cast<std::uint32_t>(run.bytes.size());
}

// What a stopped write adds to the chip's answer.
std::string stoppedSentence(std::uint32_t address, long written, long total)
{
    if (written == 0)
        return " Nothing was written.";
    return " Stopped at " + addressText(address) + " after writing " + std::to_string(written) +
           " of " + std::to_string(total) + " bytes; the chip holds part of the image.";
}

std::string sentence(const std::string& text)
{
    if (!text.empty() && text.back() != '.')
        return text + ".";
    return text;
}

WriteOutcome writeRunsShown(ChipJob& job, const std::vector<WriteRun>& runs, long percentTotal)
{
    WriteOutcome outcome;
    for (const WriteRun& run : runs)
        outcome.total += static_cast<long>(run.bytes.size());
    const long total = percentTotal > 0 ? percentTotal : outcome.total;
    const TransferLimits limits = job.bus.limits();
    const std::size_t perCall = std::max<std::uint32_t>(1, limits.maxWriteBatch);
    // A write's bus time: its bytes with the address phase, then the write
    // cycle its polls wait out.
    const auto busNs = [&](const WriteRun& run) {
        return (run.bytes.size() + 1 + static_cast<std::size_t>(job.chip.wordAddressBytes)) *
                   std::uint64_t{limits.byteNs} +
               std::uint64_t{job.chip.writeCycleUs} * 1000u;
    };
    for (std::size_t first = 0; first < runs.size();) {
        // As many writes as the adapter takes at once and a stop may wait for.
        std::size_t end = first + 1;
        std::uint64_t ns = busNs(runs[first]);
        while (end < runs.size() && end - first < perCall) {
            ns += busNs(runs[end]);
            if (limits.byteNs != 0 && ns > kStopLatencyNs)
                break;
            ++end;
        }
        const std::vector<WriteRun> batch(runs.begin() + static_cast<std::ptrdiff_t>(first),
                                          runs.begin() + static_cast<std::ptrdiff_t>(end));
        long length = 0;
        for (const WriteRun& run : batch)
            length += static_cast<long>(run.bytes.size());
        outcome.next = batch.front().address;
        if (pumpAndCheckStop(job.display)) {
            outcome.end = PassEnd::Stopped;
            return outcome;
        }
        showStep(job.display, outcome.written, length, total, batch.front().address);
        DeviceBus::WriteOutcome result;
        try {
            result = job.bus.writeBatch(job.chip, batch);
        } catch (const std::exception& e) {
            // The adapter, its link, the trace or the simulated chip's file
            // failed with the chip half written: the writes of the batch
            // that ended on the chip count, the one that failed does not.
            const auto* failure = dynamic_cast<const WriteBatchFailure*>(&e);
            const std::size_t done = failure ? std::min(failure->done(), batch.size()) : 0;
            long before = outcome.written;
            for (std::size_t i = 0; i < done; ++i)
                before += static_cast<long>(batch[i].bytes.size());
            const std::uint32_t at = first + done < runs.size() ? runs[first + done].address
                                                                : endOf(runs.back());
            if (done > 0)
                job.display.showAddress(static_cast<int>(endOf(batch[done - 1]) - 1));
            throw ChipStop(sentence(e.what()) + stoppedSentence(at, before, outcome.total), at);
        }
        if (!result.result.ok()) {
            long before = outcome.written;
            for (std::size_t i = 0; i < result.run; ++i)
                before += static_cast<long>(batch[i].bytes.size());
            const WriteRun& run = batch[result.run];
            switch (result.result.status) {
            case BusStatus::Done:
                break;
            case BusStatus::NoAcknowledge:
                throw ChipStop(noAcknowledgeText(job.chip, run.address) +
                                   stoppedSentence(run.address, before, outcome.total),
                               run.address);
            case BusStatus::DataRefused: {
                const auto at = static_cast<std::uint32_t>(run.address + result.result.at);
                throw ChipStop(dataRefusedText(job.chip, at) +
                                   stoppedSentence(at, before, outcome.total),
                               at);
            }
            case BusStatus::Busy:
                throw ChipStop(stayedBusyText(job.chip, run.address) +
                                   stoppedSentence(run.address,
                                                   before + static_cast<long>(run.bytes.size()),
                                                   outcome.total),
                               run.address);
            }
        }
        finished(job.display, outcome.written, length, total, endOf(batch.back()) - 1);
        job.display.showData(batch.back().bytes.back());
        outcome.written += length;
        first = end;
    }
    outcome.next = runs.empty() ? 0 : runs.back().address + static_cast<std::uint32_t>(runs.back().bytes.size());
    job.display.showProgress(outcome.written, total, static_cast<long>(outcome.next));
    return outcome;
}

// The chip's page, or one byte for byte transactions.
// The ranges read back and compared with wanted: the first difference and
// how many bytes differ in all.
std::optional<VerifyMismatch> readAndCompare(ChipJob& job, const std::vector<Range>& ranges,
                                             const WantedImage& wanted)
{
    std::vector<std::uint8_t> bytes;
    if (readRanges(job, ranges, bytes, nullptr) == PassEnd::Stopped)
        throw ChipStop("Interrupted while verifying.", 0);
    std::optional<VerifyMismatch> first;
    std::size_t at = 0;
    for (const Range& range : ranges) {
        const std::vector<std::uint8_t> part(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                             bytes.begin() + static_cast<std::ptrdiff_t>(at + range.length));
        at += range.length;
        if (const auto mismatch = compareWithChip(part, wanted, range.start)) {
            if (!first)
                first = mismatch;
            else
                first->count += mismatch->count;
        }
    }
    return first;
}

std::uint32_t pageOf(const ChipJob& job)
{
    if (job.transfers == Transfers::Bytewise || job.bus.limits().byteTransactionsOnly)
        return 1;
    return static_cast<std::uint32_t>(std::max(1, job.chip.pageSize));
}

// A run within one page, cut into the adapter's longest writes. Cutting by
// the page first keeps every piece inside its page even when the adapter's
// limit does not divide the page.
void addRun(std::vector<WriteRun>& runs, WriteRun run, std::uint32_t longest)
{
    if (run.bytes.size() <= longest) {
        runs.push_back(std::move(run));
        return;
    }
    for (std::size_t at = 0; at < run.bytes.size(); at += longest) {
        const std::size_t end = std::min(run.bytes.size(), at + longest);
        runs.push_back(WriteRun{run.address + static_cast<std::uint32_t>(at),
                                {run.bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                 run.bytes.begin() + static_cast<std::ptrdiff_t>(end)}});
    }
}

}  // namespace

std::string fillText(std::uint8_t value)
{
    return "Fill " + byteHex(value);
}

std::string addressText(std::uint32_t address)
{
    return addressHex(address);
}

PassEnd readRange(ChipJob& job, std::uint32_t start, std::uint32_t length,
                  std::vector<std::uint8_t>& out)
{
    return readRanges(job, {Range{start, length}}, out, nullptr);
}

PassEnd readPass(ChipJob& job, ByteSink& sink)
{
    PanelTextGuard panel(job.display);
    job.display.setMeterCaption(std::string());
    job.display.setPanelText(std::string(kReadingText));
    std::vector<std::uint8_t> bytes;
    if (readRanges(job, {Range{0, static_cast<std::uint32_t>(job.chip.size)}}, bytes, &sink) ==
        PassEnd::Stopped)
        return PassEnd::Stopped;
    job.display.setMeterCaption(std::string(kCompletedText));
    return PassEnd::Completed;
}

PassEnd fillPass(ChipJob& job, std::uint8_t value, bool erase, WriteOutcome* outcome)
{
    PanelTextGuard panel(job.display);
    job.display.setMeterCaption(std::string());
    job.display.setPanelText(erase ? std::string(kEraseText) : fillText(value));
    const auto runs =
        planWrite(job, WantedImage::constant(static_cast<std::size_t>(job.chip.size), value), nullptr);
    const WriteOutcome result = writeRunsShown(job, runs, job.chip.size);
    if (outcome)
        *outcome = result;
    if (result.end == PassEnd::Stopped)
        return PassEnd::Stopped;
    job.display.setMeterCaption(std::string(kCompletedText));
    return PassEnd::Completed;
}

PassEnd writePass(ChipJob& job, const std::vector<std::uint8_t>& image, WriteOutcome* outcome)
{
    PanelTextGuard panel(job.display);
    job.display.setPanelText(std::string(kWritingText));
    job.display.setMeterCaption(std::string());
    const auto size = static_cast<std::size_t>(job.chip.size);
    WantedImage wanted = WantedImage::fromImage(image, size, 0xFF);
    // Only the image's own bytes are written; the rest of the chip is left.
    for (std::size_t i = std::min(image.size(), size); i < size; ++i)
        wanted.present[i] = false;
    wanted.given = std::min(image.size(), size);
    const WriteOutcome result = writeRunsShown(job, planWrite(job, wanted, nullptr), job.chip.size);
    if (outcome)
        *outcome = result;
    return result.end;
}

WantedImage WantedImage::constant(std::size_t size, std::uint8_t value)
{
    WantedImage wanted;
    wanted.bytes.assign(size, value);
    wanted.present.assign(size, true);
    wanted.given = size;
    return wanted;
}

WantedImage WantedImage::fromImage(const std::vector<std::uint8_t>& image, std::size_t size,
                                   std::uint8_t beyond)
{
    WantedImage wanted = constant(size, beyond);
    std::copy_n(image.begin(), std::min(image.size(), size), wanted.bytes.begin());
    return wanted;
}

std::vector<WriteRun> planWrite(const ChipJob& job, const WantedImage& wanted,
                                const std::vector<std::uint8_t>* chipNow)
{
    const std::uint32_t page = pageOf(job);
    const TransferLimits limits = job.bus.limits();
    // A page is what a stop waits for at most: cut smaller, every page would
    // cost the chip more write cycles (its wear and their time) for a stop
    // that comes a little sooner.
    const std::uint32_t longest = std::max<std::uint32_t>(1, std::min(page, limits.maxWrite));
    const auto size = static_cast<std::uint32_t>(std::min<std::size_t>(
        wanted.bytes.size(), static_cast<std::size_t>(job.chip.size)));
    const auto differs = [&](std::uint32_t a) {
        return wanted.present[a] && (!chipNow || a >= chipNow->size() || (*chipNow)[a] != wanted.bytes[a]);
    };
    std::vector<WriteRun> runs;
    for (std::uint32_t first = 0; first < size; first += page) {
        const std::uint32_t end = std::min(first + page, size);
        if (chipNow) {
            // One run from the first to the last differing byte; a byte the
            // image leaves open between them keeps what the chip holds.
            std::uint32_t from = end;
            std::uint32_t to = first;
            for (std::uint32_t a = first; a < end; ++a) {
                if (differs(a)) {
                    from = std::min(from, a);
                    to = a + 1;
                }
            }
            if (from >= to)
                continue;
            // A Microwire word is written whole: the byte beside a change
            // goes as the chip holds it, and needs no read first.
            if (job.chip.isMicrowire()) {
                from = first;
                to = end;
            }
            WriteRun run{from, {}};
            for (std::uint32_t a = from; a < to; ++a)
                run.bytes.push_back(wanted.present[a] ? wanted.bytes[a] : (*chipNow)[a]);
            addRun(runs, std::move(run), longest);
            continue;
        }
        // Every given byte, in runs of consecutive ones.
        for (std::uint32_t a = first; a < end;) {
            if (!wanted.present[a]) {
                ++a;
                continue;
            }
            WriteRun run{a, {}};
            while (a < end && wanted.present[a])
                run.bytes.push_back(wanted.bytes[a++]);
            addRun(runs, std::move(run), longest);
        }
    }
    return runs;
}

WriteOutcome writeRuns(ChipJob& job, const std::vector<WriteRun>& runs)
{
    return writeRunsShown(job, runs, 0);
}

std::optional<VerifyMismatch> verifyRuns(ChipJob& job, const std::vector<WriteRun>& runs,
                                         const WantedImage& wanted)
{
    // The whole pages the runs wrote, neighbours merged.
    const auto page = static_cast<std::uint32_t>(std::max(1, job.chip.pageSize));
    std::vector<Range> ranges;
    for (const WriteRun& run : runs) {
        const std::uint32_t start = run.address / page * page;
        const std::uint32_t end = std::min<std::uint32_t>(
            (run.address + static_cast<std::uint32_t>(run.bytes.size()) + page - 1) / page * page,
            static_cast<std::uint32_t>(job.chip.size));
        if (!ranges.empty() && ranges.back().start + ranges.back().length >= start) {
            ranges.back().length = std::max(ranges.back().start + ranges.back().length, end) -
                                   ranges.back().start;
            continue;
        }
        ranges.push_back(Range{start, end - start});
    }
    return readAndCompare(job, ranges, wanted);
}

std::optional<VerifyMismatch> compareWithChip(const std::vector<std::uint8_t>& chip,
                                              const WantedImage& wanted, std::uint32_t start)
{
    std::optional<VerifyMismatch> result;
    for (std::size_t i = 0; i < chip.size(); ++i) {
        const std::size_t a = start + i;
        if (a >= wanted.bytes.size() || !wanted.present[a] || chip[i] == wanted.bytes[a])
            continue;
        if (!result)
            result = VerifyMismatch{static_cast<std::uint32_t>(a), wanted.bytes[a], chip[i], 0};
        ++result->count;
    }
    return result;
}

std::string verifyFailureText(const VerifyMismatch& m)
{
    return "Verify failed at " + addressText(m.address) + ": wrote " + byteHex(m.wrote) +
           ", read " + byteHex(m.read) + " (" + std::to_string(m.count) +
           (m.count == 1 ? " byte differs)." : " bytes differ).");
}

namespace {

SpiChipBus& flashBus(ChipJob& job)
{
    auto* bus = dynamic_cast<SpiChipBus*>(&job.bus);
    if (!bus || !job.chip.isFlash())
        throw ChipStop("The " + std::string(job.chip.caption) + " is no flash on an SPI bus", 0);
    return *bus;
}

// The programs of one unit: from the first to the last byte of each page
// that must change (after an erase: that is not FF).
void addPrograms(std::vector<WriteRun>& runs, const ChipJob& job, const WantedImage& target,
                 const std::vector<std::uint8_t>& before, std::uint32_t from, std::uint32_t end,
                 bool erased)
{
    const auto page = static_cast<std::uint32_t>(std::max(1, job.chip.pageSize));
    const std::uint32_t longest = std::max<std::uint32_t>(1, std::min(page, job.bus.limits().maxWrite));
    for (std::uint32_t first = from; first < end; first += page) {
        const std::uint32_t last = std::min(first + page, end);
        std::uint32_t lo = last;
        std::uint32_t hi = first;
        for (std::uint32_t a = first; a < last; ++a) {
            const bool change = erased ? target.bytes[a] != 0xFF : target.bytes[a] != before[a];
            if (change) {
                lo = std::min(lo, a);
                hi = a + 1;
            }
        }
        if (lo >= hi)
            continue;
        addRun(runs, WriteRun{lo, {target.bytes.begin() + lo, target.bytes.begin() + hi}}, longest);
    }
}

}  // namespace

FlashPlan planFlashWrite(const ChipJob& job, const WantedImage& wanted,
                         const std::vector<std::uint8_t>& chipNow, bool all)
{
    const ChipType& chip = job.chip;
    const auto size = static_cast<std::uint32_t>(chip.size);
    const std::uint32_t unit = std::max<std::uint32_t>(1, chip.smallestErase().size);
    FlashPlan plan;
    plan.target = WantedImage::constant(size, 0xFF);
    std::copy_n(chipNow.begin(), std::min<std::size_t>(chipNow.size(), size), plan.target.bytes.begin());
    for (std::uint32_t a = 0; a < size && a < wanted.bytes.size(); ++a)
        if (wanted.present[a])
            plan.target.bytes[a] = wanted.bytes[a];

    // Per smallest unit: untouched, program only, or erase and program.
    enum class Need { None, Program, Erase };
    const std::uint32_t count = (size + unit - 1) / unit;
    std::vector<Need> need(count, Need::None);
    for (std::uint32_t u = 0; u < count; ++u) {
        bool touched = false;
        bool differs = false;
        bool setsBits = false;
        for (std::uint32_t a = u * unit; a < std::min(size, (u + 1) * unit); ++a) {
            if (a >= wanted.bytes.size() || !wanted.present[a])
                continue;
            touched = true;
            const std::uint8_t now = a < chipNow.size() ? chipNow[a] : 0x00;
            differs |= now != wanted.bytes[a];
            // Programming only clears bits: a 0 that must become 1 needs an erase.
            setsBits |= (now & wanted.bytes[a]) != wanted.bytes[a];
        }
        if (!touched || (!differs && !all))
            continue;
        need[u] = all || setsBits ? Need::Erase : Need::Program;
    }

    // The erase unit of each smallest unit: the largest whose aligned block
    // needs erasing throughout.
    std::vector<const EraseUnit*> by(count, &chip.smallestErase());
    for (const EraseUnit& larger : chip.spi.erase) {
        if (larger.size <= unit || larger.size % unit != 0)
            continue;
        const std::uint32_t per = larger.size / unit;
        for (std::uint32_t b = 0; b + per <= count; b += per) {
            bool whole = true;
            for (std::uint32_t u = b; u < b + per && whole; ++u)
                whole = need[u] == Need::Erase;
            if (whole)
                for (std::uint32_t u = b; u < b + per; ++u)
                    by[u] = &larger;
        }
    }

    for (std::uint32_t u = 0; u < count;) {
        if (need[u] == Need::None) {
            ++u;
            continue;
        }
        FlashStep step;
        step.address = u * unit;
        if (need[u] == Need::Erase) {
            step.erase = *by[u];
            step.span = by[u]->size;
            ++plan.erases;
            plan.erasedBytes += step.span;
        } else {
            step.span = unit;
        }
        const std::uint32_t end = std::min(size, step.address + step.span);
        addPrograms(step.runs, job, plan.target, chipNow, step.address, end, step.erase.has_value());
        for (const WriteRun& run : step.runs)
            plan.programBytes += static_cast<long>(run.bytes.size());
        u = end / unit;
        plan.steps.push_back(std::move(step));
    }
    return plan;
}

WriteOutcome writeFlash(ChipJob& job, const FlashPlan& plan)
{
    SpiChipBus& bus = flashBus(job);
    WriteOutcome outcome;
    outcome.total = plan.programBytes;
    long spanTotal = 0;
    for (const FlashStep& step : plan.steps)
        spanTotal += step.span;
    long spanDone = 0;
    const std::size_t perCall = std::max<std::uint32_t>(1, job.bus.limits().maxWriteBatch);
    for (const FlashStep& step : plan.steps) {
        outcome.next = step.address;
        if (pumpAndCheckStop(job.display)) {
            outcome.end = PassEnd::Stopped;
            return outcome;
        }
        showStep(job.display, spanDone, step.span, spanTotal, step.address);
        const auto stopped = [&](const std::string& text, std::uint32_t at, long written) {
            return ChipStop(sentence(text) + stoppedSentence(at, written, outcome.total), at);
        };
        if (step.erase) {
            BusResult result;
            try {
                result = bus.erase(job.chip, step.address, *step.erase);
            } catch (const std::exception& e) {
                throw stopped(e.what(), step.address, outcome.written);
            }
            if (!result.ok())
                throw ChipStop(stayedBusyText(job.chip, step.address) +
                                   stoppedSentence(step.address, outcome.written, outcome.total),
                               step.address);
        }
        for (std::size_t first = 0; first < step.runs.size(); first += perCall) {
            const std::size_t end = std::min(step.runs.size(), first + perCall);
            const std::vector<WriteRun> batch(step.runs.begin() + static_cast<std::ptrdiff_t>(first),
                                              step.runs.begin() + static_cast<std::ptrdiff_t>(end));
            DeviceBus::WriteOutcome result;
            try {
                result = bus.writeBatch(job.chip, batch);
            } catch (const std::exception& e) {
                const auto* failure = dynamic_cast<const WriteBatchFailure*>(&e);
                const std::size_t done = failure ? std::min(failure->done(), batch.size()) : 0;
                for (std::size_t i = 0; i < done; ++i)
                    outcome.written += static_cast<long>(batch[i].bytes.size());
                const std::uint32_t at = done < batch.size() ? batch[done].address : endOf(batch.back());
                throw stopped(e.what(), at, outcome.written);
            }
            if (!result.result.ok()) {
                for (std::size_t i = 0; i < result.run; ++i)
                    outcome.written += static_cast<long>(batch[i].bytes.size());
                const WriteRun& run = batch[result.run];
                const long written = outcome.written + static_cast<long>(run.bytes.size());
                throw ChipStop(stayedBusyText(job.chip, run.address) +
                                   stoppedSentence(run.address, written, outcome.total),
                               run.address);
            }
            for (const WriteRun& run : batch)
                outcome.written += static_cast<long>(run.bytes.size());
        }
        finished(job.display, spanDone, step.span, spanTotal, step.address + step.span - 1);
        spanDone += step.span;
    }
    outcome.next = plan.steps.empty() ? 0 : plan.steps.back().address + plan.steps.back().span;
    job.display.showProgress(spanTotal, spanTotal, static_cast<long>(outcome.next));
    return outcome;
}

std::optional<VerifyMismatch> verifyFlash(ChipJob& job, const FlashPlan& plan)
{
    std::vector<Range> ranges;
    const auto size = static_cast<std::uint32_t>(job.chip.size);
    for (const FlashStep& step : plan.steps) {
        const std::uint32_t end = std::min(size, step.address + step.span);
        if (!ranges.empty() && ranges.back().start + ranges.back().length == step.address)
            ranges.back().length += end - step.address;
        else
            ranges.push_back(Range{step.address, end - step.address});
    }
    return readAndCompare(job, ranges, plan.target);
}

PassEnd eraseFlashChip(ChipJob& job)
{
    SpiChipBus& bus = flashBus(job);
    PanelTextGuard panel(job.display);
    job.display.setMeterCaption(std::string());
    job.display.setPanelText(std::string(kEraseText));
    if (pumpAndCheckStop(job.display))
        return PassEnd::Stopped;
    const long total = job.chip.size;
    const std::uint64_t typicalNs = std::max<std::uint64_t>(1, job.chip.spi.chipEraseTypicalMs) * 1'000'000u;
    showStep(job.display, 0, total, total, 0);
    // The chip takes no command until it is done: a stop waits for it.
    const BusResult result = bus.eraseChip(job.chip, [&](std::uint64_t elapsedNs) {
        const long done = static_cast<long>(std::min<double>(
            0.99, static_cast<double>(elapsedNs) / static_cast<double>(typicalNs)) * static_cast<double>(total));
        job.display.processMessages();
        job.display.showPercent(percentOf(done, total));
        job.display.showProgress(done, total, 0);
    });
    if (!result.ok())
        throw ChipStop(stayedBusyText(job.chip, 0) + " Nothing more was done.", 0);
    job.display.showPercent(100);
    job.display.showProgress(total, total, total - 1);
    job.display.setMeterCaption(std::string(kCompletedText));
    return PassEnd::Completed;
}

PassEnd fillMicrowireChip(ChipJob& job, std::uint8_t value, bool erase, long* rewritten)
{
    auto* bus = dynamic_cast<MicrowireBus*>(&job.bus);
    if (!bus || !job.chip.isMicrowire())
        throw std::logic_error("a whole-chip write needs a Microwire chip on its bus");
    PanelTextGuard panel(job.display);
    job.display.setMeterCaption(std::string());
    job.display.setPanelText(erase ? std::string(kEraseText) : fillText(value));
    if (pumpAndCheckStop(job.display))
        return PassEnd::Stopped;
    const long total = job.chip.size;
    showStep(job.display, 0, total, total, 0);
    // Some parts take ERAL and WRAL only at 5 V: one that started no cycle,
    // or left words as they were, gets them word by word, and the word
    // writes tell whether it takes writes at all.
    const BusResult result = bus->writeAll(job.chip, value);
    if (result.status == BusStatus::NoAcknowledge)
        throw ChipStop(noAcknowledgeText(job.chip, 0) + " Nothing was written.", 0);
    if (result.status == BusStatus::Busy)
        throw ChipStop(stayedBusyText(job.chip, 0) + " Nothing more was done.", 0);
    std::vector<std::uint8_t> held;
    if (readRange(job, 0, static_cast<std::uint32_t>(total), held) == PassEnd::Stopped)
        return PassEnd::Stopped;
    const WantedImage wanted = WantedImage::constant(static_cast<std::size_t>(total), value);
    const auto runs = planWrite(job, wanted, &held);
    long left = 0;
    for (const WriteRun& run : runs)
        left += static_cast<long>(run.bytes.size());
    if (rewritten)
        *rewritten = left;
    if (!runs.empty() && writeRunsShown(job, runs, total).end == PassEnd::Stopped)
        return PassEnd::Stopped;
    job.display.showPercent(100);
    job.display.showProgress(total, total, total - 1);
    job.display.setMeterCaption(std::string(kCompletedText));
    return PassEnd::Completed;
}

std::string noAcknowledgeText(const ChipType& chip, std::uint32_t address)
{
    if (chip.isMicrowire())
        return "The " + std::string(chip.caption) + " did not answer at " + addressText(address) +
               ": no chip drives DO (no dummy 0 before its data); check that it sits in its "
               "adapter board the right way round and the adapter is powered.";
    if (chip.transport() == Transport::Spi)
        return "The " + std::string(chip.caption) + " did not answer at " + addressText(address) +
               ": " + kNoSpiChipText + "; check that it sits in the socket and the adapter is powered.";
    return "No acknowledge from the " + std::string(chip.caption) + " at " + addressText(address) +
           ": check that the chip sits in the socket and the adapter is powered.";
}

std::string dataRefusedText(const ChipType& chip, std::uint32_t address)
{
    if (chip.isMicrowire())
        return "The " + std::string(chip.caption) + " did not take the write at " +
               addressText(address) +
               ": it started no write cycle, so it did not take the write enable (EWEN); it may "
               "be write-protected (its PE or WP pin held low).";
    return "The " + std::string(chip.caption) + " did not accept data at " + addressText(address) +
           ": it may be write-protected (WP pin high).";
}

std::string stayedBusyText(const ChipType& chip, std::uint32_t address)
{
    if (chip.isMicrowire())
        return "The " + std::string(chip.caption) + " stayed busy after the write at " +
               addressText(address) + ": DO still showed busy past the datasheet's longest time.";
    if (chip.transport() == Transport::Spi)
        return "The " + std::string(chip.caption) + " stayed busy after the " +
               (chip.isFlash() ? "program or erase" : "write") + " at " + addressText(address) +
               ": its status register still showed a write in progress past the datasheet's "
               "longest time.";
    return "The " + std::string(chip.caption) + " stayed busy after the write at " +
           addressText(address) + ": it did not answer before the acknowledge polling ran out.";
}

std::string retriedReadsText(const ChipJob& job)
{
    if (job.retriedReads == 0)
        return {};
    return "The " + std::string(job.chip.caption) + " answered " +
           std::to_string(job.retriedReads) +
           (job.retriedReads == 1 ? " read" : " reads") +
           " only when asked again: check the contacts of the socket and the adapter.";
}

}  // namespace kavoda
