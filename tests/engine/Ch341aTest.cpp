// SPDX-License-Identifier: MIT
// The CH341A: its command streams byte for byte, the transactions over a
// recording USB link, and the simulated programmer driving the bit-level chip.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <stdexcept>

#include "Adapter.h"
#include "Ch341a.h"
#include "ControllerBus.h"
#include "DeviceOperations.h"
#include "QuietDisplay.h"
#include "PortBackend.h"
#include "SimulatedCh341a.h"
#include "ee24c.h"

namespace kavoda {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Records what goes out and answers from a queue.
class RecordingLink final : public UsbBulkLink {
public:
    void bulkOut(const Bytes& packet) override { sent.push_back(packet); }
    Bytes bulkIn(std::size_t maxLength) override
    {
        requested.push_back(maxLength);
        if (replies.empty())
            throw PortError("no reply queued");
        Bytes reply = replies.front();
        replies.pop_front();
        return reply;
    }
    std::vector<Bytes> sent;
    std::vector<std::size_t> requested;
    std::deque<Bytes> replies;
};

ControllerRun runAt(std::uint8_t device, std::uint8_t word, std::uint8_t* out, std::uint32_t n)
{
    AddressPhase phase;
    phase.device = device;
    phase.word[0] = word;
    return ControllerRun{phase, out, n};
}

TEST(Ch341aStream, OneByteReadOf24CIsOnePacketWithTheExpectedBytes)
{
    // 24C16, block 3, address 0x10: START A6 10, repeated START, A7, one byte
    // without acknowledge, STOP. Each sent byte reports its acknowledge.
    std::uint8_t value = 0;
    const Ch341aStream s = Ch341aBus::readStream({runAt(address24C(3), 0x10, &value, 1)});
    EXPECT_EQ(s.packet(), (Bytes{0xAA, 0x74, 0x80, 0xA6, 0x80, 0x10, 0x74, 0x80, 0xA7, 0xC0,
                                 0x75, 0x00}));
    EXPECT_EQ(s.replyLength(), 4u);

    const Ch341aStream::Reply reply = s.decode({0x00, 0x00, 0x80, 0x5A});
    EXPECT_EQ(reply.acknowledged, (std::vector<bool>{true, true, false}));
    EXPECT_EQ(reply.data, Bytes{0x5A});
    EXPECT_THROW(s.decode({0x00, 0x00, 0x00}), PortError);
}

TEST(Ch341aStream, LongStreamsFillWholePacketsAndReadInChunksOf32)
{
    // A block read: the address phase, then IN 32 (0xE0) chunks, the last
    // byte alone without acknowledge; no packet's reply beyond 32 bytes.
    std::vector<std::uint8_t> block(256);
    const Ch341aStream s = Ch341aBus::readStream({runAt(0xA0, 0x00, block.data(), 256)});
    const Bytes bytes = s.packet();
    EXPECT_EQ(s.replyLength(), 3u + 256u);
    // Every packet but the last fills the endpoint, so one transfer carries all.
    ASSERT_GT(s.packets(), 8u);
    ASSERT_GT(bytes.size(), (s.packets() - 1) * kCh341aPacketSize);
    ASSERT_LE(bytes.size(), s.packets() * kCh341aPacketSize);
    for (std::size_t p = 0; p + 1 < s.packets(); ++p) {
        EXPECT_EQ(bytes[p * kCh341aPacketSize], ch341a::kStream) << p;
        std::size_t reply = 0;
        for (std::size_t i = p * 32 + 1; i < p * 32 + 32 && bytes[i] != ch341a::kEnd; ++i) {
            if ((bytes[i] & 0xC0) == 0xC0)
                reply += (bytes[i] & 0x3F) == 0 ? 1 : bytes[i] & 0x3F;
            else if (bytes[i] == 0x80)
                ++reply, ++i;
        }
        EXPECT_LE(reply, 32u) << p;
    }
    EXPECT_NE(std::find(bytes.begin(), bytes.end(), 0xE0), bytes.end()) << "IN 32";
    EXPECT_EQ(bytes[bytes.size() - 3], 0xC0) << "the last byte without acknowledge";
    EXPECT_EQ(bytes[bytes.size() - 2], ch341a::kStop);

    // A page write and its polls, each poll after a 1 ms delay.
    const std::uint8_t page[16] = {};
    AddressPhase phase;
    phase.device = 0xA8;
    phase.word[0] = 0x40;
    const Ch341aStream w = Ch341aBus::writeStream({{phase, page, 16}}, 3);
    EXPECT_EQ(w.replyLength(), 2u + 16u + 3u);
    const Bytes packets = w.packet();
    const Bytes tail(packets.end() - 6, packets.end());
    EXPECT_EQ(tail, (Bytes{0x51, 0x74, 0x80, 0xA8, 0x75, 0x00}));
    EXPECT_GE(w.packets(), 2u);
}

TEST(Ch341aStream, SpeedsAndReadsWithAcknowledge)
{
    EXPECT_EQ(Ch341aStream().setSpeed(I2cSpeed::k20kHz).packet(), (Bytes{0xAA, 0x60, 0x00}));
    EXPECT_EQ(Ch341aStream().setSpeed(I2cSpeed::k750kHz).packet(), (Bytes{0xAA, 0x63, 0x00}));
    EXPECT_EQ(Ch341aStream().receiveByte(true).receiveByte(false).packet(),
              (Bytes{0xAA, 0xC1, 0xC0, 0x00}));
    for (const int khz : {20, 100, 400, 750})
        EXPECT_EQ(i2cSpeedKhz(*i2cSpeedFromKhz(khz)), khz);
    for (const int khz : {0, 50, 101, 1000, -100})
        EXPECT_FALSE(i2cSpeedFromKhz(khz).has_value()) << khz;
}

TEST(Ch341aBus, ReadsAndWritesAreOneRoundTripAndReportTheirAcknowledges)
{
    RecordingLink link;
    Ch341aBus bus(link, I2cSpeed::k400kHz);
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0], (Bytes{0xAA, 0x62, 0x00})) << "the clock is set on opening";
    EXPECT_TRUE(link.requested.empty()) << "setting the clock has no reply";

    // Two runs in one transfer; the second's word address went unanswered.
    std::uint8_t a[2] = {};
    std::uint8_t b[1] = {};
    link.replies = {{0x00, 0x00, 0x00, 0x3C, 0x3D, 0x00, 0x80, 0x00, 0xFF}};
    const auto outcome = bus.read({runAt(0xA2, 0x07, a, 2), runAt(0xA2, 0x20, b, 1)});
    EXPECT_EQ(outcome.result.status, BusStatus::NoAcknowledge);
    EXPECT_EQ(outcome.run, 1u);
    EXPECT_EQ(a[0], 0x3C);
    EXPECT_EQ(a[1], 0x3D);
    EXPECT_EQ(link.sent.size(), 2u);

    // A reply in parts (a short USB packet ends a transfer) is read on.
    link.replies = {{0x00, 0x00}, {0x00, 0x11}};
    EXPECT_TRUE(bus.read({runAt(0xA0, 0, b, 1)}).result.ok());
    EXPECT_EQ(b[0], 0x11);

    // Address and word taken, the second data byte refused; the poll that
    // follows in the same transfer answers.
    AddressPhase phase;
    const std::uint8_t data[2] = {1, 2};
    link.replies = {{0x00, 0x00, 0x00, 0x80, 0x80, 0x00}};
    const std::size_t sent = link.sent.size();
    const BusResult refused = bus.write(phase, data, 2, 2'000'000);
    EXPECT_EQ(refused.status, BusStatus::DataRefused);
    EXPECT_EQ(refused.at, 1u);
    EXPECT_EQ(link.sent.size(), sent + 1);

    // Nobody takes the address.
    link.replies = {{0x80, 0x00, 0x80, 0x80, 0x80, 0x80}};
    EXPECT_EQ(bus.write(phase, data, 2, 2'000'000).status, BusStatus::NoAcknowledge);

    link.replies = {{0x00}};  // too few, then nothing
    EXPECT_THROW(bus.read({runAt(0xA0, 0, b, 1)}), PortError);
}

TEST(Ch341aOpen, MessagesSayWhatToDo)
{
    EXPECT_NE(ch341aOpenErrorText(UsbOpenFailure::NoDevice).find("1a86:5512"), std::string::npos);
    const std::string permission = ch341aOpenErrorText(UsbOpenFailure::NoPermission);
    EXPECT_NE(permission.find("plugdev"), std::string::npos);
    EXPECT_NE(permission.find("udev"), std::string::npos);
    EXPECT_NE(ch341aOpenErrorText(UsbOpenFailure::Other, "Pipe error").find(": Pipe error"),
              std::string::npos);
}

class SimulatedCh341aTest : public ::testing::Test {
protected:
    static ChipOptions chip(std::uint8_t type, ChipFault fault = ChipFault::None)
    {
        return ChipOptions{type, "", std::nullopt, fault};
    }
};

TEST_F(SimulatedCh341aTest, EndlessWriteCycleIsPolledForItsTimeOnly)
{
    SimulatedCh341a stuck(chip(6, ChipFault::EndlessWriteCycle));
    Ch341aBus bus(stuck, I2cSpeed::k100kHz);
    AddressPhase phase;
    const std::uint8_t data = 6;
    const std::uint64_t before = stuck.nowNs();
    const std::uint64_t transfers = stuck.transfers();
    EXPECT_EQ(bus.write(phase, &data, 1, 50'000'000).status, BusStatus::Busy);
    EXPECT_GE(stuck.nowNs() - before, 50'000'000u);
    EXPECT_LE(stuck.transfers() - transfers, 2u * 4u) << "polls batched by the stream's delay";
    std::uint8_t value = 0;
    EXPECT_FALSE(bus.read({runAt(0xA0, 5, &value, 1)}).result.ok());
}

// The programmer unplugged after a number of transfers.
class FailingLink final : public UsbBulkLink {
public:
    FailingLink(UsbBulkLink& inner, int transfers) : m_inner(inner), m_left(transfers) {}
    void bulkOut(const Bytes& packet) override
    {
        step();
        m_inner.bulkOut(packet);
    }
    Bytes bulkIn(std::size_t maxLength) override
    {
        step();
        return m_inner.bulkIn(maxLength);
    }

private:
    void step()
    {
        if (m_left-- <= 0)
            throw PortError("Cannot use the CH341A programmer: No such device");
    }
    UsbBulkLink& m_inner;
    int m_left;
};

TEST_F(SimulatedCh341aTest, AnUnpluggedProgrammerSaysHowFarTheWriteGot)
{
    SimulatedCh341a sim(chip(4));
    // The clock setting, the first page alone (its cycle is timed), then the
    // other seven of the first batch of eight: two transfers each.
    FailingLink link(sim, 1 + 2 * 2);
    ControllerBus bus([&link] { return std::make_unique<Ch341aBus>(link, I2cSpeed::k100kHz); },
                      adapterType(AdapterKind::Ch341a).limits);
    test::QuietDisplay display;
    ChipJob job{bus, *findChip("24C16"), display, Transfers::Fast};
    BusClaim claim(bus);
    try {
        writeRuns(job, planWrite(job, WantedImage::constant(2048, 0x00), nullptr));
        FAIL() << "no stop";
    } catch (const ChipStop& stop) {
        EXPECT_STREQ(stop.what(), "Cannot use the CH341A programmer: No such device. Stopped at "
                                  "0080 after writing 128 of 2048 bytes; the chip holds part of "
                                  "the image.");
    }
    EXPECT_EQ(sim.chip().cell(0x7F), 0x00);
    EXPECT_EQ(sim.chip().cell(0x80), 0xFF);
}

// Byte writes go many to a transfer, each with its polls; a write cycle
// longer than the polls makes the writes behind it go out too early,
// unanswered, and they are sent again.
TEST_F(SimulatedCh341aTest, ByteWritesManyToATransferAndAgainWhenSentTooEarly)
{
    for (const std::uint64_t cycleMs : {std::uint64_t{5}, std::uint64_t{30}}) {
        SCOPED_TRACE(cycleMs);
        SimulatedCh341a sim(ChipOptions{8, "", cycleMs * 1'000'000, ChipFault::None});
        Ch341aBus bus(sim, I2cSpeed::k100kHz);
        std::vector<std::uint8_t> data(8);
        std::vector<I2cController::ControllerWrite> writes;
        for (std::uint8_t i = 0; i < 8; ++i) {
            data[i] = static_cast<std::uint8_t>(0x60 + i);
            writes.push_back({runAt(addressSDA(3), 0x10 + i, nullptr, 0).phase, &data[i], 1});
        }
        const std::uint64_t transfers = sim.transfers();
        const auto outcome = bus.writeBatch(writes, 200'000'000);
        EXPECT_TRUE(outcome.result.ok());
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(sim.chip().cell(0x310 + i), 0x60 + i);
        EXPECT_EQ(sim.chip().writeCycles(), 8u) << "a write sent too early starts no cycle";
        // The first write alone, until its cycle is timed; the rest in one.
        if (cycleMs == 5)
            EXPECT_EQ(sim.transfers() - transfers, 4u);
    }
}

TEST_F(SimulatedCh341aTest, TheSpeedCommandSetsTheBusClock)
{
    std::uint64_t readNs[2] = {};
    int i = 0;
    for (const I2cSpeed speed : {I2cSpeed::k20kHz, I2cSpeed::k750kHz}) {
        SimulatedCh341a sim(chip(1));
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

TEST_F(SimulatedCh341aTest, StreamsTheChipWouldNotUnderstandAreRefused)
{
    SimulatedCh341a sim(chip(1));
    EXPECT_THROW(sim.bulkOut({0x74, 0x75, 0x00}), PortError) << "no stream command";
    EXPECT_THROW(sim.bulkOut({0xAA, 0x74, 0x75}), PortError) << "no END";
    EXPECT_THROW(sim.bulkOut({0xAA, 0x74, 0x30, 0x00}), PortError) << "unknown command";
    EXPECT_THROW(sim.bulkOut({0xAA, 0x74, 0x83, 0xA0, 0x00}), PortError) << "OUT past the end";
    EXPECT_THROW(sim.bulkOut({0xAA, 0xE1, 0x00}), PortError) << "IN 33";
    EXPECT_THROW(sim.bulkIn(32), PortError) << "nothing to answer";
    // OUT with a count sends without reporting; only OUT|0 answers.
    sim.bulkOut({0xAA, 0x74, 0x82, 0xA0, 0x00, 0x80, 0x00, 0x75, 0x00});
    EXPECT_EQ(sim.bulkIn(32), Bytes{0x00});
    // IN 32 is a whole chunk.
    sim.bulkOut({0xAA, 0x74, 0x80, 0xA1, 0xE0, 0xC0, 0x75, 0x00});
    EXPECT_EQ(sim.bulkIn(64).size(), 1u + 32u + 1u);
}

}  // namespace
}  // namespace kavoda
