#include "capture_probe.h"
#include "capture_records.h"
#include "capture_zones.h"

#include "bp_textcapture.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace CaptureTest;
using Morvenix::AutoPtr;
using Morvenix::Rect;
using Morvenix::DjVu::TextZone;

namespace {

// Text records handed to the capture over a memory device context in MM_TEXT (logical units are device
// pixels), with a 40-pixel font selected.
class TextRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dc = CreateCompatibleDC(nullptr);
        ASSERT_NE(nullptr, dc);
        font = CreateFontW(-40, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH, L"Liberation Sans");
        previous = SelectObject(dc, font);
        ASSERT_TRUE(GetTextMetricsW(dc, &metrics));
        ascent = metrics.tmAscent;
        descent = metrics.tmDescent;
        ASSERT_GT(ascent, 0);
        page = TextZone::create(TextZone::zonePage);
        EmfPageRendererProbe::startPage(renderer, dc, page.get(), nullptr);
    }
    void TearDown() override
    {
        SelectObject(dc, previous);
        DeleteObject(font);
        DeleteDC(dc);
    }
    void capture(const Bytes& inRecord) { EmfPageRendererProbe::textRecord(renderer, inRecord); }
    const TextZone& line(uint32_t inIndex) const { return *page->children[inIndex]; }
    // A character cell of the default alignment (TA_TOP): from the reference's y down by ascent plus
    // descent, one unit past the advance.
    Rect cell(int32_t inX, int32_t inY, int32_t inAdvance) const
    {
        return Rect{inX, inY, inAdvance + 1, ascent + descent + 1};
    }
    std::vector<Rect> characterRects() const
    {
        std::vector<Rect> rects;
        for (const TextZone* c : characters(*page))
            rects.push_back(c->rect);
        return rects;
    }

    HDC dc = nullptr;
    HFONT font = nullptr;
    HGDIOBJ previous = nullptr;
    TEXTMETRICW metrics{};
    int32_t ascent = 0, descent = 0;
    AutoPtr<TextZone> page;
    EmfPageRenderer renderer;
};

TEST_F(TextRunTest, ASpaceMakesTwoWordsAndEndsTheFirst)
{
    capture(extTextOutW({100, 200}, L"ab cd", {10, 11, 12, 13, 14}));
    ASSERT_EQ(1u, page->children.count());
    const TextZone& l = line(0);
    EXPECT_EQ(TextZone::zoneLine, l.type);
    ASSERT_EQ(2u, l.children.count());
    EXPECT_EQ(TextZone::zoneWord, l.children[0]->type);
    EXPECT_EQ((std::vector<std::string>{"a", "b "}), childTexts(*l.children[0]));
    // Whether a space follows the run's end is for the next run to tell.
    EXPECT_EQ((std::vector<std::string>{"c", "d"}), childTexts(*l.children[1]));
    EXPECT_EQ((std::vector<Rect>{cell(100, 200, 10), cell(110, 200, 11), cell(133, 200, 13), cell(146, 200, 14)}),
              characterRects());
    EXPECT_EQ(TextZone::zoneCharacter, l.children[1]->children[0]->type);
    EXPECT_EQ(l.children[1].get(), EmfPageRendererProbe::lastWord(renderer));
    EXPECT_EQ("ab cd", EmfPageRendererProbe::pageText(renderer));
}

TEST_F(TextRunTest, ARunWithoutSeparatorIsOneWordWithoutASpace)
{
    capture(extTextOutW({0, 0}, L"abc", {10, 10, 10}));
    ASSERT_EQ(1u, page->children.count());
    ASSERT_EQ(1u, line(0).children.count());
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), childTexts(*line(0).children[0]));
    EXPECT_EQ(line(0).children[0].get(), EmfPageRendererProbe::lastWord(renderer));
}

TEST_F(TextRunTest, ALeadingSeparatorSpacesTheLastWordOfAnEarlierRun)
{
    capture(extTextOutW({0, 0}, L"ab cd", {10, 10, 10, 10, 10}));
    TextZone* earlier = EmfPageRendererProbe::lastWord(renderer);
    ASSERT_NE(nullptr, earlier);
    // Whatever took the earlier word's space away, the next run's leading separator puts one back, once.
    earlier->children[1]->text = "b";
    capture(extTextOutW({0, 100}, L"  ef", {10, 10, 10, 10}));
    EXPECT_EQ("b ", textOf(*earlier->children[1]));
    ASSERT_EQ(2u, page->children.count());
    ASSERT_EQ(1u, line(1).children.count());
    EXPECT_EQ("ef", textOf(line(1)));
    EXPECT_EQ(cell(20, 100, 10), line(1).children[0]->children[0]->rect);
}

// Hosts split runs before punctuation and inside words as well as between words: the hidden text reads
// as the page does, with a space only where the next run starts apart from the last one's end.
TEST_F(TextRunTest, RunsAreSpacedOnlyWhereTheyLeaveAGap)
{
    const struct {
        const char* name;
        const wchar_t* first;
        const wchar_t* second;
        int32_t gap; // from the first run's end to the second's start, on the same baseline
        int32_t down; // how far below the first run the second one lies
        const char* text;
    } cases[] = {
        {"comma", L"user guide", L", which", 0, 0, "user guide, which"},
        {"full stop", L"the end", L".", 0, 0, "the end."},
        {"parenthesis", L"(see page 3", L")", 0, 0, "(see page 3)"},
        {"inside a word", L"Arch", L"iving", 0, 0, "Archiving"},
        {"kerned closer", L"Arch", L"iving", -2, 0, "Archiving"},
        // A cell ends one past its advance: 4 units on leave 3 pixels between the cells.
        {"three pixels apart", L"Arch", L"iving", 4, 0, "Archiving"},
        {"four pixels apart", L"user", L"guide", 5, 0, "user guide"},
        {"a space's width apart", L"user", L"guide", 12, 0, "user guide"},
        {"next line", L"yearly", L"reports", -60, 80, "yearly reports"},
        {"led by a space", L"user", L" guide", 0, 0, "user guide"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        page = TextZone::create(TextZone::zonePage);
        EmfPageRendererProbe::startPage(renderer, dc, page.get(), nullptr);
        const std::wstring first = c.first, second = c.second;
        capture(extTextOutW({100, 200}, first, std::vector<int32_t>(first.size(), 10)));
        const int32_t end = 100 + 10 * int32_t(first.size());
        capture(extTextOutW({end + c.gap, 200 + c.down}, second, std::vector<int32_t>(second.size(), 10)));
        FinishZoneGeometry(page.get());
        EXPECT_EQ(c.text, textOf(*page));
    }
}

TEST_F(TextRunTest, SeparatorsAloneAddNoLine)
{
    capture(extTextOutW({0, 0}, L" \t\x00A0\x3000\x2009", {5, 5, 5, 5, 5}));
    EXPECT_EQ(0u, page->children.count());
    EXPECT_TRUE(EmfPageRendererProbe::pageText(renderer).empty());
}

TEST_F(TextRunTest, RecordsWithoutCharactersAddNothing)
{
    capture(extTextOutW({0, 0}, L"", {}));
    capture(extTextOutW({0, 0}, L"ab", {10, 10}, ETO_GLYPH_INDEX));
    capture(extTextOutA({0, 0}, "ab", {10, 10}, ETO_GLYPH_INDEX));
    capture(smallTextOut({0, 0}, L"", 0x100));
    capture(smallTextOut({0, 0}, L"ab", 0x100 | ETO_GLYPH_INDEX));
    // A NUL in the first unit ends the text before it starts.
    capture(extTextOutW({0, 0}, std::wstring(L"\0ab", 3), {10, 10, 10}));
    EXPECT_EQ(0u, page->children.count());
}

TEST_F(TextRunTest, ANulEndsTheRun)
{
    capture(extTextOutW({0, 0}, std::wstring(L"ab\0cd", 5), {10, 10, 10, 10, 10}));
    ASSERT_EQ(1u, page->children.count());
    EXPECT_EQ("ab", textOf(line(0)));
}

TEST_F(TextRunTest, NothingIsCapturedWithoutAPageZone)
{
    EmfPageRendererProbe::startPage(renderer, dc, nullptr, nullptr);
    capture(extTextOutW({0, 0}, L"ab", {10, 10}));
    renderer.CaptureTextRun(dc, L"ab", 2, POINT{0, 0}, nullptr);
    EXPECT_EQ(0u, page->children.count());
}

TEST_F(TextRunTest, TheAnsiRecordReadsLikeTheWideOne)
{
    capture(extTextOutW({100, 200}, L"ab cd\x00E9", {10, 11, 12, 13, 14, 15}));
    capture(extTextOutA({100, 200}, "ab cd\xE9", {10, 11, 12, 13, 14, 15}));
    ASSERT_EQ(2u, page->children.count());
    EXPECT_EQ("ab cd\xC3\xA9", textOf(line(1)));
    const std::vector<const TextZone*> all = characters(*page);
    ASSERT_EQ(10u, all.size());
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(all[i]->rect, all[i + 5]->rect) << i;
}

TEST_F(TextRunTest, XAndYAdvancesArePairedPerCharacter)
{
    capture(extTextOutW({0, 0}, L"abc", {10, -3, 20, 7, 30, 0}, ETO_PDY));
    EXPECT_EQ((std::vector<Rect>{cell(0, 0, 10), cell(10, 0, 20), cell(30, 0, 30)}), characterRects());
}

TEST_F(TextRunTest, ARunWithoutAdvancesIsMeasuredOnTheDeviceContext)
{
    const std::wstring text = L"Wig wam";
    INT extents[7];
    SIZE size;
    ASSERT_TRUE(GetTextExtentExPointW(dc, text.c_str(), 7, 0, nullptr, extents, &size));
    capture(extTextOutW({50, 60}, text, {}));
    const std::vector<Rect> rects = characterRects();
    ASSERT_EQ(6u, rects.size());
    EXPECT_EQ(cell(50, 60, extents[0]), rects[0]);
    EXPECT_EQ(cell(50 + extents[1], 60, extents[2] - extents[1]), rects[2]);
    EXPECT_EQ(cell(50 + extents[3], 60, extents[4] - extents[3]), rects[3]);
    EXPECT_EQ(cell(50 + extents[5], 60, extents[6] - extents[5]), rects[5]);
}

TEST_F(TextRunTest, SmallTextOutInItsFourForms)
{
    const std::wstring text = L"Hi yo";
    INT extents[5];
    SIZE size;
    ASSERT_TRUE(GetTextExtentExPointW(dc, text.c_str(), 5, 0, nullptr, extents, &size));
    for (uint32_t options : {0u, 0x100u, 0x200u, 0x300u}) {
        page = TextZone::create(TextZone::zonePage);
        EmfPageRendererProbe::startPage(renderer, dc, page.get(), nullptr);
        capture(smallTextOut({30, 40}, text, options, RECTL{1, 2, 3, 4}));
        ASSERT_EQ(1u, page->children.count()) << options;
        EXPECT_EQ("Hi yo", textOf(line(0))) << options;
        const std::vector<Rect> rects = characterRects();
        ASSERT_EQ(4u, rects.size());
        EXPECT_EQ(cell(30, 40, extents[0]), rects[0]) << options;
        EXPECT_EQ(cell(30 + extents[3], 40, extents[4] - extents[3]), rects[3]) << options;
    }
}

TEST_F(TextRunTest, ASurrogatePairIsOneCharacterAndALoneSurrogateNone)
{
    capture(extTextOutW({0, 0}, L"a\xD83D\xDE00" L"b\xDC00" L"c", {10, 7, 8, 12, 5, 6}));
    const std::vector<const TextZone*> all = characters(*page);
    ASSERT_EQ(5u, all.size());
    EXPECT_EQ("\xF0\x9F\x98\x80", textOf(*all[1]));
    EXPECT_EQ(cell(10, 0, 15), all[1]->rect);
    EXPECT_EQ(cell(25, 0, 12), all[2]->rect);
    EXPECT_EQ("\xEF\xBF\xBD", textOf(*all[3]));
    EXPECT_EQ(cell(42, 0, 6), all[4]->rect);
}

TEST_F(TextRunTest, LeadingByteOrderMarkUnitsAreCharactersOfTheText)
{
    capture(extTextOutW({0, 0}, L"\xFEFF" L"ab", {0, 10, 10}));
    capture(extTextOutW({0, 100}, L"\xFFFE" L"ab", {0, 10, 10}));
    ASSERT_EQ(2u, page->children.count());
    EXPECT_EQ("\xEF\xBB\xBF" "ab", textOf(line(0)));
    EXPECT_EQ("\xEF\xBF\xBE" "ab", textOf(line(1)));
}

// A glyph that stands for several letters (a ligature: "fi", "ffi") comes with its advance on the first of
// them and none on the others: the letters share its cell, split evenly. A letter of no advance goes with
// the glyph before it, or at a word's start with the one after it; separators keep their own advance.
TEST_F(TextRunTest, TheLettersOfAGlyphShareItsAdvance)
{
    const struct {
        const wchar_t* text;
        std::vector<int32_t> advances;
        std::vector<std::pair<int32_t, int32_t>> cells; // each letter's start from the reference, and advance
    } cases[] = {
        {L"fi", {20, 0}, {{0, 10}, {10, 10}}},
        {L"office", {10, 20, 0, 0, 10, 10}, {{0, 10}, {10, 6}, {16, 7}, {23, 7}, {30, 10}, {40, 10}}},
        {L"e\x0301 x", {10, 0, 5, 10}, {{0, 5}, {5, 5}, {15, 10}}},
        {L"\x0301" L"ab", {0, 10, 10}, {{0, 5}, {5, 5}, {10, 10}}},
        {L"ab", {0, 0}, {{0, 0}, {0, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
        page = TextZone::create(TextZone::zonePage);
        EmfPageRendererProbe::startPage(renderer, dc, page.get(), nullptr);
        capture(extTextOutW({100, 200}, c.text, c.advances));
        std::vector<Rect> expected;
        for (const auto& letter : c.cells)
            expected.push_back(cell(100 + letter.first, 200, letter.second));
        EXPECT_EQ(expected, characterRects());
    }
}

// Whatever the advances (none, negative, beyond any page) and however far the mapping shrinks a cell, every
// zone of the page has an area and lies inside its parent: readers refuse the whole text layer otherwise.
TEST_F(TextRunTest, NoZoneIsEmptyOrOutsideItsParent)
{
    // Ten logical units a pixel; a page of 200 x 100 pixels.
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 1000, 1000, nullptr);
    SetViewportExtEx(dc, 100, 100, nullptr);
    EmfPageRendererProbe::setPageImage(renderer, 200, 100);
    const struct {
        POINT reference;
        uint32_t align;
        const wchar_t* text;
        std::vector<int32_t> advances;
    } cases[] = {
        {{100, 100}, TA_TOP, L"abc", {1, 1, 1}},
        {{100, 300}, TA_BASELINE, L"office", {50, 100, 0, 0, 50, 50}},
        {{100, 500}, TA_TOP, L"ab cd", {0, 0, 0, 0, 0}},
        {{1000, 700}, TA_TOP, L"abc", {-300, -1, 500}},
        {{1000, 700}, TA_RIGHT, L"abc", {INT32_MAX, INT32_MAX, 3}},
        {{1000, 900}, TA_CENTER, L"abc", {INT32_MIN, 7, INT32_MAX}},
        {{1995, 995}, TA_TOP, L"abc", {0, 1, 0}},
    };
    for (const auto& c : cases) {
        EmfPageRendererProbe::setTextAlign(renderer, c.align);
        capture(extTextOutW(c.reference, c.text, c.advances));
    }
    FinishZoneGeometry(page.get());
    ASSERT_GT(characters(*page).size(), 10u);
    const std::function<void(const TextZone&, const Rect&)> check = [&](const TextZone& inZone, const Rect& inParent) {
        SCOPED_TRACE(textOf(inZone));
        const Rect& r = inZone.rect;
        EXPECT_GE(r.width, 1);
        EXPECT_GE(r.height, 1);
        EXPECT_GE(r.x, inParent.x);
        EXPECT_GE(r.y, inParent.y);
        EXPECT_LE(r.right(), inParent.right());
        EXPECT_LE(r.bottom(), inParent.bottom());
        for (const AutoPtr<TextZone>& child : inZone.children)
            check(*child, r);
    };
    check(*page, Rect{0, 0, 200, 100});
}

// A box ends one past its last pixel: one that ends at the page's left edge has nothing on the page.
TEST_F(TextRunTest, CharactersOffThePageAreLeftOut)
{
    EmfPageRendererProbe::setPageImage(renderer, 100, 100);
    capture(extTextOutW({-31, 10}, L"abc", {10, 20, 10}));
    EXPECT_EQ((std::vector<Rect>{Rect{0, 10, 10, ascent + descent + 1}}), characterRects());
    EXPECT_EQ("c", textOf(line(0)));
}

TEST_F(TextRunTest, AlignmentPlacesTheCellsAroundTheReference)
{
    MoveToEx(dc, 500, 600, nullptr);
    const struct {
        uint32_t align;
        int32_t x, y;
    } cases[] = {
        {TA_TOP | TA_LEFT, 100, 200},
        {TA_BASELINE | TA_LEFT, 100, 200 - ascent},
        {TA_BOTTOM | TA_LEFT, 100, 200 - ascent - descent},
        // The run is 30 units long: right alignment ends it at the reference, centring halves that.
        {TA_BASELINE | TA_RIGHT, 70, 200 - ascent},
        {TA_BASELINE | TA_CENTER, 85, 200 - ascent},
        {TA_TOP | TA_LEFT | TA_UPDATECP, 500, 600},
        {TA_BASELINE | TA_CENTER | TA_UPDATECP, 485, 600 - ascent},
    };
    for (const auto& c : cases) {
        page = TextZone::create(TextZone::zonePage);
        EmfPageRendererProbe::startPage(renderer, dc, page.get(), nullptr);
        EmfPageRendererProbe::setTextAlign(renderer, c.align);
        capture(extTextOutW({100, 200}, L"ab", {10, 20}));
        EXPECT_EQ((std::vector<Rect>{cell(c.x, c.y, 10), cell(c.x + 10, c.y, 20)}), characterRects()) << c.align;
    }
}

TEST_F(TextRunTest, CellsGoToDevicePixelsThroughTheMapping)
{
    // Twips on a 1440-dpi device: one logical unit a pixel, y upward.
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 1000, 1000, nullptr);
    SetViewportExtEx(dc, 2000, -2000, nullptr);
    SetViewportOrgEx(dc, 0, 1000, nullptr);
    TEXTMETRICW scaled{};
    GetTextMetricsW(dc, &scaled);
    EmfPageRendererProbe::setTextAlign(renderer, TA_BASELINE | TA_LEFT);
    capture(extTextOutW({100, 300}, L"ab", {10, 20}));
    const std::vector<Rect> rects = characterRects();
    ASSERT_EQ(2u, rects.size());
    // The baseline is at device y 1000 - 600; the cell stands on it, above it on the page.
    const int32_t baseline = 1000 - 600;
    EXPECT_EQ(200, rects[0].x);
    EXPECT_EQ(22, rects[0].width);
    EXPECT_EQ(baseline - 2 * (scaled.tmAscent + 1), rects[0].y);
    EXPECT_EQ(baseline + 2 * scaled.tmDescent, rects[0].y + rects[0].height);
    EXPECT_EQ(220, rects[1].x);
}

} // namespace
