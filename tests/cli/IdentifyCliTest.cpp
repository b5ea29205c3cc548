// SPDX-License-Identifier: MIT
// scan, identify and -d auto through kavoda-cli on the simulated adapters:
// what they print, their exit codes, and the verbs that refuse auto.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "Cli.h"
#include "CliRun.h"
#include "DeviceCatalogue.h"
#include "TempFolder.h"

namespace kavoda {
namespace {

namespace fs = std::filesystem;

using test::CliRun;

class IdentifyCliTest : public test::CliFolderTest {
protected:
    // A random image of size bytes as the simulated chip's content.
    std::string randomChip(std::size_t size)
    {
        std::mt19937 random(static_cast<unsigned>(size));
        m_image.assign(size, '\0');
        for (char& c : m_image)
            c = static_cast<char>(random());
        std::ofstream(file("chip.bin"), std::ios::binary) << m_image;
        return file("chip.bin");
    }
    std::string file(const char* name) const { return (m_dir / name).string(); }

    std::string m_image;
};

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(IdentifyCliTest, ScanDrawsTheTableAndNamesTheEepromAddresses)
{
    const CliRun run = cli({"--adapter", "ch341a", "--simulate=24C04", "--chip-address", "2",
                            "--sim-fault", "neighbour", "scan"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("\n50: -- -- 52 53 -- --"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("(0x50..0x57) that answer: 0x52, 0x53.\n"), std::string::npos)
        << run.out;
}

TEST_F(IdentifyCliTest, IdentifyExitsZeroOnlyWhenCertain)
{
    CliRun run = cli({"--simulate=24C32", "--sim-image", randomChip(4096), "--chip-address", "3",
                      "identify"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "0x53  reads with 2 word address bytes\n"
                       "24C32 (certain: 1 block answers at 0x53, 2-byte addressing, wraps at 4 "
                       "KiB)\n");
    run = cli({"--adapter", "i2c:/dev/i2c-1", "--simulate=24C32", "--sim-fault", "uniform",
               "identify"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.out.find("blank or uniform content: one of 24C02, SDA3526, 24C01, 24C32"),
              std::string::npos)
        << run.out;
    run = cli({"--simulate=24C16", "--sim-fault", "empty", "identify"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("No EEPROM answers at 0x50..0x57"), std::string::npos) << run.err;
}

TEST_F(IdentifyCliTest, AutoReadsWithTheTypeFoundAndSaysWhich)
{
    const std::string chip = randomChip(8192);
    const CliRun run = cli({"--adapter", "ch341a", "--simulate=24C64", "--sim-image", chip,
                            "--chip-address", "5", "-d", "auto", "read", file("out.bin")});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(readAll(file("out.bin")), m_image);
    EXPECT_NE(run.err.find("-d auto: 24C64 (certain: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("using the 24C64 at --chip-address 5"), std::string::npos) << run.err;

    const CliRun get = cli({"--simulate=24C64", "--sim-image", chip, "--chip-address", "5", "-d",
                            "Auto", "get", "0x1FFF"});
    EXPECT_EQ(get.code, 0) << get.err;
    char expected[4];
    std::snprintf(expected, sizeof expected, "%02X\n", static_cast<unsigned char>(m_image[0x1FFF]));
    EXPECT_EQ(get.out, expected);
}

// Undecided is no type to read with: the run fails and reads nothing.
TEST_F(IdentifyCliTest, AutoRefusesAnUndecidedChip)
{
    const CliRun run =
        cli({"--simulate=24C16", "-d", "auto", "read", file("out.bin")});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("-d auto: blank or uniform content"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(file("out.bin")));
}

TEST_F(IdentifyCliTest, VerbsThatChangeTheChipRefuseAuto)
{
    const std::string chip = randomChip(2048);
    for (const std::vector<std::string>& verb :
         {std::vector<std::string>{"write", file("in.bin")}, {"erase"}, {"fill", "0x00"},
          {"set", "0", "1"}}) {
        SCOPED_TRACE(verb.front());
        std::vector<std::string> args = {"--simulate=24C16", "--sim-image", chip, "-d", "auto"};
        args.insert(args.end(), verb.begin(), verb.end());
        const CliRun run = cli(args);
        EXPECT_EQ(run.code, 2);
        EXPECT_NE(run.err.find("-d auto only reads"), std::string::npos) << run.err;
    }
    EXPECT_EQ(readAll(chip), m_image);
}

}  // namespace
}  // namespace kavoda
