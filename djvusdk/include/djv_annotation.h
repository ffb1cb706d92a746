// A page's annotations: display hints (alignment, background, zoom, mode), hyperlink areas and metadata,
// written as the text of an ANTa chunk or the BZZ-compressed text of an ANTz chunk, and read back.
#pragma once

#include "djv_chunk.h"
#include "djv_mapareas.h"
#include "djv_pageinfo.h"
#include "djv_propertyset.h"
#include "mvx_referable.h"
#include "mvx_simplearray.h"
#include "mvx_stream.h"
#include "mvx_string.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {

class Annotation : public Referable {
public:
    enum HAlign { hAlignNone = 0, hAlignLeft, hAlignCenter, hAlignRight };
    enum VAlign { vAlignNone = 0, vAlignTop, vAlignCenter, vAlignBottom };
    enum Zoom { zoomNone = 0, zoomStretch = -4, zoomOne2One = -3, zoomWidth = -2, zoomPage = -1 };
    enum Mode { modeNone = 0, modeColor, modeBW, modeFore, modeBack };
    // A background with a non-zero top byte is not set.
    static constexpr uint32_t backgroundNone = 0xFFFFFFFFu;

    // Filled directly by the callers. zoom: 0 not set, one of the Zoom keywords, or any other value as a
    // zoom factor in percent. The writers refuse (errInvalidParam) an alignment outside 0..3 and a mode
    // outside 0..4.
    int32_t hAlign;
    int32_t vAlign;
    uint32_t background; // 0x00RRGGBB
    int32_t zoom;
    int32_t mode;
    // In the orientation of the annotation's own page information (see getRotation).
    MapAreas mapAreas;
    // Null until set or interpret makes an empty set. Keys are written as bare symbols, so the writers
    // refuse (errInvalidParam) a key that is empty, begins with a digit, "-", "+" or "." (as numbers do),
    // or holds white space, a control character, a parenthesis, a double quote or a backslash.
    AutoPtr<PropertySet> metadata;
    // Top-level expressions that interpret did not take in, written back as they are.
    SimpleArray<String, 1> otherExpressions;

    ~Annotation() override {}

    // Stores the five values, empties mapAreas and gives metadata a new empty set; otherExpressions stay.
    virtual void set(int32_t inHAlign, int32_t inVAlign, uint32_t inBackground, int32_t inZoom, int32_t inMode) = 0;
    // No display hint set and no map area (metadata and other expressions are not looked at).
    virtual bool isEmpty() const = 0;

    // The overloads without page information use defaultPageInfo, which has no page size: a "maparea"
    // expression read without a page size cannot be placed, so it is kept in otherExpressions as written.
    virtual void interpret(const char* inText, uint32_t inLength) = 0;
    virtual void interpret(const String& inText) = 0;
    virtual void decode(const Chunk& inChunk) = 0;
    virtual void decode(Stream& inStream) = 0;

    // Parses annotation text into this object, after set(0, 0, backgroundNone, 0, 1) and taking inInfo as
    // its page information. The keyword "default" reads as the unset value 0 for align, mode and zoom.
    // Malformed text or an unknown keyword value throws errDataBroken, the values read so far staying.
    virtual void interpret(const char* inText, uint32_t inLength, const PageInfo& inInfo) = 0;
    virtual void interpret(const String& inText, const PageInfo& inInfo) = 0;
    // An "ANTa" or "ANTz" chunk (another id throws errInvalidParam). Damage the BZZ decoder meets first in
    // an "ANTz" chunk throws its errOperationFailed (djv_bzz.h), unchanged.
    virtual void decode(const Chunk& inChunk, const PageInfo& inInfo) = 0;
    // Annotation text, read to the stream's end; errors of the stream pass through unchanged.
    virtual void decode(Stream& inStream, const PageInfo& inInfo) = 0;

    // The overloads without page information write everything but map areas, and throw errInvalidParam
    // when there are map areas, which need a page size to be placed.
    virtual void encode(Stream& outStream) const = 0;
    virtual String getANTString() const = 0;
    // The annotation text for the page inInfo; strings are escaped, metadata keys written as symbols:
    // (metadata (Author "Jane")). A page without width or height throws errInvalidParam when there are
    // map areas. Nothing is written when a value cannot be.
    virtual void encode(Stream& outStream, const PageInfo& inInfo) const = 0;
    virtual String getANTString(const PageInfo& inInfo) const = 0;
    virtual AutoPtr<Chunk> makeANTz() const = 0;
    virtual AutoPtr<Chunk> makeANTz(const PageInfo& inInfo) const = 0;
    virtual AutoPtr<Chunk> makeANTa() const = 0;
    virtual AutoPtr<Chunk> makeANTa(const PageInfo& inInfo) const = 0;

    // Takes the other's display hints where inOverwrite or where this one's are not set, appends copies
    // of its map areas (without turning them) and merges its metadata.
    virtual void merge(const Annotation& inOther, bool inOverwrite) = 0;
    // Quarter turns 0..3 recorded in the annotation's own page information.
    virtual int getRotation() const = 0;
    // Turns every map area to orientation 0..3 and records it (another value throws errInvalidParam).
    virtual void setRotation(int inRotation) = 0;

    // The page information of the overloads without one: no page size, version 25, 300 dpi, rotation 0.
    static PageInfo defaultPageInfo() { return PageInfo{0, 0, 25, 0, 300, 22, 1}; }

    // The values stored as given; no map areas, no other expressions, metadata null. The add-in makes
    // every page's annotation with (0, 0, backgroundNone, 0, modeColor).
    static AutoPtr<Annotation> create(int32_t inHAlign, int32_t inVAlign, uint32_t inBackground, int32_t inZoom,
                                      int32_t inMode);
    static AutoPtr<Annotation> create(Stream& inStream, const PageInfo& inInfo);
    static AutoPtr<Annotation> create(const Chunk& inChunk, const PageInfo& inInfo);
    static AutoPtr<Annotation> create(const String& inText, const PageInfo& inInfo);
    static AutoPtr<Annotation> create(Stream& inStream);
    static AutoPtr<Annotation> create(const Chunk& inChunk);
    static AutoPtr<Annotation> create(const String& inText);

protected:
    Annotation(int32_t inHAlign, int32_t inVAlign, uint32_t inBackground, int32_t inZoom, int32_t inMode)
        : hAlign(inHAlign), vAlign(inVAlign), background(inBackground), zoom(inZoom), mode(inMode),
          mapAreas(0, 128, nullptr, 128), otherExpressions(0, 128, nullptr, 128)
    {
    }
};

} // namespace DjVu
} // namespace Morvenix
