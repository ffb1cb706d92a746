// Link repair of documents: components renamed, and the page links of outlines and annotations that name
// them rewritten; links that do not name a page kept; damaged input refused with the document unchanged.
#include "djv_annotation.h"
#include "djv_bookmark.h"
#include "djv_link.h"
#include "djv_pageinforeader.h"

#include "chunk_test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace Morvenix;
using namespace Morvenix::DjVu;
using ChunkTest::expectThrow;

namespace {

typedef std::vector<std::string> Urls;

const PageInfo kInfo = {1000, 800, 26, 0, 300, 22, 1};

AutoPtr<Chunk> infoChunk(const PageInfo& inInfo)
{
    const unsigned char b[10] = {uint8_t(inInfo.width >> 8), uint8_t(inInfo.width), uint8_t(inInfo.height >> 8),
                                 uint8_t(inInfo.height), uint8_t(inInfo.version), uint8_t(inInfo.majorVersion),
                                 uint8_t(inInfo.dpi), uint8_t(inInfo.dpi >> 8), uint8_t(inInfo.gamma),
                                 uint8_t(inInfo.flags)};
    return Chunk::createFromBytes("INFO", b, sizeof(b));
}

// One rectangle per url, each at its own place, with a comment naming its position.
AutoPtr<Annotation> annotation(const Urls& inUrls)
{
    AutoPtr<Annotation> a = Annotation::create(0, 0, Annotation::backgroundNone, 0, Annotation::modeColor);
    for (size_t i = 0; i < inUrls.size(); ++i) {
        AutoPtr<MapRect> r = MapRect::create();
        r->rect = Rect{int32_t(10 + 40 * i), 20, 30, 15};
        r->url = inUrls[i].c_str();
        r->comment = String::format("area %u", unsigned(i));
        r->borderType = MapArea::borderXor;
        a->mapAreas.append(AutoPtr<MapArea>(r));
    }
    return a;
}

AutoPtr<Chunk> antChunk(const Urls& inUrls, bool inPlain, const PageInfo& inInfo = kInfo)
{
    AutoPtr<Annotation> a = annotation(inUrls);
    return inPlain ? a->makeANTa(inInfo) : a->makeANTz(inInfo);
}

AutoPtr<ChunkCollection> page(const char* inName, const Urls& inUrls, bool inPlain = false,
                              const PageInfo& inInfo = kInfo)
{
    AutoPtr<ChunkCollection> p = ChunkCollection::create("DJVU");
    p->setName(inName);
    p->getChildren().append(infoChunk(inInfo));
    if (!inUrls.empty())
        p->getChildren().append(antChunk(inUrls, inPlain, inInfo));
    return p;
}

AutoPtr<Annotation> readAnnotation(Chunk& inPage, uint32_t inStart = Chunk::notFound)
{
    const uint32_t at = inPage.find("ANTz", "ANTa", inStart, false);
    EXPECT_NE(Chunk::notFound, at);
    const uint32_t info = inPage.find("INFO", Chunk::notFound, false);
    return Annotation::create(*inPage.getChildren()[at], readPageInfo(*inPage.getChildren()[info]));
}

Urls linksOf(Chunk& inPage)
{
    Urls urls;
    AutoPtr<Annotation> a = readAnnotation(inPage);
    for (uint32_t i = 0; i < a->mapAreas.count(); ++i)
        urls.push_back(a->mapAreas[i]->url.c_str());
    return urls;
}

std::string nameOf(const AutoPtr<Chunk>& inChunk) { return dynamic_cast<Nameable*>(inChunk.get())->getName().c_str(); }

bool isGuidName(const std::string& inName)
{
    if (inName.size() != 40 || inName.compare(36, 4, ".iff") != 0)
        return false;
    for (size_t i = 0; i < 36; ++i) {
        const char c = inName[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

AutoPtr<Bookmark> entry(const char* inTitle, const char* inUrl, std::vector<AutoPtr<Bookmark>> inChildren = {})
{
    AutoPtr<Bookmark> b = Bookmark::create(inTitle, inUrl);
    for (AutoPtr<Bookmark>& c : inChildren)
        b->children.append(c);
    return b;
}

AutoPtr<Chunk> navm(std::vector<AutoPtr<Bookmark>> inEntries)
{
    AutoPtr<Bookmark> root = Bookmark::create("", "");
    for (AutoPtr<Bookmark>& e : inEntries)
        root->children.append(e);
    return root->makeNAVM();
}

// Urls of an outline, depth first.
void collectUrls(const Bookmark& inEntry, Urls& ioUrls)
{
    for (uint32_t i = 0; i < inEntry.children.count(); ++i) {
        ioUrls.push_back(inEntry.children[i]->url.c_str());
        collectUrls(*inEntry.children[i], ioUrls);
    }
}

Urls outlineOf(Chunk& inDocument)
{
    const uint32_t at = inDocument.find("NAVM", Chunk::notFound, false);
    EXPECT_NE(Chunk::notFound, at);
    Urls urls;
    collectUrls(*Bookmark::create(*inDocument.getChildren()[at]), urls);
    return urls;
}

std::string link(const AutoPtr<Chunk>& inPage) { return "#" + nameOf(inPage); }

// What a document looks like from outside: ids, names and chunk objects of the children, and of the pages'
// children.
struct Snapshot {
    std::vector<std::string> ids;
    std::vector<std::string> names;
    std::vector<const void*> chunks; // chunk and payload objects

    explicit Snapshot(Chunk& inDocument)
    {
        const Chunk::Children& c = inDocument.getChildren();
        for (uint32_t i = 0; i < c.count(); ++i) {
            ids.push_back(c[i]->getId().c_str());
            chunks.push_back(c[i].get());
            Nameable* n = dynamic_cast<Nameable*>(c[i].get());
            names.push_back(n ? n->getName().c_str() : "");
            if (c[i]->isCollection()) {
                const Chunk::Children& k = c[i]->getChildren();
                for (uint32_t j = 0; j < k.count(); ++j) {
                    chunks.push_back(k[j].get());
                    AutoPtr<Data> d = k[j]->isCollection() ? AutoPtr<Data>() : k[j]->getData();
                    chunks.push_back(d.get());
                }
            }
        }
    }
    bool operator==(const Snapshot& o) const { return ids == o.ids && names == o.names && chunks == o.chunks; }
};

} // namespace

TEST(LinkRepair, LinksByNameFollowTheirPagesToTheNewNames)
{
    AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
    Chunk::Children& c = doc->getChildren();
    c.append(ChunkTest::leaf("DIRM", "d"));
    c.append(page("p1.iff", {"#p7.iff", "#p2.iff", "#2", "http://example.com/a\"b\\", "#nowhere.iff"}));
    c.append(page("p2.iff", {"#dir/p7.iff", "#p1.iff"}));
    c.append(page("p7.iff", {}));
    c.append(page("unlinked.iff", {"#3", "mailto:x@example.com", ""}));
    const std::vector<std::string> oldNames = {nameOf(c[1]), nameOf(c[2]), nameOf(c[3]), nameOf(c[4])};

    doc->updateLinks();

    ASSERT_EQ(5u, c.count());
    std::set<std::string> names;
    for (uint32_t i = 1; i < 5; ++i) {
        EXPECT_TRUE(isGuidName(nameOf(c[i]))) << nameOf(c[i]);
        EXPECT_NE(oldNames[i - 1], nameOf(c[i]));
        names.insert(nameOf(c[i]));
    }
    EXPECT_EQ(4u, names.size());
    EXPECT_EQ((Urls{link(c[3]), link(c[2]), "#2", "http://example.com/a\"b\\", "#nowhere.iff"}), linksOf(*c[1]));
    EXPECT_EQ((Urls{link(c[3]), link(c[1])}), linksOf(*c[2]));
    EXPECT_EQ((Urls{"#3", "mailto:x@example.com", ""}), linksOf(*c[4]));

    // Every repaired link leads where it led before.
    String text(link(c[3]).c_str());
    EXPECT_EQ(3u, Link(text).getPageChunkIndex(doc.get()));
    EXPECT_EQ(3u, Link(text).getPageNumber(doc.get()));
}

// A page is looked up by name once per link, not by a walk over the document for each: many links into a
// document of many pages are repaired in step with their number.
TEST(LinkRepair, ManyLinksIntoManyPages)
{
    const uint32_t kPages = 20000, kLinks = 20000;
    AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
    Chunk::Children& c = doc->getChildren();
    Urls urls;
    for (uint32_t i = 0; i < kLinks; ++i)
        urls.push_back("#p" + std::to_string(kPages - 1 - i % 100) + ".iff");
    urls.push_back("#dir/p0.iff");
    urls.push_back("#absent.iff");
    c.append(page("p0.iff", urls));
    for (uint32_t i = 1; i < kPages; ++i)
        c.append(page(("p" + std::to_string(i) + ".iff").c_str(), {}));

    doc->updateLinks();

    const Urls repaired = linksOf(*c[0]);
    ASSERT_EQ(urls.size(), repaired.size());
    for (uint32_t i = 0; i < kLinks; i += 997)
        EXPECT_EQ(link(c[kPages - 1 - i % 100]), repaired[i]);
    EXPECT_EQ(link(c[0]), repaired[kLinks]);
    EXPECT_EQ("#absent.iff", repaired[kLinks + 1]);
}

TEST(LinkRepair, RepairedAreasKeepTheirShapesTextsAndPlacesOnTurnedPages)
{
    for (uint32_t flags : {1u, 6u, 2u, 4u}) {
        PageInfo info = kInfo;
        info.flags = flags;
        AutoPtr<Annotation> before = annotation({"#p2.iff", "http://x"});
        AutoPtr<MapPoly> poly = MapPoly::create();
        poly->points.append(Point{100, 100});
        poly->points.append(Point{200, 120});
        poly->points.append(Point{150, 300});
        poly->url = "#p2.iff";
        before->mapAreas.append(AutoPtr<MapArea>(poly));
        before->zoom = 150;
        before->hAlign = Annotation::hAlignRight;
        before->otherExpressions.append("(phone 12345)");
        // The areas are held in the page's own orientation.
        before->setRotation(getRotation(info));

        AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
        AutoPtr<ChunkCollection> p1 = page("p1.iff", {}, false, info);
        p1->getChildren().append(before->makeANTz(info));
        doc->getChildren().append(p1);
        doc->getChildren().append(page("p2.iff", {}, false, info));
        doc->updateLinks();

        AutoPtr<Annotation> after = readAnnotation(*p1);
        ASSERT_EQ(3u, after->mapAreas.count());
        EXPECT_EQ(String(link(doc->getChildren()[1]).c_str()), after->mapAreas[0]->url);
        EXPECT_EQ(String("http://x"), after->mapAreas[1]->url);
        EXPECT_EQ(String(link(doc->getChildren()[1]).c_str()), after->mapAreas[2]->url);
        for (uint32_t i = 0; i < 3; ++i) {
            const Rect a = before->mapAreas[i]->getRect(), b = after->mapAreas[i]->getRect();
            EXPECT_TRUE(a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height) << flags << " " << i;
            EXPECT_EQ(before->mapAreas[i]->comment, after->mapAreas[i]->comment);
            EXPECT_EQ(before->mapAreas[i]->getType(), after->mapAreas[i]->getType());
        }
        EXPECT_EQ(150, after->zoom);
        EXPECT_EQ(int(Annotation::hAlignRight), after->hAlign);
        ASSERT_EQ(1u, after->otherExpressions.count());
    }
}

// A page without width or height keeps its map areas as expression text; their links must follow the
// pages all the same, in both forms of the link, while what leads to no page stays as written.
TEST(LinkRepair, MapAreasKeptAsTextOnPagesWithoutSizeAreRepaired)
{
    for (const bool zeroWidth : {true, false}) {
        PageInfo sizeless = kInfo;
        (zeroWidth ? sizeless.width : sizeless.height) = 0;
        AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
        AutoPtr<ChunkCollection> p1 = page("p1.iff", {}, false, sizeless);
        const char* text = "(maparea \"#p2.iff\" \"one\" (rect 1 2 3 4) (xor))\n"
                           "(maparea (url \"#file://c:/x/p1.iff\" \"_self\") \"two\" (oval 5 6 7 8))\n"
                           "(maparea \"#absent.iff\" \"three\" (rect 1 2 3 4))\n"
                           "(maparea \"#2\" \"four\" (text 1 2 3 4))\n"
                           "(phone \"#p2.iff\")\n"
                           "(metadata (Author \"A\"))\n";
        p1->getChildren().append(Chunk::createFromBytes("ANTa", text, uint32_t(std::strlen(text))));
        doc->getChildren().append(p1);
        doc->getChildren().append(page("p2.iff", {}));

        doc->updateLinks();

        // Read as a page with a size would read them, the areas lead to the pages under their new names.
        const uint32_t at = p1->find("ANTz", "ANTa", Chunk::notFound, false);
        ASSERT_NE(Chunk::notFound, at);
        AutoPtr<Annotation> after = Annotation::create(*p1->getChildren()[at], kInfo);
        ASSERT_EQ(4u, after->mapAreas.count());
        EXPECT_EQ(String(link(doc->getChildren()[1]).c_str()), after->mapAreas[0]->url);
        EXPECT_EQ(String(link(doc->getChildren()[0]).c_str()), after->mapAreas[1]->url);
        EXPECT_EQ(String("_self"), after->mapAreas[1]->target);
        EXPECT_EQ(String("#absent.iff"), after->mapAreas[2]->url);
        EXPECT_EQ(String("#2"), after->mapAreas[3]->url);
        const char* comments[] = {"one", "two", "three", "four"};
        const int shapes[] = {MapArea::shapeRect, MapArea::shapeOval, MapArea::shapeRect, MapArea::shapeText};
        for (uint32_t i = 0; i < 4; ++i) {
            EXPECT_EQ(String(comments[i]), after->mapAreas[i]->comment);
            EXPECT_EQ(shapes[i], after->mapAreas[i]->getType());
        }
        EXPECT_EQ(int(MapArea::borderXor), after->mapAreas[0]->borderType);
        // Only map areas hold links: other expressions stay as written.
        ASSERT_EQ(1u, after->otherExpressions.count());
        EXPECT_EQ(String("(phone \"#p2.iff\")"), after->otherExpressions[0]);
        ASSERT_TRUE(after->metadata);
        EXPECT_EQ(String("A"), after->metadata->getValue("Author"));
    }
}

TEST(LinkRepair, OnlyRepairedAnnotationsAreRewrittenAndAlwaysAsANTz)
{
    AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
    AutoPtr<ChunkCollection> p1 = page("p1.iff", {});
    AutoPtr<Chunk> untouchedPlain = antChunk({"#2", "http://x"}, true);
    AutoPtr<Chunk> repairedPlain = antChunk({"#p2.iff"}, true);
    AutoPtr<Chunk> untouchedZ = antChunk({"#missing.iff"}, false);
    AutoPtr<Chunk> text = ChunkTest::leaf("TXTa", "t");
    for (AutoPtr<Chunk> k : {untouchedPlain, text, repairedPlain, untouchedZ})
        p1->getChildren().append(k);
    doc->getChildren().append(p1);
    doc->getChildren().append(page("p2.iff", {}));

    doc->updateLinks();

    const Chunk::Children& k = p1->getChildren();
    ASSERT_EQ(5u, k.count());
    EXPECT_EQ(untouchedPlain.get(), k[1].get());
    EXPECT_EQ(text.get(), k[2].get());
    EXPECT_NE(repairedPlain.get(), k[3].get());
    EXPECT_EQ(String("ANTz"), k[3]->getId());
    EXPECT_EQ(untouchedZ.get(), k[4].get());
    EXPECT_EQ(String("ANTa"), k[1]->getId());
    AutoPtr<Annotation> repaired = readAnnotation(*p1, 2);
    ASSERT_EQ(1u, repaired->mapAreas.count());
    EXPECT_EQ(String(link(doc->getChildren()[1]).c_str()), repaired->mapAreas[0]->url);
}

TEST(LinkRepair, OutlineRewrittenOnlyWhenOneOfItsLinksNamesAPage)
{
    AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
    Chunk::Children& c = doc->getChildren();
    c.append(ChunkTest::leaf("DIRM", "d"));
    AutoPtr<Chunk> external = navm({entry("A", "http://a"), entry("B", "#2", {entry("C", "#gone.iff")})});
    c.append(external);
    c.append(page("p1.iff", {}));
    c.append(page("p2.iff", {}));
    doc->updateLinks();
    EXPECT_EQ(external.get(), c[1].get());

    AutoPtr<Chunk> named = navm({entry("A", "#p2.iff", {entry("A1", "#p1.iff"), entry("A2", "http://x"), entry("A3", "#file://x/y/p2.iff")}),
                                 entry("B", "#3", {entry("B1", "#", {entry("B11", "#x/p2.iff")})})});
    dynamic_cast<Nameable*>(c[2].get())->setName("p1.iff");
    dynamic_cast<Nameable*>(c[3].get())->setName("p2.iff");
    c[1] = named;
    doc->updateLinks();
    EXPECT_NE(named.get(), c[1].get());
    EXPECT_EQ(String("NAVM"), c[1]->getId());
    EXPECT_NE("p1.iff", nameOf(c[2]));
    // An outline link to a file of an indirect document is read as the name of that file.
    EXPECT_EQ((Urls{link(c[3]), link(c[2]), "http://x", link(c[3]), "#3", "#", link(c[3])}), outlineOf(*doc));
}

TEST(LinkRepair, SharedComponentsDroppedAndEveryCollectionRenamed)
{
    AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
    Chunk::Children& c = doc->getChildren();
    AutoPtr<ChunkCollection> shared = ChunkCollection::create("DJVI");
    shared->setName("p1.iff"); // a shared component is no page: links never lead to it
    shared->getChildren().append(ChunkTest::leaf("Djbz", "dict"));
    AutoPtr<ChunkCollection> empty = ChunkCollection::create("DJVU");
    AutoPtr<ChunkCollection> other = ChunkCollection::create("THUM");
    const std::string otherName = nameOf(AutoPtr<Chunk>(other));
    AutoPtr<Chunk> pageLeaf = ChunkTest::leaf("DJVU", "not a form");
    AutoPtr<ChunkCollection> p1 = page("p1.iff", {"#p1.iff"});
    p1->getChildren().append(ChunkRedirector::create(shared->getChildren()[0]));
    for (AutoPtr<Chunk> k : {AutoPtr<Chunk>(shared), AutoPtr<Chunk>(p1), AutoPtr<Chunk>(empty), pageLeaf,
                             AutoPtr<Chunk>(other), AutoPtr<Chunk>(ChunkCollection::create("DJVI"))})
        c.append(k);

    doc->updateLinks();

    ASSERT_EQ(4u, c.count());
    EXPECT_EQ(p1.get(), c[0].get());
    EXPECT_EQ(empty.get(), c[1].get()); // a page without INFO and without annotations is only renamed
    EXPECT_EQ(pageLeaf.get(), c[2].get());
    EXPECT_EQ(other.get(), c[3].get());
    for (uint32_t i : {0u, 1u, 3u})
        EXPECT_TRUE(isGuidName(nameOf(c[i]))) << i;
    EXPECT_NE(otherName, nameOf(c[3]));
    EXPECT_EQ((Urls{link(c[0])}), linksOf(*c[0]));
    // The page's reference to the shared dictionary stays.
    EXPECT_EQ(String("dict"), String(ChunkTest::bytesOf(*p1->getChildren()[2]->getData()).c_str()));
}

TEST(LinkRepair, EachCallGivesNewNamesAndTheLinksFollow)
{
    AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
    doc->getChildren().append(page("p1.iff", {"#p2.iff"}));
    doc->getChildren().append(page("p2.iff", {"#p1.iff"}));
    for (int round = 0; round < 20; ++round) {
        const std::string before = nameOf(doc->getChildren()[1]);
        doc->updateLinks();
        const Chunk::Children& c = doc->getChildren();
        EXPECT_NE(before, nameOf(c[1]));
        // GUID names that begin with digits stay names: the links keep leading to their pages.
        EXPECT_EQ((Urls{link(c[1])}), linksOf(*c[0]));
        EXPECT_EQ((Urls{link(c[0])}), linksOf(*c[1]));
    }
}

TEST(LinkRepair, SharedAnnotationRepairedOnceInItsOwnFormat)
{
    for (bool plain : {true, false}) {
        AutoPtr<Chunk> shared = antChunk({"#p2.iff", "#1"}, plain);
        AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
        AutoPtr<ChunkCollection> p1 = page("p1.iff", {});
        AutoPtr<ChunkCollection> p2 = page("p2.iff", {});
        p1->getChildren().append(ChunkRedirector::create(shared));
        p2->getChildren().append(ChunkRedirector::createWithId(shared, "shared.ant"));
        doc->getChildren().append(p1);
        doc->getChildren().append(p2);

        doc->updateLinks();

        EXPECT_TRUE(p1->getChildren()[1]->isRedirector());
        EXPECT_TRUE(p2->getChildren()[1]->isRedirector());
        EXPECT_EQ(shared.get(), static_cast<ChunkRedirector*>(p2->getChildren()[1].get())->getTarget().get());
        EXPECT_EQ(String(plain ? "ANTa" : "ANTz"), shared->getId());
        const Urls expected{link(doc->getChildren()[1]), "#1"};
        EXPECT_EQ(expected, linksOf(*p1));
        EXPECT_EQ(expected, linksOf(*p2));
    }
}

TEST(LinkRepair, OneAnnotationChunkInTwoPagesRepairedWhereItIsStored)
{
    AutoPtr<Chunk> shared = antChunk({"#p1.iff"}, true);
    AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
    AutoPtr<ChunkCollection> p1 = page("p1.iff", {});
    AutoPtr<ChunkCollection> p2 = page("p2.iff", {});
    p1->getChildren().append(shared);
    p2->getChildren().append(shared);
    doc->getChildren().append(p1);
    doc->getChildren().append(p2);
    doc->updateLinks();
    EXPECT_EQ(shared.get(), p1->getChildren()[1].get());
    EXPECT_EQ(shared.get(), p2->getChildren()[1].get());
    EXPECT_EQ(String("ANTa"), shared->getId());
    EXPECT_EQ((Urls{link(doc->getChildren()[0])}), linksOf(*p2));
}

TEST(LinkRepair, PageShownTwiceByTheDocumentRepairedOnce)
{
    // The page itself and a redirector that stands for it; a hole in the children is passed over.
    AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
    AutoPtr<ChunkCollection> p1 = page("p1.iff", {"#p1.iff", "#p2.iff"});
    AutoPtr<Chunk> before = p1->getChildren()[1];
    doc->getChildren().append(p1);
    doc->getChildren().append(AutoPtr<Chunk>());
    doc->getChildren().append(ChunkRedirector::create(p1));
    doc->getChildren().append(page("p2.iff", {}));
    doc->updateLinks();
    ASSERT_EQ(4u, doc->getChildren().count());
    EXPECT_EQ(nullptr, doc->getChildren()[1].get());
    EXPECT_NE(before.get(), p1->getChildren()[1].get());
    EXPECT_EQ(String("ANTz"), p1->getChildren()[1]->getId());
    EXPECT_EQ((Urls{link(doc->getChildren()[0]), link(doc->getChildren()[3])}), linksOf(*doc->getChildren()[2]));
}

TEST(LinkRepair, NothingButDocumentsIsTouched)
{
    AutoPtr<ChunkCollection> p = page("p.iff", {"#p.iff"});
    AutoPtr<Chunk> before = p->getChildren()[1];
    p->updateLinks();
    EXPECT_EQ("p.iff", nameOf(AutoPtr<Chunk>(p)));
    EXPECT_EQ(before.get(), p->getChildren()[1].get());
    AutoPtr<Chunk> leafDoc = ChunkTest::leaf("DJVM", "x");
    leafDoc->updateLinks();

    // A redirector passes the call on to the document it stands for.
    AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
    doc->getChildren().append(page("p.iff", {"#p.iff"}));
    ChunkRedirector::create(doc)->updateLinks();
    EXPECT_EQ((Urls{link(doc->getChildren()[0])}), linksOf(*doc->getChildren()[0]));
}

// ---- damaged documents ----

namespace {

// p1 links to p2 by name; the outline names both; a DJVI member is present. bad replaces one chunk.
AutoPtr<ChunkCollection> documentWith(const char* inWhere, const AutoPtr<Chunk>& inBad)
{
    // The repair replaces chunks and never edits them, so documents can share these; made once, they keep
    // the mutation loop fast.
    static const AutoPtr<Chunk> outline = navm({entry("one", "#p1.iff"), entry("two", "#p2.iff")});
    static const AutoPtr<Chunk> ant1 = antChunk({"#p2.iff"}, false);
    static const AutoPtr<Chunk> ant2 = antChunk({"#p1.iff"}, true);
    AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
    Chunk::Children& c = doc->getChildren();
    c.append(ChunkTest::leaf("DIRM", "d"));
    c.append(outline);
    c.append(ChunkCollection::create("DJVI"));
    c.append(page("p1.iff", {}));
    c[3]->getChildren().append(ant1);
    c.append(page("p2.iff", {}));
    c[4]->getChildren().append(ant2);
    const std::string where = inWhere;
    if (where == "NAVM")
        c[1] = inBad;
    else if (where == "INFO")
        c[4]->getChildren()[0] = inBad;
    else if (where == "ANTz")
        c[3]->getChildren()[1] = inBad;
    else if (where == "ANTa")
        c[4]->getChildren()[1] = inBad;
    return doc;
}

std::string payloadOf(const AutoPtr<Chunk>& inChunk) { return ChunkTest::bytesOf(*inChunk->getData()); }

// Runs updateLinks on a document with one damaged chunk: it either succeeds or throws a library exception
// and leaves the document exactly as it was. Returns whether it threw.
bool repairOrRefuse(const char* inWhere, const AutoPtr<Chunk>& inBad)
{
    AutoPtr<ChunkCollection> doc = documentWith(inWhere, inBad);
    const Snapshot before(*doc);
    try {
        doc->updateLinks();
        return false;
    } catch (const Exception&) {
        EXPECT_TRUE(before == Snapshot(*doc)) << inWhere << ": the document changed although the repair failed";
        return true;
    }
}

} // namespace

TEST(LinkRepair, DamagedChunksRefusedWithTheDocumentUnchanged)
{
    const std::string bzzGarbage("\xff\xff\xff\xff\x13\x37 not bzz at all", 22);
    struct Case {
        const char* where;
        AutoPtr<Chunk> bad;
    };
    const Case cases[] = {
        {"NAVM", ChunkTest::leaf("NAVM", "")},
        {"NAVM", Chunk::createFromBytes("NAVM", bzzGarbage.data(), uint32_t(bzzGarbage.size()))},
        {"NAVM", Chunk::create("NAVM")},
        {"INFO", Chunk::createFromBytes("INFO", "\x01\x02\x03", 3)},
        {"INFO", Chunk::create("INFO")},
        {"INFO", ChunkTest::leaf("TXTa", "the page has no INFO chunk")},
        {"ANTz", Chunk::create("ANTz")},
        {"ANTa", ChunkTest::leaf("ANTa", "(maparea \"#p1.iff\" \"\" (rect 1 2 3 4)")},
        {"ANTa", ChunkTest::leaf("ANTa", "(mode sepia)")},
        {"ANTa", ChunkTest::leaf("ANTa", "(maparea \"#p1.iff\" \"unterminated (rect 1 2 3 4))")},
        {"ANTa", ChunkTest::leaf("ANTa", std::string(100000, '(').c_str())},
    };
    for (const Case& c : cases) {
        AutoPtr<ChunkCollection> doc = documentWith(c.where, c.bad);
        const Snapshot before(*doc);
        try {
            doc->updateLinks();
            ADD_FAILURE() << c.where << " damaged: repaired";
        } catch (const Exception& e) {
            EXPECT_NE(0, e.getCode()) << e.what();
            EXPECT_TRUE(before == Snapshot(*doc)) << c.where << ": " << e.what();
        }
    }
    // BZZ data that decodes to no text at all is an annotation without links: the page is only renamed.
    for (const std::string& bytes : {std::string(), bzzGarbage}) {
        AutoPtr<Chunk> bad = Chunk::createFromBytes("ANTz", bytes.data(), uint32_t(bytes.size()));
        AutoPtr<ChunkCollection> doc = documentWith("ANTz", bad);
        doc->updateLinks();
        EXPECT_EQ(bad.get(), doc->getChildren()[2]->getChildren()[1].get());
    }

    // A page with annotations but no INFO cannot have its areas placed.
    AutoPtr<ChunkCollection> doc = documentWith("INFO", ChunkTest::leaf("TXTa", "x"));
    expectThrow([&] { doc->updateLinks(); }, errDataBroken, "A page with annotations has no INFO chunk!",
                "Morvenix::DjVu::ChunkCollection::updateLinks");
}

TEST(LinkRepair, MutatedChunksRepairedOrRefusedCleanly)
{
    std::mt19937 random(20261210);
    AutoPtr<ChunkCollection> valid = documentWith("", AutoPtr<Chunk>());
    struct Source {
        const char* where;
        const char* id;
        std::string payload;
    };
    const Source sources[] = {
        {"NAVM", "NAVM", payloadOf(valid->getChildren()[1])},
        {"INFO", "INFO", payloadOf(valid->getChildren()[4]->getChildren()[0])},
        {"ANTz", "ANTz", payloadOf(valid->getChildren()[3]->getChildren()[1])},
        {"ANTa", "ANTa", payloadOf(valid->getChildren()[4]->getChildren()[1])},
    };
    int refused = 0, repaired = 0;
    for (const Source& s : sources) {
        for (int round = 0; round < 80; ++round) {
            std::string bytes = s.payload;
            const int edits = 1 + int(random() % 4);
            for (int e = 0; e < edits && !bytes.empty(); ++e) {
                const size_t at = random() % bytes.size();
                switch (random() % 4) {
                case 0:
                    bytes[at] = char(random());
                    break;
                case 1:
                    bytes[at] = char(bytes[at] ^ (1 << (random() % 8)));
                    break;
                case 2:
                    bytes.resize(at);
                    break;
                default:
                    bytes.insert(at, 1, "()\"\\#"[random() % 5]);
                    break;
                }
            }
            if (repairOrRefuse(s.where, Chunk::createFromBytes(s.id, bytes.data(), uint32_t(bytes.size()))))
                ++refused;
            else
                ++repaired;
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(repaired, 0);
}
