// SPDX-License-Identifier: MIT
// The bus driver on the wire: register accesses recorded and decoded back
// into bus conditions, bytes and acknowledges.
#include <gtest/gtest.h>

#include <algorithm>

#include "BusRecorder.h"
#include "EngineFixture.h"
#include "ee24c.h"

namespace kavoda {
namespace {

using test::PortEvent;
using test::RecordingPort;

constexpr std::uint16_t kBase = 0x378;
constexpr std::uint8_t kAcknowledge = 0x00;  // status bit 4 low
constexpr std::uint8_t kSilent = 0xFF;

using ReadFn = std::uint8_t (*)(std::uint16_t, std::uint8_t, std::uint8_t);
using WriteFn = std::uint8_t (*)(std::uint16_t, std::uint8_t, std::uint8_t, std::uint8_t);

class BusDriverTest : public test::EngineTest {
protected:
    // After any transaction the clock is at 0 and the data line released.
    static void expectIdleAfter(const RecordingPort& port, std::uint16_t base)
    {
        int lastData = -1;
        int lastControl = -1;
        for (const PortEvent& e : port.events) {
            if (e.kind != PortEvent::Write)
                continue;
            if (e.port == base)
                lastData = e.value;
            else if (e.port == base + 2)
                lastControl = e.value;
            else
                ADD_FAILURE() << "write to port " << e.port;
        }
        EXPECT_EQ(lastData, 0) << "clock left high";
        EXPECT_EQ(lastControl, 1) << "data line left driven";
    }

    static int starts(const std::string& transcript)
    {
        return static_cast<int>(std::count(transcript.begin(), transcript.end(), 'S'));
    }
};

TEST_F(BusDriverTest, PortAccessIsOneBackendCallEach)
{
    EXPECT_THROW(BytePort.Port[0x378] = 1, PortError) << "no port open: no I/O at all";
    EXPECT_THROW(static_cast<void>(static_cast<std::uint8_t>(BytePort.Port[0x379])), PortError);

    RecordingPort port;
    port.answer = [](std::uint16_t p, int index) {
        return static_cast<std::uint8_t>(p == 0x379 ? 0x12 + index : p & 0xFF);
    };
    ScopedPortBackend scope(port);
    BytePort.Port[0x37A] = 0xFF;
    const std::uint8_t first = BytePort.Port[0x379];
    const std::uint8_t second = BytePort.Port[0x379];
    ASSERT_EQ(port.events.size(), 3u);
    EXPECT_EQ(port.events[0].kind, PortEvent::Write);
    EXPECT_EQ(port.events[0].port, 0x37A);
    EXPECT_EQ(port.events[0].value, 0xFF) << "no bit may be masked";
    EXPECT_EQ(first, 0x12);
    EXPECT_EQ(second, 0x13) << "two reads are two accesses";

    // The wider siblings compose byte accesses, low byte first.
    EXPECT_EQ(static_cast<std::uint16_t>(WordPort.Port[0x278]), 0x7978);
    EXPECT_EQ(static_cast<std::uint32_t>(DwordPort.Port[0x278]), 0x7B7A7978u);
    DwordPort.Port[0x100] = 0x11223344u;
    EXPECT_EQ(port.writes(), 1 + 4);
    EXPECT_EQ(port.events.back().port, 0x103);
    EXPECT_EQ(port.events.back().value, 0x11);
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

TEST_F(BusDriverTest, ReadsSendTheirFamilysAddressesAroundARepeatedStart)
{
    const struct {
        ReadFn read;
        std::uint16_t base;
        std::uint8_t block, address;
        const char* transcript;
    } cases[] = {
        {ReadByte24C, 0x378, 3, 0x10, "S A6/1 10/1 S A7/1 FF/1 P"},
        {ReadByteSDA, 0x278, 3, 0x42, "S AC/1 42/1 S AD/1 FF/1 P"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.transcript);
        RecordingPort port(c.base);
        port.answer = [](std::uint16_t, int) { return kSilent; };
        ScopedPortBackend scope(port);
        c.read(c.base, c.block, c.address);
        EXPECT_EQ(port.hostTranscript(), c.transcript);
        expectIdleAfter(port, c.base);
        EXPECT_EQ(DataPort, c.base);
        EXPECT_EQ(StatusPort, c.base + 1);
        EXPECT_EQ(ControlPort, c.base + 2);
    }
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
    // Every line change after the first two is followed directly by its wait;
    // the status reads come after the wait of the clock's rise.
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

// Every acknowledge the chip owes counts: one missing after the repeated
// START makes the read unanswered although the first two came.
TEST_F(BusDriverTest, AReadWhoseRepeatedStartGoesUnansweredIsNotClean)
{
    for (int missing = 0; missing < 3; ++missing) {
        RecordingPort port;
        port.answer = [missing](std::uint16_t, int index) -> std::uint8_t {
            return index == missing ? kSilent : kAcknowledge;
        };
        ScopedPortBackend scope(port);
        ReadByte24C(kBase, 0, 0x20);
        EXPECT_EQ(lastTransactionResult().status, BusStatus::NoAcknowledge) << missing;
    }
    RecordingPort answered;
    answered.answer = [](std::uint16_t, int) { return kAcknowledge; };
    ScopedPortBackend scope(answered);
    ReadByte24C(kBase, 0, 0x20);
    EXPECT_TRUE(lastTransactionResult().ok());
}

// Both families poll after the STOP, each in its own address form: an
// unpolled SDA write would lose the next byte to the chip's write cycle.
const struct WriteCase {
    WriteFn write;
    std::uint8_t block, address, data;
    const char* acknowledged;
    const char* silentStart;
} kWrites[] = {
    {WriteByte24C, 5, 0x80, 0x01, "S AA/0 80/0 01/0 P S AA/0 P", "S AA/1 80/1 01/1 P"},
    {WriteByteSDA, 2, 0x33, 0x5A, "S A8/0 33/0 5A/0 P S A8/0 P", "S A8/1 33/1 5A/1 P"},
};

TEST_F(BusDriverTest, WriteOfAnAcknowledgedByteIsPolledOnce)
{
    for (const WriteCase& c : kWrites) {
        SCOPED_TRACE(c.acknowledged);
        RecordingPort port;
        port.answer = [](std::uint16_t, int) { return kAcknowledge; };
        ScopedPortBackend scope(port);
        EXPECT_EQ(c.write(kBase, c.block, c.address, c.data), 0);
        EXPECT_EQ(port.wireTranscript(), c.acknowledged);
        EXPECT_EQ(port.writes(), 89 + 35);
        expectIdleAfter(port, kBase);
    }
}

// No chip took the address, so no write cycle runs: nothing is polled.
TEST_F(BusDriverTest, AWriteNobodyAnswersIsNotPolled)
{
    BusDelay = 1;
    for (const WriteCase& c : kWrites) {
        SCOPED_TRACE(c.silentStart);
        RecordingPort port;
        port.answer = [](std::uint16_t, int) { return kSilent; };
        ScopedPortBackend scope(port);
        EXPECT_EQ(c.write(kBase, c.block, c.address, c.data), 0);
        const std::string transcript = port.hostTranscript();
        EXPECT_EQ(starts(transcript), 1);
        EXPECT_EQ(transcript, c.silentStart);
        EXPECT_EQ(port.writes(), 89);
        EXPECT_EQ(port.waits(), port.writes()) << "every line change waits once";
        expectIdleAfter(port, kBase);
    }
}

TEST_F(BusDriverTest, AddressBytesKeepTheLowEightBits)
{
    EXPECT_EQ(address24C(7), 0xAE);
    EXPECT_EQ(addressSDA(3), 0xAC);
    EXPECT_EQ(address24C(0x80), 0xA0);  // 0x100 drops out
    EXPECT_EQ(addressSDA(0x41), 0xA4);
}

}  // namespace
}  // namespace kavoda
