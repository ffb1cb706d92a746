// JB2 data of three independent encoders (ours, cjb2 lossless and lossy, minidjvu with one dictionary
// shared by many pages) on real 300-dpi text pages, decoded and rendered here and compared pixel for
// pixel with ddjvu's rendering of the same files; written back and decoded again.
#include "djv_jb2page.h"
#include "djvu_page_file.h"
#include "jb2_interop_support.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;
using Jb2Test::kPages;
using MvxTest::NetpbmImage;

namespace {

// The JB2 chunks of one page: its page data, its FGbz (empty when it has none) and the name of the
// component whose dictionary it includes (empty when none).
struct PageData {
    Jb2Test::Bytes sjbz;
    Jb2Test::Bytes fgbz;
    std::string include;
};

class Jb2DecoderInterop : public Jb2Test::Jb2Interop {
protected:
    // The pages of a file in order, a bundled document split by djvmcvt into one file a component; the
    // dictionaries it includes, decoded once each, by component name.
    std::vector<PageData> readDocument(const std::string& inName)
    {
        m_dictionaries.clear();
        const MvxTest::Bytes file = MvxTest::readFile(path(inName));
        if (std::string(file.begin() + 12, file.begin() + 16) == "DJVU") {
            PageData page;
            MvxTest::findChunk(file, "Sjbz", page.sjbz);
            MvxTest::findChunk(file, "FGbz", page.fgbz);
            return {page};
        }
        const std::string split = inName + ".split";
        EXPECT_EQ(0, MvxTest::runHostTool("mkdir -p " + host(split)));
        run("djvmcvt -i " + host(inName) + " " + host(split) + " index.djvu");
        std::vector<PageData> pages;
        std::istringstream list(run("djvused -e ls " + host(inName)));
        for (std::string line; std::getline(list, line);) {
            std::istringstream words(line);
            std::vector<std::string> w;
            for (std::string word; words >> word;)
                w.push_back(word);
            if (w.size() < 4 || w[1] != "P")
                continue;
            const MvxTest::Bytes pageFile = MvxTest::readFile(path(split + "\\" + w.back()));
            PageData page;
            EXPECT_TRUE(MvxTest::findChunk(pageFile, "Sjbz", page.sjbz)) << w.back();
            MvxTest::findChunk(pageFile, "FGbz", page.fgbz);
            MvxTest::Bytes incl;
            if (MvxTest::findChunk(pageFile, "INCL", incl)) {
                page.include.assign(incl.begin(), incl.end());
                if (!m_dictionaries.count(page.include)) {
                    const MvxTest::Bytes component = MvxTest::readFile(path(split + "\\" + page.include));
                    m_dictionaries[page.include] =
                        JB2Dictionary::create(Jb2Test::streamOf(MvxTest::findChunk(component, "Djbz")));
                }
            }
            pages.push_back(page);
        }
        return pages;
    }

    AutoPtr<JB2Page> decodePage(const PageData& inPage)
    {
        const JB2Dictionary* dictionary = inPage.include.empty() ? nullptr : m_dictionaries[inPage.include].get();
        AutoPtr<JB2Page> page = JB2Page::create(Jb2Test::streamOf(inPage.sjbz), dictionary);
        if (!inPage.fgbz.empty())
            page->addFGbz(Jb2Test::streamOf(inPage.fgbz));
        return page;
    }

    // The page at full size as a bitonal image (1 is ink), rendered in grey over white.
    static NetpbmImage renderFull(JB2Page& ioPage)
    {
        const uint32_t w = ioPage.getWidth(), h = ioPage.getHeight();
        std::vector<uint8_t> grey(size_t(w) * h, 255);
        const Rect window{0, 0, int32_t(w), int32_t(h)};
        ioPage.renderMask(grey.data(), int32_t(w), phGray, &window, 0, 0, false, 0);
        NetpbmImage image(w, h);
        for (size_t i = 0; i < grey.size(); ++i)
            image.pixels[i] = grey[i] < 128;
        return image;
    }

    // Every page of the file renders here as ddjvu renders it, and reads back the same after being
    // written out again. Gives the decoded pages.
    std::vector<AutoPtr<JB2Page>> expectDecodesLikeDdjvu(const std::string& inName)
    {
        std::vector<AutoPtr<JB2Page>> decoded;
        const std::vector<PageData> pages = readDocument(inName);
        EXPECT_FALSE(pages.empty()) << inName;
        for (size_t i = 0; i < pages.size(); ++i) {
            SCOPED_TRACE(inName + " page " + std::to_string(i + 1));
            AutoPtr<JB2Page> page;
            try {
                page = decodePage(pages[i]);
            } catch (const Exception& e) {
                ADD_FAILURE() << e.what();
                continue;
            }
            EXPECT_EQ("", MvxTest::firstDifference(decode(inName, int(i + 1)), renderFull(*page)));
            expectWritesBackTheSame(*page);
            decoded.push_back(page);
        }
        return decoded;
    }

    static void expectWritesBackTheSame(JB2Page& ioPage)
    {
        const AutoPtr<Chunk> sjbz = ioPage.createSjbzChunk();
        AutoPtr<JB2Page> again = JB2Page::create(*sjbz, ioPage.getDictionary());
        if (ioPage.hasFGbz())
            again->addFGbz(*ioPage.createFGbzChunk(256));
        const ShapeList& before = ioPage.getShapes();
        const ShapeList& after = again->getShapes();
        ASSERT_EQ(before.count(), after.count());
        for (uint32_t i = 0; i < before.count(); ++i) {
            ASSERT_EQ(before[i]->getType(), after[i]->getType()) << i;
            ASSERT_EQ(before[i]->getX(), after[i]->getX()) << i;
            ASSERT_EQ(before[i]->getY(), after[i]->getY()) << i;
            ASSERT_TRUE(before[i]->getBitmap().samePixels(after[i]->getBitmap())) << i;
            Color a, b;
            before[i]->getColor(a);
            after[i]->getColor(b);
            ASSERT_EQ(a.toRGB(), b.toRGB()) << i;
        }
    }

    // The pages' PBM files as host arguments.
    static std::string pbmArguments(uint32_t inCount)
    {
        std::string arguments;
        for (uint32_t i = 0; i < inCount; ++i)
            arguments += " " + textPagePbm(i);
        return arguments;
    }

    std::map<std::string, AutoPtr<JB2Dictionary>> m_dictionaries;
};

const uint32_t kCjb2Pages = 4;

} // namespace

TEST_F(Jb2DecoderInterop, OurGroupsDecodeLikeDdjvu)
{
    const std::vector<NetpbmImage>& pages = textPages();
    ASSERT_EQ(kPages, pages.size());
    const JB2Encoder::Params lossless{21, 0, 256};
    for (const JB2Encoder::Params* params : {&lossless, static_cast<const JB2Encoder::Params*>(nullptr)}) {
        AutoPtr<JB2Encoder> encoder = JB2Encoder::create(params);
        for (const NetpbmImage& page : pages)
            addMask(*encoder, page, true);
        const std::string name = params ? "lossless.djvu" : "lossy.djvu";
        writeGroup(*encoder, 2550, 3300, name);
        const std::vector<AutoPtr<JB2Page>> decoded = expectDecodesLikeDdjvu(name);
        ASSERT_EQ(size_t(kPages), decoded.size());
        // The lossless group gives the pages back exactly; all carry their (black) palette.
        for (uint32_t i = 0; i < kPages; ++i) {
            EXPECT_TRUE(decoded[i]->hasFGbz());
            EXPECT_NE(nullptr, decoded[i]->getDictionary());
            if (params) {
                EXPECT_EQ("", MvxTest::firstDifference(pages[i], renderFull(*decoded[i]))) << "page " << i + 1;
            }
        }
    }
}

TEST_F(Jb2DecoderInterop, Cjb2PagesDecodeLikeDdjvu)
{
    ASSERT_EQ(kPages, textPages().size());
    for (const char* mode : {"-lossless", "-lossy"}) {
        for (uint32_t i = 0; i < kCjb2Pages; ++i) {
            const std::string name = std::string("cjb2") + mode + std::to_string(i) + ".djvu";
            ASSERT_EQ(0, MvxTest::runHostTool(std::string("cjb2 ") + mode + " " + textPagePbm(i) + " " + host(name)));
            const std::vector<AutoPtr<JB2Page>> decoded = expectDecodesLikeDdjvu(name);
            ASSERT_EQ(1u, decoded.size());
            if (std::string(mode) == "-lossless") {
                EXPECT_EQ("", MvxTest::firstDifference(textPages()[i], renderFull(*decoded[0])));
            }
        }
    }
}

// cjb2 -lossy refines marks of odd sizes against their prototypes: the refinement alignment must be the
// one both sides of the format use, or these pages would not decode at all.
TEST_F(Jb2DecoderInterop, Cjb2LossyRefinesOddSizedMarks)
{
    ASSERT_EQ(0, MvxTest::runHostTool("cjb2 -lossy " + textPagePbm(0) + " " + host("refined.djvu")));
    const std::vector<AutoPtr<JB2Page>> decoded = expectDecodesLikeDdjvu("refined.djvu");
    ASSERT_EQ(1u, decoded.size());
    uint32_t oddRefinements = 0;
    for (const AutoPtr<Shape>& shape : decoded[0]->getShapes())
        oddRefinements += shape->getType() == Refinement && ((shape->getWidth() | shape->getHeight()) & 1);
    EXPECT_GT(oddRefinements, 10u);
}

TEST_F(Jb2DecoderInterop, MinidjvuSharedDictionaryDecodesLikeDdjvu)
{
    ASSERT_EQ(kPages, textPages().size());
    for (const char* options : {"", " -l"}) {
        const std::string name = std::string("minidjvu") + (options[0] ? "-l" : "") + ".djvu";
        ASSERT_EQ(0, MvxTest::runHostTool("minidjvu -d 300 -p " + std::to_string(kPages) + options +
                                          pbmArguments(kPages) + " " + host(name)));
        const std::vector<AutoPtr<JB2Page>> decoded = expectDecodesLikeDdjvu(name);
        ASSERT_EQ(size_t(kPages), decoded.size());
        // One dictionary for the whole document, and pages that draw on it.
        ASSERT_EQ(1u, m_dictionaries.size());
        EXPECT_GT(m_dictionaries.begin()->second->getShapes().count(), 0u);
        uint32_t fromDictionary = 0;
        for (const AutoPtr<JB2Page>& page : decoded) {
            EXPECT_EQ(m_dictionaries.begin()->second.get(), page->getDictionary());
            for (const AutoPtr<Shape>& shape : page->getShapes())
                for (const AutoPtr<Shape>& entry : m_dictionaries.begin()->second->getShapes())
                    fromDictionary += shape->getReference() == entry.get();
        }
        EXPECT_GT(fromDictionary, 0u);
    }
}

// Reduced to a quarter with the box filter, a page whose sides divide by 4 gives each target pixel the
// average of its 4 x 4 source pixels, as ddjvu -subsample=4 does; ddjvu rounds the grey where we truncate.
TEST_F(Jb2DecoderInterop, QuarterSizeMatchesDdjvu)
{
    ASSERT_EQ(kPages, textPages().size());
    const NetpbmImage& page = textPages()[0];
    NetpbmImage crop(2548, 3300);
    for (uint32_t y = 0; y < crop.height; ++y)
        for (uint32_t x = 0; x < crop.width; ++x)
            *crop.at(x, y) = *page.at(x, y);
    MvxTest::writeFile(path("crop.pbm"), MvxTest::formatPbm(crop));
    ASSERT_EQ(0, MvxTest::runHostTool("cjb2 -lossy " + host("crop.pbm") + " " + host("crop.djvu")));
    const NetpbmImage reference = decode("crop.djvu", 1, "-format=ppm -subsample=4");
    ASSERT_EQ(637u, reference.width);
    ASSERT_EQ(825u, reference.height);

    const std::vector<PageData> pages = readDocument("crop.djvu");
    ASSERT_EQ(1u, pages.size());
    AutoPtr<JB2Page> decoded = decodePage(pages[0]);
    std::vector<uint8_t> grey(size_t(637) * 825, 255);
    const Rect window{0, 0, 637, 825};
    decoded->renderMask(grey.data(), 637, phGray, &window, 637, 825, false, 1);
    uint32_t rounded = 0, grey0 = 0;
    for (uint32_t y = 0; y < 825; ++y)
        for (uint32_t x = 0; x < 637; ++x) {
            const int ours = grey[size_t(y) * 637 + x], theirs = reference.at(x, y)[0];
            ASSERT_LE(std::abs(ours - theirs), 1) << x << "," << y;
            rounded += ours != theirs;
            grey0 += ours != 255;
        }
    EXPECT_GT(grey0, 10000u);
    EXPECT_LT(rounded, grey0 / 2);
}

// Solid marks cost the coder a byte for some 250000 pixels, far less than the rows they fill: a page of
// the largest mark there may be (2^28 pixels) after a smaller one decodes, here as in ddjvu.
TEST_F(Jb2DecoderInterop, LargeSolidMarksDecode)
{
    const auto solid = [](uint32_t inSide) {
        ShapeBitmap bitmap(inSide, inSide);
        for (uint32_t y = 0; y < inSide; ++y)
            std::memset(bitmap.row(y), 0xFF, bitmap.getRowBytes());
        return bitmap;
    };
    const uint32_t width = 16384, height = 20544;
    const ShapeList shapes = Jb2Test::listOf(
        {Shape::create(solid(4096), 0, 0, Normal), Shape::create(solid(16384), 0, height - 16384, Normal)});
    const Jb2Test::Bytes data = Jb2Test::sjbz(width, height, shapes);
    Jb2Test::expectSameShapes(shapes, JB2Page::create(Jb2Test::streamOf(data), nullptr)->getShapes());

    AutoPtr<ChunkCollection> form = Jb2Test::pageForm(width, height, {Jb2Test::leaf("Sjbz", data)});
    writeDocument(form.get(), "solid.djvu");
    const NetpbmImage reduced = decode("solid.djvu", 1, "-format=ppm -subsample=64");
    ASSERT_EQ(256u, reduced.width);
    ASSERT_EQ(321u, reduced.height);
    for (const auto& p : {std::make_pair(10u, 10u), std::make_pair(200u, 300u), std::make_pair(100u, 20u)}) {
        const bool white = p.first >= 64 && p.second < 64; // beside the smaller mark
        EXPECT_EQ(white, reduced.at(p.first, p.second)[0] > 128) << p.first << "," << p.second;
    }
}
