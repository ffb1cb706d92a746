// Helpers of the map-area tests: sample areas of every shape with every option, areas placed in a given
// page orientation, field-by-field comparison, and parsing annotation text into areas.
#pragma once

#include "djv_annoparse.h"
#include "djv_mapareaparser.h"
#include "djv_mapareas.h"

#include "../text/text_test_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace MapAreaTest {

using Morvenix::AutoPtr;
using Morvenix::Point;
using Morvenix::Rect;
using Morvenix::String;
using Morvenix::DjVu::MapArea;
using Morvenix::DjVu::MapAreas;
using Morvenix::DjVu::MapLine;
using Morvenix::DjVu::MapOval;
using Morvenix::DjVu::MapPoly;
using Morvenix::DjVu::MapRect;
using Morvenix::DjVu::MapText;
using Morvenix::DjVu::PageInfo;
using Morvenix::DjVu::AnnoParse::Element;
using Morvenix::DjVu::AnnoParse::ElementArray;
using MvxTest::expectThrow;
using TextTest::pageInfo;

inline std::string str(const String& s) { return std::string(s.begin(), s.end()); }

// The one-pixel square at the point, turned from orientation 0 by inTurns quarter turns: its top-left corner.
inline Point turnPoint(const Point& p, int inTurns, uint32_t inWidth, uint32_t inHeight)
{
    Rect r = TextTest::turnRect(Rect{p.x, p.y, 1, 1}, inTurns, inWidth, inHeight);
    return Point{r.x, r.y};
}

// Shapes placed on a page of orientation 0 (inWidth x inHeight), then turned to orientation inRotation.
struct Placed {
    int rotation;
    uint32_t width, height;
    Rect rect(int32_t x, int32_t y, int32_t w, int32_t h) const
    {
        return TextTest::turnRect(Rect{x, y, w, h}, rotation, width, height);
    }
    Point point(int32_t x, int32_t y) const { return turnPoint(Point{x, y}, rotation, width, height); }
};

inline void setLink(MapArea& ioArea, const char* inUrl, const char* inTarget, const char* inComment)
{
    ioArea.url = String(inUrl);
    ioArea.target = String(inTarget);
    ioArea.comment = String(inComment);
}

// One area of each shape with every option the shape writes; links and comments hold the characters that
// need escaping. Coordinates are those of a 400 x 300 page in orientation 0, turned to inRotation.
inline MapAreas sampleAreas(int inRotation)
{
    Placed at{inRotation, 400, 300};
    MapAreas areas;

    AutoPtr<MapRect> rect = MapRect::create();
    setLink(*rect, "C:\\dir\\", "", "say \"hi\"");
    rect->rect = at.rect(10, 20, 30, 40);
    rect->borderType = MapArea::borderShadowEtchedOut;
    rect->lineWidth = 4;
    rect->borderAvis = true;
    rect->hiliteColor = 0x00FF8000;
    rect->opacity = 30;
    areas.append(rect);

    AutoPtr<MapRect> link = MapRect::create();
    setLink(*link, "http://example.com/a?b=\"c\"&d", "", "");
    link->rect = at.rect(100, 150, 120, 12);
    link->borderType = MapArea::borderXor;
    areas.append(link);

    AutoPtr<MapOval> oval = MapOval::create();
    setLink(*oval, "\\\\server\\share\\", "_blank", "ends in \\");
    oval->rect = at.rect(200, 10, 50, 25);
    oval->borderType = MapArea::borderSolid;
    oval->lineColor = 0x00123ABC;
    oval->borderAvis = true;
    areas.append(oval);

    AutoPtr<MapPoly> poly = MapPoly::create();
    setLink(*poly, "#page2", "frame \"x\"", "poly \xE2\x82\xAC");
    for (Point p : {Point{10, 200}, Point{60, 210}, Point{35, 290}, Point{0, 299}})
        poly->points.append(at.point(p.x, p.y));
    poly->borderType = MapArea::borderNone;
    areas.append(poly);

    AutoPtr<MapLine> line = MapLine::create();
    setLink(*line, "mailto:a@b", "", "");
    Point a = at.point(300, 100), b = at.point(390, 5);
    line->x1 = a.x;
    line->y1 = a.y;
    line->x2 = b.x;
    line->y2 = b.y;
    line->arrow = true;
    line->lineWidth = 3;
    line->lineColor = 0x0000FF00;
    areas.append(line);

    AutoPtr<MapText> text = MapText::create();
    setLink(*text, "", "", "note: (a) \"b\" \\c");
    text->rect = at.rect(250, 250, 100, 40);
    text->borderType = MapArea::borderXor;
    text->backColor = 0x00FFFFCC;
    text->textColor = 0x00000080;
    text->pushpin = true;
    areas.append(text);
    return areas;
}

inline std::string describe(const Rect& r)
{
    return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) + "," +
           std::to_string(r.height);
}

// Every field of the two areas, shape fields included.
inline void expectSameArea(const MapArea& a, const MapArea& b)
{
    ASSERT_EQ(a.getType(), b.getType());
    EXPECT_EQ(str(a.url), str(b.url));
    EXPECT_EQ(str(a.target), str(b.target));
    EXPECT_EQ(str(a.comment), str(b.comment));
    EXPECT_EQ(a.borderType, b.borderType);
    EXPECT_EQ(a.lineColor, b.lineColor);
    EXPECT_EQ(a.lineWidth, b.lineWidth);
    EXPECT_EQ(a.borderAvis, b.borderAvis);
    switch (a.getType()) {
    case MapArea::shapeRect: {
        const MapRect& x = static_cast<const MapRect&>(a);
        const MapRect& y = static_cast<const MapRect&>(b);
        EXPECT_EQ(describe(x.rect), describe(y.rect));
        EXPECT_EQ(x.hiliteColor, y.hiliteColor);
        EXPECT_EQ(x.opacity, y.opacity);
        break;
    }
    case MapArea::shapeOval:
        EXPECT_EQ(describe(static_cast<const MapOval&>(a).rect), describe(static_cast<const MapOval&>(b).rect));
        break;
    case MapArea::shapePoly: {
        const MapPoly& x = static_cast<const MapPoly&>(a);
        const MapPoly& y = static_cast<const MapPoly&>(b);
        ASSERT_EQ(x.points.count(), y.points.count());
        for (uint32_t i = 0; i < x.points.count(); ++i) {
            EXPECT_EQ(x.points[i].x, y.points[i].x) << i;
            EXPECT_EQ(x.points[i].y, y.points[i].y) << i;
        }
        break;
    }
    case MapArea::shapeLine: {
        const MapLine& x = static_cast<const MapLine&>(a);
        const MapLine& y = static_cast<const MapLine&>(b);
        EXPECT_EQ(x.x1, y.x1);
        EXPECT_EQ(x.y1, y.y1);
        EXPECT_EQ(x.x2, y.x2);
        EXPECT_EQ(x.y2, y.y2);
        EXPECT_EQ(x.arrow, y.arrow);
        break;
    }
    case MapArea::shapeText: {
        const MapText& x = static_cast<const MapText&>(a);
        const MapText& y = static_cast<const MapText&>(b);
        EXPECT_EQ(describe(x.rect), describe(y.rect));
        EXPECT_EQ(x.pushpin, y.pushpin);
        EXPECT_EQ(x.textColor, y.textColor);
        EXPECT_EQ(x.backColor, y.backColor);
        break;
    }
    default:
        ADD_FAILURE() << "unknown shape " << a.getType();
    }
}

// The areas of the "maparea" expressions of an annotation text, read as the annotation reader reads them;
// other expressions are left out.
inline MapAreas readAreas(const char* inText, uint32_t inLength, const PageInfo& inInfo)
{
    AutoPtr<ElementArray> all = ElementArray::create();
    Morvenix::DjVu::AnnoParse::parseAnnotationText(*all, inText, inLength);
    MapAreas areas;
    for (const AutoPtr<Element>& e : all->getElements()) {
        const ElementArray* expression = dynamic_cast<const ElementArray*>(e.get());
        if (expression && expression->getElements().count() > 0 &&
            str(expression->getElements()[0]->toString()) == "maparea")
            Morvenix::DjVu::parseMapArea(areas, expression->getElements(), inInfo,
                                         Morvenix::DjVu::getRotation(inInfo));
    }
    return areas;
}

inline MapAreas readAreas(const std::string& inText, const PageInfo& inInfo)
{
    return readAreas(inText.data(), uint32_t(inText.size()), inInfo);
}

// The areas' expressions for the page, one a line, the areas being recorded in inRotation.
inline std::string writeAreas(const MapAreas& inAreas, const PageInfo& inInfo, int inRotation)
{
    std::string text;
    for (const AutoPtr<MapArea>& area : inAreas)
        text += str(area->getANTString(inInfo, inRotation)) + "\n";
    return text;
}

} // namespace MapAreaTest
