// SPDX-License-Identifier: MIT
// The bus scan and the identification on every adapter's simulator: every
// row of the chip table with random, blank and uniform content, at its
// lowest and highest pin levels, beside another device and ignoring its
// pins. Never a wrong type called certain, never a write cycle (the scan
// included).
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <random>

#include "Adapter.h"
#include "Ch341a.h"
#include "ControllerBus.h"
#include "EngineFixture.h"
#include "Identify.h"
#include "PortSession.h"
#include "SimulatedChip.h"
#include "SimulatedLink.h"

namespace kavoda {
namespace {

enum class Content { Random, Blank, Uniform };

struct Rig {
    std::unique_ptr<PortSession> session;
    std::unique_ptr<DeviceBus> bus;

    SimulatedLink* link() const
    {
        auto* controller = dynamic_cast<ControllerBus*>(bus.get());
        return controller ? controller->simulation() : nullptr;
    }
    SimulatedChip& chip() const { return link() ? link()->chip() : session->simulator()->chip(); }
    std::uint64_t nowNs() const { return link() ? link()->nowNs() : session->simulator()->nowNs(); }
    std::uint64_t elapsedNs = 0;  // of the last identification, on the simulator's time
};

class Identify : public test::EngineTest, public ::testing::WithParamInterface<const char*> {
protected:
    Rig insert(const ChipType& type, Content content, std::uint8_t pins,
               ChipFault fault = ChipFault::None)
    {
        PortOptions options;
        options.simulateType = type.deviceType;
        options.simChipAddress = pins;
        options.simFault = fault;
        options.adapter = *parseAdapter(GetParam());
        if (content != Content::Blank) {
            const std::string path = (test::scratchDir() / "chip.bin").string();
            std::vector<char> bytes(static_cast<std::size_t>(type.size), 0x3C);
            if (content == Content::Random) {
                std::mt19937 random(type.deviceType * 8u + pins);
                for (char& b : bytes)
                    b = static_cast<char>(random());
            }
            std::ofstream(path, std::ios::binary | std::ios::trunc)
                .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            options.simImagePath = path;
        }
        Rig rig;
        rig.session = std::make_unique<PortSession>(options);
        rig.bus = makeDeviceBus(*rig.session);
        return rig;
    }

    Identification identify(Rig& rig)
    {
        BusClaim claim(*rig.bus);
        const std::uint64_t start = rig.nowNs();
        Identification found = identifyI2c(*rig.bus);
        rig.elapsedNs = rig.nowNs() - start;
        // The whole scan answers as the probes of identify did.
        std::vector<std::uint8_t> seen;
        for (const AddressSeen& s : found.seen)
            seen.push_back(s.address);
        EXPECT_EQ(scanBus(*rig.bus), seen);
        return found;
    }
};

bool contains(const std::vector<const ChipType*>& chips, const ChipType& type)
{
    return std::find(chips.begin(), chips.end(), &type) != chips.end();
}

const char* contentName(Content content)
{
    return content == Content::Random ? "random" : content == Content::Blank ? "blank" : "uniform";
}

// Every row, every content, the lowest and the highest pin level it has.
TEST_P(Identify, EveryRowIsNamedWhenTheContentTellsAndNeverWronglyCalledCertain)
{
    std::uint64_t slowest = 0;
    for (const ChipType& type : kChipTable) {
        if (transportOf(type.family) != Transport::I2c)
            continue;
        for (const std::uint8_t pins : {std::uint8_t{0}, type.chipAddressMask}) {
            for (const Content content : {Content::Random, Content::Blank, Content::Uniform}) {
                SCOPED_TRACE(std::string(type.caption) + " at pins " + std::to_string(pins) +
                             ", " + contentName(content));
                Rig rig = insert(type, content, pins);
                const Identification found = identify(rig);
                EXPECT_EQ(rig.chip().writeCycles(), 0u);
                slowest = std::max(slowest, rig.elapsedNs);
                if (std::string(GetParam()) == "ch341a") {
                    EXPECT_LT(rig.elapsedNs, 1'000'000'000u) << "at 100 kHz";
                }
                if (content == Content::Random) {
                    ASSERT_EQ(found.confidence, Confidence::Certain) << found.verdict;
                    EXPECT_EQ(found.chosen.pins, pins);
                    EXPECT_TRUE(found.doubts.empty());
                } else {
                    EXPECT_EQ(found.confidence, Confidence::Undecided) << found.verdict;
                    EXPECT_EQ(found.verdict.rfind("blank or uniform content: one of ", 0), 0u)
                        << found.verdict;
                    EXPECT_TRUE(contains(found.candidates, type)) << found.verdict;
                }
                if (found.confidence == Confidence::Certain) {
                    EXPECT_TRUE(contains(found.alike, type)) << found.verdict;
                    // Only a 24C02 at 0x50 and an SDA3526 read alike: neither can
                    // be told from the other without a write.
                    const bool twin =
                        (type.caption == "24C02" || type.caption == "SDA3526") && pins == 0;
                    EXPECT_EQ(found.alike.size(), twin ? 2u : 1u) << found.verdict;
                }
            }
        }
    }
    RecordProperty("slowest_us", std::to_string(slowest / 1000));
}

TEST_P(Identify, TheVerdictGivesItsEvidence)
{
    Rig rig = insert(*findChip("24C16"), Content::Random, 0);
    EXPECT_EQ(identify(rig).verdict,
              "24C16 (certain: 8 blocks answer, 1-byte addressing, no wrap below 2 KiB)");
    rig = insert(*findChip("24C64"), Content::Random, 5);
    EXPECT_EQ(identify(rig).verdict,
              "24C64 (certain: 1 block answers at 0x55, 2-byte addressing, wraps at 8 KiB)");
}

// A 24C02 that ignores its pins answers on all eight addresses with the
// same cells: not a 24C16, whose eight blocks differ.
TEST_P(Identify, APartIgnoringItsPinsIsOneBlockMirroredEightTimes)
{
    Rig rig = insert(*findChip("24C02"), Content::Random, 0, ChipFault::IgnoresPins);
    const Identification found = identify(rig);
    ASSERT_EQ(found.confidence, Confidence::Certain) << found.verdict;
    EXPECT_EQ(found.chosen.chip, findChip("24C02"));
    EXPECT_TRUE(found.chosen.ignoresPins);
    EXPECT_EQ(found.seen.size(), 8u);
    EXPECT_EQ(rig.chip().writeCycles(), 0u);
}

// Another device at 0x52 that sends the same bytes from any address: a
// doubt, never a block of the chip (a 24C02 at 0x50 and a block at 0x52
// would make an SDA3546).
TEST_P(Identify, AnotherDeviceOnTheBusIsNamedAsADoubt)
{
    for (const char* name : {"24C02", "24C64"}) {
        SCOPED_TRACE(name);
        Rig rig = insert(*findChip(name), Content::Random, 0, ChipFault::Neighbour);
        {
            BusClaim claim(*rig.bus);
            EXPECT_EQ(scanBus(*rig.bus), (std::vector<std::uint8_t>{0x50, 0x52}));
        }
        const Identification found = identify(rig);
        ASSERT_EQ(found.confidence, Confidence::Certain) << found.verdict;
        EXPECT_TRUE(contains(found.alike, *findChip(name)));
        EXPECT_FALSE(contains(found.alike, *findChip("SDA3546")));
        EXPECT_EQ(found.doubts,
                  std::vector<std::string>{"0x52 answers but mirrors nothing: another device?"});
        EXPECT_EQ(rig.chip().writeCycles(), 0u);
    }
}

TEST_P(Identify, AnEmptySocketIsNothingThere)
{
    Rig rig = insert(*findChip("24C16"), Content::Blank, 0, ChipFault::EmptySocket);
    {
        BusClaim claim(*rig.bus);
        EXPECT_TRUE(scanBus(*rig.bus).empty());
    }
    const Identification found = identify(rig);
    EXPECT_EQ(found.confidence, Confidence::NothingThere);
    EXPECT_EQ(found.verdict, "no EEPROM answers at 0x50..0x57");
}

INSTANTIATE_TEST_SUITE_P(Adapters, Identify,
                         ::testing::Values("parport", "ch341a", "i2c:/dev/i2c-1"),
                         [](const auto& info) {
                             return std::string(info.param).substr(0, 3) == "i2c"
                                        ? std::string("i2cdev")
                                        : std::string(info.param);
                         });

// The table as i2cdetect draws it.
TEST(ScanTable, RowsOfSixteenWithTheAnswersByTheirAddress)
{
    const std::string table = scanTable({0x1A, 0x50, 0x77});
    EXPECT_EQ(table.substr(0, table.find('\n')),
              "     0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f");
    EXPECT_NE(table.find("\n00:                         -- -- -- -- -- -- -- --\n"),
              std::string::npos);
    EXPECT_NE(table.find("\n10: -- -- -- -- -- -- -- -- -- -- 1a -- -- -- -- --\n"),
              std::string::npos);
    EXPECT_NE(table.find("\n50: 50 --"), std::string::npos);
    EXPECT_NE(table.find("\n70: -- -- -- -- -- -- -- 77\n"), std::string::npos);
}

// The CH341A's probe: the address for reading with its status first in the
// packet, one byte read unacknowledged, STOP; a packet of its own each.
TEST(Ch341aProbe, OnePacketEachWithItsStatusFirst)
{
    Ch341aStream s;
    EXPECT_EQ(Ch341aBus::appendProbe(s, 0xA4), 0u);
    EXPECT_EQ(Ch341aBus::appendProbe(s, 0xA6), 2u);
    const std::vector<std::uint8_t> bytes = s.bytes();
    ASSERT_EQ(bytes.size(), kCh341aPacketSize + 7);
    const std::vector<std::uint8_t> first(bytes.begin(), bytes.begin() + 7);
    EXPECT_EQ(first, (std::vector<std::uint8_t>{ch341a::kStream, ch341a::kStart, ch341a::kOut,
                                                0xA5, ch341a::kIn, ch341a::kStop, ch341a::kEnd}));
    EXPECT_EQ(bytes[kCh341aPacketSize + 3], 0xA7);
}

}  // namespace
}  // namespace kavoda

namespace kavoda {
namespace {

AddressSeen oneByteBlock(std::uint8_t address, std::uint8_t seed, bool uniformContent)
{
    AddressSeen s;
    s.address = address;
    s.addressing = uniformContent ? Addressing::Unknown : Addressing::OneByte;
    s.block.resize(256);
    for (std::size_t i = 0; i < s.block.size(); ++i)
        s.block[i] = uniformContent ? 0x00 : static_cast<std::uint8_t>(i * 37 + seed);
    s.twoByteWindows.assign(6, Window(32, uniformContent ? 0x00 : seed));
    return s;
}

// A uniform block at 0x52 beside a 24C02 at 0x50 may be an SDA3546's second
// block or another device: no preference for the type that explains every
// address may make either certain.
TEST(Judge, AUniformBlockBesideTheChipLeavesItUndecided)
{
    const Identification found =
        judge({oneByteBlock(0x50, 1, false), oneByteBlock(0x52, 0, true)});
    EXPECT_EQ(found.confidence, Confidence::Undecided) << found.verdict;
    EXPECT_TRUE(contains(found.candidates, *findChip("24C02")));
    EXPECT_TRUE(contains(found.candidates, *findChip("SDA3546")));
}

// Two blocks that read alike are the same cells: not a 24C04's two blocks,
// and one block that differs from its mirror is no mirror.
TEST(Judge, MirrorsAndDifferencesDecideBetweenBlocksAndPins)
{
    Identification found = judge({oneByteBlock(0x50, 1, false), oneByteBlock(0x51, 1, false)});
    EXPECT_FALSE(contains(found.candidates, *findChip("24C04"))) << found.verdict;
    found = judge({oneByteBlock(0x50, 1, false), oneByteBlock(0x51, 2, false)});
    ASSERT_EQ(found.confidence, Confidence::Certain) << found.verdict;
    EXPECT_EQ(found.chosen.chip, findChip("24C04"));
}

}  // namespace
}  // namespace kavoda
