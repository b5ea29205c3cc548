// SPDX-License-Identifier: MIT
// The CH341A USB programmer in its I2C/SPI mode (USB 1a86:5512): the command
// streams it understands, the I2C bus transactions and the SPI transport
// built from them, and the USB link that carries them (libusb, or a
// simulated chip in tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "HardwarePort.h"
#include "I2cController.h"
#include "PortBackend.h"
#include "SpiTransport.h"

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
// SET's bit 2: the SPI stream's lines, 0 for one data line each way (D3
// clock, D5 out, D7 in), 1 for two.
inline constexpr std::uint8_t kSpiDualIo = 0x04;

// The SPI stream: the command, then the bytes to shift (the rest of the
// USB packet, at most 31).
inline constexpr std::uint8_t kSpiStream = 0xA8;
inline constexpr std::size_t kSpiPacketBytes = 31;
// The UIO stream sets the D0..D5 pins: its commands, END last.
inline constexpr std::uint8_t kUioStream = 0xAB;
inline constexpr std::uint8_t kUioIn = 0x00;       // reads the pins: one reply byte
inline constexpr std::uint8_t kUioDirection = 0x40;  // | mask of outputs
inline constexpr std::uint8_t kUioOut = 0x80;      // | levels
inline constexpr std::uint8_t kUioDelayUs = 0xC0;  // | microseconds
inline constexpr std::uint8_t kUioEnd = 0x20;
inline constexpr std::uint8_t kUioValueMask = 0x3F;
// The programmers' SPI socket: chip select on D0 (D1 and D2, the other
// selects, held high), clock on D3 (low between bytes: mode 0), data out
// on D5, data in on D7.
inline constexpr std::uint8_t kPinsOutputs = 0x3F;
inline constexpr std::uint8_t kPinsReleased = 0x37;
inline constexpr std::uint8_t kPinsSelected = 0x36;
inline constexpr std::uint8_t kChipSelectPin = 0x01;
inline constexpr std::uint8_t kClockPin = 0x08;
inline constexpr std::uint8_t kDataOutPin = 0x20;
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
    // wait, each further IN queued as one before it ends, never more than
    // Ch341aBus::kMaxInsPerExchange waiting at once; the bytes of every IN,
    // one after the other. A failure throws UsbExchangeError with the bytes
    // of the INs that had ended.
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

// The bits of a byte in the other order: the CH341A shifts the least
// significant bit first, the chips expect the most significant.
std::uint8_t reversedBits(std::uint8_t value);

// The rules of the SPI stream, beside those of the I2C stream above (the
// maker's interface description of its SPI stream and UIO stream, and the
// public implementations that work on real programmers):
//
// - An SPI packet is A8 and the bytes to shift, at most 31: the USB packet's
//   length says how many, so nothing may follow them in the packet, and a
//   packet of fewer than 31 (a short USB packet) ends its bulk OUT. Each
//   byte shifted answers one byte: the reply of a packet is as long as its
//   data, always a short USB packet, so every SPI packet needs an IN of its
//   own.
// - The CH341A shifts the least significant bit first: bytes are reversed
//   both ways.
// - Chip select is the D0 pin, set by a UIO packet (AB, OUT|levels,
//   DIR|outputs, US|microseconds, END); a UIO packet without a reply is
//   padded to 32 bytes so that the SPI packet after it starts a USB packet
//   of its own. Chip select is only a pin: it holds across bulk transfers.
// - The UIO stream's OUT may also clock bits on D3 and D5 itself (the
//   bit-banged SPI of the Linux driver and of the maker's DLL), two
//   commands a bit, 15 bits to a packet: a write's bytes beyond its whole
//   SPI packets go so, in packets without a reply.
// - The SPI stream shifts in mode 0 on one line each way (SET with bit 2
//   clear), at the programmer's own clock of about 1.5 MHz.
// - As for I2C: INs queued before the OUT and while it goes out, at most
//   kMaxInsPerExchange of them waiting at once, and no more than half the
//   USB timeout of bus time per exchange (the OUT lasts as long as the
//   device takes to shift its packets).
//
// A run of transactions becomes bulk transfers of these packets: a
// transaction releases chip select and takes it again in one UIO packet,
// shifts its bytes, and is released by the next transaction, at the end of
// the run, or (a command that only read) by the next run.
class Ch341aSpiStream {
public:
    struct Transfer {
        std::vector<std::uint8_t> packets;
        std::vector<std::size_t> inLengths;  // one per SPI packet
        std::uint32_t spiBytes = 0;
    };

    explicit Ch341aSpiStream(const std::vector<SpiTransaction>& transactions);

    const std::vector<Transfer>& transfers() const { return m_transfers; }
    // Where each transaction's read bytes start in the concatenated reply
    // of all transfers.
    const std::vector<std::size_t>& readOffsets() const { return m_readOffsets; }

    // The configuration sent when the programmer is opened: the stream in
    // SPI mode with one data line each way, the pins set with chip select
    // released.
    static std::vector<std::uint8_t> setupPackets();
    static std::vector<std::uint8_t> releasePacket();

private:
    void uio(const std::vector<std::uint8_t>& commands, bool pad);
    // UIO commands in as many padded packets as they need.
    void pins(const std::vector<std::uint8_t>& commands);
    static void clockOut(std::vector<std::uint8_t>& commands, std::uint8_t byte);
    void spiPacket(const std::uint8_t* data, std::size_t n);
    Transfer& open();
    void close() { m_open = false; }

    std::vector<Transfer> m_transfers;
    std::vector<std::size_t> m_readOffsets;
    bool m_open = false;
};

// The CH341A's SPI socket as an SPI transport.
class Ch341aSpi final : public SpiTransport {
public:
    // Puts the stream in SPI mode and the pins in place at once; clock
    // gives the time that bounds busy polling (the monotonic clock; the
    // simulation's in tests).
    explicit Ch341aSpi(UsbBulkLink& link, std::function<std::uint64_t()> clock = {});
    // Releases chip select.
    ~Ch341aSpi() override;
    Ch341aSpi(const Ch341aSpi&) = delete;
    Ch341aSpi& operator=(const Ch341aSpi&) = delete;

    std::vector<std::vector<std::uint8_t>> run(
        const std::vector<SpiTransaction>& transactions) override;
    SpiLimits limits() const override;
    std::uint64_t nowNs() const override { return m_clock(); }

    // The SPI clock modelled and assumed for bus time, in kHz.
    static constexpr int kClockKhz = 1500;
    static constexpr std::uint64_t kByteNs = 8'000'000 / kClockKhz;
    // Bytes of one call: about 90 ms of bus time.
    static constexpr std::uint32_t kMaxTransaction = 16 * 1024 + 16;

private:
    UsbBulkLink& m_link;
    std::function<std::uint64_t()> m_clock;
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
