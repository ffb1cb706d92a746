// What the DjVu file writer refuses: roots and modes it cannot write, trees that contain themselves,
// values that do not fit their fields, component names that would break the directory; and that a
// refused document leaves the output untouched.
#include "iff_test_support.h"

#include "mvx_diskstorage_rb.h"
#include "mvx_exception.h"
#include "mvx_path.h"

using namespace IffTest;
using Morvenix::MemoryStorage;
using Morvenix::String;
using MvxTest::expectThrow;
namespace IFF = Morvenix::DjVu::IFF;

namespace {

// Expects serialize to throw the code and leave out empty.
void expectRefused(Chunk* inRoot, uint32_t inMode, int inCode, const char* inText = nullptr,
                   Morvenix::DjVu::StorageLocator* inLocator = nullptr)
{
    AutoPtr<MemoryStorage> out = MemoryStorage::create();
    expectThrow([&] { IFF::serialize(out.get(), inRoot, nullptr, nullptr, inMode, inLocator, nullptr); }, inCode,
                inText, "Morvenix::DjVu::IFF::serialize");
    EXPECT_EQ(0u, out->getSize()) << "mode " << inMode;
}

// A payload that claims any size and hands out one small buffer; only a storage that never reads what it
// is given (the counting sink below) may be used with it.
class HugeData : public Morvenix::DjVu::Data {
public:
    explicit HugeData(uint32_t inSize, Morvenix::Storage* inStorage = nullptr) : m_size(inSize), m_storage(inStorage) {}
    unsigned char* getBuffer() override { return m_byte; }
    uint32_t getSize() override { return m_size; }
    AutoPtr<Morvenix::Storage> getReadStorage(bool) override { return AutoPtr<Morvenix::Storage>(m_storage); }
    void load() override {}
    AutoPtr<Data> clone(bool) override { return AutoPtr<Data>(); }
    void compact() override {}
    void lock() override {}
    void unlock() override {}

private:
    uint32_t m_size;
    Morvenix::Storage* m_storage;
    unsigned char m_byte[1] = {0};
};

// Counts positions without keeping bytes, so files of several gigabytes can be "written".
class SinkStorage : public Morvenix::Storage {
public:
    uint32_t readBytes(void*, uint32_t, bool) override { return 0; }
    void writeBytes(const void*, uint32_t inSize) override
    {
        m_pos += inSize;
        if (m_pos > m_size)
            m_size = m_pos;
    }
    void flushBuffer() override {}
    bool isEof() override { return true; }
    uint64_t getSize() override { return m_size; }
    uint64_t getPos() override { return m_pos; }
    void reserve(uint64_t) override {}
    void setPos(uint64_t inPos) override { m_pos = inPos; }
    void setPosRelative(int64_t inOffset) override { m_pos += uint64_t(inOffset); }
    void setPosFromEnd(int64_t inOffset) override { m_pos = m_size + uint64_t(inOffset); }
    void setEof() override { m_size = m_pos; }
    Morvenix::String getName() override { return Morvenix::String(); }
    AutoPtr<Morvenix::Storage> duplicate() override { return AutoPtr<Morvenix::Storage>(); }
    void lock() override {}
    void unlock() override {}

private:
    uint64_t m_pos = 0;
    uint64_t m_size = 0;
};

} // namespace

TEST(IffRefusal, RootsAndModesThatCannotBeWrittenThrowBeforeWritingAnything)
{
    AutoPtr<ChunkCollection> doc = form("DJVM", {page("a.iff"), page("b.iff")});
    AutoPtr<ChunkCollection> djvu = page("a.iff");
    AutoPtr<ChunkCollection> djvi = form("DJVI", {leaf("Djbz", "x")});
    AutoPtr<Chunk> bare = leaf("DJVU", "not a form");
    struct Case {
        Chunk* root;
        uint32_t mode;
        const char* text;
    } cases[] = {
        {nullptr, IFF::smDefault, "inChunk is NULL!"},
        {doc.get(), IFF::smSinglePage,
         "IFF::serialize cannot serialize DJVM chunk without IFF::smBundled or IFF::smIndirect."},
        {doc.get(), 5, "unknown mode 5"},
        {doc.get(), 0xFFFFFFFFu, "unknown mode"},
        {djvu.get(), 5, "unknown mode 5"},
        {djvi.get(), IFF::smDefault, "DJVI"},
        {djvi.get(), IFF::smSinglePage, "DJVI"},
        {djvi.get(), IFF::smBundled, "DJVI"},
        {djvi.get(), IFF::smIndirect, "DJVI"},
        {djvi.get(), 7, "unknown mode 7"},
        {bare.get(), IFF::smDefault, "DJVU"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        MemoryLocator locator;
        expectRefused(c.root, c.mode, Morvenix::errInvalidParam, c.text, &locator);
        EXPECT_TRUE(locator.names.empty());
    }
    // Any root is fine for the tree-only form.
    EXPECT_FALSE(serializeToMemory(djvi.get(), IFF::smTreeOnly).empty());
}

TEST(IffRefusal, DocumentIsWrittenOnlyIntoAnEmptyOutput)
{
    AutoPtr<ChunkCollection> doc = form("DJVM", {page("a.iff"), page("b.iff")});
    for (uint32_t mode : {IFF::smDefault, IFF::smBundled, IFF::smIndirect}) {
        AutoPtr<MemoryStorage> out = MemoryStorage::create();
        out->writeBytes("previous", 8);
        MemoryLocator locator;
        expectThrow([&] { IFF::serialize(out.get(), doc.get(), nullptr, nullptr, mode, &locator, nullptr); },
                    Morvenix::errInvalidParam, "only into an empty output");
        EXPECT_EQ("previous", bytesOf(*out));
        EXPECT_TRUE(locator.names.empty());
    }
    // A single page may follow other data: its length is patched where it began.
    AutoPtr<MemoryStorage> out = MemoryStorage::create();
    out->writeBytes("previous", 8);
    AutoPtr<ChunkCollection> p = page("a.iff");
    IFF::serialize(out.get(), p.get(), nullptr, nullptr, IFF::smSinglePage, nullptr, nullptr);
    const std::string s = bytesOf(*out);
    EXPECT_EQ("previousAT&TFORM", s.substr(0, 16));
    EXPECT_EQ(s.size() - 20, be(s, 16, 4));
}

TEST(IffRefusal, NullOutputIsRefused)
{
    AutoPtr<ChunkCollection> p = page("a.iff");
    expectThrow([&] { IFF::serialize(nullptr, p.get(), nullptr, nullptr, IFF::smDefault, nullptr, nullptr); },
                Morvenix::errInvalidParam, "out is NULL!");
}

TEST(IffRefusal, DocumentWithoutPageOrOutlineIsRefusedInDefaultMode)
{
    AutoPtr<ChunkCollection> empty = form("DJVM", {});
    expectRefused(empty.get(), IFF::smDefault, Morvenix::errInvalidParam, "neither a page nor an outline");
    AutoPtr<ChunkCollection> sharedOnly = form("DJVM", {form("DJVI", {leaf("Djbz", "x")})});
    expectRefused(sharedOnly.get(), IFF::smDefault, Morvenix::errInvalidParam, "neither a page nor an outline");
}

TEST(IffRefusal, CollectionInsideItselfIsRefusedInEveryMode)
{
    AutoPtr<ChunkCollection> p = page("loop.iff");
    AutoPtr<ChunkCollection> inner = form("DJVI", {leaf("ANTa", "x")});
    // Directly, through a redirector, and two levels down.
    struct Setup {
        const char* what;
        AutoPtr<Chunk> child;
    } setups[] = {{"self", p}, {"redirector", ChunkRedirector::create(AutoPtr<Chunk>(p))}, {"nested", inner}};
    for (Setup& setup : setups) {
        SCOPED_TRACE(setup.what);
        p->getChildren().append(setup.child);
        if (setup.child.get() == inner.get())
            inner->getChildren().append(AutoPtr<Chunk>(p));
        AutoPtr<ChunkCollection> doc = form("DJVM", {page("a.iff"), p});
        for (uint32_t mode : {IFF::smDefault, IFF::smBundled, IFF::smIndirect, IFF::smTreeOnly}) {
            MemoryLocator locator;
            expectRefused(doc.get(), mode, Morvenix::errInvalidParam, "contains itself", &locator);
        }
        expectRefused(p.get(), IFF::smSinglePage, Morvenix::errInvalidParam, "contains itself");
        // Break the reference cycle again.
        p->getChildren().setSize(2);
        inner->getChildren().setSize(1);
    }
    // A document that contains itself.
    AutoPtr<ChunkCollection> doc = form("DJVM", {page("a.iff")});
    doc->getChildren().append(AutoPtr<Chunk>(doc));
    for (uint32_t mode : {IFF::smDefault, IFF::smBundled, IFF::smIndirect, IFF::smTreeOnly}) {
        MemoryLocator locator;
        expectRefused(doc.get(), mode, Morvenix::errInvalidParam, "contains itself", &locator);
    }
    doc->getChildren().setSize(1);
}

TEST(IffRefusal, RunawayNestingIsRefusedWithoutExhaustingTheStack)
{
    AutoPtr<Chunk> deepest = leaf("ANTa", "x");
    AutoPtr<Chunk> top = deepest;
    for (int i = 0; i < 1000; ++i)
        top = form("FORM", {top});
    AutoPtr<ChunkCollection> p = form("DJVU", {leaf("INFO", "0123456789"), top});
    expectRefused(p.get(), IFF::smSinglePage, Morvenix::errInvalidParam, "deeper than 256 levels");
}

TEST(IffRefusal, LeafWithoutPayloadAndIdsOfAnotherLengthAreRefused)
{
    AutoPtr<ChunkCollection> unloaded = form("DJVU", {leaf("INFO", "0123456789"), Chunk::create("Sjbz")});
    expectRefused(unloaded.get(), IFF::smSinglePage, Morvenix::errInvalidParam, "holds no payload");
    for (const char* id : {"", "ABC", "ABCDE"}) {
        AutoPtr<ChunkCollection> bad = form("DJVU", {leaf(id, "x")});
        SCOPED_TRACE(id);
        AutoPtr<MemoryStorage> out = MemoryStorage::create();
        expectThrow([&] { IFF::serialize(out.get(), bad.get(), nullptr, nullptr, IFF::smSinglePage, nullptr, nullptr); },
                    Morvenix::errInvalidParam, "is not four bytes long");
    }
}

TEST(IffRefusal, AFailingComponentLeavesTheOutputOfADocumentUntouched)
{
    // The second page fails after the first has been written to the temporary file or its own storage.
    AutoPtr<ChunkCollection> broken = form("DJVU", {leaf("INFO", "0123456789"), Chunk::create("Sjbz")}, "b.iff");
    AutoPtr<ChunkCollection> doc = form("DJVM", {leaf("NAVM", "o"), page("a.iff"), broken});
    for (uint32_t mode : {IFF::smDefault, IFF::smBundled, IFF::smIndirect}) {
        MemoryLocator locator;
        expectRefused(doc.get(), mode, Morvenix::errInvalidParam, "holds no payload", &locator);
    }
}

TEST(IffRefusal, RepeatedOrEmptyComponentNamesAreRefused)
{
    AutoPtr<ChunkCollection> twice = form("DJVM", {page("same.iff"), page("same.iff")});
    AutoPtr<Chunk> dict = leaf("Djbz", "x");
    AutoPtr<ChunkCollection> clash =
        form("DJVM", {form("DJVU", {ChunkRedirector::createWithId(dict, "p.iff")}, "p.iff")});
    AutoPtr<ChunkCollection> unnamed = form("DJVM", {page(""), page("b.iff")});
    for (uint32_t mode : {IFF::smBundled, IFF::smIndirect}) {
        MemoryLocator locator;
        expectRefused(twice.get(), mode, Morvenix::errInvalidParam, "two components are named \"same.iff\"", &locator);
        expectRefused(clash.get(), mode, Morvenix::errInvalidParam, "two components are named \"p.iff\"", &locator);
        expectRefused(unnamed.get(), mode, Morvenix::errInvalidParam, "empty", &locator);
    }
}

TEST(IffRefusal, ComponentTooLargeForTheDirectorySizeFieldIsRefused)
{
    // 16777215 bytes fit the 24-bit size; one more does not.
    for (uint32_t componentSize : {0xFFFFFFu, 0x1000000u}) {
        // FORM header (12) + INFO chunk (18) + Sjbz header (8) + payload.
        const std::string payload(componentSize - 12 - 18 - 8, 'x');
        AutoPtr<ChunkCollection> doc = form("DJVM", {page("big.iff", payload), page("small.iff")});
        AutoPtr<MemoryStorage> out = MemoryStorage::create();
        if (componentSize == 0xFFFFFFu) {
            IFF::serialize(out.get(), doc.get(), nullptr, nullptr, IFF::smBundled, nullptr, nullptr);
            Node root = parseFile(bytesOf(*out));
            EXPECT_EQ(0xFFFFFFu, parseDirectory(root.children.at(0).body).sizes.at(0));
        } else {
            expectRefused(doc.get(), IFF::smBundled, Morvenix::errBufferOverflow,
                          "the size of component \"big.iff\" is 16777216, more than its field holds (16777215)");
            // An indirect document has no sizes in its directory.
            MemoryLocator locator;
            EXPECT_FALSE(serializeToMemory(doc.get(), IFF::smIndirect, &locator).empty());
        }
    }
}

TEST(IffRefusal, MoreComponentsThanTheDirectoryCountHoldsAreRefused)
{
    // 65535 components fit the 16-bit count; the 65536th is refused before it is opened.
    AutoPtr<ChunkCollection> doc = form("DJVM", {});
    for (uint32_t i = 0; i < 0xFFFFu; ++i) {
        AutoPtr<ChunkCollection> p = ChunkCollection::create("DJVU");
        p->setName(String::format("p%u.iff", i));
        doc->getChildren().append(p);
    }
    {
        MemoryLocator locator;
        const std::string index = serializeToMemory(doc.get(), IFF::smIndirect, &locator);
        EXPECT_EQ(0xFFFFu, be(index, 25, 2));
    }
    doc->getChildren().append(page("last.iff"));
    MemoryLocator locator;
    expectRefused(doc.get(), IFF::smIndirect, Morvenix::errBufferOverflow,
                  "the number of components is 65536, more than its field holds (65535)", &locator);
    EXPECT_EQ(0xFFFFu, locator.names.size());
}

TEST(IffRefusal, FormLongerThanItsThirtyTwoBitLengthFieldIsRefused)
{
    // Two leaves of 2 GiB each: the page FORM would need a length of more than 4 GiB.
    AutoPtr<Chunk> a = Chunk::create("BG44"), b = Chunk::create("BG44");
    a->setData(AutoPtr<Morvenix::DjVu::Data>(new HugeData(0x80000000u)));
    b->setData(AutoPtr<Morvenix::DjVu::Data>(new HugeData(0x80000000u)));
    AutoPtr<ChunkCollection> p = form("DJVU", {a, b});
    SinkStorage sink;
    sink.addRef(); // never released through an owning pointer
    expectThrow([&] { IFF::serialize(&sink, p.get(), nullptr, nullptr, IFF::smSinglePage, nullptr, nullptr); },
                Morvenix::errBufferOverflow, "the length of a FORM is 4294967316, more than its field holds");

    // One leaf of just under 4 GiB still fits.
    AutoPtr<ChunkCollection> fits = form("DJVU", {a});
    a->setData(AutoPtr<Morvenix::DjVu::Data>(new HugeData(0xFFFFFFFFu - 4 - 8)));
    SinkStorage sink2;
    sink2.addRef();
    IFF::serialize(&sink2, fits.get(), nullptr, nullptr, IFF::smSinglePage, nullptr, nullptr);
    EXPECT_EQ(uint64_t(4 + 8) + 0xFFFFFFFFu, sink2.getSize());
}

TEST(IffRefusal, PayloadStorageThatDeliversAnotherCountThanItsSizeIsRefused)
{
    AutoPtr<MemoryStorage> shortSource = MemoryStorage::create("abc", 3, 0);
    AutoPtr<Chunk> a = Chunk::create("Sjbz");
    a->setData(AutoPtr<Morvenix::DjVu::Data>(new HugeData(10, shortSource.get())));
    AutoPtr<ChunkCollection> p = form("DJVU", {a});
    AutoPtr<MemoryStorage> out = MemoryStorage::create();
    expectThrow([&] { IFF::serialize(out.get(), p.get(), nullptr, nullptr, IFF::smSinglePage, nullptr, nullptr); },
                Morvenix::errDataBroken, "does not match its size");
}

TEST(IffRefusal, RefusedExportThroughAStorageWithRollbackLeavesTheOldFileAndNoWorkingFile)
{
    // The add-in's road: a rollback storage on the chosen path, committed only when serialize returns.
    const std::string folder = MvxTest::tempFolder();
    const std::string path = folder + "\\doc.djvu";
    const std::vector<unsigned char> old = {'o', 'l', 'd'};
    MvxTest::writeFile(path, old);
    AutoPtr<ChunkCollection> broken = form("DJVU", {leaf("INFO", "0123456789"), Chunk::create("Sjbz")}, "b.iff");
    AutoPtr<ChunkCollection> docs[] = {form("DJVM", {page("a.iff"), broken}), form("DJVM", {page("a.iff")})};
    docs[1]->getChildren().append(AutoPtr<Chunk>(docs[1]));
    for (uint32_t mode : {IFF::smDefault, IFF::smBundled, 5u}) {
        for (AutoPtr<ChunkCollection>& doc : docs) {
            AutoPtr<Morvenix::DiskStorageWithRollback> out = Morvenix::DiskStorageWithRollback::create(
                path.c_str(), Morvenix::DiskStorage::accessWrite, Morvenix::DiskStorage::dispositionDefault);
            bool committed = false;
            try {
                IFF::serialize(out.get(), doc.get(), nullptr, nullptr, mode, nullptr, nullptr);
                out->commit();
                committed = true;
            } catch (const Morvenix::Exception&) {
            }
            EXPECT_FALSE(committed) << mode;
        }
    }
    docs[1]->getChildren().setSize(1);
    EXPECT_EQ(old, MvxTest::readFile(path));
    AutoPtr<Morvenix::DirectoryEnumerator> entries = Morvenix::DirectoryEnumerator::create(folder.c_str());
    EXPECT_EQ(String(path.c_str()), entries->next());
    EXPECT_TRUE(entries->next().isEmpty()) << "a working file was left behind";
}
