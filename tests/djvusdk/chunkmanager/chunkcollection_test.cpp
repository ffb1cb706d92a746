#include "djv_chunk.h"
#include "mvx_guid.h"

#include "chunk_test_support.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using Morvenix::AutoPtr;
using Morvenix::String;
using Morvenix::DjVu::Chunk;
using Morvenix::DjVu::ChunkCollection;
using Morvenix::DjVu::ChunkRedirector;
using Morvenix::DjVu::MemoryData;
using Morvenix::DjVu::SecurityProvider;
using ChunkTest::expectThrow;
using ChunkTest::leaf;

namespace {


AutoPtr<ChunkCollection> form(const char* inType, std::vector<AutoPtr<Chunk>> inChildren)
{
    AutoPtr<ChunkCollection> c = ChunkCollection::create(inType);
    for (const AutoPtr<Chunk>& child : inChildren)
        c->getChildren().append(child);
    return c;
}

struct CountedProvider : SecurityProvider {
    explicit CountedProvider(int& ioAlive) : alive(ioAlive) { ++alive; }
    ~CountedProvider() override { --alive; }
    int& alive;
};

TEST(ChunkCollection, NewCollection)
{
    AutoPtr<ChunkCollection> c = ChunkCollection::create("DJVU");
    EXPECT_EQ(String("DJVU"), c->getId());
    EXPECT_TRUE(c->isCollection());
    EXPECT_FALSE(c->isRedirector());
    EXPECT_TRUE(c->isLoaded());
    EXPECT_EQ(0u, c->getChildren().count());
    EXPECT_EQ(128u, c->getChildren().capacity());
    EXPECT_EQ(128u, c->getChildren().growStep());
    EXPECT_EQ(nullptr, c->getSecurityProvider());
    const Chunk& constChunk = *c;
    EXPECT_EQ(&c->getChildren(), &constChunk.getChildren());
}

TEST(ChunkCollection, NamedByANewGuid)
{
    std::set<std::string> names;
    for (int i = 0; i < 20; ++i) {
        std::string name = ChunkCollection::create("DJVI")->getName().c_str();
        ASSERT_EQ(40u, name.size()) << name;
        EXPECT_EQ(".iff", name.substr(36));
        Morvenix::Guid guid(name.substr(0, 36).c_str());
        EXPECT_TRUE(guid.isValid());
        EXPECT_EQ(name.substr(0, 36), guid.toString().c_str());
        EXPECT_TRUE(names.insert(name).second);
    }
    AutoPtr<ChunkCollection> c = ChunkCollection::create("DJVU");
    c->setName("p0001.djvu");
    EXPECT_EQ(String("p0001.djvu"), c->getName());
    Morvenix::DjVu::Nameable* nameable = c.get();
    EXPECT_EQ(String("p0001.djvu"), nameable->getName());
}

TEST(ChunkCollection, RefusesPayloadOperations)
{
    AutoPtr<ChunkCollection> c = ChunkCollection::create("DJVM");
    const Chunk& constChunk = *c;
    expectThrow([&] { c->getData(); }, Morvenix::errNotSupported, "Cannot get data from collection chunk!",
                "Morvenix::DjVu::ChunkCollection::getData");
    expectThrow([&] { constChunk.getData(); }, Morvenix::errNotSupported, "Cannot get data from collection chunk!",
                "Morvenix::DjVu::ChunkCollection::getData");
    expectThrow([&] { c->setData(MemoryData::create()); }, Morvenix::errNotSupported,
                "Cannot set data to collection chunk!", "Morvenix::DjVu::ChunkCollection::setData");
    EXPECT_TRUE(c->getChildren().count() == 0);
}

TEST(ChunkCollection, Find)
{
    AutoPtr<Chunk> unloaded = Chunk::create("TXTz");
    AutoPtr<Chunk> noId = Chunk::create("");
    AutoPtr<ChunkCollection> c = form("DJVU", {leaf("INFO", "i"), leaf("BG44", "a"), unloaded, leaf("BG44", "b"),
                                               leaf("FG44", "f"), noId, leaf("TXTz", "t")});
    struct Case {
        const char* id;
        const char* altId;
        uint32_t start;
        bool skipUnloaded;
        uint32_t expected;
    };
    const Case cases[] = {
        {"INFO", "", Chunk::notFound, false, 0},
        {"INFO", "", 0, false, Chunk::notFound}, // start is the last match: searching goes on after it
        {"BG44", "", Chunk::notFound, false, 1},
        {"BG44", "", 1, false, 3},
        {"BG44", "", 3, false, Chunk::notFound},
        {"FG44", "BG44", Chunk::notFound, false, 1},
        {"FG44", "BG44", 1, false, 3},
        {"FG44", "BG44", 3, false, 4},
        {"XXXX", "FG44", Chunk::notFound, false, 4},
        {"TXTz", "", Chunk::notFound, false, 2},
        {"TXTz", "", Chunk::notFound, true, 6}, // the unloaded leaf is passed over
        {"TXTz", "", 5, false, 6},
        {"TXTz", "", 6, false, Chunk::notFound}, // start at the last index
        {"XXXX", "", Chunk::notFound, false, Chunk::notFound}, // an empty alternative matches no child, not even one without id
        {"", "", Chunk::notFound, true, Chunk::notFound},      // the leaf without id has no payload
        {"", "", Chunk::notFound, false, 5},
        {"INFO", "", 100, false, Chunk::notFound},
        {"INFO", "", 0xFFFFFFFEu, false, Chunk::notFound},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(std::string(t.id) + "/" + t.altId + " from " + std::to_string(t.start));
        EXPECT_EQ(t.expected, c->find(t.id, t.altId, t.start, t.skipUnloaded));
        if (!*t.altId) {
            EXPECT_EQ(t.expected, c->find(t.id, t.start, t.skipUnloaded));
        }
    }
    AutoPtr<ChunkCollection> empty = ChunkCollection::create("DJVU");
    EXPECT_EQ(Chunk::notFound, empty->find("INFO", Chunk::notFound, false));
    EXPECT_EQ(Chunk::notFound, empty->find("INFO", 0, false));
}

TEST(ChunkCollection, FindSeesRedirectorsAndNestedFormsByTheirIds)
{
    AutoPtr<Chunk> dictionary = leaf("Djbz", "dict");
    AutoPtr<ChunkCollection> page = form("DJVU", {leaf("INFO", "i")});
    AutoPtr<ChunkCollection> doc = form("DJVM", {leaf("DIRM", "d"), ChunkRedirector::create(dictionary), page});
    EXPECT_EQ(1u, doc->find("Djbz", Chunk::notFound, false));
    EXPECT_EQ(2u, doc->find("DJVU", Chunk::notFound, true));
    dictionary->setData(AutoPtr<Morvenix::DjVu::Data>());
    EXPECT_EQ(Chunk::notFound, doc->find("Djbz", Chunk::notFound, true));
    EXPECT_EQ(1u, doc->find("Djbz", Chunk::notFound, false));
}

TEST(ChunkCollection, IsLoadedWhenEveryChildIs)
{
    AutoPtr<Chunk> pending = Chunk::create("Sjbz");
    AutoPtr<ChunkCollection> page = form("DJVU", {leaf("INFO", "i"), pending});
    AutoPtr<ChunkCollection> doc = form("DJVM", {page, form("DJVI", {})});
    EXPECT_FALSE(page->isLoaded());
    EXPECT_FALSE(doc->isLoaded());
    pending->setData(MemoryData::createFromBytes("s", 1));
    EXPECT_TRUE(page->isLoaded());
    EXPECT_TRUE(doc->isLoaded());
}

TEST(ChunkCollection, LoadIsPostOrder)
{
    AutoPtr<Chunk> shared = leaf("Djbz", "d");
    AutoPtr<ChunkCollection> b = form("DJVU", {leaf("C1", "c"), ChunkRedirector::createWithId(shared, "REDR")});
    AutoPtr<ChunkCollection> root = form("DJVM", {leaf("A", "a"), b, form("DJVI", {}), leaf("D", "d")});
    std::vector<std::string> visited;
    root->load(ChunkTest::recordId, &visited);
    // The redirector hands the callback its target.
    EXPECT_EQ((std::vector<std::string>{"A", "C1", "Djbz", "DJVU", "DJVI", "D", "DJVM"}), visited);
    root->load(nullptr, nullptr);
}

// The callback sees each chunk once its subtree is done, and a failure stops the walk where it happened.
TEST(ChunkCollection, LoadFailurePassesThrough)
{
    struct Ctx {
        std::vector<std::string> ids;
        int throwAt;
    };
    auto callback = [](void* inContext, Chunk* inChunk) {
        Ctx* ctx = static_cast<Ctx*>(inContext);
        ctx->ids.push_back(inChunk->getId().c_str());
        if (int(ctx->ids.size()) == ctx->throwAt)
            throw Morvenix::Exception(Morvenix::errDataBroken, "stop here", "chunk_test", __LINE__, "callback");
    };
    AutoPtr<ChunkCollection> root = form("DJVM", {leaf("A", "a"), leaf("B", "b"), leaf("C", "c")});
    Ctx ctx{{}, 2};
    expectThrow([&] { root->load(callback, &ctx); }, Morvenix::errDataBroken, "stop here");
    EXPECT_EQ((std::vector<std::string>{"A", "B"}), ctx.ids);
    EXPECT_TRUE(root->isLoaded());
}

TEST(ChunkCollection, CompactShrinksChildrenAndTheirPayloads)
{
    AutoPtr<MemoryData> data = MemoryData::create();
    data->getStorage()->writeBytes("abcd", 4);
    AutoPtr<Chunk> child = Chunk::create("ANTz");
    child->setData(data);
    AutoPtr<ChunkCollection> inner = form("DJVU", {child});
    AutoPtr<ChunkCollection> root = form("DJVM", {inner, ChunkCollection::create("DJVI")});
    root->compact();
    EXPECT_EQ(2u, root->getChildren().capacity());
    EXPECT_EQ(1u, inner->getChildren().capacity());
    EXPECT_EQ(4u, data->getStorage()->getArray().capacity());
    AutoPtr<ChunkCollection> empty = ChunkCollection::create("DJVI");
    empty->compact();
    EXPECT_EQ(0u, empty->getChildren().capacity());
    EXPECT_EQ(nullptr, empty->getChildren().data());
    // Children can be added again afterwards.
    empty->getChildren().append(leaf("INFO", "i"));
    EXPECT_EQ(0u, empty->find("INFO", Chunk::notFound, false));
}

// Callers grow the child array before filling it; a hole left in it is passed over.
TEST(ChunkCollection, NullChildrenArePassedOver)
{
    AutoPtr<ChunkCollection> c = form("DJVU", {leaf("INFO", "i")});
    c->getChildren().setSize(3);
    c->getChildren()[2] = leaf("TXTz", "t");
    EXPECT_EQ(2u, c->find("TXTz", Chunk::notFound, false));
    EXPECT_EQ(2u, c->find("TXTz", Chunk::notFound, true));
    EXPECT_TRUE(c->isLoaded());
    std::vector<std::string> visited;
    c->load(ChunkTest::recordId, &visited);
    EXPECT_EQ((std::vector<std::string>{"INFO", "TXTz", "DJVU"}), visited);
    c->compact();
}

TEST(ChunkCollection, SecurityProviderIsKeptAndReleased)
{
    int alive = 0;
    AutoPtr<ChunkCollection> c = ChunkCollection::create("DJVM");
    CountedProvider* first = new CountedProvider(alive);
    c->setSecurityProvider(first);
    EXPECT_EQ(1, alive);
    EXPECT_EQ(first, c->getSecurityProvider());
    // A redirector passes the provider to its target.
    AutoPtr<ChunkRedirector> r = ChunkRedirector::create(c);
    EXPECT_EQ(first, r->getSecurityProvider());
    CountedProvider* second = new CountedProvider(alive);
    r->setSecurityProvider(second);
    EXPECT_EQ(1, alive);
    EXPECT_EQ(second, c->getSecurityProvider());
    c->setSecurityProvider(nullptr);
    EXPECT_EQ(0, alive);
    EXPECT_EQ(nullptr, c->getSecurityProvider());

    c->setSecurityProvider(new CountedProvider(alive));
    r.reset();
    c.reset();
    EXPECT_EQ(0, alive);
}

TEST(ChunkCollection, UpdateLinksLeavesPagesAlone)
{
    AutoPtr<ChunkCollection> page = form("DJVU", {leaf("INFO", "i")});
    String name = page->getName();
    page->updateLinks();
    EXPECT_EQ(name, page->getName());
    EXPECT_EQ(1u, page->getChildren().count());
}

TEST(ChunkCollection, ReleasingTheRootKeepsSharedChunks)
{
    AutoPtr<Chunk> shared = leaf("Djbz", "d");
    {
        AutoPtr<ChunkCollection> root =
            form("DJVM", {form("DJVU", {ChunkRedirector::create(shared)}), form("DJVU", {ChunkRedirector::create(shared)})});
        EXPECT_EQ(0u, root->getChildren()[1]->find("Djbz", Chunk::notFound, false));
    }
    EXPECT_EQ("d", ChunkTest::bytesOf(*shared->getData()));
}

} // namespace
