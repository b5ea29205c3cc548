// SPDX-License-Identifier: MIT
// The VCD bus trace: a well-formed header and the line changes of a small
// transaction, with the chip's acknowledges on SDA.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "BusRecorder.h"
#include "BusTrace.h"
#include "EngineFixture.h"
#include "SimulatedChip.h"
#include "ee24c.h"

namespace kavoda {
namespace {

namespace fs = std::filesystem;

struct Vcd {
    std::string header;
    std::vector<std::uint64_t> times;
    std::vector<test::LineState> levels;  // after each timestamp
};

Vcd parseVcd(const fs::path& file)
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
        if (line.empty())
            continue;
        if (line[0] == '#') {
            vcd.times.push_back(std::stoull(line.substr(1)));
            vcd.levels.push_back(now);
        } else if (line == "$dumpvars" || line == "$end") {
            continue;
        } else {
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
    }
    return vcd;
}

fs::path traceFile()
{
    return test::scratchDir() / "bus.vcd";
}

using BusTraceTest = test::EngineTest;

TEST_F(BusTraceTest, ReadShowsTheChipAcknowledgingOnSDA)
{
    const fs::path file = traceFile();
    SimulatedAdapter sim(0x378, {4, "", std::nullopt, ChipFault::None});
    {
        BusTrace trace(file.string(), sim, 0x378);
        ScopedPortBackend scope(trace);
        ReadByte24C(0x378, 3, 0x10);
    }
    const Vcd vcd = parseVcd(file);
    for (const char* declaration :
         {"$timescale 1 us $end", "$scope module adapter $end", "$var wire 1 ! SCL $end",
          "$var wire 1 \" SDA $end", "$upscope $end"})
        EXPECT_NE(vcd.header.find(declaration), std::string::npos) << declaration;
    ASSERT_GE(vcd.times.size(), 2u);
    EXPECT_EQ(vcd.times[0], 0u) << "initial values at time 0";
    EXPECT_EQ(vcd.levels[0].scl, false);
    EXPECT_EQ(vcd.levels[0].sda, true);
    EXPECT_EQ(test::decodeBus(vcd.levels), "S A6/0 10/0 S A7/0 FF/1 P");
    EXPECT_GE(vcd.times[1], BusTrace::kIdleSteps) << "idle steps before the first change";
    for (std::size_t i = 1; i < vcd.times.size(); ++i)
        EXPECT_LT(vcd.times[i - 1], vcd.times[i]);
    // One step per access: 2 + 113 writes and 12 status reads, plus the
    // closing timestamp.
    EXPECT_EQ(vcd.times.back(), BusTrace::kIdleSteps + 127 + BusTrace::kIdleSteps);
}

TEST_F(BusTraceTest, WithoutAWiredAndTheDrivenLevelIsTraced)
{
    const fs::path file = traceFile();
    test::RecordingPort inner;
    inner.answer = [](std::uint16_t, int) { return 0x00; };
    {
        BusTrace trace(file.string(), inner, 0x378);
        ScopedPortBackend scope(trace);
        WriteByteSDA(0x378, 1, 0x02, 0x5A);
    }
    EXPECT_EQ(test::decodeBus(parseVcd(file).levels), "S A4/1 02/1 5A/1 P S A4/1 P");
}

}  // namespace
}  // namespace kavoda
