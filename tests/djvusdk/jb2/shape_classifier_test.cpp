// Classifying shapes into copies, refinements and prototypes, per page and across pages.
#include "../../../djvusdk/src/jb2/djv_shapeclassifier.h"
#include "shape_art.h"
#include "test_support.h"

#include <algorithm>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;
using _Mvx_Internal_NS_::ShapeClassifier;
using namespace MvxTest;

namespace {

ShapeList listOf(std::initializer_list<AutoPtr<Shape>> inShapes)
{
    ShapeList list;
    for (const AutoPtr<Shape>& s : inShapes)
        list.append(s);
    return list;
}

// Classifies the shapes as one list and gives back the prototypes they were linked to.
ShapeClassifier::PrototypeIndex classifyAll(std::initializer_list<AutoPtr<Shape>> inShapes, uint32_t inSecondCompare,
                                            uint32_t inMatchThreshold = 21)
{
    ShapeList list = listOf(inShapes);
    ShapeClassifier::PrototypeIndex index;
    ShapeClassifier::classify(list, index, inSecondCompare, inMatchThreshold);
    return index;
}

AutoPtr<JB2Page> pageOf(std::initializer_list<AutoPtr<Shape>> inShapes)
{
    AutoPtr<JB2Page> page = JB2Page::create(200, 200);
    page->getShapes() = listOf(inShapes);
    return page;
}

// Pages of the given shapes classified through one shared dictionary.
struct SharedRun {
    SharedRun(std::initializer_list<std::initializer_list<AutoPtr<Shape>>> inPages, uint32_t inSecondCompare)
        : dictionary(JB2Dictionary::create())
    {
        for (const auto& shapes : inPages)
            pages.append(pageOf(shapes));
        ShapeClassifier::buildSharedDictionary(pages, *dictionary, inSecondCompare, 21);
    }
    const ShapeList& dictionaryShapes() const { return static_cast<const JB2Dictionary&>(*dictionary).getShapes(); }
    const ShapeList& pageShapes(uint32_t inPage) const
    {
        return static_cast<const JB2Page&>(*pages[inPage]).getShapes();
    }

    ShapeClassifier::PageList pages;
    AutoPtr<JB2Dictionary> dictionary;
};

// Cut to the rows and columns that hold ink, as the component extraction gives shapes.
Art cropToInk(const Art& inArt)
{
    size_t top = inArt.size(), bottom = 0, left = inArt[0].size(), right = 0;
    for (size_t y = 0; y < inArt.size(); ++y) {
        for (size_t x = 0; x < inArt[y].size(); ++x) {
            if (inArt[y][x] != '#')
                continue;
            top = std::min(top, y);
            bottom = std::max(bottom, y);
            left = std::min(left, x);
            right = std::max(right, x);
        }
    }
    Art cropped;
    for (size_t y = top; y <= bottom && top < inArt.size(); ++y)
        cropped.push_back(inArt[y].substr(left, right - left + 1));
    return cropped;
}

// Instances of a few random glyph kinds, a third of them exact, the others with one or two pixels flipped.
std::vector<Art> noisyGlyphs(uint32_t inSeed, uint32_t inCount)
{
    std::mt19937 rng(inSeed);
    std::vector<Art> kinds;
    for (uint32_t k = 0; k < 6; ++k) {
        Art a(6 + rng() % 20, std::string(6 + rng() % 20, '.'));
        for (std::string& row : a)
            for (char& px : row)
                px = rng() % 2 ? '#' : '.';
        kinds.push_back(a);
    }
    std::vector<Art> glyphs;
    while (glyphs.size() < inCount) {
        Art a = kinds[rng() % kinds.size()];
        for (uint32_t flips = rng() % 3; flips > 0; --flips) {
            char& px = a[rng() % a.size()][rng() % a[0].size()];
            px = px == '#' ? '.' : '#';
        }
        a = cropToInk(a);
        if (!a.empty())
            glyphs.push_back(a);
    }
    return glyphs;
}

// Five columns of ink in six rows, and a sixth column holding one pixel.
const Art kSixWide = {"#####.", "#####.", "#####.", "######", "#####.", "#####."};

const Art kGlyph = {".###.", "#...#", "#####", "#...#", "#...#"};

// A prototype, and a shape 4 pixels from it (5 allowed at the default threshold) whose isolated
// differences lie along its edges, so that the second comparison crops it.
const Art kPrototype = {".#..", "###.", "###.", "###.", ".###", "..#."};
const Art kNearPrototype = {"...#", ".#.#", ".##.", "###.", "###.", ".###"};
// Two differences apart, both isolated, with centroids half a row apart: in this order both comparisons
// face row r of the first with row r of the second; the other way round they are a row apart.
const Art kHalfRowAbove = {"##.", "##.", "#..", "###", "..#", "..#"};
const Art kHalfRowBelow = {"###", "##.", "#..", "###", "..#", "..."};

struct Placed {
    Art art;
    int32_t x, y;
};

ShapeList shapesOf(const std::vector<Placed>& inSequence, size_t inCount)
{
    ShapeList list;
    for (size_t i = 0; i < inCount; ++i)
        list.append(shapeFromArt(inSequence[i].art, inSequence[i].x, inSequence[i].y));
    return list;
}

// The sequence classified as one list, and every shape compared with itself as it was right after its
// own turn (the sequence classified up to it): its type, and its box and pixels as the page shows them
// (a copy's being its prototype's). A shape that changed later would have moved every copy made of it.
void expectShapesKeptFromTheirTurn(const std::vector<Placed>& inSequence, uint32_t inSecondCompare,
                                   const std::string& inName)
{
    ShapeList all = shapesOf(inSequence, inSequence.size());
    ShapeClassifier::PrototypeIndex index;
    ShapeClassifier::classify(all, index, inSecondCompare, 21);
    for (size_t i = 0; i < inSequence.size(); ++i) {
        ShapeList upTo = shapesOf(inSequence, i + 1);
        ShapeClassifier::PrototypeIndex partIndex;
        ShapeClassifier::classify(upTo, partIndex, inSecondCompare, 21);
        const Shape& then = *upTo[i];
        const Shape& now = *all[i];
        SCOPED_TRACE(inName + (inSecondCompare ? ", lossy" : ", lossless") + ", shape " + std::to_string(i));
        EXPECT_EQ(then.getType(), now.getType());
        EXPECT_EQ(then.getRect(), now.getRect());
        EXPECT_EQ(artOf(then), artOf(now));
    }
}

} // namespace

TEST(ShapeClassifier, LosslessSettingsNeverChangeABitmap)
{
    struct Case {
        const char* name;
        Art prototype, shape;
        uint32_t threshold;
        ShapeType expected;
    } cases[] = {
        {"identical", kGlyph, kGlyph, 21, Match},
        {"one pixel apart", solidArt(10, 10), solidArt(10, 10, {{5, 5}}), 21, Refinement},
        // Aligned on the same centroid, the frame lacks 64 of the block's pixels: over 21 allowed.
        {"over the budget", solidArt(10, 10), {"##########", "#........#", "#........#", "#........#", "#........#",
                                               "#........#", "#........#", "#........#", "#........#", "##########"},
         21, Normal},
        // 2 x 2 x 21 / 100 allows nothing: a count of 0 is not below 0.
        {"no budget", solidArt(2, 2), solidArt(2, 2), 21, Normal},
        {"budget raised", solidArt(2, 2), solidArt(2, 2), 50, Match},
    };
    for (const Case& c : cases) {
        AutoPtr<Shape> p = shapeFromArt(c.prototype, 1, 2);
        AutoPtr<Shape> s = shapeFromArt(c.shape, 30, 40);
        ShapeClassifier::PrototypeIndex index = classifyAll({p, s}, 0, c.threshold);
        EXPECT_EQ(Normal, p->getType()) << c.name;
        EXPECT_EQ(c.expected, s->getType()) << c.name;
        EXPECT_EQ(c.expected == Normal ? nullptr : p.get(), s->getReference()) << c.name;
        EXPECT_EQ(c.expected == Normal ? 0u : 1u, index.size()) << c.name;
        if (c.expected != Normal) {
            EXPECT_EQ(0u, index[p.get()]) << c.name;
        }
        EXPECT_EQ(c.prototype, artOf(*p)) << c.name;
        if (c.expected != Match) {
            EXPECT_EQ(c.shape, artOf(*s)) << c.name;
        }
        EXPECT_EQ(30, s->getX()) << c.name;
        EXPECT_EQ(40, s->getY()) << c.name;
    }
}

TEST(ShapeClassifier, LosslessCopiesDrawExactlyWhatTheyReplace)
{
    for (uint32_t seed : {1u, 2u, 3u}) {
        const std::vector<Art> glyphs = noisyGlyphs(seed, 300);
        ShapeList list;
        for (const Art& a : glyphs)
            list.append(shapeFromArt(a));
        ShapeClassifier::PrototypeIndex index;
        ShapeClassifier::classify(list, index, 0, 21);
        uint32_t copies = 0, refinements = 0;
        for (uint32_t i = 0; i < list.count(); ++i) {
            const Shape* s = list[i].get();
            const Shape* r = s->getReference();
            EXPECT_EQ(glyphs[i], artOf(*s)) << seed << ":" << i;
            if (!r)
                continue;
            copies += s->getType() == Match;
            refinements += s->getType() == Refinement;
            EXPECT_NE(Match, r->getType());
            ASSERT_EQ(1u, index.count(r));
            EXPECT_LT(index[r], i);
            EXPECT_EQ(r, list[index[r]].get());
        }
        // Every exact instance after the first of its kind is a copy; flipped ones find a prototype too.
        EXPECT_GT(copies, 60u) << seed;
        EXPECT_GT(refinements, 60u) << seed;
    }
}

TEST(ShapeClassifier, NoShapeChangesAfterItsTurnSoCopiesStayExact)
{
    std::vector<std::pair<std::string, std::vector<Placed>>> sequences = {
        {"a copy, then a shape close to its prototype",
         {{kPrototype, 0, 0}, {kPrototype, 10, 0}, {kNearPrototype, 20, 0}}},
        {"a copy, then a shape one column wider",
         {{solidArt(20, 21), 0, 0}, {solidArt(20, 21), 30, 0}, {solidArt(21, 21), 60, 0}}},
        {"half a row apart", {{kHalfRowAbove, 0, 0}, {kHalfRowBelow, 10, 0}}},
        {"half a row apart, the other way round", {{kHalfRowBelow, 0, 0}, {kHalfRowAbove, 10, 0}}},
        {"a refinement copied, then refined itself",
         {{solidArt(10, 10), 0, 0},
          {solidArt(10, 10, {{4, 5}, {5, 5}}), 20, 0},
          {solidArt(10, 10, {{4, 5}, {5, 5}}), 40, 0},
          {solidArt(10, 10, {{4, 5}, {5, 5}, {4, 6}, {0, 9}}), 60, 0}}},
    };
    for (uint32_t seed : {1u, 2u, 3u, 4u}) {
        std::vector<Placed> noisy;
        for (const Art& a : noisyGlyphs(seed, 40))
            noisy.push_back({a, int32_t(30 * noisy.size()), 0});
        sequences.push_back({"noisy glyphs, seed " + std::to_string(seed), noisy});
    }
    for (const auto& sequence : sequences)
        for (uint32_t secondCompare : {0u, 1u})
            expectShapesKeptFromTheirTurn(sequence.second, secondCompare, sequence.first);

    // The first sequence: the copy stays where it was, drawn with the prototype's pixels.
    ShapeList shapes = shapesOf(sequences[0].second, 3);
    ShapeClassifier::PrototypeIndex index;
    ShapeClassifier::classify(shapes, index, 1, 21);
    EXPECT_EQ(Normal, shapes[0]->getType());
    EXPECT_EQ(Match, shapes[1]->getType());
    EXPECT_EQ(Refinement, shapes[2]->getType());
    EXPECT_EQ(shapes[0].get(), shapes[2]->getReference());
    for (uint32_t i : {0u, 1u}) {
        EXPECT_EQ(kPrototype, artOf(*shapes[i])) << i;
        EXPECT_EQ((Rect{int32_t(10 * i), 0, 4, 6}), shapes[i]->getRect()) << i;
    }

    // Half a row apart: the flips are made under the alignment the count was made with, so the two
    // differences go and the second shape is an exact copy in its place.
    shapes = shapesOf(sequences[2].second, 2);
    ShapeClassifier::classify(shapes, index, 1, 21);
    EXPECT_EQ(Match, shapes[1]->getType());
    EXPECT_EQ(kHalfRowAbove, artOf(*shapes[1]));
    EXPECT_EQ((Rect{10, 0, 3, 6}), shapes[1]->getRect());
}

TEST(ShapeClassifier, ARefinementIsAPrototypeToo)
{
    AutoPtr<Shape> p = shapeFromArt(solidArt(10, 10));
    AutoPtr<Shape> r = shapeFromArt(solidArt(10, 10, {{5, 5}}));
    AutoPtr<Shape> s = shapeFromArt(solidArt(10, 10, {{5, 5}}));
    ShapeClassifier::PrototypeIndex index = classifyAll({p, r, s}, 0);
    EXPECT_EQ(Refinement, r->getType());
    EXPECT_EQ(Match, s->getType());
    EXPECT_EQ(r.get(), s->getReference());
    EXPECT_EQ((ShapeClassifier::PrototypeIndex{{p.get(), 0}, {r.get(), 1}}), index);
}

TEST(ShapeClassifier, ShapesOverSixtyFourTakeNoPart)
{
    for (const Art& big : {solidArt(65, 3), solidArt(3, 65)}) {
        AutoPtr<Shape> a = shapeFromArt(big, 1, 1);
        AutoPtr<Shape> b = shapeFromArt(big, 2, 2);
        ShapeClassifier::PrototypeIndex index = classifyAll({a, b}, 1);
        for (const AutoPtr<Shape>& s : {a, b}) {
            EXPECT_EQ(Normal, s->getType());
            EXPECT_EQ(big, artOf(*s));
        }
        EXPECT_EQ((Rect{2, 2, int32_t(big[0].size()), int32_t(big.size())}), b->getRect());
        EXPECT_TRUE(index.empty());
    }
}

// A threshold past 100 lets every difference through: the budget is counted in 64 bits, so that 2^26
// does not wrap round to nothing on shapes of 64 pixels.
TEST(ShapeClassifier, LargeThresholdsDoNotWrap)
{
    const Art checkerboard = {"#.#.#.#.", ".#.#.#.#", "#.#.#.#.", ".#.#.#.#",
                              "#.#.#.#.", ".#.#.#.#", "#.#.#.#.", ".#.#.#.#"};
    AutoPtr<Shape> p = shapeFromArt(solidArt(8, 8));
    AutoPtr<Shape> copy = shapeFromArt(solidArt(8, 8), 10, 0);
    AutoPtr<Shape> other = shapeFromArt(checkerboard, 20, 0);
    classifyAll({p, copy, other}, 0, 1u << 26);
    EXPECT_EQ(Match, copy->getType());
    EXPECT_EQ(Refinement, other->getType());
    EXPECT_EQ(p.get(), other->getReference());
}

TEST(ShapeClassifier, OnlyPrototypesAsWideOrOneNarrowerAreCandidates)
{
    // Six wide against five wide differs in one pixel.
    {
        AutoPtr<Shape> p = shapeFromArt(solidArt(5, 6));
        AutoPtr<Shape> s = shapeFromArt(kSixWide);
        classifyAll({p, s}, 0);
        EXPECT_EQ(Refinement, s->getType());
        EXPECT_EQ(p.get(), s->getReference());
    }
    {
        AutoPtr<Shape> p = shapeFromArt(kSixWide);
        AutoPtr<Shape> s = shapeFromArt(solidArt(5, 6));
        classifyAll({p, s}, 0);
        EXPECT_EQ(Normal, s->getType());
    }
}

TEST(ShapeClassifier, OnEqualCountsTheNarrowerPrototypeWins)
{
    // Both prototypes differ from the shape in one pixel; the six-wide one comes first in the list.
    Art sixWideWithHole = kSixWide;
    sixWideWithHole[1][1] = '.';
    AutoPtr<Shape> wide = shapeFromArt(sixWideWithHole);
    AutoPtr<Shape> narrow = shapeFromArt(solidArt(5, 6));
    AutoPtr<Shape> s = shapeFromArt(kSixWide);
    ShapeClassifier::PrototypeIndex index = classifyAll({wide, narrow, s}, 0);
    EXPECT_EQ(Normal, narrow->getType());
    EXPECT_EQ(Refinement, s->getType());
    EXPECT_EQ(narrow.get(), s->getReference());
    EXPECT_EQ((ShapeClassifier::PrototypeIndex{{narrow.get(), 1}}), index);
}

TEST(ShapeClassifier, SecondComparisonMakesACopyOfAShapeOffByIsolatedPixels)
{
    AutoPtr<Shape> p = shapeFromArt(solidArt(10, 10, {{5, 5}, {2, 7}}));
    AutoPtr<Shape> s = shapeFromArt(solidArt(10, 10), 100, 200);
    classifyAll({p, s}, 1);
    EXPECT_EQ(Match, s->getType());
    EXPECT_EQ(p.get(), s->getReference());
    EXPECT_EQ((Rect{100, 200, 10, 10}), s->getRect());
    EXPECT_EQ(solidArt(10, 10, {{5, 5}, {2, 7}}), artOf(*p));
}

TEST(ShapeClassifier, ACroppedShapeIsACopyOnlyWhenItsPixelsAreThePrototypes)
{
    // The shape's top row holds only an isolated difference: flipped away, the row is cropped and the
    // shape moves down one row. The prototype still carries its blank top row, so drawing it in the
    // shape's place would put every row one too low: the shape is refined instead.
    Art prototype = solidArt(10, 10);
    prototype[0] = "..........";
    Art shape = prototype;
    shape[0] = ".....#....";
    AutoPtr<Shape> p = shapeFromArt(prototype);
    AutoPtr<Shape> s = shapeFromArt(shape, 100, 200);
    classifyAll({p, s}, 1);
    EXPECT_EQ(Refinement, s->getType());
    EXPECT_EQ(p.get(), s->getReference());
    EXPECT_EQ(solidArt(10, 9), artOf(*s));
    EXPECT_EQ((Rect{100, 201, 10, 9}), s->getRect());
}

TEST(ShapeClassifier, APrototypeRewrittenForARefinementKeepsItsPlace)
{
    // The shape is one column wider: aligned on their centroids the pair is one column apart (sx = 1),
    // so nothing is isolated; the rewrite crops the prototype to itself and must not move it.
    AutoPtr<Shape> p = shapeFromArt(solidArt(20, 21), 0, 0);
    AutoPtr<Shape> s = shapeFromArt(solidArt(21, 21), 100, 200);
    classifyAll({p, s}, 1);
    EXPECT_EQ(Refinement, s->getType());
    EXPECT_EQ((Rect{0, 0, 20, 21}), p->getRect());
    EXPECT_EQ((Rect{100, 200, 21, 21}), s->getRect());
}

TEST(ShapeClassifier, SecondComparisonKeepsDifferencesThatTouch)
{
    // The isolated hole is filled; the two touching ones make the shape a refinement.
    AutoPtr<Shape> p = shapeFromArt(solidArt(10, 10));
    AutoPtr<Shape> s = shapeFromArt(solidArt(10, 10, {{5, 5}, {2, 2}, {3, 2}}), 50, 60);
    classifyAll({p, s}, 1);
    EXPECT_EQ(Refinement, s->getType());
    EXPECT_EQ(p.get(), s->getReference());
    EXPECT_EQ(solidArt(10, 10, {{2, 2}, {3, 2}}), artOf(*s));
    EXPECT_EQ((Rect{50, 60, 10, 10}), s->getRect());
    EXPECT_EQ(solidArt(10, 10), artOf(*p));
    EXPECT_EQ((Rect{0, 0, 10, 10}), p->getRect());
}

TEST(ShapeClassifier, PageDictionaryLinksShapesOfOnePage)
{
    AutoPtr<Shape> a = shapeFromArt(kGlyph, 0, 0);
    AutoPtr<Shape> other = shapeFromArt(solidArt(3, 8), 10, 0);
    AutoPtr<Shape> b = shapeFromArt(kGlyph, 20, 0);
    AutoPtr<JB2Page> page = pageOf({a, other, b});
    ShapeClassifier::buildPageDictionary(*page, 0, 21);
    const ShapeList& shapes = static_cast<const JB2Page&>(*page).getShapes();
    ASSERT_EQ(3u, shapes.count());
    EXPECT_EQ(a.get(), shapes[0].get());
    EXPECT_EQ(Normal, a->getType());
    EXPECT_EQ(Normal, other->getType());
    EXPECT_EQ(Match, b->getType());
    EXPECT_EQ(a.get(), b->getReference());
}

TEST(ShapeClassifier, IdenticalGlyphsOnTwoPagesShareOneDictionaryShape)
{
    AutoPtr<Shape> first = shapeFromArt(kGlyph, 10, 20);
    first->setColor(Color::fromRGB(0xCC0000));
    AutoPtr<Shape> second = shapeFromArt(kGlyph, 30, 40);
    const SharedRun run({{first}, {second}}, 1);

    const ShapeList& dict = run.dictionaryShapes();
    ASSERT_EQ(1u, dict.count());
    EXPECT_EQ(first.get(), dict[0].get());
    EXPECT_EQ(Normal, first->getType());

    const ShapeList& page1 = run.pageShapes(0);
    const ShapeList& page2 = run.pageShapes(1);
    ASSERT_EQ(1u, page1.count());
    ASSERT_EQ(1u, page2.count());
    // The dictionary shape's place on its page is a copy of it, where it was and in its colour.
    EXPECT_EQ(Match, page1[0]->getType());
    EXPECT_EQ(first.get(), page1[0]->getReference());
    EXPECT_EQ((Rect{10, 20, 5, 5}), page1[0]->getRect());
    Color color;
    page1[0]->getColor(color);
    EXPECT_EQ(0xCC0000u, color.toRGB());
    EXPECT_EQ(second.get(), page2[0].get());
    EXPECT_EQ(Match, second->getType());
    EXPECT_EQ(first.get(), second->getReference());
}

TEST(ShapeClassifier, PrototypesUsedOnlyOnTheirOwnPageStayThere)
{
    AutoPtr<Shape> a = shapeFromArt(kGlyph, 0, 0);
    AutoPtr<Shape> copy = shapeFromArt(kGlyph, 10, 0);
    AutoPtr<Shape> other = shapeFromArt(solidArt(3, 8), 0, 0);
    const SharedRun run({{a, copy}, {other}}, 0);

    EXPECT_EQ(0u, run.dictionaryShapes().count());
    const ShapeList& page1 = run.pageShapes(0);
    const ShapeList& page2 = run.pageShapes(1);
    ASSERT_EQ(2u, page1.count());
    ASSERT_EQ(1u, page2.count());
    EXPECT_EQ(a.get(), page1[0].get());
    EXPECT_EQ(Normal, a->getType());
    EXPECT_EQ(copy.get(), page1[1].get());
    EXPECT_EQ(a.get(), copy->getReference());
    EXPECT_EQ(other.get(), page2[0].get());
    EXPECT_EQ(Normal, other->getType());
}

TEST(ShapeClassifier, ARefinementChainEntersTheDictionaryPrototypeFirst)
{
    // Page 2 refines page 1's prototype, page 3 copies the refinement.
    AutoPtr<Shape> prototype = shapeFromArt(solidArt(10, 10), 1, 1);
    AutoPtr<Shape> refinement = shapeFromArt(solidArt(10, 10, {{4, 5}, {5, 5}}), 2, 2);
    AutoPtr<Shape> copy = shapeFromArt(solidArt(10, 10, {{4, 5}, {5, 5}}), 3, 3);
    const SharedRun run({{prototype}, {refinement}, {copy}}, 0);

    const ShapeList& dict = run.dictionaryShapes();
    ASSERT_EQ(2u, dict.count());
    EXPECT_EQ(prototype.get(), dict[0].get());
    EXPECT_EQ(refinement.get(), dict[1].get());
    EXPECT_EQ(Refinement, refinement->getType());
    EXPECT_EQ(prototype.get(), refinement->getReference());

    const Shape* onPage[3];
    for (uint32_t p = 0; p < 3; ++p) {
        const ShapeList& shapes = run.pageShapes(p);
        ASSERT_EQ(1u, shapes.count());
        onPage[p] = shapes[0].get();
        EXPECT_EQ(Match, onPage[p]->getType()) << p;
    }
    EXPECT_EQ(prototype.get(), onPage[0]->getReference());
    EXPECT_EQ(refinement.get(), onPage[1]->getReference());
    EXPECT_EQ((Rect{2, 2, 10, 10}), onPage[1]->getRect());
    EXPECT_EQ(copy.get(), onPage[2]);
    EXPECT_EQ(refinement.get(), copy->getReference());
}

TEST(ShapeClassifier, PositionOrderPutsLowerShapesFirstThenLeftToRight)
{
    struct Case {
        int32_t ax, ay, bx, by;
        bool before;
    } cases[] = {
        {0, 10, 0, 5, true},
        {0, 5, 0, 10, false},
        {3, 7, 4, 7, true},
        {4, 7, 3, 7, false},
        {4, 7, 4, 7, false},
        {100, 8, 0, 7, true},
    };
    for (const Case& c : cases) {
        AutoPtr<Shape> a = shapeFromArt({"#"}, c.ax, c.ay);
        AutoPtr<Shape> b = shapeFromArt({"#"}, c.bx, c.by);
        EXPECT_EQ(c.before, ShapeClassifier::isBeforeInPosition(*a, *b))
            << c.ax << "," << c.ay << " vs " << c.bx << "," << c.by;
    }
}
