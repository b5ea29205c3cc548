// SPDX-License-Identifier: MIT
// The bus driver against the simulated adapter and chip: round trips over
// every catalogue type, address decoding, the write cycle, injected faults,
// the content file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <fstream>
#include <memory>

#include "BusRecorder.h"
#include "EngineFixture.h"
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

class SimulatedChipTest : public test::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        // Bare primitives drive the port of the last transaction.
        DataPort = kBase;
        StatusPort = kBase + 1;
        ControlPort = kBase + 2;
    }
    void TearDown() override
    {
        m_scope.reset();
        m_sim.reset();
        EngineTest::TearDown();
    }

    SimulatedAdapter& insert(std::uint8_t type, std::optional<std::uint64_t> cycleNs = kShortCycleNs,
                             ChipFault fault = ChipFault::None, const std::string& image = "")
    {
        m_scope.reset();
        m_sim = std::make_unique<SimulatedAdapter>(kBase, ChipOptions{type, image, cycleNs, fault});
        m_scope = std::make_unique<ScopedPortBackend>(*m_sim);
        return *m_sim;
    }

    // One byte written or read as the device operations do, for the selected family.
    static void writeByte(int address, std::uint8_t value)
    {
        FastTiming = 0;
        const WriteFn write = familyOf(DeviceType) == Family::SDA ? WriteByteSDA : WriteByte24C;
        write(kBase, static_cast<std::uint8_t>(address / 256), static_cast<std::uint8_t>(address),
              value);
    }
    static std::uint8_t readByte(int address)
    {
        FastTiming = 1;
        const ReadFn read = familyOf(DeviceType) == Family::SDA ? ReadByteSDA : ReadByte24C;
        return read(kBase, static_cast<std::uint8_t>(address / 256),
                    static_cast<std::uint8_t>(address));
    }

    using ReadFn = std::uint8_t (*)(std::uint16_t, std::uint8_t, std::uint8_t);
    using WriteFn = std::uint8_t (*)(std::uint16_t, std::uint8_t, std::uint8_t, std::uint8_t);

    std::unique_ptr<SimulatedAdapter> m_sim;
    std::unique_ptr<ScopedPortBackend> m_scope;
};

TEST_F(SimulatedChipTest, WholeChipPatternRoundTripsForEveryType)
{
    for (const CatalogueEntry& type : kCatalogue) {
        SCOPED_TRACE(std::string(type.caption));
        SimulatedAdapter& sim = insert(type.deviceType);
        SelectDevice(type);
        EXPECT_EQ(readByte(0), 0xFF) << "a new chip is erased";
        EXPECT_EQ(readByte(type.sizeBytes() - 1), 0xFF);
        // Downwards, so that a byte spilling onto its successor, across a
        // block boundary or not, would show.
        for (int a = type.sizeBytes() - 1; a >= 0; --a)
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

TEST_F(SimulatedChipTest, EachTypeAnswersOnlyItsOwnAddressBytes)
{
    // The write-direction address bytes each type uses; its other address
    // pins are tied low, and bit 1 of the SDA parts is a chip select.
    const std::pair<const char*, std::vector<int>> answers[] = {
        {"24C02", {0xA0}},
        {"24C04", {0xA0, 0xA2}},
        {"24C08", {0xA0, 0xA2, 0xA4, 0xA6}},
        {"24C16", {0xA0, 0xA2, 0xA4, 0xA6, 0xA8, 0xAA, 0xAC, 0xAE}},
        {"SDA3526", {0xA0}},
        {"SDA3546", {0xA0, 0xA4}},
        {"SDA3586", {0xA0, 0xA4, 0xA8, 0xAC}},
    };
    for (const auto& [caption, own] : answers) {
        insert(findDevice(caption)->deviceType);
        for (int addressByte = 0x90; addressByte <= 0xBE; addressByte += 2) {
            StartCondition();
            SendByte(static_cast<std::uint8_t>(addressByte | 1));
            const bool acknowledged = ReadAck() == 0;
            StopCondition();
            const bool expected = std::count(own.begin(), own.end(), addressByte) > 0;
            EXPECT_EQ(acknowledged, expected) << caption << " at " << std::hex << addressByte;
        }
    }
}

TEST_F(SimulatedChipTest, WrongFamilySelectedForTheChipInTheSocket)
{
    // A 24C16 addressed in the SDA form: block bits land one place higher.
    SimulatedAdapter& sim = insert(4);
    SelectDevice(*findDevice("SDA3546"));
    writeByte(256 + 7, 0x42);  // SDA block 1 = address byte 0xA4 = 24C16 block 2
    EXPECT_EQ(sim.chip().cell(512 + 7), 0x42);
    EXPECT_EQ(sim.chip().cell(256 + 7), 0xFF);

    // An SDA3586 addressed in the 24C form: block 2 is its block 1, block 1
    // misses it.
    SimulatedAdapter& sda = insert(8);
    SelectDevice(*findDevice("24C08"));
    writeByte(256 + 1, 0x11);
    writeByte(512 + 2, 0x22);
    EXPECT_EQ(sda.chip().writeCycles(), 1u);
    EXPECT_EQ(sda.chip().cell(256 + 2), 0x22);
    EXPECT_EQ(readByte(256 + 1), 0xFF);
}

TEST_F(SimulatedChipTest, WritesArePolledThroughTheWriteCycleInBothFamilies)
{
    for (const char* caption : {"24C08", "SDA3526"}) {
        SCOPED_TRACE(caption);
        SimulatedAdapter& sim = insert(findDevice(caption)->deviceType, std::nullopt);
        SelectDevice(*findDevice(caption));
        EXPECT_EQ(sim.chip().writeCycleNs(), 10'000'000u) << "the datasheet's 10 ms";
        test::RecordingPort recorder(kBase, &sim);
        ScopedPortBackend scope(recorder);

        const std::uint64_t start = sim.nowNs();
        writeByte(0x41, 0x3C);
        EXPECT_EQ(sim.chip().cell(0x41), 0x3C) << "stored on the STOP";
        EXPECT_GE(sim.nowNs() - start, sim.chip().writeCycleNs());
        EXPECT_FALSE(sim.chip().writeCycleRunning(sim.nowNs()));
        // Polls during the cycle go unanswered; the one after it is acknowledged.
        const std::string transcript = recorder.wireTranscript();
        EXPECT_EQ(transcript.rfind("S A0/0 41/0 3C/0 P S A0/1 P S A0/1 P", 0), 0u);
        EXPECT_EQ(transcript.substr(transcript.size() - 8), "S A0/0 P");
        EXPECT_EQ(transcript.find("/0 P", 20), transcript.size() - 4) << "one acknowledged poll";
        // Back to back: the next write starts after the cycle and sticks too.
        writeByte(0x42, 0x5A);
        EXPECT_EQ(readByte(0x41), 0x3C);
        EXPECT_EQ(readByte(0x42), 0x5A);
        EXPECT_EQ(sim.chip().writeCycles(), 2u);
    }
}

TEST_F(SimulatedChipTest, ChipIsDeafDuringALongWriteCycle)
{
    // A cycle longer than 1000 polls: the write gives up before it ends.
    SimulatedAdapter& sim = insert(1, 1'000'000'000);
    WriteByte24C(kBase, 0, 5, 0x99);
    EXPECT_TRUE(sim.chip().writeCycleRunning(sim.nowNs()));
    EXPECT_EQ(AckPoll(0), 1) << "busy: no acknowledge";
    EXPECT_EQ(readByte(5), 0xFF) << "a read during the cycle sees nobody";
    sim.elapse(1'000'000'000);
    EXPECT_EQ(AckPoll(0), 0);
    EXPECT_EQ(readByte(5), 0x99);
}

TEST_F(SimulatedChipTest, StartInsideAByteAbandonsTheWrite)
{
    SimulatedAdapter& sim = insert(1);
    StartCondition();
    SendByte(0xA0);
    EXPECT_EQ(ReadAck(), 0);
    SendByte(0x07);
    EXPECT_EQ(ReadAck(), 0);
    for (int bit = 0; bit < 4; ++bit) {  // half a data byte
        DataLow();
        ClockHigh();
        ClockLow();
    }
    StartCondition();  // repeated START mid-byte: a new command begins
    SendByte(0xA0);
    EXPECT_EQ(ReadAck(), 0) << "the START was seen mid-byte";
    StopCondition();
    EXPECT_EQ(sim.chip().writeCycles(), 0u) << "nothing complete to store";
    EXPECT_EQ(sim.chip().cell(7), 0xFF);
}

TEST_F(SimulatedChipTest, SequentialReadGoesOnAcrossBlocksAndWrapsAtTheEnd)
{
    SimulatedAdapter& sim = insert(2);
    SelectDevice(*findDevice("24C04"));
    writeByte(255, 0xAB);
    writeByte(256, 0xCD);
    writeByte(511, 0xEF);
    writeByte(0, 0x01);
    // Current-address read of two bytes from `first`, acknowledging the first.
    const auto readTwoFrom = [](int first) {
        readByte(first - 1);
        StartCondition();
        SendByte(0xA1 | ((first / 256) << 1));
        EXPECT_EQ(ReadAck(), 0);
        std::pair<int, int> bytes;
        bytes.first = ReceiveByte();
        DataLow();  // acknowledge: go on
        ClockHigh();
        ClockLow();
        bytes.second = ReceiveByte();
        ReadAck();
        StopCondition();
        return bytes;
    };
    EXPECT_EQ(readTwoFrom(255), std::make_pair(0xAB, 0xCD));
    EXPECT_EQ(readTwoFrom(511), std::make_pair(0xEF, 0x01)) << "wraps within the chip";
    EXPECT_EQ(sim.chip().cell(256), 0xCD);
}

// Page writes and sequential reads as the datasheets describe them, for a
// one-byte and the two-byte addressing classes: the page buffer wraps inside
// its page, the counter goes on after a read and wraps at the end of the
// array, and the 24M parts take their block from the device address.
TEST_F(SimulatedChipTest, PageWritesAndSequentialReadsOfEveryAddressingClass)
{
    const auto write = [](const ChipType& chip, std::uint32_t address,
                          std::vector<std::uint8_t> data) {
        FastTiming = 0;
        return pageWrite(kBase, addressPhase(chip, address), data.data(), data.size());
    };
    const auto read = [](const ChipType& chip, std::uint32_t address, std::size_t n) {
        FastTiming = 1;
        std::vector<std::uint8_t> out(n);
        EXPECT_TRUE(sequentialRead(kBase, addressPhase(chip, address), out.data(), n).ok());
        return out;
    };
    for (const char* caption : {"24C16", "24C64", "24C512", "24M02"}) {
        SCOPED_TRACE(caption);
        const ChipType& chip = *findChip(caption);
        SimulatedAdapter& sim = insert(chip.deviceType);
        const auto page = static_cast<std::uint32_t>(chip.pageSize);
        const std::uint32_t last = static_cast<std::uint32_t>(chip.size) - 1;
        // Three bytes from the last one of a page: the second and third
        // land at the page's start.
        const std::uint32_t pageStart = last - page + 1;
        EXPECT_TRUE(write(chip, last, {0x11, 0x22, 0x33}).ok());
        EXPECT_EQ(sim.chip().cell(static_cast<int>(last)), 0x11);
        EXPECT_EQ(sim.chip().cell(static_cast<int>(pageStart)), 0x22);
        EXPECT_EQ(sim.chip().cell(static_cast<int>(pageStart + 1)), 0x33);
        EXPECT_EQ(sim.chip().writeCycles(), 1u) << "one write cycle for the page";
        // A read from the last byte wraps to the first.
        EXPECT_TRUE(write(chip, 0, {0x44}).ok());
        EXPECT_EQ(read(chip, last, 2), (std::vector<std::uint8_t>{0x11, 0x44}));
        // The counter goes on after a read: a current-address read takes
        // the byte after the last one read.
        StartCondition();
        SendByte(static_cast<std::uint8_t>(addressPhase(chip, 0).device | 1));
        EXPECT_EQ(ReadAck(), 0);
        EXPECT_EQ(ReceiveByte(), 0xFF) << "byte 1, still erased";
        ReadAck();
        StopCondition();
    }
    // The 24M02's upper blocks answer at their device addresses only.
    const ChipType& m02 = *findChip("24M02");
    insert(m02.deviceType);
    EXPECT_TRUE(write(m02, 0x3FFF0, {0x5A}).ok());
    EXPECT_EQ(m_sim->chip().cell(0x3FFF0), 0x5A);
    EXPECT_EQ(read(m02, 0x3FFF0, 1), std::vector<std::uint8_t>{0x5A});
    EXPECT_EQ(read(m02, 0x0FFF0, 1), std::vector<std::uint8_t>{0xFF});
}

TEST_F(SimulatedChipTest, InjectedFaults)
{
    // Empty socket: nothing answers, and a write nobody took is not polled.
    SimulatedAdapter* sim = &insert(1, std::nullopt, ChipFault::EmptySocket);
    test::RecordingPort recorder(kBase, sim);
    {
        ScopedPortBackend scope(recorder);
        EXPECT_EQ(readByte(0), 0xFF);
        EXPECT_EQ(lastTransactionResult().status, BusStatus::NoAcknowledge);
        recorder.events.clear();
        WriteByte24C(kBase, 0, 0, 0x00);
        EXPECT_EQ(recorder.writes(), 89);
        EXPECT_EQ(sim->chip().writeCycles(), 0u);
    }

    // A write cycle that never ends keeps the chip deaf for good: the write
    // polls the full 1000 times.
    sim = &insert(1, std::nullopt, ChipFault::EndlessWriteCycle);
    test::RecordingPort busy(kBase, sim);
    {
        ScopedPortBackend scope(busy);
        WriteByte24C(kBase, 0, 9, 0x12);
        EXPECT_EQ(busy.writes(), 89 + 35 * kMaxAckPolls);
        EXPECT_EQ(lastTransactionResult().status, BusStatus::Busy);
    }
    sim->elapse(1'000'000'000'000);
    EXPECT_EQ(AckPoll(0), 1);
    EXPECT_EQ(readByte(9), 0xFF);

    // Writes that do not stick are acknowledged and timed all the same.
    sim = &insert(7, kShortCycleNs, ChipFault::WritesDoNotStick);
    SelectDevice(*findDevice("SDA3546"));
    writeByte(300, 0x00);
    EXPECT_EQ(sim->chip().writeCycles(), 1u);
    EXPECT_EQ(readByte(300), 0xFF);
}

TEST_F(SimulatedChipTest, ContentFileSurvivesAReopen)
{
    const fs::path file = test::scratchDir() / "chip.bin";
    insert(4, kShortCycleNs, ChipFault::None, file.string());
    ASSERT_EQ(fs::file_size(file), 2048u);
    SelectDevice(*findDevice("24C16"));
    writeByte(0, 0x01);
    writeByte(2047, 0x7F);
    writeByte(1000, 0x00);

    std::ifstream in(file, std::ios::binary);
    std::vector<char> bytes(2048);
    in.read(bytes.data(), 2048);
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[2047]), 0x7F) << "written through as stored";
    EXPECT_FALSE(fs::exists(file.string() + ".new"));

    SimulatedAdapter& again = insert(4, kShortCycleNs, ChipFault::None, file.string());
    EXPECT_EQ(again.chip().cell(0), 0x01);
    EXPECT_EQ(readByte(2047), 0x7F);
    EXPECT_EQ(readByte(1000), 0x00);
    EXPECT_EQ(readByte(1001), 0xFF);
}

// One chip is simulated by one program at a time: a second would keep its
// own cells and lose the first one's writes. Inside one program the chips
// on one file share the lock.
TEST_F(SimulatedChipTest, ContentFileInUseElsewhereIsRefused)
{
    const fs::path file = test::scratchDir() / "chip.bin";
    const ChipOptions options{1, file.string(), std::nullopt, ChipFault::None};
    {
        SimulatedChip first(options);
        SimulatedChip second(options);
        EXPECT_EQ(second.size(), 256);
    }
    // Another program's lock: a descriptor of its own.
    const int other = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    try {
        SimulatedChip chip(options);
        FAIL() << "two programs simulate one chip";
    } catch (const PortError& e) {
        EXPECT_NE(std::string(e.what()).find(file.string() + " is in use by another Kavoda"),
                  std::string::npos)
            << e.what();
    }
    ::close(other);
    EXPECT_NO_THROW(SimulatedChip{options}) << "free again once the other has ended";
}

TEST_F(SimulatedChipTest, ContentFileOfTheWrongSizeIsRefusedAndKept)
{
    const fs::path file = test::scratchDir() / "other.bin";
    std::ofstream(file, std::ios::binary) << "not a 256-byte chip";
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
    SimulatedAdapter& sim = insert(1);
    EXPECT_EQ(sim.read(kBase + 1), 0x7F);
    sim.write(kBase + 2, 0xFE);  // host drives the data line low
    EXPECT_EQ(sim.read(kBase + 1), 0x6F);
    EXPECT_EQ(sim.read(kBase + 2), 0xFE);
    EXPECT_EQ(sim.read(kBase + 7), 0xFF) << "nothing else decodes";
}

}  // namespace
}  // namespace kavoda
