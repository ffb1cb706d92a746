// The JB2 compressor's streams read back record by record: which record each shape becomes, the
// library indices, the start and reset records, and the failures.
#include "djv_jb2compressorimpl.h"
#include "jb2_record_reader.h"
#include "test_support.h"

#include <functional>

using namespace Jb2Test;
using namespace Morvenix::DjVu::JB2;
using Morvenix::errDataBroken;
using Morvenix::errInvalidParam;

namespace {

// Every record that places a shape gives back the shape's pixels and place.
void expectShapesRead(const ShapeList& inShapes, const std::vector<Record>& inRecords)
{
    size_t next = 0;
    for (const Record& r : inRecords) {
        if (r.type != 1 && r.type != 4 && r.type != 7 && r.type != 8)
            continue;
        ASSERT_LT(next, inShapes.count());
        const Shape& shape = *inShapes[uint32_t(next++)];
        EXPECT_EQ(pixelsOf(shape.getBitmap()), r.bitmap) << "shape " << next - 1;
        EXPECT_EQ(shape.getX(), r.x) << "shape " << next - 1;
        EXPECT_EQ(shape.getY(), r.y) << "shape " << next - 1;
    }
    EXPECT_EQ(inShapes.count(), next);
}

} // namespace

TEST(JB2Compressor, EmptyPageWithEmptyDictionary)
{
    const ShapeList none;
    const std::vector<Record> records = readRecords(sjbz(640, 480, none, &none));
    ASSERT_EQ((std::vector<int>{9, 0, 11}), typesOf(records));
    EXPECT_EQ(0u, records[0].count);
    EXPECT_EQ(640u, records[1].width);
    EXPECT_EQ(480u, records[1].height);
}

TEST(JB2Compressor, PageWithoutDictionaryBeginsWithTheStartRecord)
{
    EXPECT_EQ((std::vector<int>{0, 11}), typesOf(readRecords(sjbz(3, 2, ShapeList()))));
}

TEST(JB2Compressor, EachShapeTypeBecomesItsRecordAndReadsBack)
{
    const ShapeList shapes = textPage();
    const std::vector<Record> records = readRecords(sjbz(140, 130, shapes));
    EXPECT_EQ((std::vector<int>{0, 1, 1, 1, 7, 7, 4, 4, 7, 1, 7, 8, 7, 11}), typesOf(records));
    expectShapesRead(shapes, records);
}

TEST(JB2Compressor, MatchedCopiesStayOutOfTheLibrary)
{
    const AutoPtr<Shape> a = Shape::create(glyph(5, 6, 1), 1, 1, Normal);
    const AutoPtr<Shape> b = Shape::create(glyph(6, 5, 2), 30, 1, Normal);
    const ShapeList shapes = listOf({a, Shape::createMatch(a, 8, 1), Shape::createMatch(a, 15, 1), b,
                                     Shape::createMatch(b, 40, 1), Shape::createRefinement(b, glyph(6, 6, 3), 50, 1),
                                     Shape::createMatch(a, 60, 1)});
    const std::vector<Record> records = readRecords(sjbz(70, 10, shapes));
    ASSERT_EQ((std::vector<int>{0, 1, 7, 7, 1, 7, 4, 7, 11}), typesOf(records));
    EXPECT_EQ(0, records[2].index);
    EXPECT_EQ(0, records[3].index);
    EXPECT_EQ(1, records[5].index) << "the copies before b took no index";
    EXPECT_EQ(1, records[6].index);
    EXPECT_EQ(0, records[7].index);
    expectShapesRead(shapes, records);
}

TEST(JB2Compressor, PageDrawsOnItsDictionary)
{
    const AutoPtr<Shape> d0 = Shape::create(glyph(7, 9, 1), 0, 0, Normal);
    const AutoPtr<Shape> d1 = Shape::createRefinement(d0, glyph(8, 9, 2), 0, 0);
    const ShapeList dictionary = listOf({d0, d1});
    const AutoPtr<Shape> own = Shape::create(glyph(4, 4, 3), 40, 5, Normal);
    const ShapeList shapes = listOf({Shape::createMatch(d1, 2, 3), Shape::createRefinement(d0, glyph(7, 10, 4), 15, 3),
                                     own, Shape::createMatch(own, 60, 5)});
    const std::vector<Record> records = readRecords(sjbz(80, 20, shapes, &dictionary), &dictionary);
    ASSERT_EQ((std::vector<int>{9, 0, 7, 4, 1, 7, 11}), typesOf(records));
    EXPECT_EQ(2u, records[0].count);
    EXPECT_EQ(1, records[2].index);
    EXPECT_EQ(0, records[3].index);
    EXPECT_EQ(3, records[5].index) << "dictionary 0 and 1, the refinement 2, the new mark 3";
    expectShapesRead(shapes, records);
}

TEST(JB2Compressor, DictionaryStreamHoldsLibraryOnlyRecords)
{
    const AutoPtr<Shape> d0 = Shape::create(glyph(7, 9, 1), 0, 0, Normal);
    const ShapeList dictionary = listOf({d0, Shape::createRefinement(d0, glyph(9, 8, 2), 0, 0),
                                         Shape::create(glyph(3, 12, 3), 0, 0, Normal)});
    RecordReader reader(djbz(dictionary));
    const std::vector<Record> records = reader.readAll();
    ASSERT_EQ((std::vector<int>{0, 2, 5, 2, 11}), typesOf(records));
    EXPECT_EQ(0u, records[0].width);
    EXPECT_EQ(0u, records[0].height);
    EXPECT_EQ(0, records[2].index);
    ASSERT_EQ(3u, reader.library().size());
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(pixelsOf(dictionary[i]->getBitmap()), reader.library()[i]) << i;
}

TEST(JB2Compressor, ResetRecordFollowsTheShapeThatFilledTheCells)
{
    const std::vector<AutoPtr<Shape>> shapes = scatteredMarks(6000, 6000);
    const ShapeList list = listOf(shapes);
    const std::vector<Record> records = readRecords(sjbz(6100, 6100, list));
    size_t resets = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i].type != 9)
            continue;
        ++resets;
        EXPECT_EQ(1, records[i - 1].type) << "a reset stands between two shape records";
        EXPECT_EQ(1, records[i + 1].type);
    }
    EXPECT_GE(resets, 1u);
    expectShapesRead(list, records);
}

TEST(JB2Compressor, CommentRecordCarriesItsBytes)
{
    AutoPtr<Morvenix::MemoryStorage> out = Morvenix::MemoryStorage::create();
    _Mvx_Internal_NS_::JB2Compressor compressor;
    compressor.beginStream(AutoPtr<Morvenix::Stream>(out));
    compressor.encodeStartOfImage(10, 10);
    compressor.encodeComment("Brindlepage \xC3\xA9");
    compressor.encodeComment("");
    compressor.encodeEndOfData();
    compressor.endStream();
    const std::vector<Record> records = readRecords(bytesOf(*out));
    ASSERT_EQ((std::vector<int>{0, 10, 10, 11}), typesOf(records));
    EXPECT_EQ("Brindlepage \xC3\xA9", records[1].comment);
    EXPECT_EQ("", records[2].comment);
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
