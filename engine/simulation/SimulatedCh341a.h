// SPDX-License-Identifier: MIT
// A CH341A with the simulated chip on its I2C pins: it executes the command
// streams it receives as clock and data levels, and answers as the real one
// does, packet by packet. Virtual time advances by the USB transfers and the
// bus clocks.
//
// What it holds to, and where from:
// - one USB packet of reply per command packet that produces one, and a
//   short packet ends an IN transfer (the USB bulk rules; the maker's driver
//   reads 32 bytes per packet);
// - a synchronous OUT that leaves more than 4 reply packets unread while no
//   IN waits stalls and times out (a driver comment "the device will crash
//   if more than 4", a report of a timeout after 4 replies);
// - a second OUT|0 in one packet is undefined: no working implementation
//   sends one, so it is refused rather than given a meaning.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>

#include "Ch341a.h"
#include "SimulatedBusMaster.h"
#include "SimulatedLink.h"

namespace kavoda {

class SimulatedCh341a final : public UsbBulkLink, public SimulatedLink {
public:
    // A full-speed device: a transfer waits for its 1 ms frame. Queued INs
    // take the replies as the device makes them; the exchange as a whole
    // pays one frame for its OUT and one for the last IN.
    static constexpr std::uint64_t kUsbTransferNs = 1'000'000;
    // Reply packets the device holds while no IN waits.
    static constexpr std::size_t kMaxUnreadReplies = 4;

    explicit SimulatedCh341a(const ChipOptions& chip);

    // Throws PortError for a stream the device would not understand (a
    // packet without the stream command or END, an unknown command, an OUT
    // whose bytes run past the packet, a count beyond 32, a second OUT|0),
    // and a USB timeout when more than 4 replies would wait unread.
    void bulkOut(const std::vector<std::uint8_t>& packets) override;
    // Whole reply packets up to maxLength bytes, up to and with the first
    // short one; a USB timeout when none waits.
    std::vector<std::uint8_t> bulkIn(std::size_t maxLength) override;
    std::vector<std::uint8_t> exchange(const std::vector<std::uint8_t>& packets,
                                       const std::vector<std::size_t>& inLengths) override;

    // The programmer is pulled out after this many more transfers: the
    // device runs no packet after the last transfer it served.
    void unplugAfter(std::uint64_t transfers) { m_transfersLeft = transfers; }

    std::uint64_t nowNs() const override { return m_bus.nowNs(); }
    int khz() const { return m_bus.khz(); }
    SimulatedChip& chip() override { return m_bus.chip(); }
    const SimulatedChip& chip() const { return m_bus.chip(); }
    std::uint64_t transfers() const override { return m_transfers; }

private:
    using Packet = std::vector<std::uint8_t>;
    std::vector<Packet> split(const std::vector<std::uint8_t>& packets) const;
    // Runs one command packet; its reply (possibly empty).
    Packet execute(const Packet& packet);
    // Counts a transfer; false once the programmer is gone.
    bool serve();

    SimulatedBusMaster m_bus;
    std::deque<Packet> m_unread;
    std::uint64_t m_transfers = 0;
    std::optional<std::uint64_t> m_transfersLeft;
};

}  // namespace kavoda
