// The state and coding primitives that the JB2 compressor and decompressor share: the adaptive number
// coder over a tree of cells grown on demand, the bit contexts of the direct and refinement bitmap
// coders, and the location state of the relative-location coding. One virtual bit operation carries
// every coded bit, so the same code writes (through a ZP encoder) and reads (through a ZP decoder).
#pragma once

#include "djv_imageutils.h"
#include "djv_jb2shape.h"
#include "mvx_simplearray.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace Morvenix {
namespace DjVu {
namespace JB2 {

class JB2CoderImpl {
public:
    // The roots of the number coder, one per kind of number.
    enum NumberKind : uint32_t {
        nkRecordType = 0,
        nkImageSize,       // width and height of the start record share it
        nkCommentLength,
        nkCommentByte,
        nkMatchIndex,
        nkInheritedCount,
        nkAbsoluteX,
        nkAbsoluteY,
        nkMarkWidth,
        nkMarkHeight,
        nkNewRowX,
        nkNewRowY,
        nkSameRowX,
        nkSameRowY,
        nkRefineWidth,
        nkRefineHeight,
        nkCount
    };

    // The records of a JB2 stream, as the record-type number codes them.
    enum RecordType : int32_t {
        rtStartOfImage = 0,
        rtNewMark = 1, // on the page and in the library
        rtNewMarkLibraryOnly = 2,
        rtNewMarkPageOnly = 3,
        rtMatchedRefine = 4, // on the page and in the library
        rtMatchedRefineLibraryOnly = 5,
        rtMatchedRefinePageOnly = 6,
        rtMatchedCopy = 7,
        rtNonMarkData = 8,
        rtRequiredDictOrReset = 9,
        rtComment = 10,
        rtEndOfData = 11,
    };

    // The largest size or count and the smallest difference that a JB2 number can hold.
    static constexpr int32_t kBigPositive = 262142;
    static constexpr int32_t kBigNegative = -262143;
    // The cell arrays grow in these steps; a stream resets the number coder once more are in use.
    static constexpr uint32_t kCellChunk = 20000;

    // The smallest rectangle holding a bitmap's set pixels, from its top-left corner; an empty bitmap
    // gives its own width and height as offsets and a size of 0 x 0. Refinements and copies are sized and
    // placed by their reference's ink box, so both directions must agree on it exactly.
    struct InkBox {
        uint32_t x, y, width, height;
    };
    static InkBox computeInkBox(const ShapeBitmap& inBitmap);

    virtual ~JB2CoderImpl() {}

    // Writing: codes inBit with the context and returns it. Reading: returns the bit decoded with the
    // context, inBit being ignored.
    virtual int codeBit(int inBit, uint8_t* ioContext) = 0;

    // Writes inValue (throwing errInvalidParam when it lies outside inLow..inHigh) or reads a number of
    // that range, over the cell tree under the root.
    int32_t codeNumber(int32_t inLow, int32_t inHigh, int32_t inValue, uint32_t* ioRoot);
    int32_t codeNumber(int32_t inLow, int32_t inHigh, int32_t inValue, NumberKind inKind)
    {
        return codeNumber(inLow, inHigh, inValue, &m_roots[inKind]);
    }

    // Clears every bit context and the started flag, and resets the number coder.
    void reset();
    // Fresh roots and no cell in use, at the same cost however many were; the bit contexts and the
    // location state are kept.
    void resetNumberCoder();
    uint32_t getCellCount() const { return m_cellCount; }
    bool isStarted() const { return m_started; }
    uint32_t getImageWidth() const { return m_imageWidth; }
    uint32_t getImageHeight() const { return m_imageHeight; }
    int32_t getLastLibraryIndex() const { return m_lastLibraryIndex; }
    void setLastLibraryIndex(int32_t inIndex) { m_lastLibraryIndex = inIndex; }

    // The start record's sizes (written or read) and the location state they set up.
    void codeImageSize(uint32_t& ioWidth, uint32_t& ioHeight);

    // The location of a mark of the given size, relative to the marks before it: left and bottom are
    // 1-based, bottom counted upward from the page's bottom row. Written from, or read into, ioLeft and
    // ioBottom. A difference that no JB2 number can hold throws errInvalidParam.
    void codeRelativeLocation(int32_t& ioLeft, int32_t& ioBottom, uint32_t inWidth, uint32_t inHeight);

    // All three bottoms become inBottom.
    void fillBottoms(int32_t inBottom);
    // Enters inBottom into the history of the last three and gives their median.
    int32_t updateBottoms(int32_t inBottom);

    // Bitmap rows travel as one byte a pixel (0 or 1); every row pointer may be read 2 pixels before its
    // first pixel and 3 past its last, where it holds 0. Each coded pixel is stored back into up0, so the
    // reading side fills the row as it goes. The context moves along the row incrementally.
    template <class BitFn>
    void codeDirectRow(const uint8_t* inUp2, const uint8_t* inUp1, uint8_t* ioUp0, uint32_t inWidth, BitFn&& inCodeBit)
    {
        uint32_t context = uint32_t(inUp2[-1]) << 9 | uint32_t(inUp2[0]) << 8 | uint32_t(inUp2[1]) << 7 |
                           uint32_t(inUp1[-2]) << 6 | uint32_t(inUp1[-1]) << 5 | uint32_t(inUp1[0]) << 4 |
                           uint32_t(inUp1[1]) << 3 | uint32_t(inUp1[2]) << 2 | uint32_t(ioUp0[-2]) << 1 |
                           uint32_t(ioUp0[-1]);
        for (uint32_t c = 0; c < inWidth; ++c) {
            const uint32_t n = uint32_t(inCodeBit(ioUp0[c], m_directContexts[context]));
            ioUp0[c] = uint8_t(n);
            context = ((context << 1) & 0x37A) | uint32_t(inUp1[c + 3]) << 2 | uint32_t(inUp2[c + 2]) << 7 | n;
        }
    }

    // The same for a refined row: up1 and up0 are the new bitmap's rows, xup1, xup0 and xdn1 the
    // reference's rows above, at and below the aligned position, already shifted to the new bitmap's
    // columns.
    template <class BitFn>
    void codeRefinedRow(const uint8_t* inUp1, uint8_t* ioUp0, const uint8_t* inXup1, const uint8_t* inXup0,
                        const uint8_t* inXdn1, uint32_t inWidth, BitFn&& inCodeBit)
    {
        uint32_t context = uint32_t(inUp1[-1]) << 10 | uint32_t(inUp1[0]) << 9 | uint32_t(inUp1[1]) << 8 |
                           uint32_t(ioUp0[-1]) << 7 | uint32_t(inXup1[0]) << 6 | uint32_t(inXup0[-1]) << 5 |
                           uint32_t(inXup0[0]) << 4 | uint32_t(inXup0[1]) << 3 | uint32_t(inXdn1[-1]) << 2 |
                           uint32_t(inXdn1[0]) << 1 | uint32_t(inXdn1[1]);
        for (uint32_t c = 0; c < inWidth; ++c) {
            const uint32_t n = uint32_t(inCodeBit(ioUp0[c], m_refineContexts[context]));
            ioUp0[c] = uint8_t(n);
            context = ((context << 1) & 0x636) | uint32_t(inUp1[c + 2]) << 8 | n << 7 |
                      uint32_t(inXup1[c + 1]) << 6 | uint32_t(inXup0[c + 2]) << 3 | uint32_t(inXdn1[c + 2]);
        }
    }

    // A whole bitmap, direct: writing codes the rows of inSource, reading decodes into the rows of
    // outTarget (sized by the caller). ioScratch holds the three rows in work.
    template <class BitFn>
    void codeDirectBitmap(const ShapeBitmap* inSource, ShapeBitmap* outTarget, SimpleArray<uint8_t, 2>& ioScratch,
                          BitFn&& inCodeBit)
    {
        const ShapeBitmap& bitmap = inSource ? *inSource : *outTarget;
        const uint32_t width = bitmap.getWidth(), height = bitmap.getHeight();
        if (width == 0 || height == 0)
            return;
        const uint32_t rowLength = width + 2 * kRowMargin;
        uint8_t* rows = scratch(ioScratch, 3 * size_t(rowLength));
        std::memset(rows, 0, 3 * size_t(rowLength));
        uint8_t* up2 = rows + kRowMargin;
        uint8_t* up1 = up2 + rowLength;
        uint8_t* up0 = up1 + rowLength;
        for (uint32_t y = 0; y < height; ++y) {
            if (inSource)
                ImageUtils::unpackBitsToBinary(width, 1, 0, inSource->row(y), 0, up0);
            codeDirectRow(up2, up1, up0, width, inCodeBit);
            if (outTarget)
                ImageUtils::packBytesToBits(width, 1, 0, up0, 0, outTarget->row(y));
            uint8_t* const oldest = up2;
            up2 = up1;
            up1 = up0;
            up0 = oldest;
        }
    }

    // A whole bitmap refined against inReference, whose ink box inInk is centred on the new bitmap: new
    // pixel (r, c) faces reference pixel (r + rowShift, c + columnShift), halves truncated. Writing and
    // reading as codeDirectBitmap.
    template <class BitFn>
    void codeRefinedBitmap(const ShapeBitmap* inSource, ShapeBitmap* outTarget, const ShapeBitmap& inReference,
                           const InkBox& inInk, SimpleArray<uint8_t, 2>& ioScratch, BitFn&& inCodeBit)
    {
        const ShapeBitmap& bitmap = inSource ? *inSource : *outTarget;
        const uint32_t width = bitmap.getWidth(), height = bitmap.getHeight();
        if (width == 0 || height == 0)
            return;
        const int64_t w = width, h = height, inkWidth = inInk.width, inkHeight = inInk.height;
        const int64_t rowShift = int64_t(inInk.y) + inkHeight / 2 - h / 2;
        const int64_t columnShift = w / 2 - w - inkWidth / 2 + inkWidth + inInk.x;

        const uint32_t rowLength = width + 2 * kRowMargin;
        uint8_t* rows = scratch(ioScratch, 5 * size_t(rowLength) + inReference.getWidth());
        std::memset(rows, 0, 2 * size_t(rowLength));
        uint8_t* up1 = rows + kRowMargin;
        uint8_t* up0 = up1 + rowLength;
        uint8_t* xup1 = up0 + rowLength;
        uint8_t* xup0 = xup1 + rowLength;
        uint8_t* xdn1 = xup0 + rowLength;
        uint8_t* unpacked = rows + 5 * size_t(rowLength);
        loadAlignedRow(xup1, width, inReference, rowShift - 1, columnShift, unpacked);
        loadAlignedRow(xup0, width, inReference, rowShift, columnShift, unpacked);
        for (uint32_t y = 0; y < height; ++y) {
            loadAlignedRow(xdn1, width, inReference, rowShift + y + 1, columnShift, unpacked);
            if (inSource)
                ImageUtils::unpackBitsToBinary(width, 1, 0, inSource->row(y), 0, up0);
            codeRefinedRow(up1, up0, xup1, xup0, xdn1, width, inCodeBit);
            if (outTarget)
                ImageUtils::packBytesToBits(width, 1, 0, up0, 0, outTarget->row(y));
            std::swap(up1, up0);
            uint8_t* const oldest = xup1;
            xup1 = xup0;
            xup0 = xdn1;
            xdn1 = oldest;
        }
    }

    JB2CoderImpl(const JB2CoderImpl&) = delete;
    JB2CoderImpl& operator=(const JB2CoderImpl&) = delete;

protected:
    explicit JB2CoderImpl(bool inEncoding);

private:
    // Clear pixels on each side of a row in work: the contexts read 2 to the left and 3 to the right.
    static constexpr uint32_t kRowMargin = 4;

    static uint8_t* scratch(SimpleArray<uint8_t, 2>& ioScratch, size_t inBytes);
    // Row inRow of the reference as one byte a pixel, its column c + inShift into outRow[c], for c from
    // -kRowMargin to inWidth + kRowMargin; what lies outside the reference is clear. ioUnpacked holds one
    // reference row.
    static void loadAlignedRow(uint8_t* outRow, uint32_t inWidth, const ShapeBitmap& inReference, int64_t inRow,
                               int64_t inShift, uint8_t* ioUnpacked);

    // The number of a new cell (context and successors 0), growing the cell arrays when they are full.
    uint32_t makeCell();

    uint8_t m_offsetTypeContext;
    uint8_t m_directContexts[1024];
    uint8_t m_refineContexts[2048];
    uint32_t m_roots[nkCount];
    int32_t m_lastBottom;
    int32_t m_previousLeft;
    int32_t m_previousRight;
    int32_t m_rowBottom;
    int32_t m_rowLeft;
    int32_t m_bottoms[3];
    int32_t m_bottomPos;
    uint32_t m_imageWidth;
    uint32_t m_imageHeight;
    bool m_started;
    bool m_encoding;
    uint32_t m_cellCount;
    SimpleArray<uint8_t, 2> m_cellContexts;
    SimpleArray<uint32_t, 2> m_leftCells;
    SimpleArray<uint32_t, 2> m_rightCells;
    int32_t m_lastLibraryIndex;
};

} // namespace JB2
} // namespace DjVu
} // namespace Morvenix
