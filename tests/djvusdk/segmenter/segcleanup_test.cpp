// The segmenter's clean-up passes on segmentation images drawn here: noise deletion, block deletion,
// expansion and the edge pass.
#include "djv_segpasses.h"
#include "test_support.h"

#include <cstdint>
#include <string>
#include <vector>

using namespace Morvenix::DjVu::Seg;

namespace {

// A work image of 40 x 40 (block size 4: the noise pass looks at 8 <= x, y < 24) drawn with '#' (0),
// '.' (255) and 'o' (128) from (inX, inY); the rest inFill.
struct Drawing {
    explicit Drawing(uint8_t inFill = 255) : bytes(40 * 40, inFill) {}
    Drawing& draw(uint32_t inX, uint32_t inY, const std::vector<std::string>& inRows)
    {
        for (uint32_t y = 0; y < inRows.size(); ++y)
            for (uint32_t x = 0; x < inRows[y].size(); ++x)
                at(inX + x, inY + y) = inRows[y][x] == '#' ? 0 : inRows[y][x] == 'o' ? 128 : 255;
        return *this;
    }
    uint8_t& at(uint32_t x, uint32_t y) { return bytes[y * 40 + x]; }
    ImageView view() { return ImageView{40, 40, 40, bytes.data()}; }
    std::vector<std::string> picture(uint32_t inX, uint32_t inY, uint32_t inW, uint32_t inH)
    {
        std::vector<std::string> rows;
        for (uint32_t y = inY; y < inY + inH; ++y) {
            std::string row;
            for (uint32_t x = inX; x < inX + inW; ++x)
                row += at(x, y) == 0 ? '#' : at(x, y) == 255 ? '.' : '?';
            rows.push_back(row);
        }
        return rows;
    }
    std::vector<uint8_t> bytes;
};

Config config(uint32_t inNoiseSize = 4, uint32_t inNoiseContrast = 8, bool inExpandFully = false)
{
    return Config{4, 4, 16, inNoiseSize, inNoiseContrast, false, inExpandFully};
}

// The blurred image under the drawing: dark (0) where the drawing is foreground, inPaper elsewhere.
Drawing blurredUnder(Drawing& inSeg, uint8_t inPaper)
{
    Drawing blurred(inPaper);
    for (size_t i = 0; i < inSeg.bytes.size(); ++i)
        if (inSeg.bytes[i] == 0)
            blurred.bytes[i] = 0;
    return blurred;
}

} // namespace

TEST(SegDeleteNoise, ErasesIsolatedSmallDotsKeepsContrastedLargerOnes)
{
    Drawing seg;
    seg.draw(9, 9, {"##", "##"});           // 4 pixels, isolated: erased
    seg.draw(15, 9, {".#.", "###", ".#."}); // 5 pixels, dark on white: kept
    seg.draw(9, 15, {"#....", ".###.", ".###."}); // a dot touching a larger piece diagonally: not isolated
    Drawing blurred = blurredUnder(seg, 255);
    deleteNoise(config(), seg.view(), blurred.view());
    EXPECT_EQ(std::vector<std::string>({"..", ".."}), seg.picture(9, 9, 2, 2));
    EXPECT_EQ(std::vector<std::string>({".#.", "###", ".#."}), seg.picture(15, 9, 3, 3));
    EXPECT_EQ(std::vector<std::string>({"#....", ".###.", ".###."}), seg.picture(9, 15, 5, 3));
}

TEST(SegDeleteNoise, LowContrastPiecesAreErasedUnlessSolidAndLargerThanABlock)
{
    // On a flat blurred image every piece is low-contrast; a solid 5 x 4 rectangle (20 pixels, more
    // than the block area 16, filling its box) survives, a 4 x 4 one (not above the block area) does not.
    Drawing seg;
    seg.draw(9, 9, {"#####", "#####", "#####", "#####"});
    seg.draw(16, 16, {"####", "####", "####", "####"});
    seg.draw(9, 18, {"###", "#.#", "###"});
    Drawing blurred(200);
    deleteNoise(config(), seg.view(), blurred.view());
    EXPECT_EQ(std::vector<std::string>(4, "#####"), seg.picture(9, 9, 5, 4));
    EXPECT_EQ(std::vector<std::string>(4, "...."), seg.picture(16, 16, 4, 4));
    EXPECT_EQ(std::vector<std::string>(3, "..."), seg.picture(9, 18, 3, 3));
}

TEST(SegDeleteNoise, ZeroContrastSwitchesThePassOff)
{
    Drawing seg;
    seg.draw(9, 9, {"#"});
    Drawing blurred(200);
    deleteNoise(config(4, 0), seg.view(), blurred.view());
    EXPECT_EQ(0, seg.at(9, 9));
}

TEST(SegDeleteNoise, KeptPiecesReachingBeyondTheExaminedRangeKeepOnlyTheirInnerPart)
{
    // A bar from x = 20 to 27 crosses the end of the examined range (x < 24): the part beyond is left
    // marked, which the mask reads as background. A piece wholly beyond the range is not looked at.
    Drawing seg;
    seg.draw(20, 10, {"########"});
    seg.draw(30, 30, {"#"});
    Drawing blurred = blurredUnder(seg, 255);
    deleteNoise(config(), seg.view(), blurred.view());
    EXPECT_EQ(std::vector<std::string>({"####????"}), seg.picture(20, 10, 8, 1));
    EXPECT_EQ(64, seg.at(24, 10));
    EXPECT_EQ(0, seg.at(30, 30));
}

TEST(SegDeleteBlocks, FlatDarkAreaBecomesBackgroundAndWhatItEnclosesChangesSides)
{
    // A dark area over work blocks 2..4 in both directions with a light letter (255) inside, and in the
    // letter a dark dot (0, not connected to the area). The area's blocks were decided whole (block image
    // 0). When the letter's block (3, 3) was split, the letter comes out as foreground and the dot as
    // background; when it was decided whole too, the letter, foreground now in such a block, is turned in
    // its turn, and then the dot it enclosed.
    std::vector<std::string> letter(12, std::string(12, '.'));
    letter[4] = "....###.....";
    letter[5] = "....#.#.....";
    letter[6] = "....###.....";
    for (bool letterBlockSplit : {true, false}) {
        SCOPED_TRACE(letterBlockSplit);
        Drawing seg;
        std::vector<std::string> area(12, std::string(12, '#'));
        area[4] = "####...#####";
        area[5] = "####.#.#####";
        area[6] = "####...#####";
        seg.draw(8, 8, area);
        std::vector<uint8_t> blockBytes(10 * 10, 255);
        for (uint32_t by = 2; by < 5; ++by)
            for (uint32_t bx = 2; bx < 5; ++bx)
                blockBytes[by * 10 + bx] = letterBlockSplit && by == 3 && bx == 3 ? 255 : 0;
        const ImageView blocks{10, 10, 10, blockBytes.data()};
        std::vector<uint8_t> scratch(40 * 40);
        deleteBlocks(config(), seg.view(), blocks, scratch.data());
        EXPECT_EQ(letterBlockSplit ? letter : std::vector<std::string>(12, std::string(12, '.')),
                  seg.picture(8, 8, 12, 12));
    }
}

TEST(SegDeleteBlocks, ForegroundOutsideBlocksDecidedWholeIsLeftAlone)
{
    Drawing seg;
    seg.draw(9, 9, {"###", "#.#", "###"});
    std::vector<uint8_t> blockBytes(10 * 10, 255);
    const ImageView blocks{10, 10, 10, blockBytes.data()};
    std::vector<uint8_t> scratch(40 * 40);
    deleteBlocks(config(), seg.view(), blocks, scratch.data());
    EXPECT_EQ(std::vector<std::string>({"###", "#.#", "###"}), seg.picture(9, 9, 3, 3));
}

TEST(SegExpand, GrowsIntoShelteredNeighboursOnlyUnlessFully)
{
    struct Case {
        bool fully;
        std::vector<std::string> expected;
    };
    // A single dot, and a notch between two dots above a third: only the notch (one exposed side) fills.
    const Case cases[] = {
        {false, {".......", "..#....", ".......", ".#.#...", "..#....", "......."}},
        {true, {"..#....", ".###...", ".###...", "#####..", ".###...", "..#...."}},
    };
    for (const Case& c : cases) {
        Drawing seg;
        seg.draw(10, 10, {".......", "..#....", ".......", ".#.#...", "..#....", "......."});
        expand(config(4, 8, c.fully), seg.view());
        std::vector<std::string> expected = c.expected;
        if (!c.fully)
            expected[3] = ".###...";
        EXPECT_EQ(expected, seg.picture(10, 10, 7, 6)) << c.fully;
    }
}

TEST(SegDetectEdges, StrongEdgeCutsThinLineThroughForegroundAndClearsBackgroundRidges)
{
    // Grey: a vertical step from 0 to 200 between x = 19 and 20, over the whole image. Ridges of the
    // gradient lie on both sides of the step (x = 19 and 20: gx = 200 there, 0 elsewhere).
    Drawing gray(0);
    for (uint32_t y = 0; y < 40; ++y)
        for (uint32_t x = 20; x < 40; ++x)
            gray.at(x, y) = 200;
    Drawing seg(0);
    for (uint32_t y = 0; y < 40; ++y)
        seg.at(20, y) = 128; // a marked column: a ridge pixel that is not 0 becomes 255
    detectEdges(gray.view(), seg.view());
    // Column 19 is foreground with foreground on both sides across the edge (18 and 20 have low bits 0):
    // cut. Column 20 was not 0: background.
    for (uint32_t y = 1; y + 3 < 40; ++y) {
        EXPECT_EQ(255, seg.at(19, y)) << y;
        EXPECT_EQ(255, seg.at(20, y)) << y;
        EXPECT_EQ(0, seg.at(18, y)) << y;
        EXPECT_EQ(0, seg.at(21, y)) << y;
    }
    // Rows from H - 3 on are not visited.
    EXPECT_EQ(0, seg.at(19, 37));
}
