#include "capture_records.h"
#include "capture_zones.h"
#include "render_support.h"

#include "bp_textcapture.h"
#include "bp_useroutput.h"
#include "djv_mapareas.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace CaptureTest;
using namespace RenderTest;
using Morvenix::AutoPtr;
using Morvenix::Rect;
using Morvenix::DjVu::MapRect;
using Morvenix::DjVu::TextZone;

namespace {

// A mapping mode a page is drawn in, with a font size and a text position in its logical units (y down
// the page is negative where y grows upward).
struct Mapping {
    const char* name;
    int mode;
    int32_t fontHeight;
    int32_t x, y;      // where the first line's reference point lies
    int32_t lineStep;  // from one line to the next, down the page
};

const Mapping kMappings[] = {
    {"MM_TEXT", MM_TEXT, 20, 10, 20, 40},
    {"MM_TWIPS", MM_TWIPS, 300, 150, -300, -600},
    {"MM_LOMETRIC", MM_LOMETRIC, 53, 26, -53, -106},
    {"MM_HIMETRIC", MM_HIMETRIC, 529, 265, -529, -1058},
};

void PrintTo(const Mapping& inMapping, std::ostream* outStream)
{
    *outStream << inMapping.name;
}

HFONT makeFont(int32_t inHeight, int32_t inEscapement = 0)
{
    return CreateFontW(-inHeight, 0, inEscapement, inEscapement, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH,
                       L"Liberation Sans");
}

// Text in the mapping's units, drawn from its top-left corner on a transparent background; the caller
// deletes the font once the drawing is finished.
HFONT startText(HDC inDC, const Mapping& inMapping)
{
    SetMapMode(inDC, inMapping.mode);
    HFONT font = makeFont(inMapping.fontHeight);
    SelectObject(inDC, font);
    SetBkMode(inDC, TRANSPARENT);
    SetTextAlign(inDC, TA_TOP | TA_LEFT);
    return font;
}

// The page's ink: how much of it lies inside the character boxes (grown by a pixel for the glyphs'
// rounding), and the characters whose box holds none.
struct InkCover {
    int64_t ink = 0;
    int64_t covered = 0;
    std::vector<std::string> empty;
};

InkCover inkCover(const T_Image& inImage, const TextZone& inPage)
{
    InkCover cover;
    const std::vector<const TextZone*> all = characters(inPage);
    std::vector<uint8_t> inBox(size_t(inImage.GetWidth()) * inImage.GetHeight(), 0);
    for (const TextZone* c : all) {
        const Rect& r = c->rect;
        if (countInked(inImage, r.x, r.y, int32_t(r.right()), int32_t(r.bottom())) == 0)
            cover.empty.push_back(textOf(*c));
        for (int32_t y = std::max(r.y - 1, 0); y < std::min<int64_t>(r.bottom() + 1, inImage.GetHeight()); ++y)
            for (int32_t x = std::max(r.x - 1, 0); x < std::min<int64_t>(r.right() + 1, inImage.GetWidth()); ++x)
                inBox[size_t(y) * inImage.GetWidth() + x] = 1;
    }
    for (int32_t y = 0; y < inImage.GetHeight(); ++y)
        for (int32_t x = 0; x < inImage.GetWidth(); ++x)
            if (pixel(inImage, x, y) != 0xFFFFFF) {
                ++cover.ink;
                cover.covered += inBox[size_t(y) * inImage.GetWidth() + x];
            }
    return cover;
}

class CaptureRenderTest : public ::testing::TestWithParam<Mapping> {};

TEST_P(CaptureRenderTest, TextLandsOnItsPixels)
{
    const Mapping& m = GetParam();
    PageDrawing drawing;
    HDC dc = drawing.dc();
    HFONT font = startText(dc, m);
    TextOutW(dc, m.x, m.y, L"Hello world", 11);
    SetTextAlign(dc, TA_BASELINE | TA_LEFT);
    TextOutW(dc, m.x, m.y + 2 * m.lineStep, L"Quick fox", 9);
    // Centred on a point, and ending at one.
    SetTextAlign(dc, TA_BASELINE | TA_CENTER);
    TextOutW(dc, m.x * 8, m.y + 3 * m.lineStep, L"centred", 7);
    SetTextAlign(dc, TA_BOTTOM | TA_RIGHT);
    TextOutW(dc, m.x * 8, m.y + 4 * m.lineStep, L"right", 5);
    Metafile page = drawing.finish();
    DeleteObject(font);

    const PageRenders r = renderPage(page.get());
    ASSERT_EQ(4u, r.page->children.count()) << m.name;
    EXPECT_EQ((std::vector<std::string>{"Hello world ", "Quick fox ", "centred ", "right"}), childTexts(*r.page))
        << m.name;
    const InkCover cover = inkCover(*r.full, *r.page);
    EXPECT_GT(cover.ink, 1000) << m.name;
    EXPECT_TRUE(cover.empty.empty()) << m.name << ": " << cover.empty.size() << " empty boxes, first '"
                                     << (cover.empty.empty() ? "" : cover.empty[0]) << "'";
    EXPECT_GE(cover.covered, cover.ink * 99 / 100) << m.name;
    // Words and lines enclose their characters; the page its lines.
    for (const auto& line : r.page->children) {
        for (const auto& word : line->children) {
            for (const auto& c : word->children) {
                Rect common{};
                ASSERT_TRUE(IntersectRects(&common, c->rect, word->rect));
                EXPECT_EQ(c->rect, common);
            }
            EXPECT_EQ(word->rect, Morvenix::DjVu::getBoundingRect(word->children));
        }
        EXPECT_EQ(line->rect, Morvenix::DjVu::getBoundingRect(line->children));
    }
    EXPECT_EQ(r.page->rect, Morvenix::DjVu::getBoundingRect(r.page->children));
}

INSTANTIATE_TEST_SUITE_P(MappingModes, CaptureRenderTest, ::testing::ValuesIn(kMappings),
                         [](const ::testing::TestParamInfo<Mapping>& info) { return std::string(info.param.name); });

TEST(CaptureRender, TextTurnedAQuarterIsCapturedStandingUp)
{
    PageDrawing drawing;
    HDC dc = drawing.dc();
    HFONT font = makeFont(20, 900);
    SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_BASELINE | TA_LEFT);
    TextOutW(dc, 60, 150, L"Upward", 6);
    Metafile page = drawing.finish();
    DeleteObject(font);

    const PageRenders r = renderPage(page.get());
    ASSERT_EQ(1u, r.page->children.count());
    const Rect line = r.page->children[0]->rect;
    EXPECT_GT(line.height, 2 * line.width);
    const InkCover cover = inkCover(*r.full, *r.page);
    EXPECT_TRUE(cover.empty.empty());
    EXPECT_GE(cover.covered, cover.ink * 99 / 100);
    // The first character is the lowest.
    const std::vector<const TextZone*> all = characters(*r.page);
    ASSERT_EQ(6u, all.size());
    EXPECT_GT(all[0]->rect.y, all[5]->rect.y);
}

// Wine records text only as EMR_EXTTEXTOUTW: the 8-bit and the small records and the poly-text record
// are put into the metafile by hand, after a font is selected. Wine does not draw EMR_SMALLTEXTOUT
// (Windows does): its boxes are held against the same text drawn as EMR_EXTTEXTOUTW.
TEST(CaptureRender, HandMadeTextRecordsAreCapturedAndPolyTextIsNot)
{
    PageDrawing drawing(5080, 7620);
    HDC dc = drawing.dc();
    HFONT font = makeFont(20);
    SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_TOP | TA_LEFT);
    // "Ansi text" and "Poly text" are both nine characters long.
    auto advancesOf = [&](const wchar_t* inText) {
        INT extents[9];
        SIZE size;
        GetTextExtentExPointW(dc, inText, 9, 0, nullptr, extents, &size);
        std::vector<int32_t> advances(9);
        for (int i = 0; i < 9; ++i)
            advances[i] = extents[i] - (i ? extents[i - 1] : 0);
        return advances;
    };
    const std::vector<int32_t> advances = advancesOf(L"Ansi text"), polyAdvances = advancesOf(L"Poly text");
    TextOutW(dc, 10, 10, L"Wide", 4);
    TextOutW(dc, 10, 220, L"Small wide", 10);
    Metafile drawn = drawing.finish();
    DeleteObject(font);

    // EMR_POLYTEXTOUTW (97): bounds, graphics mode, scales, one string and its EMRTEXT (80 bytes into the
    // record so far), then its text and advances.
    Bytes poly = RenderTest::words({0, 0, 0, 0, GM_COMPATIBLE, 0, 0, 1, 10, 160, 9, 80, 0, 0, 0, 0, 0, 80 + 20});
    const Bytes polyText = wideBytes(L"Poly text");
    poly.insert(poly.end(), polyText.begin(), polyText.end());
    poly.resize(poly.size() + 2);
    for (int32_t advance : polyAdvances)
        appendValue(poly, advance);
    const Metafile page = metafileFromBytes(spliceRecords(
        metafileBytes(drawn.get()),
        {extTextOutA({10, 40}, "Ansi text", advances), smallTextOut({10, 70}, L"Small wide", 0x100),
         smallTextOut({10, 100}, L"Small 8-bit", 0x300), smallTextOut({10, 130}, L"Clipped", 0, {0, 0, 500, 500}),
         makeRecord(EMR_POLYTEXTOUTW, poly)}));
    ASSERT_NE(nullptr, page.get());

    const PageRenders r = renderPage(page.get());
    ASSERT_EQ((std::vector<std::string>{"Wide ", "Small wide ", "Ansi text ", "Small wide ", "Small 8-bit ",
                                        "Clipped"}),
              childTexts(*r.page));
    // The poly-text is drawn in both passes: background, and no hidden text.
    const double s = r.scale;
    const int64_t polyInk = countInked(*r.full, 0, int32_t(158 * s), int32_t(200 * s), int32_t(185 * s));
    EXPECT_GT(polyInk, 0);
    EXPECT_EQ(polyInk, countInked(*r.plain, 0, int32_t(158 * s), int32_t(200 * s), int32_t(185 * s)));
    const InkCover cover = inkCover(*r.full, *r.page);
    EXPECT_GE(cover.covered, (cover.ink - polyInk) * 99 / 100);
    EXPECT_LE(cover.covered, cover.ink - polyInk);
    for (uint32_t line = 0; line < 3; ++line)
        for (const TextZone* c : characters(*r.page->children[line])) {
            const Rect& box = c->rect;
            EXPECT_GT(countInked(*r.full, box.x, box.y, int32_t(box.right()), int32_t(box.bottom())), 0)
                << "line " << line << " '" << textOf(*c) << "'";
        }
    const std::vector<const TextZone*> wide = characters(*r.page->children[1]);
    const std::vector<const TextZone*> small = characters(*r.page->children[3]);
    ASSERT_EQ(wide.size(), small.size());
    // The small record has no advances: it is measured at the image's resolution, where the recorder
    // measured at the screen's, so the cells drift apart by a pixel or so a character.
    const int32_t shift = wide[0]->rect.y - small[0]->rect.y;
    EXPECT_NEAR((220 - 70) * s, shift, 2);
    for (size_t i = 0; i < wide.size(); ++i) {
        EXPECT_NEAR(wide[i]->rect.x, small[i]->rect.x, 1.5 * i + 1) << i;
        EXPECT_NEAR(wide[i]->rect.width, small[i]->rect.width, 4) << i;
        EXPECT_EQ(wide[i]->rect.height, small[i]->rect.height) << i;
        EXPECT_EQ(shift, wide[i]->rect.y - small[i]->rect.y) << i;
    }
}

// The alignment and the font of a run are the ones GDI draws it with: a state restored after a change,
// and a stock font chosen after a turned one.
TEST(CaptureRender, TextTakesTheRestoredAlignmentAndTheStockFont)
{
    PageDrawing drawing;
    HDC dc = drawing.dc();
    HFONT font = makeFont(20);
    SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_TOP | TA_LEFT);
    const int saved = SaveDC(dc);
    SetTextAlign(dc, TA_BASELINE | TA_RIGHT);
    RestoreDC(dc, saved);
    TextOutW(dc, 40, 40, L"Restored", 8);
    HFONT turned = makeFont(20, 900);
    SelectObject(dc, turned);
    SelectObject(dc, GetStockObject(ANSI_VAR_FONT));
    TextOutW(dc, 40, 120, L"Stock", 5);
    Metafile page = drawing.finish();
    DeleteObject(font);
    DeleteObject(turned);

    const PageRenders r = renderPage(page.get());
    EXPECT_EQ((std::vector<std::string>{"Restored ", "Stock"}), childTexts(*r.page));
    const InkCover cover = inkCover(*r.full, *r.page);
    EXPECT_TRUE(cover.empty.empty()) << cover.empty.size() << " empty boxes";
    EXPECT_GE(cover.covered, cover.ink * 99 / 100);
}

// Links as the host marks them: a comment of its own beside the text, in the page's logical units.
TEST(CaptureRender, LinkCommentsBecomeLinkAreasOverTheirText)
{
    for (const Mapping& m : kMappings) {
        PageDrawing drawing;
        HDC dc = drawing.dc();
        HFONT font = startText(dc, m);
        SIZE size;
        GetTextExtentPoint32W(dc, L"Guide", 5, &size);
        TextOutW(dc, m.x, m.y, L"Guide", 5);
        // Top and bottom in the logical direction of the page: y + height is below the text's top only
        // where y grows downward.
        const int32_t bottom = m.mode == MM_TEXT ? m.y + size.cy : m.y - size.cy;
        const Bytes url = linkToUrlData(m.x, m.y, m.x + size.cx, bottom, L"https://example.com/guide");
        GdiComment(dc, UINT(url.size()), url.data());
        const Bytes toPage = linkToPageData(m.x, m.y, m.x + size.cx, bottom, 0);
        GdiComment(dc, UINT(toPage.size()), toPage.data());
        Metafile page = drawing.finish();
        DeleteObject(font);

        const PageRenders r = renderPage(page.get());
        ASSERT_EQ(2u, r.annotation->mapAreas.count()) << m.name;
        const MapRect& link = static_cast<const MapRect&>(*r.annotation->mapAreas[0]);
        EXPECT_EQ("https://example.com/guide", std::string(link.url.c_str()));
        EXPECT_EQ("#1", std::string(r.annotation->mapAreas[1]->url.c_str()));
        ASSERT_EQ(1u, r.page->children.count());
        // The link's rectangle is the text's cell, to a pixel or two of rounding.
        const Rect text = r.page->children[0]->rect;
        EXPECT_NEAR(text.x, link.rect.x, 2) << m.name;
        EXPECT_NEAR(text.y, link.rect.y, 2) << m.name;
        EXPECT_NEAR(text.right(), link.rect.right(), 3 + 0.02 * text.width) << m.name;
        EXPECT_NEAR(text.bottom(), link.rect.bottom(), 3) << m.name;
    }
}

TEST(CaptureRender, ThePlainPassCapturesNothing)
{
    PageDrawing drawing;
    HDC dc = drawing.dc();
    HFONT font = makeFont(20);
    SelectObject(dc, font);
    TextOutW(dc, 10, 10, L"Text", 4);
    const Bytes url = linkToUrlData(0, 0, 10, 10, L"u");
    GdiComment(dc, UINT(url.size()), url.data());
    Metafile page = drawing.finish();
    DeleteObject(font);

    EmfPageRenderer renderer;
    AutoPtr<TextZone> zone = TextZone::create(TextZone::zonePage);
    renderer.Render(page.get(), zone.get(), nullptr, true);
    EXPECT_EQ(1u, zone->children.count());
    renderer.Render(page.get(), nullptr, nullptr, false);
    EXPECT_EQ(1u, zone->children.count());
}

std::wstring g_trace;

void WINAPI collectTrace(const wchar_t* inText)
{
    g_trace += inText;
}

// Text of a page without structure comments is never traced; it must not show up under the next page's.
TEST(CaptureRender, APagesUntracedTextStaysWithItsPage)
{
    auto textPage = [](const wchar_t* inText, bool inStructure) {
        PageDrawing drawing;
        HDC dc = drawing.dc();
        HFONT font = makeFont(20);
        SelectObject(dc, font);
        const Bytes node = structureNodeData(0, 1, 7, 0, 0, true, L"");
        if (inStructure)
            GdiComment(dc, UINT(node.size()), node.data());
        TextOutW(dc, 10, 10, inText, int(wcslen(inText)));
        const Bytes end = hostCommentData(0x20A, RenderTest::words({7}));
        if (inStructure)
            GdiComment(dc, UINT(end.size()), end.data());
        Metafile page = drawing.finish();
        DeleteObject(font);
        return page;
    };
    Metafile first = textPage(L"Old", false);
    Metafile second = textPage(L"New", true);

    g_trace.clear();
    DebugOutputFunction previous = SetDebugOutputFunction(&collectTrace);
    EmfPageRenderer renderer;
    AutoPtr<TextZone> zone = TextZone::create(TextZone::zonePage);
    renderer.Render(first.get(), zone.get(), nullptr, true);
    zone = TextZone::create(TextZone::zonePage);
    renderer.Render(second.get(), zone.get(), nullptr, true);
    SetDebugOutputFunction(previous);
    EXPECT_EQ(std::wstring::npos, g_trace.find(L"Old")) << std::string(g_trace.begin(), g_trace.end());
    EXPECT_NE(std::wstring::npos, g_trace.find(L"TEXT=New")) << std::string(g_trace.begin(), g_trace.end());
}

// The sample report's first page, as LibreOffice draws it: runs of EMR_EXTTEXTOUTW with advances, a
// photo, a table, and the host's link comment over "Brindlepage user guide".
TEST(CaptureRender, TheSampleReportPageReadsInOrderWithItsLink)
{
    const std::vector<uint8_t> file =
        MvxTest::readFile(MvxTest::windowsPath(MvxTest::sourceHostPath("samples/report/pages/page-0001.emf")));
    const Metafile page = metafileFromBytes(file);
    ASSERT_NE(nullptr, page.get());
    const PageRenders r = renderPage(page.get());
    const std::string text = textOf(*r.page);
    const size_t title = text.find("Archiving the yearly reports");
    const size_t body = text.find("This report shows how the office keeps its yearly documents");
    const size_t caption = text.find("The lake behind the office in the spring.");
    // LibreOffice starts a run at the comma behind the link's text.
    EXPECT_NE(std::string::npos, text.find("Brindlepage user guide, which")) << text;
    ASSERT_NE(std::string::npos, title) << text;
    ASSERT_NE(std::string::npos, body) << text;
    ASSERT_NE(std::string::npos, caption) << text;
    EXPECT_LT(title, body);
    EXPECT_LT(body, caption);
    const InkCover cover = inkCover(*r.full, *r.page);
    EXPECT_TRUE(cover.empty.empty()) << cover.empty.size() << " empty boxes";

    ASSERT_EQ(1u, r.annotation->mapAreas.count());
    const MapRect& link = static_cast<const MapRect&>(*r.annotation->mapAreas[0]);
    EXPECT_EQ("https://example.com/brindlepage/guide", std::string(link.url.c_str()));
    // The link lies over the characters of its text.
    std::string linked;
    for (const TextZone* c : characters(*r.page)) {
        Rect common{};
        if (IntersectRects(&common, c->rect, link.rect) && common.width * 2 > c->rect.width)
            linked += textOf(*c);
    }
    EXPECT_EQ("Brindlepage user guide", linked.substr(0, linked.find_last_not_of(' ') + 1));
}

} // namespace
