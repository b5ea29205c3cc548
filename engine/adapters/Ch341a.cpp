// SPDX-License-Identifier: MIT
// CH341A command streams and the bus transactions built from them.
#include "Ch341a.h"

#include <algorithm>
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

void Ch341aStream::append(std::initializer_list<std::uint8_t> bytes, std::size_t replyBytes)
{
    // A command never straddles two packets: close the open one (END, then
    // padding to the endpoint's size) when the command and END would not
    // fit, or when its reply would outgrow the packet's.
    const bool open = !m_bytes.empty();
    const std::size_t used = m_bytes.size() - m_packetStart;
    if (!open || used + bytes.size() + 1 > kCh341aPacketSize ||
        m_packetReply + replyBytes > kCh341aPacketSize) {
        if (open) {
            m_bytes.push_back(ch341a::kEnd);
            m_bytes.resize(m_packetStart + kCh341aPacketSize, 0x00);
        }
        m_packetStart = m_bytes.size();
        m_packetReply = 0;
        m_bytes.push_back(ch341a::kStream);
        ++m_packets;
    }
    m_bytes.insert(m_bytes.end(), bytes);
    m_packetReply += replyBytes;
}

Ch341aStream& Ch341aStream::setSpeed(I2cSpeed speed)
{
    append({static_cast<std::uint8_t>(ch341a::kSet | static_cast<std::uint8_t>(speed))}, 0);
    return *this;
}

Ch341aStream& Ch341aStream::start()
{
    append({ch341a::kStart}, 0);
    return *this;
}

Ch341aStream& Ch341aStream::stop()
{
    append({ch341a::kStop}, 0);
    return *this;
}

Ch341aStream& Ch341aStream::sendByte(std::uint8_t value)
{
    // OUT with a count of 0: one byte, and its acknowledge comes back.
    append({ch341a::kOut, value}, 1);
    m_replyKinds.push_back(true);
    return *this;
}

Ch341aStream& Ch341aStream::receiveByte(bool acknowledge)
{
    append({acknowledge ? static_cast<std::uint8_t>(ch341a::kIn | 1) : ch341a::kIn}, 1);
    m_replyKinds.push_back(false);
    return *this;
}

Ch341aStream& Ch341aStream::receiveBytes(std::size_t n, bool acknowledgeLast)
{
    std::size_t acknowledged = acknowledgeLast ? n : n - 1;
    while (acknowledged > 0) {
        const std::size_t chunk = std::min<std::size_t>(acknowledged, ch341a::kMaxCount);
        append({static_cast<std::uint8_t>(ch341a::kIn | chunk)}, chunk);
        m_replyKinds.insert(m_replyKinds.end(), chunk, false);
        acknowledged -= chunk;
    }
    if (!acknowledgeLast && n > 0)
        receiveByte(false);
    return *this;
}

Ch341aStream& Ch341aStream::delayMs(int ms)
{
    append({static_cast<std::uint8_t>(ch341a::kDelayMs | (ms & 0x0F))}, 0);
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
    // A packet's reply shorter than the endpoint's ends one bulk transfer:
    // ask again until the whole reply is in.
    std::vector<std::uint8_t> reply;
    while (reply.size() < stream.replyLength()) {
        const std::vector<std::uint8_t> part = m_link.bulkIn(stream.replyLength() - reply.size());
        if (part.empty())
            throw PortError("The CH341A programmer answered " + std::to_string(reply.size()) +
                            " bytes instead of " + std::to_string(stream.replyLength()));
        reply.insert(reply.end(), part.begin(), part.end());
    }
    return stream.decode(reply);
}

namespace {

void sendAddress(Ch341aStream& s, const AddressPhase& phase)
{
    s.start().sendByte(phase.device);
    for (int i = 0; i < phase.wordBytes; ++i)
        s.sendByte(phase.word[i]);
}

}  // namespace

Ch341aStream Ch341aBus::readStream(const std::vector<ControllerRun>& runs)
{
    Ch341aStream s;
    for (const ControllerRun& one : runs) {
        sendAddress(s, one.phase);
        s.start().sendByte(static_cast<std::uint8_t>(one.phase.device | 1));
        s.receiveBytes(one.length, false).stop();
    }
    return s;
}

Ch341aStream Ch341aBus::writeStream(const std::vector<ControllerWrite>& writes, int polls)
{
    Ch341aStream s;
    for (const ControllerWrite& w : writes) {
        sendAddress(s, w.phase);
        for (std::uint32_t k = 0; k < w.length; ++k)
            s.sendByte(w.data[k]);
        s.stop();
        for (int p = 0; p < polls; ++p)
            s.delayMs(1).start().sendByte(w.phase.device).stop();
    }
    return s;
}

Ch341aStream Ch341aBus::pollStream(std::uint8_t addressByte, int polls, bool delayed)
{
    Ch341aStream s;
    for (int p = 0; p < polls; ++p) {
        if (delayed)
            s.delayMs(1);
        s.start().sendByte(addressByte).stop();
    }
    return s;
}

I2cController::ReadOutcome Ch341aBus::read(const std::vector<ControllerRun>& runs)
{
    // As many runs to a transfer as its packets allow; a run alone, plus
    // one packet for the joint, bounds what it adds.
    std::size_t first = 0;
    while (first < runs.size()) {
        std::size_t end = first;
        std::size_t packets = 0;
        while (end < runs.size()) {
            const std::size_t cost = readStream({runs[end]}).packets() + 1;
            if (end > first && packets + cost > kMaxPacketsPerTransfer)
                break;
            packets += cost;
            ++end;
        }
        const std::vector<ControllerRun> batch(runs.begin() + static_cast<std::ptrdiff_t>(first),
                                               runs.begin() + static_cast<std::ptrdiff_t>(end));
        const Ch341aStream::Reply reply = run(readStream(batch));
        std::size_t status = 0;
        std::size_t data = 0;
        for (std::size_t r = 0; r < batch.size(); ++r) {
            const ControllerRun& one = batch[r];
            bool answered = true;
            for (int i = 0; i < one.phase.wordBytes + 2; ++i)
                answered = reply.acknowledged.at(status++) && answered;
            for (std::uint32_t i = 0; i < one.length; ++i)
                one.out[i] = answered ? reply.data.at(data + i) : 0xFF;
            data += one.length;
            if (!answered)
                return ReadOutcome{BusResult{BusStatus::NoAcknowledge, 0}, first + r};
        }
        first = end;
    }
    return {};
}

BusResult Ch341aBus::write(const AddressPhase& phase, const std::uint8_t* data,
                           std::uint32_t length, std::uint64_t pollLimitNs)
{
    return writeBatch({ControllerWrite{phase, data, length}}, pollLimitNs).result;
}

bool Ch341aBus::pollOn(std::uint8_t addressByte, int done, int allowed)
{
    while (done < allowed) {
        const int more = std::min(kPollsPerTransfer, allowed - done);
        const Ch341aStream::Reply again = run(pollStream(addressByte, more, true));
        for (int p = 0; p < more; ++p) {
            if (again.acknowledged.at(static_cast<std::size_t>(p))) {
                m_pollsNeeded = done + p + 1;
                m_cycleKnown = true;
                return true;
            }
        }
        done += more;
    }
    return false;
}

I2cController::WriteOutcome Ch341aBus::writeBatch(const std::vector<ControllerWrite>& writes,
                                                  std::uint64_t pollLimitNs)
{
    const auto pollsAllowed =
        static_cast<int>(std::max<std::uint64_t>(1, pollLimitNs / 1'000'000));
    std::size_t from = 0;
    while (from < writes.size()) {
        // Each poll follows a 1 ms delay of the stream; as many as the last
        // write cycle needed and two more, since trailing polls cost a
        // millisecond each of the bus's time.
        const int polls = std::min(pollsAllowed, m_pollsNeeded + 2);
        // One write alone until a cycle has been timed: a write sent while
        // the one before still stores its bytes is lost and sent again.
        const std::size_t end = m_cycleKnown ? writes.size() : from + 1;
        const Ch341aStream::Reply reply =
            run(writeStream({writes.begin() + static_cast<std::ptrdiff_t>(from),
                             writes.begin() + static_cast<std::ptrdiff_t>(end)},
                            polls));
        const auto& acks = reply.acknowledged;
        std::size_t at = 0;
        std::size_t next = end;
        for (std::size_t i = from; i < end; ++i) {
            const ControllerWrite& w = writes[i];
            bool address = acks.at(at++);
            for (int k = 0; k < w.phase.wordBytes; ++k)
                address = acks.at(at++) && address;
            if (!address) {
                // Either nobody is there, or the write before it still ran
                // its cycle when it went out: that one's polls tell.
                if (i == from)
                    return WriteOutcome{BusResult{BusStatus::NoAcknowledge, 0}, i};
                next = i;
                break;
            }
            for (std::uint32_t k = 0; k < w.length; ++k) {
                if (!acks.at(at++))
                    return WriteOutcome{BusResult{BusStatus::DataRefused, k}, i};
            }
            int answered = -1;
            for (int p = 0; p < polls && answered < 0; ++p) {
                if (acks.at(at + static_cast<std::size_t>(p)))
                    answered = p;
            }
            at += static_cast<std::size_t>(polls);
            if (answered >= 0) {
                m_pollsNeeded = answered + 1;
                m_cycleKnown = true;
                continue;
            }
            // Its cycle outlasted the polls: poll on; what followed it in
            // this transfer went out too early and is sent again.
            if (!pollOn(w.phase.device, polls, pollsAllowed))
                return WriteOutcome{BusResult{BusStatus::Busy, 0}, i};
            next = i + 1;
            break;
        }
        from = next;
    }
    return {};
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
