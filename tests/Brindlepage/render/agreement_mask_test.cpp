#include "bp_exporter.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <random>

namespace {

bool maskBit(const T_Image& inMask, int32_t inX, int32_t inY)
{
    return (inMask.GetRow(inY)[inX >> 3] >> (7 - (inX & 7))) & 1;
}

// Two images of the same noise, the second changed in a few pixels (one byte of one colour each): the
// mask is 0 exactly at the changed pixels, for widths around the eight-pixel blocks.
TEST(BuildAgreementMask, ZeroExactlyWhereThePixelsDiffer)
{
    std::mt19937 random(5);
    for (int32_t width : {1, 7, 8, 9, 15, 16, 17, 33, 100}) {
        SCOPED_TRACE(width);
        const int32_t height = 5;
        T_Bitmap first(width, height, T_Image::fmtBGR24);
        T_Bitmap second(width, height, T_Image::fmtBGR24);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width * 3; ++x)
                first.GetRow(y)[x] = second.GetRow(y)[x] = uint8_t(random());
        std::vector<bool> changed(size_t(width) * height, false);
        for (int i = 0; i < width; ++i) {
            const int32_t x = int32_t(random() % width), y = int32_t(random() % height);
            second.GetRow(y)[3 * x + random() % 3] ^= uint8_t(1 + random() % 255);
            changed[size_t(y) * width + x] = true;
        }
        Morvenix::AutoPtr<T_Image> mask;
        CDjVuExporter::BuildAgreementMask(mask, first, second);
        ASSERT_TRUE(mask);
        EXPECT_EQ(uint32_t(T_Image::fmt1), mask->GetFormat());
        EXPECT_EQ(width, mask->GetWidth());
        EXPECT_EQ(height, mask->GetHeight());
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x)
                EXPECT_EQ(!changed[size_t(y) * width + x], maskBit(*mask, x, y)) << x << "," << y;
            for (int32_t x = width; x < mask->GetRowStep() * 8; ++x)
                EXPECT_FALSE(maskBit(*mask, x, y)) << "padding bit " << x;
        }
    }
}

// Identical renders, one of them a bottom-up page image: every bit of the width is 1.
TEST(BuildAgreementMask, IdenticalImagesGiveAllOnes)
{
    Win32DIB page(37, 4);
    T_Bitmap copy(37, 4, T_Image::fmtBGR24);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 37 * 3; ++x)
            page.GetRow(y)[x] = copy.GetRow(y)[x] = uint8_t(x * 7 + y);
    Morvenix::AutoPtr<T_Image> mask;
    CDjVuExporter::BuildAgreementMask(mask, page, copy);
    for (int32_t y = 0; y < 4; ++y) {
        const uint8_t* row = mask->GetRow(y);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(0xFF, row[i]);
        EXPECT_EQ(0xF8, row[4]);  // 37 = 4 * 8 + 5 bits
        EXPECT_EQ(0, row[5]);
    }
}

TEST(BuildAgreementMask, ImagesOfDifferentSizeOrFormatAreRefused)
{
    T_Bitmap page(10, 10, T_Image::fmtBGR24);
    T_Bitmap wider(11, 10, T_Image::fmtBGR24);
    T_Bitmap taller(10, 11, T_Image::fmtBGR24);
    T_Bitmap grey(10, 10, T_Image::fmt8);
    for (const T_Image* other : {static_cast<const T_Image*>(&wider), static_cast<const T_Image*>(&taller),
                                 static_cast<const T_Image*>(&grey)}) {
        Morvenix::AutoPtr<T_Image> mask;
        MvxTest::expectThrow([&] { CDjVuExporter::BuildAgreementMask(mask, page, *other); }, Morvenix::errInvalidParam);
        EXPECT_FALSE(mask);
    }
}

} // namespace
