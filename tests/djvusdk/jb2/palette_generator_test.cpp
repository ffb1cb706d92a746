// The foreground palette of a page: shape colours from the image or from the shapes, the palette with
// its indices, and the median cut that takes over beyond 65535 colours.
#include "../../../djvusdk/src/jb2/djv_colorhistogram.h"
#include "../../../djvusdk/src/jb2/djv_palettegenerator.h"
#include "djv_jb2shape.h"
#include "test_support.h"

#include <algorithm>
#include <utility>
#include <vector>

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;
using MvxTest::expectThrow;
using _Mvx_Internal_NS_::ColorHistogram;
using _Mvx_Internal_NS_::PaletteGenerator;

namespace {

typedef std::vector<uint32_t> RGBs;

AutoPtr<Shape> solid(uint32_t inWidth, uint32_t inHeight, int32_t inX = 0, int32_t inY = 0)
{
    std::vector<uint8_t> pixels(size_t(inWidth) * inHeight, 1);
    return Shape::create(inWidth, inHeight, int32_t(inWidth), pixels.data(), inX, inY, Normal);
}

AutoPtr<Shape> dot(int32_t inX, int32_t inY, uint32_t inRGB = 0)
{
    AutoPtr<Shape> s = solid(1, 1, inX, inY);
    s->setColor(Color::fromRGB(inRGB));
    return s;
}

uint32_t colorOf(const AutoPtr<Shape>& inShape)
{
    Color c;
    inShape->getColor(c);
    return c.toRGB();
}

RGBs rgbs(const PaletteGenerator::ColorArray& inColors)
{
    RGBs out;
    for (const Color& c : inColors)
        out.push_back(c.toRGB());
    return out;
}

std::vector<uint32_t> values(const PaletteGenerator::IndexArray& inIndices)
{
    return std::vector<uint32_t>(inIndices.begin(), inIndices.end());
}

// The outputs of one generation.
struct Result {
    PaletteGenerator::ColorArray palette;
    PaletteGenerator::IndexArray indices;
};

Result generate(const ShapeList& inShapes, const uint8_t* inImage = nullptr, int32_t inRowStep = 0,
                uint32_t inPhotometric = phRGB, uint32_t inWidth = 0, uint32_t inHeight = 0)
{
    Result r;
    PaletteGenerator().generatePalette(inShapes, r.palette, r.indices, inImage, inRowStep, inPhotometric, inWidth,
                                       inHeight);
    return r;
}

// An RGB image of one colour.
std::vector<uint8_t> rgbImage(uint32_t inWidth, uint32_t inHeight, uint32_t inRGB)
{
    std::vector<uint8_t> image;
    for (uint32_t i = 0; i < inWidth * inHeight; ++i)
        image.insert(image.end(), {uint8_t(inRGB >> 16), uint8_t(inRGB >> 8), uint8_t(inRGB)});
    return image;
}

void putRGB(std::vector<uint8_t>& ioImage, uint32_t inWidth, uint32_t inX, uint32_t inY, uint32_t inRGB)
{
    uint8_t* p = &ioImage[(size_t(inY) * inWidth + inX) * 3];
    p[0] = uint8_t(inRGB >> 16);
    p[1] = uint8_t(inRGB >> 8);
    p[2] = uint8_t(inRGB);
}

} // namespace

TEST(PaletteGenerator, PageWithoutShapesGivesEmptyOutputs)
{
    const std::vector<uint8_t> image = rgbImage(4, 4, 0x102030);
    for (const uint8_t* pixels : {static_cast<const uint8_t*>(nullptr), image.data()}) {
        Result r;
        r.palette.append(Color::fromRGB(0xABCDEF));
        r.indices.append(5);
        PaletteGenerator().generatePalette(ShapeList(), r.palette, r.indices, pixels, 12, phRGB, 4, 4);
        EXPECT_EQ(0u, r.palette.count());
        EXPECT_EQ(0u, r.indices.count());
    }
}

TEST(PaletteGenerator, PixelReadersByPhotometric)
{
    struct Case {
        uint32_t photometric;
        std::vector<uint8_t> pixel;
        uint32_t rgb;
    };
    const Case cases[] = {
        {phRGB, {0x0A, 0x14, 0x1E}, 0x0A141E},
        {phBGR, {0x0A, 0x14, 0x1E}, 0x1E140A},
        {phGray, {0x80}, 0x808080},
        // The luminance unsigned, the colour differences signed, as the IW44 layers read them.
        {phYCC, {0, 0, 0}, 0x000000},
        {phYCC, {0xFF, 0, 0}, 0xFFFFFF},
        {phYCC, {127, 0, 127}, 0xFF207F},      // red limited; green 127 - 95
        {phYCC, {0x80, 0x80, 0x80}, 0x00FF00}, // Cb and Cr -128: red and blue limited at 0, green at 255
        {phYCC, {10, 0xFD, 0xFF}, 0x080C05},   // Cb -3, Cr -1: the shifts round toward minus infinity
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rgb);
        // Every other pixel of the 3 x 2 image is 0x11 bytes: only the pixel at (2, 1) is under the shape.
        const uint32_t bpp = uint32_t(c.pixel.size());
        const int32_t step = int32_t(3 * bpp + 1);
        std::vector<uint8_t> image(size_t(step) * 2, 0x11);
        std::copy(c.pixel.begin(), c.pixel.end(), image.begin() + step + 2 * bpp);
        ShapeList shapes;
        shapes.append(dot(2, 1));
        Result r = generate(shapes, image.data(), step, c.photometric, 3, 2);
        EXPECT_EQ(RGBs{c.rgb}, rgbs(r.palette));
        EXPECT_EQ(std::vector<uint32_t>{0}, values(r.indices));
        EXPECT_EQ(c.rgb, colorOf(shapes[0]));
    }
}

TEST(PaletteGenerator, ShapeColourIsTheTruncatedMeanUnderItsInk)
{
    // Grey row 10, 99, 11 under a shape whose middle pixel is clear: (10 + 11) / 2.
    const uint8_t row[] = {10, 99, 11};
    const uint8_t ink[] = {1, 0, 1};
    ShapeList shapes;
    shapes.append(Shape::create(3, 1, 3, ink, 0, 0, Normal));
    EXPECT_EQ(RGBs{0x0A0A0A}, rgbs(generate(shapes, row, 3, phGray, 3, 1).palette));

    // The same in one channel of an RGB image stored bottom-up: row 0 is the block's last row.
    std::vector<uint8_t> block = rgbImage(2, 2, 0xFFFFFF);
    putRGB(block, 2, 0, 1, 0x0AC807);
    putRGB(block, 2, 1, 1, 0x0BC907);
    ShapeList wide;
    wide.append(solid(2, 1));
    EXPECT_EQ(RGBs{0x0AC807}, rgbs(generate(wide, block.data() + 6, -6, phRGB, 2, 2).palette));
}

TEST(PaletteGenerator, LargeShapesAverageExactly)
{
    // A 300 x 300 shape totals 22950000 per channel, past the exact range of single precision; a
    // 4200 x 4200 one totals 4498200000, past 32 bits.
    for (uint32_t side : {300u, 4200u}) {
        SCOPED_TRACE(side);
        const std::vector<uint8_t> grey(size_t(side) * side, 0xFF);
        ShapeList shapes;
        shapes.append(solid(side, side));
        EXPECT_EQ(RGBs{0xFFFFFF}, rgbs(generate(shapes, grey.data(), int32_t(side), phGray, side, side).palette));
    }
}

TEST(PaletteGenerator, EqualColoursShareOneEntryInAscendingOrder)
{
    const RGBs colours = {0x0000FF, 0xFF0000, 0x000000, 0x0000FF, 0x00FF00};
    const RGBs palette = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};
    const std::vector<uint32_t> indices = {1, 3, 0, 1, 2};

    // From the shapes' own colours.
    ShapeList own;
    for (uint32_t i = 0; i < colours.size(); ++i)
        own.append(dot(int32_t(i), 0, colours[i]));
    Result r = generate(own);
    EXPECT_EQ(palette, rgbs(r.palette));
    EXPECT_EQ(indices, values(r.indices));

    // From an image with those colours under the shapes, whose own colours play no part.
    std::vector<uint8_t> image = rgbImage(uint32_t(colours.size()), 1, 0);
    ShapeList measured;
    for (uint32_t i = 0; i < colours.size(); ++i) {
        putRGB(image, uint32_t(colours.size()), i, 0, colours[i]);
        measured.append(dot(int32_t(i), 0, 0x777777));
    }
    r = generate(measured, image.data(), int32_t(image.size()), phRGB, uint32_t(colours.size()), 1);
    EXPECT_EQ(palette, rgbs(r.palette));
    EXPECT_EQ(indices, values(r.indices));
    for (uint32_t i = 0; i < colours.size(); ++i)
        EXPECT_EQ(colours[i], colorOf(measured[i]));
}

// Colours in no order, many repeated: the palette is their sorted set and each shape gets its colour's place.
TEST(PaletteGenerator, ManyColoursInAnyOrderGiveTheirSortedSet)
{
    ShapeList shapes;
    RGBs colours;
    uint32_t seed = 2026;
    for (uint32_t i = 0; i < 60000; ++i) {
        seed = seed * 1103515245u + 12345u;
        colours.push_back((seed >> 8) % 40000 * 419); // about 31000 distinct values spread over all channels
        shapes.append(dot(0, 0, colours.back()));
    }
    RGBs palette = colours;
    std::sort(palette.begin(), palette.end());
    palette.erase(std::unique(palette.begin(), palette.end()), palette.end());

    const Result r = generate(shapes);
    ASSERT_EQ(palette, rgbs(r.palette));
    ASSERT_EQ(colours.size(), r.indices.count());
    for (uint32_t i = 0; i < colours.size(); ++i)
        ASSERT_EQ(colours[i], palette[r.indices[i]]) << i;
}

TEST(PaletteGenerator, InkOutsideTheImageIsNotRead)
{
    const uint8_t grey[] = {50, 60};
    ShapeList shapes;
    // Starting one column left of the image: the mean of 50 and 60.
    shapes.append(solid(3, 1, -1, 0));
    // Nothing under it: it keeps its own colour.
    AutoPtr<Shape> away = solid(2, 2, 5, 5);
    away->setColor(Color::fromRGB(0x123456));
    shapes.append(away);
    // No ink at all: its own colour, black.
    shapes.append(Shape::create(ShapeBitmap(2, 1), 0, 0, Normal));
    Result r = generate(shapes, grey, 2, phGray, 2, 1);
    EXPECT_EQ((RGBs{0x000000, 0x123456, 0x373737}), rgbs(r.palette));
    EXPECT_EQ((std::vector<uint32_t>{2, 1, 0}), values(r.indices));
}

TEST(PaletteGenerator, PaletteLimitChangesNothing)
{
    ShapeList shapes;
    for (uint32_t rgb : {0x00FF00u, 0x000000u, 0xFF0000u})
        shapes.append(dot(0, 0, rgb));
    const Result plain = generate(shapes);
    for (uint32_t limit : {0u, 1u, 256u}) {
        Result r;
        PaletteGenerator().generatePalette(shapes, r.palette, r.indices, limit, nullptr, 0, phRGB, 0, 0);
        EXPECT_EQ(rgbs(plain.palette), rgbs(r.palette));
        EXPECT_EQ(values(plain.indices), values(r.indices));
    }
}

TEST(PaletteGenerator, UnknownPhotometricLeavesEverythingAsItWas)
{
    const std::vector<uint8_t> image = rgbImage(2, 2, 0x808080);
    ShapeList shapes;
    shapes.append(dot(0, 0, 0x010203));
    Result r;
    r.palette.append(Color::fromRGB(0xABCDEF));
    r.indices.append(7);
    r.indices.append(8);
    expectThrow([&] { PaletteGenerator().generatePalette(shapes, r.palette, r.indices, image.data(), 6, 4, 2, 2); },
                errInvalidParam, "JB2 : Unknown Photometric.");
    EXPECT_EQ(RGBs{0xABCDEF}, rgbs(r.palette));
    EXPECT_EQ((std::vector<uint32_t>{7, 8}), values(r.indices));
    EXPECT_EQ(0x010203u, colorOf(shapes[0]));

    // Without an image the photometric describes nothing and is not looked at.
    PaletteGenerator().generatePalette(shapes, r.palette, r.indices, nullptr, 0, 4, 0, 0);
    EXPECT_EQ(RGBs{0x010203}, rgbs(r.palette));
}

TEST(PaletteGenerator, LookupWithoutPaletteFails)
{
    PaletteGenerator generator;
    expectThrow([&] { generator.getNearestColorIndex(Color::fromRGB(0)); }, 9, "Palette data is not initialized");
}

TEST(PaletteGenerator, NearestColourComesFromTheGreenBucket)
{
    // Greens 8 and 10 share bucket 2 (green >> 2); black sits alone in bucket 0.
    ShapeList shapes;
    for (uint32_t rgb : {0x000000u, 0x000800u, 0x000A00u})
        shapes.append(dot(0, 0, rgb));
    PaletteGenerator generator;
    Result r;
    generator.generatePalette(shapes, r.palette, r.indices, nullptr, 0, phRGB, 0, 0);
    ASSERT_EQ((RGBs{0x000000, 0x000800, 0x000A00}), rgbs(r.palette));
    EXPECT_EQ(1u, generator.getNearestColorIndex(Color::fromRGB(0x000900))); // equally near: the first
    EXPECT_EQ(2u, generator.getNearestColorIndex(Color::fromRGB(0x050B00)));
    EXPECT_EQ(0u, generator.getNearestColorIndex(Color::fromRGB(0x000C00))); // bucket 3 is empty
}

// Colour k of the reduction tests is red k >> 8, green k & 0xFF, blue 0: the 65536 colours fill the
// 256 cells of blue 0 with 256 colours each.
class PaletteReduction : public ::testing::TestWithParam<bool> {
protected:
    static uint32_t colour(uint32_t k) { return (k >> 8) << 16 | (k & 0xFF) << 8; }

    // One dot per colour k at (k & 0xFF, k >> 8), coloured itself or measured from a 256 x 256 image.
    // The first dot's row byte has the bits past its width set: they are no ink, neither weighing in the
    // histogram nor covering image pixels.
    Result run(uint32_t inCount)
    {
        const bool withImage = GetParam();
        std::vector<uint8_t> image = rgbImage(256, 256, 0xFFFFFF);
        const uint8_t dirtyRow = 0xFF;
        shapes.append(Shape::create(ShapeBitmap(1, 1, 1, &dirtyRow, true), 0, 0, Normal));
        for (uint32_t k = 0; k < inCount; ++k) {
            if (k)
                shapes.append(dot(int32_t(k & 0xFF), int32_t(k >> 8), withImage ? 0 : colour(k)));
            putRGB(image, 256, k & 0xFF, k >> 8, colour(k));
        }
        return withImage ? generate(shapes, image.data(), 256 * 3, phRGB, 256, 256) : generate(shapes);
    }
    ShapeList shapes;
};

TEST_P(PaletteReduction, UpTo65535ColoursStayExact)
{
    const Result r = run(65535);
    ASSERT_EQ(65535u, r.palette.count());
    ASSERT_EQ(65535u, r.indices.count());
    for (uint32_t k = 0; k < 65535; ++k) {
        ASSERT_EQ(colour(k), r.palette[k].toRGB());
        ASSERT_EQ(k, r.indices[k]);
        ASSERT_EQ(colour(k), colorOf(shapes[k]));
    }
}

TEST_P(PaletteReduction, OneMoreColourIsCutToBoxMeans)
{
    const Result r = run(65536);
    // Every cell becomes a box of its own whose mean is the cell's middle: 16 x i + 8 in red and green.
    RGBs expected;
    for (uint32_t red = 8; red < 256; red += 16)
        for (uint32_t green = 8; green < 256; green += 16)
            expected.push_back(red << 16 | green << 8);
    ASSERT_EQ(expected, rgbs(r.palette));
    ASSERT_EQ(65536u, r.indices.count());

    // A colour takes the nearest entry of its green bucket, the first of equally near ones, or 0 when no
    // entry shares its bucket (here the green of an entry is 16 x i + 8, so only buckets 4 x i + 2 hold any).
    for (uint32_t k = 0; k < 65536; ++k) {
        const Color c = Color::fromRGB(colour(k));
        uint32_t want = 0, best = 0xFFFFFFFFu;
        for (uint32_t i = 0; i < r.palette.count(); ++i) {
            const Color& p = r.palette[i];
            if (p.green >> 2 != c.green >> 2)
                continue;
            const int32_t dr = p.red - c.red, dg = p.green - c.green, db = p.blue - c.blue;
            if (uint32_t(dr * dr + dg * dg + db * db) < best) {
                best = uint32_t(dr * dr + dg * dg + db * db);
                want = i;
            }
        }
        ASSERT_EQ(want, r.indices[k]) << k;
        ASSERT_EQ(GetParam() ? r.palette[want].toRGB() : colour(k), colorOf(shapes[k])) << k;
    }
    EXPECT_EQ(192u, r.indices[200 << 8 | 9]); // (200, 9, 0) is nearest (200, 8, 0): red 12, green 0
    EXPECT_EQ(15u, r.indices[7 << 8 | 250]);  // (7, 250, 0): (8, 248, 0) in bucket 62
    EXPECT_EQ(0u, r.indices[255 << 8 | 255]); // bucket 63 holds nothing
}

INSTANTIATE_TEST_SUITE_P(FromShapesAndFromImage, PaletteReduction, ::testing::Bool());

TEST(ColorHistogram, MedianCut)
{
    struct Case {
        const char* name;
        std::vector<std::pair<uint32_t, uint64_t>> samples; // colour, weight
        uint32_t maxColors;
        RGBs palette;
    };
    const Case cases[] = {
        {"empty histogram", {}, 65535, {}},
        // One cell: its mean 10.5 is rounded, unlike a shape's truncated mean.
        {"cell means round", {{0x0A0000, 1}, {0x0B0000, 1}}, 65535, {0x0B0000}},
        // Neighbouring cells whose means differ by 1 are not split: one weighted mean (45 + 16) / 4.
        {"narrow box stays whole", {{0x0F0000, 3}, {0x100000, 1}}, 65535, {0x0F0000}},
        {"every wide box is split", {{0x000000, 1}, {0x400000, 1}, {0x800000, 2}}, 65535,
         {0x000000, 0x400000, 0x800000}},
        // The heavier half (weights 3 + 3) is split before the lighter one.
        {"heaviest box first", {{0x000000, 3}, {0x100000, 3}, {0xA00000, 1}, {0xF00000, 1}}, 3,
         {0x000000, 0x100000, 0xC80000}},
        // Halves of equal weight: the kept half moves behind the new one, which is split next.
        {"kept half moves behind an equal new one", {{0x000000, 1}, {0x400000, 1}, {0x800000, 1}, {0xC00000, 1}}, 3,
         {0x200000, 0x800000, 0xC00000}},
        // Reds 48 80 176 | 192 224 weigh 9 and 7; cutting the heavier, 48 80 | 176 keeps 7, as much as
        // 192 224, which was in the list first and stays ahead: 192 224 is cut third, 48 80 never.
        {"equal weights keep the earlier box first",
         {{0x300000, 4}, {0x500000, 3}, {0xB00000, 2}, {0xC00000, 4}, {0xE00000, 3}},
         4,
         {0x3E0000, 0xB00000, 0xC00000, 0xE00000}},
        // The split stops one record short of the end even when the last record outweighs the rest.
        {"split before the last record", {{0x000000, 1}, {0x640000, 10}}, 2, {0x000000, 0x640000}},
        // Red and green both range over 100: green decides, splitting off (0, 100, 0).
        {"green wins a tie", {{0x006400, 1}, {0x640000, 1}, {0x323200, 1}}, 2, {0x006400, 0x4B1900}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ColorHistogram histogram;
        for (const auto& sample : c.samples)
            histogram.add(sample.first, sample.second);
        histogram.add(0xFFFFFF, 0); // no weight, no cell
        PaletteGenerator::ColorArray palette;
        palette.append(Color::fromRGB(0x123456));
        histogram.medianCut(c.maxColors, palette);
        EXPECT_EQ(c.palette, rgbs(palette));
    }
}
