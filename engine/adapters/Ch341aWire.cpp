// SPDX-License-Identifier: MIT
// Microwire commands as CH341A UIO streams.
#include "Ch341aWire.h"

#include <algorithm>

#include "BusTrace.h"

namespace kavoda {

namespace {
constexpr std::size_t kCommandsPerPacket = kCh341aPacketSize - 2;  // AB ... END
}

Ch341aWireStream::Ch341aWireStream(const std::vector<WireCommand>& commands)
{
    using namespace ch341a;
    for (const WireCommand& c : commands) {
        Place place;
        const auto bitAt = [&](int clock) {
            return (c.out >> (c.clocks - 1 - clock) & 1) != 0 ? kWireDataIn : 0;
        };
        for (int i = 0; i < c.clocks; ++i) {
            const std::uint8_t low = static_cast<std::uint8_t>(kWireIdle | kWireSelect | bitAt(i));
            set(low);
            set(static_cast<std::uint8_t>(low | kWireClock));
            if ((c.sample >> (c.clocks - 1 - i) & 1) != 0) {
                // Clock low again with the next bit already on DI, then DO.
                const int next = std::min(i + 1, c.clocks - 1);
                set(static_cast<std::uint8_t>(kWireIdle | kWireSelect | bitAt(next)));
                place.samples.push_back(m_replyLength);
                place.sampleBits.push_back(c.clocks - 1 - i);
                in();
            }
        }
        set(kWireIdle);
        if (c.polls > 0) {
            // CS low for a command's time (the chips want 250 ns), then
            // high: DO shows ready or busy.
            set(kWireIdle | kWireSelect);
            place.polls = m_replyLength;
            place.pollCount = c.polls;
            for (int k = 0; k < c.polls; ++k) {
                if (k == 1)
                    wait(c.waitUs);
                else if (k > 1)
                    wait(c.pollGapUs);
                in();
            }
            set(kWireIdle);
        }
        const bool answers = !place.samples.empty() || c.polls > 0;
        place.provenBy = answers ? m_replyLength : m_replyLength + 1;
        m_places.push_back(std::move(place));
    }
    closePacket();
}

void Ch341aWireStream::set(std::uint8_t levels)
{
    if (levels == m_levels)
        return;
    m_levels = levels;
    put(static_cast<std::uint8_t>(ch341a::kUioOut | levels), false);
}

void Ch341aWireStream::in()
{
    put(ch341a::kUioIn, true);
    ++m_replyLength;
}

void Ch341aWireStream::wait(std::uint32_t us)
{
    while (us > 0) {
        const std::uint32_t step = std::min<std::uint32_t>(us, ch341a::kUioMaxDelayUs);
        put(static_cast<std::uint8_t>(ch341a::kUioDelayUs | step), false);
        m_packetNs += std::uint64_t{step} * 1000;
        us -= step;
    }
}

void Ch341aWireStream::put(std::uint8_t command, bool reply)
{
    if (m_packet.size() == kCommandsPerPacket)
        closePacket();
    m_packet.push_back(command);
    m_packetReplies += reply ? 1 : 0;
    m_packetNs += kCommandNs;
}

void Ch341aWireStream::closePacket()
{
    if (m_packet.empty())
        return;
    // A transfer ends at the INs or the bus time one exchange may carry.
    const bool full = !m_transfers.empty() &&
                      (m_transfers.back().inLengths.size() + (m_packetReplies > 0 ? 1 : 0) >
                           Ch341aBus::kMaxInsPerExchange ||
                       m_transferNs + m_packetNs > Ch341aBus::kMaxExchangeBusNs);
    if (m_transfers.empty() || full) {
        m_transfers.emplace_back();
        m_transferNs = 0;
    }
    m_transferNs += m_packetNs;
    Transfer& transfer = m_transfers.back();
    const std::size_t start = transfer.packets.size();
    transfer.packets.push_back(ch341a::kUioStream);
    transfer.packets.insert(transfer.packets.end(), m_packet.begin(), m_packet.end());
    transfer.packets.push_back(ch341a::kUioEnd);
    transfer.packets.resize(start + kCh341aPacketSize, 0x00);
    if (m_packetReplies > 0)
        transfer.inLengths.push_back(m_packetReplies);
    m_packet.clear();
    m_packetReplies = 0;
    m_packetNs = 0;
}

std::vector<WireReply> Ch341aWireStream::replies(const std::vector<std::uint8_t>& received) const
{
    const bool whole = received.size() >= m_replyLength;
    const auto high = [&](std::size_t at) { return (received[at] & ch341a::kWireDataOut) != 0; };
    std::vector<WireReply> result;
    for (const Place& place : m_places) {
        // A command cut short after its first poll came back did reach the
        // chip: it goes with the polls that were read, and ends the list.
        const bool complete = whole || received.size() >= place.provenBy;
        const bool polled = place.pollCount > 0 && received.size() > place.polls;
        if (!complete && !polled)
            break;
        WireReply reply;
        for (std::size_t s = 0; s < place.samples.size() && complete; ++s)
            if (high(place.samples[s]))
                reply.in |= std::uint64_t{1} << place.sampleBits[s];
        reply.pollsRead = complete ? place.pollCount
                                   : static_cast<int>(received.size() - place.polls);
        for (int k = 0; k < reply.pollsRead; ++k) {
            if (high(place.polls + static_cast<std::size_t>(k))) {
                reply.readyAt = k;
                break;
            }
        }
        result.push_back(reply);
        if (!complete)
            break;
    }
    return result;
}

std::vector<std::uint8_t> Ch341aWireStream::setupPackets()
{
    using namespace ch341a;
    // Levels first, so that CS is low when D0 becomes an output.
    return {kUioStream, kUioOut | kWireIdle, kUioDirection | kPinsOutputs, kUioEnd};
}

Ch341aWire::Ch341aWire(UsbBulkLink& link, std::function<std::uint64_t()> clock)
    : m_link(link), m_clock(std::move(clock))
{
    if (!m_clock)
        m_clock = monotonicNs;
    m_link.bulkOut(Ch341aWireStream::setupPackets());
}

Ch341aWire::~Ch341aWire()
{
    // Every stream ends with CS low; this only makes sure after a failure.
    try {
        m_link.bulkOut({ch341a::kUioStream, ch341a::kUioOut | ch341a::kWireIdle, ch341a::kUioEnd});
    } catch (const std::exception&) {
    }
}

std::vector<WireReply> Ch341aWire::run(const std::vector<WireCommand>& commands)
{
    const Ch341aWireStream stream(commands);
    std::vector<std::uint8_t> received;
    try {
        for (const Ch341aWireStream::Transfer& transfer : stream.transfers()) {
            if (transfer.inLengths.empty()) {
                m_link.bulkOut(transfer.packets);
                continue;
            }
            std::size_t expected = 0;
            for (const std::size_t n : transfer.inLengths)
                expected += n;
            std::vector<std::uint8_t> part = m_link.exchange(transfer.packets, transfer.inLengths);
            received.insert(received.end(), part.begin(), part.end());
            if (part.size() != expected)
                throw PortError("The CH341A programmer answered " + std::to_string(part.size()) +
                                " bytes instead of " + std::to_string(expected));
        }
    } catch (const UsbExchangeError& e) {
        received.insert(received.end(), e.received().begin(), e.received().end());
        throw WireRunFailure(e.what(), stream.replies(received));
    } catch (const PortError& e) {
        throw WireRunFailure(e.what(), stream.replies(received));
    }
    return stream.replies(received);
}

}  // namespace kavoda
