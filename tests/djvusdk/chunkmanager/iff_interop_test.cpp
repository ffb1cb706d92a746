// Documents written by the DjVu file writer, read by the DjVuLibre tools: djvudump shows their
// structure, ddjvu decodes every page, djvused reads the outline, and djvmcvt converts between the
// bundled and the indirect form without changing a page.
#include "iff_test_support.h"

#include "djv_bookmark.h"
#include "djvu_page_file.h"
#include "mvx_diskstorage_rb.h"

using namespace IffTest;
using Morvenix::String;
namespace IFF = Morvenix::DjVu::IFF;

namespace {

class IffInterop : public MvxTest::HostToolTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(MvxTest::HostToolTest::SetUp());
        for (int i = 0; i < pageCount; ++i)
            makePage(i);
    }

    // A bilevel image different for every page, encoded by cjb2; its decoded bitmap is the reference
    // every page we write must reproduce.
    void makePage(int inIndex)
    {
        const int w = 120 + 8 * inIndex, h = 90;
        const int rowBytes = (w + 7) / 8;
        std::string pbm = "P4\n" + std::to_string(w) + " " + std::to_string(h) + "\n";
        std::string bits(size_t(rowBytes * h), '\0');
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const bool black = (x / (6 + inIndex) + y / 7) % 3 == 0 || (x > 10 * inIndex && x < 10 * inIndex + 5);
                if (black)
                    bits[size_t(y * rowBytes + x / 8)] |= char(0x80 >> (x % 8));
            }
        }
        pbm += bits;
        const std::string name = "image" + std::to_string(inIndex);
        MvxTest::writeFile(path(name + ".pbm"), MvxTest::Bytes(pbm.begin(), pbm.end()));
        ASSERT_EQ(0, MvxTest::runHostTool("cjb2 " + host(name + ".pbm") + " " + host(name + ".djvu")));
        ASSERT_EQ(0, MvxTest::runHostTool("ddjvu -format=pbm " + host(name + ".djvu") + " " + host(name + ".ref")));
        const MvxTest::Bytes file = MvxTest::readFile(path(name + ".djvu"));
        const MvxTest::Bytes info = MvxTest::findChunk(file, "INFO"), mask = MvxTest::findChunk(file, "Sjbz");
        infos.emplace_back(info.begin(), info.end());
        masks.emplace_back(mask.begin(), mask.end());
    }

    // Page i: INFO, the JB2 mask, and a reference to the annotation every page shares.
    AutoPtr<ChunkCollection> makeDocument(bool inOutline)
    {
        sharedAnno = leaf("ANTa", "(background #ffffff)");
        AutoPtr<ChunkCollection> doc = form("DJVM", {});
        if (inOutline) {
            AutoPtr<Morvenix::DjVu::Bookmark> root = Morvenix::DjVu::Bookmark::create(String(), String());
            AutoPtr<Morvenix::DjVu::Bookmark> first = Morvenix::DjVu::Bookmark::create("First page", "#page0.djvu");
            first->children.append(Morvenix::DjVu::Bookmark::create("Last page", "#page2.djvu"));
            root->children.append(first);
            doc->getChildren().append(root->makeNAVM());
        }
        for (int i = 0; i < pageCount; ++i) {
            doc->getChildren().append(form("DJVU",
                                           {leaf("INFO", infos[size_t(i)]), ChunkRedirector::create(sharedAnno),
                                            leaf("Sjbz", masks[size_t(i)])},
                                           ("page" + std::to_string(i) + ".djvu").c_str()));
        }
        return doc;
    }

    // Written the way the add-in writes: through a storage with rollback, committed once complete.
    void write(Chunk* inRoot, const std::string& inName, uint32_t inMode)
    {
        AutoPtr<Morvenix::DiskStorageWithRollback> out = Morvenix::DiskStorageWithRollback::create(
            path(inName).c_str(), Morvenix::DiskStorage::accessWrite, Morvenix::DiskStorage::dispositionDefault);
        IFF::serialize(out.get(), inRoot, nullptr, nullptr, inMode, nullptr, nullptr);
        out->commit();
    }

    std::string tool(const std::string& inCommand)
    {
        EXPECT_EQ(0, MvxTest::runHostTool(inCommand, path("tool.txt"))) << inCommand;
        return fileText(path("tool.txt"));
    }

    // Every page of the file decodes to the bitmap cjb2's own file gives.
    void expectPages(const std::string& inName, int inCount)
    {
        for (int i = 0; i < inCount; ++i) {
            const std::string out = "decoded" + std::to_string(i) + ".pbm";
            ASSERT_EQ(0, MvxTest::runHostTool("ddjvu -format=pbm -page=" + std::to_string(i + 1) + " " + host(inName) +
                                              " " + host(out)))
                << inName << " page " << i + 1;
            EXPECT_EQ(MvxTest::readFile(path("image" + std::to_string(i) + ".ref")), MvxTest::readFile(path(out)))
                << inName << " page " << i + 1;
        }
    }

    static const int pageCount = 3;
    std::vector<std::string> infos, masks;
    AutoPtr<Chunk> sharedAnno;
};

bool contains(const std::string& inText, const std::string& inPart)
{
    return inText.find(inPart) != std::string::npos;
}

} // namespace

TEST_F(IffInterop, BundledDocumentShowsItsStructureDecodesAndKeepsItsOutline)
{
    AutoPtr<ChunkCollection> doc = makeDocument(true);
    write(doc.get(), "doc.djvu", IFF::smDefault);

    const std::string dump = tool("djvudump " + host("doc.djvu"));
    EXPECT_TRUE(contains(dump, "FORM:DJVM")) << dump;
    EXPECT_TRUE(contains(dump, "bundled, 4 files 3 pages")) << dump;
    EXPECT_TRUE(contains(dump, "NAVM")) << dump;
    EXPECT_TRUE(contains(dump, "FORM:DJVI")) << dump;
    for (const char* name : {"{anno0001.iff}", "{page0.djvu}", "{page1.djvu}", "{page2.djvu}"})
        EXPECT_TRUE(contains(dump, name)) << name << "\n" << dump;
    EXPECT_TRUE(contains(dump, "Indirection chunk --> {anno0001.iff}")) << dump;
    expectPages("doc.djvu", pageCount);

    const std::string outline = tool("djvused " + host("doc.djvu") + " -e print-outline");
    EXPECT_TRUE(contains(outline, "\"First page\"")) << outline;
    EXPECT_TRUE(contains(outline, "\"#page0.djvu\"")) << outline;
    EXPECT_TRUE(contains(outline, "\"Last page\"")) << outline;
    EXPECT_TRUE(contains(outline, "\"#page2.djvu\"")) << outline;

    // Converted to the indirect form by djvmcvt, the pages stay the same.
    ASSERT_EQ(0, MvxTest::runHostTool("mkdir -p " + host("split") + " && djvmcvt -i " + host("doc.djvu") + " " +
                                      host("split") + " index.djvu"));
    expectPages("split\\index.djvu", pageCount);
}

TEST_F(IffInterop, IndirectDocumentShowsItsStructureDecodesAndConvertsToBundled)
{
    AutoPtr<ChunkCollection> doc = makeDocument(true);
    write(doc.get(), "index.djvu", IFF::smIndirect);

    const std::string dump = tool("djvudump " + host("index.djvu"));
    EXPECT_TRUE(contains(dump, "indirect, 4 files 3 pages")) << dump;
    EXPECT_TRUE(contains(dump, "NAVM")) << dump;
    const std::string pageDump = tool("djvudump " + host("page1.djvu"));
    EXPECT_TRUE(contains(pageDump, "FORM:DJVU")) << pageDump;
    EXPECT_TRUE(contains(pageDump, "Indirection chunk --> {anno0001.iff}")) << pageDump;
    const std::string sharedDump = tool("djvudump " + host("anno0001.iff"));
    EXPECT_TRUE(contains(sharedDump, "FORM:DJVI")) << sharedDump;
    EXPECT_TRUE(contains(sharedDump, "ANTa")) << sharedDump;
    expectPages("index.djvu", pageCount);

    const std::string outline = tool("djvused " + host("index.djvu") + " -e print-outline");
    EXPECT_TRUE(contains(outline, "\"Last page\"")) << outline;

    ASSERT_EQ(0, MvxTest::runHostTool("djvmcvt -b " + host("index.djvu") + " " + host("bundled.djvu")));
    expectPages("bundled.djvu", pageCount);
}

TEST_F(IffInterop, SinglePageFileDecodes)
{
    AutoPtr<ChunkCollection> doc = makeDocument(false);
    doc->getChildren().setSize(1);
    write(doc.get(), "single.djvu", IFF::smDefault);
    const std::string dump = tool("djvudump " + host("single.djvu"));
    EXPECT_TRUE(contains(dump, "FORM:DJVU")) << dump;
    EXPECT_FALSE(contains(dump, "DIRM")) << dump;
    EXPECT_FALSE(contains(dump, "INCL")) << dump; // the shared annotation is written in place
    expectPages("single.djvu", 1);
}
