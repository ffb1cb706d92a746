#include "mvx_exception.h"
#include "mvx_string.h"
#include "string_bytes.h"
#include "vector_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

using Morvenix::Exception;
using Morvenix::String;
using MvxTest::bytesOf;

namespace {

TEST(String, ConstructionFromUtf8)
{
    EXPECT_TRUE(String("\0abc", 4).isEmpty());
    EXPECT_EQ(0u, String("\0abc", 4).getLength());
    String empty("abc", 0);
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_EQ(String().begin(), empty.begin()); // the shared empty buffer
    EXPECT_EQ(String().begin(), String(nullptr).begin());
    EXPECT_EQ(String().begin(), String(static_cast<const char*>(nullptr), 5).begin());
    EXPECT_EQ(3u, String("abc", String::npos).getLength());
    EXPECT_EQ(0x80000000u, String::npos);
    EXPECT_EQ(3u, String("abc", -7).getLength());
    EXPECT_EQ("ab", bytesOf(String("abc", 2)));
    EXPECT_STREQ("", String().c_str());
}

TEST(String, EmbeddedNulCountsInTheLength)
{
    String a("abc\0def", 7);
    String b("abc\0xyz", 7);
    EXPECT_EQ(7u, a.getLength());
    EXPECT_FALSE(a.isEmpty());
    EXPECT_EQ(0, a.compare(b));
    EXPECT_TRUE(a == b);
    String nulFirst = String("a\0b", 3).substr(1);
    EXPECT_EQ(2u, nulFirst.getLength());
    EXPECT_TRUE(nulFirst.isEmpty());
}

TEST(String, ConstructionFromStdString)
{
    std::string s("ab\0cd", 5);
    EXPECT_EQ("ab", bytesOf(String(s)));
    EXPECT_EQ(s, bytesOf(String(s, 5)));
    EXPECT_EQ(s, bytesOf(String(s, 100))); // never beyond the standard string
    EXPECT_EQ("ab", bytesOf(String(s, 2)));
}

TEST(String, ConstructionFromUtf16WithByteOrderMarks)
{
    EXPECT_EQ("h\xC3\xA9\xF0\x9F\x98\x80", bytesOf(String(L"h\u00e9\U0001F600")));
    const wchar_t native[] = {0xFEFF, L'a', L'b', 0};
    EXPECT_EQ("ab", bytesOf(String(native)));
    EXPECT_EQ("a", bytesOf(String(native, 2)));
    const wchar_t swapped[] = {0xFFFE, 0x4100, 0x4200, 0};
    EXPECT_EQ("AB", bytesOf(String(swapped)));
    EXPECT_EQ("A", bytesOf(String(swapped, 2)));
    const wchar_t swappedWithZero[] = {0xFFFE, 0x4100, 0, 0x4200, 0};
    EXPECT_EQ("A", bytesOf(String(swappedWithZero, 4)));
    const wchar_t onlyMark[] = {0xFFFE, 0};
    EXPECT_TRUE(String(onlyMark).isEmpty());
    EXPECT_TRUE(String(static_cast<const wchar_t*>(nullptr)).isEmpty());
    EXPECT_TRUE(String(L"abc", 0).isEmpty());
    EXPECT_EQ("ab", bytesOf(String(L"abc", 2)));
}

TEST(String, ConstructionFromUtf32)
{
    const uint32_t words[] = {0x1F600, 0x41, 0};
    EXPECT_EQ("\xF0\x9F\x98\x80" "A", bytesOf(String(words)));
    EXPECT_EQ("\xF0\x9F\x98\x80", bytesOf(String(words, 1)));
    const uint32_t mark[] = {0xFEFF, 0x41, 0}; // no byte-order mark handling here
    EXPECT_EQ("\xEF\xBB\xBF" "A", bytesOf(String(mark)));
}

TEST(String, CodePointsAndRepeat)
{
    EXPECT_EQ("A", bytesOf(String::fromCodePoint(0x41)));
    EXPECT_EQ("\xF0\x9F\x98\x80", bytesOf(String::fromCodePoint(0x1F600)));
    EXPECT_EQ("\xFD\xBF\xBF\xBF\xBF\xBF", bytesOf(String::fromCodePoint(0x7FFFFFFF)));
    EXPECT_TRUE(String::fromCodePoint(0).isEmpty());
    EXPECT_EQ("ababab", bytesOf(String::repeat(String("ab"), 3)));
    EXPECT_EQ("\xC3\xA9\xC3\xA9", bytesOf(String::repeat(0xE9u, 2)));
    EXPECT_TRUE(String::repeat(String("ab"), 0).isEmpty());
    EXPECT_TRUE(String::repeat(String(), 5).isEmpty());
    EXPECT_TRUE(String::repeat(0x41u, 0).isEmpty());
    EXPECT_EQ("ab", bytesOf(String::repeat(String("ab\0cd", 5), 2))); // the embedded NUL ends the result
}

TEST(String, RepeatRefusesResultsBeyondTheLengthField)
{
    const struct {
        uint32_t unit;
        uint32_t count;
    } cases[] = {{4, 0x40000000u}, {0x10000, 0x8000}, {1, 0xFFFFFFFFu}, {3, 0x55555555u}};
    for (const auto& c : cases) {
        String unit = String::repeat(0x41u, c.unit);
        ASSERT_EQ(c.unit, unit.getLength());
        try {
            String::repeat(unit, c.count);
            ADD_FAILURE() << c.unit << " x " << c.count;
        } catch (const Exception& e) {
            EXPECT_EQ(Morvenix::errInvalidParam, e.getCode());
            EXPECT_NE(nullptr, std::strstr(e.what(), "Morvenix::String::repeat"));
        }
    }
    EXPECT_THROW(String::repeat(0x1F600u, 0x20000000u), Exception);
}

TEST(String, Comparison)
{
    const struct {
        String a, b;
        int expected;
    } cases[] = {
        {"ab", "abc", -1},       {"abc", "ab", 1},      {"abd", "abc", 1},  {"abc", "abd", -1},
        {"abc", "abc", 0},       {"", "", 0},           {"", "a", -1},      {"a", "", 1},
        {"a", "c", -2},          {"\xC3", "a", 0xC3 - 'a'}, {"ABC", "abc", 'A' - 'a'},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, c.a.compare(c.b)) << bytesOf(c.a) << " vs " << bytesOf(c.b);
        EXPECT_EQ(c.expected == 0, c.a == c.b);
        EXPECT_EQ(c.expected != 0, c.a != c.b);
        EXPECT_EQ(c.expected < 0, c.a < c.b);
        EXPECT_EQ(c.expected <= 0, c.a <= c.b);
        EXPECT_EQ(c.expected > 0, c.a > c.b);
        EXPECT_EQ(c.expected >= 0, c.a >= c.b);
    }
}

TEST(String, CompareNoCaseFoldsAsciiAndOrdersHighBytesFirst)
{
    EXPECT_EQ(0, String("HeLLo").compareNoCase(String("hello")));
    EXPECT_GT(String("ABD").compareNoCase(String("abc")), 0);
    EXPECT_EQ(-1, String("abc").compareNoCase(String("ABCD")));
    EXPECT_LT(String("\xC3\xA9").compareNoCase(String("a")), 0);
    EXPECT_GT(String("\xC3\xA9").compare(String("a")), 0);
    EXPECT_EQ(0, String("ab\0x", 4).compareNoCase(String("AB\0y", 4)));
    EXPECT_NE(0, String("[").compareNoCase(String("{"))); // only letters fold
}

TEST(String, SubstringsShareTheBuffer)
{
    String s("abcdef");
    String tail = s.substr(3, String::npos);
    EXPECT_EQ("def", bytesOf(tail));
    EXPECT_EQ(s.begin() + 3, tail.begin());
    EXPECT_TRUE(s.substr(6, 1).isEmpty());
    EXPECT_TRUE(s.substr(2, 0).isEmpty());
    EXPECT_TRUE(s.substr(100).isEmpty());
    EXPECT_EQ("cd", bytesOf(s.substr(2, 2)));
    EXPECT_EQ("cdef", bytesOf(s.substr(2, 1000)));
    EXPECT_EQ("ef", bytesOf(String(s, 4, String::npos)));
    EXPECT_EQ(0, s[6]);
    EXPECT_EQ(0, s[0xFFFFFFFFu]);
    EXPECT_EQ('f', s[5]);
    EXPECT_EQ(s.begin() + 6, s.end());
}

TEST(String, CStrCopiesOnlyWhenTheTerminatorIsMissing)
{
    String s("abcdef");
    String head = s.substr(0, 3);
    const char* p = head.c_str();
    EXPECT_NE(s.begin(), p);
    EXPECT_STREQ("abc", p);
    EXPECT_EQ(p, head.c_str()); // now private and terminated
    String tail = s.substr(3);
    EXPECT_EQ(s.begin() + 3, tail.c_str());
    EXPECT_STREQ("abcdef", s.c_str());
}

TEST(String, WritablePointerCopiesBeforeWriting)
{
    String a("hello");
    String b(a);
    char* p = b.getWritablePtr(0);
    p[0] = 'J';
    EXPECT_EQ("hello", bytesOf(a));
    EXPECT_EQ("Jello", bytesOf(b));

    String sole("xyz");
    const char* before = sole.begin();
    EXPECT_EQ(before + 1, sole.getWritablePtr(1));

    String whole("abcdef");
    String head = whole.substr(0, 3);
    char* q = head.getWritablePtr(0);
    q[0] = 'X';
    EXPECT_EQ("abcdef", bytesOf(whole));
    EXPECT_EQ("Xbc", bytesOf(head));

    String empty;
    char* e = empty.getWritablePtr(0);
    e[0] = 0; // a private byte, never the shared empty buffer
    EXPECT_NE(String().begin(), empty.begin());
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_STREQ("", String().c_str());
}

TEST(String, AllocateTakesItsLengthFromTheBytesWritten)
{
    String s;
    char* p = s.allocate(10);
    std::strcpy(p, "hi");
    EXPECT_EQ(2u, s.getLength());
    EXPECT_STREQ("hi", s.c_str());
    char* full = s.allocate(3);
    std::memcpy(full, "abc", 3);
    EXPECT_EQ(3u, s.getLength());
    EXPECT_STREQ("abc", s.c_str());
    s.allocate(0);
    EXPECT_TRUE(s.isEmpty());
}

TEST(String, ConcatenationStopsAtAnEmbeddedNul)
{
    String joined = String("abc\0def", 7) + String("xyz");
    EXPECT_EQ("abc", bytesOf(joined));
    String left("abc");
    String same = left + String("\0x", 2);
    EXPECT_EQ(left.begin(), same.begin());
    String right("def");
    EXPECT_EQ(right.begin(), (String() + right).begin());
    EXPECT_EQ("abcdef", bytesOf(left + right));
    EXPECT_EQ("x\xC3\xA9", bytesOf("x" + String(L"\u00e9")));
    String grow("a");
    grow += String("b");
    grow += "c";
    EXPECT_EQ("abc", bytesOf(grow));
}

TEST(String, AssignmentDropsTheCachedForms)
{
    String s("abc");
    EXPECT_STREQ(L"abc", s.wc_str());
    s = "xyz";
    EXPECT_STREQ(L"xyz", s.wc_str());
    s += String("d");
    EXPECT_STREQ(L"xyzd", s.wc_str());
    EXPECT_EQ(0x78u, s.utf32_str()[0]);
    s.getWritablePtr(0)[0] = 'W';
    EXPECT_STREQ(L"Wyzd", s.wc_str());
    EXPECT_EQ(0x57u, s.utf32_str()[0]);
    s = L"w\u00e9";
    EXPECT_STREQ(L"w\u00e9", s.wc_str());
    const uint32_t words[] = {0x1F600, 0};
    s = words;
    EXPECT_EQ(0x1F600u, s.utf32_str()[0]);
    EXPECT_EQ(0u, s.utf32_str()[1]);
    String other("q");
    s = other;
    EXPECT_STREQ(L"q", s.wc_str());
    s.clear();
    EXPECT_STREQ(L"", s.wc_str());
    EXPECT_EQ(0u, s.utf32_str()[0]);
    EXPECT_STREQ("", s.ansi_str());
}

TEST(String, CopiesStartWithoutCachedForms)
{
    String s("abc");
    const wchar_t* w = s.wc_str();
    String copy(s);
    EXPECT_NE(w, copy.wc_str());
    EXPECT_STREQ(w, copy.wc_str());
    EXPECT_EQ(w, s.wc_str()); // kept until the content changes
}

TEST(String, StreamForm)
{
    MvxTest::VectorStream in({0, 0, 0, 3, 'a', 'b', 'c'});
    String s;
    EXPECT_EQ(3u, s.read(&in, 1234));
    EXPECT_EQ("abc", bytesOf(s));

    MvxTest::VectorStream out;
    s.write(&out, 4321);
    EXPECT_EQ(std::vector<unsigned char>({3, 0, 0, 0, 'a', 'b', 'c'}), out.written);
    MvxTest::VectorStream big;
    s.write(&big, 1234);
    EXPECT_EQ(std::vector<unsigned char>({0, 0, 0, 3, 'a', 'b', 'c'}), big.written);

    MvxTest::VectorStream value;
    String::writeUInt32(&value, 0x01020304, 1234);
    EXPECT_EQ(std::vector<unsigned char>({1, 2, 3, 4}), value.written);
    value.data = value.written;
    EXPECT_EQ(0x01020304u, String::readUInt32(&value, 1234));

    MvxTest::VectorStream empty({0, 0, 0, 0});
    String e("x");
    EXPECT_EQ(0u, e.read(&empty, 1234));
    EXPECT_TRUE(e.isEmpty());
}

TEST(String, ReadingCorruptLengths)
{
    const struct {
        std::vector<unsigned char> data;
        int code;
    } cases[] = {
        {{}, Morvenix::errEOF},
        {{0, 0}, Morvenix::errEOF},
        {{0, 0, 0, 5, 'a'}, Morvenix::errEOF},
        {{0xFF, 0xFF, 0xFF, 0xFF}, Morvenix::errDataBroken},
        {{0x80, 0, 0, 0}, Morvenix::errDataBroken},
        {{0x7F, 0xFF, 0xFF, 0xF0, 'a', 'b'}, Morvenix::errEOF},
        {{0x00, 0x20, 0x00, 0x00, 'a', 'b'}, Morvenix::errEOF},
    };
    for (const auto& c : cases) {
        MvxTest::VectorStream in(c.data);
        String s;
        try {
            s.read(&in, 1234);
            ADD_FAILURE() << c.data.size();
        } catch (const Exception& e) {
            EXPECT_EQ(c.code, e.getCode());
        }
    }
}

TEST(String, ReadingLongTextsInPieces)
{
    std::vector<unsigned char> data = {0x00, 0x30, 0x00, 0x01};
    std::string text(0x300001, 'q');
    text[0x2FFFFF] = 'z';
    data.insert(data.end(), text.begin(), text.end());
    MvxTest::VectorStream in(data);
    String s;
    EXPECT_EQ(0x300001u, s.read(&in, 1234));
    EXPECT_EQ(text, bytesOf(s));
}

TEST(String, ReadingRandomBytesEndsCleanly)
{
    std::mt19937 rng(77);
    for (int round = 0; round < 500; ++round) {
        std::vector<unsigned char> data(rng() % 12);
        for (auto& b : data)
            b = uint8_t(rng());
        if (round % 3 == 0 && data.size() >= 4)
            data[0] = data[1] = 0;
        MvxTest::VectorStream in(data);
        String s;
        try {
            uint32_t n = s.read(&in, round % 2 ? 4321 : 1234);
            EXPECT_EQ(n, data.size() - 4);
        } catch (const Exception&) {
        }
    }
}

TEST(String, FormatConstructors)
{
    EXPECT_EQ("n=5 s=abc", bytesOf(String::format("n=%d s=%s", 5, "abc")));
    EXPECT_EQ("\xC3\xA9=\xC3\xA9", bytesOf(String::format("%s=%ls", "\xC3\xA9", L"\u00e9")));
    EXPECT_EQ("00000000DEADBEEF|18446744073709551615",
              bytesOf(String::format("%016llX|%llu", 0xDEADBEEFull, ~0ull)));
    EXPECT_EQ("w=\xF0\x9F\x98\x80 7", bytesOf(String::formatWide(L"w=%s %d", L"\U0001F600", 7)));
    EXPECT_TRUE(String::formatAnsi(nullptr).isEmpty());
    EXPECT_TRUE(String::formatWide(nullptr).isEmpty());
    EXPECT_TRUE(String::format(nullptr).isEmpty());
    EXPECT_EQ("ascii 1", bytesOf(String::formatAnsi("ascii %d", 1)));

    String s("old");
    s.assignFormat("%s-%d", "new", 2);
    EXPECT_EQ("new-2", bytesOf(s));
    s.assignFormatWide(L"%s", L"wide");
    EXPECT_EQ("wide", bytesOf(s));
    s.assignFormatAnsi("%c", 'a');
    EXPECT_EQ("a", bytesOf(s));
    s.assignFormatAnsi(nullptr);
    EXPECT_TRUE(s.isEmpty());
    s = "x";
    s.assignFormatWide(nullptr);
    EXPECT_TRUE(s.isEmpty());
    const wchar_t bomFormat[] = {0xFEFF, L'%', L'd', 0};
    EXPECT_EQ("5", bytesOf(String::formatWide(bomFormat, 5)));
}

} // namespace
