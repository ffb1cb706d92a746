#include "render_support.h"

#include "bp_exporter.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace RenderTest;

namespace {

TEST(EmfPageRenderer, EmptyPageIsWhiteInBothPassesWithAnAllOnesMask)
{
    PageDrawing drawing(5080, 2540);  // two inches by one
    Metafile page = drawing.finish();
    const PageRenders r = renderPage(page.get());
    EXPECT_NEAR(600, r.full->GetWidth(), 1);
    EXPECT_NEAR(300, r.full->GetHeight(), 1);
    EXPECT_EQ(0, countInked(*r.full));
    EXPECT_EQ(0, countInked(*r.plain));
    EXPECT_EQ(int64_t(r.full->GetWidth()) * r.full->GetHeight(), countMaskOnes(*r.mask));
    EXPECT_TRUE(maskPaddingClear(*r.mask));
}

TEST(EmfPageRenderer, LineArtIsLeftOutOfThePlainPass)
{
    PageDrawing drawing;
    HDC dc = drawing.dc();
    SelectObject(dc, GetStockObject(BLACK_PEN));
    SelectObject(dc, GetStockObject(GRAY_BRUSH));
    Ellipse(dc, 10, 10, 60, 60);
    const POINT triangle[] = {{100, 10}, {150, 60}, {100, 60}};
    Polygon(dc, triangle, 3);
    // Rectangles are drawn in both passes: they stay background.
    Rectangle(dc, 10, 100, 60, 150);
    Metafile page = drawing.finish();
    const PageRenders r = renderPage(page.get());
    const double s = r.scale;
    EXPECT_GT(countInked(*r.full, 0, 0, int32_t(160 * s), int32_t(70 * s)), 0);
    EXPECT_EQ(0, countInked(*r.plain, 0, 0, int32_t(160 * s), int32_t(70 * s)));
    const int64_t box = countInked(*r.full, 0, int32_t(90 * s), int32_t(70 * s), int32_t(160 * s));
    EXPECT_GT(box, int64_t(40 * s * 40 * s));
    EXPECT_EQ(box, countInked(*r.plain, 0, int32_t(90 * s), int32_t(70 * s), int32_t(160 * s)));
    // The mask is 0 exactly where the two renders differ.
    EXPECT_EQ(int64_t(r.full->GetWidth()) * r.full->GetHeight() - countDifferent(*r.full, *r.plain),
              countMaskOnes(*r.mask));
}

TEST(EmfPageRenderer, UnreadablePageIsALibraryError)
{
    EmfPageRenderer renderer;
    MvxTest::expectThrow([&] { renderer.Render(nullptr, nullptr, nullptr, false); }, Morvenix::errDataBroken);
    MvxTest::expectThrow([&] { renderer.RenderMetafile(nullptr, nullptr, nullptr, false); }, Morvenix::errDataBroken);
}

} // namespace

namespace {

// Left-out records that draw from the pen's position, each ending at (90, 40).
struct PenCase {
    const char* name;
    void (*draw)(HDC);
};

const PenCase kPenCases[] = {
    {"LineTo", [](HDC dc) { LineTo(dc, 90, 40); }},
    {"PolylineTo",
     [](HDC dc) {
         const POINT points[] = {{30, 50}, {90, 40}};
         PolylineTo(dc, points, 2);
     }},
    {"PolyBezierTo",
     [](HDC dc) {
         const POINT points[] = {{20, 60}, {60, 0}, {90, 40}};
         PolyBezierTo(dc, points, 3);
     }},
    {"PolyDraw",
     [](HDC dc) {
         const POINT points[] = {{30, 50}, {90, 40}};
         const BYTE types[] = {PT_LINETO, PT_LINETO};
         PolyDraw(dc, points, types, 2);
     }},
    {"ArcTo", [](HDC dc) { ArcTo(dc, 10, 0, 90, 80, 50, 0, 130, 40); }},
    {"AngleArc", [](HDC dc) { AngleArc(dc, 50, 40, 40, 90.0f, -90.0f); }},
};

// The page: the pen starts at (10, 10), the case's record draws in black, then a red path starts from
// wherever that left the pen and is filled.
Metafile penPage(void (*inDraw)(HDC))
{
    PageDrawing drawing;
    HDC dc = drawing.dc();
    SelectObject(dc, GetStockObject(BLACK_PEN));
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    SelectObject(dc, red);
    MoveToEx(dc, 10, 10, nullptr);
    inDraw(dc);
    BeginPath(dc);
    LineTo(dc, 90, 150);
    LineTo(dc, 30, 150);
    CloseFigure(dc);
    EndPath(dc);
    FillPath(dc);
    Metafile page = drawing.finish();
    DeleteObject(red);
    return page;
}

TEST(EmfPageRenderer, PlainPassMovesThePenAsTheLeftOutRecordsWould)
{
    const PageRenders reference = renderPage(penPage([](HDC dc) { MoveToEx(dc, 90, 40, nullptr); }).get());
    const int64_t filled = countInked(*reference.plain);
    ASSERT_GT(filled, int64_t(40 * reference.scale * 80 * reference.scale));
    for (const PenCase& c : kPenCases) {
        SCOPED_TRACE(c.name);
        const PageRenders r = renderPage(penPage(c.draw).get());
        // The line art is left out; the path it leads to is filled from the same place in both passes.
        int64_t differentFill = 0;
        for (int32_t y = 0; y < r.full->GetHeight(); ++y)
            for (int32_t x = 0; x < r.full->GetWidth(); ++x)
                differentFill += pixel(*r.full, x, y) != 0 && pixel(*r.full, x, y) != pixel(*r.plain, x, y);
        EXPECT_EQ(0, differentFill);
        EXPECT_GT(countDifferent(*r.full, *r.plain), 0);
        // GDI ends an arc where its own arithmetic puts the end, within a pixel of the reference.
        EXPECT_NEAR(double(filled), double(countInked(*r.plain)), filled / 50.0);
    }
}

TEST(EmfPageRenderer, TextIsPlayedInThePlainPassOnlyInsideAPathBracket)
{
    PageDrawing drawing;
    HDC dc = drawing.dc();
    HFONT font = CreateFontW(-30, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, NONANTIALIASED_QUALITY, 0,
                             L"Liberation Sans");
    SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    TextOutW(dc, 10, 10, L"Outside", 7);
    BeginPath(dc);
    TextOutW(dc, 10, 100, L"Inside", 6);
    EndPath(dc);
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    FillPath(dc);
    Metafile page = drawing.finish();
    DeleteObject(font);
    const PageRenders r = renderPage(page.get());
    const double s = r.scale;
    EXPECT_GT(countInked(*r.full, 0, 0, r.full->GetWidth(), int32_t(60 * s)), 0);
    EXPECT_EQ(0, countInked(*r.plain, 0, 0, r.plain->GetWidth(), int32_t(60 * s)));
    const int64_t inside = countInked(*r.full, 0, int32_t(90 * s), r.full->GetWidth(), r.full->GetHeight());
    EXPECT_GT(inside, 0);
    EXPECT_EQ(inside, countInked(*r.plain, 0, int32_t(90 * s), r.plain->GetWidth(), r.plain->GetHeight()));
}

// An end of a path without a begin leaves no bracket open: line art after it is still left out.
TEST(EmfPageRenderer, PathEndWithoutABeginKeepsLeavingOutLineArt)
{
    PageDrawing drawing;
    Metafile empty = drawing.finish();
    const std::vector<uint8_t> polygon = makeRecord(EMR_POLYGON, words({10, 10, 60, 60, 3, 10, 10, 60, 10, 35, 60}));
    const std::vector<uint8_t> bytes =
        spliceRecords(metafileBytes(empty.get()), {makeRecord(EMR_ENDPATH, {}), makeRecord(EMR_ENDPATH, {}), polygon});
    Metafile page = metafileFromBytes(bytes);
    const PageRenders r = renderPage(page.get());
    EXPECT_GT(countInked(*r.full), 0);
    EXPECT_EQ(0, countInked(*r.plain));
}

// A filled and stroked path is neither filled nor left open in the plain pass: it is stroked.
TEST(EmfPageRenderer, StrokeAndFillPathIsOnlyStrokedInThePlainPass)
{
    PageDrawing drawing;
    HDC dc = drawing.dc();
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    SelectObject(dc, red);
    SelectObject(dc, GetStockObject(BLACK_PEN));
    BeginPath(dc);
    Rectangle(dc, 20, 20, 120, 120);
    EndPath(dc);
    StrokeAndFillPath(dc);
    Metafile page = drawing.finish();
    DeleteObject(red);
    const PageRenders r = renderPage(page.get());
    int64_t redFull = 0, redPlain = 0, blackPlain = 0;
    for (int32_t y = 0; y < r.full->GetHeight(); ++y)
        for (int32_t x = 0; x < r.full->GetWidth(); ++x) {
            redFull += pixel(*r.full, x, y) == 0xFF0000;
            redPlain += pixel(*r.plain, x, y) == 0xFF0000;
            blackPlain += pixel(*r.plain, x, y) == 0;
        }
    EXPECT_GT(redFull, int64_t(90 * r.scale * 90 * r.scale));
    EXPECT_EQ(0, redPlain);
    EXPECT_GT(blackPlain, 0);
}

// Text of a font the host made antialiased is drawn with whole pixels: no shade between ink and paper.
TEST(EmfPageRenderer, AntialiasedFontsArePlayedWithoutAntialiasing)
{
    for (DWORD quality : {DWORD(ANTIALIASED_QUALITY), DWORD(CLEARTYPE_QUALITY), DWORD(DEFAULT_QUALITY)}) {
        SCOPED_TRACE(quality);
        PageDrawing drawing;
        HDC dc = drawing.dc();
        HFONT font =
            CreateFontW(-24, 0, 0, 0, FW_NORMAL, TRUE, 0, 0, ANSI_CHARSET, 0, 0, quality, 0, L"Liberation Serif");
        SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        TextOutW(dc, 10, 10, L"Quality glyphs", 14);
        Metafile page = drawing.finish();
        DeleteObject(font);
        const PageRenders r = renderPage(page.get());
        EXPECT_GT(countInked(*r.full), 100);
        EXPECT_EQ(2u, countColours(*r.full));
    }
}

TEST(EmfPageRenderer, StateFlagsWithoutACallbackAnswerFalse)
{
    EmfPageRenderer renderer;
    EXPECT_FALSE(renderer.SetStateFlags(0xF0, 0x30, 7));
    EXPECT_EQ(300, renderer.GetResolution());
}

// A page image handed out stays as it is while it is held; one no longer held is drawn afresh.
TEST(EmfPageRenderer, PageImagesAreNotReusedWhileHeld)
{
    PageDrawing inked;
    SelectObject(inked.dc(), GetStockObject(BLACK_BRUSH));
    Rectangle(inked.dc(), 0, 0, 200, 200);
    Metafile full = inked.finish();
    PageDrawing nothing;
    Metafile empty = nothing.finish();

    EmfPageRenderer renderer;
    Morvenix::AutoPtr<T_Image> first = renderer.Render(full.get(), nullptr, nullptr, true);
    const int64_t ink = countInked(*first);
    ASSERT_GT(ink, 0);
    Morvenix::AutoPtr<T_Image> second = renderer.Render(empty.get(), nullptr, nullptr, true);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(ink, countInked(*first));
    EXPECT_EQ(0, countInked(*second));
    // Both released: the next renders draw into them again, from white.
    T_Image* const firstImage = first.get();
    first.reset();
    second.reset();
    Morvenix::AutoPtr<T_Image> third = renderer.Render(empty.get(), nullptr, nullptr, false);
    Morvenix::AutoPtr<T_Image> fourth = renderer.Render(empty.get(), nullptr, nullptr, false);
    EXPECT_TRUE(third.get() == firstImage || fourth.get() == firstImage);
    EXPECT_EQ(0, countInked(*third));
    EXPECT_EQ(0, countInked(*fourth));
}

// GDI+ records: the host's anti-aliasing request is not followed, and a drawn path is left out of the
// plain pass while a filled rectangle stays.
TEST(EmfPageRenderer, EmfPlusPathsAreLeftOutAndNeverAntialiased)
{
    using namespace Gdiplus;
    using namespace Gdiplus::DllExports;
    HDC screen = GetDC(nullptr);
    GpMetafile* recording = nullptr;
    const GpRectF frame(0, 0, 2 * 25.4f, 2 * 25.4f);
    ASSERT_EQ(Ok, GdipRecordMetafile(screen, EmfTypeEmfPlusDual, &frame, MetafileFrameUnitMillimeter, nullptr,
                                     &recording));
    ReleaseDC(nullptr, screen);
    GpGraphics* graphics = nullptr;
    ASSERT_EQ(Ok, GdipGetImageGraphicsContext(reinterpret_cast<GpImage*>(recording), &graphics));
    GdipSetPageUnit(graphics, UnitPixel);
    GdipSetSmoothingMode(graphics, SmoothingModeAntiAlias);
    GpSolidFill* blue = nullptr;
    GdipCreateSolidFill(0xFF2040C0, &blue);
    GdipFillRectangleI(graphics, reinterpret_cast<GpBrush*>(blue), 10, 120, 60, 40);
    GpPath* path = nullptr;
    GdipCreatePath(FillModeAlternate, &path);
    GdipAddPathEllipseI(path, 10, 10, 80, 60);
    GpPen* pen = nullptr;
    GdipCreatePen1(0xFF000000, 3.0f, UnitPixel, &pen);
    GdipDrawPath(graphics, pen, path);
    GdipDeletePen(pen);
    GdipDeletePath(path);
    GdipDeleteBrush(reinterpret_cast<GpBrush*>(blue));
    GdipDeleteGraphics(graphics);
    HENHMETAFILE handle = nullptr;
    ASSERT_EQ(Ok, GdipGetHemfFromMetafile(recording, &handle));
    GdipDisposeImage(reinterpret_cast<GpImage*>(recording));
    RenderTest::Metafile page(handle);

    const PageRenders r = renderPage(page.get());
    const int64_t full = countInked(*r.full);
    const int64_t plain = countInked(*r.plain);
    EXPECT_GT(plain, 0);      // the rectangle
    EXPECT_GT(full, plain);   // and the ellipse
    EXPECT_EQ(3u, countColours(*r.full));  // paper, blue, black: no shades at the ellipse's edge
    EXPECT_EQ(2u, countColours(*r.plain));
}

} // namespace
