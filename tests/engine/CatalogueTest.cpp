// SPDX-License-Identifier: MIT
// The device catalogue's entries, lookups, family rule and selection.
#include <gtest/gtest.h>

#include "DeviceCatalogue.h"
#include "EngineFixture.h"

namespace kavoda {
namespace {

using CatalogueTest = test::EngineTest;

TEST_F(CatalogueTest, EntriesInMenuOrder)
{
    struct Row {
        const char* menu;
        const char* caption;
        const char* handler;
        int type;
        int lastBlock;
        int size;
        Family family;
    };
    const Row rows[] = {
        {"&Device 24C...", "24C02", "N24c021Click", 1, 0, 256, Family::C24},
        {"&Device 24C...", "24C04", "N24c041Click", 2, 1, 512, Family::C24},
        {"&Device 24C...", "24C08", "N24c081Click", 3, 3, 1024, Family::C24},
        {"&Device 24C...", "24C16", "N24c161Click", 4, 7, 2048, Family::C24},
        {"De&vice SDA...", "SDA3526", "SDA35261Click", 6, 0, 256, Family::SDA},
        {"De&vice SDA...", "SDA3546", "SDA35461Click", 7, 1, 512, Family::SDA},
        {"De&vice SDA...", "SDA3586", "SDA35861Click", 8, 3, 1024, Family::SDA},
    };
    ASSERT_EQ(kCatalogue.size(), std::size(rows));
    for (std::size_t i = 0; i < kCatalogue.size(); ++i) {
        const CatalogueEntry& e = kCatalogue[i];
        SCOPED_TRACE(rows[i].caption);
        EXPECT_EQ(e.menu, rows[i].menu);
        EXPECT_EQ(e.caption, rows[i].caption);
        EXPECT_EQ(e.panelText, rows[i].caption);
        EXPECT_EQ(e.handler, rows[i].handler);
        EXPECT_EQ(e.deviceType, rows[i].type);
        EXPECT_EQ(e.lastBlock, rows[i].lastBlock);
        EXPECT_EQ(e.sizeBytes(), rows[i].size);
        EXPECT_EQ(e.family, rows[i].family);
        EXPECT_EQ(familyOf(e.deviceType), e.family);
    }
}

TEST_F(CatalogueTest, LookupsAndTheFamilyRule)
{
    EXPECT_EQ(findDevice("24c16"), &kCatalogue[3]);
    EXPECT_EQ(findDevice("sda3546"), &kCatalogue[5]);
    EXPECT_EQ(findDevice("SDA3586"), &kCatalogue[6]);
    EXPECT_EQ(findDevice("24C0"), nullptr);
    EXPECT_EQ(findDevice("24C021"), nullptr);
    EXPECT_EQ(findDevice(""), nullptr);
    EXPECT_EQ(findDeviceByType(1), &kCatalogue[0]);
    EXPECT_EQ(findDeviceByType(8), &kCatalogue[6]);
    EXPECT_EQ(findDeviceByType(5), nullptr) << "no entry has code 5";
    EXPECT_EQ(findDeviceByType(0), nullptr);
    EXPECT_EQ(familyOf(0), Family::C24);
    EXPECT_EQ(familyOf(5), Family::C24);
    EXPECT_EQ(familyOf(6), Family::SDA);
    EXPECT_EQ(familyOf(255), Family::SDA);
}

TEST(CatalogueState, StartValuesThenSelectionSetsTypeAndBlocksOnly)
{
    resetDeviceState();
    EXPECT_EQ(PortBase, 0x378);
    EXPECT_EQ(DeviceType, 1);
    EXPECT_EQ(LastBlock, 0);
    EXPECT_EQ(BusDelay, 10);
    EXPECT_EQ(FastTiming, 1);

    PortBase = 0x3BC;
    BusDelay = 40;
    FastTiming = 0;
    SelectDevice(*findDevice("24C16"));
    EXPECT_EQ(DeviceType, 4);
    EXPECT_EQ(LastBlock, 7);
    SelectDevice(*findDevice("SDA3586"));
    EXPECT_EQ(DeviceType, 8);
    EXPECT_EQ(LastBlock, 3);
    SelectDevice(*findDevice("SDA3586"));
    EXPECT_EQ(DeviceType, 8) << "choosing the same type twice changes nothing";
    EXPECT_EQ(LastBlock, 3);
    EXPECT_EQ(PortBase, 0x3BC);
    EXPECT_EQ(BusDelay, 40);
    EXPECT_EQ(FastTiming, 0);
    resetDeviceState();
}

}  // namespace
// The address phase of every row: device address byte and word address
// bytes, as the datasheets lay them out.
TEST(ChipTable, AddressPhasesOfEveryAddressingClass)
{
    const auto phase = [](const char* chip, std::uint32_t address, std::uint8_t pins = 0) {
        const AddressPhase p = addressPhase(*findChip(chip), address, pins);
        std::vector<int> bytes{p.device};
        for (int i = 0; i < p.wordBytes; ++i)
            bytes.push_back(p.word[i]);
        return bytes;
    };
    using V = std::vector<int>;
    EXPECT_EQ(phase("24C01", 0x7F), (V{0xA0, 0x7F}));
    EXPECT_EQ(phase("24C02", 0xFF, 3), (V{0xA6, 0xFF})) << "A1 A0 high";
    EXPECT_EQ(phase("24C16", 0x310), (V{0xA6, 0x10}));
    EXPECT_EQ(phase("24C16", 0x310, 7), (V{0xA6, 0x10})) << "no pin of its own";
    EXPECT_EQ(phase("24C04", 0x1FF, 6), (V{0xAE, 0xFF})) << "A2 A1 high, the block in A0's place";
    EXPECT_EQ(phase("24C04", 0x1FF, 1), (V{0xA2, 0xFF})) << "A0 is no pin of its";
    EXPECT_EQ(phase("24C08", 0x000, 4), (V{0xA8, 0x00})) << "A2 high";
    EXPECT_EQ(phase("SDA3586", 0x310), (V{0xAC, 0x10}));
    EXPECT_EQ(phase("24C32", 0xFFF), (V{0xA0, 0x0F, 0xFF}));
    EXPECT_EQ(phase("24C512", 0xABCD, 7), (V{0xAE, 0xAB, 0xCD}));
    EXPECT_EQ(phase("24M01", 0x1FFFF), (V{0xA2, 0xFF, 0xFF}));
    EXPECT_EQ(phase("24M01", 0x0FFFF, 4), (V{0xA8, 0xFF, 0xFF})) << "A2 high";
    EXPECT_EQ(phase("24M02", 0x3FFFF), (V{0xA6, 0xFF, 0xFF}));
    EXPECT_EQ(phase("24M02", 0x20000, 4), (V{0xAC, 0x00, 0x00}));

    // The chip answers its own bytes only: block bits within its size, free
    // pins at their levels.
    EXPECT_EQ(blockAnswering(*findChip("24C08"), 0xA6), 3u);
    EXPECT_FALSE(blockAnswering(*findChip("24C08"), 0xA8));
    EXPECT_FALSE(blockAnswering(*findChip("SDA3546"), 0xA2)) << "bit 1 is its chip select";
    EXPECT_EQ(blockAnswering(*findChip("24C64"), 0xAA, 5), 0u);
    EXPECT_FALSE(blockAnswering(*findChip("24C64"), 0xA0, 5));
    EXPECT_EQ(blockAnswering(*findChip("24M02"), 0xAE, 4), 3u);
    EXPECT_EQ(blockAnswering(*findChip("24C04"), 0xAE, 6), 1u);
    EXPECT_FALSE(blockAnswering(*findChip("24C04"), 0xA2, 6)) << "another chip's pins";

    for (const ChipType* row : chipsOf(Transport::I2c)) {
        const ChipType& chip = *row;
        SCOPED_TRACE(std::string(chip.caption));
        EXPECT_EQ(findChip(chip.caption), &chip);
        EXPECT_EQ(findChipByCode(chip.deviceType), &chip);
        EXPECT_EQ(chip.size % chip.pageSize, 0);
        EXPECT_EQ(chip.inWindow(), findDevice(chip.caption) != nullptr);
        // Every byte has its own address phase.
        const std::uint32_t last = static_cast<std::uint32_t>(chip.size) - 1;
        EXPECT_EQ(blockAnswering(chip, addressPhase(chip, last).device),
                  last / chip.blockSpan());
    }
    EXPECT_EQ(findChip("24c1024"), findChip("24M01"));
    EXPECT_EQ(findDevice("24C64"), nullptr) << "the window's menus stay as they are";
}

}  // namespace kavoda
