// The segmenter's flood fill: 4-connected regions, their box and pixel count.
#include "djv_segscanner.h"
#include "test_support.h"

#include <cstdint>
#include <string>
#include <vector>

using namespace Morvenix::DjVu::Seg;

namespace {

// Rows of '#' (value 0) and '.' (255).
struct Picture {
    explicit Picture(const std::vector<std::string>& inRows)
        : width(uint32_t(inRows[0].size())), height(uint32_t(inRows.size()))
    {
        for (const std::string& row : inRows)
            for (char c : row)
                bytes.push_back(c == '#' ? 0 : 255);
    }
    ImageView view() { return ImageView{width, height, int32_t(width), bytes.data()}; }
    uint32_t width;
    uint32_t height;
    std::vector<uint8_t> bytes;
};

} // namespace

TEST(SegScanner, OnePixelRegionHasAOneByOneBox)
{
    Picture p({"...", ".#.", "..."});
    Scanner scanner(p.view());
    scanner.fill(1, 1, 0, 128);
    EXPECT_EQ(1u, scanner.count());
    EXPECT_EQ(1, scanner.minX());
    EXPECT_EQ(1, scanner.minY());
    EXPECT_EQ(1, scanner.boxWidth());
    EXPECT_EQ(1, scanner.boxHeight());
    EXPECT_EQ(128, p.bytes[4]);
}

TEST(SegScanner, FillsFourConnectedRegionThroughConcaveSpansOnly)
{
    // A U shape reaching the image's edges, a diagonal neighbour that is not part of it, and a second
    // region beside it.
    Picture p({"#..#.#",
               "#..#..",
               "####.#",
               "....#."});
    Scanner scanner(p.view());
    scanner.fill(3, 0, 0, 128);
    EXPECT_EQ(8u, scanner.count());
    EXPECT_EQ(0, scanner.minX());
    EXPECT_EQ(0, scanner.minY());
    EXPECT_EQ(4, scanner.boxWidth());
    EXPECT_EQ(3, scanner.boxHeight());
    const std::vector<uint8_t> expected = {128, 255, 255, 128, 255, 0,   //
                                           128, 255, 255, 128, 255, 255, //
                                           128, 128, 128, 128, 255, 0,   //
                                           255, 255, 255, 255, 0,   255};
    EXPECT_EQ(expected, p.bytes);
    // A second fill starts with a fresh box.
    scanner.fill(5, 2, 0, 64);
    EXPECT_EQ(1u, scanner.count());
    EXPECT_EQ(5, scanner.minX());
    EXPECT_EQ(1, scanner.boxWidth());
}

TEST(SegScanner, FillsWholeImageOfTarget)
{
    Picture p({"####", "####"});
    Scanner scanner(p.view());
    scanner.fill(2, 1, 0, 7);
    EXPECT_EQ(8u, scanner.count());
    EXPECT_EQ(4, scanner.boxWidth());
    EXPECT_EQ(2, scanner.boxHeight());
    EXPECT_EQ(std::vector<uint8_t>(8, 7), p.bytes);
}
