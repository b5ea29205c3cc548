// SPDX-License-Identifier: MIT
// The 25xx EEPROMs and SPI NOR flash: their rows against the datasheets,
// their commands on the simulated chips, and the operations over them.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "DeviceOperations.h"
#include "EngineFixture.h"
#include "PortBackend.h"
#include "SimulatedSpiBus.h"
#include "SpiChipBus.h"

namespace kavoda {
namespace {

// Datasheet figures typed apart from the table: size, page, address bytes,
// A8 in the opcode, JEDEC ID, smallest and largest erase unit with opcodes,
// longest write or program time. Sources: Microchip 24AA/24LC, 25AA/25LC,
// Atmel AT24C/AT25, ST M95, Siemens SDA 35x6, and the flash makers'
// datasheets of each part.
struct Datasheet {
    int size;
    int page;
    int addressBytes;
    bool a8;
    std::uint32_t jedec;
    std::uint32_t smallErase;
    std::uint8_t smallOpcode;
    std::uint32_t largeErase;
    std::uint8_t largeOpcode;
    std::uint32_t writeUs;
};

const std::map<std::string, Datasheet>& datasheets()
{
    static const std::map<std::string, Datasheet> figures = {
        {"24C01", {128, 8, 1, false, 0, 0, 0, 0, 0, 10000}},
        {"24C02", {256, 8, 1, false, 0, 0, 0, 0, 0, 10000}},
        {"24C04", {512, 16, 1, false, 0, 0, 0, 0, 0, 10000}},
        {"24C08", {1024, 16, 1, false, 0, 0, 0, 0, 0, 10000}},
        {"24C16", {2048, 16, 1, false, 0, 0, 0, 0, 0, 10000}},
        {"24C32", {4096, 32, 2, false, 0, 0, 0, 0, 0, 10000}},
        {"24C64", {8192, 32, 2, false, 0, 0, 0, 0, 0, 10000}},
        {"24C128", {16384, 64, 2, false, 0, 0, 0, 0, 0, 10000}},
        {"24C256", {32768, 64, 2, false, 0, 0, 0, 0, 0, 10000}},
        {"24C512", {65536, 128, 2, false, 0, 0, 0, 0, 0, 10000}},
        {"24M01", {131072, 256, 2, false, 0, 0, 0, 0, 0, 10000}},
        {"24M02", {262144, 256, 2, false, 0, 0, 0, 0, 0, 10000}},
        {"SDA3526", {256, 1, 1, false, 0, 0, 0, 0, 0, 10000}},
        {"SDA3546", {512, 1, 1, false, 0, 0, 0, 0, 0, 10000}},
        {"SDA3586", {1024, 1, 1, false, 0, 0, 0, 0, 0, 10000}},
        {"25010", {128, 8, 1, false, 0, 0, 0, 0, 0, 5000}},
        {"25020", {256, 8, 1, false, 0, 0, 0, 0, 0, 5000}},
        {"25040", {512, 8, 1, true, 0, 0, 0, 0, 0, 5000}},
        {"25080", {1024, 16, 2, false, 0, 0, 0, 0, 0, 5000}},
        {"25160", {2048, 16, 2, false, 0, 0, 0, 0, 0, 5000}},
        {"25320", {4096, 32, 2, false, 0, 0, 0, 0, 0, 5000}},
        {"25640", {8192, 32, 2, false, 0, 0, 0, 0, 0, 5000}},
        {"25128", {16384, 64, 2, false, 0, 0, 0, 0, 0, 5000}},
        {"25256", {32768, 64, 2, false, 0, 0, 0, 0, 0, 5000}},
        {"25512", {65536, 128, 2, false, 0, 0, 0, 0, 0, 5000}},
        {"25M01", {131072, 256, 3, false, 0, 0, 0, 0, 0, 6000}},
        {"25M02", {262144, 256, 3, false, 0, 0, 0, 0, 0, 10000}},
        {"W25Q80", {1 << 20, 256, 3, false, 0xEF4014, 4096, 0x20, 65536, 0xD8, 3000}},
        {"W25Q16", {2 << 20, 256, 3, false, 0xEF4015, 4096, 0x20, 65536, 0xD8, 3000}},
        {"W25Q32", {4 << 20, 256, 3, false, 0xEF4016, 4096, 0x20, 65536, 0xD8, 3000}},
        {"W25Q64", {8 << 20, 256, 3, false, 0xEF4017, 4096, 0x20, 65536, 0xD8, 3000}},
        {"W25Q128", {16 << 20, 256, 3, false, 0xEF4018, 4096, 0x20, 65536, 0xD8, 3000}},
        {"W25Q256", {32 << 20, 256, 4, false, 0xEF4019, 4096, 0x20, 65536, 0xD8, 3000}},
        {"MX25L8005", {1 << 20, 256, 3, false, 0xC22014, 4096, 0x20, 65536, 0xD8, 5000}},
        {"MX25L1605", {2 << 20, 256, 3, false, 0xC22015, 4096, 0x20, 65536, 0xD8, 5000}},
        {"MX25L3205", {4 << 20, 256, 3, false, 0xC22016, 4096, 0x20, 65536, 0xD8, 5000}},
        {"MX25L6405", {8 << 20, 256, 3, false, 0xC22017, 4096, 0x20, 65536, 0xD8, 5000}},
        {"MX25L12835F", {16 << 20, 256, 3, false, 0xC22018, 4096, 0x20, 65536, 0xD8, 3000}},
        {"MX25L25635F", {32 << 20, 256, 4, false, 0xC22019, 4096, 0x20, 65536, 0xD8, 3000}},
        {"GD25Q80", {1 << 20, 256, 3, false, 0xC84014, 4096, 0x20, 65536, 0xD8, 3000}},
        {"GD25Q16", {2 << 20, 256, 3, false, 0xC84015, 4096, 0x20, 65536, 0xD8, 3000}},
        {"GD25Q32", {4 << 20, 256, 3, false, 0xC84016, 4096, 0x20, 65536, 0xD8, 3000}},
        {"GD25Q64", {8 << 20, 256, 3, false, 0xC84017, 4096, 0x20, 65536, 0xD8, 3000}},
        {"GD25Q128", {16 << 20, 256, 3, false, 0xC84018, 4096, 0x20, 65536, 0xD8, 3000}},
        {"IS25LP080", {1 << 20, 256, 3, false, 0x9D6014, 4096, 0x20, 65536, 0xD8, 800}},
        {"IS25LP016", {2 << 20, 256, 3, false, 0x9D6015, 4096, 0x20, 65536, 0xD8, 800}},
        {"IS25LP032", {4 << 20, 256, 3, false, 0x9D6016, 4096, 0x20, 65536, 0xD8, 800}},
        {"IS25LP064", {8 << 20, 256, 3, false, 0x9D6017, 4096, 0x20, 65536, 0xD8, 800}},
        {"IS25LP128", {16 << 20, 256, 3, false, 0x9D6018, 4096, 0x20, 65536, 0xD8, 800}},
        {"EN25Q32", {4 << 20, 256, 3, false, 0x1C3016, 4096, 0x20, 65536, 0xD8, 5000}},
        {"EN25Q64", {8 << 20, 256, 3, false, 0x1C3017, 4096, 0x20, 65536, 0xD8, 5000}},
        {"EN25QH128", {16 << 20, 256, 3, false, 0x1C7018, 4096, 0x20, 65536, 0xD8, 5000}},
        {"M25P80", {1 << 20, 256, 3, false, 0x202014, 65536, 0xD8, 65536, 0xD8, 5000}},
        {"M25P16", {2 << 20, 256, 3, false, 0x202015, 65536, 0xD8, 65536, 0xD8, 5000}},
        {"M25P32", {4 << 20, 256, 3, false, 0x202016, 65536, 0xD8, 65536, 0xD8, 5000}},
        {"N25Q064", {8 << 20, 256, 3, false, 0x20BA17, 4096, 0x20, 65536, 0xD8, 5000}},
        {"N25Q128", {16 << 20, 256, 3, false, 0x20BA18, 4096, 0x20, 65536, 0xD8, 5000}},
        {"XM25QH64A", {8 << 20, 256, 3, false, 0x207017, 4096, 0x20, 65536, 0xD8, 3000}},
        {"XM25QH128A", {16 << 20, 256, 3, false, 0x207018, 4096, 0x20, 65536, 0xD8, 3000}},
    };
    return figures;
}

TEST(SpiChipTable, EveryRowHoldsItsDatasheetFigures)
{
    std::size_t checked = 0;
    for (const ChipType& chip : kChipTable) {
        // The Microwire rows have a list of their own.
        if (chip.spi.fromSfdp || chip.isMicrowire())
            continue;
        SCOPED_TRACE(std::string(chip.caption));
        const auto found = datasheets().find(std::string(chip.caption));
        ASSERT_NE(found, datasheets().end()) << "a row without datasheet figures";
        const Datasheet& d = found->second;
        ++checked;
        EXPECT_EQ(chip.size, d.size);
        EXPECT_EQ(chip.pageSize, d.page);
        EXPECT_EQ(chip.writeCycleUs, d.writeUs);
        const int addressBytes =
            chip.transport() == Transport::Spi ? chip.spi.addressBytes : chip.wordAddressBytes;
        EXPECT_EQ(addressBytes, d.addressBytes);
        EXPECT_EQ(chip.spi.a8InOpcode, d.a8);
        EXPECT_EQ(chip.spi.jedecId, d.jedec);
        if (chip.isFlash()) {
            EXPECT_EQ(chip.smallestErase().size, d.smallErase);
            EXPECT_EQ(chip.smallestErase().opcode, d.smallOpcode);
            const EraseUnit* largest = &chip.spi.erase[0];
            for (const EraseUnit& unit : chip.spi.erase)
                if (unit.size > largest->size)
                    largest = &unit;
            EXPECT_EQ(largest->size, d.largeErase);
            EXPECT_EQ(largest->opcode, d.largeOpcode);
            EXPECT_EQ(chip.spi.chipEraseOpcode, 0xC7);
            EXPECT_GT(chip.spi.chipEraseMaxMs, chip.spi.chipEraseTypicalMs);
            for (const EraseUnit& unit : chip.spi.erase)
                EXPECT_TRUE(unit.size == 0 || unit.maxMs >= unit.typicalMs);
        }
    }
    EXPECT_EQ(checked, datasheets().size());
}

TEST(SpiChipTable, RowsByTransportAndNames)
{
    // The window's rows stay first and unchanged; the I2C rows are those
    // every I2C adapter loops over.
    EXPECT_EQ(kChipTable[0].caption, "24C02");
    EXPECT_EQ(kChipTable[6].caption, "SDA3586");
    const auto i2c = chipsOf(Transport::I2c);
    ASSERT_EQ(i2c.size(), 15u);
    for (const ChipType* chip : chipsOf(Transport::Spi))
        EXPECT_TRUE(chip->family == Family::Spi25 || chip->family == Family::SpiNor);
    std::map<int, std::string> codes;
    for (const ChipType& chip : kChipTable)
        EXPECT_TRUE(codes.emplace(chip.deviceType, std::string(chip.caption)).second)
            << chip.caption << " shares its code";
    EXPECT_EQ(findChip("m95640"), findChip("25640"));
    EXPECT_EQ(findChip("95M02"), findChip("25M02"));
    EXPECT_EQ(findChip("SPI-FLASH")->spi.fromSfdp, true);
    EXPECT_EQ(findChipByJedecId(0xC84016), findChip("GD25Q32"));
    EXPECT_EQ(findChipByJedecId(0xEF6016), nullptr);
}

// A simulated chip of the row on the simulated SPI bus, and the family's
// bus over it.
struct SpiRig {
    std::shared_ptr<SimulatedSpiBus> link;
    std::unique_ptr<SpiChipBus> bus;

    explicit SpiRig(const std::string& type, ChipFault fault = ChipFault::None,
                    const std::string& image = {}, SpiLimits limits = {4096, 65536})
    {
        ChipOptions options;
        options.deviceType = findChip(type)->deviceType;
        options.fault = fault;
        options.imagePath = image;
        link = std::make_shared<SimulatedSpiBus>(makeSimulatedSpiChip(options),
                                                 SimulatedSpiBus::Timing{6000, 20'000, 0}, limits);
        TransferLimits transfer{0x10000, 0x10000, 0x100, 8, false, true, 8000000 / 6000};
        bus = std::make_unique<SpiChipBus>([l = link] { return l->open(); }, transfer, link);
    }
    SimulatedSpiDevice& chip() { return *link->spiChip(); }
};

class QuietDisplay final : public OperationDisplay {
public:
    int pumps = 0;
    int stopAfter = -1;
    std::vector<int> percents;
    void processMessages() override { ++pumps; }
    bool stopRequested() const override { return stopAfter >= 0 && pumps > stopAfter; }
    void showPercent(int percent) override { percents.push_back(percent); }
    void showAddress(int) override {}
    void showData(std::uint8_t) override {}
    std::string panelText() const override { return {}; }
    void setPanelText(const std::string&) override {}
    void setMeterCaption(const std::string&) override {}
};

std::vector<std::uint8_t> pattern(std::size_t size, int seed)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 37 + (i >> 8) * 11 + static_cast<std::size_t>(seed));
    return bytes;
}

std::vector<std::uint8_t> readAll(ChipJob& job)
{
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(readRange(job, 0, static_cast<std::uint32_t>(job.chip.size), bytes), PassEnd::Completed);
    return bytes;
}

class SpiEepromTest : public ::testing::TestWithParam<const char*> {};

TEST_P(SpiEepromTest, WritesPagesAndReadsThemBackByteExact)
{
    const ChipType& chip = *findChip(GetParam());
    SpiRig rig(GetParam());
    QuietDisplay display;
    ChipJob job{*rig.bus, chip, display};
    BusClaim claim(*rig.bus);
    const auto image = pattern(static_cast<std::size_t>(chip.size), 3);
    const WantedImage wanted = WantedImage::fromImage(image, image.size(), 0xFF);
    const auto runs = planWrite(job, wanted, nullptr);
    EXPECT_EQ(writeRuns(job, runs).written, chip.size);
    // One write cycle a page: the writes kept to the page.
    EXPECT_EQ(rig.chip().writeCycles(), static_cast<std::uint64_t>(chip.size / chip.pageSize));
    for (std::uint32_t a = 0; a < static_cast<std::uint32_t>(chip.size); a += 97)
        ASSERT_EQ(rig.chip().cell(a), image[a]) << a;
    EXPECT_EQ(readAll(job), image);
}

INSTANTIATE_TEST_SUITE_P(Rows, SpiEepromTest,
                         ::testing::Values("25010", "25040", "25640", "25512", "25M01"));

TEST(SpiEepromChip, KeepsTheDatasheetRulesOfWriteEnableWrapAndA8)
{
    SpiRig rig("25040");
    SimulatedSpiDevice& chip = rig.chip();
    std::uint64_t now = 0;
    const auto send = [&](std::vector<std::uint8_t> bytes, int in = 0) {
        std::vector<std::uint8_t> got;
        chip.select(now);
        for (const auto b : bytes)
            chip.exchange(b, now += 1000);
        for (int i = 0; i < in; ++i)
            got.push_back(chip.exchange(0xFF, now += 1000));
        chip.deselect(now);
        return got;
    };
    // No WREN: ignored.
    send({0x02, 0x10, 0xAA});
    EXPECT_EQ(chip.cell(0x10), 0xFF);
    // WREN, then a write into the upper half through bit 3 of the opcode.
    send({0x06});
    send({0x0A, 0x10, 0x5A});
    EXPECT_EQ(chip.cell(0x110), 0x5A);
    EXPECT_EQ(send({0x05}, 1)[0] & 0x01, 0x01);  // WIP during the cycle
    now += 6'000'000;
    EXPECT_EQ(send({0x05}, 1)[0], 0x00);  // WEL cleared by the write
    EXPECT_EQ(send({0x0B, 0x10}, 1)[0], 0x5A);
    // A write past the page's end wraps to its start.
    send({0x06});
    send({0x02, 0x06, 1, 2, 3, 4});
    now += 6'000'000;
    EXPECT_EQ(chip.cell(0x06), 1);
    EXPECT_EQ(chip.cell(0x07), 2);
    EXPECT_EQ(chip.cell(0x00), 3);
    EXPECT_EQ(chip.cell(0x01), 4);
    EXPECT_EQ(chip.cell(0x08), 0xFF);
    // BP1 BP0 = 01 guards the upper quarter only.
    send({0x06});
    send({0x01, 0x04});
    now += 6'000'000;
    EXPECT_EQ(send({0x05}, 1)[0], 0x04);
    const std::uint64_t cycles = chip.writeCycles();
    send({0x06});
    send({0x0A, 0x80, 0x11});  // 0x180: guarded
    EXPECT_EQ(send({0x05}, 1)[0], 0x04);  // no cycle, WEL cleared
    send({0x06});
    send({0x0A, 0x7F, 0x22});  // 0x17F: free
    now += 6'000'000;
    EXPECT_EQ(chip.cell(0x180), 0xFF);
    EXPECT_EQ(chip.cell(0x17F), 0x22);
    EXPECT_EQ(chip.writeCycles(), cycles + 1);
}

TEST(SpiEepromFaults, AreNamedAndNothingIsClearedUnasked)
{
    const ChipType& chip = *findChip("25640");
    QuietDisplay display;
    {
        SpiRig rig("25640", ChipFault::WriteProtected);
        ChipJob job{*rig.bus, chip, display};
        BusClaim claim(*rig.bus);
        try {
            writeRuns(job, {WriteRun{0, {1, 2, 3}}});
            FAIL() << "a protected chip was written";
        } catch (const ChipStop& e) {
            EXPECT_NE(std::string(e.what()).find(
                          "write-protected by its status register (BP1 BP0 = 11)"),
                      std::string::npos)
                << e.what();
            EXPECT_NE(std::string(e.what()).find("Nothing was written."), std::string::npos);
        }
        EXPECT_EQ(rig.chip().writeCycles(), 0u);
        rig.bus->setUnprotect(true);
        EXPECT_EQ(writeRuns(job, {WriteRun{0, {1, 2, 3}}}).written, 3);
        EXPECT_EQ(rig.chip().cell(2), 3);
        EXPECT_EQ(rig.bus->protection(chip), "");
    }
    {
        SpiRig rig("25640", ChipFault::EmptySocket);
        ChipJob job{*rig.bus, chip, display};
        std::vector<std::uint8_t> bytes;
        try {
            readRange(job, 0, 16, bytes);
            FAIL();
        } catch (const SpiChipError& e) {
            EXPECT_NE(std::string(e.what()).find("no chip answers on the SPI bus"),
                      std::string::npos);
        }
    }
    {
        SpiRig rig("25640", ChipFault::EndlessWriteCycle);
        ChipJob job{*rig.bus, chip, display};
        BusClaim claim(*rig.bus);
        const std::uint64_t before = rig.link->nowNs();
        try {
            writeRuns(job, {WriteRun{0, {1}}, WriteRun{32, {2}}});
            FAIL();
        } catch (const ChipStop& e) {
            EXPECT_NE(std::string(e.what()).find("stayed busy"), std::string::npos);
            EXPECT_NE(std::string(e.what()).find("after writing 1 of 2 bytes"), std::string::npos)
                << e.what();
        }
        // Bounded by the transport's clock: twice the longest cycle and a poll.
        const std::uint64_t waited = rig.link->nowNs() - before;
        EXPECT_GE(waited, 2 * 5'000'000u);
        EXPECT_LT(waited, 2 * 5'000'000u + 200'000u);
    }
    {
        SpiRig rig("25640", ChipFault::WritesDoNotStick);
        ChipJob job{*rig.bus, chip, display};
        BusClaim claim(*rig.bus);
        const WantedImage wanted = WantedImage::constant(8192, 0x00);
        const auto runs = planWrite(job, wanted, nullptr);
        writeRuns(job, runs);
        const auto mismatch = verifyRuns(job, runs, wanted);
        ASSERT_TRUE(mismatch.has_value());
        EXPECT_EQ(mismatch->count, 8192);
    }
}

// A table laid out by hand from JESD216, not by the simulator's builder.
std::vector<std::uint8_t> sfdpSpace(std::uint32_t density, std::uint32_t dword1,
                                    std::uint32_t dword8, std::uint32_t dword9, int dwords)
{
    std::vector<std::uint8_t> space(0x100, 0xFF);
    const std::uint8_t head[16] = {'S', 'F', 'D', 'P', 0x00, 0x01, 0x00, 0xFF,
                                   0x00, 0x00, 0x01, static_cast<std::uint8_t>(dwords), 0x80, 0x00, 0x00, 0xFF};
    std::copy(std::begin(head), std::end(head), space.begin());
    const auto put = [&](int index, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            space[0x80 + static_cast<std::size_t>(index * 4 + i)] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    for (int i = 0; i < dwords; ++i)
        put(i, 0);
    put(0, dword1);
    put(1, density);
    put(7, dword8);
    put(8, dword9);
    return space;
}

TEST(Sfdp, ReadsDensityEraseTypesAndAddressBytes)
{
    const auto reader = [](const std::vector<std::uint8_t>& space) {
        return [&space](std::uint32_t address, std::uint32_t length) {
            return std::vector<std::uint8_t>(space.begin() + address, space.begin() + address + length);
        };
    };
    // 128 Mbit; erase types 4 KiB 20h, 64 KiB D8h, 32 KiB 52h (out of order).
    auto space = sfdpSpace(0x07FFFFFF, 0x000020E5, 0xD810200C, 0x0000520F, 9);
    auto table = readSfdp(reader(space));
    ASSERT_TRUE(table.has_value());
    EXPECT_EQ(table->sizeBytes, 16u << 20);
    EXPECT_EQ(table->erase[0].size, 4096u);
    EXPECT_EQ(table->erase[0].opcode, 0x20);
    EXPECT_EQ(table->erase[1].size, 32768u);
    EXPECT_EQ(table->erase[1].opcode, 0x52);
    EXPECT_EQ(table->erase[2].opcode, 0xD8);
    EXPECT_FALSE(table->fourByteAddressing);
    // 2 Gbit written as a power of two, 3- and 4-byte addresses; no erase
    // types, the 4 KiB field of DWORD 1 instead.
    space = sfdpSpace(0x80000000u | 31, 0x000020E5u | (1u << 17), 0, 0, 9);
    table = readSfdp(reader(space));
    ASSERT_TRUE(table.has_value());
    EXPECT_EQ(table->sizeBytes, 256u << 20);
    EXPECT_TRUE(table->fourByteAddressing);
    EXPECT_EQ(table->erase[0].size, 4096u);
    EXPECT_EQ(table->erase[1].size, 0u);
    // No signature, or no erase unit at all: no table.
    space[0] = 'X';
    EXPECT_FALSE(readSfdp(reader(space)).has_value());
    space = sfdpSpace(0x07FFFFFF, 0x000000E4, 0, 0, 9);
    EXPECT_FALSE(readSfdp(reader(space)).has_value());
}

TEST(SpiFlash, IdentifiesByJedecIdAndSfdp)
{
    {
        SpiRig rig("spi-flash");
        const ChipType& chip = rig.bus->identify(*findChip("spi-flash"));
        EXPECT_EQ(chip.size, 4 << 20);
        EXPECT_EQ(chip.smallestErase().size, 4096u);
        EXPECT_EQ(chip.smallestErase().opcode, 0x20);
        EXPECT_EQ(chip.spi.erase[2].size, 65536u);
        EXPECT_EQ(rig.bus->identity().jedecId, 0xEF6016u);
        EXPECT_EQ(rig.bus->identity().row, nullptr);
    }
    {
        // A GD25Q32 where a W25Q32 was asked for is named, not written.
        SpiRig rig("GD25Q32");
        try {
            rig.bus->identify(*findChip("W25Q32"));
            FAIL();
        } catch (const SpiChipError& e) {
            EXPECT_NE(std::string(e.what()).find("C8 40 16"), std::string::npos);
            EXPECT_NE(std::string(e.what()).find("-d GD25Q32"), std::string::npos);
        }
    }
    {
        // No SFDP: the table's row of its ID.
        SpiRig rig("MX25L3205");
        EXPECT_EQ(&rig.bus->identify(*findChip("spi-flash")), findChip("MX25L3205"));
    }
    {
        SpiRig rig("W25Q32", ChipFault::EmptySocket);
        EXPECT_THROW(rig.bus->identify(*findChip("W25Q32")), SpiChipError);
    }
    {
        // A flash still erasing (left so by another program) is waited for.
        SpiRig rig("W25Q80");
        rig.link->open()->run({SpiTransaction{{0x06}, 0}, SpiTransaction{{0xC7}, 0}});
        EXPECT_EQ(&rig.bus->identify(*findChip("W25Q80")), findChip("W25Q80"));
        EXPECT_GT(rig.link->nowNs(), 2'000'000'000u);
    }
}

TEST(SpiFlash, ErasesOnlyTheUnitsThatNeedItAndSkipsErasedPages)
{
    const ChipType& chip = *findChip("W25Q16");
    SpiRig rig("W25Q16");
    QuietDisplay display;
    ChipJob job{*rig.bus, chip, display};
    BusClaim claim(*rig.bus);
    const auto size = static_cast<std::size_t>(chip.size);

    // The whole chip from erased: every 64 KiB block by one D8 erase, and
    // only the pages that are not all FF programmed.
    auto image = pattern(size, 1);
    std::fill(image.begin() + 0x1000, image.begin() + 0x1100, 0xFF);
    std::vector<std::uint8_t> now = readAll(job);
    FlashPlan plan = planFlashWrite(job, WantedImage::fromImage(image, size, 0xFF), now, true);
    EXPECT_EQ(plan.erases, 32);
    EXPECT_EQ(plan.steps.front().erase->opcode, 0xD8);
    for (const FlashStep& step : plan.steps)
        for (const WriteRun& run : step.runs)
            EXPECT_TRUE(run.address + run.bytes.size() <= 0x1000 || run.address >= 0x1100);
    EXPECT_EQ(writeFlash(job, plan).written, plan.programBytes);
    EXPECT_FALSE(verifyFlash(job, plan).has_value());

    // Three changes: one sets bits (erase of its 4 KiB), one only clears
    // bits (programmed in place), a third in a HEX-like image with a gap.
    auto next = image;
    next[0x3005] = 0xFF;                        // needs an erase
    next[0x9007] = image[0x9007] & 0x0F;        // clears bits only
    WantedImage wanted = WantedImage::fromImage(next, size, 0xFF);
    const std::uint64_t cyclesBefore = rig.chip().writeCycles();
    plan = planFlashWrite(job, wanted, readAll(job));
    ASSERT_EQ(plan.steps.size(), 2u);
    EXPECT_EQ(plan.steps[0].address, 0x3000u);
    ASSERT_TRUE(plan.steps[0].erase.has_value());
    EXPECT_EQ(plan.steps[0].erase->size, 4096u);
    EXPECT_EQ(plan.steps[1].address, 0x9000u);
    EXPECT_FALSE(plan.steps[1].erase.has_value());
    ASSERT_EQ(plan.steps[1].runs.size(), 1u);
    EXPECT_EQ(plan.steps[1].runs[0].address, 0x9007u);
    writeFlash(job, plan);
    // One erase, sixteen pages of the erased unit, one program.
    EXPECT_EQ(rig.chip().writeCycles() - cyclesBefore, 1u + 16u + 1u);
    EXPECT_EQ(readAll(job), next);
}

TEST(SpiFlash, GapsOfTheImageKeepWhatTheChipHeldAndAStopEndsBetweenUnits)
{
    const ChipType& chip = *findChip("W25Q80");
    SpiRig rig("W25Q80");
    QuietDisplay display;
    ChipJob job{*rig.bus, chip, display};
    BusClaim claim(*rig.bus);
    const auto size = static_cast<std::size_t>(chip.size);
    const auto first = pattern(size, 5);
    writeFlash(job, planFlashWrite(job, WantedImage::fromImage(first, size, 0xFF), readAll(job)));

    // Only bytes 0x2000..0x2003 given, as 0xFF over a programmed unit.
    WantedImage wanted = WantedImage::constant(size, 0xFF);
    std::fill(wanted.present.begin(), wanted.present.end(), false);
    for (int i = 0; i < 4; ++i)
        wanted.present[0x2000 + static_cast<std::size_t>(i)] = true;
    writeFlash(job, planFlashWrite(job, wanted, readAll(job)));
    auto expected = first;
    std::fill_n(expected.begin() + 0x2000, 4, 0xFF);
    EXPECT_EQ(readAll(job), expected);

    // A stop after the second unit: two whole units written, counted exactly.
    const auto second = pattern(size, 9);
    const FlashPlan plan = planFlashWrite(job, WantedImage::fromImage(second, size, 0xFF), readAll(job));
    display.stopAfter = display.pumps + 2;
    const WriteOutcome outcome = writeFlash(job, plan);
    EXPECT_EQ(outcome.end, PassEnd::Stopped);
    long expectedWritten = 0;
    for (std::size_t i = 0; i < 2; ++i)
        for (const WriteRun& run : plan.steps[i].runs)
            expectedWritten += static_cast<long>(run.bytes.size());
    EXPECT_EQ(outcome.written, expectedWritten);
    EXPECT_EQ(outcome.next, plan.steps[2].address);
    display.stopAfter = -1;
    const auto now = readAll(job);
    const std::uint32_t done = plan.steps[1].address + plan.steps[1].span;
    EXPECT_TRUE(std::equal(now.begin(), now.begin() + done, second.begin()));
    EXPECT_TRUE(std::equal(now.begin() + done, now.end(), expected.begin() + done));
}

TEST(SpiFlash, FourByteAddressingReachesTheTop)
{
    // B7h mode on the W25Q256, the 4-byte opcodes on the MX25L25635F; a
    // 64 KiB unit erased and programmed above 16 MiB either way.
    for (const char* type : {"W25Q256", "MX25L25635F"}) {
        SCOPED_TRACE(type);
        const ChipType& chip = *findChip(type);
        SpiRig rig(type);
        QuietDisplay display;
        ChipJob job{*rig.bus, chip, display};
        BusClaim claim(*rig.bus);
        const std::uint32_t top = (32u << 20) - 256;
        const std::vector<std::uint8_t> page = pattern(256, 2);
        writeRuns(job, {WriteRun{top, page}, WriteRun{0x123400, page}});
        std::vector<std::uint8_t> back;
        readRange(job, top, 256, back);
        EXPECT_EQ(back, page);
        EXPECT_EQ(rig.chip().cell(0x123400), page[0]);
        EXPECT_EQ(rig.chip().cell(top & 0xFFFFFF), 0xFF);  // no wrap at 16 MiB
        std::vector<std::uint8_t> now(static_cast<std::size_t>(chip.size), 0xFF);
        std::copy(page.begin(), page.end(), now.begin() + top);
        WantedImage wanted = WantedImage::constant(now.size(), 0x00);
        std::fill(wanted.present.begin(), wanted.present.end(), false);
        std::fill(wanted.present.end() - 65536, wanted.present.end(), true);
        std::fill(wanted.bytes.end() - 65536, wanted.bytes.end(), 0xFF);
        const FlashPlan plan = planFlashWrite(job, wanted, now);
        ASSERT_EQ(plan.steps.size(), 1u);
        EXPECT_EQ(plan.steps[0].erase->size, 4096u);
        writeFlash(job, plan);
        EXPECT_EQ(rig.chip().cell(top), 0xFF);
        EXPECT_EQ(rig.chip().cell(0x123400), page[0]);
    }
}

TEST(SpiFlash, ChipEraseShowsItsProgressByTime)
{
    const ChipType& chip = *findChip("W25Q80");
    SpiRig rig("W25Q80");
    QuietDisplay display;
    ChipJob job{*rig.bus, chip, display};
    BusClaim claim(*rig.bus);
    writeRuns(job, {WriteRun{0x1000, {1, 2, 3}}});
    display.percents.clear();
    EXPECT_EQ(eraseFlashChip(job), PassEnd::Completed);
    EXPECT_EQ(rig.chip().cell(0x1000), 0xFF);
    ASSERT_GE(display.percents.size(), 3u);
    EXPECT_TRUE(std::is_sorted(display.percents.begin(), display.percents.end()));
    EXPECT_GT(display.percents[display.percents.size() / 2], 10);
    EXPECT_EQ(display.percents.back(), 100);
}

TEST(SpiFlash, ProtectedFlashIsRefusedUntilAskedAndTheImageFileFollows)
{
    const ChipType& chip = *findChip("MX25L12835F");
    const auto image = (test::scratchDir() / "flash.bin").string();
    {
        SpiRig rig("MX25L12835F", ChipFault::WriteProtected, image);
        QuietDisplay display;
        ChipJob job{*rig.bus, chip, display};
        BusClaim claim(*rig.bus);
        EXPECT_EQ(rig.bus->protection(chip), "BP3 BP2 BP1 BP0 = 1111");
        EXPECT_THROW(eraseFlashChip(job), SpiChipError);
        rig.bus->setUnprotect(true);
        writeRuns(job, {WriteRun{0x10, {0x12, 0x34}}});
    }
    {
        // One chip per content file.
        SpiRig first("MX25L12835F", ChipFault::None, image);
        EXPECT_THROW(SpiRig("MX25L12835F", ChipFault::None, image), PortError);
    }
    std::ifstream in(image, std::ios::binary);
    std::vector<char> bytes(0x20);
    in.read(bytes.data(), 0x20);
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[0x10]), 0x12);
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[0x11]), 0x34);
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[0x12]), 0xFF);
}

TEST(SpiFlash, ReadsAndWritesWithinTheTransportsLimits)
{
    // A transport that takes 64 bytes a transaction: reads and programs are
    // split, and a page is still whole on the chip.
    const ChipType& chip = *findChip("W25Q80");
    SpiRig rig("W25Q80", ChipFault::None, {}, SpiLimits{64, 256});
    QuietDisplay display;
    ChipJob job{*rig.bus, chip, display};
    BusClaim claim(*rig.bus);
    const auto page = pattern(256, 4);
    writeRuns(job, {WriteRun{0x100, page}});
    std::vector<std::uint8_t> back;
    readRange(job, 0x100, 256, back);
    EXPECT_EQ(back, page);
}

}  // namespace
}  // namespace kavoda
