#include "bp_textcapture.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

using Morvenix::AutoPtr;
using Morvenix::Rect;
using Morvenix::String;
using Morvenix::DjVu::TextZone;

AutoPtr<TextZone> character(const char* inText, int32_t inX, int32_t inY, int32_t inWidth = 10,
                            int32_t inHeight = 20)
{
    return TextZone::create(String(inText), TextZone::zoneCharacter, inX, inY, inWidth, inHeight);
}

AutoPtr<TextZone> zoneOf(int32_t inType, std::initializer_list<AutoPtr<TextZone>> inChildren)
{
    AutoPtr<TextZone> zone = TextZone::create(inType);
    for (const AutoPtr<TextZone>& child : inChildren)
        zone->children.append(child);
    return zone;
}

std::string textOf(const TextZone& inZone)
{
    const String text = inZone.getText();
    return std::string(text.c_str(), text.getLength());
}

TEST(BoundingBoxOfPoints, SmallestAndOnePastTheLargest)
{
    const POINT points[3] = {{5, -7}, {-2, 4}, {3, 9}};
    const RECTL box = BoundingBoxOfPoints(points, 3);
    EXPECT_EQ(-2, box.left);
    EXPECT_EQ(-7, box.top);
    EXPECT_EQ(6, box.right);
    EXPECT_EQ(10, box.bottom);
    const RECTL none = BoundingBoxOfPoints(points, 0);
    EXPECT_EQ(0, none.left);
    EXPECT_EQ(0, none.right);
}

TEST(BoundingBoxOfPoints, TheLargestCoordinateDoesNotWrapRound)
{
    const POINT points[2] = {{INT_MAX, INT_MAX}, {INT_MIN, INT_MIN}};
    const RECTL box = BoundingBoxOfPoints(points, 2);
    EXPECT_EQ(INT_MIN, box.left);
    EXPECT_EQ(INT_MAX, box.right);
    EXPECT_EQ(INT_MAX, box.bottom);
}

TEST(IsWordSeparator, TheSeparatorsAndTheirNeighbours)
{
    for (uint32_t unit : {9u, 10u, 11u, 12u, 13u, 32u, 160u, 0x2000u, 0x2005u, 0x200Bu, 0x3000u})
        EXPECT_TRUE(IsWordSeparator(unit)) << unit;
    for (uint32_t unit : {0u, 8u, 14u, 31u, 33u, 'a' + 0u, 159u, 161u, 0x1FFFu, 0x200Cu, 0x2FFFu, 0x3001u, 0xFEFFu,
                          0x10000u + 32u, 0xFFFFFF20u})
        EXPECT_FALSE(IsWordSeparator(unit)) << unit;
}

TEST(AppendWordSpace, GoesToTheLastLeafUnlessItEndsWithAnAsciiSeparator)
{
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"b", "b "},
        {"b ", "b "},
        {"b\t", "b\t"},
        {"b\r", "b\r"},
        {"", ""},
        // U+00A0 ends in the byte 0xA0, which as a signed byte is no separator.
        {"b\xC2\xA0", "b\xC2\xA0 "},
        {"\xE3\x80\x80", "\xE3\x80\x80 "},
    };
    for (const Case& c : cases) {
        AutoPtr<TextZone> first = character("a", 0, 0);
        AutoPtr<TextZone> last = character(c.text, 10, 0);
        AutoPtr<TextZone> line = zoneOf(TextZone::zoneLine, {zoneOf(TextZone::zoneWord, {first}),
                                                             zoneOf(TextZone::zoneWord, {last})});
        AppendWordSpace(line.get(), " ");
        EXPECT_EQ(std::string(c.expected), std::string(last->text.c_str())) << c.text;
        EXPECT_EQ(std::string("a"), std::string(first->text.c_str()));
    }
    AppendWordSpace(nullptr, " ");
}

TEST(RectsTouch, AGapOfFourPixelsSeparatesAndThreeDoNot)
{
    const Rect first{100, 50, 20, 30};
    for (int32_t gap = 0; gap <= 6; ++gap) {
        const Rect across{120 + gap, 50, 20, 30};
        EXPECT_EQ(gap < 4, RectsTouch(first, across)) << "gap " << gap;
        const Rect below{100, 80 + gap, 20, 30};
        EXPECT_EQ(gap < 4, RectsTouch(first, below)) << "gap below " << gap;
    }
    // Near the end of the range the grown rectangles do not wrap round.
    EXPECT_TRUE(RectsTouch(Rect{INT_MAX - 10, INT_MAX - 10, 10, 10}, Rect{INT_MAX - 5, INT_MAX - 5, 5, 5}));
    EXPECT_FALSE(RectsTouch(Rect{INT_MIN, 0, 1, 1}, Rect{INT_MAX - 1, 0, 1, 1}));
}

TEST(IntersectRects, TheCommonPartAndWhetherThereIsOne)
{
    Rect out{};
    EXPECT_TRUE(IntersectRects(&out, Rect{0, 0, 10, 10}, Rect{5, 3, 10, 4}));
    EXPECT_EQ((Rect{5, 3, 5, 4}), out);
    EXPECT_FALSE(IntersectRects(&out, Rect{0, 0, 10, 10}, Rect{10, 0, 5, 5}));
    EXPECT_EQ(0, out.width);
    EXPECT_FALSE(IntersectRects(&out, Rect{0, 0, 10, 10}, Rect{20, 20, 5, 5}));
    EXPECT_EQ(-10, out.width);
    EXPECT_TRUE(IntersectRects(nullptr, Rect{0, 0, 2, 2}, Rect{1, 1, 2, 2}));
    EXPECT_FALSE(IntersectRects(nullptr, Rect{0, 0, 2, 2}, Rect{1, 2, 2, 2}));
}

TEST(FinishZoneGeometry, ZonesTakeTheBoundingBoxOfTheirChildren)
{
    AutoPtr<TextZone> a = character("a", 100, 40, 10, 20), b = character("b", 111, 35, 12, 30);
    AutoPtr<TextZone> c = character("c", 300, 200), d = character("d", 311, 190, 10, 40);
    AutoPtr<TextZone> word1 = zoneOf(TextZone::zoneWord, {a, b}), word2 = zoneOf(TextZone::zoneWord, {c, d});
    AutoPtr<TextZone> line1 = zoneOf(TextZone::zoneLine, {word1}), line2 = zoneOf(TextZone::zoneLine, {word2});
    AutoPtr<TextZone> page = zoneOf(TextZone::zonePage, {line1, line2});
    EXPECT_EQ(d.get(), FinishZoneGeometry(page.get()));
    EXPECT_EQ((Rect{100, 35, 23, 30}), word1->rect);
    EXPECT_EQ(word1->rect, line1->rect);
    EXPECT_EQ((Rect{300, 190, 21, 40}), word2->rect);
    EXPECT_EQ((Rect{100, 35, 221, 195}), page->rect);
    // The two lines lie far apart: a space ends the first.
    EXPECT_EQ("ab cd", textOf(*page));
}

TEST(FinishZoneGeometry, ASpaceGoesBetweenCharactersFourPixelsApart)
{
    AutoPtr<TextZone> a = character("a", 100, 40), b = character("b", 114, 40), c = character("c", 127, 40);
    AutoPtr<TextZone> word = zoneOf(TextZone::zoneWord, {a, b, c});
    AutoPtr<TextZone> page = zoneOf(TextZone::zonePage, {zoneOf(TextZone::zoneLine, {word})});
    EXPECT_EQ(c.get(), FinishZoneGeometry(page.get()));
    EXPECT_EQ("a bc", textOf(*page));
    EXPECT_EQ((Rect{100, 40, 37, 20}), word->rect);
}

TEST(FinishZoneGeometry, AWordAlreadyEndingInASeparatorGetsNoSecondSpace)
{
    AutoPtr<TextZone> a = character("a ", 0, 0), b = character("b", 100, 0);
    AutoPtr<TextZone> line =
        zoneOf(TextZone::zoneLine, {zoneOf(TextZone::zoneWord, {a}), zoneOf(TextZone::zoneWord, {b})});
    FinishZoneGeometry(line.get());
    EXPECT_EQ("a b", textOf(*line));
}

TEST(FinishZoneGeometry, AZoneWithoutChildrenIsItsOwnLastLeaf)
{
    AutoPtr<TextZone> page = TextZone::create(TextZone::zonePage);
    page->rect = Rect{1, 2, 3, 4};
    EXPECT_EQ(page.get(), FinishZoneGeometry(page.get()));
    EXPECT_EQ((Rect{1, 2, 3, 4}), page->rect);
}

TEST(FinishZoneGeometry, RectanglesAtTheEndsOfTheRangeDoNotWrapRound)
{
    AutoPtr<TextZone> low = character("a", INT_MIN, INT_MIN, 1, 1), high = character("b", INT_MAX - 1, INT_MAX - 1, 1, 1);
    AutoPtr<TextZone> word = zoneOf(TextZone::zoneWord, {low, high});
    FinishZoneGeometry(word.get());
    EXPECT_EQ(INT_MIN, word->rect.x);
    EXPECT_EQ(INT_MAX, word->rect.width);
    EXPECT_EQ(INT_MAX, word->rect.height);
}

} // namespace
