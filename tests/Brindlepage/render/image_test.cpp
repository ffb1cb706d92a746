#include "bp_image.h"

#include <gtest/gtest.h>

namespace {

TEST(Win32DIB, RowsArePaddedToWholeWordsAndStoredBottomUp)
{
    struct Case {
        int32_t width;
        int32_t rowSize;
    };
    for (const Case& c : {Case{1, 4}, Case{4, 12}, Case{5, 16}, Case{100, 300}}) {
        SCOPED_TRACE(c.width);
        Win32DIB image(c.width, 3);
        EXPECT_EQ(c.width, image.GetWidth());
        EXPECT_EQ(3, image.GetHeight());
        EXPECT_EQ(uint32_t(T_Image::fmtBGR24), image.GetFormat());
        EXPECT_EQ(-c.rowSize, image.GetRowStep());
        // Row 0, the top, is the last row in memory; each row below it lies one row size lower.
        EXPECT_EQ(image.GetRow(0) + image.GetRowStep(), image.GetRow(1));
        EXPECT_EQ(image.GetRow(2) + 2 * c.rowSize, image.GetRow(0));
        const T_Image& constImage = image;
        EXPECT_EQ(image.GetRow(1), constImage.GetRow(1));
    }
}

TEST(Win32DIB, StartsWhiteAndTakesGdiDrawingInPlace)
{
    Win32DIB image(7, 5);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 7 * 3; ++x)
            ASSERT_EQ(255, image.GetRow(y)[x]);
    // A pixel set through the memory device context shows at its row counted from the top.
    ASSERT_NE(nullptr, image.GetMemoryDC());
    SetPixelV(image.GetMemoryDC(), 2, 1, RGB(10, 20, 30));
    GdiFlush();
    const uint8_t* p = image.GetRow(1) + 2 * 3;
    EXPECT_EQ(30, p[0]);
    EXPECT_EQ(20, p[1]);
    EXPECT_EQ(10, p[2]);
    image.CloseMemoryDC();
    EXPECT_EQ(nullptr, image.GetMemoryDC());
    image.CloseMemoryDC();  // a second close does nothing
}

TEST(Win32DIB, TakesAReferenceDeviceContext)
{
    HDC screen = GetDC(nullptr);
    {
        Win32DIB image(3, 2, screen);
        EXPECT_EQ(255, image.GetRow(1)[8]);
        EXPECT_NE(nullptr, image.GetMemoryDC());
    }
    ReleaseDC(nullptr, screen);
}

TEST(Win32DIB, ImpossibleSectionThrowsTheRuntimeError)
{
    try {
        Win32DIB image(0x7FFFFFF, 0x7FFFFFF);
        FAIL() << "a section of that size was made";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ("CreateDIBSection failed!", e.what());
    }
}

TEST(T_Bitmap, RowSizeFollowsTheFormatAndTheBufferStartsZero)
{
    struct Case {
        uint32_t format;
        int32_t width;
        int32_t rowSize;
    };
    const Case cases[] = {
        {T_Image::fmt1, 33, 8}, {T_Image::fmt1, 32, 4}, {T_Image::fmt1, 1, 4}, {T_Image::fmt8, 5, 8},
        {T_Image::fmtBGR24, 1, 4}, {T_Image::fmtBGR24, 4, 12}, {T_Image::fmt32, 3, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format << " width " << c.width);
        T_Bitmap image(c.width, 4, c.format);
        EXPECT_EQ(c.format, image.GetFormat());
        EXPECT_EQ(c.width, image.GetWidth());
        EXPECT_EQ(4, image.GetHeight());
        EXPECT_EQ(c.rowSize, image.GetRowStep());
        EXPECT_EQ(image.GetRow(0) + 3 * c.rowSize, image.GetRow(3));
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < c.rowSize; ++x)
                ASSERT_EQ(0, image.GetRow(y)[x]);
    }
}

} // namespace
