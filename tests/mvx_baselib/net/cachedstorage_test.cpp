// The sparse cached storage over a loader made up here: a resource of any size whose bytes are a function
// of their offset, fetched in whole blocks as the HTTP loader does, and broken on demand.
#include "mvx_cachedstorage.h"
#include "mvx_exception.h"
#include "mvx_storageloader.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <thread>
#include <utility>
#include <vector>
#include <windows.h>

using Morvenix::AdvCachedStorage;
using Morvenix::AutoPtr;
using Morvenix::Storage;
using Morvenix::StorageLoader;
using Morvenix::String;
typedef Morvenix::Range<uint64_t> ByteRange;

namespace Morvenix {
// gtest prints ranges in failure messages through this.
inline void PrintTo(const Range<uint64_t>& inRange, std::ostream* out)
{
    *out << "(" << inRange.begin << ", " << inRange.length << ")";
}
} // namespace Morvenix

namespace {

const uint64_t kMB = 1024 * 1024;
const uint64_t kGB = 1024 * kMB;

unsigned char resourceByte(uint64_t i)
{
    return (unsigned char)(((i ^ (i >> 17)) * 0x9E3779B97F4A7C15ull) >> 56);
}

bool holdsResourceBytes(const std::vector<unsigned char>& inBytes, uint64_t inFrom)
{
    for (size_t i = 0; i < inBytes.size(); ++i)
        if (inBytes[i] != resourceByte(inFrom + i))
            return false;
    return true;
}

// What a load does besides fetching its window.
enum class Fault {
    none,
    nothing,   // returns (begin, 0) and writes nothing
    elsewhere, // writes and returns the block after the window
    trickle,   // writes and returns only the byte at the offset asked for
    fail,      // throws
    stall,     // sets `stalling`, waits for `resume` (as a load waits for a slow server), then loads
};

struct LoaderLog {
    std::vector<std::pair<uint64_t, uint32_t>> calls; // (offset, size) asked for
    std::vector<uint64_t> deadlineStarts;             // what each load was to count its deadline from
    uint64_t fetched = 0;                             // bytes written into the cache
    int clones = 0;
};

class FakeLoader : public StorageLoader {
public:
    FakeLoader(uint64_t inSize, LoaderLog& ioLog, uint64_t inRealSize = 0)
        : size(inSize), realSize(inRealSize ? inRealSize : inSize), log(ioLog)
    {
    }

    ByteRange load(Storage& ioDestination, uint64_t inOffset, uint32_t inSize) override
    {
        log.calls.push_back({inOffset, inSize});
        log.deadlineStarts.push_back(countFrom);
        // A moment of its own for each load that counts from itself.
        loadedFrom = countFrom ? countFrom : 1000 + log.calls.size();
        if (inSize == 0)
            return ByteRange{inOffset, 0};
        if (fault == Fault::fail)
            fail();
        const uint64_t begin = inOffset / block * block;
        uint64_t end = (inOffset + inSize + block - 1) / block * block;
        if (fault == Fault::nothing)
            return ByteRange{begin, 0};
        if (fault == Fault::elsewhere)
            return write(ioDestination, end, end + block);
        if (fault == Fault::trickle)
            return write(ioDestination, inOffset, inOffset + 1);
        if (fault == Fault::stall) {
            SetEvent(stalling);
            WaitForSingleObject(resume, 30000);
        }
        return write(ioDestination, begin, end);
    }
    uint64_t getSize() override { return size; }
    String getName() override { return "fake:resource"; }
    AutoPtr<StorageLoader> clone() override
    {
        ++log.clones;
        AutoPtr<FakeLoader> copy(new FakeLoader(cloneSize ? cloneSize : size, cloneLog ? *cloneLog : log, realSize));
        return AutoPtr<StorageLoader>(copy.get());
    }
    uint32_t setBlockSize(uint32_t inBlockSize) override
    {
        block = 1;
        while (block < inBlockSize)
            block <<= 1;
        return uint32_t(block);
    }
    void setProgressCallback(Morvenix::ProgressCallback, void*) override {}
    uint64_t getDeadlineStart() override { return loadedFrom ? loadedFrom : countFrom; }
    void setDeadlineStart(uint64_t inStart) override
    {
        countFrom = inStart;
        loadedFrom = 0;
    }

    uint64_t size;
    uint64_t realSize; // the resource ends here, whatever the size says
    uint64_t block = 32768;
    Fault fault = Fault::none;
    uint64_t cloneSize = 0;        // the size a clone measures (0: the same)
    LoaderLog* cloneLog = nullptr; // where a clone logs (null: here)
    LoaderLog& log;
    HANDLE stalling = nullptr;
    HANDLE resume = nullptr;
    uint64_t countFrom = 0;
    uint64_t loadedFrom = 0;

private:
    [[noreturn]] static void fail()
    {
        throw Morvenix::Exception(Morvenix::errReadFailed, "HTTP Status=503", "test", __LINE__, "FakeLoader::load");
    }
    ByteRange write(Storage& ioDestination, uint64_t inBegin, uint64_t inEnd)
    {
        if (inEnd > realSize)
            inEnd = realSize;
        if (inBegin >= inEnd)
            return ByteRange{inBegin, 0};
        std::vector<unsigned char> bytes(size_t(inEnd - inBegin));
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = resourceByte(inBegin + i);
        ioDestination.setPos(inBegin);
        ioDestination.writeBytes(bytes.data(), uint32_t(bytes.size()));
        log.fetched += bytes.size();
        return ByteRange{inBegin, inEnd - inBegin};
    }
};

struct Cache {
    explicit Cache(uint64_t inSize, uint64_t inRealSize = 0)
        : loader(new FakeLoader(inSize, log, inRealSize)), storage(AdvCachedStorage::create(loader.get()))
    {
    }
    // inCount bytes at inPos; the bytes read, as many as the storage gave.
    std::vector<unsigned char> read(uint64_t inPos, uint32_t inCount, bool inExact = true)
    {
        std::vector<unsigned char> bytes(inCount);
        storage->setPos(inPos);
        bytes.resize(storage->readBytes(bytes.data(), inCount, inExact));
        return bytes;
    }
    LoaderLog log;
    AutoPtr<FakeLoader> loader;
    AutoPtr<AdvCachedStorage> storage;
};

std::vector<ByteRange> ranges(std::initializer_list<std::pair<uint64_t, uint64_t>> inList)
{
    std::vector<ByteRange> r;
    for (const auto& p : inList)
        r.push_back(ByteRange{p.first, p.second});
    return r;
}

// Reads back every cached range (which never loads) and checks it against the resource.
void expectCacheHoldsResourceBytes(Cache& ioCache)
{
    const size_t calls = ioCache.log.calls.size();
    for (const ByteRange& r : ioCache.storage->getRanges()) {
        for (uint64_t at = r.begin; at < r.end(); at += 65536) {
            const uint32_t n = uint32_t(r.end() - at < 65536 ? r.end() - at : 65536);
            EXPECT_TRUE(holdsResourceBytes(ioCache.read(at, n), at)) << "cached bytes at " << at;
        }
    }
    EXPECT_EQ(calls, ioCache.log.calls.size()) << "reading cached bytes loaded";
    EXPECT_NO_THROW(ioCache.storage->healthCheck());
}

TEST(CachedStorage, LoadsWholeBlocksOnceAndJoinsThem)
{
    Cache c(100000);
    EXPECT_TRUE(holdsResourceBytes(c.read(40000, 10), 40000));
    EXPECT_EQ(ranges({{32768, 32768}}), c.storage->getRanges());

    // 5536 cached bytes, then the tail from 65536 as a whole block.
    EXPECT_TRUE(holdsResourceBytes(c.read(60000, 10000), 60000));
    ASSERT_EQ(2u, c.log.calls.size());
    EXPECT_EQ(std::make_pair(uint64_t(65536), uint32_t(4464)), c.log.calls[1]);
    EXPECT_EQ(ranges({{32768, 65536}}), c.storage->getRanges());
    EXPECT_EQ(70000u, c.storage->getPos());

    // Only the gap before the cached blocks is loaded; the rest comes from the cache.
    EXPECT_TRUE(holdsResourceBytes(c.read(0, 70000), 0));
    ASSERT_EQ(3u, c.log.calls.size());
    EXPECT_EQ(std::make_pair(uint64_t(0), uint32_t(32768)), c.log.calls[2]);
    EXPECT_EQ(ranges({{0, 98304}}), c.storage->getRanges());

    // The last block ends with the resource; the whole of it is cached now.
    EXPECT_TRUE(holdsResourceBytes(c.read(99990, 10), 99990));
    EXPECT_EQ(ranges({{0, 100000}}), c.storage->getRanges());
    const size_t calls = c.log.calls.size();
    EXPECT_TRUE(holdsResourceBytes(c.read(0, 100000), 0));
    EXPECT_EQ(calls, c.log.calls.size());
    EXPECT_EQ(100000u, c.log.fetched);
}

// A small read in a large gap fetches the block it needs, not the gap; offsets past 4 GB keep their
// high bits.
TEST(CachedStorage, AReadInAGapLoadsOnlyWhatItNeedsIn64Bits)
{
    Cache c(6 * kGB);
    EXPECT_TRUE(holdsResourceBytes(c.read(95 * kMB, 10), 95 * kMB));
    EXPECT_TRUE(holdsResourceBytes(c.read(0, 10), 0));
    ASSERT_EQ(2u, c.log.calls.size());
    EXPECT_EQ(std::make_pair(uint64_t(0), uint32_t(10)), c.log.calls[1]);
    EXPECT_EQ(65536u, c.log.fetched);

    EXPECT_TRUE(holdsResourceBytes(c.read(5 * kGB + 100, 16), 5 * kGB + 100));
    EXPECT_EQ(std::make_pair(5 * kGB + 100, uint32_t(16)), c.log.calls.back());
    // Across the 4 GB line, between two cached blocks.
    EXPECT_TRUE(holdsResourceBytes(c.read(4 * kGB + 40000, 8), 4 * kGB + 40000));
    EXPECT_TRUE(holdsResourceBytes(c.read(4 * kGB - 20000, 70000), 4 * kGB - 20000));
    EXPECT_EQ(ranges({{0, 32768}, {95 * kMB, 32768}, {4 * kGB - 32768, 3 * 32768}, {5 * kGB, 32768}}),
              c.storage->getRanges());
    EXPECT_EQ(6u * 32768u, c.log.fetched);
}

// A load that does not bring the position being read ends the read at once: with the exact flag as an
// error, without it with the bytes read so far.
TEST(CachedStorage, ALoadThatBringsNothingEndsTheRead)
{
    for (Fault fault : {Fault::nothing, Fault::elsewhere}) {
        for (bool exact : {true, false}) {
            Cache c(200000);
            c.read(0, 100); // block 0 cached
            c.loader->fault = fault;
            c.storage->setPos(32000);
            std::vector<unsigned char> buffer(2000);
            if (exact) {
                MvxTest::expectThrow([&] { c.storage->readBytes(buffer.data(), 2000, true); }, Morvenix::errReadFailed,
                                     "Cannot read all of requested bytes!");
            } else {
                EXPECT_EQ(768u, c.storage->readBytes(buffer.data(), 2000, false));
                buffer.resize(768);
                EXPECT_TRUE(holdsResourceBytes(buffer, 32000));
            }
            EXPECT_EQ(2u, c.log.calls.size()) << "one load after the cached part, no second";
            EXPECT_EQ(32768u, c.storage->getPos());
            expectCacheHoldsResourceBytes(c);
        }
    }
}

// A source that gives one new byte per request still ends the read, with the right bytes; the loads of one
// read keep to the deadline of its first, and the next read has its own.
TEST(CachedStorage, LoadsThatBringLittleStillProgress)
{
    Cache c(100000);
    c.loader->fault = Fault::trickle;
    EXPECT_TRUE(holdsResourceBytes(c.read(5000, 50), 5000));
    EXPECT_EQ(50u, c.log.calls.size());
    EXPECT_EQ(ranges({{5000, 50}}), c.storage->getRanges());
    EXPECT_TRUE(holdsResourceBytes(c.read(6000, 3), 6000));
    std::vector<uint64_t> starts(50, 1001);
    starts[0] = 0;
    starts.insert(starts.end(), {0, 1051, 1051});
    EXPECT_EQ(starts, c.log.deadlineStarts);
}

TEST(CachedStorage, AFailedLoadAddsNothingAndPassesThrough)
{
    Cache c(100000);
    c.read(0, 10);
    c.loader->fault = Fault::fail;
    MvxTest::expectThrow([&] { c.read(32760, 100); }, Morvenix::errReadFailed, "HTTP Status=503");
    EXPECT_EQ(ranges({{0, 32768}}), c.storage->getRanges());
    c.loader->fault = Fault::none;
    EXPECT_TRUE(holdsResourceBytes(c.read(32760, 100), 32760));
}

TEST(CachedStorage, EndOfTheResource)
{
    Cache c(100000);
    std::vector<unsigned char> buffer(100);
    c.storage->setPos(100000);
    EXPECT_TRUE(c.storage->isEof());
    EXPECT_EQ(0u, c.storage->readBytes(buffer.data(), 10, false));
    MvxTest::expectThrow([&] { c.storage->readBytes(buffer.data(), 10, true); }, Morvenix::errReadFailed,
                         "Cannot read all of requested bytes!");
    c.storage->setPos(200000);
    EXPECT_EQ(0u, c.storage->readBytes(buffer.data(), 10, false));

    c.storage->setPosFromEnd(-10);
    EXPECT_EQ(99990u, c.storage->getPos());
    EXPECT_FALSE(c.storage->isEof());
    MvxTest::expectThrow([&] { c.storage->readBytes(buffer.data(), 11, true); }, Morvenix::errReadFailed,
                         "Cannot read all of requested bytes!");
    EXPECT_EQ(10u, c.storage->readBytes(buffer.data(), 100, false));
    EXPECT_TRUE(c.storage->isEof());
    c.storage->setPosRelative(-50);
    EXPECT_EQ(99950u, c.storage->getPos());
    EXPECT_EQ(0u, c.storage->readBytes(buffer.data(), 0, true));

    EXPECT_EQ(100000u, c.storage->getSize());
    EXPECT_STREQ("fake:resource", c.storage->getName().c_str());
    MvxTest::expectThrow([&] { c.storage->writeBytes("x", 1); }, Morvenix::errNotImplemented,
                         "CacheStorage::writeBytes is not implemented!");
    MvxTest::expectThrow([&] { c.storage->setEof(); }, Morvenix::errNotImplemented,
                         "CacheStorage::setEof is not implemented!");
    EXPECT_EQ(65536u, c.storage->setBlockSize(40000));
    EXPECT_EQ(65536u, c.loader->block);
}

// Without a known size every position counts as inside; past the real end the loader brings nothing.
TEST(CachedStorage, UnknownSize)
{
    Cache c(StorageLoader::unknownSize, 50000);
    EXPECT_EQ(StorageLoader::unknownSize, c.storage->getSize());
    EXPECT_TRUE(holdsResourceBytes(c.read(49000, 1000), 49000));
    EXPECT_FALSE(c.storage->isEof());
    EXPECT_EQ(0u, c.read(50000, 10, false).size());
    EXPECT_EQ(500u, c.read(49500, 1000, false).size());
}

// A duplicate shares the fetched bytes and the list of them: what either fetched, the other reads
// without loading it again (and never loads over it).
TEST(CachedStorage, ADuplicateSharesTheFetchedBytesAndTheirList)
{
    Cache c(300000);
    LoaderLog cloneLog;
    c.loader->cloneLog = &cloneLog;
    EXPECT_TRUE(holdsResourceBytes(c.read(0, 1000), 0));
    AutoPtr<Storage> copy = c.storage->duplicate();
    AdvCachedStorage& copied = static_cast<AdvCachedStorage&>(*copy);
    EXPECT_EQ(1, c.log.clones);
    EXPECT_EQ(1000u, copy->getPos());
    std::vector<unsigned char> bytes(1000);
    copy->setPos(0);
    ASSERT_EQ(1000u, copy->readBytes(bytes.data(), 1000, true));
    EXPECT_TRUE(holdsResourceBytes(bytes, 0));
    EXPECT_TRUE(cloneLog.calls.empty()) << "the duplicate loaded bytes it already had";

    copy->setPos(200000);
    ASSERT_EQ(1000u, copy->readBytes(bytes.data(), 1000, true));
    EXPECT_TRUE(holdsResourceBytes(bytes, 200000));
    EXPECT_EQ(1u, cloneLog.calls.size());
    EXPECT_EQ(ranges({{0, 32768}, {196608, 32768}}), c.storage->getRanges());
    EXPECT_EQ(c.storage->getRanges(), copied.getRanges());
    // The original reads what the duplicate fetched without a load of its own.
    EXPECT_TRUE(holdsResourceBytes(c.read(199000, 2000), 199000));
    EXPECT_EQ(1u, c.log.calls.size());
    // And the duplicate what the original fetches, also once the original is gone.
    EXPECT_TRUE(holdsResourceBytes(c.read(40000, 1000), 40000));
    EXPECT_EQ(ranges({{0, 65536}, {196608, 32768}}), copied.getRanges());
    c.storage.reset();
    copy->setPos(30000);
    ASSERT_EQ(1000u, copy->readBytes(bytes.data(), 1000, true));
    EXPECT_TRUE(holdsResourceBytes(bytes, 30000));
    copy->setPos(60000);
    ASSERT_EQ(1000u, copy->readBytes(bytes.data(), 1000, true));
    EXPECT_TRUE(holdsResourceBytes(bytes, 60000));
    EXPECT_EQ(1u, cloneLog.calls.size());
    EXPECT_NO_THROW(copied.healthCheck());
}

TEST(CachedStorage, NoDuplicateOverAResourceThatChangedSize)
{
    Cache c(300000);
    c.read(0, 10);
    c.loader->cloneSize = 300100;
    MvxTest::expectThrow([&] { c.storage->duplicate(); }, Morvenix::errReadFailed, "The resource has changed!");
}

// A load waits for the network holding no lock that the file's other users need: while one storage's
// load stalls, its duplicate (whose lock is its own) reads what is cached and loads what is not, and
// getRanges and healthCheck answer.
TEST(CachedStorage, AStalledLoadHoldsUpNoOtherStorage)
{
    Cache c(300000);
    c.read(0, 10);
    LoaderLog cloneLog;
    c.loader->cloneLog = &cloneLog;
    AutoPtr<Storage> copy = c.storage->duplicate();
    c.loader->stalling = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    c.loader->resume = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE others = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(c.loader->stalling && c.loader->resume && others);
    c.loader->fault = Fault::stall;
    std::thread stalled([&] { EXPECT_TRUE(holdsResourceBytes(c.read(100000, 10), 100000)); });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(c.loader->stalling, 30000));
    std::vector<ByteRange> seen;
    std::thread other([&] {
        std::vector<unsigned char> bytes(10);
        copy->lock();
        copy->setPos(5);
        EXPECT_EQ(10u, copy->readBytes(bytes.data(), 10, true));
        EXPECT_TRUE(holdsResourceBytes(bytes, 5));
        copy->setPos(250000);
        EXPECT_EQ(10u, copy->readBytes(bytes.data(), 10, true));
        EXPECT_TRUE(holdsResourceBytes(bytes, 250000));
        copy->unlock();
        seen = c.storage->getRanges();
        EXPECT_NO_THROW(c.storage->healthCheck());
        SetEvent(others);
    });
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(others, 5000)) << "the other storage waited for the stalled load";
    SetEvent(c.loader->resume);
    stalled.join();
    other.join();
    EXPECT_EQ(ranges({{0, 32768}, {229376, 32768}}), seen);
    EXPECT_EQ(ranges({{0, 32768}, {98304, 32768}, {229376, 32768}}), c.storage->getRanges());
    EXPECT_EQ(1u, cloneLog.calls.size());
    for (HANDLE h : {c.loader->stalling, c.loader->resume, others})
        CloseHandle(h);
}

// Random reads, block sizes and faults against a model of what must be cached: every read gives the
// resource's bytes or a clean exception, the list stays sound, and the cache never holds a wrong byte.
TEST(CachedStorage, RandomReadsAndFaults)
{
    std::mt19937 rnd(23);
    for (int round = 0; round < 6; ++round) {
        const uint64_t size = 1000 + rnd() % 400000;
        Cache c(size);
        for (int i = 0; i < 120; ++i) {
            if (rnd() % 10 == 0)
                c.storage->setBlockSize(1u << (rnd() % 17));
            const Fault faults[] = {Fault::none, Fault::none, Fault::none, Fault::nothing, Fault::elsewhere,
                                    Fault::trickle, Fault::fail};
            c.loader->fault = faults[rnd() % 7];
            const uint64_t pos = rnd() % (size + 100);
            // A trickle brings a byte a load.
            const uint32_t count = 1 + rnd() % (c.loader->fault == Fault::trickle ? 300 : 20000);
            const bool exact = rnd() % 2 == 0;
            std::vector<unsigned char> bytes(count);
            c.storage->setPos(pos);
            try {
                bytes.resize(c.storage->readBytes(bytes.data(), count, exact));
                EXPECT_TRUE(holdsResourceBytes(bytes, pos));
                EXPECT_LE(pos + bytes.size(), size);
                if (exact) {
                    EXPECT_EQ(count, bytes.size());
                }
                if (c.loader->fault == Fault::none && pos < size) {
                    EXPECT_EQ(pos + count <= size ? count : size - pos, bytes.size());
                }
            } catch (const Morvenix::Exception& e) {
                EXPECT_EQ(Morvenix::errReadFailed, e.getCode()) << e.what();
            }
            EXPECT_NO_THROW(c.storage->healthCheck());
        }
        c.loader->fault = Fault::none;
        expectCacheHoldsResourceBytes(c);
    }
}

} // namespace
