// Shapes, their bitmaps, and the page and dictionary shape lists.
#include "djv_jb2page.h"
#include "djv_jb2shape.h"
#include "test_support.h"

#include <functional>
#include <vector>

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;
using MvxTest::expectThrow;

namespace {

std::vector<uint8_t> rowBytes(const ShapeBitmap& b, uint32_t y)
{
    return std::vector<uint8_t>(b.row(y), b.row(y) + b.getRowBytes());
}

AutoPtr<Shape> square(uint32_t inSide, int32_t inX = 0, int32_t inY = 0)
{
    std::vector<uint8_t> pixels(inSide * inSide, 1);
    return Shape::create(inSide, inSide, int32_t(inSide), pixels.data(), inX, inY, Normal);
}

} // namespace

TEST(ShapeBitmap, PacksBytesMostSignificantBitFirst)
{
    const uint8_t pixels[] = {0, 7, 0, 255, 0, 0, 0, 0, 1};
    AutoPtr<Shape> s = Shape::create(9, 1, 9, pixels, 3, 4, Normal);
    ASSERT_EQ(2u, s->getBitmap().getRowBytes());
    EXPECT_EQ((std::vector<uint8_t>{0x50, 0x80}), rowBytes(s->getBitmap(), 0));
    EXPECT_EQ((Rect{3, 4, 9, 1}), s->getRect());
}

TEST(ShapeBitmap, PackedRowsWithNegativeStepStartAtTheBlockEnd)
{
    // Lowest address first: the row at the highest address is the top row.
    const uint8_t block[] = {0x0F, 0xAA, 0xF0, 0x55};
    ShapeBitmap b(8, 2, -2, block, true);
    EXPECT_EQ((std::vector<uint8_t>{0xF0}), rowBytes(b, 0));
    EXPECT_EQ((std::vector<uint8_t>{0x0F}), rowBytes(b, 1));
    ShapeBitmap up(8, 2, 2, block, true);
    EXPECT_EQ((std::vector<uint8_t>{0x0F}), rowBytes(up, 0));
}

TEST(ShapeBitmap, EmptyAndClearBitmaps)
{
    ShapeBitmap none(0, 5, 1, nullptr, false);
    EXPECT_EQ(0u, none.getWidth());
    EXPECT_EQ(5u, none.getHeight());
    ShapeBitmap clear(12, 3, 0, nullptr, true);
    for (uint32_t y = 0; y < 3; ++y)
        EXPECT_EQ((std::vector<uint8_t>{0, 0}), rowBytes(clear, y));
    EXPECT_TRUE(clear.samePixels(ShapeBitmap(12, 3)));
    expectThrow([] { ShapeBitmap(16, 2, 1, reinterpret_cast<const uint8_t*>("abcd"), true); }, errInvalidParam);
    expectThrow([] { ShapeBitmap(0xFFFFFFF0u, 0xFFFFu); }, errInvalidParam);
}

TEST(ShapeBitmap, SamePixelsIgnoresBitsPastTheWidth)
{
    const uint8_t a[] = {0xA0}, b[] = {0xA7}, c[] = {0xE0};
    EXPECT_TRUE(ShapeBitmap(3, 1, 1, a, true).samePixels(ShapeBitmap(3, 1, 1, b, true)));
    EXPECT_FALSE(ShapeBitmap(3, 1, 1, a, true).samePixels(ShapeBitmap(3, 1, 1, c, true)));
    EXPECT_FALSE(ShapeBitmap(3, 1, 1, a, true).samePixels(ShapeBitmap(4, 1, 1, a, true)));
}

TEST(Shape, CreateTakesOnlyOwnBitmapTypes)
{
    const uint8_t px = 1;
    for (ShapeType t : {Match, Refinement, ShapeType(7)})
        expectThrow([&] { Shape::create(1, 1, 1, &px, 0, 0, t); }, errOperationFailed,
                    "This function si only for Normal and NonMark Shape!");
    EXPECT_EQ(NonMark, Shape::create(1, 1, 1, &px, 0, 0, NonMark)->getType());
}

TEST(Shape, MatchAnswersWithItsReference)
{
    AutoPtr<Shape> proto = square(5);
    AutoPtr<Shape> copy = Shape::createMatch(proto, 10, 20);
    EXPECT_EQ(Match, copy->getType());
    EXPECT_EQ(proto.get(), copy->getReference());
    EXPECT_EQ((Rect{10, 20, 5, 5}), copy->getRect());
    EXPECT_EQ(&proto->getBitmap(), &copy->getBitmap());
    expectThrow([&] { copy->replaceBitmap(ShapeBitmap(2, 2)); }, errOperationFailed, "Could not replace the bitmap");
    expectThrow([&] { Shape::createMatch(copy, 0, 0); }, errOperationFailed,
                "Refinement target should not be matched shape!");
    expectThrow([&] { Shape::createRefinement(AutoPtr<Shape>(), ShapeBitmap(1, 1), 0, 0); }, errOperationFailed);
}

TEST(Shape, ChangingTypes)
{
    AutoPtr<Shape> proto = square(4);
    AutoPtr<Shape> s = square(3, 1, 1);
    s->setRefinement(proto);
    EXPECT_EQ(Refinement, s->getType());
    EXPECT_EQ(3u, s->getWidth()); // its own bitmap still answers
    s->setMatch(proto);
    EXPECT_EQ(Match, s->getType());
    EXPECT_EQ(4u, s->getWidth());
    expectThrow([&] { s->setMatch(proto); }, errOperationFailed, "Could not match due to lack of bitmap!");
    expectThrow([&] { s->setRefinement(proto); }, errOperationFailed, "Could not refine due to lack of bitmap!");
    EXPECT_EQ(Match, s->getType());

    AutoPtr<Shape> t = square(2);
    expectThrow([&] { t->setRefinement(s); }, errOperationFailed, "Refinement target should not be matched shape!");
    expectThrow([&] { t->setMatch(AutoPtr<Shape>()); }, errOperationFailed);
    EXPECT_EQ(Normal, t->getType());
    EXPECT_EQ(nullptr, t->getReference());
}

// A shape that would refer to itself, directly or through the shapes it would refer to, is refused and
// stays as it was: its bitmap is still its own.
TEST(Shape, ReferencesThatComeBackAreRefused)
{
    struct Case {
        const char* what;
        bool match; // setMatch, else setRefinement
        uint32_t chain; // shapes[i] refines shapes[i + 1] for i below chain - 1; shapes[last] refers to shapes[0]
    } cases[] = {
        {"match of itself", true, 1},
        {"refinement of itself", false, 1},
        {"match of its own refinement", true, 2},
        {"refinement of its own refinement", false, 2},
        {"refinement three steps round", false, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<AutoPtr<Shape>> shapes;
        for (uint32_t i = 0; i < c.chain; ++i)
            shapes.push_back(square(3 + i));
        for (uint32_t i = 0; i + 1 < c.chain; ++i)
            shapes[i]->setRefinement(shapes[i + 1]);
        Shape& last = *shapes.back();
        const ShapeType type = last.getType();
        expectThrow(
            [&] {
                if (c.match)
                    last.setMatch(shapes[0]);
                else
                    last.setRefinement(shapes[0]);
            },
            errInvalidParam, "A shape cannot refer to itself!");
        EXPECT_EQ(type, last.getType());
        EXPECT_EQ(nullptr, last.getReference());
        EXPECT_EQ(2u + c.chain, last.getWidth());
        EXPECT_EQ(3u, shapes[0]->getBitmap().getWidth());
    }
}

// A shape that others copy or refine cannot become a copy itself: they would refer to a copy, which no
// JB2 stream can name. It is refused when asked and the shape stays as it was; once nothing refers to it
// any more, it may.
TEST(Shape, ShapeReferredToCannotBecomeACopy)
{
    const AutoPtr<Shape> target = square(5);
    const std::function<AutoPtr<Shape>(const AutoPtr<Shape>&)> referrers[] = {
        [](const AutoPtr<Shape>& b) {
            AutoPtr<Shape> a = square(3);
            a->setRefinement(b);
            return a;
        },
        [](const AutoPtr<Shape>& b) {
            AutoPtr<Shape> a = square(3);
            a->setMatch(b);
            return a;
        },
        [](const AutoPtr<Shape>& b) { return Shape::createRefinement(b, ShapeBitmap(3, 3), 0, 0); },
        [](const AutoPtr<Shape>& b) { return Shape::createMatch(b, 0, 0); },
    };
    for (const auto& referTo : referrers) {
        AutoPtr<Shape> b = square(4);
        AutoPtr<Shape> a = referTo(b);
        SCOPED_TRACE(a->getType());
        expectThrow([&] { b->setMatch(target); }, errInvalidParam,
                    "A shape that other shapes refer to cannot become a copy!");
        EXPECT_EQ(Normal, b->getType());
        EXPECT_EQ(nullptr, b->getReference());
        EXPECT_EQ(4u, b->getBitmap().getWidth());
        b->setRefinement(target); // a refinement keeps its bitmap: a may refer to it
        a.reset();
        b->setMatch(target);
        EXPECT_EQ(Match, b->getType());
    }
    // A shape that turns to another reference lets go of the first.
    AutoPtr<Shape> a = square(3), b = square(4);
    a->setRefinement(b);
    a->setRefinement(target);
    b->setMatch(target);
    EXPECT_EQ(Match, b->getType());
}

TEST(Shape, ReferenceLivesWhileACopyHoldsIt)
{
    AutoPtr<Shape> copy;
    {
        AutoPtr<Shape> proto = square(6);
        proto->setColor(Color::fromRGB(0x123456));
        copy = Shape::createMatch(proto, 0, 0);
    }
    Color c;
    copy->getReference()->getColor(c);
    EXPECT_EQ(0x123456u, c.toRGB());
    EXPECT_EQ(6u, copy->getHeight());
}

TEST(JB2Page, EmptyPageAndDictionary)
{
    AutoPtr<JB2Page> page = JB2Page::create(2550, 3300);
    EXPECT_EQ(2550u, page->getWidth());
    EXPECT_EQ(3300u, page->getHeight());
    EXPECT_FALSE(page->hasFGbz());
    EXPECT_EQ(nullptr, page->getDictionary());
    EXPECT_EQ(0u, static_cast<const JB2Page&>(*page).getShapes().count());
    page->getShapes().append(square(3));
    page->compact();
    EXPECT_EQ(1u, page->getShapes().capacity());
    page->dropRenderIndex();

    AutoPtr<JB2Dictionary> dict = JB2Dictionary::create();
    dict->getShapes().append(square(2));
    dict->dropRenderIndex();
    EXPECT_EQ(1u, dict->getShapes().count());
    dict->getShapes().remove(0, 1);
    dict->compact();
    EXPECT_EQ(0u, dict->getShapes().capacity());
}
