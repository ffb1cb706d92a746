// Page links: their kinds, making them from a page and resolving them in a document; page information
// read from INFO chunks.
#include "djv_link.h"
#include "djv_pageinforeader.h"

#include "chunk_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Morvenix;
using namespace Morvenix::DjVu;
using ChunkTest::expectThrow;

namespace {

AutoPtr<ChunkCollection> page(const char* inName)
{
    AutoPtr<ChunkCollection> p = ChunkCollection::create("DJVU");
    p->setName(inName);
    return p;
}

// DJVM children: 0 DIRM leaf, 1 page a.iff, 2 DJVI shared, 3 page 6B29FC40-CA47-1067-B31D-00DD010662DA.iff,
// 4 a null hole, 5 page p7.iff, 6 page "3", 7 page "0".
AutoPtr<ChunkCollection> document()
{
    AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
    Chunk::Children& c = doc->getChildren();
    c.append(ChunkTest::leaf("DIRM", "x"));
    c.append(page("a.iff"));
    AutoPtr<ChunkCollection> shared = ChunkCollection::create("DJVI");
    shared->setName("a.iff"); // a shared component is never a page, whatever its name
    c.append(shared);
    c.append(page("6B29FC40-CA47-1067-B31D-00DD010662DA.iff"));
    c.append(AutoPtr<Chunk>());
    c.append(page("p7.iff"));
    c.append(page("3"));
    c.append(page("0"));
    return doc;
}

struct LinkCase {
    const char* text;
    Link::Kind kind;
    uint32_t index;  // getPageChunkIndex in document()
    uint32_t number; // getPageNumber in document()
};

const LinkCase kLinkCases[] = {
    {"", Link::lkEmpty, Link::notFound, 0},
    {"http://example.com/#3", Link::lkExternal, Link::notFound, 0},
    {"p7.iff", Link::lkExternal, Link::notFound, 0},
    {"#1", Link::lkPageNumber, 1, 1},
    {"#2", Link::lkPageNumber, 3, 2},
    {"#3", Link::lkPageNumber, 5, 3},
    {"#003", Link::lkPageNumber, 5, 3},
    {"#5", Link::lkPageNumber, 7, 5},
    // Beyond the last page: no page, but the number is given back as written.
    {"#9", Link::lkPageNumber, Link::notFound, 9},
    {"#4294967295", Link::lkPageNumber, Link::notFound, 4294967295u},
    // Too large for any page, even with a page named so.
    {"#4294967296", Link::lkPageNumber, Link::notFound, 0},
    {"#99999999999999999999999", Link::lkPageNumber, Link::notFound, 0},
    {"#a.iff", Link::lkPageName, 1, 1},
    {"#p7.iff", Link::lkPageName, 5, 3},
    // A GUID name that begins with a digit is a name, not page 6.
    {"#6B29FC40-CA47-1067-B31D-00DD010662DA.iff", Link::lkPageName, 3, 2},
    {"#6", Link::lkPageNumber, Link::notFound, 6},
    {"#6B29FC40", Link::lkPageName, Link::notFound, 0},
    // "#0" names the page called 0; it is never a page number.
    {"#0", Link::lkPageName, 7, 5},
    {"#00", Link::lkPageName, Link::notFound, 0},
    {"#-1", Link::lkPageName, Link::notFound, 0},
    {"#+2", Link::lkPageName, Link::notFound, 0},
    {"# 2", Link::lkPageName, Link::notFound, 0},
    {"#", Link::lkPageName, Link::notFound, 0},
    // The part after the last '/' finds a page; the page number wants the whole name.
    {"#dir/p7.iff", Link::lkPageName, 5, 0},
    {"#a/b/a.iff", Link::lkPageName, 1, 0},
    {"#dir/", Link::lkPageName, Link::notFound, 0},
    {"#P7.IFF", Link::lkPageName, Link::notFound, 0},
    {"#p7.iff ", Link::lkPageName, Link::notFound, 0},
};

} // namespace

TEST(PageLinks, KindsIndicesAndNumbers)
{
    AutoPtr<ChunkCollection> doc = document();
    for (const LinkCase& c : kLinkCases) {
        String text(c.text);
        Link link(text);
        EXPECT_EQ(c.kind, link.getKind()) << c.text;
        EXPECT_EQ(c.index, link.getPageChunkIndex(doc.get())) << c.text;
        EXPECT_EQ(c.number, link.getPageNumber(doc.get())) << c.text;
        EXPECT_STREQ(c.text, text.c_str()) << "resolving changed the link";
    }
}

TEST(PageLinks, PageNameOfEveryKind)
{
    const struct {
        const char* text;
        const char* name;
    } cases[] = {
        {"#p2.iff", "p2.iff"}, {"#dir/sub/p2.iff", "p2.iff"}, {"#dir/", ""}, {"#/", ""},  {"#0", "0"},
        {"#", ""},             {"#12", ""},                   {"", ""},      {"http://a/b", ""},
    };
    for (const auto& c : cases) {
        String text(c.text);
        EXPECT_EQ(std::string(c.name), Link(text).getPageName().c_str()) << c.text;
    }
}

TEST(PageLinks, NumberFoundByCountBeforeANameMatchesLater)
{
    // "#3" leads to the third page even though a later page is named "3"; a page named "3" that comes
    // first wins by its name.
    AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
    doc->getChildren().append(page("x"));
    doc->getChildren().append(page("3"));
    doc->getChildren().append(page("y"));
    doc->getChildren().append(page("z"));
    String text("#3");
    EXPECT_EQ(1u, Link(text).getPageChunkIndex(doc.get()));
    text = "#4";
    EXPECT_EQ(3u, Link(text).getPageChunkIndex(doc.get()));
}

TEST(PageLinks, SetLinkNamesThePageAndResolvesBack)
{
    AutoPtr<ChunkCollection> doc = document();
    const Chunk::Children& c = doc->getChildren();
    for (uint32_t i : {1u, 3u, 5u}) {
        String text("http://old");
        Link link(text);
        link.setLink(c[i].get());
        EXPECT_EQ(String("#") + dynamic_cast<Nameable*>(c[i].get())->getName(), text);
        EXPECT_EQ(i, link.getPageChunkIndex(doc.get()));
    }
    // A fresh page with its default GUID name, whatever digit the GUID begins with.
    for (int k = 0; k < 50; ++k) {
        AutoPtr<ChunkCollection> p = ChunkCollection::create("DJVU");
        doc->getChildren().append(p);
        String text;
        Link(text).setLink(p.get());
        EXPECT_EQ(Link::lkPageName, Link(text).getKind()) << text.c_str();
        EXPECT_EQ(doc->getChildren().count() - 1, Link(text).getPageChunkIndex(doc.get())) << text.c_str();
    }
}

TEST(PageLinks, SetLinkRefusesWhatIsNotANameablePage)
{
    String text("#keep");
    Link link(text);
    AutoPtr<ChunkCollection> shared = ChunkCollection::create("DJVI");
    expectThrow([&] { link.setLink(shared.get()); }, errInvalidParam, "Not a valid DJVU chunk!",
                "Morvenix::DjVu::Link::setLink");
    expectThrow([&] { link.setLink(nullptr); }, errInvalidParam, "Not a valid DJVU chunk!");
    AutoPtr<Chunk> leafPage = Chunk::create("DJVU");
    expectThrow([&] { link.setLink(leafPage.get()); }, errInvalidParam, "Not a Nameable object!",
                "Morvenix::DjVu::Link::setLink");
    // A redirector stands for the page but carries no name of its own.
    AutoPtr<ChunkRedirector> redirector = ChunkRedirector::create(page("r.iff"));
    expectThrow([&] { link.setLink(redirector.get()); }, errInvalidParam, "Not a Nameable object!");
    EXPECT_EQ(String("#keep"), text);
}

TEST(PageLinks, ResolvingNeedsADocument)
{
    AutoPtr<ChunkCollection> notDoc = ChunkCollection::create("DJVU");
    AutoPtr<Chunk> leafDoc = Chunk::create("DJVM");
    for (const char* t : {"#1", "#a.iff"}) {
        String text(t);
        Link link(text);
        expectThrow([&] { link.getPageChunkIndex(nullptr); }, errInvalidParam, "Not a valid DJVM chunk!",
                    "Morvenix::DjVu::Link::getPageChunkIndex");
        expectThrow([&] { link.getPageChunkIndex(notDoc.get()); }, errInvalidParam, "Not a valid DJVM chunk!");
        // A leaf called DJVM has no children to walk.
        expectThrow([&] { link.getPageChunkIndex(leafDoc.get()); }, errOperationFailed);
    }
    String name("#a.iff");
    expectThrow([&] { Link(name).getPageNumber(notDoc.get()); }, errInvalidParam, "Not a valid DJVM chunk!",
                "Morvenix::DjVu::Link::getPageNumber");
    // A page number and links that lead to no page never look at the document.
    String number("#4");
    EXPECT_EQ(4u, Link(number).getPageNumber(nullptr));
    String external("http://x");
    EXPECT_EQ(Link::notFound, Link(external).getPageChunkIndex(nullptr));
    EXPECT_EQ(0u, Link(external).getPageNumber(nullptr));
}

TEST(PageLinks, PageThroughARedirectorCountsButHasNoName)
{
    AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
    doc->getChildren().append(ChunkRedirector::create(page("r.iff")));
    doc->getChildren().append(page("b.iff"));
    String text("#2");
    EXPECT_EQ(1u, Link(text).getPageChunkIndex(doc.get()));
    text = "#r.iff";
    EXPECT_EQ(Link::notFound, Link(text).getPageChunkIndex(doc.get()));
    text = "#b.iff";
    EXPECT_EQ(2u, Link(text).getPageNumber(doc.get()));
}

// ---- INFO chunks ----

TEST(PageInfoReader, ReadsTheFieldsInTheirByteOrders)
{
    struct Case {
        std::vector<unsigned char> payload;
        uint32_t width, height, version, majorVersion, dpi, gamma, flags;
    };
    const Case cases[] = {
        {{0x09, 0xF6, 0x0C, 0xE4, 26, 0, 0x2C, 0x01, 22, 6}, 2550, 3300, 26, 0, 300, 22, 6},
        // bytes after the tenth are not read
        {{0xFF, 0xFF, 0x80, 0x01, 0xFF, 0xFE, 0x34, 0x12, 0xAB, 0xFF, 0x99}, 0xFFFF, 0x8001, 0xFF, 0xFE, 0x1234,
         0xAB, 0xFF},
    };
    for (const Case& c : cases) {
        AutoPtr<Chunk> info = Chunk::createFromBytes("INFO", c.payload.data(), uint32_t(c.payload.size()));
        const PageInfo p = readPageInfo(*info);
        EXPECT_EQ(c.width, p.width);
        EXPECT_EQ(c.height, p.height);
        EXPECT_EQ(c.version, p.version);
        EXPECT_EQ(c.majorVersion, p.majorVersion);
        EXPECT_EQ(c.dpi, p.dpi);
        EXPECT_EQ(c.gamma, p.gamma);
        EXPECT_EQ(c.flags, p.flags);
    }
    const PageInfo first = readPageInfo(*Chunk::createFromBytes("INFO", cases[0].payload.data(), 10));
    EXPECT_EQ(1, getRotation(first));
}

TEST(PageInfoReader, ShortOrMissingPayloadsFailCleanly)
{
    const unsigned char payload[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    for (uint32_t size = 0; size < 10; ++size) {
        AutoPtr<Chunk> info = Chunk::createFromBytes("INFO", payload, size);
        try {
            readPageInfo(*info);
            ADD_FAILURE() << "a payload of " << size << " bytes was read";
        } catch (const Exception& e) {
            EXPECT_NE(0, e.getCode());
        }
    }
    AutoPtr<Chunk> empty = Chunk::create("INFO");
    expectThrow([&] { readPageInfo(*empty); }, errDataBroken, "The INFO chunk has no data!");
    AutoPtr<ChunkCollection> collection = ChunkCollection::create("INFO");
    expectThrow([&] { readPageInfo(*collection); }, errNotSupported);
}
