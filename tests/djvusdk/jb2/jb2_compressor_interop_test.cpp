// Page streams written by the JB2 compressor, rendered by ddjvu: every record type the compressor
// writes, the library reset of long pages, and small and odd masks, each pixel for pixel.
#include "djv_jb2compressorimpl.h"
#include "jb2_interop_support.h"

using namespace Jb2Test;
using namespace Morvenix::DjVu::JB2;

TEST_F(Jb2Interop, TextLikePageRendersExactly)
{
    const ShapeList shapes = textPage();
    const Bytes stream = sjbz(140, 130, shapes);
    expectSameShapes(shapes, JB2Page::create(streamOf(stream), nullptr)->getShapes());
    const MvxTest::NetpbmImage decoded = renderSjbz(140, 130, stream);
    EXPECT_EQ("", MvxTest::firstDifference(paint(140, 130, shapes), decoded));
}

TEST_F(Jb2Interop, RefinementOfBitmapsWithBlankMarginsRendersExactly)
{
    // Ink boxes smaller than the bitmaps, on both sides: the decoder sizes a refinement from its
    // reference's ink box and centres the reference by it.
    const AutoPtr<Shape> reference = shapeOf({".......",
                                              "..###..",
                                              ".#...#.",
                                              ".#####.",
                                              ".#...#.",
                                              ".#...#.",
                                              ".......",
                                              "......."},
                                             5, 5);
    const Art refinedArt = {"..........",
                            "..........",
                            "...####...",
                            "..#....#..",
                            "..######..",
                            "..#....#..",
                            "..#....##.",
                            "..........",
                            ".........."};
    const ShapeList shapes = listOf({reference, Shape::createRefinement(reference, bitmapOf(refinedArt), 20, 3),
                                     Shape::createMatch(reference, 40, 6),
                                     Shape::createRefinement(reference, bitmapOf({"#"}), 2, 30),
                                     Shape::createRefinement(reference, glyph(23, 17, 8), 50, 20)});
    expectRendersExactly(80, 40, shapes);
}

TEST_F(Jb2Interop, SmallAndOddMasksRenderExactly)
{
    const ShapeBitmap frame = [] {
        ShapeBitmap b(31, 17);
        for (uint32_t x = 0; x < 31; ++x) {
            b.setPixel(x, 0, true);
            b.setPixel(x, 16, true);
        }
        for (uint32_t y = 0; y < 17; ++y) {
            b.setPixel(0, y, true);
            b.setPixel(30, y, true);
        }
        return b;
    }();
    struct Case {
        const char* name;
        uint32_t width, height;
        ShapeList shapes;
    } cases[] = {
        {"one-pixel.djvu", 9, 7, listOf({shapeOf({"#"}, 4, 3)})},
        {"every-border.djvu", 31, 17, listOf({Shape::create(frame, 0, 0, Normal)})},
        {"empty.djvu", 50, 40, ShapeList()},
        {"one-wide.djvu", 1, 30, listOf({shapeOf({"#", ".", "#", "#"}, 0, 0), shapeOf({"#"}, 0, 29)})},
        {"corners.djvu", 20, 20,
         listOf({shapeOf({"#"}, 0, 0), shapeOf({"#"}, 19, 0), shapeOf({"#"}, 0, 19), shapeOf({"#"}, 19, 19)})},
        {"wide.djvu", 5000, 12,
         listOf({Shape::create(glyph(4990, 3, 9), 5, 1, Normal), shapeOf({"##", "##"}, 4998, 10),
                 shapeOf({"#"}, 0, 11)})},
        // ddjvu clips what reaches past the top and right edges.
        {"past-top.djvu", 20, 20, listOf({Shape::create(glyph(5, 5, 1), 5, -2, Normal)})},
        {"past-right.djvu", 20, 20, listOf({Shape::create(glyph(5, 5, 1), 17, 5, Normal)})},
        {"empty-bitmaps.djvu", 20, 20,
         listOf({Shape::create(ShapeBitmap(0, 0), 3, 3, Normal), Shape::create(ShapeBitmap(0, 4), 5, 3, Normal),
                 Shape::create(ShapeBitmap(4, 0), 7, 20, Normal), Shape::create(ShapeBitmap(3, 2), 2, 2, Normal),
                 shapeOf({"#"}, 9, 9)})},
        // A blank reference has an empty ink box at its far corner, from which the decoder still works.
        {"blank-reference.djvu", 30, 30,
         [] {
             const AutoPtr<Shape> blank = Shape::create(ShapeBitmap(5, 5), 2, 2, Normal);
             return listOf({blank, Shape::createRefinement(blank, glyph(6, 7, 1), 10, 3),
                            Shape::createMatch(blank, 3, 20)});
         }()},
    };
    for (const Case& c : cases)
        expectRendersExactly(c.width, c.height, c.shapes, c.name);
}

TEST_F(Jb2Interop, LongPageResetsTheNumberCoderAndRendersExactly)
{
    // Thousands of marks of varied sizes at scattered places use up more than 20000 number-coder cells.
    std::vector<AutoPtr<Shape>> shapes = scatteredMarks(6000, 6000);
    for (uint32_t i = 4; i < shapes.size(); i += 5)
        shapes[i] = Shape::createMatch(shapes[i - 1 - i % 3], shapes[i]->getX(), shapes[i]->getY());
    const ShapeList list = listOf(shapes);
    const Bytes stream = sjbz(6100, 6100, list);
    EXPECT_LE(numberCellsAfterReading(stream, false), JB2CoderImpl::kCellChunk + 500) << "the writer reset it";
    const MvxTest::NetpbmImage decoded = renderSjbz(6100, 6100, stream);
    EXPECT_EQ("", MvxTest::firstDifference(paint(6100, 6100, list), decoded));
}

TEST_F(Jb2Interop, CommentRecordIsReadPastByDdjvu)
{
    const AutoPtr<Shape> a = Shape::create(glyph(6, 7, 1), 2, 2, Normal);
    AutoPtr<Morvenix::MemoryStorage> out = Morvenix::MemoryStorage::create();
    _Mvx_Internal_NS_::JB2Compressor compressor;
    compressor.beginStream(AutoPtr<Morvenix::Stream>(out));
    compressor.encodeStartOfImage(20, 12);
    compressor.encodeComment("made by Brindlepage");
    compressor.encodeNewMark(*a);
    compressor.encodeEndOfData();
    compressor.endStream();
    EXPECT_EQ("", MvxTest::firstDifference(paint(20, 12, listOf({a})), renderSjbz(20, 12, bytesOf(*out))));
}

TEST_F(Jb2Interop, SharedDictionaryServesTwoPagesOfABundledDocument)
{
    // Library-only records (new marks and a refinement) in the dictionary; copies and refinements of its
    // shapes, and marks of their own, on the pages.
    const AutoPtr<Shape> d0 = Shape::create(glyph(9, 11, 1), 0, 0, Normal);
    const AutoPtr<Shape> d1 = Shape::createRefinement(d0, glyph(10, 11, 2), 0, 0);
    const AutoPtr<Shape> d2 = shapeOf({"......", ".####.", ".#..#.", ".####.", "......"}, 0, 0);
    const ShapeList dictionary = listOf({d0, d1, d2});
    const AutoPtr<Shape> own = Shape::create(glyph(7, 7, 3), 60, 30, Normal);
    const ShapeList first = listOf({Shape::createMatch(d0, 3, 4), Shape::createMatch(d1, 15, 4),
                                    Shape::createRefinement(d2, glyph(5, 4, 4), 30, 6), own,
                                    Shape::createMatch(own, 75, 31), Shape::createMatch(d2, 5, 30)});
    const ShapeList second = listOf({Shape::createMatch(d2, 1, 1), Shape::createRefinement(d1, glyph(11, 12, 5), 20, 20),
                                     Shape::create(glyph(30, 6, 6), 40, 2, NonMark), Shape::createMatch(d0, 70, 30)});
    expectSameShapes(dictionary, JB2Dictionary::create(streamOf(djbz(dictionary)))->getShapes());

    const AutoPtr<Chunk> shared = leaf("Djbz", djbz(dictionary));
    AutoPtr<ChunkCollection> document = ChunkCollection::create("DJVM");
    int number = 0;
    for (const ShapeList* shapes : {&first, &second}) {
        AutoPtr<ChunkCollection> page =
            pageForm(90, 45, {Morvenix::DjVu::ChunkRedirector::create(shared),
                              leaf("Sjbz", sjbz(90, 45, *shapes, &dictionary))});
        page->setName(("page" + std::to_string(++number) + ".djvu").c_str());
        document->getChildren().append(AutoPtr<Chunk>(page));
    }
    writeDocument(document.get(), "book.djvu");

    const std::string dump = run("djvudump " + host("book.djvu"));
    EXPECT_NE(std::string::npos, dump.find("FORM:DJVI")) << dump;
    EXPECT_NE(std::string::npos, dump.find("Djbz")) << dump;
    EXPECT_NE(std::string::npos, dump.find("INCL")) << dump;
    EXPECT_EQ("", MvxTest::firstDifference(paint(90, 45, first), decode("book.djvu", 1)));
    EXPECT_EQ("", MvxTest::firstDifference(paint(90, 45, second), decode("book.djvu", 2)));
}
