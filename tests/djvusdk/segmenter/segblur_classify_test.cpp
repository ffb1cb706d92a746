// The segmenter's blur, per-block thresholds and classification, on work images made here.
#include "djv_segpasses.h"
#include "test_support.h"

#include <cstdint>
#include <cstring>
#include <vector>

using namespace Morvenix::DjVu::Seg;

namespace {

Config config(uint32_t inBs)
{
    return Config{inBs, inBs, inBs * inBs, 4, 8, false, false};
}

// A work image of a page of the given size with margins of two blocks, every pixel inFill.
struct Work {
    Work(uint32_t inPageWidth, uint32_t inPageHeight, uint32_t inBs, uint8_t inFill)
        : bs(inBs), width(inPageWidth + 4 * inBs), height(inPageHeight + 4 * inBs),
          bytes(size_t(width) * height, inFill)
    {
    }
    ImageView view() { return ImageView{width, height, int32_t(width), bytes.data()}; }
    uint8_t& page(uint32_t x, uint32_t y) { return bytes[size_t(y + 2 * bs) * width + x + 2 * bs]; }
    uint32_t bs;
    uint32_t width;
    uint32_t height;
    std::vector<uint8_t> bytes;
};

} // namespace

TEST(SegBlur, BinomialKernelWithDarkenedOuterColumns)
{
    Work gray(8, 8, 2, 255);
    gray.page(4, 4) = 0;
    Work blurred(8, 8, 2, 0);
    blur(config(2), gray.view(), blurred.view());
    // 16 x 255 = 4080 around the dot; the dot weighs 4, its side neighbours 2, its corners 1.
    EXPECT_EQ(191, blurred.page(4, 4));
    EXPECT_EQ(223, blurred.page(3, 4));
    EXPECT_EQ(223, blurred.page(4, 5));
    EXPECT_EQ(239, blurred.page(5, 5));
    EXPECT_EQ(255, blurred.page(2, 4));
    // The rows above and below the page come from the white margin; the columns beside it count 0.
    EXPECT_EQ(255, blurred.page(3, 0));
    EXPECT_EQ(255, blurred.page(3, 7));
    EXPECT_EQ(191, blurred.page(0, 2));
    EXPECT_EQ(191, blurred.page(7, 2));
    // Margins are copied unchanged.
    EXPECT_EQ(255, blurred.bytes[0]);
    EXPECT_EQ(255, blurred.page(8, 3));
    EXPECT_EQ(255, blurred.page(3, 8));
}

namespace {

// A 64 x 64 page of block size 16 whose block at page (16, 16) has a window (page 8..39) of the given
// levels in row-major order, repeated; the rest is inFill.
BlockData windowRecord(const std::vector<uint8_t>& inLevels, uint8_t inFill)
{
    Work blurred(64, 64, 16, inFill);
    size_t i = 0;
    for (uint32_t y = 8; y < 40; ++y)
        for (uint32_t x = 8; x < 40; ++x)
            blurred.page(x, y) = inLevels[i++ % inLevels.size()];
    const Config c = config(16);
    BlockGrid grid(c, blurred.view());
    return grid.get(2 * 16 + 16 + 5, 2 * 16 + 16 + 9);
}

} // namespace

TEST(SegBlockGrid, WindowLevelsGiveKindThresholdAndClassMeans)
{
    // 1024 pixels of 500 at 50, 12 at 52 and 512 at 200: splitting after 52 scores about -4.2e4 against
    // about -1.44e6 for one class (the spread of one class around the mean 75 costs far more than the
    // penalties of the split).
    std::vector<uint8_t> bimodal(500, 50);
    bimodal.insert(bimodal.end(), 12, 52);
    bimodal.insert(bimodal.end(), 512, 200);
    struct Case {
        const char* name;
        std::vector<uint8_t> levels;
        uint32_t kind;
        uint32_t threshold;
        float share, darkMean, lightMean;
    };
    const Case cases[] = {
        {"grey range 3: nearly uniform at the minimum", {100, 103, 101}, BlockData::kNearlyUniform, 100, 0, 100, 100},
        // Half 50, half 201: no level from min + 2 to max - 3 occurs; the mean is 125.5.
        {"two levels: one class at the truncated mean", {50, 201}, BlockData::kOneClass, 125, 0, 125.5f, 125.5f},
        {"dark and light classes: split at the dark class top", bimodal, BlockData::kTwoClasses, 52, 0.5f,
         50.046875f, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const BlockData d = windowRecord(c.levels, c.levels[0]);
        EXPECT_EQ(c.kind, d.kind);
        EXPECT_EQ(c.threshold, d.threshold);
        EXPECT_EQ(c.share, d.share);
        EXPECT_EQ(c.darkMean, d.darkMean);
        EXPECT_EQ(c.lightMean, d.lightMean);
    }
}

TEST(SegClassify, BlackSquareOnWhiteSplitsItsBlocksAndDecidesTheRestWhole)
{
    // 96 x 96 page, block size 16: blocks at page 0..64 are classified, the last block column and row not.
    const uint32_t bs = 16;
    Work gray(96, 96, bs, 255);
    for (uint32_t y = 40; y < 56; ++y)
        for (uint32_t x = 40; x < 56; ++x)
            gray.page(x, y) = 0;
    Work blurred(96, 96, bs, 0);
    const Config c = config(bs);
    blur(c, gray.view(), blurred.view());
    Work seg(96, 96, bs, 255);
    const uint32_t blockWidth = seg.width / bs;
    std::vector<uint8_t> blockBytes(size_t(blockWidth) * (seg.height / bs), 255);
    const ImageView blocks{blockWidth, seg.height / bs, int32_t(blockWidth), blockBytes.data()};
    classify(c, gray.view(), blurred.view(), seg.view(), blocks);
    // The square's blocks hold a dark and a light class: the square is foreground, the paper around it
    // background, and those blocks are not marked as decided whole.
    for (uint32_t y = 32; y < 64; ++y) {
        for (uint32_t x = 32; x < 64; ++x) {
            const bool square = x >= 40 && x < 56 && y >= 40 && y < 56;
            ASSERT_EQ(square ? 0 : 255, seg.page(x, y)) << x << "," << y;
        }
    }
    EXPECT_EQ(255, blocks.at(2 + 2, 2 + 2));
    // The last block column and row of the page stay background whatever their content.
    for (uint32_t i = 0; i < 96; ++i) {
        EXPECT_EQ(255, seg.page(80 + i % 16, i));
        EXPECT_EQ(255, seg.page(i, 80 + i % 16));
    }
    // Far from the square, white blocks whose neighbours are flat too fit no dark class: they are decided
    // whole, as foreground (their level equals their neighbours'), and marked in the block image.
    EXPECT_EQ(0, seg.page(8, 8));
    EXPECT_EQ(0, blocks.at(2, 2));
}
