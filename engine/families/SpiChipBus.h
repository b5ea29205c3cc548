// SPDX-License-Identifier: MIT
// The SPI families (25xx EEPROMs, SPI NOR flash) as the operations see a
// chip: read runs, page writes with their busy polling, erases, over the SPI
// transport of whatever adapter carries them.
#pragma once

#include <functional>
#include <memory>

#include "DeviceBus.h"
#include "SpiTransport.h"

namespace kavoda {

class SimulatedLink;

// The transport is opened when the bus is claimed and closed when it is
// released. `simulation` is the simulated adapter behind it, if any, for
// tests and benchmarks.
std::unique_ptr<DeviceBus> makeSpiChipBus(std::function<std::unique_ptr<SpiTransport>()> open,
                                          TransferLimits limits,
                                          std::shared_ptr<SimulatedLink> simulation = nullptr);

}  // namespace kavoda
