// The JB2 encoder of a page group: when its dictionary is built, what each question answers, and its
// refusals.
#include "djv_jb2encoder.h"
#include "jb2_test_support.h"
#include "test_heap.h"
#include "test_support.h"

#include <functional>
#include <vector>

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;
using Jb2Test::Bytes;
using MvxTest::expectThrow;

namespace {

// A byte mask (0 foreground, 255 background) of a page carrying the same small glyph at each place.
struct Mask {
    Mask(uint32_t inWidth, uint32_t inHeight) : width(inWidth), height(inHeight), bytes(size_t(inWidth) * inHeight, 255) {}
    void glyph(uint32_t inX, uint32_t inY, uint32_t inSeed = 1)
    {
        const ShapeBitmap g = Jb2Test::glyph(7, 9, inSeed);
        for (uint32_t y = 0; y < g.getHeight(); ++y)
            for (uint32_t x = 0; x < g.getWidth(); ++x)
                if (g.getPixel(x, y))
                    bytes[size_t(inY + y) * width + inX + x] = 0;
    }
    void addTo(JB2Encoder& ioEncoder, const uint8_t* inColor = nullptr, int32_t inColorStride = 0) const
    {
        ioEncoder.addPage(bytes.data(), int32_t(width), mtBytes, width, height, inColor, inColorStride, phBGR, nullptr);
    }
    uint32_t width, height;
    std::vector<uint8_t> bytes;
};

Bytes written(const std::function<void(const AutoPtr<Stream>&)>& inWrite)
{
    AutoPtr<MemoryStorage> out = MemoryStorage::create();
    inWrite(AutoPtr<Stream>(out));
    return Jb2Test::bytesOf(*out);
}

} // namespace

TEST(JB2Encoder, EmptyPageStillGetsACompletePageStream)
{
    AutoPtr<JB2Encoder> encoder = JB2Encoder::create(nullptr);
    Mask(40, 30).addTo(*encoder);
    EXPECT_EQ(1u, encoder->getPageCount());
    EXPECT_TRUE(encoder->isSjbzEmpty(0));
    EXPECT_TRUE(encoder->isFGbzEmpty(0));
    const Bytes sjbz = written([&](const AutoPtr<Stream>& s) { encoder->encodeSjbz(0, s); });
    const ShapeList none;
    EXPECT_EQ(Jb2Test::sjbz(40, 30, none, &none), sjbz);
    AutoPtr<Chunk> chunk;
    encoder->createSjbzChunk(chunk, 0);
    ASSERT_TRUE(chunk);
    EXPECT_EQ(String("Sjbz"), chunk->getId());
    EXPECT_EQ(sjbz.size(), chunk->getData()->getSize());
}

TEST(JB2Encoder, NothingSharedLeavesTheDictionaryEmpty)
{
    AutoPtr<JB2Encoder> encoder = JB2Encoder::create(nullptr);
    Mask a(60, 40), b(60, 40);
    a.glyph(5, 5, 1);
    b.glyph(5, 5, 2);
    a.addTo(*encoder);
    b.addTo(*encoder);
    EXPECT_TRUE(encoder->isDjbzEmpty());
    EXPECT_TRUE(written([&](const AutoPtr<Stream>& s) { encoder->encodeDjbz(s); }).empty());
    AutoPtr<Chunk> chunk = Chunk::create("XXXX");
    encoder->createDjbzChunk(chunk);
    EXPECT_FALSE(chunk);
    EXPECT_FALSE(encoder->isSjbzEmpty(1));
}

TEST(JB2Encoder, SharedGlyphsGoToTheDictionaryUnlessAPageQuestionCameFirst)
{
    Mask a(60, 40), b(60, 40);
    a.glyph(5, 5);
    b.glyph(20, 10);
    for (bool pageFirst : {false, true}) {
        AutoPtr<JB2Encoder> encoder = JB2Encoder::create(nullptr);
        a.addTo(*encoder);
        b.addTo(*encoder);
        if (pageFirst) {
            EXPECT_FALSE(encoder->isSjbzEmpty(0));
        }
        EXPECT_EQ(pageFirst, encoder->isDjbzEmpty()) << pageFirst;
        AutoPtr<Chunk> chunk;
        encoder->createDjbzChunk(chunk);
        EXPECT_EQ(!pageFirst, bool(chunk));
        expectThrow([&] { a.addTo(*encoder); }, errOperationFailed,
                    "JB2Encoder : Cannot add page due to existing dictionary.");
        EXPECT_EQ(2u, encoder->getPageCount());
    }
}

TEST(JB2Encoder, PalettesFollowTheColourImages)
{
    AutoPtr<JB2Encoder> encoder = JB2Encoder::create(nullptr);
    Mask m(30, 20);
    m.glyph(3, 3);
    std::vector<uint8_t> red(size_t(30) * 20 * 3);
    for (size_t i = 0; i < red.size(); i += 3)
        red[i + 2] = 200; // blue, green, red
    m.addTo(*encoder, red.data(), 90);
    m.addTo(*encoder);
    m.addTo(*encoder, red.data(), 90);
    m.addTo(*encoder);
    EXPECT_FALSE(encoder->isFGbzEmpty(0));
    EXPECT_TRUE(encoder->isFGbzEmpty(1)); // between pages with colour: an empty palette
    EXPECT_FALSE(encoder->isFGbzEmpty(2));
    EXPECT_TRUE(encoder->isFGbzEmpty(3)); // after the last one: no palette at all
    const Bytes fgbz = written([&](const AutoPtr<Stream>& s) { encoder->encodeFGbz(0, s); });
    // One colour (blue, green, red) for the glyph's three pieces.
    ASSERT_GE(fgbz.size(), 9u);
    EXPECT_EQ((Bytes{0x80, 0, 1, 0, 0, 200, 0, 0, 3}), Bytes(fgbz.begin(), fgbz.begin() + 9));
    // A page without a palette is written as an empty one.
    const Bytes none = written([&](const AutoPtr<Stream>& s) { encoder->encodeFGbz(3, s); });
    EXPECT_EQ((Bytes{0x80, 0, 0, 0, 0, 0}), Bytes(none.begin(), none.begin() + 6));
}

TEST(JB2Encoder, Refusals)
{
    AutoPtr<JB2Encoder> empty = JB2Encoder::create(nullptr);
    expectThrow([&] { empty->isDjbzEmpty(); }, errOperationFailed, "JB2Encoder : No pages.");
    Mask m(10, 10);
    m.addTo(*empty); // the failed question left the encoder collecting
    const char* over = "JB2Encoder : inPageIndex over page index.";
    expectThrow([&] { empty->isSjbzEmpty(1); }, errInvalidParam, over);
    expectThrow([&] { empty->encodeSjbz(1, AutoPtr<Stream>(MemoryStorage::create())); }, errInvalidParam, over);
    expectThrow([&] { empty->encodeFGbz(7, AutoPtr<Stream>(MemoryStorage::create())); }, errInvalidParam, over);
    expectThrow([&] { empty->addPage(m.bytes.data(), 0, mtBytes, 10, 10, nullptr, 0, phBGR, nullptr); },
                errInvalidParam);
    EXPECT_EQ(1u, empty->getPageCount());
    // The pages of one encoder are classified together: a page cannot ask for another classification.
    for (const JB2Encoder::Params& other : {JB2Encoder::Params{21, 0, 256}, JB2Encoder::Params{20, 1, 256}}) {
        expectThrow([&] { empty->addPage(m.bytes.data(), 10, mtBytes, 10, 10, nullptr, 0, phBGR, &other); },
                    errInvalidParam, "JB2Encoder : The page's parameters differ from the encoder's.");
    }
    EXPECT_EQ(1u, empty->getPageCount());
    for (const JB2Encoder::Params& same : {JB2Encoder::Params{21, 2, 256}, JB2Encoder::Params{21, 1, 16}})
        empty->addPage(m.bytes.data(), 10, mtBytes, 10, 10, nullptr, 0, phBGR, &same);
    EXPECT_EQ(3u, empty->getPageCount());
}

// What a group costs grows with its marks' boxes, not their ink: a diagonal stroke holds its whole box.
TEST(JB2Encoder, ShapeBytesCountEachMarksBox)
{
    AutoPtr<JB2Encoder> encoder = JB2Encoder::create(nullptr);
    EXPECT_EQ(0u, encoder->getShapeBytes());
    Mask diagonal(120, 110);
    for (uint32_t i = 0; i < 100; ++i)
        diagonal.bytes[size_t(i + 5) * diagonal.width + i + 10] = 0;
    diagonal.addTo(*encoder);
    const uint64_t one = encoder->getShapeBytes();
    EXPECT_GE(one, 13u * 100);
    EXPECT_LT(one, 13u * 100 + 256);
    // With colours the palette counts too; a blank page costs nothing.
    const std::vector<uint8_t> black(size_t(120) * 110 * 3, 0);
    diagonal.addTo(*encoder, black.data(), 360);
    EXPECT_GT(encoder->getShapeBytes(), 2 * one);
    const uint64_t two = encoder->getShapeBytes();
    Mask(40, 30).addTo(*encoder);
    EXPECT_EQ(two, encoder->getShapeBytes());
}

// A dictionary whose building ran out of memory, wherever it did, stays a failure: asking again does not
// build it from the pages that the failed attempt left half-classified or emptied, nor does the encoder
// take more pages for a build that will not come.
TEST(JB2Encoder, FailedDictionaryBuildStaysAFailure)
{
    // Each page has a copy of one of its glyphs, so that pages are classified on their own too.
    Mask a(60, 40), b(60, 40);
    a.glyph(5, 5);
    a.glyph(20, 5, 2);
    a.glyph(35, 5);
    b.glyph(20, 10);
    b.glyph(5, 20, 2);
    b.glyph(35, 20, 2);
    for (bool shared : {true, false}) {
        SCOPED_TRACE(shared ? "shared dictionary" : "a dictionary per page");
        uint32_t failures = 0;
        for (uint32_t n = 0;; ++n) {
            AutoPtr<JB2Encoder> encoder = JB2Encoder::create(nullptr);
            a.addTo(*encoder);
            b.addTo(*encoder);
            bool failed = false;
            try {
                // The library's arrays find no memory at their n-th allocation.
                const MvxTest::TestHeap::Scope failing({UINT64_MAX, UINT64_MAX, n});
                if (shared)
                    encoder->isDjbzEmpty();
                else
                    encoder->isSjbzEmpty(0);
            } catch (const Exception& e) {
                failed = true;
                EXPECT_EQ(errOutOfMemory, e.getCode()) << e.getMessage().c_str();
            }
            if (!failed)
                break;
            ++failures;
            const AutoPtr<Stream> out(MemoryStorage::create());
            expectThrow([&] { encoder->isDjbzEmpty(); }, errOutOfMemory);
            expectThrow([&] { encoder->encodeDjbz(out); }, errOutOfMemory);
            expectThrow([&] { encoder->encodeSjbz(0, out); }, errOutOfMemory);
            expectThrow([&] { encoder->encodeFGbz(1, out); }, errOutOfMemory);
            expectThrow([&] { encoder->isFGbzEmpty(1); }, errOutOfMemory);
            expectThrow([&] { a.addTo(*encoder); }, errOutOfMemory);
            EXPECT_EQ(2u, encoder->getPageCount());
            if (HasFailure())
                return;
        }
        EXPECT_GT(failures, 2u);
    }
}
