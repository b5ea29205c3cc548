// SPDX-License-Identifier: MIT
// The chip as the whole-chip operations see it: reads of runs of bytes, a
// write within one page followed by acknowledge polling, and a poll, each by
// absolute address on a chip of the chip table. Every adapter implements it
// and states its limits; the operations split their work by page and by
// those limits, so no adapter repeats the splitting.
#pragma once

#include <cstdint>
#include <vector>

#include "BusResult.h"
#include "ChipTable.h"

namespace kavoda {

struct TransferLimits {
    std::uint32_t maxReadRun;    // longest single read transaction
    std::uint32_t maxReadBatch;  // bytes of read runs one call may carry
    std::uint32_t maxWrite;      // longest write transaction (a page at most)
    std::uint32_t maxWriteBatch;  // write transactions one call may carry
    bool byteTransactionsOnly;   // can only do one byte per transaction
    bool ownClock;               // polling bounded by its time, not by a count
    // Bus time of one byte (nine clocks), so that the operations hand the
    // adapter no more work at once than a stop may wait for; 0: unknown.
    std::uint32_t byteNs = 0;
};

// One read transaction: `length` bytes from `address` into `out`.
struct ReadRun {
    std::uint32_t address = 0;
    std::uint8_t* out = nullptr;
    std::uint32_t length = 0;
};

// One write transaction: bytes at address, within one page.
struct WriteRun {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> bytes;
};

// A read with an address phase of the caller's: the device address byte
// and word address bytes as they go on the wire, whatever chip answers.
struct PhaseRun {
    AddressPhase phase;
    std::uint8_t* out = nullptr;
    std::uint32_t length = 0;
};

// What the adapter did, for benchmarks and for tests that catch a return to
// per-byte work.
struct BusCounters {
    std::uint64_t transactions = 0;  // reads, writes and polls begun on the bus
    std::uint64_t writes = 0;        // write transactions (each starts a write cycle)
};

class DeviceBus {
public:
    virtual ~DeviceBus() = default;

    // Takes the adapter for one operation and gives it back; claim throws
    // PortError (with a message for the user) when it cannot be had.
    virtual void claim() = 0;
    virtual void release() noexcept = 0;

    virtual TransferLimits limits() const = 0;

    // The runs in order, each within the adapter's and the chip's limits;
    // stops at the first run the chip leaves unanswered and says which.
    using ReadOutcome = RunsResult;
    virtual ReadOutcome read(const ChipType& chip, const std::vector<ReadRun>& runs) = 0;
    // length bytes at address, all within one page of the chip, then
    // polling until the chip has stored them (none when its address went
    // unanswered).
    virtual BusResult write(const ChipType& chip, std::uint32_t address, const std::uint8_t* data,
                            std::uint32_t length) = 0;
    // The runs in order, each written and polled as write() does, as many
    // to a call as the adapter's limits say; stops at the first run that
    // does not end well and says which (the runs before it are done). When
    // the adapter, its link or a file fails on the way it throws
    // WriteBatchFailure saying how many runs the chip holds.
    using WriteOutcome = RunsResult;
    virtual WriteOutcome writeBatch(const ChipType& chip, const std::vector<WriteRun>& runs);
    // The device address of the byte at address alone: true when the chip
    // answers (it is there and not busy).
    virtual bool poll(const ChipType& chip, std::uint32_t address) = 0;

    // For finding out what is on the bus without writing: a probe of each
    // address byte (START, the address byte for reading, one byte read and not
    // acknowledged, STOP; true where answered);
    // and reads with any address phase (word address, repeated START, read,
    // STOP: never a STOP after a word address byte). An adapter without
    // them throws PortError.
    virtual std::vector<bool> probe(const std::vector<std::uint8_t>& addressBytes);
    virtual ReadOutcome readPhases(const std::vector<PhaseRun>& runs);

    // The A2..A0 levels of the chip on this bus.
    void setChipAddress(std::uint8_t levels) { m_chipAddress = levels; }
    std::uint8_t chipAddress() const { return m_chipAddress; }

    const BusCounters& counters() const { return m_counters; }

protected:
    AddressPhase phaseOf(const ChipType& chip, std::uint32_t address) const
    {
        return addressPhase(chip, address, m_chipAddress);
    }
    BusCounters m_counters;
    // Set by write() once the STOP has gone out after data the chip
    // acknowledged, so that a failure after it (while polling) still
    // counts that write as done.
    bool m_writeStored = false;

private:
    std::uint8_t m_chipAddress = 0;
};

// The most work the operations hand an adapter in one call, in bus time:
// a stop request waits for no more than this.
inline constexpr std::uint64_t kStopLatencyNs = 100'000'000;

// The parallel port's bus time of one byte at a Delay and FastTiming.
std::uint32_t parallelPortByteNs(std::int32_t busDelay, std::uint8_t fastTiming);

// Holds the bus claimed for the lifetime of the scope.
class BusClaim {
public:
    explicit BusClaim(DeviceBus& bus) : m_bus(bus) { m_bus.claim(); }
    ~BusClaim() { m_bus.release(); }
    BusClaim(const BusClaim&) = delete;
    BusClaim& operator=(const BusClaim&) = delete;

private:
    DeviceBus& m_bus;
};

}  // namespace kavoda
