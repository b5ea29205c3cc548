// SPDX-License-Identifier: MIT
// The CH341A: its command streams byte for byte, the transactions over a
// recording USB link, and the simulated programmer driving the bit-level chip.
#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>

#include "Ch341a.h"
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

TEST(Ch341aStream, OneRandomReadOf24CIsOnePacketWithTheExpectedBytes)
{
    // 24C16, block 3, address 0x10: START A6 10, repeated START, A7, one byte
    // without acknowledge, STOP. Each sent byte reports its acknowledge.
    const Ch341aStream s = Ch341aBus::randomReadStream(address24C(3), 0x10);
    EXPECT_EQ(s.packet(), (Bytes{0xAA, 0x74, 0x80, 0xA6, 0x80, 0x10, 0x74, 0x80, 0xA7, 0xC0,
                                 0x75, 0x00}));
    EXPECT_EQ(s.replyLength(), 4u);

    const Ch341aStream::Reply reply = s.decode({0x00, 0x00, 0x80, 0x5A});
    EXPECT_EQ(reply.acknowledged, (std::vector<bool>{true, true, false}));
    EXPECT_EQ(reply.data, Bytes{0x5A});
    EXPECT_THROW(s.decode({0x00, 0x00, 0x00}), PortError);
}

TEST(Ch341aStream, OneSdaWriteAndItsPollUseTheSdaAddressForm)
{
    // SDA block 2 is 0xA8 (block bits in 3..2), never the 24C form's 0xA4.
    const Ch341aStream write = Ch341aBus::byteWriteStream(addressSDA(2), 0x34, 0x5A);
    EXPECT_EQ(write.packet(),
              (Bytes{0xAA, 0x74, 0x80, 0xA8, 0x80, 0x34, 0x80, 0x5A, 0x75, 0x00}));
    EXPECT_EQ(write.replyLength(), 3u);
    EXPECT_EQ(Ch341aBus::pollStream(addressSDA(2)).packet(),
              (Bytes{0xAA, 0x74, 0x80, 0xA8, 0x75, 0x00}));
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

TEST(Ch341aStream, RefusesToOutgrowItsPacket)
{
    Ch341aStream s;
    // 1 stream byte + 15 two-byte sends = 31, and END needs the last byte.
    for (int i = 0; i < 15; ++i)
        s.sendByte(static_cast<std::uint8_t>(i));
    EXPECT_EQ(s.packet().size(), kCh341aPacketSize);
    EXPECT_THROW(s.stop(), std::length_error);
}

TEST(Ch341aBus, EachTransactionIsOneRoundTripAndReportsItsAcknowledges)
{
    RecordingLink link;
    Ch341aBus bus(link, I2cSpeed::k400kHz);
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0], (Bytes{0xAA, 0x62, 0x00})) << "the clock is set on opening";
    EXPECT_TRUE(link.requested.empty()) << "setting the clock has no reply";

    link.replies = {{0x00, 0x00, 0x00, 0x3C}, {0x00, 0x80, 0x00, 0xFF}};
    const I2cRead good = bus.randomRead(0xA2, 0x07);
    EXPECT_TRUE(good.answered);
    EXPECT_EQ(good.value, 0x3C);
    EXPECT_FALSE(bus.randomRead(0xA2, 0x07).answered) << "a missing word-address acknowledge";
    EXPECT_EQ(link.requested, (std::vector<std::size_t>{4, 4}));

    link.replies = {{0x00, 0x00, 0x80}, {0x80}, {0x00}};
    EXPECT_FALSE(bus.byteWrite(0xA0, 1, 2)) << "the data byte went unacknowledged";
    EXPECT_FALSE(bus.poll(0xA0));
    EXPECT_TRUE(bus.poll(0xA0));
    EXPECT_EQ(link.sent.size(), 6u);

    link.replies = {{0x00}};  // one byte too few
    EXPECT_THROW(bus.randomRead(0xA0, 0), PortError);
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

TEST_F(SimulatedCh341aTest, WritesAndReadsEveryBlockOfBothFamiliesAtTheRightCell)
{
    for (const std::uint8_t type : {std::uint8_t{4}, std::uint8_t{8}}) {
        SCOPED_TRACE(int(type));
        SimulatedCh341a sim(chip(type));
        Ch341aBus bus(sim, I2cSpeed::k100kHz);
        const bool sda = familyOf(type) == Family::SDA;
        const int blocks = findDeviceByType(type)->lastBlock + 1;
        for (int block = 0; block < blocks; ++block) {
            const std::uint8_t addressByte = sda ? addressSDA(static_cast<std::uint8_t>(block))
                                                 : address24C(static_cast<std::uint8_t>(block));
            const auto value = static_cast<std::uint8_t>(0x30 + block);
            EXPECT_TRUE(bus.byteWrite(addressByte, 0x81, value));
            int polls = 1;
            while (!bus.poll(addressByte))
                ++polls;
            EXPECT_GT(polls, 1) << "the chip is busy right after the STOP";
            EXPECT_EQ(sim.chip().cell(block * 256 + 0x81), value);
            const I2cRead read = bus.randomRead(addressByte, 0x81);
            EXPECT_TRUE(read.answered);
            EXPECT_EQ(read.value, value);
        }
    }
}

TEST_F(SimulatedCh341aTest, EmptySocketAndEndlessWriteCycle)
{
    SimulatedCh341a empty(chip(1, ChipFault::EmptySocket));
    Ch341aBus bus(empty, I2cSpeed::k100kHz);
    const I2cRead read = bus.randomRead(0xA0, 0);
    EXPECT_FALSE(read.answered);
    EXPECT_EQ(read.value, 0xFF) << "nothing drives the line: the pull-up reads 1";
    EXPECT_FALSE(bus.byteWrite(0xA0, 0, 0));
    EXPECT_FALSE(bus.poll(0xA0));

    SimulatedCh341a stuck(chip(6, ChipFault::EndlessWriteCycle));
    Ch341aBus stuckBus(stuck, I2cSpeed::k100kHz);
    EXPECT_TRUE(stuckBus.byteWrite(0xA0, 5, 6));
    for (int i = 0; i < 50; ++i)
        ASSERT_FALSE(stuckBus.poll(0xA0));
    EXPECT_FALSE(stuckBus.randomRead(0xA0, 5).answered);
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
        bus.randomRead(0xA0, 0);
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
    EXPECT_THROW(sim.bulkOut({0xAA, 0x74, 0xE5, 0x00}), PortError) << "unknown command";
    EXPECT_THROW(sim.bulkOut({0xAA, 0x74, 0x83, 0xA0, 0x00}), PortError) << "OUT past the end";
    EXPECT_THROW(sim.bulkIn(32), PortError) << "nothing to answer";
    // OUT with a count sends without reporting; only OUT|0 answers.
    sim.bulkOut({0xAA, 0x74, 0x82, 0xA0, 0x00, 0x80, 0x00, 0x75, 0x00});
    EXPECT_EQ(sim.bulkIn(32), Bytes{0x00});
}

}  // namespace
}  // namespace kavoda
