// The JB2 record reader behind the JB2 page and dictionary factories: one object reads one stream,
// record by record, through a ZP decoder, and appends the shapes it builds to the caller's list.
#pragma once

#include "djv_jb2coder.h"
#include "djv_jb2shape.h"
#include "djv_zpcoder.h"
#include "mvx_simplearray.h"
#include "mvx_stream.h"

#include <cstdint>
#include <memory>

namespace _Mvx_Internal_NS_ {

class JB2Decompressor final : public Morvenix::DjVu::JB2::JB2CoderImpl {
public:
    typedef Morvenix::DjVu::JB2::Shape Shape;
    typedef Morvenix::DjVu::JB2::ShapeBitmap ShapeBitmap;
    typedef Morvenix::DjVu::JB2::ShapeList ShapeList;

    // The most pixels one mark, and all the marks of one stream, may have. The format's sizes would allow
    // marks of 68 billion pixels, which a few damaged bytes can ask for, and blank bitmaps cost almost no
    // input; no real document comes near these bounds (a 600-dpi A0 page has 2^29 pixels).
    static constexpr uint64_t kMaxMarkPixels = uint64_t(1) << 28;
    static constexpr uint64_t kMaxStreamPixels = uint64_t(1) << 30;
    // Blank marks, copies, comments and resets cost the coder almost nothing once it has adapted, so a few
    // damaged bytes could otherwise make millions of records (about 18000 a byte): this bounds the time a
    // stream takes. Each byte of a comment counts as a record, for a maximal comment of zeros (262142
    // bytes) costs little more than one byte read. Real data stays far below it: a regular grid of
    // one-pixel dots, the densest content there is, codes about 650 records a byte for a million dots and
    // 1100 for four million. A page also cannot hold more marks than pixels.
    static constexpr uint64_t kMaxRecordsPerByte = 4096;
    // The memory a stream's shapes take besides their rows (objects, list slots, library entries and
    // bitmap headers, estimated alike on every host) is bounded by the bytes read: kFreeBytes, then
    // kMaxBytesPerByte for every byte. Within the record bound copies alone could ask for 200 KB a byte,
    // gigabytes from a 10 KB stream, which this bound holds to 192 MB. Text takes under 100 bytes a byte
    // read; only synthetic grids of more than about 1.4 million one-pixel dots ask for more. Rows are left
    // to kMaxStreamPixels: the coder codes a uniform row at some 250000 pixels a byte, so that pages of
    // large solid or blank marks would fail any bound by the bytes read.
    static constexpr uint64_t kFreeBytes = uint64_t(32) << 20;
    static constexpr uint64_t kMaxBytesPerByte = 16 * 1024;
    // Bounds no honest stream reaches, whatever its length: an FGbz cannot colour more shapes than it can
    // index (2^24 - 1), and a 32-bit process has 2 GB in all, of which a page's two streams, its
    // dictionary's and its own (which counts the library entries it inherits), get half at most.
    static constexpr uint64_t kMaxShapes = (uint64_t(1) << 24) - 1;
    static constexpr uint64_t kMaxStreamBytes = uint64_t(512) << 20;

    JB2Decompressor();

    int codeBit(int, uint8_t* ioContext) override { return m_zp->decode(*ioContext); }

    // Dictionary data: its library shapes are appended to ioShapes.
    void decodeDictionary(const Morvenix::AutoPtr<Morvenix::Stream>& inStream, ShapeList& ioShapes);
    // Page data: the shapes are appended to ioShapes, the size comes from the start record (0 x 0 without
    // one). The Normal and Refinement shapes of the dictionary, in order, are the library the page inherits.
    void decodePage(const Morvenix::AutoPtr<Morvenix::Stream>& inStream, uint32_t& outWidth, uint32_t& outHeight,
                    ShapeList& ioShapes, const ShapeList* inDictionary);

private:
    struct LibraryEntry {
        Shape* shape; // held by the caller's list
        InkBox ink;
    };

    void decodeRecords(const Morvenix::AutoPtr<Morvenix::Stream>& inStream, ShapeList& ioShapes);
    void decodeStartOfImage();
    void decodeRequiredDictOrReset();
    // Records 1 and 3, 2, 4 and 6, 5, 7 and 8; inLibrary says whether the shape enters the library.
    void decodeNewMark(ShapeList& ioShapes, bool inLibrary);
    void decodeNewMarkLibraryOnly(ShapeList& ioShapes);
    void decodeMatchedRefine(ShapeList& ioShapes, bool inLibrary);
    void decodeMatchedRefineLibraryOnly(ShapeList& ioShapes);
    void decodeMatchedCopy(ShapeList& ioShapes);
    void decodeNonMarkData(ShapeList& ioShapes);
    void decodeComment();
    // One more record, or a comment's byte; errDataBroken past the records the bytes read allow.
    void countRecord();

    // A size of the format's range that the pixel bounds allow, counted against the stream's, its
    // bitmap's memory charged; errDataBroken otherwise.
    void checkMarkSize(int64_t inWidth, int64_t inHeight);
    // Adds memory the stream's shapes are about to take, inRows of it in bitmap rows; errDataBroken past
    // the memory bounds.
    void chargeMemory(uint64_t inBytes, uint64_t inRows = 0);
    void decodeBitmapDirect(ShapeBitmap& outBitmap);
    // The library entry of a coded index, and the refined bitmap sized by its ink box and the coded changes.
    const LibraryEntry& decodeReference();
    void decodeBitmapRefine(const LibraryEntry& inReference, ShapeBitmap& outBitmap);
    // The top-left corner, y downward, of a w x h mark placed relative to the marks before it.
    void decodeLocation(uint32_t inWidth, uint32_t inHeight, int32_t& outX, int32_t& outY);
    void requireStart(const char* inFunction) const;
    void requirePage(const char* inMessage, const char* inFunction) const;
    void requireDictionary(const char* inMessage, const char* inFunction) const;
    void addShape(ShapeList& ioShapes, const Morvenix::AutoPtr<Shape>& inShape, bool inLibrary);
    auto bitDecoder()
    {
        return [this](int, uint8_t& ioContext) { return m_zp->decode(ioContext); };
    }

    std::unique_ptr<Morvenix::DjVu::ZPDecoder> m_zp;
    bool m_dictionary;
    // The shape count the stream's record 9 must name before its start record.
    uint32_t m_requiredCount;
    uint64_t m_records; // read so far, a comment's bytes each counted as one
    uint64_t m_pixels; // of the marks decoded so far
    uint64_t m_marks;  // placed on the page so far
    uint64_t m_shapes; // made so far, on the page or in the dictionary
    uint64_t m_memory; // charged so far
    // Of m_memory, what only kMaxStreamBytes bounds: bitmap rows, and the library entries a page inherits.
    uint64_t m_absoluteOnly;
    Morvenix::SimpleArray<uint8_t, 2> m_scratch;
    Morvenix::SimpleArray<LibraryEntry, 2> m_library; // by library index: the inherited shapes first
};

} // namespace _Mvx_Internal_NS_
