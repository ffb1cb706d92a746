// Interoperability with djvused and djvutxt of djvulibre-bin: pages carrying our text layer print the
// zones, coordinates and text we wrote, and text layers they write read back as the zones they hold.
#include "djv_chunk.h"
#include "djv_data.h"
#include "djv_text.h"

#include "djvu_page_file.h"
#include "expression_text.h"
#include "test_support.h"
#include "text_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace TextTest;
using Morvenix::DjVu::Chunk;
using Morvenix::DjVu::Data;
using MvxTest::findChunk;
using MvxTest::normalizeExpressionText;
using MvxTest::pageFile;

namespace {

const char* typeName(int32_t inType)
{
    static const char* const kNames[] = {"?", "page", "column", "region", "para", "line", "word", "char"};
    return inType >= 1 && inType <= 7 ? kNames[inType] : "?";
}

struct FileBox {
    int64_t xmin, ymin, xmax, ymax;
};

// The zone as the tools take and print it: corners in the unrotated page, origin bottom-left. When they
// print, they leave out the blanks that end a zone's text (inPrinted).
FileBox writeExpr(const TextZone& inZone, int64_t inPageHeight, bool inPrinted, std::string& out)
{
    std::string inner;
    FileBox box;
    if (inZone.children.count() == 0) {
        const Rect& r = inZone.rect;
        box = {r.x, inPageHeight - r.y - r.height, int64_t(r.x) + r.width, inPageHeight - r.y};
        inner += " \"";
        std::string t(inZone.text.c_str());
        while (inPrinted && !t.empty() && t.back() == ' ')
            t.pop_back();
        for (char c : t) {
            if (c == '\n')
                inner += "\\n";
            else if (c == '"' || c == '\\')
                inner += std::string("\\") + c;
            else
                inner += c;
        }
        inner += "\"";
    } else {
        for (uint32_t i = 0; i < inZone.children.count(); ++i) {
            std::string child;
            FileBox b = writeExpr(*inZone.children[i], inPageHeight, inPrinted, child);
            inner += " " + child;
            if (i == 0) {
                box = b;
            } else {
                box.xmin = std::min(box.xmin, b.xmin);
                box.ymin = std::min(box.ymin, b.ymin);
                box.xmax = std::max(box.xmax, b.xmax);
                box.ymax = std::max(box.ymax, b.ymax);
            }
        }
    }
    char corners[80];
    std::snprintf(corners, sizeof corners, " %lld %lld %lld %lld", (long long)box.xmin, (long long)box.ymin,
                  (long long)box.xmax, (long long)box.ymax);
    out = std::string("(") + typeName(inZone.type) + corners + inner + ")";
    return box;
}

class TextInterop : public MvxTest::HostToolTest {};

TEST_F(TextInterop, ToolsPrintTheZonesWeWrite)
{
    std::string expected;
    writeExpr(*sampleTree(0), 300, true, expected);
    expected = normalizeExpressionText(expected);
    for (int r = 0; r < 4; ++r) {
        for (bool compressed : {true, false}) {
            SCOPED_TRACE(std::to_string(r) + (compressed ? " TXTz" : " TXTa"));
            const PageInfo info = pageInfo(400, 300, r);
            AutoPtr<TextZone> tree = sampleTree(r);
            AutoPtr<Chunk> chunk = compressed ? tree->makeTXTz(info) : tree->makeTXTa(info);
            AutoPtr<Data> data = chunk->getData();
            MvxTest::writeFile(path("page.djvu"),
                               pageFile(info, compressed ? "TXTz" : "TXTa",
                                        Bytes(data->getBuffer(), data->getBuffer() + data->getSize())));
            EXPECT_EQ(expected,
                      normalizeExpressionText(run("djvused -u " + host("page.djvu") + " -e 'select 1; print-txt'")));
            EXPECT_EQ(expected, normalizeExpressionText(run("djvutxt --detail=char " + host("page.djvu"))));
        }
    }
}

TEST_F(TextInterop, ReadsTheLayerDjvusedWrites)
{
    std::string text;
    writeExpr(*sampleTree(0), 300, false, text);
    MvxTest::writeFile(path("text.txt"), Bytes(text.begin(), text.end()));
    for (int r = 0; r < 4; ++r) {
        SCOPED_TRACE(r);
        const PageInfo info = pageInfo(400, 300, r);
        MvxTest::writeFile(path("page.djvu"), pageFile(info));
        ASSERT_EQ(0, MvxTest::runHostTool("djvused -s " + host("page.djvu") + " -e 'select 1; set-txt " +
                                          host("text.txt") + "'"));
        const Bytes body = findChunk(MvxTest::readFile(path("page.djvu")), "TXTz");
        AutoPtr<Chunk> chunk = Chunk::createFromBytes("TXTz", body.data(), uint32_t(body.size()));
        AutoPtr<TextZone> tree = TextZone::decode(*chunk, info);
        // djvused ends every line's text with a blank separator, which it counts into the line's last leaf.
        AutoPtr<TextZone> expected = sampleTree(r);
        for (const AutoPtr<TextZone>& line : expected->children) {
            TextZone* last = line.get();
            while (last->children.count())
                last = last->children[last->children.count() - 1].get();
            last->text += String(" ");
        }
        expectSameTree(*expected, *tree);
        EXPECT_EQ(r, tree->getRotation());
        EXPECT_EQ("Hello world\n \xE2\x82\xACuro ok ", std::string(tree->getText().c_str()));
    }
}

// The tools refuse a page's whole text layer for one zone without width or height. Leaves written without
// area (a letter that got no advance, a box flipped by its mapping, a page without text) take one pixel
// from their corner, and the zones around them hold it.
TEST_F(TextInterop, ToolsReadZonesWrittenWithoutArea)
{
    const auto wordOf = [](std::initializer_list<Rect> inLetters) {
        AutoPtr<TextZone> page = TextZone::create(TextZone::zonePage);
        AutoPtr<TextZone> line = TextZone::create(TextZone::zoneLine);
        AutoPtr<TextZone> word = TextZone::create(TextZone::zoneWord);
        const char* const letters[] = {"f", "i", "x"};
        size_t i = 0;
        for (const Rect& r : inLetters)
            add(word, zone(TextZone::zoneCharacter, r, letters[i++]));
        add(line, word);
        add(page, line);
        return page;
    };
    const struct {
        const char* name;
        AutoPtr<TextZone> tree;
        std::vector<Rect> written; // the leaves as they read back
    } cases[] = {
        {"no width", wordOf({Rect{10, 20, 8, 12}, Rect{18, 20, 0, 12}}), {Rect{10, 20, 8, 12}, Rect{18, 20, 1, 12}}},
        {"no height", wordOf({Rect{10, 20, 8, 12}, Rect{18, 20, 8, 0}}), {Rect{10, 20, 8, 12}, Rect{18, 20, 8, 1}}},
        {"negative sizes", wordOf({Rect{10, 20, -8, 12}, Rect{18, 20, 8, -3}, Rect{30, 20, -1, -1}}),
         {Rect{10, 20, 1, 12}, Rect{18, 20, 8, 1}, Rect{30, 20, 1, 1}}},
        {"a page without text", TextZone::create(TextZone::zonePage), {Rect{0, 0, 1, 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const PageInfo info = pageInfo(400, 300, 0);
        AutoPtr<Data> data = c.tree->makeTXTz(info)->getData();
        MvxTest::writeFile(path("page.djvu"),
                           pageFile(info, "TXTz", Bytes(data->getBuffer(), data->getBuffer() + data->getSize())));
        const std::string printed = run("djvused -u " + host("page.djvu") + " -e 'select 1; print-txt'");
        EXPECT_EQ(0u, printed.find("(page ")) << printed;

        const Bytes body = findChunk(MvxTest::readFile(path("page.djvu")), "TXTz");
        AutoPtr<Chunk> chunk = Chunk::createFromBytes("TXTz", body.data(), uint32_t(body.size()));
        AutoPtr<TextZone> back = TextZone::decode(*chunk, info);
        std::vector<const TextZone*> leaves;
        collectLeaves(*back, leaves);
        std::vector<Rect> rects;
        for (const TextZone* leaf : leaves)
            rects.push_back(leaf->rect);
        EXPECT_EQ(c.written, rects);
    }
}

} // namespace
