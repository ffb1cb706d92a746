// Map-area text against djvused and djvutoxml of djvulibre-bin: the expressions we write for every shape and
// orientation, with link texts that need escaping, are taken by djvused as we meant them, and the
// annotation chunk djvused writes from our text reads back as the same areas.
#include "djv_bzz.h"
#include "maparea_test_support.h"
#include "mvx_memstorage.h"

#include "djvu_page_file.h"
#include "expression_text.h"

#include <gtest/gtest.h>

using namespace MapAreaTest;
using MvxTest::Bytes;
using MvxTest::normalizeExpressionText;

namespace {

std::string inflate(const Bytes& inBody)
{
    AutoPtr<Morvenix::MemoryStorage> source =
        Morvenix::MemoryStorage::create(inBody.data(), inBody.size(), Morvenix::ByteOrder::asStored);
    AutoPtr<Morvenix::DjVu::InflateStream> in = Morvenix::DjVu::InflateStream::create(source, 0, 16);
    std::string text;
    char buffer[4096];
    for (;;) {
        uint32_t n = in->readBytes(buffer, sizeof buffer, false);
        text.append(buffer, n);
        if (n < sizeof buffer)
            return text;
    }
}

class MapAreaInterop : public MvxTest::HostToolTest {
protected:
    // A page with the annotation text stored by djvused; returns the payload of the ANTz chunk it wrote.
    std::string storeWithDjvused(const PageInfo& inInfo, const std::string& inText)
    {
        MvxTest::writeFile(path("page.djvu"), MvxTest::pageFile(inInfo));
        MvxTest::writeFile(path("ant.txt"), Bytes(inText.begin(), inText.end()));
        EXPECT_EQ(0, MvxTest::runHostTool("djvused -s " + host("page.djvu") + " -e 'select 1; set-ant " +
                                          host("ant.txt") + "'"));
        return inflate(MvxTest::findChunk(MvxTest::readFile(path("page.djvu")), "ANTz"));
    }
};

TEST_F(MapAreaInterop, DjvusedTakesEveryShapeAsWeWroteIt)
{
    for (int r = 0; r < 4; ++r) {
        SCOPED_TRACE(r);
        const PageInfo info = pageInfo(400, 300, r);
        MapAreas areas = sampleAreas(r);
        const std::string text = "(mode color)\n" + writeAreas(areas, info, r);
        const std::string stored = storeWithDjvused(info, text);

        // djvused prints the expressions it parsed; strings come out escaped as it read them.
        EXPECT_EQ(normalizeExpressionText(text),
                  normalizeExpressionText(run("djvused -u " + host("page.djvu") + " -e 'select 1; print-ant'")));
        // What djvused stored reads back as the areas we wrote, in the page's orientation.
        MapAreas back = readAreas(stored, info);
        ASSERT_EQ(areas.count(), back.count());
        for (uint32_t i = 0; i < back.count(); ++i)
            expectSameArea(*areas[i], *back[i]);
    }
}

TEST_F(MapAreaInterop, DjvutoxmlListsEscapedLinksUnchanged)
{
    const PageInfo info = pageInfo(400, 300, 0);
    AutoPtr<MapRect> rect = MapRect::create();
    setLink(*rect, "C:\\dir\\", "", "say \"hi\"");
    rect->rect = Rect{10, 20, 30, 40};
    rect->borderType = MapArea::borderXor;
    AutoPtr<MapOval> oval = MapOval::create();
    setLink(*oval, "\\\\server\\share\\", "_blank", "ends in \\");
    oval->rect = Rect{100, 50, 20, 10};
    AutoPtr<MapRect> quote = MapRect::create();
    setLink(*quote, "http://x/?q=\"a\"", "", "");
    quote->rect = Rect{200, 100, 10, 10};
    MapAreas areas;
    areas.append(rect);
    areas.append(oval);
    areas.append(quote);
    storeWithDjvused(info, writeAreas(areas, info, 0));
    const std::string xml = run("djvutoxml " + host("page.djvu"));
    EXPECT_NE(std::string::npos, xml.find("href=\"C:\\dir\\\"")) << xml;
    EXPECT_NE(std::string::npos, xml.find("alt=\"say &quot;hi&quot;\"")) << xml;
    EXPECT_NE(std::string::npos, xml.find("href=\"\\\\server\\share\\\"")) << xml;
    EXPECT_NE(std::string::npos, xml.find("alt=\"ends in \\\"")) << xml;
    EXPECT_NE(std::string::npos, xml.find("target=\"_blank\"")) << xml;
    // djvutoxml escapes quotes in comments but not in URLs; the URL it lists is still the whole one.
    EXPECT_NE(std::string::npos, xml.find("href=\"http://x/?q=\"a\"\" target")) << xml;
    // One area each: no link was lost to a broken string.
    size_t count = 0;
    for (size_t at = xml.find("<AREA"); at != std::string::npos; at = xml.find("<AREA", at + 1))
        ++count;
    EXPECT_EQ(3u, count);
}

TEST_F(MapAreaInterop, ReadsWhatDjvusedStoresFromHandWrittenText)
{
    // Text as a person writes it: extra blanks, words instead of strings, options in any order.
    const std::string text =
        "(maparea   http://a.b/c   \"x\"   (rect 10 20 30 40)   (border_avis) (xor))\n"
        "(maparea (url \"#file:///C:/out/p2.djvu\" \"_self\") \"\" (poly 0 0 10 0 5 8) (border #00ff00))\n"
        "(maparea \"\" \"back\\\\slash \\\"q\\\"\" (line 1 2 3 4) (width 2) (arrow))\n"
        "(maparea \"\" \"\" (text 0 0 50 20) (pushpin) (backclr #ABCDEF))\n";
    const PageInfo info = pageInfo(400, 300, 0);
    MapAreas back = readAreas(storeWithDjvused(info, text), info);
    ASSERT_EQ(4u, back.count());
    EXPECT_EQ("http://a.b/c", str(back[0]->url));
    EXPECT_EQ("10,240,30,40", describe(back[0]->getRect()));
    EXPECT_EQ(1u, back[0]->borderType);
    EXPECT_TRUE(back[0]->borderAvis);
    EXPECT_EQ("#p2.djvu", str(back[1]->url));
    EXPECT_EQ("_self", str(back[1]->target));
    EXPECT_EQ(0x0000FF00u, back[1]->lineColor);
    EXPECT_EQ("0,291,10,8", describe(back[1]->getRect()));
    EXPECT_EQ("back\\slash \"q\"", str(back[2]->comment));
    EXPECT_TRUE(static_cast<const MapLine&>(*back[2]).arrow);
    EXPECT_EQ(2u, back[2]->lineWidth);
    EXPECT_TRUE(static_cast<const MapText&>(*back[3]).pushpin);
    EXPECT_EQ(0x00ABCDEFu, static_cast<const MapText&>(*back[3]).backColor);
}

} // namespace
