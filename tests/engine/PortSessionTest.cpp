// SPDX-License-Identifier: MIT
// The session front door over the simulator: installing, reopening and
// keeping the chip's content.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "DeviceCatalogue.h"
#include "PortSession.h"
#include "SimulatedChip.h"
#include "ee24c.h"

namespace kavoda {
namespace {

namespace fs = std::filesystem;

fs::path scratchDir()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path dir = fs::temp_directory_path() /
                   (std::string("kavoda-session-") + info->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

class PortSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetDeviceState();
        BusDelay = 0;
    }
    void TearDown() override { resetDeviceState(); }
};

TEST_F(PortSessionTest, InstallsAndUninstallsBehindBytePort)
{
    {
        PortSession session({std::uint8_t{1}, "", ""});
        EXPECT_FALSE(session.isOpen());
        session.open(0x378);
        EXPECT_TRUE(session.isOpen());
        EXPECT_EQ(installedPortBackend(), session.simulator());
        session.close();
        EXPECT_FALSE(session.isOpen());
        EXPECT_EQ(installedPortBackend(), nullptr);
        session.open(0x378);
    }
    EXPECT_EQ(installedPortBackend(), nullptr) << "the destructor uninstalls";
}

TEST_F(PortSessionTest, SimulatedContentLivesAcrossOperationsAndBases)
{
    PortSession session({std::uint8_t{2}, "", ""});
    session.open(0x378);
    FastTiming = 0;
    WriteByte24C(0x378, 1, 0x20, 0x77);
    session.close();
    session.open(0x278);
    EXPECT_EQ(session.simulator()->portBase(), 0x278);
    FastTiming = 1;
    EXPECT_EQ(ReadByte24C(0x278, 1, 0x20), 0x77);
    EXPECT_EQ(ReadByte24C(0x378, 1, 0x20), 0xFF) << "the old base answers no more";
}

TEST_F(PortSessionTest, ContentFileAcrossSessions)
{
    const std::string image = (scratchDir() / "sda.bin").string();
    {
        PortSession session({std::uint8_t{8}, image, ""});
        session.open(0x3BC);
        WriteByteSDA(0x3BC, 3, 0xFF, 0x3A);
    }
    PortSession session({std::uint8_t{8}, image, ""});
    session.open(0x3BC);
    EXPECT_EQ(ReadByteSDA(0x3BC, 3, 0xFF), 0x3A);
}

TEST_F(PortSessionTest, BadSimulationFailsWithPortError)
{
    PortSession unknown({std::uint8_t{5}, "", ""});
    EXPECT_THROW(unknown.open(0x378), PortError);
    EXPECT_FALSE(unknown.isOpen());

    PortSession badTrace({std::uint8_t{1}, "", "/nonexistent-dir/x.vcd"});
    EXPECT_THROW(badTrace.open(0x378), PortError);
    EXPECT_EQ(installedPortBackend(), nullptr);
}

}  // namespace
}  // namespace kavoda
