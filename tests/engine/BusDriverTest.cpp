// SPDX-License-Identifier: MIT
// The bus driver on the wire: register accesses recorded and decoded back
// into bus conditions, bytes and acknowledges.
#include <gtest/gtest.h>

#include "BusRecorder.h"
#include "DeviceCatalogue.h"
#include "ee24c.h"

namespace kavoda {
namespace {

using test::PortEvent;
using test::RecordingPort;

constexpr std::uint16_t kBase = 0x378;
constexpr std::uint8_t kAcknowledge = 0x00;  // status bit 4 low
constexpr std::uint8_t kSilent = 0xFF;

class BusDriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetDeviceState();
        BusDelay = 0;
    }
    void TearDown() override { resetDeviceState(); }

    // The register writes in order, without reads and waits.
    static std::vector<std::pair<std::uint16_t, std::uint8_t>> writesOf(const RecordingPort& port)
    {
        std::vector<std::pair<std::uint16_t, std::uint8_t>> out;
        for (const PortEvent& e : port.events)
            if (e.kind == PortEvent::Write)
                out.emplace_back(e.port, e.value);
        return out;
    }

    static void expectIdleAfter(const RecordingPort& port)
    {
        int lastData = -1;
        int lastControl = -1;
        for (const auto& [p, v] : writesOf(port)) {
            if (p == kBase)
                lastData = v;
            else if (p == kBase + 2)
                lastControl = v;
            else
                ADD_FAILURE() << "write to port " << p;
        }
        EXPECT_EQ(lastData, 0) << "clock left high";
        EXPECT_EQ(lastControl, 1) << "data line left driven";
    }

    static int starts(const std::string& transcript)
    {
        int n = 0;
        for (char c : transcript)
            n += c == 'S';
        return n;
    }
};

TEST_F(BusDriverTest, PortPropertyIsOneBackendCallPerAccess)
{
    RecordingPort port;
    port.answer = [](std::uint16_t, int index) { return index == 0 ? 0x12 : 0x34; };
    ScopedPortBackend scope(port);

    BytePort.Port[0x37A] = 0xFF;
    const std::uint8_t first = BytePort.Port[0x379];
    const std::uint8_t second = BytePort.Port[0x379];

    ASSERT_EQ(port.events.size(), 3u);
    EXPECT_EQ(port.events[0].kind, PortEvent::Write);
    EXPECT_EQ(port.events[0].port, 0x37A);
    EXPECT_EQ(port.events[0].value, 0xFF) << "no bit may be masked";
    EXPECT_EQ(first, 0x12);
    EXPECT_EQ(second, 0x34);
}

TEST_F(BusDriverTest, WiderPortsComposeByteAccesses)
{
    RecordingPort port;
    port.answer = [](std::uint16_t p, int) { return static_cast<std::uint8_t>(p & 0xFF); };
    ScopedPortBackend scope(port);

    EXPECT_EQ(static_cast<std::uint16_t>(WordPort.Port[0x378]), 0x7978);
    EXPECT_EQ(static_cast<std::uint32_t>(DwordPort.Port[0x378]), 0x7B7A7978u);
    DwordPort.Port[0x100] = 0x11223344u;
    EXPECT_EQ(port.writes(), 4);
    EXPECT_EQ(port.events.back().port, 0x103);
    EXPECT_EQ(port.events.back().value, 0x11);
}

TEST_F(BusDriverTest, AccessWithoutAnOpenPortThrows)
{
    ASSERT_EQ(installedPortBackend(), nullptr);
    EXPECT_THROW(BytePort.Port[0x378] = 1, PortError);
    EXPECT_THROW(static_cast<void>(static_cast<std::uint8_t>(BytePort.Port[0x379])), PortError);
}

TEST_F(BusDriverTest, WaitCounts)
{
    EXPECT_EQ(busWaitCount(10, 0), 5000);
    EXPECT_EQ(busWaitCount(10, 1), 2500);
    EXPECT_EQ(busWaitCount(0, 0), 0);
    EXPECT_EQ(busWaitCount(0, 1), 0);
    EXPECT_EQ(busWaitCount(-3, 0), -1500);
    EXPECT_EQ(busWaitCount(1, 1), 250);
    EXPECT_EQ(busWaitCount(1'000'000, 1), 250'000'000);  // exact where a float would round
    EXPECT_EQ(busWaitCount(7, 2), 3500) << "only a flag of exactly 1 halves";
}

TEST_F(BusDriverTest, WaitLoopRunsItsIterations)
{
    RecordingPort port;
    ScopedPortBackend scope(port);
    for (const auto& [delay, fast, expected] :
         {std::tuple{10, 0, 5000}, std::tuple{10, 1, 2500}, std::tuple{0, 0, 0},
          std::tuple{-5, 0, 0}}) {
        BusDelay = delay;
        FastTiming = static_cast<std::uint8_t>(fast);
        port.events.clear();
        const std::uint64_t before = busWaitIterations();
        BusWait();
        EXPECT_EQ(busWaitIterations() - before, static_cast<std::uint64_t>(expected));
        if (expected == 0) {
            EXPECT_TRUE(port.events.empty()) << "no wait means nothing to report";
        } else {
            ASSERT_EQ(port.events.size(), 1u);
            EXPECT_EQ(port.events[0].iterations, expected);
        }
    }
}

TEST_F(BusDriverTest, Read24CSendsAddressesRepeatedStartAndEndsWithoutAcknowledge)
{
    RecordingPort port;
    port.answer = [](std::uint16_t, int) { return kSilent; };
    ScopedPortBackend scope(port);

    ReadByte24C(kBase, 3, 0x10);

    EXPECT_EQ(port.hostTranscript(), "S A6/1 10/1 S A7/1 FF/1 P");
    expectIdleAfter(port);
}

TEST_F(BusDriverTest, ReadSDAUsesItsAddressForm)
{
    RecordingPort port;
    ScopedPortBackend scope(port);
    ReadByteSDA(kBase, 3, 0x42);
    EXPECT_EQ(port.hostTranscript(), "S AC/1 42/1 S AD/1 FF/1 P");
    expectIdleAfter(port);
}

TEST_F(BusDriverTest, ReadStartsWithTwoUnwaitedFFWritesThen113WaitedLineChanges)
{
    BusDelay = 1;
    RecordingPort port;
    ScopedPortBackend scope(port);
    ReadByte24C(kBase, 0, 0);

    const auto& ev = port.events;
    ASSERT_GE(ev.size(), 3u);
    EXPECT_EQ(ev[0].kind, PortEvent::Write);
    EXPECT_EQ(ev[0].port, kBase);
    EXPECT_EQ(ev[0].value, 0xFF);
    EXPECT_EQ(ev[1].kind, PortEvent::Write);
    EXPECT_EQ(ev[1].port, kBase + 2);
    EXPECT_EQ(ev[1].value, 0xFF);
    EXPECT_EQ(ev[2].kind, PortEvent::Write) << "no wait after the 0xFF writes";

    EXPECT_EQ(port.writes(), 2 + 113);
    EXPECT_EQ(port.waits(), 113);
    // Every line change after the first two is followed directly by its wait,
    // or by the status read that ReadAck / ReceiveByte make while the clock is high.
    for (std::size_t i = 2; i < ev.size(); ++i) {
        if (ev[i].kind != PortEvent::Write)
            continue;
        ASSERT_LT(i + 1, ev.size());
        EXPECT_EQ(ev[i + 1].kind, PortEvent::Wait) << "event " << i;
        EXPECT_EQ(ev[i + 1].iterations, 250) << "reads run with FastTiming 1";
    }
}

TEST_F(BusDriverTest, ReceivedBitsComeFromStatusBit4MostSignificantFirst)
{
    RecordingPort port;
    // Reads 0-2 are the acknowledges, 3-10 the data bits, 11 the ninth clock.
    const std::uint8_t expected = 0x5A;
    port.answer = [expected](std::uint16_t p, int index) -> std::uint8_t {
        EXPECT_EQ(p, kBase + 1);
        if (index >= 3 && index <= 10)
            return ((expected >> (10 - index)) & 1) ? 0x10 : 0xEF;  // other bits are noise
        return 0x00;
    };
    ScopedPortBackend scope(port);

    EXPECT_EQ(ReadByte24C(kBase, 0, 0x20), expected);
    EXPECT_EQ(port.wireTranscript(), "S A0/0 20/0 S A1/0 5A/0 P");
    // The host itself leaves the line released on the ninth clock.
    EXPECT_EQ(port.hostTranscript(), "S A0/1 20/1 S A1/1 FF/1 P");
}

TEST_F(BusDriverTest, WriteSDASendsThreeBytesThenPollsInItsOwnAddressForm)
{
    RecordingPort port;
    port.answer = [](std::uint16_t, int) { return kAcknowledge; };
    ScopedPortBackend scope(port);

    EXPECT_EQ(WriteByteSDA(kBase, 2, 0x33, 0x5A), 0);
    EXPECT_EQ(port.wireTranscript(), "S A8/0 33/0 5A/0 P S A8/0 P");
    EXPECT_EQ(port.writes(), 89 + 35);
    expectIdleAfter(port);
}

TEST_F(BusDriverTest, WriteSDAGivesUpAfter1000SilentPolls)
{
    RecordingPort port;
    port.answer = [](std::uint16_t, int) { return kSilent; };
    ScopedPortBackend scope(port);

    EXPECT_EQ(WriteByteSDA(kBase, 1, 0x10, 0x5A), 0);
    const std::string transcript = port.hostTranscript();
    EXPECT_EQ(starts(transcript), 1 + kMaxAckPolls);
    EXPECT_EQ(transcript.substr(0, 24), "S A4/1 10/1 5A/1 P S A4/");
    EXPECT_EQ(port.writes(), 89 + 35 * kMaxAckPolls);
    expectIdleAfter(port);
}

TEST_F(BusDriverTest, Write24CPollsUntilAcknowledged)
{
    RecordingPort port;
    port.answer = [](std::uint16_t, int) { return kAcknowledge; };
    ScopedPortBackend scope(port);

    EXPECT_EQ(WriteByte24C(kBase, 5, 0x80, 0x01), 0);
    EXPECT_EQ(port.wireTranscript(), "S AA/0 80/0 01/0 P S AA/0 P");
    EXPECT_EQ(port.writes(), 89 + 35);
    expectIdleAfter(port);
}

TEST_F(BusDriverTest, Write24CGivesUpAfter1000SilentPolls)
{
    BusDelay = 1;
    RecordingPort port;
    port.answer = [](std::uint16_t, int) { return kSilent; };
    ScopedPortBackend scope(port);

    EXPECT_EQ(WriteByte24C(kBase, 0, 0, 0), 0);
    const std::string transcript = port.hostTranscript();
    EXPECT_EQ(starts(transcript), 1 + kMaxAckPolls);
    EXPECT_EQ(port.writes(), 89 + 35 * kMaxAckPolls);
    EXPECT_EQ(port.waits(), port.writes()) << "every line change waits once";
    EXPECT_EQ(transcript.substr(0, 22), "S A0/1 00/1 00/1 P S A");
    expectIdleAfter(port);
}

TEST_F(BusDriverTest, AddressBytesKeepTheLowEightBits)
{
    EXPECT_EQ(address24C(7), 0xAE);
    EXPECT_EQ(addressSDA(3), 0xAC);
    EXPECT_EQ(address24C(0x80), 0xA0);  // 0x100 drops out
    EXPECT_EQ(addressSDA(0x41), 0xA4);
}

TEST_F(BusDriverTest, TransactionsSetThePortNumbers)
{
    RecordingPort port(0x278);
    ScopedPortBackend scope(port);
    ReadByteSDA(0x278, 0, 0);
    EXPECT_EQ(DataPort, 0x278);
    EXPECT_EQ(StatusPort, 0x279);
    EXPECT_EQ(ControlPort, 0x27A);
}

}  // namespace
}  // namespace kavoda
