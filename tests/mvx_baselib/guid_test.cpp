#include "mvx_guid.h"

#include "mvx_exception.h"
#include "mvx_string.h"
#include "vector_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <string>

using Morvenix::Guid;

namespace {

std::string text(const Guid& g)
{
    return g.toString().c_str();
}

int codeOf(const char* inText)
{
    try {
        Guid g(inText);
    } catch (const Morvenix::Exception& e) {
        return e.getCode();
    }
    return 0;
}

TEST(Guid, NullGuidText)
{
    EXPECT_EQ("00000000-0000-0000-0000-000000000000", text(Guid()));
    EXPECT_EQ("00000000-0000-0000-0000-000000000000", text(Guid::getNull()));
    EXPECT_FALSE(Guid(false).isValid());
    EXPECT_FALSE(Guid::getNull().isValid());
    EXPECT_EQ(&Guid::getNull(), &Guid::getNull());
}

TEST(Guid, AcceptedTextForms)
{
    const char* forms[] = {
        "{6B29FC40-CA47-1067-B31D-00DD010662DA}",
        "6b29fc40ca471067b31d00dd010662da",
        "6B29FC40 CA47 1067 B31D 00DD010662DA",
        "6B29FC40-CA47-1067-B31D-00DD010662DA",
        "# 6B:29:fc:40:CA:47:10:67:B3:1D:00:DD:01:06:62:DA",
        // Digits past the 32nd are ignored.
        "6B29FC40-CA47-1067-B31D-00DD010662DAFFFF",
        "6B29FC40-CA47-1067-B31D-00DD010662DA-0",
    };
    for (const char* form : forms) {
        SCOPED_TRACE(form);
        Guid g(form);
        EXPECT_EQ("6B29FC40-CA47-1067-B31D-00DD010662DA", text(g));
        EXPECT_EQ(0x6B, g.getBytes()[0]);
        EXPECT_EQ(0xDA, g.getBytes()[15]);
        EXPECT_TRUE(g.isValid());
        Guid fromString{Morvenix::String(form)};
        EXPECT_TRUE(fromString == g);
    }
}

TEST(Guid, RefusedTexts)
{
    const char* bad[] = {
        "",
        "0x6B29FC40CA471067B31D00DD010662DA",  // the x splits the first pair
        "6B29FC40-CA47-1067-B31D-00DD010662",  // 30 digits
        "6B29FC40-CA47-1067-B31D-00DD010662D", // 31 digits: the last pair is cut by the end
        "6B29FC40-CA47-1067-B31D-00DD01066-2DA",  // a separator inside a pair
        "{zzzz}",
        "-",
    };
    for (const char* t : bad) {
        SCOPED_TRACE(t);
        EXPECT_EQ(Morvenix::errInvalidParam, codeOf(t));
        EXPECT_THROW(Guid(Morvenix::String(t)), Morvenix::Exception);
    }
    Guid g;
    EXPECT_THROW(g.fromString(static_cast<const char*>(nullptr)), Morvenix::Exception);
}

TEST(Guid, FailedParseKeepsTheBytesReadSoFar)
{
    Guid g("FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF");
    EXPECT_THROW(g.fromString("0102 03x4"), Morvenix::Exception);
    EXPECT_EQ("010203FF-FFFF-FFFF-FFFF-FFFFFFFFFFFF", text(g));
}

TEST(Guid, OrderFollowsTheText)
{
    Guid low("00000000-0000-0000-0000-000000000001");
    Guid high("10000000-0000-0000-0000-000000000000");
    EXPECT_TRUE(low < high);
    EXPECT_TRUE(low <= high);
    EXPECT_TRUE(high > low);
    EXPECT_TRUE(high >= low);
    EXPECT_TRUE(low != high);
    EXPECT_FALSE(low == high);
    EXPECT_TRUE(low <= Guid(low));
    EXPECT_TRUE(low >= Guid(low));
    // Bytes compare unsigned: 0x80 sorts after 0x7F.
    EXPECT_TRUE(Guid("7F000000000000000000000000000000") < Guid("80000000000000000000000000000000"));

    std::mt19937 rng(4);
    for (int i = 0; i < 200; ++i) {
        char a[33], b[33];
        for (int k = 0; k < 32; ++k) {
            a[k] = "0123456789ABCDEF"[rng() % 16];
            b[k] = k < 20 ? a[k] : "0123456789ABCDEF"[rng() % 16];
        }
        a[32] = b[32] = 0;
        Guid ga(a), gb(b);
        int byText = std::strcmp(text(ga).c_str(), text(gb).c_str());
        EXPECT_EQ(byText < 0, ga < gb) << a << " " << b;
        EXPECT_EQ(byText == 0, ga == gb) << a << " " << b;
    }
}

TEST(Guid, CopyAndClear)
{
    Guid g("6B29FC40-CA47-1067-B31D-00DD010662DA");
    Guid copy(g);
    Guid assigned;
    assigned = g;
    EXPECT_TRUE(copy == g);
    EXPECT_TRUE(assigned == g);
    g.clear();
    EXPECT_FALSE(g.isValid());
    EXPECT_TRUE(g == Guid::getNull());
    EXPECT_EQ("6B29FC40-CA47-1067-B31D-00DD010662DA", text(copy));
}

TEST(Guid, GeneratedGuidsAreValidAndDistinct)
{
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        Guid g(true);
        EXPECT_TRUE(g.isValid());
        std::string t = text(g);
        EXPECT_EQ(36u, t.size());
        EXPECT_TRUE(seen.insert(t).second);
        // The text parses back to the same value.
        EXPECT_TRUE(Guid(t.c_str()) == g);
    }
    Guid g;
    g.generate();
    EXPECT_TRUE(g.isValid());
}

TEST(Guid, StreamRoundTripWhateverTheTag)
{
    Guid g("00112233-4455-6677-8899-AABBCCDDEEFF");
    for (int32_t tag : {4321, 1234, 0}) {
        MvxTest::VectorStream out;
        g.write(&out, tag);
        ASSERT_EQ(16u, out.written.size());
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(i * 0x11, out.written[i]);
        MvxTest::VectorStream in(out.written);
        Guid back;
        back.read(&in, tag);
        EXPECT_TRUE(back == g);
        ASSERT_EQ(1u, in.reads.size());
        EXPECT_EQ(16u, in.reads[0]);
    }
}

TEST(Guid, ShortReadFailsAndKeepsTheValue)
{
    Guid g("00112233-4455-6677-8899-AABBCCDDEEFF");
    MvxTest::VectorStream in(std::vector<unsigned char>(15, 0x77));
    EXPECT_THROW(g.read(&in, 4321), Morvenix::Exception);
    EXPECT_EQ("00112233-4455-6677-8899-AABBCCDDEEFF", text(g));
    EXPECT_THROW(g.read(nullptr, 4321), Morvenix::Exception);
    EXPECT_THROW(g.write(nullptr, 4321), Morvenix::Exception);
}

} // namespace
