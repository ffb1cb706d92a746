// The bytes the DjVu file writer produces: single pages, bundled documents with their directory, shared
// components and the outline, indirect documents and the tree-only form.
#include "iff_test_support.h"

#include "djvu_page_file.h"
#include "mvx_diskstorage.h"

using namespace IffTest;
using Morvenix::String;
namespace IFF = Morvenix::DjVu::IFF;

namespace {

std::string str(const MvxTest::Bytes& b) { return std::string(b.begin(), b.end()); }

MvxTest::Bytes raw(const std::string& s) { return MvxTest::Bytes(s.begin(), s.end()); }

// The single-page file of page("...", payload), built independently of the writer.
std::string expectedPageFile(const std::string& inPayload)
{
    MvxTest::Bytes form{'D', 'J', 'V', 'U'};
    MvxTest::putChunk(form, "INFO", raw(std::string("\x00\x10\x00\x08\x18\x00\x2c\x01\x16\x01", 10)));
    MvxTest::putChunk(form, "Sjbz", raw(inPayload));
    if (inPayload.size() & 1)
        form.pop_back(); // no pad after the last child
    MvxTest::Bytes file{'A', 'T', '&', 'T'};
    MvxTest::putChunk(file, "FORM", form);
    if (form.size() & 1)
        file.pop_back();
    return str(file);
}

struct ProgressLog {
    std::vector<std::pair<uint32_t, uint32_t>> calls;
    static void record(void* inContext, uint32_t inDone, uint32_t inTotal)
    {
        static_cast<ProgressLog*>(inContext)->calls.emplace_back(inDone, inTotal);
    }
};

} // namespace

TEST(IffSinglePage, PageRootIsWrittenAsASinglePageFileInDefaultAndSinglePageModes)
{
    for (uint32_t mode : {IFF::smDefault, IFF::smSinglePage}) {
        for (const char* payload : {"mask", "odd"}) {
            AutoPtr<ChunkCollection> p = page("p.iff", payload);
            EXPECT_EQ(expectedPageFile(payload), serializeToMemory(p.get(), mode)) << mode << payload;
        }
    }
}

TEST(IffSinglePage, DocumentWithOnePageAndNoOutlineIsWrittenAsThatPageInDefaultMode)
{
    AutoPtr<ChunkCollection> doc = form("DJVM", {page("p.iff")});
    EXPECT_EQ(expectedPageFile("mask"), serializeToMemory(doc.get(), IFF::smDefault));

    // In bundled mode the same tree is a document of one component.
    const std::string bundled = serializeToMemory(doc.get(), IFF::smBundled);
    Node root = parseFile(bundled);
    EXPECT_EQ("DJVM", root.id);
    Directory d = parseDirectory(root.children.at(0).body);
    EXPECT_EQ(1u, d.count);
    EXPECT_EQ(std::vector<std::string>{"p.iff"}, d.names);
}

TEST(IffSinglePage, OddLeafIsFollowedByAZeroPadThatTheFormLengthCountsOnlyBetweenChildren)
{
    AutoPtr<ChunkCollection> p = form("DJVU", {leaf("INFO", "abc"), leaf("TXTa", "xyz")});
    const std::string s = serializeToMemory(p.get(), IFF::smSinglePage);
    // AT&T FORM len DJVU | INFO 3 abc pad | TXTa 3 xyz
    ASSERT_EQ(4u + 12 + 11 + 1 + 11, s.size());
    EXPECT_EQ(std::string("abc\0TXTa", 8), s.substr(24, 8));
    EXPECT_EQ(s.size() - 12, be(s, 8, 4));
}

TEST(IffSinglePage, SharedChunksAreWrittenInPlaceInASinglePageFile)
{
    AutoPtr<Chunk> dict = leaf("Djbz", "dictionary");
    AutoPtr<ChunkCollection> p = form("DJVU", {leaf("INFO", "0123456789"), ChunkRedirector::create(dict)});
    Node root = parseFile(serializeToMemory(p.get(), IFF::smSinglePage));
    ASSERT_EQ(2u, root.children.size());
    EXPECT_EQ("Djbz", root.children[1].id);
    EXPECT_EQ("dictionary", root.children[1].body);
}

TEST(IffTreeOnly, WritesAnyRootWithoutMagicOrDirectory)
{
    AutoPtr<ChunkCollection> doc = form("DJVM", {page("a.iff"), page("b.iff")});
    const std::string s = serializeToMemory(doc.get(), IFF::smTreeOnly);
    EXPECT_EQ("FORM", s.substr(0, 4));
    EXPECT_EQ(s.size() - 8, be(s, 4, 4));
    std::vector<Node> top = parseRange(s, 0, s.size());
    ASSERT_EQ(1u, top.size());
    EXPECT_EQ("DJVM", top[0].id);
    EXPECT_EQ(2u, top[0].children.size());

    AutoPtr<Chunk> bare = leaf("ANTa", "(mode 1)");
    EXPECT_EQ(std::string("ANTa\0\0\0\x08(mode 1)", 16), serializeToMemory(bare.get(), IFF::smTreeOnly));
}

TEST(IffBundled, TwoPagesGiveADirectoryWhoseOffsetsPointAtEachPage)
{
    AutoPtr<ChunkCollection> doc = form("DJVM", {page("p1.iff", "one"), page("p2.iff", "second")});
    const std::string s = serializeToMemory(doc.get(), IFF::smDefault);
    EXPECT_EQ("AT&TFORM", s.substr(0, 8));
    EXPECT_EQ("DJVMDIRM", s.substr(12, 8));
    EXPECT_EQ(0x81, uint8_t(s[24]));
    EXPECT_EQ(2u, be(s, 25, 2));
    Node root = parseFile(s);
    ASSERT_EQ(3u, root.children.size());
    Directory d = parseDirectory(root.children[0].body);
    EXPECT_EQ(be(s, 20, 4), root.children[0].length);
    ASSERT_EQ(2u, d.offsets.size());
    EXPECT_EQ((std::vector<std::string>{"p1.iff", "p2.iff"}), d.names);
    EXPECT_EQ((std::vector<unsigned>{1, 1}), d.componentFlags);
    for (int i = 0; i < 2; ++i) {
        const Node& pageNode = root.children[size_t(i) + 1];
        EXPECT_EQ(pageNode.offset, d.offsets[size_t(i)]);
        EXPECT_EQ("FORM", s.substr(d.offsets[size_t(i)], 4));
        EXPECT_EQ(pageNode.length + 8, d.sizes[size_t(i)]);
    }
    EXPECT_EQ("one", root.children[1].children[1].body);
    EXPECT_EQ("second", root.children[2].children[1].body);
}

TEST(IffBundled, PagesSharingADictionaryIncludeOneSharedComponent)
{
    AutoPtr<Chunk> dict = leaf("Djbz", "shapes");
    AutoPtr<ChunkCollection> p1 = form("DJVU", {leaf("INFO", "1"), ChunkRedirector::create(dict), leaf("Sjbz", "a")}, "p1.iff");
    AutoPtr<ChunkCollection> p2 = form("DJVU", {leaf("INFO", "2"), ChunkRedirector::create(dict), leaf("Sjbz", "b")}, "p2.iff");
    AutoPtr<ChunkCollection> doc = form("DJVM", {p1, p2});
    const std::string s = serializeToMemory(doc.get(), IFF::smBundled);
    Node root = parseFile(s);
    Directory d = parseDirectory(root.children.at(0).body);
    EXPECT_EQ(3u, d.count);
    EXPECT_EQ((std::vector<std::string>{"dict0001.iff", "p1.iff", "p2.iff"}), d.names);
    EXPECT_EQ((std::vector<unsigned>{0, 1, 1}), d.componentFlags);
    ASSERT_EQ(4u, root.children.size());
    const Node& shared = root.children[1];
    EXPECT_EQ("DJVI", shared.id);
    ASSERT_EQ(1u, shared.children.size());
    EXPECT_EQ("Djbz", shared.children[0].id);
    EXPECT_EQ("shapes", shared.children[0].body);
    for (int i = 2; i < 4; ++i) {
        const Node& pageNode = root.children[size_t(i)];
        ASSERT_EQ(3u, pageNode.children.size());
        EXPECT_EQ("INCL", pageNode.children[1].id);
        EXPECT_EQ("dict0001.iff", pageNode.children[1].body); // no NUL
        EXPECT_EQ(pageNode.offset, d.offsets[size_t(i) - 1]);
    }
    // The names exist only in the output: the tree is unchanged.
    EXPECT_EQ(String("p1.iff"), p1->getName());
    EXPECT_EQ(3u, p1->getChildren().count());
    EXPECT_TRUE(p1->getChildren()[1]->isRedirector());
}

TEST(IffBundled, SharedComponentsAreNamedByKindWithOneCounterEach)
{
    AutoPtr<Chunk> d1 = leaf("Djbz", "d1"), d2 = leaf("Djbz", "d2"), a1 = leaf("ANTz", "a1"),
                   a2 = leaf("ANTa", "a2"), other = leaf("FGbz", "c1");
    AutoPtr<ChunkCollection> p1 = form("DJVU", {ChunkRedirector::create(d1), ChunkRedirector::create(a1),
                                                ChunkRedirector::create(other)}, "p1.iff");
    AutoPtr<ChunkCollection> p2 = form("DJVU", {ChunkRedirector::create(d2), ChunkRedirector::create(a2),
                                                ChunkRedirector::create(d1)}, "p2.iff");
    AutoPtr<ChunkCollection> doc = form("DJVM", {p1, p2});
    Node root = parseFile(serializeToMemory(doc.get(), IFF::smBundled));
    Directory d = parseDirectory(root.children.at(0).body);
    EXPECT_EQ((std::vector<std::string>{"dict0001.iff", "anno0001.iff", "chunk0001.iff", "p1.iff", "dict0002.iff",
                                        "anno0002.iff", "p2.iff"}),
              d.names);
    // The second page's reference to the first dictionary reuses its component.
    EXPECT_EQ("dict0001.iff", root.children.at(7).children.at(2).body);
}

TEST(IffBundled, RedirectorOwnIdNamesTheSharedComponentOnFirstMeeting)
{
    AutoPtr<Chunk> dict = leaf("Djbz", "shapes");
    AutoPtr<ChunkCollection> p1 = form("DJVU", {ChunkRedirector::createWithId(dict, "shared.djbz")}, "p1.iff");
    AutoPtr<ChunkCollection> p2 = form("DJVU", {ChunkRedirector::createWithId(dict, "other.djbz")}, "p2.iff");
    AutoPtr<ChunkCollection> doc = form("DJVM", {p1, p2});
    Node root = parseFile(serializeToMemory(doc.get(), IFF::smBundled));
    Directory d = parseDirectory(root.children.at(0).body);
    EXPECT_EQ((std::vector<std::string>{"shared.djbz", "p1.iff", "p2.iff"}), d.names);
    EXPECT_EQ("shared.djbz", root.children.at(2).children.at(0).body);
    EXPECT_EQ("shared.djbz", root.children.at(3).children.at(0).body);
}

TEST(IffBundled, OutlineGoesRightAfterTheDirectoryAndIsNoComponent)
{
    // An odd outline so the pad after it is exercised; placed first, and placed after a page.
    for (bool outlineFirst : {true, false}) {
        AutoPtr<Chunk> navm = leaf("NAVM", "outline");
        AutoPtr<ChunkCollection> doc = outlineFirst ? form("DJVM", {navm, page("p1.iff")})
                                                    : form("DJVM", {page("p1.iff"), navm});
        const std::string s = serializeToMemory(doc.get(), IFF::smDefault);
        Node root = parseFile(s);
        ASSERT_EQ(3u, root.children.size()) << outlineFirst;
        EXPECT_EQ("DIRM", root.children[0].id);
        EXPECT_EQ("NAVM", root.children[1].id);
        EXPECT_EQ("outline", root.children[1].body);
        EXPECT_EQ("DJVU", root.children[2].id);
        Directory d = parseDirectory(root.children[0].body);
        EXPECT_EQ(1u, d.count);
        EXPECT_EQ(root.children[2].offset, d.offsets.at(0));
    }
}

TEST(IffBundled, PageRootInBundledModeBecomesADocumentOfOnePage)
{
    AutoPtr<ChunkCollection> p = page("only.iff");
    Node root = parseFile(serializeToMemory(p.get(), IFF::smBundled));
    EXPECT_EQ("DJVM", root.id);
    Directory d = parseDirectory(root.children.at(0).body);
    EXPECT_EQ(std::vector<std::string>{"only.iff"}, d.names);
    EXPECT_EQ(2u, p->getChildren().count());
}

TEST(IffBundled, TopLevelLeafBeforeThePagesIsAComponentNamedByAGuidAndALeadingLeaf)
{
    AutoPtr<ChunkCollection> doc = form("DJVM", {leaf("ANTa", "x"), page("p1.iff"), page("p2.iff")});
    Node root = parseFile(serializeToMemory(doc.get(), IFF::smBundled));
    Directory d = parseDirectory(root.children.at(0).body);
    ASSERT_EQ(3u, d.count);
    EXPECT_EQ(36u, d.names[0].size()); // 8-4-4-4-12
    EXPECT_EQ(0u, d.componentFlags[0]);
    EXPECT_EQ("ANTa", root.children.at(1).id);
    EXPECT_EQ(d.offsets[0], root.children.at(2).offset);
    EXPECT_EQ("ANTa", root.children.at(2).id);
}

TEST(IffBundled, ProgressIsReportedPerChildWhenACallbackIsGiven)
{
    AutoPtr<ChunkCollection> doc = form("DJVM", {leaf("NAVM", "o"), page("a.iff"), page("b.iff")});
    ProgressLog log;
    AutoPtr<Morvenix::MemoryStorage> out = Morvenix::MemoryStorage::create();
    IFF::serialize(out.get(), doc.get(), &ProgressLog::record, &log, IFF::smBundled, nullptr, nullptr);
    EXPECT_EQ((std::vector<std::pair<uint32_t, uint32_t>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}}), log.calls);

    ProgressLog single;
    AutoPtr<Morvenix::MemoryStorage> out2 = Morvenix::MemoryStorage::create();
    AutoPtr<ChunkCollection> p = page("a.iff");
    IFF::serialize(out2.get(), p.get(), &ProgressLog::record, &single, IFF::smSinglePage, nullptr, nullptr);
    EXPECT_EQ((std::vector<std::pair<uint32_t, uint32_t>>{{0, 1}, {1, 1}}), single.calls);
}

TEST(IffBundled, NoCallbackIsCalledWhenNoneIsGivenInAnyMode)
{
    // The add-in passes no callback; a context without a callback must not be taken for one.
    int context = 0;
    for (uint32_t mode : {IFF::smDefault, IFF::smSinglePage, IFF::smBundled, IFF::smIndirect, IFF::smTreeOnly}) {
        AutoPtr<Chunk> root = mode == IFF::smSinglePage ? AutoPtr<Chunk>(page("a.iff"))
                                                        : AutoPtr<Chunk>(form("DJVM", {page("a.iff"), page("b.iff")}));
        MemoryLocator locator;
        AutoPtr<Morvenix::MemoryStorage> out = Morvenix::MemoryStorage::create();
        IFF::serialize(out.get(), root.get(), nullptr, &context, mode, &locator, nullptr);
        EXPECT_GT(out->getSize(), 12u) << mode;
    }
}

TEST(IffIndirect, IndexHoldsNoOffsetsAndEachComponentIsAFileOfItsOwn)
{
    AutoPtr<Chunk> dict = leaf("Djbz", "shapes");
    AutoPtr<ChunkCollection> p1 = form("DJVU", {leaf("INFO", "1"), ChunkRedirector::create(dict)}, "p1.iff");
    AutoPtr<ChunkCollection> p2 = form("DJVU", {leaf("INFO", "2"), ChunkRedirector::create(dict)}, "p2.iff");
    AutoPtr<ChunkCollection> doc = form("DJVM", {leaf("NAVM", "outline!"), p1, p2});
    MemoryLocator locator;
    const std::string index = serializeToMemory(doc.get(), IFF::smIndirect, &locator);
    Node root = parseFile(index);
    EXPECT_EQ(0x01, uint8_t(index.at(24)));
    ASSERT_EQ(2u, root.children.size()); // the directory and the outline, no components
    Directory d = parseDirectory(root.children[0].body);
    EXPECT_EQ((std::vector<std::string>{"dict0001.iff", "p1.iff", "p2.iff"}), d.names);
    EXPECT_EQ((std::vector<uint32_t>{0, 0, 0}), d.sizes);
    EXPECT_EQ((std::vector<unsigned>{0, 1, 1}), d.componentFlags);
    EXPECT_TRUE(d.offsets.empty());
    EXPECT_EQ("NAVM", root.children[1].id);
    EXPECT_EQ(d.names, locator.names);
    const char* types[] = {"DJVI", "DJVU", "DJVU"};
    for (size_t i = 0; i < 3; ++i) {
        Node component = parseFile(bytesOf(*locator.storages[i]));
        EXPECT_EQ(types[i], component.id);
    }
    EXPECT_EQ("dict0001.iff", parseFile(bytesOf(*locator.storages[2])).children.at(1).body);
}

TEST(IffIndirect, WithoutALocatorComponentsGoBesideTheOutputFile)
{
    const std::string folder = MvxTest::tempFolder();
    AutoPtr<ChunkCollection> doc = form("DJVM", {page("p1.iff", "one"), page("p2.iff", "two")});
    {
        AutoPtr<Morvenix::DiskStorage> out =
            Morvenix::DiskStorage::create((folder + "\\index.djvu").c_str(), Morvenix::DiskStorage::accessReadWrite,
                                          Morvenix::DiskStorage::createAlways);
        IFF::serialize(out.get(), doc.get(), nullptr, nullptr, IFF::smIndirect, nullptr, nullptr);
    }
    Node index = parseFile(fileText(folder + "\\index.djvu"));
    EXPECT_EQ(1u, index.children.size());
    EXPECT_EQ("one", parseFile(fileText(folder + "\\p1.iff")).children.at(1).body);
    EXPECT_EQ("two", parseFile(fileText(folder + "\\p2.iff")).children.at(1).body);
}
