#include "mvx_unicode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace Morvenix;

namespace {

std::string bytes(const char* text, size_t n)
{
    return std::string(text, n);
}

std::string toUtf8(const std::vector<uint32_t>& cps)
{
    std::string s;
    for (uint32_t cp : cps) {
        char buf[6];
        s.append(buf, Utf8::encode(buf, cp));
    }
    return s;
}

TEST(Unicode, EncodeAndDecodeOneSequence)
{
    const struct {
        uint32_t cp;
        const char* encoded;
    } cases[] = {
        {0x41, "\x41"},
        {0xE9, "\xC3\xA9"},
        {0x7FF, "\xDF\xBF"},
        {0x800, "\xE0\xA0\x80"},
        {0x20AC, "\xE2\x82\xAC"},
        {0x1F600, "\xF0\x9F\x98\x80"},
        {0x10FFFF, "\xF4\x8F\xBF\xBF"},
        {0x200000, "\xF8\x88\x80\x80\x80"},
        {0x7FFFFFFF, "\xFD\xBF\xBF\xBF\xBF\xBF"},
    };
    for (const auto& c : cases) {
        char buf[6];
        uint32_t n = Utf8::encode(buf, c.cp);
        EXPECT_EQ(std::string(c.encoded), bytes(buf, n)) << std::hex << c.cp;
        EXPECT_EQ(n, Utf8::encodedLength(c.cp));
        uint32_t used = 0;
        EXPECT_EQ(c.cp, decodeUtf8Char(c.encoded, uint32_t(std::strlen(c.encoded)), &used));
        EXPECT_EQ(n, used);
    }
    EXPECT_EQ(6u, Utf8::encodedLength(0x7FFFFFFF));
    EXPECT_EQ(6u, Utf8::encodedLength(0xFFFFFFFF));
}

TEST(Unicode, LenientDecoding)
{
    uint32_t used = 0;
    EXPECT_EQ(0u, decodeUtf8Char("\xC0\x80", 2, &used)); // overlong accepted
    EXPECT_EQ(2u, used);
    EXPECT_EQ(0x85u, decodeUtf8Char("\x85", 1, &used)); // stray continuation byte
    EXPECT_EQ(1u, used);
    EXPECT_EQ(0xFFu, decodeUtf8Char("\xFF\x80", 2, &used));
    EXPECT_EQ(1u, used);
    EXPECT_EQ(0xD800u, decodeUtf8Char("\xED\xA0\x80", 3, &used)); // encoded surrogate
    EXPECT_EQ(3u, used);
    EXPECT_EQ(0u, decodeUtf8Char("", 0, &used));
    EXPECT_EQ(0u, used);
}

TEST(Unicode, SequenceCutShortByTheLengthEndsTheWalk)
{
    uint32_t used = 0;
    // As if zero bytes followed, taking what is there.
    uint32_t cp = decodeUtf8Char("\xF0\x9F", 2, &used);
    EXPECT_EQ(2u, used);
    EXPECT_EQ(((0xF0u * 64 + 0x9F) * 64) * 64 - 0x03C82080u, cp);
    WipedBlock<wchar_t> wide;
    EXPECT_EQ(3u, utf8ToUtf16("a\xE2\x82", 3, wide));
    EXPECT_EQ(L'a', wide.get()[0]);
    EXPECT_EQ(0, wide.get()[2]);
    // A NUL inside a sequence cuts it; the NUL then ends the text.
    WipedBlock<uint32_t> utf32;
    EXPECT_EQ(2u, utf8ToUtf32("\xE2\0\x82\x41", 4, utf32));
}

TEST(Unicode, SequenceLengthTables)
{
    for (int b = 0; b < 256; ++b) {
        uint32_t expected = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF8 ? 4 : b < 0xFC ? 5 : b < 0xFE ? 6 : 1;
        EXPECT_EQ(expected, Utf8::sequenceLength(uint8_t(b))) << b;
        uint32_t strict = (b >= 0x80 && b < 0xC0) || b > 0xFC ? 0 : expected;
        EXPECT_EQ(strict, Utf8::sequenceLengthStrict(uint8_t(b))) << b;
    }
}

TEST(Unicode, NextAndCountNeverStepOverTheTerminator)
{
    EXPECT_EQ(3u, Utf8::countChars("a\xC3\xA9\xF0\x9F\x98\x80"));
    const char cut[] = "ab\xF0\x9F";
    EXPECT_EQ(3u, Utf8::countChars(cut));
    const char* p = cut + 2;
    EXPECT_EQ(cut + 4, Utf8::next(p));
    EXPECT_EQ(0u, Utf8::countChars(""));
}

TEST(Unicode, Validity)
{
    const struct {
        std::string text;
        bool valid;
    } cases[] = {
        {"", false},
        {"a\tb\r\n", true},
        {"h\xC3\xA9llo \xF0\x9F\x98\x80", true},
        {"\xED\xA0\x80", false},         // surrogate
        {"\xEF\xBF\xBE", false},         // non-character U+FFFE
        {"\xEF\xB7\x90", false},         // U+FDD0
        {"\xF0\x9F\xBF\xBF", false},     // U+1FFFF
        {"a\x01z", false},               // control character
        {"\x7F", true},
        {"\xF4\x90\x80\x80", false},     // above U+10FFFF
        {"\xC3", false},                 // cut short
        {"\xE2\x82", false},
        {"\xC3" "A", false},             // no continuation byte
        {"\xC1\x81", false},             // overlong
        {"\xE0\x80\xAF", false},         // overlong
        {"\x80", false},
        {"\xFE", false},
        {std::string("ab\0cd", 5), false}, // NUL before the length
        {"\xF4\x8F\xBF\xBD", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.valid, Utf8::isValid(c.text.data(), uint32_t(c.text.size()))) << c.text;
    EXPECT_FALSE(Utf8::isValid(nullptr, 3));
    EXPECT_TRUE(Utf8::isValid("abc", 2));
}

TEST(Unicode, Classification)
{
    const uint32_t nonCharacters[] = {0xFDD0, 0xFDEF, 0xFFFE, 0xFFFF, 0x1FFFE, 0x10FFFF};
    for (uint32_t cp : nonCharacters) {
        EXPECT_TRUE(isNonCharacter(cp)) << std::hex << cp;
        EXPECT_FALSE(isValidCodePoint(cp)) << std::hex << cp;
    }
    EXPECT_FALSE(isNonCharacter(0xFDCF));
    EXPECT_FALSE(isNonCharacter(0xFDF0));
    EXPECT_FALSE(isNonCharacter(0x11FFFE));
    EXPECT_TRUE(isValidCodePoint(0));
    EXPECT_TRUE(isValidCodePoint(0xD7FF));
    EXPECT_FALSE(isValidCodePoint(0xD800));
    EXPECT_FALSE(isValidCodePoint(0xDFFF));
    EXPECT_TRUE(isValidCodePoint(0xE000));
    EXPECT_TRUE(isValidCodePoint(0x10FFFD));
    EXPECT_FALSE(isValidCodePoint(0x110000));
    EXPECT_TRUE(isSurrogate(0xD800));
    EXPECT_TRUE(isSurrogate(0xDFFF));
    EXPECT_FALSE(isSurrogate(0xE000));

    const uint32_t spaces[] = {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0xA0, 0x2000, 0x2005, 0x200A, 0x200B, 0x3000};
    for (uint32_t cp : spaces)
        EXPECT_TRUE(isWhiteSpace(cp)) << std::hex << cp;
    const uint32_t notSpaces[] = {0x08, 0x0E, 0x1F, 0x85, 0x2028, 0x200C, 0xFEFF, 0x41};
    for (uint32_t cp : notSpaces)
        EXPECT_FALSE(isWhiteSpace(cp)) << std::hex << cp;
    const uint32_t breaks[] = {0x0A, 0x0B, 0x0C, 0x0D, 0x85, 0x2028, 0x2029};
    for (uint32_t cp : breaks)
        EXPECT_TRUE(isLineBreak(cp)) << std::hex << cp;
    EXPECT_FALSE(isLineBreak(0x09));
    EXPECT_FALSE(isLineBreak(0x20));

    const char ideographicSpace[] = "\xE3\x80\x80";
    EXPECT_TRUE(isWhiteSpace(ideographicSpace, ideographicSpace + 3));
    EXPECT_FALSE(isWhiteSpace(ideographicSpace, ideographicSpace + 1)); // cut short: another value
    EXPECT_FALSE(isWhiteSpace(ideographicSpace, ideographicSpace));
    const char nel[] = "\xC2\x85";
    EXPECT_TRUE(isLineBreak(nel, nel + 2));
}

TEST(Unicode, Utf16Units)
{
    EXPECT_EQ(0x1F600u, Utf16::combine(0xD83D, 0xDE00));
    EXPECT_EQ(0xD83D, Utf16::highSurrogate(0x1F600));
    EXPECT_EQ(0xDE00, Utf16::lowSurrogate(0x1F600));
    EXPECT_TRUE(Utf16::isHighSurrogate(0xDBFF));
    EXPECT_FALSE(Utf16::isHighSurrogate(0xDC00));
    EXPECT_EQ(2u, Utf16::sequenceLength(0xD800));
    EXPECT_EQ(1u, Utf16::sequenceLength(0xDC00));
    wchar_t out[2];
    EXPECT_EQ(2u, Utf16::encode(out, 0x10FFFF));
    EXPECT_EQ(0xDBFF, out[0]);
    EXPECT_EQ(0xDFFF, out[1]);
    EXPECT_EQ(1u, Utf16::encode(out, 0xFFFF));

    uint32_t count = 0;
    const wchar_t lowFirst[] = {0xDC00, 0x41, 0};
    EXPECT_EQ(0xDC00u, Utf16::decode(lowFirst, 2, &count));
    EXPECT_EQ(1u, count);
    const wchar_t highLast[] = {0xD83D, 0};
    EXPECT_EQ(0xD83Du, Utf16::decode(highLast, 1, &count)); // nothing after it
    EXPECT_EQ(1u, count);
    EXPECT_EQ(0xD83Du, Utf16::decode(highLast, 2, &count)); // a zero unit after it
    EXPECT_EQ(1u, count);
    const wchar_t pair[] = {0xD83D, 0xDE00};
    EXPECT_EQ(0x1F600u, Utf16::decode(pair, 2, &count));
    EXPECT_EQ(2u, count);

    uint32_t word = 0x12345678;
    EXPECT_EQ(0x12345678u, Utf32::decode(&word, &count));
    EXPECT_EQ(1u, count);
}

TEST(Unicode, WholeTextConversions)
{
    WipedBlock<wchar_t> wide;
    EXPECT_EQ(3u, utf8ToUtf16("\xF0\x9F\x98\x80", -1, wide));
    EXPECT_EQ(0xD83D, wide.get()[0]);
    EXPECT_EQ(0xDE00, wide.get()[1]);
    EXPECT_EQ(0, wide.get()[2]);
    WipedBlock<char> utf8;
    EXPECT_EQ(5u, utf16ToUtf8(wide.get(), -1, utf8));
    EXPECT_STREQ("\xF0\x9F\x98\x80", utf8.get());

    // A lone high surrogate at the end becomes its own three-byte form.
    const wchar_t lone[] = {L'a', 0xD83D, 0};
    EXPECT_EQ(5u, utf16ToUtf8(lone, -1, utf8));
    EXPECT_STREQ("a\xED\xA0\xBD", utf8.get());
    EXPECT_EQ(2u, utf16ToUtf8(lone, 1, utf8));
    EXPECT_STREQ("a", utf8.get());

    const uint32_t words[] = {0x41, 0xE9, 0x1F600, 0x7FFFFFFF, 0};
    EXPECT_EQ(1u + 2 + 4 + 6 + 1, utf32ToUtf8(words, -1, utf8));
    EXPECT_EQ(std::string("A\xC3\xA9\xF0\x9F\x98\x80\xFD\xBF\xBF\xBF\xBF\xBF"), std::string(utf8.get()));
    EXPECT_EQ(4u, utf32ToUtf8(words, 2, utf8));

    WipedBlock<uint32_t> utf32;
    EXPECT_EQ(4u, utf8ToUtf32("A\xC3\xA9\xF0\x9F\x98\x80", -1, utf32));
    EXPECT_EQ(0xE9u, utf32.get()[1]);
    EXPECT_EQ(0x1F600u, utf32.get()[2]);
    EXPECT_EQ(0u, utf32.get()[3]);

    // Lengths below 1 and null texts give only the terminator; every walk stops at a zero unit.
    EXPECT_EQ(1u, utf8ToUtf16(nullptr, -1, wide));
    EXPECT_EQ(0, wide.get()[0]);
    EXPECT_EQ(1u, utf8ToUtf32("abc", 0, utf32));
    EXPECT_EQ(1u, utf16ToUtf8(L"abc", 0, utf8));
    EXPECT_EQ(2u, utf8ToUtf16("a\0b", 3, wide));
    EXPECT_EQ(2u, utf32ToUtf8(words, 1, utf8));

    // Into the caller's buffer: the same units when they fit, terminator included; nothing written otherwise.
    wchar_t buffer[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_EQ(0u, utf8ToUtf16("ab\xF0\x9F\x98\x80", -1, buffer, 4));
    EXPECT_EQ(L'x', buffer[0]);
    EXPECT_EQ(4u, utf8ToUtf16("a\xF0\x9F\x98\x80", -1, buffer, 4));
    EXPECT_EQ(std::wstring(L"a\xD83D\xDE00"), std::wstring(buffer));
    EXPECT_EQ(1u, utf8ToUtf16(nullptr, -1, buffer, 4));
    EXPECT_EQ(0, buffer[0]);
}

TEST(Unicode, RoundTripsOfRandomCodePoints)
{
    std::mt19937 rng(1234);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint32_t> cps;
        int n = int(rng() % 40) + 1;
        for (int i = 0; i < n; ++i) {
            uint32_t cp;
            do
                cp = rng() % 0x110000;
            while (!isValidCodePoint(cp) || cp == 0);
            cps.push_back(cp);
        }
        std::string text = toUtf8(cps);
        ASSERT_TRUE(Utf8::isValid(text.data(), uint32_t(text.size())));
        WipedBlock<wchar_t> wide;
        utf8ToUtf16(text.data(), int32_t(text.size()), wide);
        WipedBlock<char> back;
        uint32_t size = utf16ToUtf8(wide.get(), -1, back);
        EXPECT_EQ(text, std::string(back.get(), size - 1));
        WipedBlock<uint32_t> utf32;
        EXPECT_EQ(cps.size() + 1, utf8ToUtf32(text.data(), int32_t(text.size()), utf32));
        EXPECT_EQ(cps, std::vector<uint32_t>(utf32.get(), utf32.get() + cps.size()));
    }
}

TEST(Unicode, WipedBlockOwnership)
{
    WipedBlock<char> a;
    EXPECT_EQ(nullptr, a.get());
    std::memcpy(a.reset(4), "abc", 4);
    EXPECT_EQ(4u, a.count());
    WipedBlock<char> b;
    b.swap(a);
    EXPECT_EQ(nullptr, a.get());
    EXPECT_STREQ("abc", b.get());
    uint32_t n = b.count();
    char* raw = b.detach();
    EXPECT_EQ(nullptr, b.get());
    WipedBlock<char>::wipeAndFree(raw, n);
    EXPECT_EQ(nullptr, a.reset(0));
}

} // namespace
