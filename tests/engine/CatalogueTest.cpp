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
}  // namespace kavoda
