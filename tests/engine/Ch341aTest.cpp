// SPDX-License-Identifier: MIT
// The CH341A: its command streams byte for byte and against the patterns
// proven on real programmers, the transactions over a recording USB link, and
// the simulated programmer, which answers packet by packet as the device does.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <stdexcept>

#include "Adapter.h"
#include "Ch341a.h"
#include "ControllerBus.h"
#include "DeviceOperations.h"
#include "QuietDisplay.h"
#include "PortBackend.h"
#include "SimulatedCh341a.h"
#include "SpiMemoryDouble.h"
#include "ee24c.h"

namespace kavoda {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Records what goes out and answers from a queue of whole replies.
class RecordingLink final : public UsbBulkLink {
public:
    void bulkOut(const Bytes& packets) override { sent.push_back(packets); }
    Bytes bulkIn(std::size_t) override { throw PortError("no synchronous IN expected"); }
    Bytes exchange(const Bytes& packets, const std::vector<std::size_t>& ins) override
    {
        sent.push_back(packets);
        inLengths.push_back(ins);
        if (replies.empty())
            throw UsbExchangeError("no reply queued", {});
        Bytes reply = replies.front();
        replies.pop_front();
        return reply;
    }
    std::vector<Bytes> sent;
    std::vector<std::vector<std::size_t>> inLengths;
    std::deque<Bytes> replies;
};

AddressPhase phaseOf(std::uint8_t device, std::uint8_t word)
{
    AddressPhase phase;
    phase.device = device;
    phase.word[0] = word;
    return phase;
}

ControllerRun runAt(std::uint8_t device, std::uint8_t word, std::uint8_t* out, std::uint32_t n)
{
    return ControllerRun{phaseOf(device, word), out, n};
}

// Every packet of a stream keeps to what real programmers are known to take:
// at most 32 bytes, the stream command first and END inside, at most one
// OUT|0 and its status first in the reply, counts of at most 32, replies of
// at most 32 bytes, delays of at most 15 ms. Returns each packet's reply size.
std::vector<std::size_t> provenPackets(const Bytes& bytes)
{
    std::vector<std::size_t> replies;
    for (std::size_t at = 0; at < bytes.size(); at += kCh341aPacketSize) {
        const std::size_t end = std::min(bytes.size(), at + kCh341aPacketSize);
        EXPECT_EQ(bytes[at], ch341a::kStream) << "packet at " << at;
        std::size_t reply = 0;
        int statuses = 0;
        bool ended = false;
        for (std::size_t i = at + 1; i < end && !ended; ++i) {
            const std::uint8_t c = bytes[i];
            const int count = c & ch341a::kCountMask;
            if (c == ch341a::kEnd) {
                ended = true;
            } else if ((c & ch341a::kCommandMask) == ch341a::kOut) {
                EXPECT_LE(count, 32);
                if (count == 0) {
                    EXPECT_EQ(reply, 0u) << "a status byte opens its packet's reply";
                    ++statuses;
                    ++reply;
                    ++i;
                } else {
                    i += static_cast<std::size_t>(count);
                }
            } else if ((c & ch341a::kCommandMask) == ch341a::kIn) {
                EXPECT_LE(count, 32);
                reply += count == 0 ? 1 : static_cast<std::size_t>(count);
            } else if ((c & 0xF0) == ch341a::kDelayMs) {
                EXPECT_GE(c & 0x0F, 1);
            }
        }
        EXPECT_TRUE(ended) << "END inside the packet at " << at;
        EXPECT_LE(statuses, 1) << "packet at " << at;
        EXPECT_LE(reply, kCh341aPacketSize);
        replies.push_back(reply);
    }
    return replies;
}

TEST(Ch341aStream, ReadsAndWritesAreByteExactAndKeepToProvenPatterns)
{
    // 24C16, block 3, address 0x10, one byte: the device address's status,
    // the word address and the address for reading without, the byte not
    // acknowledged, STOP.
    std::uint8_t value = 0;
    Ch341aStream one;
    const Ch341aBus::RunPlace place = Ch341aBus::appendRead(one, runAt(address24C(3), 0x10, &value, 1));
    EXPECT_EQ(one.bytes(), (Bytes{0xAA, 0x74, 0x80, 0xA6, 0x81, 0x10, 0x74, 0x81, 0xA7, 0xC0,
                                  0x75, 0x00}));
    EXPECT_EQ(place.status, 0u);
    EXPECT_EQ(place.data, 1u);
    EXPECT_EQ(one.inLengths(), std::vector<std::size_t>{2});

    // A block: the first packet carries the address phase and 31 bytes,
    // every later one 32, the last byte alone; one IN takes it all.
    std::vector<std::uint8_t> block(256);
    Ch341aStream s;
    Ch341aBus::appendRead(s, runAt(0xA0, 0x00, block.data(), 256));
    const Bytes bytes = s.bytes();
    EXPECT_EQ(provenPackets(bytes),
              (std::vector<std::size_t>{32, 32, 32, 32, 32, 32, 32, 32, 1}));
    EXPECT_EQ(Bytes(bytes.begin() + 9, bytes.begin() + 11), (Bytes{0xDF, 0x00})) << "IN 31";
    EXPECT_EQ(bytes[33], 0xE0) << "IN 32";
    EXPECT_EQ(Bytes(bytes.end() - 4, bytes.end()), (Bytes{0xAA, 0xC0, 0x75, 0x00}));
    EXPECT_EQ(s.inLengths(), std::vector<std::size_t>{257});

    // A page write, its delay and two polls a millisecond apart: the
    // address's status, the first data byte's, one per poll.
    Bytes page(16);
    for (std::size_t i = 0; i < page.size(); ++i)
        page[i] = static_cast<std::uint8_t>(0xD0 + i);
    Ch341aStream w;
    const Ch341aBus::WritePlace at =
        Ch341aBus::appendWrite(w, {phaseOf(0xA8, 0x40), page.data(), 16}, 3, 2);
    const Bytes written = w.bytes();
    EXPECT_EQ(provenPackets(written), (std::vector<std::size_t>{1, 1, 1, 1}));
    EXPECT_EQ(Bytes(written.begin(), written.begin() + 7),
              (Bytes{0xAA, 0x74, 0x80, 0xA8, 0x81, 0x40, 0x00}));
    Bytes second{0xAA, 0x80, 0xD0, 0x8F};
    second.insert(second.end(), page.begin() + 1, page.end());
    second.insert(second.end(), {0x75, 0x53, 0x00});
    EXPECT_EQ(Bytes(written.begin() + 32, written.begin() + 32 + 22), second);
    EXPECT_EQ(Bytes(written.end() - 7, written.end()), (Bytes{0xAA, 0x51, 0x74, 0x80, 0xA8, 0x75, 0x00}));
    EXPECT_EQ(at.address, 0u);
    EXPECT_EQ(at.data, 1u);
    EXPECT_EQ(at.stopProven, 1u) << "the STOP shares the data status's packet";
    EXPECT_EQ(at.polls, 2u);
    EXPECT_EQ(w.inLengths(), (std::vector<std::size_t>{1, 1, 1, 1}));

    // A long page's STOP comes in a packet without a reply: the first poll
    // proves it.
    Bytes big(256, 0x5A);
    Ch341aStream l;
    AddressPhase two;
    two.wordBytes = 2;
    const Ch341aBus::WritePlace longPlace = Ch341aBus::appendWrite(l, {two, big.data(), 256}, 0, 1);
    provenPackets(l.bytes());
    EXPECT_EQ(longPlace.stopProven, longPlace.polls);
}

TEST(Ch341aStream, SpeedsAndDelays)
{
    EXPECT_EQ(Ch341aStream().setSpeed(I2cSpeed::k20kHz).bytes(), (Bytes{0xAA, 0x60, 0x00}));
    EXPECT_EQ(Ch341aStream().setSpeed(I2cSpeed::k750kHz).bytes(), (Bytes{0xAA, 0x63, 0x00}));
    EXPECT_EQ(Ch341aStream().delayMs(20).bytes(), (Bytes{0xAA, 0x5F, 0x55, 0x00}));
    EXPECT_EQ(Ch341aStream().delayMs(20).busNs(100), 20'000'000u);
    for (const int khz : {20, 100, 400, 750})
        EXPECT_EQ(i2cSpeedKhz(*i2cSpeedFromKhz(khz)), khz);
    for (const int khz : {0, 50, 101, 1000, -100})
        EXPECT_FALSE(i2cSpeedFromKhz(khz).has_value()) << khz;
}

TEST(Ch341aBus, TransactionsReadTheirAcknowledgesFromTheReply)
{
    RecordingLink link;
    Ch341aBus bus(link, I2cSpeed::k400kHz);
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0], (Bytes{0xAA, 0x62, 0x00})) << "the clock is set on opening";
    EXPECT_TRUE(link.inLengths.empty()) << "setting the clock has no reply";

    // Two runs in one exchange, one IN each; the second went unanswered.
    std::uint8_t a[2] = {};
    std::uint8_t b[1] = {};
    link.replies = {{0x00, 0x3C, 0x3D, 0x80, 0xFF}};
    const auto outcome = bus.read({runAt(0xA2, 0x07, a, 2), runAt(0xA2, 0x20, b, 1)});
    EXPECT_EQ(link.inLengths.back(), (std::vector<std::size_t>{3, 2}));
    EXPECT_EQ(outcome.result.status, BusStatus::NoAcknowledge);
    EXPECT_EQ(outcome.run, 1u);
    EXPECT_EQ(a[0], 0x3C);
    EXPECT_EQ(a[1], 0x3D);
    EXPECT_EQ(b[0], 0xFF);

    // Address taken, data refused; nobody at the address.
    const std::uint8_t data[2] = {1, 2};
    link.replies = {{0x00, 0x80, 0x00, 0x00}};
    EXPECT_EQ(bus.write(AddressPhase{}, data, 2, 2'000'000).status, BusStatus::DataRefused);
    link.replies = {{0x80, 0x80, 0x80, 0x80}};
    EXPECT_EQ(bus.write(AddressPhase{}, data, 2, 2'000'000).status, BusStatus::NoAcknowledge);

    link.replies = {{0x00}};  // too few
    EXPECT_THROW(bus.read({runAt(0xA0, 0, b, 1)}), PortError);
}

TEST(Ch341aOpen, MessagesSayWhatToDo)
{
    EXPECT_NE(ch341aOpenErrorText(UsbOpenFailure::NoDevice).find("1a86:5512"), std::string::npos);
    const std::string permission = ch341aOpenErrorText(UsbOpenFailure::NoPermission, {}, false);
    const std::string asRoot = ch341aOpenErrorText(UsbOpenFailure::NoPermission, {}, true);
    EXPECT_EQ(asRoot.find("sudo"), std::string::npos) << asRoot;
    EXPECT_NE(asRoot.find("even as root"), std::string::npos) << asRoot;
    EXPECT_NE(permission.find("plugdev"), std::string::npos);
    EXPECT_NE(permission.find("udev"), std::string::npos);
    EXPECT_NE(ch341aOpenErrorText(UsbOpenFailure::Other, "Pipe error").find(": Pipe error"),
              std::string::npos);
}

ChipOptions chipOf(const char* caption, ChipFault fault = ChipFault::None,
                   std::optional<std::uint64_t> cycleNs = std::nullopt)
{
    return ChipOptions{findChip(caption)->deviceType, "", cycleNs, fault};
}

// The device's USB answers, which a stream builder must not be allowed to
// drift from: a reply packet per command packet, a short one ending an IN,
// no more than four unread replies without an IN waiting, one OUT|0 a packet.
TEST(SimulatedCh341a, AnswersPacketByPacketAsTheDevice)
{
    SimulatedCh341a sim(chipOf("24C02"));
    EXPECT_THROW(sim.bulkOut({0x74, 0x75, 0x00}), PortError) << "no stream command";
    EXPECT_THROW(sim.bulkOut({0xAA, 0x74, 0x75}), PortError) << "no END";
    EXPECT_THROW(sim.bulkOut({0xAA, 0x74, 0x30, 0x00}), PortError) << "unknown command";
    EXPECT_THROW(sim.bulkOut({0xAA, 0x74, 0x83, 0xA0, 0x00}), PortError) << "OUT past the end";
    EXPECT_THROW(sim.bulkOut({0xAA, 0xE1, 0x00}), PortError) << "IN 33";
    EXPECT_THROW(sim.bulkIn(32), PortError) << "nothing to answer";
    EXPECT_THROW(sim.bulkOut({0xAA, 0x74, 0x80, 0xA0, 0x80, 0x00, 0x75, 0x00}), PortError)
        << "two OUT|0 in one packet";

    // Two packets, a status each: two short packets, two INs.
    Bytes twoPolls{0xAA, 0x74, 0x80, 0xA0, 0x75, 0x00};
    twoPolls.resize(32);
    twoPolls.insert(twoPolls.end(), {0xAA, 0x74, 0x80, 0xA0, 0x75, 0x00});
    sim.bulkOut(twoPolls);
    EXPECT_EQ(sim.bulkIn(64), Bytes{0x00});
    EXPECT_EQ(sim.bulkIn(64), Bytes{0x00});

    // Full packets run on in one IN; the short one ends it.
    Ch341aStream block;
    std::uint8_t out[64];
    Ch341aBus::appendRead(block, runAt(0xA0, 0, out, 64));
    sim.bulkOut(block.bytes());
    EXPECT_EQ(sim.bulkIn(1024).size(), 65u);

    // Five replies with no IN waiting: the OUT times out; queued INs take them.
    Ch341aStream five;
    for (int p = 0; p < 5; ++p)
        Ch341aBus::appendPoll(five, 0xA0, false);
    EXPECT_THROW(sim.bulkOut(five.bytes()), PortError);
    SimulatedCh341a fresh(chipOf("24C02"));
    EXPECT_EQ(fresh.exchange(five.bytes(), five.inLengths()), Bytes(5, 0x00));
    EXPECT_EQ(fresh.transfers(), 6u) << "the OUT and an IN per short reply";
}

// A stop in the middle of a write, whatever transfer the programmer is
// pulled out at, reports exactly the bytes the chip took.
TEST(SimulatedCh341a, AnUnpluggedProgrammerReportsExactlyWhatTheChipTook)
{
    for (const char* caption : {"24C16", "24C64", "SDA3546"}) {
        const ChipType& type = *findChip(caption);
        for (std::uint64_t after = 1; after < 90; after += 7) {
            SCOPED_TRACE(std::string(caption) + " after " + std::to_string(after));
            SimulatedCh341a sim(chipOf(caption, ChipFault::None, 3'000'000));
            sim.unplugAfter(after);
            ControllerBus bus([&sim] { return std::make_unique<Ch341aBus>(sim, I2cSpeed::k100kHz); },
                              adapterType(AdapterKind::Ch341a).limits);
            test::QuietDisplay display;
            ChipJob job{bus, type, display, Transfers::Fast};
            std::string report;
            try {
                BusClaim claim(bus);
                writeRuns(job, planWrite(job, WantedImage::constant(static_cast<std::size_t>(type.size), 0x00), nullptr));
            } catch (const std::exception& e) {
                report = e.what();
            }
            ASSERT_FALSE(report.empty());
            long changed = 0;
            for (int a = 0; a < type.size; ++a)
                changed += sim.chip().cell(a) == 0x00;
            if (changed == 0) {
                EXPECT_NE(report.find("Nothing was written."), std::string::npos) << report;
            } else {
                EXPECT_NE(report.find("after writing " + std::to_string(changed) + " of"),
                          std::string::npos)
                    << report;
            }
        }
    }
}

TEST(SimulatedCh341a, EndlessWriteCycleIsPolledForItsTimeOnly)
{
    SimulatedCh341a stuck(chipOf("SDA3526", ChipFault::EndlessWriteCycle));
    Ch341aBus bus(stuck, I2cSpeed::k100kHz);
    const std::uint8_t data = 6;
    const std::uint64_t before = stuck.nowNs();
    EXPECT_EQ(bus.write(AddressPhase{}, &data, 1, 50'000'000).status, BusStatus::Busy);
    EXPECT_GE(stuck.nowNs() - before, 50'000'000u);
    EXPECT_LE(stuck.nowNs() - before, 70'000'000u);
    std::uint8_t value = 0;
    EXPECT_FALSE(bus.read({runAt(0xA0, 5, &value, 1)}).result.ok());
}

// Byte writes go many to an exchange once a cycle is timed, each with two
// polls where the last cycle ended.
TEST(SimulatedCh341a, WritesGoManyToAnExchangeOnceACycleIsTimed)
{
    SimulatedCh341a sim(chipOf("SDA3586", ChipFault::None, 5'000'000));
    Ch341aBus bus(sim, I2cSpeed::k100kHz);
    std::vector<std::uint8_t> data(8);
    std::vector<I2cController::ControllerWrite> writes;
    for (std::uint8_t i = 0; i < 8; ++i) {
        data[i] = static_cast<std::uint8_t>(0x60 + i);
        writes.push_back({phaseOf(addressSDA(3), static_cast<std::uint8_t>(0x10 + i)), &data[i], 1});
    }
    const std::uint64_t transfers = sim.transfers();
    EXPECT_TRUE(bus.writeBatch(writes, 200'000'000).result.ok());
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(sim.chip().cell(0x310 + i), 0x60 + i);
    EXPECT_EQ(sim.chip().writeCycles(), 8u);
    // The first alone with 15 polls; then the other seven in one exchange:
    // an IN for the address, the data and each of two polls.
    EXPECT_EQ(sim.transfers() - transfers, (1u + 2u + 15u) + (1u + 7u * 4u));
}

// A cycle that outlasts its polls: the write behind it went out while the
// chip was busy, went unanswered, and is sent again once the chip answers;
// the one after it, which the chip took, is not.
TEST(Ch341aBus, AWriteSentDuringALongCycleIsSentAgain)
{
    RecordingLink link;
    Ch341aBus bus(link, I2cSpeed::k100kHz);
    const std::uint8_t data[3] = {0x11, 0x22, 0x33};
    std::vector<I2cController::ControllerWrite> one{{phaseOf(0xA0, 0x00), data, 1}};
    Bytes timing{0x00, 0x00, 0x80, 0x80, 0x00};  // the cycle ends at the third poll
    timing.resize(2 + 15, 0x00);
    link.replies = {timing};
    ASSERT_TRUE(bus.writeBatch(one, 100'000'000).result.ok());

    std::vector<I2cController::ControllerWrite> three{
        {phaseOf(0xA0, 0x01), data, 1}, {phaseOf(0xA0, 0x02), data + 1, 1}, {phaseOf(0xA0, 0x03), data + 2, 1}};
    link.replies = {{0x00, 0x00, 0x80, 0x80,   // taken, its two polls busy
                     0x80, 0x80, 0x80, 0x00,   // sent while busy
                     0x00, 0x00, 0x00, 0x00},  // taken, done
                    Bytes(15, 0x00),           // the first's cycle ends
                    {0x00, 0x00, 0x00, 0x00}}; // the second again
    const std::size_t before = link.sent.size();
    EXPECT_TRUE(bus.writeBatch(three, 100'000'000).result.ok());
    ASSERT_EQ(link.sent.size(), before + 3);
    const Bytes& again = link.sent.back();
    EXPECT_EQ(Bytes(again.begin(), again.begin() + 7), (Bytes{0xAA, 0x74, 0x80, 0xA0, 0x81, 0x02, 0x00}));
    EXPECT_EQ(again[34], 0x22);
    EXPECT_EQ(link.inLengths.back().size(), 4u) << "the second alone";
}

TEST(SimulatedCh341a, TheSpeedCommandSetsTheBusClock)
{
    std::uint64_t readNs[2] = {};
    int i = 0;
    for (const I2cSpeed speed : {I2cSpeed::k20kHz, I2cSpeed::k750kHz}) {
        SimulatedCh341a sim(chipOf("24C02"));
        Ch341aBus bus(sim, speed);
        EXPECT_EQ(sim.khz(), i2cSpeedKhz(speed));
        const std::uint64_t before = sim.nowNs();
        std::uint8_t value = 0;
        bus.read({runAt(0xA0, 0, &value, 1)});
        readNs[i++] = sim.nowNs() - before - 2 * SimulatedCh341a::kUsbTransferNs;
    }
    // 36 clocks of bytes and three of START, START and STOP: 39 periods of
    // 50 us at 20 kHz, against 1.3 us at 750 kHz.
    EXPECT_GT(readNs[0], 30 * readNs[1]);
    EXPECT_GE(readNs[0], 39u * 50'000u);
}

// Measures each exchange's time on the simulated bus.
class TimedLink final : public UsbBulkLink {
public:
    explicit TimedLink(SimulatedCh341a& sim) : m_sim(sim) {}
    void bulkOut(const Bytes& packets) override { m_sim.bulkOut(packets); }
    Bytes bulkIn(std::size_t n) override { return m_sim.bulkIn(n); }
    Bytes exchange(const Bytes& packets, const std::vector<std::size_t>& ins) override
    {
        const std::uint64_t before = m_sim.nowNs();
        Bytes reply = m_sim.exchange(packets, ins);
        longestNs = std::max(longestNs, m_sim.nowNs() - before - 2 * SimulatedCh341a::kUsbTransferNs);
        mostIns = std::max(mostIns, ins.size());
        return reply;
    }
    std::uint64_t longestNs = 0;
    std::size_t mostIns = 0;

private:
    SimulatedCh341a& m_sim;
};

// At the slowest clock no exchange nears the USB timeout, on the largest
// chips' reads and page writes, and every byte lands.
TEST(SimulatedCh341a, NoExchangeCarriesMoreThanHalfTheTimeoutInBusTime)
{
    const ChipType& type = *findChip("24M02");
    SimulatedCh341a sim(chipOf("24M02", ChipFault::None, 5'000'000));
    TimedLink link(sim);
    ControllerBus bus([&link] { return std::make_unique<Ch341aBus>(link, I2cSpeed::k20kHz); },
                      adapterType(AdapterKind::Ch341a).limits);
    test::QuietDisplay display;
    ChipJob job{bus, type, display, Transfers::Fast};
    BusClaim claim(bus);
    std::mt19937 random(7);
    WantedImage wanted = WantedImage::constant(0x4000, 0);
    for (std::uint8_t& b : wanted.bytes)
        b = static_cast<std::uint8_t>(random());
    writeRuns(job, planWrite(job, wanted, nullptr));
    std::vector<std::uint8_t> read;
    readRange(job, 0, 0x4000, read);
    EXPECT_EQ(read, wanted.bytes);
    EXPECT_LE(link.longestNs, Ch341aBus::kMaxExchangeBusNs);
    EXPECT_LE(link.mostIns, Ch341aBus::kMaxInsPerExchange);
}

// Every bulk transfer of an SPI run keeps to the stream's rules: packets of
// 32 bytes but the last, an SPI packet shorter than 31 bytes only last, one
// IN per SPI packet and as long as its data, UIO packets closed by END, no
// more bus time than half the USB timeout.
void spiRulesKept(const Ch341aSpiStream::Transfer& transfer)
{
    Bytes shifted;
    std::size_t in = 0;
    const Bytes& bytes = transfer.packets;
    for (std::size_t at = 0; at < bytes.size(); at += kCh341aPacketSize) {
        const std::size_t end = std::min(bytes.size(), at + kCh341aPacketSize);
        const bool last = end == bytes.size();
        if (bytes[at] == ch341a::kSpiStream) {
            const std::size_t n = end - at - 1;
            EXPECT_TRUE(n == ch341a::kSpiPacketBytes || last) << "a short SPI packet mid-transfer";
            EXPECT_LT(in, transfer.inLengths.size());
            if (in < transfer.inLengths.size()) {
                EXPECT_EQ(transfer.inLengths[in], n) << "one IN per SPI packet";
            }
            ++in;
            for (std::size_t i = at + 1; i < end; ++i)
                shifted.push_back(reversedBits(bytes[i]));
        } else {
            EXPECT_EQ(bytes[at], ch341a::kUioStream) << "packet at " << at;
            EXPECT_NE(std::find(bytes.begin() + static_cast<std::ptrdiff_t>(at) + 1,
                                bytes.begin() + static_cast<std::ptrdiff_t>(end), ch341a::kUioEnd),
                      bytes.begin() + static_cast<std::ptrdiff_t>(end))
                << "END inside the UIO packet at " << at;
        }
    }
    EXPECT_EQ(in, transfer.inLengths.size());
    EXPECT_LE(transfer.spiBytes * Ch341aSpi::kByteNs, Ch341aBus::kMaxExchangeBusNs);
    EXPECT_EQ(transfer.spiBytes, shifted.size());
}

TEST(Ch341aSpiStream, BytesReversedChipSelectOnD0AndShortPacketsLast)
{
    EXPECT_EQ(reversedBits(0x01), 0x80);
    EXPECT_EQ(reversedBits(0x03), 0xC0);
    EXPECT_EQ(reversedBits(0x12), 0x48);
    EXPECT_EQ(reversedBits(0xA5), 0xA5);

    // READ of two bytes at 0x000100: chip select released a microsecond
    // and taken, the command and two bytes of 0xFF in one short SPI packet
    // (which ends the OUT); a command that reads stays selected.
    const Ch341aSpiStream one({test::readCommand(0x100, 2)});
    ASSERT_EQ(one.transfers().size(), 1u);
    Bytes first{0xAB, 0xB7, 0xC1, 0xB6, 0x20};
    first.resize(32, 0x00);
    const Bytes spi{0xA8, 0xC0, 0x00, 0x80, 0x00, 0xFF, 0xFF};
    first.insert(first.end(), spi.begin(), spi.end());
    EXPECT_EQ(one.transfers()[0].packets, first);
    EXPECT_EQ(one.transfers()[0].inLengths, std::vector<std::size_t>{6});
    EXPECT_EQ(one.readOffsets(), std::vector<std::size_t>{4});

    // Write enable clocked on the pins (06: D5 low five times, high twice,
    // low), and a program of five bytes too, released at its end: one OUT
    // without a reply.
    const Ch341aSpiStream write({SpiTransaction{{0x06}, 0},
                                 SpiTransaction{{0x02, 0x00, 0x00, 0x10, 0xAA}, 0}});
    ASSERT_EQ(write.transfers().size(), 1u);
    Bytes wren{0xAB, 0xB7, 0xC1, 0xB6};
    for (const int bit : {0, 0, 0, 0, 0, 1, 1, 0})
        wren.insert(wren.end(), {static_cast<std::uint8_t>(bit ? 0xB6 : 0x96),
                                 static_cast<std::uint8_t>(bit ? 0xBE : 0x9E)});
    wren.insert(wren.end(), {0xB6, 0xB7, 0x20});
    wren.resize(32, 0x00);
    const Bytes& packets = write.transfers()[0].packets;
    EXPECT_EQ(Bytes(packets.begin(), packets.begin() + 32), wren);
    EXPECT_TRUE(write.transfers()[0].inLengths.empty());
    EXPECT_EQ(packets.size(), 4u * 32) << "3 + 80 + 2 commands of the program: three packets";
    Bytes setup{0xAA, 0x61, 0x00};
    setup.resize(32, 0x00);
    setup.insert(setup.end(), {0xAB, 0xB7, 0x7F, 0x20});
    EXPECT_EQ(Ch341aSpiStream::setupPackets(), setup)
        << "single-line SPI, pins set with chip select high";

    // Runs of any shape keep to the rules, and the chip sees exactly their
    // commands, each between its own select and release.
    auto chip = std::make_unique<test::SpiMemoryDouble>(0x10000);
    test::SpiMemoryDouble& seen = *chip;
    SimulatedCh341a sim(std::move(chip));
    std::vector<Bytes> expected;
    {
        Ch341aSpi spi(sim);
        std::mt19937 random(7);
        for (int round = 0; round < 30; ++round) {
            std::vector<SpiTransaction> run;
            const int count = 1 + static_cast<int>(random() % 5);
            for (int t = 0; t < count; ++t) {
                SpiTransaction transaction;
                transaction.out.resize(random() % 300);
                for (std::uint8_t& b : transaction.out)
                    b = static_cast<std::uint8_t>(random());
                transaction.inLength =
                    random() % 3 == 0 ? 0 : static_cast<std::uint32_t>(random() % 2000);
                if (random() % 4 == 0)
                    transaction = SpiTransaction{{static_cast<std::uint8_t>(random())}, 0};
                expected.push_back(transaction.out);
                expected.back().resize(transaction.out.size() + transaction.inLength, 0xFF);
                run.push_back(transaction);
            }
            const Ch341aSpiStream stream(run);
            for (const auto& transfer : stream.transfers())
                spiRulesKept(transfer);
            spi.run(run);
        }
    }
    EXPECT_EQ(seen.commands, expected);
}

class Ch341aSpiTest : public ::testing::Test {
protected:
    Ch341aSpiTest()
    {
        auto chip = std::make_unique<test::SpiMemoryDouble>(0x10000);
        m_chip = chip.get();
        m_sim = std::make_unique<SimulatedCh341a>(std::move(chip));
        m_spi = std::make_unique<Ch341aSpi>(*m_sim, [this] { return m_sim->nowNs(); });
    }
    test::SpiMemoryDouble* m_chip;
    std::unique_ptr<SimulatedCh341a> m_sim;
    std::unique_ptr<Ch341aSpi> m_spi;
};

TEST_F(Ch341aSpiTest, TheChipSeesEachCommandWholeAndReadsAreExact)
{
    // Write enable (clocked on the pins), a program of 40 bytes, and a read
    // of 3000 bytes spanning many SPI packets.
    Bytes program{0x02, 0x00, 0x12, 0x34};
    for (int i = 0; i < 40; ++i)
        program.push_back(static_cast<std::uint8_t>(0xC0 + i));
    std::uint64_t before = m_sim->transfers();
    const auto results =
        m_spi->run({SpiTransaction{{0x06}, 0}, SpiTransaction{program, 0},
                    test::readCommand(0x1200, 3000)});
    // One OUT for all: write enable and the program's last 13 bytes
    // clocked on the pins; an IN for each SPI packet (1 and 97).
    EXPECT_EQ(m_sim->transfers() - before, 1u + 1u + 97u);
    ASSERT_EQ(m_chip->commands.size(), 2u);
    EXPECT_EQ(m_chip->commands[0], Bytes{0x06});
    EXPECT_EQ(m_chip->commands[1], program);
    EXPECT_EQ(m_chip->writeCycles(), 1u);
    EXPECT_TRUE(m_chip->selected()) << "a run ending in a read leaves it to the next to release";
    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[0].empty());
    ASSERT_EQ(results[2].size(), 3000u);
    for (std::uint32_t i = 0; i < 3000; ++i)
        ASSERT_EQ(results[2][i], m_chip->cell(0x1200 + i)) << "byte " << i;
    EXPECT_EQ(results[2][0x34], 0xC0) << "the program landed where it was sent";

    before = m_sim->transfers();
    m_spi->run({test::readCommand(0, 3000)});
    EXPECT_EQ(m_sim->transfers() - before, 1u + 97u) << "one OUT and its INs";
    ASSERT_EQ(m_chip->commands.size(), 3u);
    EXPECT_EQ(m_chip->commands[2].size(), 3004u);
    m_spi.reset();
    EXPECT_FALSE(m_chip->selected()) << "released when the programmer is closed";
    EXPECT_EQ(m_chip->commands.size(), 4u);

    // The longest read a call may carry stays within half the USB timeout
    // of bus time per exchange.
    const Ch341aSpiStream longest({test::readCommand(0, Ch341aSpi::kMaxTransaction - 4)});
    for (const auto& transfer : longest.transfers())
        spiRulesKept(transfer);
}

// Passes everything to the simulated programmer, but cuts the next
// exchange's OUT short after `packets` packets, as a pulled cable or a
// timeout does.
class CuttingLink final : public UsbBulkLink {
public:
    explicit CuttingLink(SimulatedCh341a& sim) : m_sim(sim) {}
    void bulkOut(const Bytes& packets) override { m_sim.bulkOut(packets); }
    Bytes bulkIn(std::size_t n) override { return m_sim.bulkIn(n); }
    Bytes exchange(const Bytes& packets, const std::vector<std::size_t>& ins) override
    {
        if (cutAfter == 0)
            return m_sim.exchange(packets, ins);
        const std::size_t keep = std::min(packets.size(), cutAfter * kCh341aPacketSize);
        cutAfter = 0;
        std::vector<std::size_t> some;
        std::size_t spi = 0;
        for (std::size_t at = 0; at < keep; at += kCh341aPacketSize)
            spi += packets[at] == ch341a::kSpiStream ? 1 : 0;
        some.assign(ins.begin(), ins.begin() + static_cast<std::ptrdiff_t>(spi));
        m_sim.exchange(Bytes(packets.begin(), packets.begin() + static_cast<std::ptrdiff_t>(keep)),
                       some);
        throw UsbExchangeError("The CH341A programmer did not answer (USB timeout)", {});
    }
    std::size_t cutAfter = 0;

private:
    SimulatedCh341a& m_sim;
};

TEST_F(Ch341aSpiTest, ARunAfterOneThatFailedPartWayStartsAFreshCommand)
{
    CuttingLink link(*m_sim);
    {
        Ch341aSpi spi(link);
        link.cutAfter = 3;  // chip select taken, two packets of a long read
        EXPECT_THROW(spi.run({test::readCommand(0, 500)}), PortError);
        EXPECT_TRUE(m_chip->selected()) << "the cut left the chip selected";
        spi.run({SpiTransaction{{0x05}, 1}});
    }
    ASSERT_EQ(m_chip->commands.size(), 2u);
    EXPECT_EQ(m_chip->commands[0].size(), 62u) << "the read as far as it went";
    EXPECT_EQ(m_chip->commands[1], (Bytes{0x05, 0xFF})) << "a command of its own";
    EXPECT_FALSE(m_chip->selected());
}

TEST_F(Ch341aSpiTest, TheSimulatorHoldsToTheDevicesRules)
{
    // Five SPI packets sent without an IN waiting: the fifth reply finds
    // no room and the OUT times out.
    Bytes packets;
    for (int p = 0; p < 5; ++p) {
        packets.push_back(ch341a::kSpiStream);
        packets.resize(packets.size() + 31, 0xFF);
    }
    EXPECT_THROW(m_sim->bulkOut(packets), PortError);

    // A UIO packet without END, an unknown UIO command.
    SimulatedCh341a other(std::make_unique<test::SpiMemoryDouble>(16));
    EXPECT_THROW(other.bulkOut({0xAB, 0xB6}), PortError);
    EXPECT_THROW(other.bulkOut({0xAB, 0x10, 0x20}), PortError);
    // A byte shifted with chip select high reaches no chip: the pull-up.
    EXPECT_EQ(other.exchange({0xA8, 0xC0}, {1}), Bytes{0xFF});
    // Two-line SPI is not what the chips here speak.
    other.bulkOut({0xAA, 0x65, 0x00});
    EXPECT_THROW(other.exchange({0xA8, 0xC0}, {1}), PortError);
    // I2C commands have no chip to reach.
    EXPECT_THROW(other.bulkOut({0xAA, 0x74, 0x00}), PortError);
}

}  // namespace
}  // namespace kavoda
