// SPDX-License-Identifier: MIT
// Bus timing: clock times from measured speeds, the smallest safe Delay, the
// measurement on the simulated port, the stored result and the warning.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "BusRecorder.h"
#include "Calibration.h"
#include "EngineFixture.h"
#include "PortBackend.h"
#include "SimulatedChip.h"
#include "TempFolder.h"
#include "ee24c.h"

namespace kavoda {
namespace {

// 1 us per access, 0.4 ns per iteration: Delay 10 on a read waits 1 us.
constexpr BusSpeeds kCurrentPc{1000, 0.4};

TEST(Calibration, ClockPhasesAreOneWaitAndOneAccess)
{
    const ClockTiming read = clockTiming(kCurrentPc, 10, 1);
    EXPECT_DOUBLE_EQ(read.highNs, 2000);
    EXPECT_DOUBLE_EQ(read.lowNs, 2000);
    EXPECT_DOUBLE_EQ(read.frequencyHz, 200'000) << "two waits and three accesses";
    EXPECT_FALSE(meetsLimits(read, kStandardMode));
    EXPECT_TRUE(meetsLimits(read, kFastMode));

    const ClockTiming write = clockTiming(kCurrentPc, 10, 0);
    EXPECT_DOUBLE_EQ(write.highNs, 3000) << "writes wait twice as long";

    for (const std::int32_t delay : {0, -4}) {
        const ClockTiming none = clockTiming(kCurrentPc, delay, 1);
        EXPECT_DOUBLE_EQ(none.highNs, 1000) << "no wait at all, only the access";
    }
}

TEST(Calibration, SmallestDelayMeetsEveryLimit)
{
    const struct {
        const char* name;
        BusSpeeds speeds;
        std::uint8_t fastTiming;
        std::optional<std::int32_t> delay;
    } cases[] = {
        // The low time binds: wait >= 3.7 us, 100 ns a Delay step.
        {"read on a current PC", kCurrentPc, 1, 37},
        {"write on a current PC", kCurrentPc, 0, 19},
        // High and low times of 4.75 us meet their limits, but the clock
        // would run at 105 kHz.
        {"frequency binds", {0, 1}, 1, 20},
        {"a port slow enough without waiting", {5000, 0.4}, 1, 0},
        {"nothing is ever slow enough", {0, 0}, 1, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto delay = smallestDelayFor(c.speeds, kStandardMode, c.fastTiming);
        EXPECT_EQ(delay, c.delay);
        if (delay) {
            EXPECT_TRUE(meetsLimits(clockTiming(c.speeds, *delay, c.fastTiming), kStandardMode));
            if (*delay > 0) {
                EXPECT_FALSE(
                    meetsLimits(clockTiming(c.speeds, *delay - 1, c.fastTiming), kStandardMode));
            }
        }
    }
}

TEST(Calibration, ReportTabulatesDelay10To100)
{
    const std::string report = calibrationReport(kCurrentPc);
    EXPECT_NE(report.find("One port access takes 1.00 us, one wait iteration 0.400 ns."),
              std::string::npos);
    EXPECT_NE(report.find("Delay  high us   low us      kHz  100 kHz   400 kHz\n"
                          "   10     2.00     2.00    200.0  too fast  ok\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("\n   36     4.60     4.60     98.0  too fast  ok\n"
                          "   37     4.70     4.70     96.2  ok        ok\n"),
              std::string::npos);
    EXPECT_NE(report.find("\n  100    11.00    11.00     43.5  ok        ok\n\n"),
              std::string::npos);
    EXPECT_EQ(report.find("\n    9 "), std::string::npos);
    EXPECT_EQ(report.find("\n  101 "), std::string::npos);
    EXPECT_NE(report.find("The smallest Delay that meets 100 kHz parts on this computer: 37.\n"),
              std::string::npos);
}

using CalibrationMeasureTest = test::EngineTest;

TEST_F(CalibrationMeasureTest, SimulatedPortMeasuresItsVirtualTimesAndLeavesTheBusIdle)
{
    SimulatedAdapter sim(0x278, {1, "", std::nullopt, ChipFault::None});
    test::RecordingPort port(0x278, &sim);
    ScopedPortBackend scope(port);
    BusDelay = 7;
    FastTiming = 1;
    const BusSpeeds speeds = measureBusSpeeds(0x278, [&sim] { return sim.nowNs(); });
    EXPECT_DOUBLE_EQ(speeds.accessNs, double(SimulatedAdapter::kAccessNs));
    EXPECT_DOUBLE_EQ(speeds.iterationNs, double(SimulatedAdapter::kWaitIterationNs));
    EXPECT_EQ(BusDelay, 7);
    EXPECT_EQ(FastTiming, 1);
    for (const test::PortEvent& e : port.events) {
        if (e.kind == test::PortEvent::Write) {
            EXPECT_EQ(e.value, e.port == 0x278 ? 0 : 1) << "only the idle levels";
            EXPECT_TRUE(e.port == 0x278 || e.port == 0x27A);
        } else if (e.kind == test::PortEvent::Read) {
            EXPECT_EQ(e.port, 0x279);
        }
    }
    EXPECT_EQ(port.hostTranscript(), "") << "no START, STOP or bit on the bus";
}

class CalibrationFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* old = std::getenv("XDG_CONFIG_HOME"))
            m_oldConfig = old;
        setenv("XDG_CONFIG_HOME", m_dir.path().c_str(), 1);
    }
    void TearDown() override
    {
        if (m_oldConfig)
            setenv("XDG_CONFIG_HOME", m_oldConfig->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }
    test::TempFolder m_dir;
    std::optional<std::string> m_oldConfig;
};

TEST_F(CalibrationFileTest, StoredBesideTheSettingsAndReadBack)
{
    const std::string path = calibrationFilePath();
    EXPECT_EQ(path, m_dir.file("Kavoda-calibration.ini").string());
    EXPECT_EQ(loadCalibration(path), std::nullopt) << "not measured yet";

    saveCalibration(path, {{1520.25, 0.287125}, 0x378});
    const auto stored = loadCalibration(path);
    ASSERT_TRUE(stored);
    EXPECT_DOUBLE_EQ(stored->speeds.accessNs, 1520.25);
    EXPECT_DOUBLE_EQ(stored->speeds.iterationNs, 0.287125);
    EXPECT_EQ(stored->portBase, 0x378);
    EXPECT_FALSE(std::filesystem::exists(path + ".new"));

    for (const char* broken : {"", "[Calibration]\nAccessNs=1000\n",
                               "AccessNs=1000\nIterationNs=zero\n",
                               "AccessNs=1000\nIterationNs=0\n", "AccessNs=-5\nIterationNs=1\n"}) {
        std::ofstream(path) << broken;
        EXPECT_EQ(loadCalibration(path), std::nullopt) << broken;
    }
    EXPECT_THROW(saveCalibration("/dev/null/Kavoda-calibration.ini", {{1, 1}, 0}),
                 std::runtime_error);
}

TEST_F(CalibrationFileTest, TooFastAnOperationIsWarnedOf)
{
    EXPECT_EQ(busTimingWarning(kCurrentPc, 10, 1),
              "Delay 10 is too fast for 100 kHz parts on this computer: the clock is high for "
              "2.00 us and low for 2.00 us at up to 200 kHz, where they need 4.00 us, 4.70 us "
              "and at most 100 kHz. Delay 37 or more is safe (as measured by kavoda-cli "
              "calibrate).");
    EXPECT_EQ(busTimingWarning(kCurrentPc, 37, 1), std::nullopt);
    EXPECT_EQ(busTimingWarning(kCurrentPc, 19, 0), std::nullopt) << "a write at 19 is slow enough";

    const std::string path = calibrationFilePath(m_dir.path().string());
    EXPECT_EQ(storedBusTimingWarning(path, 10, 1), std::nullopt) << "not calibrated";
    saveCalibration(path, {kCurrentPc, 0x378});
    EXPECT_EQ(storedBusTimingWarning(path, 40, 1), std::nullopt);
    EXPECT_EQ(storedBusTimingWarning(path, 10, 1), busTimingWarning(kCurrentPc, 10, 1));
}

}  // namespace
}  // namespace kavoda
