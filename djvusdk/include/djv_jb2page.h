// The in-memory form of JB2 data: the shape list of a shared dictionary (a Djbz chunk) and of a page (an
// Sjbz chunk, with its size, the dictionary its shapes draw on and the colours of its FGbz chunk); read
// from those chunks, rendered into masks of any size and written back.
#pragma once

#include "djv_chunk.h"
#include "djv_image.h"
#include "djv_jb2shape.h"
#include "mvx_geometry.h"
#include "mvx_referable.h"
#include "mvx_simplearray.h"
#include "mvx_stream.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {
namespace JB2 {

class JB2ShapeStore : public Referable {
public:
    virtual const ShapeList& getShapes() const = 0;
    // For changing the list: drops the render index first.
    virtual ShapeList& getShapes() = 0;
    // Shrinks the list's block to its count; a page compacts its dictionary too.
    virtual void compact() = 0;
    // A page forgets which shapes cover which rows; a dictionary has nothing to drop.
    virtual void dropRenderIndex() = 0;

protected:
    JB2ShapeStore() {}
};

class JB2Dictionary : public JB2ShapeStore {
public:
    static AutoPtr<JB2Dictionary> create();
    // Decoded from dictionary data (a Djbz chunk's body). Damaged data throws errDataBroken (records that
    // do not belong, sizes and indices out of range, marks of more than 2^28 pixels or streams of more than
    // 2^30, more than 2^24 - 1 shapes, or shapes whose memory exceeds 32 MB and 16 KB a byte read or 1 GB
    // in all), errInvalidParam (places past the 32-bit range) or the stream's and the arithmetic decoder's
    // own errors (data cut short), and gives no dictionary.
    static AutoPtr<JB2Dictionary> create(const AutoPtr<Stream>& inStream);
    static AutoPtr<JB2Dictionary> create(const Chunk& inDjbz);

protected:
    JB2Dictionary() {}
};

class JB2Page : public JB2ShapeStore {
public:
    virtual uint32_t getWidth() const = 0;
    virtual uint32_t getHeight() const = 0;
    virtual bool hasFGbz() const = 0;
    virtual const JB2Dictionary* getDictionary() const = 0;
    // Drops the render index first: the dictionary's shapes may change through it.
    virtual JB2Dictionary* getDictionary() = 0;

    // Gives every shape its colour from FGbz data; once only (a second call throws errOperationFailed).
    // A failed read leaves every shape's colour as it was.
    virtual void addFGbz(const Chunk& inFGbz) = 0;
    virtual void addFGbz(const AutoPtr<Stream>& inStream) = 0;

    // Renders the window (target pixels, inside the target size) of the page scaled to the target size
    // into outBuffer, whose first row is the window's top row. A target size of 0 means the page's own.
    // Pixels: the photometric's colour bytes (3, or 1 for grey; phYCC's colour differences signed, as
    // YCCPixel reads them), followed with inAlpha by a coverage byte (the colours premultiplied by it);
    // without inAlpha the shapes are blended over what the buffer holds.
    // The same size paints pixel for pixel, a smaller one (in both directions) reduces by area with a tent
    // filter (inFilter 0) or a box filter (otherwise), anything else interpolates. The shapes paint in
    // their colours, or in the second form in the colour of the foreground image (in the target's colour
    // layout, at least 1 x 1) under them. Shapes that reach below the page are not drawn. A photometric
    // above phYCC throws errOperationFailed; a missing window or buffer, a window outside the target or a
    // row step too short for its rows throws errInvalidParam.
    virtual void renderMask(uint8_t* outBuffer, int32_t inRowStep, Photometric inPhotometric, const Rect* inWindow,
                            uint32_t inTargetWidth, uint32_t inTargetHeight, bool inAlpha, uint32_t inFilter) = 0;
    virtual void renderMask(uint8_t* outBuffer, int32_t inRowStep, Photometric inPhotometric, const Rect* inWindow,
                            uint32_t inTargetWidth, uint32_t inTargetHeight, const uint8_t* inForeground,
                            int32_t inForegroundRowStep, uint32_t inForegroundWidth, uint32_t inForegroundHeight,
                            bool inAlpha, uint32_t inFilter) = 0;

    // The page as page data (an Sjbz chunk's body), asking for its dictionary when it has one.
    virtual void encode(const AutoPtr<Stream>& outStream) = 0;
    virtual AutoPtr<Chunk> createSjbzChunk() = 0;
    // The shapes' colours as FGbz data: the palette of their colours and one index per shape.
    // inPaletteLimit is not used: the palette holds every colour up to 65535.
    virtual void encodeFGbz(const AutoPtr<Stream>& outStream, uint32_t inPaletteLimit) = 0;
    virtual AutoPtr<Chunk> createFGbzChunk(uint32_t inPaletteLimit) = 0;

    // An empty page of that size, without dictionary, shapes or colours.
    static AutoPtr<JB2Page> create(uint32_t inWidth, uint32_t inHeight);
    // Decoded from page data (an Sjbz chunk's body) whose matches and refinements may name the shapes of
    // the dictionary; a dictionary not made by this library counts as none. Failures as for a dictionary.
    static AutoPtr<JB2Page> create(const AutoPtr<Stream>& inStream, const JB2Dictionary* inDictionary);
    static AutoPtr<JB2Page> create(const Chunk& inSjbz, const JB2Dictionary* inDictionary);

protected:
    JB2Page() {}
};

} // namespace JB2
} // namespace DjVu
} // namespace Morvenix
