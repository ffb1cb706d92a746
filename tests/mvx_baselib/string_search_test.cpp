#include "mvx_string.h"
#include "string_bytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

using Morvenix::String;
using MvxTest::bytesOf;
using MvxTest::str;

namespace {

const uint32_t npos = String::npos;

// The plain definition of the first occurrence, for comparison with both search paths.
uint32_t referenceFind(const std::string& inText, const std::string& inPattern)
{
    if (inPattern.size() > inText.size())
        return npos;
    for (size_t i = 0; i + inPattern.size() <= inText.size(); ++i) {
        if (inText.compare(i, inPattern.size(), inPattern) == 0)
            return uint32_t(i);
    }
    return npos;
}

TEST(StringSearch, FindEdges)
{
    EXPECT_EQ(0u, String("abc").find(String()));
    EXPECT_EQ(0u, String().find(String()));
    EXPECT_EQ(npos, String("abc").find(String("abcd")));
    EXPECT_EQ(npos, String().find(String("a")));
    EXPECT_EQ(1u, String("abcbc").find(String("bc")));
    EXPECT_EQ(npos, String("abcbc").find(String("bd")));
    // A pattern ending the text of a long text, found by Horspool's method.
    std::string text(595, 'x');
    text += "hello";
    EXPECT_EQ(595u, str(text).find(String("hello")));
    EXPECT_EQ(nullptr, String("abc").findPtr(String("z")));
    String s("xxabc");
    EXPECT_EQ(s.begin() + 2, s.findPtr(String("abc")));
}

TEST(StringSearch, SearchWithinASubstringStaysInsideIt)
{
    // The bytes after the substring's end belong to the shared buffer and must not be matched.
    String whole("abcdefgh");
    String part = whole.substr(0, 5);
    EXPECT_EQ(npos, part.find(String("efg")));
    EXPECT_EQ(npos, part.find(String("ef")));
    EXPECT_EQ(3u, part.find(String("de")));
    std::string long_(700, 'a');
    long_ += "needle";
    String big = str(long_);
    EXPECT_EQ(npos, big.substr(0, 703).find(String("needle")));
    EXPECT_EQ(699u, big.substr(1).find(String("needle")));
    EXPECT_FALSE(whole.substr(0, 3).endsWith(String("cd")));
}

// Both paths against the reference: short and long texts over small alphabets (so that partial matches
// and repeated bytes are frequent), patterns taken from the text or made up, bytes with the high bit set.
TEST(StringSearch, BothPathsAgreeWithReferenceOnRandomInput)
{
    std::mt19937 rng(20261210);
    for (int round = 0; round < 3000; ++round) {
        uint32_t alphabet = 2 + rng() % 4;
        bool high = rng() % 3 == 0;
        size_t textLength = round % 2 ? 512 + rng() % 1500 : rng() % 600;
        std::string text(textLength, 0);
        for (char& c : text)
            c = char((high ? 0xF0 : 'a') + rng() % alphabet);
        size_t patternLength = 1 + rng() % 12;
        std::string pattern;
        if (rng() % 2 && patternLength <= textLength) {
            pattern = text.substr(rng() % (textLength - patternLength + 1), patternLength);
        } else {
            pattern.resize(patternLength);
            for (char& c : pattern)
                c = char((high ? 0xF0 : 'a') + rng() % alphabet);
        }
        ASSERT_EQ(referenceFind(text, pattern), str(text).find(str(pattern)))
            << "round " << round << " text length " << textLength << " pattern length " << patternLength;
    }
}

TEST(StringSearch, HorspoolFindsEveryPositionOfAPlantedPattern)
{
    std::mt19937 rng(7);
    std::string base(1024, 0);
    for (char& c : base)
        c = char('a' + rng() % 2);
    // The pattern's repeated last byte gives small skips; its first byte differs from the text's.
    const std::string pattern = "zabb";
    for (size_t at : {size_t(0), size_t(1), size_t(511), size_t(512), size_t(1020)}) {
        std::string text = base;
        text.replace(at, pattern.size(), pattern);
        EXPECT_EQ(uint32_t(at), str(text).find(str(pattern))) << at;
    }
}

TEST(StringSearch, StartsAndEndsWith)
{
    String s("abcdef");
    EXPECT_TRUE(s.startsWith(String("abc")));
    EXPECT_TRUE(s.startsWith(String()));
    EXPECT_FALSE(s.startsWith(String("bcd")));
    EXPECT_FALSE(s.startsWith(String("abcdefg")));
    EXPECT_TRUE(s.endsWith(String("def")));
    EXPECT_TRUE(s.endsWith(String()));
    EXPECT_TRUE(s.endsWith(s));
    EXPECT_FALSE(s.endsWith(String("de")));
    EXPECT_FALSE(String("ef").endsWith(String("def")));
}

TEST(StringSearch, CodePointSearch)
{
    String s("a\xC3\xA9" "b\xC3\xA9");
    EXPECT_EQ(1u, s.findChar(0xE9));
    EXPECT_EQ(4u, s.findChar(0xE9, 2));
    EXPECT_EQ(npos, s.findChar(0xE9, 6));
    EXPECT_EQ(npos, s.findChar(0xE9, 99));
    EXPECT_EQ(npos, s.findChar('z'));
    EXPECT_EQ(4u, s.rfind(0xE9));
    EXPECT_EQ(2u, String("aba").rfind('a'));
    EXPECT_EQ(npos, String().rfind('a'));
    EXPECT_EQ(npos, String().findChar('a'));
    // The bytes of a multi-byte sequence are not code points of their own.
    EXPECT_EQ(npos, s.findChar(0xA9));
}

TEST(StringSearch, FindFirstOf)
{
    String s("ab\xE2\x82\xAC" "c,d");
    EXPECT_EQ(2u, s.findFirstOf(String(",\xE2\x82\xAC")));
    EXPECT_EQ(6u, s.findFirstOf(String(",\xE2\x82\xAC"), 3));
    EXPECT_EQ(npos, s.findFirstOf(String("xyz")));
    EXPECT_EQ(npos, s.findFirstOf(String()));
    EXPECT_EQ(npos, String().findFirstOf(String("a")));
    EXPECT_EQ(npos, s.findFirstOf(String(","), 8));
    const uint32_t set[] = {'d', 'c'};
    EXPECT_EQ(5u, s.findFirstOf(set, 2));
    EXPECT_EQ(npos, s.findFirstOf(set, 0));
    // The scans without a start stop at an embedded NUL; the one with a start runs to the end.
    String nul("ab\0cd", 5);
    EXPECT_EQ(npos, nul.findFirstOf(String("c")));
    EXPECT_EQ(npos, nul.findFirstOf(set, 2));
    EXPECT_EQ(3u, nul.findFirstOf(String("c"), 0));
    // The set ends at its own first NUL.
    EXPECT_EQ(npos, String("xyz").findFirstOf(String("a\0z", 3)));
}

TEST(StringSearch, CodePointPositions)
{
    String s("\xC3\xA9\xC3\xA9x");
    EXPECT_EQ(3u, s.getCharCount());
    EXPECT_EQ(4u, s.charToByteOffset(2));
    EXPECT_EQ(5u, s.charToByteOffset(3));
    EXPECT_EQ(npos, s.charToByteOffset(4));
    EXPECT_EQ(0u, s.charToByteOffset(0));
    EXPECT_EQ(s.begin() + 2, s.charToPtr(1));
    EXPECT_EQ(nullptr, s.charToPtr(9));
    String two("\xC3\xA9\xC3\xA9");
    EXPECT_EQ(two.getLength(), two.charToByteOffset(2));
    EXPECT_EQ(0u, String().getCharCount());
    EXPECT_EQ(2u, String("ab\0cd", 5).getCharCount());
    // A sequence cut short by the end counts once and does not step past the end.
    String cut = String("a\xE2\x82\xAC").substr(0, 3);
    EXPECT_EQ(2u, cut.getCharCount());
    EXPECT_EQ(3u, cut.charToByteOffset(2));
    EXPECT_EQ(npos, cut.charToByteOffset(3));
}

TEST(StringSearch, SubstrChars)
{
    String s("a\xC3\xA9" "b\xE2\x82\xAC" "c");
    EXPECT_EQ("\xC3\xA9" "b", bytesOf(s.substrChars(1, 2)));
    EXPECT_EQ("\xE2\x82\xAC" "c", bytesOf(s.substrChars(3)));
    EXPECT_EQ("\xE2\x82\xAC" "c", bytesOf(s.substrChars(3, 99)));
    EXPECT_TRUE(s.substrChars(5).isEmpty());
    EXPECT_TRUE(s.substrChars(9, 1).isEmpty());
    EXPECT_TRUE(s.substrChars(1, 0).isEmpty());
    EXPECT_EQ(bytesOf(s), bytesOf(s.substrChars(0)));
}

TEST(StringSearch, CaseChangesTouchOnlyAsciiLetters)
{
    EXPECT_EQ("ABC-XYZ \xC3\xA9", bytesOf(String("aBc-xyZ \xC3\xA9").toUpper()));
    EXPECT_EQ("abc-xyz \xC3\x89", bytesOf(String("aBc-XYZ \xC3\x89").toLower()));
    EXPECT_EQ("\xC3\xA9", bytesOf(String("\xC3\xA9").toUpper()));
    EXPECT_EQ("@[`{", bytesOf(String("@[`{").toUpper()));
    EXPECT_EQ("@[`{", bytesOf(String("@[`{").toLower()));
    EXPECT_TRUE(String().toUpper().isEmpty());
    String original("abc");
    String upper = original.toUpper();
    EXPECT_EQ("abc", bytesOf(original));
    EXPECT_EQ("ABC", bytesOf(upper));
}

TEST(StringSearch, Trimming)
{
    struct Case {
        const char* text;
        const char* left;
        const char* right;
        const char* both;
    } cases[] = {
        {" \t\xE3\x80\x80", "", "", ""},
        {"", "", "", ""},
        {"abc", "abc", "abc", "abc"},
        {"\xC2\xA0 a b\r\n", "a b\r\n", "\xC2\xA0 a b", "a b"},
        {"\xE2\x80\x8B" "x\xE2\x80\x80", "x\xE2\x80\x80", "\xE2\x80\x8B" "x", "x"},
        // U+0085 and U+2028 are line breaks but not white space.
        {"\xC2\x85" "a\xE2\x80\xA8", "\xC2\x85" "a\xE2\x80\xA8", "\xC2\x85" "a\xE2\x80\xA8", "\xC2\x85" "a\xE2\x80\xA8"},
    };
    for (const Case& c : cases) {
        String s(c.text);
        EXPECT_EQ(c.left, bytesOf(s.trimLeft())) << c.text;
        EXPECT_EQ(c.right, bytesOf(s.trimRight())) << c.text;
        EXPECT_EQ(c.both, bytesOf(s.trim())) << c.text;
        EXPECT_EQ(c.text, bytesOf(s)); // unchanged
    }
}

TEST(StringSearch, TrimTrailingLineBreaks)
{
    EXPECT_EQ("line", bytesOf(String("line\r\n").trimTrailingLineBreaks()));
    EXPECT_EQ("line\r\nmore", bytesOf(String("line\r\nmore").trimTrailingLineBreaks()));
    EXPECT_EQ("a ", bytesOf(String("a \n\xC2\x85\xE2\x80\xA8\xE2\x80\xA9\x0B\x0C").trimTrailingLineBreaks()));
    EXPECT_TRUE(String("\n\n").trimTrailingLineBreaks().isEmpty());
    String shared("text\n");
    EXPECT_EQ(shared.begin(), shared.trimTrailingLineBreaks().begin());
}

TEST(StringSearch, Numbers)
{
    EXPECT_EQ(12u, String("12abc").toUInt());
    EXPECT_EQ(0u, String("-1").toUInt());
    EXPECT_EQ(0u, String(" 7").toUInt());
    EXPECT_EQ(0u, String().toUInt());
    EXPECT_EQ(1u, String("4294967297").toUInt());
    EXPECT_EQ(4294967297ull, String("4294967297").toUInt64());
    EXPECT_EQ(18446744073709551615ull, String("18446744073709551615x").toUInt64());
    EXPECT_EQ(0ull, String("18446744073709551616").toUInt64()); // wraps
    // The digits of a substring end where the substring ends.
    EXPECT_EQ(12u, String("1234").substr(0, 2).toUInt());
    EXPECT_EQ(12u, String("1234").substr(0, 2).toUInt64());

    EXPECT_EQ(-42, String("  -42xyz").toInt());
    EXPECT_EQ(17, String("+17").toInt());
    EXPECT_EQ(0, String("x1").toInt());
    EXPECT_EQ(INT32_MAX, String("99999999999").toInt());
    EXPECT_EQ(INT32_MIN, String("-99999999999").toInt());
    EXPECT_EQ(34, String("1234").substr(2).toInt());
    EXPECT_EQ(12, String("1234").substr(0, 2).toInt());

    EXPECT_DOUBLE_EQ(2.5, String(" 2.5e0z").toDouble());
    EXPECT_DOUBLE_EQ(0.0, String("z").toDouble());
}

} // namespace
