// SPDX-License-Identifier: MIT
// PLACEHOLDER, to be replaced by the SPI families' own definitions: the
// simulated 25xx and NOR chips and the SPI chip bus are built beside the
// families. Until then these two say so instead of linking to nothing.
#include "PortBackend.h"
#include "SimulatedSpiDevice.h"
#include "SpiChipBus.h"

namespace kavoda {

std::unique_ptr<SimulatedSpiDevice> makeSimulatedSpiChip(const ChipOptions&)
{
    throw PortError("Simulated SPI chips are not built into this program yet");
}

std::unique_ptr<DeviceBus> makeSpiChipBus(std::function<std::unique_ptr<SpiTransport>()>,
                                          TransferLimits, std::shared_ptr<SimulatedLink>)
{
    throw PortError("SPI chips are not built into this program yet");
}

}  // namespace kavoda
