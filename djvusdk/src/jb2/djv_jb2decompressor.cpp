// Reading JB2 page and dictionary streams: records, their numbers and bitmaps, over one ZP decoder. The
// input is untrusted: every size and index is checked before it is used.
#include "djv_jb2decompressor.h"

#include "mvx_exception.h"

#include <cstdio>

#define MVX_SOURCE "djv_jb2decompressor"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;

namespace {

// What the memory bounds count, about: a shape object with its heap block's header and its slot in a list
// that doubles as it grows; a bitmap's object and its rows' block header besides the rows; a library entry.
// They are a 32-bit host's figures on every host, so that a stream is accepted or refused alike on all
// (a 64-bit host takes up to twice the memory, and has the room).
const uint64_t kShapeBytes = 48;
const uint64_t kBitmapBytes = 32;
const uint64_t kEntryBytes = 20;

} // namespace

JB2Decompressor::JB2Decompressor()
    : JB2CoderImpl(false), m_dictionary(false), m_requiredCount(0), m_records(0), m_pixels(0), m_marks(0),
      m_shapes(0), m_memory(0), m_absoluteOnly(0), m_scratch(0, 1024)
{
}

void JB2Decompressor::decodeDictionary(const AutoPtr<Stream>& inStream, ShapeList& ioShapes)
{
    m_dictionary = true;
    m_requiredCount = ioShapes.count();
    decodeRecords(inStream, ioShapes);
}

void JB2Decompressor::decodePage(const AutoPtr<Stream>& inStream, uint32_t& outWidth, uint32_t& outHeight,
                                 ShapeList& ioShapes, const ShapeList* inDictionary)
{
    m_dictionary = false;
    m_requiredCount = inDictionary ? inDictionary->count() : 0;
    if (inDictionary) {
        for (const AutoPtr<Shape>& shape : *inDictionary) {
            const ShapeType type = shape->getType();
            if (type == Normal || type == Refinement)
                m_library.append(LibraryEntry{shape.get(), computeInkBox(shape->getBitmap())});
        }
        // The entries the page inherits are held by it: they count toward its stream's bound, though not
        // toward what its bytes may ask for.
        m_memory = m_absoluteOnly = uint64_t(m_library.count()) * 2 * kEntryBytes;
    }
    decodeRecords(inStream, ioShapes);
    outWidth = getImageWidth();
    outHeight = getImageHeight();
}

void JB2Decompressor::decodeRecords(const AutoPtr<Stream>& inStream, ShapeList& ioShapes)
{
    if (inStream->isEof())
        return;
    reset();
    m_zp.reset(new ZPDecoder(inStream, 0, 16));
    static const char* const kFunction = "_Mvx_Internal_NS_::JB2Decompressor::decodeRecords";
    for (;;) {
        countRecord();
        const int32_t type = codeNumber(0, 11, 0, nkRecordType);
        switch (type) {
        case rtStartOfImage:
            decodeStartOfImage();
            break;
        case rtNewMark:
        case rtNewMarkPageOnly:
            // Page-only marks stay out of the library, so that later indices name the shapes the writer meant.
            decodeNewMark(ioShapes, type == rtNewMark);
            break;
        case rtNewMarkLibraryOnly:
            decodeNewMarkLibraryOnly(ioShapes);
            break;
        case rtMatchedRefine:
        case rtMatchedRefinePageOnly:
            decodeMatchedRefine(ioShapes, type == rtMatchedRefine);
            break;
        case rtMatchedRefineLibraryOnly:
            decodeMatchedRefineLibraryOnly(ioShapes);
            break;
        case rtMatchedCopy:
            decodeMatchedCopy(ioShapes);
            break;
        case rtNonMarkData:
            decodeNonMarkData(ioShapes);
            break;
        case rtRequiredDictOrReset:
            decodeRequiredDictOrReset();
            break;
        case rtComment:
            decodeComment();
            break;
        case rtEndOfData:
            // Every writer starts with the size of the image; data that ends before it is damaged.
            if (!isStarted())
                MVX_THROW(errDataBroken, "JB2Decoder: No start record!", kFunction);
            m_zp.reset();
            return;
        default: {
            // The record-type number cannot leave 0 to 11; kept for a coder that someone widens.
            char message[48];
            std::snprintf(message, sizeof message, "JB2Decoder: Unknown recode type (%d)", int(type));
            MVX_THROW(errInvalidParam, message, kFunction);
        }
        }
    }
}

void JB2Decompressor::requireStart(const char* inFunction) const
{
    if (!isStarted())
        MVX_THROW(errDataBroken, "JB2Decoder: Shape record before the start of image!", inFunction);
}

void JB2Decompressor::requirePage(const char* inMessage, const char* inFunction) const
{
    if (m_dictionary)
        MVX_THROW(errDataBroken, inMessage, inFunction);
    requireStart(inFunction);
}

void JB2Decompressor::requireDictionary(const char* inMessage, const char* inFunction) const
{
    if (!m_dictionary)
        MVX_THROW(errDataBroken, inMessage, inFunction);
    requireStart(inFunction);
}

void JB2Decompressor::decodeStartOfImage()
{
    // A second start would move the page's size and origin under the shapes already placed.
    if (isStarted())
        MVX_THROW(errDataBroken, "JB2Decoder: Second start of image!",
                  "_Mvx_Internal_NS_::JB2Decompressor::decodeStartOfImage");
    uint32_t width = 0, height = 0;
    codeImageSize(width, height);
    // The flag of a lossless refinement of the whole image, which no writer sets.
    uint8_t refinementFlag = 0;
    codeBit(0, &refinementFlag);
}

void JB2Decompressor::decodeRequiredDictOrReset()
{
    // After the start record, in pages and dictionaries alike, the record resets the number coder.
    if (isStarted()) {
        resetNumberCoder();
        return;
    }
    const int32_t count = codeNumber(0, kBigPositive, 0, nkInheritedCount);
    if (uint32_t(count) != m_requiredCount)
        MVX_THROW(errDataBroken, "JB2Decoder: Shape count mismatch!",
                  "_Mvx_Internal_NS_::JB2Decompressor::decodeRequiredDictOrReset");
}

void JB2Decompressor::decodeComment()
{
    const int32_t length = codeNumber(0, kBigPositive, 0, nkCommentLength);
    for (int32_t i = 0; i < length; ++i) {
        countRecord();
        codeNumber(0, 255, 0, nkCommentByte);
    }
}

void JB2Decompressor::countRecord()
{
    if (++m_records > kMaxRecordsPerByte * m_zp->bytesRead())
        MVX_THROW(errDataBroken, "JB2Decoder: More records than the data can hold!",
                  "_Mvx_Internal_NS_::JB2Decompressor::countRecord");
}

void JB2Decompressor::checkMarkSize(int64_t inWidth, int64_t inHeight)
{
    if (inWidth < 0 || inHeight < 0 || inWidth > kBigPositive || inHeight > kBigPositive)
        MVX_THROW(errDataBroken, "JB2Decoder: Shape size out of range!",
                  "_Mvx_Internal_NS_::JB2Decompressor::checkMarkSize");
    const uint64_t pixels = uint64_t(inWidth) * uint64_t(inHeight);
    if (pixels > kMaxMarkPixels || m_pixels + pixels > kMaxStreamPixels)
        MVX_THROW(errDataBroken, "JB2Decoder: Shape too large!", "_Mvx_Internal_NS_::JB2Decompressor::checkMarkSize");
    m_pixels += pixels;
    chargeMemory(kBitmapBytes, (uint64_t(inWidth) + 7) / 8 * uint64_t(inHeight));
}

void JB2Decompressor::chargeMemory(uint64_t inBytes, uint64_t inRows)
{
    static const char* const kFunction = "_Mvx_Internal_NS_::JB2Decompressor::chargeMemory";
    m_memory += inBytes + inRows;
    m_absoluteOnly += inRows;
    if (m_memory > kMaxStreamBytes)
        MVX_THROW(errDataBroken, "JB2Decoder: The shapes need more memory than a stream may take!", kFunction);
    if (m_memory - m_absoluteOnly > kFreeBytes + kMaxBytesPerByte * m_zp->bytesRead())
        MVX_THROW(errDataBroken, "JB2Decoder: More shapes than the data can hold!", kFunction);
}

void JB2Decompressor::decodeBitmapDirect(ShapeBitmap& outBitmap)
{
    const int32_t width = codeNumber(0, kBigPositive, 0, nkMarkWidth);
    const int32_t height = codeNumber(0, kBigPositive, 0, nkMarkHeight);
    checkMarkSize(width, height);
    outBitmap.resize(uint32_t(width), uint32_t(height));
    codeDirectBitmap(nullptr, &outBitmap, m_scratch, bitDecoder());
}

const JB2Decompressor::LibraryEntry& JB2Decompressor::decodeReference()
{
    const int32_t last = int32_t(m_library.count()) - 1;
    const int32_t index = last < 0 ? -1 : codeNumber(0, last, 0, nkMatchIndex);
    if (index < 0 || index > last)
        MVX_THROW(errDataBroken, "JB2Decoder: Shape index out of range!",
                  "_Mvx_Internal_NS_::JB2Decompressor::decodeReference");
    return m_library[uint32_t(index)];
}

void JB2Decompressor::decodeBitmapRefine(const LibraryEntry& inReference, ShapeBitmap& outBitmap)
{
    const int32_t dw = codeNumber(kBigNegative, kBigPositive, 0, nkRefineWidth);
    const int32_t dh = codeNumber(kBigNegative, kBigPositive, 0, nkRefineHeight);
    const int64_t width = int64_t(inReference.ink.width) + dw, height = int64_t(inReference.ink.height) + dh;
    checkMarkSize(width, height);
    outBitmap.resize(uint32_t(width), uint32_t(height));
    codeRefinedBitmap(nullptr, &outBitmap, inReference.shape->getBitmap(), inReference.ink, m_scratch, bitDecoder());
}

void JB2Decompressor::decodeLocation(uint32_t inWidth, uint32_t inHeight, int32_t& outX, int32_t& outY)
{
    int32_t left = 0, bottom = 0;
    codeRelativeLocation(left, bottom, inWidth, inHeight);
    const int64_t y = int64_t(getImageHeight()) - bottom - int64_t(inHeight) + 1;
    if (y < INT32_MIN || y > INT32_MAX || int64_t(left) - 1 < INT32_MIN)
        MVX_THROW(errDataBroken, "JB2Decoder: Shape position out of range!",
                  "_Mvx_Internal_NS_::JB2Decompressor::decodeLocation");
    outX = left - 1;
    outY = int32_t(y);
}

void JB2Decompressor::addShape(ShapeList& ioShapes, const AutoPtr<Shape>& inShape, bool inLibrary)
{
    static const char* const kFunction = "_Mvx_Internal_NS_::JB2Decompressor::addShape";
    if (!m_dictionary && ++m_marks > uint64_t(getImageWidth()) * getImageHeight())
        MVX_THROW(errDataBroken, "JB2Decoder: More marks than the page has pixels!", kFunction);
    if (++m_shapes > kMaxShapes)
        MVX_THROW(errDataBroken, "JB2Decoder: Too many shapes!", kFunction);
    chargeMemory(kShapeBytes + (inLibrary ? 2 * kEntryBytes : 0));
    ioShapes.append(inShape);
    if (inLibrary)
        m_library.append(LibraryEntry{inShape.get(), computeInkBox(inShape->getBitmap())});
}

void JB2Decompressor::decodeNewMark(ShapeList& ioShapes, bool inLibrary)
{
    static const char* const kFunction = "_Mvx_Internal_NS_::JB2Decompressor::decodeNewMark";
    requirePage("JB2Decoder: NewMark found in the dictionary!", kFunction);
    ShapeBitmap bitmap;
    decodeBitmapDirect(bitmap);
    int32_t x = 0, y = 0;
    decodeLocation(bitmap.getWidth(), bitmap.getHeight(), x, y);
    addShape(ioShapes, Shape::create(bitmap, x, y, Normal), inLibrary);
}

void JB2Decompressor::decodeNewMarkLibraryOnly(ShapeList& ioShapes)
{
    requireDictionary("JB2Decoder: NewMarkLibraryOnly found on page!",
                      "_Mvx_Internal_NS_::JB2Decompressor::decodeNewMarkLibraryOnly");
    ShapeBitmap bitmap;
    decodeBitmapDirect(bitmap);
    addShape(ioShapes, Shape::create(bitmap, 0, 0, Normal), true);
}

void JB2Decompressor::decodeMatchedRefine(ShapeList& ioShapes, bool inLibrary)
{
    static const char* const kFunction = "_Mvx_Internal_NS_::JB2Decompressor::decodeMatchedRefine";
    requirePage("JB2Decoder: MatchedRefine found in the dictionary!", kFunction);
    const LibraryEntry reference = decodeReference();
    ShapeBitmap bitmap;
    decodeBitmapRefine(reference, bitmap);
    int32_t x = 0, y = 0;
    decodeLocation(bitmap.getWidth(), bitmap.getHeight(), x, y);
    addShape(ioShapes, Shape::createRefinement(AutoPtr<Shape>(reference.shape), bitmap, x, y), inLibrary);
}

void JB2Decompressor::decodeMatchedRefineLibraryOnly(ShapeList& ioShapes)
{
    requireDictionary("JB2Decoder: MatchedRefineLibraryOnly found on page!",
                      "_Mvx_Internal_NS_::JB2Decompressor::decodeMatchedRefineLibraryOnly");
    const LibraryEntry reference = decodeReference();
    ShapeBitmap bitmap;
    decodeBitmapRefine(reference, bitmap);
    addShape(ioShapes, Shape::createRefinement(AutoPtr<Shape>(reference.shape), bitmap, 0, 0), true);
}

void JB2Decompressor::decodeMatchedCopy(ShapeList& ioShapes)
{
    static const char* const kFunction = "_Mvx_Internal_NS_::JB2Decompressor::decodeMatchedCopy";
    requirePage("JB2Decoder: MatchedCopy found on the dictionary!", kFunction);
    const LibraryEntry reference = decodeReference();
    // The copy is placed by its reference's ink, not by the reference's bitmap.
    int32_t x = 0, y = 0;
    decodeLocation(reference.ink.width, reference.ink.height, x, y);
    const int64_t left = int64_t(x) - reference.ink.x, top = int64_t(y) - reference.ink.y;
    if (left < INT32_MIN || top < INT32_MIN)
        MVX_THROW(errDataBroken, "JB2Decoder: Shape position out of range!", kFunction);
    addShape(ioShapes, Shape::createMatch(AutoPtr<Shape>(reference.shape), int32_t(left), int32_t(top)), false);
}

void JB2Decompressor::decodeNonMarkData(ShapeList& ioShapes)
{
    requirePage("JB2Decoder: NonMarkData found on the dictionary!",
                "_Mvx_Internal_NS_::JB2Decompressor::decodeNonMarkData");
    ShapeBitmap bitmap;
    decodeBitmapDirect(bitmap);
    const int32_t column = codeNumber(1, int32_t(getImageWidth()), 0, nkAbsoluteX);
    const int32_t row = codeNumber(1, int32_t(getImageHeight()), 0, nkAbsoluteY);
    addShape(ioShapes, Shape::create(bitmap, column - 1, int32_t(getImageHeight()) - row, NonMark), false);
}

} // namespace _Mvx_Internal_NS_
