#include "djv_textsearch.h"

#include "text_test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

using namespace TextTest;
using Morvenix::DjVu::TextSearcher;
using Morvenix::DjVu::TextSearchResult;

namespace {

std::string str(const String& s)
{
    return std::string(s.begin(), s.getLength());
}

std::vector<const TextZone*> zonesOf(const TextSearchResult& inResult)
{
    std::vector<const TextZone*> v;
    for (const AutoPtr<TextZone>& z : inResult.zones)
        v.push_back(z.get());
    return v;
}

Rect unionOf(std::initializer_list<Rect> inRects)
{
    int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = INT64_MIN, y1 = INT64_MIN;
    for (const Rect& r : inRects) {
        x0 = std::min<int64_t>(x0, r.x);
        y0 = std::min<int64_t>(y0, r.y);
        x1 = std::max(x1, r.right());
        y1 = std::max(y1, r.bottom());
    }
    return Rect{int32_t(x0), int32_t(y0), int32_t(x1 - x0), int32_t(y1 - y0)};
}

// The sample page: "He" (characters) "llo " "world\n" on line 1, "€uro " "ok" on line 2; the page text is
// "Hello world\n€uro ok" (21 bytes, the euro sign three of them).
class TextSearch : public ::testing::Test {
protected:
    void SetUp() override
    {
        page = sampleTree(0);
        line1 = page->children[0].get();
        line2 = page->children[1].get();
        he = line1->children[0].get();
        h = he->children[0].get();
        e = he->children[1].get();
        llo = line1->children[1].get();
        world = line1->children[2].get();
        euro = line2->children[0].get();
        ok = line2->children[1].get();
        searcher = page->createSearcher();
    }

    AutoPtr<TextZone> page;
    TextZone *line1, *line2, *he, *h, *e, *llo, *world, *euro, *ok;
    AutoPtr<TextSearcher> searcher;
    TextSearchResult result;
};

TEST_F(TextSearch, TextIsThePageText)
{
    EXPECT_EQ("Hello world\n\xE2\x82\xACuro ok", str(searcher->getText()));
    EXPECT_EQ(str(page->getText()), str(searcher->getText()));
    EXPECT_EQ(str(page->getText()), str(TextSearcher::create(*page)->getText()));
}

TEST_F(TextSearch, AWordCoveredWholeIsTakenWhole)
{
    ASSERT_TRUE(searcher->search(0, 2, result));
    EXPECT_EQ((std::vector<const TextZone*>{he}), zonesOf(result));
    EXPECT_EQ(0u, result.firstOffset);
    EXPECT_EQ(2u, result.lastEnd);
    // The word was made without a rectangle of its own: it counts with its characters'.
    EXPECT_EQ(unionOf({h->rect, e->rect}), result.boundingRect);

    ASSERT_TRUE(searcher->search(2, 10, result));
    EXPECT_EQ((std::vector<const TextZone*>{llo, world}), zonesOf(result));
    EXPECT_EQ(unionOf({llo->rect, world->rect}), result.boundingRect);
}

TEST_F(TextSearch, RangesAcrossZonesTakeTheLeavesInvolved)
{
    // "ell": the character e, then the word "llo ".
    ASSERT_TRUE(searcher->search(1, 3, result));
    EXPECT_EQ((std::vector<const TextZone*>{e, llo}), zonesOf(result));
    EXPECT_EQ(0u, result.firstOffset);
    EXPECT_EQ(2u, result.lastEnd);
    EXPECT_EQ(unionOf({e->rect, llo->rect}), result.boundingRect);
    // "lo wo": inside "llo " and "world\n", offsets counted from each zone's own start.
    ASSERT_TRUE(searcher->search(3, 5, result));
    EXPECT_EQ((std::vector<const TextZone*>{llo, world}), zonesOf(result));
    EXPECT_EQ(1u, result.firstOffset);
    EXPECT_EQ(2u, result.lastEnd);
    // "d\n€u": across the lines.
    ASSERT_TRUE(searcher->search(10, 6, result));
    EXPECT_EQ((std::vector<const TextZone*>{world, euro}), zonesOf(result));
    EXPECT_EQ(4u, result.firstOffset);
    EXPECT_EQ(4u, result.lastEnd);
    EXPECT_EQ(unionOf({world->rect, euro->rect}), result.boundingRect);
}

TEST_F(TextSearch, WholeLinesAndTheWholePage)
{
    ASSERT_TRUE(searcher->search(0, 12, result));
    EXPECT_EQ((std::vector<const TextZone*>{line1}), zonesOf(result));
    ASSERT_TRUE(searcher->search(0, 21, result));
    EXPECT_EQ((std::vector<const TextZone*>{page.get()}), zonesOf(result));
    EXPECT_EQ(page->getBoundingRect(), result.boundingRect);
    ASSERT_TRUE(searcher->search(0, 0xFFFFFFFFu, result));
    EXPECT_EQ((std::vector<const TextZone*>{page.get()}), zonesOf(result));
    // Part of line 1 and all of line 2.
    ASSERT_TRUE(searcher->search(8, 13, result));
    EXPECT_EQ((std::vector<const TextZone*>{world, line2}), zonesOf(result));
    EXPECT_EQ(2u, result.firstOffset);
    EXPECT_EQ(9u, result.lastEnd);
}

TEST_F(TextSearch, EmptyRangesFindOnlyTheZoneAroundThem)
{
    ASSERT_TRUE(searcher->search(3, 0, result));
    EXPECT_EQ((std::vector<const TextZone*>{llo}), zonesOf(result));
    EXPECT_EQ(1u, result.firstOffset);
    EXPECT_EQ(1u, result.lastEnd);
    for (uint32_t boundary : {0u, 1u, 2u, 6u, 12u, 19u, 21u}) {
        EXPECT_FALSE(searcher->search(boundary, 0, result)) << boundary;
        EXPECT_EQ(0u, result.zones.count());
    }
}

TEST_F(TextSearch, RangesBeyondTheText)
{
    result.firstOffset = 77;
    result.lastEnd = 88;
    result.boundingRect = Rect{1, 2, 3, 4};
    for (uint32_t offset : {21u, 22u, 1000u, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(searcher->search(offset, 0x20, result)) << offset;
        EXPECT_EQ(0u, result.zones.count());
    }
    // A failed search leaves the other fields alone.
    EXPECT_EQ(77u, result.firstOffset);
    EXPECT_EQ(88u, result.lastEnd);
    EXPECT_EQ((Rect{1, 2, 3, 4}), result.boundingRect);
    // A range that runs past the end ends with the whole of the last zone.
    ASSERT_TRUE(searcher->search(19, 10, result));
    EXPECT_EQ((std::vector<const TextZone*>{ok}), zonesOf(result));
    EXPECT_EQ(2u, result.lastEnd);
}

TEST_F(TextSearch, ASecondSearchReplacesTheZones)
{
    ASSERT_TRUE(searcher->search(1, 3, result));
    ASSERT_TRUE(searcher->search(19, 2, result));
    EXPECT_EQ((std::vector<const TextZone*>{ok}), zonesOf(result));
}

TEST_F(TextSearch, TheSearcherKeepsTheZonesAlive)
{
    AutoPtr<TextSearcher> s = TextSearcher::create(*page);
    page = AutoPtr<TextZone>();
    ASSERT_TRUE(s->search(19, 2, result));
    EXPECT_EQ("ok", str(result.zones[0]->text));
}

TEST(TextSearchTree, OwnTextWinsOverChildrenAndEmptyZonesCarryNothing)
{
    AutoPtr<TextZone> page = TextZone::create(TextZone::zonePage);
    AutoPtr<TextZone> word = zone(TextZone::zoneWord, Rect{5, 5, 10, 10}, "ab");
    add(word, zone(TextZone::zoneCharacter, Rect{0, 0, 5, 10}, "xyz")); // not part of the search tree
    AutoPtr<TextZone> empty = TextZone::create(TextZone::zoneWord);
    AutoPtr<TextZone> last = zone(TextZone::zoneWord, Rect{20, 5, 10, 10}, "cd");
    add(page, word);
    add(page, empty);
    add(page, last);
    AutoPtr<TextSearcher> s = page->createSearcher();
    TextSearchResult result;
    // "bc": the word with its own text (taken as a leaf), then the last word; the empty one between them
    // carries no byte and its unset rectangle stays out of the bounding rectangle.
    ASSERT_TRUE(s->search(1, 2, result));
    EXPECT_EQ((std::vector<const TextZone*>{word.get(), last.get()}), zonesOf(result));
    EXPECT_EQ(1u, result.firstOffset);
    EXPECT_EQ(1u, result.lastEnd);
    EXPECT_EQ((Rect{5, 5, 25, 10}), result.boundingRect);
}

TEST(TextSearchTree, TreesNestedBeyondTheFormatAreRefused)
{
    AutoPtr<TextZone> root = TextZone::create(TextZone::zonePage);
    AutoPtr<TextZone> z = root;
    for (uint32_t i = 0; i < TextZone::maxDepth + 5; ++i) {
        AutoPtr<TextZone> child = TextZone::create(TextZone::zoneRegion);
        add(z, child);
        z = child;
    }
    z->text = "deep";
    expectThrow([&] { root->createSearcher(); }, Morvenix::errInvalidParam);
}

// Random trees and ranges against an independent account of every zone's span: the taken zones are in text
// order, cover the range without gaps, and none could be replaced by its parent.
void spans(const TextZone& inZone, uint64_t& ioNext, std::map<const TextZone*, std::pair<uint64_t, uint64_t>>& out,
           std::map<const TextZone*, const TextZone*>& outParent)
{
    uint64_t start = ioNext;
    if (!inZone.text.isEmpty()) {
        ioNext += inZone.text.getLength();
    } else {
        for (const AutoPtr<TextZone>& c : inZone.children) {
            outParent[c.get()] = &inZone;
            spans(*c, ioNext, out, outParent);
        }
    }
    out[&inZone] = {start, ioNext};
}

AutoPtr<TextZone> randomTree(std::mt19937& rng, int inDepth)
{
    AutoPtr<TextZone> z = TextZone::create(TextZone::zonePage + inDepth);
    z->rect = Rect{int32_t(rng() % 500), int32_t(rng() % 500), int32_t(rng() % 50), int32_t(rng() % 50)};
    if (inDepth == 6 || rng() % 4 == 0) {
        static const char* texts[] = {"", "a", "bc", "\xC3\xA9t\xC3\xA9", "word ", "\n"};
        z->text = texts[rng() % 6];
        return z;
    }
    for (int n = rng() % 4; n > 0; --n)
        add(z, randomTree(rng, inDepth + 1));
    return z;
}

TEST(TextSearchTree, RandomTreesAndRanges)
{
    std::mt19937 rng(2141);
    for (int t = 0; t < 200; ++t) {
        AutoPtr<TextZone> root = randomTree(rng, 0);
        std::map<const TextZone*, std::pair<uint64_t, uint64_t>> span;
        std::map<const TextZone*, const TextZone*> parent;
        uint64_t total = 0;
        spans(*root, total, span, parent);
        AutoPtr<TextSearcher> s = root->createSearcher();
        ASSERT_EQ(total, s->getText().getLength());
        for (int q = 0; q < 50; ++q) {
            uint64_t offset = rng() % (total + 3), length = rng() % (total + 3);
            uint64_t end = offset + length;
            TextSearchResult result;
            bool found = s->search(uint32_t(offset), uint32_t(length), result);
            // An empty range lies strictly inside the text of one zone, or finds nothing.
            bool expected = length ? offset < total : false;
            for (auto& kv : span) {
                if (length == 0 && !kv.first->text.isEmpty())
                    expected = expected || (kv.second.first < offset && offset < kv.second.second);
            }
            ASSERT_EQ(expected, found) << t << " " << offset << "+" << length;
            if (!found)
                continue;
            uint64_t covered = span[result.zones[0].get()].first;
            EXPECT_LE(covered, offset);
            for (const AutoPtr<TextZone>& z : result.zones) {
                auto sp = span[z.get()];
                EXPECT_EQ(covered, sp.first) << "gap or overlap";
                covered = sp.second;
                // Taken whole only when no ancestor lies wholly in the range.
                if (parent.count(z.get())) {
                    auto pp = span[parent[z.get()]];
                    EXPECT_FALSE(offset <= pp.first && pp.second <= end && pp.first < pp.second);
                }
            }
            EXPECT_GE(covered, std::min(end, total));
            auto first = span[result.zones[0].get()], last = span[result.zones[result.zones.count() - 1].get()];
            EXPECT_EQ(offset - first.first, result.firstOffset);
            EXPECT_EQ(last.second < end ? last.second - last.first : end - last.first, result.lastEnd);
        }
    }
}

} // namespace
