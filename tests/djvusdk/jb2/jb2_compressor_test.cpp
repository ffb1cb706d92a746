// The JB2 compressor's streams read back by the library's decoder: the shape each record rebuilds, the
// library indices (as the shapes that copies and refinements refer to), the inherited count, the resets
// of the number coder, and the failures.
#include "djv_jb2compressorimpl.h"
#include "jb2_test_support.h"
#include "test_support.h"

#include <functional>

using namespace Jb2Test;
using namespace Morvenix::DjVu::JB2;
using Morvenix::errDataBroken;
using Morvenix::errInvalidParam;

namespace {

AutoPtr<JB2Page> readPage(const Bytes& inSjbz, const JB2Dictionary* inDictionary = nullptr)
{
    return JB2Page::create(streamOf(inSjbz), inDictionary);
}

AutoPtr<JB2Dictionary> readDictionary(const Bytes& inDjbz)
{
    return JB2Dictionary::create(streamOf(inDjbz));
}

// The page as written, and the library index each of its records coded.
void expectReadBack(const ShapeList& inShapes, const Bytes& inSjbz, const std::vector<int>& inIndices,
                    const JB2Dictionary* inDictionary = nullptr)
{
    const AutoPtr<JB2Page> page = readPage(inSjbz, inDictionary);
    expectSameShapes(inShapes, page->getShapes());
    const ShapeList* inherited = inDictionary ? &inDictionary->getShapes() : nullptr;
    EXPECT_EQ(inIndices, referenceIndices(libraryOf(inherited, page->getShapes()), page->getShapes()));
}

} // namespace

TEST(JB2Compressor, EmptyPageWithEmptyDictionary)
{
    const ShapeList none;
    const Bytes stream = sjbz(640, 480, none, &none);
    const AutoPtr<JB2Page> page = readPage(stream, JB2Dictionary::create().get());
    EXPECT_EQ(640u, page->getWidth());
    EXPECT_EQ(480u, page->getHeight());
    EXPECT_EQ(0u, page->getShapes().count());
    // The stream asks for a dictionary of no shapes.
    const AutoPtr<JB2Dictionary> one = readDictionary(djbz(listOf({shapeOf({"#"}, 0, 0)})));
    MvxTest::expectThrow([&] { readPage(stream, one.get()); }, errDataBroken, "JB2Decoder: Shape count mismatch!");
}

TEST(JB2Compressor, PageWithoutDictionaryAsksForNone)
{
    const Bytes stream = sjbz(3, 2, ShapeList());
    const AutoPtr<JB2Dictionary> one = readDictionary(djbz(listOf({shapeOf({"#"}, 0, 0)})));
    const AutoPtr<JB2Page> page = readPage(stream, one.get());
    EXPECT_EQ(3u, page->getWidth());
    EXPECT_EQ(2u, page->getHeight());
    EXPECT_EQ(0u, page->getShapes().count());
}

TEST(JB2Compressor, EachShapeTypeBecomesItsRecordAndReadsBack)
{
    // Library: a 0, b 1, c 2, the refinements of a and c 3 and 4, the new mark on the next line 5.
    const ShapeList shapes = textPage();
    expectReadBack(shapes, sjbz(140, 130, shapes), {-1, -1, -1, 0, 1, 0, 2, 2, -1, 0, -1, 0});
}

TEST(JB2Compressor, MatchedCopiesStayOutOfTheLibrary)
{
    const AutoPtr<Shape> a = Shape::create(glyph(5, 6, 1), 1, 1, Normal);
    const AutoPtr<Shape> b = Shape::create(glyph(6, 5, 2), 30, 1, Normal);
    const ShapeList shapes = listOf({a, Shape::createMatch(a, 8, 1), Shape::createMatch(a, 15, 1), b,
                                     Shape::createMatch(b, 40, 1), Shape::createRefinement(b, glyph(6, 6, 3), 50, 1),
                                     Shape::createMatch(a, 60, 1)});
    // The copies before b took no index: b is 1.
    expectReadBack(shapes, sjbz(70, 10, shapes), {-1, 0, 0, -1, 1, 1, 0});
}

TEST(JB2Compressor, PageDrawsOnItsDictionary)
{
    const AutoPtr<Shape> d0 = Shape::create(glyph(7, 9, 1), 0, 0, Normal);
    const AutoPtr<Shape> d1 = Shape::createRefinement(d0, glyph(8, 9, 2), 0, 0);
    const ShapeList dictionary = listOf({d0, d1});
    const AutoPtr<Shape> own = Shape::create(glyph(4, 4, 3), 40, 5, Normal);
    const ShapeList shapes = listOf({Shape::createMatch(d1, 2, 3), Shape::createRefinement(d0, glyph(7, 10, 4), 15, 3),
                                     own, Shape::createMatch(own, 60, 5)});
    const Bytes stream = sjbz(80, 20, shapes, &dictionary);
    // Dictionary 0 and 1, the refinement 2, the new mark 3.
    expectReadBack(shapes, stream, {1, 0, -1, 3}, readDictionary(djbz(dictionary)).get());
    // The stream names the two shapes it inherits.
    const AutoPtr<JB2Dictionary> one = readDictionary(djbz(listOf({d0})));
    MvxTest::expectThrow([&] { readPage(stream, one.get()); }, errDataBroken, "JB2Decoder: Shape count mismatch!");
}

TEST(JB2Compressor, DictionaryStreamHoldsLibraryOnlyRecords)
{
    const AutoPtr<Shape> d0 = Shape::create(glyph(7, 9, 1), 0, 0, Normal);
    const ShapeList dictionary = listOf({d0, Shape::createRefinement(d0, glyph(9, 8, 2), 0, 0),
                                         Shape::create(glyph(3, 12, 3), 0, 0, Normal)});
    const Bytes stream = djbz(dictionary);
    const AutoPtr<JB2Dictionary> read = readDictionary(stream);
    expectSameShapes(dictionary, read->getShapes());
    EXPECT_EQ((std::vector<int>{-1, 0, -1}), referenceIndices(libraryOf(nullptr, read->getShapes()), read->getShapes()));
    // Library-only records have no place on a page.
    MvxTest::expectThrow([&] { readPage(stream); }, errDataBroken, "JB2Decoder: NewMarkLibraryOnly found on page!");
}

TEST(JB2Compressor, LongPageResetsTheNumberCoder)
{
    const ShapeList list = listOf(scatteredMarks(6000, 6000));
    const Bytes page = sjbz(6100, 6100, list);
    expectSameShapes(list, readPage(page)->getShapes());
    EXPECT_LE(numberCellsAfterReading(page, false), JB2CoderImpl::kCellChunk + 500);
}

TEST(JB2Compressor, CommentRecordsAreReadPast)
{
    const AutoPtr<Shape> a = Shape::create(glyph(6, 7, 1), 2, 2, Normal);
    AutoPtr<Morvenix::MemoryStorage> out = Morvenix::MemoryStorage::create();
    _Mvx_Internal_NS_::JB2Compressor compressor;
    compressor.beginStream(AutoPtr<Morvenix::Stream>(out));
    compressor.encodeStartOfImage(10, 10);
    compressor.encodeComment("Brindlepage \xC3\xA9");
    compressor.encodeComment("");
    compressor.encodeNewMark(*a);
    compressor.encodeComment("after the mark");
    compressor.encodeEndOfData();
    compressor.endStream();
    expectReadBack(listOf({a}), bytesOf(*out), {-1});
}

namespace {

// A shape that breaks the invariants the real ones keep: any type, with or without a reference.
class OddShape : public Shape {
public:
    OddShape(ShapeType inType, Shape* inReference) : m_type(inType), m_reference(inReference), m_bitmap(1, 1) {}
    ShapeType getType() const override { return m_type; }
    uint32_t getWidth() const override { return 1; }
    uint32_t getHeight() const override { return 1; }
    int32_t getX() const override { return 0; }
    int32_t getY() const override { return 0; }
    void setPosition(int32_t, int32_t) override {}
    Morvenix::Rect getRect() const override { return Morvenix::Rect{0, 0, 1, 1}; }
    const ShapeBitmap& getBitmap() const override { return m_bitmap; }
    void replaceBitmap(const ShapeBitmap&) override {}
    void setRefinement(const AutoPtr<Shape>&) override {}
    void setMatch(const AutoPtr<Shape>&) override {}
    void getColor(Morvenix::DjVu::Color& outColor) const override { outColor = Morvenix::DjVu::Color{0, 0, 0, 0}; }
    void setColor(const Morvenix::DjVu::Color&) override {}
    Shape* getReference() const override { return m_reference.get(); }

private:
    ShapeType m_type;
    AutoPtr<Shape> m_reference;
    ShapeBitmap m_bitmap;
};

AutoPtr<Shape> odd(uint32_t inType, const AutoPtr<Shape>& inReference = AutoPtr<Shape>())
{
    return AutoPtr<Shape>(new OddShape(ShapeType(inType), inReference.get()));
}

AutoPtr<Shape> dot(int32_t inX = 0, int32_t inY = 0, ShapeType inType = Normal)
{
    return shapeOf({"#"}, inX, inY, inType);
}

} // namespace

TEST(JB2Compressor, RefusesWhatTheStreamsCannotHold)
{
    const AutoPtr<Shape> a = dot();
    struct Case {
        const char* what;
        bool dictionary;
        uint32_t width, height;
        std::function<ShapeList()> shapes;
        int code;
        const char* message;
        bool writesNothing;
    } cases[] = {
        {"unknown type on a page", false, 10, 10, [] { return listOf({odd(7)}); }, errDataBroken,
         "Invalid shape in a page!", false},
        {"copy in a dictionary", true, 0, 0, [&] { return listOf({a, Shape::createMatch(a, 0, 0)}); }, errDataBroken,
         "Invalid shape in the dictionary!", false},
        {"non-mark in a dictionary", true, 0, 0, [] { return listOf({dot(0, 0, NonMark)}); }, errDataBroken,
         "Invalid shape in the dictionary!", false},
        {"new mark with a reference", false, 10, 10, [&] { return listOf({a, odd(Normal, a)}); }, errDataBroken,
         "NewMark with a reference found!", false},
        {"library-only mark with a reference", true, 0, 0, [&] { return listOf({a, odd(Normal, a)}); },
         errDataBroken, "NewMarkLibraryOnly with a reference found!", false},
        {"refinement without reference", false, 10, 10, [] { return listOf({odd(Refinement)}); }, errDataBroken,
         "MatchRefine without a reference found!", false},
        {"library-only refinement without reference", true, 0, 0, [] { return listOf({odd(Refinement)}); },
         errDataBroken, "MatchedRefineLibraryOnly without a reference found!", false},
        {"copy without reference", false, 10, 10, [] { return listOf({odd(Match)}); }, errDataBroken,
         "MatchedCopy without a reference found!", false},
        {"copy of a shape never written", false, 10, 10, [&] { return listOf({Shape::createMatch(a, 1, 1)}); },
         errDataBroken, "The shape does not have its Id!", false},
        {"copy of a shape written later", false, 10, 10,
         [&] { return listOf({Shape::createMatch(a, 1, 1), a}); }, errDataBroken, "The shape does not have its Id!",
         false},
        {"copy of non-mark data", false, 10, 10,
         [] {
             const AutoPtr<Shape> n = dot(0, 0, NonMark);
             return listOf({n, Shape::createMatch(n, 2, 2)});
         },
         errDataBroken, "The shape does not have its Id!", false},
        {"refinement of a later dictionary shape", true, 0, 0,
         [&] { return listOf({Shape::createRefinement(a, bitmapOf({"##"}), 0, 0), a}); }, errDataBroken,
         "The shape does not have its Id!", false},
        {"page too wide", false, 262143, 10, [] { return ShapeList(); }, errInvalidParam,
         "The page size is out of the JB2 range!", true},
        {"page too high", false, 10, 0xFFFFFFFFu, [] { return ShapeList(); }, errInvalidParam,
         "The page size is out of the JB2 range!", true},
        {"shape too wide", false, 10, 10, [] { return listOf({dot(), Shape::create(ShapeBitmap(262143, 1), 0, 0, Normal)}); },
         errInvalidParam, "The shape size is out of the JB2 range!", true},
        {"dictionary shape too high", true, 0, 0, [] { return listOf({Shape::create(ShapeBitmap(1, 262143), 0, 0, Normal)}); },
         errInvalidParam, "The shape size is out of the JB2 range!", true},
        {"non-mark left of the page", false, 10, 10, [] { return listOf({dot(-1, 0, NonMark)}); }, errInvalidParam,
         "The non-mark data lies outside the page!", true},
        {"non-mark below the page", false, 10, 10, [] { return listOf({dot(0, 10, NonMark)}); }, errInvalidParam,
         "The non-mark data lies outside the page!", true},
        {"non-mark right of the page", false, 10, 10, [] { return listOf({dot(10, 0, NonMark)}); }, errInvalidParam,
         "The non-mark data lies outside the page!", true},
        {"mark too far right", false, 10, 10, [] { return listOf({dot(300000, 1)}); }, errInvalidParam,
         "The shape position is out of the JB2 range!", false},
        {"mark too far above", false, 10, 10, [] { return listOf({dot(1, 1), dot(0, -300000)}); }, errInvalidParam,
         "The shape position is out of the JB2 range!", false},
        {"mark past the left edge", false, 10, 10, [] { return listOf({dot(-1, 3)}); }, errInvalidParam,
         "The shape reaches past the left or bottom edge of the page!", false},
        {"mark past the bottom edge", false, 10, 10, [] { return listOf({shapeOf({"#", "#"}, 3, 9)}); },
         errInvalidParam, "The shape reaches past the left or bottom edge of the page!", false},
        {"copy whose ink reaches below the page", false, 10, 10,
         [] {
             const AutoPtr<Shape> r = shapeOf({"...", ".#.", ".#.", "..."}, 0, 0);
             return listOf({r, Shape::createMatch(r, 5, 8)});
         },
         errInvalidParam, "The shape reaches past the left or bottom edge of the page!", false},
        {"non-mark reaching below the page", false, 10, 10, [] { return listOf({shapeOf({"#", "#"}, 0, 9, NonMark)}); },
         errInvalidParam, "The non-mark data lies outside the page!", true},
        {"empty slot in the list", false, 10, 10, [] { return listOf({dot(), AutoPtr<Shape>()}); }, errInvalidParam,
         "A shape list holds no shape!", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ShapeList shapes = c.shapes();
        AutoPtr<Morvenix::MemoryStorage> out = Morvenix::MemoryStorage::create();
        const AutoPtr<Morvenix::Stream> stream(out);
        MvxTest::expectThrow(
            [&] {
                if (c.dictionary)
                    Compressor::encodeDjbz(stream, shapes);
                else
                    Compressor::encodeSjbz(stream, c.width, c.height, shapes, nullptr);
            },
            c.code, c.message);
        if (c.writesNothing) {
            EXPECT_EQ(0u, out->getSize());
        }
    }
}
