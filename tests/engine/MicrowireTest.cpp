// SPDX-License-Identifier: MIT
// The 93Cxx Microwire EEPROMs: their rows against the datasheets, their
// commands as they reach the lines of the CH341A's socket, and the
// operations over them on the simulated programmer and chip.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "Ch341aWire.h"
#include "DeviceOperations.h"
#include "MicrowireBus.h"
#include "QuietDisplay.h"
#include "SimulatedCh341a.h"

namespace kavoda {
namespace {

// Datasheet figures typed apart from the table (Microchip 93AA/LC/C46..86,
// Atmel AT93C46..86, ST M93C46..86): size in bytes, address bits of a
// command in x8 and x16, longest write cycle.
struct Datasheet {
    int size;
    int bits8;
    int bits16;
    std::uint32_t writeUs;
};

const std::map<std::string, Datasheet> kDatasheets = {
    {"93C46", {128, 7, 6, 10000}},   {"93C56", {256, 9, 8, 10000}},
    {"93C66", {512, 9, 8, 10000}},   {"93C76", {1024, 11, 10, 10000}},
    {"93C86", {2048, 11, 10, 10000}},
};

TEST(MicrowireTable, EveryRowHoldsItsDatasheetFiguresAndMakersNames)
{
    std::size_t rows = 0;
    for (const ChipType* chip : chipsOf(Transport::Lines)) {
        SCOPED_TRACE(std::string(chip->caption));
        const auto found = kDatasheets.find(std::string(chip->caption));
        ASSERT_NE(found, kDatasheets.end());
        ++rows;
        EXPECT_EQ(chip->family, Family::Microwire);
        EXPECT_EQ(chip->size, found->second.size);
        EXPECT_EQ(chip->microwire.addressBits8, found->second.bits8);
        EXPECT_EQ(chip->microwire.addressBits16, found->second.bits16);
        EXPECT_EQ(chip->writeCycleUs, found->second.writeUs);
        EXPECT_EQ(chip->microwire.organisation, 0) << "the ORG pin is the user's to name";
        const ChipType x16 = withOrganisation(*chip, 16, ByteOrder::Little);
        EXPECT_EQ(x16.pageSize, 2);
        EXPECT_EQ(x16.wordBytes(), 2);
        EXPECT_EQ(withOrganisation(*chip, 8, ByteOrder::Big).pageSize, 1);
    }
    EXPECT_EQ(rows, kDatasheets.size());
    EXPECT_EQ(findChip("93LC66B"), findChip("93C66"));
    EXPECT_EQ(findChip("AT93C46"), findChip("93C46"));
    EXPECT_EQ(findChip("cat93c86"), findChip("93C86"));
    EXPECT_EQ(findChip("93AA56A"), findChip("93C56"));
    EXPECT_EQ(findChip("93C66X"), nullptr);
    EXPECT_EQ(organisationOfName("93LC66B"), 16);
    EXPECT_EQ(organisationOfName("93AA46A"), 8);
    EXPECT_EQ(organisationOfName("93LC46C"), 0);
    EXPECT_EQ(organisationOfName("24C02"), 0);
}

// The simulated programmer with a simulated 93Cxx on its lines, and the
// family's bus over it.
struct WireRig {
    std::shared_ptr<SimulatedCh341a> link;
    std::unique_ptr<MicrowireBus> bus;
    ChipType chip;

    WireRig(const std::string& type, int organisation, ByteOrder order,
            ChipFault fault = ChipFault::None, int chipOrganisation = 0)
    {
        ChipOptions options;
        options.deviceType = findChip(type)->deviceType;
        options.fault = fault;
        options.organisation = chipOrganisation ? chipOrganisation : organisation;
        link = std::make_shared<SimulatedCh341a>(makeSimulatedMicrowireChip(options));
        const TransferLimits limits{0x800, 0x400, 2, 16, false, true, 70'000};
        bus = std::make_unique<MicrowireBus>(
            [l = link.get()] { return std::make_unique<Ch341aWire>(*l, [l] { return l->nowNs(); }); },
            limits, link);
        chip = withOrganisation(*findChip(type), organisation, order);
    }
    SimulatedWireDevice& device() { return *link->wireChip(); }
};

std::vector<std::uint8_t> randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

TEST(MicrowireChip, EveryRowAndOrganisationWritesAndReadsByteExactInBothByteOrders)
{
    for (const ChipType* row : chipsOf(Transport::Lines)) {
        for (const int organisation : {8, 16}) {
            for (const ByteOrder order : {ByteOrder::Big, ByteOrder::Little}) {
                if (organisation == 8 && order == ByteOrder::Little)
                    continue;
                SCOPED_TRACE(std::string(row->caption) + " x" + std::to_string(organisation) +
                             (order == ByteOrder::Big ? " big" : " little"));
                WireRig rig(std::string(row->caption), organisation, order);
                test::QuietDisplay display;
                ChipJob job{*rig.bus, rig.chip, display};
                BusClaim claim(*rig.bus);
                const auto image = randomBytes(static_cast<std::size_t>(row->size), 7);
                const WantedImage wanted = WantedImage::fromImage(image, image.size(), 0xFF);
                EXPECT_EQ(writeRuns(job, planWrite(job, wanted, nullptr)).written, row->size);
                // The chip holds each word high byte first: where the image
                // is little-endian, its bytes swap.
                for (std::uint32_t a = 0; a < static_cast<std::uint32_t>(row->size); ++a) {
                    const std::uint32_t at =
                        organisation == 16 && order == ByteOrder::Little ? (a ^ 1u) : a;
                    ASSERT_EQ(rig.device().cell(at), image[a]) << a;
                }
                EXPECT_EQ(rig.device().writeCycles(),
                          static_cast<std::uint64_t>(row->size * 8 / organisation));
                std::vector<std::uint8_t> back;
                ASSERT_EQ(readRange(job, 0, static_cast<std::uint32_t>(row->size), back),
                          PassEnd::Completed);
                EXPECT_EQ(back, image);
            }
        }
    }
}

}  // namespace
}  // namespace kavoda
