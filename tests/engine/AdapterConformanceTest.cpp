// SPDX-License-Identifier: MIT
// One suite for every adapter on its simulator: the parallel port, the CH341A
// and the kernel I2C bus each carry the whole-chip operations to the same
// bit-level chip, for every row of the chip table, with the same results and
// the same answers to a chip that does not answer.
#include <gtest/gtest.h>

#include <memory>

#include "Adapter.h"
#include "ControllerBus.h"
#include "DeviceBus.h"
#include "DeviceOperations.h"
#include "EngineFixture.h"
#include "PortSession.h"
#include "QuietDisplay.h"
#include "SimulatedChip.h"
#include "SimulatedLink.h"

namespace kavoda {
namespace {

using test::QuietDisplay;

// A simulated chip behind one adapter's transactions, made as the programs
// make them: from the session's options.
struct Rig {
    std::unique_ptr<PortSession> session;
    std::unique_ptr<DeviceBus> bus;

    SimulatedLink* link() const
    {
        auto* controller = dynamic_cast<ControllerBus*>(bus.get());
        return controller ? controller->simulation() : nullptr;
    }
    SimulatedChip& chip() const { return link() ? link()->chip() : session->simulator()->chip(); }
    std::uint64_t transfers() const { return link() ? link()->transfers() : 0; }
};

struct AdapterFactory {
    const char* name;
    const char* adapter;
};

void PrintTo(const AdapterFactory& factory, std::ostream* os)
{
    *os << factory.name;
}

const AdapterFactory kAdapters[] = {
    {"parport", "parport"},
    {"ch341a", "ch341a"},
    {"i2c", "i2c:/dev/i2c-1"},
};

std::vector<std::uint8_t> pattern(int size, int seed)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i)
        bytes[static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(i * 29 + (i >> 8) * 7 + (i >> 16) * 3 + seed);
    return bytes;
}

class AdapterConformance : public test::EngineTest,
                           public ::testing::WithParamInterface<AdapterFactory> {
protected:
    // A short write cycle keeps the parallel port's polling brief; the
    // datasheet cycle is tested on its own below.
    Rig insert(const ChipType& type, ChipFault fault = ChipFault::None,
               std::optional<std::uint64_t> cycleNs = 200'000, std::uint8_t chipAddress = 0)
    {
        PortOptions options;
        options.simulateType = type.deviceType;
        options.simFault = fault;
        options.simWriteCycleNs = cycleNs;
        options.simChipAddress = chipAddress;
        options.adapter = *parseAdapter(GetParam().adapter);
        Rig rig;
        rig.session = std::make_unique<PortSession>(options);
        rig.bus = makeDeviceBus(*rig.session);
        rig.bus->setChipAddress(chipAddress);
        return rig;
    }
    ChipJob job(Rig& rig, const ChipType& type, Transfers transfers = Transfers::Fast)
    {
        return ChipJob{*rig.bus, type, m_display, transfers};
    }
    test::QuietDisplay m_display;
};

std::string stopOf(const std::function<void()>& run)
{
    try {
        run();
    } catch (const ChipStop& stop) {
        return stop.what();
    }
    return "no stop";
}

// Every type, two-byte word addresses and block bits included, lands in its
// own cells and reads back, in runs and byte by byte.
TEST_P(AdapterConformance, EveryTypeIsWrittenReadAndVerified)
{
    for (const ChipType* row : chipsOf(Transport::I2c)) {
        const ChipType& type = *row;
        for (const Transfers transfers : {Transfers::Fast, Transfers::Bytewise}) {
            // Byte by byte, the small types only: the larger ones add nothing
            // to a byte transaction but time.
            if (transfers == Transfers::Bytewise && type.size > 2048)
                continue;
            SCOPED_TRACE(std::string(type.caption) +
                         (transfers == Transfers::Fast ? " in runs" : " bytewise"));
            Rig rig = insert(type);
            BusClaim claim(*rig.bus);
            ChipJob chipJob = job(rig, type, transfers);
            const std::vector<std::uint8_t> image = pattern(type.size, type.deviceType);
            const WantedImage wanted = WantedImage::fromImage(image, image.size(), 0xFF);
            ASSERT_EQ(writeRuns(chipJob, planWrite(chipJob, wanted, nullptr)).end,
                      PassEnd::Completed);
            int wrongCells = 0;
            for (int a = 0; a < type.size; ++a)
                wrongCells += rig.chip().cell(a) != image[static_cast<std::size_t>(a)];
            EXPECT_EQ(wrongCells, 0) << "every block's bytes sit in their own cells";
            std::vector<std::uint8_t> read;
            ASSERT_EQ(readRange(chipJob, 0, static_cast<std::uint32_t>(type.size), read),
                      PassEnd::Completed);
            EXPECT_FALSE(compareWithChip(read, wanted).has_value());
            EXPECT_EQ(retriedReadsText(chipJob), "");
        }
    }
}

TEST_P(AdapterConformance, AChipAtOtherAddressPinsAnswersThereOnly)
{
    const ChipType& type = *findChip("24C64");
    Rig rig = insert(type, ChipFault::None, 200'000, 5);
    BusClaim claim(*rig.bus);
    ChipJob chipJob = job(rig, type);
    writeRuns(chipJob, {WriteRun{0x1234, {0x5A, 0xA5}}});
    EXPECT_EQ(rig.chip().cell(0x1234), 0x5A);
    EXPECT_TRUE(rig.bus->poll(type, 0));
    rig.bus->setChipAddress(0);
    EXPECT_FALSE(rig.bus->poll(type, 0)) << "nothing answers at A0";
}

TEST_P(AdapterConformance, WritesWaitOutTheDatasheetWriteCycle)
{
    for (const char* caption : {"24C08", "SDA3586", "24C256"}) {
        const ChipType& type = *findChip(caption);
        Rig rig = insert(type, ChipFault::None, std::nullopt);
        BusClaim claim(*rig.bus);
        ChipJob chipJob = job(rig, type, Transfers::Bytewise);
        // Back to back: a byte written while the chip still stores the last
        // one would be lost.
        std::vector<WriteRun> runs;
        for (std::uint32_t i = 0; i < 8; ++i)
            runs.push_back(WriteRun{0x300 + i, {static_cast<std::uint8_t>(0x40 + i)}});
        writeRuns(chipJob, runs);
        std::vector<std::uint8_t> read;
        readRange(chipJob, 0x300, 8, read);
        EXPECT_EQ(read, (std::vector<std::uint8_t>{0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47}))
            << caption;
        EXPECT_EQ(rig.chip().writeCycles(), 8u);
    }
}

TEST_P(AdapterConformance, ASilentChipStopsEveryOperationWithinAFewTransactions)
{
    const ChipType& type = *findChip("24C16");
    Rig rig = insert(type, ChipFault::EmptySocket);
    BusClaim claim(*rig.bus);
    ChipJob chipJob = job(rig, type);
    std::vector<std::uint8_t> read;
    const std::string silent = "No acknowledge from the 24C16 at 0000: check that the chip sits "
                               "in the socket and the adapter is powered.";
    EXPECT_EQ(stopOf([&] { readRange(chipJob, 0, 2048, read); }), silent);
    EXPECT_EQ(stopOf([&] { fillPass(chipJob, 0xFF, true); }), silent + " Nothing was written.");
    // Three tries of the first read call (four runs of a block on the
    // CH341A), one write.
    EXPECT_LE(rig.bus->counters().transactions, 3u * 4u + 1u);
    // The CH341A's reads and erase of an empty socket: a few exchanges.
    if (rig.link()) {
        EXPECT_LE(rig.transfers(), 40u);
    }
    EXPECT_EQ(rig.chip().writeCycles(), 0u);
}

TEST_P(AdapterConformance, ProtectedBusyAndReadOnlyChipsAreNamedForWhatTheyAre)
{
    const ChipType& c02 = *findChip("24C02");
    {
        Rig rig = insert(c02, ChipFault::WriteProtected);
        BusClaim claim(*rig.bus);
        ChipJob chipJob = job(rig, c02);
        EXPECT_EQ(stopOf([&] { writeRuns(chipJob, {WriteRun{0x10, {1, 2, 3}}}); }),
                  "The 24C02 did not accept data at 0010: it may be write-protected (WP pin "
                  "high). Nothing was written.");
        EXPECT_EQ(rig.chip().cell(0x10), 0xFF);
    }
    {
        Rig rig = insert(*findChip("SDA3526"), ChipFault::EndlessWriteCycle);
        BusClaim claim(*rig.bus);
        ChipJob chipJob = job(rig, *findChip("SDA3526"));
        EXPECT_EQ(stopOf([&] { fillPass(chipJob, 0x12, false); }),
                  "The SDA3526 stayed busy after the write at 0000: it did not answer before "
                  "the acknowledge polling ran out. Stopped at 0000 after writing 1 of 256 "
                  "bytes; the chip holds part of the image.");
    }
    {
        Rig rig = insert(c02, ChipFault::WritesDoNotStick);
        BusClaim claim(*rig.bus);
        ChipJob chipJob = job(rig, c02);
        const WantedImage wanted = WantedImage::fromImage(pattern(256, 9), 256, 0xFF);
        const auto runs = planWrite(chipJob, wanted, nullptr);
        writeRuns(chipJob, runs);
        const auto mismatch = verifyRuns(chipJob, runs, wanted);
        ASSERT_TRUE(mismatch.has_value()) << "only a verify finds writes that do not stick";
        EXPECT_EQ(mismatch->address, 0u);
    }
}

// A regression to per-byte work fails here: whole-chip read and write of a
// 24C16 in transfers (or port accesses) and write cycles.
TEST_P(AdapterConformance, RunsKeepTransfersAndWriteCyclesFew)
{
    const ChipType& type = *findChip("24C16");
    Rig rig = insert(type);
    BusClaim claim(*rig.bus);
    ChipJob chipJob = job(rig, type);
    const std::uint64_t start = rig.transfers();
    std::vector<std::uint8_t> read;
    readRange(chipJob, 0, 2048, read);
    const std::uint64_t reads = rig.transfers() - start;
    writeRuns(chipJob, planWrite(chipJob, WantedImage::constant(2048, 0x33), nullptr));
    const std::uint64_t writes = rig.transfers() - start - reads;
    EXPECT_EQ(rig.chip().writeCycles(), 128u);
    EXPECT_EQ(rig.bus->counters().writes, 128u);
    if (std::string(GetParam().name) == "ch341a") {
        EXPECT_LE(reads, 12u);
        EXPECT_LE(writes, 5u * 128u);
    } else if (std::string(GetParam().name) == "i2c") {
        EXPECT_EQ(reads, 8u) << "one transfer per block";
    } else {
        EXPECT_EQ(rig.bus->counters().transactions, 8u + 128u);
    }
}

INSTANTIATE_TEST_SUITE_P(Adapters, AdapterConformance, ::testing::ValuesIn(kAdapters),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kavoda
