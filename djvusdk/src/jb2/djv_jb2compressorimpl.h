// The JB2 record writer behind Compressor::encodeSjbz and encodeDjbz: one object writes one stream,
// record by record, through a ZP encoder.
#pragma once

#include "djv_jb2coder.h"
#include "djv_jb2shape.h"
#include "djv_zpcoder.h"
#include "mvx_simplearray.h"
#include "mvx_stream.h"
#include "mvx_string.h"

#include <cstdint>
#include <memory>
#include <unordered_map>

namespace _Mvx_Internal_NS_ {

class JB2Compressor final : public Morvenix::DjVu::JB2::JB2CoderImpl {
public:
    typedef Morvenix::DjVu::JB2::Shape Shape;
    typedef Morvenix::DjVu::JB2::ShapeBitmap ShapeBitmap;
    typedef Morvenix::DjVu::JB2::ShapeList ShapeList;

    JB2Compressor();

    int codeBit(int inBit, uint8_t* ioContext) override
    {
        m_zp->encode(inBit, *ioContext);
        return inBit;
    }

    // Whole streams: reset, records, end of data, flush.
    void encodePage(const Morvenix::AutoPtr<Morvenix::Stream>& outStream, uint32_t inWidth, uint32_t inHeight,
                    const ShapeList& inShapes, const ShapeList* inDictionary);
    void encodeDictionary(const Morvenix::AutoPtr<Morvenix::Stream>& outStream, const ShapeList& inShapes);

    // A stream's frame: beginStream resets the coder and the library and opens the ZP encoder over the
    // output; endStream flushes and closes it. The records go in between.
    void beginStream(const Morvenix::AutoPtr<Morvenix::Stream>& outStream);
    void endStream();

    void encodeStartOfImage(uint32_t inWidth, uint32_t inHeight);
    // Before the start record: the count of dictionary shapes the page inherits. After it: a number-coder
    // reset.
    void encodeRequiredDictOrReset(uint32_t inInheritedCount);
    void encodeNewMark(const Shape& inShape);
    void encodeNewMarkLibraryOnly(const Shape& inShape);
    void encodeMatchedRefine(const Shape& inShape);
    void encodeMatchedRefineLibraryOnly(const Shape& inShape);
    void encodeMatchedCopy(const Shape& inShape);
    void encodeNonMarkData(const Shape& inShape);
    void encodeComment(const Morvenix::String& inText);
    void encodeEndOfData();
    // The record of a page shape, or with inDictionary of a dictionary shape.
    void encodeShape(const Shape& inShape, bool inDictionary);

    void encodeBitmapDirect(const ShapeBitmap& inBitmap);
    // Codes inBitmap against the library shape inReferenceId, aligned on that shape's ink box.
    void encodeBitmapRefine(const ShapeBitmap& inBitmap, uint32_t inReferenceId);

    // The library index of a shape that the stream inherited or added; errDataBroken when it has none.
    uint32_t getShapeId(const Shape* inShape) const;

private:
    // A shape of the library: its bitmap (owned by the caller's shape list) and that bitmap's ink box.
    struct LibraryEntry {
        const ShapeBitmap* bitmap;
        InkBox ink;
    };

    void addToLibrary(const Shape& inShape);
    // The record type and the match index of a shape's reference, which must be in the library.
    uint32_t encodeReference(uint32_t inRecordType, const Shape& inShape, const char* inMissingMessage);
    void encodeSize(const ShapeBitmap& inBitmap);
    void encodeRefinedSizeAndBitmap(const ShapeBitmap& inBitmap, uint32_t inReferenceId);
    // The relative location of a w x h mark whose top-left corner is at page pixel (x, y).
    void encodeLocation(int64_t inX, int64_t inY, uint32_t inWidth, uint32_t inHeight);
    void resetWhenCellsFull();
    // The row coders' bit step on this side: the pixel is written and is what the row keeps.
    auto bitEncoder()
    {
        return [this](int inBit, uint8_t& ioContext) {
            m_zp->encode(inBit, ioContext);
            return inBit;
        };
    }

    std::unique_ptr<Morvenix::DjVu::ZPEncoder> m_zp;
    Morvenix::SimpleArray<uint8_t, 2> m_scratch;
    std::unordered_map<const Shape*, uint32_t> m_shapeIds;
    Morvenix::SimpleArray<LibraryEntry, 2> m_library; // by library index
};

} // namespace _Mvx_Internal_NS_
