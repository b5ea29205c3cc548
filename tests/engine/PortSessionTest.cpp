// SPDX-License-Identifier: MIT
// The session front door over the simulator: installing, reopening and
// keeping the chip's content.
#include <gtest/gtest.h>

#include "EngineFixture.h"
#include "PortSession.h"
#include "SimulatedChip.h"
#include "ee24c.h"

namespace kavoda {
namespace {

using PortSessionTest = test::EngineTest;

PortOptions simulated(std::uint8_t type, const std::string& image, const std::string& trace)
{
    PortOptions options;
    options.simulateType = type;
    options.simImagePath = image;
    options.tracePath = trace;
    return options;
}

TEST_F(PortSessionTest, InstallsAndUninstallsBehindBytePort)
{
    {
        PortSession session(simulated(1, "", ""));
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

TEST_F(PortSessionTest, SimulatedContentLivesAcrossOperationsBasesAndSessions)
{
    const std::string image = (test::scratchDir() / "chip.bin").string();
    {
        PortSession session(simulated(2, image, ""));
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
    PortSession session(simulated(2, image, ""));
    session.open(0x3BC);
    EXPECT_EQ(ReadByte24C(0x3BC, 1, 0x20), 0x77) << "the content file outlives the session";
}

TEST_F(PortSessionTest, BadSimulationFailsWithPortError)
{
    PortSession unknown(simulated(5, "", ""));
    EXPECT_THROW(unknown.open(0x378), PortError);
    EXPECT_FALSE(unknown.isOpen());

    PortSession badTrace(simulated(1, "", "/nonexistent-dir/x.vcd"));
    EXPECT_THROW(badTrace.open(0x378), PortError);
    EXPECT_EQ(installedPortBackend(), nullptr);
}

}  // namespace
}  // namespace kavoda
