#include "djv_bzz.h"
#include "djv_chunk.h"
#include "djv_data.h"
#include "mvx_allocator.h"
#include "mvx_exception.h"
#include "mvx_memstorage.h"

#include "chunk_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using Morvenix::AutoPtr;
using Morvenix::MemoryStorage;
using Morvenix::Storage;
using Morvenix::DjVu::Data;
using Morvenix::DjVu::MemoryData;
using ChunkTest::bytesOf;
using ChunkTest::readAll;

namespace {

struct CountingAllocator : Morvenix::MemoryAllocator {
    void* allocate(uint32_t inSize) override
    {
        ++allocations;
        return std::malloc(inSize ? inSize : 1);
    }
    void free(void* inPtr) override { std::free(inPtr); }
    int allocations = 0;
};

uint32_t capacityOf(MemoryData& inData)
{
    return inData.getStorage()->getArray().capacity();
}

TEST(MemoryData, WritersFillThePayloadThroughItsOwnStorage)
{
    AutoPtr<MemoryData> data = MemoryData::create();
    EXPECT_EQ(0u, data->getSize());
    AutoPtr<MemoryStorage> storage = data->getStorage();
    EXPECT_EQ(0x80000u, storage->getArray().growStep());
    storage->writeBytes("hello ", 6);
    // No copy: the payload sees each write at once.
    EXPECT_EQ("hello ", bytesOf(*data));
    storage->writeBytes("world", 5);
    storage.reset();
    EXPECT_EQ("hello world", bytesOf(*data));
    EXPECT_EQ(11u, data->getSize());
}

TEST(MemoryData, StorageKeepsThePayloadAlive)
{
    AutoPtr<MemoryStorage> storage = MemoryData::create()->getStorage();
    storage->writeBytes("abc", 3);
    AutoPtr<Storage> copy = storage->duplicate();
    storage.reset();
    copy->writeBytes("defg", 4);
    EXPECT_EQ("abcdefg", readAll(*copy));
}

TEST(MemoryData, ReadStorageIsACopy)
{
    AutoPtr<MemoryData> data = MemoryData::createFromBytes("payload", 7);
    EXPECT_FALSE(data->getReadStorage(false));
    AutoPtr<Storage> reader = data->getReadStorage(true);
    ASSERT_TRUE(reader);
    EXPECT_EQ("payload", readAll(*reader));
    // Edits on either side stay on that side.
    reader->setPos(0);
    reader->writeBytes("XY", 2);
    EXPECT_EQ("payload", bytesOf(*data));
    AutoPtr<MemoryStorage> writer = data->getStorage();
    writer->writeBytes("PAY", 3);
    EXPECT_EQ("PAYload", bytesOf(*data));
    EXPECT_EQ("XYyload", readAll(*reader));
    AutoPtr<Storage> empty = MemoryData::create()->getReadStorage(true);
    ASSERT_TRUE(empty);
    EXPECT_EQ(0u, empty->getSize());
}

TEST(MemoryData, CreateArguments)
{
    AutoPtr<MemoryData> zeros = MemoryData::create(5);
    EXPECT_EQ(std::string(5, '\0'), bytesOf(*zeros));
    // The default reserve: count + max(step, count).
    EXPECT_EQ(5u + 128u, capacityOf(*zeros));
    EXPECT_EQ(300u + 300u, capacityOf(*MemoryData::create(300)));
    EXPECT_EQ(10u, capacityOf(*MemoryData::create(0, 10)));
    EXPECT_EQ(7u, capacityOf(*MemoryData::create(7, 3)));
    EXPECT_EQ(4u + 16u, capacityOf(*MemoryData::create(4, 0xFFFFFFFFu, nullptr, 16)));
    // A reserve of 2 GB or more is refused, not taken for the growth rule.
    EXPECT_THROW(MemoryData::create(0, 0x80000000u), Morvenix::Exception);
    EXPECT_THROW(MemoryData::create(0, 0xFFFFFFFEu), Morvenix::Exception);

    CountingAllocator allocator;
    {
        AutoPtr<MemoryData> own = MemoryData::create(1, 0xFFFFFFFFu, &allocator, 0);
        EXPECT_EQ(1, allocator.allocations);
    }
}

TEST(MemoryData, CreateFromBytes)
{
    EXPECT_EQ(std::string("a\0b", 3), bytesOf(*MemoryData::createFromBytes("a\0b", 3)));
    EXPECT_EQ(0u, MemoryData::createFromBytes(nullptr, 0)->getSize());
    ChunkTest::expectThrow([] { MemoryData::createFromBytes(nullptr, 3); }, Morvenix::errInvalidParam,
                           "errInvalidParam", "Morvenix::DjVu::MemoryData::createFromBytes");
}

TEST(MemoryData, CloneIsIndependentAndKeepsAllocatorAndStep)
{
    CountingAllocator allocator;
    AutoPtr<MemoryData> data = MemoryData::create(0, 100, &allocator, 64);
    data->getStorage()->writeBytes("0123456789", 10);
    // The writer's storage set the step to 0x80000; the clone takes that over.
    for (bool exact : {true, false}) {
        SCOPED_TRACE(exact);
        int before = allocator.allocations;
        AutoPtr<Data> clone = data->clone(exact);
        EXPECT_EQ(before + 1, allocator.allocations);
        MemoryData* copy = dynamic_cast<MemoryData*>(clone.get());
        ASSERT_NE(nullptr, copy);
        EXPECT_NE(data->getBuffer(), copy->getBuffer());
        EXPECT_EQ("0123456789", bytesOf(*copy));
        EXPECT_EQ(exact ? 10u : capacityOf(*data), capacityOf(*copy));
        EXPECT_EQ(0x80000u, copy->getStorage()->getArray().growStep());
        copy->getStorage()->writeBytes("AB", 2);
        EXPECT_EQ("0123456789", bytesOf(*data));
    }
}

TEST(MemoryData, CompactShrinksToTheSize)
{
    AutoPtr<MemoryData> data = MemoryData::create();
    data->getStorage()->writeBytes("xyz", 3);
    EXPECT_LT(3u, capacityOf(*data));
    data->compact();
    EXPECT_EQ(3u, capacityOf(*data));
    EXPECT_EQ("xyz", bytesOf(*data));
    data->getStorage()->setEof();
    data->compact();
    EXPECT_EQ(0u, capacityOf(*data));
    EXPECT_EQ(nullptr, data->getBuffer());
    data->load(); // nothing to do for memory
    EXPECT_EQ(0u, data->getSize());
}

// The pattern of every chunk writer and reader: a BZZ payload written through the payload's own storage,
// read back through a copy.
TEST(MemoryData, CompressedChunkWriterAndReader)
{
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += char('a' + (i * 7) % 26);

    AutoPtr<MemoryData> data = MemoryData::create();
    {
        AutoPtr<MemoryStorage> storage = data->getStorage();
        AutoPtr<Morvenix::DjVu::DeflateStream> bzz = Morvenix::DjVu::DeflateStream::create(storage, 1024, 16);
        bzz->writeBytes(text.data(), uint32_t(text.size()));
        bzz->flushBuffer();
    }
    AutoPtr<Morvenix::DjVu::Chunk> chunk = Morvenix::DjVu::Chunk::create("TXTz");
    chunk->setData(data);
    EXPECT_GT(data->getSize(), 0u);
    EXPECT_LT(data->getSize(), text.size());

    AutoPtr<Storage> reader = chunk->getData()->getReadStorage(true);
    AutoPtr<Morvenix::DjVu::InflateStream> unbzz = Morvenix::DjVu::InflateStream::create(reader, 0, 16);
    std::string back(text.size(), '\0');
    EXPECT_EQ(uint32_t(text.size()), unbzz->readBytes(&back[0], uint32_t(back.size()), true));
    EXPECT_EQ(text, back);
}

} // namespace
