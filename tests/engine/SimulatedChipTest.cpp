// SPDX-License-Identifier: MIT
// The bus driver against the simulated adapter and chip: round trips over
// every catalogue type, the write cycle, injected faults, the content file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "BusRecorder.h"
#include "DeviceCatalogue.h"
#include "SimulatedChip.h"
#include "ee24c.h"

namespace kavoda {
namespace {

namespace fs = std::filesystem;

constexpr std::uint16_t kBase = 0x378;
constexpr std::uint64_t kShortCycleNs = 40'000;

std::uint8_t pattern(int address)
{
    return static_cast<std::uint8_t>(address * 37 + (address >> 8) * 11 + 5);
}

// A fresh directory per test for content files.
fs::path scratchDir()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path dir = fs::temp_directory_path() /
                   (std::string("kavoda-engine-") + info->test_suite_name() + "-" + info->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

class SimulatedChipTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetDeviceState();
        BusDelay = 0;
        // Bare primitives drive the port of the last transaction.
        DataPort = kBase;
        StatusPort = kBase + 1;
        ControlPort = kBase + 2;
    }
    void TearDown() override
    {
        m_scope.reset();
        m_sim.reset();
        resetDeviceState();
    }

    SimulatedAdapter& insert(ChipOptions options)
    {
        m_scope.reset();
        m_sim = std::make_unique<SimulatedAdapter>(kBase, options);
        m_scope = std::make_unique<ScopedPortBackend>(*m_sim);
        return *m_sim;
    }

    // One byte written as the device operations do, for the selected family.
    static void writeByte(int address, std::uint8_t value)
    {
        const auto block = static_cast<std::uint8_t>(address / 256);
        const auto offset = static_cast<std::uint8_t>(address % 256);
        FastTiming = 0;
        if (familyOf(DeviceType) == Family::SDA)
            WriteByteSDA(kBase, block, offset, value);
        else
            WriteByte24C(kBase, block, offset, value);
    }

    std::uint8_t readByte(int address)
    {
        const auto block = static_cast<std::uint8_t>(address / 256);
        const auto offset = static_cast<std::uint8_t>(address % 256);
        FastTiming = 1;
        return familyOf(DeviceType) == Family::SDA ? ReadByteSDA(kBase, block, offset)
                                                   : ReadByte24C(kBase, block, offset);
    }

    // A byte write with no polling after it, whatever the family.
    static void writeWithoutPolling(std::uint8_t addressByte, std::uint8_t address,
                                    std::uint8_t data)
    {
        StartCondition();
        SendByte(addressByte);
        ReadAck();
        SendByte(address);
        ReadAck();
        SendByte(data);
        ReadAck();
        StopCondition();
    }

    std::unique_ptr<SimulatedAdapter> m_sim;
    std::unique_ptr<ScopedPortBackend> m_scope;
};

TEST_F(SimulatedChipTest, NewChipReadsFFEverywhere)
{
    for (const CatalogueEntry& type : kCatalogue) {
        insert({type.deviceType, "", kShortCycleNs, ChipFault::None});
        SelectDevice(type);
        EXPECT_EQ(readByte(0), 0xFF) << type.caption;
        EXPECT_EQ(readByte(type.sizeBytes() - 1), 0xFF) << type.caption;
    }
}

TEST_F(SimulatedChipTest, WholeChipPatternRoundTripsForEveryType)
{
    for (const CatalogueEntry& type : kCatalogue) {
        SCOPED_TRACE(std::string(type.caption));
        SimulatedAdapter& sim = insert({type.deviceType, "", kShortCycleNs, ChipFault::None});
        SelectDevice(type);
        for (int a = 0; a < type.sizeBytes(); ++a)
            writeByte(a, pattern(a));
        int wrongCells = 0;
        int wrongReads = 0;
        for (int a = 0; a < type.sizeBytes(); ++a) {
            wrongCells += sim.chip().cell(a) != pattern(a);
            wrongReads += readByte(a) != pattern(a);
        }
        EXPECT_EQ(wrongCells, 0);
        EXPECT_EQ(wrongReads, 0);
        EXPECT_EQ(sim.chip().writeCycles(), static_cast<std::uint64_t>(type.sizeBytes()));
    }
}

TEST_F(SimulatedChipTest, BlockBoundariesMapToAbsoluteCells)
{
    for (const CatalogueEntry& type : kCatalogue) {
        if (type.lastBlock == 0)
            continue;
        SCOPED_TRACE(std::string(type.caption));
        SimulatedAdapter& sim = insert({type.deviceType, "", kShortCycleNs, ChipFault::None});
        SelectDevice(type);
        for (int block = 1; block <= type.lastBlock; ++block) {
            writeByte(block * 256 - 1, static_cast<std::uint8_t>(0x10 + block));
            writeByte(block * 256, static_cast<std::uint8_t>(0x80 + block));
        }
        for (int block = 1; block <= type.lastBlock; ++block) {
            EXPECT_EQ(sim.chip().cell(block * 256 - 1), 0x10 + block);
            EXPECT_EQ(sim.chip().cell(block * 256), 0x80 + block);
            EXPECT_EQ(readByte(block * 256 - 1), 0x10 + block);
            EXPECT_EQ(readByte(block * 256), 0x80 + block);
            EXPECT_EQ(readByte(block * 256 + 1), 0xFF);
        }
    }
}

TEST_F(SimulatedChipTest, WrongFamilySelectedForTheChipInTheSocket)
{
    // A 24C16 addressed in the SDA form: block bits land one place higher.
    SimulatedAdapter& sim = insert({4, "", kShortCycleNs, ChipFault::None});
    SelectDevice(*findDevice("SDA3546"));
    writeByte(256 + 7, 0x42);  // SDA block 1 = address byte 0xA4 = 24C16 block 2
    EXPECT_EQ(sim.chip().cell(512 + 7), 0x42);
    EXPECT_EQ(sim.chip().cell(256 + 7), 0xFF);

    // A 24C04 ties its A1 pin low: the SDA form of block 1 addresses nothing.
    SimulatedAdapter& small = insert({2, "", kShortCycleNs, ChipFault::None});
    SelectDevice(*findDevice("SDA3546"));
    writeByte(256, 0x00);
    EXPECT_EQ(small.chip().writeCycles(), 0u);
    EXPECT_EQ(readByte(256), 0xFF);

    // An SDA3586 has a chip select in bit 1: the 24C form of block 1 misses it,
    // that of block 2 is its block 1.
    SimulatedAdapter& sda = insert({8, "", kShortCycleNs, ChipFault::None});
    SelectDevice(*findDevice("24C08"));
    writeByte(256 + 1, 0x11);
    writeByte(512 + 2, 0x22);
    EXPECT_EQ(sda.chip().writeCycles(), 1u);
    EXPECT_EQ(sda.chip().cell(256 + 2), 0x22);
    EXPECT_EQ(readByte(256 + 1), 0xFF);
}

TEST_F(SimulatedChipTest, WriteCycleIgnoresPollsUntilItEnds)
{
    SimulatedAdapter& sim = insert({1, "", std::nullopt, ChipFault::None});
    EXPECT_EQ(sim.chip().writeCycleNs(), kWriteCycleNs24C);

    writeWithoutPolling(0xA0, 0x05, 0x99);
    EXPECT_EQ(sim.chip().cell(5), 0x99) << "stored on the STOP";
    EXPECT_EQ(AckPoll(0), 1) << "busy: no acknowledge";
    EXPECT_EQ(readByte(5), 0xFF) << "a read during the cycle sees nobody";
    sim.elapse(kWriteCycleNs24C);
    EXPECT_EQ(AckPoll(0), 0);
    EXPECT_EQ(readByte(5), 0x99);
}

TEST_F(SimulatedChipTest, PolledWriteReturnsOnlyAfterTheCycle)
{
    SimulatedAdapter& sim = insert({3, "", std::nullopt, ChipFault::None});
    SelectDevice(*findDevice("24C08"));
    const std::uint64_t start = sim.nowNs();
    WriteByte24C(kBase, 2, 0x40, 0x3C);
    EXPECT_GE(sim.nowNs() - start, kWriteCycleNs24C);
    EXPECT_FALSE(sim.chip().writeCycleRunning(sim.nowNs()));
    EXPECT_EQ(readByte(2 * 256 + 0x40), 0x3C);
}

TEST_F(SimulatedChipTest, BackToBackSDAWritesAllStick)
{
    SimulatedAdapter& sim = insert({6, "", std::nullopt, ChipFault::None});
    SelectDevice(*findDevice("SDA3526"));
    FastTiming = 0;
    BusDelay = 10;
    // Without the polling the second START would come three waits after the
    // STOP, well inside the 10 ms cycle, and the chip would ignore it.
    const auto start = sim.nowNs();
    WriteByteSDA(kBase, 0, 1, 0x11);
    EXPECT_GE(sim.nowNs() - start, kWriteCycleNsSDA);
    WriteByteSDA(kBase, 0, 2, 0x22);
    EXPECT_EQ(sim.chip().cell(1), 0x11);
    EXPECT_EQ(sim.chip().cell(2), 0x22);
    EXPECT_EQ(sim.chip().writeCycles(), 2u);
}

TEST_F(SimulatedChipTest, SequentialReadGoesOnToTheNextByte)
{
    SimulatedAdapter& sim = insert({2, "", kShortCycleNs, ChipFault::None});
    SelectDevice(*findDevice("24C04"));
    writeByte(255, 0xAB);
    writeByte(256, 0xCD);
    ReadByte24C(kBase, 0, 254);  // counter now at 255
    // Current-address read of two bytes, acknowledging the first.
    StartCondition();
    SendByte(0xA1);
    EXPECT_EQ(ReadAck(), 0);
    EXPECT_EQ(ReceiveByte(), 0xAB);
    DataLow();  // acknowledge: go on
    ClockHigh();
    ClockLow();
    EXPECT_EQ(ReceiveByte(), 0xCD);
    ReadAck();
    StopCondition();
    EXPECT_EQ(sim.chip().cell(256), 0xCD);
}

TEST_F(SimulatedChipTest, EmptySocketAnswersNothing)
{
    SimulatedAdapter& sim = insert({1, "", std::nullopt, ChipFault::EmptySocket});
    test::RecordingPort recorder(kBase, &sim);
    ScopedPortBackend scope(recorder);
    EXPECT_EQ(readByte(0), 0xFF);
    recorder.events.clear();
    WriteByte24C(kBase, 0, 0, 0x00);
    EXPECT_EQ(recorder.writes(), 89 + 35 * kMaxAckPolls);
    EXPECT_EQ(sim.chip().writeCycles(), 0u);
}

TEST_F(SimulatedChipTest, EndlessWriteCycleKeepsTheChipDeaf)
{
    SimulatedAdapter& sim = insert({1, "", std::nullopt, ChipFault::EndlessWriteCycle});
    test::RecordingPort recorder(kBase, &sim);
    ScopedPortBackend scope(recorder);
    WriteByte24C(kBase, 0, 9, 0x12);
    EXPECT_EQ(recorder.writes(), 89 + 35 * kMaxAckPolls) << "polling gives up";
    sim.elapse(1'000'000'000'000);
    EXPECT_EQ(AckPoll(0), 1);
    EXPECT_EQ(readByte(9), 0xFF);
}

TEST_F(SimulatedChipTest, WritesThatDoNotStick)
{
    SimulatedAdapter& sim = insert({7, "", kShortCycleNs, ChipFault::WritesDoNotStick});
    SelectDevice(*findDevice("SDA3546"));
    writeByte(300, 0x00);
    EXPECT_EQ(sim.chip().writeCycles(), 1u) << "acknowledged and timed";
    EXPECT_EQ(readByte(300), 0xFF);
}

TEST_F(SimulatedChipTest, ContentFileSurvivesAReopen)
{
    const fs::path file = scratchDir() / "chip.bin";
    insert({4, file.string(), kShortCycleNs, ChipFault::None});
    ASSERT_EQ(fs::file_size(file), 2048u);
    SelectDevice(*findDevice("24C16"));
    writeByte(0, 0x01);
    writeByte(2047, 0x7F);
    writeByte(1000, 0x00);

    SimulatedAdapter& again = insert({4, file.string(), kShortCycleNs, ChipFault::None});
    EXPECT_EQ(again.chip().cell(0), 0x01);
    EXPECT_EQ(readByte(2047), 0x7F);
    EXPECT_EQ(readByte(1000), 0x00);
    EXPECT_EQ(readByte(1001), 0xFF);

    std::ifstream in(file, std::ios::binary);
    std::vector<char> bytes(2048);
    in.read(bytes.data(), 2048);
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[2047]), 0x7F);
    EXPECT_FALSE(fs::exists(file.string() + ".new"));
}

TEST_F(SimulatedChipTest, ContentFileOfTheWrongSizeIsRefusedAndKept)
{
    const fs::path file = scratchDir() / "other.bin";
    {
        std::ofstream out(file, std::ios::binary);
        out << "not a 256-byte chip";
    }
    try {
        SimulatedChip chip({1, file.string(), std::nullopt, ChipFault::None});
        FAIL() << "accepted a file of the wrong size";
    } catch (const PortError& e) {
        EXPECT_NE(std::string(e.what()).find("256"), std::string::npos) << e.what();
    }
    std::ifstream in(file);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "not a 256-byte chip");
}

TEST_F(SimulatedChipTest, StatusReadsAsAnIdlePortWithTheDataLineInBit4)
{
    SimulatedAdapter& sim = insert({1, "", std::nullopt, ChipFault::None});
    EXPECT_EQ(sim.read(kBase + 1), 0x7F);
    sim.write(kBase + 2, 0xFE);  // host drives the data line low
    EXPECT_EQ(sim.read(kBase + 1), 0x6F);
    EXPECT_EQ(sim.read(kBase + 2), 0xFE);
    EXPECT_EQ(sim.read(kBase + 7), 0xFF) << "nothing else decodes";
}

}  // namespace
}  // namespace kavoda
