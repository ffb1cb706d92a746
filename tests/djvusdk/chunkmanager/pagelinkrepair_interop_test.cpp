// Repaired documents read by djvused: the annotation and outline links name the components the directory
// lists.
#include "djv_annotation.h"
#include "djv_bookmark.h"
#include "djv_iff.h"
#include "mvx_memstorage.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Morvenix;
using namespace Morvenix::DjVu;

namespace {

const PageInfo kInfo = {400, 300, 26, 0, 100, 22, 1};

AutoPtr<ChunkCollection> page(const char* inName, const std::vector<std::string>& inUrls)
{
    AutoPtr<ChunkCollection> p = ChunkCollection::create("DJVU");
    p->setName(inName);
    const unsigned char info[10] = {0x01, 0x90, 0x01, 0x2C, 26, 0, 100, 0, 22, 1};
    p->getChildren().append(Chunk::createFromBytes("INFO", info, sizeof(info)));
    AutoPtr<Annotation> a = Annotation::create(0, 0, Annotation::backgroundNone, 0, Annotation::modeColor);
    for (size_t i = 0; i < inUrls.size(); ++i) {
        AutoPtr<MapRect> r = MapRect::create();
        r->rect = Rect{int32_t(10 + 50 * i), 30, 40, 20};
        r->url = inUrls[i].c_str();
        r->borderType = MapArea::borderXor;
        a->mapAreas.append(AutoPtr<MapArea>(r));
    }
    p->getChildren().append(a->makeANTz(kInfo));
    return p;
}

std::string nameOf(const AutoPtr<Chunk>& inChunk) { return dynamic_cast<Nameable*>(inChunk.get())->getName().c_str(); }

class LinkRepairDjvused : public MvxTest::HostToolTest {
protected:
    // The djvused command line that runs inScript on the document.
    std::string djvused(const std::string& inScript) const
    {
        return "djvused " + host("doc.djvu") + " -e '" + inScript + "'";
    }
};

} // namespace

TEST_F(LinkRepairDjvused, RepairedLinksNameTheListedComponents)
{
    AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
    Chunk::Children& c = doc->getChildren();
    AutoPtr<Bookmark> root = Bookmark::create("", "");
    AutoPtr<Bookmark> first = Bookmark::create("First", "#p1.iff");
    first->children.append(Bookmark::create("Third", "#p3.iff"));
    root->children.append(first);
    root->children.append(Bookmark::create("Home", "http://example.com/"));
    c.append(root->makeNAVM());
    c.append(page("p1.iff", {"#p2.iff", "#3", "http://example.com/\"q\"\\"}));
    c.append(page("p2.iff", {"#p1.iff"}));
    c.append(page("p3.iff", {"#dir/p2.iff"}));

    doc->updateLinks();

    AutoPtr<MemoryStorage> out = MemoryStorage::create();
    IFF::serialize(out.get(), doc.get(), nullptr, nullptr, IFF::smBundled, nullptr, nullptr);
    std::vector<unsigned char> bytes(size_t(out->getSize()));
    out->setPos(0);
    out->readBytes(bytes.data(), uint32_t(bytes.size()), true);
    MvxTest::writeFile(path("doc.djvu"), bytes);

    const std::string p1 = nameOf(c[1]), p2 = nameOf(c[2]), p3 = nameOf(c[3]);
    const std::string listing = run(djvused("ls"));
    for (const std::string& name : {p1, p2, p3})
        EXPECT_NE(std::string::npos, listing.find(name)) << listing;
    EXPECT_EQ(std::string::npos, listing.find("p1.iff")) << listing;

    const std::string ant1 = run(djvused("select 1; print-ant"));
    EXPECT_NE(std::string::npos, ant1.find("(maparea \"#" + p2 + "\"")) << ant1;
    EXPECT_NE(std::string::npos, ant1.find("(maparea \"#3\"")) << ant1;
    EXPECT_NE(std::string::npos, ant1.find("http://example.com/\\\"q\\\"\\\\")) << ant1;
    EXPECT_NE(std::string::npos, run(djvused("select 2; print-ant")).find("(maparea \"#" + p1 + "\""));
    EXPECT_NE(std::string::npos, run(djvused("select 3; print-ant")).find("(maparea \"#" + p2 + "\""));

    const std::string outline = run(djvused("print-outline"));
    EXPECT_NE(std::string::npos, outline.find("\"First\"")) << outline;
    EXPECT_NE(std::string::npos, outline.find("\"#" + p1 + "\"")) << outline;
    EXPECT_NE(std::string::npos, outline.find("\"#" + p3 + "\"")) << outline;
    EXPECT_NE(std::string::npos, outline.find("\"http://example.com/\"")) << outline;
}
