// JB2 pages rendered into masks: pixel for pixel in every layout, reduced and enlarged with coverage
// worked out by hand, clipped at the page edges, and the checks on what the caller hands in.
#include "djv_jb2page.h"
#include "jb2_test_support.h"
#include "test_support.h"

#include <vector>

using namespace Jb2Test;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;
using Morvenix::Rect;
using Morvenix::errInvalidParam;
using Morvenix::errOperationFailed;
using MvxTest::expectThrow;

namespace {

AutoPtr<JB2Page> pageOf(uint32_t inWidth, uint32_t inHeight, const std::vector<AutoPtr<Shape>>& inShapes)
{
    AutoPtr<JB2Page> page = JB2Page::create(inWidth, inHeight);
    for (const AutoPtr<Shape>& shape : inShapes)
        page->getShapes().append(shape);
    return page;
}

AutoPtr<Shape> coloured(const AutoPtr<Shape>& inShape, uint32_t inRGB)
{
    inShape->setColor(Color::fromRGB(inRGB));
    return inShape;
}

// The whole page in grey on white, without coverage.
std::vector<uint8_t> greyPage(JB2Page& ioPage, uint32_t inWidth = 0, uint32_t inHeight = 0, uint32_t inFilter = 1)
{
    const uint32_t w = inWidth ? inWidth : ioPage.getWidth(), h = inHeight ? inHeight : ioPage.getHeight();
    std::vector<uint8_t> out(size_t(w) * h, 255);
    const Rect window{0, 0, int32_t(w), int32_t(h)};
    ioPage.renderMask(out.data(), int32_t(w), phGray, &window, inWidth, inHeight, false, inFilter);
    return out;
}

// Grey and coverage bytes of the whole page at the target size.
std::vector<uint8_t> coverage(JB2Page& ioPage, uint32_t inWidth, uint32_t inHeight, uint32_t inFilter = 1)
{
    std::vector<uint8_t> out(size_t(inWidth) * inHeight * 2, 99);
    const Rect window{0, 0, int32_t(inWidth), int32_t(inHeight)};
    ioPage.renderMask(out.data(), int32_t(inWidth * 2), phGray, &window, inWidth, inHeight, true, inFilter);
    std::vector<uint8_t> alpha;
    for (size_t i = 1; i < out.size(); i += 2)
        alpha.push_back(out[i]);
    return alpha;
}

} // namespace

TEST(JB2PageRender, FullSizePaintsExactlyTheShapes)
{
    const ShapeList shapes = textPage();
    AutoPtr<JB2Page> page = pageOf(140, 130, std::vector<AutoPtr<Shape>>(shapes.begin(), shapes.end()));
    const std::vector<uint8_t> grey = greyPage(*page);
    const MvxTest::NetpbmImage expected = paint(140, 130, shapes);
    for (uint32_t y = 0; y < 130; ++y)
        for (uint32_t x = 0; x < 140; ++x)
            ASSERT_EQ(*expected.at(x, y) ? 0 : 255, grey[size_t(y) * 140 + x]) << x << "," << y;

    // With coverage: transparent except under the shapes.
    const std::vector<uint8_t> alpha = coverage(*page, 140, 130);
    for (uint32_t y = 0; y < 130; ++y)
        for (uint32_t x = 0; x < 140; ++x)
            ASSERT_EQ(*expected.at(x, y) ? 255 : 0, alpha[size_t(y) * 140 + x]) << x << "," << y;
}

TEST(JB2PageRender, ShapeColoursInEveryLayout)
{
    const AutoPtr<JB2Page> page =
        pageOf(4, 1, {coloured(shapeOf({"#."}, 0, 0), 0xC81E64), coloured(shapeOf({"#"}, 2, 0), 0x000000)});
    struct Case {
        Photometric photometric;
        std::vector<uint8_t> first; // the pixel of the coloured shape
    };
    // Grey (15b + 75g + 38r + 64) >> 7 = 89; the colour differences, signed bytes: Cb
    // ((b + 1) x 32 - 21g - 11r) >> 6 = 6 and Cr ((r + 1) x 32 - 27g - 5b) >> 6 = 80.
    const std::vector<Case> cases = {{phRGB, {0xC8, 0x1E, 0x64}},
                                     {phBGR, {0x64, 0x1E, 0xC8}},
                                     {phGray, {89}},
                                     {phYCC, {89, 6, 80}}};
    for (const Case& c : cases) {
        const uint32_t bytes = uint32_t(c.first.size());
        std::vector<uint8_t> out(4 * bytes, 7);
        const Rect window{0, 0, 4, 1};
        page->renderMask(out.data(), int32_t(out.size()), c.photometric, &window, 0, 0, false, 0);
        EXPECT_EQ(c.first, std::vector<uint8_t>(out.begin(), out.begin() + bytes)) << c.photometric;
        EXPECT_EQ(std::vector<uint8_t>(bytes, 7), std::vector<uint8_t>(out.begin() + bytes, out.begin() + 2 * bytes))
            << "a clear pixel keeps its value";
    }
    expectThrow(
        [&] {
            uint8_t out[16];
            const Rect window{0, 0, 4, 1};
            page->renderMask(out, 16, Photometric(4), &window, 0, 0, false, 0);
        },
        errOperationFailed, "Unsupported Photometric!");
}

// Photometric 3 holds signed colour differences (white is FF 00 00): marks are painted, averaged and
// blended with them as signed values, so that black ink has none and a scaled edge no colour fringe.
// The page is 2 x 2 with its left column ink; the pixel checked is the target's top-left one, or, enlarged,
// the one half-way between the ink and the blank column.
TEST(JB2PageRender, YCCColourDifferencesAreSigned)
{
    const uint32_t yellow = 0xFFFF00; // Y 225, Cb -127 (0x81), Cr 20
    struct Case {
        const char* name;
        uint32_t rgb;
        uint32_t target; // square
        bool alpha;
        std::vector<uint8_t> before, after;
    };
    const std::vector<Case> cases = {
        {"black, full size", 0x000000, 2, false, {0xFF, 0, 0}, {0, 0, 0}},
        {"yellow, full size", yellow, 2, false, {0xFF, 0, 0}, {225, 0x81, 20}},
        // Half covered: half the white's luminance, no colour.
        {"black, halved", 0x000000, 1, false, {0xFF, 0, 0}, {127, 0, 0}},
        {"black, enlarged", 0x000000, 4, false, {0xFF, 0, 0}, {128, 0, 0}},
        // Half of Cb -127 is -63.5, rounded down to -64 (0xC0).
        {"yellow, halved, with coverage", yellow, 1, true, {0, 0, 0, 0}, {112, 0xC0, 10, 127}},
        {"yellow, enlarged", yellow, 4, false, {0xFF, 0, 0}, {240, 0xC0, 10}},
        // Over a colour: Cb -112 (0x90) and Cr 16 keep half their value.
        {"black over colour, halved", 0x000000, 1, false, {128, 0x90, 0x10}, {64, 0xC8, 8}},
        {"black over colour, enlarged", 0x000000, 4, false, {128, 0x90, 0x10}, {64, 0xC7, 8}},
    };
    for (const Case& c : cases) {
        const AutoPtr<JB2Page> page = pageOf(2, 2, {coloured(shapeOf({"#", "#"}, 0, 0), c.rgb)});
        const uint32_t bytes = uint32_t(c.before.size());
        std::vector<uint8_t> out;
        for (uint32_t i = 0; i < c.target * c.target; ++i)
            out.insert(out.end(), c.before.begin(), c.before.end());
        const Rect window{0, 0, int32_t(c.target), int32_t(c.target)};
        page->renderMask(out.data(), int32_t(c.target * bytes), phYCC, &window, c.target, c.target, c.alpha, 1);
        const size_t at = c.target == 4 ? bytes : 0;
        EXPECT_EQ(c.after, std::vector<uint8_t>(out.begin() + at, out.begin() + at + bytes)) << c.name;
    }
}

TEST(JB2PageRender, OneByOneForegroundColoursEveryInkPixel)
{
    const AutoPtr<JB2Page> page = pageOf(6, 3, {coloured(shapeOf({"#.#", ".#."}, 1, 0), 0x123456)});
    const uint8_t foreground[3] = {10, 20, 30};
    std::vector<uint8_t> out(6 * 3 * 3, 255);
    const Rect window{0, 0, 6, 3};
    page->renderMask(out.data(), 18, phBGR, &window, 0, 0, foreground, 3, 1, 1, false, 0);
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 6; ++x) {
            const bool ink = (y == 0 && (x == 1 || x == 3)) || (y == 1 && x == 2);
            const uint8_t* p = &out[(size_t(y) * 6 + x) * 3];
            EXPECT_EQ(ink ? std::vector<uint8_t>({10, 20, 30}) : std::vector<uint8_t>({255, 255, 255}),
                      std::vector<uint8_t>(p, p + 3))
                << x << "," << y;
        }
}

// Marks partly off the page are clipped to it, on every side; marks reaching below it are not drawn.
TEST(JB2PageRender, MarksOffThePageAreClipped)
{
    const std::vector<std::string> block(8, "########");
    const std::vector<AutoPtr<Shape>> shapes = {shapeOf(block, -3, -2), shapeOf(block, 16, -5), shapeOf(block, 5, 15),
                                                shapeOf(block, 12, 12), shapeOf(block, -100, 4)};
    AutoPtr<JB2Page> page = pageOf(20, 20, shapes);
    const std::vector<uint8_t> grey = greyPage(*page);
    // The mark at (5, 15) reaches below the page: left out, like ddjvu does.
    const MvxTest::NetpbmImage expected =
        paint(20, 20, listOf({shapes[0], shapes[1], shapes[3], shapes[4]}));
    for (uint32_t y = 0; y < 20; ++y)
        for (uint32_t x = 0; x < 20; ++x)
            ASSERT_EQ(*expected.at(x, y) ? 0 : 255, grey[size_t(y) * 20 + x]) << x << "," << y;
    // The list keeps it.
    EXPECT_EQ(5u, page->getShapes().count());
}

TEST(JB2PageRender, WindowsPaintTheirPartOfThePage)
{
    const ShapeList shapes = textPage();
    AutoPtr<JB2Page> page = pageOf(140, 130, std::vector<AutoPtr<Shape>>(shapes.begin(), shapes.end()));
    for (uint32_t target : {0u, 70u, 200u}) {
        const uint32_t size = target ? target : 140, height = target ? target * 130 / 140 : 130;
        const std::vector<uint8_t> whole = greyPage(*page, target, target ? height : 0);
        const Rect window{int32_t(size / 3), int32_t(height / 4), int32_t(size / 2), int32_t(height / 2)};
        std::vector<uint8_t> part(size_t(window.width) * window.height, 255);
        // Bottom-up rows through a negative row step.
        page->renderMask(&part[size_t(window.height - 1) * window.width], -window.width, phGray, &window, target,
                         target ? height : 0, false, 1);
        for (int32_t y = 0; y < window.height; ++y)
            for (int32_t x = 0; x < window.width; ++x)
                ASSERT_EQ(whole[size_t(y + window.y) * size + size_t(x + window.x)],
                          part[size_t(window.height - 1 - y) * window.width + size_t(x)])
                    << "target " << size << " at " << x << "," << y;
    }
}

TEST(JB2PageRender, HalvingASolidShape)
{
    const std::vector<std::string> block(6, "######");
    AutoPtr<JB2Page> page = pageOf(10, 10, {shapeOf(block, 2, 2)});
    // Target pixels 1 to 3 cover source 2 to 7 whole; the tent reaches half a pixel further on each
    // side, so its third column takes in the clear column 8.
    for (uint32_t filter : {0u, 1u}) {
        const std::vector<uint8_t> grey = greyPage(*page, 5, 5, filter);
        for (uint32_t y = 1; y <= 3; ++y)
            for (uint32_t x = 1; x <= (filter ? 3u : 2u); ++x)
                EXPECT_EQ(0, grey[y * 5 + x]) << x << "," << y << " filter " << filter;
    }
    // The last window row is the bottom band's first source row alone, row 8, which has no ink: it is
    // left as it was (99).
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 255, 255, 255, 0, 0, 255, 255, 255, 0, 0, 255, 255, 255, 0,
                                    99, 99, 99, 99, 99}),
              coverage(*page, 5, 5));
}

// A single ink pixel at (1, 1) of a 3 x 3 page reduced to 2 x 2 by the box filter: columns and rows of
// the target cover 1.5 source pixels each, so the pixel weighs 0.5 x 0.5 in the first row's cells:
// 255 x 0.25 / 2.25 = 28. The last row is the bottom band, row 1 alone over 1.5 columns: 255 x 0.5 / 1.5.
TEST(JB2PageRender, ReducedCoverageWorkedByHand)
{
    AutoPtr<JB2Page> page = pageOf(3, 3, {shapeOf({"#"}, 1, 1)});
    EXPECT_EQ((std::vector<uint8_t>{28, 28, 85, 85}), coverage(*page, 2, 2, 1));
    // Tent weights of the first cell's column 1: (1 - 0^2 + (2 - 0.5) x 0.5) / 2 = 0.875, so 0.875 x 0.5 of
    // it; of the second cell's: (1 - 0.5)^2 / 2 = 0.125.
    EXPECT_EQ((std::vector<uint8_t>{49, 7, 148, 21}), coverage(*page, 2, 2, 0));
}

// A 2 x 1 page whose left pixel is ink, enlarged to 4 x 2: bilinear between the pixels, coverage
// 255, 127.5, 0, 0 on both rows (the last source row is its own neighbour below).
TEST(JB2PageRender, EnlargedCoverageWorkedByHand)
{
    AutoPtr<JB2Page> page = pageOf(2, 1, {shapeOf({"#"}, 0, 0)});
    EXPECT_EQ((std::vector<uint8_t>{255, 127, 0, 0, 255, 127, 0, 0}), coverage(*page, 4, 2));
    // Blended over white: 255 x (255 - 127) / 255 = 128.
    EXPECT_EQ((std::vector<uint8_t>{0, 128, 255, 255, 0, 128, 255, 255}), greyPage(*page, 4, 2));
}

TEST(JB2PageRender, BandsWithoutInkAreLeftAlone)
{
    AutoPtr<JB2Page> page = pageOf(40, 40, {shapeOf({"####", "####"}, 4, 4)});
    std::vector<uint8_t> out(10 * 10, 77);
    const Rect window{0, 0, 10, 10};
    page->renderMask(out.data(), 10, phGray, &window, 10, 10, false, 0);
    EXPECT_NE(77, out[10 + 1]);
    for (uint32_t y = 3; y < 10; ++y)
        for (uint32_t x = 0; x < 10; ++x)
            EXPECT_EQ(77, out[y * 10 + x]) << x << "," << y;
}

TEST(JB2PageRender, RefusesWhatItCannotWrite)
{
    AutoPtr<JB2Page> page = pageOf(20, 10, {shapeOf({"##"}, 1, 1)});
    uint8_t out[20 * 10 * 4];
    const uint8_t foreground[3] = {0, 0, 0};
    struct Case {
        const char* name;
        const Rect* window;
        int32_t rowStep;
        uint32_t targetWidth;
        const uint8_t* foreground;
        int32_t foregroundStep;
        uint32_t foregroundWidth;
        uint32_t foregroundHeight;
    };
    const Rect whole{0, 0, 20, 10}, wide{5, 0, 16, 10}, negative{-1, 0, 5, 5}, empty{0, 0, -2, 3};
    const std::vector<Case> cases = {
        {"no window", nullptr, 60, 0, nullptr, 0, 0, 0},
        {"window past the target", &wide, 60, 0, nullptr, 0, 0, 0},
        {"window left of the target", &negative, 60, 0, nullptr, 0, 0, 0},
        {"negative window width", &empty, 60, 0, nullptr, 0, 0, 0},
        {"row step shorter than a row", &whole, 59, 0, nullptr, 0, 0, 0},
        {"window past a smaller target", &whole, 60, 10, nullptr, 0, 0, 0},
        {"foreground of no pixels", &whole, 60, 0, foreground, 3, 0, 1},
        {"foreground rows too short", &whole, 60, 0, foreground, 2, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectThrow(
            [&] {
                page->renderMask(out, c.rowStep, phRGB, c.window, c.targetWidth, 0, c.foreground, c.foregroundStep,
                                 c.foregroundWidth, c.foregroundHeight, false, 0);
            },
            errInvalidParam);
    }
}
