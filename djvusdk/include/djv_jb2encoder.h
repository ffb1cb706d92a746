// The JB2 encoder of a group of pages: their masks are gathered first, then classified together into one
// shared shape dictionary (Djbz) and coded as one page stream (Sjbz) and one foreground palette (FGbz) per
// page. Nothing is classified or coded until the first question about the result.
#pragma once

#include "djv_chunk.h"
#include "djv_image.h"
#include "mvx_referable.h"
#include "mvx_stream.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {
namespace JB2 {

class JB2Encoder : public Referable {
public:
    struct Params {
        // Allowed pixel mismatch between a shape and a prototype, in percent of the shape's area.
        uint32_t matchThreshold;
        // Compare a shape with its best prototype a second time, removing isolated differing pixels.
        uint32_t secondCompare;
        // Accepted for the palette step; the palette keeps up to 65535 colours whatever its value.
        uint32_t paletteLimit;

        // Whether shapes are classified alike under both (the palette limit plays no part).
        bool sameClassification(const Params& inOther) const
        {
            return matchThreshold == inOther.matchThreshold && !secondCompare == !inOther.secondCompare;
        }
    };
    static Params defaultParams() { return Params{21, 1, 256}; }

    // The mask (type mtBits or, any other value, one byte a pixel; clear is foreground) and the colour
    // image (null and 0 when there is none) are both width x height. inParams may be null (the encoder's
    // own); the pages of an encoder are classified together, so parameters that classify otherwise than
    // the encoder's throw errInvalidParam. Throws errOperationFailed once the dictionary is built, and the
    // build's failure once building it failed.
    virtual void addPage(const uint8_t* inMask, int32_t inMaskStride, uint32_t inMaskType, uint32_t inWidth,
                         uint32_t inHeight, const uint8_t* inColor, int32_t inColorStride,
                         Photometric inPhotometric, const Params* inParams) = 0;

    // The first of these questions builds one dictionary shared by the group; a per-page question asked
    // first builds a dictionary per page instead (the shared one then stays empty). With no page added
    // they throw errOperationFailed. When building the dictionary fails, every later question throws that
    // failure again: the pages may have been left half-classified.
    virtual bool isDjbzEmpty() = 0;
    // Writes nothing for an empty dictionary.
    virtual void encodeDjbz(const AutoPtr<Stream>& outStream) = 0;
    // Null for an empty dictionary.
    virtual void createDjbzChunk(AutoPtr<Chunk>& outChunk) = 0;

    virtual uint32_t getPageCount() const = 0;
    // Page indices not below the page count throw errInvalidParam.
    virtual bool isSjbzEmpty(uint32_t inPageIndex) = 0;
    virtual void encodeSjbz(uint32_t inPageIndex, const AutoPtr<Stream>& outStream) = 0;
    virtual void createSjbzChunk(AutoPtr<Chunk>& outChunk, uint32_t inPageIndex) = 0;
    // True for a page without shapes or without colours.
    virtual bool isFGbzEmpty(uint32_t inPageIndex) = 0;
    virtual void encodeFGbz(uint32_t inPageIndex, const AutoPtr<Stream>& outStream) = 0;
    virtual void createFGbzChunk(AutoPtr<Chunk>& outChunk, uint32_t inPageIndex) = 0;

    // About the bytes the shapes and palettes of the pages added so far hold: what the group costs until
    // it is coded. A mark's bitmap is its whole box, so long thin strokes cost far more than their ink.
    virtual uint64_t getShapeBytes() const = 0;

    // inParams null means the defaults.
    static AutoPtr<JB2Encoder> create(const Params* inParams);

protected:
    JB2Encoder() {}
};

} // namespace JB2
} // namespace DjVu
} // namespace Morvenix
