// Exact copies decode exactly: a shape classified as a copy of a prototype is drawn, by ddjvu and by the
// library's decoder, with the pixels it had when it became the copy, at its own place, however the shapes
// classified after it went.
#include "djv_chunk.h"
#include "djv_componentextractor.h"
#include "djv_jb2encoder.h"
#include "djv_jb2page.h"
#include "djv_shapeclassifier.h"
#include "jb2_interop_support.h"

#include <map>
#include <string>
#include <vector>

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;
using _Mvx_Internal_NS_::ShapeClassifier;
using Jb2Test::Art;
using Jb2Test::Bytes;
using MvxTest::NetpbmImage;

namespace {

// How the page shows a shape: its top-left corner and its pixels.
struct Drawn {
    int32_t x, y;
    ShapeBitmap bitmap;
};

// A shape that notes how it is drawn at the moment the classifier makes it a copy (its pixels are then
// its prototype's); everything else is the shape's own.
class CopyRecorder : public Shape {
public:
    CopyRecorder(const AutoPtr<Shape>& inShape, std::map<const Shape*, Drawn>& ioCopies)
        : m_shape(inShape), m_copies(ioCopies)
    {
    }

    ShapeType getType() const override { return m_shape->getType(); }
    uint32_t getWidth() const override { return m_shape->getWidth(); }
    uint32_t getHeight() const override { return m_shape->getHeight(); }
    int32_t getX() const override { return m_shape->getX(); }
    int32_t getY() const override { return m_shape->getY(); }
    void setPosition(int32_t inX, int32_t inY) override { m_shape->setPosition(inX, inY); }
    Rect getRect() const override { return m_shape->getRect(); }
    const ShapeBitmap& getBitmap() const override { return m_shape->getBitmap(); }
    void replaceBitmap(const ShapeBitmap& inBitmap) override { m_shape->replaceBitmap(inBitmap); }
    void setRefinement(const AutoPtr<Shape>& inTarget) override { m_shape->setRefinement(inTarget); }
    void setMatch(const AutoPtr<Shape>& inTarget) override
    {
        const Drawn drawn{getX(), getY(), getBitmap()};
        m_shape->setMatch(inTarget);
        m_copies[this] = drawn;
    }
    void getColor(Color& outColor) const override { m_shape->getColor(outColor); }
    void setColor(const Color& inColor) override { m_shape->setColor(inColor); }
    Shape* getReference() const override { return m_shape->getReference(); }

private:
    AutoPtr<Shape> m_shape;
    std::map<const Shape*, Drawn>& m_copies;
};

class ShapeClassifierInterop : public Jb2Test::Jb2Interop {
protected:
    // The page's components, each behind a recorder.
    static AutoPtr<JB2Page> recordedPage(const NetpbmImage& inPage, std::map<const Shape*, Drawn>& ioCopies)
    {
        std::vector<uint8_t> mask(inPage.pixels.size());
        for (size_t i = 0; i < mask.size(); ++i)
            mask[i] = inPage.pixels[i] ? 0 : 255; // black is foreground
        AutoPtr<JB2Page> page = JB2Page::create(inPage.width, inPage.height);
        _Mvx_Internal_NS_::ComponentExtractor::extractShapes(inPage.width, inPage.height, mtBytes,
                                                            int32_t(inPage.width), mask.data(), 0, nullptr, phGray,
                                                            *page);
        for (AutoPtr<Shape>& shape : page->getShapes())
            shape = AutoPtr<Shape>(new CopyRecorder(shape, ioCopies));
        return page;
    }

    // The pages classified as one lossy group and coded. Every copy is still drawn as it was recorded, and
    // each page decoded by the library and by ddjvu is the page its shapes make, every recorded copy's ink
    // in its place.
    void expectCopiesDecodeAsRecorded(const std::vector<const NetpbmImage*>& inPages, const std::string& inName)
    {
        std::map<const Shape*, Drawn> copies;
        ShapeClassifier::PageList pages;
        for (const NetpbmImage* image : inPages)
            pages.append(recordedPage(*image, copies));
        AutoPtr<JB2Dictionary> dictionary = JB2Dictionary::create();
        const JB2Encoder::Params lossy = JB2Encoder::defaultParams();
        ShapeClassifier::buildSharedDictionary(pages, *dictionary, lossy.secondCompare, lossy.matchThreshold);
        ASSERT_GT(copies.size(), 100u * inPages.size()) << inName;

        const ShapeList& dictionaryShapes = static_cast<const JB2Dictionary&>(*dictionary).getShapes();
        const Bytes djbz = Jb2Test::djbz(dictionaryShapes);
        const AutoPtr<JB2Dictionary> decodedDictionary = JB2Dictionary::create(Jb2Test::streamOf(djbz));
        AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
        const AutoPtr<Chunk> djbzChunk = MvxTest::leaf("Djbz", djbz);
        std::vector<NetpbmImage> byLibrary;
        for (uint32_t p = 0; p < pages.count(); ++p) {
            const JB2Page& page = *pages[p];
            const uint32_t w = page.getWidth(), h = page.getHeight();
            const Bytes sjbz = Jb2Test::sjbz(w, h, page.getShapes(), &dictionaryShapes);
            byLibrary.push_back(
                Jb2Test::paint(w, h, JB2Page::create(Jb2Test::streamOf(sjbz), decodedDictionary.get())->getShapes()));
            EXPECT_EQ("", MvxTest::firstDifference(Jb2Test::paint(w, h, page.getShapes()), byLibrary.back()))
                << inName << ", page " << p + 1;
            doc->getChildren().append(AutoPtr<Chunk>(Jb2Test::pageForm(
                w, h, {AutoPtr<Chunk>(ChunkRedirector::create(djbzChunk)), MvxTest::leaf("Sjbz", sjbz)})));
        }
        writeDocument(doc.get(), inName + ".djvu");
        for (uint32_t p = 0; p < pages.count(); ++p) {
            const NetpbmImage byDdjvu = decode(inName + ".djvu", int(p + 1));
            EXPECT_EQ("", MvxTest::firstDifference(byLibrary[p], byDdjvu)) << inName << ", page " << p + 1;
            uint32_t moved = 0, lost = 0;
            for (const AutoPtr<Shape>& shape : pages[p]->getShapes()) {
                const auto copy = copies.find(shape.get());
                if (copy == copies.end())
                    continue;
                const Drawn& made = copy->second;
                moved += shape->getX() != made.x || shape->getY() != made.y ||
                         !shape->getBitmap().samePixels(made.bitmap);
                for (uint32_t y = 0; y < made.bitmap.getHeight(); ++y)
                    for (uint32_t x = 0; x < made.bitmap.getWidth(); ++x)
                        lost += made.bitmap.getPixel(x, y) &&
                                !*byDdjvu.at(uint32_t(made.x) + x, uint32_t(made.y) + y);
            }
            EXPECT_EQ(0u, moved) << inName << ", page " << p + 1 << ": copies no longer drawn as they were made";
            EXPECT_EQ(0u, lost) << inName << ", page " << p + 1 << ": ink of copies missing from ddjvu's page";
        }
    }
};

void draw(NetpbmImage& ioPage, const Art& inArt, uint32_t inX, uint32_t inY)
{
    for (uint32_t y = 0; y < inArt.size(); ++y)
        for (uint32_t x = 0; x < inArt[y].size(); ++x)
            *ioPage.at(inX + x, inY + y) = inArt[y][x] == '#';
}

} // namespace

// A prototype, its exact copy, then a shape 4 pixels from the prototype (5 allowed) whose isolated
// differences lie along its edges: the shape is refined against the prototype as it is, and the
// prototype and its copy decode as they were drawn.
TEST_F(ShapeClassifierInterop, APrototypeAndItsCopyDecodeExactlyAfterANearShape)
{
    const Art prototype = {".#..", "###.", "###.", "###.", ".###", "..#."};
    const Art near = {"...#", ".#.#", ".##.", "###.", "###.", ".###"};
    const uint32_t w = 40, h = 16;
    NetpbmImage page(w, h);
    draw(page, prototype, 5, 5);
    draw(page, prototype, 15, 5);
    draw(page, near, 25, 5);
    // Everything but the near shape's own box is the input.
    const auto outsideNear = [](NetpbmImage inImage) {
        for (uint32_t y = 5; y < 11; ++y)
            for (uint32_t x = 25; x < 29; ++x)
                *inImage.at(x, y) = 0;
        return inImage;
    };
    for (uint32_t pages : {1u, 2u}) {
        SCOPED_TRACE(std::to_string(pages) + " pages");
        AutoPtr<JB2Encoder> encoder = JB2Encoder::create(nullptr);
        for (uint32_t i = 0; i < pages; ++i)
            addMask(*encoder, page);
        writeGroup(*encoder, w, h, "near.djvu");
        AutoPtr<Chunk> djbz, sjbz;
        encoder->createDjbzChunk(djbz);
        const AutoPtr<JB2Dictionary> dictionary = djbz ? JB2Dictionary::create(*djbz) : JB2Dictionary::create();
        for (uint32_t i = 0; i < pages; ++i) {
            encoder->createSjbzChunk(sjbz, i);
            const NetpbmImage byLibrary = Jb2Test::paint(w, h, JB2Page::create(*sjbz, dictionary.get())->getShapes());
            EXPECT_EQ("", MvxTest::firstDifference(outsideNear(page), outsideNear(byLibrary))) << "page " << i + 1;
            EXPECT_EQ("", MvxTest::firstDifference(outsideNear(page), outsideNear(decode("near.djvu", int(i + 1)))))
                << "page " << i + 1;
        }
    }
}

// Real text pages, lossy, in groups of 1 and of 20.
TEST_F(ShapeClassifierInterop, CopiesOnTextPagesDecodeAsTheyWereMade)
{
    const std::vector<NetpbmImage>& pages = textPages();
    ASSERT_EQ(Jb2Test::kPages, pages.size());
    for (uint32_t p : {0u, 7u})
        expectCopiesDecodeAsRecorded({&pages[p]}, "alone" + std::to_string(p + 1));
    std::vector<const NetpbmImage*> group;
    for (const NetpbmImage& page : pages)
        group.push_back(&page);
    expectCopiesDecodeAsRecorded(group, "group");
}
