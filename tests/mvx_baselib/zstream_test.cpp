// zlib streams: round trips, Python's zlib reading what we write and writing what we read, sync flushes
// (also with nothing to flush), destruction that never throws, and damaged input.
#include "mvx_zstream.h"

#include "mvx_memstorage.h"
#include "mvx_string.h"
#include "hex_bytes.h"
#include "test_support.h"
#include "vector_stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace Morvenix;

namespace {

using MvxTest::Bytes;
using MvxTest::fromHex;

// Text-like data (compresses well) or random bytes (does not).
Bytes sample(size_t n, bool compressible, unsigned seed)
{
    std::mt19937 random(seed);
    Bytes b(n);
    static const char words[] = "lorem ipsum dolor sit amet consectetur adipiscing elit ";
    for (size_t i = 0; i < n; ++i)
        b[i] = compressible ? static_cast<unsigned char>(words[(i + random() % 3) % (sizeof words - 1)])
                            : static_cast<unsigned char>(random());
    return b;
}

// A target that counts the calls it gets.
struct CountingStream : MvxTest::VectorStream {
    int writes = 0, locks = 0, unlocks = 0;
    void writeBytes(const void* inBuffer, uint32_t inSize) override
    {
        ++writes;
        MvxTest::VectorStream::writeBytes(inBuffer, inSize);
    }
    void lock() override { ++locks; }
    void unlock() override { ++unlocks; }
};

Bytes deflateAll(const Bytes& data, const std::vector<size_t>& pieces = {})
{
    CountingStream* target = new CountingStream();
    AutoPtr<Stream> held(target);
    AutoPtr<DeflateStream> d = DeflateStream::create(held);
    size_t at = 0, i = 0;
    while (at < data.size()) {
        size_t n = pieces.empty() ? data.size() : std::min(pieces[i++ % pieces.size()], data.size() - at);
        d->writeBytes(data.data() + at, uint32_t(n));
        at += n;
    }
    d->flushBuffer();
    return target->written;
}

AutoPtr<InflateStream> inflater(const Bytes& compressed)
{
    return InflateStream::create(AutoPtr<Stream>(MemoryStorage::create(compressed.data(), compressed.size(), 4321)));
}

Bytes storageBytes(MemoryStorage& s)
{
    SimpleArray<unsigned char, 2>& a = s.getArray();
    return Bytes(a.data(), a.data() + a.count());
}

// Python's zlib as the outside implementation. Each test runs one Python program over all its files, as
// starting a host program from the Wine test process is slow.
class ZStreamHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(MvxTest::requireHostTools({"python3"}));
        folder = MvxTest::tempFolder();
    }
    std::string path(const std::string& name) const { return folder + "\\" + name; }
    // Runs the program with the folder's host path as sys.argv[1].
    int python(const std::string& program)
    {
        MvxTest::writeFile(path("program.py"), Bytes(program.begin(), program.end()));
        return MvxTest::runHostTool("python3 " + MvxTest::hostPath(path("program.py")) + " " +
                                    MvxTest::hostPath(folder));
    }
    std::string folder;
};

TEST(ZStreamTest, RoundTripInAnyDivision)
{
    for (size_t n : {size_t(1), size_t(1023), size_t(1024), size_t(1025), size_t(70000)}) {
        for (bool compressible : {true, false}) {
            const Bytes data = sample(n, compressible, unsigned(n));
            const Bytes compressed = deflateAll(data, {1, 7, 1000, 3000});
            EXPECT_EQ(compressed, deflateAll(data)) << n; // the division of the writes changes nothing
            AutoPtr<InflateStream> in = inflater(compressed);
            Bytes back(n);
            size_t at = 0, step = 1;
            while (at < n) {
                const uint32_t k = uint32_t(std::min(step, n - at));
                ASSERT_EQ(k, in->readBytes(back.data() + at, k, true));
                at += k;
                step = step * 3 + 1;
            }
            EXPECT_EQ(data, back) << n;
        }
    }
}

TEST(ZStreamTest, WritingNothingCallsNothing)
{
    CountingStream* target = new CountingStream();
    AutoPtr<Stream> held(target);
    AutoPtr<DeflateStream> d = DeflateStream::create(held);
    d->writeBytes(nullptr, 0);
    EXPECT_EQ(0, target->writes);
    EXPECT_FALSE(d->isEof());
}

// A second flush with nothing new is no error (zlib reports it as Z_BUF_ERROR), and neither is the
// flush of the destructor after one.
TEST(ZStreamTest, RepeatedFlushIsHarmless)
{
    CountingStream* target = new CountingStream();
    AutoPtr<Stream> held(target);
    {
        AutoPtr<DeflateStream> d = DeflateStream::create(held);
        d->flushBuffer();
        d->flushBuffer();
        d->writeBytes("abc", 3);
        d->flushBuffer();
        const size_t size = target->written.size();
        d->flushBuffer();
        d->flushBuffer();
        EXPECT_EQ(size, target->written.size());
    }
    AutoPtr<InflateStream> in = inflater(target->written);
    char back[3];
    ASSERT_EQ(3u, in->readBytes(back, 3, true));
    EXPECT_EQ(0, std::memcmp(back, "abc", 3));
}

TEST(ZStreamTest, DestructorFlushesAndSwallowsTargetFailure)
{
    CountingStream* target = new CountingStream();
    AutoPtr<Stream> held(target);
    const Bytes data = sample(5000, true, 3);
    {
        AutoPtr<DeflateStream> d = DeflateStream::create(held);
        d->writeBytes(data.data(), uint32_t(data.size()));
    }
    AutoPtr<InflateStream> in = inflater(target->written);
    Bytes back(data.size());
    ASSERT_EQ(data.size(), in->readBytes(back.data(), uint32_t(back.size()), true));
    EXPECT_EQ(data, back);

    // A target that refuses the last bytes: destruction still ends quietly.
    CountingStream* refusing = new CountingStream();
    AutoPtr<Stream> heldRefusing(refusing);
    {
        AutoPtr<DeflateStream> d = DeflateStream::create(heldRefusing);
        d->writeBytes(data.data(), uint32_t(data.size()));
        refusing->writeLimit = refusing->written.size();
        MvxTest::expectThrow([&] { d->flushBuffer(); }, errWriteFailed);
    }
    SUCCEED();
}

// A write that fails in the target gives up the rest of the caller's bytes: a later flush (or the
// destructor's) must not go on compressing from a buffer the caller may already have freed.
TEST(ZStreamTest, FailedWriteLetsGoOfTheCallersBuffer)
{
    CountingStream* target = new CountingStream();
    AutoPtr<Stream> held(target);
    AutoPtr<DeflateStream> d = DeflateStream::create(held);
    const size_t size = 1 << 20;
    {
        Bytes data = sample(size, false, 7); // incompressible: its first output comes long before its end
        target->writeLimit = 0;
        MvxTest::expectThrow([&] { d->writeBytes(data.data(), uint32_t(data.size())); }, errWriteFailed);
    }
    target->writeLimit = size_t(-1);
    d->flushBuffer();
    // What zlib took in before the failure may still come out (its window and block buffer, some 100 KB
    // at the most), not the megabyte the failed call did not get to.
    EXPECT_LT(target->written.size(), size / 4);
}

TEST(ZStreamTest, LargeFlushGoesOutInPieces)
{
    CountingStream* target = new CountingStream();
    AutoPtr<Stream> held(target);
    AutoPtr<DeflateStream> d = DeflateStream::create(held);
    const Bytes data = sample(20000, false, 8);
    d->writeBytes(data.data(), uint32_t(data.size()));
    const int before = target->writes;
    const size_t sizeBefore = target->written.size();
    d->flushBuffer();
    EXPECT_GT(target->written.size() - sizeBefore, 1024u);
    EXPECT_GE(target->writes - before, 2);
    AutoPtr<InflateStream> in = inflater(target->written);
    Bytes back(data.size());
    ASSERT_EQ(data.size(), in->readBytes(back.data(), uint32_t(back.size()), true));
    EXPECT_EQ(data, back);
}

TEST(ZStreamTest, FinishedStreamEndsThroughIsEofAndShortReads)
{
    const Bytes tenDigits = fromHex("789c3330343236313533b7b004000aff020e"); // zlib.compress(b"0123456789")
    AutoPtr<InflateStream> in = inflater(tenDigits);
    EXPECT_FALSE(in->isEof());
    char buffer[20];
    EXPECT_EQ(10u, in->readBytes(buffer, 20, false));
    EXPECT_EQ(0, std::memcmp(buffer, "0123456789", 10));
    EXPECT_TRUE(in->isEof());
    EXPECT_EQ(0u, in->readBytes(buffer, 20, false));
    MvxTest::expectThrow([&] { in->readBytes(buffer, 1, true); }, errEOF);

    AutoPtr<InflateStream> exact = inflater(tenDigits);
    MvxTest::expectThrow([&] { exact->readBytes(buffer, 20, true); }, errEOF, "errEOF", "mvx_zstream");
    EXPECT_TRUE(exact->isEof());

    AutoPtr<InflateStream> empty = inflater(fromHex("789c030000000001")); // zlib.compress(b"")
    EXPECT_EQ(0u, empty->readBytes(buffer, 20, false));
    EXPECT_TRUE(empty->isEof());

    // copyAll ends at the end of the data.
    AutoPtr<MemoryStorage> out = MemoryStorage::create();
    EXPECT_EQ(10u, out->copyAll(*inflater(tenDigits), 3, nullptr, nullptr));
    EXPECT_EQ((Bytes{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}), storageBytes(*out));
}

TEST(ZStreamTest, ReadingPastUnfinishedDataFails)
{
    const Bytes compressed = deflateAll(Bytes{'a', 'b', 'c'});
    AutoPtr<InflateStream> in = inflater(compressed);
    char buffer[4];
    EXPECT_EQ(3u, in->readBytes(buffer, 3, true));
    MvxTest::expectThrow([&] { in->readBytes(buffer, 1, false); }, errOperationFailed, "zlib(-5): error\n");

    AutoPtr<InflateStream> dry = inflater(Bytes());
    MvxTest::expectThrow([&] { dry->readBytes(buffer, 1, false); }, errOperationFailed, "zlib(-5): error\n",
                         "Morvenix::InflateStreamImpl::readBytes");
}

TEST(ZStreamTest, WrongDirectionThrowsNotImplemented)
{
    AutoPtr<DeflateStream> d = DeflateStream::create(AutoPtr<Stream>(MemoryStorage::create()));
    char buffer[4];
    MvxTest::expectThrow([&] { d->readBytes(buffer, 4, false); }, errNotImplemented, "errNotImplemented",
                         "Morvenix::DeflateStreamImpl::readBytes");
    AutoPtr<InflateStream> in = inflater(Bytes());
    MvxTest::expectThrow([&] { in->writeBytes("x", 1); }, errNotImplemented);
    MvxTest::expectThrow([&] { in->flushBuffer(); }, errNotImplemented);
}

TEST(ZStreamTest, NamesCarryTheObjectAddress)
{
    AutoPtr<DeflateStream> d = DeflateStream::create(AutoPtr<Stream>(MemoryStorage::create()));
    AutoPtr<InflateStream> in = inflater(Bytes());
    char expected[64];
    std::snprintf(expected, sizeof expected, "zlib deflate stream (%llxh)",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(d.get())));
    EXPECT_STREQ(expected, d->getName().c_str());
    std::snprintf(expected, sizeof expected, "zlib inflate stream (%llxh)",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(in.get())));
    EXPECT_STREQ(expected, in->getName().c_str());
}

TEST(ZStreamTest, LockReachesTheWrappedStream)
{
    CountingStream* target = new CountingStream();
    AutoPtr<Stream> held(target);
    AutoPtr<DeflateStream> d = DeflateStream::create(held);
    AutoPtr<InflateStream> in = InflateStream::create(held);
    {
        AutoLock a(d.get());
        AutoLock b(in.get());
    }
    EXPECT_EQ(2, target->locks);
    EXPECT_EQ(2, target->unlocks);
}

TEST_F(ZStreamHostTest, PythonReadsWhatWeWrite)
{
    const size_t lengths[] = {0, 5, 4096, 100000};
    std::vector<Bytes> data;
    for (size_t i = 0; i < 4; ++i) {
        data.push_back(sample(lengths[i], i % 2 == 0, unsigned(lengths[i]) + 1));
        MvxTest::writeFile(path("ours" + std::to_string(i)), deflateAll(data[i], {999}));
    }
    ASSERT_EQ(0, python("import sys, zlib, os\n"
                        "for i in range(4):\n"
                        "    p = os.path.join(sys.argv[1], 'ours%d' % i)\n"
                        "    open(p + '.out', 'wb').write(zlib.decompressobj().decompress(open(p, 'rb').read()))\n"));
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(data[i], MvxTest::readFile(path("ours" + std::to_string(i) + ".out"))) << lengths[i];
}

TEST_F(ZStreamHostTest, WeReadWhatPythonWrites)
{
    const int levels[] = {0, 1, 6, 9};
    const size_t lengths[] = {0, 1, 1500, 80000};
    for (size_t i = 0; i < 4; ++i)
        MvxTest::writeFile(path("plain" + std::to_string(i)), sample(lengths[i], i % 2 == 0, unsigned(i) * 7));
    // For every level: a finished stream, and a sync-flushed one that never finishes (as ours are written).
    ASSERT_EQ(0, python("import sys, zlib, os\n"
                        "for i in range(4):\n"
                        "    d = open(os.path.join(sys.argv[1], 'plain%d' % i), 'rb').read()\n"
                        "    for level in (0, 1, 6, 9):\n"
                        "        p = os.path.join(sys.argv[1], 'z%d-%d' % (i, level))\n"
                        "        open(p + '.finished', 'wb').write(zlib.compress(d, level))\n"
                        "        c = zlib.compressobj(level)\n"
                        "        open(p + '.flushed', 'wb').write(c.compress(d) + c.flush(zlib.Z_SYNC_FLUSH))\n"));
    for (size_t i = 0; i < 4; ++i) {
        const Bytes data = MvxTest::readFile(path("plain" + std::to_string(i)));
        const size_t n = lengths[i];
        for (int level : levels) {
            const std::string name = "z" + std::to_string(i) + "-" + std::to_string(level);
            AutoPtr<MemoryStorage> out = MemoryStorage::create();
            AutoPtr<InflateStream> in = inflater(MvxTest::readFile(path(name + ".finished")));
            EXPECT_EQ(n, out->copyAll(*in, 1000, nullptr, nullptr));
            EXPECT_TRUE(in->isEof());
            EXPECT_EQ(data, storageBytes(*out)) << name;

            AutoPtr<InflateStream> flushed = inflater(MvxTest::readFile(path(name + ".flushed")));
            Bytes back(n);
            if (n) {
                ASSERT_EQ(n, flushed->readBytes(back.data(), uint32_t(n), true));
            }
            EXPECT_EQ(data, back) << name;
        }
    }
}

// Damaged zlib data: every case ends in a library exception or a clean end, never a crash or a hang.
TEST(ZStreamTest, CorruptInputTable)
{
    const Bytes good = fromHex("789c3330343236313533b7b004000aff020e");
    Bytes badTrailer = good;
    badTrailer.back() ^= 0xFF;
    const struct {
        const char* name;
        Bytes data;
        const char* message; // null: the data reads cleanly
    } cases[] = {
        {"bad header check", {0x78, 0x00, 0x01, 0x02}, "zlib(-3)"},
        {"unknown method", {0x79, 0x9C, 0x03, 0x00}, "zlib(-3)"},
        {"window too large", {0x88, 0x98, 0x03, 0x00}, "zlib(-3)"},
        {"preset dictionary", fromHex("78bb16c004374b81b314caf38b528a01376a0686"), "zlib(2)"},
        {"invalid block type", {0x78, 0x9C, 0x07, 0x00, 0x00}, "zlib(-3)"},
        {"stored length mismatch", {0x78, 0x9C, 0x01, 0x05, 0x00, 0x00, 0x00}, "zlib(-3)"},
        {"wrong Adler-32", badTrailer, "zlib(-3)"},
        {"header only", {0x78, 0x9C}, "zlib(-5)"},
        {"cut in the data", Bytes(good.begin(), good.begin() + 8), "zlib(-5)"},
        {"cut in the trailer", Bytes(good.begin(), good.end() - 2), "zlib(-5)"},
        {"good", good, nullptr},
    };
    for (const auto& c : cases) {
        AutoPtr<MemoryStorage> out = MemoryStorage::create();
        try {
            out->copyAll(*inflater(c.data), 64, nullptr, nullptr);
            EXPECT_EQ(nullptr, c.message) << c.name;
        } catch (const Exception& e) {
            ASSERT_NE(nullptr, c.message) << c.name << ": " << e.what();
            EXPECT_EQ(errOperationFailed, e.getCode()) << c.name;
            EXPECT_NE(nullptr, std::strstr(e.what(), c.message)) << c.name << ": " << e.what();
        }
    }
}

TEST(ZStreamTest, MutatedInputEndsCleanly)
{
    const Bytes data = sample(3000, true, 17);
    Bytes good = deflateAll(data);
    std::mt19937 random(1210);
    for (int round = 0; round < 400; ++round) {
        Bytes damaged = good;
        const int flips = 1 + int(random() % 4);
        for (int i = 0; i < flips; ++i)
            damaged[random() % damaged.size()] ^= static_cast<unsigned char>(1 + random() % 255);
        if (random() % 4 == 0)
            damaged.resize(random() % damaged.size());
        AutoPtr<MemoryStorage> out = MemoryStorage::create();
        try {
            out->copyAll(*inflater(damaged), 1 + random() % 2048, nullptr, nullptr);
        } catch (const Exception& e) {
            EXPECT_TRUE(e.getCode() == errOperationFailed) << e.what();
        }
        // A stream that never finishes can claim no more than what a 32 KiB window expands to per byte.
        EXPECT_LE(out->getSize(), uint64_t(damaged.size()) * 1032 + 64);
    }
}

} // namespace
