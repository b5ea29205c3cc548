// SPDX-License-Identifier: MIT
// The simulated CH341A's command interpreter.
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

}  // namespace

SimulatedCh341a::SimulatedCh341a(const ChipOptions& chip) : m_bus(chip, kDefaultI2cSpeedKhz) {}

void SimulatedCh341a::bulkOut(const std::vector<std::uint8_t>& packet)
{
    ++m_transfers;
    m_bus.elapse(kUsbTransferNs);
    // A longer write would be split into packets, each its own stream.
    for (std::size_t at = 0; at < packet.size(); at += kCh341aPacketSize) {
        const std::size_t end = std::min(packet.size(), at + kCh341aPacketSize);
        execute({packet.begin() + static_cast<std::ptrdiff_t>(at),
                 packet.begin() + static_cast<std::ptrdiff_t>(end)});
    }
}

void SimulatedCh341a::execute(const std::vector<std::uint8_t>& packet)
{
    if (packet.empty() || packet[0] != ch341a::kStream)
        throw streamError("a packet without the stream command");
    for (std::size_t i = 1; i < packet.size(); ++i) {
        const std::uint8_t command = packet[i];
        const int count = command & ch341a::kCountMask;
        if (command == ch341a::kEnd)
            return;  // the rest of the packet is ignored
        const bool counted = (command & ch341a::kCommandMask) == ch341a::kOut ||
                             (command & ch341a::kCommandMask) == ch341a::kIn;
        if (counted && count > ch341a::kMaxCount)
            throw streamError("the command " + byteHex(command) + ", whose count is beyond 32");
        if (command == ch341a::kStart) {
            m_bus.start();
        } else if (command == ch341a::kStop) {
            m_bus.stop();
        } else if ((command & ch341a::kCommandMask) == ch341a::kOut) {
            const std::size_t bytes = count == 0 ? 1 : static_cast<std::size_t>(count);
            if (i + bytes >= packet.size())
                throw streamError("an OUT command whose bytes run past the packet");
            for (std::size_t b = 0; b < bytes; ++b) {
                const bool acknowledged = m_bus.sendByte(packet[++i]);
                if (count == 0)
                    m_reply.push_back(acknowledged ? 0x00 : ch341a::kNotAcknowledged);
            }
        } else if ((command & ch341a::kCommandMask) == ch341a::kIn) {
            if (count == 0) {
                m_reply.push_back(m_bus.receiveByte(false));
            } else {
                for (int b = 0; b < count; ++b)
                    m_reply.push_back(m_bus.receiveByte(true));
            }
        } else if ((command & 0xF0) == ch341a::kSet) {
            // Bits 1..0 choose the clock; bit 2 concerns SPI only.
            m_bus.setKhz(i2cSpeedKhz(static_cast<I2cSpeed>(command & 0x03)));
        } else if ((command & 0xF0) == ch341a::kDelayUs) {
            m_bus.elapse(static_cast<std::uint64_t>(command & 0x0F) * 1'000);
        } else if ((command & 0xF0) == ch341a::kDelayMs) {
            m_bus.elapse(static_cast<std::uint64_t>(command & 0x0F) * 1'000'000);
        } else {
            throw streamError("the unknown command " + byteHex(command));
        }
    }
    // A stream must be closed inside its packet.
    throw streamError("a packet without END");
}

std::vector<std::uint8_t> SimulatedCh341a::bulkIn(std::size_t maxLength)
{
    ++m_transfers;
    m_bus.elapse(kUsbTransferNs);
    if (m_reply.empty())
        throw PortError("The simulated CH341A had nothing to answer (USB timeout)");
    std::vector<std::uint8_t> reply;
    while (!m_reply.empty() && reply.size() < maxLength) {
        reply.push_back(m_reply.front());
        m_reply.pop_front();
    }
    return reply;
}

}  // namespace kavoda
