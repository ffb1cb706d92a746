#include "djv_chunk.h"
#include "mvx_memstorage.h"

#include "chunk_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Morvenix::AutoPtr;
using Morvenix::String;
using Morvenix::DjVu::Chunk;
using Morvenix::DjVu::ChunkEncoded;
using Morvenix::DjVu::Data;
using Morvenix::DjVu::MemoryData;
using ChunkTest::bytesOf;
using ChunkTest::expectThrow;

namespace {

// A payload made on demand: load fills it, or fails.
class OnDemandData : public Data {
public:
    explicit OnDemandData(bool inFail) : m_fail(inFail) {}
    unsigned char* getBuffer() override { return m_bytes.empty() ? nullptr : &m_bytes[0]; }
    uint32_t getSize() override { return uint32_t(m_bytes.size()); }
    AutoPtr<Morvenix::Storage> getReadStorage(bool) override { return AutoPtr<Morvenix::Storage>(); }
    void load() override
    {
        if (m_fail)
            throw Morvenix::Exception(Morvenix::errReadFailed, "cannot produce", "chunk_test", __LINE__, "load");
        m_bytes.assign({1, 2, 3});
        ++loads;
    }
    AutoPtr<Data> clone(bool) override { return AutoPtr<Data>(this); }
    void compact() override { ++compacts; }
    void lock() override {}
    void unlock() override {}

    int loads = 0;
    int compacts = 0;

private:
    bool m_fail;
    std::vector<unsigned char> m_bytes;
};

TEST(Chunk, LeafHoldsItsPayload)
{
    AutoPtr<Chunk> chunk = Chunk::create("INFO");
    EXPECT_EQ(String("INFO"), chunk->getId());
    EXPECT_FALSE(chunk->getData());
    EXPECT_FALSE(chunk->isLoaded());
    EXPECT_FALSE(chunk->isCollection());
    EXPECT_FALSE(chunk->isRedirector());
    EXPECT_EQ(nullptr, chunk->getSecurityProvider());

    AutoPtr<MemoryData> data = MemoryData::createFromBytes("abc", 3);
    chunk->setData(data);
    EXPECT_TRUE(chunk->isLoaded());
    EXPECT_EQ(data.get(), chunk->getData().get());
    const Chunk& constChunk = *chunk;
    EXPECT_EQ(data.get(), constChunk.getData().get());

    // Replacing releases the old payload, null makes the leaf unloaded again.
    Data* first = data.get();
    data.reset();
    chunk->setData(MemoryData::createFromBytes("de", 2));
    EXPECT_NE(first, chunk->getData().get());
    EXPECT_EQ("de", bytesOf(*chunk->getData()));
    chunk->setData(AutoPtr<Data>());
    EXPECT_FALSE(chunk->isLoaded());
    chunk->updateLinks();
    chunk->compact();
}

TEST(Chunk, LeafRefusesCollectionOperations)
{
    AutoPtr<Chunk> chunk = Chunk::create("BG44");
    const Chunk& constChunk = *chunk;
    expectThrow([&] { chunk->getChildren(); }, Morvenix::errOperationFailed, "Not a collection chunk!",
                "Morvenix::DjVu::ChunkImpl::getChildren");
    expectThrow([&] { constChunk.getChildren(); }, Morvenix::errOperationFailed, "Not a collection chunk!",
                "Morvenix::DjVu::ChunkImpl::getChildren");
    expectThrow([&] { chunk->find("BG44", 0xFFFFFFFFu, false); }, Morvenix::errOperationFailed,
                "Not a collection chunk!", "Morvenix::DjVu::ChunkImpl::find");
    expectThrow([&] { chunk->find("BG44", "FG44", 0xFFFFFFFFu, false); }, Morvenix::errOperationFailed,
                "Not a collection chunk!", "Morvenix::DjVu::ChunkImpl::find");
    expectThrow([&] { chunk->setSecurityProvider(nullptr); }, Morvenix::errOperationFailed,
                "Only collection chunk can have SecurityProvider!",
                "Morvenix::DjVu::ChunkImpl::setSecurityProvider");
    expectThrow([&] { chunk->getChildren(); }, Morvenix::errOperationFailed, "djv_chunk(");
}

TEST(Chunk, CreateFromBytesCopies)
{
    char bytes[] = "shared";
    AutoPtr<Chunk> chunk = Chunk::createFromBytes("ANTa", bytes, 6);
    bytes[0] = 'S';
    EXPECT_EQ("shared", bytesOf(*chunk->getData()));
    EXPECT_TRUE(dynamic_cast<MemoryData*>(chunk->getData().get()));
    EXPECT_EQ(0u, Chunk::createFromBytes("ANTa", nullptr, 0)->getData()->getSize());
    EXPECT_THROW(Chunk::createFromBytes("ANTa", nullptr, 1), Morvenix::Exception);
}

TEST(Chunk, CreateWithMemoryDataTakesTheWholeStream)
{
    for (uint32_t size : {0u, 1u, 1023u, 1024u, 1025u, 5000u}) {
        SCOPED_TRACE(size);
        std::string bytes;
        for (uint32_t i = 0; i < size; ++i)
            bytes += char(i * 31 + 7);
        AutoPtr<Morvenix::MemoryStorage> source = Morvenix::MemoryStorage::create(bytes.data(), size, 4321);
        AutoPtr<Chunk> chunk = Chunk::createWithMemoryData("Sjbz", *source);
        EXPECT_EQ(String("Sjbz"), chunk->getId());
        ASSERT_TRUE(chunk->getData());
        EXPECT_EQ(bytes, bytesOf(*chunk->getData()));
    }
}

TEST(Chunk, LoadCallsThePayloadThenTheCallback)
{
    AutoPtr<Chunk> chunk = Chunk::create("Djbz");
    OnDemandData* data = new OnDemandData(false);
    chunk->setData(AutoPtr<Data>(data));
    std::vector<std::string> visited;
    chunk->load(ChunkTest::recordId, &visited);
    EXPECT_EQ(1, data->loads);
    EXPECT_EQ(3u, chunk->getData()->getSize());
    EXPECT_EQ(std::vector<std::string>{"Djbz"}, visited);
    chunk->load(nullptr, nullptr);
    EXPECT_EQ(2, data->loads);
    chunk->compact();
    EXPECT_EQ(1, data->compacts);

    // Without payload only the callback runs.
    visited.clear();
    Chunk::create("NONE")->load(ChunkTest::recordId, &visited);
    EXPECT_EQ(std::vector<std::string>{"NONE"}, visited);

    AutoPtr<Chunk> failing = Chunk::create("FAIL");
    failing->setData(AutoPtr<Data>(new OnDemandData(true)));
    visited.clear();
    expectThrow([&] { failing->load(ChunkTest::recordId, &visited); }, Morvenix::errReadFailed, "cannot produce");
    EXPECT_TRUE(visited.empty());
}

TEST(ChunkEncoded, FlagSetFromCreationUntilCleared)
{
    AutoPtr<Chunk> chunk = ChunkEncoded::create("FG44");
    EXPECT_EQ(String("FG44"), chunk->getId());
    EXPECT_FALSE(chunk->isLoaded());
    ChunkEncoded* encoded = dynamic_cast<ChunkEncoded*>(chunk.get());
    ASSERT_NE(nullptr, encoded);
    EXPECT_TRUE(encoded->isEncoded());
    encoded->clearEncoded();
    EXPECT_FALSE(encoded->isEncoded());
    // Otherwise a plain leaf.
    chunk->setData(MemoryData::createFromBytes("x", 1));
    EXPECT_TRUE(chunk->isLoaded());
    EXPECT_THROW(chunk->getChildren(), Morvenix::Exception);

    EXPECT_EQ(nullptr, dynamic_cast<ChunkEncoded*>(Chunk::create("FG44").get()));
}

} // namespace
