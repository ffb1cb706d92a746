// Whether a host's EMF record is whole: its fixed fields, and every array, string, region and bitmap its
// counts, offsets and sizes name, lie inside the record. GDI plays records as they come and reads what
// their fields say, so a damaged record is never handed to it.
#include "bp_emfrecord.h"

#include <windows.h>

namespace {

// The smallest size of each record type 1 to 122 (fixed fields only); 0 for types that do not exist.
const uint16_t kMinimumSize[EMR_MAX + 1] = {
    0,
    88, 28, 28, 28, 28, 28, 32, 32, 16, 16,     // 1 HEADER .. 10 SETWINDOWORGEX
    16, 16, 16, 20, 20, 12, 12, 12, 12, 12,     // 11 SETVIEWPORTEXTEX .. 20 SETROP2
    12, 12, 32, 12, 12, 16, 16, 8, 24, 24,      // 21 SETSTRETCHBLTMODE .. 30 INTERSECTCLIPRECT
    24, 24, 8, 12, 32, 36, 12, 28, 24, 12,      // 31 SCALEVIEWPORTEXTEX .. 40 DELETEOBJECT
    28, 24, 24, 32, 40, 40, 40, 12, 16, 20,     // 41 ANGLEARC .. 50 SETPALETTEENTRIES
    16, 8, 24, 16, 40, 28, 12, 12, 8, 8,        // 51 RESIZEPALETTE .. 60 ENDPATH
    8, 24, 24, 24, 8, 8, 12, 8, 0, 12,          // 61 CLOSEFIGURE .. 70 GDICOMMENT
    32, 40, 28, 28, 16, 100, 108, 128, 140, 76, // 71 FILLRGN .. 80 SETDIBITSTODEVICE
    80, 104, 76, 76, 28, 28, 28, 28, 28, 32,    // 81 STRETCHDIBITS .. 90 POLYPOLYLINE16
    32, 28, 32, 32, 52, 40, 40, 12, 340, 12,    // 91 POLYPOLYGON16 .. 100 SETCOLORSPACE
    12, 12, 28, 48, 16, 16, 0, 36, 24, 20,      // 101 DELETECOLORSPACE .. 110 NAMEDESCAPE
    24, 20, 20, 108, 12, 108, 0, 36, 12, 16,    // 111 COLORCORRECTPALETTE .. 120 SETTEXTJUSTIFICATION
    24, 608,                                    // 121 COLORMATCHTOTARGETW, 122 CREATECOLORSPACEW
};

// The record's 32-bit field, the unit most of its checks are written in.
uint32_t word(const EmfRecordView& inRecord, uint64_t inOffset)
{
    return inRecord.valueAt<uint32_t>(inOffset);
}

// inCount elements of inSize bytes at inOffset.
bool arrayFits(const EmfRecordView& inRecord, uint64_t inOffset, uint64_t inCount, uint64_t inSize)
{
    return inRecord.has(inOffset, inCount * inSize);
}

// Points (count at offset 24, from offset 28) of 8 or, for the 16-bit forms, 4 bytes; for EMR_POLYDRAW
// a type byte a point follows them.
bool pointsFit(const EmfRecordView& inRecord, uint64_t inPointSize, uint64_t inExtraPerPoint = 0)
{
    return arrayFits(inRecord, 28, word(inRecord, 24), inPointSize + inExtraPerPoint);
}

// The poly-poly forms: the polygon count at 24, the point count at 28, the counts from 32, then the points;
// the counts together may not name more points than there are.
bool polyPolyFits(const EmfRecordView& inRecord, uint64_t inPointSize)
{
    const uint64_t polygons = word(inRecord, 24);
    const uint64_t points = word(inRecord, 28);
    if (!arrayFits(inRecord, 32, polygons, 4) || !arrayFits(inRecord, 32 + 4 * polygons, points, inPointSize))
        return false;
    uint64_t named = 0;
    for (uint64_t i = 0; i < polygons; ++i)
        named += word(inRecord, 32 + 4 * i);
    return named <= points;
}

// Region data of inSize bytes at inOffset: its header, and the rectangles its count names behind it.
bool regionFits(const EmfRecordView& inRecord, uint64_t inOffset, uint32_t inSize, bool inEmptyAllowed)
{
    if (inSize == 0)
        return inEmptyAllowed;
    if (!inRecord.has(inOffset, inSize) || inSize < sizeof(RGNDATAHEADER))
        return false;
    const uint64_t headerSize = word(inRecord, inOffset);
    const uint64_t rectangles = word(inRecord, inOffset + 8);
    return headerSize >= sizeof(RGNDATAHEADER) && headerSize + 16 * rectangles <= inSize;
}

// A device-independent bitmap named by the offset and size fields of its header and bits: the header
// inside the header's bytes, its colour table inside the record, the rows (or the compressed image)
// inside the bits' bytes.
// inUsage is the record's colour use (DIB_RGB_COLORS or DIB_PAL_COLORS); inRows, when not 0, is the
// number of rows the record holds when it holds fewer than the bitmap has (EMR_SETDIBITSTODEVICE).
bool bitmapFits(const EmfRecordView& inRecord, uint32_t inOffBmi, uint32_t inCbBmi, uint32_t inOffBits,
                uint32_t inCbBits, uint32_t inUsage, uint64_t inRows = 0)
{
    if (!inRecord.has(inOffBmi, inCbBmi) || !inRecord.has(inOffBits, inCbBits) || inCbBmi < sizeof(BITMAPCOREHEADER))
        return false;
    const uint32_t headerSize = word(inRecord, inOffBmi);
    uint64_t width = 0, height = 0, bitCount = 0, compression = BI_RGB, colours = 0, sizeImage = 0;
    uint64_t entrySize = inUsage == DIB_PAL_COLORS ? 2 : 4;
    if (headerSize == sizeof(BITMAPCOREHEADER)) {
        BITMAPCOREHEADER core;
        inRecord.read(inOffBmi, core);
        width = core.bcWidth;
        height = core.bcHeight;
        bitCount = core.bcBitCount;
        if (inUsage != DIB_PAL_COLORS)
            entrySize = 3;
    } else {
        BITMAPINFOHEADER info;
        if (headerSize < sizeof info || headerSize > inCbBmi || !inRecord.read(inOffBmi, info) || info.biWidth <= 0 ||
            info.biHeight == 0)
            return false;
        width = uint64_t(info.biWidth);
        height = info.biHeight < 0 ? uint64_t(-int64_t(info.biHeight)) : uint64_t(info.biHeight);
        bitCount = info.biBitCount;
        compression = info.biCompression;
        colours = info.biClrUsed;
        sizeImage = info.biSizeImage;
    }
    if (width == 0 || height == 0)
        return false;
    uint64_t tableSize = 0;
    switch (bitCount) {
    case 1:
    case 4:
    case 8:
        tableSize = (colours ? colours : uint64_t(1) << bitCount) * entrySize;
        break;
    case 16:
    case 24:
    case 32:
        tableSize = colours * entrySize;
        if (compression == BI_BITFIELDS && headerSize == sizeof(BITMAPINFOHEADER))
            tableSize += 12;
        break;
    case 0:
        if (compression != BI_JPEG && compression != BI_PNG)
            return false;
        break;
    default:
        return false;
    }
    // The colour table may run past the header's size (Wine's recorder counts the header alone), but not
    // past the record.
    if (!inRecord.has(inOffBmi, uint64_t(headerSize) + tableSize))
        return false;
    switch (compression) {
    case BI_RGB:
    case BI_BITFIELDS: {
        if (bitCount == 0 || (compression == BI_BITFIELDS && bitCount != 16 && bitCount != 32))
            return false;
        const uint64_t rowSize = (bitCount * width + 31) / 32 * 4;
        const uint64_t rows = inRows && inRows < height ? inRows : height;
        return rowSize * rows <= inCbBits;
    }
    case BI_RLE8:
    case BI_RLE4:
        if (bitCount != (compression == BI_RLE8 ? 8u : 4u))
            return false;
        return sizeImage != 0 && sizeImage <= inCbBits;
    case BI_JPEG:
    case BI_PNG:
        return sizeImage != 0 && sizeImage <= inCbBits;
    default:
        return false;
    }
}

// A blit's source (or mask) at the given field offsets: none at all (header size 0) is a fill without a
// source; otherwise the bitmap must be whole.
bool sourceFits(const EmfRecordView& inRecord, uint64_t inUsage, uint64_t inOffBmi)
{
    const uint32_t cbBmi = word(inRecord, inOffBmi + 4);
    // A blit without a source has neither header offset nor size; GDI reads a source bitmap wherever the
    // offset alone points.
    if (cbBmi == 0)
        return word(inRecord, inOffBmi) == 0;
    return bitmapFits(inRecord, word(inRecord, inOffBmi), cbBmi, word(inRecord, inOffBmi + 8),
                      word(inRecord, inOffBmi + 12), word(inRecord, inUsage));
}

// The EMRTEXT at inOffset: the string of its count of characters and, with them, its advances (two a
// character with ETO_PDY).
bool textFits(const EmfRecordView& inRecord, uint64_t inOffset, uint64_t inCharSize)
{
    const uint64_t chars = word(inRecord, inOffset + 8);
    if (chars == 0)
        return true;
    const uint64_t advances = (word(inRecord, inOffset + 16) & ETO_PDY) ? 2 : 1;
    return arrayFits(inRecord, word(inRecord, inOffset + 12), chars, inCharSize) &&
           arrayFits(inRecord, word(inRecord, inOffset + 36), chars * advances, 4);
}

bool gradientFits(const EmfRecordView& inRecord)
{
    const uint64_t vertices = word(inRecord, 24);
    const uint64_t shapes = word(inRecord, 28);
    const uint32_t mode = word(inRecord, 32);
    if (mode != GRADIENT_FILL_RECT_H && mode != GRADIENT_FILL_RECT_V && mode != GRADIENT_FILL_TRIANGLE)
        return false;
    const uint64_t corners = mode == GRADIENT_FILL_TRIANGLE ? 3 : 2;
    const uint64_t shapesOffset = 36 + 16 * vertices;
    if (!arrayFits(inRecord, 36, vertices, 16) || !arrayFits(inRecord, shapesOffset, shapes, 4 * corners))
        return false;
    for (uint64_t i = 0; i < shapes * corners; ++i)
        if (word(inRecord, shapesOffset + 4 * i) >= vertices)
            return false;
    return true;
}

// The field at inOffset names an entry of the metafile's object table (or, where inStockAllowed, a stock
// object: the high bit set). Entry 0 is the metafile itself: an object made there would never be freed.
bool objectFits(const EmfRecordView& inRecord, uint64_t inOffset, uint32_t inHandleCount, bool inStockAllowed = false)
{
    const uint32_t index = word(inRecord, inOffset);
    return (index != 0 && index < inHandleCount) || (inStockAllowed && (index & 0x80000000u));
}

// The record's object-table index fields: those that create, select, use or delete an object.
bool objectsFit(uint32_t inType, const EmfRecordView& inRecord, uint32_t inHandleCount)
{
    switch (inType) {
    case EMR_SELECTOBJECT:
    case EMR_SELECTPALETTE:
        return objectFits(inRecord, 8, inHandleCount, true);
    case EMR_DELETEOBJECT:
    case EMR_CREATEPEN:
    case EMR_CREATEBRUSHINDIRECT:
    case EMR_EXTCREATEFONTINDIRECTW:
    case EMR_CREATEPALETTE:
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT:
    case EMR_EXTCREATEPEN:
    case EMR_CREATECOLORSPACE:
    case EMR_CREATECOLORSPACEW:
    case EMR_SETPALETTEENTRIES:
    case EMR_RESIZEPALETTE:
    case EMR_SETCOLORSPACE:
    case EMR_DELETECOLORSPACE:
    case EMR_COLORCORRECTPALETTE:
        return objectFits(inRecord, 8, inHandleCount);
    case EMR_FILLRGN:
    case EMR_FRAMERGN:
        return objectFits(inRecord, 28, inHandleCount);
    default:
        return true;
    }
}

// EMR_RESTOREDC goes back a negative number of states, counted from the last one saved. Any other level
// names a state the page did not save (the renderer's own, or one before the first), and GDI does not
// survive every one of them (INT_MIN).
bool restoreLevelFits(const EmfRecordView& inRecord, uint32_t inSavedStates)
{
    const int32_t level = int32_t(word(inRecord, 8));
    return level < 0 && -int64_t(level) <= int64_t(inSavedStates);
}

} // namespace

uint32_t SavedStatesAfter(uint32_t inType, const EmfRecordView& inRecord, uint32_t inSavedStates)
{
    if (inType == EMR_SAVEDC)
        return inSavedStates + 1;
    if (inType == EMR_RESTOREDC && restoreLevelFits(inRecord, inSavedStates))
        return uint32_t(int64_t(inSavedStates) + int32_t(word(inRecord, 8)));
    return inSavedStates;
}

bool RecordFitsItsFields(uint32_t inType, const EmfRecordView& inRecord, uint32_t inHandleCount,
                         uint32_t inSavedStates)
{
    if (inType < EMR_MIN || inType > EMR_MAX || kMinimumSize[inType] == 0 || inRecord.size() < kMinimumSize[inType] ||
        !objectsFit(inType, inRecord, inHandleCount))
        return false;
    const EmfRecordView& r = inRecord;
    switch (inType) {
    case EMR_POLYBEZIER:
    case EMR_POLYGON:
    case EMR_POLYLINE:
    case EMR_POLYBEZIERTO:
    case EMR_POLYLINETO:
        return pointsFit(r, 8);
    case EMR_POLYBEZIER16:
    case EMR_POLYGON16:
    case EMR_POLYLINE16:
    case EMR_POLYBEZIERTO16:
    case EMR_POLYLINETO16:
        return pointsFit(r, 4);
    case EMR_POLYDRAW:
        return pointsFit(r, 8, 1);
    case EMR_POLYDRAW16:
        return pointsFit(r, 4, 1);
    case EMR_POLYPOLYLINE:
    case EMR_POLYPOLYGON:
        return polyPolyFits(r, 8);
    case EMR_POLYPOLYLINE16:
    case EMR_POLYPOLYGON16:
        return polyPolyFits(r, 4);
    case EMR_EOF:
        return arrayFits(r, word(r, 12), word(r, 8), 4);
    case EMR_CREATEPALETTE: {
        uint16_t entries = 0;
        r.read(14, entries);
        return arrayFits(r, 16, entries, 4);
    }
    case EMR_SETPALETTEENTRIES:
        return arrayFits(r, 20, word(r, 16), 4);
    case EMR_GDICOMMENT:
        return r.has(12, word(r, 8));
    case EMR_RESTOREDC:
        return restoreLevelFits(r, inSavedStates);
    case EMR_FILLRGN:
        return regionFits(r, 32, word(r, 24), false);
    case EMR_FRAMERGN:
        return regionFits(r, 40, word(r, 24), false);
    case EMR_INVERTRGN:
    case EMR_PAINTRGN:
        return regionFits(r, 28, word(r, 24), false);
    case EMR_EXTSELECTCLIPRGN:
        return regionFits(r, 16, word(r, 8), true);
    case EMR_BITBLT:
    case EMR_STRETCHBLT:
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT:
        return sourceFits(r, 80, 84);
    case EMR_MASKBLT:
        return sourceFits(r, 80, 84) && sourceFits(r, 108, 112);
    case EMR_PLGBLT:
        return sourceFits(r, 92, 96) && sourceFits(r, 120, 124);
    case EMR_SETDIBITSTODEVICE:
        return word(r, 52) != 0 &&
               bitmapFits(r, word(r, 48), word(r, 52), word(r, 56), word(r, 60), word(r, 64), word(r, 72));
    case EMR_STRETCHDIBITS:
        return word(r, 52) != 0 && bitmapFits(r, word(r, 48), word(r, 52), word(r, 56), word(r, 60), word(r, 64));
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT:
        return bitmapFits(r, word(r, 16), word(r, 20), word(r, 24), word(r, 28), word(r, 12));
    case EMR_EXTCREATEPEN:
        return arrayFits(r, 52, word(r, 48), 4) &&
               (word(r, 16) == 0 || bitmapFits(r, word(r, 12), word(r, 16), word(r, 20), word(r, 24), DIB_RGB_COLORS));
    case EMR_EXTTEXTOUTA:
        return textFits(r, 36, 1);
    case EMR_EXTTEXTOUTW:
        return textFits(r, 36, 2);
    case EMR_POLYTEXTOUTA:
    case EMR_POLYTEXTOUTW: {
        const uint64_t strings = word(r, 36);
        if (!arrayFits(r, 40, strings, 40))
            return false;
        for (uint64_t i = 0; i < strings; ++i)
            if (!textFits(r, 40 + 40 * i, inType == EMR_POLYTEXTOUTW ? 2 : 1))
                return false;
        return true;
    }
    case EMR_SMALLTEXTOUT_TYPE: {
        const uint32_t options = word(r, 20);
        return arrayFits(r, (options & BP_ETO_NO_RECT) ? 36 : 52, word(r, 16),
                         (options & BP_ETO_SMALL_CHARS) ? 1 : 2);
    }
    case EMR_GRADIENTFILL:
        return gradientFits(r);
    case EMR_GLSRECORD:
        return r.has(12, word(r, 8));
    case EMR_GLSBOUNDEDRECORD:
        return r.has(28, word(r, 24));
    case EMR_DRAWESCAPE_TYPE:
    case EMR_EXTESCAPE_TYPE:
        return r.has(16, word(r, 12));
    case EMR_NAMEDESCAPE_TYPE:
        return r.has(20, uint64_t(word(r, 12)) + word(r, 16));
    case EMR_SETICMPROFILEA:
    case EMR_SETICMPROFILEW:
        return r.has(20, uint64_t(word(r, 12)) + word(r, 16));
    case EMR_COLORMATCHTOTARGETW:
        return r.has(24, uint64_t(word(r, 16)) + word(r, 20));
    default:
        return true;
    }
}
