// Map areas: defaults, bounding boxes, hit tests, the exact expressions written, escaping of link texts,
// coordinates in every orientation, failures and clones.
#include "maparea_test_support.h"

#include <gtest/gtest.h>

#include <functional>

using namespace MapAreaTest;

namespace {

const PageInfo kPage1000 = pageInfo(500, 1000, 0);

TEST(MapAreaDefaults, EveryShapeStartsAsDocumented)
{
    AutoPtr<MapRect> rect = MapRect::create();
    EXPECT_EQ(MapArea::shapeRect, rect->getType());
    EXPECT_TRUE(rect->url.isEmpty() && rect->target.isEmpty() && rect->comment.isEmpty());
    EXPECT_EQ(0u, rect->borderType);
    EXPECT_EQ(0xFFFFFFFFu, rect->lineColor);
    EXPECT_EQ(1u, rect->lineWidth);
    EXPECT_FALSE(rect->borderAvis);
    EXPECT_EQ("0,0,0,0", describe(rect->rect));
    EXPECT_EQ(0xFFFFFFFFu, rect->hiliteColor);
    EXPECT_EQ(50u, rect->opacity);

    EXPECT_EQ(MapArea::shapeOval, MapOval::create()->getType());
    AutoPtr<MapPoly> poly = MapPoly::create();
    EXPECT_EQ(MapArea::shapePoly, poly->getType());
    EXPECT_EQ(0u, poly->points.count());
    EXPECT_GE(poly->points.capacity(), 128u);

    AutoPtr<MapLine> line = MapLine::create();
    EXPECT_EQ(MapArea::shapeLine, line->getType());
    EXPECT_EQ(0u, line->lineColor); // black, specified
    EXPECT_FALSE(line->arrow);
    EXPECT_EQ(0, line->x1 | line->y1 | line->x2 | line->y2);

    AutoPtr<MapText> text = MapText::create();
    EXPECT_EQ(MapArea::shapeText, text->getType());
    EXPECT_EQ(0u, text->textColor);
    EXPECT_EQ(0xFFFFFFFFu, text->backColor);
    EXPECT_FALSE(text->pushpin);

    EXPECT_STREQ("rect", Morvenix::DjVu::mapShapeNames[0]);
    EXPECT_STREQ("text", Morvenix::DjVu::mapShapeNames[4]);
}

TEST(MapAreaGeometry, BoundingBoxes)
{
    AutoPtr<MapLine> line = MapLine::create();
    line->x1 = 5;
    line->y1 = 5;
    line->x2 = 1;
    line->y2 = 9;
    EXPECT_EQ("1,5,4,4", describe(line->getRect()));

    AutoPtr<MapPoly> poly = MapPoly::create();
    EXPECT_EQ("0,0,0,0", describe(poly->getRect()));
    poly->points.append(Point{7, -3});
    EXPECT_EQ("7,-3,0,0", describe(poly->getRect()));
    poly->points.append(Point{-2, 10});
    poly->points.append(Point{4, 4});
    EXPECT_EQ("-2,-3,9,13", describe(poly->getRect()));

    AutoPtr<MapText> text = MapText::create();
    text->rect = Rect{1, 2, 3, 4};
    EXPECT_EQ("1,2,3,4", describe(text->getRect()));
}

TEST(MapAreaGeometry, RectangleOutlineAndInside)
{
    for (bool isText : {false, true}) {
        SCOPED_TRACE(isText ? "text" : "rect");
        AutoPtr<MapArea> area;
        if (isText) {
            AutoPtr<MapText> t = MapText::create();
            t->rect = Rect{10, 10, 100, 50};
            area = t;
        } else {
            AutoPtr<MapRect> r = MapRect::create();
            r->rect = Rect{10, 10, 100, 50};
            area = r;
        }
        struct Case {
            Point p;
            int edge;
        } cases[] = {{{50, 11}, 2},  {{50, 59}, 4}, {{11, 30}, 1}, {{109, 30}, 3}, {{50, 30}, 0},
                     {{50, 7}, 0},   {{50, 8}, 2},  {{8, 8}, 2},   {{111, 58}, 4}, {{112, 58}, 0},
                     {{50, 62}, 0},  {{7, 30}, 0},  {{8, 30}, 1}};
        for (const Case& c : cases)
            EXPECT_EQ(c.edge, area->isPointOnLine(c.p, 2)) << c.p.x << "," << c.p.y;
        EXPECT_TRUE(area->isPointInsideArea(Point{10, 10}));
        EXPECT_TRUE(area->isPointInsideArea(Point{109, 59}));
        EXPECT_FALSE(area->isPointInsideArea(Point{110, 30}));
        EXPECT_FALSE(area->isPointInsideArea(Point{50, 60}));
        EXPECT_FALSE(area->isPointInsideArea(Point{9, 30}));
    }
}

TEST(MapAreaGeometry, RectangleAtTheEdgeOfTheRangeDoesNotWrap)
{
    AutoPtr<MapRect> r = MapRect::create();
    r->rect = Rect{0x7FFFFFF0, 0x7FFFFFF0, 0x7FFFFFFF, 0x7FFFFFFF};
    EXPECT_TRUE(r->isPointInsideArea(Point{0x7FFFFFFF, 0x7FFFFFFF}));
    EXPECT_FALSE(r->isPointInsideArea(Point{-5, -5}));
    EXPECT_EQ(0, r->isPointOnLine(Point{-5, -5}, 2));
}

TEST(MapAreaGeometry, OvalInsideAndOutline)
{
    AutoPtr<MapOval> oval = MapOval::create();
    oval->rect = Rect{0, 0, 100, 50}; // centre (50, 25), semi-axes 50 and 25
    EXPECT_TRUE(oval->isPointInsideArea(Point{50, 25}));
    EXPECT_TRUE(oval->isPointInsideArea(Point{0, 25}));
    EXPECT_TRUE(oval->isPointInsideArea(Point{50, 50}));
    EXPECT_FALSE(oval->isPointInsideArea(Point{2, 2}));
    EXPECT_FALSE(oval->isPointInsideArea(Point{101, 25}));

    EXPECT_EQ(1, oval->isPointOnLine(Point{0, 25}, 1));
    EXPECT_EQ(1, oval->isPointOnLine(Point{101, 25}, 1));
    EXPECT_EQ(0, oval->isPointOnLine(Point{102, 25}, 1));
    EXPECT_EQ(0, oval->isPointOnLine(Point{50, 25}, 1));
    EXPECT_EQ(1, oval->isPointOnLine(Point{50, 48}, 3));

    // Width 2, tolerance 5: the inner ellipse keeps semi-axis 1 in x (1 - 5 is not above 0), so a point
    // on the x axis just outside it is on the outline only if it also lies inside the grown ellipse.
    AutoPtr<MapOval> thin = MapOval::create();
    thin->rect = Rect{0, 0, 2, 40}; // centre (1, 20), semi-axes 1 and 20
    EXPECT_EQ(1, thin->isPointOnLine(Point{2, 20}, 5)); // e(-5) uses a = 1: 1 >= 1; e(+5) <= 1
    EXPECT_EQ(1, thin->isPointOnLine(Point{7, 20}, 5)); // e(+5) = (6 / 6)^2
    EXPECT_EQ(0, thin->isPointOnLine(Point{8, 20}, 5));
    EXPECT_EQ(0, thin->isPointOnLine(Point{1, 20}, 5));
}

TEST(MapAreaGeometry, PolygonAndLineHitTestsAreNotProvided)
{
    AutoPtr<MapPoly> poly = MapPoly::create();
    poly->points.append(Point{0, 0});
    expectThrow([&] { poly->isPointInsideArea(Point{0, 0}); }, Morvenix::errNotImplemented,
                "FIXME: Implement me!", "Morvenix::DjVu::MapPoly::isPointInsideArea");
    expectThrow([&] { poly->isPointOnLine(Point{0, 0}, 1); }, Morvenix::errNotImplemented, "FIXME: Implement me!",
                "Morvenix::DjVu::MapPoly::isPointOnLine");
    AutoPtr<MapLine> line = MapLine::create();
    expectThrow([&] { line->isPointOnLine(Point{0, 0}, 1); }, Morvenix::errNotImplemented, "FIXME: Implement me!",
                "Morvenix::DjVu::MapLine::isPointOnLine");
    expectThrow([&] { line->isPointInsideArea(Point{0, 0}); }, Morvenix::errNotImplemented,
                "Morvenix::DjVu::MapLine::isPointOnLine");
}

// Each case builds an area and names the text it writes on a page 500 x 1000 at rotation 0.
struct TextCase {
    const char* name;
    std::function<AutoPtr<MapArea>()> make;
    const char* expected;
};

AutoPtr<MapRect> rect10(uint32_t inBorder)
{
    AutoPtr<MapRect> r = MapRect::create();
    r->rect = Rect{10, 20, 30, 40};
    r->borderType = inBorder;
    return r;
}

TEST(MapAreaText, ExactExpressionOfEveryShapeAndOption)
{
    const TextCase cases[] = {
        {"plain rect", [] { return AutoPtr<MapArea>(rect10(0)); },
         "(maparea \"\" \"\" (rect 10 940 30 40) (none))"},
        {"link of the add-in",
         [] {
             AutoPtr<MapRect> r = rect10(MapArea::borderXor);
             r->url = String("http://example.com/");
             r->opacity = 0;
             return AutoPtr<MapArea>(r);
         },
         "(maparea \"http://example.com/\" \"\" (rect 10 940 30 40) (xor))"},
        {"hilite, opacity 50",
         [] {
             AutoPtr<MapRect> r = rect10(MapArea::borderXor);
             r->hiliteColor = 0x00FF0000;
             return AutoPtr<MapArea>(r);
         },
         "(maparea \"\" \"\" (rect 10 940 30 40) (xor) (hilite #FF0000))"},
        {"hilite, opacity 30",
         [] {
             AutoPtr<MapRect> r = rect10(MapArea::borderXor);
             r->hiliteColor = 0x0000ab0c;
             r->opacity = 30;
             return AutoPtr<MapArea>(r);
         },
         "(maparea \"\" \"\" (rect 10 940 30 40) (xor) (hilite #00AB0C) (opacity 30))"},
        {"solid border, border_avis",
         [] {
             AutoPtr<MapRect> r = rect10(MapArea::borderSolid);
             r->lineColor = 0x000000FF;
             r->borderAvis = true;
             return AutoPtr<MapArea>(r);
         },
         "(maparea \"\" \"\" (rect 10 940 30 40) (border #0000FF) (border_avis))"},
        {"shadow_in", [] { return AutoPtr<MapArea>(rect10(MapArea::borderShadowIn)); },
         "(maparea \"\" \"\" (rect 10 940 30 40) (shadow_in 1))"},
        {"shadow_out",
         [] {
             AutoPtr<MapRect> r = rect10(MapArea::borderShadowOut);
             r->lineWidth = 7;
             return AutoPtr<MapArea>(r);
         },
         "(maparea \"\" \"\" (rect 10 940 30 40) (shadow_out 7))"},
        {"shadow_ein", [] { return AutoPtr<MapArea>(rect10(MapArea::borderShadowEtchedIn)); },
         "(maparea \"\" \"\" (rect 10 940 30 40) (shadow_ein 1))"},
        {"shadow_eout", [] { return AutoPtr<MapArea>(rect10(MapArea::borderShadowEtchedOut)); },
         "(maparea \"\" \"\" (rect 10 940 30 40) (shadow_eout 1))"},
        {"target",
         [] {
             AutoPtr<MapOval> o = MapOval::create();
             o->rect = Rect{1, 2, 3, 4};
             o->url = String("u");
             o->target = String("_blank");
             o->comment = String("c");
             o->borderType = MapArea::borderXor;
             o->borderAvis = true;
             return AutoPtr<MapArea>(o);
         },
         "(maparea (url \"u\" \"_blank\") \"c\" (oval 1 994 3 4) (xor) (border_avis))"},
        {"poly",
         [] {
             AutoPtr<MapPoly> p = MapPoly::create();
             p->points.append(Point{10, 20});
             p->points.append(Point{0, 999});
             p->points.append(Point{-5, 0});
             return AutoPtr<MapArea>(p);
         },
         "(maparea \"\" \"\" (poly 10 979 0 0 -5 999) (none))"},
        {"one-point poly",
         [] {
             AutoPtr<MapPoly> p = MapPoly::create();
             p->points.append(Point{10, 20});
             p->borderAvis = true;
             return AutoPtr<MapArea>(p);
         },
         "(maparea \"\" \"\" (poly 10 979) (none) (border_avis))"},
        {"default line",
         [] {
             AutoPtr<MapLine> l = MapLine::create();
             l->x1 = 1;
             l->y1 = 2;
             l->x2 = 3;
             l->y2 = 4;
             l->borderType = MapArea::borderShadowIn; // lines write no border
             l->borderAvis = true;
             return AutoPtr<MapArea>(l);
         },
         "(maparea \"\" \"\" (line 1 997 3 995) (lineclr #000000))"},
        {"line with options",
         [] {
             AutoPtr<MapLine> l = MapLine::create();
             l->x2 = 10;
             l->arrow = true;
             l->lineWidth = 2;
             l->lineColor = 0x00FFFFFF;
             return AutoPtr<MapArea>(l);
         },
         "(maparea \"\" \"\" (line 0 999 10 999) (arrow) (width 2) (lineclr #FFFFFF))"},
        {"line without colour",
         [] {
             AutoPtr<MapLine> l = MapLine::create();
             l->lineColor = 0x01000000;
             return AutoPtr<MapArea>(l);
         },
         "(maparea \"\" \"\" (line 0 999 0 999))"},
        {"default text",
         [] {
             AutoPtr<MapText> t = MapText::create();
             t->rect = Rect{10, 20, 30, 40};
             t->borderAvis = true; // text boxes write no border_avis
             return AutoPtr<MapArea>(t);
         },
         "(maparea \"\" \"\" (text 10 940 30 40) (none) (textclr #000000))"},
        {"text with options",
         [] {
             AutoPtr<MapText> t = MapText::create();
             t->rect = Rect{10, 20, 30, 40};
             t->borderType = MapArea::borderSolid;
             t->lineColor = 0x00010203;
             t->backColor = 0x00FFFF00;
             t->textColor = 0xFFFFFFFF;
             t->pushpin = true;
             return AutoPtr<MapArea>(t);
         },
         "(maparea \"\" \"\" (text 10 940 30 40) (border #010203) (backclr #FFFF00) (pushpin))"},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(c.expected, str(c.make()->getANTString(kPage1000, 0))) << c.name;
}

TEST(MapAreaText, LinkTextsAreEscaped)
{
    struct Case {
        const char* url;
        const char* target;
        const char* comment;
        const char* expectedHead;
    } cases[] = {
        {"C:\\dir\\", "", "", "(maparea \"C:\\\\dir\\\\\" \"\" (rect "},
        {"\\\\server\\share\\", "", "", "(maparea \"\\\\\\\\server\\\\share\\\\\" \"\" (rect "},
        {"a\"b", "", "say \"hi\"", "(maparea \"a\\\"b\" \"say \\\"hi\\\"\" (rect "},
        {"u", "_\"x\\", "c\\", "(maparea (url \"u\" \"_\\\"x\\\\\") \"c\\\\\" (rect "},
        {"\xE2\x82\xAC (x)", "", "\t", "(maparea \"\xE2\x82\xAC (x)\" \"\t\" (rect "},
    };
    for (const Case& c : cases) {
        AutoPtr<MapRect> r = rect10(MapArea::borderXor);
        setLink(*r, c.url, c.target, c.comment);
        std::string text = str(r->getANTString(kPage1000, 0));
        EXPECT_EQ(std::string(c.expectedHead) + "10 940 30 40) (xor))", text);
        // Our reader gives back exactly the texts.
        MapAreas back = readAreas(text, kPage1000);
        ASSERT_EQ(1u, back.count());
        expectSameArea(*r, *back[0]);
    }
}

TEST(MapAreaText, CoordinatesTurnedToThePageAndFlipped)
{
    // A page 100 wide and 200 high; the areas are recorded in orientation 0.
    AutoPtr<MapRect> r = MapRect::create();
    r->rect = Rect{10, 20, 30, 40};
    AutoPtr<MapLine> l = MapLine::create();
    l->x1 = 10;
    l->y1 = 20;
    l->x2 = 0;
    l->y2 = 0;
    l->lineColor = 0xFFFFFFFF;
    const char* rects[4] = {"10 140 30 40", "20 10 40 30", "60 20 30 40", "140 60 40 30"};
    const char* lines[4] = {"10 179 0 199", "20 10 0 0", "89 20 99 0", "179 89 199 99"};
    for (int page = 0; page < 4; ++page) {
        SCOPED_TRACE(page);
        const PageInfo info = pageInfo(100, 200, page);
        EXPECT_EQ(std::string("(maparea \"\" \"\" (rect ") + rects[page] + ") (none))", str(r->getANTString(info, 0)));
        EXPECT_EQ(std::string("(maparea \"\" \"\" (line ") + lines[page] + "))", str(l->getANTString(info, 0)));
    }
    // Recorded in orientation 1 on a page of orientation 1: no turn, a flip within the page width.
    EXPECT_EQ("(maparea \"\" \"\" (rect 10 40 30 40) (none))", str(r->getANTString(pageInfo(100, 200, 1), 1)));
    // Old pages carry no orientation: recorded in 1, written for version 21 with rotation flags, turned back.
    EXPECT_EQ("(maparea \"\" \"\" (rect 40 160 40 30) (none))", str(r->getANTString(pageInfo(100, 200, 1, 21), 1)));
}

TEST(MapAreaText, PolygonOfManyPointsIsWrittenWhole)
{
    AutoPtr<MapPoly> poly = MapPoly::create();
    std::string expected = "(maparea \"\" \"\" (poly";
    for (int32_t i = 0; i < 200000; ++i) {
        poly->points.append(Point{i, 999 - i % 1000});
        expected += " " + std::to_string(i) + " " + std::to_string(i % 1000);
    }
    expected += ") (none))";
    EXPECT_EQ(expected, str(poly->getANTString(kPage1000, 0)));
}

TEST(MapAreaText, FailuresWriteNothingAndChangeNothing)
{
    struct Case {
        const char* name;
        std::function<AutoPtr<MapArea>()> make;
        int code;
        const char* message;
        const char* function;
    } cases[] = {
        {"solid border without colour", [] { return AutoPtr<MapArea>(rect10(MapArea::borderSolid)); },
         Morvenix::errInvalidParam, "lineColor is not specified!", "Morvenix::getBorderType"},
        {"solid border with top byte set",
         [] {
             AutoPtr<MapRect> r = rect10(MapArea::borderSolid);
             r->lineColor = 0x01000000;
             return AutoPtr<MapArea>(r);
         },
         Morvenix::errInvalidParam, "lineColor is not specified!", "Morvenix::getBorderType"},
        {"shadow on text",
         [] {
             AutoPtr<MapText> t = MapText::create();
             t->borderType = MapArea::borderShadowIn;
             return AutoPtr<MapArea>(t);
         },
         Morvenix::errDataBroken, "shadow_* type only accepted by rect!", "Morvenix::getBorderType"},
        {"shadow on oval",
         [] {
             AutoPtr<MapOval> o = MapOval::create();
             o->borderType = MapArea::borderShadowEtchedOut;
             return AutoPtr<MapArea>(o);
         },
         Morvenix::errDataBroken, "shadow_* type only accepted by rect!", "Morvenix::getBorderType"},
        {"shadow on poly",
         [] {
             AutoPtr<MapPoly> p = MapPoly::create();
             p->points.append(Point{1, 1});
             p->borderType = MapArea::borderShadowOut;
             return AutoPtr<MapArea>(p);
         },
         Morvenix::errDataBroken, "shadow_* type only accepted by rect!", "Morvenix::getBorderType"},
        {"border type 7", [] { return AutoPtr<MapArea>(rect10(7)); }, Morvenix::errDataBroken,
         "Unknown borderType!", "Morvenix::getBorderType"},
        {"border type far out", [] { return AutoPtr<MapArea>(rect10(0xFFFFFFFFu)); }, Morvenix::errDataBroken,
         "Unknown borderType!", "Morvenix::getBorderType"},
        {"poly without points", [] { return AutoPtr<MapArea>(MapPoly::create()); }, Morvenix::errInvalidParam,
         "No points in poly!", "Morvenix::DjVu::MapPoly::getANTString"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AutoPtr<MapArea> area = c.make();
        AutoPtr<MapArea> before = area->clone();
        expectThrow([&] { area->getANTString(kPage1000, 0); }, c.code, c.message, c.function);
        expectThrow([&] { area->getANTString(kPage1000, 0); }, c.code, "djv_mapareas");
        expectSameArea(*before, *area);
    }
}

TEST(MapAreaClone, CopiesEveryFieldAndOwnsItsPoints)
{
    MapAreas areas = sampleAreas(0);
    const PageInfo info = pageInfo(400, 300, 0);
    for (const AutoPtr<MapArea>& area : areas) {
        AutoPtr<MapArea> copy = area->clone();
        EXPECT_NE(area.get(), copy.get());
        expectSameArea(*area, *copy);
        EXPECT_EQ(str(area->getANTString(info, 0)), str(copy->getANTString(info, 0)));
        copy->url = String("changed");
        EXPECT_NE("changed", str(area->url));
    }
    AutoPtr<MapPoly> poly = MapPoly::create();
    poly->points.append(Point{1, 2});
    AutoPtr<MapArea> copy = poly->clone();
    static_cast<MapPoly&>(*copy).points[0].x = 99;
    static_cast<MapPoly&>(*copy).points.append(Point{3, 4});
    EXPECT_EQ(1, poly->points[0].x);
    EXPECT_EQ(1u, poly->points.count());
}

} // namespace
