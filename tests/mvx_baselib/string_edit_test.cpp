#include "mvx_exception.h"
#include "mvx_simplearray.h"
#include "mvx_string.h"
#include "string_bytes.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using Morvenix::Exception;
using Morvenix::SimpleArray;
using Morvenix::String;
using MvxTest::bytesOf;
using MvxTest::str;

namespace {

// Leftmost occurrences without overlap, the replacement never searched again.
std::string referenceReplace(const std::string& inText, const std::string& inPattern, const std::string& inBy)
{
    std::string out;
    size_t from = 0;
    for (;;) {
        size_t at = inText.find(inPattern, from);
        if (at == std::string::npos)
            break;
        out += inText.substr(from, at - from);
        out += inBy;
        from = at + inPattern.size();
    }
    return out + inText.substr(from);
}

SimpleArray<String, 1> arrayOf(std::initializer_list<const char*> inItems)
{
    SimpleArray<String, 1> a;
    for (const char* s : inItems)
        a.append(String(s));
    return a;
}

TEST(StringEdit, Replace)
{
    struct Case {
        const char* text;
        const char* pattern;
        const char* by;
        const char* expected;
    } cases[] = {
        {"aaa", "aa", "b", "ba"},
        {"aaa", "a", "aa", "aaaaaa"},
        {"abcabc", "bc", "", "aa"},
        {"abc", "abc", "", ""},
        {"abc", "x", "y", "abc"},
        {"x.y.z", ".", "::", "x::y::z"},
        {"ab", "abc", "z", "ab"},
        {"\xC3\xA9t\xC3\xA9", "\xC3\xA9", "e", "ete"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, bytesOf(String(c.text).replace(String(c.pattern), String(c.by)))) << c.text;
}

TEST(StringEdit, ReplaceLeavesTheOriginalAndSharesWhenThePatternIsLonger)
{
    String s("ab");
    String same = s.replace(String("abc"), String("x"));
    EXPECT_EQ(s.begin(), same.begin());
    String t("hello");
    String changed = t.replace(String("l"), String("L"));
    EXPECT_EQ("heLLo", bytesOf(changed));
    EXPECT_EQ("hello", bytesOf(t));
    // A substring's bytes end at its own end, not at the shared buffer's.
    EXPECT_EQ("xb", bytesOf(String("abab").substr(0, 2).replace(String("a"), String("x"))));
}

TEST(StringEdit, ReplaceRefusesAnEmptyPattern)
{
    try {
        String("abc").replace(String(), String("x"));
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(Morvenix::errInvalidParam, e.getCode());
        EXPECT_NE(std::string::npos, std::string(e.what()).find("inReplacee is empty!"));
        EXPECT_NE(std::string::npos, std::string(e.what()).find("Morvenix::String::replace"));
    }
    EXPECT_THROW(String().removeAll(String()), Exception);
}

TEST(StringEdit, ReplaceRefusesAResultLongerThanAStringHolds)
{
    // 1 MB of one byte, each replaced by 4096 bytes: 4 GB, which a 32-bit size would wrap to 0.
    String text = String::repeat('a', 1u << 20);
    String by = String::repeat('b', 4096);
    try {
        text.replace(String("a"), by);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(Morvenix::errInvalidParam, e.getCode());
    }
}

// Long texts go through Horspool's method inside replace as well.
TEST(StringEdit, ReplaceAgreesWithReferenceOnRandomInput)
{
    std::mt19937 rng(4);
    for (int round = 0; round < 600; ++round) {
        size_t length = round % 2 ? 512 + rng() % 1200 : rng() % 200;
        std::string text(length, 0);
        for (char& c : text)
            c = char('a' + rng() % 3);
        std::string pattern(1 + rng() % 6, 0);
        for (char& c : pattern)
            c = char('a' + rng() % 3);
        std::string by(rng() % 5, 'Z');
        ASSERT_EQ(referenceReplace(text, pattern, by), bytesOf(str(text).replace(str(pattern), str(by))))
            << "round " << round;
    }
}

TEST(StringEdit, RemoveAllAndRemoveBOM)
{
    EXPECT_EQ("ac", bytesOf(String("abcb").removeAll(String("b"))));
    EXPECT_EQ("abc", bytesOf(String("\xEF\xBB\xBF" "a\xEF\xBB\xBF" "bc\xEF\xBB\xBF").removeBOM()));
    EXPECT_TRUE(String("\xEF\xBB\xBF").removeBOM().isEmpty());
    EXPECT_EQ("\xEF\xBB", bytesOf(String("\xEF\xBB").removeBOM()));
    EXPECT_EQ("x", bytesOf(String("x").removeBOM()));
}

TEST(StringEdit, Erase)
{
    String s("abcdef");
    EXPECT_EQ("aef", bytesOf(s.erase(1, 3)));
    EXPECT_EQ("def", bytesOf(s.erase(0, 3)));
    EXPECT_EQ("abc", bytesOf(s.erase(3, 99)));
    EXPECT_EQ("abc", bytesOf(s.erase(3, String::npos)));
    EXPECT_EQ("abc", bytesOf(s.erase(3, 0xFFFFFFFFu))); // position + count past 32 bits
    EXPECT_EQ("abcdef", bytesOf(s.erase(2, 0)));
    EXPECT_EQ("abcdef", bytesOf(s.erase(6, 2)));
    EXPECT_EQ("abcdef", bytesOf(s.erase(9, 2)));
    EXPECT_EQ("abcdef", bytesOf(s));
}

TEST(StringEdit, Join)
{
    EXPECT_EQ("a,,b", bytesOf(String::join(arrayOf({"a", "", "b"}), String(","))));
    EXPECT_EQ(",,", bytesOf(String::join(arrayOf({"", "", ""}), String(","))));
    EXPECT_EQ("ab", bytesOf(String::join(arrayOf({"a", "b"}), String())));
    EXPECT_EQ("a--b--c", bytesOf(String::join(arrayOf({"a", "b", "c"}), String("--"))));
    EXPECT_TRUE(String::join(arrayOf({}), String(",")).isEmpty());
    EXPECT_TRUE(String::join(arrayOf({"", ""}), String()).isEmpty());
    SimpleArray<String, 1> one = arrayOf({"only"});
    String joined = String::join(one, String(","));
    EXPECT_EQ(one[0].begin(), joined.begin()); // a copy sharing the element's buffer
}

TEST(StringEdit, JoinRefusesAResultLongerThanAStringHolds)
{
    // 65 parts of 32 MB: over 2 GB in total, which a 32-bit signed length cannot hold.
    String part = String::repeat('p', 1u << 25);
    SimpleArray<String, 1> parts;
    for (int i = 0; i < 65; ++i)
        parts.append(part);
    try {
        String::join(parts, String(","));
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(Morvenix::errInvalidParam, e.getCode());
    }
    // The same with the separators making the difference: empty parts and a 32 MB separator.
    SimpleArray<String, 1> empties;
    for (int i = 0; i < 65; ++i)
        empties.append(String());
    EXPECT_THROW(String::join(empties, part), Exception);
}

class ShiftMapper : public Morvenix::CodePointMapper {
public:
    uint32_t mapCodePoint(uint32_t inCodePoint) override
    {
        ++calls;
        if (inCodePoint == '!')
            return 0;
        return inCodePoint == 0xE9 ? 0x1F600 : inCodePoint + 1;
    }
    int calls = 0;
};

TEST(StringEdit, Map)
{
    ShiftMapper m;
    EXPECT_EQ("bc\xF0\x9F\x98\x80", bytesOf(String("ab\xC3\xA9").map(m)));
    EXPECT_EQ(3, m.calls);
    // A mapped 0 ends the result.
    EXPECT_EQ("b", bytesOf(String("a!b").map(m)));
    EXPECT_TRUE(String().map(m).isEmpty());
    // Enough code points to grow the work array several times.
    String many = String::repeat('a', 1000);
    EXPECT_EQ(std::string(1000, 'b'), bytesOf(many.map(m)));
}

} // namespace
