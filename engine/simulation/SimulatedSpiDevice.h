// SPDX-License-Identifier: MIT
// A simulated chip on an SPI bus, as a simulated adapter drives it: chip
// select, and bytes shifted both ways (mode 0, most significant bit first).
// Its time is the adapter's virtual time, handed in with every call.
#pragma once

#include <cstdint>
#include <memory>

#include "SimulatedChip.h"

namespace kavoda {

class SimulatedSpiDevice {
public:
    virtual ~SimulatedSpiDevice() = default;
    // Chip select low: a new command begins.
    virtual void select(std::uint64_t nowNs) = 0;
    // One byte in from the adapter (MOSI), one byte out to it (MISO).
    virtual std::uint8_t exchange(std::uint8_t mosi, std::uint64_t nowNs) = 0;
    // Chip select high: a complete write, program or erase command starts
    // its cycle here.
    virtual void deselect(std::uint64_t nowNs) = 0;

    // For tests and benchmarks: the memory, and the write, program and
    // erase cycles begun.
    virtual std::uint8_t cell(std::uint32_t address) const = 0;
    virtual std::uint64_t writeCycles() const = 0;
};

// The simulated chip of an SPI family's row (options.deviceType): a 25xx
// EEPROM or an SPI NOR flash, with the content file, fault and timing of
// the options.
std::unique_ptr<SimulatedSpiDevice> makeSimulatedSpiChip(const ChipOptions& options);

}  // namespace kavoda
