// The JB2 page and dictionary streams: records, their numbers and bitmaps, over one ZP encoder.
#include "djv_jb2compressor.h"
#include "djv_jb2compressorimpl.h"

#include "mvx_exception.h"

#define MVX_SOURCE "djv_jb2compressor"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;

namespace {

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

void JB2Compressor::encodeBitmapDirect(const ShapeBitmap& inBitmap)
{
    codeDirectBitmap(&inBitmap, nullptr, m_scratch, bitEncoder());
}

void JB2Compressor::encodeBitmapRefine(const ShapeBitmap& inBitmap, uint32_t inReferenceId)
{
    const LibraryEntry& reference = m_library[inReferenceId];
    codeRefinedBitmap(&inBitmap, nullptr, *reference.bitmap, reference.ink, m_scratch, bitEncoder());
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
