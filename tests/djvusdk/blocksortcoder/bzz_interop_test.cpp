// Interoperability with the reference BZZ tool of djvulibre-bin: identical bytes at block size 1024, and
// each side decodes the other's output.
#include "bzz_test_data.h"
#include "test_support.h"

#include <gtest/gtest.h>

using BzzTest::Bytes;

namespace {

struct Corpus {
    const char* name;
    Bytes data;
};

std::vector<Corpus> corpus()
{
    std::vector<Corpus> c;
    c.push_back({"empty", Bytes()});
    c.push_back({"one byte", Bytes(1, 'x')});
    c.push_back({"zero byte", Bytes(1, 0)});
    c.push_back({"two bytes", Bytes{0xFF, 0x00}});
    c.push_back({"text 300 KB", BzzTest::text(300000, 1)});
    c.push_back({"random 200 KB", BzzTest::randomBytes(200000, 2)});
    c.push_back({"run of one byte", Bytes(150000, 'a')});
    c.push_back({"run of zeros", Bytes(70000, 0)});
    c.push_back({"two symbols", BzzTest::randomBytes(90000, 3, 2)});
    Bytes periodic;
    for (int i = 0; i < 120000; ++i)
        periodic.push_back((unsigned char)("abcabcabd"[i % 9]));
    c.push_back({"periodic", periodic});
    c.push_back({"more than one block", BzzTest::mixed(1024 * 1024 + 300000, 4)});
    c.push_back({"exactly one full block", BzzTest::text(1024 * 1024 - 1, 5)});
    return c;
}

class BzzInterop : public MvxTest::HostToolTest {};

TEST_F(BzzInterop, DeflateWritesTheBytesOfTheReferenceEncoder)
{
    for (const Corpus& c : corpus()) {
        SCOPED_TRACE(c.name);
        MvxTest::writeFile(path("in"), c.data);
        ASSERT_EQ(0, MvxTest::runHostTool("bzz -e1024 " + host("in") + " " + host("ref")));
        const Bytes reference = MvxTest::readFile(path("ref"));
        const Bytes ours = BzzTest::compress(c.data, 1024);
        EXPECT_EQ(reference.size(), ours.size());
        EXPECT_TRUE(reference == ours);
    }
}

// The frequency shift steps at blocks of 100000 and 1000000 symbols, the marker included.
TEST_F(BzzInterop, DeflateMatchesTheReferenceAroundTheShiftSteps)
{
    for (size_t bytes : {99998u, 99999u, 999998u, 999999u}) {
        SCOPED_TRACE(bytes);
        const Bytes data = BzzTest::mixed(bytes, uint32_t(bytes));
        MvxTest::writeFile(path("in"), data);
        ASSERT_EQ(0, MvxTest::runHostTool("bzz -e1024 " + host("in") + " " + host("ref")));
        EXPECT_TRUE(MvxTest::readFile(path("ref")) == BzzTest::compress(data, 1024));
    }
}

TEST_F(BzzInterop, WriteSizesDoNotChangeTheBytes)
{
    const Bytes data = BzzTest::mixed(200000, 6);
    const Bytes whole = BzzTest::compress(data, 1024);
    EXPECT_TRUE(whole == BzzTest::compress(data, 1024, 1));
    EXPECT_TRUE(whole == BzzTest::compress(data, 1024, 4099));
}

TEST_F(BzzInterop, ReferenceDecoderReadsOurStreams)
{
    for (const Corpus& c : corpus()) {
        SCOPED_TRACE(c.name);
        for (uint32_t blockKB : {10u, 1024u}) {
            MvxTest::writeFile(path("ours"), BzzTest::compress(c.data, blockKB));
            ASSERT_EQ(0, MvxTest::runHostTool("bzz -d " + host("ours") + " " + host("out")));
            EXPECT_TRUE(MvxTest::readFile(path("out")) == c.data);
        }
    }
}

// The tool takes block sizes from 900 to 4096 KB; the decoder sees only block lengths and the shift,
// which changes at 100000 and 1000000 symbols.
TEST_F(BzzInterop, InflateReadsTheReferenceEncoderAtItsBlockSizes)
{
    const Bytes data = BzzTest::mixed(2 * 1024 * 1024 + 12345, 7);
    MvxTest::writeFile(path("in"), data);
    for (const char* option : {"-e900", "-e976", "-e977", "-e1024", "-e", "-e2048", "-e4096"}) {
        SCOPED_TRACE(option);
        ASSERT_EQ(0, MvxTest::runHostTool(std::string("bzz ") + option + " " + host("in") + " " + host("ref")));
        EXPECT_TRUE(BzzTest::decompress(MvxTest::readFile(path("ref"))) == data);
    }
    const Bytes small = BzzTest::text(99998, 8);
    MvxTest::writeFile(path("small"), small);
    ASSERT_EQ(0, MvxTest::runHostTool("bzz -e900 " + host("small") + " " + host("ref")));
    EXPECT_TRUE(BzzTest::decompress(MvxTest::readFile(path("ref"))) == small);
}

TEST_F(BzzInterop, InflateReadsTheReferenceEncodingOfEveryCorpusEntry)
{
    for (const Corpus& c : corpus()) {
        SCOPED_TRACE(c.name);
        MvxTest::writeFile(path("in"), c.data);
        ASSERT_EQ(0, MvxTest::runHostTool("bzz -e1024 " + host("in") + " " + host("ref")));
        EXPECT_TRUE(BzzTest::decompress(MvxTest::readFile(path("ref")), 1000) == c.data);
    }
}

} // namespace
