// SPDX-License-Identifier: MIT
// A hex cell's text back to its byte.
#include "myfunc.h"

#include <cstdio>
#include <gtest/gtest.h>

using namespace kavoda;

namespace {

std::string conversionError(std::string_view text)
{
    try {
        HexToByte(text);
    } catch (const ConversionError& e) {
        return e.what();
    }
    return "";
}

TEST(HexToByte, EmptyOneOrTwoCharactersInEitherCase)
{
    EXPECT_EQ(HexToByte(""), 0x00);
    EXPECT_EQ(HexToByte("7"), 0x07);
    EXPECT_EQ(HexToByte("a"), 0x0A);
    EXPECT_EQ(HexToByte("F"), 0x0F);
    EXPECT_EQ(HexToByte("3f"), 0x3F);
    EXPECT_EQ(HexToByte("FF"), 0xFF);
    EXPECT_EQ(HexToByte("00"), 0x00);
    EXPECT_EQ(HexToByte("aB"), 0xAB);
    // Only the first two characters count, whatever follows them.
    EXPECT_EQ(HexToByte("123"), 0x12);
    EXPECT_EQ(HexToByte("12zz"), 0x12);
}

TEST(HexToByte, AnyOtherCharacterIsNamedInTheError)
{
    EXPECT_EQ(conversionError("G1"), "'G' is not a valid integer value");
    EXPECT_EQ(conversionError("1G"), "'G' is not a valid integer value");
    EXPECT_EQ(conversionError("g"), "'G' is not a valid integer value");  // read upper-cased
    EXPECT_EQ(conversionError(" "), "' ' is not a valid integer value");
    EXPECT_EQ(conversionError("-1"), "'-' is not a valid integer value");
    EXPECT_EQ(conversionError("$F"), "'$' is not a valid integer value");
    // A pasted non-ASCII character is named whole, not by its first byte.
    EXPECT_EQ(conversionError("\xC3\xA9" "1"), "'\xC3\xA9' is not a valid integer value");
    EXPECT_EQ(conversionError("1\xE2\x82\xAC"), "'\xE2\x82\xAC' is not a valid integer value");
    // A broken sequence still names a byte instead of reading past the text.
    EXPECT_EQ(conversionError("\xE2"), "'\xE2' is not a valid integer value");
}

TEST(HexToByte, EveryTwoDigitTextRoundTrips)
{
    for (int value = 0; value < 256; ++value) {
        char upper[3], lower[3];
        std::snprintf(upper, sizeof upper, "%02X", value);
        std::snprintf(lower, sizeof lower, "%02x", value);
        EXPECT_EQ(HexToByte(upper), value);
        EXPECT_EQ(HexToByte(lower), value);
    }
}

} // namespace
