// SPDX-License-Identifier: MIT
// A kernel I2C bus with the simulated chip on it: each combined transfer
// becomes clock and data levels, answered with the errno values of the Linux
// bus drivers. Virtual time advances by the system call and the bus clocks.
#pragma once

#include <cstdint>

#include "I2cDev.h"
#include "SimulatedBusMaster.h"
#include "SimulatedLink.h"

namespace kavoda {

class SimulatedI2cDev final : public I2cDevFile, public SimulatedLink {
public:
    // Entering the kernel, the driver and its interrupt, per transfer.
    static constexpr std::uint64_t kTransferOverheadNs = 50'000;
    // The kernel's limit of messages in one transfer.
    static constexpr std::size_t kMaxMessages = 42;

    // zeroLengthMessages: whether the bus driver accepts a message without
    // bytes (some refuse it with EOPNOTSUPP).
    explicit SimulatedI2cDev(const ChipOptions& chip, int khz = kDefaultI2cSpeedKhz,
                             bool zeroLengthMessages = true);

    int transfer(std::vector<I2cMessage>& messages) override;

    std::uint64_t nowNs() const override { return m_bus.nowNs(); }
    SimulatedChip& chip() override { return m_bus.chip(); }
    const SimulatedChip& chip() const { return m_bus.chip(); }
    std::uint64_t transfers() const override { return m_transfers; }

private:
    SimulatedBusMaster m_bus;
    bool m_zeroLengthMessages;
    std::uint64_t m_transfers = 0;
};

}  // namespace kavoda
