// Map areas read back from their "(maparea ...)" expressions. Lenient: a malformed expression is traced and
// skipped; only a bad colour throws.
#include "djv_mapareaparser.h"

#include "mvx_format.h"

#include <cstdint>
#include <cstring>

#define MVX_SOURCE "djv_mapareaparser"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::AnnoParse;

namespace {

const ElementArray* asList(const AutoPtr<Element>& inItem) { return dynamic_cast<const ElementArray*>(inItem.get()); }

bool isWord(const String& inText, const char* inWord)
{
    size_t length = std::strlen(inWord);
    return inText.getLength() == length && std::memcmp(inText.begin(), inWord, length) == 0;
}

void trace(const char* inFormat, const Element& inItem) { debugTrace(inFormat, inItem.toString().ansi_str()); }

int32_t numberAt(const Elements& inItems, uint32_t inIndex) { return inItems[inIndex]->toString().toInt(); }

// Text coordinates count from the bottom of the page; the areas' from the top. Wraps like the writer.
int32_t flip(uint32_t inHeight, int32_t inY, int32_t inSize)
{
    return int32_t(inHeight - uint32_t(inY) - uint32_t(inSize));
}

// Builds the shape's area, or returns null (traced) when the shape is not one the format knows.
AutoPtr<MapArea> makeShape(const ElementArray& inShape, uint32_t inPageHeight)
{
    const Elements& items = inShape.getElements();
    uint32_t k = items.count();
    String keyword = items[0]->toString();
    if (k == 5 && isWord(keyword, "line")) {
        AutoPtr<MapLine> line = MapLine::create();
        line->x1 = numberAt(items, 1);
        line->y1 = flip(inPageHeight, numberAt(items, 2), 1);
        line->x2 = numberAt(items, 3);
        line->y2 = flip(inPageHeight, numberAt(items, 4), 1);
        return line;
    }
    if (k == 5 && (isWord(keyword, "rect") || isWord(keyword, "oval") || isWord(keyword, "text"))) {
        int32_t x = numberAt(items, 1), y = numberAt(items, 2), w = numberAt(items, 3), h = numberAt(items, 4);
        Rect rect{x, flip(inPageHeight, y, h), w, h};
        if (isWord(keyword, "rect")) {
            AutoPtr<MapRect> area = MapRect::create();
            area->rect = rect;
            return area;
        }
        if (isWord(keyword, "oval")) {
            AutoPtr<MapOval> area = MapOval::create();
            area->rect = rect;
            return area;
        }
        AutoPtr<MapText> area = MapText::create();
        area->rect = rect;
        return area;
    }
    if (k % 2 == 1 && isWord(keyword, "poly")) {
        AutoPtr<MapPoly> poly = MapPoly::create();
        for (uint32_t i = 1; i + 1 < k; i += 2)
            poly->points.append(Point{numberAt(items, i), flip(inPageHeight, numberAt(items, i + 1), 1)});
        return poly;
    }
    trace("Invalid maparea: %s\n", inShape);
    return AutoPtr<MapArea>();
}

// The options every shape but a line shares; false when the option is none of them.
bool applySharedOption(MapArea& ioArea, const String& inName, const Elements& inOption)
{
    uint32_t m = inOption.count();
    if (m == 1 && isWord(inName, "none"))
        ioArea.borderType = MapArea::borderNone;
    else if (m == 1 && isWord(inName, "xor"))
        ioArea.borderType = MapArea::borderXor;
    else if (m == 2 && isWord(inName, "border")) {
        ioArea.borderType = MapArea::borderSolid;
        ioArea.lineColor = convertColor(inOption[1]->toString());
    } else if (m == 1 && isWord(inName, "border_avis"))
        ioArea.borderAvis = true;
    else
        return false;
    return true;
}

void applyRectOption(MapRect& ioArea, const String& inName, const Elements& inOption)
{
    static const char* const kShadows[4] = {"shadow_in", "shadow_out", "shadow_ein", "shadow_eout"};
    if (inOption.count() != 2)
        return;
    for (uint32_t i = 0; i < 4; ++i) {
        if (isWord(inName, kShadows[i])) {
            ioArea.borderType = MapArea::borderShadowIn + i;
            ioArea.lineWidth = uint32_t(inOption[1]->toString().toInt());
            return;
        }
    }
    if (isWord(inName, "hilite")) {
        ioArea.hiliteColor = convertColor(inOption[1]->toString());
        ioArea.opacity = 50;
    } else if (isWord(inName, "opacity")) {
        ioArea.opacity = uint32_t(inOption[1]->toString().toInt());
    }
}

void applyLineOption(MapLine& ioArea, const String& inName, const Elements& inOption)
{
    uint32_t m = inOption.count();
    if (m == 1 && isWord(inName, "arrow"))
        ioArea.arrow = true;
    else if (m == 2 && isWord(inName, "width"))
        ioArea.lineWidth = uint32_t(inOption[1]->toString().toInt());
    else if (m == 2 && isWord(inName, "lineclr"))
        ioArea.lineColor = convertColor(inOption[1]->toString());
}

void applyTextOption(MapText& ioArea, const String& inName, const Elements& inOption)
{
    uint32_t m = inOption.count();
    if (m == 2 && isWord(inName, "backclr"))
        ioArea.backColor = convertColor(inOption[1]->toString());
    else if (m == 2 && isWord(inName, "textclr"))
        ioArea.textColor = convertColor(inOption[1]->toString());
    else if (m == 1 && isWord(inName, "pushpin"))
        ioArea.pushpin = true;
}

void applyOption(MapArea& ioArea, const ElementArray& inOption)
{
    const Elements& items = inOption.getElements();
    if (items.count() == 0) {
        // Nothing names the option; an oval or polygon reports it like any other unknown option.
        if (ioArea.getType() == MapArea::shapeOval || ioArea.getType() == MapArea::shapePoly)
            trace("Invalid option: %s\n", inOption);
        return;
    }
    String name = items[0]->toString();
    int type = ioArea.getType();
    if (type != MapArea::shapeLine && applySharedOption(ioArea, name, items))
        return;
    switch (type) {
    case MapArea::shapeRect:
        applyRectOption(static_cast<MapRect&>(ioArea), name, items);
        break;
    case MapArea::shapeLine:
        applyLineOption(static_cast<MapLine&>(ioArea), name, items);
        break;
    case MapArea::shapeText:
        applyTextOption(static_cast<MapText&>(ioArea), name, items);
        break;
    default:
        trace("Invalid option: %s\n", inOption);
        break;
    }
}

} // namespace

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {

void parseMapArea(MapAreas& ioAreas, const AnnoParse::Elements& inItems, const PageInfo& inInfo, int inRotation)
{
    using namespace _Mvx_Internal_NS_;
    if (inItems.count() < 4) {
        if (inItems.count() > 0)
            trace("Not enough parameters : %s\n", *inItems[0]);
        return;
    }
    const ElementArray* shape = asList(inItems[3]);
    if (!shape) {
        trace("Not supposed type : %s\n", *inItems[3]);
        return;
    }
    if (shape->getElements().count() < 5) {
        trace("Not enough parameters : %s\n", *inItems[3]);
        return;
    }
    uint32_t pageHeight = (inRotation & 1) ? inInfo.width : inInfo.height;
    AutoPtr<MapArea> area = makeShape(*shape, pageHeight);
    if (!area)
        return;

    area->comment = inItems[2]->toString();
    if (const ElementArray* link = asList(inItems[1])) {
        const AnnoParse::Elements& parts = link->getElements();
        if (parts.count() == 3) {
            area->url = rewriteMapAreaUrl(parts[1]->toString());
            area->target = parts[2]->toString();
        }
    } else {
        area->url = rewriteMapAreaUrl(inItems[1]->toString());
    }

    for (uint32_t i = 4; i < inItems.count(); ++i) {
        if (const ElementArray* option = asList(inItems[i]))
            applyOption(*area, *option);
        else
            trace("Invalid option: %s\n", *inItems[i]);
    }
    ioAreas.append(area);
}

String rewriteMapAreaUrl(const String& inUrl)
{
    if (!inUrl.startsWith(String("#file://")))
        return inUrl;
    // By bytes: no multi-byte sequence holds a '/', and a damaged one must not hide the last.
    const char* text = inUrl.begin();
    uint32_t name = inUrl.getLength();
    while (text[name - 1] != '/')
        --name;
    return String("#") + inUrl.substr(name);
}

} // namespace DjVu
} // namespace Morvenix
