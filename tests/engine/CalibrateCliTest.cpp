// SPDX-License-Identifier: MIT
// kavoda-cli calibrate on the simulated port, and the warning of a read or
// write that starts at a Delay too fast for 100 kHz parts.
#include <gtest/gtest.h>

#include <filesystem>

#include "Calibration.h"
#include "Cli.h"
#include "CliRun.h"
#include "DeviceCatalogue.h"
#include "TempFolder.h"

namespace kavoda {
namespace {

class CalibrateCliTest : public ::testing::Test {
protected:
    void TearDown() override { resetDeviceState(); }

    test::CliRun cli(std::vector<std::string> args)
    {
        CliEnvironment environment;
        environment.settingsFolder = m_dir.path().string();
        return test::runTool(std::move(args), environment);
    }

    std::string calibrationFile() const { return calibrationFilePath(m_dir.path().string()); }

    test::TempFolder m_dir;
};

TEST_F(CalibrateCliTest, SimulatedPortPrintsItsModelAndStoresNothing)
{
    const test::CliRun run = cli({"--simulate", "--port", "0x378", "calibrate"});
    EXPECT_EQ(run.code, kExitOk) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.rfind("The simulated parallel port at 0378, timed by its model, not by "
                            "this computer:\n"
                            "One port access takes 1.00 us, one wait iteration 10.000 ns.\n",
                            0),
              0u)
        << run.out;
    EXPECT_NE(run.out.find("\n   10    26.00    26.00     18.9  ok        ok\n"),
              std::string::npos);
    EXPECT_NE(run.out.find("The smallest Delay that meets 100 kHz parts in the simulation: 2.\n"
                           "These are the clocks that a --trace of the simulated bus shows. "
                           "Nothing is stored; run calibrate on the real port to measure this "
                           "computer.\n"),
              std::string::npos);
    EXPECT_EQ(run.out.find("on this computer"), std::string::npos) << run.out;
    EXPECT_FALSE(std::filesystem::exists(calibrationFile()));
}

TEST_F(CalibrateCliTest, CalibrateRefusesAnAdapterWithItsOwnClock)
{
    const test::CliRun run = cli({"--simulate", "--adapter", "ch341a", "calibrate"});
    EXPECT_EQ(run.code, kExitUsage);
    EXPECT_NE(run.err.find("calibrate measures the parallel port's bus"), std::string::npos)
        << run.err;
}

TEST_F(CalibrateCliTest, TooFastADelayIsWarnedOfOncePerRun)
{
    const BusSpeeds currentPc{1000, 0.4};  // Delay 37 is the smallest safe one
    saveCalibration(calibrationFile(), {currentPc, 0x378});

    const test::CliRun fast = cli({"--simulate", "--delay", "10", "-d", "24C02", "set", "0x10", "0x5A"});
    EXPECT_EQ(fast.code, kExitOk) << fast.err;
    EXPECT_EQ(fast.err, "kavoda-cli: warning: " + *busTimingWarning(currentPc, 10, 1) + "\n")
        << "once, though the set writes and then reads";

    EXPECT_EQ(cli({"--simulate", "--delay", "37", "get", "0x10"}).err, "");
    EXPECT_EQ(cli({"--simulate", "--adapter", "ch341a", "--delay", "10", "get", "0x10"}).err, "")
        << "the CH341A makes its own clock";
}

}  // namespace
}  // namespace kavoda
