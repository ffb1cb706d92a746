// A group of real 300-dpi text pages through the JB2 encoder into a bundled document with one shared
// dictionary, rendered by ddjvu; and a page of coloured text rendered in its colours.
#include "djv_chunk.h"
#include "djv_jb2encoder.h"
#include "djv_jb2page.h"
#include "jb2_interop_support.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;
using MvxTest::NetpbmImage;

namespace {

using Jb2Test::kPages;

class Jb2EncoderInterop : public Jb2Test::Jb2Interop {
protected:
    static uint64_t differingPixels(const NetpbmImage& inA, const NetpbmImage& inB)
    {
        uint64_t n = 0;
        for (size_t i = 0; i < inA.pixels.size() && i < inB.pixels.size(); ++i)
            n += inA.pixels[i] != inB.pixels[i];
        return n;
    }
};

} // namespace

TEST_F(Jb2EncoderInterop, TwentyTextPagesLosslessRenderExactly)
{
    const std::vector<NetpbmImage>& pages = textPages();
    ASSERT_EQ(kPages, pages.size());
    const JB2Encoder::Params lossless{21, 0, 256};
    AutoPtr<JB2Encoder> encoder = JB2Encoder::create(&lossless);
    for (const NetpbmImage& page : pages)
        addMask(*encoder, page, true);
    ASSERT_FALSE(encoder->isDjbzEmpty());
    writeGroup(*encoder, 2550, 3300, "lossless.djvu");

    // One DJVI component with the dictionary; every page includes it before its Sjbz and has its FGbz.
    const std::string dump = run("djvudump " + host("lossless.djvu"));
    const auto count = [&dump](const std::string& inWhat) {
        size_t n = 0;
        for (size_t at = dump.find(inWhat); at != std::string::npos; at = dump.find(inWhat, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(1u, count("FORM:DJVI")) << dump;
    EXPECT_EQ(1u, count("Djbz")) << dump;
    EXPECT_EQ(size_t(kPages), count("INCL")) << dump;
    EXPECT_EQ(size_t(kPages), count("FGbz")) << dump;
    EXPECT_LT(dump.find("INCL"), dump.find("Sjbz")) << dump;
    for (uint32_t i = 0; i < kPages; ++i)
        EXPECT_EQ("", MvxTest::firstDifference(pages[i], decode("lossless.djvu", int(i + 1)))) << "page " << i + 1;
}

TEST_F(Jb2EncoderInterop, TwentyTextPagesLossyDifferLittle)
{
    const std::vector<NetpbmImage>& pages = textPages();
    ASSERT_EQ(kPages, pages.size());
    AutoPtr<JB2Encoder> encoder = JB2Encoder::create(nullptr);
    for (const NetpbmImage& page : pages)
        addMask(*encoder, page);
    writeGroup(*encoder, 2550, 3300, "lossy.djvu");
    uint64_t differing = 0, ink = 0;
    for (uint32_t i = 0; i < kPages; ++i) {
        const NetpbmImage decoded = decode("lossy.djvu", int(i + 1));
        ASSERT_EQ(pages[i].pixels.size(), decoded.pixels.size());
        differing += differingPixels(pages[i], decoded);
        for (uint8_t p : pages[i].pixels)
            ink += p;
    }
    const double share = double(differing) / (double(kPages) * 2550 * 3300);
    std::printf("[ LOSSY    ] %llu of %llu ink pixels differ; %.5f%% of all pixels\n",
                (unsigned long long)differing, (unsigned long long)ink, share * 100);
    EXPECT_LT(double(differing), 0.02 * double(ink));
}

TEST_F(Jb2EncoderInterop, ColouredTextRendersInItsColours)
{
    // Three rows of glyphs in black, red and blue on a white page, given as a blue-green-red image.
    const uint32_t w = 300, h = 120;
    const uint32_t colours[] = {0x000000, 0xC81E1E, 0x1E32C8};
    std::vector<uint8_t> image(size_t(w) * h * 3, 255), mask(size_t(w) * h, 255);
    std::vector<std::pair<Rect, uint32_t>> glyphs;
    for (uint32_t row = 0; row < 3; ++row)
        for (uint32_t k = 0; k < 8; ++k) {
            const Rect box{int32_t(10 + 35 * k), int32_t(10 + 38 * row), 9, 12};
            const ShapeBitmap g = Jb2Test::glyph(9, 12, k % 3);
            for (uint32_t y = 0; y < 12; ++y)
                for (uint32_t x = 0; x < 9; ++x)
                    if (g.getPixel(x, y)) {
                        const size_t at = size_t(box.y + y) * w + box.x + x;
                        mask[at] = 0;
                        image[at * 3] = uint8_t(colours[row]);
                        image[at * 3 + 1] = uint8_t(colours[row] >> 8);
                        image[at * 3 + 2] = uint8_t(colours[row] >> 16);
                    }
            glyphs.emplace_back(box, colours[row]);
        }
    AutoPtr<JB2Encoder> encoder = JB2Encoder::create(nullptr);
    encoder->addPage(mask.data(), int32_t(w), mtBytes, w, h, image.data(), int32_t(w * 3), phBGR, nullptr);
    ASSERT_FALSE(encoder->isFGbzEmpty(0));
    writeGroup(*encoder, w, h, "colours.djvu");
    const NetpbmImage fg = decode("colours.djvu", 1, "-mode=foreground -format=ppm");
    ASSERT_EQ(w, fg.width);
    for (const auto& g : glyphs) {
        // Every glyph's corner pixel is ink (see Jb2Test::glyph).
        EXPECT_EQ(g.second, fg.rgb(uint32_t(g.first.x), uint32_t(g.first.y))) << g.first.x << "," << g.first.y;
    }
}

TEST_F(Jb2EncoderInterop, InkOnEveryEdgeSurvivesClassification)
{
    // Noisy copies of one glyph along the left and bottom edges, where a copy drawn one pixel off would
    // leave the page; a frame round the page.
    const uint32_t w = 200, h = 150;
    NetpbmImage page(w, h);
    for (uint32_t x = 0; x < w; ++x)
        *page.at(x, 0) = *page.at(x, 60) = 1;
    for (uint32_t y = 0; y <= 60; ++y)
        *page.at(w - 1, y) = 1;
    uint32_t k = 0;
    const auto stamp = [&](uint32_t inX, uint32_t inY) {
        ShapeBitmap g = Jb2Test::glyph(10, 12, 7);
        g.setPixel(1 + k % 8, 1 + k % 10, !g.getPixel(1 + k % 8, 1 + k % 10)); // an isolated difference
        ++k;
        for (uint32_t y = 0; y < 12; ++y)
            for (uint32_t x = 0; x < 10; ++x)
                *page.at(inX + x, inY + y) = g.getPixel(x, y);
    };
    for (uint32_t x = 15; x + 10 < w; x += 14)
        stamp(x, h - 12);
    for (uint32_t y = 70; y + 12 < h - 14; y += 14)
        stamp(0, y);
    for (const JB2Encoder::Params& params : {JB2Encoder::defaultParams(), JB2Encoder::Params{21, 0, 256}}) {
        AutoPtr<JB2Encoder> encoder = JB2Encoder::create(&params);
        addMask(*encoder, page);
        addMask(*encoder, page);
        writeGroup(*encoder, w, h, "edges.djvu");
        for (int i = 1; i <= 2; ++i) {
            const NetpbmImage decoded = decode("edges.djvu", i);
            if (params.secondCompare)
                EXPECT_LT(differingPixels(page, decoded), 2 * k) << "page " << i;
            else
                EXPECT_EQ("", MvxTest::firstDifference(page, decoded)) << "page " << i;
        }
    }
}

namespace {

typedef std::vector<std::string> Art;

Art flippedRows(Art inArt)
{
    std::reverse(inArt.begin(), inArt.end());
    return inArt;
}

Art flippedColumns(Art inArt)
{
    for (std::string& row : inArt)
        std::reverse(row.begin(), row.end());
    return inArt;
}

void draw(NetpbmImage& ioPage, const Art& inArt, uint32_t inX, uint32_t inY)
{
    for (uint32_t y = 0; y < inArt.size(); ++y)
        for (uint32_t x = 0; x < inArt[y].size(); ++x)
            *ioPage.at(inX + x, inY + y) = inArt[y][x] == '#';
}

} // namespace

// A mark on the page's edge, close to an earlier one but for isolated pixels, some of them facing the
// rows or columns just past the mark: the second comparison must not grow the mark past its box (past the
// bottom or left edge the page stream cannot hold it at all), in lossy and lossless groups of 1 and 20.
TEST_F(Jb2EncoderInterop, MarksOnEveryEdgeSurviveClassification)
{
    // The second of each pair is 0.67 row lower than the first, whose tail faces the row below it.
    const Art tailed = {"#####", "#...#", "#...#", "#####", "..#.."};
    const Art lower = {"..#..", "#####", "#...#", "#...#", "#####"};
    // The first is a column wider, its last column one pixel.
    const Art wide = {"#####.", "#...#.", "#...##", "#...#.", "#####."};
    const Art box = {"#####", "#...#", "#...#", "#...#", "#####"};
    const uint32_t w = 120, h = 90;
    struct Case {
        const char* edge;
        Art first, second;
        uint32_t secondX, secondY; // the first sits at (40, 40)
    } cases[] = {
        {"bottom", tailed, lower, 70, h - 5},
        {"top", flippedRows(tailed), flippedRows(lower), 70, 0},
        {"right", wide, box, w - 5, 60},
        {"left", flippedColumns(wide), flippedColumns(box), 0, 60},
    };
    for (const Case& c : cases) {
        NetpbmImage page(w, h);
        draw(page, c.first, 40, 40);
        draw(page, c.second, c.secondX, c.secondY);
        for (const JB2Encoder::Params& params : {JB2Encoder::defaultParams(), JB2Encoder::Params{21, 0, 256}}) {
            for (uint32_t pages : {1u, kPages}) {
                SCOPED_TRACE(std::string(c.edge) + (params.secondCompare ? ", lossy, " : ", lossless, ") +
                             std::to_string(pages) + " pages");
                AutoPtr<JB2Encoder> encoder = JB2Encoder::create(&params);
                for (uint32_t i = 0; i < pages; ++i)
                    addMask(*encoder, page);
                ASSERT_NO_THROW(writeGroup(*encoder, w, h, "edges.djvu"));
                // Every mark the decoder rebuilds lies on the page.
                AutoPtr<Chunk> djbz, sjbz;
                encoder->createDjbzChunk(djbz);
                const AutoPtr<JB2Dictionary> dictionary = djbz ? JB2Dictionary::create(*djbz) : JB2Dictionary::create();
                for (uint32_t i = 0; i < pages; ++i) {
                    encoder->createSjbzChunk(sjbz, i);
                    const AutoPtr<JB2Page> decoded = JB2Page::create(*sjbz, dictionary.get());
                    for (const AutoPtr<Shape>& shape : decoded->getShapes()) {
                        const Rect r = shape->getRect();
                        EXPECT_TRUE(r.x >= 0 && r.y >= 0 && r.x + r.width <= int32_t(w) && r.y + r.height <= int32_t(h))
                            << r.x << "," << r.y << " " << r.width << "x" << r.height;
                    }
                }
                for (uint32_t i : {1u, pages}) {
                    const NetpbmImage decoded = decode("edges.djvu", int(i));
                    if (params.secondCompare)
                        EXPECT_LE(differingPixels(page, decoded), 2u) << "page " << i;
                    else
                        EXPECT_EQ("", MvxTest::firstDifference(page, decoded)) << "page " << i;
                }
            }
        }
    }
}
