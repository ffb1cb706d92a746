// Map areas: the five shapes, their bounding boxes and hit tests, and the expression each writes.
#include "djv_mapareas.h"

#include "djv_annoparse.h"
#include "mvx_exception.h"

#include <cstdint>
#include <string>

#define MVX_SOURCE "djv_mapareas"

namespace Morvenix {
namespace DjVu {

const char* const mapShapeNames[5] = {"rect", "oval", "poly", "line", "text"};

} // namespace DjVu

// The border option of an area's expression.
static String getBorderType(const DjVu::MapArea& inArea)
{
    static const char* const kFunction = "Morvenix::getBorderType";
    static const char* const kShadows[4] = {"shadow_in", "shadow_out", "shadow_ein", "shadow_eout"};
    switch (inArea.borderType) {
    case DjVu::MapArea::borderNone:
        return String(" (none)");
    case DjVu::MapArea::borderXor:
        return String(" (xor)");
    case DjVu::MapArea::borderSolid:
        if (!DjVu::isColorSpecified(inArea.lineColor))
            MVX_THROW(errInvalidParam, "lineColor is not specified!", kFunction);
        return String::format(" (border #%06X)", inArea.lineColor);
    case DjVu::MapArea::borderShadowIn:
    case DjVu::MapArea::borderShadowOut:
    case DjVu::MapArea::borderShadowEtchedIn:
    case DjVu::MapArea::borderShadowEtchedOut:
        if (inArea.getType() != DjVu::MapArea::shapeRect)
            MVX_THROW(errDataBroken, "shadow_* type only accepted by rect!", kFunction);
        return String::format(" (%s %d)", kShadows[inArea.borderType - DjVu::MapArea::borderShadowIn],
                              int32_t(inArea.lineWidth));
    default:
        MVX_THROW(errDataBroken, "Unknown borderType!", kFunction);
    }
}

} // namespace Morvenix

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;

namespace {

// Turns the area's coordinates from the orientation they are recorded in to the file's page orientation
// and flips them to the file's bottom-up system. Sums wrap rather than overflow: areas may hold any value.
class FilePlacement {
public:
    FilePlacement(const PageInfo& inPage, int inRotation)
        : m_page(inPage), m_from(inRotation & 3), m_to(getRotation(inPage)),
          m_height((m_to & 1) ? inPage.width : inPage.height)
    {
    }

    String rect(const Rect& inRect) const
    {
        Rect r = rotateRect(inRect, m_from, m_to, m_page.width, m_page.height);
        int32_t y = int32_t(m_height - uint32_t(r.y) - uint32_t(r.height));
        return String::format("%d %d %d %d", r.x, y, r.width, r.height);
    }

    // A point turns as the one-pixel square at it.
    String point(int32_t inX, int32_t inY) const
    {
        Rect r = rotateRect(Rect{inX, inY, 1, 1}, m_from, m_to, m_page.width, m_page.height);
        int32_t y = int32_t(m_height - uint32_t(r.y) - 1);
        return String::format("%d %d", r.x, y);
    }

private:
    const PageInfo& m_page;
    int m_from;
    int m_to;
    uint32_t m_height;
};

String quoted(const String& inText) { return String("\"") + AnnoParse::escapeString(inText) + String("\""); }

// "(maparea <link> <comment> (<shape> " up to the shape's coordinates.
String head(const MapArea& inArea)
{
    String text("(maparea ");
    if (inArea.target.isEmpty())
        text += quoted(inArea.url);
    else
        text += String("(url ") + quoted(inArea.url) + String(" ") + quoted(inArea.target) + String(")");
    text += String(" ") + quoted(inArea.comment) + String(" (") + String(mapShapeNames[inArea.getType()]) +
            String(" ");
    return text;
}

// The expression of an area drawn in a box (rectangle, oval, text) up to its border option.
String boxedHead(const MapArea& inArea, const Rect& inBox, const PageInfo& inPage, int inRotation)
{
    return head(inArea) + FilePlacement(inPage, inRotation).rect(inBox) + String(")") + getBorderType(inArea);
}

String borderAvisOption(const MapArea& inArea) { return String(inArea.borderAvis ? " (border_avis)" : ""); }

bool isInsideRect(const Rect& inRect, const Point& inPoint)
{
    return inRect.x <= inPoint.x && inPoint.x < inRect.right() && inRect.y <= inPoint.y && inPoint.y < inRect.bottom();
}

// Which edge of the rectangle the point lies on, within the tolerance: 1 left, 2 top, 3 right, 4 bottom.
int edgeOfRect(const Rect& inRect, const Point& inPoint, int inTolerance)
{
    int64_t t = inTolerance;
    int64_t px = inPoint.x, py = inPoint.y;
    int64_t x = inRect.x, y = inRect.y, right = inRect.right(), bottom = inRect.bottom();
    if (x - t <= px && px < right + t) {
        if (y - t <= py && py < y + t)
            return 2;
        if (bottom - t <= py && py < bottom + t)
            return 4;
    }
    if (py < y - t || py >= bottom + t)
        return 0;
    if (x - t <= px && px < x + t)
        return 1;
    if (right - t <= px && px < right + t)
        return 3;
    return 0;
}

// The ellipse measure of the point against the oval grown by inGrowth (a semi-axis that would not stay
// above 0 keeps its size): 1 on the outline, below 1 inside.
double ellipseMeasure(const Rect& inRect, const Point& inPoint, double inGrowth)
{
    double a0 = double(inRect.width) * 0.5, b0 = double(inRect.height) * 0.5;
    double cx = double(inRect.x) + a0, cy = double(inRect.y) + b0;
    double a = a0 + inGrowth > 0 ? a0 + inGrowth : a0;
    double b = b0 + inGrowth > 0 ? b0 + inGrowth : b0;
    double dx = (double(inPoint.x) - cx) / a, dy = (double(inPoint.y) - cy) / b;
    return dx * dx + dy * dy;
}

Rect spanOf(int32_t inMinX, int32_t inMaxX, int32_t inMinY, int32_t inMaxY)
{
    return Rect{inMinX, inMinY, int32_t(uint32_t(inMaxX) - uint32_t(inMinX)),
                int32_t(uint32_t(inMaxY) - uint32_t(inMinY))};
}

// Rectangles and text boxes: the area is the box itself, and a point is on the line near one of its edges.
template <class Shape, int kType>
class BoxAreaImpl : public Shape {
public:
    int getType() const override { return kType; }
    Rect getRect() const override { return this->rect; }
    bool isPointInsideArea(const Point& inPoint) const override { return isInsideRect(this->rect, inPoint); }
    int isPointOnLine(const Point& inPoint, int inTolerance) const override
    {
        return edgeOfRect(this->rect, inPoint, inTolerance);
    }
};

class MapRectImpl : public BoxAreaImpl<MapRect, MapArea::shapeRect> {
public:
    String getANTString(const PageInfo& inPage, int inRotation) const override
    {
        String text = boxedHead(*this, rect, inPage, inRotation) + borderAvisOption(*this);
        if (isColorSpecified(hiliteColor)) {
            text += String::format(" (hilite #%06X)", hiliteColor);
            if (opacity != 50)
                text += String::format(" (opacity %u)", opacity);
        }
        return text + String(")");
    }
    AutoPtr<MapArea> clone() const override { return new MapRectImpl(*this); }
};

class MapOvalImpl : public MapOval {
public:
    int getType() const override { return shapeOval; }
    Rect getRect() const override { return rect; }
    bool isPointInsideArea(const Point& inPoint) const override { return ellipseMeasure(rect, inPoint, 0) <= 1; }
    int isPointOnLine(const Point& inPoint, int inTolerance) const override
    {
        return ellipseMeasure(rect, inPoint, -double(inTolerance)) >= 1 &&
                       ellipseMeasure(rect, inPoint, double(inTolerance)) <= 1
                   ? 1
                   : 0;
    }
    String getANTString(const PageInfo& inPage, int inRotation) const override
    {
        return boxedHead(*this, rect, inPage, inRotation) + borderAvisOption(*this) + String(")");
    }
    AutoPtr<MapArea> clone() const override { return new MapOvalImpl(*this); }
};

class MapPolyImpl : public MapPoly {
public:
    int getType() const override { return shapePoly; }
    // A polygon without points has an empty box at the origin.
    Rect getRect() const override
    {
        if (points.count() == 0)
            return Rect{0, 0, 0, 0};
        int32_t minX = points[0].x, maxX = minX, minY = points[0].y, maxY = minY;
        for (const Point& p : points) {
            minX = p.x < minX ? p.x : minX;
            maxX = p.x > maxX ? p.x : maxX;
            minY = p.y < minY ? p.y : minY;
            maxY = p.y > maxY ? p.y : maxY;
        }
        return spanOf(minX, maxX, minY, maxY);
    }
    bool isPointInsideArea(const Point&) const override
    {
        MVX_THROW(errNotImplemented, "FIXME: Implement me!", "Morvenix::DjVu::MapPoly::isPointInsideArea");
    }
    int isPointOnLine(const Point&, int) const override
    {
        MVX_THROW(errNotImplemented, "FIXME: Implement me!", "Morvenix::DjVu::MapPoly::isPointOnLine");
    }
    String getANTString(const PageInfo& inPage, int inRotation) const override
    {
        if (points.count() == 0)
            MVX_THROW(errInvalidParam, "No points in poly!", "Morvenix::DjVu::MapPoly::getANTString");
        FilePlacement place(inPage, inRotation);
        // Into one buffer: adding each point to a String would copy the text once per point.
        std::string coordinates;
        for (uint32_t i = 0; i < points.count(); ++i) {
            const String point = place.point(points[i].x, points[i].y);
            coordinates.append(point.begin(), point.getLength());
            coordinates.push_back(i + 1 < points.count() ? ' ' : ')');
        }
        return head(*this) + String(coordinates.data(), int32_t(coordinates.size())) + getBorderType(*this) +
               borderAvisOption(*this) + String(")");
    }
    AutoPtr<MapArea> clone() const override { return new MapPolyImpl(*this); }
};

class MapLineImpl : public MapLine {
public:
    int getType() const override { return shapeLine; }
    Rect getRect() const override
    {
        return spanOf(x1 < x2 ? x1 : x2, x1 < x2 ? x2 : x1, y1 < y2 ? y1 : y2, y1 < y2 ? y2 : y1);
    }
    bool isPointInsideArea(const Point& inPoint) const override { return isPointOnLine(inPoint, 1) != 0; }
    int isPointOnLine(const Point&, int) const override
    {
        MVX_THROW(errNotImplemented, "FIXME: Implement me!", "Morvenix::DjVu::MapLine::isPointOnLine");
    }
    // Lines carry no border: their colour and width are options of their own.
    String getANTString(const PageInfo& inPage, int inRotation) const override
    {
        FilePlacement place(inPage, inRotation);
        String text = head(*this) + place.point(x1, y1) + String(" ") + place.point(x2, y2) + String(")");
        if (arrow)
            text += String(" (arrow)");
        if (lineWidth > 1)
            text += String::format(" (width %u)", lineWidth);
        if (isColorSpecified(lineColor))
            text += String::format(" (lineclr #%06X)", lineColor);
        return text + String(")");
    }
    AutoPtr<MapArea> clone() const override { return new MapLineImpl(*this); }
};

class MapTextImpl : public BoxAreaImpl<MapText, MapArea::shapeText> {
public:
    String getANTString(const PageInfo& inPage, int inRotation) const override
    {
        String text = boxedHead(*this, rect, inPage, inRotation);
        if (isColorSpecified(backColor))
            text += String::format(" (backclr #%06X)", backColor);
        if (isColorSpecified(textColor))
            text += String::format(" (textclr #%06X)", textColor);
        return text + String(pushpin ? " (pushpin))" : ")");
    }
    AutoPtr<MapArea> clone() const override { return new MapTextImpl(*this); }
};

} // namespace

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {

AutoPtr<MapRect> MapRect::create() { return new _Mvx_Internal_NS_::MapRectImpl(); }
AutoPtr<MapOval> MapOval::create() { return new _Mvx_Internal_NS_::MapOvalImpl(); }
AutoPtr<MapPoly> MapPoly::create() { return new _Mvx_Internal_NS_::MapPolyImpl(); }
AutoPtr<MapLine> MapLine::create() { return new _Mvx_Internal_NS_::MapLineImpl(); }
AutoPtr<MapText> MapText::create() { return new _Mvx_Internal_NS_::MapTextImpl(); }

} // namespace DjVu
} // namespace Morvenix
