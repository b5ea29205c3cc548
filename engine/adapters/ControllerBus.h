// SPDX-License-Identifier: MIT
// The transactions on an adapter with an I2C controller of its own (a
// CH341A, a Linux I2C bus), real or simulated.
#pragma once

#include <functional>
#include <memory>

#include "DeviceBus.h"
#include "I2cController.h"
#include "SimulatedLink.h"

namespace kavoda {

class ControllerBus final : public DeviceBus {
public:
    // Any controller, opened by `open` at each claim and closed at each
    // release, so that other programs may have it between operations.
    using Opener = std::function<std::unique_ptr<I2cController>()>;
    // A simulated adapter comes with the link that holds its chip: it lives
    // as long as this bus, so the chip keeps its content between operations.
    ControllerBus(Opener open, TransferLimits limits,
                  std::shared_ptr<SimulatedLink> simulation = nullptr);
    ~ControllerBus() override;

    void claim() override;
    void release() noexcept override;
    TransferLimits limits() const override;
    ReadOutcome read(const ChipType& chip, const std::vector<ReadRun>& runs) override;
    BusResult write(const ChipType& chip, std::uint32_t address, const std::uint8_t* data,
                    std::uint32_t length) override;
    WriteOutcome writeBatch(const ChipType& chip, const std::vector<WriteRun>& runs) override;
    bool poll(const ChipType& chip, std::uint32_t address) override;
    std::vector<bool> probe(const std::vector<std::uint8_t>& addressBytes) override;
    ReadOutcome readPhases(const std::vector<PhaseRun>& runs) override;

    // The simulated adapter; nullptr for a real one.
    SimulatedLink* simulation() const { return m_simulation.get(); }

    // Polling after a write lasts at most this many times the chip's
    // longest write cycle of the adapter's own time.
    static constexpr std::uint64_t kPollCycles = 5;

private:
    I2cController& controller();

    Opener m_open;
    std::unique_ptr<I2cController> m_controller;
    TransferLimits m_limits;
    std::shared_ptr<SimulatedLink> m_simulation;
};

}  // namespace kavoda
