// The foreground test of blitted bitmaps on bitmaps given directly: the area first, the depth, then the
// count of distinct pixel values inside the bits the record holds (and where a mask lets them count).
#include "bp_emfrenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Bitmap {
    BITMAPINFOHEADER header = {};
    std::vector<uint8_t> bits;
    const BITMAPINFO* info() const { return reinterpret_cast<const BITMAPINFO*>(&header); }
};

// inWidth x |inHeight| pixels of inBitCount bits; pixel i of the bits (in memory order) gets the value i
// modulo inValues, written little-endian.
Bitmap bitmap(int32_t inWidth, int32_t inHeight, uint16_t inBitCount, uint32_t inValues,
              uint32_t inCompression = BI_RGB)
{
    Bitmap b;
    b.header.biSize = sizeof b.header;
    b.header.biWidth = inWidth;
    b.header.biHeight = inHeight;
    b.header.biPlanes = 1;
    b.header.biBitCount = inBitCount;
    b.header.biCompression = inCompression;
    const size_t rowSize = (size_t(inBitCount) * inWidth + 31) / 32 * 4;
    const size_t rows = size_t(std::abs(inHeight));
    b.bits.assign(rowSize * rows, 0);
    const uint32_t bytes = inBitCount / 8;
    for (size_t y = 0; y < rows; ++y)
        for (size_t x = 0; x < size_t(inWidth) && bytes; ++x) {
            const uint32_t value = uint32_t(y * inWidth + x) % inValues;
            std::memcpy(&b.bits[rowSize * y + bytes * x], &value, bytes);
        }
    return b;
}

bool foreground(const Bitmap& inSource, int32_t inDestWidth = 64, int32_t inDestHeight = 64,
                const Bitmap* inMask = nullptr, size_t inBitsSize = SIZE_MAX)
{
    EmfPageRenderer renderer;
    const uint32_t bitsSize = uint32_t(std::min(inBitsSize, inSource.bits.size()));
    return renderer.IsForegroundBitmap(inSource.info(), inSource.bits.data(), bitsSize, inDestWidth, inDestHeight,
                                       inMask ? inMask->info() : nullptr, inMask ? inMask->bits.data() : nullptr,
                                       inMask ? uint32_t(inMask->bits.size()) : 0);
}

TEST(IsForegroundBitmap, AreaDepthAndColourCount)
{
    struct Case {
        const char* name;
        Bitmap source;
        int32_t destWidth, destHeight;
        bool expected;
    };
    const Case cases[] = {
        {"24 bits, 256 colours", bitmap(32, 32, 24, 256), 64, 64, false},
        {"24 bits, 255 colours", bitmap(32, 32, 24, 255), 64, 64, true},
        {"8 bits, 256 indices", bitmap(32, 32, 8, 256), 64, 64, false},
        {"8 bits, 255 indices", bitmap(32, 32, 8, 255), 64, 64, true},
        {"16 bits, 256 values", bitmap(32, 32, 16, 256), 64, 64, false},
        {"4 bits", bitmap(32, 32, 4, 16), 64, 64, true},
        {"1 bit", bitmap(32, 32, 1, 2), 64, 64, true},
        {"47 x 49 destination", bitmap(32, 32, 24, 1024), 47, 49, true},
        {"48 x 48 destination", bitmap(32, 32, 24, 1024), 48, 48, false},
        {"mirrored 48 x 48", bitmap(32, 32, 24, 1024), -48, 48, false},
        {"flipped and mirrored", bitmap(32, 32, 24, 1024), -48, -48, false},
        // 32-bit products of these overflow; their area is huge.
        {"huge negative destination", bitmap(32, 32, 24, 1024), INT32_MIN, INT32_MIN, false},
        {"huge destination", bitmap(32, 32, 24, 1024), 70000, 70000, false},
        {"top-down rows", bitmap(32, -32, 24, 1024), 64, 64, false},
        // The unused fourth byte of a 32-bit pixel does not make colours.
        {"32 bits, one colour, 256 fourth bytes", [] {
             Bitmap b = bitmap(32, 32, 32, 1);
             for (size_t i = 0; i < b.bits.size(); i += 4)
                 b.bits[i + 3] = uint8_t(i / 4);
             return b;
         }(), 64, 64, true},
        {"32 bits, 256 colours", bitmap(32, 32, 32, 256), 64, 64, false},
        {"run-length compressed", bitmap(32, 32, 8, 1, BI_RLE8), 64, 64, false},
        {"no pixels", [] {
             Bitmap b = bitmap(32, 32, 24, 1024);
             b.header.biWidth = 0;
             return b;
         }(), 64, 64, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, foreground(c.source, c.destWidth, c.destHeight));
    }
}

// Rows that do not fit the bits the record holds are never read: the bitmap is foreground.
TEST(IsForegroundBitmap, RowsBeyondTheBitsAreNeverRead)
{
    const Bitmap photo = bitmap(32, 32, 24, 1024);
    EXPECT_FALSE(foreground(photo, 64, 64, nullptr, photo.bits.size()));
    EXPECT_TRUE(foreground(photo, 64, 64, nullptr, photo.bits.size() - 1));
    Bitmap tall = photo;
    tall.header.biHeight = 0x7FFFFFFF;
    EXPECT_TRUE(foreground(tall));
    Bitmap wide = photo;
    wide.header.biWidth = 0x7FFFFFFF;
    EXPECT_TRUE(foreground(wide));
}

TEST(IsForegroundBitmap, OnlyPixelsTheMaskLetThroughAreCounted)
{
    const Bitmap photo = bitmap(32, 32, 24, 1024);
    Bitmap mask = bitmap(32, 32, 1, 2);
    // Through the mask: the left half of each of the top 16 rows (256 pixels, all distinct).
    std::fill(mask.bits.begin(), mask.bits.end(), 0);
    const size_t maskRow = 4;
    for (int row = 0; row < 16; ++row)  // bottom-up mask: the top rows are stored last
        mask.bits[maskRow * (31 - row)] = mask.bits[maskRow * (31 - row) + 1] = 0xFF;
    EXPECT_FALSE(foreground(photo, 64, 64, &mask));
    mask.bits[maskRow * 31] = 0x7F;  // one pixel fewer: 255 values
    EXPECT_TRUE(foreground(photo, 64, 64, &mask));
    // A mask shorter than the source is never read.
    Bitmap shortMask = mask;
    shortMask.bits.resize(maskRow * 8);
    shortMask.header.biHeight = 8;
    EXPECT_TRUE(foreground(photo, 64, 64, &shortMask));
}

} // namespace
