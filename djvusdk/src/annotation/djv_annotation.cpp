// Page annotations: the annotation text written from the display hints, map areas and metadata, the
// ANTa/ANTz chunks, and the reader that takes annotation text apart again.
#include "djv_annotation.h"

#include "djv_annoparse.h"
#include "djv_mapareaparser.h"
#include "djv_payload.h"
#include "mvx_exception.h"
#include "mvx_unicode.h"

#include <cstdint>
#include <string>

#define MVX_SOURCE "djv_annotation"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;
using Morvenix::DjVu::AnnoParse::Element;
using Morvenix::DjVu::AnnoParse::ElementArray;
using Morvenix::DjVu::AnnoParse::Elements;

// Reading tables, indexed by the stored values.
const char* const kHAlignNames[] = {"none", "left", "center", "right", nullptr};
const char* const kVAlignNames[] = {"none", "top", "center", "bottom", nullptr};
const char* const kModeNames[] = {"none", "color", "bw", "fore", "back", nullptr};
// Index minus 4 is the zoom value: stretch -4 ... page -1, none 0.
const char* const kZoomNames[] = {"stretch", "one2one", "width", "page", "none", nullptr};

// Writing tables: an alignment of 0 beside a set one is written as centred.
const char* const kHAlignWords[] = {"center", "left", "center", "right"};
const char* const kVAlignWords[] = {"center", "top", "center", "bottom"};
const char* const kModeWords[] = {"", "color", "bw", "fore", "back"};

bool isBackgroundSet(uint32_t inBackground) { return inBackground < 0x1000000u; }

bool hasPageSize(const PageInfo& inInfo) { return inInfo.width != 0 && inInfo.height != 0; }

// Other DjVu software writes "default" for a hint it leaves to the viewer: the unset value.
uint32_t keywordIndex(const String& inValue, const char* const inTable[])
{
    if (inValue == String("default"))
        return 0;
    return convertString(inValue, inTable);
}

void checkRange(int32_t inValue, int32_t inMax, const char* inMessage)
{
    if (inValue < 0 || inValue > inMax)
        MVX_THROW(errInvalidParam, inMessage, "_Mvx_Internal_NS_::AnnotationImpl::getANTString");
}

// A metadata key stands bare in the text, as a symbol: other DjVu software takes any word that does not
// begin like a number, so may we, as long as our own reader reads it back as the same word.
bool isSymbolKey(const String& inKey)
{
    const char* p = inKey.begin();
    const char* end = inKey.end();
    if (p == end || (*p >= '0' && *p <= '9') || *p == '-' || *p == '+' || *p == '.')
        return false;
    while (p < end) {
        uint32_t length = 0;
        const uint32_t c = decodeUtf8Char(p, uint32_t(end - p), &length);
        if (c < 0x21 || c == 0x7F || c == '(' || c == ')' || c == '"' || c == '\\' || isWhiteSpace(c))
            return false;
        p += length ? length : 1;
    }
    return true;
}

class AnnotationImpl : public Annotation {
public:
    AnnotationImpl(int32_t inHAlign, int32_t inVAlign, uint32_t inBackground, int32_t inZoom, int32_t inMode)
        : Annotation(inHAlign, inVAlign, inBackground, inZoom, inMode), pageInfo(defaultPageInfo())
    {
    }

    void set(int32_t inHAlign, int32_t inVAlign, uint32_t inBackground, int32_t inZoom, int32_t inMode) override
    {
        hAlign = inHAlign;
        vAlign = inVAlign;
        background = inBackground;
        zoom = inZoom;
        mode = inMode;
        mapAreas.setSize(0);
        metadata = PropertySet::create();
    }

    bool isEmpty() const override
    {
        return hAlign == 0 && vAlign == 0 && !isBackgroundSet(background) && zoom == 0 && mode == 0 &&
               mapAreas.count() == 0;
    }

    void interpret(const char* inText, uint32_t inLength) override
    {
        interpret(inText, inLength, defaultPageInfo());
    }
    void interpret(const String& inText) override { interpret(inText, defaultPageInfo()); }
    void decode(const Chunk& inChunk) override { decode(inChunk, defaultPageInfo()); }
    void decode(Stream& inStream) override { decode(inStream, defaultPageInfo()); }

    void interpret(const char* inText, uint32_t inLength, const PageInfo& inInfo) override;
    void interpret(const String& inText, const PageInfo& inInfo) override
    {
        interpret(inText.begin(), inText.getLength(), inInfo);
    }
    void decode(const Chunk& inChunk, const PageInfo& inInfo) override;
    void decode(Stream& inStream, const PageInfo& inInfo) override;

    void encode(Stream& outStream) const override { encode(outStream, defaultPageInfo()); }
    String getANTString() const override { return getANTString(defaultPageInfo()); }
    void encode(Stream& outStream, const PageInfo& inInfo) const override
    {
        const String text = getANTString(inInfo);
        if (text.getLength())
            outStream.writeBytes(text.begin(), text.getLength());
    }
    String getANTString(const PageInfo& inInfo) const override;
    AutoPtr<Chunk> makeANTz() const override { return makeANTz(defaultPageInfo()); }
    AutoPtr<Chunk> makeANTz(const PageInfo& inInfo) const override { return makeChunk(inInfo, true); }
    AutoPtr<Chunk> makeANTa() const override { return makeANTa(defaultPageInfo()); }
    AutoPtr<Chunk> makeANTa(const PageInfo& inInfo) const override { return makeChunk(inInfo, false); }

    void merge(const Annotation& inOther, bool inOverwrite) override;
    int getRotation() const override { return Morvenix::DjVu::getRotation(pageInfo); }
    void setRotation(int inRotation) override;

    PageInfo pageInfo;

private:
    AutoPtr<Chunk> makeChunk(const PageInfo& inInfo, bool inCompressed) const;
    void interpretExpression(const ElementArray& inExpression, const PageInfo& inInfo, int inRotation);
};

String AnnotationImpl::getANTString(const PageInfo& inInfo) const
{
    checkRange(hAlign, 3, "The horizontal alignment is out of range!");
    checkRange(vAlign, 3, "The vertical alignment is out of range!");
    checkRange(mode, 4, "The mode is out of range!");
    if (mapAreas.count() && !hasPageSize(inInfo))
        MVX_THROW(errInvalidParam, "Map areas cannot be written without the page size!",
                  "_Mvx_Internal_NS_::AnnotationImpl::getANTString");

    // Into one buffer: adding each area, pair and expression to a String would copy the text once each.
    std::string text;
    auto append = [&text](const String& inPiece) { text.append(inPiece.begin(), inPiece.getLength()); };
    if (isBackgroundSet(background))
        append(String::format("(background #%06X)\n", background));
    switch (zoom) {
    case 0:
        break;
    case zoomStretch:
        text += "(zoom stretch)\n";
        break;
    case zoomOne2One:
        text += "(zoom one2one)\n";
        break;
    case zoomWidth:
        text += "(zoom width)\n";
        break;
    case zoomPage:
        text += "(zoom page)\n";
        break;
    default:
        append(String::format("(zoom d%d)\n", zoom));
        break;
    }
    if (mode)
        append(String::format("(mode %s)\n", kModeWords[mode]));
    if (hAlign || vAlign)
        append(String::format("(align %s %s)\n", kHAlignWords[hAlign], kVAlignWords[vAlign]));

    const int rotation = getRotation();
    for (const AutoPtr<MapArea>& area : mapAreas) {
        append(area->getANTString(inInfo, rotation));
        text += "\n";
    }

    if (metadata && !metadata->isEmpty()) {
        text += "(metadata";
        AutoPtr<PropertySetIterator> it = metadata->getIterator();
        while (it->next()) {
            const String key = it->getKey();
            if (!isSymbolKey(key))
                MVX_THROW(errInvalidParam,
                          String::format("The metadata key \"%s\" cannot be written as a symbol!", key.c_str()),
                          "_Mvx_Internal_NS_::AnnotationImpl::getANTString");
            text += " (";
            append(key);
            text += " \"";
            append(AnnoParse::escapeString(it->getValue()));
            text += "\")";
        }
        text += ")\n";
    }
    for (const String& expression : otherExpressions) {
        append(expression);
        text += "\n";
    }
    return String(text.data(), int32_t(text.size()));
}

AutoPtr<Chunk> AnnotationImpl::makeChunk(const PageInfo& inInfo, bool inCompressed) const
{
    // The text first: a value that cannot be written leaves no chunk behind.
    const String text = getANTString(inInfo);
    return makePayloadChunk(inCompressed ? "ANTz" : "ANTa", inCompressed, [&text](Stream& outStream) {
        if (text.getLength())
            outStream.writeBytes(text.begin(), text.getLength());
    });
}

void AnnotationImpl::interpret(const char* inText, uint32_t inLength, const PageInfo& inInfo)
{
    set(0, 0, backgroundNone, 0, modeColor);
    pageInfo = inInfo;
    const int rotation = Morvenix::DjVu::getRotation(inInfo);
    AutoPtr<ElementArray> expressions = ElementArray::create();
    AnnoParse::parseAnnotationText(*expressions, inText, inLength);
    for (const AutoPtr<Element>& item : expressions->getElements()) {
        const ElementArray* expression = dynamic_cast<const ElementArray*>(item.get());
        if (expression && expression->getElements().count())
            interpretExpression(*expression, inInfo, rotation);
    }
}

void AnnotationImpl::interpretExpression(const ElementArray& inExpression, const PageInfo& inInfo, int inRotation)
{
    const Elements& items = inExpression.getElements();
    const uint32_t n = items.count();
    const String keyword = items[0]->toString();
    if (keyword == String("align") && n == 3) {
        hAlign = int32_t(keywordIndex(items[1]->toString(), kHAlignNames));
        vAlign = int32_t(keywordIndex(items[2]->toString(), kVAlignNames));
    } else if (keyword == String("background") && n == 2) {
        background = convertColor(items[1]->toString());
    } else if (keyword == String("mode") && n == 2) {
        mode = int32_t(keywordIndex(items[1]->toString(), kModeNames));
    } else if (keyword == String("zoom") && n == 2) {
        const String value = items[1]->toString();
        if (value == String("default"))
            zoom = 0;
        else if (!value.isEmpty() && value[0] == 'd')
            zoom = value.substr(1).toInt();
        else
            zoom = int32_t(convertString(value, kZoomNames)) - 4;
    } else if (keyword == String("maparea") && hasPageSize(inInfo)) {
        parseMapArea(mapAreas, items, inInfo, inRotation);
    } else if (keyword == String("metadata")) {
        for (uint32_t i = 1; i < n; ++i) {
            const ElementArray* pair = dynamic_cast<const ElementArray*>(items[i].get());
            if (pair && pair->getElements().count() == 2) {
                const String key = pair->getElements()[0]->toString();
                const String value = pair->getElements()[1]->toString();
                // setValue would drop a present key for an empty value; a later pair replaces an earlier.
                metadata->removeKey(key);
                metadata->setValue(key, value);
            }
        }
    } else {
        // Unknown expressions, and map areas that cannot be placed without a page size, stay as text.
        otherExpressions.append(inExpression.toString());
    }
}

void AnnotationImpl::decode(const Chunk& inChunk, const PageInfo& inInfo)
{
    const char* const kFunction = "_Mvx_Internal_NS_::AnnotationImpl::decode";
    const String id = inChunk.getId();
    if (id != String("ANTz") && id != String("ANTa"))
        MVX_THROW(errInvalidParam, "Not a ANT* chunk!", kFunction);
    decode(*openPayload(inChunk, id == String("ANTz"), "ANT*", MVX_SOURCE, kFunction), inInfo);
}

void AnnotationImpl::decode(Stream& inStream, const PageInfo& inInfo)
{
    const uint32_t kPiece = 1048576;
    SimpleArray<unsigned char, 2> text(0, 0, nullptr, 128);
    for (;;) {
        const uint32_t done = text.count();
        text.setSize(done + kPiece);
        const uint32_t got = inStream.readBytes(text.data() + done, kPiece, false);
        text.setSize(done + got);
        if (got < kPiece)
            break;
    }
    interpret(reinterpret_cast<const char*>(text.data()), text.count(), inInfo);
}

void AnnotationImpl::merge(const Annotation& inOther, bool inOverwrite)
{
    if (inOverwrite || hAlign == 0)
        hAlign = inOther.hAlign;
    if (inOverwrite || vAlign == 0)
        vAlign = inOther.vAlign;
    if (inOverwrite || !isBackgroundSet(background))
        background = inOther.background;
    if (inOverwrite || zoom == 0)
        zoom = inOther.zoom;
    if (inOverwrite || mode == 0)
        mode = inOther.mode;
    // Counted first: merging an annotation into itself appends each area once.
    const uint32_t count = inOther.mapAreas.count();
    for (uint32_t i = 0; i < count; ++i)
        mapAreas.append(inOther.mapAreas[i]->clone());
    if (inOther.metadata) {
        if (!metadata)
            metadata = inOther.metadata->clone();
        else
            metadata->merge(inOther.metadata.get());
    }
}

// The box of a rectangle, oval or text area.
Rect& boxOf(MapArea& ioArea)
{
    if (ioArea.getType() == MapArea::shapeRect)
        return static_cast<MapRect&>(ioArea).rect;
    if (ioArea.getType() == MapArea::shapeOval)
        return static_cast<MapOval&>(ioArea).rect;
    return static_cast<MapText&>(ioArea).rect;
}

void AnnotationImpl::setRotation(int inRotation)
{
    if (inRotation < 0 || inRotation > 3)
        MVX_THROW(errInvalidParam, "The rotation must be 0 to 3!", "Morvenix::DjVu::Annotation::setRotation");
    const int current = getRotation();
    auto turn = [&](const Rect& inRect) {
        return rotateRect(inRect, current, inRotation, pageInfo.width, pageInfo.height);
    };
    // A point turns as the one-pixel square at it.
    auto turnPoint = [&](const Point& inPoint) {
        const Rect r = turn(Rect{inPoint.x, inPoint.y, 1, 1});
        return Point{r.x, r.y};
    };
    for (const AutoPtr<MapArea>& area : mapAreas) {
        switch (area->getType()) {
        case MapArea::shapeRect:
        case MapArea::shapeOval:
        case MapArea::shapeText: {
            Rect& box = boxOf(*area);
            box = turn(box);
            break;
        }
        case MapArea::shapePoly: {
            MapPoly& p = static_cast<MapPoly&>(*area);
            for (Point& point : p.points)
                point = turnPoint(point);
            break;
        }
        case MapArea::shapeLine: {
            MapLine& l = static_cast<MapLine&>(*area);
            const Point start = turnPoint(Point{l.x1, l.y1});
            const Point end = turnPoint(Point{l.x2, l.y2});
            l.x1 = start.x;
            l.y1 = start.y;
            l.x2 = end.x;
            l.y2 = end.y;
            break;
        }
        default:
            break;
        }
    }
    Morvenix::DjVu::setRotation(pageInfo, inRotation);
}

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {

using _Mvx_Internal_NS_::AnnotationImpl;

AutoPtr<Annotation> Annotation::create(int32_t inHAlign, int32_t inVAlign, uint32_t inBackground, int32_t inZoom,
                                       int32_t inMode)
{
    return AutoPtr<Annotation>(new AnnotationImpl(inHAlign, inVAlign, inBackground, inZoom, inMode));
}

AutoPtr<Annotation> Annotation::create(Stream& inStream, const PageInfo& inInfo)
{
    AutoPtr<Annotation> annotation = create(0, 0, backgroundNone, 0, modeColor);
    annotation->decode(inStream, inInfo);
    return annotation;
}

AutoPtr<Annotation> Annotation::create(const Chunk& inChunk, const PageInfo& inInfo)
{
    AutoPtr<Annotation> annotation = create(0, 0, backgroundNone, 0, modeColor);
    annotation->decode(inChunk, inInfo);
    return annotation;
}

AutoPtr<Annotation> Annotation::create(const String& inText, const PageInfo& inInfo)
{
    AutoPtr<Annotation> annotation = create(0, 0, backgroundNone, 0, modeColor);
    annotation->interpret(inText, inInfo);
    return annotation;
}

AutoPtr<Annotation> Annotation::create(Stream& inStream) { return create(inStream, defaultPageInfo()); }
AutoPtr<Annotation> Annotation::create(const Chunk& inChunk) { return create(inChunk, defaultPageInfo()); }
AutoPtr<Annotation> Annotation::create(const String& inText) { return create(inText, defaultPageInfo()); }

} // namespace DjVu
} // namespace Morvenix
