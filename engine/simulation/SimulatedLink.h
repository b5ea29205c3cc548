// SPDX-License-Identifier: MIT
// What a simulated adapter tells about itself: the chip on its bus, its
// virtual time, and how many transfers it has carried.
#pragma once

#include <cstdint>

namespace kavoda {

class SimulatedChip;

class SimulatedLink {
public:
    virtual ~SimulatedLink() = default;
    virtual SimulatedChip& chip() = 0;
    virtual std::uint64_t nowNs() const = 0;
    // USB bulk transfers or system calls.
    virtual std::uint64_t transfers() const = 0;
};

}  // namespace kavoda
