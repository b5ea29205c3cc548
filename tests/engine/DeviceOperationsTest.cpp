// SPDX-License-Identifier: MIT
// The whole-chip operations and the parallel port's bus behind them, on the
// simulated chip: what the passes show, in which order, what reaches the
// wire and the chip, and how a chip that does not answer stops them.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BusRecorder.h"
#include "PortBackend.h"
#include "DeviceBus.h"
#include "ParallelPortBus.h"
#include "DeviceOperations.h"
#include "EngineFixture.h"
#include "TempFolder.h"
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
    void put(const std::uint8_t* data, std::size_t length) override
    {
        for (std::size_t i = 0; i < length; ++i) {
            if (onPut)
                onPut();
            bytes.push_back(data[i]);
        }
    }
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
    // A simulated chip of the type, with a write cycle of 0 ms (one poll
    // per write) unless told otherwise.
    ParallelPortBus& insert(const ChipType& chip, ChipFault fault = ChipFault::None,
                            std::optional<std::uint64_t> cycleNs = 0)
    {
        PortOptions options;
        options.simulateType = chip.deviceType;
        options.simFault = fault;
        options.simWriteCycleNs = cycleNs;
        m_bus.reset();
        m_session = std::make_unique<PortSession>(options);
        m_bus = std::make_unique<ParallelPortBus>(*m_session);
        return *m_bus;
    }
    ChipJob job(const ChipType& chip, Transfers transfers = Transfers::Bytewise)
    {
        return ChipJob{*m_bus, chip, m_display, transfers};
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
    RecordingDisplay m_display;
};

const ChipType& chipNamed(const char* caption)
{
    return *findChip(caption);
}

TEST_F(DeviceOperationsTest, BytewiseReadShowsEveryStepInOrder)
{
    ParallelPortBus& bus = insert(chipNamed("24C02"));
    ChipJob read = job(chipNamed("24C02"));
    VectorSink sink;
    {
    BusClaim claim(bus);
    ASSERT_EQ(readPass(read, sink), PassEnd::Completed);

    EXPECT_EQ(sink.bytes, chipCells());
    ASSERT_EQ(m_display.percents.size(), 256u);
    EXPECT_EQ(m_display.percents[0], 0);
    EXPECT_EQ(m_display.percents[1], 0);
    EXPECT_EQ(m_display.percents[2], 1);
    EXPECT_EQ(m_display.percents.back(), 100);
    EXPECT_EQ(m_display.addresses.front(), 0);
    EXPECT_EQ(m_display.addresses.back(), 0xFF);
    EXPECT_EQ(m_display.data, sink.bytes);
    EXPECT_EQ(m_display.frame(), (std::vector<std::string>{"caption ", "panel Reading...",
                                                           "caption Operation completed",
                                                           "panel 24C02"}));
    // Messages first, then percent and address, then the byte.
    EXPECT_EQ(std::vector<std::string>(m_display.log.begin() + 2, m_display.log.begin() + 6),
              (std::vector<std::string>{"pump", "percent 0", "address 0", "data 255"}));
    EXPECT_EQ(bus.counters().transactions, 256u);
    EXPECT_EQ(FastTiming, 1);
    }

    // A 24C16's addresses run on across its blocks.
    insert(chipNamed("24C16"));
    ChipJob big = job(chipNamed("24C16"));
    m_display = RecordingDisplay();
    BusClaim again(*m_bus);
    readPass(big, sink);
    ASSERT_EQ(m_display.addresses.size(), 2048u);
    for (int i = 0; i < 2048; ++i)
        ASSERT_EQ(m_display.addresses[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(m_display.percents[1023], 50);
}

TEST_F(DeviceOperationsTest, EveryOperationOnEveryTypeBytewiseAndInRuns)
{
    for (const Transfers transfers : {Transfers::Bytewise, Transfers::Fast}) {
        for (const ChipType* row : chipsOf(Transport::I2c)) {
            const ChipType& type = *row;
            if (type.size > 0x2000)
                continue;  // the larger rows run in the adapter suite
            SCOPED_TRACE(std::string(type.caption) +
                         (transfers == Transfers::Fast ? " in runs" : " bytewise"));
            ParallelPortBus& bus = insert(type);
            BusClaim claim(bus);
            ChipJob chipJob = job(type, transfers);
            m_display = RecordingDisplay();
            m_display.panel = std::string(type.caption);

            ASSERT_EQ(fillPass(chipJob, 0x00, false), PassEnd::Completed);
            EXPECT_EQ(m_display.frame(),
                      (std::vector<std::string>{"caption ", "panel Fill 00",
                                                "caption Operation completed",
                                                "panel " + std::string(type.caption)}));
            EXPECT_EQ(FastTiming, 0);
            EXPECT_EQ(chipCells(), std::vector<std::uint8_t>(type.sizeBytes(), 0x00));

            fillPass(chipJob, 0xFF, true);
            EXPECT_EQ(m_display.frame()[5], "panel Erase...");
            EXPECT_EQ(chipCells(), std::vector<std::uint8_t>(type.sizeBytes(), 0xFF));

            const std::vector<std::uint8_t> image = pattern(type.sizeBytes());
            const std::uint64_t cycles = m_session->simulator()->chip().writeCycles();
            ASSERT_EQ(writePass(chipJob, image), PassEnd::Completed);
            EXPECT_EQ(m_display.frame()[8], "panel Writing...");
            EXPECT_EQ(chipCells(), image);
            // A write cycle per byte, or per page.
            const int unit = transfers == Transfers::Fast ? type.pageSize : 1;
            EXPECT_EQ(m_session->simulator()->chip().writeCycles() - cycles,
                      static_cast<std::uint64_t>(type.sizeBytes() / unit));

            VectorSink sink;
            readPass(chipJob, sink);
            EXPECT_EQ(sink.bytes, image);
            EXPECT_EQ(m_display.percents.back(), 100);
        }
    }
}

TEST_F(DeviceOperationsTest, AShortImageIsWrittenAsFarAsItGoesALongOneAsFarAsTheChip)
{
    ParallelPortBus& bus = insert(chipNamed("24C02"));
    BusClaim claim(bus);
    ChipJob chipJob = job(chipNamed("24C02"));
    fillPass(chipJob, 0xFF, true);

    m_display = RecordingDisplay();
    writePass(chipJob, pattern(100));
    EXPECT_EQ(m_display.addresses.size(), 100u);
    EXPECT_EQ(m_display.percents.back(), 39) << "the meter counts the whole chip";
    std::vector<std::uint8_t> expected = pattern(100);
    expected.resize(256, 0xFF);
    EXPECT_EQ(chipCells(), expected);

    writePass(chipJob, pattern(300, 3));
    std::vector<std::uint8_t> head = pattern(300, 3);
    head.resize(256);
    EXPECT_EQ(chipCells(), head);
}

TEST_F(DeviceOperationsTest, StoppedAndFailedPassesPutThePanelBack)
{
    ParallelPortBus& bus = insert(chipNamed("24C04"));
    BusClaim claim(bus);
    ChipJob chipJob = job(chipNamed("24C04"));

    // A stop request ends the pass at a byte boundary: nothing after it
    // reaches the chip.
    m_display.stopAfterPumps = 10;
    EXPECT_EQ(fillPass(chipJob, 0x00, false), PassEnd::Stopped);
    EXPECT_EQ(bus.counters().writes, 10u);
    std::vector<std::uint8_t> expected(512, 0xFF);
    std::fill(expected.begin(), expected.begin() + 10, 0x00);
    EXPECT_EQ(chipCells(), expected);
    EXPECT_EQ(m_display.panel, "24C02");
    EXPECT_EQ(m_display.caption, "") << "a stopped pass does not claim completion";

    // A sink that fails (the working file) ends the read with its error.
    m_display = RecordingDisplay();
    VectorSink sink;
    sink.onPut = [&] {
        if (sink.bytes.size() == 5)
            throw std::runtime_error("Disk full");
    };
    EXPECT_THROW(readPass(chipJob, sink), std::runtime_error);
    EXPECT_EQ(m_display.panel, "24C02");
    EXPECT_EQ(sink.bytes.size(), 5u);
}

TEST_F(DeviceOperationsTest, APassKeepsTheChipItStartedWith)
{
    ParallelPortBus& bus = insert(chipNamed("SDA3546"));
    BusClaim claim(bus);
    ChipJob chipJob = job(*findDevice("SDA3546"));
    // A type chosen while the pass runs applies from the next pass on.
    m_display.onPump = [](int pump) {
        if (pump == 257)
            SelectDevice(*findDevice("24C16"));
    };
    VectorSink sink;
    EXPECT_EQ(readPass(chipJob, sink), PassEnd::Completed);
    EXPECT_EQ(sink.bytes.size(), 512u);
}

// A chip that does not answer stops the pass where it happened, on every
// path, in a bounded number of transactions.
TEST_F(DeviceOperationsTest, ASilentProtectedOrBusyChipStopsThePass)
{
    const ChipType& c16 = chipNamed("24C16");
    const auto stopText = [](const std::function<void()>& run) {
        try {
            run();
        } catch (const ChipStop& stop) {
            return std::string(stop.what());
        }
        return std::string("no stop");
    };
    for (const Transfers transfers : {Transfers::Bytewise, Transfers::Fast}) {
        ParallelPortBus& bus = insert(c16, ChipFault::EmptySocket);
        BusClaim claim(bus);
        ChipJob chipJob = job(c16, transfers);
        VectorSink sink;
        // A read is tried three times, then stops.
        EXPECT_EQ(stopText([&] { readPass(chipJob, sink); }),
                  "No acknowledge from the 24C16 at 0000: check that the chip sits in the socket "
                  "and the adapter is powered.");
        EXPECT_EQ(bus.counters().transactions, 3u);
        EXPECT_TRUE(sink.bytes.empty());
        // A write stops at once, without polling.
        test::RecordingPort recorder(0x378, installedPortBackend());
        ScopedPortBackend scope(recorder);
        EXPECT_EQ(stopText([&] { fillPass(chipJob, 0x00, true); }),
                  "No acknowledge from the 24C16 at 0000: check that the chip sits in the socket "
                  "and the adapter is powered. Nothing was written.");
        EXPECT_EQ(bus.counters().writes, 1u);
        EXPECT_EQ(recorder.count(test::PortEvent::Read), transfers == Transfers::Fast ? 18 : 3)
            << "the transaction's own acknowledges, and no poll";
    }
    {
        // Address taken, data refused: write protection, named as such.
        ParallelPortBus& bus = insert(c16, ChipFault::WriteProtected);
        BusClaim claim(bus);
        ChipJob chipJob = job(c16, Transfers::Fast);
        std::vector<std::uint8_t> image(2048, 0x12);
        EXPECT_EQ(stopText([&] { writePass(chipJob, image); }),
                  "The 24C16 did not accept data at 0000: it may be write-protected (WP pin "
                  "high). Nothing was written.");
        EXPECT_EQ(chipCells(), std::vector<std::uint8_t>(2048, 0xFF));
    }
    {
        // The first write's cycle never ends: its polls run out, the pass
        // stops there, saying how far it got.
        ParallelPortBus& bus = insert(chipNamed("24C02"), ChipFault::EndlessWriteCycle);
        BusClaim claim(bus);
        ChipJob chipJob = job(chipNamed("24C02"));
        const std::string text = stopText([&] { writePass(chipJob, pattern(256)); });
        EXPECT_EQ(text, "The 24C02 stayed busy after the write at 0000: it did not answer before "
                        "the acknowledge polling ran out. Stopped at 0000 after writing 1 of 256 "
                        "bytes; the chip holds part of the image.");
        EXPECT_EQ(bus.counters().writes, 1u);
    }
}

// A bus that fails the first tries of a read, as a loose contact does.
class FlakyBus final : public DeviceBus {
public:
    FlakyBus(DeviceBus& inner, int failures) : m_inner(inner), m_failures(failures) {}
    void claim() override { m_inner.claim(); }
    void release() noexcept override { m_inner.release(); }
    TransferLimits limits() const override { return m_inner.limits(); }
    ReadOutcome read(const ChipType& chip, const std::vector<ReadRun>& runs) override
    {
        if (runs.front().address == 0x40 && m_failures-- > 0)
            return ReadOutcome{BusResult{BusStatus::NoAcknowledge, 0}, 0};
        return m_inner.read(chip, runs);
    }
    BusResult write(const ChipType& chip, std::uint32_t address, const std::uint8_t* data,
                    std::uint32_t length) override
    {
        if (m_throwAtWrite >= 0 && m_throwAtWrite-- == 0)
            throw PortError("Cannot use the CH341A programmer: No such device");
        return m_inner.write(chip, address, data, length);
    }
    bool poll(const ChipType& chip, std::uint32_t address) override
    {
        return m_inner.poll(chip, address);
    }
    int m_throwAtWrite = -1;

private:
    DeviceBus& m_inner;
    int m_failures;
};

TEST_F(DeviceOperationsTest, ALooseContactIsReadAgainAndALinkFailureSaysHowFarTheWriteGot)
{
    const ChipType& c02 = chipNamed("24C02");
    insert(c02);
    FlakyBus flaky(*m_bus, 2);
    BusClaim claim(flaky);
    ChipJob chipJob{flaky, c02, m_display, Transfers::Bytewise};
    VectorSink sink;
    EXPECT_EQ(readPass(chipJob, sink), PassEnd::Completed);
    EXPECT_EQ(sink.bytes.size(), 256u);
    EXPECT_EQ(retriedReadsText(chipJob),
              "The 24C02 answered 2 reads only when asked again: check the contacts of the "
              "socket and the adapter.");

    FlakyBus unplugged(*m_bus, 0);
    unplugged.m_throwAtWrite = 5;
    ChipJob writing{unplugged, c02, m_display, Transfers::Fast};
    try {
        writePass(writing, pattern(256));
        FAIL() << "no stop";
    } catch (const ChipStop& stop) {
        EXPECT_STREQ(stop.what(), "Cannot use the CH341A programmer: No such device. Stopped at "
                                  "0028 after writing 40 of 256 bytes; the chip holds part of "
                                  "the image.");
        EXPECT_EQ(stop.address(), 0x28u);
    }
}

// The register accesses of each transaction are those of the bus driver:
// 2 + 113 writes and 12 status reads per byte read; 89 writes and 3 reads
// per byte written, plus 35 writes and 1 read per poll. Runs share the
// address phase: a whole read of the 24C16 in runs costs under 40 accesses
// a byte.
TEST_F(DeviceOperationsTest, PassesMakeExactlyTheDriversAccesses)
{
    insert(chipNamed("24C02"));
    {
        BusClaim claim(*m_bus);
        test::RecordingPort recorder(0x378, installedPortBackend());
        ScopedPortBackend scope(recorder);
        ChipJob bytewise = job(chipNamed("24C02"));
        VectorSink sink;
        readPass(bytewise, sink);
        EXPECT_EQ(recorder.writes(), 256 * 115);
        EXPECT_EQ(recorder.count(test::PortEvent::Read), 256 * 12);

        recorder.events.clear();
        writePass(bytewise, pattern(10));
        EXPECT_EQ(recorder.writes(), 10 * (89 + 35));
        EXPECT_EQ(recorder.count(test::PortEvent::Read), 10 * (3 + 1));
    }

    insert(chipNamed("24C16"));
    BusClaim again(*m_bus);
    test::RecordingPort runs(0x378, installedPortBackend());
    ScopedPortBackend runScope(runs);
    ChipJob fast = job(chipNamed("24C16"), Transfers::Fast);
    std::vector<std::uint8_t> bytes;
    readRange(fast, 0, 2048, bytes);
    EXPECT_LE(runs.writes() + runs.count(test::PortEvent::Read), 40 * 2048);
}

TEST_F(DeviceOperationsTest, ClaimOpensThePortForTheOperationOnly)
{
    ParallelPortBus& bus = insert(chipNamed("24C02"));
    EXPECT_EQ(installedPortBackend(), nullptr);
    PortBase = 0x278;
    {
        BusClaim claim(bus);
        ASSERT_NE(installedPortBackend(), nullptr);
        EXPECT_EQ(m_session->simulator()->portBase(), 0x278);
        ChipJob chipJob = job(chipNamed("24C02"));
        writeRuns(chipJob, {WriteRun{7, {0x42}}});
        // A base chosen meanwhile does not move the operation's accesses.
        PortBase = 0x3BC;
        std::vector<std::uint8_t> back;
        readRange(chipJob, 7, 1, back);
        EXPECT_EQ(back, std::vector<std::uint8_t>{0x42});
    }
    EXPECT_EQ(installedPortBackend(), nullptr) << "released between operations";
    EXPECT_EQ(chipCells()[7], 0x42) << "the chip keeps its content across claims";
}

TEST_F(DeviceOperationsTest, DifferentialPlansWriteOnlyWhatDiffersPageByPage)
{
    const ChipType& c16 = chipNamed("24C16");
    insert(c16);
    ChipJob fast = job(c16, Transfers::Fast);
    std::vector<std::uint8_t> chip(2048, 0xFF);
    WantedImage wanted = WantedImage::fromImage(chip, 2048, 0xFF);
    EXPECT_TRUE(planWrite(fast, wanted, &chip).empty());

    // Two bytes of one page: one run from the first to the last; a byte the
    // image leaves open between them keeps the chip's value.
    wanted.bytes[0x102] = 0x01;
    wanted.bytes[0x106] = 0x02;
    wanted.present[0x104] = false;
    chip[0x104] = 0x77;
    wanted.bytes[0x7FF] = 0x03;
    auto runs = planWrite(fast, wanted, &chip);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].address, 0x102u);
    EXPECT_EQ(runs[0].bytes, (std::vector<std::uint8_t>{0x01, 0xFF, 0x77, 0xFF, 0x02}));
    EXPECT_EQ(runs[1].address, 0x7FFu);

    // Without the chip's bytes: every given byte, never across a page.
    runs = planWrite(fast, WantedImage::constant(2048, 0), nullptr);
    ASSERT_EQ(runs.size(), 128u);
    for (const WriteRun& run : runs)
        ASSERT_EQ(run.address % 16 + run.bytes.size(), 16u);
    // Bytewise, one byte each.
    EXPECT_EQ(planWrite(job(c16), wanted, &chip).size(), 3u);
}

TEST_F(DeviceOperationsTest, ADifferentialWriteIsVerifiedOnTheTouchedPagesOnly)
{
    const ChipType& c08 = chipNamed("24C08");
    ParallelPortBus& bus = insert(c08);
    BusClaim claim(bus);
    ChipJob fast = job(c08, Transfers::Fast);
    std::vector<std::uint8_t> before;
    readRange(fast, 0, 1024, before);
    std::vector<std::uint8_t> image = before;
    image[0x21] = 0x5A;
    image[0x3F0] = 0xA5;
    const WantedImage wanted = WantedImage::fromImage(image, 1024, 0xFF);
    const auto runs = planWrite(fast, wanted, &before);
    const WriteOutcome outcome = writeRuns(fast, runs);
    EXPECT_EQ(outcome.written, 2);
    EXPECT_EQ(m_session->simulator()->chip().writeCycles(), 2u);

    const std::uint64_t reads = bus.counters().transactions;
    EXPECT_FALSE(verifyRuns(fast, runs, wanted).has_value());
    EXPECT_EQ(bus.counters().transactions - reads, 2u) << "one run per page";
    EXPECT_EQ(m_display.addresses.back(), 0x3FF) << "the last byte read";

    // The whole page is read back: a neighbour the write disturbed is found.
    WantedImage disturbed = wanted;
    disturbed.bytes[0x20] = static_cast<std::uint8_t>(~before[0x20]);
    disturbed.bytes[0x2F] = static_cast<std::uint8_t>(~before[0x2F]);
    const auto mismatch = verifyRuns(fast, runs, disturbed);
    ASSERT_TRUE(mismatch.has_value());
    EXPECT_EQ(mismatch->address, 0x20u);
    EXPECT_EQ(mismatch->count, 2);
}

// The parallel port's bus with other limits, a read that fails at chosen
// runs, and a link that fails at a chosen write: before it reaches the chip,
// or after its STOP while polling.
class ScriptedBus final : public DeviceBus {
public:
    ScriptedBus(DeviceBus& inner, TransferLimits limits) : m_inner(inner), m_limits(limits) {}
    void claim() override { m_inner.claim(); }
    void release() noexcept override { m_inner.release(); }
    TransferLimits limits() const override { return m_limits; }
    ReadOutcome read(const ChipType& chip, const std::vector<ReadRun>& runs) override
    {
        for (const ReadRun& run : runs)
            reads.push_back(run);
        for (std::size_t i = 0; i < runs.size(); ++i) {
            if (failReads[runs[i].address] > 0) {
                --failReads[runs[i].address];
                return ReadOutcome{BusResult{BusStatus::NoAcknowledge, 0}, i};
            }
        }
        return m_inner.read(chip, runs);
    }
    BusResult write(const ChipType& chip, std::uint32_t address, const std::uint8_t* data,
                    std::uint32_t length) override
    {
        ++writes;
        if (writes != failAtWrite)
            return m_inner.write(chip, address, data, length);
        if (failAfterStop) {
            m_inner.write(chip, address, data, length);
            m_writeStored = true;
        }
        throw PortError("Cannot use the CH341A programmer: No such device");
    }
    bool poll(const ChipType& chip, std::uint32_t address) override
    {
        return m_inner.poll(chip, address);
    }

    std::vector<ReadRun> reads;
    std::map<std::uint32_t, int> failReads;
    int writes = 0;
    int failAtWrite = -1;
    bool failAfterStop = false;

private:
    DeviceBus& m_inner;
    TransferLimits m_limits;
};

// A link that fails part-way through a call of several writes: every write
// that ended on the chip before it counts, the one it failed in counts only
// when its STOP went out; the report says exactly what the chip holds.
TEST_F(DeviceOperationsTest, AWriteThatFailsPartWayCountsWhatTheChipHolds)
{
    const ChipType& c16 = chipNamed("24C16");
    for (const bool afterStop : {false, true}) {
        SCOPED_TRACE(afterStop ? "failed while polling" : "failed before the data");
        insert(c16);
        ScriptedBus bus(*m_bus, TransferLimits{0x100, 0x400, 0x100, 4, false, true});
        bus.failAtWrite = 7;  // the third of the second call's four
        bus.failAfterStop = afterStop;
        BusClaim claim(bus);
        ChipJob chipJob{bus, c16, m_display, Transfers::Fast};
        const std::vector<std::uint8_t> image = pattern(2048);
        const long held = afterStop ? 7 * 16 : 6 * 16;
        try {
            writePass(chipJob, image);
            FAIL() << "no stop";
        } catch (const ChipStop& stop) {
            EXPECT_EQ(std::string(stop.what()),
                      "Cannot use the CH341A programmer: No such device. Stopped at " +
                          addressText(static_cast<std::uint32_t>(held)) + " after writing " +
                          std::to_string(held) +
                          " of 2048 bytes; the chip holds part of the image.");
            EXPECT_EQ(m_display.addresses.back(), held - 1) << "where the window says it stopped";
        }
        std::vector<std::uint8_t> expected(2048, 0xFF);
        std::copy_n(image.begin(), held, expected.begin());
        EXPECT_EQ(chipCells(), expected);
    }
}

// The simulated chip's file taking no more than 1000 bytes: the page it
// failed in is stored whole or not at all, and the count says so.
TEST_F(DeviceOperationsTest, AContentFileThatFailsPartWayKeepsWholePagesAndTheCount)
{
    const test::TempFolder folder;
    const std::string image = folder.file("chip.bin").string();
    PortOptions options;
    options.simulateType = chipNamed("24C16").deviceType;
    options.simImagePath = image;
    options.simWriteCycleNs = 0;
    m_session = std::make_unique<PortSession>(options);
    m_bus = std::make_unique<ParallelPortBus>(*m_session);
    BusClaim claim(*m_bus);
    ChipJob chipJob = job(chipNamed("24C16"), Transfers::Fast);

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    std::string text;
    try {
        writePass(chipJob, pattern(2048));
    } catch (const ChipStop& stop) {
        text = stop.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_NE(text.find("Stopped at 03E0 after writing 992 of 2048 bytes"), std::string::npos)
        << text;
    std::vector<std::uint8_t> expected(2048, 0xFF);
    std::copy_n(pattern(2048).begin(), 992, expected.begin());
    EXPECT_EQ(chipCells(), expected);
    std::ifstream in(image, std::ios::binary);
    const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
    EXPECT_EQ(file, expected) << "the file and the chip agree";
}

// Work goes to the adapter in calls of about a tenth of a second of bus
// time, so a stop comes that soon and the progress moves; a one-byte chip's
// reads never cross its 256-byte blocks; reads, retries and writes keep to
// the adapter's limits and to the page.
TEST_F(DeviceOperationsTest, CallsKeepToTheStopTimeTheBlocksTheLimitsAndThePages)
{
    const ChipType& c512 = chipNamed("24C512");
    std::vector<std::uint8_t> bytes;
    {
        insert(c512);
        BusDelay = kDefaultBusDelay;
        BusClaim claim(*m_bus);
        ChipJob chipJob = job(c512, Transfers::Fast);
        std::vector<std::uint64_t> at;
        m_display.onPump = [&](int) { at.push_back(m_session->simulator()->nowNs()); };
        m_display.stopAfterPumps = 4;
        EXPECT_EQ(readRange(chipJob, 0, 0x10000, bytes), PassEnd::Stopped);
        m_display.onPump = nullptr;
        ASSERT_EQ(at.size(), 5u);
        for (std::size_t i = 1; i < at.size(); ++i)
            EXPECT_LE(at[i] - at[i - 1], kStopLatencyNs) << "between stop checks " << i;
        EXPECT_GE(m_display.percents.size(), 4u) << "the meter moves at every call";
        EXPECT_EQ(m_display.addresses.back() + 1, static_cast<int>(bytes.size()));
        BusDelay = 0;
    }

    {
        const ChipType& c16 = chipNamed("24C16");
        insert(c16);
        ScriptedBus bus(*m_bus, TransferLimits{24, 0x400, 0x100, 1, false, false});
        BusClaim again(bus);
        ChipJob limited{bus, c16, m_display, Transfers::Fast};
        m_display = RecordingDisplay();
        // Two runs that each need two more tries: a loose contact, not a chip
        // that fails three times.
        bus.failReads[0xF8] = 2;
        bus.failReads[0x100] = 2;
        EXPECT_EQ(readRange(limited, 0xE0, 0x40, bytes), PassEnd::Completed);
        EXPECT_EQ(limited.retriedReads, 4);
        for (const ReadRun& run : bus.reads) {
            EXPECT_LE(run.length, 24u);
            EXPECT_EQ(run.address / 256, (run.address + run.length - 1) / 256)
                << "across a block at " << run.address;
        }
    }

    // A 24C128 (64-byte pages) through an adapter writing at most 60 bytes.
    const ChipType& c128 = chipNamed("24C128");
    insert(c128);
    ScriptedBus sixty(*m_bus, TransferLimits{0x100, 0x400, 60, 1, false, false});
    ChipJob pages{sixty, c128, m_display, Transfers::Fast};
    const auto runs = planWrite(pages, WantedImage::constant(16384, 0), nullptr);
    EXPECT_EQ(runs.size(), 512u);
    for (const WriteRun& run : runs) {
        ASSERT_LE(run.bytes.size(), 60u);
        ASSERT_EQ(run.address / 64, (run.address + run.bytes.size() - 1) / 64)
            << "across a page at " << run.address;
    }
}

TEST_F(DeviceOperationsTest, TheComparerReportsTheFirstDifferenceOfTheGivenBytes)
{
    const std::vector<std::uint8_t> image = pattern(100);
    std::vector<std::uint8_t> device = image;
    device.resize(256, 0xFF);
    EXPECT_FALSE(compareWithChip(device, WantedImage::fromImage(image, 256, 0xFF)));

    // Bytes beyond a short image must read 0xFF.
    device[200] = 0x00;
    device[0x1A] = static_cast<std::uint8_t>(image[0x1A] ^ 0x40);
    auto mismatch = compareWithChip(device, WantedImage::fromImage(image, 256, 0xFF));
    ASSERT_TRUE(mismatch);
    EXPECT_EQ(mismatch->address, 0x1Au);
    EXPECT_EQ(mismatch->wrote, image[0x1A]);
    EXPECT_EQ(mismatch->count, 2);

    // Bytes the image does not give are not compared; a part read from an
    // offset compares with the image there.
    WantedImage gaps = WantedImage::fromImage(image, 256, 0xFF);
    gaps.present[0x1A] = false;
    gaps.present[200] = false;
    EXPECT_FALSE(compareWithChip(device, gaps));
    mismatch = compareWithChip({0x00}, WantedImage::fromImage(image, 256, 0xFF), 200);
    ASSERT_TRUE(mismatch);
    EXPECT_EQ(mismatch->address, 200u);

    EXPECT_EQ(verifyFailureText({0x1A3, 0x5A, 0xFF, 1}),
              "Verify failed at 01A3: wrote 5A, read FF (1 byte differs).");
    EXPECT_EQ(verifyFailureText({0x1FFFF, 0, 0xFF, 512}),
              "Verify failed at 1FFFF: wrote 00, read FF (512 bytes differ).");
}

}  // namespace
}  // namespace kavoda
