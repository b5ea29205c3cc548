// SPDX-License-Identifier: MIT
// kavoda-cli run in-process: exit codes for bad input, get/set round trips
// on the simulated chip.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "Cli.h"
#include "EngineFixture.h"
#include "PortBackend.h"

namespace kavoda {
namespace {

struct CliRun {
    int code;
    std::string out;
    std::string err;
};

CliRun cli(std::vector<std::string> args)
{
    args.insert(args.begin(), "kavoda-cli");
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    std::ostringstream out;
    std::ostringstream err;
    const int code = runCli(static_cast<int>(argv.size()), argv.data(), out, err);
    return {code, out.str(), err.str()};
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override { m_dir = test::scratchDir(); }
    void TearDown() override
    {
        EXPECT_EQ(installedPortBackend(), nullptr) << "the tool leaves no port installed";
        resetDeviceState();
    }
    std::string path(const char* name) const { return (m_dir / name).string(); }

    std::filesystem::path m_dir;
};

TEST_F(CliTest, SetThenGetOnTheSameImage)
{
    const std::string image = path("chip.bin");
    CliRun set = cli({"--simulate", "-d", "24c16", "--sim-image", image, "set", "0x7FF", "0x5a"});
    EXPECT_EQ(set.code, kExitOk) << set.err;
    EXPECT_EQ(set.out, "");
    CliRun get = cli({"-d", "24C16", "--simulate", "--sim-image", image, "get", "2047"});
    EXPECT_EQ(get.code, kExitOk) << get.err;
    EXPECT_EQ(get.out, "5A\n");
    CliRun other = cli({"--simulate", "-d", "24C16", "--sim-image", image, "get", "0x7FE"});
    EXPECT_EQ(other.out, "FF\n");
}

TEST_F(CliTest, SDADeviceWithItsOwnSimulatedType)
{
    const std::string image = path("sda.bin");
    EXPECT_EQ(cli({"--simulate=SDA3586", "-d", "sda3586", "--sim-image", image, "--delay", "0",
                   "--port", "0x3BC", "set", "1023", "7"})
                  .code,
              kExitOk);
    CliRun get = cli({"-d", "SDA3586", "--simulate=sda3586", "--sim-image", image, "get", "1023"});
    EXPECT_EQ(get.out, "07\n");
    // Options may also follow the verb.
    const std::string trace = path("bus.vcd");
    CliRun after = cli({"get", "0x3FF", "-d", "SDA3586", "--simulate", "--sim-image", image,
                        "--trace", trace});
    EXPECT_EQ(after.code, kExitOk) << after.err;
    EXPECT_EQ(after.out, "07\n");
    std::ifstream in(trace);
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first.rfind("$version", 0), 0u) << "the trace is written";
}

TEST_F(CliTest, BadInputExitsWithTwo)
{
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"get"},
        {"set", "1"},
        {"--simulate", "get", "256"},                  // beyond a 24C02
        {"--simulate", "-d", "24C08", "get", "1024"},  // beyond a 24C08
        {"--simulate", "-d", "24C32", "get", "0"},
        {"--simulate=27C256", "get", "0"},
        {"--simulate", "get", "12x"},
        {"--simulate", "get", "-1"},
        {"--simulate", "get", "0x"},
        {"--simulate", "get", "1f"},                    // hex wants its 0x
        {"--simulate", "get", "18446744073709551872"},  // 2^64 + 256: no wrap to 256
        {"--simulate", "get", "+1"},
        {"--simulate", "set", "0", "256"},
        {"--simulate", "--port", "0x379", "get", "0"},
        {"--simulate", "--delay", "ten", "get", "0"},
        {"--sim-image", "x.bin", "get", "0"},
        {"--frobnicate", "get", "0"},
        {"erase"},
    };
    for (const auto& args : bad) {
        const CliRun run = cli(args);
        std::string joined;
        for (const auto& a : args)
            joined += a + ' ';
        EXPECT_EQ(run.code, kExitUsage) << joined;
        EXPECT_FALSE(run.err.empty()) << joined;
        EXPECT_EQ(run.out, "") << joined;
    }
}

TEST_F(CliTest, HardwareTroubleExitsWithOne)
{
    const std::string image = path("small.bin");
    std::ofstream(image) << "short";
    const CliRun run = cli({"--simulate", "--sim-image", image, "get", "0"});
    EXPECT_EQ(run.code, kExitHardware);
    EXPECT_NE(run.err.find("small.bin"), std::string::npos) << run.err;
}

TEST_F(CliTest, HelpExitsWithZero)
{
    const CliRun run = cli({"--help"});
    EXPECT_EQ(run.code, kExitOk);
    EXPECT_NE(run.out.find("--simulate"), std::string::npos);
}

}  // namespace
}  // namespace kavoda
