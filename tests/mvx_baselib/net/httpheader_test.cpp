#include "mvx_exception.h"
#include "mvx_http.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

using Morvenix::HttpHeader;
using Morvenix::String;

namespace {

TEST(HttpHeaderParse, RangedAnswerGivesItsHeadersFoundInAnyCase)
{
    HttpHeader h;
    h.parse("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-99/1000\r\nContent-Length: 100\r\n\r\n");
    ASSERT_EQ(2u, h.getCount());
    EXPECT_STREQ("Content-Length", h.getNth(0).first.c_str());
    EXPECT_STREQ("100", h.getNth(0).second.c_str());
    EXPECT_STREQ("Content-Range", h.getNth(1).first.c_str());
    EXPECT_STREQ("bytes 0-99/1000", h["content-range"].c_str());
    EXPECT_STREQ("100", h["CONTENT-LENGTH"].c_str());
    MvxTest::expectThrow([&] { h.getNth(2); }, Morvenix::errInvalidParam);
    MvxTest::expectThrow([&] { h["Etag"]; }, Morvenix::errNotFound, "\"Etag\" not found from HTTP header.");
    EXPECT_FALSE(h.has("ETag"));
}

TEST(HttpHeaderParse, KeepsHeadersALinePatternWouldLose)
{
    HttpHeader h;
    h.parse("HTTP/1.1 200 OK\r\n"
            "X-Odd.Name_1: odd\r\n"
            "X-Empty:\r\n"
            "X-Next: after empty\r\n"
            "X-Folded: first\r\n"
            "  second\r\n"
            "\tthird\r\n"
            "A: one-character name\r\n"
            "X-Colon: a:b: c  \r\n"
            "no colon here\r\n"
            ": no name\r\n"
            "\r\n");
    EXPECT_STREQ("odd", h["x-odd.name_1"].c_str());
    EXPECT_STREQ("", h["X-Empty"].c_str());
    EXPECT_STREQ("after empty", h["X-Next"].c_str());
    EXPECT_STREQ("first second third", h["X-Folded"].c_str());
    EXPECT_STREQ("one-character name", h["a"].c_str());
    EXPECT_STREQ("a:b: c", h["X-Colon"].c_str());
    EXPECT_EQ(6u, h.getCount());
}

TEST(HttpHeaderParse, LaterHeaderOfTheSameNameComesFirst)
{
    HttpHeader h;
    h.parse("HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nSet-Cookie: b=2\r\nAge: 3\r\n\r\n");
    ASSERT_EQ(3u, h.getCount());
    EXPECT_STREQ("Age", h.getNth(0).first.c_str());
    EXPECT_STREQ("b=2", h.getNth(1).second.c_str());
    EXPECT_STREQ("a=1", h.getNth(2).second.c_str());
    EXPECT_STREQ("b=2", h["set-cookie"].c_str());
}

// A list field's lines make one value, in the order they came, whatever the case of their names.
TEST(HttpHeaderParse, EveryLineOfANameCombined)
{
    HttpHeader h;
    h.parse("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nAge: 3\r\ncontent-encoding: identity\r\n"
            "CONTENT-ENCODING: br, x\r\n\r\n");
    EXPECT_STREQ("gzip, identity, br, x", h.combined("Content-Encoding").c_str());
    EXPECT_STREQ("3", h.combined("age").c_str());
    EXPECT_STREQ("", h.combined("Transfer-Encoding").c_str());
}

// As many short lines as a header of a megabyte can hold: every field is kept, in the order of the rules
// (names in byte order, the latest of a name first), and found and combined by name. Put in place one by
// one, each line would move all those after it: the parse would not end in the suite's time.
TEST(HttpHeaderParse, AQuarterOfAMillionLinesAreAllRead)
{
    const uint32_t kLines = 250000;
    std::string raw = "HTTP/1.1 200 OK\r\n";
    for (uint32_t i = 0; i < kLines; ++i)
        raw += std::string(i % 3 == 0 ? "a" : i % 3 == 1 ? "B" : "c") + ":" + std::to_string(i % 10) + "\r\n";
    HttpHeader h;
    h.parse(String(raw.c_str()));
    ASSERT_EQ(kLines, h.getCount());
    // 250000 lines: "B" on lines 1, 4, ..., 249997; "a" on 0, 3, ..., 249999; "c" on 2, ..., 249998.
    EXPECT_STREQ("B", h.getNth(0).first.c_str());
    EXPECT_STREQ("7", h.getNth(0).second.c_str());
    EXPECT_STREQ("1", h.getNth(83332).second.c_str());
    EXPECT_STREQ("a", h.getNth(83333).first.c_str());
    EXPECT_STREQ("9", h.getNth(83333).second.c_str());
    EXPECT_STREQ("c", h.getNth(kLines - 1).first.c_str());
    EXPECT_STREQ("2", h.getNth(kLines - 1).second.c_str());
    EXPECT_STREQ("9", h["A"].c_str());
    EXPECT_EQ(String("2, 5, 8, 1"), h.combined("C").substr(0, 10));
}

TEST(HttpHeaderParse, LongValuesAndBareLineFeeds)
{
    const std::string value(300000, 'v');
    HttpHeader h;
    h.parse(String(("HTTP/1.1 200 OK\nX-Long: " + value + "\nX-After: yes\n").c_str()));
    EXPECT_EQ(value.size(), h["X-Long"].getLength());
    EXPECT_STREQ("yes", h["X-After"].c_str());
    h.parse("");
    EXPECT_EQ(0u, h.getCount());
}

TEST(HttpResponseStatus, RedirectionsAreTheFiveThatNameALocation)
{
    for (uint32_t status = 100; status < 600; ++status) {
        const bool expected = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
        EXPECT_EQ(expected, Morvenix::HttpResponseStream::isRedirection(status)) << status;
    }
}

} // namespace
