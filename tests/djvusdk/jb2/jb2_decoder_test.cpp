// JB2 page and dictionary data read back into shapes: what the compressor writes, what it never writes
// (page-only records, resets in dictionaries), FGbz colours, and the records a decoder must refuse.
#include "djv_jb2page.h"
#include "jb2_record_writer.h"
#include "test_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

using namespace Jb2Test;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;
using Morvenix::errDataBroken;
using Morvenix::errInvalidParam;
using Morvenix::errOperationFailed;
using MvxTest::expectThrow;

namespace {

AutoPtr<JB2Page> decodePage(const Bytes& inSjbz, const JB2Dictionary* inDictionary = nullptr)
{
    return JB2Page::create(streamOf(inSjbz), inDictionary);
}

AutoPtr<JB2Dictionary> decodeDictionary(const Bytes& inDjbz)
{
    return JB2Dictionary::create(streamOf(inDjbz));
}

Bytes fgbz(const std::vector<uint32_t>& inPalette, const std::vector<uint32_t>& inIndices)
{
    Morvenix::SimpleArray<Color, 1> colours;
    for (uint32_t rgb : inPalette)
        colours.append(Color::fromRGB(rgb));
    Morvenix::SimpleArray<uint32_t, 2> indices;
    for (uint32_t i : inIndices)
        indices.append(i);
    AutoPtr<Morvenix::MemoryStorage> out = Morvenix::MemoryStorage::create();
    Compressor::encodeFGbz(AutoPtr<Morvenix::Stream>(out), colours, indices);
    return bytesOf(*out);
}

// A dictionary of five shapes, two of them refinements.
ShapeList fiveShapeDictionary()
{
    const AutoPtr<Shape> a = Shape::create(glyph(9, 12, 1), 0, 0, Normal);
    const AutoPtr<Shape> b = Shape::create(glyph(7, 15, 2), 0, 0, Normal);
    const AutoPtr<Shape> c = Shape::create(glyph(12, 8, 3), 0, 0, Normal);
    ShapeBitmap bent = glyph(9, 12, 1);
    bent.setPixel(3, 4, !bent.getPixel(3, 4));
    return listOf({a, b, c, Shape::createRefinement(a, bent, 0, 0), Shape::createRefinement(c, glyph(11, 9, 5), 0, 0)});
}

} // namespace

TEST(JB2Decoder, PageReadsBackAsWritten)
{
    const ShapeList shapes = textPage();
    const AutoPtr<JB2Page> page = decodePage(sjbz(140, 130, shapes));
    EXPECT_EQ(140u, page->getWidth());
    EXPECT_EQ(130u, page->getHeight());
    EXPECT_EQ(nullptr, page->getDictionary());
    EXPECT_FALSE(page->hasFGbz());
    expectSameShapes(shapes, page->getShapes());
}

TEST(JB2Decoder, PageDrawsOnItsDictionary)
{
    const ShapeList dictionary = fiveShapeDictionary();
    const AutoPtr<JB2Dictionary> decoded = decodeDictionary(djbz(dictionary));
    expectSameShapes(dictionary, decoded->getShapes());

    const ShapeList page = listOf({Shape::createMatch(dictionary[0], 10, 10), Shape::createMatch(dictionary[4], 30, 12),
                                   Shape::createRefinement(dictionary[3], glyph(10, 12, 9), 50, 11),
                                   Shape::create(glyph(6, 6, 8), 70, 14, Normal)});
    const AutoPtr<JB2Page> read = decodePage(sjbz(100, 40, page, &dictionary), decoded.get());
    expectSameShapes(page, read->getShapes());
    EXPECT_EQ(decoded.get(), read->getDictionary());
    // The copies refer to the dictionary's own shapes, not to copies of them.
    EXPECT_EQ(decoded->getShapes()[0].get(), read->getShapes()[0]->getReference());
    EXPECT_EQ(decoded->getShapes()[4].get(), read->getShapes()[1]->getReference());
}

TEST(JB2Decoder, EmptyStreamIsAnEmptyPage)
{
    const AutoPtr<JB2Page> page = decodePage(Bytes());
    EXPECT_EQ(0u, page->getWidth());
    EXPECT_EQ(0u, page->getHeight());
    EXPECT_EQ(0u, page->getShapes().count());
    EXPECT_EQ(0u, decodeDictionary(Bytes())->getShapes().count());
}

TEST(JB2Decoder, RequiredDictionarySizeMustMatch)
{
    const ShapeList dictionary = fiveShapeDictionary();
    const Bytes stream = sjbz(20, 20, ShapeList(), &dictionary);
    expectThrow([&] { decodePage(stream); }, errDataBroken, "JB2Decoder: Shape count mismatch!");
    const AutoPtr<JB2Dictionary> decoded = decodeDictionary(djbz(dictionary));
    EXPECT_EQ(0u, decodePage(stream, decoded.get())->getShapes().count());

    // A dictionary of another implementation counts as none.
    struct Foreign : JB2Dictionary {
        const ShapeList& getShapes() const override { return shapes; }
        ShapeList& getShapes() override { return shapes; }
        void compact() override {}
        void dropRenderIndex() override {}
        ShapeList shapes = fiveShapeDictionary();
    };
    const AutoPtr<Foreign> foreign(new Foreign);
    expectThrow([&] { decodePage(stream, foreign.get()); }, errDataBroken, "JB2Decoder: Shape count mismatch!");
}

// A record 9 after the start record resets the number coder in dictionaries as in pages: the encoder
// writes one into every stream that fills more than 20000 cells.
TEST(JB2Decoder, DictionaryWithResetsReadsBack)
{
    // Marks of thousands of scattered widths and heights fill the cells of the size numbers; their
    // bitmaps, of no rows or no columns, have no pixels to code.
    ShapeList dictionary;
    for (uint32_t k = 1; k <= 3000; ++k) {
        dictionary.append(Shape::create(ShapeBitmap(k * 7, 0), 0, 0, Normal));
        dictionary.append(Shape::create(ShapeBitmap(0, k * 5), 0, 0, Normal));
    }
    const Bytes stream = djbz(dictionary);
    ASSERT_LE(numberCellsAfterReading(stream, true), JB2CoderImpl::kCellChunk + 500) << "the writer reset it";
    expectSameShapes(dictionary, decodeDictionary(stream)->getShapes());

    // And by hand: a required size of 0 before the start, a reset between two marks.
    RecordWriter w;
    w.type(9);
    w.number(JB2CoderImpl::nkInheritedCount, 0, 0);
    w.start(0, 0);
    w.type(2);
    w.direct(glyph(5, 7, 1));
    w.type(9);
    w.resetNumberCoder();
    w.type(2);
    w.direct(glyph(6, 4, 2));
    const AutoPtr<JB2Dictionary> read = decodeDictionary(w.finish());
    expectSameShapes(listOf({Shape::create(glyph(5, 7, 1), 0, 0, Normal), Shape::create(glyph(6, 4, 2), 0, 0, Normal)}),
                     read->getShapes());
}

TEST(JB2Decoder, PageWithResetsReadsBack)
{
    const ShapeList shapes = listOf(scatteredMarks(6000, 6000));
    const Bytes stream = sjbz(6100, 6100, shapes);
    ASSERT_LE(numberCellsAfterReading(stream, false), JB2CoderImpl::kCellChunk + 500) << "the writer reset it";
    expectSameShapes(shapes, decodePage(stream)->getShapes());
}

// A reset is a fraction of a byte and one record: a stream may hold hundreds of thousands of them after
// copies at scattered places have grown the number coder's cells by the hundred thousand. Each reset must
// cost the same whatever came before, so such a stream decodes in about the time of the same copies
// without the resets (timed here against them, best of three, in one run).
TEST(JB2Decoder, ResetsCostTheSameWhateverCameBefore)
{
    const uint32_t kCopies = 20000, kResets = 60000;
    const auto stream = [&](uint32_t inResets) {
        RecordWriter w;
        w.start(65535, 65535), w.type(1), w.direct(glyph(1, 1, 1)), w.place(0, 0, 1, 1);
        uint32_t state = 5;
        for (uint32_t i = 0; i < kCopies; ++i) {
            state = state * 1664525u + 1013904223u;
            w.type(7), w.number(JB2CoderImpl::nkMatchIndex, 0, 0, 0);
            w.place(int32_t(state >> 16), int32_t(state & 0xffff), 1, 1);
        }
        for (uint32_t i = 0; i < inResets; ++i)
            w.type(9), w.resetNumberCoder();
        return w.finish();
    };
    const Bytes copies = stream(0), withResets = stream(kResets);
    const auto seconds = [](const Bytes& inStream) {
        double best = 1e9;
        for (int run = 0; run < 3; ++run) {
            const auto start = std::chrono::steady_clock::now();
            const AutoPtr<JB2Page> page = decodePage(inStream);
            EXPECT_EQ(kCopies + 1, page->getShapes().count());
            best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        return best;
    };
    const double plain = seconds(copies), reset = seconds(withResets);
    std::printf("[ TIME     ] %u copies in %.3f s, with %u resets after them in %.3f s\n", kCopies, plain, kResets,
                reset);
    EXPECT_LT(reset, 3 * plain);
}

// Page-only marks and refinements (records 3 and 6) stay out of the library, so a later index names
// the shape the writer meant.
TEST(JB2Decoder, PageOnlyRecordsStayOutOfTheLibrary)
{
    const ShapeBitmap a = glyph(8, 10, 1), b = glyph(9, 11, 2), c = glyph(7, 12, 3);
    ShapeBitmap refinedA = a;
    refinedA.setPixel(3, 3, !refinedA.getPixel(3, 3));
    RecordWriter w;
    w.start(100, 40);
    w.type(1); // library 0
    w.direct(a);
    w.place(2, 5, 8, 10);
    w.type(3);
    w.direct(b);
    w.place(14, 5, 9, 11);
    w.type(6);
    w.refined(0, 0, refinedA, a);
    w.place(26, 5, 8, 10);
    w.type(1); // library 1
    w.direct(c);
    w.place(38, 5, 7, 12);
    w.type(7);
    w.number(JB2CoderImpl::nkMatchIndex, 1, 0, 1);
    w.place(50, 5, 7, 12);
    const AutoPtr<JB2Page> page = decodePage(w.finish());
    const ShapeList& shapes = page->getShapes();
    ASSERT_EQ(5u, shapes.count());
    EXPECT_EQ(Normal, shapes[1]->getType());
    EXPECT_TRUE(shapes[1]->getBitmap().samePixels(b));
    EXPECT_EQ(Refinement, shapes[2]->getType());
    EXPECT_TRUE(shapes[2]->getBitmap().samePixels(refinedA));
    EXPECT_EQ(shapes[0].get(), shapes[2]->getReference());
    EXPECT_EQ(Match, shapes[4]->getType());
    EXPECT_EQ(shapes[3].get(), shapes[4]->getReference());
    EXPECT_EQ(50, shapes[4]->getX());
    EXPECT_EQ(5, shapes[4]->getY());
}

TEST(JB2Decoder, CopyIsPlacedByItsReferencesInk)
{
    // Ink from column 2, row 1 of the bitmap.
    const AutoPtr<Shape> prototype = shapeOf({".....", "..#..", "..###", "....."}, 3, 4);
    const ShapeList shapes = listOf({prototype, Shape::createMatch(prototype, 20, 9)});
    const AutoPtr<JB2Page> page = decodePage(sjbz(40, 20, shapes));
    expectSameShapes(shapes, page->getShapes());

    RecordWriter w;
    w.start(40, 20);
    w.type(1);
    w.direct(prototype->getBitmap());
    w.place(3, 4, 5, 4);
    w.type(7);
    w.number(JB2CoderImpl::nkMatchIndex, 0, 0, 0);
    w.place(22, 10, 3, 2); // where the copy's ink lies
    const AutoPtr<JB2Page> byHand = decodePage(w.finish());
    EXPECT_EQ(20, byHand->getShapes()[1]->getX());
    EXPECT_EQ(9, byHand->getShapes()[1]->getY());
}

// Streams a decoder must refuse, each with its message; the sizes come from the file and are checked in
// 64 bits before any bitmap is allocated.
TEST(JB2Decoder, RefusesBrokenRecords)
{
    struct Case {
        const char* name;
        bool dictionary;
        std::function<void(RecordWriter&)> write;
        int code;
        const char* message;
    };
    const ShapeBitmap g = glyph(6, 7, 1);
    const auto startPage = [](RecordWriter& w) { w.start(50, 50); };
    const uint32_t kBig = JB2CoderImpl::kBigPositive;
    const ShapeBitmap dot = glyph(1, 1, 1);
    const std::vector<Case> cases = {
        {"new mark in a dictionary", true, [&](RecordWriter& w) { w.start(0, 0), w.type(1), w.direct(g); },
         errDataBroken, "JB2Decoder: NewMark found in the dictionary!"},
        {"library-only mark on a page", false, [&](RecordWriter& w) { startPage(w), w.type(2), w.direct(g); },
         errDataBroken, "JB2Decoder: NewMarkLibraryOnly found on page!"},
        {"library-only refinement on a page", false, [&](RecordWriter& w) { startPage(w), w.type(5); },
         errDataBroken, "JB2Decoder: MatchedRefineLibraryOnly found on page!"},
        {"copy in a dictionary", true, [&](RecordWriter& w) { w.start(0, 0), w.type(7); }, errDataBroken,
         "JB2Decoder: MatchedCopy found on the dictionary!"},
        {"non-mark data in a dictionary", true, [&](RecordWriter& w) { w.start(0, 0), w.type(8); }, errDataBroken,
         "JB2Decoder: NonMarkData found on the dictionary!"},
        {"copy with an empty library", false, [&](RecordWriter& w) { startPage(w), w.type(7); }, errDataBroken,
         "JB2Decoder: Shape index out of range!"},
        {"refinement with an empty library", false, [&](RecordWriter& w) { startPage(w), w.type(4); },
         errDataBroken, "JB2Decoder: Shape index out of range!"},
        {"mark before the start", false, [&](RecordWriter& w) { w.type(1), w.direct(g); }, errDataBroken,
         "JB2Decoder: Shape record before the start of image!"},
        {"second start", false, [&](RecordWriter& w) { startPage(w), w.start(60, 60); }, errDataBroken,
         "JB2Decoder: Second start of image!"},
        {"mark of 262142 x 262142", false,
         [&](RecordWriter& w) {
             startPage(w), w.type(1);
             w.number(JB2CoderImpl::nkMarkWidth, JB2CoderImpl::kBigPositive, 0);
             w.number(JB2CoderImpl::nkMarkHeight, JB2CoderImpl::kBigPositive, 0);
         },
         errDataBroken, "JB2Decoder: Shape too large!"},
        {"refinement narrower than nothing", false,
         [&](RecordWriter& w) {
             startPage(w), w.type(1), w.direct(g), w.place(1, 1, 6, 7), w.type(4);
             w.number(JB2CoderImpl::nkMatchIndex, 0, 0, 0);
             w.number(JB2CoderImpl::nkRefineWidth, -7);
             w.number(JB2CoderImpl::nkRefineHeight, 0);
         },
         errDataBroken, "JB2Decoder: Shape size out of range!"},
        {"refinement wider than the format holds", false,
         [&](RecordWriter& w) {
             startPage(w), w.type(1), w.direct(g), w.place(1, 1, 6, 7), w.type(4);
             w.number(JB2CoderImpl::nkMatchIndex, 0, 0, 0);
             w.number(JB2CoderImpl::nkRefineWidth, JB2CoderImpl::kBigPositive);
             w.number(JB2CoderImpl::nkRefineHeight, 0);
         },
         errDataBroken, "JB2Decoder: Shape size out of range!"},
        {"required size 3 without a dictionary", false,
         [&](RecordWriter& w) { w.type(9), w.number(JB2CoderImpl::nkInheritedCount, 3, 0); }, errDataBroken,
         "JB2Decoder: Shape count mismatch!"},
        // Records that the coder learns to code almost for free: a few hundred bytes of them would make
        // millions of shapes.
        {"a million blank marks", false,
         [&](RecordWriter& w) {
             w.start(kBig, kBig);
             for (uint32_t i = 0; i < 1000000; ++i)
                 w.type(1), w.direct(ShapeBitmap()), w.place(0, 0, 0, 0);
         },
         errDataBroken, "JB2Decoder: More records than the data can hold!"},
        {"a million copies of a dot", false,
         [&](RecordWriter& w) {
             w.start(kBig, kBig), w.type(1), w.direct(dot), w.place(0, 0, 1, 1);
             for (uint32_t i = 0; i < 1000000; ++i)
                 w.type(7), w.number(JB2CoderImpl::nkMatchIndex, 0, 0, 0), w.place(0, 0, 1, 1);
         },
         errDataBroken, "JB2Decoder: More records than the data can hold!"},
        {"a million blank library marks", true,
         [&](RecordWriter& w) {
             w.start(0, 0);
             for (uint32_t i = 0; i < 1000000; ++i)
                 w.type(2), w.direct(ShapeBitmap());
         },
         errDataBroken, "JB2Decoder: More records than the data can hold!"},
        {"a million empty comments", false,
         [&](RecordWriter& w) {
             startPage(w);
             for (uint32_t i = 0; i < 1000000; ++i)
                 w.type(10), w.number(JB2CoderImpl::nkCommentLength, 0, 0);
         },
         errDataBroken, "JB2Decoder: More records than the data can hold!"},
        // A comment's byte counts as a record: the coder learns to code a maximal comment of zeros in
        // about a byte (these four take 17), and each costs the decoder two million decisions.
        {"four maximal comments", false,
         [&](RecordWriter& w) {
             startPage(w);
             for (uint32_t i = 0; i < 4; ++i) {
                 w.type(10), w.number(JB2CoderImpl::nkCommentLength, int32_t(kBig), 0);
                 for (uint32_t b = 0; b < kBig; ++b)
                     w.number(JB2CoderImpl::nkCommentByte, 0, 0, 255);
             }
         },
         errDataBroken, "JB2Decoder: More records than the data can hold!"},
        {"five dots on a page of four pixels", false,
         [&](RecordWriter& w) {
             w.start(2, 2);
             for (uint32_t i = 0; i < 5; ++i)
                 w.type(1), w.direct(dot), w.place(0, 0, 1, 1);
         },
         errDataBroken, "JB2Decoder: More marks than the page has pixels!"},
        {"page without a start record", false, [&](RecordWriter&) {}, errDataBroken, "JB2Decoder: No start record!"},
        {"dictionary without a start record", true, [&](RecordWriter& w) { w.type(10), w.number(JB2CoderImpl::nkCommentLength, 0, 0); },
         errDataBroken, "JB2Decoder: No start record!"},
    };
    for (const Case& c : cases) {
        RecordWriter w;
        c.write(w);
        const Bytes stream = w.finish();
        SCOPED_TRACE(c.name);
        if (c.dictionary)
            expectThrow([&] { decodeDictionary(stream); }, c.code, c.message);
        else
            expectThrow([&] { decodePage(stream); }, c.code, c.message);
    }
    // Zero bytes decode to an end record straight away; ddjvu refuses them as well ("No start record").
    expectThrow([&] { decodePage(Bytes(256, 0)); }, errDataBroken, "JB2Decoder: No start record!");
    expectThrow([&] { decodeDictionary(Bytes(256, 0)); }, errDataBroken, "JB2Decoder: No start record!");
}

TEST(JB2Decoder, FGbzColoursTheShapes)
{
    const AutoPtr<JB2Page> page = decodePage(sjbz(140, 130, textPage()));
    const uint32_t n = page->getShapes().count();
    std::vector<uint32_t> indices;
    for (uint32_t i = 0; i < n; ++i)
        indices.push_back(i % 3);
    const Bytes data = fgbz({0x102030, 0xC81E1E, 0x1E32C8}, indices);
    page->addFGbz(streamOf(data));
    EXPECT_TRUE(page->hasFGbz());
    for (uint32_t i = 0; i < n; ++i) {
        Color colour;
        page->getShapes()[i]->getColor(colour);
        EXPECT_EQ((std::vector<uint32_t>{0x102030, 0xC81E1E, 0x1E32C8})[i % 3], colour.toRGB()) << i;
    }
    expectThrow([&] { page->addFGbz(streamOf(data)); }, errOperationFailed, "FGbz already loaded!");
}

TEST(JB2Decoder, FGbzVersionsAndCounts)
{
    const Bytes stream = sjbz(140, 130, textPage());
    const uint32_t n = decodePage(stream)->getShapes().count();
    const Bytes good = fgbz({0x0000FF}, std::vector<uint32_t>(n, 0));
    Bytes plain = good;
    plain[0] = 0x00;
    Bytes version1 = good;
    version1[0] = 0x01;
    for (const Bytes& accepted : {good, plain}) {
        const AutoPtr<JB2Page> page = decodePage(stream);
        page->addFGbz(streamOf(accepted));
        Color colour;
        page->getShapes()[n - 1]->getColor(colour);
        EXPECT_EQ(0x0000FFu, colour.toRGB());
    }
    struct Case {
        Bytes data;
        const char* message;
    };
    std::vector<uint32_t> pastPalette(n, 0);
    pastPalette[n - 1] = 1;
    const std::vector<Case> cases = {
        {version1, "JB2Decoder: Unknown FGbz version."},
        {fgbz({0x0000FF}, std::vector<uint32_t>(n + 1, 0)),
         "JB2Decoder::decodeFGbz : Shape count mismatch to the one of Sjbz!"},
        {fgbz({0x0000FF, 0x00FF00}, pastPalette), ""},
    };
    // The third case names colour 1 of a palette cut to one colour.
    Bytes cut = cases[2].data;
    cut[2] = 1;
    cut.erase(cut.begin() + 6, cut.begin() + 9);
    for (const Case& c : {cases[0], cases[1], Case{cut, "JB2Decoder::decodeFGbz : Palette index out of range!"}}) {
        const AutoPtr<JB2Page> page = decodePage(stream);
        expectThrow([&] { page->addFGbz(streamOf(c.data)); }, errDataBroken, c.message);
        EXPECT_FALSE(page->hasFGbz());
        // All or nothing: refused data colours no shape, even where the bad index is the last one.
        for (const AutoPtr<Shape>& shape : page->getShapes()) {
            Color colour;
            shape->getColor(colour);
            ASSERT_EQ(0u, colour.toRGB());
        }
    }
    // Data cut in its indices fails in the middle of the BZZ block and colours nothing either.
    const AutoPtr<JB2Page> page = decodePage(stream);
    const Bytes cutIndices(good.begin(), good.end() - 4);
    EXPECT_THROW(page->addFGbz(streamOf(cutIndices)), Morvenix::Exception);
    Color last;
    page->getShapes()[n - 1]->getColor(last);
    EXPECT_EQ(0u, last.toRGB());
}

// What a decoded page writes back decodes to the same shapes and colours.
TEST(JB2Decoder, WrittenBackPageDecodesTheSame)
{
    const ShapeList dictionary = fiveShapeDictionary();
    const AutoPtr<JB2Dictionary> dict = decodeDictionary(djbz(dictionary));
    ShapeList shapes = textPage();
    shapes.append(Shape::createMatch(dictionary[3], 100, 3));
    shapes.append(Shape::createRefinement(dictionary[1], glyph(8, 15, 7), 115, 3));
    const AutoPtr<JB2Page> page = decodePage(sjbz(140, 130, shapes, &dictionary), dict.get());
    std::vector<uint32_t> indices;
    for (uint32_t i = 0; i < page->getShapes().count(); ++i)
        indices.push_back(i % 4);
    page->addFGbz(streamOf(fgbz({0x000000, 0xFF0000, 0x00FF00, 0x0000FF}, indices)));

    const AutoPtr<Chunk> sjbzChunk = page->createSjbzChunk();
    const AutoPtr<Chunk> fgbzChunk = page->createFGbzChunk(256);
    EXPECT_EQ(Morvenix::String("Sjbz"), sjbzChunk->getId());
    EXPECT_EQ(Morvenix::String("FGbz"), fgbzChunk->getId());
    const AutoPtr<JB2Page> again = JB2Page::create(*sjbzChunk, dict.get());
    again->addFGbz(*fgbzChunk);
    EXPECT_EQ(page->getWidth(), again->getWidth());
    EXPECT_EQ(page->getHeight(), again->getHeight());
    expectSameShapes(page->getShapes(), again->getShapes());
}

TEST(JB2Decoder, EmptyPageEncodesAsValidData)
{
    const AutoPtr<JB2Page> page = JB2Page::create(30, 20);
    AutoPtr<Morvenix::MemoryStorage> out = Morvenix::MemoryStorage::create();
    page->encode(AutoPtr<Morvenix::Stream>(out));
    const AutoPtr<JB2Page> read = decodePage(bytesOf(*out));
    EXPECT_EQ(30u, read->getWidth());
    EXPECT_EQ(20u, read->getHeight());
    EXPECT_EQ(0u, read->getShapes().count());
}
