// The hidden text layer of a page: a tree of text zones (page, columns, regions, paragraphs, lines, words,
// characters) with their rectangles and, at the leaves, their UTF-8 text; written as TXTa/TXTz chunks and
// read back in the page's orientation.
#pragma once

#include "djv_chunk.h"
#include "djv_pageinfo.h"
#include "mvx_geometry.h"
#include "mvx_referable.h"
#include "mvx_simplearray.h"
#include "mvx_stream.h"
#include "mvx_string.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {

class TextSearcher;

class TextZone : public Referable {
public:
    typedef SimpleArray<AutoPtr<TextZone>, 1> Children;

    // Zone types of the DjVu hidden-text format.
    enum Type { zonePage = 1, zoneColumn, zoneRegion, zoneParagraph, zoneLine, zoneWord, zoneCharacter };

    // Filled directly by the callers. rect is in page pixels, origin top-left, y downward, in the page's
    // current orientation. Only leaves (zones without children) carry text and rectangles that count: a
    // zone with children takes both from them.
    int32_t type;
    Rect rect;
    String text;
    Children children;

    ~TextZone() override {}

    // Writes the TXT payload of this zone's tree for a page with the given INFO values; a value that does
    // not fit its field in the format throws errInvalidParam and nothing wrong is written.
    virtual void encode(Stream& outStream, const PageInfo& inInfo) = 0;
    virtual AutoPtr<Chunk> makeTXTz(const PageInfo& inInfo) = 0;
    virtual AutoPtr<Chunk> makeTXTa(const PageInfo& inInfo) = 0;
    // Quarter turns 0..3 of the page information the zone holds (0 without any).
    virtual int getRotation() const = 0;
    // Turns the whole tree to orientation inRotation; needs page information (errInvalidParam without).
    virtual void setRotation(int inRotation) = 0;
    virtual Rect getBoundingRect() const = 0;
    virtual String getText() const = 0;
    // A searcher over this zone's tree (djv_textsearch.h); the zone must be held by an AutoPtr.
    virtual AutoPtr<TextSearcher> createSearcher();

    // Empty text, cleared rectangle, no children, no page information.
    static AutoPtr<TextZone> create(int32_t inType);
    // A page zone that holds a copy of the page information.
    static AutoPtr<TextZone> create(const PageInfo& inInfo);
    static AutoPtr<TextZone> create(const String& inText, int32_t inType, int32_t inX, int32_t inY,
                                    int32_t inWidth, int32_t inHeight);

    // The tree of a "TXTz" or "TXTa" chunk (another id throws errInvalidParam), or of a TXT payload read
    // from a stream, in the orientation the page information records. A damaged TXT payload throws
    // errDataBroken. Damage the BZZ decoder meets first in a "TXTz" chunk throws its errOperationFailed
    // (djv_bzz.h), and errors of the stream read from pass through, both unchanged.
    static AutoPtr<TextZone> decode(const Chunk& inChunk, const PageInfo& inInfo);
    static AutoPtr<TextZone> decode(Stream& inStream, const PageInfo& inInfo);

    // The deepest nesting of zones the reader and the writer accept (the format uses 7 levels).
    static const uint32_t maxDepth = 64;

protected:
    explicit TextZone(int32_t inType) : type(inType), rect{0, 0, 0, 0}, children(0, 16, nullptr, 128) {}
};

// The union of the zones' bounding rectangles; an empty list gives a cleared rectangle.
Rect getBoundingRect(const TextZone::Children& inZones);

} // namespace DjVu
} // namespace Morvenix
