// SPDX-License-Identifier: MIT
// The whole-device loops, the parallel port's bus behind them and the
// acknowledge record, on the simulated chip: what the loops show, in which
// order, what reaches the chip and what the record says afterwards.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BusRecorder.h"
#include "DeviceBus.h"
#include "DeviceOperations.h"
#include "EngineFixture.h"
#include "PortSession.h"
#include "SimulatedChip.h"
#include "ee24c.h"

namespace kavoda {
namespace {

// Every call the loops make on what they show, as one line each.
class RecordingDisplay final : public OperationDisplay {
public:
    std::vector<std::string> log;
    std::vector<int> percents;
    std::vector<int> addresses;
    std::vector<std::uint8_t> data;
    std::string panel = "24C02";
    std::string caption = "left over";
    int pumps = 0;
    int stopAfterPumps = -1;
    std::function<void(int pump)> onPump;

    void processMessages() override
    {
        ++pumps;
        log.push_back("pump");
        if (onPump)
            onPump(pumps);
    }
    bool stopRequested() const override { return stopAfterPumps >= 0 && pumps > stopAfterPumps; }
    void showPercent(int percent) override
    {
        percents.push_back(percent);
        log.push_back("percent " + std::to_string(percent));
    }
    void showAddress(int address) override
    {
        addresses.push_back(address);
        log.push_back("address " + std::to_string(address));
    }
    void showData(std::uint8_t value) override
    {
        data.push_back(value);
        log.push_back("data " + std::to_string(value));
    }
    std::string panelText() const override { return panel; }
    void setPanelText(const std::string& text) override
    {
        panel = text;
        log.push_back("panel " + text);
    }
    void setMeterCaption(const std::string& text) override
    {
        caption = text;
        log.push_back("caption " + text);
    }

    // The log without the per-byte lines.
    std::vector<std::string> frame() const
    {
        std::vector<std::string> out;
        for (const auto& line : log) {
            if (line.rfind("panel", 0) == 0 || line.rfind("caption", 0) == 0)
                out.push_back(line);
        }
        return out;
    }
};

class VectorSink final : public ByteSink {
public:
    std::vector<std::uint8_t> bytes;
    std::function<void()> onPut;
    void put(std::uint8_t value) override
    {
        if (onPut)
            onPut();
        bytes.push_back(value);
    }
};

class VectorSource final : public ByteSource {
public:
    explicit VectorSource(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    void rewind() override
    {
        m_pos = 0;
        ++rewinds;
    }
    bool atEnd() override
    {
        ++endTests;
        return m_pos >= m_bytes.size();
    }
    std::uint8_t next() override { return m_bytes.at(m_pos++); }
    int rewinds = 0;
    int endTests = 0;

private:
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
};

std::vector<std::uint8_t> pattern(int size, int seed = 7)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 31 + (i >> 8) + seed);
    return bytes;
}

class DeviceOperationsTest : public test::EngineTest {
protected:
    // A simulated chip of the entry's type, selected, with a write cycle of
    // 0 ms (one poll per write) unless told otherwise.
    ParallelPortBus& insert(const CatalogueEntry& entry, ChipFault fault = ChipFault::None,
                            std::optional<std::uint64_t> cycleNs = 0)
    {
        PortOptions options;
        options.simulateType = entry.deviceType;
        options.simFault = fault;
        options.simWriteCycleNs = cycleNs;
        m_bus.reset();
        m_session = std::make_unique<PortSession>(options);
        m_bus = std::make_unique<ParallelPortBus>(*m_session);
        SelectDevice(entry);
        return *m_bus;
    }
    std::vector<std::uint8_t> chipCells() const
    {
        const SimulatedChip& chip = m_session->simulator()->chip();
        std::vector<std::uint8_t> cells;
        for (int i = 0; i < chip.size(); ++i)
            cells.push_back(chip.cell(i));
        return cells;
    }
    void TearDown() override
    {
        m_bus.reset();
        m_session.reset();
        EngineTest::TearDown();
    }

    std::unique_ptr<PortSession> m_session;
    std::unique_ptr<ParallelPortBus> m_bus;
};

const CatalogueEntry& entry(const char* caption)
{
    return *findDevice(caption);
}

TEST_F(DeviceOperationsTest, ReadShowsEveryStepInOrder)
{
    ParallelPortBus& bus = insert(entry("24C02"));
    RecordingDisplay display;
    VectorSink sink;
    BusClaim claim(bus);
    ASSERT_EQ(readPass(bus, display, sink), PassEnd::Completed);

    EXPECT_EQ(sink.bytes, chipCells());
    ASSERT_EQ(display.percents.size(), 256u);
    EXPECT_EQ(display.percents[0], 0);
    EXPECT_EQ(display.percents[1], 0);
    EXPECT_EQ(display.percents[2], 1);
    EXPECT_EQ(display.percents.back(), 100);
    EXPECT_EQ(display.addresses.front(), 0);
    EXPECT_EQ(display.addresses.back(), 0xFF);
    EXPECT_EQ(display.data, sink.bytes);
    EXPECT_EQ(display.frame(), (std::vector<std::string>{"caption ", "panel Reading...",
                                                         "caption Operation completed",
                                                         "panel 24C02"}));
    // Messages first, then percent and address, then the byte.
    EXPECT_EQ(std::vector<std::string>(display.log.begin() + 2, display.log.begin() + 6),
              (std::vector<std::string>{"pump", "percent 0", "address 0", "data 255"}));
    EXPECT_EQ(bus.acks().transactions, 256u);
    EXPECT_TRUE(bus.acks().clean());
}

TEST_F(DeviceOperationsTest, AddressesRunOnAcrossBlocks)
{
    ParallelPortBus& bus = insert(entry("24C16"));
    RecordingDisplay display;
    VectorSink sink;
    BusClaim claim(bus);
    readPass(bus, display, sink);
    ASSERT_EQ(display.addresses.size(), 2048u);
    for (int i = 0; i < 2048; ++i)
        ASSERT_EQ(display.addresses[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(display.percents[1023], 50);
    EXPECT_EQ(display.percents.back(), 100);
}

TEST_F(DeviceOperationsTest, EveryOperationOnEveryType)
{
    for (const CatalogueEntry& type : kCatalogue) {
        SCOPED_TRACE(std::string(type.caption));
        ParallelPortBus& bus = insert(type);
        BusClaim claim(bus);
        RecordingDisplay display;
        display.panel = std::string(type.panelText);

        ASSERT_EQ(fillPass(bus, display, 0x00, false), PassEnd::Completed);
        EXPECT_EQ(display.frame(), (std::vector<std::string>{
                                       "caption ", "panel Fill 00", "caption Operation completed",
                                       "panel " + std::string(type.panelText)}));
        EXPECT_EQ(chipCells(), std::vector<std::uint8_t>(type.sizeBytes(), 0x00));

        fillPass(bus, display, 0xFF, true);
        EXPECT_EQ(display.frame()[5], "panel Erase...");
        EXPECT_EQ(chipCells(), std::vector<std::uint8_t>(type.sizeBytes(), 0xFF));

        const std::vector<std::uint8_t> image = pattern(type.sizeBytes());
        VectorSource source(image);
        ASSERT_EQ(writePass(bus, display, source), PassEnd::Completed);
        EXPECT_EQ(display.frame()[8], "panel Writing...");
        EXPECT_EQ(chipCells(), image);

        VectorSink sink;
        readPass(bus, display, sink);
        EXPECT_EQ(sink.bytes, image);
        EXPECT_TRUE(bus.acks().clean());
        EXPECT_EQ(bus.acks().transactions, 4u * static_cast<unsigned>(type.sizeBytes()));
    }
}

TEST_F(DeviceOperationsTest, WriteStopsAtTheEndOfEitherImageOrDevice)
{
    ParallelPortBus& bus = insert(entry("24C02"));
    BusClaim claim(bus);
    RecordingDisplay display;
    fillPass(bus, display, 0xFF, true);

    // A short image leaves the rest as the erase left it; the end test runs
    // before every byte and once more in each block after the end.
    VectorSource shortImage(pattern(100));
    display = RecordingDisplay();
    writePass(bus, display, shortImage);
    EXPECT_EQ(shortImage.rewinds, 1);
    EXPECT_EQ(shortImage.endTests, 101);
    EXPECT_EQ(display.addresses.size(), 100u);
    EXPECT_EQ(display.pumps, 101);
    std::vector<std::uint8_t> expected = pattern(100);
    expected.resize(256, 0xFF);
    EXPECT_EQ(chipCells(), expected);

    // A long one is written as far as the device goes.
    VectorSource longImage(pattern(300, 3));
    writePass(bus, display, longImage);
    std::vector<std::uint8_t> head = pattern(300, 3);
    head.resize(256);
    EXPECT_EQ(chipCells(), head);
}

TEST_F(DeviceOperationsTest, EndedPassesPutThePanelBack)
{
    ParallelPortBus& bus = insert(entry("24C04"));
    BusClaim claim(bus);

    // A stop request ends the pass at a byte boundary: nothing after it
    // reaches the chip.
    RecordingDisplay display;
    display.stopAfterPumps = 10;
    EXPECT_EQ(fillPass(bus, display, 0x00, false), PassEnd::Stopped);
    EXPECT_EQ(bus.acks().transactions, 10u);
    std::vector<std::uint8_t> expected(512, 0xFF);
    std::fill(expected.begin(), expected.begin() + 10, 0x00);
    EXPECT_EQ(chipCells(), expected);
    EXPECT_EQ(display.panel, "24C02");
    EXPECT_EQ(display.caption, "") << "a stopped pass does not claim completion";

    // A sink that fails (the working file) ends the read with its error.
    RecordingDisplay failing;
    VectorSink sink;
    sink.onPut = [&] {
        if (sink.bytes.size() == 5)
            throw std::runtime_error("Disk full");
    };
    EXPECT_THROW(readPass(bus, failing, sink), std::runtime_error);
    EXPECT_EQ(failing.panel, "24C02");
    EXPECT_EQ(sink.bytes.size(), 5u);
}

TEST_F(DeviceOperationsTest, FamilyIsChosenPerByteAndSizeOnce)
{
    ParallelPortBus& bus = insert(entry("SDA3546"));
    BusClaim claim(bus);
    RecordingDisplay display;
    // A device chosen while the pass runs changes the family from the next
    // byte on, but not the number of bytes.
    display.onPump = [](int pump) {
        if (pump == 257)
            SelectDevice(*findDevice("24C16"));
    };
    VectorSink sink;
    readPass(bus, display, sink);
    EXPECT_EQ(sink.bytes.size(), 512u);
    // The SDA3546 answers the 24C form only for block 0 (0xA2 sets its chip
    // select bit): block 1 then goes unanswered.
    EXPECT_EQ(bus.acks().unanswered, 256u);
}

TEST_F(DeviceOperationsTest, AcknowledgeRecordNamesTheFault)
{
    {
        ParallelPortBus& bus = insert(entry("24C16"), ChipFault::EmptySocket);
        BusClaim claim(bus);
        RecordingDisplay display;
        VectorSink sink;
        readPass(bus, display, sink);
        EXPECT_EQ(sink.bytes, std::vector<std::uint8_t>(2048, 0xFF));
        EXPECT_EQ(bus.acks().unanswered, 2048u);
        EXPECT_EQ(ackReportText(bus.acks(), "24C16"),
                  "No acknowledge from the 24C16: check that the chip sits in the socket and "
                  "the adapter is powered.");
    }
    {
        // The first byte starts a write cycle that never ends: its polls run
        // out, and nothing after it is answered.
        ParallelPortBus& bus = insert(entry("24C02"), ChipFault::EndlessWriteCycle);
        BusClaim claim(bus);
        bus.writeByte(Family::C24, 0, 0, 0x11);
        EXPECT_EQ(bus.acks().unanswered, 0u);
        EXPECT_EQ(bus.acks().pollsRanOut, 1u);
        bus.writeByte(Family::C24, 0, 1, 0x22);
        bus.readByte(Family::C24, 0, 0);
        const AckRecord acks = bus.acks();
        EXPECT_EQ(acks.transactions, 3u);
        EXPECT_EQ(acks.unanswered, 2u);
        EXPECT_EQ(acks.pollsRanOut, 2u);
        EXPECT_EQ(ackReportText(acks, "24C02"),
                  "The 24C02 stayed busy: 2 writes were not acknowledged before the polling "
                  "ran out.");
        bus.clearAcks();
        EXPECT_EQ(bus.acks().transactions, 0u);
    }
    {
        // Writes that do not stick are answered in full: only a verify
        // finds them.
        ParallelPortBus& bus = insert(entry("SDA3526"), ChipFault::WritesDoNotStick);
        BusClaim claim(bus);
        RecordingDisplay display;
        fillPass(bus, display, 0x00, false);
        EXPECT_TRUE(bus.acks().clean());
        EXPECT_EQ(ackReportText(bus.acks(), "SDA3526"), "");
    }
    AckRecord partial;
    partial.transactions = 2048;
    partial.unanswered = 1536;
    EXPECT_EQ(ackReportText(partial, "24C16"),
              "The 24C16 did not acknowledge 1536 of 2048 transactions: check the chip type and "
              "the adapter.");
}

// The register accesses of each transaction are those of the bus driver,
// recording or not: 2 + 113 writes and 12 status reads per read; 89 writes
// and 3 reads per write, plus 35 writes and 1 read per poll.
TEST_F(DeviceOperationsTest, LoopsMakeExactlyTheDriversAccesses)
{
    for (const ChipFault fault : {ChipFault::None, ChipFault::EmptySocket}) {
        ParallelPortBus& bus = insert(entry("24C02"), fault);
        BusClaim claim(bus);
        test::RecordingPort recorder(0x378, installedPortBackend());
        ScopedPortBackend scope(recorder);
        RecordingDisplay display;
        VectorSink sink;
        readPass(bus, display, sink);
        EXPECT_EQ(recorder.writes(), 256 * 115);
        EXPECT_EQ(recorder.count(test::PortEvent::Read), 256 * 12);

        recorder.events.clear();
        VectorSource image(pattern(10));
        writePass(bus, display, image);
        const int polls = fault == ChipFault::None ? 1 : kMaxAckPolls;
        EXPECT_EQ(recorder.writes(), 10 * (89 + 35 * polls));
        EXPECT_EQ(recorder.count(test::PortEvent::Read), 10 * (3 + polls));
    }
}

TEST_F(DeviceOperationsTest, ClaimOpensThePortForTheOperationOnly)
{
    ParallelPortBus& bus = insert(entry("24C02"));
    EXPECT_EQ(installedPortBackend(), nullptr);
    PortBase = 0x278;
    {
        BusClaim claim(bus);
        ASSERT_NE(installedPortBackend(), nullptr);
        EXPECT_EQ(m_session->simulator()->portBase(), 0x278);
        bus.writeByte(Family::C24, 0, 7, 0x42);
        // A base chosen meanwhile does not move the operation's accesses.
        PortBase = 0x3BC;
        EXPECT_EQ(bus.readByte(Family::C24, 0, 7), 0x42);
        EXPECT_TRUE(bus.acks().clean());
    }
    EXPECT_EQ(installedPortBackend(), nullptr) << "released between operations";
    EXPECT_EQ(chipCells()[7], 0x42) << "the chip keeps its content across claims";
}

TEST_F(DeviceOperationsTest, VerifyComparesTheDeviceWithTheImage)
{
    const std::vector<std::uint8_t> image = pattern(100);
    std::vector<std::uint8_t> device = image;
    device.resize(256, 0xFF);
    EXPECT_FALSE(verifyDevice(device, image));

    // Bytes beyond a short image must read 0xFF.
    device[200] = 0x00;
    device[0x1A] = static_cast<std::uint8_t>(image[0x1A] ^ 0x40);
    auto mismatch = verifyDevice(device, image);
    ASSERT_TRUE(mismatch);
    EXPECT_EQ(mismatch->address, 0x1A);
    EXPECT_EQ(mismatch->wrote, image[0x1A]);
    EXPECT_EQ(mismatch->count, 2);

    // Bytes of a long image beyond the device are not compared.
    std::vector<std::uint8_t> longImage = pattern(300);
    std::vector<std::uint8_t> head(longImage.begin(), longImage.begin() + 256);
    EXPECT_FALSE(verifyDevice(head, longImage));

    // A fill compares with its value.
    EXPECT_FALSE(verifyDevice(std::vector<std::uint8_t>(512, 0), {}, 0x00));
    mismatch = verifyDevice(std::vector<std::uint8_t>(512, 0xFF), {}, 0x00);
    ASSERT_TRUE(mismatch);
    EXPECT_EQ(verifyFailureText(*mismatch), "Verify failed at 0000: wrote 00, read FF (512 bytes differ).");
    EXPECT_EQ(verifyFailureText({0x1A3, 0x5A, 0xFF, 1}),
              "Verify failed at 01A3: wrote 5A, read FF (1 byte differs).");
}

}  // namespace
}  // namespace kavoda
