#include "djv_chunk.h"

#include "chunk_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Morvenix::AutoPtr;
using Morvenix::String;
using Morvenix::DjVu::Chunk;
using Morvenix::DjVu::ChunkCollection;
using Morvenix::DjVu::ChunkLoadCallback;
using Morvenix::DjVu::ChunkRedirector;
using Morvenix::DjVu::Data;
using Morvenix::DjVu::MemoryData;
using Morvenix::DjVu::SecurityProvider;
using ChunkTest::expectThrow;
using ChunkTest::leaf;

namespace {


// A chunk of another implementation (as the deferred chunks of the codecs are) that records the calls it
// gets, to see what a redirector passes on.
class RecordingChunk : public Chunk {
public:
    String getId() const override { return "RECD"; }
    AutoPtr<Data> getData() const override { return AutoPtr<Data>(); }
    AutoPtr<Data> getData() override { return AutoPtr<Data>(); }
    void setData(const AutoPtr<Data>&) override { calls.push_back("setData"); }
    Children& getChildren() override { return children; }
    const Children& getChildren() const override { return children; }
    uint32_t find(const String&, const String&, uint32_t inStart, bool) override
    {
        calls.push_back("find2");
        return inStart + 10;
    }
    uint32_t find(const String&, uint32_t inStart, bool) override
    {
        calls.push_back("find");
        return inStart + 20;
    }
    bool isRedirector() const override { return false; }
    bool isLoaded() const override { return loaded; }
    bool isCollection() const override { return true; }
    void load(ChunkLoadCallback inCallback, void* inContext) override
    {
        calls.push_back("load");
        if (inCallback)
            inCallback(inContext, this);
    }
    void updateLinks() override { calls.push_back("updateLinks"); }
    void compact() override { calls.push_back("compact"); }
    void setSecurityProvider(SecurityProvider*) override { calls.push_back("setSecurityProvider"); }
    SecurityProvider* getSecurityProvider() const override { return nullptr; }
    void lock() override { calls.push_back("lock"); }
    void unlock() override { calls.push_back("unlock"); }

    std::vector<std::string> calls;
    Children children;
    bool loaded = true;
};

TEST(ChunkRedirector, StandsForItsTarget)
{
    AutoPtr<Chunk> target = leaf("Djbz", "dictionary");
    AutoPtr<ChunkRedirector> r = ChunkRedirector::create(target);
    EXPECT_TRUE(r->isRedirector());
    EXPECT_EQ(String("Djbz"), r->getId());
    EXPECT_TRUE(r->getRedirectorId().isEmpty());
    EXPECT_EQ(target.get(), r->getTarget().get());
    const ChunkRedirector& constR = *r;
    EXPECT_EQ(target.get(), constR.getTarget().get());
    EXPECT_EQ(target->getData().get(), r->getData().get());
    EXPECT_EQ(target->getData().get(), constR.getData().get());
    EXPECT_TRUE(r->isLoaded());
    EXPECT_FALSE(r->isCollection());

    AutoPtr<MemoryData> replaced = MemoryData::createFromBytes("new", 3);
    r->setData(replaced);
    EXPECT_EQ(replaced.get(), target->getData().get());
    r->setData(AutoPtr<Data>());
    EXPECT_FALSE(r->isLoaded());

    // A leaf target refuses collection operations through the redirector as well.
    expectThrow([&] { r->getChildren(); }, Morvenix::errOperationFailed, "Not a collection chunk!");
    expectThrow([&] { r->setSecurityProvider(nullptr); }, Morvenix::errOperationFailed,
                "Only collection chunk can have SecurityProvider!");
    EXPECT_EQ(nullptr, r->getSecurityProvider());
}

TEST(ChunkRedirector, OwnIdIsSeparateFromTheTargetId)
{
    AutoPtr<ChunkRedirector> r = ChunkRedirector::createWithId(leaf("Djbz", "d"), "INCL");
    EXPECT_EQ(String("INCL"), r->getRedirectorId());
    EXPECT_EQ(String("Djbz"), r->getId());
}

TEST(ChunkRedirector, ChainsCollapseToTheFinalTarget)
{
    AutoPtr<ChunkCollection> target = ChunkCollection::create("DJVI");
    AutoPtr<ChunkRedirector> first = ChunkRedirector::createWithId(target, "ONE ");
    AutoPtr<ChunkRedirector> second = ChunkRedirector::createWithId(first, "TWO ");
    AutoPtr<ChunkRedirector> third = ChunkRedirector::create(second);
    for (ChunkRedirector* r : {first.get(), second.get(), third.get()}) {
        EXPECT_EQ(static_cast<Chunk*>(target.get()), r->getTarget().get());
        EXPECT_FALSE(r->getTarget()->isRedirector());
    }
    EXPECT_EQ(String("TWO "), second->getRedirectorId());
    EXPECT_TRUE(third->getRedirectorId().isEmpty());
    // The chain holds no reference to the redirectors in between.
    first.reset();
    second.reset();
    EXPECT_EQ(String("DJVI"), third->getId());
}

TEST(ChunkRedirector, NullTargetIsRefused)
{
    expectThrow([] { ChunkRedirector::create(AutoPtr<Chunk>()); }, Morvenix::errInvalidParam, "errInvalidParam",
                "Morvenix::DjVu::ChunkRedirector::create");
    expectThrow([] { ChunkRedirector::createWithId(AutoPtr<Chunk>(), "INCL"); }, Morvenix::errInvalidParam,
                "errInvalidParam");
}

TEST(ChunkRedirector, CollectionTarget)
{
    AutoPtr<Chunk> pending = Chunk::create("Sjbz");
    AutoPtr<ChunkCollection> page = ChunkCollection::create("DJVU");
    page->getChildren().append(leaf("INFO", "i"));
    page->getChildren().append(pending);
    AutoPtr<ChunkRedirector> r = ChunkRedirector::create(page);
    EXPECT_TRUE(r->isCollection());
    EXPECT_EQ(&page->getChildren(), &r->getChildren());
    const Chunk& constR = *r;
    EXPECT_EQ(&page->getChildren(), &constR.getChildren());
    expectThrow([&] { r->getData(); }, Morvenix::errNotSupported, "Cannot get data from collection chunk!");

    // An unloaded target answers no find, even for a child that is there.
    EXPECT_FALSE(r->isLoaded());
    EXPECT_EQ(Chunk::notFound, r->find("INFO", Chunk::notFound, false));
    EXPECT_EQ(Chunk::notFound, r->find("INFO", "Sjbz", Chunk::notFound, false));
    pending->setData(MemoryData::createFromBytes("s", 1));
    EXPECT_TRUE(r->isLoaded());
    EXPECT_EQ(0u, r->find("INFO", Chunk::notFound, false));
    EXPECT_EQ(1u, r->find("XXXX", "Sjbz", Chunk::notFound, false));
    EXPECT_EQ(page->getName(), dynamic_cast<Morvenix::DjVu::Nameable&>(*r->getTarget()).getName());
}

TEST(ChunkRedirector, EveryOperationAndTheLockGoToTheTarget)
{
    RecordingChunk* target = new RecordingChunk;
    AutoPtr<Chunk> held(target);
    AutoPtr<ChunkRedirector> r = ChunkRedirector::create(held);
    EXPECT_EQ(String("RECD"), r->getId());
    {
        Morvenix::AutoLock guard(r.get());
        EXPECT_EQ(std::vector<std::string>{"lock"}, target->calls);
    }
    EXPECT_EQ((std::vector<std::string>{"lock", "unlock"}), target->calls);
    target->calls.clear();

    EXPECT_EQ(15u, r->find("X", "Y", 5, false));
    EXPECT_EQ(25u, r->find("X", 5, true));
    target->loaded = false;
    EXPECT_EQ(Chunk::notFound, r->find("X", 5, false));
    EXPECT_EQ(Chunk::notFound, r->find("X", "Y", 5, false));
    target->loaded = true;
    std::vector<std::string> visited;
    r->load(ChunkTest::recordId, &visited);
    EXPECT_EQ(std::vector<std::string>{"RECD"}, visited);
    r->updateLinks();
    r->compact();
    r->setSecurityProvider(nullptr);
    r->setData(AutoPtr<Data>());
    EXPECT_EQ((std::vector<std::string>{"find2", "find", "load", "updateLinks", "compact", "setSecurityProvider",
                                        "setData"}),
              target->calls);
}

} // namespace
