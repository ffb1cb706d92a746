// Centroids, the count of differing pixels, and the removal of isolated differences.
#include "../../../djvusdk/src/jb2/djv_shapeclassifier.h"
#include "shape_art.h"
#include "test_support.h"

#include <string>
#include <vector>

using namespace Morvenix;
using namespace Morvenix::DjVu::JB2;
using _Mvx_Internal_NS_::ShapeClassifier;
using namespace MvxTest;

namespace {

const uint32_t kNC = ShapeClassifier::kNotComparable;

uint32_t compare(const Art& inA, const Art& inB)
{
    ShapeClassifier::CentroidCache cache;
    return ShapeClassifier::compareShapes(*shapeFromArt(inA), *shapeFromArt(inB), cache);
}

// An 8-wide bar of the height, the bottom row blank or the top row blank.
Art barBlankBelow(uint32_t inHeight)
{
    Art a = solidArt(8, inHeight);
    a.back() = std::string(8, '.');
    return a;
}
Art barBlankAbove(uint32_t inHeight)
{
    Art a = solidArt(8, inHeight);
    a.front() = std::string(8, '.');
    return a;
}

} // namespace

TEST(ShapeCentroid, MeanOfRowMeansAndInkWeightedRow)
{
    struct Case {
        Art art;
        double x, y;
    } cases[] = {
        {{"#...", "....", "...#"}, 1.0, 1.0}, // the blank row counts 0 in the mean of the row means
        {{"#..#"}, 1.5, 0.0},
        {{"....", "...."}, 0.0, 0.0},
        {{"........#", "........#"}, 8.0, 0.5}, // second byte of the row
    };
    for (const Case& c : cases) {
        ShapeClassifier::CentroidCache cache;
        AutoPtr<Shape> s = shapeFromArt(c.art);
        const ShapeClassifier::Centroid& got = ShapeClassifier::getCentroid(cache, *s);
        EXPECT_DOUBLE_EQ(c.x, got.x) << c.art[0];
        EXPECT_DOUBLE_EQ(c.y, got.y) << c.art[0];
        EXPECT_EQ(1u, cache.size());
    }
}

TEST(ShapeCentroid, BitsPastTheWidthAreNoPixels)
{
    const uint8_t clean[] = {0xA0}, dirty[] = {0xA7};
    AutoPtr<Shape> a = Shape::create(ShapeBitmap(3, 1, 1, clean, true), 0, 0, Normal);
    AutoPtr<Shape> b = Shape::create(ShapeBitmap(3, 1, 1, dirty, true), 0, 0, Normal);
    ShapeClassifier::CentroidCache cache;
    EXPECT_DOUBLE_EQ(1.0, ShapeClassifier::getCentroid(cache, *b).x);
    EXPECT_EQ(0u, ShapeClassifier::compareShapes(*a, *b, cache));
}

TEST(CompareShapes, IdenticalBitmapsAndTheSameObject)
{
    const Art glyph = {"..##..", ".#..#.", "######", "#....#"};
    EXPECT_EQ(0u, compare(glyph, glyph));
    AutoPtr<Shape> s = shapeFromArt(glyph);
    ShapeClassifier::CentroidCache cache;
    EXPECT_EQ(0u, ShapeClassifier::compareShapes(*s, *s, cache));
    EXPECT_EQ(0u, ShapeClassifier::removeIsolatedDifferences(*s, *s, cache, 1));
    EXPECT_EQ(glyph, artOf(*s));
}

TEST(CompareShapes, SizeAndAlignmentLimits)
{
    struct Case {
        Art a, b;
        uint32_t expected;
    } cases[] = {
        {solidArt(10, 10), solidArt(10, 12), kNC},
        {solidArt(10, 10), solidArt(12, 10), kNC},
        // Offsets sx = sy = 1: row 0 of b faces no row of a (11 pixels); b, the wider, is rotated one
        // column right, so columns 0, 10 and 11 differ in each of the 10 rows.
        {solidArt(10, 10), solidArt(11, 11), 41},
        {solidArt(11, 11), solidArt(10, 10), 41},
        // Centroids two rows apart.
        {{"#", ".", ".", "."}, {".", ".", ".", "#"}, kNC},
        // Too wide for the row words, even at equal sizes.
        {solidArt(65, 3), solidArt(65, 3), kNC},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, compare(c.a, c.b)) << c.a[0].size() << "x" << c.a.size() << " vs " << c.b[0].size()
                                                 << "x" << c.b.size();
}

TEST(CompareShapes, ThirtyThreeColumnsUseWideWords)
{
    // Centroids within half a pixel; the only difference lies in column 32.
    Art a = solidArt(33, 4);
    Art b = solidArt(33, 4, {{32, 0}});
    EXPECT_EQ(1u, compare(a, b));
    EXPECT_EQ(1u, compare(b, a));
}

// Heights at and around the word sizes: the rows read past the taller bitmap (row sy + n with sy = 1)
// must read as blank.
TEST(CompareShapes, HeightsAroundTheWordSizes)
{
    const uint32_t heights[] = {31, 32, 33, 63, 64, 65};
    for (uint32_t ha : heights) {
        for (uint32_t hb : heights) {
            const uint32_t gap = ha > hb ? ha - hb : hb - ha;
            // Solid bars a row apart in height: the extra top row of the taller one (8 pixels) faces nothing.
            const uint32_t expected = ha > 64 || hb > 64 || gap > 1 ? kNC : gap * 8;
            EXPECT_EQ(expected, compare(solidArt(8, ha), solidArt(8, hb))) << ha << " vs " << hb;
        }
        if (ha <= 64) {
            // Same height, b's ink one row lower: a's last row faces the row past b's end.
            EXPECT_EQ(0u, compare(barBlankBelow(ha), barBlankAbove(ha))) << ha;
            EXPECT_EQ(8u, compare(barBlankBelow(ha), solidArt(8, ha))) << ha;
        }
    }
}

TEST(RemoveIsolatedDifferences, HeightsAroundTheWordSizesKeepTheTargetsInk)
{
    const uint32_t heights[] = {31, 32, 33, 63, 64, 65};
    for (uint32_t ha : heights) {
        for (uint32_t hb : heights) {
            const uint32_t gap = ha > hb ? ha - hb : hb - ha;
            AutoPtr<Shape> a = shapeFromArt(solidArt(8, ha), 5, 7);
            AutoPtr<Shape> b = shapeFromArt(solidArt(8, hb), 50, 70);
            ShapeClassifier::CentroidCache cache;
            const uint32_t got = ShapeClassifier::removeIsolatedDifferences(*a, *b, cache, 1);
            // Comparable while the centroids are at most a row and a half apart.
            const bool comparable = ha <= 64 && hb <= 64 && gap <= 2;
            EXPECT_EQ(comparable ? 0u : kNC, got) << ha << " vs " << hb;
            EXPECT_EQ(solidArt(8, ha), artOf(*a)) << ha << " vs " << hb;
            EXPECT_EQ(solidArt(8, hb), artOf(*b)) << ha << " vs " << hb;
            if (comparable && hb >= ha) {
                EXPECT_EQ((Rect{50, 70, 8, int32_t(hb)}), b->getRect()) << ha << " vs " << hb;
            }
        }
        if (ha <= 64) {
            AutoPtr<Shape> a = shapeFromArt(barBlankBelow(ha));
            AutoPtr<Shape> b = shapeFromArt(barBlankAbove(ha), 0, 100);
            ShapeClassifier::CentroidCache cache;
            EXPECT_EQ(0u, ShapeClassifier::removeIsolatedDifferences(*a, *b, cache, 1)) << ha;
            // Only b's blank top row is cropped.
            EXPECT_EQ((Rect{0, 101, 8, int32_t(ha - 1)}), b->getRect()) << ha;
        }
    }
}

TEST(RemoveIsolatedDifferences, FlipsOnlyDifferencesWithoutDifferingNeighbours)
{
    typedef std::vector<std::pair<uint32_t, uint32_t>> Holes;
    struct Case {
        uint32_t width;
        Holes holes; // pixels the prototype lacks
        uint32_t flipped;
    } cases[] = {
        {10, {{5, 5}}, 1},
        {10, {{2, 2}, {6, 6}}, 2},
        {10, {{9, 5}}, 1},         // the shape's last column is not the word's
        {10, {{0, 5}}, 0},         // first column of the word
        {32, {{31, 5}}, 0},        // last column of the word
        {10, {{4, 5}, {5, 5}}, 0}, // neighbours left and right
        {10, {{5, 4}, {5, 5}}, 0}, // neighbours above and below
        {10, {{4, 4}, {5, 5}}, 2}, // diagonal neighbours do not count
    };
    for (const Case& c : cases) {
        const Art prototype = solidArt(c.width, 10, c.holes);
        AutoPtr<Shape> a = shapeFromArt(prototype, 1, 2);
        AutoPtr<Shape> b = shapeFromArt(solidArt(c.width, 10), 30, 40);
        ShapeClassifier::CentroidCache cache;
        const uint32_t before = ShapeClassifier::compareShapes(*a, *b, cache);
        ASSERT_EQ(c.holes.size(), before);
        EXPECT_EQ(c.flipped, ShapeClassifier::removeIsolatedDifferences(*a, *b, cache, 1)) << c.width;
        EXPECT_EQ(prototype, artOf(*a));
        if (c.flipped == c.holes.size()) {
            EXPECT_EQ(prototype, artOf(*b));
        }
        EXPECT_EQ((Rect{30, 40, int32_t(c.width), 10}), b->getRect());
        // The cache follows the rewritten bitmap.
        EXPECT_EQ(before - c.flipped, ShapeClassifier::compareShapes(*a, *b, cache));
        ShapeClassifier::CentroidCache fresh;
        EXPECT_DOUBLE_EQ(ShapeClassifier::getCentroid(fresh, *b).x, ShapeClassifier::getCentroid(cache, *b).x);
    }
}

TEST(RemoveIsolatedDifferences, KeepsInkOfTheTopRowOutsideTheAlignedRows)
{
    // b's ink sits a row lower (sy = 1); its top row holds one pixel that no row of a faces.
    const Art a = {"########", "########", "########", "########", "........"};
    const Art b = {"...#....", "########", "########", "########", "########"};
    AutoPtr<Shape> pa = shapeFromArt(a, 0, 0);
    AutoPtr<Shape> pb = shapeFromArt(b, 20, 30);
    ShapeClassifier::CentroidCache cache;
    EXPECT_EQ(1u, ShapeClassifier::compareShapes(*pa, *pb, cache));
    EXPECT_EQ(0u, ShapeClassifier::removeIsolatedDifferences(*pa, *pb, cache, 1));
    EXPECT_EQ(b, artOf(*pb));
    EXPECT_EQ((Rect{20, 30, 8, 5}), pb->getRect());
}

// An isolated difference that lies outside the rewritten shape's box is not flipped: the shape would grow
// a row below or a column to the right of itself, and past the page's edge when it touches it.
TEST(RemoveIsolatedDifferences, TheRewrittenShapeStaysInsideItsOwnBox)
{
    struct Case {
        const char* what;
        Art first, second; // the second is rewritten
    } cases[] = {
        // The second's ink sits 0.67 row lower (sy = 1): the first's tail faces the row below the second.
        {"below", {"#####", "#...#", "#...#", "#####", "..#.."}, {"..#..", "#####", "#...#", "#...#", "#####"}},
        // The first is a column wider; its last column holds one pixel.
        {"right", {"#####.", "#...#.", "#...##", "#...#.", "#####."}, {"#####", "#...#", "#...#", "#...#", "#####"}},
        // The same with the taller first, so that the roles swap and the shorter second is the target.
        {"right, roles swapped",
         {"######.", "#....#.", "#....##", "#....#.", "######.", "#......"},
         {"######", "#....#", "#....#", "#....#", "######"}},
    };
    for (const Case& c : cases) {
        AutoPtr<Shape> first = shapeFromArt(c.first, 3, 4);
        AutoPtr<Shape> second = shapeFromArt(c.second, 40, 50);
        const Rect box = second->getRect();
        ShapeClassifier::CentroidCache cache;
        ASSERT_NE(kNC, ShapeClassifier::compareShapes(*first, *second, cache)) << c.what;
        EXPECT_EQ(0u, ShapeClassifier::removeIsolatedDifferences(*first, *second, cache, 1)) << c.what;
        EXPECT_EQ(c.second, artOf(*second)) << c.what;
        EXPECT_EQ(box, second->getRect()) << c.what;
    }
}

TEST(RemoveIsolatedDifferences, WithAColumnOffsetFlipsNothingAndMovesNoPixel)
{
    // sx = sy = 1: b is cropped to its own ink, all of it kept where it was on the page.
    AutoPtr<Shape> a = shapeFromArt(solidArt(10, 10), 0, 0);
    AutoPtr<Shape> b = shapeFromArt(solidArt(11, 11), 100, 200);
    ShapeClassifier::CentroidCache cache;
    EXPECT_EQ(0u, ShapeClassifier::removeIsolatedDifferences(*a, *b, cache, 1));
    EXPECT_EQ(solidArt(11, 11), artOf(*b));
    EXPECT_EQ((Rect{100, 200, 11, 11}), b->getRect());
    EXPECT_EQ(solidArt(10, 10), artOf(*a));
    EXPECT_EQ((Rect{0, 0, 10, 10}), a->getRect());
}

// A column offset with the roles swapped: the shorter target, as wide as the word, keeps its last column.
TEST(RemoveIsolatedDifferences, AColumnOffsetKeepsATargetAsWideAsTheWord)
{
    for (uint32_t width : {31u, 32u, 33u, 63u, 64u}) {
        AutoPtr<Shape> tall = shapeFromArt(solidArt(width - 1, 5), 0, 0);
        AutoPtr<Shape> target = shapeFromArt(solidArt(width, 4), 70, 80);
        ShapeClassifier::CentroidCache cache;
        EXPECT_EQ(0u, ShapeClassifier::removeIsolatedDifferences(*tall, *target, cache, 1)) << width;
        EXPECT_EQ(solidArt(width, 4), artOf(*target)) << width;
        EXPECT_EQ((Rect{70, 80, int32_t(width), 4}), target->getRect()) << width;
        EXPECT_EQ(solidArt(width - 1, 5), artOf(*tall)) << width;
    }
}

TEST(RemoveIsolatedDifferences, ATallerFirstShapeSwapsRolesAndTheSecondIsStillRewritten)
{
    AutoPtr<Shape> tall = shapeFromArt(solidArt(10, 11), 0, 0);
    AutoPtr<Shape> shortOne = shapeFromArt(solidArt(10, 10, {{5, 5}}), 40, 50);
    ShapeClassifier::CentroidCache cache;
    EXPECT_EQ(1u, ShapeClassifier::removeIsolatedDifferences(*tall, *shortOne, cache, 1));
    EXPECT_EQ(solidArt(10, 10), artOf(*shortOne));
    EXPECT_EQ((Rect{40, 50, 10, 10}), shortOne->getRect());
    EXPECT_EQ(solidArt(10, 11), artOf(*tall));
}

TEST(RemoveIsolatedDifferences, CropsBlankBorderRowsAndColumns)
{
    // b's top row holds only an isolated pixel and its first column is blank: both are cropped.
    const Art a = {"..........", ".#########", ".#########", ".#########", ".#########"};
    const Art b = {".....#....", ".#########", ".#########", ".#########", ".#########"};
    AutoPtr<Shape> pa = shapeFromArt(a);
    AutoPtr<Shape> pb = shapeFromArt(b, 10, 10);
    ShapeClassifier::CentroidCache cache;
    EXPECT_EQ(1u, ShapeClassifier::removeIsolatedDifferences(*pa, *pb, cache, 1));
    EXPECT_EQ(solidArt(9, 4), artOf(*pb));
    EXPECT_EQ((Rect{11, 11, 9, 4}), pb->getRect());
}

TEST(RemoveIsolatedDifferences, AShapeWholeOfIsolatedPixelsIsLeftAsItWas)
{
    // Every ink pixel of b would be flipped away: rather than become an empty mark, b stays unchanged.
    AutoPtr<Shape> a = shapeFromArt({"...", "...", "..."});
    AutoPtr<Shape> b = shapeFromArt({"...", ".#.", "..."}, 7, 9);
    ShapeClassifier::CentroidCache cache;
    EXPECT_EQ(0u, ShapeClassifier::removeIsolatedDifferences(*a, *b, cache, 1));
    EXPECT_EQ((Art{"...", ".#.", "..."}), artOf(*b));
    EXPECT_EQ((Rect{7, 9, 3, 3}), b->getRect());
}

TEST(RemoveIsolatedDifferences, SidesOverSixtyFourAreNotCompared)
{
    struct Case {
        Art a, b;
    } cases[] = {
        {solidArt(65, 4), solidArt(64, 4)},
        {solidArt(64, 4), solidArt(65, 4)},
        {solidArt(4, 64), solidArt(4, 65)},
        {solidArt(4, 65), solidArt(4, 64)},
    };
    for (const Case& c : cases) {
        AutoPtr<Shape> a = shapeFromArt(c.a, 1, 1);
        AutoPtr<Shape> b = shapeFromArt(c.b, 2, 2);
        ShapeClassifier::CentroidCache cache;
        EXPECT_EQ(kNC, ShapeClassifier::removeIsolatedDifferences(*a, *b, cache, 1));
        EXPECT_EQ(c.a, artOf(*a));
        EXPECT_EQ(c.b, artOf(*b));
        EXPECT_EQ((Rect{2, 2, int32_t(c.b[0].size()), int32_t(c.b.size())}), b->getRect());
    }
}
