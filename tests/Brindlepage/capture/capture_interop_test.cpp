// The captured text and links as the outside DjVu tools read them: a page of INFO, TXTz and ANTz made from
// a render, printed by djvutxt and djvused.
#include "capture_records.h"
#include "capture_zones.h"
#include "render_support.h"

#include "djv_annotation.h"
#include "djv_data.h"
#include "djvu_page_file.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

using namespace CaptureTest;
using namespace RenderTest;
using Morvenix::AutoPtr;
using Morvenix::DjVu::PageInfo;
using MvxTest::pageFile;

namespace {

Bytes chunkBody(const AutoPtr<Morvenix::DjVu::Chunk>& inChunk)
{
    AutoPtr<Morvenix::DjVu::Data> data = inChunk->getData();
    return Bytes(data->getBuffer(), data->getBuffer() + data->getSize());
}

// A word of djvused's print-txt: its box in the file's system (origin bottom-left) and its characters.
struct PrintedWord {
    int x0, y0, x1, y1;
    std::string text;
};

// The words of "print-txt" output: each (word x0 y0 x1 y1 ...) with the strings of its characters.
std::vector<PrintedWord> printedWords(const std::string& inPrinted)
{
    std::vector<PrintedWord> words;
    const std::regex word(R"re(\(word (\d+) (\d+) (\d+) (\d+)((?:\s*\(char \d+ \d+ \d+ \d+ "(?:[^"\\]|\\.)*"\))*)\s*\))re");
    const std::regex character(R"re(\(char \d+ \d+ \d+ \d+ "((?:[^"\\]|\\.)*)"\))re");
    for (std::sregex_iterator w(inPrinted.begin(), inPrinted.end(), word), end; w != end; ++w) {
        PrintedWord printed{std::stoi((*w)[1]), std::stoi((*w)[2]), std::stoi((*w)[3]), std::stoi((*w)[4]), ""};
        const std::string inner = (*w)[5];
        for (std::sregex_iterator c(inner.begin(), inner.end(), character); c != end; ++c)
            printed.text += (*c)[1];
        words.push_back(printed);
    }
    return words;
}

class CaptureInterop : public MvxTest::HostToolTest {
protected:
    // Renders the page with capture and writes it as a page of INFO, TXTz and ANTz.
    void writeCapturedPage(HENHMETAFILE inPage)
    {
        renders = renderPage(inPage);
        info = PageInfo{uint32_t(renders.full->GetWidth()), uint32_t(renders.full->GetHeight()), 25, 0, 300, 22, 1};
        MvxTest::writeFile(path("page.djvu"),
                           pageFile(info, {{"TXTz", chunkBody(renders.page->makeTXTz(info))},
                                           {"ANTz", chunkBody(renders.annotation->makeANTz(info))}}));
    }
    // Twips, and FACE at 14 pt with text set on its baseline, as the hosts' metafiles draw text: the font,
    // for the caller to delete once the drawing is finished.
    static HFONT selectTextFont(HDC dc, const wchar_t* face)
    {
        SetMapMode(dc, MM_TWIPS);
        HFONT font = CreateFontW(-280, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH, face);
        SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextAlign(dc, TA_BASELINE | TA_LEFT);
        return font;
    }
    // Every printed word lies over ink of the render, and its characters are the zone texts'.
    void expectWordsOverInk(const std::vector<PrintedWord>& inWords)
    {
        for (const PrintedWord& w : inWords) {
            const int32_t top = int32_t(info.height) - w.y1, bottom = int32_t(info.height) - w.y0;
            EXPECT_GT(countInked(*renders.full, w.x0, top, w.x1, bottom), 0) << w.text;
        }
    }

    PageRenders renders;
    PageInfo info{};
};

TEST_F(CaptureInterop, ToolsReadTheTextAndLinksOfADrawnPage)
{
    PageDrawing drawing;
    HDC dc = drawing.dc();
    HFONT font = selectTextFont(dc, L"Liberation Serif");
    TextOutW(dc, 200, -500, L"Searchable words", 16);
    TextOutW(dc, 200, -900, L"on two lines", 12);
    // The link covers the glyph cells of "lines": from the ascent above the baseline to the descent below.
    SIZE size, before;
    GetTextExtentPoint32W(dc, L"lines", 5, &size);
    GetTextExtentPoint32W(dc, L"on two ", 7, &before);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    const int32_t linesX = 200 + before.cx;
    const Bytes link = linkToUrlData(linesX, -900 + metrics.tmAscent, linesX + size.cx, -900 - metrics.tmDescent,
                                     L"https://example.com/lines");
    GdiComment(dc, UINT(link.size()), link.data());
    const Bytes toPage = linkToPageData(200, -300, 1000, -600, 2);
    GdiComment(dc, UINT(toPage.size()), toPage.data());
    Metafile page = drawing.finish();
    DeleteObject(font);
    writeCapturedPage(page.get());

    // A space ends every word the page goes on from, not the page's last one; djvutxt ends the page with a
    // form feed.
    EXPECT_EQ("Searchable words on two lines\n\f", run("djvutxt " + host("page.djvu")));
    const std::string printed = run("djvused " + host("page.djvu") + " -e 'select 1; print-txt'");
    const std::vector<PrintedWord> words = printedWords(printed);
    ASSERT_EQ(5u, words.size()) << printed;
    const char* expected[] = {"Searchable ", "words ", "on ", "two ", "lines"};
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(expected[i], words[i].text);
    // Two lines, one above the other; words in reading order.
    size_t lines = 0;
    for (size_t at = printed.find("(line "); at != std::string::npos; at = printed.find("(line ", at + 1))
        ++lines;
    EXPECT_EQ(2u, lines) << printed;
    EXPECT_GT(words[0].y0, words[2].y1);
    EXPECT_LT(words[0].x1, words[1].x0);
    expectWordsOverInk(words);

    const std::string annotations = run("djvused " + host("page.djvu") + " -e 'select 1; print-ant'");
    EXPECT_NE(std::string::npos, annotations.find("(maparea \"https://example.com/lines\" \"\" (rect ")) << annotations;
    EXPECT_NE(std::string::npos, annotations.find("(maparea \"#3\" \"\" (rect ")) << annotations;
    EXPECT_NE(std::string::npos, annotations.find("(xor)")) << annotations;
    // The link's rectangle holds the word "lines".
    const std::regex rect(R"re(\(maparea "https://example.com/lines" "" \(rect (\d+) (\d+) (\d+) (\d+)\))re");
    std::smatch found;
    ASSERT_TRUE(std::regex_search(annotations, found, rect)) << annotations;
    const int x = std::stoi(found[1]), y = std::stoi(found[2]), w = std::stoi(found[3]), h = std::stoi(found[4]);
    EXPECT_LE(x, words[4].x0 + 2);
    EXPECT_GE(x + w, words[4].x1 - 4);
    EXPECT_LE(y, words[4].y0 + 2);
    EXPECT_GE(y + h, words[4].y1 - 2);
}

// LibreOffice's metafiles give the letters after a ligature's first no advance ("ffi" in "office", "fi" in
// "file", as Carlito joins them). In twips each such letter would get a box of no pixel, for which the tools
// refuse the page's whole text layer; the letters share their glyph's box instead.
TEST_F(CaptureInterop, ToolsReadTheLettersOfALigature)
{
    PageDrawing drawing;
    HDC dc = drawing.dc();
    HFONT font = selectTextFont(dc, L"Carlito");
    const std::wstring text = L"The office file";
    INT advances[] = {150, 140, 130, 70, 140, 330, 0, 0, 120, 130, 70, 230, 0, 70, 130};
    ExtTextOutW(dc, 200, -500, 0, nullptr, text.c_str(), UINT(text.size()), advances);
    Metafile page = drawing.finish();
    DeleteObject(font);
    writeCapturedPage(page.get());

    EXPECT_EQ("The office file\n\f", run("djvutxt " + host("page.djvu")));
    const std::string printed = run("djvused " + host("page.djvu") + " -e 'select 1; print-txt'");
    const std::vector<PrintedWord> words = printedWords(printed);
    ASSERT_EQ(3u, words.size()) << printed;
    EXPECT_EQ("office ", words[1].text);
    EXPECT_EQ("file", words[2].text);

    // Read back by our reader: "ffi" and "fi" are cut into boxes of a letter each, side by side, none empty.
    const Bytes body = MvxTest::findChunk(MvxTest::readFile(path("page.djvu")), "TXTz");
    AutoPtr<Morvenix::DjVu::TextZone> back = Morvenix::DjVu::TextZone::decode(
        *Morvenix::DjVu::Chunk::createFromBytes("TXTz", body.data(), uint32_t(body.size())), info);
    const std::vector<const Morvenix::DjVu::TextZone*> letters = characters(*back);
    ASSERT_EQ(13u, letters.size());
    for (const auto& glyph : {std::make_pair(4, 3), std::make_pair(9, 2)}) { // "ffi" and "fi" among the letters
        const Morvenix::Rect& first = letters[glyph.first]->rect;
        for (int k = 0; k < glyph.second; ++k) {
            const Morvenix::Rect& r = letters[glyph.first + k]->rect;
            SCOPED_TRACE(textOf(*letters[glyph.first + k]));
            EXPECT_GE(r.width, first.width - 1);
            EXPECT_LE(r.width, first.width + 1);
            EXPECT_EQ(first.y, r.y);
            EXPECT_EQ(first.height, r.height);
            if (k) {
                EXPECT_NEAR(letters[glyph.first + k - 1]->rect.right(), r.x, 1);
            }
        }
    }
    for (const Morvenix::DjVu::TextZone* letter : letters)
        EXPECT_GT(letter->rect.width, 1) << textOf(*letter);
}

TEST_F(CaptureInterop, ToolsReadTheSampleReportPage)
{
    const Metafile page = metafileFromBytes(
        MvxTest::readFile(MvxTest::windowsPath(MvxTest::sourceHostPath("samples/report/pages/page-0001.emf"))));
    ASSERT_NE(nullptr, page.get());
    writeCapturedPage(page.get());

    const std::string text = run("djvutxt " + host("page.djvu"));
    const size_t title = text.find("Archiving the yearly reports");
    const size_t link = text.find("Brindlepage user guide");
    const size_t caption = text.find("The lake behind the office in the spring.");
    ASSERT_NE(std::string::npos, title) << text;
    ASSERT_NE(std::string::npos, link) << text;
    ASSERT_NE(std::string::npos, caption) << text;
    EXPECT_LT(title, link);
    EXPECT_LT(link, caption);

    const std::string printed = run("djvused " + host("page.djvu") + " -e 'select 1; print-txt'");
    const std::vector<PrintedWord> words = printedWords(printed);
    ASSERT_GT(words.size(), 50u);
    expectWordsOverInk(words);

    const std::string annotations = run("djvused " + host("page.djvu") + " -e 'select 1; print-ant'");
    EXPECT_NE(std::string::npos, annotations.find("(maparea \"https://example.com/brindlepage/guide\" \"\" (rect "))
        << annotations;
}

} // namespace
