// Records whose counts, offsets and sizes do not fit the record, spliced into a page metafile: both
// passes render the page without reading outside a record, and without a crash or a hang.
#include "render_support.h"

#include "bp_emfrecord.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace RenderTest;

namespace {

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> inParts)
{
    std::vector<uint8_t> bytes;
    for (const auto& part : inParts)
        bytes.insert(bytes.end(), part.begin(), part.end());
    return bytes;
}

// A 24-bit bitmap header of inWidth x inHeight pixels.
std::vector<uint8_t> bitmapHeader(uint32_t inWidth, uint32_t inHeight, uint32_t inBitCount = 24)
{
    return words({40, inWidth, inHeight, 1 | (inBitCount << 16), BI_RGB, 0, 0, 0, 0, 0});
}

// EMR_STRETCHDIBITS with the given header and bits offsets and sizes, a 64 x 64 destination, the header
// and then inBits behind the fixed part (offset 80).
std::vector<uint8_t> stretchDIBits(uint32_t inOffBmi, uint32_t inCbBmi, uint32_t inOffBits, uint32_t inCbBits,
                                   const std::vector<uint8_t>& inHeader, size_t inBits, int32_t inDestWidth = 64,
                                   int32_t inDestHeight = 64)
{
    std::vector<uint8_t> payload = words({0, 0, 100, 100,                           // bounds
                                          10, 10, 0, 0, 32, 32,                     // dest x, y; src x, y, cx, cy
                                          inOffBmi, inCbBmi, inOffBits, inCbBits,   // offsets and sizes
                                          DIB_RGB_COLORS, SRCCOPY, uint32_t(inDestWidth), uint32_t(inDestHeight)});
    payload = concat({payload, inHeader, std::vector<uint8_t>(inBits, 0x35)});
    return makeRecord(EMR_STRETCHDIBITS, payload);
}

// EMR_BITBLT (or EMR_MASKBLT with the mask fields) with a 64 x 64 destination and the given source fields.
std::vector<uint8_t> bitBlt(uint32_t inType, uint32_t inOffBmi, uint32_t inCbBmi, uint32_t inOffBits,
                            uint32_t inCbBits, size_t inTail)
{
    std::vector<uint8_t> payload = words({0, 0, 100, 100, 10, 10, 64, 64, SRCCOPY, 0, 0});
    payload = concat({payload, words({0x3F800000, 0, 0, 0x3F800000, 0, 0}),  // identity transform
                      words({0, DIB_RGB_COLORS, inOffBmi, inCbBmi, inOffBits, inCbBits})});
    if (inType == EMR_MASKBLT)
        payload = concat({payload, words({0, 0, DIB_RGB_COLORS, 0xFFFFF0, 40, 128, 0x7FFFFFFF})});
    payload = concat({payload, std::vector<uint8_t>(inTail, 0x21)});
    return makeRecord(inType, payload);
}

struct DamagedCase {
    const char* name;
    std::vector<std::vector<uint8_t>> records;
};

std::vector<DamagedCase> damagedCases()
{
    const std::vector<uint8_t> header = bitmapHeader(32, 32);
    const uint32_t bitsOffset = 80 + 40;
    return {
        {"StretchDIBitsHeaderBeyondRecord", {stretchDIBits(0x7FFFFFF0, 40, bitsOffset, 3072, header, 3072)}},
        {"StretchDIBitsBitsBeyondRecord", {stretchDIBits(80, 40, bitsOffset, 0x10000000, header, 3072)}},
        {"StretchDIBitsOffsetsWrapAround", {stretchDIBits(0xFFFFFFF8, 0x10, 0xFFFFFF00, 0x200, header, 3072)}},
        {"StretchDIBitsRowsLongerThanBits", {stretchDIBits(80, 40, bitsOffset, 512, bitmapHeader(32, 3000), 512)}},
        {"StretchDIBitsHugeBitmap",
         {stretchDIBits(80, 40, bitsOffset, 3072, bitmapHeader(0x7FFFFFFF, 0x7FFFFFFF), 3072)}},
        {"StretchDIBitsHeaderSizeLies",
         {stretchDIBits(80, 40, bitsOffset, 3072, concat({words({0xFFFFFFF0}), std::vector<uint8_t>(36, 0)}), 3072)}},
        {"StretchDIBitsHeaderShorterThanHeader", {stretchDIBits(80, 12, bitsOffset, 3072, header, 3072)}},
        {"StretchDIBitsNegativeHugeDestination",
         {stretchDIBits(80, 40, bitsOffset, 3072, header, 3072, INT32_MIN, INT32_MIN)}},
        {"BitBltTruncated", {makeRecord(EMR_BITBLT, words({0, 0, 100, 100, 10, 10, 64, 64, SRCCOPY}))}},
        {"BitBltSourceBeyondRecord", {bitBlt(EMR_BITBLT, 100, 40, 140, 0x00FFFFFF, 64)}},
        // GDI takes a non-zero header offset for a source bitmap whatever the header size says.
        {"BitBltSourceOffsetWithoutSize", {bitBlt(EMR_BITBLT, 0x7FFFFFF0, 0, 0x7FFFFFF0, 0, 64)}},
        {"StretchBltHeaderBeyondRecord", {bitBlt(EMR_STRETCHBLT, 0x7FFFFFFF, 40, 108, 16, 64)}},
        {"MaskBltMaskBeyondRecord", {bitBlt(EMR_MASKBLT, 128, 40, 168, 3072, 40 + 3072)}},
        {"PolylineToHugeCount", {makeRecord(EMR_POLYLINETO, words({0, 0, 10, 10, 0x40000000, 5, 5}))}},
        {"PolyBezierTo16HugeCount", {makeRecord(EMR_POLYBEZIERTO16, words({0, 0, 10, 10, 0xFFFFFFFF, 0x00050005}))}},
        {"PolyDraw16HugeCount", {makeRecord(EMR_POLYDRAW16, words({0, 0, 10, 10, 0x20000000, 0x00050005}))}},
        {"PolygonHugeCount", {makeRecord(EMR_POLYGON, words({0, 0, 10, 10, 0x10000000, 5, 5, 9, 9}))}},
        {"Polyline16HugeCount", {makeRecord(EMR_POLYLINE16, words({0, 0, 10, 10, 0x7FFFFFFF, 0x00050005}))}},
        {"PolyPolygonHugeCounts", {makeRecord(EMR_POLYPOLYGON, words({0, 0, 10, 10, 0x7FFFFFFF, 3, 3, 1, 1, 2, 2}))}},
        {"PolyPolyline16CountsBeyondPoints",
         {makeRecord(EMR_POLYPOLYLINE16, words({0, 0, 10, 10, 2, 4, 0x40000000, 0x7FFFFFFF, 0x00010001}))}},
        {"LineToTruncated", {makeRecord(EMR_LINETO, {})}},
        {"AngleArcNotANumber", {makeRecord(EMR_ANGLEARC, words({10, 10, 0xFFFFFFFF, 0x7FC00000, 0x7F800000}))}},
        {"AngleArcTruncated", {makeRecord(EMR_ANGLEARC, words({10, 10}))}},
        {"ArcToTruncated", {makeRecord(EMR_ARCTO, words({0, 0, 10}))}},
        {"FontTruncated", {makeRecord(EMR_EXTCREATEFONTINDIRECTW, words({1, 0xFFFFFFF6}))}},
        {"SelectObjectTruncated", {makeRecord(EMR_SELECTOBJECT, {})}},
        {"DeleteObjectTruncated", {makeRecord(EMR_DELETEOBJECT, {})}},
        {"SetTextAlignTruncated", {makeRecord(EMR_SETTEXTALIGN, {})}},
        {"ExtTextOutStringBeyondRecord",
         {makeRecord(EMR_EXTTEXTOUTW, concat({words({0, 0, 100, 100, GM_COMPATIBLE, 0x3F800000, 0x3F800000}),
                                              words({10, 20, 0x7FFFFFFF, 0x7FFFFFF0, 0, 0, 0, 0, 0, 0x7FFFFF00}),
                                              std::vector<uint8_t>(16, 0x41)}))}},
        {"ExtTextOutDxBeyondRecord",
         {makeRecord(EMR_EXTTEXTOUTW,
                     concat({words({0, 0, 100, 100, GM_COMPATIBLE, 0x3F800000, 0x3F800000}),
                             words({10, 20, 4, 76, 0, 0, 0, 0, 0, 0xFFFFFFF0}), words({0x00420041, 0x00440043})}))}},
        {"SmallTextOutGarbage", {makeRecord(EMR_SMALLTEXTOUT_TYPE, words({10, 20, 0x7FFFFFFF, 0x300, 1, 0, 0}))}},
        {"CommentLengthBeyondRecord",
         {makeRecord(EMR_GDICOMMENT, concat({words({0x7FFFFFFF}), words({0x50504E55, 0x201})}))}},
        {"FillRgnDataBeyondRecord",
         {makeRecord(EMR_FILLRGN, words({0, 0, 10, 10, 0x7FFFFFF0, 0, 32, 1, 0x10000000, 0x1000, 0, 0, 10, 10}))}},
        {"ClipRgnDataBeyondRecord",
         {makeRecord(EMR_EXTSELECTCLIPRGN, words({0x7FFFFFF0, RGN_COPY, 32, 1, 0x7FFFFFFF}))}},
        {"PaintRgnCountBeyondData",
         {makeRecord(EMR_PAINTRGN, words({0, 0, 10, 10, 48, 32, 1, 0x00FFFFFF, 0x30, 0, 0, 10, 10, 0, 0, 9, 9}))}},
        {"PenStylesBeyondRecord",
         {makeRecord(EMR_EXTCREATEPEN,
                     words({3, 0, 0, 0, 0, PS_USERSTYLE | PS_GEOMETRIC, 1, BS_SOLID, 0, 0, 0x7FFFFFFF}))}},
        {"PatternBrushBitmapBeyondRecord",
         {makeRecord(EMR_CREATEDIBPATTERNBRUSHPT, words({4, DIB_RGB_COLORS, 0x7FFFFFFF, 40, 0x7FFFFFFF, 0x1000}))}},
        {"MonoBrushBitmapShort",
         {makeRecord(EMR_CREATEMONOBRUSH,
                     concat({words({5, DIB_RGB_COLORS, 32, 40, 72, 0x100000}), bitmapHeader(64, 64, 1)}))}},
        {"SetDIBitsToDeviceBeyondRecord",
         {makeRecord(EMR_SETDIBITSTODEVICE,
                     words({0, 0, 10, 10, 5, 5, 0, 0, 32, 32, 76, 40, 116, 0x7FFFFFFF, DIB_RGB_COLORS, 0, 32}))}},
        {"PaletteEntriesBeyondRecord", {makeRecord(EMR_CREATEPALETTE, words({6, 0xFFFF0300}))}},
        {"SetPaletteEntriesBeyondRecord", {makeRecord(EMR_SETPALETTEENTRIES, words({6, 0, 0x7FFFFFFF}))}},
        {"PolyTextOutStringsBeyondRecord",
         {makeRecord(EMR_POLYTEXTOUTW, concat({words({0, 0, 10, 10, GM_COMPATIBLE, 0x3F800000, 0x3F800000}),
                                               words({0x7FFFFFFF, 1, 1, 0x7FFFFFFF, 0x7FFFFF00, 0, 0, 0, 0, 0, 0})}))}},
        {"PenFarWiderThanThePage",
         {makeRecord(EMR_CREATEPEN, words({1, PS_SOLID, 0x7FFFFFFF, 0, 0})), makeRecord(EMR_SELECTOBJECT, words({1})),
          makeRecord(EMR_MOVETOEX, words({10, 10})), makeRecord(EMR_LINETO, words({90, 20}))}},
        {"GeometricPenFarWiderThanThePage",
         {makeRecord(EMR_EXTCREATEPEN, words({2, 0, 0, 0, 0, PS_GEOMETRIC | PS_SOLID, 0x40000000, BS_SOLID, 0, 0, 0})),
          makeRecord(EMR_SELECTOBJECT, words({2})), makeRecord(EMR_ELLIPSE, words({5, 5, 60, 60}))}},
        {"ObjectIndicesBeyondTheTable",
         {makeRecord(EMR_SELECTOBJECT, words({0x7FFF})), makeRecord(EMR_DELETEOBJECT, words({0x12345})),
          makeRecord(EMR_CREATEBRUSHINDIRECT, words({0x100, BS_SOLID, 0, 0})),
          makeRecord(EMR_FILLRGN, words({0, 0, 10, 10, 48, 0x9999, 32, 1, 1, 16, 0, 0, 10, 10, 0, 0, 9, 9}))}},
        {"EmfPlusCommentLongerThanItsRecord",
         {makeRecord(EMR_GDICOMMENT, concat({words({0x7FFFFFF0, 0x2B464D45}), words({0x00004015, 12, 0})}))}},
        {"EmfPlusRecordOfSizeZero",
         {makeRecord(EMR_GDICOMMENT, concat({words({16, 0x2B464D45}), words({0x00004015, 0, 0})}))}},
        {"EmfPlusRecordOfAnEmfType",
         {makeRecord(EMR_GDICOMMENT,
                     concat({words({28, 0x2B464D45}), words({0x00000003, 24, 12}), words({0x7FFFFFFF, 1, 2})}))}},
        // One changed field in a LibreOffice page: GDI restores a state INT_MIN levels back.
        {"RestoreDCLevelIntMin", {makeRecord(EMR_SAVEDC, {}), makeRecord(EMR_RESTOREDC, words({0x80000000}))}},
        {"RestoreDCBeyondTheSavedStates",
         {makeRecord(EMR_SAVEDC, {}), makeRecord(EMR_RESTOREDC, words({uint32_t(-2)})),
          makeRecord(EMR_RESTOREDC, words({0x7FFFFFFF})), makeRecord(EMR_RESTOREDC, words({0}))}},
        {"EmfPlusCommentCountsBeyondRecord",
         {makeRecord(EMR_GDICOMMENT,
                     concat({words({24, 0x2B464D45}), words({0x00004015, 0x7FFFFFF0, 0x7FFFFFE0}), words({0, 0})}))}},
    };
}

class DamagedRecord : public testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedRecord, RendersThePageWithoutReadingOutsideTheRecord)
{
    PageDrawing drawing;
    SelectObject(drawing.dc(), GetStockObject(BLACK_BRUSH));
    Rectangle(drawing.dc(), 100, 100, 150, 150);
    Metafile clean = drawing.finish();
    std::vector<uint8_t> bytes = spliceRecords(metafileBytes(clean.get()), GetParam().records);
    bytes[56] = 8;  // an object table of eight entries for the records that make objects
    Metafile page = metafileFromBytes(bytes);
    ASSERT_NE(nullptr, page.get()) << "GDI refused the metafile";
    const PageRenders r = renderPage(page.get());
    // The rectangle before the damaged record is drawn in both passes.
    const double s = r.scale;
    EXPECT_GT(countInked(*r.full, int32_t(100 * s), int32_t(100 * s), int32_t(150 * s), int32_t(150 * s)), 0);
    EXPECT_GT(countInked(*r.plain, int32_t(100 * s), int32_t(100 * s), int32_t(150 * s), int32_t(150 * s)), 0);
}

INSTANTIATE_TEST_SUITE_P(EmfPageRenderer, DamagedRecord, testing::ValuesIn(damagedCases()),
                         [](const testing::TestParamInfo<DamagedCase>& info) { return info.param.name; });

// Entry 0 of the object table is the metafile itself: a record that makes, selects or deletes an object
// there is not played, since what it made would never be freed.
TEST(EmfPageRenderer, TheMetafilesOwnTableEntryTakesNoObject)
{
    for (const uint32_t index : {0u, 1u}) {
        const std::vector<uint8_t> pen = makeRecord(EMR_CREATEPEN, words({index, PS_SOLID, 1, 0, 0}));
        const std::vector<uint8_t> select = makeRecord(EMR_SELECTOBJECT, words({index}));
        EXPECT_EQ(index != 0,
                  RecordFitsItsFields(EMR_CREATEPEN, EmfRecordView(pen.data(), uint32_t(pen.size())), 8, 0));
        EXPECT_EQ(index != 0,
                  RecordFitsItsFields(EMR_SELECTOBJECT, EmfRecordView(select.data(), uint32_t(select.size())), 8, 0));
    }
}

// A restore goes back to one of the states the page's records saved and have not restored, never further
// (to the renderer's own state) nor to a level counted from the first state.
TEST(EmfPageRenderer, ARestoreNamesAStateThePageSaved)
{
    const struct {
        int32_t level;
        uint32_t saved;
        bool fits;
        uint32_t savedAfter;
    } cases[] = {
        {-1, 1, true, 0},  {-1, 3, true, 2},  {-3, 3, true, 0},      {-2, 1, false, 1},
        {-1, 0, false, 0}, {0, 2, false, 2},  {1, 2, false, 2},      {2, 2, false, 2},
        {INT32_MIN, 5, false, 5}, {INT32_MAX, 5, false, 5}, {INT32_MIN + 1, 5, false, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.level << " after " << c.saved);
        const std::vector<uint8_t> restore = makeRecord(EMR_RESTOREDC, words({uint32_t(c.level)}));
        const EmfRecordView record(restore.data(), uint32_t(restore.size()));
        EXPECT_EQ(c.fits, RecordFitsItsFields(EMR_RESTOREDC, record, 8, c.saved));
        EXPECT_EQ(c.savedAfter, SavedStatesAfter(EMR_RESTOREDC, record, c.saved));
    }
    const std::vector<uint8_t> save = makeRecord(EMR_SAVEDC, {});
    EXPECT_EQ(3u, SavedStatesAfter(EMR_SAVEDC, EmfRecordView(save.data(), uint32_t(save.size())), 2));
    const std::vector<uint8_t> truncated = makeRecord(EMR_RESTOREDC, {});
    EXPECT_FALSE(RecordFitsItsFields(EMR_RESTOREDC, EmfRecordView(truncated.data(), uint32_t(truncated.size())), 8, 4));
}

// An "EMF+" comment whose data is shorter than its signature is made a plain comment: GDI+ would step
// behind the signature by a length that wraps around.
TEST(EmfPageRenderer, AnEmfPlusCommentShorterThanItsSignatureIsMadePlain)
{
    PageDrawing drawing;
    Rectangle(drawing.dc(), 10, 10, 50, 50);
    Metafile clean = drawing.finish();
    for (const uint32_t dataSize : {0u, 3u, 4u}) {
        SCOPED_TRACE(dataSize);
        std::vector<uint8_t> bytes = spliceRecords(
            metafileBytes(clean.get()), {makeRecord(EMR_GDICOMMENT, words({dataSize, 0x2B464D45}))});
        bool repaired = false;
        ASSERT_TRUE(CheckMetafileFraming(bytes, repaired));
        EXPECT_EQ(dataSize < 4, repaired);
    }
}

// Records that do not follow each other inside the file cannot be walked: the page is refused.
TEST(EmfPageRenderer, RecordsThatDoNotFollowEachOtherAreALibraryError)
{
    PageDrawing drawing;
    Rectangle(drawing.dc(), 10, 10, 50, 50);
    Metafile clean = drawing.finish();
    int tried = 0;
    for (uint32_t size : {0u, 4u, 0x7FFFFFF0u}) {
        SCOPED_TRACE(size);
        std::vector<uint8_t> record = makeRecord(EMR_SAVEDC, {});
        putWord(record, 4, size);
        std::vector<uint8_t> bytes = spliceRecords(metafileBytes(clean.get()), {record});
        Metafile page = metafileFromBytes(bytes);
        if (!page.get())
            continue;  // GDI refused it itself
        EmfPageRenderer renderer;
        MvxTest::expectThrow([&] { renderer.Render(page.get(), nullptr, nullptr, false); }, Morvenix::errDataBroken);
        ++tried;
    }
    EXPECT_GT(tried, 0);
}

} // namespace

namespace {

// Shapes kilometres off the page and glyphs thousands of pages tall (damaged coordinates or mapping) are
// not drawn, where GDI would take minutes over them; the rest of the page is.
TEST(EmfPageRenderer, FarOffShapesAndGiantGlyphsAreNotDrawn)
{
    PageDrawing drawing;
    HDC dc = drawing.dc();
    Ellipse(dc, -2000000, -2000000, 2000000, 2000000);
    const POINT distant[] = {{0, 0}, {100, 0x40000000}, {200, 10}};
    Polygon(dc, distant, 3);
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 1, 1, nullptr);
    SetViewportExtEx(dc, 1, 2000000, nullptr);
    HFONT font = CreateFontW(-20, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, L"Liberation Serif");
    SelectObject(dc, font);
    TextOutW(dc, 10, 0, L"Giant", 5);
    const POINT tall[] = {{0, 0}, {100, 3000}, {200, 10}};
    Polygon(dc, tall, 3);
    SetMapMode(dc, MM_TEXT);
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    Rectangle(dc, 100, 100, 150, 150);
    Metafile page = drawing.finish();
    DeleteObject(font);
    const PageRenders r = renderPage(page.get());
    const double s = r.scale;
    const int64_t square = countInked(*r.full, int32_t(100 * s), int32_t(100 * s), int32_t(150 * s), int32_t(150 * s));
    EXPECT_GT(square, int64_t(45 * s * 45 * s));
    EXPECT_EQ(square, countInked(*r.full));
}

} // namespace
