// SPDX-License-Identifier: MIT
// A simulated chip on single lines (Microwire), as a simulated adapter
// drives them: chip select, clock and data in set, data out read. Its time
// is the adapter's virtual time, handed in with every call.
#pragma once

#include <cstdint>
#include <memory>

#include "SimulatedChip.h"

namespace kavoda {

class SimulatedWireDevice {
public:
    virtual ~SimulatedWireDevice() = default;
    // The line levels after a change by the adapter.
    virtual void drive(bool select, bool clock, bool dataIn, std::uint64_t nowNs) = 0;
    // DO as the adapter reads it: high while the chip does not drive it
    // (the programmer's pull-up).
    virtual bool dataOut(std::uint64_t nowNs) const = 0;

    // For tests and benchmarks: the memory as the chip holds it (a x16
    // word's high byte first), and the write cycles begun.
    virtual std::uint8_t cell(std::uint32_t address) const = 0;
    virtual std::uint64_t writeCycles() const = 0;
};

// The simulated 93Cxx of a Microwire row (options.deviceType), organised as
// options.organisation says (its ORG pin; 0: left open, which gives x16),
// with the content file, fault and write cycle of the options.
std::unique_ptr<SimulatedWireDevice> makeSimulatedMicrowireChip(const ChipOptions& options);

}  // namespace kavoda
