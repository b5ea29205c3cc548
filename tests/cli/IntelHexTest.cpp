// SPDX-License-Identifier: MIT
// The Intel HEX reader against good and bad records, and the writer read back.
#include <gtest/gtest.h>

#include <random>

#include "IntelHex.h"

namespace kavoda {
namespace {

// The line and fault the reader names for text.
std::pair<int, std::string> refusal(const std::string& text, std::size_t capacity = 256)
{
    try {
        readIntelHex(text, capacity);
    } catch (const IntelHexError& e) {
        EXPECT_EQ(std::string(e.what()), "line " + std::to_string(e.line()) + ": " + e.fault());
        return {e.line(), e.fault()};
    }
    ADD_FAILURE() << "accepted: " << text;
    return {0, ""};
}

TEST(IntelHexTest, ReadsDataAtTheirAddressesAndMarksWhatIsGiven)
{
    // Lower case, CRLF, a blank line and start-address records are all fine.
    const std::string text = ":0300100001020AE0\r\n"
                             "\n"
                             ":02001E00a0b58b\n"
                             ":0400000300000000F9\n"
                             ":00000001FF\n";
    const IntelHexImage image = readIntelHex(text, 64);
    ASSERT_EQ(image.bytes.size(), 64u);
    EXPECT_EQ(image.given, 5u);
    EXPECT_EQ(image.beyond, 0u);
    EXPECT_EQ(image.bytes[0x10], 0x01);
    EXPECT_EQ(image.bytes[0x11], 0x02);
    EXPECT_EQ(image.bytes[0x12], 0x0A);
    EXPECT_EQ(image.bytes[0x1E], 0xA0);
    EXPECT_EQ(image.bytes[0x1F], 0xB5);
    EXPECT_TRUE(image.present[0x10]);
    EXPECT_FALSE(image.present[0x13]);
    EXPECT_EQ(image.bytes[0x13], 0xFF) << "gaps read as an erased chip";
    EXPECT_FALSE(image.present[0]);
}

TEST(IntelHexTest, ExtendedAddressesMoveTheBase)
{
    // 02: segment 0x0010 -> base 0x100, offsets wrap within 64 KiB of it.
    const IntelHexImage segment = readIntelHex(":020000020010EC\n"
                                               ":0100050042B8\n"
                                               ":00000001FF\n",
                                               0x200);
    EXPECT_TRUE(segment.present[0x105]);
    EXPECT_EQ(segment.bytes[0x105], 0x42);

    // 04: upper 16 bits; 0 brings the base back.
    const IntelHexImage linear = readIntelHex(":020000040000FA\n"
                                              ":0107FF007782\n"
                                              ":00000001FF\n",
                                              0x800);
    EXPECT_EQ(linear.bytes[0x7FF], 0x77);
    EXPECT_EQ(refusal(":020000040001F9\n:010000007788\n:00000001FF\n", 0x800),
              std::make_pair(2, std::string("address 10000 is beyond the end (2048 bytes)")));
}

TEST(IntelHexTest, RefusesEachFaultNamingItsLine)
{
    const std::string end = ":00000001FF\n";
    const std::vector<std::tuple<std::string, int, std::string>> cases = {
        {"0100000042BD\n" + end, 1, "a record starts with ':'"},
        {":01000000420D\n" + end, 1, "checksum 0D should be BD"},
        {":0100000042BD\n:01000100G3BC\n" + end, 2,
         "'G' at column 10 is no hex digit"},
        {":0100000042B\n" + end, 1, "odd number of hex digits"},
        {":01000000\n" + end, 1, "record too short: 4 bytes, at least 5 needed"},
        {":0200000042BC\n" + end, 1, "byte count 02 says 2 data bytes, the record has 1"},
        {":0100000642B7\n" + end, 1, "unknown record type 06"},
        {":0100000142BC\n", 1, "an end record (type 01) must hold 0 bytes, not 1"},
        {":03000004000000F9\n" + end, 1,
         "an extended linear address record (type 04) must hold 2 bytes, not 3"},
        {":0100000042BD\n", 1, "the file ends without an end record (:00000001FF)"},
        {"", 1, "the file ends without an end record (:00000001FF)"},
        {end + ":0100000042BD\n", 2, "text after the end record"},
        {":0100000042BD\n:0100000042BD\n" + end, 2, "address 0000 was already given on line 1"},
        {":01010000FFFF\n" + end, 1, "address 0100 is beyond the end (256 bytes)"},
        {" :0100000042BD\n" + end, 1, "a record starts with ':'"},
        // What is not printable is named by its code: a CR would send the
        // terminal back to the line's start, a NUL would end the message.
        {":0100000042BD\r:00000001FF\r", 1,
         "a CR at column 14 is no hex digit (lines end with LF or CRLF, not CR alone)"},
        {":01000000" + std::string(1, '\0') + "2BD\n" + end, 1,
         "byte 0x00 at column 10 is no hex digit"},
        {":0100000042B\x1b\n" + end, 1, "byte 0x1B at column 13 is no hex digit"},
        {":01000000\xc3\xa4" "2BD\n" + end, 1, "byte 0xC3 at column 10 is no hex digit"},
    };
    for (const auto& [text, line, fault] : cases) {
        const auto [gotLine, gotFault] = refusal(text);
        EXPECT_EQ(gotLine, line) << text;
        EXPECT_EQ(gotFault, fault) << text;
    }
}

TEST(IntelHexTest, BeyondTheCapacityIsTypedAndCanBeDropped)
{
    const std::string text = ":0400FE001122334454\n:00000001FF\n";
    try {
        readIntelHex(text, 256);
        FAIL() << "accepted";
    } catch (const IntelHexBeyondError& e) {
        EXPECT_EQ(e.address(), 0x100u);
        EXPECT_EQ(e.line(), 1);
    }
    const IntelHexImage dropped = readIntelHex(text, 256, BeyondCapacity::Drop);
    EXPECT_EQ(dropped.beyond, 2u);
    EXPECT_EQ(dropped.given, 2u);
    EXPECT_EQ(dropped.bytes[0xFF], 0x22);
}

TEST(IntelHexTest, WriterRecordsReadBackToTheSameBytes)
{
    std::mt19937 random(7);
    for (const std::size_t size : {0u, 1u, 15u, 256u, 2048u, 70000u}) {
        std::vector<std::uint8_t> bytes(size);
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(random());
        const std::string text = writeIntelHex(bytes.data(), bytes.size());
        const IntelHexImage image = readIntelHex(text, size);
        EXPECT_EQ(image.bytes, bytes) << size;
        EXPECT_EQ(image.given, size);
    }
    const std::uint8_t two[] = {0xDE, 0xAD};
    EXPECT_EQ(writeIntelHex(two, 2), ":02000000DEAD73\n:00000001FF\n");
    // Past 64 KiB the writer switches the upper address with an 04 record.
    std::vector<std::uint8_t> big(0x10010, 0x11);
    EXPECT_NE(writeIntelHex(big.data(), big.size()).find(":020000040001F9\n:10000000"),
              std::string::npos);
}

}  // namespace
}  // namespace kavoda
