// Page annotations: the exact text of the display hints and metadata, reading it back, map areas in every
// orientation, the overloads without page information, the chunks, merging and turning.
#include "djv_annotation.h"
#include "djv_bzz.h"
#include "djv_data.h"

#include "maparea_test_support.h"

#include "mvx_memstorage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace MapAreaTest;
using Morvenix::MemoryStorage;
using Morvenix::DjVu::Annotation;
using Morvenix::DjVu::Chunk;
using Morvenix::DjVu::Data;
using Morvenix::DjVu::InflateStream;
using Morvenix::DjVu::PropertySet;

const uint32_t kNone = Annotation::backgroundNone;

std::string textOf(const Annotation& inAnnotation, const PageInfo& inInfo)
{
    return str(inAnnotation.getANTString(inInfo));
}

AutoPtr<Annotation> read(const std::string& inText, const PageInfo& inInfo = Annotation::defaultPageInfo())
{
    return Annotation::create(String(inText.data(), int32_t(inText.size())), inInfo);
}

std::vector<std::pair<std::string, std::string>> metadataOf(const Annotation& inAnnotation)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    if (!inAnnotation.metadata)
        return pairs;
    AutoPtr<Morvenix::DjVu::PropertySetIterator> it = inAnnotation.metadata->getIterator();
    while (it->next())
        pairs.emplace_back(str(it->getKey()), str(it->getValue()));
    return pairs;
}

std::vector<std::string> othersOf(const Annotation& inAnnotation)
{
    std::vector<std::string> others;
    for (const String& s : inAnnotation.otherExpressions)
        others.push_back(str(s));
    return others;
}

const PageInfo kPage = pageInfo(400, 300, 0);

// The areas as the text gives them back: a rectangle without a highlight writes no opacity, which then
// reads as the default 50.
MapAreas asReadBack(const MapAreas& inAreas)
{
    MapAreas areas;
    for (const AutoPtr<MapArea>& area : inAreas) {
        AutoPtr<MapArea> copy = area->clone();
        if (copy->getType() == MapArea::shapeRect) {
            MapRect& rect = static_cast<MapRect&>(*copy);
            if (!Morvenix::DjVu::isColorSpecified(rect.hiliteColor))
                rect.opacity = 50;
        }
        areas.append(copy);
    }
    return areas;
}

TEST(Annotation, DisplayHintsAreWrittenInTheirOrderAndReadBack)
{
    struct Case {
        int32_t hAlign, vAlign;
        uint32_t background;
        int32_t zoom, mode;
        const char* text;
        int32_t readHAlign, readVAlign; // what the text reads back as
    };
    const Case cases[] = {
        {0, 0, kNone, 0, 1, "(mode color)\n", 0, 0},
        {0, 0, kNone, 0, 0, "", 0, 0},
        {0, 0, 0x00123ABC, 0, 0, "(background #123ABC)\n", 0, 0},
        {0, 0, 0x00000000, 0, 0, "(background #000000)\n", 0, 0},
        {0, 0, 0x01123ABC, 0, 0, "", 0, 0},
        {0, 0, kNone, 150, 0, "(zoom d150)\n", 0, 0},
        {0, 0, kNone, -4, 0, "(zoom stretch)\n", 0, 0},
        {0, 0, kNone, -3, 0, "(zoom one2one)\n", 0, 0},
        {0, 0, kNone, -2, 0, "(zoom width)\n", 0, 0},
        {0, 0, kNone, -1, 0, "(zoom page)\n", 0, 0},
        {0, 0, kNone, -7, 0, "(zoom d-7)\n", 0, 0},
        {0, 0, kNone, 0, 2, "(mode bw)\n", 0, 0},
        {0, 0, kNone, 0, 3, "(mode fore)\n", 0, 0},
        {0, 0, kNone, 0, 4, "(mode back)\n", 0, 0},
        {1, 0, kNone, 0, 0, "(align left center)\n", 1, 2},
        {0, 3, kNone, 0, 0, "(align center bottom)\n", 2, 3},
        {3, 1, kNone, 0, 0, "(align right top)\n", 3, 1},
        {2, 2, 0x00FFFFFF, -2, 2, "(background #FFFFFF)\n(zoom width)\n(mode bw)\n(align center center)\n", 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        AutoPtr<Annotation> a = Annotation::create(c.hAlign, c.vAlign, c.background, c.zoom, c.mode);
        EXPECT_EQ(c.text, textOf(*a, kPage));
        EXPECT_EQ(c.text, str(a->getANTString()));
        EXPECT_EQ(std::string(c.text).empty(), a->isEmpty());
        EXPECT_FALSE(a->metadata);

        AutoPtr<Annotation> back = read(c.text, kPage);
        EXPECT_EQ(c.readHAlign, back->hAlign);
        EXPECT_EQ(c.readVAlign, back->vAlign);
        EXPECT_EQ(Morvenix::DjVu::isColorSpecified(c.background) ? c.background : kNone, back->background);
        EXPECT_EQ(c.zoom, back->zoom);
        // The reader starts from mode 1 (color); a text without a mode line leaves it there.
        EXPECT_EQ(c.mode ? c.mode : 1, back->mode);
        EXPECT_EQ(0u, back->otherExpressions.count());
    }
}

TEST(Annotation, KeywordsOfOtherWritersAndTheirUnsetValues)
{
    struct Case {
        const char* text;
        int32_t hAlign, vAlign, zoom, mode;
    };
    const Case cases[] = {
        {"(align default default) (mode default) (zoom default)", 0, 0, 0, 0},
        {"(align none none) (mode none) (zoom none)", 0, 0, 0, 0},
        {"(align default bottom) (zoom d)", 0, 3, 0, 1},
        {"(align right default) (zoom d300) (mode back)", 3, 0, 300, 4},
        {"(zoom dabc)", 0, 0, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        AutoPtr<Annotation> a = read(c.text, kPage);
        EXPECT_EQ(c.hAlign, a->hAlign);
        EXPECT_EQ(c.vAlign, a->vAlign);
        EXPECT_EQ(c.zoom, a->zoom);
        EXPECT_EQ(c.mode, a->mode);
    }
}

TEST(Annotation, UnknownKeywordValuesAndColoursThrow)
{
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"(mode loud)", "Invalid Data \"loud\"!"},
        {"(align left middle)", "Invalid Data \"middle\"!"},
        {"(align Left top)", "Invalid Data \"Left\"!"},
        {"(zoom huge)", "Invalid Data \"huge\"!"},
        {"(background #12345)", "Invalid Color \"#12345\"!"},
        {"(background red)", "Invalid Color \"red\"!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        AutoPtr<Annotation> a = Annotation::create(1, 1, 0x00FF0000, 5, 2);
        expectThrow([&] { a->interpret(String(c.text), kPage); }, Morvenix::errDataBroken, c.message);
        // The reset before reading took place; what came before the failure stays.
        EXPECT_EQ(kNone, a->background);
        EXPECT_EQ(1, a->mode);
    }
    AutoPtr<Annotation> a = Annotation::create(0, 0, kNone, 0, 0);
    expectThrow([&] { a->interpret(String("(mode bw) (zoom d50) (mode bad) (zoom d70)"), kPage); },
                Morvenix::errDataBroken);
    EXPECT_EQ(2, a->mode);
    EXPECT_EQ(50, a->zoom);
}

TEST(Annotation, MetadataKeysAreSymbolsAndValuesAreEscaped)
{
    AutoPtr<Annotation> a = Annotation::create(0, 0, kNone, 0, 1);
    a->set(0, 0, kNone, 0, 1);
    ASSERT_TRUE(a->metadata);
    a->metadata->setValue("Title", "Report \xE2\x82\xAC 2026");
    a->metadata->setValue("Author", "Jane \"JD\" Doe");
    a->metadata->setValue("Path", "C:\\dir\\");
    a->metadata->setValue("dc:subject", "");
    const std::string expected = "(mode color)\n(metadata (Author \"Jane \\\"JD\\\" Doe\") (Path \"C:\\\\dir\\\\\") "
                                 "(Title \"Report \xE2\x82\xAC 2026\") (dc:subject \"\"))\n";
    EXPECT_EQ(expected, textOf(*a, kPage));
    // Metadata needs no page: the overloads without page information write it too.
    EXPECT_EQ(expected, str(a->getANTString()));

    AutoPtr<Annotation> back = read(expected, kPage);
    EXPECT_EQ(metadataOf(*a), metadataOf(*back));
    EXPECT_EQ(0u, back->otherExpressions.count());
}

TEST(Annotation, MetadataReading)
{
    // Quoted keys, bare values, a later pair replacing an earlier one (even with an empty value), and
    // items that are no pairs, which are passed over.
    AutoPtr<Annotation> a =
        read("(metadata (\"Author\" \"Jane\") (Title T1) (Title \"\") (Lone) (a b c) word (Key \"v\"))", kPage);
    EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"Author", "Jane"}, {"Key", "v"}, {"Title", ""}}),
              metadataOf(*a));
    EXPECT_EQ(0u, a->otherExpressions.count());
}

TEST(Annotation, MetadataKeysOfAnyWordReadBack)
{
    // Other DjVu software writes keys of non-ASCII letters and signs; rewriting such an annotation keeps them.
    const std::string text =
        "(mode color)\n(metadata (Aut\xC3\xB6r \"x\") (_k \"v\") (a#b \"y\") (k;q \"w\") (k|q \"z\"))\n";
    AutoPtr<Annotation> a = read(text, kPage);
    EXPECT_EQ(5u, a->metadata->getCount());
    EXPECT_EQ(text, textOf(*a, kPage));
}

TEST(Annotation, MetadataKeysThatCannotBeSymbolsAreRefused)
{
    for (const char* key : {"", "My Key", "9lives", "-x", "+x", ".x", "a(b", "a)b", "a\"b", "a\\b", "tab\there",
                            "nbsp\xC2\xA0here", "ideo\xE3\x80\x80here", "del\x7F", "ctl\x01"}) {
        SCOPED_TRACE(key);
        AutoPtr<Annotation> a = Annotation::create(0, 0, kNone, 0, 1);
        a->set(0, 0, kNone, 0, 1);
        a->metadata->setValue(String(key), "v");
        expectThrow([&] { a->getANTString(kPage); }, Morvenix::errInvalidParam);
        expectThrow([&] { a->makeANTz(kPage); }, Morvenix::errInvalidParam);
    }
}

TEST(Annotation, OtherExpressionsAreKeptAndWrittenBackRebuilt)
{
    const std::string text = "ignored (align left) junk (mode bw) ) (unknown \"a b\" (x y)) ()"
                             "(background #FF0000 #00FF00) (metadata) (zoom)";
    AutoPtr<Annotation> a = read(text, kPage);
    EXPECT_EQ(2, a->mode);
    EXPECT_EQ(kNone, a->background);
    const std::vector<std::string> others = {"(align left)", "(unknown \"a b\" (x y))",
                                             "(background #FF0000 #00FF00)", "(zoom)"};
    EXPECT_EQ(others, othersOf(*a));
    EXPECT_EQ("(mode bw)\n(align left)\n(unknown \"a b\" (x y))\n(background #FF0000 #00FF00)\n(zoom)\n",
              textOf(*a, kPage));
    // Interpreting again resets the hints and areas but keeps the expressions of both texts.
    a->interpret(String("(zoom page) (other 1)"), kPage);
    EXPECT_EQ(1, a->mode);
    EXPECT_EQ(-1, a->zoom);
    EXPECT_EQ(5u, a->otherExpressions.count());
    EXPECT_EQ("(other 1)", str(a->otherExpressions[4]));
}

TEST(Annotation, StringsOfOtherExpressionsSurviveRoundTrips)
{
    const std::string text = "(note \"say \\\"hi\\\" C:\\\\dir\\\\\" \"\")\n";
    AutoPtr<Annotation> a = read(text, kPage);
    ASSERT_EQ(1u, a->otherExpressions.count());
    EXPECT_EQ("(mode color)\n" + text, textOf(*a, kPage));
}

TEST(Annotation, MapAreasOfEveryShapeRoundTripInEveryOrientation)
{
    for (int r = 0; r < 4; ++r) {
        SCOPED_TRACE(r);
        const PageInfo info = pageInfo(400, 300, r);
        // Areas placed in orientation r, recorded in an annotation read with that page information.
        AutoPtr<Annotation> a = read("(mode color)", info);
        EXPECT_EQ(r, a->getRotation());
        a->mapAreas = sampleAreas(r);
        a->metadata->setValue("Author", "A");
        const std::string text = textOf(*a, info);
        // Display hints, then the areas one a line, then the metadata.
        EXPECT_EQ("(mode color)\n" + writeAreas(a->mapAreas, info, r) + "(metadata (Author \"A\"))\n", text);

        AutoPtr<Annotation> back = read(text, info);
        const MapAreas expected = asReadBack(a->mapAreas);
        ASSERT_EQ(expected.count(), back->mapAreas.count());
        for (uint32_t i = 0; i < expected.count(); ++i)
            expectSameArea(*expected[i], *back->mapAreas[i]);
        EXPECT_EQ(metadataOf(*a), metadataOf(*back));
        EXPECT_EQ(text, textOf(*back, info));
    }
}

TEST(Annotation, AreasRecordedInOneOrientationAreWrittenForThePageOfAnother)
{
    // An annotation made by create is recorded in orientation 0; a page of rotation r gets its areas
    // turned, as reading the text with that page shows.
    for (int r = 0; r < 4; ++r) {
        SCOPED_TRACE(r);
        AutoPtr<Annotation> a = Annotation::create(0, 0, kNone, 0, 1);
        EXPECT_EQ(0, a->getRotation());
        a->mapAreas = sampleAreas(0);
        const PageInfo info = pageInfo(400, 300, r);
        AutoPtr<Annotation> back = read(textOf(*a, info), info);
        const MapAreas expected = asReadBack(sampleAreas(r));
        ASSERT_EQ(expected.count(), back->mapAreas.count());
        for (uint32_t i = 0; i < expected.count(); ++i)
            expectSameArea(*expected[i], *back->mapAreas[i]);
    }
}

TEST(Annotation, WithoutPageSizeMapAreasAreRefusedAndNothingElseIsLost)
{
    AutoPtr<Annotation> a = read("(mode bw) (custom 1) (metadata (Author \"J\"))", kPage);
    const std::string expected = "(mode bw)\n(metadata (Author \"J\"))\n(custom 1)\n";
    EXPECT_EQ(expected, str(a->getANTString()));
    AutoPtr<MemoryStorage> out = MemoryStorage::create();
    a->encode(*out);
    EXPECT_EQ(expected, std::string(out->getArray().begin(), out->getArray().end()));

    a->mapAreas = sampleAreas(0);
    PageInfo noWidth = kPage;
    noWidth.width = 0;
    PageInfo noHeight = kPage;
    noHeight.height = 0;
    for (const PageInfo& info : {Annotation::defaultPageInfo(), noWidth, noHeight}) {
        expectThrow([&] { a->getANTString(info); }, Morvenix::errInvalidParam, "page size");
        expectThrow([&] { a->makeANTa(info); }, Morvenix::errInvalidParam, "page size");
    }
    expectThrow([&] { a->getANTString(); }, Morvenix::errInvalidParam, "page size");
    expectThrow([&] { a->makeANTz(); }, Morvenix::errInvalidParam, "page size");
    AutoPtr<MemoryStorage> none = MemoryStorage::create();
    expectThrow([&] { a->encode(*none); }, Morvenix::errInvalidParam, "page size");
    EXPECT_EQ(0u, none->getSize());
}

TEST(Annotation, MapAreasReadWithoutPageSizeAreKeptAsText)
{
    AutoPtr<Annotation> original = Annotation::create(0, 0, kNone, 0, 1);
    original->mapAreas = sampleAreas(0);
    const std::string text = textOf(*original, kPage);

    AutoPtr<Annotation> a = read(text); // default page information: no page size
    EXPECT_EQ(0u, a->mapAreas.count());
    EXPECT_EQ(original->mapAreas.count(), a->otherExpressions.count());
    // Written back unchanged, for this page or without one; read with the page they become areas again.
    EXPECT_EQ(text, str(a->getANTString()));
    AutoPtr<Annotation> placed = read(str(a->getANTString(kPage)), kPage);
    const MapAreas expected = asReadBack(original->mapAreas);
    ASSERT_EQ(expected.count(), placed->mapAreas.count());
    for (uint32_t i = 0; i < expected.count(); ++i)
        expectSameArea(*expected[i], *placed->mapAreas[i]);
}

TEST(Annotation, ValuesOutsideTheirRangesAreRefusedByTheWriter)
{
    struct Case {
        int32_t hAlign, vAlign, mode;
    };
    for (const Case& c : {Case{4, 0, 0}, Case{-1, 0, 0}, Case{0, 4, 0}, Case{0, -2, 0}, Case{0, 0, 5}, Case{0, 0, -1}}) {
        SCOPED_TRACE(std::to_string(c.hAlign) + " " + std::to_string(c.vAlign) + " " + std::to_string(c.mode));
        AutoPtr<Annotation> a = Annotation::create(c.hAlign, c.vAlign, kNone, 0, c.mode);
        expectThrow([&] { a->getANTString(kPage); }, Morvenix::errInvalidParam, "out of range");
        expectThrow([&] { a->makeANTa(kPage); }, Morvenix::errInvalidParam, "out of range");
    }
}

// A file may hold any number of areas, pairs and expressions; writing them back must stay in step with
// their number, as link repair does for every page it renames links on.
TEST(Annotation, LargeAnnotationsAreWrittenBackWhole)
{
    const int kCount = 100000;
    std::string areas, pairs, others;
    for (int i = 0; i < kCount; ++i) {
        areas += "(maparea \"#p" + std::to_string(i) + "\" \"\" (rect 1 2 3 4) (xor))\n";
        pairs += std::string(i ? " " : "") + "(k" + std::to_string(1000000 + i) + " \"v\")";
        others += "(x" + std::to_string(i) + ")\n";
    }
    const std::string text = "(mode color)\n" + areas + "(metadata " + pairs + ")\n" + others;
    AutoPtr<Annotation> a = read(text, kPage);
    ASSERT_EQ(uint32_t(kCount), a->mapAreas.count());
    EXPECT_EQ(text, textOf(*a, kPage));
}

TEST(Annotation, TextOutsideExpressionsAndEmptyExpressionsAreIgnored)
{
    AutoPtr<Annotation> a = read("garbage before () (mode fore) between\n\t(zoom d42) after", kPage);
    EXPECT_EQ(3, a->mode);
    EXPECT_EQ(42, a->zoom);
    EXPECT_EQ(0u, a->otherExpressions.count());
}

TEST(Annotation, ChunksHoldTheTextPlainAndCompressed)
{
    AutoPtr<Annotation> a = Annotation::create(1, 3, 0x00102030, -3, 2);
    a->mapAreas = sampleAreas(0);
    a->set(1, 3, 0x00102030, -3, 2); // set empties the areas again
    EXPECT_EQ(0u, a->mapAreas.count());
    a->mapAreas = sampleAreas(0);
    a->metadata->setValue("Producer", "Brindlepage \"1.0\"");
    a->otherExpressions.append(String("(extra)"));
    const std::string text = textOf(*a, kPage);

    AutoPtr<Chunk> plain = a->makeANTa(kPage);
    EXPECT_EQ("ANTa", str(plain->getId()));
    AutoPtr<Data> data = plain->getData();
    EXPECT_EQ(text, std::string(data->getBuffer(), data->getBuffer() + data->getSize()));

    AutoPtr<Chunk> packed = a->makeANTz(kPage);
    EXPECT_EQ("ANTz", str(packed->getId()));
    AutoPtr<InflateStream> bzz = InflateStream::create(AutoPtr<Morvenix::Stream>(packed->getData()->getReadStorage(true)), 0, 16);
    std::string unpacked;
    char piece[256];
    while (uint32_t got = bzz->readBytes(piece, sizeof piece, false))
        unpacked.append(piece, got);
    EXPECT_EQ(text, unpacked);

    for (const AutoPtr<Chunk>& chunk : {plain, packed}) {
        SCOPED_TRACE(str(chunk->getId()));
        AutoPtr<Annotation> back = Annotation::create(*chunk, kPage);
        EXPECT_EQ(text, textOf(*back, kPage));
        const MapAreas expected = asReadBack(a->mapAreas);
        ASSERT_EQ(expected.count(), back->mapAreas.count());
        for (uint32_t i = 0; i < expected.count(); ++i)
            expectSameArea(*expected[i], *back->mapAreas[i]);
    }

    // The add-in's annotation: never empty, its chunk holds the mode line alone.
    AutoPtr<Annotation> page = Annotation::create(0, 0, kNone, 0, 1);
    AutoPtr<Annotation> back = Annotation::create(*page->makeANTz(kPage), kPage);
    EXPECT_EQ("(mode color)\n", textOf(*back, kPage));
    // An empty annotation makes an empty ANTa payload and an ANTz that reads back empty.
    AutoPtr<Annotation> empty = Annotation::create(0, 0, kNone, 0, 0);
    EXPECT_EQ(0u, empty->makeANTa(kPage)->getData()->getSize());
    EXPECT_EQ("(mode color)\n", textOf(*Annotation::create(*empty->makeANTz(kPage), kPage), kPage));
}

TEST(Annotation, ChunksOfOtherKindsAreRefused)
{
    AutoPtr<Annotation> a = Annotation::create(0, 0, kNone, 0, 1);
    for (const char* id : {"TXTz", "ANTA", "ant", "INFO"}) {
        AutoPtr<Chunk> chunk = Chunk::createFromBytes(id, "(mode bw)", 9);
        expectThrow([&] { a->decode(*chunk, kPage); }, Morvenix::errInvalidParam, "Not a ANT* chunk!",
                    "_Mvx_Internal_NS_::AnnotationImpl::decode");
    }
    expectThrow([&] { a->decode(*Chunk::create("ANTa"), kPage); }, Morvenix::errInvalidParam);
}

TEST(Annotation, StreamsAreReadWholeWhateverTheirLength)
{
    // The last expression lies beyond the first piece of 1,048,576 bytes, or ends exactly on it.
    for (size_t total : {size_t(1048576), size_t(1048577), size_t(1500000), size_t(3 * 1048576)}) {
        SCOPED_TRACE(total);
        const std::string tail = "(zoom d77)";
        std::string text(total - tail.size(), ' ');
        text.replace(0, 9, "(mode bw)");
        text += tail;
        AutoPtr<MemoryStorage> in = MemoryStorage::create(text.data(), text.size(), 4321);
        AutoPtr<Annotation> a = Annotation::create(*in, kPage);
        EXPECT_EQ(2, a->mode);
        EXPECT_EQ(77, a->zoom);
    }
}

TEST(Annotation, MergeTakesUnsetHintsOrOverwrites)
{
    AutoPtr<Annotation> other = Annotation::create(1, 2, 0x00ABCDEF, 150, 3);
    other->mapAreas = sampleAreas(0);
    other->metadata = PropertySet::create();
    other->metadata->setValue("Author", "Other");
    other->metadata->setValue("Title", "T");

    AutoPtr<Annotation> a = Annotation::create(0, 3, kNone, -1, 0);
    a->merge(*other, false);
    EXPECT_EQ(1, a->hAlign);
    EXPECT_EQ(3, a->vAlign);
    EXPECT_EQ(0x00ABCDEFu, a->background);
    EXPECT_EQ(-1, a->zoom);
    EXPECT_EQ(3, a->mode);
    ASSERT_EQ(other->mapAreas.count(), a->mapAreas.count());
    for (uint32_t i = 0; i < a->mapAreas.count(); ++i) {
        EXPECT_NE(other->mapAreas[i].get(), a->mapAreas[i].get()); // copies
        expectSameArea(*other->mapAreas[i], *a->mapAreas[i]);
    }
    ASSERT_TRUE(a->metadata);
    EXPECT_NE(other->metadata.get(), a->metadata.get());
    EXPECT_EQ(metadataOf(*other), metadataOf(*a));

    AutoPtr<Annotation> b = Annotation::create(3, 3, 0x00000001, 5, 4);
    b->metadata = PropertySet::create();
    b->metadata->setValue("Author", "Mine");
    b->metadata->setValue("Keywords", "k");
    b->otherExpressions.append(String("(mine)"));
    other->otherExpressions.append(String("(theirs)"));
    b->merge(*other, true);
    EXPECT_EQ(1, b->hAlign);
    EXPECT_EQ(2, b->vAlign);
    EXPECT_EQ(0x00ABCDEFu, b->background);
    EXPECT_EQ(150, b->zoom);
    EXPECT_EQ(3, b->mode);
    EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"Author", "Other"}, {"Keywords", "k"}, {"Title", "T"}}),
              metadataOf(*b));
    EXPECT_EQ(std::vector<std::string>{"(mine)"}, othersOf(*b));

    // Into itself: every area once more.
    const uint32_t before = b->mapAreas.count();
    b->merge(*b, false);
    EXPECT_EQ(2 * before, b->mapAreas.count());
}

TEST(Annotation, TurningMovesEveryShapeAndRecordsTheOrientation)
{
    // A page 100 wide and 200 high at rotation 0: a line end (10, 20) turns to (20, 89).
    AutoPtr<Annotation> a = read("(mode color)", pageInfo(100, 200, 0));
    AutoPtr<MapLine> line = MapLine::create();
    line->x1 = 10;
    line->y1 = 20;
    line->x2 = 0;
    line->y2 = 0;
    a->mapAreas.append(line);
    a->setRotation(1);
    EXPECT_EQ(1, a->getRotation());
    EXPECT_EQ(20, line->x1);
    EXPECT_EQ(89, line->y1);
    EXPECT_EQ(0, line->x2);
    EXPECT_EQ(99, line->y2);

    // Every shape of the 400 x 300 sample, through every pair of orientations.
    for (int from = 0; from < 4; ++from) {
        for (int to = 0; to < 4; ++to) {
            SCOPED_TRACE(std::to_string(from) + " -> " + std::to_string(to));
            AutoPtr<Annotation> b = read("", pageInfo(400, 300, from));
            b->mapAreas = sampleAreas(from);
            b->setRotation(to);
            EXPECT_EQ(to, b->getRotation());
            MapAreas expected = sampleAreas(to);
            for (uint32_t i = 0; i < expected.count(); ++i)
                expectSameArea(*expected[i], *b->mapAreas[i]);
            // The text for the page of the new orientation reads back as the same areas.
            const PageInfo page = pageInfo(400, 300, to);
            AutoPtr<Annotation> back = read(textOf(*b, page), page);
            const MapAreas readBack = asReadBack(expected);
            ASSERT_EQ(readBack.count(), back->mapAreas.count());
            for (uint32_t i = 0; i < readBack.count(); ++i)
                expectSameArea(*readBack[i], *back->mapAreas[i]);
        }
    }

    // An old page without orientation gets a version that records one.
    AutoPtr<Annotation> old = read("", pageInfo(100, 200, 0, 20));
    old->setRotation(2);
    EXPECT_EQ(2, old->getRotation());
    for (int bad : {-1, 4, 100}) {
        expectThrow([&] { old->setRotation(bad); }, Morvenix::errInvalidParam);
        EXPECT_EQ(2, old->getRotation());
    }
}

} // namespace
