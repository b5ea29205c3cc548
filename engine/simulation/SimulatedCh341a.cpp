// SPDX-License-Identifier: MIT
// The simulated CH341A's command interpreter and its USB endpoints.
#include "SimulatedCh341a.h"

#include <algorithm>

#include "HexText.h"
#include "PortBackend.h"

namespace kavoda {

namespace {

PortError streamError(const std::string& what)
{
    return PortError("The simulated CH341A received " + what);
}

PortError gone()
{
    return PortError("Cannot use the CH341A programmer: No such device (it may have been "
                     "disconnected)");
}

}  // namespace

SimulatedCh341a::SimulatedCh341a(const ChipOptions& chip)
    : m_bus(std::make_unique<SimulatedBusMaster>(chip, kDefaultI2cSpeedKhz))
{
}

SimulatedCh341a::SimulatedCh341a(std::unique_ptr<SimulatedSpiDevice> spiChip)
    : m_spi(std::move(spiChip))
{
}

SimulatedCh341a::SimulatedCh341a(std::unique_ptr<SimulatedWireDevice> wireChip)
    : m_wire(std::move(wireChip))
{
}

SimulatedCh341a::~SimulatedCh341a() = default;

SimulatedChip& SimulatedCh341a::chip()
{
    return i2c().chip();
}

const SimulatedChip& SimulatedCh341a::chip() const
{
    if (!m_bus)
        throw PortError("The simulated CH341A has an SPI chip in its socket, no I2C chip");
    return m_bus->chip();
}

SimulatedBusMaster& SimulatedCh341a::i2c()
{
    if (!m_bus)
        throw PortError("The simulated CH341A has an SPI chip in its socket, no I2C chip");
    return *m_bus;
}

void SimulatedCh341a::elapse(std::uint64_t ns)
{
    if (m_bus)
        m_bus->elapse(ns);
    else
        m_nowNs += ns;
}

bool SimulatedCh341a::chipSelected() const
{
    return (m_pinOutputs & ch341a::kChipSelectPin) != 0 &&
           (m_pinLevels & ch341a::kChipSelectPin) == 0;
}

bool SimulatedCh341a::serve()
{
    if (m_transfersLeft) {
        if (*m_transfersLeft == 0)
            return false;
        --*m_transfersLeft;
    }
    ++m_transfers;
    return true;
}

std::vector<SimulatedCh341a::Packet> SimulatedCh341a::split(
    const std::vector<std::uint8_t>& packets) const
{
    // The endpoint takes 32 bytes a packet; each is a stream of its own.
    std::vector<Packet> result;
    for (std::size_t at = 0; at < packets.size(); at += kCh341aPacketSize) {
        const std::size_t end = std::min(packets.size(), at + kCh341aPacketSize);
        result.emplace_back(packets.begin() + static_cast<std::ptrdiff_t>(at),
                            packets.begin() + static_cast<std::ptrdiff_t>(end));
    }
    return result;
}

void SimulatedCh341a::bulkOut(const std::vector<std::uint8_t>& packets)
{
    if (!serve())
        throw gone();
    elapse(kUsbTransferNs);
    for (const Packet& packet : split(packets)) {
        Packet reply = execute(packet);
        if (reply.empty())
            continue;
        // The device cannot hand this reply to anyone: it stops taking
        // packets, and the OUT runs into its timeout.
        if (m_unread.size() == kMaxUnreadReplies)
            throw PortError("The CH341A programmer did not answer (USB timeout): more than " +
                            std::to_string(kMaxUnreadReplies) + " replies waited unread");
        m_unread.push_back(std::move(reply));
    }
}

std::vector<std::uint8_t> SimulatedCh341a::bulkIn(std::size_t maxLength)
{
    if (!serve())
        throw gone();
    elapse(kUsbTransferNs);
    if (m_unread.empty())
        throw PortError("The CH341A programmer did not answer (USB timeout)");
    std::vector<std::uint8_t> reply;
    while (!m_unread.empty() && reply.size() < maxLength) {
        const Packet& packet = m_unread.front();
        if (reply.size() + packet.size() > maxLength)
            throw PortError("The CH341A programmer sent more than was asked for (USB overflow)");
        reply.insert(reply.end(), packet.begin(), packet.end());
        const bool shortPacket = packet.size() < kCh341aPacketSize;
        m_unread.pop_front();
        if (shortPacket)
            break;
    }
    return reply;
}

std::vector<std::uint8_t> SimulatedCh341a::exchange(const std::vector<std::uint8_t>& packets,
                                                    const std::vector<std::size_t>& inLengths)
{
    if (!serve())
        throw gone();
    elapse(kUsbTransferNs);
    std::vector<std::uint8_t> received;  // of the INs that ended
    std::vector<std::uint8_t> current;
    std::size_t in = 0;
    // A reply packet goes to the IN waiting, which ends when full or short.
    const auto deliver = [&] {
        while (!m_unread.empty() && in < inLengths.size()) {
            const Packet& packet = m_unread.front();
            if (current.size() + packet.size() > inLengths[in])
                throw UsbExchangeError(
                    "The CH341A programmer sent more than was asked for (USB overflow)", received);
            current.insert(current.end(), packet.begin(), packet.end());
            const bool shortPacket = packet.size() < kCh341aPacketSize;
            m_unread.pop_front();
            if (shortPacket || current.size() == inLengths[in]) {
                if (!serve())
                    throw UsbExchangeError(gone().what(), received);
                received.insert(received.end(), current.begin(), current.end());
                current.clear();
                ++in;
            }
        }
    };
    for (const Packet& packet : split(packets)) {
        if (m_transfersLeft && *m_transfersLeft == 0)
            throw UsbExchangeError(gone().what(), received);
        Packet reply;
        try {
            reply = execute(packet);
        } catch (const PortError& e) {
            throw UsbExchangeError(e.what(), received);
        }
        if (!reply.empty())
            m_unread.push_back(std::move(reply));
        deliver();
        if (m_unread.size() > kMaxUnreadReplies)
            throw UsbExchangeError(
                "The CH341A programmer did not answer (USB timeout): more than " +
                    std::to_string(kMaxUnreadReplies) + " replies waited unread",
                received);
    }
    elapse(kUsbTransferNs);
    if (in < inLengths.size())
        throw UsbExchangeError("The CH341A programmer did not answer (USB timeout)", received);
    return received;
}

SimulatedCh341a::Packet SimulatedCh341a::execute(const Packet& packet)
{
    if (!packet.empty() && packet[0] == ch341a::kSpiStream)
        return executeSpi(packet);
    if (!packet.empty() && packet[0] == ch341a::kUioStream)
        return executeUio(packet);
    if (packet.empty() || packet[0] != ch341a::kStream)
        throw streamError("a packet without the stream command");
    return executeI2c(packet);
}

SimulatedCh341a::Packet SimulatedCh341a::executeSpi(const Packet& packet)
{
    // The packet's length is the stream's: every byte after A8 is shifted.
    if (m_spiDualIo)
        throw streamError("an SPI packet in the two-line mode, which no chip here understands");
    Packet reply;
    for (std::size_t i = 1; i < packet.size(); ++i) {
        elapse(Ch341aSpi::kByteNs);
        std::uint8_t miso = 0xFF;  // nothing drives D7: its pull-up
        if (m_spi && chipSelected())
            miso = m_spi->exchange(reversedBits(packet[i]), nowNs());
        if (m_wire)
            miso = shiftWire(reversedBits(packet[i]));
        reply.push_back(reversedBits(miso));
    }
    return reply;
}

SimulatedCh341a::Packet SimulatedCh341a::executeUio(const Packet& packet)
{
    Packet reply;
    for (std::size_t i = 1; i < packet.size(); ++i) {
        const std::uint8_t command = packet[i];
        if (command == ch341a::kUioEnd)
            return reply;  // the rest of the packet is ignored
        elapse(kUioCommandNs);
        const bool before = chipSelected();
        const bool clockBefore = pinHigh(ch341a::kClockPin);
        const std::uint8_t value = command & ch341a::kUioValueMask;
        switch (command & 0xC0) {
        case ch341a::kUioOut: m_pinLevels = value; break;
        case ch341a::kUioDirection: m_pinOutputs = value; break;
        case ch341a::kUioDelayUs: elapse(static_cast<std::uint64_t>(value) * 1'000); break;
        default:
            if (command != ch341a::kUioIn)
                throw streamError("the unknown UIO command " + byteHex(command));
            // D7 reads the chip's data out, high while nothing drives it.
            reply.push_back(static_cast<std::uint8_t>(
                (!m_wire || m_wire->dataOut(nowNs()) ? 0x80 : 0x00) | (m_pinLevels & m_pinOutputs)));
            break;
        }
        if (m_wire) {
            m_wire->drive(pinHigh(ch341a::kChipSelectPin), pinHigh(ch341a::kClockPin),
                          pinHigh(ch341a::kDataOutPin), nowNs());
            continue;
        }
        const bool after = chipSelected();
        if (!before && after) {
            m_bits = 0;
            if (m_spi)
                m_spi->select(nowNs());
        }
        if (before && !after && m_spi)
            m_spi->deselect(nowNs());
        // Bits clocked on the pins: the chip takes D5 as D3 rises (mode 0),
        // a byte at each eighth.
        if (after && !clockBefore && pinHigh(ch341a::kClockPin)) {
            m_shift = static_cast<std::uint8_t>(m_shift << 1 | (pinHigh(ch341a::kDataOutPin) ? 1 : 0));
            if (++m_bits == 8) {
                m_bits = 0;
                if (m_spi)
                    m_spi->exchange(m_shift, nowNs());
            }
        }
    }
    throw streamError("a UIO packet without END");
}

std::uint8_t SimulatedCh341a::shiftWire(std::uint8_t mosi)
{
    // The SPI engine clocks D3 and D5 itself, mode 0: D7 taken as the clock
    // rises, before the chip shifts its next bit.
    const bool select = pinHigh(ch341a::kChipSelectPin);
    std::uint8_t miso = 0;
    for (int bit = 7; bit >= 0; --bit) {
        const bool level = (mosi >> bit & 1) != 0;
        m_wire->drive(select, false, level, nowNs());
        miso = static_cast<std::uint8_t>(miso << 1 | (m_wire->dataOut(nowNs()) ? 1 : 0));
        m_wire->drive(select, true, level, nowNs());
    }
    m_wire->drive(select, false, false, nowNs());
    return miso;
}

bool SimulatedCh341a::pinHigh(std::uint8_t pin) const
{
    return (m_pinOutputs & pin) != 0 && (m_pinLevels & pin) != 0;
}

SimulatedCh341a::Packet SimulatedCh341a::executeI2c(const Packet& packet)
{
    Packet reply;
    bool statusSent = false;
    for (std::size_t i = 1; i < packet.size(); ++i) {
        const std::uint8_t command = packet[i];
        const int count = command & ch341a::kCountMask;
        if (command == ch341a::kEnd) {
            if (reply.size() > kCh341aPacketSize)
                throw streamError("a packet whose reply is longer than 32 bytes");
            return reply;  // the rest of the packet is ignored
        }
        const bool counted = (command & ch341a::kCommandMask) == ch341a::kOut ||
                             (command & ch341a::kCommandMask) == ch341a::kIn;
        if (counted && count > ch341a::kMaxCount)
            throw streamError("the command " + byteHex(command) + ", whose count is beyond 32");
        const bool onBus = command == ch341a::kStart || command == ch341a::kStop || counted;
        if (onBus && !m_bus)
            throw streamError("an I2C command while an SPI chip is in the socket");
        if (command == ch341a::kStart) {
            m_bus->start();
        } else if (command == ch341a::kStop) {
            m_bus->stop();
        } else if ((command & ch341a::kCommandMask) == ch341a::kOut) {
            const std::size_t bytes = count == 0 ? 1 : static_cast<std::size_t>(count);
            if (i + bytes >= packet.size())
                throw streamError("an OUT command whose bytes run past the packet");
            if (count == 0 && statusSent)
                throw streamError("a second OUT|0 in one packet, which the device does not "
                                  "define");
            for (std::size_t b = 0; b < bytes; ++b) {
                const bool acknowledged = m_bus->sendByte(packet[++i]);
                if (count == 0)
                    reply.push_back(acknowledged ? 0x00 : ch341a::kNotAcknowledged);
            }
            statusSent = statusSent || count == 0;
        } else if ((command & ch341a::kCommandMask) == ch341a::kIn) {
            if (count == 0) {
                reply.push_back(m_bus->receiveByte(false));
            } else {
                for (int b = 0; b < count; ++b)
                    reply.push_back(m_bus->receiveByte(true));
            }
        } else if ((command & 0xF0) == ch341a::kSet) {
            // Bits 1..0 choose the I2C clock; bit 2 the SPI stream's lines.
            m_spiDualIo = (command & ch341a::kSpiDualIo) != 0;
            if (m_bus)
                m_bus->setKhz(i2cSpeedKhz(static_cast<I2cSpeed>(command & 0x03)));
        } else if ((command & 0xF0) == ch341a::kDelayUs) {
            elapse(static_cast<std::uint64_t>(command & 0x0F) * 1'000);
        } else if ((command & 0xF0) == ch341a::kDelayMs) {
            elapse(static_cast<std::uint64_t>(command & 0x0F) * 1'000'000);
        } else {
            throw streamError("the unknown command " + byteHex(command));
        }
    }
    // A stream must be closed inside its packet.
    throw streamError("a packet without END");
}

}  // namespace kavoda
