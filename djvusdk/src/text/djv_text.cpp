// Text zones: the zone tree, its orientation, and the TXT payload written and read.
#include "djv_text.h"

#include "djv_payload.h"
#include "mvx_exception.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#define MVX_SOURCE "djv_text"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;

class PageInfoW : public Referable {
public:
    explicit PageInfoW(const PageInfo& inInfo) : info(inInfo) {}
    PageInfo info;
};

class TextZoneImpl : public TextZone {
public:
    explicit TextZoneImpl(int32_t inType) : TextZone(inType) {}

    void encode(Stream& outStream, const PageInfo& inInfo) override;
    AutoPtr<Chunk> makeTXTz(const PageInfo& inInfo) override;
    AutoPtr<Chunk> makeTXTa(const PageInfo& inInfo) override;

    int getRotation() const override { return m_pageInfo ? Morvenix::DjVu::getRotation(m_pageInfo->info) : 0; }

    void setRotation(int inRotation) override
    {
        if (!m_pageInfo)
            MVX_THROW(errInvalidParam, "The zone has no page information to turn with!",
                      "Morvenix::DjVu::TextZone::setRotation");
        turnTo(inRotation & 3);
    }

    Rect getBoundingRect() const override
    {
        if (children.count() == 0)
            return rect;
        return Morvenix::DjVu::getBoundingRect(children);
    }

    String getText() const override
    {
        if (children.count() == 0)
            return text;
        String all;
        for (const AutoPtr<TextZone>& child : children)
            all += child->getText();
        return all;
    }

    void attachPageInfo(const PageInfo& inInfo) { m_pageInfo = new PageInfoW(inInfo); }

    // Turns the tree from the orientation its page information records to inRotation and records it.
    void turnTo(int inRotation)
    {
        int current = Morvenix::DjVu::getRotation(m_pageInfo->info);
        if (current == inRotation)
            return;
        turnSubtree(current, inRotation);
        Morvenix::DjVu::setRotation(m_pageInfo->info, inRotation);
    }

    // Turns the rectangles only; the page information stays as it is.
    void turnSubtree(int inFrom, int inTo)
    {
        if (inFrom != inTo)
            turnSubtree(*this, inFrom, inTo, m_pageInfo->info.width, m_pageInfo->info.height);
    }

private:
    // Children before their parent.
    static void turnSubtree(TextZone& ioZone, int inFrom, int inTo, uint32_t inWidth, uint32_t inHeight)
    {
        for (AutoPtr<TextZone>& child : ioZone.children)
            turnSubtree(*child, inFrom, inTo, inWidth, inHeight);
        ioZone.rect = rotateRect(ioZone.rect, inFrom, inTo, inWidth, inHeight);
    }

    AutoPtr<PageInfoW> m_pageInfo;
};

// ---- Writing ----

const char* const kEncodeFunction = "Morvenix::DjVu::TextZone::encode";
const uint32_t kMaxLength24 = 0xFFFFFF;

// The writer's mirror of a zone, in the file's system (unrotated page, origin bottom-left, y upward). The
// values are kept in 64 bits so that a tree too large for the format is refused, not wrapped.
class TextZoneForEncoding : public ReferableNoTS {
public:
    TextZoneForEncoding() : children(0, 0, nullptr, 128) {}

    int32_t type = 0;
    int64_t x = 0, y = 0, width = 0, height = 0;
    uint64_t textLength = 0;
    SimpleArray<AutoPtr<TextZoneForEncoding>, 1> children;
};

AutoPtr<TextZoneForEncoding> buildMirror(const TextZone& inZone, int inRotation, const PageInfo& inInfo,
                                         uint32_t inDepth)
{
    if (inDepth >= TextZone::maxDepth)
        MVX_THROW(errInvalidParam, "Text zones are nested too deeply!", kEncodeFunction);
    if (inZone.type < TextZone::zonePage || inZone.type > TextZone::zoneCharacter)
        MVX_THROW(errInvalidParam, String::format("Unknown text zone type %d!", int(inZone.type)), kEncodeFunction);
    if (inZone.children.count() > kMaxLength24)
        MVX_THROW(errInvalidParam, "A text zone has too many children for the TXT format!", kEncodeFunction);

    AutoPtr<TextZoneForEncoding> mirror(new TextZoneForEncoding);
    mirror->type = inZone.type;
    if (inZone.children.count() == 0) {
        mirror->textLength = inZone.text.getLength();
        // Readers refuse a page's whole text layer for one empty zone (an empty page's root included): a
        // leaf without width or height gets one pixel of it from its corner, and the zones around it, made
        // from their children, hold it.
        Rect grown = inZone.rect;
        grown.width = std::max(grown.width, int32_t(1));
        grown.height = std::max(grown.height, int32_t(1));
        Rect r = rotateRect(grown, inRotation, 0, inInfo.width, inInfo.height);
        mirror->x = r.x;
        mirror->y = int64_t(inInfo.height) - r.y - r.height;
        mirror->width = r.width;
        mirror->height = r.height;
        return mirror;
    }
    mirror->children.reserve(inZone.children.count());
    int64_t right = 0, bottom = 0;
    for (uint32_t i = 0; i < inZone.children.count(); ++i) {
        AutoPtr<TextZoneForEncoding> child = buildMirror(*inZone.children[i], inRotation, inInfo, inDepth + 1);
        int64_t childRight = child->x + child->width, childBottom = child->y + child->height;
        if (i == 0 || child->x < mirror->x)
            mirror->x = child->x;
        if (i == 0 || child->y < mirror->y)
            mirror->y = child->y;
        if (i == 0 || childRight > right)
            right = childRight;
        if (i == 0 || childBottom > bottom)
            bottom = childBottom;
        mirror->textLength += child->textLength;
        mirror->children.append(child);
    }
    mirror->width = right - mirror->x;
    mirror->height = bottom - mirror->y;
    return mirror;
}

void put16(unsigned char* out, int64_t inValue, const char* inWhat)
{
    if (inValue < -0x8000 || inValue > 0x7FFF)
        MVX_THROW(errInvalidParam,
                  String::format("The %s %lld of a text zone does not fit the TXT format!", inWhat,
                                 (long long)inValue),
                  kEncodeFunction);
    uint32_t v = uint32_t(inValue + 0x8000);
    out[0] = uint8_t(v >> 8);
    out[1] = uint8_t(v);
}

void put24(unsigned char* out, uint64_t inValue)
{
    // Callers have checked the range.
    out[0] = uint8_t(inValue >> 16);
    out[1] = uint8_t(inValue >> 8);
    out[2] = uint8_t(inValue);
}

// The relative position of a zone: the rule follows the type of the zone written.
void relativeOffsets(const TextZoneForEncoding& inZone, const TextZoneForEncoding* inParent,
                     const TextZoneForEncoding* inPrev, int64_t& outDx, int64_t& outDy)
{
    if (inPrev) {
        if (inZone.type == 1 || inZone.type == 4 || inZone.type == 5) {
            outDx = inZone.x - inPrev->x;
            outDy = inPrev->y - (inZone.y + inZone.height);
        } else {
            outDx = inZone.x - (inPrev->x + inPrev->width);
            outDy = inZone.y - inPrev->y;
        }
    } else if (inParent) {
        outDx = inZone.x - inParent->x;
        outDy = (inParent->y + inParent->height) - (inZone.y + inZone.height);
    } else {
        outDx = inZone.x;
        outDy = inZone.y;
    }
}

// Every record is checked before anything is written, so a refused tree leaves the stream untouched.
void buildRecords(const TextZoneForEncoding& inZone, const TextZoneForEncoding* inParent,
                  const TextZoneForEncoding* inPrev, SimpleArray<unsigned char, 2>& ioRecords)
{
    int64_t dx, dy;
    relativeOffsets(inZone, inParent, inPrev, dx, dy);
    uint32_t at = ioRecords.count();
    ioRecords.setSize(at + 17);
    unsigned char* out = ioRecords.data() + at;
    out[0] = uint8_t(inZone.type);
    put16(out + 1, dx, "horizontal offset");
    put16(out + 3, dy, "vertical offset");
    put16(out + 5, inZone.width, "width");
    put16(out + 7, inZone.height, "height");
    put16(out + 9, 0, "text offset");
    put24(out + 11, inZone.textLength);
    put24(out + 14, inZone.children.count());
    const TextZoneForEncoding* prev = nullptr;
    for (const AutoPtr<TextZoneForEncoding>& child : inZone.children) {
        buildRecords(*child, &inZone, prev, ioRecords);
        prev = child.get();
    }
}

void collectLeafText(const TextZone& inZone, SimpleArray<unsigned char, 2>& ioText)
{
    if (inZone.children.count() == 0) {
        uint32_t n = inZone.text.getLength();
        if (n) {
            uint32_t at = ioText.count();
            ioText.setSize(at + n);
            std::memcpy(ioText.data() + at, inZone.text.c_str(), n);
        }
        return;
    }
    for (const AutoPtr<TextZone>& child : inZone.children)
        collectLeafText(*child, ioText);
}

void TextZoneImpl::encode(Stream& outStream, const PageInfo& inInfo)
{
    AutoPtr<TextZoneForEncoding> root = buildMirror(*this, Morvenix::DjVu::getRotation(inInfo), inInfo, 0);
    if (root->textLength > kMaxLength24)
        MVX_THROW(errInvalidParam,
                  String::format("The page text of %llu bytes is too long for the TXT format!",
                                 (unsigned long long)root->textLength),
                  kEncodeFunction);
    SimpleArray<unsigned char, 2> records;
    buildRecords(*root, nullptr, nullptr, records);

    SimpleArray<unsigned char, 2> head(3);
    if (root->textLength == 0) {
        // An empty layer still carries one character of text, as other readers expect.
        static const unsigned char kEmptyText[4] = {0, 0, 1, ' '};
        head.setSize(4);
        std::memcpy(head.data(), kEmptyText, 4);
    } else {
        put24(head.data(), root->textLength);
        collectLeafText(*this, head);
    }
    head.append(1); // version
    outStream.writeBytes(head.data(), head.count());
    outStream.writeBytes(records.data(), records.count());
}

AutoPtr<Chunk> TextZoneImpl::makeTXTa(const PageInfo& inInfo)
{
    return makePayloadChunk("TXTa", false, [&](Stream& outStream) { encode(outStream, inInfo); });
}

AutoPtr<Chunk> TextZoneImpl::makeTXTz(const PageInfo& inInfo)
{
    return makePayloadChunk("TXTz", true, [&](Stream& outStream) { encode(outStream, inInfo); });
}

// ---- Reading ----

const char* const kDecodeFunction = "Morvenix::DjVu::TextZone::decode";

[[noreturn]] void broken(const char* inWhy) { MVX_THROW(errDataBroken, inWhy, kDecodeFunction); }

// A zone's rectangle in the file's system while its neighbours are read.
struct FileRect {
    int64_t x, y, width, height;
};

class TxtReader {
public:
    TxtReader(Stream& inStream, const PageInfo& inInfo) : m_stream(inStream), m_info(inInfo), m_text(0, 0) {}

    AutoPtr<TextZone> read()
    {
        unsigned char len[3];
        readExact(len, 3);
        uint32_t n = get24(len);
        m_text.resize(n, int32_t(n));
        if (n)
            readExact(m_text.data(), n);
        unsigned char version;
        readExact(&version, 1);
        if (version != 1)
            broken("Unknown TXT? chunk format!");
        AutoPtr<TextZoneImpl> root(new TextZoneImpl(TextZone::zonePage));
        FileRect rootRect;
        readRecord(*root, rootRect, nullptr, nullptr, 0, 0);
        // The records hold the unrotated page; the tree is handed out in the page's orientation.
        root->attachPageInfo(m_info);
        root->turnSubtree(0, Morvenix::DjVu::getRotation(m_info));
        return AutoPtr<TextZone>(root);
    }

private:
    static uint32_t get24(const unsigned char* p) { return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]; }
    static int64_t getSigned16(const unsigned char* p) { return int64_t((uint32_t(p[0]) << 8) | p[1]) - 0x8000; }

    void readExact(void* outBuffer, uint32_t inSize)
    {
        if (m_stream.readBytes(outBuffer, inSize, false) != inSize)
            broken("The TXT data ends too early!");
    }

    static int32_t checked32(int64_t inValue)
    {
        if (inValue < INT32_MIN || inValue > INT32_MAX)
            broken("A text zone lies outside the coordinate range!");
        return int32_t(inValue);
    }

    // Returns where the next sibling's text begins.
    int64_t readRecord(TextZone& outZone, FileRect& outRect, const FileRect* inParent, const FileRect* inPrev,
                       int64_t inPos, uint32_t inDepth)
    {
        if (inDepth >= TextZone::maxDepth)
            broken("Text zones are nested too deeply!");
        unsigned char rec[17];
        readExact(rec, 17);
        int32_t type = rec[0];
        int64_t dx = getSigned16(rec + 1), dy = getSigned16(rec + 3);
        FileRect& r = outRect;
        r.width = getSigned16(rec + 5);
        r.height = getSigned16(rec + 7);
        int64_t start = inPos + getSigned16(rec + 9);
        uint32_t length = get24(rec + 11);
        uint32_t childCount = get24(rec + 14);

        if (inPrev) {
            if (type == 1 || type == 4 || type == 5) {
                r.x = inPrev->x + dx;
                r.y = inPrev->y - dy - r.height;
            } else {
                r.x = inPrev->x + inPrev->width + dx;
                r.y = inPrev->y + dy;
            }
        } else if (inParent) {
            r.x = inParent->x + dx;
            r.y = inParent->y + inParent->height - r.height - dy;
        } else {
            r.x = dx;
            r.y = dy;
        }
        // Chains of relative offsets can drift anywhere: keep every value a 32-bit rectangle can hold.
        outZone.type = type;
        outZone.rect.x = checked32(r.x);
        outZone.rect.width = checked32(r.width);
        outZone.rect.height = checked32(r.height);
        outZone.rect.y = checked32(int64_t(m_info.height) - r.height - r.y);

        if (start < 0 || start + int64_t(length) > int64_t(m_text.count()))
            broken("The text of a zone lies outside the page text!");

        if (childCount == 0) {
            if (length)
                outZone.text = String(reinterpret_cast<const char*>(m_text.data() + start), int32_t(length));
            return start + length;
        }
        int64_t pos = start;
        FileRect prevRect;
        for (uint32_t i = 0; i < childCount; ++i) {
            AutoPtr<TextZone> child(new TextZoneImpl(TextZone::zonePage));
            FileRect childRect;
            pos = readRecord(*child, childRect, &r, i ? &prevRect : nullptr, pos, inDepth + 1);
            outZone.children.append(child);
            prevRect = childRect;
        }
        return start + length;
    }

    Stream& m_stream;
    const PageInfo& m_info;
    SimpleArray<unsigned char, 2> m_text;
};

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {

using _Mvx_Internal_NS_::TextZoneImpl;

AutoPtr<TextZone> TextZone::create(int32_t inType) { return AutoPtr<TextZone>(new TextZoneImpl(inType)); }

AutoPtr<TextZone> TextZone::create(const PageInfo& inInfo)
{
    TextZoneImpl* zone = new TextZoneImpl(zonePage);
    AutoPtr<TextZone> result(zone);
    zone->attachPageInfo(inInfo);
    return result;
}

AutoPtr<TextZone> TextZone::create(const String& inText, int32_t inType, int32_t inX, int32_t inY,
                                   int32_t inWidth, int32_t inHeight)
{
    AutoPtr<TextZone> zone(new TextZoneImpl(inType));
    zone->text = inText;
    zone->rect = Rect{inX, inY, inWidth, inHeight};
    return zone;
}

AutoPtr<TextZone> TextZone::decode(Stream& inStream, const PageInfo& inInfo)
{
    return _Mvx_Internal_NS_::TxtReader(inStream, inInfo).read();
}

AutoPtr<TextZone> TextZone::decode(const Chunk& inChunk, const PageInfo& inInfo)
{
    const char* const kFunction = "Morvenix::DjVu::TextZone::decode";
    const String id = inChunk.getId();
    if (id != String("TXTz") && id != String("TXTa"))
        MVX_THROW(errInvalidParam, "The input is not TXT* chunk!", kFunction);
    return decode(*openPayload(inChunk, id == String("TXTz"), "TXT*", MVX_SOURCE, kFunction), inInfo);
}

Rect getBoundingRect(const TextZone::Children& inZones)
{
    if (inZones.count() == 0)
        return Rect{0, 0, 0, 0};
    int64_t left = 0, top = 0, right = 0, bottom = 0;
    for (uint32_t i = 0; i < inZones.count(); ++i) {
        Rect r = inZones[i]->getBoundingRect();
        if (i == 0 || r.x < left)
            left = r.x;
        if (i == 0 || r.y < top)
            top = r.y;
        if (i == 0 || r.right() > right)
            right = r.right();
        if (i == 0 || r.bottom() > bottom)
            bottom = r.bottom();
    }
    return Rect{int32_t(left), int32_t(top), int32_t(right - left), int32_t(bottom - top)};
}

} // namespace DjVu
} // namespace Morvenix
