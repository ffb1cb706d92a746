#include "mvx_string.h"
#include "mvx_unicode.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using Morvenix::String;
using MvxTest::expectThrow;

namespace {

// Well-formed UTF-8 of scalar values (no surrogates, nothing above U+10FFFF, no overlong forms).
bool isWellFormedUtf8(const std::string& inText)
{
    for (size_t i = 0; i < inText.size();) {
        unsigned char c = (unsigned char)inText[i];
        size_t n = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        if (n == 0 || i + n > inText.size())
            return false;
        uint32_t cp = n == 1 ? c : c & (0xFF >> (n + 1));
        for (size_t k = 1; k < n; ++k) {
            unsigned char t = (unsigned char)inText[i + k];
            if ((t & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (t & 0x3F);
        }
        static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n;
    }
    return true;
}

std::string resolve(const std::string& inText)
{
    String r = String(inText.c_str()).resolveEntityReferences();
    return std::string(r.begin(), r.getLength());
}

struct EntityCase {
    const char* text;
    const char* expected; // null: errDataBroken
    const char* message;  // part of the error message
};

const EntityCase kCases[] = {
    {"", "", nullptr},
    {"plain text; with a semicolon", "plain text; with a semicolon", nullptr},
    {"&amp;lt;", "&lt;", nullptr},
    {"&lt;b&gt; &quot;x&quot;", "<b> \"x\"", nullptr},
    {"&#65;&#x41;&#9;", "A\x41\t", nullptr},
    {"&#x10FFFF;", "\xf4\x8f\xbf\xbf", nullptr},
    {"&#xD7FF;&#xE000;", "\xed\x9f\xbf\xee\x80\x80", nullptr},
    {"&#x00000041;", "A", nullptr},
    {"a&euro;b", "a\xe2\x82\xac" "b", nullptr},
    {"&nbsp;&copy;&lang;&rang;&thetasym;&zwnj;&notin;",
     "\xc2\xa0\xc2\xa9\xe2\x8c\xa9\xe2\x8c\xaa\xcf\x91\xe2\x80\x8c\xe2\x88\x89", nullptr},
    {"&#X41;", nullptr, "Morvenix::Decimal::fromStrToInt"},
    {"&#;", nullptr, "Unknown entity reference!"},
    {"&#x;", nullptr, "Unknown entity reference!"},
    {"&;", nullptr, "Broken reference! (0-length)"},
    {"&nosuch;", nullptr, "Unknown entity reference!"},
    {"&AMP;", nullptr, "Unknown entity reference!"},
    {"&apos;", nullptr, "Unknown entity reference!"},
    {"&am;", nullptr, "Unknown entity reference!"},
    {"&ampx;", nullptr, "Unknown entity reference!"},
    {"&amp&lt;", nullptr, "Unknown entity reference!"},
    {"text &amp", nullptr, "Broken reference! (No ';')"},
    {"&", nullptr, "Broken reference! (No ';')"},
    {"&#0;", nullptr, "Broken reference!"},
    {"&#x0;", nullptr, "Broken reference!"},
    {"&#xD800;", nullptr, "Broken reference!"},
    {"&#xDFFF;", nullptr, "Broken reference!"},
    {"&#55296;", nullptr, "Broken reference!"},
    {"&#x110000;", nullptr, "Broken reference!"},
    {"&#x7FFFFFFF;", nullptr, "Broken reference!"},
    {"&#x80000000;", nullptr, "Morvenix::Hex::fromStrToInt"},
    {"&#2147483648;", nullptr, "Morvenix::Decimal::fromStrToInt"},
    {"&#-1;", nullptr, "Morvenix::Decimal::fromStrToInt"},
    {"&#x-1;", nullptr, "Morvenix::Hex::fromStrToInt"},
    {"&# 65;", nullptr, "Morvenix::Decimal::fromStrToInt"},
    {"&#xx41;", nullptr, "Morvenix::Hex::fromStrToInt"},
};

TEST(EntityReferences, Cases)
{
    for (const EntityCase& c : kCases) {
        SCOPED_TRACE(c.text);
        if (c.expected) {
            EXPECT_EQ(std::string(c.expected), resolve(c.text));
        } else {
            expectThrow([&] { resolve(c.text); }, Morvenix::errDataBroken, c.message);
        }
    }
}

TEST(EntityReferences, ErrorsComeFromTheResolver)
{
    expectThrow([] { resolve("&nosuch;"); }, Morvenix::errDataBroken, "Morvenix::String::resolveEntityReferences");
}

TEST(EntityReferences, ScanEndsAtTheFirstNul)
{
    String s(std::string("a&lt;\0&bad", 10));
    String r = s.resolveEntityReferences();
    EXPECT_EQ(std::string("a<"), std::string(r.begin(), r.getLength()));
}

TEST(EntityReferences, LeavesTheSourceUnchanged)
{
    String s("&lt;x&gt;");
    String r = s.resolveEntityReferences();
    EXPECT_EQ(String("&lt;x&gt;"), s);
    EXPECT_EQ(String("<x>"), r);
}

// Every numeric reference of a scalar value gives that character, in decimal and in hexadecimal.
TEST(EntityReferences, NumericReferencesOfEveryPlane)
{
    std::mt19937 rng(1123);
    for (int i = 0; i < 3000; ++i) {
        uint32_t cp = 1 + rng() % 0x10FFFF;
        if (Morvenix::isSurrogate(cp))
            continue;
        std::string expected = std::string(String::fromCodePoint(cp).c_str());
        EXPECT_EQ(expected, resolve("&#" + std::to_string(cp) + ";")) << cp;
        std::ostringstream hex;
        hex << "&#x" << std::hex << (i & 1 ? std::uppercase : std::nouppercase) << cp << ";";
        EXPECT_EQ(expected, resolve(hex.str())) << hex.str();
    }
}

// The table against Python's html.entities.name2codepoint: all of its names resolve to their characters,
// and the table holds no other name (a table with a name too many would still pass the first check).
TEST(EntityReferences, TableMatchesPythonsHtml401Set)
{
    ASSERT_NO_FATAL_FAILURE(MvxTest::requireHostTools({"python3"}));
    const std::string folder = MvxTest::tempFolder();
    const std::string out = folder + "\\entities.txt";
    ASSERT_EQ(0, MvxTest::runHostTool(
                     "python3 -c 'import html.entities as h\nfor n, c in h.name2codepoint.items(): print(n, c)'", out));
    std::ifstream in(out);
    std::string name;
    uint32_t cp;
    std::vector<std::string> names;
    while (in >> name >> cp) {
        names.push_back(name);
        EXPECT_EQ(std::string(String::fromCodePoint(cp).c_str()), resolve("&" + name + ";")) << name;
    }
    EXPECT_EQ(252u, names.size());
    // Case variants of the names that are not themselves names must fail: the lookup is exact.
    for (const std::string& n : names) {
        std::string upper = n;
        for (char& c : upper)
            c = char(std::toupper((unsigned char)c));
        if (std::find(names.begin(), names.end(), upper) == names.end())
            expectThrow([&] { resolve("&" + upper + ";"); }, Morvenix::errDataBroken, "Unknown entity reference!");
        if (std::find(names.begin(), names.end(), n + "x") == names.end())
            expectThrow([&] { resolve("&" + n + "x;"); }, Morvenix::errDataBroken, "Unknown entity reference!");
        const std::string shorter = n.substr(0, n.size() - 1); // sup1 -> sup is a name, so is not -> no
        if (std::find(names.begin(), names.end(), shorter) == names.end())
            expectThrow([&] { resolve("&" + shorter + ";"); }, Morvenix::errDataBroken);
    }
}

// Random mixtures of references, broken references and plain bytes end in a result or errDataBroken, and
// every result is valid UTF-8 whenever the plain parts are.
TEST(EntityReferences, MutatedTextsEndCleanly)
{
    const char* pieces[] = {"&",  ";",  "#",    "x",    "amp", "lt",  "euro", "0",       "9",         "F",
                            "a",  " ",  "&#x",  "&#",   "1",   "D8",  "00",   "\xc3\xa9", "110000",   "&lt;",
                            "zwnj", "&#65;", "&#x10FFFF;", "7FFFFFFF", "2147483648"};
    std::mt19937 rng(6123);
    int results = 0, errors = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        for (int n = rng() % 10; n > 0; --n)
            text += pieces[rng() % (sizeof pieces / sizeof pieces[0])];
        try {
            std::string r = resolve(text);
            ++results;
            EXPECT_TRUE(isWellFormedUtf8(r)) << text;
            EXPECT_LE(r.size(), text.size());
        } catch (const Morvenix::Exception& e) {
            ++errors;
            EXPECT_EQ(Morvenix::errDataBroken, e.getCode()) << text;
        }
    }
    EXPECT_GT(results, 1000);
    EXPECT_GT(errors, 1000);
}

} // namespace
