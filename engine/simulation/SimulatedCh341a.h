// SPDX-License-Identifier: MIT
// A CH341A with the simulated chip on its I2C pins or in its SPI socket: it
// executes the command streams it receives as clock and data levels (I2C)
// or bytes shifted (SPI), and answers as the real one does, packet by
// packet. Virtual time advances by the USB transfers and the bus clocks.
//
// What it holds to, and where from:
// - one USB packet of reply per command packet that produces one, and a
//   short packet ends an IN transfer (the USB bulk rules; the maker's driver
//   reads 32 bytes per packet);
// - a synchronous OUT that leaves more than 4 reply packets unread while no
//   IN waits stalls and times out (a driver comment "the device will crash
//   if more than 4", a report of a timeout after 4 replies);
// - a second OUT|0 in one packet is undefined: no working implementation
//   sends one, so it is refused rather than given a meaning;
// - an SPI packet (A8) shifts every byte after the command, least
//   significant bit first, and answers as many (the maker's description of
//   its SPI stream); its USB packet's length is its length, so bytes meant
//   as a next command after a short one would be shifted as data;
// - chip select is the D0 pin of the UIO stream (AB), low when D0 is an
//   output at level 0; END closes a UIO packet; bits clocked by OUT
//   commands on D3 (clock) and D5 (data out) reach the chip as the clock
//   rises, each UIO command taking 1.25 us (the out-of-tree Linux driver's
//   bit-banged SPI reaches "around 400 kHz"); a UIO IN answers the pins,
//   D7 (the chip's data out) high while nothing drives it;
// - the SPI clock is about 1.5 MHz, fixed: the out-of-tree Linux driver
//   for the CH341A documents "a fixed clock of about 1.4 MHz", and
//   captures of the maker's tool show about 1.5 MHz; this model shifts a
//   byte in 8 clocks of 1.5 MHz with no gap between bytes.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

#include "Ch341a.h"
#include "SimulatedBusMaster.h"
#include "SimulatedLink.h"
#include "SimulatedSpiDevice.h"
#include "SimulatedWireDevice.h"

namespace kavoda {

class SimulatedCh341a final : public UsbBulkLink, public SimulatedLink {
public:
    // A full-speed device: a transfer waits for its 1 ms frame. Queued INs
    // take the replies as the device makes them; the exchange as a whole
    // pays one frame for its OUT and one for the last IN.
    static constexpr std::uint64_t kUsbTransferNs = 1'000'000;
    // Reply packets the device holds while no IN waits.
    static constexpr std::size_t kMaxUnreadReplies = 4;
    // One UIO command: the Linux driver's bit-banged SPI reaches about
    // 400 kHz at two commands a clock.
    static constexpr std::uint64_t kUioCommandNs = 1'250;

    // An I2C chip of the table on its I2C pins.
    explicit SimulatedCh341a(const ChipOptions& chip);
    // An SPI chip in its SPI socket, nothing on its I2C pins.
    explicit SimulatedCh341a(std::unique_ptr<SimulatedSpiDevice> spiChip);
    // A Microwire chip on a 93Cxx adapter board in its SPI socket: CS on D0
    // (selected high), SK on D3, DI on D5, DO on D7.
    explicit SimulatedCh341a(std::unique_ptr<SimulatedWireDevice> wireChip);
    ~SimulatedCh341a() override;

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

    std::uint64_t nowNs() const override { return m_bus ? m_bus->nowNs() : m_nowNs; }
    int khz() const { return m_bus ? m_bus->khz() : kDefaultI2cSpeedKhz; }
    SimulatedChip& chip() override;
    const SimulatedChip& chip() const;
    SimulatedSpiDevice* spiChip() override { return m_spi.get(); }
    SimulatedWireDevice* wireChip() override { return m_wire.get(); }
    std::uint64_t transfers() const override { return m_transfers; }
    // Whether chip select (D0) is low now.
    bool chipSelected() const;

private:
    using Packet = std::vector<std::uint8_t>;
    std::vector<Packet> split(const std::vector<std::uint8_t>& packets) const;
    // Runs one command packet; its reply (possibly empty).
    Packet execute(const Packet& packet);
    Packet executeI2c(const Packet& packet);
    Packet executeSpi(const Packet& packet);
    Packet executeUio(const Packet& packet);
    SimulatedBusMaster& i2c();
    bool pinHigh(std::uint8_t pin) const;
    std::uint8_t shiftWire(std::uint8_t mosi);
    void elapse(std::uint64_t ns);
    // Counts a transfer; false once the programmer is gone.
    bool serve();

    std::unique_ptr<SimulatedBusMaster> m_bus;  // none with an SPI chip
    std::unique_ptr<SimulatedSpiDevice> m_spi;   // none with an I2C chip
    std::unique_ptr<SimulatedWireDevice> m_wire;  // a Microwire chip, if any
    std::uint64_t m_nowNs = 0;                   // without the I2C bus
    std::uint8_t m_pinLevels = ch341a::kUioValueMask;
    std::uint8_t m_pinOutputs = 0;
    bool m_spiDualIo = false;
    std::uint8_t m_shift = 0;  // bits clocked on the pins
    int m_bits = 0;
    std::deque<Packet> m_unread;
    std::uint64_t m_transfers = 0;
    std::optional<std::uint64_t> m_transfersLeft;
};

}  // namespace kavoda
