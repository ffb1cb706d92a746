// The plain pass: the page without text, line art and small or few-colour bitmaps. Records that draw
// from the current position are left out with the pen moved to where they would have left it, so that
// the records played after them start from the same place as in the full render.
#include "bp_emfrenderer.h"

#include "bp_emfrecord.h"

#include <cmath>
#include <cstdint>

using namespace Gdiplus;

namespace {

bool fitsInt32(double inValue)
{
    return inValue >= double(INT32_MIN) && inValue <= double(INT32_MAX);
}

// The last of the record's points (count at offset 24, points from offset 28), when it has any and they
// all lie inside the record.
bool lastPoint(const EmfRecordView& inRecord, bool inShortPoints, POINT& outPoint)
{
    uint32_t count = 0;
    if (!inRecord.read(24, count) || count == 0)
        return false;
    const uint64_t pointSize = inShortPoints ? 4 : 8;
    if (!inRecord.has(28, pointSize * count))
        return false;
    const uint64_t last = 28 + pointSize * (count - 1);
    if (inShortPoints) {
        int16_t x = 0, y = 0;
        inRecord.read(last, x);
        inRecord.read(last + 2, y);
        outPoint = POINT{x, y};
    } else {
        int32_t x = 0, y = 0;
        inRecord.read(last, x);
        inRecord.read(last + 4, y);
        outPoint = POINT{x, y};
    }
    return true;
}

// Where an EMR_ANGLEARC leaves the pen: the end of the arc around the centre at the record's offsets
// 8 and 12, radius at 16, start and sweep angles (degrees) at 20 and 24.
bool angleArcEnd(const EmfRecordView& inRecord, POINT& outPoint)
{
    int32_t x = 0, y = 0;
    uint32_t radius = 0;
    float start = 0, sweep = 0;
    if (!inRecord.read(8, x) || !inRecord.read(12, y) || !inRecord.read(16, radius) || !inRecord.read(20, start) ||
        !inRecord.read(24, sweep))
        return false;
    const double angle = (double(start) + double(sweep)) * 3.14159265358979323846 / 180.0;
    const double endX = double(x) + std::trunc(double(radius) * std::cos(angle));
    const double endY = double(y) - std::trunc(double(radius) * std::sin(angle));
    if (!std::isfinite(angle) || !fitsInt32(endX) || !fitsInt32(endY))
        return false;
    outPoint = POINT{int32_t(endX), int32_t(endY)};
    return true;
}

// Where an EMR_ARCTO leaves the pen: on the ellipse of its box (offsets 8 to 24), where the ray from the
// box's centre through the end point (offsets 32, 36) meets it, as GDI draws the arc to that point.
bool arcToEnd(const EmfRecordView& inRecord, POINT& outPoint)
{
    RECTL box = {};
    int32_t endX = 0, endY = 0;
    if (!inRecord.read(8, box) || !inRecord.read(32, endX) || !inRecord.read(36, endY))
        return false;
    const double centreX = (double(box.left) + double(box.right)) / 2;
    const double centreY = (double(box.top) + double(box.bottom)) / 2;
    const double radiusX = std::fabs(double(box.right) - double(box.left)) / 2;
    const double radiusY = std::fabs(double(box.bottom) - double(box.top)) / 2;
    const double dx = double(endX) - centreX;
    const double dy = double(endY) - centreY;
    double x = centreX, y = centreY;
    if (radiusX > 0 && radiusY > 0 && (dx != 0 || dy != 0)) {
        const double scale = 1.0 / std::sqrt((dx / radiusX) * (dx / radiusX) + (dy / radiusY) * (dy / radiusY));
        x = centreX + dx * scale;
        y = centreY + dy * scale;
    }
    x = std::floor(x + 0.5);
    y = std::floor(y + 0.5);
    if (!fitsInt32(x) || !fitsInt32(y))
        return false;
    outPoint = POINT{int32_t(x), int32_t(y)};
    return true;
}

// A bitmap header of inSize bytes at inOffset, when it lies inside the record.
const BITMAPINFO* bitmapInfoAt(const EmfRecordView& inRecord, uint32_t inOffset, uint32_t inSize)
{
    return reinterpret_cast<const BITMAPINFO*>(inRecord.at(inOffset, inSize));
}

// Where a left-out line record leaves the pen; false when the record does not say.
bool penEnd(uint32_t inType, const EmfRecordView& inRecord, POINT& outPen)
{
    switch (inType) {
    case EMR_ANGLEARC:
        return angleArcEnd(inRecord, outPen);
    case EMR_ARCTO:
        return arcToEnd(inRecord, outPen);
    case EMR_LINETO:
        return inRecord.read(8, outPen.x) && inRecord.read(12, outPen.y);
    case EMR_POLYLINETO16:
    case EMR_POLYBEZIERTO16:
    case EMR_POLYDRAW16:
        return lastPoint(inRecord, true, outPen);
    default:
        return lastPoint(inRecord, false, outPen);
    }
}

} // namespace

GpStatus EmfPageRenderer::PlainPassRecord(EmfPlusRecordType inType, UINT inFlags, UINT inDataSize,
                                          const BYTE* inData)
{
    const EmfRecordView record = EmfRecordView::aroundData(inData, inDataSize);
    POINT pen = {};
    switch (uint32_t(inType)) {
    case EMR_ARC:
    case EMR_CHORD:
    case EMR_ELLIPSE:
    case EMR_FRAMERGN:
    case EMR_INVERTRGN:
    case EMR_PAINTRGN:
    case EMR_PIE:
    case EMR_POLYBEZIER:
    case EMR_POLYBEZIER16:
    case EMR_POLYGON:
    case EMR_POLYGON16:
    case EMR_POLYLINE:
    case EMR_POLYLINE16:
    case EMR_ROUNDRECT:
    case EMR_STROKEPATH:
    case uint32_t(EmfPlusRecordTypeDrawPath):
        return Ok;
    case EMR_ANGLEARC:
    case EMR_ARCTO:
    case EMR_LINETO:
    case EMR_POLYLINETO:
    case EMR_POLYBEZIERTO:
    case EMR_POLYDRAW:
    case EMR_POLYLINETO16:
    case EMR_POLYBEZIERTO16:
    case EMR_POLYDRAW16:
        if (penEnd(uint32_t(inType), record, pen))
            MoveToEx(m_dc, pen.x, pen.y, nullptr);
        return Ok;
    case EMR_BITBLT:
    case EMR_STRETCHBLT:
    case EMR_MASKBLT:
    case EMR_STRETCHDIBITS:
        if (IsForegroundBlit(uint32_t(inType), record))
            return Ok;
        break;
    case EMR_STROKEANDFILLPATH:
        // The path is used up as the record would have used it.
        StrokePath(m_dc);
        return Ok;
    default:
        break;
    }
    return PlayRecord(inType, inFlags, inDataSize, inData);
}

const BlitLayout& BlitLayoutOf(uint32_t inType)
{
    static const BlitLayout kBlit = {84, 88, 92, 96, 32, 36, 32, 36};
    static const BlitLayout kStretchBlt = {84, 88, 92, 96, 32, 36, 100, 104};
    static const BlitLayout kStretchDIBits = {48, 52, 56, 60, 72, 76, 40, 44};
    return inType == EMR_STRETCHDIBITS ? kStretchDIBits : inType == EMR_STRETCHBLT ? kStretchBlt : kBlit;
}

bool EmfPageRenderer::IsForegroundBlit(uint32_t inType, const EmfRecordView& inRecord) const
{
    // Offsets of the mask's header offset and size and bits offset and size in EMR_MASKBLT.
    static const BlitLayout kMask = {112, 116, 120, 124, 0, 0, 0, 0};
    const BlitLayout& source = BlitLayoutOf(inType);

    uint32_t headerOffset = 0, headerSize = 0, bitsOffset = 0, bitsSize = 0;
    int32_t width = 0, height = 0;
    if (!inRecord.read(source.headerSize, headerSize) || !inRecord.read(source.bitsSize, bitsSize) || headerSize == 0 ||
        bitsSize == 0)
        return false;  // no source bitmap (a pattern fill): always drawn
    const BITMAPINFO* sourceInfo = nullptr;
    const uint8_t* sourceBits = nullptr;
    if (!inRecord.read(source.header, headerOffset) || !inRecord.read(source.bits, bitsOffset) ||
        !inRecord.read(source.width, width) || !inRecord.read(source.height, height) ||
        headerSize < sizeof(BITMAPINFOHEADER) || !(sourceInfo = bitmapInfoAt(inRecord, headerOffset, headerSize)) ||
        !(sourceBits = inRecord.at(bitsOffset, bitsSize)))
        return true;  // a source that does not lie inside its record is never read, nor drawn

    const BITMAPINFO* maskInfo = nullptr;
    const uint8_t* maskBits = nullptr;
    uint32_t maskHeaderOffset = 0, maskHeaderSize = 0, maskBitsOffset = 0, maskBitsSize = 0;
    if (inType == EMR_MASKBLT && inRecord.read(kMask.headerSize, maskHeaderSize) &&
        inRecord.read(kMask.bitsSize, maskBitsSize) && maskHeaderSize != 0 && maskBitsSize != 0) {
        if (!inRecord.read(kMask.header, maskHeaderOffset) || !inRecord.read(kMask.bits, maskBitsOffset) ||
            maskHeaderSize < sizeof(BITMAPINFOHEADER) ||
            !(maskInfo = bitmapInfoAt(inRecord, maskHeaderOffset, maskHeaderSize)) ||
            !(maskBits = inRecord.at(maskBitsOffset, maskBitsSize)))
            return true;
    }
    return IsForegroundBitmap(sourceInfo, sourceBits, bitsSize, width, height, maskInfo, maskBits, maskBitsSize);
}
