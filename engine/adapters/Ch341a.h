// SPDX-License-Identifier: MIT
// The CH341A USB programmer in its I2C mode (USB 1a86:5512): the command
// stream it understands, the bus transactions built from it, and the USB link
// that carries it (libusb, or a simulated chip in tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "HardwarePort.h"
#include "I2cController.h"
#include "PortBackend.h"

namespace kavoda {

inline constexpr std::uint16_t kCh341aVendorId = 0x1A86;
inline constexpr std::uint16_t kCh341aProductId = 0x5512;
inline constexpr std::uint8_t kCh341aBulkOut = 0x02;
inline constexpr std::uint8_t kCh341aBulkIn = 0x82;
// The bulk endpoints' packet size. One stream must start and end inside it.
inline constexpr std::size_t kCh341aPacketSize = 32;

// The stream command and its sub-commands. OUT and IN carry a count in their
// low six bits (below); SET's low two bits choose the bus clock (I2cSpeed);
// the delays wait their low four bits in microseconds or milliseconds.
namespace ch341a {
inline constexpr std::uint8_t kStream = 0xAA;
inline constexpr std::uint8_t kStart = 0x74;
inline constexpr std::uint8_t kStop = 0x75;
inline constexpr std::uint8_t kOut = 0x80;
inline constexpr std::uint8_t kIn = 0xC0;
inline constexpr std::uint8_t kSet = 0x60;
inline constexpr std::uint8_t kDelayUs = 0x40;
inline constexpr std::uint8_t kDelayMs = 0x50;
inline constexpr std::uint8_t kEnd = 0x00;
inline constexpr std::uint8_t kCommandMask = 0xC0;  // OUT and IN
inline constexpr std::uint8_t kCountMask = 0x3F;
inline constexpr int kMaxCount = 32;
inline constexpr std::uint8_t kNotAcknowledged = 0x80;
}  // namespace ch341a

// What the programmer accepts, as the public implementations that work on
// real programmers use it (no more: we have no CH341A to try anything else
// on, and a pattern that works on a simulator may hang the real one):
//
// - A command packet is at most 32 bytes: the stream command, commands, END.
//   The device answers each packet that produces reply bytes with one USB
//   packet of those bytes (at most 32), and a short packet ends an IN
//   transfer; so one IN may span several packets only when every reply before
//   the last is exactly 32 bytes.
// - OUT|n (n >= 1) sends n bytes and answers nothing. OUT|0 sends one byte and
//   answers its status (bit 7 set: not acknowledged). At most one OUT|0 per
//   packet, and its status is the packet's first reply byte: several in one
//   packet appear in no working implementation.
// - IN|n (1..32) reads n bytes, acknowledging each; IN|0 reads one without
//   acknowledging it, which ends a read (IN|31 then IN|0 in a full packet).
// - Delays as MS|n with n <= 15.
// - A synchronous OUT may leave at most 4 reply packets unread while no IN
//   waits ("the device will crash if more than 4", "multiple 32-byte
//   segments doesn't always work", a timeout after 4 replies). Longer
//   streams go out with their INs queued before and while the OUT goes out,
//   as the maker's driver and flashrom's SPI code do.
// - The USB timeout is 1 s; no transfer carries more than half of it in bus
//   time at the chosen clock.
//
// A stream is built command by command into as many packets as these rules
// need; every packet but the last is padded to the endpoint's size, so one
// bulk OUT carries them all. Positions in the reply are handed out as the
// commands are added, so that a reply (or the part of it that arrived before
// a failure) is read by offset.
class Ch341aStream {
public:
    Ch341aStream& setSpeed(I2cSpeed speed);
    Ch341aStream& start();
    Ch341aStream& stop();
    // OUT|0: the byte and its acknowledge, at the reply offset returned.
    std::size_t sendByte(std::uint8_t value);
    // OUT|n: bytes without their acknowledges, packed into the room left.
    Ch341aStream& sendBytes(const std::uint8_t* data, std::size_t n);
    // n bytes, each acknowledged but the last; the offset of the first.
    std::size_t receiveBytes(std::size_t n);
    Ch341aStream& delayMs(int ms);  // any length, in steps of at most 15
    // The next command opens a packet of its own.
    Ch341aStream& newPacket();

    // The packets, END included, every one but the last padded to 32 bytes.
    std::vector<std::uint8_t> bytes() const;
    std::size_t packets() const { return m_replies.size(); }
    std::size_t replyLength() const { return m_replyLength; }
    // The reply offset up to which a reply proves that everything added so
    // far has run: a reply of the open packet, else the next reply byte.
    std::size_t provenBy() const;
    // The IN transfers that collect the reply: packets with a reply are
    // taken together until one is shorter than a whole packet.
    std::vector<std::size_t> inLengths() const;
    // Bus time at the clock, delays included.
    std::uint64_t busNs(int khz) const;

private:
    void append(const std::vector<std::uint8_t>& bytes, std::size_t replyBytes,
                bool statusFirst = false);
    void open();
    std::size_t room() const;
    std::size_t replyRoom() const;

    std::vector<std::uint8_t> m_bytes;  // packets before the open one are complete
    std::size_t m_packetStart = 0;
    std::vector<std::size_t> m_replies;  // reply bytes of each packet
    std::size_t m_replyLength = 0;
    bool m_open = false;
    std::uint64_t m_clocks = 0;  // clock periods
    std::uint64_t m_delayNs = 0;
};

// The bulk endpoints of the programmer: the seam that tests and the
// simulator fill in. Failures throw PortError.
class UsbBulkLink {
public:
    virtual ~UsbBulkLink() = default;
    // A synchronous OUT, for streams without a reply.
    virtual void bulkOut(const std::vector<std::uint8_t>& packets) = 0;
    // A synchronous IN of up to maxLength bytes; a short packet ends it.
    virtual std::vector<std::uint8_t> bulkIn(std::size_t maxLength) = 0;
    // INs of the given lengths queued first, then the packets sent while they
    // wait; the bytes of every IN, one after the other. A failure throws
    // UsbExchangeError with the bytes of the INs that had ended.
    virtual std::vector<std::uint8_t> exchange(const std::vector<std::uint8_t>& packets,
                                               const std::vector<std::size_t>& inLengths) = 0;
};

class UsbExchangeError : public PortError {
public:
    UsbExchangeError(const std::string& message, std::vector<std::uint8_t> received)
        : PortError(message), m_received(std::move(received))
    {
    }
    const std::vector<std::uint8_t>& received() const { return m_received; }

private:
    std::vector<std::uint8_t> m_received;
};

// The bus transactions as CH341A streams. Reads are sequential reads, many
// to an exchange; a write carries its page and its acknowledge polls, each
// after a delay of the stream, and once a write cycle has been timed, many
// writes go in one exchange.
class Ch341aBus final : public I2cController {
public:
    // Sets the bus clock at once.
    Ch341aBus(UsbBulkLink& link, I2cSpeed speed);

    ReadOutcome read(const std::vector<ControllerRun>& runs) override;
    BusResult write(const AddressPhase& phase, const std::uint8_t* data, std::uint32_t length,
                    std::uint64_t pollLimitNs) override;
    // A write sent while the one before still ran its cycle goes
    // unanswered and is sent again once that cycle is over. When the link
    // fails, throws WriteBatchFailure counting the writes that ended.
    WriteOutcome writeBatch(const std::vector<ControllerWrite>& writes,
                            std::uint64_t pollLimitNs) override;
    bool poll(std::uint8_t addressByte) override;
    bool probe(std::uint8_t addressByte) override;
    // Probes of many addresses in as few exchanges as the rules allow: one
    // packet each (its OUT|0 status first, then IN|0), true where answered.
    std::vector<bool> probeAll(const std::vector<std::uint8_t>& addressBytes) override;
    static std::size_t appendProbe(Ch341aStream& s, std::uint8_t addressByte);

    I2cSpeed speed() const { return m_speed; }

    // Where a read run's answers sit in the reply.
    struct RunPlace {
        std::size_t status;
        std::size_t data;
    };
    static RunPlace appendRead(Ch341aStream& s, const ControllerRun& run);
    // Where a write's answers sit: its address, its first data byte, the
    // reply that proves its STOP went out, and its polls.
    struct WritePlace {
        std::size_t address;
        std::size_t data;
        std::size_t stopProven;
        std::size_t polls;
        int pollCount;
    };
    // The write, then `delayMs` and `polls` polls one millisecond apart.
    static WritePlace appendWrite(Ch341aStream& s, const ControllerWrite& write, int delayMs,
                                  int polls);
    static std::size_t appendPoll(Ch341aStream& s, std::uint8_t addressByte, bool delayed);

    // Polls of one exchange when the cycle is unknown or outlasts its polls.
    static constexpr int kPollsPerExchange = 15;
    // INs queued at once, and the bus time of one exchange: half the USB
    // timeout.
    static constexpr std::size_t kMaxInsPerExchange = 32;
    static constexpr std::uint64_t kMaxExchangeBusNs = 500'000'000;

private:
    std::vector<std::uint8_t> exchange(const Ch341aStream& stream);
    bool fits(const Ch341aStream& stream) const;
    // Polls after a write whose own polls all went unanswered, until the
    // chip answers or `allowed` milliseconds in all; true when it answered.
    bool pollOn(std::uint8_t addressByte, int done, int allowed);

    UsbBulkLink& m_link;
    I2cSpeed m_speed;
    int m_cycleMs = 0;        // when the last write cycle was seen over
    bool m_cycleKnown = false;
};

// The first CH341A in I2C mode on the USB, opened and its interface claimed.
// Throws PortError with one clear message when there is none, when the user
// may not open it, or when another program holds it.
std::unique_ptr<UsbBulkLink> openCh341aUsb();

// Whether a CH341A in I2C mode is on the USB, seen from its descriptor
// alone: nothing is opened or claimed, so no permission is needed. False
// also when the USB cannot be looked at.
bool ch341aPlugged();

// The messages of that PortError, by cause.
enum class UsbOpenFailure { NoDevice, NoPermission, Busy, Other };
std::string ch341aOpenErrorText(UsbOpenFailure failure, const std::string& detail = {},
                               bool asRoot = runningAsRoot());

}  // namespace kavoda
