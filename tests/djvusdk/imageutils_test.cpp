// Image utilities: reduced sizes, lightness masks, bit packing, mask erosion, masked subsampling, white.
#include "djv_imageutils.h"
#include "test_support.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace Morvenix;
using namespace Morvenix::DjVu;
using MvxTest::expectThrow;

namespace {

typedef std::vector<uint8_t> Bytes;

// A picture as rows of '#' (foreground, 0) and '.' (background, 0xFF), one byte a pixel.
Bytes byteMask(const std::vector<std::string>& inRows)
{
    Bytes mask;
    for (const std::string& row : inRows)
        for (char c : row)
            mask.push_back(c == '#' ? 0 : 0xFF);
    return mask;
}

std::vector<std::string> picture(const Bytes& inMask, uint32_t inWidth)
{
    std::vector<std::string> rows;
    for (size_t y = 0; y < inMask.size() / inWidth; ++y) {
        std::string row;
        for (uint32_t x = 0; x < inWidth; ++x)
            row += inMask[y * inWidth + x] ? '.' : '#';
        rows.push_back(row);
    }
    return rows;
}

} // namespace

TEST(EstimateSubsampledSize, RoundsUp)
{
    struct Case {
        uint32_t width, height, subsample, subWidth, subHeight;
    };
    const Case cases[] = {
        {2550, 3300, 12, 213, 275}, {2550, 3300, 3, 850, 1100}, {2550, 3300, 1, 2550, 3300},
        {1, 1, 12, 1, 1},           {0, 0, 5, 0, 0},            {0xFFFFFFFFu, 25, 2, 0x80000000u, 13},
    };
    for (const Case& c : cases) {
        uint32_t w = 99, h = 99;
        ImageUtils::estimateSubsampledSize(&w, &h, c.width, c.height, c.subsample);
        EXPECT_EQ(c.subWidth, w) << c.width << "/" << c.subsample;
        EXPECT_EQ(c.subHeight, h) << c.height << "/" << c.subsample;
    }
}

TEST(EstimateSubsampledSize, RefusesBadArguments)
{
    uint32_t w = 0, h = 0;
    expectThrow([&] { ImageUtils::estimateSubsampledSize(nullptr, &h, 10, 10, 2); }, errInvalidParam,
                "errInvalidParam");
    expectThrow([&] { ImageUtils::estimateSubsampledSize(&w, nullptr, 10, 10, 2); }, errInvalidParam,
                "errInvalidParam");
    expectThrow([&] { ImageUtils::estimateSubsampledSize(&w, &h, 10, 10, 0); }, errInvalidParam,
                "inSubsample must be positive integer.", "djv_imageutils");
    expectThrow([&] { ImageUtils::estimateSubsampledSize(&w, &h, 10, 10, 13); }, errInvalidParam,
                "This function doesn't support over 12 inSubsample.");
}

TEST(PackAnyToBits, LightnessThresholds)
{
    struct Case {
        Photometric photometric;
        uint8_t pixel[3];
        bool light;
    };
    const Case cases[] = {
        {phRGB, {255, 255, 255}, true},  {phRGB, {0, 0, 0}, false},       {phRGB, {128, 128, 128}, false},
        {phRGB, {128, 128, 129}, true},  {phRGB, {255, 100, 0}, true},    // 765 + 600 + 0
        {phBGR, {255, 255, 255}, true},  {phBGR, {0, 0, 0}, false},       {phBGR, {128, 128, 128}, false},
        {phBGR, {129, 128, 128}, true},  {phBGR, {255, 100, 0}, false},   // red 0: 0 + 600 + 255
        {phGray, {128, 0, 0}, false},    {phGray, {129, 0, 0}, true},     {phGray, {255, 0, 0}, true},
        {phYCC, {128, 255, 255}, false}, {phYCC, {129, 0, 0}, true},      {phYCC, {200, 0, 0}, true},
    };
    for (const Case& c : cases) {
        uint8_t mask = 0xAA;
        ImageUtils::packAnyToBits(1, 1, 3, c.pixel, c.photometric, 1, &mask);
        EXPECT_EQ(c.light ? 0x80 : 0x00, mask) << "photometric " << c.photometric << " pixel " << int(c.pixel[0])
                                               << "," << int(c.pixel[1]) << "," << int(c.pixel[2]);
        const bool single = c.photometric == phRGB ? ImageUtils::isLightRGB(c.pixel)
                            : c.photometric == phBGR ? ImageUtils::isLightBGR(c.pixel)
                                                     : ImageUtils::isLightGray(c.pixel);
        EXPECT_EQ(c.light, single);
    }
}

TEST(PackAnyToBits, PacksRowsMostSignificantBitFirstAlongTheSteps)
{
    // Two grey rows of 10 pixels stored bottom-up (negative step); the mask rows are 3 bytes apart, of
    // which the packing uses two.
    const uint8_t rows[2][10] = {{0, 255, 0, 0, 0, 0, 0, 0, 200, 0}, // stored first: the bottom row
                                 {255, 255, 255, 255, 255, 255, 255, 255, 0, 255}};
    uint8_t mask[6];
    std::memset(mask, 0x5A, sizeof mask);
    ImageUtils::packAnyToBits(10, 2, -10, rows[1], phGray, 3, mask);
    EXPECT_EQ((Bytes{0xFF, 0x40, 0x5A, 0x40, 0x80, 0x5A}), Bytes(mask, mask + 6));

    expectThrow([&] { ImageUtils::packAnyToBits(10, 2, 10, rows[0], Photometric(4), 3, mask); }, errOperationFailed,
                "packAnyToBits: Unknown photometric!", "djv_imageutils");
}

TEST(BitPacking, BytesToBitsAndBack)
{
    const Bytes bytes = {0, 7, 0, 255, 0, 0, 0, 0, 1, 0};
    Bytes bits(2, 0xEE);
    ImageUtils::packBytesToBits(10, 1, 10, bytes.data(), 2, bits.data());
    EXPECT_EQ((Bytes{0x50, 0x80}), bits);

    Bytes full(10, 0xEE), binary(10, 0xEE);
    ImageUtils::unpackBitsToBytes(10, 1, 2, bits.data(), 10, full.data());
    ImageUtils::unpackBitsToBinary(10, 1, 2, bits.data(), 10, binary.data());
    EXPECT_EQ((Bytes{0, 0xFF, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0}), full);
    EXPECT_EQ((Bytes{0, 1, 0, 1, 0, 0, 0, 0, 1, 0}), binary);

    ImageUtils::packBytesToBits(0, 1, 10, bytes.data(), 2, bits.data());
    ImageUtils::unpackBitsToBytes(10, 0, 2, bits.data(), 10, full.data());
    EXPECT_EQ((Bytes{0x50, 0x80}), bits);
    EXPECT_EQ(0xFF, full[1]);
}

TEST(ErodeMask, ForegroundGrowsByOnePixelInFourDirections)
{
    struct Case {
        const char* name;
        std::vector<std::string> source, eroded;
    };
    // Width 10 puts the bit rows across a byte boundary and leaves six padding bits.
    const Case cases[] = {
        {"dot", {"..........", "....#.....", ".........."}, {"....#.....", "...###....", "....#....."}},
        {"corner", {"#.........", "..........", ".........."}, {"##........", "#.........", ".........."}},
        {"last column", {"..........", ".........#", ".........."}, {".........#", "........##", ".........#"}},
        {"byte edge", {".......#..", "..........", "........#."}, {"......###.", ".......##.", ".......###"}},
        {"background", {"..........", ".........."}, {"..........", ".........."}},
    };
    for (const Case& c : cases) {
        const uint32_t width = 10, height = uint32_t(c.source.size());
        const Bytes source = byteMask(c.source);

        Bytes bytes(source.size(), 0x33);
        ImageUtils::erodeMask(bytes.data(), int32_t(width), width, height, mtBytes, source.data(), int32_t(width));
        EXPECT_EQ(c.eroded, picture(bytes, width)) << c.name << " (bytes)";

        // Packed with zero padding bits, which must still read as background.
        Bytes packed(2 * height), erodedBits(2 * height, 0x33), unpacked(source.size());
        ImageUtils::packBytesToBits(width, height, int32_t(width), source.data(), 2, packed.data());
        ImageUtils::erodeMask(erodedBits.data(), 2, width, height, mtBits, packed.data(), 2);
        ImageUtils::unpackBitsToBytes(width, height, 2, erodedBits.data(), int32_t(width), unpacked.data());
        EXPECT_EQ(c.eroded, picture(unpacked, width)) << c.name << " (bits)";
    }
}

TEST(ErodeMask, BytesAreAndedWithTheirNeighbours)
{
    const uint8_t source[] = {0xF0, 0xFF, 0x3C, 0x7F};
    uint8_t eroded[4] = {};
    ImageUtils::erodeMask(eroded, 4, 4, 1, mtBytes, source, 4);
    EXPECT_EQ((Bytes{0xF0, 0x30, 0x3C, 0x3C}), Bytes(eroded, eroded + 4));

    // One column, the rows read along a negative step.
    const uint8_t column[] = {0x0F, 0xF1, 0xFF};
    uint8_t out[3] = {};
    ImageUtils::erodeMask(out + 2, -1, 1, 3, mtBytes, column + 2, -1);
    EXPECT_EQ((Bytes{0x01, 0x01, 0xF1}), Bytes(out, out + 3));
}

namespace {

const uint8_t kUnwritten = 0xEE;

std::string repeated(const std::string& inText, size_t inCount)
{
    std::string out;
    while (inCount--)
        out += inText;
    return out;
}

// A grey source with a byte mask (0xFF selected with select 1) and its destination, stored top-down or
// bottom-up; the rows are numbered along the steps either way.
struct GreyCase {
    uint32_t srcWidth, srcHeight, subWidth, subHeight;
    Bytes grey, mask, dst;

    GreyCase(uint32_t inSrcWidth, uint32_t inSrcHeight, uint32_t inSubWidth, uint32_t inSubHeight)
        : srcWidth(inSrcWidth), srcHeight(inSrcHeight), subWidth(inSubWidth), subHeight(inSubHeight),
          grey(size_t(inSrcWidth) * inSrcHeight, 0xFF), mask(grey.size(), 0),
          dst(size_t(inSubWidth) * inSubHeight, kUnwritten)
    {
    }
    void select(uint32_t inX, uint32_t inY, uint8_t inValue)
    {
        grey[inY * srcWidth + inX] = inValue;
        mask[inY * srcWidth + inX] = 0xFF;
    }
    // The destination as rows of numbers, "--" for a cell never written.
    std::vector<std::string> run(bool inBottomUp, uint32_t inMinCount = 0)
    {
        Bytes g = grey, m = mask, d = dst;
        int32_t srcStep = int32_t(srcWidth), dstStep = int32_t(subWidth);
        const uint8_t *gp = g.data(), *mp = m.data();
        uint8_t* dp = d.data();
        if (inBottomUp) {
            g = flipped(grey, srcWidth);
            m = flipped(mask, srcWidth);
            srcStep = -srcStep;
            dstStep = -dstStep;
            gp = g.data() + g.size() - srcWidth;
            mp = m.data() + m.size() - srcWidth;
            dp = d.data() + d.size() - subWidth;
        }
        ImageUtils::subsampleWithMask(dp, dstStep, phGray, subWidth, subHeight, gp, srcStep, srcWidth, srcHeight, mp,
                                      srcStep, mtBytes, 1, inMinCount);
        if (inBottomUp)
            d = flipped(d, subWidth);
        std::vector<std::string> rows;
        for (uint32_t y = 0; y < subHeight; ++y) {
            std::string row;
            for (uint32_t x = 0; x < subWidth; ++x) {
                const uint8_t v = d[y * subWidth + x];
                row += (x ? " " : "") + (v == kUnwritten ? std::string("--") : std::to_string(v));
            }
            rows.push_back(row);
        }
        return rows;
    }
    static Bytes flipped(const Bytes& inRows, uint32_t inWidth)
    {
        Bytes out;
        for (size_t y = inRows.size() / inWidth; y-- > 0;)
            out.insert(out.end(), inRows.begin() + y * inWidth, inRows.begin() + (y + 1) * inWidth);
        return out;
    }
};

} // namespace

TEST(SubsampleWithMask, CellsAreAnchoredAtTheLastRow)
{
    // 6 columns to 3 gives factor 2; 5 rows to 3 leave the top cell one row high.
    GreyCase c(6, 5, 3, 3);
    for (uint32_t y = 0; y < 5; ++y)
        for (uint32_t x = 0; x < 6; ++x)
            c.select(x, y, uint8_t(10 * (y + 1) + x));
    const std::vector<std::string> expected = {
        "10 12 14", // row 0 alone: (10 + 11) / 2 ...
        "25 27 29", // rows 1 and 2: (20 + 21 + 30 + 31) / 4 = 25.5
        "45 47 49", // rows 3 and 4
    };
    EXPECT_EQ(expected, c.run(false));
    EXPECT_EQ(expected, c.run(true));
}

TEST(SubsampleWithMask, OnlyTheWidthsDecideTheFactor)
{
    // 100 columns to 10 gives factor 11, not 10: the rows are grouped by 11 from the bottom as well.
    GreyCase c(100, 22, 10, 2);
    for (uint32_t y = 0; y < 22; ++y)
        for (uint32_t x = 0; x < 100; ++x)
            c.select(x, y, uint8_t(10 * y));
    const std::vector<std::string> rows = c.run(false);
    EXPECT_EQ("50 50 50 50 50 50 50 50 50 50", rows[0]);      // rows 0-10
    EXPECT_EQ("160 160 160 160 160 160 160 160 160 160", rows[1]); // rows 11-21

    Bytes dst(8, kUnwritten);
    expectThrow([&] { ImageUtils::subsampleWithMask(dst.data(), 8, phGray, 8, 1, c.grey.data(), 100, 100, 22,
                                                    c.mask.data(), 100, mtBytes, 1, 0); },
                errInvalidParam, "There is a mismatch between srcWidth and subWidth", "djv_imageutils");
    expectThrow([&] { ImageUtils::subsampleWithMask(dst.data(), 8, Photometric(5), 10, 1, c.grey.data(), 100, 100,
                                                    22, c.mask.data(), 100, mtBytes, 1, 0); },
                errInvalidParam, "Unknown photometric!");
    EXPECT_EQ(Bytes(8, kUnwritten), dst);
}

TEST(SubsampleWithMask, RefusesALayerTooLargeForItsWorkingArrays)
{
    // 65536 x 65536 cells: the weight count wraps to 0 in 32 bits. Refused before any pixel is read.
    uint8_t byte = kUnwritten;
    expectThrow([&] { ImageUtils::subsampleWithMask(&byte, 0, phGray, 0x10000, 0x10000, &byte, 0, 0x10000, 0x10000,
                                                    &byte, 0, mtBytes, 1, 0); },
                errInvalidParam, "djv_imageutils");
    EXPECT_EQ(kUnwritten, byte);
}

TEST(SubsampleWithMask, EmptyCellsAreFilledFromWeightedBlocks)
{
    // Factor 1, 5 x 5 cells: levels of 2 x 2 and 4 x 4 blocks, counted from column 0 and from row 4.
    GreyCase c(5, 5, 5, 5);
    c.select(0, 4, 100);
    c.select(1, 4, 110);
    c.select(0, 3, 120);
    c.select(2, 4, 20);
    // Level 1: block (0-1, 3-4) averages 110 into its empty cell, anchor weight 3 x 4096 / 4; block
    // (2-3, 3-4) fills 20, anchor weight 4096 / 4. Level 2: block (0-3, 1-4) averages its anchors
    // (3072 x 110 + 1024 x 20) / 4096 = 87.5 into the cells still empty. Row 0 and column 4 lie in
    // blocks whose corners never get a weight.
    const std::vector<std::string> expected = {
        "-- -- -- -- --",
        "87 87 87 87 --",
        "87 87 87 87 --",
        "120 110 20 20 --",
        "100 110 20 20 --",
    };
    EXPECT_EQ(expected, c.run(false));
    EXPECT_EQ(expected, c.run(true));
}

TEST(SubsampleWithMask, CellsAtOrBelowMinCountKeepTheirAverageUnlessFilled)
{
    // Factor 2 on 6 x 6: 3 x 3 cells, one level of 2 x 2 blocks. minCount 2.
    GreyCase c(6, 6, 3, 3);
    c.select(0, 4, 99); // cell (0, 2): four pixels, average 100
    c.select(1, 4, 101);
    c.select(0, 5, 100);
    c.select(1, 5, 100);
    c.select(2, 4, 50); // cell (1, 2): two pixels, no more than minCount: weight 0, filled by its block
    c.select(3, 5, 50);
    c.select(4, 0, 60); // cell (2, 0): two pixels, weight 0, in a block without weight: keeps 70
    c.select(5, 1, 81);
    c.select(4, 4, 30); // cell (2, 2): three pixels, average 30, fills cell (2, 1)
    c.select(5, 4, 30);
    c.select(4, 5, 31);
    c.select(0, 0, 10); // cell (0, 0): four pixels of 10, fills cell (1, 0)
    c.select(1, 0, 10);
    c.select(0, 1, 10);
    c.select(1, 1, 10);
    const std::vector<std::string> expected = {"10 10 70", "100 100 30", "100 100 30"};
    EXPECT_EQ(expected, c.run(false, 2));
    EXPECT_EQ(expected, c.run(true, 2));
}

TEST(SubsampleWithMask, ALonePixelReachesSevenLevels)
{
    // Each level passes a quarter of a block's weight on: 4096 becomes 1024, 256, ... 1, then 0. The
    // 128 x 128 block of level 7 is the last one a single pixel fills; the 256 x 256 block finds no weight.
    GreyCase c(300, 300, 300, 300);
    c.select(0, 299, 77);
    const std::vector<std::string> rows = c.run(false);
    const std::string filled = "77" + repeated(" 77", 127) + repeated(" --", 172);
    const std::string empty = "--" + repeated(" --", 299);
    for (uint32_t y = 0; y < 300; ++y)
        ASSERT_EQ(y >= 172 ? filled : empty, rows[y]) << "row " << y;
}

TEST(SubsampleWithMask, NothingSelectedOrTooSmallForTheSecondPass)
{
    // Every level finds only blocks without weight and runs on to the largest block that fits.
    GreyCase none(20, 20, 20, 20);
    const std::vector<std::string> rows = none.run(false);
    ASSERT_EQ(20u, rows.size());
    for (const std::string& row : rows)
        EXPECT_EQ(std::string::npos, row.find_first_not_of("- ")) << row;

    // Two cells wide: no level runs, so empty cells stay empty; three wide, the 2 x 2 level fills them.
    GreyCase narrow(2, 3, 2, 3), wide(3, 3, 3, 3);
    narrow.select(0, 2, 40);
    wide.select(0, 2, 40);
    EXPECT_EQ((std::vector<std::string>{"-- --", "-- --", "40 --"}), narrow.run(false));
    EXPECT_EQ((std::vector<std::string>{"-- -- --", "40 40 --", "40 40 --"}), wide.run(false));
}

TEST(SubsampleWithMask, ThreeBytePixelsUnderABitMask)
{
    // Two columns to one gives factor 12, which groups the 13 rows as 12 + 1. Select 0 picks the clear
    // bits; each of the three bytes is averaged on its own, truncated.
    const uint32_t height = 13;
    Bytes bgr(2 * 3 * height, 200);
    Bytes bits(height, 0x40); // pixel 0 clear, pixel 1 set
    const uint8_t top[3] = {7, 8, 9};
    std::memcpy(&bgr[0], top, 3);
    const uint8_t a[3] = {10, 20, 30}, b[3] = {21, 40, 61};
    std::memcpy(&bgr[6 * 1], a, 3);
    std::memcpy(&bgr[6 * 12], b, 3);
    for (uint32_t y = 2; y < 12; ++y)
        bits[y] = 0xC0; // rows 2-11: both set, nothing selected
    uint8_t dst[6];
    std::memset(dst, kUnwritten, sizeof dst);
    ImageUtils::subsampleWithMask(dst, 3, phBGR, 1, 2, bgr.data(), 6, 2, height, bits.data(), 1, mtBits, 0, 5);
    EXPECT_EQ((Bytes{7, 8, 9, 15, 30, 45}), Bytes(dst, dst + 6));
}

// The colour differences of photometric 3 are signed: -1 and 1 average to 0, in a cell and in the blocks
// that fill empty cells, never to -128.
TEST(SubsampleWithMask, ColourDifferencesAverageSigned)
{
    const Bytes pair = {100, 0xFF, 0x02, 50, 0x01, 0xFA}; // Cb -1 and 1, Cr 2 and -6
    const Bytes all(2, 0);
    uint8_t cell[3];
    ImageUtils::subsampleWithMask(cell, 3, phYCC, 1, 1, pair.data(), 6, 2, 1, all.data(), 2, mtBytes, 0, 0);
    EXPECT_EQ((Bytes{75, 0x00, 0xFE}), Bytes(cell, cell + 3));

    // 4 x 4 at factor 1: only the two left cells of the last row are picked; the block of the rows above
    // them is filled with their weighted mean.
    Bytes image(4 * 4 * 3, 0x11), mask(4 * 4, 0xFF);
    const uint8_t left[3] = {200, 0xFF, 0x01}, right[3] = {100, 0x01, 0xFF};
    std::memcpy(&image[(3 * 4 + 0) * 3], left, 3);
    std::memcpy(&image[(3 * 4 + 1) * 3], right, 3);
    mask[3 * 4 + 0] = mask[3 * 4 + 1] = 0;
    Bytes dst(4 * 4 * 3, kUnwritten);
    ImageUtils::subsampleWithMask(dst.data(), 12, phYCC, 4, 4, image.data(), 12, 4, 4, mask.data(), 4, mtBytes, 0, 0);
    EXPECT_EQ((Bytes{150, 0x00, 0x00}), Bytes(&dst[(2 * 4 + 0) * 3], &dst[(2 * 4 + 0) * 3] + 3));
}

TEST(ImageLayout, PixelBytesRowStepsAndLastByteBits)
{
    EXPECT_EQ(3u, bytesPerPixel(phRGB));
    EXPECT_EQ(3u, bytesPerPixel(phBGR));
    EXPECT_EQ(1u, bytesPerPixel(phGray));
    EXPECT_EQ(3u, bytesPerPixel(phYCC));
    EXPECT_EQ(0u, bytesPerPixel(Photometric(4)));

    EXPECT_TRUE(rowStepHolds(30, 30));
    EXPECT_TRUE(rowStepHolds(-30, 30));
    EXPECT_FALSE(rowStepHolds(-29, 30));
    EXPECT_FALSE(rowStepHolds(INT32_MIN, uint64_t(1) << 32));
    EXPECT_TRUE(rowStepHolds(INT32_MIN, uint64_t(1) << 31));
    EXPECT_TRUE(rowStepHolds(0, 0));

    const struct {
        uint32_t width;
        uint8_t mask;
    } widths[] = {{0, 0x00}, {1, 0x80}, {7, 0xFE}, {8, 0xFF}, {9, 0x80}, {10, 0xC0}, {16, 0xFF}, {31, 0xFE}};
    for (const auto& w : widths)
        EXPECT_EQ(w.mask, lastByteMask(w.width)) << "width " << w.width;

    const uint8_t pixel[] = {0xFF, 0x80, 0x7F};
    const YCCPixel p = YCCPixel::read(pixel);
    EXPECT_EQ(255, p.luminance);
    EXPECT_EQ(-128, p.blue);
    EXPECT_EQ(127, p.red);
}

TEST(FillWhite, WhiteOfEachPhotometric)
{
    struct Case {
        Photometric photometric;
        Bytes pixel;
    };
    const Case cases[] = {{phRGB, {0xFF, 0xFF, 0xFF}}, {phBGR, {0xFF, 0xFF, 0xFF}}, {phGray, {0xFF}},
                          {phYCC, {0xFF, 0x00, 0x00}}}; // full luminance, no colour difference
    for (const Case& c : cases) {
        // Two rows of two pixels, bottom-up, rows 8 bytes apart: the bytes between rows stay.
        Bytes image(16, 0x11);
        Imaging::fillWhite(image.data() + 8, -8, 2, 2, c.photometric);
        Bytes expected(16, 0x11);
        for (size_t row : {0, 8})
            for (size_t i = 0; i < 2 * c.pixel.size(); ++i)
                expected[row + i] = c.pixel[i % c.pixel.size()];
        EXPECT_EQ(expected, image) << "photometric " << c.photometric;
    }
    Bytes image(3, 0x11);
    expectThrow([&] { Imaging::fillWhite(image.data(), 3, 1, 1, Photometric(4)); }, errInvalidParam,
                "Unknown photometric!", "djv_imageutils");
    EXPECT_EQ(Bytes(3, 0x11), image);
}
