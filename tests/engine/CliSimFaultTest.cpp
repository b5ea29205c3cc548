// SPDX-License-Identifier: MIT
// kavoda-cli with a faulty simulated chip: the fault and write-cycle options
// reach the chip, and wrong values are usage errors.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <stdlib.h>

#include "Cli.h"
#include "DeviceCatalogue.h"
#include "PortBackend.h"

namespace kavoda {
namespace {

struct CliRunResult {
    int code;
    std::string out;
    std::string err;
};

CliRunResult cli(std::vector<std::string> args)
{
    args.insert(args.begin(), "kavoda-cli");
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    std::ostringstream out;
    std::ostringstream err;
    const int code = runCli(static_cast<int>(argv.size()), argv.data(), out, err);
    resetDeviceState();
    return {code, out.str(), err.str()};
}

// A fresh folder of its own, removed at the end.
class ScratchFolder {
public:
    ScratchFolder()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kavoda-cli-XXXXXX";
        if (mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    std::string file(const char* name) const { return (m_path / name).string(); }
    bool valid() const { return !m_path.empty(); }

private:
    std::filesystem::path m_path;
};

TEST(CliSimFault, FaultsReachTheSimulatedChip)
{
    ScratchFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string image = "--sim-image=" + folder.file("chip.bin");
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

TEST(CliSimFault, BadValuesAreUsageErrors)
{
    EXPECT_EQ(cli({"--simulate", "--sim-fault=gone", "get", "0"}).code, kExitUsage);
    EXPECT_EQ(cli({"--simulate", "--sim-write-cycle=-1", "get", "0"}).code, kExitUsage);
    EXPECT_EQ(cli({"--simulate", "--sim-write-cycle=ms", "get", "0"}).code, kExitUsage);
    // Faults belong to the simulated chip only.
    EXPECT_EQ(cli({"--sim-fault=empty", "get", "0"}).code, kExitUsage);
    EXPECT_EQ(cli({"--sim-write-cycle=5", "get", "0"}).code, kExitUsage);
}

}  // namespace
}  // namespace kavoda
