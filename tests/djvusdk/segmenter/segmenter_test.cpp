// The segmenter as the page encoder calls it: parameter checks, the short paths and small pages whose
// mask can be reasoned out.
#include "djv_segmenter.h"
#include "test_support.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using namespace Morvenix;
using namespace Morvenix::DjVu;
using MvxTest::expectThrow;

namespace {

// A grey page, white unless painted.
struct Page {
    Page(uint32_t inWidth, uint32_t inHeight, uint8_t inFill = 255)
        : width(inWidth), height(inHeight), pixels(size_t(inWidth) * inHeight, inFill)
    {
    }
    void rect(uint32_t inX, uint32_t inY, uint32_t inW, uint32_t inH, uint8_t inValue)
    {
        for (uint32_t y = inY; y < inY + inH; ++y)
            for (uint32_t x = inX; x < inX + inW; ++x)
                pixels[size_t(y) * width + x] = inValue;
    }
    // The byte mask of the page with the given parameters (null: defaults).
    std::vector<uint8_t> mask(const Segmenter::Params* inParams = nullptr) const
    {
        std::vector<uint8_t> m(pixels.size(), 0x5A);
        Segmenter::segment(m.data(), int32_t(width), mtBytes, width, height, pixels.data(), int32_t(width), phGray,
                           inParams);
        return m;
    }
    uint32_t width;
    uint32_t height;
    std::vector<uint8_t> pixels;
};

// Foreground pixels of the mask inside and outside a rectangle.
struct Count {
    uint32_t inside = 0;
    uint32_t outside = 0;
};
Count countForeground(const std::vector<uint8_t>& inMask, uint32_t inWidth, uint32_t inX, uint32_t inY, uint32_t inW,
                      uint32_t inH)
{
    Count c;
    for (size_t i = 0; i < inMask.size(); ++i) {
        const uint32_t x = uint32_t(i % inWidth), y = uint32_t(i / inWidth);
        if (inMask[i] == 0)
            (x >= inX && x < inX + inW && y >= inY && y < inY + inH ? c.inside : c.outside)++;
    }
    return c;
}

} // namespace

TEST(Segmenter, RefusesBadParametersBeforeTouchingTheMask)
{
    const std::vector<uint8_t> pixels(64 * 64 * 3, 0x80);
    struct Case {
        const char* name;
        uint32_t width, height, blockSize, maskType;
        int32_t maskStride, stride;
        uint32_t photometric;
        bool nullMask;
    };
    const Case cases[] = {
        {"zero width", 0, 64, 16, 0, 64, 64, 2, false},
        {"zero height", 64, 0, 16, 0, 64, 64, 2, false},
        {"block size 0", 64, 64, 0, 0, 64, 64, 2, false},
        {"mask step 0", 64, 64, 16, 0, 0, 64, 2, false},
        {"negative mask step", 64, 64, 16, 0, -64, 64, 2, false},
        {"byte mask step short of a row", 64, 64, 16, 0, 63, 64, 2, false},
        {"bit mask step short of a row", 63, 64, 16, 1, 7, 64, 2, false},
        {"image step short of a grey row", 64, 64, 16, 0, 64, 63, 2, false},
        {"image step short of a colour row", 64, 64, 16, 0, 64, -191, 0, false},
        {"null mask", 64, 64, 16, 0, 64, 64, 2, true},
        {"work image too large", 60000, 60000, 16, 0, 60000, 60000, 2, false},
        {"block size beyond any work image", 64, 64, 0x20000000, 0, 64, 64, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> mask(64 * 64, 0x5A);
        Segmenter::Params params = Segmenter::defaultParams();
        params.blockSize = c.blockSize;
        expectThrow(
            [&] {
                Segmenter::segment(c.nullMask ? nullptr : mask.data(), c.maskStride, c.maskType, c.width, c.height,
                                   pixels.data() + (c.stride < 0 ? 63 * 191 : 0), c.stride,
                                   Photometric(c.photometric), &params);
            },
            errInvalidParam);
        EXPECT_EQ(std::vector<uint8_t>(64 * 64, 0x5A), mask);
    }
    std::vector<uint8_t> mask(64 * 64, 0x5A);
    expectThrow([&] { Segmenter::segment(mask.data(), 64, 0, 64, 64, pixels.data(), 192, Photometric(4), nullptr); },
                errInvalidParam, "Segmenter: Unknown photometric.");
    EXPECT_EQ(std::vector<uint8_t>(64 * 64, 0x5A), mask);
}

TEST(Segmenter, PageSmallerThanABlockLeavesTheMaskUntouched)
{
    Page page(15, 40);
    page.rect(2, 2, 5, 5, 0);
    EXPECT_EQ(std::vector<uint8_t>(15 * 40, 0x5A), page.mask());
    Page low(40, 15);
    low.rect(2, 2, 5, 5, 0);
    EXPECT_EQ(std::vector<uint8_t>(40 * 15, 0x5A), low.mask());
}

TEST(Segmenter, SingleLevelPageIsAllBackgroundOrAllForeground)
{
    struct Case {
        uint32_t maskType;
        bool uniformForeground;
        uint32_t rowBytes;
        uint8_t value;
    };
    // A 20 x 17 page; mask rows have a step of 8 spare bytes, which stay untouched. Type 2 is taken as bytes.
    const Case cases[] = {{0, false, 20, 255}, {0, true, 20, 0}, {1, false, 3, 255}, {1, true, 3, 0}, {2, false, 20, 255}};
    const std::vector<uint8_t> pixels(20 * 17 * 3, 77);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.maskType * 2 + c.uniformForeground);
        Segmenter::Params params = Segmenter::defaultParams();
        params.uniformForeground = c.uniformForeground;
        const int32_t step = int32_t(c.rowBytes + 8);
        std::vector<uint8_t> mask(size_t(step) * 17, 0x5A);
        Segmenter::segment(mask.data(), step, c.maskType, 20, 17, pixels.data(), 60, phRGB, &params);
        for (uint32_t y = 0; y < 17; ++y)
            for (int32_t x = 0; x < step; ++x)
                ASSERT_EQ(uint32_t(x) < c.rowBytes ? c.value : 0x5A, mask[size_t(y) * step + x]) << x << "," << y;
    }
}

TEST(Segmenter, UnknownMaskTypeFailsAfterTheWorkWithoutWriting)
{
    Page page(64, 64);
    page.rect(20, 20, 10, 10, 0);
    std::vector<uint8_t> mask(64 * 64, 0x5A);
    expectThrow(
        [&] { Segmenter::segment(mask.data(), 64, 2, 64, 64, page.pixels.data(), 64, phGray, nullptr); },
        errInvalidParam, "Unknown mask type.");
    EXPECT_EQ(std::vector<uint8_t>(64 * 64, 0x5A), mask);
}

TEST(Segmenter, BlackSquareOnWhiteIsTheOnlyForeground)
{
    // A square with a light grey rim (three grey levels, so every pass runs). The square's blocks split it
    // from the paper; the white blocks away from it are decided whole as foreground, and block deletion
    // turns that area back to background. Expansion finds no sheltered pixel along straight sides.
    Page page(128, 128);
    page.rect(39, 39, 26, 26, 240);
    page.rect(40, 40, 24, 24, 0);
    const std::vector<uint8_t> mask = page.mask();
    const Count c = countForeground(mask, 128, 40, 40, 24, 24);
    EXPECT_EQ(24u * 24u, c.inside);
    EXPECT_EQ(0u, c.outside);
}

TEST(Segmenter, TwoGreyLevelsGetTheClassificationOnly)
{
    // Without block deletion the white blocks decided whole stay foreground: only the square's blocks
    // (page 32..63) and the unclassified last block row and column hold background.
    Page page(128, 128);
    page.rect(40, 40, 24, 24, 0);
    const std::vector<uint8_t> mask = page.mask();
    for (uint32_t y = 0; y < 128; ++y) {
        for (uint32_t x = 0; x < 128; ++x) {
            const bool squareBlocks = x >= 32 && x < 64 && y >= 32 && y < 64;
            const bool square = x >= 40 && x < 64 && y >= 40 && y < 64;
            const bool lastBlock = x >= 112 || y >= 112;
            ASSERT_EQ(squareBlocks ? !square : lastBlock ? 1 : -1, squareBlocks || lastBlock ? mask[y * 128 + x] != 0 : -1)
                << x << "," << y;
        }
    }
    // Far from the square, white blocks are foreground.
    EXPECT_EQ(0, mask[8 * 128 + 8]);
    EXPECT_EQ(0, mask[100 * 128 + 8]);
}

namespace {

// The foreground of the mask as a list of pixel indices.
std::vector<uint32_t> foregroundOf(const std::vector<uint8_t>& inMask)
{
    std::vector<uint32_t> fg;
    for (uint32_t i = 0; i < inMask.size(); ++i)
        if (inMask[i] == 0)
            fg.push_back(i);
    return fg;
}

} // namespace

TEST(Segmenter, SaltNoiseIsErasedTheSquareKept)
{
    // Single black pixels and one white pixel on grey paper: each black pixel is split from the paper by
    // its block, then erased as an isolated piece of at most four pixels; the square is kept.
    Page page(128, 128, 230);
    for (uint32_t i = 0; i < 40; ++i)
        page.rect((i * 53) % 100 + 5, (i * 37) % 100 + 5, 1, 1, 0);
    page.rect(3, 3, 1, 1, 255);
    page.rect(60, 60, 10, 10, 0);
    Page square(128, 128);
    square.rect(60, 60, 10, 10, 0);
    EXPECT_EQ(foregroundOf(square.pixels), foregroundOf(page.mask()));
}

TEST(Segmenter, SlowGradientIsBackground)
{
    // One grey level more every 16 columns: no block window spans 4 levels, so every block is decided
    // whole, as foreground (its neighbours are flat); block deletion then turns the whole area back.
    Page page(256, 96);
    for (uint32_t x = 0; x < 256; ++x)
        page.rect(x, 0, 1, 96, uint8_t(100 + x / 16));
    EXPECT_EQ(std::vector<uint32_t>(), foregroundOf(page.mask()));
}

TEST(Segmenter, DarkTextOnPaperAndLightTextOnAColouredBandAreForeground)
{
    // A blue band (grey 77) across a white page; black bars above it, white bars on it. The band's flat
    // blocks are decided whole as foreground and turned back to background by block deletion, which turns
    // the white bars they enclose into foreground.
    const uint32_t w = 192, h = 160;
    std::vector<uint8_t> rgb(size_t(w) * h * 3, 255);
    Page expected(w, h);
    const auto paint = [&](uint32_t x0, uint32_t y0, uint32_t rw, uint32_t rh, uint32_t color) {
        for (uint32_t y = y0; y < y0 + rh; ++y)
            for (uint32_t x = x0; x < x0 + rw; ++x)
                for (uint32_t c = 0; c < 3; ++c)
                    rgb[(size_t(y) * w + x) * 3 + c] = uint8_t(color >> (16 - 8 * c));
    };
    paint(0, 56, w, 64, 0x2850A0);
    for (uint32_t i = 0; i < 6; ++i) {
        paint(20 + 24 * i, 16, 4, 24, 0x000000);
        paint(20 + 24 * i, 72, 4, 24, 0xFFFFFF);
        expected.rect(20 + 24 * i, 16, 4, 24, 0);
        expected.rect(20 + 24 * i, 72, 4, 24, 0);
    }
    std::vector<uint8_t> mask(size_t(w) * h, 0x5A);
    Segmenter::segment(mask.data(), int32_t(w), mtBytes, w, h, rgb.data(), int32_t(w * 3), phRGB, nullptr);
    EXPECT_EQ(foregroundOf(expected.pixels), foregroundOf(mask));
}

TEST(Segmenter, TextNearTheRightAndBottomEdges)
{
    // The last block column and row (16 pixels) are never classified and stay background. The noise pass
    // looks only up to two blocks short of the right and bottom ends: a piece lying wholly in that strip
    // is not looked at and stays, and the part of a kept piece that reaches into it, left marked by the
    // noise pass, is joined again by the expansion, which grows foreground into marked pixels.
    Page page(256, 128, 250);
    page.rect(0, 0, 1, 1, 255);
    page.rect(150, 20, 106, 3, 0); // a rule to the right edge
    page.rect(200, 40, 6, 10, 0);  // glyphs 50, 22 and 6 pixels from the right edge
    page.rect(228, 40, 6, 10, 0);
    page.rect(244, 40, 6, 10, 0);
    page.rect(100, 100, 6, 10, 0); // a glyph 18 pixels from the bottom edge
    Page expected(256, 128);
    expected.rect(150, 20, 90, 3, 0);
    expected.rect(200, 40, 6, 10, 0);
    expected.rect(228, 40, 6, 10, 0);
    expected.rect(100, 100, 6, 10, 0);
    EXPECT_EQ(foregroundOf(expected.pixels), foregroundOf(page.mask()));
}

TEST(Segmenter, LargeBlocksSplitLikeSmallOnes)
{
    // Blocks of 200: the one classified block's window holds 400 x 400 pixels, whose second moment
    // (up to 1e10) needs more than 32 bits. The square in it is split from the paper as with small blocks.
    Page page(400, 400, 250);
    page.rect(0, 0, 1, 1, 255);
    page.rect(50, 50, 100, 100, 0);
    Segmenter::Params params = Segmenter::defaultParams();
    params.blockSize = 200;
    Page square(400, 400);
    square.rect(50, 50, 100, 100, 0);
    EXPECT_EQ(foregroundOf(square.pixels), foregroundOf(page.mask(&params)));
}

TEST(Segmenter, EveryPixelLayoutAndRowOrderGivesTheSameMask)
{
    // Grey text-like bars on a light page, as grey, RGB, BGR and luminance-first pixels, and bottom-up.
    Page page(96, 80, 230);
    for (uint32_t i = 0; i < 5; ++i)
        page.rect(10 + 14 * i, 20, 4, 30, uint8_t(20 + 10 * i));
    const std::vector<uint8_t> expected = page.mask();
    for (uint32_t photometric = 0; photometric < 4; ++photometric) {
        for (bool bottomUp : {false, true}) {
            SCOPED_TRACE(photometric * 2 + bottomUp);
            std::vector<uint8_t> pixels;
            for (uint32_t y = 0; y < 80; ++y) {
                const uint8_t* row = &page.pixels[size_t(bottomUp ? 79 - y : y) * 96];
                for (uint32_t x = 0; x < 96; ++x) {
                    const uint8_t g = row[x];
                    // (306 + 601 + 117) g / 1024 is g again.
                    if (photometric == phGray)
                        pixels.push_back(g);
                    else if (photometric == phYCC)
                        pixels.insert(pixels.end(), {g, 17, 200});
                    else
                        pixels.insert(pixels.end(), {g, g, g});
                }
            }
            const uint32_t bpp = photometric == phGray ? 1 : 3;
            const int32_t stride = int32_t(96 * bpp);
            const uint8_t* first = bottomUp ? &pixels[size_t(79) * 96 * bpp] : pixels.data();
            std::vector<uint8_t> mask(96 * 80, 0x5A);
            Segmenter::segment(mask.data(), 96, mtBytes, 96, 80, first, bottomUp ? -stride : stride,
                               Photometric(photometric), nullptr);
            EXPECT_EQ(expected, mask);
        }
    }
    // The bit mask holds the same pixels.
    std::vector<uint8_t> bits(12 * 80, 0x5A);
    Segmenter::segment(bits.data(), 12, mtBits, 96, 80, page.pixels.data(), 96, phGray, nullptr);
    for (uint32_t i = 0; i < 96 * 80; ++i)
        ASSERT_EQ(expected[i] != 0, ((bits[i / 8] >> (7 - i % 8)) & 1) != 0) << i;
}
