// SPDX-License-Identifier: MIT
// CH341A command streams and the bus transactions built from them.
#include "Ch341a.h"

#include <stdexcept>

#include "PortBackend.h"

namespace kavoda {

std::optional<I2cSpeed> i2cSpeedFromKhz(int khz)
{
    switch (khz) {
    case 20: return I2cSpeed::k20kHz;
    case 100: return I2cSpeed::k100kHz;
    case 400: return I2cSpeed::k400kHz;
    case 750: return I2cSpeed::k750kHz;
    default: return std::nullopt;
    }
}

int i2cSpeedKhz(I2cSpeed speed)
{
    switch (speed) {
    case I2cSpeed::k20kHz: return 20;
    case I2cSpeed::k100kHz: return 100;
    case I2cSpeed::k400kHz: return 400;
    case I2cSpeed::k750kHz: return 750;
    }
    return kDefaultI2cSpeedKhz;
}

std::string i2cSpeedChoices()
{
    return "20, 100, 400 or 750";
}

Ch341aStream::Ch341aStream()
{
    m_bytes.push_back(ch341a::kStream);
}

void Ch341aStream::append(std::initializer_list<std::uint8_t> bytes)
{
    // A stream that does not end inside its packet confuses the chip; every
    // transaction of the program fits, so a longer one is a program error.
    if (m_bytes.size() + bytes.size() + 1 > kCh341aPacketSize)
        throw std::length_error("CH341A stream longer than one packet");
    m_bytes.insert(m_bytes.end(), bytes);
}

Ch341aStream& Ch341aStream::setSpeed(I2cSpeed speed)
{
    append({static_cast<std::uint8_t>(ch341a::kSet | static_cast<std::uint8_t>(speed))});
    return *this;
}

Ch341aStream& Ch341aStream::start()
{
    append({ch341a::kStart});
    return *this;
}

Ch341aStream& Ch341aStream::stop()
{
    append({ch341a::kStop});
    return *this;
}

Ch341aStream& Ch341aStream::sendByte(std::uint8_t value)
{
    // OUT with a count of 0: one byte, and its acknowledge comes back.
    append({ch341a::kOut, value});
    m_replyKinds.push_back(true);
    return *this;
}

Ch341aStream& Ch341aStream::receiveByte(bool acknowledge)
{
    append({acknowledge ? static_cast<std::uint8_t>(ch341a::kIn | 1) : ch341a::kIn});
    m_replyKinds.push_back(false);
    return *this;
}

std::vector<std::uint8_t> Ch341aStream::packet() const
{
    std::vector<std::uint8_t> bytes = m_bytes;
    bytes.push_back(ch341a::kEnd);
    return bytes;
}

Ch341aStream::Reply Ch341aStream::decode(const std::vector<std::uint8_t>& reply) const
{
    if (reply.size() != m_replyKinds.size())
        throw PortError("The CH341A programmer answered " + std::to_string(reply.size()) +
                        " bytes instead of " + std::to_string(m_replyKinds.size()));
    Reply result;
    for (std::size_t i = 0; i < reply.size(); ++i) {
        if (m_replyKinds[i])
            result.acknowledged.push_back((reply[i] & ch341a::kNotAcknowledged) == 0);
        else
            result.data.push_back(reply[i]);
    }
    return result;
}

Ch341aBus::Ch341aBus(UsbBulkLink& link, I2cSpeed speed) : m_link(link), m_speed(speed)
{
    run(Ch341aStream().setSpeed(speed));
}

Ch341aStream::Reply Ch341aBus::run(const Ch341aStream& stream)
{
    m_link.bulkOut(stream.packet());
    if (stream.replyLength() == 0)
        return {};
    return stream.decode(m_link.bulkIn(stream.replyLength()));
}

Ch341aStream Ch341aBus::randomReadStream(std::uint8_t addressByte, std::uint8_t word)
{
    Ch341aStream s;
    s.start().sendByte(addressByte).sendByte(word);
    s.start().sendByte(static_cast<std::uint8_t>(addressByte | 1)).receiveByte(false).stop();
    return s;
}

Ch341aStream Ch341aBus::byteWriteStream(std::uint8_t addressByte, std::uint8_t word,
                                        std::uint8_t data)
{
    Ch341aStream s;
    s.start().sendByte(addressByte).sendByte(word).sendByte(data).stop();
    return s;
}

Ch341aStream Ch341aBus::pollStream(std::uint8_t addressByte)
{
    Ch341aStream s;
    s.start().sendByte(addressByte).stop();
    return s;
}

I2cRead Ch341aBus::randomRead(std::uint8_t addressByte, std::uint8_t word)
{
    const Ch341aStream::Reply reply = run(randomReadStream(addressByte, word));
    I2cRead result;
    result.value = reply.data.at(0);
    result.answered = reply.acknowledged.at(0) && reply.acknowledged.at(1) &&
                      reply.acknowledged.at(2);
    return result;
}

bool Ch341aBus::byteWrite(std::uint8_t addressByte, std::uint8_t word, std::uint8_t data)
{
    const Ch341aStream::Reply reply = run(byteWriteStream(addressByte, word, data));
    return reply.acknowledged.at(0) && reply.acknowledged.at(1) && reply.acknowledged.at(2);
}

bool Ch341aBus::poll(std::uint8_t addressByte)
{
    return run(pollStream(addressByte)).acknowledged.at(0);
}

std::string ch341aOpenErrorText(UsbOpenFailure failure, const std::string& detail)
{
    switch (failure) {
    case UsbOpenFailure::NoDevice:
        return "No CH341A programmer in I2C mode (USB 1a86:5512) is plugged in. "
               "Set its jumper to I2C/SPI and plug it in again";
    case UsbOpenFailure::NoPermission:
        return "No permission to use the CH341A programmer. Install Kavoda's udev rule, add "
               "yourself to the group plugdev (sudo adduser $USER plugdev), log in again and "
               "plug the programmer in again";
    case UsbOpenFailure::Busy:
        return "The CH341A programmer is in use by another program or driver";
    case UsbOpenFailure::Other:
        break;
    }
    return "Cannot use the CH341A programmer" + (detail.empty() ? std::string() : ": " + detail);
}

}  // namespace kavoda
