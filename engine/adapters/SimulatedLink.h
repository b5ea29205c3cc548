// SPDX-License-Identifier: MIT
// What a simulated adapter tells about itself: the chip on its bus, its
// virtual time, and how many transfers it has carried.
#pragma once

#include <cstdint>

namespace kavoda {

class SimulatedChip;
class SimulatedSpiDevice;
class SimulatedWireDevice;

class SimulatedLink {
public:
    virtual ~SimulatedLink() = default;
    // The chip on an I2C bus; a link to an SPI chip has none and throws.
    virtual SimulatedChip& chip() = 0;
    // The chip on an SPI bus, or none.
    virtual SimulatedSpiDevice* spiChip() { return nullptr; }
    // The chip on single lines (Microwire), or none.
    virtual SimulatedWireDevice* wireChip() { return nullptr; }
    virtual std::uint64_t nowNs() const = 0;
    // USB bulk transfers or system calls.
    virtual std::uint64_t transfers() const = 0;
};

}  // namespace kavoda
