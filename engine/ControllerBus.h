// SPDX-License-Identifier: MIT
// The device transactions on an adapter with an I2C controller of its own (a
// CH341A, a Linux I2C bus), real or simulated. The address bytes are those of
// the parallel port (address24C, addressSDA), and writes poll as it does.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "Adapter.h"
#include "DeviceBus.h"
#include "I2cController.h"
#include "SimulatedChip.h"

namespace kavoda {

class SimulatedBusMaster;

class ControllerBus final : public DeviceBus {
public:
    // What claim() opens: the real adapter of choice, or, with a chip given,
    // its simulator with that chip on its bus. The simulator lives as long as
    // this bus, so its chip keeps its content between operations.
    ControllerBus(AdapterChoice choice, std::optional<ChipOptions> simulatedChip);
    // Any controller, opened by `open` at each claim (tests).
    using Opener = std::function<std::unique_ptr<I2cController>()>;
    explicit ControllerBus(Opener open);
    ~ControllerBus() override;

    void claim() override;
    void release() noexcept override;
    std::uint8_t readByte(Family family, std::uint8_t block, std::uint8_t address) override;
    void writeByte(Family family, std::uint8_t block, std::uint8_t address,
                   std::uint8_t data) override;

    // The simulated chip, when there is one (tests, the command-line tool).
    SimulatedChip* simulatedChip();
    // Virtual time of the simulated adapter; 0 without one.
    std::uint64_t simulatedNowNs() const;

private:
    I2cController& controller();

    struct Simulation;
    std::unique_ptr<Simulation> m_simulation;
    Opener m_open;
    std::unique_ptr<I2cController> m_controller;
};

}  // namespace kavoda
