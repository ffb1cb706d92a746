// Hyperlink areas of a page annotation: rectangles, ovals, polygons, lines and text boxes, with their link,
// comment and display options, their hit tests, and the "(maparea ...)" expression each writes.
#pragma once

#include "djv_pageinfo.h"
#include "mvx_geometry.h"
#include "mvx_referable.h"
#include "mvx_simplearray.h"
#include "mvx_string.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {

// Colours are 0x00RRGGBB; a value with a non-zero top byte leaves the colour unspecified.
const uint32_t colorUnspecified = 0xFFFFFFFFu;
inline bool isColorSpecified(uint32_t inColor) { return inColor < 0x1000000u; }

class MapArea : public Referable {
public:
    enum Shape { shapeRect = 0, shapeOval, shapePoly, shapeLine, shapeText };
    enum BorderType {
        borderNone = 0,
        borderXor,
        borderSolid,
        borderShadowIn,
        borderShadowOut,
        borderShadowEtchedIn,
        borderShadowEtchedOut
    };

    // Filled directly by the callers; strings are UTF-8. Coordinates of every shape are page pixels, origin
    // top-left, y downward, in the orientation of the owning annotation's page information.
    String url;
    String target; // frame or window the link opens in; empty for none
    String comment;
    uint32_t borderType;
    uint32_t lineColor; // border colour; a line's own colour
    uint32_t lineWidth; // shadow thickness; a line's width
    bool borderAvis;

    ~MapArea() override {}

    virtual int getType() const = 0;
    virtual Rect getRect() const = 0;
    virtual bool isPointInsideArea(const Point& inPoint) const = 0;
    // Rectangles and text boxes: 1 on the x edge, 2 the y edge, 3 the x + width edge, 4 the y + height
    // edge, 0 none. Ovals: 1 on the outline, else 0.
    virtual int isPointOnLine(const Point& inPoint, int inTolerance) const = 0;
    // The area's annotation expression for a file whose page is inPage, the area's values being recorded
    // in orientation inRotation. Escapes backslashes and double quotes in url, target and comment.
    virtual String getANTString(const PageInfo& inPage, int inRotation) const = 0;
    virtual AutoPtr<MapArea> clone() const = 0;

protected:
    MapArea()
        : borderType(borderNone), lineColor(colorUnspecified), lineWidth(1), borderAvis(false)
    {
    }
    // For clone: every value, under a reference count of the copy's own.
    MapArea(const MapArea& inOther)
        : Referable(), url(inOther.url), target(inOther.target), comment(inOther.comment),
          borderType(inOther.borderType), lineColor(inOther.lineColor), lineWidth(inOther.lineWidth),
          borderAvis(inOther.borderAvis)
    {
    }
};

typedef SimpleArray<AutoPtr<MapArea>, 1> MapAreas;

// The names the expressions give the shapes, indexed by getType.
extern const char* const mapShapeNames[5];

class MapRect : public MapArea {
public:
    Rect rect;
    uint32_t hiliteColor;
    uint32_t opacity; // percent, written only together with a highlight

    static AutoPtr<MapRect> create();

protected:
    MapRect() : rect{0, 0, 0, 0}, hiliteColor(colorUnspecified), opacity(50) {}
};

class MapOval : public MapArea {
public:
    Rect rect; // bounding box of the ellipse

    static AutoPtr<MapOval> create();

protected:
    MapOval() : rect{0, 0, 0, 0} {}
};

class MapPoly : public MapArea {
public:
    typedef SimpleArray<Point, 1> Points;
    Points points;

    static AutoPtr<MapPoly> create();

protected:
    MapPoly() : points(0, 128, nullptr, 128) {}
};

class MapLine : public MapArea {
public:
    int32_t x1, y1; // start
    int32_t x2, y2; // end
    bool arrow;

    static AutoPtr<MapLine> create();

protected:
    MapLine() : x1(0), y1(0), x2(0), y2(0), arrow(false) { lineColor = 0; }
};

class MapText : public MapArea {
public:
    Rect rect;
    bool pushpin;
    uint32_t textColor;
    uint32_t backColor;

    static AutoPtr<MapText> create();

protected:
    MapText() : rect{0, 0, 0, 0}, pushpin(false), textColor(0), backColor(colorUnspecified) {}
};

} // namespace DjVu
} // namespace Morvenix
