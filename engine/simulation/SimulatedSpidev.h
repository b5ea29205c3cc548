// SPDX-License-Identifier: MIT
// A Linux SPI device with a simulated SPI chip on it: each message's
// transfers shifted through the chip, with chip select as the driver moves
// it, answered with the errno values of the spidev driver. Virtual time
// advances by the system call and the bus clocks.
//
// What it holds to, and where from (the kernel's spidev documentation and
// driver): a message whose transfers shift out more than the buffer
// (bufsiz) in all is refused with EMSGSIZE before the bus is touched; chip
// select is taken before the first transfer and released after the last,
// and between two transfers where the first has cs_change set; cs_change on
// the last transfer leaves it taken after the message.
#pragma once

#include <cstdint>
#include <memory>

#include "SimulatedLink.h"
#include "SimulatedSpiDevice.h"
#include "Spidev.h"

namespace kavoda {

class SimulatedSpidev final : public SpidevFile, public SimulatedLink {
public:
    // Entering the kernel, the driver and its interrupt, per message.
    static constexpr std::uint64_t kMessageOverheadNs = 50'000;

    SimulatedSpidev(std::unique_ptr<SimulatedSpiDevice> chip, int khz,
                    std::uint32_t bufferSize = kDefaultSpidevBufferSize);

    int message(std::vector<SpidevTransfer>& transfers) override;

    std::uint64_t nowNs() const override { return m_nowNs; }
    SimulatedChip& chip() override;
    SimulatedSpiDevice* spiChip() override { return m_chip.get(); }
    std::uint64_t transfers() const override { return m_messages; }
    std::uint32_t bufferSize() const { return m_bufferSize; }

private:
    std::unique_ptr<SimulatedSpiDevice> m_chip;
    std::uint64_t m_byteNs;
    std::uint32_t m_bufferSize;
    std::uint64_t m_nowNs = 0;
    std::uint64_t m_messages = 0;
    bool m_selected = false;
};

}  // namespace kavoda
