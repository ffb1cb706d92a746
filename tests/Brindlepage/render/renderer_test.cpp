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
