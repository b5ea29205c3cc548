// SPDX-License-Identifier: MIT
// The whole-chip operations, once for both programs: read, write (every byte
// or only those that differ), fill, erase and verify, with one comparer, one
// report of the first difference and one answer to a chip that does not
// answer. They run one chip on one bus (a ChipJob) and talk to what they
// show through OperationDisplay: the main window is one display, the
// command-line tool another.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "DeviceBus.h"

namespace kavoda {

// Panel and meter texts of the operations.
inline constexpr std::string_view kReadingText = "Reading...";
inline constexpr std::string_view kWritingText = "Writing...";
inline constexpr std::string_view kEraseText = "Erase...";
inline constexpr std::string_view kCompletedText = "Operation completed";
// "Fill " and the value as two hex digits: "Fill 00", "Fill FF".
std::string fillText(std::uint8_t value);

// What an operation shows and how it keeps its surroundings alive.
class OperationDisplay {
public:
    virtual ~OperationDisplay() = default;

    // Handles whatever is pending (window messages); once per transaction
    // run, always between two of them.
    virtual void processMessages() = 0;
    // Asked right after processMessages: true ends the pass at this boundary.
    virtual bool stopRequested() const = 0;

    virtual void showPercent(int percent) = 0;
    virtual void showAddress(int address) = 0;  // absolute: block * 256 + address
    virtual void showData(std::uint8_t value) = 0;
    virtual std::string panelText() const = 0;
    virtual void setPanelText(const std::string& text) = 0;
    virtual void setMeterCaption(const std::string& text) = 0;
    // The same progress as bytes: done of total, the run at address next.
    virtual void showProgress(long /*done*/, long /*total*/, long /*address*/) {}
};

// How the bytes travel: one transaction per byte (the parallel port in the
// main window, and --bytewise), or runs as long as chip and adapter allow.
enum class Transfers { Bytewise, Fast };

// One chip on one bus, shown on one display.
struct ChipJob {
    DeviceBus& bus;
    const ChipType& chip;
    OperationDisplay& display;
    Transfers transfers = Transfers::Fast;
    // Reads the chip answered only when tried again.
    long retriedReads = 0;
};

// The chip stopped the operation: it did not answer, refused data or stayed
// busy, or the adapter failed while the chip was being written. The message
// says where and, for a write, how far it got.
class ChipStop : public std::runtime_error {
public:
    ChipStop(const std::string& message, std::uint32_t address)
        : std::runtime_error(message), m_address(address)
    {
    }
    std::uint32_t address() const { return m_address; }

private:
    std::uint32_t m_address;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void put(const std::uint8_t* data, std::size_t length) = 0;
};

enum class PassEnd { Completed, Stopped };

struct WriteOutcome;

// Each pass puts the panel text it found back on every path, exceptions
// included. A stopped pass leaves the meter caption as it was. The bus
// timing of the window's port (FastTiming) is the parallel port bus's own
// business: reads halve its waits, writes do not.

// Panel "Reading...", every byte read and put into sink, then the meter
// caption "Operation completed".
PassEnd readPass(ChipJob& job, ByteSink& sink);
// Panel "Erase..." (erase) or "Fill XX", value written to every byte, then
// "Operation completed". outcome, when given, receives how far it got.
PassEnd fillPass(ChipJob& job, std::uint8_t value, bool erase, WriteOutcome* outcome = nullptr);
// Panel "Writing...", the image written from byte 0 until it ends or the
// chip does.
PassEnd writePass(ChipJob& job, const std::vector<std::uint8_t>& image,
                  WriteOutcome* outcome = nullptr);

// Bytes [start, start + length) of the chip, without panel texts; a stop
// request ends it early (out then holds what was read).
PassEnd readRange(ChipJob& job, std::uint32_t start, std::uint32_t length,
                  std::vector<std::uint8_t>& out);

// What a file or an operation asks the chip to hold: some or all bytes.
struct WantedImage {
    std::vector<std::uint8_t> bytes;  // the chip's size
    std::vector<bool> present;        // the bytes given
    std::size_t given = 0;

    static WantedImage constant(std::size_t size, std::uint8_t value);
    // image over a chip of size bytes: its bytes, then `beyond` to the end.
    static WantedImage fromImage(const std::vector<std::uint8_t>& image, std::size_t size,
                                 std::uint8_t beyond);
};

// The runs that put wanted onto the chip: every given byte, or (with
// chipNow) only the pages holding a differing byte, each from its first to
// its last differing byte; split by page, then inside it by the adapter's
// longest write and the bus time a stop may wait for, and,
// bytewise, into single bytes.
std::vector<WriteRun> planWrite(const ChipJob& job, const WantedImage& wanted,
                                const std::vector<std::uint8_t>* chipNow);

struct WriteOutcome {
    PassEnd end = PassEnd::Completed;
    long written = 0;        // bytes done
    long total = 0;          // bytes planned
    std::uint32_t next = 0;  // where a stopped write would have gone on
};

// The runs in order, pumping and asking the display whether to stop before
// each. A chip that stops the write throws ChipStop saying how far it got.
WriteOutcome writeRuns(ChipJob& job, const std::vector<WriteRun>& runs);

// The chip's bytes that the runs touched, page by page, read back and
// compared with wanted.
struct VerifyMismatch;
std::optional<VerifyMismatch> verifyRuns(ChipJob& job, const std::vector<WriteRun>& runs,
                                         const WantedImage& wanted);

// The first byte that the chip does not hold as wanted.
struct VerifyMismatch {
    std::uint32_t address = 0;
    std::uint8_t wrote = 0;
    std::uint8_t read = 0;
    long count = 0;  // how many bytes differ in all
};

// Compares chip bytes starting at `start` with wanted; bytes wanted does
// not give are not compared.
std::optional<VerifyMismatch> compareWithChip(const std::vector<std::uint8_t>& chip,
                                              const WantedImage& wanted, std::uint32_t start = 0);
// "Verify failed at 01A3: wrote 5A, read FF (17 bytes differ)."
std::string verifyFailureText(const VerifyMismatch& mismatch);

// The answers to a chip that does not answer, by address.
std::string noAcknowledgeText(const ChipType& chip, std::uint32_t address);
std::string dataRefusedText(const ChipType& chip, std::uint32_t address);
std::string stayedBusyText(const ChipType& chip, std::uint32_t address);
// A loose contact: reads the chip answered only when asked again. Empty
// when there were none.
std::string retriedReadsText(const ChipJob& job);

// Flash: a write goes by erase units. Each step erases one unit (or none,
// when the unit only needs 1 bits cleared to 0) and programs its pages
// that are not all FF; a stop takes effect between steps only, so every
// unit holds either what it held or what was wanted.
struct FlashStep {
    std::uint32_t address = 0;
    std::uint32_t span = 0;             // bytes the step covers
    std::optional<EraseUnit> erase;     // the unit erased first, if any
    std::vector<WriteRun> runs;         // programs after it
};

struct FlashPlan {
    std::vector<FlashStep> steps;
    long programBytes = 0;
    long erasedBytes = 0;
    int erases = 0;
    // What the touched units hold afterwards: the image where it gives
    // bytes, the chip's bytes elsewhere.
    WantedImage target;
};

// The steps that put wanted onto a flash that holds chipNow: units holding
// a differing byte (every unit the image touches, with all); a unit whose
// every change clears bits is only programmed; units in which every
// smallest unit needs an erase are erased by the larger unit that covers
// them.
FlashPlan planFlashWrite(const ChipJob& job, const WantedImage& wanted,
                         const std::vector<std::uint8_t>& chipNow, bool all = false);
// The steps in order; the outcome counts programmed bytes.
WriteOutcome writeFlash(ChipJob& job, const FlashPlan& plan);
// The units the plan touched, read back and compared with its target.
std::optional<VerifyMismatch> verifyFlash(ChipJob& job, const FlashPlan& plan);
// A chip erase, its progress by elapsed over typical time; a stop is taken
// before the command only. Panel "Erase..." as the other erases.
PassEnd eraseFlashChip(ChipJob& job);

// A Microwire chip set to value in one ERAL (FF) or WRAL cycle, read back,
// and the bytes it did not take (all, when it started no cycle) written
// word by word (rewritten, when given, says how many). Panel "Erase..." or "Fill XX" as the other fills;
// a stop is taken before the cycle and during the rewriting only.
PassEnd fillMicrowireChip(ChipJob& job, std::uint8_t value, bool erase, long* rewritten = nullptr);

// Hex digits for addresses in messages: four, or more for a larger chip.
std::string addressText(std::uint32_t address);

}  // namespace kavoda
