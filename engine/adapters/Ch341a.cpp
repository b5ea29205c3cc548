// SPDX-License-Identifier: MIT
// CH341A command streams and the bus transactions built from them.
#include "Ch341a.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include "BusTrace.h"
#include "HardwarePort.h"
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

std::size_t Ch341aStream::room() const
{
    // What a command may still take of the open packet, END kept free.
    return m_open ? kCh341aPacketSize - 1 - (m_bytes.size() - m_packetStart) : 0;
}

std::size_t Ch341aStream::replyRoom() const
{
    return m_open ? kCh341aPacketSize - m_replies.back() : 0;
}

void Ch341aStream::open()
{
    if (m_open)
        return;
    m_packetStart = m_bytes.size();
    m_bytes.push_back(ch341a::kStream);
    m_replies.push_back(0);
    m_open = true;
}

Ch341aStream& Ch341aStream::newPacket()
{
    if (m_open) {
        m_bytes.push_back(ch341a::kEnd);
        m_bytes.resize(m_packetStart + kCh341aPacketSize, 0x00);
    }
    m_open = false;
    return *this;
}

void Ch341aStream::append(const std::vector<std::uint8_t>& bytes, std::size_t replyBytes,
                          bool statusFirst)
{
    // A command never straddles two packets, nor does a reply outgrow one;
    // a status byte opens the reply of a packet of its own.
    if (bytes.size() > room() || replyBytes > replyRoom() ||
        (statusFirst && m_open && m_replies.back() > 0))
        newPacket();
    open();
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    m_replies.back() += replyBytes;
    m_replyLength += replyBytes;
}

Ch341aStream& Ch341aStream::setSpeed(I2cSpeed speed)
{
    append({static_cast<std::uint8_t>(ch341a::kSet | static_cast<std::uint8_t>(speed))}, 0);
    return *this;
}

Ch341aStream& Ch341aStream::start()
{
    append({ch341a::kStart}, 0);
    m_clocks += 1;
    return *this;
}

Ch341aStream& Ch341aStream::stop()
{
    append({ch341a::kStop}, 0);
    m_clocks += 1;
    return *this;
}

std::size_t Ch341aStream::sendByte(std::uint8_t value)
{
    append({ch341a::kOut, value}, 1, true);
    m_clocks += 9;
    return m_replyLength - 1;
}

Ch341aStream& Ch341aStream::sendBytes(const std::uint8_t* data, std::size_t n)
{
    while (n > 0) {
        if (room() < 2)
            newPacket().open();
        const std::size_t chunk = std::min<std::size_t>({n, room() - 1, ch341a::kMaxCount});
        std::vector<std::uint8_t> command(chunk + 1);
        command[0] = static_cast<std::uint8_t>(ch341a::kOut | chunk);
        for (std::size_t i = 0; i < chunk; ++i)
            command[i + 1] = data[i];
        append(command, 0);
        m_clocks += 9 * chunk;
        data += chunk;
        n -= chunk;
    }
    return *this;
}

std::size_t Ch341aStream::receiveBytes(std::size_t n)
{
    const std::size_t first = m_replyLength;
    std::size_t acknowledged = n > 0 ? n - 1 : 0;
    while (acknowledged > 0) {
        if (replyRoom() == 0 || room() == 0)
            newPacket();
        const std::size_t chunk =
            std::min<std::size_t>({acknowledged, replyRoom() == 0 ? kCh341aPacketSize : replyRoom(),
                                   static_cast<std::size_t>(ch341a::kMaxCount)});
        append({static_cast<std::uint8_t>(ch341a::kIn | chunk)}, chunk);
        acknowledged -= chunk;
    }
    if (n > 0)
        append({ch341a::kIn}, 1);
    m_clocks += 9 * n;
    return first;
}

Ch341aStream& Ch341aStream::delayMs(int ms)
{
    while (ms > 0) {
        const int step = std::min(ms, 15);
        append({static_cast<std::uint8_t>(ch341a::kDelayMs | step)}, 0);
        m_delayNs += static_cast<std::uint64_t>(step) * 1'000'000;
        ms -= step;
    }
    return *this;
}

std::vector<std::uint8_t> Ch341aStream::bytes() const
{
    std::vector<std::uint8_t> bytes = m_bytes;
    if (m_open)
        bytes.push_back(ch341a::kEnd);
    return bytes;
}

std::size_t Ch341aStream::provenBy() const
{
    // A packet's reply leaves the device once the whole packet has run.
    if (m_open && m_replies.back() > 0)
        return m_replyLength - m_replies.back();
    return m_replyLength;
}

std::vector<std::size_t> Ch341aStream::inLengths() const
{
    std::vector<std::size_t> ins;
    bool open = false;
    for (const std::size_t reply : m_replies) {
        if (reply == 0)
            continue;
        if (!open)
            ins.push_back(0);
        ins.back() += reply;
        open = reply == kCh341aPacketSize;
    }
    return ins;
}

std::uint64_t Ch341aStream::busNs(int khz) const
{
    return m_clocks * 1'000'000ull / static_cast<std::uint64_t>(khz) + m_delayNs;
}

Ch341aBus::Ch341aBus(UsbBulkLink& link, I2cSpeed speed) : m_link(link), m_speed(speed)
{
    Ch341aStream s;
    s.setSpeed(speed);
    m_link.bulkOut(s.bytes());
}

std::vector<std::uint8_t> Ch341aBus::exchange(const Ch341aStream& stream)
{
    const std::vector<std::size_t> ins = stream.inLengths();
    if (ins.empty()) {
        m_link.bulkOut(stream.bytes());
        return {};
    }
    std::vector<std::uint8_t> reply = m_link.exchange(stream.bytes(), ins);
    if (reply.size() != stream.replyLength())
        throw UsbExchangeError("The CH341A programmer answered " + std::to_string(reply.size()) +
                                   " bytes instead of " + std::to_string(stream.replyLength()),
                               std::move(reply));
    return reply;
}

bool Ch341aBus::fits(const Ch341aStream& stream) const
{
    return stream.inLengths().size() <= kMaxInsPerExchange &&
           stream.busNs(i2cSpeedKhz(m_speed)) <= kMaxExchangeBusNs;
}

namespace {

bool acknowledged(const std::vector<std::uint8_t>& reply, std::size_t at)
{
    return (reply.at(at) & ch341a::kNotAcknowledged) == 0;
}

}  // namespace

Ch341aBus::RunPlace Ch341aBus::appendRead(Ch341aStream& s, const ControllerRun& run)
{
    // The device address's status opens a packet; the rest of the address
    // phase goes without status, so the first packet also carries 31 data
    // bytes and every later one 32.
    RunPlace place{};
    s.newPacket().start();
    place.status = s.sendByte(run.phase.device);
    s.sendBytes(run.phase.word, static_cast<std::size_t>(run.phase.wordBytes)).start();
    const std::uint8_t reading = static_cast<std::uint8_t>(run.phase.device | 1);
    s.sendBytes(&reading, 1);
    place.data = s.receiveBytes(run.length);
    s.stop();
    return place;
}

Ch341aBus::WritePlace Ch341aBus::appendWrite(Ch341aStream& s, const ControllerWrite& write,
                                             int delayMs, int polls)
{
    // The address's status, then the first data byte's (a write-protected
    // chip refuses every data byte), each opening its packet.
    WritePlace place{};
    s.newPacket().start();
    place.address = s.sendByte(write.phase.device);
    s.sendBytes(write.phase.word, static_cast<std::size_t>(write.phase.wordBytes));
    place.data = s.sendByte(write.data[0]);
    s.sendBytes(write.data + 1, write.length - 1).stop();
    place.stopProven = s.provenBy();
    s.delayMs(delayMs);
    place.pollCount = polls;
    for (int p = 0; p < polls; ++p) {
        const std::size_t at = appendPoll(s, write.phase.device, true);
        if (p == 0)
            place.polls = at;
    }
    return place;
}

std::size_t Ch341aBus::appendPoll(Ch341aStream& s, std::uint8_t addressByte, bool delayed)
{
    s.newPacket();
    if (delayed)
        s.delayMs(1);
    const std::size_t at = s.start().sendByte(addressByte);
    s.stop();
    return at;
}

I2cController::ReadOutcome Ch341aBus::read(const std::vector<ControllerRun>& runs)
{
    // As many runs to an exchange as its INs and bus time allow; runs start
    // on packets of their own, so each one's cost adds up.
    std::size_t first = 0;
    while (first < runs.size()) {
        Ch341aStream s;
        std::vector<RunPlace> places;
        std::size_t end = first;
        while (end < runs.size()) {
            Ch341aStream trial = s;
            const RunPlace place = appendRead(trial, runs[end]);
            if (end > first && !fits(trial))
                break;
            s = std::move(trial);
            places.push_back(place);
            ++end;
        }
        const std::vector<std::uint8_t> reply = exchange(s);
        for (std::size_t r = first; r < end; ++r) {
            const ControllerRun& one = runs[r];
            const RunPlace& place = places[r - first];
            const bool answered = acknowledged(reply, place.status);
            for (std::uint32_t i = 0; i < one.length; ++i)
                one.out[i] = answered ? reply.at(place.data + i) : 0xFF;
            if (!answered)
                return ReadOutcome{BusResult{BusStatus::NoAcknowledge, 0}, r};
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
        const int more = std::min(kPollsPerExchange, allowed - done);
        Ch341aStream s;
        std::vector<std::size_t> at;
        for (int p = 0; p < more; ++p)
            at.push_back(appendPoll(s, addressByte, true));
        const std::vector<std::uint8_t> reply = exchange(s);
        for (int p = 0; p < more; ++p) {
            if (acknowledged(reply, at[static_cast<std::size_t>(p)])) {
                m_cycleMs = done + p + 1;
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
    const int allowedMs = static_cast<int>(std::max<std::uint64_t>(1, pollLimitNs / 1'000'000));
    std::vector<bool> done(writes.size(), false);
    // The writes before `from` have all ended on the chip.
    std::size_t from = 0;
    const auto ended = [&] {
        std::size_t n = 0;
        while (n < writes.size() && done[n])
            ++n;
        return n;
    };
    while (from < writes.size()) {
        // Until a cycle has been timed: polls each millisecond, one write
        // alone. Then the polls go where the last cycle ended, one before
        // it, and many writes share an exchange.
        const int delay = m_cycleKnown ? std::max(0, m_cycleMs - 2) : 0;
        const int polls = m_cycleKnown ? std::min(2, std::max(1, allowedMs - delay))
                                       : std::min(kPollsPerExchange, allowedMs);
        Ch341aStream s;
        std::vector<std::pair<std::size_t, WritePlace>> members;
        for (std::size_t i = from; i < writes.size(); ++i) {
            if (done[i])
                continue;
            if (!members.empty() && !m_cycleKnown)
                break;
            Ch341aStream trial = s;
            const WritePlace place = appendWrite(trial, writes[i], delay, polls);
            if (!members.empty() && !fits(trial))
                break;
            s = std::move(trial);
            members.emplace_back(i, place);
        }
        std::vector<std::uint8_t> reply;
        bool linkFailed = false;
        std::string failure;
        try {
            reply = exchange(s);
        } catch (const UsbExchangeError& e) {
            reply = e.received();
            linkFailed = true;
            failure = e.what();
        } catch (const PortError& e) {
            linkFailed = true;
            failure = e.what();
        }
        for (std::size_t m = 0; m < members.size(); ++m) {
            const auto& [i, place] = members[m];
            // What the reply does not prove did not happen for the count:
            // only writes whose data were taken and whose STOP went out.
            if (linkFailed && reply.size() <= place.stopProven)
                break;
            if (!acknowledged(reply, place.address)) {
                // Nobody there, or the write before it still ran its cycle.
                if (m == 0)
                    return WriteOutcome{BusResult{BusStatus::NoAcknowledge, 0}, i};
                continue;
            }
            if (!acknowledged(reply, place.data)) {
                if (ended() < i)
                    continue;  // sent too early after one still pending: again
                return WriteOutcome{BusResult{BusStatus::DataRefused, 0}, i};
            }
            int answered = -1;
            for (int p = 0; p < place.pollCount && answered < 0; ++p) {
                const std::size_t at = place.polls + static_cast<std::size_t>(p);
                if (at < reply.size() && acknowledged(reply, at))
                    answered = p;
            }
            done[i] = true;
            if (answered >= 0) {
                m_cycleMs = delay + answered + 1;
                m_cycleKnown = true;
                continue;
            }
            if (linkFailed)
                break;
            // Its cycle outlasted the polls: poll on; what followed it went
            // out while it was busy, and is read as such.
            if (!pollOn(writes[i].phase.device, delay + place.pollCount, allowedMs))
                return WriteOutcome{BusResult{BusStatus::Busy, 0}, i};
        }
        if (linkFailed)
            throw WriteBatchFailure(failure, ended());
        from = ended();
    }
    return {};
}

bool Ch341aBus::poll(std::uint8_t addressByte)
{
    Ch341aStream s;
    const std::size_t at = appendPoll(s, addressByte, false);
    return acknowledged(exchange(s), at);
}

std::size_t Ch341aBus::appendProbe(Ch341aStream& s, std::uint8_t addressByte)
{
    s.newPacket().start();
    const std::size_t at = s.sendByte(static_cast<std::uint8_t>(addressByte | 1));
    s.receiveBytes(1);
    s.stop();
    return at;
}

bool Ch341aBus::probe(std::uint8_t addressByte)
{
    return probeAll({addressByte}).front();
}

std::vector<bool> Ch341aBus::probeAll(const std::vector<std::uint8_t>& addressBytes)
{
    std::vector<bool> answered;
    std::size_t first = 0;
    while (first < addressBytes.size()) {
        Ch341aStream s;
        std::vector<std::size_t> at;
        std::size_t end = first;
        while (end < addressBytes.size()) {
            Ch341aStream trial = s;
            const std::size_t place = appendProbe(trial, addressBytes[end]);
            if (end > first && !fits(trial))
                break;
            s = std::move(trial);
            at.push_back(place);
            ++end;
        }
        const std::vector<std::uint8_t> reply = exchange(s);
        for (const std::size_t place : at)
            answered.push_back(acknowledged(reply, place));
        first = end;
    }
    return answered;
}

std::string ch341aOpenErrorText(UsbOpenFailure failure, const std::string& detail, bool asRoot)
{
    switch (failure) {
    case UsbOpenFailure::NoDevice:
        return "No CH341A programmer in I2C mode (USB 1a86:5512) is plugged in. "
               "Set its jumper to I2C/SPI and plug it in again";
    case UsbOpenFailure::NoPermission:
        if (asRoot)
            return "No permission to use the CH341A programmer, even as root: the system "
                   "withholds it (a container without the USB device, or a security policy)";
        return "No permission to use the CH341A programmer. Install Kavoda's udev rule, add "
               "yourself to the group plugdev (sudo adduser \"$(id -un)\" plugdev), log in again and "
               "plug the programmer in again";
    case UsbOpenFailure::Busy:
        return "The CH341A programmer is in use by another program or driver";
    case UsbOpenFailure::Other:
        break;
    }
    return "Cannot use the CH341A programmer" + (detail.empty() ? std::string() : ": " + detail);
}

}  // namespace kavoda

namespace kavoda {

std::uint8_t reversedBits(std::uint8_t value)
{
    value = static_cast<std::uint8_t>((value & 0xF0) >> 4 | (value & 0x0F) << 4);
    value = static_cast<std::uint8_t>((value & 0xCC) >> 2 | (value & 0x33) << 2);
    return static_cast<std::uint8_t>((value & 0xAA) >> 1 | (value & 0x55) << 1);
}

Ch341aSpiStream::Transfer& Ch341aSpiStream::open()
{
    if (!m_open) {
        m_transfers.emplace_back();
        m_open = true;
    }
    return m_transfers.back();
}

void Ch341aSpiStream::uio(const std::vector<std::uint8_t>& commands, bool pad)
{
    Transfer& transfer = open();
    const std::size_t start = transfer.packets.size();
    transfer.packets.push_back(ch341a::kUioStream);
    transfer.packets.insert(transfer.packets.end(), commands.begin(), commands.end());
    if (pad)
        transfer.packets.resize(start + kCh341aPacketSize, 0x00);
    else
        close();
}

void Ch341aSpiStream::spiPacket(const std::uint8_t* data, std::size_t n)
{
    constexpr std::uint64_t kMaxBusBytes = Ch341aBus::kMaxExchangeBusNs / Ch341aSpi::kByteNs;
    if (m_open && m_transfers.back().spiBytes + n > kMaxBusBytes)
        close();
    Transfer& transfer = open();
    transfer.packets.push_back(ch341a::kSpiStream);
    for (std::size_t i = 0; i < n; ++i)
        transfer.packets.push_back(reversedBits(data[i]));
    transfer.inLengths.push_back(n);
    transfer.spiBytes += static_cast<std::uint32_t>(n);
    // Its length is the USB packet's: a short one must end the bulk OUT.
    if (n < ch341a::kSpiPacketBytes)
        close();
}

void Ch341aSpiStream::pins(const std::vector<std::uint8_t>& commands)
{
    // As many UIO packets as the commands need: the pins hold their levels
    // from one packet to the next.
    constexpr std::size_t kPerPacket = kCh341aPacketSize - 2;
    for (std::size_t at = 0; at < commands.size(); at += kPerPacket) {
        const auto first = commands.begin() + static_cast<std::ptrdiff_t>(at);
        std::vector<std::uint8_t> packet(
            first, first + static_cast<std::ptrdiff_t>(std::min(kPerPacket, commands.size() - at)));
        packet.push_back(ch341a::kUioEnd);
        uio(packet, true);
    }
}

void Ch341aSpiStream::clockOut(std::vector<std::uint8_t>& commands, std::uint8_t byte)
{
    // Each bit set on D5 with the clock low, taken by the chip as the clock
    // rises (mode 0).
    using namespace ch341a;
    for (int bit = 7; bit >= 0; --bit) {
        const std::uint8_t level = static_cast<std::uint8_t>(
            (kPinsSelected & ~kDataOutPin) | ((byte >> bit) & 1 ? kDataOutPin : 0));
        commands.push_back(static_cast<std::uint8_t>(kUioOut | level));
        commands.push_back(static_cast<std::uint8_t>(kUioOut | level | kClockPin));
    }
}

Ch341aSpiStream::Ch341aSpiStream(const std::vector<SpiTransaction>& transactions)
{
    using namespace ch341a;
    std::size_t replyAt = 0;
    bool selected = false;
    for (const SpiTransaction& t : transactions) {
        std::vector<std::uint8_t> bytes = t.out;
        bytes.resize(t.out.size() + t.inLength, 0xFF);
        m_readOffsets.push_back(replyAt + t.out.size());
        // A write's bytes beyond whole SPI packets (a lone write enable, the
        // end of a page) would make a short SPI packet, which ends its OUT:
        // clocked on the pins instead, they let the transactions after them
        // share the transfer. A read's are shifted, to be read back.
        const bool writes = t.inLength == 0;
        const std::size_t tail = writes ? bytes.size() % kSpiPacketBytes : 0;
        const std::size_t whole = bytes.size() - tail;
        // The one before is released and this one selected, also for the
        // first of a run: after a run that left the chip selected, only a
        // falling edge starts a new command. A microsecond high covers the
        // longest deselect time of the chips (100 ns).
        std::vector<std::uint8_t> commands{kUioOut | kPinsReleased, kUioDelayUs | 1,
                                           kUioOut | kPinsSelected};
        if (whole > 0) {
            pins(commands);
            commands.clear();
        }
        for (std::size_t at = 0; at < whole; at += kSpiPacketBytes)
            spiPacket(bytes.data() + at, std::min(kSpiPacketBytes, whole - at));
        replyAt += whole;
        for (std::size_t at = whole; at < bytes.size(); ++at)
            clockOut(commands, bytes[at]);
        if (tail > 0)
            commands.insert(commands.end(), {kUioOut | kPinsSelected, kUioOut | kPinsReleased});
        pins(commands);
        // A write of whole packets is released after them; a command that
        // only reads may stay selected until the next run's first packet
        // releases it: reading on harms nothing, and a transfer is saved.
        selected = writes && tail == 0;
    }
    if (selected)
        uio({kUioOut | kPinsReleased, kUioEnd}, false);
}

std::vector<std::uint8_t> Ch341aSpiStream::setupPackets()
{
    using namespace ch341a;
    // SET keeps the I2C clock at its default; its bit 2 clear gives SPI one
    // data line each way. Then the pins: levels first, so that chip select
    // is high when D0 becomes an output.
    std::vector<std::uint8_t> packets{
        kStream, static_cast<std::uint8_t>(kSet | static_cast<std::uint8_t>(kDefaultI2cSpeed)),
        kEnd};
    packets.resize(kCh341aPacketSize, 0x00);
    const std::uint8_t pins[] = {kUioStream, kUioOut | kPinsReleased, kUioDirection | kPinsOutputs,
                                 kUioEnd};
    packets.insert(packets.end(), std::begin(pins), std::end(pins));
    return packets;
}

std::vector<std::uint8_t> Ch341aSpiStream::releasePacket()
{
    using namespace ch341a;
    return {kUioStream, kUioOut | kPinsReleased, kUioEnd};
}

Ch341aSpi::Ch341aSpi(UsbBulkLink& link, std::function<std::uint64_t()> clock)
    : m_link(link), m_clock(std::move(clock))
{
    if (!m_clock)
        m_clock = monotonicNs;
    m_link.bulkOut(Ch341aSpiStream::setupPackets());
}

Ch341aSpi::~Ch341aSpi()
{
    // A run that ended reading leaves the chip selected; let it go. The
    // next opening releases it anyway, should the programmer be gone.
    try {
        m_link.bulkOut(Ch341aSpiStream::releasePacket());
    } catch (const std::exception&) {
    }
}

SpiLimits Ch341aSpi::limits() const
{
    // A transaction may span any number of exchanges (chip select holds);
    // a call is kept to about 90 ms of bus time, so that a stop waits no
    // longer.
    return SpiLimits{kMaxTransaction, kMaxTransaction};
}

std::vector<std::vector<std::uint8_t>> Ch341aSpi::run(
    const std::vector<SpiTransaction>& transactions)
{
    const Ch341aSpiStream stream(transactions);
    std::vector<std::uint8_t> reply;
    for (const Ch341aSpiStream::Transfer& transfer : stream.transfers()) {
        if (transfer.inLengths.empty()) {
            m_link.bulkOut(transfer.packets);
            continue;
        }
        std::vector<std::uint8_t> part = m_link.exchange(transfer.packets, transfer.inLengths);
        if (part.size() != transfer.spiBytes)
            throw UsbExchangeError("The CH341A programmer answered " +
                                       std::to_string(part.size()) + " bytes instead of " +
                                       std::to_string(transfer.spiBytes),
                                   std::move(part));
        reply.insert(reply.end(), part.begin(), part.end());
    }
    std::vector<std::vector<std::uint8_t>> results(transactions.size());
    for (std::size_t t = 0; t < transactions.size(); ++t) {
        const std::size_t at = stream.readOffsets()[t];
        results[t].resize(transactions[t].inLength);
        for (std::uint32_t i = 0; i < transactions[t].inLength; ++i)
            results[t][i] = reversedBits(reply.at(at + i));
    }
    return results;
}

}  // namespace kavoda
