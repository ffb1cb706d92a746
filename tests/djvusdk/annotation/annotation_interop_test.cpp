// Interoperability with djvused and djvutoxml of djvulibre-bin: pages carrying our ANTa/ANTz print the
// hints, areas and metadata we wrote, links included whatever quotes and backslashes they hold, in every
// orientation; annotations that djvused writes read back as the values of their text.
#include "djv_annotation.h"
#include "djv_data.h"

#include "djvu_page_file.h"
#include "expression_text.h"
#include "maparea_test_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace MapAreaTest;
using Morvenix::DjVu::Annotation;
using Morvenix::DjVu::Chunk;
using Morvenix::DjVu::Data;
using MvxTest::Bytes;
using MvxTest::normalizeExpressionText;

const uint32_t kWidth = 400, kHeight = 300;

std::vector<std::string> linesOf(const std::string& inText)
{
    std::vector<std::string> lines;
    std::istringstream in(inText);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The tool escapes double quotes in the comment and the target, but writes the URL as it is.
std::string xmlQuoted(const std::string& inText)
{
    std::string out;
    for (char c : inText)
        out += c == '"' ? std::string("&quot;") : std::string(1, c);
    return out;
}

// What djvutoxml prints for a hyperlink area, up to its target: its coordinates in the page as displayed,
// top-down (the tool puts a rectangle's top one pixel above ours), and the link texts.
std::string areaLine(const MapArea& inArea)
{
    std::string coords;
    switch (inArea.getType()) {
    case MapArea::shapeRect:
    case MapArea::shapeOval: {
        const Rect r = inArea.getType() == MapArea::shapeRect ? static_cast<const MapRect&>(inArea).rect
                                                               : static_cast<const MapOval&>(inArea).rect;
        coords = std::to_string(r.x) + "," + std::to_string(r.y - 1) + "," + std::to_string(r.x + r.width) + "," +
                 std::to_string(r.y + r.height - 1);
        break;
    }
    case MapArea::shapePoly:
        for (const Point& p : static_cast<const MapPoly&>(inArea).points)
            coords += (coords.empty() ? "" : ",") + std::to_string(p.x) + "," + std::to_string(p.y);
        break;
    default:
        return std::string(); // lines and text boxes are no hyperlinks to the tool
    }
    return "<AREA coords=\"" + coords + "\" shape=\"" + Morvenix::DjVu::mapShapeNames[inArea.getType()] + "\" alt=\"" +
           xmlQuoted(str(inArea.comment)) + "\" href=\"" + str(inArea.url) + "\" target=\"" +
           (inArea.target.isEmpty() ? std::string("_self") : xmlQuoted(str(inArea.target))) + "\"";
}

class AnnotationInterop : public MvxTest::HostToolTest {
protected:
    void writePage(const PageInfo& inInfo, const AutoPtr<Chunk>& inChunk)
    {
        AutoPtr<Data> data = inChunk->getData();
        MvxTest::writeFile(path("page.djvu"),
                           MvxTest::pageFile(inInfo, str(inChunk->getId()).c_str(),
                                             Bytes(data->getBuffer(), data->getBuffer() + data->getSize())));
    }
};

// Links whose texts hold every character that needs escaping, on each shape the tool lists.
MapAreas linkAreas(int inRotation)
{
    MapAreas areas = sampleAreas(inRotation);
    const char* const urls[] = {"http://h/q?a=\"b\"", "C:\\dir\\", "\\\\server\\share\\", "x\\\"y", "a\\\\\"b"};
    for (uint32_t i = 0; i < areas.count(); ++i) {
        MapArea& area = *areas[i];
        area.url = String(urls[i % 5]);
        if (i % 2)
            area.target = String("_blank\\\"");
        area.comment = String(i % 3 ? "plain" : "c \"q\" \\");
    }
    return areas;
}

TEST_F(AnnotationInterop, ToolsPrintWhatWeWrite)
{
    for (int r = 0; r < 4; ++r) {
        for (bool compressed : {true, false}) {
            SCOPED_TRACE(std::to_string(r) + (compressed ? " ANTz" : " ANTa"));
            const PageInfo info = pageInfo(kWidth, kHeight, r);
            // Made as the add-in makes it, in orientation 0, and written for a page of orientation r.
            AutoPtr<Annotation> a = Annotation::create(1, 3, 0x00C0FFEE, 150, 2);
            a->mapAreas = linkAreas(0);
            a->metadata = Morvenix::DjVu::PropertySet::create();
            a->metadata->setValue("Author", "Jane \"JD\" Doe \\");
            a->metadata->setValue("Title", "C:\\dir\\");
            a->metadata->setValue("dc:subject", "\xE2\x82\xAC 5");
            writePage(info, compressed ? a->makeANTz(info) : a->makeANTa(info));
            const std::string text = str(a->getANTString(info));

            // Everything we wrote was read and prints as we wrote it.
            EXPECT_EQ(normalizeExpressionText(text),
                      normalizeExpressionText(run("djvused -u " + host("page.djvu") + " -e 'select 1; print-ant'")));
            EXPECT_EQ("Author\t\"Jane \\\"JD\\\" Doe \\\\\"\nTitle\t\"C:\\\\dir\\\\\"\ndc:subject\t\"\xE2\x82\xAC 5\"\n",
                      run("djvused -u " + host("page.djvu") + " -e 'select 1; print-meta'"));

            // Every hyperlink area, in the orientation of the page.
            std::vector<std::string> expected;
            const MapAreas turned = linkAreas(r);
            for (const AutoPtr<MapArea>& area : turned) {
                const std::string line = areaLine(*area);
                if (!line.empty())
                    expected.push_back(line);
            }
            std::vector<std::string> listed;
            for (const std::string& line : linesOf(run("djvutoxml " + host("page.djvu")))) {
                const size_t at = line.find("<AREA ");
                if (at != std::string::npos)
                    listed.push_back(line.substr(at));
            }
            ASSERT_EQ(expected.size(), listed.size());
            for (size_t i = 0; i < expected.size(); ++i)
                EXPECT_EQ(expected[i], listed[i].substr(0, expected[i].size())) << listed[i];
        }
    }
}

TEST_F(AnnotationInterop, ReadsWhatDjvusedWrites)
{
    // Our own annotation text, in the file's coordinates (bottom-up, page as displayed).
    const std::string text =
        "(background #102030)\n(zoom d175)\n(mode fore)\n(align right default)\n"
        "(maparea \"http://h/q?a=\\\"b\\\"\" \"c \\\"q\\\" \\\\\" (rect 10 20 30 40) (xor))\n"
        "(maparea (url \"C:\\\\dir\\\\\" \"_blank\") \"\" (oval 50 60 70 80) (border #FF0000))\n"
        "(maparea \"#p2\" \"poly\" (poly 1 2 31 2 16 40) (none))\n"
        "(maparea \"\" \"\" (line 5 6 105 106) (arrow) (width 2) (lineclr #00FF00))\n"
        "(maparea \"\" \"note\" (text 100 110 50 20) (xor) (pushpin))\n"
        "(metadata (Author \"Jane \\\"JD\\\" \\\\\") (Title \"T\"))\n"
        "(custom \"kept\")\n";
    MvxTest::writeFile(path("ant.txt"), Bytes(text.begin(), text.end()));
    for (int r = 0; r < 4; ++r) {
        SCOPED_TRACE(r);
        const PageInfo info = pageInfo(kWidth, kHeight, r);
        const int32_t h = int32_t(r & 1 ? kWidth : kHeight); // page height as displayed
        MvxTest::writeFile(path("page.djvu"), MvxTest::pageFile(info));
        ASSERT_EQ(0, MvxTest::runHostTool("djvused -s " + host("page.djvu") + " -e 'select 1; set-ant " +
                                          host("ant.txt") + "'"));
        const Bytes body = MvxTest::findChunk(MvxTest::readFile(path("page.djvu")), "ANTz");
        AutoPtr<Chunk> chunk = Chunk::createFromBytes("ANTz", body.data(), uint32_t(body.size()));
        AutoPtr<Annotation> a = Annotation::create(*chunk, info);

        EXPECT_EQ(0x00102030u, a->background);
        EXPECT_EQ(175, a->zoom);
        EXPECT_EQ(3, a->mode);
        EXPECT_EQ(3, a->hAlign);
        EXPECT_EQ(0, a->vAlign);
        EXPECT_EQ(r, a->getRotation());
        ASSERT_EQ(5u, a->mapAreas.count());

        const MapRect& rect = static_cast<const MapRect&>(*a->mapAreas[0]);
        ASSERT_EQ(MapArea::shapeRect, rect.getType());
        EXPECT_EQ("http://h/q?a=\"b\"", str(rect.url));
        EXPECT_EQ("c \"q\" \\", str(rect.comment));
        EXPECT_EQ(describe(Rect{10, h - 20 - 40, 30, 40}), describe(rect.rect));
        EXPECT_EQ(uint32_t(MapArea::borderXor), rect.borderType);

        const MapOval& oval = static_cast<const MapOval&>(*a->mapAreas[1]);
        ASSERT_EQ(MapArea::shapeOval, oval.getType());
        EXPECT_EQ("C:\\dir\\", str(oval.url));
        EXPECT_EQ("_blank", str(oval.target));
        EXPECT_EQ(describe(Rect{50, h - 60 - 80, 70, 80}), describe(oval.rect));
        EXPECT_EQ(0x00FF0000u, oval.lineColor);

        const MapPoly& poly = static_cast<const MapPoly&>(*a->mapAreas[2]);
        ASSERT_EQ(MapArea::shapePoly, poly.getType());
        ASSERT_EQ(3u, poly.points.count());
        EXPECT_EQ(31, poly.points[1].x);
        EXPECT_EQ(h - 2 - 1, poly.points[1].y);
        EXPECT_EQ(h - 40 - 1, poly.points[2].y);

        const MapLine& line = static_cast<const MapLine&>(*a->mapAreas[3]);
        ASSERT_EQ(MapArea::shapeLine, line.getType());
        EXPECT_EQ(105, line.x2);
        EXPECT_EQ(h - 106 - 1, line.y2);
        EXPECT_TRUE(line.arrow);
        EXPECT_EQ(2u, line.lineWidth);
        EXPECT_EQ(0x0000FF00u, line.lineColor);

        const MapText& note = static_cast<const MapText&>(*a->mapAreas[4]);
        ASSERT_EQ(MapArea::shapeText, note.getType());
        EXPECT_EQ(describe(Rect{100, h - 110 - 20, 50, 20}), describe(note.rect));
        EXPECT_TRUE(note.pushpin);

        ASSERT_TRUE(a->metadata);
        EXPECT_EQ("Jane \"JD\" \\", str(a->metadata->getValue("Author")));
        EXPECT_EQ("T", str(a->metadata->getValue("Title")));
        ASSERT_EQ(1u, a->otherExpressions.count());
        EXPECT_EQ("(custom \"kept\")", str(a->otherExpressions[0]));

        // Written again for the same page, the tool prints the same annotation, but for the unset vertical
        // alignment, written as centred beside a set one, and the text colour every text box has.
        std::string again = text;
        again.replace(again.find("right default"), 13, "right center");
        again.replace(again.find("(xor) (pushpin)"), 15, "(xor) (textclr #000000) (pushpin)");
        writePage(info, a->makeANTz(info));
        EXPECT_EQ(normalizeExpressionText(again),
                  normalizeExpressionText(run("djvused -u " + host("page.djvu") + " -e 'select 1; print-ant'")));
    }
}

// djvused stores control characters of strings as C escapes and octal bytes ("\n", "\t", "\001", "\177");
// they read back as the characters we wrote.
TEST_F(AnnotationInterop, ControlCharactersAndWordKeysSurviveDjvused)
{
    const PageInfo info = pageInfo(kWidth, kHeight, 0);
    const std::string comment = "line 1\nline 2\ttab\r\f\b\a\v\x01\x1F\x7F end \\n \"q\"";
    const std::string url = "http://h/a\tb\\";
    AutoPtr<Annotation> ours = Annotation::create(0, 0, Annotation::backgroundNone, 0, 1);
    AutoPtr<MapRect> rect = MapRect::create();
    rect->rect = Rect{10, 20, 30, 40};
    rect->url = String(url.data(), int32_t(url.size()));
    rect->comment = String(comment.data(), int32_t(comment.size()));
    ours->mapAreas.append(rect);
    ours->metadata = Morvenix::DjVu::PropertySet::create();
    ours->metadata->setValue("Title", rect->comment);
    ours->metadata->setValue("Aut\xC3\xB6r", "x"); // a key of a non-ASCII letter is a symbol to the tools too
    const std::string text = str(ours->getANTString(info));
    MvxTest::writeFile(path("ant.txt"), Bytes(text.begin(), text.end()));
    MvxTest::writeFile(path("page.djvu"), MvxTest::pageFile(info));
    ASSERT_EQ(0, MvxTest::runHostTool("djvused -s " + host("page.djvu") + " -e 'select 1; set-ant " +
                                      host("ant.txt") + "'"));
    const Bytes body = MvxTest::findChunk(MvxTest::readFile(path("page.djvu")), "ANTz");
    AutoPtr<Annotation> a = Annotation::create(*Chunk::createFromBytes("ANTz", body.data(), uint32_t(body.size())), info);
    ASSERT_EQ(1u, a->mapAreas.count());
    EXPECT_EQ(url, str(a->mapAreas[0]->url));
    EXPECT_EQ(comment, str(a->mapAreas[0]->comment));
    ASSERT_TRUE(a->metadata);
    EXPECT_EQ(comment, str(a->metadata->getValue("Title")));
    EXPECT_EQ("x", str(a->metadata->getValue("Aut\xC3\xB6r")));
    EXPECT_EQ(0u, run("djvused -u " + host("page.djvu") + " -e 'select 1; print-meta'").find("Aut\xC3\xB6r\t\"x\"\n"));
}

TEST_F(AnnotationInterop, ReadsMetadataThatDjvusedSets)
{
    const std::string meta = "Author\t\"Jane \\\"JD\\\" \\\\\"\nCreationDate\t\"2026-12-10\"\n";
    MvxTest::writeFile(path("meta.txt"), Bytes(meta.begin(), meta.end()));
    const PageInfo info = pageInfo(kWidth, kHeight, 0);
    MvxTest::writeFile(path("page.djvu"), MvxTest::pageFile(info));
    ASSERT_EQ(0, MvxTest::runHostTool("djvused -s " + host("page.djvu") + " -e 'select 1; set-meta " +
                                      host("meta.txt") + "'"));
    const Bytes body = MvxTest::findChunk(MvxTest::readFile(path("page.djvu")), "ANTz");
    AutoPtr<Annotation> a = Annotation::create(*Chunk::createFromBytes("ANTz", body.data(), uint32_t(body.size())), info);
    ASSERT_TRUE(a->metadata);
    EXPECT_EQ(2u, a->metadata->getCount());
    EXPECT_EQ("Jane \"JD\" \\", str(a->metadata->getValue("Author")));
    EXPECT_EQ("2026-12-10", str(a->metadata->getValue("CreationDate")));
}

} // namespace
