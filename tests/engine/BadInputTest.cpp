// SPDX-License-Identifier: MIT
// Bad input: the simulated chip's content file in bad places (outputs that
// would overwrite it, a file the user may only read, failures that must name
// their first cause), empty paths on the command line, and numbers at the
// edge of what a long holds.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <limits>

#include "Cli.h"
#include "CliRun.h"
#include "EngineFixture.h"
#include "FileIdentity.h"
#include "PortSession.h"
#include "SimulatedChip.h"
#include "ee24c.h"

namespace kavoda {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string chipBytes(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 7 + 3);
    return bytes;
}

int runTool(std::vector<std::string> args, std::string* err = nullptr)
{
    // A settings folder of its own: the user's Kavoda.INI and calibration stay out.
    CliEnvironment environment;
    environment.settingsFolder = test::scratchDir().string();
    const test::CliRun run = test::runTool(std::move(args), environment);
    if (err)
        *err = run.err;
    resetDeviceState();
    return run.code;
}

PortOptions simulated(std::uint8_t type, const std::string& image, const std::string& trace)
{
    PortOptions options;
    options.simulateType = type;
    options.simImagePath = image;
    options.tracePath = trace;
    return options;
}

class FileSafetyTest : public test::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        m_dir = test::scratchDir();
        m_oldDir = fs::current_path();
    }
    void TearDown() override
    {
        fs::current_path(m_oldDir);
        EngineTest::TearDown();
    }
    fs::path file(const char* name) const { return m_dir / name; }

    fs::path m_dir;
    fs::path m_oldDir;
};

TEST_F(FileSafetyTest, SameFileComparesFilesNotSpellings)
{
    const fs::path chip = file("chip.bin");
    std::ofstream(chip) << "x";
    fs::create_directory(file("sub"));
    fs::create_symlink(chip, file("link.bin"));
    fs::create_hard_link(chip, file("hard.bin"));
    fs::current_path(m_dir);

    EXPECT_TRUE(sameFile(chip.string(), "chip.bin"));
    EXPECT_TRUE(sameFile("./chip.bin", "sub/../chip.bin"));
    EXPECT_TRUE(sameFile("link.bin", chip.string()));
    EXPECT_TRUE(sameFile("hard.bin", "chip.bin"));
    // Not there yet: the file each would create.
    EXPECT_TRUE(sameFile("new.vcd", (m_dir / "sub" / ".." / "new.vcd").string()));
    fs::create_symlink("later.bin", file("dangling.vcd"));
    EXPECT_TRUE(sameFile("dangling.vcd", "later.bin"));

    EXPECT_FALSE(sameFile("chip.bin", "sub/chip.bin"));
    EXPECT_FALSE(sameFile("new.vcd", "new.bin"));
    EXPECT_FALSE(sameFile("chip.bin", ""));
    EXPECT_FALSE(sameFile("", ""));
}

TEST_F(FileSafetyTest, TraceOntoTheContentFileIsRefusedAndTheChipKept)
{
    const fs::path chip = file("chip.bin");
    std::ofstream(chip, std::ios::binary) << chipBytes(256);
    fs::create_symlink(chip, file("link.vcd"));
    fs::current_path(m_dir);

    for (const std::string& trace : {chip.string(), std::string("./chip.bin"), std::string("link.vcd")}) {
        PortSession session(simulated(1, "chip.bin", trace));
        EXPECT_TRUE(session.usesFile(trace));
        try {
            session.open(0x378);
            ADD_FAILURE() << "trace " << trace << " accepted";
        } catch (const PortError& e) {
            EXPECT_NE(std::string(e.what()).find("content file"), std::string::npos) << e.what();
        }
        EXPECT_EQ(installedPortBackend(), nullptr);
        EXPECT_EQ(contents(chip), chipBytes(256)) << trace;
    }

    // Neither exists yet: refused before anything is created.
    PortSession fresh(simulated(1, "new.bin", "./new.bin"));
    EXPECT_THROW(fresh.open(0x378), PortError);
    EXPECT_FALSE(fs::exists(file("new.bin")));

    // The command-line tool: a failure, and the chip's content as it was.
    std::string err;
    EXPECT_NE(runTool({"--simulate", "--sim-image", "chip.bin", "--trace", "chip.bin", "set", "0",
                       "0x00"},
                      &err),
              kExitOk);
    EXPECT_NE(err.find("content file"), std::string::npos) << err;
    EXPECT_EQ(contents(chip), chipBytes(256));

    // Nor may the trace replace the file a verb reads.
    std::ofstream(file("image.bin"), std::ios::binary) << chipBytes(256);
    for (const char* verb : {"write", "verify"}) {
        EXPECT_EQ(runTool({"-q", "-d", "24C02", "--simulate", "--trace", "image.bin", verb,
                           "image.bin"},
                          &err),
                  kExitUsage)
            << verb;
        EXPECT_NE(err.find("trace"), std::string::npos) << err;
        EXPECT_EQ(contents(file("image.bin")), chipBytes(256)) << verb;
    }

    // A trace beside the chip is fine, and the session knows both files.
    PortSession beside(simulated(1, "chip.bin", "bus.vcd"));
    beside.open(0x378);
    EXPECT_TRUE(beside.usesFile("./bus.vcd"));
    EXPECT_TRUE(beside.usesFile((m_dir / "chip.bin").string()));
    EXPECT_FALSE(beside.usesFile("other.bin"));
}

TEST_F(FileSafetyTest, ReadOnlyContentFileServesReadsAndRefusesWrites)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root may write any file; runs as an unprivileged user";
    const fs::path chip = file("chip.bin");
    std::ofstream(chip, std::ios::binary) << chipBytes(512);
    fs::permissions(chip, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

    PortSession session(simulated(2, chip.string(), ""));
    session.open(0x378);
    ASSERT_TRUE(session.simulator()->chip().readOnly());
    FastTiming = 1;
    EXPECT_EQ(ReadByte24C(0x378, 1, 0x10), static_cast<std::uint8_t>(chipBytes(512)[0x110]));
    FastTiming = 0;
    try {
        WriteByte24C(0x378, 1, 0x10, 0x00);
        FAIL() << "a write to a read-only content file went through";
    } catch (const PortError& e) {
        EXPECT_NE(std::string(e.what()).find("read-only"), std::string::npos) << e.what();
    }
    FastTiming = 1;
    EXPECT_EQ(ReadByte24C(0x378, 1, 0x10), static_cast<std::uint8_t>(chipBytes(512)[0x110]))
        << "memory and file agree";
    EXPECT_EQ(contents(chip), chipBytes(512));
    session.close();

    std::string err;
    EXPECT_EQ(runTool({"-d", "24C04", "--simulate", "--sim-image", chip.string(), "get", "0x110"}),
              kExitOk);
    EXPECT_EQ(runTool({"-d", "24C04", "--simulate", "--sim-image", chip.string(), "set", "1", "2"},
                      &err),
              kExitHardware);
    EXPECT_NE(err.find("read-only"), std::string::npos) << err;
}

TEST_F(FileSafetyTest, FailedContentFileNamesItsFirstCause)
{
    // A folder that is not there.
    try {
        SimulatedChip chip({1, (m_dir / "none" / "chip.bin").string(), std::nullopt, ChipFault::None});
        FAIL() << "no error";
    } catch (const PortError& e) {
        EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos)
            << e.what();
    }
    if (geteuid() == 0)
        GTEST_SKIP() << "root may write any folder; runs as an unprivileged user";
    // A folder the user may not write: a permission problem, however the
    // clean-up of the half-made file went.
    const fs::path locked = file("locked");
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    try {
        SimulatedChip chip({1, (locked / "chip.bin").string(), std::nullopt, ChipFault::None});
        FAIL() << "no error";
    } catch (const PortError& e) {
        EXPECT_NE(std::string(e.what()).find("Permission denied"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(fs::is_empty(locked));
    // A file the user may neither read nor write.
    const fs::path closed = file("closed.bin");
    std::ofstream(closed, std::ios::binary) << chipBytes(256);
    fs::permissions(closed, fs::perms::none);
    try {
        SimulatedChip chip({1, closed.string(), std::nullopt, ChipFault::None});
        FAIL() << "no error";
    } catch (const PortError& e) {
        EXPECT_NE(std::string(e.what()).find("Permission denied"), std::string::npos) << e.what();
    }
}

TEST(ParseCliNumber, LimitsUpToTheLargestLong)
{
    constexpr long kTop = std::numeric_limits<long>::max();
    EXPECT_EQ(parseCliNumber("9223372036854775807", kTop), kTop);
    EXPECT_EQ(parseCliNumber("0x7FFFFFFFFFFFFFFF", kTop), kTop);
    EXPECT_EQ(parseCliNumber("9223372036854775808", kTop), std::nullopt);
    EXPECT_EQ(parseCliNumber("92233720368547758070", kTop), std::nullopt);
    EXPECT_EQ(parseCliNumber("0x10000000000000000", kTop), std::nullopt);
    EXPECT_EQ(parseCliNumber("0009009220092090092092900", kTop), std::nullopt);
    // A single digit above a small limit.
    EXPECT_EQ(parseCliNumber("5", 0), std::nullopt);
    EXPECT_EQ(parseCliNumber("0", 0), 0);
    EXPECT_EQ(parseCliNumber("0xF", 14), std::nullopt);
    EXPECT_EQ(parseCliNumber("0xF", 15), 15);
}

}  // namespace
}  // namespace kavoda
