// The JB2 page and dictionary streams: records, their numbers and bitmaps, over one ZP encoder.
#include "djv_jb2compressor.h"
#include "djv_jb2compressorimpl.h"

#include "djv_imageutils.h"
#include "mvx_exception.h"

#include <algorithm>
#include <cstring>

#define MVX_SOURCE "djv_jb2compressor"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;

namespace {

enum RecordType : int32_t {
    rtStartOfImage = 0,
    rtNewMark = 1,
    rtNewMarkLibraryOnly = 2,
    rtMatchedRefine = 4,
    rtMatchedRefineLibraryOnly = 5,
    rtMatchedCopy = 7,
    rtNonMarkData = 8,
    rtRequiredDictOrReset = 9,
    rtComment = 10,
    rtEndOfData = 11,
};

// Clear pixels on each side of a coded row: the contexts read 2 to the left and 3 to the right.
const uint32_t kMargin = 4;

void checkImageSize(uint32_t inWidth, uint32_t inHeight, const char* inMessage, const char* inFunction)
{
    if (inWidth > uint32_t(JB2CoderImpl::kBigPositive) || inHeight > uint32_t(JB2CoderImpl::kBigPositive))
        MVX_THROW(errInvalidParam, inMessage, inFunction);
}

// Everything a list's records will code about sizes and absolute positions, checked before a byte is
// written: shapes too large for the size numbers and, on a page, non-mark data whose corner lies off it.
void checkShapes(const ShapeList& inShapes, bool inOnPage, uint32_t inPageWidth, uint32_t inPageHeight,
                 const char* inFunction)
{
    for (const AutoPtr<Shape>& shape : inShapes) {
        if (!shape)
            MVX_THROW(errInvalidParam, "A shape list holds no shape!", inFunction);
        checkImageSize(shape->getWidth(), shape->getHeight(), "The shape size is out of the JB2 range!", inFunction);
        // Its top-left corner is coded as a place on the page; ddjvu drops marks that reach below it.
        if (inOnPage && shape->getType() == NonMark &&
            (shape->getX() < 0 || shape->getY() < 0 || uint32_t(shape->getX()) >= inPageWidth ||
             uint32_t(shape->getY()) >= inPageHeight ||
             uint64_t(uint32_t(shape->getY())) + shape->getHeight() > inPageHeight))
            MVX_THROW(errInvalidParam, "The non-mark data lies outside the page!", inFunction);
    }
}

} // namespace

JB2Compressor::JB2Compressor() : JB2CoderImpl(true), m_scratch(0, 1024)
{
}

void JB2Compressor::beginStream(const AutoPtr<Stream>& outStream)
{
    reset();
    setLastLibraryIndex(-1);
    m_shapeIds.clear();
    m_library.setSize(0);
    m_zp.reset(new ZPEncoder(outStream, 16));
}

void JB2Compressor::endStream()
{
    m_zp->flush();
    m_zp.reset();
}

void JB2Compressor::encodePage(const AutoPtr<Stream>& outStream, uint32_t inWidth, uint32_t inHeight,
                               const ShapeList& inShapes, const ShapeList* inDictionary)
{
    static const char* const kFunction = "_Mvx_Internal_NS_::JB2Compressor::encodePage";
    checkImageSize(inWidth, inHeight, "The page size is out of the JB2 range!", kFunction);
    checkShapes(inShapes, true, inWidth, inHeight, kFunction);
    if (inDictionary)
        checkShapes(*inDictionary, false, 0, 0, kFunction);
    beginStream(outStream);
    if (inDictionary) {
        // The inherited shapes take the indices 0 to count - 1, in order.
        for (const AutoPtr<Shape>& shape : *inDictionary)
            addToLibrary(*shape);
        encodeRequiredDictOrReset(inDictionary->count());
    }
    encodeStartOfImage(inWidth, inHeight);
    for (const AutoPtr<Shape>& shape : inShapes) {
        encodeShape(*shape, false);
        resetWhenCellsFull();
    }
    encodeEndOfData();
    endStream();
}

void JB2Compressor::encodeDictionary(const AutoPtr<Stream>& outStream, const ShapeList& inShapes)
{
    checkShapes(inShapes, false, 0, 0, "_Mvx_Internal_NS_::JB2Compressor::encodeDictionary");
    beginStream(outStream);
    encodeStartOfImage(0, 0);
    for (const AutoPtr<Shape>& shape : inShapes) {
        encodeShape(*shape, true);
        resetWhenCellsFull();
    }
    encodeEndOfData();
    endStream();
}

void JB2Compressor::resetWhenCellsFull()
{
    if (getCellCount() > kCellChunk)
        encodeRequiredDictOrReset(0);
}

void JB2Compressor::encodeShape(const Shape& inShape, bool inDictionary)
{
    const ShapeType type = inShape.getType();
    if (inDictionary) {
        if (type == Normal)
            encodeNewMarkLibraryOnly(inShape);
        else if (type == Refinement)
            encodeMatchedRefineLibraryOnly(inShape);
        else
            MVX_THROW(errDataBroken, "Invalid shape in the dictionary!", "_Mvx_Internal_NS_::JB2Compressor::encodeShape");
        return;
    }
    switch (type) {
    case Normal:
        encodeNewMark(inShape);
        break;
    case Match:
        encodeMatchedCopy(inShape);
        break;
    case Refinement:
        encodeMatchedRefine(inShape);
        break;
    case NonMark:
        encodeNonMarkData(inShape);
        break;
    default:
        MVX_THROW(errDataBroken, "Invalid shape in a page!", "_Mvx_Internal_NS_::JB2Compressor::encodeShape");
    }
}

void JB2Compressor::encodeStartOfImage(uint32_t inWidth, uint32_t inHeight)
{
    codeNumber(0, 11, rtStartOfImage, nkRecordType);
    codeImageSize(inWidth, inHeight);
    // No lossless refinement of the whole image follows.
    uint8_t refinementFlag = 0;
    codeBit(0, &refinementFlag);
}

void JB2Compressor::encodeRequiredDictOrReset(uint32_t inInheritedCount)
{
    codeNumber(0, 11, rtRequiredDictOrReset, nkRecordType);
    if (isStarted()) {
        resetNumberCoder();
        return;
    }
    const int32_t count = inInheritedCount > uint32_t(kBigPositive) ? -1 : int32_t(inInheritedCount);
    codeNumber(0, kBigPositive, count, nkInheritedCount);
    setLastLibraryIndex(count - 1);
}

void JB2Compressor::encodeNewMark(const Shape& inShape)
{
    if (inShape.getReference())
        MVX_THROW(errDataBroken, "NewMark with a reference found!", "_Mvx_Internal_NS_::JB2Compressor::encodeNewMark");
    const ShapeBitmap& bitmap = inShape.getBitmap();
    codeNumber(0, 11, rtNewMark, nkRecordType);
    encodeSize(bitmap);
    encodeBitmapDirect(bitmap);
    encodeLocation(inShape.getX(), inShape.getY(), bitmap.getWidth(), bitmap.getHeight());
    addToLibrary(inShape);
}

void JB2Compressor::encodeNewMarkLibraryOnly(const Shape& inShape)
{
    if (inShape.getReference())
        MVX_THROW(errDataBroken, "NewMarkLibraryOnly with a reference found!",
                  "_Mvx_Internal_NS_::JB2Compressor::encodeNewMarkLibraryOnly");
    const ShapeBitmap& bitmap = inShape.getBitmap();
    codeNumber(0, 11, rtNewMarkLibraryOnly, nkRecordType);
    encodeSize(bitmap);
    encodeBitmapDirect(bitmap);
    addToLibrary(inShape);
}

void JB2Compressor::encodeMatchedRefine(const Shape& inShape)
{
    const uint32_t id = encodeReference(rtMatchedRefine, inShape, "MatchRefine without a reference found!");
    const ShapeBitmap& bitmap = inShape.getBitmap();
    encodeRefinedSizeAndBitmap(bitmap, id);
    encodeLocation(inShape.getX(), inShape.getY(), bitmap.getWidth(), bitmap.getHeight());
    addToLibrary(inShape);
}

void JB2Compressor::encodeMatchedRefineLibraryOnly(const Shape& inShape)
{
    const uint32_t id =
        encodeReference(rtMatchedRefineLibraryOnly, inShape, "MatchedRefineLibraryOnly without a reference found!");
    encodeRefinedSizeAndBitmap(inShape.getBitmap(), id);
    addToLibrary(inShape);
}

void JB2Compressor::encodeMatchedCopy(const Shape& inShape)
{
    const uint32_t id = encodeReference(rtMatchedCopy, inShape, "MatchedCopy without a reference found!");
    // The decoder places the copy by the reference's ink, not by its bitmap.
    const InkBox& ink = m_library[id].ink;
    encodeLocation(int64_t(inShape.getX()) + ink.x, int64_t(inShape.getY()) + ink.y, ink.width, ink.height);
}

void JB2Compressor::encodeNonMarkData(const Shape& inShape)
{
    const ShapeBitmap& bitmap = inShape.getBitmap();
    codeNumber(0, 11, rtNonMarkData, nkRecordType);
    encodeSize(bitmap);
    encodeBitmapDirect(bitmap);
    codeNumber(1, int32_t(getImageWidth()), inShape.getX() + 1, nkAbsoluteX);
    codeNumber(1, int32_t(getImageHeight()), int32_t(getImageHeight()) - inShape.getY(), nkAbsoluteY);
}

void JB2Compressor::encodeComment(const String& inText)
{
    const uint32_t length = inText.getLength();
    codeNumber(0, 11, rtComment, nkRecordType);
    codeNumber(0, kBigPositive, length > uint32_t(kBigPositive) ? -1 : int32_t(length), nkCommentLength);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(inText.c_str());
    for (uint32_t i = 0; i < length; ++i)
        codeNumber(0, 255, bytes[i], nkCommentByte);
}

void JB2Compressor::encodeEndOfData()
{
    codeNumber(0, 11, rtEndOfData, nkRecordType);
}

uint32_t JB2Compressor::getShapeId(const Shape* inShape) const
{
    const auto found = m_shapeIds.find(inShape);
    if (found == m_shapeIds.end())
        MVX_THROW(errDataBroken, "The shape does not have its Id!", "_Mvx_Internal_NS_::JB2Compressor::getShapeId");
    return found->second;
}

uint32_t JB2Compressor::encodeReference(uint32_t inRecordType, const Shape& inShape, const char* inMissingMessage)
{
    const Shape* reference = inShape.getReference();
    if (!reference)
        MVX_THROW(errDataBroken, inMissingMessage, "_Mvx_Internal_NS_::JB2Compressor::encodeReference");
    const uint32_t id = getShapeId(reference);
    codeNumber(0, 11, int32_t(inRecordType), nkRecordType);
    codeNumber(0, getLastLibraryIndex(), int32_t(id), nkMatchIndex);
    return id;
}

void JB2Compressor::addToLibrary(const Shape& inShape)
{
    const uint32_t id = uint32_t(getLastLibraryIndex() + 1);
    m_shapeIds[&inShape] = id;
    m_library.append(LibraryEntry{&inShape.getBitmap(), computeInkBox(inShape.getBitmap())});
    setLastLibraryIndex(int32_t(id));
}

void JB2Compressor::encodeSize(const ShapeBitmap& inBitmap)
{
    codeNumber(0, kBigPositive, int32_t(inBitmap.getWidth()), nkMarkWidth);
    codeNumber(0, kBigPositive, int32_t(inBitmap.getHeight()), nkMarkHeight);
}

void JB2Compressor::encodeRefinedSizeAndBitmap(const ShapeBitmap& inBitmap, uint32_t inReferenceId)
{
    // The decoder sizes the new bitmap from the reference's ink box, so the differences are taken from it.
    const InkBox& ink = m_library[inReferenceId].ink;
    codeNumber(kBigNegative, kBigPositive, int32_t(inBitmap.getWidth()) - int32_t(ink.width), nkRefineWidth);
    codeNumber(kBigNegative, kBigPositive, int32_t(inBitmap.getHeight()) - int32_t(ink.height), nkRefineHeight);
    encodeBitmapRefine(inBitmap, inReferenceId);
}

void JB2Compressor::encodeLocation(int64_t inX, int64_t inY, uint32_t inWidth, uint32_t inHeight)
{
    const int64_t left = inX + 1, bottom = int64_t(getImageHeight()) - inY - inHeight + 1;
    // Decoders keep a mark's left and bottom edges as unsigned page coordinates: ddjvu drops a mark that
    // starts left of the page or reaches below it, so such a place cannot be written.
    if (left < 1 || bottom < 1)
        MVX_THROW(errInvalidParam, "The shape reaches past the left or bottom edge of the page!",
                  "_Mvx_Internal_NS_::JB2Compressor::encodeLocation");
    if (left > INT32_MAX || bottom > INT32_MAX)
        MVX_THROW(errInvalidParam, "The shape position is out of the JB2 range!",
                  "_Mvx_Internal_NS_::JB2Compressor::encodeLocation");
    int32_t codedLeft = int32_t(left), codedBottom = int32_t(bottom);
    codeRelativeLocation(codedLeft, codedBottom, inWidth, inHeight);
}

uint8_t* JB2Compressor::scratch(uint32_t inBytes)
{
    if (m_scratch.count() < inBytes)
        m_scratch.resize(inBytes);
    return m_scratch.data();
}

JB2Compressor::InkBox JB2Compressor::computeInkBox(const ShapeBitmap& inBitmap)
{
    const uint32_t width = inBitmap.getWidth(), height = inBitmap.getHeight(), rowBytes = inBitmap.getRowBytes();
    if (width == 0 || height == 0)
        return InkBox{width, height, 0, 0};
    // The bits past the width carry no pixel and may hold anything.
    const uint8_t tailMask = uint8_t(0xFF00 >> (((width - 1) & 7) + 1));
    uint8_t* ored = scratch(rowBytes);
    std::memset(ored, 0, rowBytes);
    uint32_t top = height, bottom = 0;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = inBitmap.row(y);
        uint8_t any = 0;
        for (uint32_t i = 0; i + 1 < rowBytes; ++i) {
            ored[i] |= row[i];
            any |= row[i];
        }
        const uint8_t last = uint8_t(row[rowBytes - 1] & tailMask);
        ored[rowBytes - 1] |= last;
        if (any | last) {
            top = std::min(top, y);
            bottom = y;
        }
    }
    if (top == height)
        return InkBox{width, height, 0, 0};
    uint32_t left = 0, right = 0;
    for (uint32_t x = 0; x < width; ++x) {
        if ((ored[x >> 3] >> (7 - (x & 7))) & 1) {
            left = x;
            break;
        }
    }
    for (uint32_t x = width; x-- > 0;) {
        if ((ored[x >> 3] >> (7 - (x & 7))) & 1) {
            right = x;
            break;
        }
    }
    return InkBox{left, top, right - left + 1, bottom - top + 1};
}

void JB2Compressor::encodeBitmapDirect(const ShapeBitmap& inBitmap)
{
    const uint32_t width = inBitmap.getWidth(), height = inBitmap.getHeight();
    const uint32_t rowLength = width + 2 * kMargin;
    uint8_t* rows = scratch(3 * rowLength);
    std::memset(rows, 0, 3 * size_t(rowLength));
    uint8_t* up2 = rows + kMargin;
    uint8_t* up1 = up2 + rowLength;
    uint8_t* up0 = up1 + rowLength;
    for (uint32_t y = 0; y < height; ++y) {
        ImageUtils::unpackBitsToBinary(width, 1, 0, inBitmap.row(y), 0, up0);
        codeDirectRow(up2, up1, up0, width, bitEncoder());
        uint8_t* const oldest = up2;
        up2 = up1;
        up1 = up0;
        up0 = oldest;
    }
}

void JB2Compressor::loadAlignedRow(uint8_t* outRow, uint32_t inWidth, const ShapeBitmap& inReference, int64_t inRow,
                                   int64_t inShift, uint8_t* ioUnpacked)
{
    std::memset(outRow - kMargin, 0, inWidth + 2 * size_t(kMargin));
    if (inRow < 0 || inRow >= int64_t(inReference.getHeight()))
        return;
    const uint32_t referenceWidth = inReference.getWidth();
    ImageUtils::unpackBitsToBinary(referenceWidth, 1, 0, inReference.row(uint32_t(inRow)), 0, ioUnpacked);
    const int64_t first = std::max(-int64_t(kMargin), -inShift);
    const int64_t end = std::min(int64_t(inWidth) + kMargin, int64_t(referenceWidth) - inShift);
    if (first < end)
        std::memcpy(outRow + first, ioUnpacked + first + inShift, size_t(end - first));
}

void JB2Compressor::encodeBitmapRefine(const ShapeBitmap& inBitmap, uint32_t inReferenceId)
{
    const LibraryEntry& reference = m_library[inReferenceId];
    const uint32_t width = inBitmap.getWidth(), height = inBitmap.getHeight();
    // The reference's ink is centred on the new bitmap: new pixel (r, c) faces reference pixel
    // (r + rowShift, c + columnShift), halves truncated.
    const int64_t w = width, h = height;
    const int64_t inkWidth = reference.ink.width, inkHeight = reference.ink.height;
    const int64_t rowShift = int64_t(reference.ink.y) + inkHeight / 2 - h / 2;
    const int64_t columnShift = w / 2 - w - inkWidth / 2 + inkWidth + reference.ink.x;

    const uint32_t rowLength = width + 2 * kMargin;
    uint8_t* rows = scratch(5 * rowLength + reference.bitmap->getWidth());
    std::memset(rows, 0, 2 * size_t(rowLength));
    uint8_t* up1 = rows + kMargin;
    uint8_t* up0 = up1 + rowLength;
    uint8_t* xup1 = up0 + rowLength;
    uint8_t* xup0 = xup1 + rowLength;
    uint8_t* xdn1 = xup0 + rowLength;
    uint8_t* unpacked = rows + 5 * size_t(rowLength);
    loadAlignedRow(xup1, width, *reference.bitmap, rowShift - 1, columnShift, unpacked);
    loadAlignedRow(xup0, width, *reference.bitmap, rowShift, columnShift, unpacked);
    for (uint32_t y = 0; y < height; ++y) {
        loadAlignedRow(xdn1, width, *reference.bitmap, rowShift + y + 1, columnShift, unpacked);
        ImageUtils::unpackBitsToBinary(width, 1, 0, inBitmap.row(y), 0, up0);
        codeRefinedRow(up1, up0, xup1, xup0, xdn1, width, bitEncoder());
        std::swap(up1, up0);
        uint8_t* const oldest = xup1;
        xup1 = xup0;
        xup0 = xdn1;
        xdn1 = oldest;
    }
}

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {
namespace JB2 {

void Compressor::encodeSjbz(const AutoPtr<Stream>& outStream, uint32_t inWidth, uint32_t inHeight,
                            const ShapeList& inShapes, const ShapeList* inDictionary)
{
    _Mvx_Internal_NS_::JB2Compressor compressor;
    compressor.encodePage(outStream, inWidth, inHeight, inShapes, inDictionary);
}

void Compressor::encodeDjbz(const AutoPtr<Stream>& outStream, const ShapeList& inShapes)
{
    _Mvx_Internal_NS_::JB2Compressor compressor;
    compressor.encodeDictionary(outStream, inShapes);
}

} // namespace JB2
} // namespace DjVu
} // namespace Morvenix
