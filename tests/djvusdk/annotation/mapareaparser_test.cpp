// The map-area reader: shapes and their coordinates, links and targets, options of each shape, lenient
// skipping of malformed expressions, colour failures, and areas written and read back in every orientation.
#include "maparea_test_support.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace MapAreaTest;
using Morvenix::DjVu::rewriteMapAreaUrl;

namespace {

const PageInfo kPage = pageInfo(100, 200, 0);

MapAreas read(const std::string& inText, const PageInfo& inInfo = kPage) { return readAreas(inText, inInfo); }

// The one area read, of the shape expected; it outlives the list it came in.
template <class T>
AutoPtr<T> only(const MapAreas& inAreas, int inType)
{
    EXPECT_EQ(1u, inAreas.count());
    if (inAreas.count() != 1 || inAreas[0]->getType() != inType)
        throw std::runtime_error("not the one area expected");
    return AutoPtr<T>(static_cast<T*>(inAreas[0].get()));
}

TEST(MapAreaParser, ShapesAndCoordinates)
{
    AutoPtr<MapRect> rect = only<MapRect>(read("(maparea \"u\" \"c\" (rect 10 20 30 40))"), MapArea::shapeRect);
    EXPECT_EQ("10,140,30,40", describe(rect->rect));
    EXPECT_EQ("u", str(rect->url));
    EXPECT_EQ("c", str(rect->comment));
    EXPECT_TRUE(rect->target.isEmpty());
    EXPECT_EQ(0u, rect->borderType);
    EXPECT_EQ(50u, rect->opacity);

    EXPECT_EQ("10,140,30,40", describe(only<MapOval>(read("(maparea u c (oval 10 20 30 40))"), MapArea::shapeOval)->rect));
    EXPECT_EQ("10,140,30,40", describe(only<MapText>(read("(maparea u c (text 10 20 30 40))"), MapArea::shapeText)->rect));

    AutoPtr<MapLine> line = only<MapLine>(read("(maparea \"\" \"\" (line 10 20 50 60))"), MapArea::shapeLine);
    EXPECT_EQ(10, line->x1);
    EXPECT_EQ(179, line->y1);
    EXPECT_EQ(50, line->x2);
    EXPECT_EQ(139, line->y2);
    EXPECT_EQ(0u, line->lineColor);

    AutoPtr<MapPoly> poly = only<MapPoly>(read("(maparea \"\" \"\" (poly 1 2 3 4 5 6))"), MapArea::shapePoly);
    ASSERT_EQ(3u, poly->points.count());
    EXPECT_EQ(1, poly->points[0].x);
    EXPECT_EQ(197, poly->points[0].y);
    EXPECT_EQ(5, poly->points[2].x);
    EXPECT_EQ(193, poly->points[2].y);

    // Rotation 1 (flags 6, version 25): the flip is within the page width.
    EXPECT_EQ("10,40,30,40",
              describe(only<MapRect>(read("(maparea u c (rect 10 20 30 40))", pageInfo(100, 200, 1)), MapArea::shapeRect)->rect));
    // Numbers that are not numbers read as 0; signs and leading blanks are read.
    EXPECT_EQ("0,160,-5,40", describe(only<MapRect>(read("(maparea u c (rect x1 \"0\" -5 \" 40\"))"), MapArea::shapeRect)->rect));
}

TEST(MapAreaParser, LinksAndTargets)
{
    AutoPtr<MapRect> a = only<MapRect>(read("(maparea (url \"http://a\" \"_top\") \"c\" (rect 0 0 1 1))"), MapArea::shapeRect);
    EXPECT_EQ("http://a", str(a->url));
    EXPECT_EQ("_top", str(a->target));
    // The list's first item may be anything.
    EXPECT_EQ("_x", str(only<MapRect>(read("(maparea (zz u _x) c (rect 0 0 1 1))"), MapArea::shapeRect)->target));
    // Two or four items: no link, but the area is made.
    for (const char* link : {"(url \"http://a\")", "(url a b c)", "()"}) {
        MapAreas areas = read(std::string("(maparea ") + link + " \"c\" (rect 0 0 1 1))");
        ASSERT_EQ(1u, areas.count()) << link;
        EXPECT_TRUE(areas[0]->url.isEmpty());
        EXPECT_TRUE(areas[0]->target.isEmpty());
        EXPECT_EQ("c", str(areas[0]->comment));
    }
    // A comment given as a list keeps its rebuilt text.
    EXPECT_EQ("(a b)", str(only<MapRect>(read("(maparea u (a b) (rect 0 0 1 1))"), MapArea::shapeRect)->comment));
}

TEST(MapAreaParser, FileLinksBecomeComponentNames)
{
    EXPECT_EQ("#page2.djvu", str(rewriteMapAreaUrl(String("#file:///C:/docs/page2.djvu"))));
    EXPECT_EQ("#p.djvu", str(rewriteMapAreaUrl(String("#file://p.djvu"))));
    EXPECT_EQ("#", str(rewriteMapAreaUrl(String("#file://dir/"))));
    EXPECT_EQ("#", str(rewriteMapAreaUrl(String("#file://"))));
    // A '/' right after a broken lead byte still counts.
    EXPECT_EQ("#b\xE2", str(rewriteMapAreaUrl(String("#file://a\xF0/b\xE2"))));
    for (const char* same : {"#page2", "file:///C:/a", "http://x/#file://y", "#File://a/b", ""})
        EXPECT_EQ(same, str(rewriteMapAreaUrl(String(same))));
    EXPECT_EQ("#b", str(only<MapRect>(read("(maparea \"#file://a/b\" \"\" (rect 0 0 1 1))"), MapArea::shapeRect)->url));
    EXPECT_EQ("#b", str(only<MapRect>(read("(maparea (url \"#file://a/b\" t) \"\" (rect 0 0 1 1))"),
                                       MapArea::shapeRect)->url));
}

TEST(MapAreaParser, OptionsOfEveryShape)
{
    AutoPtr<MapRect> r = only<MapRect>(
        read("(maparea u c (rect 0 0 1 1) (border #0A0B0C) (border_avis) (hilite #ff0000) (opacity 30) (unknown) "
             "(none 1))"),
        MapArea::shapeRect);
    EXPECT_EQ(2u, r->borderType);
    EXPECT_EQ(0x000A0B0Cu, r->lineColor);
    EXPECT_TRUE(r->borderAvis);
    EXPECT_EQ(0x00FF0000u, r->hiliteColor);
    EXPECT_EQ(30u, r->opacity);

    const char* shadows[4] = {"shadow_in", "shadow_out", "shadow_ein", "shadow_eout"};
    for (uint32_t i = 0; i < 4; ++i) {
        AutoPtr<MapRect> s = only<MapRect>(read(std::string("(maparea u c (rect 0 0 1 1) (xor) (") + shadows[i] + " 6))"),
                                         MapArea::shapeRect);
        EXPECT_EQ(3 + i, s->borderType);
        EXPECT_EQ(6u, s->lineWidth);
    }
    // Later options override earlier ones; a highlight resets the opacity.
    EXPECT_EQ(50u, only<MapRect>(read("(maparea u c (rect 0 0 1 1) (opacity 30) (hilite #000000))"), MapArea::shapeRect)->opacity);
    EXPECT_EQ(30u, only<MapRect>(read("(maparea u c (rect 0 0 1 1) (hilite #000000) (opacity 30))"), MapArea::shapeRect)->opacity);
    EXPECT_EQ(1u, only<MapRect>(read("(maparea u c (rect 0 0 1 1) (border #000000) (xor))"), MapArea::shapeRect)->borderType);
    EXPECT_EQ(0u, only<MapRect>(read("(maparea u c (rect 0 0 1 1) (xor) (none))"), MapArea::shapeRect)->borderType);

    AutoPtr<MapLine> l = only<MapLine>(
        read("(maparea u c (line 0 0 1 1) (arrow) (width 4) (lineclr #00FF00) (border #FF0000) (xor) (border_avis))"),
        MapArea::shapeLine);
    EXPECT_TRUE(l->arrow);
    EXPECT_EQ(4u, l->lineWidth);
    EXPECT_EQ(0x0000FF00u, l->lineColor); // the border options do not apply to lines
    EXPECT_EQ(0u, l->borderType);
    EXPECT_FALSE(l->borderAvis);

    AutoPtr<MapText> t = only<MapText>(
        read("(maparea u c (text 0 0 1 1) (xor) (backclr #FFFFCC) (textclr #102030) (pushpin) (shadow_in 2))"),
        MapArea::shapeText);
    EXPECT_EQ(1u, t->borderType);
    EXPECT_EQ(0x00FFFFCCu, t->backColor);
    EXPECT_EQ(0x00102030u, t->textColor);
    EXPECT_TRUE(t->pushpin);
    EXPECT_EQ(1u, t->lineWidth);

    // Ovals and polygons take the shared options only.
    AutoPtr<MapOval> o = only<MapOval>(
        read("(maparea u c (oval 0 0 1 1) (border #010101) (border_avis) (shadow_in 5) (hilite #FFFFFF) (arrow))"),
        MapArea::shapeOval);
    EXPECT_EQ(2u, o->borderType);
    EXPECT_EQ(0x00010101u, o->lineColor);
    EXPECT_TRUE(o->borderAvis);
    EXPECT_EQ(1u, o->lineWidth);
    AutoPtr<MapPoly> p = only<MapPoly>(read("(maparea u c (poly 0 0 1 1 2 2) (xor) (pushpin) word)"), MapArea::shapePoly);
    EXPECT_EQ(1u, p->borderType);

    // Options with the wrong number of arguments, or with no name at all, are ignored.
    AutoPtr<MapRect> w = only<MapRect>(read("(maparea u c (rect 0 0 1 1) (xor 1) (border) (hilite) (opacity 1 2) () (()))"),
                                     MapArea::shapeRect);
    EXPECT_EQ(0u, w->borderType);
    EXPECT_EQ(0xFFFFFFFFu, w->hiliteColor);
    EXPECT_EQ(50u, w->opacity);
    for (const char* shape : {"(oval 0 0 1 1)", "(poly 0 0 1 1 2 2)", "(line 0 0 1 1)", "(text 0 0 1 1)"})
        EXPECT_EQ(1u, read(std::string("(maparea u c ") + shape + " () (()) (arrow 1 2))").count()) << shape;
}

TEST(MapAreaParser, MalformedExpressionsAreSkippedQuietly)
{
    const char* skipped[] = {
        "(maparea)",
        "(maparea u)",
        "(maparea u c)",
        "(maparea u c rect)",
        "(maparea u c (rect 1 2 3))",
        "(maparea u c (rect 1 2 3 4 5))",
        "(maparea u c (line 1 2 3))",
        "(maparea u c (text 1 2 3 4 5 6))",
        "(maparea u c (poly 1 2 3 4 5))",
        "(maparea u c (poly 1 2))",
        "(maparea u c (poly))",
        "(maparea u c (circle 1 2 3 4))",
        "(maparea u c (RECT 1 2 3 4))",
        "(maparea u c ((rect) 1 2 3 4))",
        "(maparea u c ())",
    };
    for (const char* text : skipped)
        EXPECT_EQ(0u, read(text).count()) << text;
    // The areas around a skipped one are read.
    EXPECT_EQ(2u, read("(maparea a b (rect 1 2 3 4)) (maparea u c (poly 1 2 3)) (maparea a b (oval 1 2 3 4))").count());
}

TEST(MapAreaParser, BadColoursThrowAndAddNothing)
{
    const char* bad[] = {
        "(maparea u c (rect 0 0 1 1) (border FF0000))",  "(maparea u c (rect 0 0 1 1) (hilite #FFF))",
        "(maparea u c (oval 0 0 1 1) (border #GGGGGG))", "(maparea u c (line 0 0 1 1) (lineclr red))",
        "(maparea u c (text 0 0 1 1) (backclr #1))",      "(maparea u c (text 0 0 1 1) (textclr \"\"))",
        "(maparea u c (poly 0 0 1 1 2 2) (border (a)))",
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        std::string all = std::string("(maparea a b (rect 1 2 3 4)) ") + text;
        AutoPtr<ElementArray> list = ElementArray::create();
        Morvenix::DjVu::AnnoParse::parseAnnotationText(*list, all.data(), uint32_t(all.size()));
        MapAreas areas;
        Morvenix::DjVu::parseMapArea(areas, dynamic_cast<ElementArray&>(*list->getElements()[0]).getElements(), kPage, 0);
        expectThrow(
            [&] {
                Morvenix::DjVu::parseMapArea(areas, dynamic_cast<ElementArray&>(*list->getElements()[1]).getElements(),
                                             kPage, 0);
            },
            Morvenix::errDataBroken, "Invalid Color");
        EXPECT_EQ(1u, areas.count());
    }
}

TEST(MapAreaParser, EveryShapeWrittenAndReadBackInEveryOrientation)
{
    // Areas recorded in orientation `from`, written for a page of orientation `page`, read back with that
    // page: they come back turned to the page's orientation.
    for (int from = 0; from < 4; ++from) {
        for (int page = 0; page < 4; ++page) {
            SCOPED_TRACE("recorded in " + std::to_string(from) + ", page " + std::to_string(page));
            const PageInfo info = pageInfo(400, 300, page);
            MapAreas written = sampleAreas(from);
            MapAreas expected = sampleAreas(page);
            MapAreas back = readAreas(writeAreas(written, info, from), info);
            ASSERT_EQ(expected.count(), back.count());
            for (uint32_t i = 0; i < back.count(); ++i)
                expectSameArea(*expected[i], *back[i]);
            // Written again from what was read, the text is the same.
            EXPECT_EQ(writeAreas(expected, info, page), writeAreas(back, info, page));
        }
    }
}

TEST(MapAreaParser, ValuesAtTheEdgeOfTheRangeComeBack)
{
    const PageInfo info = pageInfo(0xFFFF, 0xFFFF, 0);
    AutoPtr<MapRect> r = MapRect::create();
    r->rect = Rect{-2147483647 - 1, 2147483647, -1, 2147483647};
    r->lineWidth = 0xFFFFFFFF;
    r->borderType = MapArea::borderShadowIn;
    AutoPtr<MapPoly> p = MapPoly::create();
    p->points.append(Point{2147483647, -2147483647 - 1});
    p->points.append(Point{-2147483647 - 1, 2147483647});
    MapAreas areas;
    areas.append(r);
    areas.append(p);
    MapAreas back = readAreas(writeAreas(areas, info, 0), info);
    ASSERT_EQ(2u, back.count());
    expectSameArea(*r, *back[0]);
    expectSameArea(*p, *back[1]);
}

} // namespace
