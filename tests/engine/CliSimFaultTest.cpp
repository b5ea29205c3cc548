// SPDX-License-Identifier: MIT
// kavoda-cli with a faulty simulated chip: the fault and write-cycle options
// reach the chip, and wrong values are usage errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Cli.h"
#include "CliRun.h"
#include "DeviceCatalogue.h"
#include "PortBackend.h"
#include "TempFolder.h"

namespace kavoda {
namespace {

// A settings folder of its own: the user's Kavoda.INI and calibration stay out.
test::CliRun cli(std::vector<std::string> args)
{
    CliEnvironment environment;
    environment.settingsFolder = test::testFolder().string();
    test::CliRun run = test::runTool(std::move(args), environment);
    resetDeviceState();
    return run;
}

TEST(CliSimFault, FaultsReachTheSimulatedChip)
{
    test::TempFolder folder;
    const std::string image = "--sim-image=" + folder.file("chip.bin").string();
    const std::vector<std::string> common = {"--simulate", image, "-d", "24C02", "--delay", "0"};
    const auto run = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = common;
        args.insert(args.end(), extra.begin(), extra.end());
        return cli(args);
    };

    // Writes that do not stick leave the erased cell, which the read-back
    // reports; a sound chip takes them.
    EXPECT_EQ(run({"--sim-fault=readonly", "set", "1", "0x5A"}).code, kExitHardware);
    EXPECT_EQ(run({"get", "1"}).out, "FF\n");
    EXPECT_EQ(run({"--sim-write-cycle=0", "set", "1", "0x5A"}).code, kExitOk);
    EXPECT_EQ(run({"get", "1"}).out, "5A\n");
    // In an empty socket nothing acknowledges.
    EXPECT_EQ(run({"--sim-fault=empty", "get", "1"}).code, kExitHardware);
    // A chip whose write cycle never ends stores the one byte it took, and
    // its polling runs out.
    EXPECT_EQ(run({"--sim-fault=busy", "set", "1", "0x33"}).code, kExitHardware);
    EXPECT_EQ(run({"get", "1"}).out, "33\n");
    EXPECT_EQ(installedPortBackend(), nullptr);
}

}  // namespace
}  // namespace kavoda
