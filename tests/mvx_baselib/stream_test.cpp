#include "mvx_stream.h"

#include "mvx_byteorder.h"
#include "mvx_guid.h"
#include "mvx_string.h"

#include "test_support.h"
#include "vector_stream.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

using MvxTest::VectorStream;

namespace {

typedef std::tuple<uint32_t, uint32_t> Report;

void record(void* inContext, uint32_t inDone, uint32_t inTotal)
{
    static_cast<std::vector<Report>*>(inContext)->emplace_back(inDone, inTotal);
}

std::vector<unsigned char> bytes(size_t n)
{
    std::vector<unsigned char> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(i * 7 + 1);
    return v;
}

TEST(Stream, CopyAllFromASourceAtItsEnd)
{
    VectorStream source, target;
    std::vector<Report> reports;
    EXPECT_EQ(0u, target.copyAll(source, 16, record, &reports));
    EXPECT_EQ((std::vector<Report>{{0, 0}}), reports);
    EXPECT_TRUE(target.written.empty());
    EXPECT_TRUE(source.reads.empty());
}

TEST(Stream, CopyAllInBlocks)
{
    VectorStream source(bytes(40)), target;
    std::vector<Report> reports;
    EXPECT_EQ(40u, target.copyAll(source, 16, record, &reports));
    EXPECT_EQ(source.data, target.written);
    EXPECT_EQ((std::vector<uint32_t>{16, 16, 16}), source.reads);
    EXPECT_EQ((std::vector<Report>{{0, 0}, {16, 0}, {32, 0}, {40, 0}}), reports);
    VectorStream again(bytes(5));
    EXPECT_EQ(5u, target.copyAll(again, 1024, nullptr, nullptr));
}

TEST(Stream, CopyBytesWithinTheLimit)
{
    struct Case {
        size_t sourceSize;
        uint32_t limit, block, copied;
        std::vector<uint32_t> reads;
    } cases[] = {
        {100, 10, 16, 10, {10}},         // one read of exactly the limit
        {100, 40, 16, 40, {16, 16, 8}},  // the last read asks only for what remains
        {20, 50, 16, 20, {16, 16}},      // stops at the source's end
        {32, 32, 16, 32, {16, 16}},
        {0, 8, 16, 0, {}},               // a source at its end is not read
    };
    for (const Case& c : cases) {
        VectorStream source(bytes(c.sourceSize)), target;
        std::vector<Report> reports;
        EXPECT_EQ(c.copied, target.copyBytes(source, c.limit, c.block, record, &reports)) << c.limit;
        EXPECT_EQ(c.reads, source.reads) << c.limit;
        EXPECT_EQ(std::vector<unsigned char>(source.data.begin(), source.data.begin() + c.copied), target.written);
        ASSERT_FALSE(reports.empty());
        EXPECT_EQ(Report(0, c.limit), reports.front());
        EXPECT_EQ(Report(c.copied, c.limit), reports.back());
        EXPECT_EQ(c.reads.size() + 1, reports.size());
    }
}

TEST(Stream, CopyBytesWithoutALimitIsCopyAll)
{
    VectorStream a(bytes(37)), b(bytes(37)), ta, tb;
    std::vector<Report> ra, rb;
    EXPECT_EQ(ta.copyAll(a, 8, record, &ra), tb.copyBytes(b, 0, 8, record, &rb));
    EXPECT_EQ(ra, rb);
    EXPECT_EQ(a.reads, b.reads);
    EXPECT_EQ(ta.written, tb.written);
}

// A source that breaks the read contract: it returns nothing but never admits its end.
class StuckSource : public VectorStream {
public:
    uint32_t readBytes(void*, uint32_t inSize, bool) override
    {
        reads.push_back(inSize);
        return 0;
    }
    bool isEof() override { return false; }
};

TEST(Stream, AReadOfNothingEndsTheCopy)
{
    StuckSource source;
    VectorStream target;
    EXPECT_EQ(0u, target.copyAll(source, 16, nullptr, nullptr));
    EXPECT_EQ(0u, target.copyBytes(source, 100, 16, nullptr, nullptr));
    EXPECT_EQ(2u, source.reads.size());
}

TEST(Stream, BlockSizeZeroIsRefused)
{
    VectorStream source(bytes(4)), target;
    for (uint32_t limit : {0u, 3u}) {
        try {
            target.copyBytes(source, limit, 0, nullptr, nullptr);
            ADD_FAILURE() << "no exception";
        } catch (const Morvenix::Exception& e) {
            EXPECT_EQ(Morvenix::errInvalidParam, e.getCode());
            EXPECT_EQ(0, std::string(e.what()).find("mvx_stream(")) << e.what();
        }
    }
    EXPECT_TRUE(source.reads.empty());
}

TEST(Stream, AFailedWriteKeepsWhatWasWritten)
{
    VectorStream source(bytes(40)), target;
    target.writeLimit = 20;
    EXPECT_THROW(target.copyAll(source, 16, nullptr, nullptr), Morvenix::Exception);
    EXPECT_EQ(std::vector<unsigned char>(source.data.begin(), source.data.begin() + 16), target.written);
}

// A stream from outside the library may answer an exact read short, 0 at its end, instead of throwing.
// Every reader takes that as the end of the data; none spins asking again, none keeps bytes never read.
TEST(Stream, ReadersTakeAShortAnswerAsTheEnd)
{
    const struct {
        const char* name;
        std::vector<unsigned char> data;
        std::function<void(VectorStream&)> read;
        const char* function;
    } cases[] = {
        {"exact read of nothing", {}, [](VectorStream& s) { unsigned char b[2]; readExactly(s, b, 2, "Here"); },
         "Here"},
        {"exact read cut short", {1}, [](VectorStream& s) { unsigned char b[2]; readExactly(s, b, 2, "Here"); },
         "Here"},
        {"string length", {0, 0}, [](VectorStream& s) { Morvenix::String::readUInt32(&s, 4321); },
         "Morvenix::String::readUInt32"},
        {"short string", {0, 0, 0, 5, 'a', 'b'}, [](VectorStream& s) { Morvenix::String().read(&s, 1234); },
         "Morvenix::String::read"},
        // Past the first megabyte a string is read in pieces: the loop that used to spin.
        {"long string", {0x00, 0x20, 0x00, 0x00, 'a', 'b'},
         [](VectorStream& s) { Morvenix::String().read(&s, 1234); }, "Morvenix::String::read"},
        {"64-bit value", {1, 2, 3, 4, 5, 6, 7}, [](VectorStream& s) { Morvenix::readUInt64(s, 4321); },
         "Morvenix::readUInt64"},
        {"GUID", std::vector<unsigned char>(15, 0xAB), [](VectorStream& s) { Morvenix::Guid().read(&s, 4321); },
         "Morvenix::Guid::read"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VectorStream source(c.data);
        source.answersShort = true;
        MvxTest::expectThrow([&] { c.read(source); }, Morvenix::errEOF, c.function);
    }
}

TEST(Stream, ReadExactlyTakesWhatAWholeAnswerGives)
{
    VectorStream source(bytes(5));
    source.answersShort = true;
    unsigned char buffer[5] = {};
    Morvenix::readExactly(source, buffer, 5, "Here");
    EXPECT_EQ(source.data, std::vector<unsigned char>(buffer, buffer + 5));
    Morvenix::readExactly(source, buffer, 0, "Here");
}

} // namespace
