// Blitted bitmaps: photographs stay in the plain image, small and few-colour bitmaps become foreground.
#include "render_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace RenderTest;

namespace {

// A DIB of inWidth x |inHeight| pixels (bottom-up for a positive height) using inColours distinct pixel
// values, none of them white.
struct Dib {
    std::vector<uint8_t> info;  // header and palette
    std::vector<uint8_t> bits;
    const BITMAPINFO* header() const { return reinterpret_cast<const BITMAPINFO*>(info.data()); }
};

Dib makeDib(uint16_t inBitCount, int32_t inWidth, int32_t inHeight, uint32_t inColours)
{
    const int32_t rows = std::abs(inHeight);
    Dib dib;
    const uint32_t paletteSize = inBitCount <= 8 ? (1u << inBitCount) : 0;
    dib.info.assign(sizeof(BITMAPINFOHEADER) + 4 * paletteSize, 0);
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = inWidth;
    header.biHeight = inHeight;
    header.biPlanes = 1;
    header.biBitCount = inBitCount;
    header.biCompression = BI_RGB;
    std::memcpy(dib.info.data(), &header, sizeof header);
    for (uint32_t i = 0; i < paletteSize; ++i) {
        const RGBQUAD entry = {uint8_t(i), uint8_t(200 - i / 2), uint8_t(i * 7), 0};
        std::memcpy(dib.info.data() + sizeof header + 4 * i, &entry, 4);
    }
    const size_t rowSize = (size_t(inBitCount) * inWidth + 31) / 32 * 4;
    dib.bits.assign(rowSize * rows, 0);
    for (int32_t y = 0; y < rows; ++y) {
        for (int32_t x = 0; x < inWidth; ++x) {
            const uint32_t value = uint32_t(y * inWidth + x) % inColours;
            uint8_t* row = dib.bits.data() + rowSize * y;
            switch (inBitCount) {
            case 1:
            case 4: {
                const uint32_t bit = uint32_t(x) * inBitCount;
                row[bit / 8] |= uint8_t(value << (8 - inBitCount - bit % 8));
                break;
            }
            case 8:
                row[x] = uint8_t(value);
                break;
            case 16:  // 5-5-5: distinct values give distinct colours, blue kept below white
                row[2 * x] = uint8_t(value & 0xFF);
                row[2 * x + 1] = uint8_t(value >> 8);
                break;
            default: {
                const uint32_t bytes = inBitCount / 8;
                row[bytes * x] = uint8_t(value);
                row[bytes * x + 1] = uint8_t(value >> 8);
                row[bytes * x + 2] = 40;
                break;
            }
            }
        }
    }
    return dib;
}

struct BlitCase {
    const char* name;
    uint16_t bitCount;
    uint32_t colours;
    int32_t destWidth;
    int32_t destHeight;
    bool keptInPlain;
};

class StretchDIBitsBlit : public testing::TestWithParam<BlitCase> {};

TEST_P(StretchDIBitsBlit, PhotographsStayInThePlainImage)
{
    const BlitCase& c = GetParam();
    const Dib dib = makeDib(c.bitCount, 32, 32, c.colours);
    PageDrawing drawing;
    // A mirrored blit starts at its right edge.
    const int32_t left = c.destWidth < 0 ? 20 - c.destWidth : 20;
    StretchDIBits(drawing.dc(), left, 20, c.destWidth, c.destHeight, 0, 0, 32, 32, dib.bits.data(), dib.header(),
                  DIB_RGB_COLORS, SRCCOPY);
    Metafile page = drawing.finish();
    const PageRenders r = renderPage(page.get());
    const double s = r.scale;
    const int32_t x1 = int32_t((20 + std::abs(c.destWidth)) * s), y1 = int32_t((20 + c.destHeight) * s);
    const int64_t area = int64_t(x1 - int32_t(20 * s)) * (y1 - int32_t(20 * s));
    EXPECT_GT(countInked(*r.full, 0, 0, x1 + 4, y1 + 4), area * 9 / 10);
    if (c.keptInPlain)
        EXPECT_EQ(0, countDifferent(*r.full, *r.plain));
    else
        EXPECT_EQ(0, countInked(*r.plain));
}

const BlitCase kBlitCases[] = {
    {"Rgb24With256Colours", 24, 256, 64, 64, true},
    {"Rgb24With255Colours", 24, 255, 64, 64, false},
    {"Indexed8With256Indices", 8, 256, 64, 64, true},
    {"Indexed8With255Indices", 8, 255, 64, 64, false},
    {"Indexed4", 4, 16, 64, 64, false},
    {"Indexed1", 1, 2, 64, 64, false},
    {"Rgb16With256Values", 16, 256, 64, 64, true},
    {"Rgb32With256Colours", 32, 256, 64, 64, true},
    {"Area47x49IsSmall", 24, 256, 47, 49, false},
    {"Area48x48IsCounted", 24, 256, 48, 48, true},
    {"MirroredArea48x48IsCounted", 24, 256, -48, 48, true},
};
INSTANTIATE_TEST_SUITE_P(EmfPageRenderer, StretchDIBitsBlit, testing::ValuesIn(kBlitCases),
                         [](const testing::TestParamInfo<BlitCase>& info) { return info.param.name; });

// Photographs as office documents hold them: large, palette or true colour, either row order, drawn
// whole or in part; the plain pass plays each as the capture pass does.
TEST(EmfPageRenderer, PhotographsOfEveryShapeAreDrawnInBothPasses)
{
    struct Case {
        const char* name;
        uint16_t bitCount;
        int32_t width, height;
        int32_t sourceX, sourceY, sourceWidth, sourceHeight;
    };
    const Case cases[] = {
        {"large true colour", 24, 640, 480, 0, 0, 640, 480},
        {"large palette", 8, 500, 333, 0, 0, 500, 333},
        {"top-down", 24, 301, -203, 0, 0, 301, 203},
        {"32 bits", 32, 257, 129, 0, 0, 257, 129},
        {"part of the source", 24, 400, 300, 50, 40, 200, 150},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Dib dib = makeDib(c.bitCount, c.width, c.height, 100000);
        PageDrawing drawing;
        StretchDIBits(drawing.dc(), 10, 10, 160, 120, c.sourceX, c.sourceY, c.sourceWidth, c.sourceHeight,
                      dib.bits.data(), dib.header(), DIB_RGB_COLORS, SRCCOPY);
        Metafile page = drawing.finish();
        const PageRenders r = renderPage(page.get());
        EXPECT_GT(countInked(*r.full), int64_t(150 * r.scale * 110 * r.scale));
        EXPECT_EQ(0, countDifferent(*r.full, *r.plain));
    }
}

// Blits from a device context record the source as EMR_BITBLT or EMR_STRETCHBLT; a pattern fill records
// EMR_BITBLT without a source and is always drawn.
TEST(EmfPageRenderer, BlitsFromAMemoryContextAndPatternFills)
{
    struct Case {
        const char* name;
        uint32_t colours;
        bool stretch;
        bool keptInPlain;
    };
    for (const Case& c : {Case{"photo blit", 256, false, true}, Case{"few-colour blit", 12, false, false},
                          Case{"photo stretch", 1024, true, true}, Case{"few-colour stretch", 3, true, false}}) {
        SCOPED_TRACE(c.name);
        const Dib dib = makeDib(24, 64, 64, c.colours);
        HDC screen = GetDC(nullptr);
        HDC source = CreateCompatibleDC(screen);
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(screen, dib.header(), DIB_RGB_COLORS, &bits, nullptr, 0);
        ReleaseDC(nullptr, screen);
        ASSERT_NE(nullptr, bitmap);
        std::memcpy(bits, dib.bits.data(), dib.bits.size());
        HGDIOBJ previous = SelectObject(source, bitmap);
        PageDrawing drawing;
        if (c.stretch)
            StretchBlt(drawing.dc(), 20, 20, 96, 96, source, 0, 0, 64, 64, SRCCOPY);
        else
            BitBlt(drawing.dc(), 20, 20, 64, 64, source, 0, 0, SRCCOPY);
        Metafile page = drawing.finish();
        SelectObject(source, previous);
        DeleteObject(bitmap);
        DeleteDC(source);
        const PageRenders r = renderPage(page.get());
        EXPECT_GT(countInked(*r.full), 0);
        if (c.keptInPlain)
            EXPECT_EQ(0, countDifferent(*r.full, *r.plain));
        else
            EXPECT_EQ(0, countInked(*r.plain));
    }

    PageDrawing drawing;
    HBRUSH hatch = CreateHatchBrush(HS_DIAGCROSS, RGB(0, 0, 160));
    SelectObject(drawing.dc(), hatch);
    PatBlt(drawing.dc(), 10, 10, 30, 30, PATCOPY);
    Metafile page = drawing.finish();
    DeleteObject(hatch);
    const PageRenders r = renderPage(page.get());
    EXPECT_GT(countInked(*r.full), 0);
    EXPECT_EQ(0, countDifferent(*r.full, *r.plain));
}

} // namespace

namespace {

// A true-colour picture of inWidth x inRows pixels whose rows run from grey 64 at the top to 191 at the
// bottom, crossing 127 and 128, whose bytes share no bit.
Dib greyGradient(uint16_t inBitCount, int32_t inWidth, int32_t inRows)
{
    Dib dib = makeDib(inBitCount, inWidth, inRows, 1);
    const size_t rowSize = (size_t(inBitCount) * inWidth + 31) / 32 * 4;
    const uint32_t bytes = inBitCount / 8;
    for (int32_t y = 0; y < inRows; ++y) {
        const uint8_t value = uint8_t(64 + 128 * y / inRows);
        uint8_t* row = dib.bits.data() + rowSize * (inRows - 1 - y); // bottom-up
        for (int32_t x = 0; x < inWidth; ++x)
            std::memset(row + bytes * x, value, 3);
    }
    return dib;
}

} // namespace

// A picture with more rows than the page is shrunk onto it: each row of the page shows the picture's value
// there. GDI's default stretching mode ANDs the bytes of the rows it merges, which drew dark lines across
// scans and photographs wherever neighbouring values differ in their bits (127 and 128 give 0).
TEST(EmfPageRenderer, PicturesLargerThanThePageKeepTheirValues)
{
    const struct {
        const char* name;
        uint16_t bitCount;
    } cases[] = {{"24 bits", 24}, {"32 bits", 32}};
    const int32_t rows = 1600, width = 16;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Dib dib = greyGradient(c.bitCount, width, rows);
        PageDrawing drawing;
        const int32_t side = GetDeviceCaps(drawing.dc(), LOGPIXELSX) * 2;
        // Over the whole page, a little past each edge.
        StretchDIBits(drawing.dc(), -4, -4, side + 8, side + 8, 0, 0, width, rows, dib.bits.data(), dib.header(),
                      DIB_RGB_COLORS, SRCCOPY);
        Metafile page = drawing.finish();
        const PageRenders r = renderPage(page.get());
        const int32_t height = r.full->GetHeight(), x = r.full->GetWidth() / 2;
        ASSERT_LT(height, rows);
        int32_t worst = 0, worstRow = 0;
        for (int32_t y = 0; y < height; ++y) {
            const double sourceRow = ((y + 0.5) / r.scale + 4) * rows / (side + 8);
            const int32_t expected = 64 + int32_t(128 * sourceRow / rows);
            const int32_t off = std::abs(int32_t(pixel(*r.full, x, y) & 0xFF) - expected);
            if (off > worst)
                worst = off, worstRow = y;
        }
        EXPECT_LE(worst, 3) << "row " << worstRow << " of " << height;
    }
}

// A one-bit picture (a scanned drawing or text) keeps GDI's stretching: its thin black lines stay black
// when the picture is shrunk, instead of turning grey.
TEST(EmfPageRenderer, OneBitPicturesKeepTheirThinLinesWhenShrunk)
{
    const int32_t rows = 1600, width = 32, spacing = 8;
    Dib dib = makeDib(1, width, -rows, 1);
    const RGBQUAD palette[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    std::memcpy(dib.info.data() + sizeof(BITMAPINFOHEADER), palette, sizeof palette);
    const size_t rowSize = (size_t(width) + 31) / 32 * 4;
    for (int32_t y = 0; y < rows; ++y)
        std::memset(dib.bits.data() + rowSize * y, y % spacing ? 0xFF : 0x00, rowSize);
    PageDrawing drawing;
    const int32_t side = GetDeviceCaps(drawing.dc(), LOGPIXELSX) * 2;
    StretchDIBits(drawing.dc(), 0, 0, side, side, 0, 0, width, rows, dib.bits.data(), dib.header(), DIB_RGB_COLORS,
                  SRCCOPY);
    Metafile page = drawing.finish();
    const PageRenders r = renderPage(page.get());
    const int32_t x = r.full->GetWidth() / 2;
    int32_t lines = 0;
    for (int32_t y = 0; y < r.full->GetHeight(); ++y)
        if (pixel(*r.full, x, y) == 0 && (y == 0 || pixel(*r.full, x, y - 1) != 0))
            ++lines;
    EXPECT_EQ(rows / spacing, lines);
}
