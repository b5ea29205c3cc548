// SPDX-License-Identifier: MIT
// The CH341A's SPI socket as single lines (a Microwire chip on a 93Cxx
// adapter board): whole commands built as UIO streams, many commands to a
// USB transfer.
#pragma once

#include <functional>

#include "Ch341a.h"
#include "DeviceBus.h"
#include "WireTransport.h"

namespace kavoda {

// The lines, as the programmers wire the socket that 93Cxx adapter boards
// plug into: CS on D0 (pin 1), SK on D3 (pin 6), DI on D5 (pin 5), DO on D7
// (pin 2). A Microwire chip is selected by CS high, unlike an SPI chip.
// D1, D2 (the other selects) and D4 stay high.
namespace ch341a {
inline constexpr std::uint8_t kWireIdle = 0x16;  // CS, SK and DI low
inline constexpr std::uint8_t kWireSelect = kChipSelectPin;
inline constexpr std::uint8_t kWireClock = kClockPin;
inline constexpr std::uint8_t kWireDataIn = kDataOutPin;  // the chip's DI
inline constexpr std::uint8_t kWireDataOut = 0x80;        // D7 in a UIO IN's reply
inline constexpr int kUioMaxDelayUs = 0x3F;
}  // namespace ch341a

// The rules of these streams, beside those of the I2C and SPI streams:
//
// - A UIO packet is AB, its commands, END (20): at most 30 commands. OUT|n
//   (80|n) sets D0..D5, DIR|n (40|n) makes them outputs, US|n (C0|n) waits
//   n microseconds (n <= 63), IN (00) answers one byte of the pins, D7 in
//   bit 7 (the maker's interface description of its UIO stream).
// - Every packet is padded to 32 bytes, so that the device takes the next
//   one as a packet of its own; a packet with INs answers one short USB
//   packet (at most 30 bytes), so each needs an IN transfer of its own.
// - As for the other streams: the INs are queued before and while the OUT
//   goes out, at most Ch341aBus::kMaxInsPerExchange of them, and an
//   exchange carries no more than half the USB timeout of bus time.
//
// A command: CS raised with the first data bit, each bit set on DI with SK
// low and taken as SK rises; where DO is read, SK goes low first (the chip
// shifted its bit out as SK rose, a command earlier); then CS dropped.
// Polls raise CS again and read DO, with waits between them.
class Ch341aWireStream {
public:
    struct Transfer {
        std::vector<std::uint8_t> packets;
        std::vector<std::size_t> inLengths;
    };
    // Where a command's answers lie in the whole reply.
    struct Place {
        std::vector<std::size_t> samples;  // reply offset of each sampled clock, in clock order
        std::vector<int> sampleBits;       // the bit place of each in WireReply::in
        std::size_t polls = 0;             // the first poll's
        int pollCount = 0;
        std::size_t provenBy = 0;          // a reply this long proves the command ran
    };

    explicit Ch341aWireStream(const std::vector<WireCommand>& commands);

    const std::vector<Transfer>& transfers() const { return m_transfers; }
    // The replies of the commands that a reply of `received` bytes proves
    // complete: all of them for the whole reply.
    std::vector<WireReply> replies(const std::vector<std::uint8_t>& received) const;

    // The pins at rest: outputs, chip deselected, clock low.
    static std::vector<std::uint8_t> setupPackets();
    static constexpr std::uint64_t kCommandNs = 1'250;

private:
    void set(std::uint8_t levels);
    void in();
    void wait(std::uint32_t us);
    void put(std::uint8_t command, bool reply);
    void closePacket();

    std::vector<Transfer> m_transfers;
    std::vector<Place> m_places;
    std::vector<std::uint8_t> m_packet;  // commands of the open packet
    std::size_t m_packetReplies = 0;
    std::uint64_t m_transferNs = 0;  // bus time of the open transfer's closed packets
    std::uint64_t m_packetNs = 0;    // and of the open packet
    std::size_t m_replyLength = 0;
    std::uint8_t m_levels = ch341a::kWireIdle;
};

// What the operations hand the lines at once: a word read takes about 70 us
// of bus time, a word write its cycle (a few ms); runs and batches kept to
// what a stop may wait for.
inline constexpr TransferLimits kCh341aWireLimits{0x800, 0x400, 2, 16, false, true, 70'000};

class Ch341aWire final : public WireTransport {
public:
    // Puts the pins at rest at once.
    explicit Ch341aWire(UsbBulkLink& link, std::function<std::uint64_t()> clock = {});
    ~Ch341aWire() override;
    Ch341aWire(const Ch341aWire&) = delete;
    Ch341aWire& operator=(const Ch341aWire&) = delete;

    std::vector<WireReply> run(const std::vector<WireCommand>& commands) override;
    std::uint64_t nowNs() const override { return m_clock(); }

private:
    UsbBulkLink& m_link;
    std::function<std::uint64_t()> m_clock;
};

}  // namespace kavoda
