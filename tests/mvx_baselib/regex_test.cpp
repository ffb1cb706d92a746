#include "mvx_regex.h"
#include "mvx_simplearray.h"
#include "mvx_string.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

using Morvenix::AutoPtr;
using Morvenix::RegEx;
using Morvenix::RegExMatcher;
using Morvenix::Region;
using Morvenix::String;
using MvxTest::expectThrow;

namespace {

typedef Morvenix::SimpleArray<String, 1> Strings;

AutoPtr<RegEx> compile(const char* inPattern, uint32_t inOptions = 0)
{
    return RegEx::create(inPattern, uint32_t(std::strlen(inPattern)), inOptions);
}

// The whole match as (begin, end) offsets, or (-2, -2) when nothing matches.
std::pair<int, int> firstMatch(const char* inPattern, const char* inText, uint32_t inOptions = 0)
{
    AutoPtr<Region> r = compile(inPattern, inOptions)->search(inText, nullptr, nullptr, nullptr);
    if (!r)
        return {-2, -2};
    return {r->getBeginOffset(0), r->getEndOffset(0)};
}

std::vector<std::string> toVector(const Strings& inArray)
{
    std::vector<std::string> v;
    for (const String& s : inArray)
        v.push_back(std::string(s.begin(), s.getLength()));
    return v;
}

// Expected offsets checked with the same Oniguruma built natively (Perl syntax, UTF-8, extended form).
struct SearchCase {
    const char* pattern;
    uint32_t options;
    const char* text;
    int begin; // -2: no match
    int end;
};

const SearchCase kSearches[] = {
    {"a b", 0, "ab", 0, 2},               // blanks outside a class are ignored
    {"a b", 0, "a b", -2, -2},
    {"[ ]", 0, "a b", 1, 2},              // but not inside one
    {"a # comment\n b", 0, "ab", 0, 2},
    {"abc", 0, "xABC", -2, -2},
    {"abc", RegEx::optIgnoreCase, "xABC", 1, 4},
    {"\xc3\xa9", RegEx::optIgnoreCase, "\xc3\x89", 0, 2}, // é against É
    {"^.$", 0, "\xc3\xa9", 0, 2},                         // one code point, two bytes
    {"a.b", 0, "a\nb", -2, -2},
    {"a.b", RegEx::optDotMatchesNewline, "a\nb", 0, 3},
    {"a+", 0, "a aa", 0, 1},
    {"a+", RegEx::optFindLongest, "a aa", 2, 4},
    {"x*", 0, "abcx", 0, 0},
    {"x*", RegEx::optFindNotEmpty, "abcx", 3, 4},
    {"(a*)*b", 0, "aaaaaaaaaaaaaaaaaaaaaaaac", -2, -2},
    {"", 0, "abc", 0, 0},
};

TEST(RegEx, SearchCases)
{
    for (const SearchCase& c : kSearches) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(std::make_pair(c.begin, c.end), firstMatch(c.pattern, c.text, c.options)) << c.text;
    }
}

TEST(RegEx, CompileErrorsCarryTheEngineMessage)
{
    expectThrow([] { compile("("); }, Morvenix::errInitializationFailed, "end pattern with unmatched parenthesis",
                "Morvenix::RegExImpl::RegExImpl");
    expectThrow([] { compile("\\p{Foo}"); }, Morvenix::errInitializationFailed,
                "invalid character property name {Foo}");
    expectThrow([] { RegEx::create(nullptr, 3, 0); }, Morvenix::errInvalidParam);
    // Only the given bytes are the pattern: what follows them is not read.
    EXPECT_TRUE(bool(RegEx::create("a(", 1, 0)));
    EXPECT_TRUE(bool(RegEx::create(nullptr, 0, 0)));
}

TEST(RegEx, RegionSpansAndGroups)
{
    const char* text = "key=value; other";
    AutoPtr<RegEx> re = compile("(\\w+)=(\\w+)|(x)");
    AutoPtr<Region> r = re->search(text, text + 1, nullptr, nullptr);
    ASSERT_TRUE(bool(r));
    ASSERT_EQ(4u, r->getGroupCount());
    // Offsets count from the text, not from the start of the search.
    EXPECT_EQ(1, r->getBeginOffset(0));
    EXPECT_EQ(9, r->getEndOffset(0));
    EXPECT_EQ(8u, r->getLength(0));
    EXPECT_EQ(text + 1, r->getBeginPtr(1));
    EXPECT_EQ(text + 3, r->getEndPtr(1));
    EXPECT_EQ(text + 4, r->getBeginPtr(2));
    EXPECT_EQ(5u, r->getLength(2));
    // The third group took no part.
    EXPECT_EQ(-1, r->getBeginOffset(3));
    EXPECT_EQ(-1, r->getEndOffset(3));
    EXPECT_EQ(0u, r->getLength(3));
    EXPECT_EQ(nullptr, r->getBeginPtr(3));
    EXPECT_EQ(nullptr, r->getEndPtr(3));
    EXPECT_EQ(text, r->getText());
    EXPECT_EQ(text + std::strlen(text), r->getTextEnd());
    EXPECT_EQ(text + 1, r->getStart());
    EXPECT_EQ(text + std::strlen(text), r->getRange());
    for (auto accessor : {0, 1, 2, 3, 4}) {
        expectThrow(
            [&] {
                switch (accessor) {
                case 0: r->getBeginOffset(4); break;
                case 1: r->getEndOffset(4); break;
                case 2: r->getLength(4); break;
                case 3: r->getBeginPtr(4); break;
                default: r->getEndPtr(99); break;
                }
            },
            Morvenix::errInvalidParam, "Morvenix::RegionImpl::check_range");
    }
}

TEST(RegEx, SearchBounds)
{
    // Room after the text, so that positions past its end are valid pointers to compare.
    const char text[32] = "ab ab ab";
    AutoPtr<RegEx> re = compile("ab");
    expectThrow([&] { re->search(nullptr, nullptr, nullptr, nullptr); }, Morvenix::errInvalidParam,
                "Morvenix::RegExImpl::search");
    expectThrow([&] { re->match(nullptr, nullptr, nullptr); }, Morvenix::errInvalidParam, "Morvenix::RegExImpl::match");
    // A range ends the positions where a match may begin (the engine's own rule decides the boundary); the
    // end bounds the text.
    EXPECT_FALSE(bool(re->search(text, text + 1, text + 3, nullptr)));
    AutoPtr<Region> r = re->search(text, text + 1, text, nullptr);
    ASSERT_TRUE(bool(r));
    EXPECT_EQ(3, r->getBeginOffset(0));
    EXPECT_FALSE(bool(re->search(text, text + 3, nullptr, text + 4)));
    // A start below the text is the text; a range below the start is the end.
    r = re->search(text + 3, text, text, nullptr);
    ASSERT_TRUE(bool(r));
    EXPECT_EQ(0, r->getBeginOffset(0));
    EXPECT_EQ(text + 3, r->getStart());
    // Positions past the end find nothing and reach no byte beyond it.
    EXPECT_FALSE(bool(re->search(text, text + 9, nullptr, text + 8)));
    r = re->search(text, text + 6, text + 20, text + 8);
    ASSERT_TRUE(bool(r));
    EXPECT_EQ(text + 8, r->getRange());
    EXPECT_FALSE(bool(re->match(text, text + 9, text + 8)));
}

// The engine steps by the lengths lead bytes announce; over cut-short sequences it would read past the end,
// so such texts are refused whole. Bytes that stand alone for it (0xFE, 0xFF) are searched as they are.
TEST(RegEx, BrokenUtf8TextsAreRefused)
{
    AutoPtr<RegEx> re = compile("b");
    const char* broken[] = {"ab\xc3", "\xe2\x82", "a\xc3" "b", "\x80" "b", "b\xf0\x9f\x94"};
    for (const char* text : broken) {
        SCOPED_TRACE(text);
        expectThrow([&] { re->search(text, nullptr, nullptr, nullptr); }, Morvenix::errDataBroken,
                    "Morvenix::RegExImpl::search");
        expectThrow([&] { re->match(text, nullptr, nullptr); }, Morvenix::errDataBroken, "Morvenix::RegExImpl::match");
        RegExMatcher m("b", 0);
        expectThrow([&] { m.search(text); }, Morvenix::errDataBroken);
        Strings parts;
        expectThrow([&] { String(text).split("b", parts, false); }, Morvenix::errDataBroken);
    }
    EXPECT_TRUE(bool(re->search("a\xff\xfe" "b", nullptr, nullptr, nullptr)));
    // Only [text, end) is checked: a broken byte past the end does not matter.
    const char* text = "abc\xc3";
    AutoPtr<Region> r = re->search(text, nullptr, nullptr, text + 3);
    ASSERT_TRUE(bool(r));
    EXPECT_EQ(1, r->getBeginOffset(0));
    // Well-formed text of every length of sequence is searched.
    r = compile("\\p{So}")->search("a\xc3\xa9\xe2\x82\xac\xf0\x9f\x94\x91", nullptr, nullptr, nullptr);
    ASSERT_TRUE(bool(r));
    EXPECT_EQ(6, r->getBeginOffset(0));
}

TEST(RegEx, MatchIsAnchored)
{
    const char* text = "xabc";
    AutoPtr<RegEx> re = compile("ab");
    EXPECT_FALSE(bool(re->match(text, text, nullptr)));
    AutoPtr<Region> r = re->match(text, text + 1, nullptr);
    ASSERT_TRUE(bool(r));
    EXPECT_EQ(1, r->getBeginOffset(0));
    EXPECT_EQ(3, r->getEndOffset(0));
    EXPECT_EQ(text + 1, r->getStart());
    EXPECT_EQ(text + 4, r->getRange());
    EXPECT_FALSE(bool(re->match(text, text + 1, text + 2)));
}

TEST(RegEx, RegionKeepsItsPatternAlive)
{
    const char* text = "abc";
    AutoPtr<Region> r;
    {
        AutoPtr<RegEx> re = compile("(b)");
        r = re->search(text, nullptr, nullptr, nullptr);
    }
    ASSERT_TRUE(bool(r));
    EXPECT_EQ(2u, r->getGroupCount());
    EXPECT_EQ(1, r->getBeginOffset(1));
}

TEST(RegExMatcher, WalksEveryMatch)
{
    RegExMatcher m("\\d+", 0);
    std::vector<std::string> found;
    for (bool more = m.search("a1b22c333d"); more; more = m.next())
        found.push_back(std::string(m.getGroup(0).c_str()));
    EXPECT_EQ((std::vector<std::string>{"1", "22", "333"}), found);
    EXPECT_FALSE(bool(m.getRegion()));
    EXPECT_FALSE(m.next());
    expectThrow([&] { m.getGroup(0); }, Morvenix::errInvalidParam);
}

TEST(RegExMatcher, StopsWhereAnEmptyMatchRepeats)
{
    RegExMatcher m("x*", 0);
    ASSERT_TRUE(m.search("abc"));
    EXPECT_EQ(0, m.getRegion()->getBeginOffset(0));
    EXPECT_FALSE(m.next());
    // It holds the repeated match.
    ASSERT_TRUE(bool(m.getRegion()));
    EXPECT_EQ(0, m.getRegion()->getBeginOffset(0));
}

TEST(RegExMatcher, GroupsAndRecompiling)
{
    RegExMatcher m("(a)|(b)", 0);
    ASSERT_TRUE(m.search("b"));
    EXPECT_EQ(3u, m.getGroupCount());
    EXPECT_EQ(String(), m.getGroup(1));
    EXPECT_EQ(String("b"), m.getGroup(2));
    expectThrow([&] { m.getGroup(3); }, Morvenix::errInvalidParam);
    m.compile("B", RegEx::optIgnoreCase);
    ASSERT_TRUE(m.search("abc"));
    EXPECT_EQ(String("b"), m.getGroup(0));
    expectThrow([&] { m.compile("(", 0); }, Morvenix::errInitializationFailed);
}

TEST(RegExMatcher, KeepsTheTextItSearches)
{
    RegExMatcher m("w(o)rld", 0);
    ASSERT_TRUE(m.search(String("hello ") + String("world")));
    // The temporary is gone; the spans still point into live bytes.
    std::string filler(64, 'z');
    String other(filler.c_str());
    EXPECT_EQ(String("world"), m.getGroup(0));
    EXPECT_EQ(String("o"), m.getGroup(1));
}

struct SplitCase {
    const char* text;
    const char* pattern;
    bool skipEmpty;
    bool found;
    std::vector<std::string> parts;
};

TEST(StringRegex, Split)
{
    const SplitCase cases[] = {
        {"a,b,,c", ",", false, true, {"a", "b", "", "c"}},
        {"a,b,,c", ",", true, true, {"a", "b", "c"}},
        {"a,b,", ",", false, true, {"a", "b", ""}},
        {"a,b,", ",", true, true, {"a", "b"}},
        {",a", ",", false, true, {"", "a"}},
        {",a", ",", true, true, {"a"}},
        {"a1b22c", "\\d+", false, true, {"a", "b", "c"}},
        {"one  two\tthree", "\\s+", false, true, {"one", "two", "three"}},
        {"a(b)c", "\\((b)\\)", false, true, {"a", "c"}},     // groups play no part
        {"abc", ",", false, false, {}},
        {"abc", "x*", false, true, {"", "abc"}},              // stops at the first empty match
        {"", ",", false, false, {}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.pattern);
        Strings parts;
        parts.append(String("stale"));
        EXPECT_EQ(c.found, String(c.text).split(c.pattern, parts, c.skipEmpty));
        EXPECT_EQ(c.parts, toVector(parts));
    }
}

TEST(StringRegex, MatchGroups)
{
    Strings groups;
    ASSERT_TRUE(String("mail: joe@host.").matchGroups("(\\w+)@(\\w+)(x)?", groups));
    EXPECT_EQ((std::vector<std::string>{"joe@host", "joe", "host", ""}), toVector(groups));
    groups.free();
    groups.append(String("kept"));
    EXPECT_FALSE(String("none here").matchGroups("\\d", groups));
    EXPECT_EQ((std::vector<std::string>{"kept"}), toVector(groups));
    expectThrow([&] { String("x").matchGroups("(", groups); }, Morvenix::errInitializationFailed);
}

// One compiled pattern searched from several threads while others compile and free patterns.
TEST(RegEx, ConcurrentSearchesAndCompiles)
{
    AutoPtr<RegEx> shared = compile("(\\w+)@(\\w+)\\.org");
    const char* text = "write to someone@example.org today";
    std::atomic<int> failures(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                if (t % 2) {
                    AutoPtr<RegEx> own = compile(i % 2 ? "[a-z]+(\\d*)" : "(?i)ORG\\b");
                    if (!own->search(text, nullptr, nullptr, nullptr))
                        ++failures;
                } else {
                    AutoPtr<Region> r = shared->search(text, nullptr, nullptr, nullptr);
                    if (!r || r->getBeginOffset(1) != 9 || r->getEndOffset(2) != 24)
                        ++failures;
                }
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(0, failures.load());
}

// Broken patterns: each is refused with errInitializationFailed or compiles; none crashes.
TEST(RegEx, CorruptPatterns)
{
    struct Corrupt {
        std::string pattern;
        bool compiles;
    };
    const Corrupt cases[] = {
        {"(", false}, {")", false}, {"[", false}, {"\\", false}, {"(?", false}, {"[z-a]", false},
        {"a{100001}", false}, {"(?<n>a)\\k<x>", false}, {"\xc3", false}, {"a\xc3", false},
        {"\xed\xa0\x80", true}, {"\\x{110000}", true}, {"[\\", false}, {"(?<", false}, {"(?P<", false},
        {"\\k<1", true}, {"(?#", false}, {"a**", true}, {"\\p{", false}, {"[[:alpha:", false},
        {std::string(5000, '('), false}, {std::string("a\0b", 3), true},
    };
    for (const Corrupt& c : cases) {
        SCOPED_TRACE(c.pattern.substr(0, 20));
        try {
            AutoPtr<RegEx> re = RegEx::create(c.pattern.data(), uint32_t(c.pattern.size()), 0);
            EXPECT_TRUE(c.compiles);
            re->search("some text", nullptr, nullptr, nullptr);
        } catch (const Morvenix::Exception& e) {
            EXPECT_FALSE(c.compiles) << e.what();
            EXPECT_EQ(Morvenix::errInitializationFailed, e.getCode());
        }
    }
}

std::string nested(const std::string& inOpen, const char* inInner, const std::string& inClose, int inLevels)
{
    std::string s;
    for (int i = 0; i < inLevels; ++i)
        s += inOpen;
    s += inInner;
    for (int i = 0; i < inLevels; ++i)
        s += inClose;
    return s;
}

// The engine recurses once a nesting level: deep nesting is refused long before the stack runs out, while
// nesting of a depth people write still compiles.
TEST(RegEx, DeepNestingIsRefused)
{
    const char* constructs[][2] = {{"(", ")"},   {"(?:", ")"},  {"(?=", ")"},   {"(?<=", ")"}, {"(?>", ")"},
                                   {"(?i:", ")"}, {"(?:a|", ")"}, {"", "{1}"}, {"", "*?"},  {"", "+"}};
    for (auto& c : constructs) {
        SCOPED_TRACE(std::string(c[0]) + "a" + c[1]);
        for (int levels : {2000, 20000}) {
            std::string p = nested(c[0], "a", c[1], levels);
            expectThrow([&] { RegEx::create(p.data(), uint32_t(p.size()), 0); }, Morvenix::errInitializationFailed,
                        "parse depth limit over");
        }
        std::string p = nested(c[0], "a", c[1], 60);
        EXPECT_TRUE(bool(RegEx::create(p.data(), uint32_t(p.size()), 0)->search("aaa", nullptr, nullptr, nullptr)));
    }
}

// Seeded mutations of working patterns, searched over texts with broken UTF-8: every pattern compiles or is
// refused cleanly, and every match lies inside the text.
TEST(RegEx, MutatedPatternsEndCleanly)
{
    const char* seeds[] = {"(\\w+)@(\\w+)\\.(?:org|com)", "^\\s*([^=]+?)\\s*=\\s*(.*)$", "[a-z\\d]{2,5}|\\bx\\b",
                           "(?i)é+|(?<n>a)\\k<n>",          "a(?=b)|c(?!d)|(?<=e)f",      "\\p{L}+\\P{N}*"};
    const char bytesPool[] = "()[]{}?*+|\\^$.,-:=<>!#0123456789abcdwpPkxXsSuU\xc3\xa9\xff\x80 \n";
    const char* texts[] = {"plain text", "a\xff\xfe b", "\xc3", "x@y.org =z", "\xe2\x82", "aab cd ef \xc3\xa9"};
    std::mt19937 rng(1125);
    int compiled = 0, refused = 0;
    for (int i = 0; i < 4000; ++i) {
        std::string p = seeds[rng() % (sizeof seeds / sizeof seeds[0])];
        for (int n = 1 + rng() % 4; n > 0; --n) {
            size_t at = p.empty() ? 0 : rng() % p.size();
            switch (rng() % 3) {
            case 0:
                if (!p.empty())
                    p[at] = bytesPool[rng() % (sizeof bytesPool - 1)];
                break;
            case 1: p.insert(at, 1, bytesPool[rng() % (sizeof bytesPool - 1)]); break;
            default:
                if (!p.empty())
                    p.erase(at, 1 + rng() % 3);
            }
        }
        AutoPtr<RegEx> re;
        try {
            re = RegEx::create(p.data(), uint32_t(p.size()), rng() % 16);
            ++compiled;
        } catch (const Morvenix::Exception& e) {
            ++refused;
            EXPECT_EQ(Morvenix::errInitializationFailed, e.getCode()) << p;
            continue;
        }
        const char* text = texts[rng() % (sizeof texts / sizeof texts[0])];
        int length = int(std::strlen(text));
        try {
            AutoPtr<Region> r = re->search(text, nullptr, nullptr, nullptr);
            for (uint32_t g = 0; r && g < r->getGroupCount(); ++g) {
                if (r->getBeginOffset(g) >= 0) {
                    EXPECT_LE(r->getBeginOffset(g), r->getEndOffset(g)) << p;
                    EXPECT_LE(r->getEndOffset(g), length) << p;
                }
            }
        } catch (const Morvenix::Exception& e) {
            // Cut-short sequences are refused before the engine walks them; otherwise only the engine's own
            // limits fail.
            bool wellFormed = std::strcmp(text, "\xc3") != 0 && std::strcmp(text, "\xe2\x82") != 0;
            EXPECT_EQ(wellFormed ? Morvenix::errInternalError : Morvenix::errDataBroken, e.getCode()) << p;
        }
    }
    EXPECT_GT(compiled, 400);
    EXPECT_GT(refused, 400);
}

} // namespace
