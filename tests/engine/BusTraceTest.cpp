// SPDX-License-Identifier: MIT
// The VCD bus trace: a well-formed file with the chip's real clock times, SDA
// as sampled on a port that cannot see the wire, and a trace that cannot be
// written reported as an error.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "BusRecorder.h"
#include "BusTrace.h"
#include "EngineFixture.h"
#include "PortSession.h"
#include "SimulatedChip.h"
#include "TempFolder.h"
#include "ee24c.h"

namespace kavoda {
namespace {

struct Vcd {
    std::string header;
    std::vector<std::uint64_t> times;
    std::vector<test::LineState> levels;  // after each timestamp
};

Vcd parseVcd(const std::string& file)
{
    std::ifstream in(file);
    Vcd vcd;
    std::string line;
    while (std::getline(in, line)) {
        vcd.header += line + '\n';
        if (line == "$enddefinitions $end")
            break;
    }
    test::LineState now{false, true};
    while (std::getline(in, line)) {
        if (line.empty() || line == "$dumpvars" || line == "$end")
            continue;
        if (line[0] == '#') {
            vcd.times.push_back(std::stoull(line.substr(1)));
            vcd.levels.push_back(now);
            continue;
        }
        EXPECT_EQ(line.size(), 2u) << line;
        const bool level = line[0] == '1';
        if (line[1] == '!')
            now.scl = level;
        else if (line[1] == '"')
            now.sda = level;
        else
            ADD_FAILURE() << "unknown signal in " << line;
        if (!vcd.levels.empty())
            vcd.levels.back() = now;
    }
    return vcd;
}

// The shortest time SCL stays high and stays low, in VCD time units.
std::pair<std::uint64_t, std::uint64_t> shortestClockPhases(const Vcd& vcd)
{
    std::uint64_t high = UINT64_MAX;
    std::uint64_t low = UINT64_MAX;
    for (std::size_t i = 1, last = 0; i < vcd.levels.size(); ++i) {
        if (vcd.levels[i].scl == vcd.levels[last].scl)
            continue;
        if (last > 0) {
            auto& phase = vcd.levels[last].scl ? high : low;
            phase = std::min(phase, vcd.times[i] - vcd.times[last]);
        }
        last = i;
    }
    return {high, low};
}

class BusTraceTest : public test::EngineTest {
protected:
    test::TempFolder m_dir;
    std::string m_file = m_dir.file("bus.vcd").string();
};

TEST_F(BusTraceTest, SimulatedReadShowsAcknowledgesAndTheClockInVirtualTime)
{
    BusDelay = 1;  // with FastTiming 1: 250 iterations of 10 ns per wait
    FastTiming = 1;
    SimulatedAdapter sim(0x378, {4, "", std::nullopt, ChipFault::None});
    {
        BusTrace trace(m_file, sim, 0x378, [&sim] { return sim.nowNs(); });
        ScopedPortBackend scope(trace);
        ReadByte24C(0x378, 3, 0x10);
        trace.close();
    }
    const Vcd vcd = parseVcd(m_file);
    for (const char* declaration :
         {"$timescale 100 ns $end", "$scope module adapter $end", "$var wire 1 ! SCL $end",
          "$var wire 1 \" SDA $end", "$upscope $end"})
        EXPECT_NE(vcd.header.find(declaration), std::string::npos) << declaration;
    ASSERT_GE(vcd.times.size(), 2u);
    EXPECT_EQ(vcd.times[0], 0u) << "initial values at time 0";
    EXPECT_EQ(vcd.levels[0].scl, false);
    EXPECT_EQ(vcd.levels[0].sda, true);
    EXPECT_EQ(test::decodeBus(vcd.levels), "S A6/0 10/0 S A7/0 FF/1 P");
    EXPECT_GE(vcd.times[1], BusTrace::kIdleTicks);
    EXPECT_TRUE(std::is_sorted(vcd.times.begin(), vcd.times.end()));
    EXPECT_EQ(std::adjacent_find(vcd.times.begin(), vcd.times.end()), vcd.times.end());

    // A clock phase is one wait and one register access: 2.5 us + 1 us.
    const auto [high, low] = shortestClockPhases(vcd);
    EXPECT_EQ(high, 35u);
    EXPECT_EQ(low, 35u);
    EXPECT_EQ(vcd.times.back(),
              BusTrace::kIdleTicks + sim.nowNs() / BusTrace::kTickNs + BusTrace::kIdleTicks);
}

// A real port cannot see the wire: SDA is what the status register showed
// when the program read it, placed before the clock rose so that no START or
// STOP appears inside a high time.
TEST_F(BusTraceTest, RealPortTracesSdaAsSampled)
{
    const struct {
        const char* name;
        std::function<void()> transaction;
        std::function<std::uint8_t(int readIndex)> status;
        const char* trace;
    } cases[] = {
        {"24C read of 5A",
         [] { ReadByte24C(0x378, 3, 0x10); },
         [](int i) -> std::uint8_t {
             if (i >= 3 && i <= 10)
                 return ((0x5A >> (10 - i)) & 1) ? 0x7F : 0x6F;
             return i == 11 ? 0x7F : 0x6F;  // acknowledges low, the ninth clock released
         },
         "S A6/0 10/0 S A7/0 5A/1 P"},
        {"24C write polled twice",
         [] { WriteByte24C(0x378, 0, 0x10, 0x5A); },
         [](int i) -> std::uint8_t { return i == 3 ? 0x7F : 0x6F; },
         "S A0/0 10/0 5A/0 P S A0/1 P S A0/0 P"},
        {"SDA read of 00",
         [] { ReadByteSDA(0x378, 1, 0x42); },
         [](int i) -> std::uint8_t { return i == 11 ? 0x7F : 0x6F; },
         "S A4/0 42/0 S A5/0 00/1 P"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::RecordingPort port;
        port.answer = [&c](std::uint16_t, int index) { return c.status(index); };
        std::uint64_t now = 0;
        {
            BusTrace trace(m_file, port, 0x378, [&now] { return now += 700; });
            ScopedPortBackend scope(trace);
            c.transaction();
        }
        EXPECT_EQ(test::decodeBus(parseVcd(m_file).levels), c.trace);
        EXPECT_EQ(port.wireTranscript(), c.trace) << "what the program itself saw";
    }
}

TEST_F(BusTraceTest, TraceThatCannotBeWrittenIsReportedOnceAtTheEndOfAFrame)
{
    test::RecordingPort port;
    port.answer = [](std::uint16_t, int) { return 0x6F; };
    BusTrace trace("/dev/full", port, 0x378);
    ScopedPortBackend scope(trace);
    try {
        ReadByte24C(0x378, 0, 0);
        ADD_FAILURE() << "no error";
    } catch (const PortError& e) {
        EXPECT_STREQ(e.what(), "Cannot write the bus trace /dev/full: No space left on device");
    }
    // The error came after the STOP was complete: the bus is idle.
    ASSERT_GE(port.events.size(), 2u);
    EXPECT_EQ(port.events.back().port, 0x378);
    EXPECT_EQ(port.events.back().value, 0);
    EXPECT_EQ(port.writes(), 2 + 113);

    EXPECT_NO_THROW(ReadByte24C(0x378, 0, 0)) << "reported once";
    EXPECT_EQ(trace.failure(), "Cannot write the bus trace /dev/full: No space left on device");
    EXPECT_NO_THROW(trace.close());

    BusTrace unfinished("/dev/full", port, 0x378);
    unfinished.write(0x37A, 0);  // no STOP: found out when the file ends
    EXPECT_THROW(unfinished.close(), PortError);
}

TEST_F(BusTraceTest, SessionRefusesEveryOperationAfterAFailedTrace)
{
    PortOptions options;
    options.simulateType = 1;
    options.tracePath = "/dev/full";
    PortSession session(options);
    session.open(0x378);
    EXPECT_THROW(ReadByte24C(0x378, 0, 0), PortError);
    EXPECT_NO_THROW(session.close());
    try {
        session.open(0x378);
        ADD_FAILURE() << "opened";
    } catch (const PortError& e) {
        EXPECT_STREQ(e.what(), "Cannot write the bus trace /dev/full: No space left on device");
    }
    EXPECT_EQ(installedPortBackend(), nullptr);
}

}  // namespace
}  // namespace kavoda
