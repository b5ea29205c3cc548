// SPDX-License-Identifier: MIT
// The SPI families (25xx EEPROMs, SPI NOR flash) as the operations see a
// chip: read runs, page writes with their busy polling, erases, over the SPI
// transport of whatever adapter carries them.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "DeviceBus.h"
#include "Sfdp.h"
#include "SpiTransport.h"

namespace kavoda {

class SimulatedLink;

// The chip on the SPI bus is missing, is another one, or is protected: the
// message says which and what to do.
class SpiChipError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kNoSpiChipText = "no chip answers on the SPI bus";

// What a flash said about itself.
struct SpiIdentity {
    std::uint32_t jedecId = 0;
    std::optional<SfdpTable> sfdp;
    const ChipType* row = nullptr;  // the table's row of that JEDEC ID, if any
};

class SpiChipBus final : public DeviceBus {
public:
    using Opener = std::function<std::unique_ptr<SpiTransport>()>;
    SpiChipBus(Opener open, TransferLimits limits, std::shared_ptr<SimulatedLink> simulation);
    ~SpiChipBus() override;

    void claim() override;
    void release() noexcept override;
    TransferLimits limits() const override { return m_limits; }
    ReadOutcome read(const ChipType& chip, const std::vector<ReadRun>& runs) override;
    // A page write (25xx) or page program (flash), then WIP polling.
    BusResult write(const ChipType& chip, std::uint32_t address, const std::uint8_t* data,
                    std::uint32_t length) override;
    WriteOutcome writeBatch(const ChipType& chip, const std::vector<WriteRun>& runs) override;
    // True when the chip's status shows no write in progress.
    bool poll(const ChipType& chip, std::uint32_t address) override;

    // The chip in the socket for a row: the row once the chip has answered
    // as it should (a flash by its JEDEC ID); for the spi-flash row a type
    // made from the chip's SFDP table. Throws SpiChipError.
    const ChipType& identify(const ChipType& row);
    // The flash's JEDEC ID and SFDP table, read by identify().
    const SpiIdentity& identity() const { return m_identity; }
    // The status register's protection as "BP1 BP0 = 11"; empty when none.
    std::string protection(const ChipType& chip);
    // The status register as it reads now.
    std::uint8_t statusRegister() { return readStatus(); }
    // Clears the block-protect bits before the first write of each claim,
    // when they are set; otherwise such a chip is refused.
    void setUnprotect(bool unprotect) { m_unprotect = unprotect; }

    // One erase unit at address (a flash), then WIP polling.
    BusResult erase(const ChipType& chip, std::uint32_t address, const EraseUnit& unit);
    // The whole chip; progress(elapsedNs) is called between status polls.
    BusResult eraseChip(const ChipType& chip,
                        const std::function<void(std::uint64_t)>& progress);

    SimulatedLink* simulation() const { return m_simulation.get(); }
    // Polling after a write or erase lasts at most the row's longest time
    // times this, then one poll more.
    static constexpr std::uint64_t kPollMargin = 2;

private:
    SpiTransport& transport();
    std::uint8_t readStatus();
    BusStatus waitReady(std::uint64_t limitNs);
    void ensureWritable(const ChipType& chip);
    std::vector<std::uint8_t> command(const ChipType& chip, std::uint8_t opcode,
                                      std::uint32_t address) const;
    std::uint32_t chunkOf(const ChipType& chip) const;

    Opener m_open;
    std::unique_ptr<SpiTransport> m_transport;
    TransferLimits m_limits;
    std::shared_ptr<SimulatedLink> m_simulation;
    SpiIdentity m_identity;
    std::unique_ptr<ChipType> m_fromSfdp;
    const ChipType* m_identified = nullptr;  // for this claim
    bool m_writable = false;                 // checked for this claim
    bool m_fourByteMode = false;
    bool m_unprotect = false;
};

// The transport is opened when the bus is claimed and closed when it is
// released. `simulation` is the simulated adapter behind it, if any, for
// tests and benchmarks.
std::unique_ptr<DeviceBus> makeSpiChipBus(std::function<std::unique_ptr<SpiTransport>()> open,
                                          TransferLimits limits,
                                          std::shared_ptr<SimulatedLink> simulation = nullptr);

}  // namespace kavoda
