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

// The stream command and its sub-commands. OUT and IN carry a count in their
// low five bits: OUT|n sends the n bytes that follow without reporting their
// acknowledges; OUT|0 sends one byte and answers one status byte whose bit 7
// is set when the byte was not acknowledged. IN|n reads n bytes and
// acknowledges each; IN|0 reads one byte and does not acknowledge it, which
// ends a read. SET's low two bits choose the bus clock (I2cSpeed).
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
inline constexpr std::uint8_t kCountMask = 0x1F;
inline constexpr std::uint8_t kNotAcknowledged = 0x80;
}  // namespace ch341a

// One stream packet, built command by command, and the reply it expects:
// one status byte per sendByte and one data byte per receiveByte, in order.
class Ch341aStream {
public:
    Ch341aStream();

    Ch341aStream& setSpeed(I2cSpeed speed);
    Ch341aStream& start();
    Ch341aStream& stop();
    Ch341aStream& sendByte(std::uint8_t value);        // acknowledge reported
    Ch341aStream& receiveByte(bool acknowledge);

    // The packet with its closing END.
    std::vector<std::uint8_t> packet() const;
    std::size_t replyLength() const { return m_replyKinds.size(); }

    struct Reply {
        std::vector<bool> acknowledged;  // one per sendByte
        std::vector<std::uint8_t> data;  // one per receiveByte
    };
    // Splits a reply of replyLength() bytes; throws PortError on another length.
    Reply decode(const std::vector<std::uint8_t>& reply) const;

private:
    void append(std::initializer_list<std::uint8_t> bytes);

    std::vector<std::uint8_t> m_bytes;
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

// The bus transactions of the program as CH341A streams, each one packet and
// at most one reply: one USB round trip per transaction.
class Ch341aBus final : public I2cController {
public:
    // Sets the bus clock at once.
    Ch341aBus(UsbBulkLink& link, I2cSpeed speed);

    I2cRead randomRead(std::uint8_t addressByte, std::uint8_t word) override;
    bool byteWrite(std::uint8_t addressByte, std::uint8_t word, std::uint8_t data) override;
    bool poll(std::uint8_t addressByte) override;

    I2cSpeed speed() const { return m_speed; }

    static Ch341aStream randomReadStream(std::uint8_t addressByte, std::uint8_t word);
    static Ch341aStream byteWriteStream(std::uint8_t addressByte, std::uint8_t word,
                                       std::uint8_t data);
    static Ch341aStream pollStream(std::uint8_t addressByte);

private:
    Ch341aStream::Reply run(const Ch341aStream& stream);

    UsbBulkLink& m_link;
    I2cSpeed m_speed;
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
