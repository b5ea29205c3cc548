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

#include "I2cController.h"

namespace kavoda {

inline constexpr std::uint16_t kCh341aVendorId = 0x1A86;
inline constexpr std::uint16_t kCh341aProductId = 0x5512;
inline constexpr std::uint8_t kCh341aBulkOut = 0x02;
inline constexpr std::uint8_t kCh341aBulkIn = 0x82;
// The bulk endpoints' packet size. One stream must start and end inside it.
inline constexpr std::size_t kCh341aPacketSize = 32;

// The stream command and its sub-commands. OUT and IN carry a count of 1 to
// 32 in their low six bits: OUT|n sends the n bytes that follow without
// reporting their acknowledges; OUT|0 sends one byte and answers one status
// byte whose bit 7 is set when the byte was not acknowledged. IN|n reads n
// bytes and acknowledges each; IN|0 reads one byte and does not acknowledge
// it, which ends a read. SET's low two bits choose the bus clock (I2cSpeed);
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

// A command stream, built command by command into as many packets as it
// needs: each packet begins with the stream command, ends with END and, but
// for the last, fills the endpoint's 32 bytes, so that one bulk transfer
// carries them all. A packet's reply stays within 32 bytes. The reply: one
// status byte per sendByte and one data byte per received byte, in order.
class Ch341aStream {
public:
    Ch341aStream& setSpeed(I2cSpeed speed);
    Ch341aStream& start();
    Ch341aStream& stop();
    Ch341aStream& sendByte(std::uint8_t value);  // acknowledge reported
    Ch341aStream& receiveByte(bool acknowledge);
    // n bytes, each acknowledged but the last unless acknowledgeLast.
    Ch341aStream& receiveBytes(std::size_t n, bool acknowledgeLast);
    Ch341aStream& delayMs(int ms);  // 1 to 15

    // The packets, END included: one packet's bytes when it fits in one.
    std::vector<std::uint8_t> packet() const;
    std::size_t packets() const { return m_packets; }
    std::size_t replyLength() const { return m_replyKinds.size(); }

    struct Reply {
        std::vector<bool> acknowledged;  // one per sendByte
        std::vector<std::uint8_t> data;  // one per received byte
    };
    // Splits a reply of replyLength() bytes; throws PortError on another length.
    Reply decode(const std::vector<std::uint8_t>& reply) const;

private:
    void append(std::initializer_list<std::uint8_t> bytes, std::size_t replyBytes);

    std::vector<std::uint8_t> m_bytes;  // packets before the open one are complete
    std::size_t m_packetStart = 0;
    std::size_t m_packetReply = 0;
    std::size_t m_packets = 0;
    std::vector<bool> m_replyKinds;  // true = status byte, false = data byte
};

// The bulk endpoints of the programmer: the seam that tests and the
// simulator fill in. Failures throw PortError.
class UsbBulkLink {
public:
    virtual ~UsbBulkLink() = default;
    virtual void bulkOut(const std::vector<std::uint8_t>& packet) = 0;
    // Up to maxLength bytes of the reply.
    virtual std::vector<std::uint8_t> bulkIn(std::size_t maxLength) = 0;
};

// The bus transactions as CH341A streams. Reads are sequential reads, many
// to a transfer; a write carries its page and a run of polls, each after the
// stream's 1 ms delay, in one transfer, and reads every status back in one.
class Ch341aBus final : public I2cController {
public:
    // Sets the bus clock at once.
    Ch341aBus(UsbBulkLink& link, I2cSpeed speed);

    ReadOutcome read(const std::vector<ControllerRun>& runs) override;
    BusResult write(const AddressPhase& phase, const std::uint8_t* data, std::uint32_t length,
                    std::uint64_t pollLimitNs) override;
    // Byte writes, many to a transfer: each with its polls. A write sent
    // while the one before still ran its cycle went unanswered and is sent
    // again once that cycle is over.
    WriteOutcome writeBatch(const std::vector<ControllerWrite>& writes,
                            std::uint64_t pollLimitNs) override;
    bool poll(std::uint8_t addressByte) override;

    I2cSpeed speed() const { return m_speed; }

    static Ch341aStream readStream(const std::vector<ControllerRun>& runs);
    // The writes, each followed by its polls.
    static Ch341aStream writeStream(const std::vector<ControllerWrite>& writes, int polls);
    static Ch341aStream pollStream(std::uint8_t addressByte, int polls = 1, bool delayed = false);

    // Polls after a write before its cycle has been timed, and per transfer
    // of further polls: 15 cover 15 ms, the longest write cycle of the table
    // and more.
    static constexpr int kPollsPerTransfer = 15;
    // Packets one transfer carries at most.
    static constexpr std::size_t kMaxPacketsPerTransfer = 64;

private:
    Ch341aStream::Reply run(const Ch341aStream& stream);
    // Polls after a write whose own polls all went unanswered, until the
    // chip answers or `allowed` polls in all; true when it answered.
    bool pollOn(std::uint8_t addressByte, int done, int allowed);

    UsbBulkLink& m_link;
    I2cSpeed m_speed;
    int m_pollsNeeded = kPollsPerTransfer;  // by the last write cycle
    bool m_cycleKnown = false;              // a write cycle has been timed
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
std::string ch341aOpenErrorText(UsbOpenFailure failure, const std::string& detail = {});

}  // namespace kavoda
