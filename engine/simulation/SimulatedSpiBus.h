// SPDX-License-Identifier: MIT
// An SPI transport that runs its transactions straight on a simulated chip,
// on virtual time: eight clocks a byte at the chosen clock, plus a fixed
// cost per call (a USB round trip or a system call). No adapter's packet
// rules: what the families send, the chip sees.
#pragma once

#include <cstdint>
#include <memory>

#include "SimulatedLink.h"
#include "SimulatedSpiDevice.h"
#include "SpiTransport.h"

namespace kavoda {

class SimulatedSpiBus final : public SimulatedLink {
public:
    struct Timing {
        std::uint32_t clockKhz = 1500;
        std::uint64_t callNs = 0;       // each run() call
        std::uint64_t selectNs = 0;     // each chip select and release
    };
    SimulatedSpiBus(std::unique_ptr<SimulatedSpiDevice> chip, Timing timing,
                    SpiLimits limits = {0x10000, 0x10000});
    ~SimulatedSpiBus() override;

    // A transport onto this bus, as an adapter opens it at each claim.
    std::unique_ptr<SpiTransport> open();

    SimulatedChip& chip() override;
    SimulatedSpiDevice* spiChip() override { return m_chip.get(); }
    std::uint64_t nowNs() const override { return m_nowNs; }
    std::uint64_t transfers() const override { return m_calls; }
    std::uint64_t bytesMoved() const { return m_bytes; }
    void elapse(std::uint64_t ns) { m_nowNs += ns; }

private:
    class Transport;
    std::unique_ptr<SimulatedSpiDevice> m_chip;
    Timing m_timing;
    SpiLimits m_limits;
    std::uint64_t m_nowNs = 0;
    std::uint64_t m_calls = 0;
    std::uint64_t m_bytes = 0;
};

}  // namespace kavoda
