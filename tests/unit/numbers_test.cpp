// Integer text as the settings file and the number fields hold it.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "core/numbers.h"
#include "heaptext.h"

namespace {

int ParseExact(const std::string& text)
{
    return ParseInteger(HeapText(text).get());
}

TEST(ParseInteger, PlainDecimals)
{
    EXPECT_EQ(0, ParseExact("0"));
    EXPECT_EQ(20, ParseExact("20"));
    EXPECT_EQ(7, ParseExact("007"));
    EXPECT_EQ(123456789, ParseExact("123456789"));
}

TEST(ParseInteger, OneOptionalSign)
{
    EXPECT_EQ(15, ParseExact("+15"));
    EXPECT_EQ(-15, ParseExact("-15"));
    EXPECT_EQ(0, ParseExact("-0"));
    EXPECT_EQ(-99999999, ParseExact("-99999999"));  // nine characters, as a value is read
}

TEST(ParseInteger, LeadingWhiteSpaceIsSkipped)
{
    EXPECT_EQ(42, ParseExact("   42"));
    EXPECT_EQ(-7, ParseExact("\t-7"));
    EXPECT_EQ(5, ParseExact(" \t\r\n 5"));
    EXPECT_EQ(3, ParseExact(" +3"));
}

TEST(ParseInteger, DigitsEndAtTheFirstOtherCharacter)
{
    EXPECT_EQ(12, ParseExact("12abc"));
    EXPECT_EQ(1, ParseExact("1 2"));
    EXPECT_EQ(3, ParseExact("3.9"));
    EXPECT_EQ(0, ParseExact("0x10"));
    EXPECT_EQ(-4, ParseExact("-4-5"));
    EXPECT_EQ(10, ParseExact("10 "));
}

TEST(ParseInteger, NoDigitsGivesZero)
{
    EXPECT_EQ(0, ParseExact(""));
    EXPECT_EQ(0, ParseExact("   "));
    EXPECT_EQ(0, ParseExact("abc"));
    EXPECT_EQ(0, ParseExact("+"));
    EXPECT_EQ(0, ParseExact("-"));
    EXPECT_EQ(0, ParseExact("--5"));
    EXPECT_EQ(0, ParseExact("+-5"));
    EXPECT_EQ(0, ParseExact("- 5"));  // white space only before the sign
    EXPECT_EQ(0, ParseExact("x12"));
}

TEST(ParseInteger, ShiftJisTextGivesZero)
{
    // "１２" in full-width digits (0x82 0x50 0x82 0x51): not decimal digits.
    EXPECT_EQ(0, ParseExact("\x82\x50\x82\x51"));
    // "表" (0x95 0x5C) before the digits stops the parse at once.
    EXPECT_EQ(0, ParseExact("\x95\x5C" "12"));
    // Digits followed by "秒" (0x95 0x62).
    EXPECT_EQ(30, ParseExact("30\x95\x62"));
}

TEST(ParseInteger, EndsOfTheSigned32BitRange)
{
    EXPECT_EQ(INT_MAX, ParseExact("2147483647"));
    EXPECT_EQ(INT_MIN, ParseExact("-2147483648"));
    EXPECT_EQ(-2147483647, ParseExact("-2147483647"));
}

TEST(ParseInteger, ValuesBeyondTheRangeAreHeldAtItsEnds)
{
    EXPECT_EQ(INT_MAX, ParseExact("2147483648"));
    EXPECT_EQ(INT_MAX, ParseExact("+9999999999"));
    EXPECT_EQ(INT_MIN, ParseExact("-2147483649"));
    EXPECT_EQ(INT_MIN, ParseExact("-9999999999"));
    EXPECT_EQ(INT_MAX, ParseExact("18446744073709551617"));     // 2^64 + 1
    EXPECT_EQ(INT_MIN, ParseExact("-9223372036854775809"));     // below the 64-bit range
}

TEST(ParseInteger, ArbitrarilyLongDigitRunsAreSafe)
{
    EXPECT_EQ(INT_MAX, ParseExact(std::string(1000, '9')));
    EXPECT_EQ(INT_MIN, ParseExact("-" + std::string(1000, '9')));
    // Leading zeros do not count towards the size of the value.
    EXPECT_EQ(-1, ParseExact("-" + std::string(500, '0') + "1"));
    EXPECT_EQ(2147483647, ParseExact(std::string(300, '0') + "2147483647"));
}

}  // namespace
