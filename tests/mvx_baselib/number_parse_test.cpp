#include "mvx_misc.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <random>
#include <string>

using MvxTest::expectThrow;

namespace {

typedef int32_t (*Parser)(const char*, uint32_t);

struct NumberCase {
    const char* name;
    Parser parse;
    std::string text; // std::string, so that cases can hold NUL bytes
    int64_t expected; // -1: errDataBroken
};

const NumberCase kCases[] = {
    {"dec 42", Morvenix::Decimal::fromStrToInt, "42", 42},
    {"dec 0", Morvenix::Decimal::fromStrToInt, "0", 0},
    {"dec leading zeros", Morvenix::Decimal::fromStrToInt, "0000000000000012", 12},
    {"dec max", Morvenix::Decimal::fromStrToInt, "2147483647", 2147483647},
    {"dec max+1", Morvenix::Decimal::fromStrToInt, "2147483648", -1},
    {"dec ten nines", Morvenix::Decimal::fromStrToInt, "9999999999", -1},
    {"dec 2^32", Morvenix::Decimal::fromStrToInt, "4294967296", -1},
    {"dec trailing letter", Morvenix::Decimal::fromStrToInt, "1000x", -1},
    {"dec NUL inside count", Morvenix::Decimal::fromStrToInt, std::string("12\0" "3", 4), -1},
    {"dec sign", Morvenix::Decimal::fromStrToInt, "-1", -1},
    {"dec plus", Morvenix::Decimal::fromStrToInt, "+1", -1},
    {"dec blank", Morvenix::Decimal::fromStrToInt, " 1", -1},
    {"dec hex digit", Morvenix::Decimal::fromStrToInt, "1a", -1},
    {"dec high byte", Morvenix::Decimal::fromStrToInt, "1\xb9", -1},
    {"hex 7FFFFFFF", Morvenix::Hex::fromStrToInt, "7FFFFFFF", 2147483647},
    {"hex ff", Morvenix::Hex::fromStrToInt, "ff", 255},
    {"hex FF", Morvenix::Hex::fromStrToInt, "FF", 255},
    {"hex mixed", Morvenix::Hex::fromStrToInt, "aBcD", 0xABCD},
    {"hex leading zeros", Morvenix::Hex::fromStrToInt, "000000000000007fffffff", 2147483647},
    {"hex 80000000", Morvenix::Hex::fromStrToInt, "80000000", -1},
    {"hex nine digits", Morvenix::Hex::fromStrToInt, "100000000", -1},
    {"hex g1", Morvenix::Hex::fromStrToInt, "g1", -1},
    {"hex 0x prefix", Morvenix::Hex::fromStrToInt, "0x1", -1},
    {"hex NUL", Morvenix::Hex::fromStrToInt, std::string("\0", 1), -1},
};

TEST(NumberParsing, Cases)
{
    for (const NumberCase& c : kCases) {
        SCOPED_TRACE(c.name);
        if (c.expected >= 0) {
            EXPECT_EQ(c.expected, c.parse(c.text.data(), uint32_t(c.text.size())));
        } else {
            expectThrow([&] { c.parse(c.text.data(), uint32_t(c.text.size())); }, Morvenix::errDataBroken,
                        "errDataBroken", "mvx_misc");
        }
    }
}

TEST(NumberParsing, ErrorsNameTheirFunction)
{
    expectThrow([] { Morvenix::Decimal::fromStrToInt("x", 1); }, Morvenix::errDataBroken,
                "Morvenix::Decimal::fromStrToInt");
    expectThrow([] { Morvenix::Hex::fromStrToInt("x", 1); }, Morvenix::errDataBroken, "Morvenix::Hex::fromStrToInt");
}

TEST(NumberParsing, ReadsExactlyTheCount)
{
    // Only the counted characters are read: what follows them does not matter, and a count of 0 reads
    // nothing at all.
    EXPECT_EQ(12, Morvenix::Decimal::fromStrToInt("12x", 2));
    EXPECT_EQ(0x12, Morvenix::Hex::fromStrToInt("12g", 2));
    EXPECT_EQ(0, Morvenix::Decimal::fromStrToInt(nullptr, 0));
    EXPECT_EQ(0, Morvenix::Hex::fromStrToInt(nullptr, 0));
}

TEST(NumberParsing, DigitValues)
{
    for (int c = -128; c < 128; ++c) {
        char ch = char(c);
        int dec = ch >= '0' && ch <= '9' ? ch - '0' : -10000;
        EXPECT_EQ(dec, Morvenix::Decimal::charToInt(ch)) << c;
    }
    EXPECT_EQ(15, Morvenix::Hex::charToInt('f'));
    EXPECT_EQ(15, Morvenix::Hex::charToInt('F'));
    EXPECT_EQ(-10000, Morvenix::Hex::charToInt('g'));
}

// Random runs of digits and other bytes: the parser gives the value std::stoll would give to a pure run
// that fits, and errDataBroken for everything else.
TEST(NumberParsing, RandomRunsAgreeWithReference)
{
    std::mt19937 rng(1124);
    const char alphabet[] = "0123456789abcdefABCDEFxX -+\0\xff";
    for (int i = 0; i < 20000; ++i) {
        bool hex = rng() & 1;
        std::string text(rng() % 12, '0');
        for (char& ch : text)
            ch = (rng() % 8) ? alphabet[rng() % (hex ? 22 : 10)] : alphabet[rng() % (sizeof alphabet - 1)];
        bool digits = true;
        for (char ch : text)
            digits = digits && (hex ? std::isxdigit((unsigned char)ch) : std::isdigit((unsigned char)ch));
        int64_t expected = -1;
        if (digits) {
            expected = text.empty() ? 0 : std::stoll(text, nullptr, hex ? 16 : 10);
            if (expected > INT32_MAX)
                expected = -1;
        }
        Parser parse = hex ? Morvenix::Hex::fromStrToInt : Morvenix::Decimal::fromStrToInt;
        try {
            int32_t v = parse(text.data(), uint32_t(text.size()));
            EXPECT_EQ(expected, v) << text;
        } catch (const Morvenix::Exception& e) {
            EXPECT_EQ(-1, expected) << text;
            EXPECT_EQ(Morvenix::errDataBroken, e.getCode());
        }
    }
}

} // namespace
