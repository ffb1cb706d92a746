// A JB2 shape: one mark of a bitonal page, a one-bit bitmap placed on the page with a foreground colour,
// possibly an exact copy or a refinement of another shape.
#pragma once

#include "djv_image.h"
#include "mvx_geometry.h"
#include "mvx_referable.h"
#include "mvx_simplearray.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {
namespace JB2 {

enum ShapeType : uint32_t {
    Normal = 0,     // own bitmap, no reference
    Match = 1,      // an exact copy of its reference, no own bitmap
    Refinement = 2, // own bitmap, coded against its reference
    NonMark = 3,    // own bitmap, no reference, never enters the JB2 library
};

// Rows of (width + 7) / 8 bytes, top row first, leftmost pixel in the most significant bit, a set bit
// being ink. The bits beyond the width in a row's last byte carry no pixel.
class ShapeBitmap {
public:
    ShapeBitmap() : m_width(0), m_height(0) {}
    // All bits clear.
    ShapeBitmap(uint32_t inWidth, uint32_t inHeight);
    // From caller rows: with inPacked one bit a pixel, each row's (width + 7) / 8 bytes copied; otherwise
    // one byte a pixel from the top row at inData, nonzero giving ink. Packed rows with a negative row step
    // come as a block given by its lowest address, the row at the highest address being the top row. No
    // data gives a clear bitmap. A row step shorter than a row throws errInvalidParam.
    ShapeBitmap(uint32_t inWidth, uint32_t inHeight, int32_t inRowStep, const uint8_t* inData, bool inPacked);

    // Sets the size and makes room for its rows; their contents are not kept.
    void resize(uint32_t inWidth, uint32_t inHeight);

    uint32_t getWidth() const { return m_width; }
    uint32_t getHeight() const { return m_height; }
    uint32_t getRowBytes() const { return (m_width + 7) / 8; }
    uint8_t* row(uint32_t inY) { return m_bits.data() + size_t(inY) * getRowBytes(); }
    const uint8_t* row(uint32_t inY) const { return m_bits.data() + size_t(inY) * getRowBytes(); }
    bool getPixel(uint32_t inX, uint32_t inY) const { return (row(inY)[inX >> 3] >> (7 - (inX & 7))) & 1; }
    void setPixel(uint32_t inX, uint32_t inY, bool inInk)
    {
        uint8_t& b = row(inY)[inX >> 3];
        const uint8_t bit = uint8_t(0x80 >> (inX & 7));
        b = inInk ? uint8_t(b | bit) : uint8_t(b & ~bit);
    }
    // Same size and the same pixels (the bits beyond the width are not compared).
    bool samePixels(const ShapeBitmap& inOther) const;

private:
    uint32_t m_width;
    uint32_t m_height;
    SimpleArray<uint8_t, 2> m_bits;
};

// Invariants: Normal and NonMark shapes have a bitmap and no reference, a Refinement has both, a Match has
// a reference and no bitmap; no shape refers to a Match. The reference count is plain: a shape belongs to
// one thread at a time.
class Shape : public ReferableNoTS {
public:
    virtual ShapeType getType() const = 0;
    // From the own bitmap, else from the reference's.
    virtual uint32_t getWidth() const = 0;
    virtual uint32_t getHeight() const = 0;
    // Top-left corner in page pixels, y counted downwards from the top row.
    virtual int32_t getX() const = 0;
    virtual int32_t getY() const = 0;
    virtual void setPosition(int32_t inX, int32_t inY) = 0;
    virtual Rect getRect() const = 0;
    virtual const ShapeBitmap& getBitmap() const = 0;
    // Throws errOperationFailed on a shape without its own bitmap (a Match).
    virtual void replaceBitmap(const ShapeBitmap& inBitmap) = 0;
    // The shape keeps its bitmap and refines the target. A null or Match target, or a shape without its
    // own bitmap, throws errOperationFailed, and a target that is this shape or refers to it (however
    // far up) throws errInvalidParam "A shape cannot refer to itself!"; the shape stays as it was.
    virtual void setRefinement(const AutoPtr<Shape>& inTarget) = 0;
    // The shape becomes an exact copy of the target and drops its bitmap; checks as setRefinement, and a
    // shape that other shapes copy or refine throws errInvalidParam (no shape may refer to a copy).
    virtual void setMatch(const AutoPtr<Shape>& inTarget) = 0;
    virtual void getColor(Color& outColor) const = 0;
    virtual void setColor(const Color& inColor) = 0;
    // The shape copied or refined, or null; no reference is added.
    virtual Shape* getReference() const = 0;

    // Normal or NonMark shapes (any other type throws errOperationFailed), from one byte a pixel (nonzero
    // is ink) or from a copy of a bitmap.
    static AutoPtr<Shape> create(uint32_t inWidth, uint32_t inHeight, int32_t inRowStep, const uint8_t* inPixels,
                                 int32_t inX, int32_t inY, ShapeType inType);
    static AutoPtr<Shape> create(const ShapeBitmap& inBitmap, int32_t inX, int32_t inY, ShapeType inType);
    static AutoPtr<Shape> createRefinement(const AutoPtr<Shape>& inReference, uint32_t inWidth, uint32_t inHeight,
                                           int32_t inRowStep, const uint8_t* inPixels, int32_t inX, int32_t inY);
    static AutoPtr<Shape> createRefinement(const AutoPtr<Shape>& inReference, const ShapeBitmap& inBitmap,
                                           int32_t inX, int32_t inY);
    static AutoPtr<Shape> createMatch(const AutoPtr<Shape>& inReference, int32_t inX, int32_t inY);

protected:
    Shape() {}
};

typedef SimpleArray<AutoPtr<Shape>, 1> ShapeList;

} // namespace JB2
} // namespace DjVu
} // namespace Morvenix
