// SPDX-License-Identifier: MIT
// The write of chosen bytes against a recording bus: exactly the differing
// bytes go out, each once, and a silent chip stops the loop where it is.
#include <gtest/gtest.h>

#include <map>

#include "ChipWork.h"
#include "QuietDisplay.h"
#include "Tool.h"

namespace kavoda {
namespace {

using test::QuietDisplay;

// A chip behind the transaction interface that records every write.
class RecordingBus final : public DeviceBus {
public:
    explicit RecordingBus(std::vector<std::uint8_t> cells) : cells(std::move(cells)) {}

    void claim() override {}
    void release() noexcept override {}
    std::uint8_t readByte(Family, std::uint8_t block, std::uint8_t address) override
    {
        recordTransaction(!silentFrom || reads + writes.size() < *silentFrom, false);
        ++reads;
        return cells[static_cast<std::size_t>(block * 256 + address)];
    }
    void writeByte(Family family, std::uint8_t block, std::uint8_t address,
                   std::uint8_t data) override
    {
        const int at = block * 256 + address;
        const bool answered = !silentFrom || reads + writes.size() < *silentFrom;
        recordTransaction(answered, false);
        writes.push_back({at, data});
        families.push_back(family);
        if (answered)
            cells[static_cast<std::size_t>(at)] = data;
    }

    std::vector<std::uint8_t> cells;
    std::vector<std::pair<int, std::uint8_t>> writes;
    std::vector<Family> families;
    std::size_t reads = 0;
    std::optional<std::size_t> silentFrom;  // transactions answered before the chip goes quiet
};

WantedImage imageOf(std::vector<std::uint8_t> bytes)
{
    WantedImage wanted = WantedImage::constant(bytes.size(), 0);
    wanted.bytes = std::move(bytes);
    return wanted;
}

TEST(WriteLoopTest, DifferentialWriteSendsExactlyTheDifferingBytes)
{
    std::vector<std::uint8_t> chip(1024);
    for (std::size_t i = 0; i < chip.size(); ++i)
        chip[i] = static_cast<std::uint8_t>(i * 7);
    WantedImage wanted = imageOf(chip);
    wanted.bytes[3] = 0x00;        // differs
    wanted.bytes[300] ^= 0xFF;     // differs
    wanted.bytes[1023] ^= 0x01;    // differs
    wanted.bytes[512] ^= 0x10;     // differs, but the file does not give it
    wanted.present[512] = false;
    wanted.given = 1023;

    const std::vector<int> addresses = addressesToWrite(wanted, &chip);
    EXPECT_EQ(addresses, (std::vector<int>{3, 300, 1023}));
    EXPECT_EQ(addressesToWrite(wanted, nullptr).size(), 1023u) << "--all: every given byte";

    RecordingBus bus(chip);
    QuietDisplay display;
    std::vector<std::pair<long, int>> progress;
    const WriteOutcome outcome =
        writeAddresses(bus, display, Family::SDA, addresses, wanted, "SDA3586",
                       [&progress](long done, int at) { progress.push_back({done, at}); });
    EXPECT_EQ(outcome.written, 3);
    EXPECT_FALSE(outcome.stopped);
    using W = std::pair<int, std::uint8_t>;
    EXPECT_EQ(bus.writes, (std::vector<W>{{3, 0x00}, {300, wanted.bytes[300]},
                                          {1023, wanted.bytes[1023]}}));
    EXPECT_EQ(bus.families, std::vector<Family>(3, Family::SDA));
    EXPECT_EQ(bus.reads, 0u);
    EXPECT_EQ(display.pumps, 3) << "one pump per byte";
    EXPECT_EQ(progress, (std::vector<std::pair<long, int>>{{0, 3}, {1, 300}, {2, 1023}, {3, 1023}}));
    EXPECT_EQ(compareWithChip(bus.cells, wanted), std::nullopt);
}

TEST(WriteLoopTest, StopsBeforeTheNextByteWhenAsked)
{
    const std::vector<std::uint8_t> chip(256, 0xFF);
    const WantedImage wanted = WantedImage::constant(256, 0x00);
    RecordingBus bus(chip);
    QuietDisplay display;
    display.stopAt = 5;
    const WriteOutcome outcome = writeAddresses(bus, display, Family::C24,
                                                addressesToWrite(wanted, &chip), wanted, "24C02",
                                                nullptr);
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(outcome.written, 4);
    EXPECT_EQ(bus.writes.size(), 4u);
}

TEST(WriteLoopTest, AChipThatFallsSilentEndsTheWriteWhereItHappened)
{
    const std::vector<std::uint8_t> chip(256, 0xFF);
    const WantedImage wanted = WantedImage::constant(256, 0x00);
    RecordingBus bus(chip);
    bus.silentFrom = 10;
    QuietDisplay display;
    try {
        writeAddresses(bus, display, Family::C24, addressesToWrite(wanted, &chip), wanted,
                       "24C02", nullptr);
        FAIL() << "no error";
    } catch (const ChipError& e) {
        EXPECT_NE(std::string(e.what()).find("Stopped at 000A after writing 10 of 256 bytes."),
                  std::string::npos)
            << e.what();
    }
    EXPECT_EQ(bus.writes.size(), 11u) << "nothing written after the silent byte";
}

TEST(WriteLoopTest, CompareCountsOnlyGivenBytes)
{
    WantedImage wanted = WantedImage::constant(8, 0x11);
    wanted.present[0] = false;
    const std::vector<std::uint8_t> chip = {0, 0x11, 0x12, 0x11, 0x13, 0x11, 0x11, 0x11};
    const auto mismatch = compareWithChip(chip, wanted);
    ASSERT_TRUE(mismatch);
    EXPECT_EQ(mismatch->address, 2);
    EXPECT_EQ(mismatch->wrote, 0x11);
    EXPECT_EQ(mismatch->read, 0x12);
    EXPECT_EQ(mismatch->count, 2);
}

}  // namespace
}  // namespace kavoda
