// The ANSI conversions depend on the process's code page, which Wine takes from LANG at process start:
// the 1252 cases run under the test run's C.UTF-8 (US English to Wine), the 932 cases in a second run
// under LANG=ja_JP.UTF-8.
#include "mvx_exception.h"
#include "mvx_format.h"
#include "mvx_string.h"
#include "mvx_unicode.h"
#include "../string_bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <windows.h>

using Morvenix::Exception;
using Morvenix::String;
using Morvenix::WipedBlock;
using MvxTest::bytesOf;

namespace {

#define REQUIRE_CODE_PAGE(cp)                                                                             \
    if (GetACP() != (cp))                                                                                 \
    GTEST_SKIP() << "ANSI code page is " << GetACP() << ", these cases need " << (cp)

TEST(CodePage1252, AnsiFormsOfStrings)
{
    REQUIRE_CODE_PAGE(1252);
    String s("caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_STREQ("caf\xE9 \x80", s.ansi_str());
    EXPECT_EQ(s.ansi_str(), s.ansi_str()); // kept
    EXPECT_EQ("caf\xC3\xA9 \xE2\x82\xAC", bytesOf(String::fromAnsi("caf\xE9 \x80")));
    EXPECT_EQ("caf", bytesOf(String::fromAnsi("caf\xE9", 3)));
    EXPECT_STREQ("?", String("\xE4\xB8\xAD").ansi_str()); // not in the code page
    String assigned;
    assigned.assignAnsi("\xFC");
    EXPECT_EQ("\xC3\xBC", bytesOf(assigned));
    EXPECT_TRUE(String::fromAnsi(nullptr).isEmpty());
    EXPECT_TRUE(String::fromAnsi("abc", 0).isEmpty());
}

TEST(CodePage1252, ConversionSizes)
{
    REQUIRE_CODE_PAGE(1252);
    WipedBlock<char> block;
    EXPECT_EQ(4u, Morvenix::utf8ToAnsi("ab\xC3\xA9", -1, block));
    EXPECT_EQ(5u, block.count());
    EXPECT_STREQ("ab\xE9", block.get());
    EXPECT_EQ(1u, Morvenix::utf8ToAnsi("", -1, block));
    EXPECT_STREQ("", block.get());
    EXPECT_EQ(1u, Morvenix::ansiToUtf8(nullptr, -1, block));
    EXPECT_STREQ("", block.get());
    EXPECT_EQ(4u, Morvenix::ansiToUtf8("a\xE9", -1, block));
    EXPECT_STREQ("a\xC3\xA9", block.get());
    EXPECT_EQ(3u, Morvenix::utf16ToAnsi(L"\u00e9\u20ac", -1, block));
    EXPECT_STREQ("\xE9\x80", block.get());
    EXPECT_EQ(2u, Morvenix::utf16ToAnsi(L"\u00e9\u20ac", 1, block));
    EXPECT_STREQ("\xE9", block.get());
}

TEST(CodePage1252, AnsiFormatting)
{
    REQUIRE_CODE_PAGE(1252);
    // The formatted text is taken as ANSI; a UTF-16 argument is converted to the code page first.
    EXPECT_EQ("\xC3\xA9-\xC3\xA9", bytesOf(String::formatAnsi("%s-%ls", "\xE9", L"\u00e9")));
    EXPECT_EQ("\xC3\xA9", bytesOf(String::format("%ls", L"\u00e9")));
}

TEST(CodePage1252, ExceptionTextsAreAnsi)
{
    REQUIRE_CODE_PAGE(1252);
    Exception fromString(20, String("caf\xC3\xA9"), "src", 4, "f");
    EXPECT_STREQ("src(4) : f: Error 20: caf\xE9\n", fromString.what());
    EXPECT_EQ("src(4) : f: Error 20: caf\xC3\xA9\n", bytesOf(fromString.getMessage()));
    // The narrow message is taken as ANSI text.
    Exception fromAnsi(20, "caf\xE9", "src", 4, "f");
    EXPECT_EQ("src(4) : f: Error 20: caf\xC3\xA9\n", bytesOf(fromAnsi.getMessage()));
    EXPECT_STREQ("src(4) : f: Error 20: caf\xE9\n", fromAnsi.what());
}

TEST(CodePage932, DoubleByteText)
{
    REQUIRE_CODE_PAGE(932);
    // U+65E5 U+672C (Japan) is 93 FA 96 7B in Shift-JIS.
    String japan("\xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_STREQ("\x93\xFA\x96\x7B", japan.ansi_str());
    EXPECT_EQ("\xE6\x97\xA5\xE6\x9C\xAC", bytesOf(String::fromAnsi("\x93\xFA\x96\x7B")));
    // A lead byte that the length cuts off from its trail byte.
    String cut = String::fromAnsi("a\x93", 2);
    EXPECT_EQ('a', cut[0]);
    EXPECT_FALSE(cut.isEmpty());
    WipedBlock<char> block;
    EXPECT_EQ(5u, Morvenix::utf8ToAnsi("\xE6\x97\xA5\xE6\x9C\xAC", -1, block));
    EXPECT_EQ(6u, block.count());
    Exception e(7, String("\xE6\x97\xA5"), "src", 1, "f");
    EXPECT_STREQ("src(1) : f: Error 7: \x93\xFA\n", e.what());
    EXPECT_EQ("\xE6\x97\xA5\xE6\x9C\xAC", bytesOf(String::formatAnsi("%s%ls", "\x93\xFA", L"\u672c")));
}

} // namespace
