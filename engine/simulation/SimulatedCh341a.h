// SPDX-License-Identifier: MIT
// A CH341A with the simulated chip on its I2C pins: it executes the command
// streams it receives as clock and data levels, and answers as the real one
// does. Virtual time advances by the USB transfers and the bus clocks.
#pragma once

#include <cstdint>
#include <deque>

#include "Ch341a.h"
#include "SimulatedBusMaster.h"
#include "SimulatedLink.h"

namespace kavoda {

class SimulatedCh341a final : public UsbBulkLink, public SimulatedLink {
public:
    // A full-speed device: a synchronous bulk transfer waits for its 1 ms frame.
    static constexpr std::uint64_t kUsbTransferNs = 1'000'000;

    explicit SimulatedCh341a(const ChipOptions& chip);

    // Throws PortError for a stream the chip would not understand: a packet
    // longer than 32 bytes, one without the stream command, an unknown
    // command, or an OUT whose bytes run past the packet.
    void bulkOut(const std::vector<std::uint8_t>& packet) override;
    // The bytes answered so far; PortError (a USB timeout) when there are none.
    std::vector<std::uint8_t> bulkIn(std::size_t maxLength) override;

    std::uint64_t nowNs() const override { return m_bus.nowNs(); }
    int khz() const { return m_bus.khz(); }
    SimulatedChip& chip() override { return m_bus.chip(); }
    const SimulatedChip& chip() const { return m_bus.chip(); }
    std::uint64_t transfers() const override { return m_transfers; }

private:
    void execute(const std::vector<std::uint8_t>& packet);

    SimulatedBusMaster m_bus;
    std::deque<std::uint8_t> m_reply;
    std::uint64_t m_transfers = 0;
};

}  // namespace kavoda
