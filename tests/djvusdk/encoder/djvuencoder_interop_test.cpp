// Real 300-dpi pages (a report page with a table and a photo, a slide, a spreadsheet page, a photo, a
// black-and-white text page; drawn by Ghostscript) through the page encoder in every mode, bundled by the
// IFF serializer, checked by djvudump and decoded by ddjvu against the renders.
#include "djv_djvuencoder.h"
#include "djv_jb2page.h"
#include "djv_pageinfo.h"
#include "djvu_form_interop.h"
#include "encoder_test_support.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace EncoderTest;

namespace {

struct TestPage {
    const char* name;
    Photometric photometric;
    NetpbmImage image;
};

// Rendered once for the whole program.
const std::vector<TestPage>& testPages()
{
    static std::vector<TestPage> pages;
    if (!pages.empty())
        return pages;
    MvxTest::requireHostTools({"python3", "gs"});
    const std::string folder = MvxTest::tempFolder();
    const std::string host = MvxTest::hostPath(folder);
    const std::string office = MvxTest::sourceHostPath("bench/make_office_pages.py");
    const auto render = [&](const std::string& script, const std::string& device, const std::string& size,
                            const std::string& name) {
        EXPECT_EQ(0, MvxTest::runHostTool(script + " " + host + "/" + name + ".ps", folder + "\\script.txt"));
        EXPECT_EQ(0, MvxTest::runHostTool("gs -q -dNOPAUSE -dBATCH -sDEVICE=" + device + " -r300 -g" + size +
                                          " -sOutputFile=" + host + "/" + name + ".pnm " + host + "/" + name + ".ps"));
        return MvxTest::parseNetpbm(MvxTest::readFile(folder + "\\" + name + ".pnm"));
    };
    pages.push_back({"report", phRGB, render("python3 " + office + " 1 a4 ink", "ppmraw", "2480x3508", "report")});
    pages.push_back({"slide", phRGB, render("python3 " + office + " 1 slide ink", "ppmraw", "4000x2250", "slide")});
    pages.push_back({"sheet", phRGB, render("python3 " + office + " 1 sheet ink", "ppmraw", "2480x3508", "sheet")});
    pages.push_back({"photo", phRGB, render("python3 " + office + " 1 photo ink", "ppmraw", "2480x3508", "photo")});
    NetpbmImage text = render("python3 " + MvxTest::sourceHostPath("bench/make_text_pages.py") + " 1", "pbmraw",
                              "2550x3300", "text");
    for (uint8_t& p : text.pixels)
        p = p ? 0 : 255; // PBM 1 is black
    pages.push_back({"black and white", phGray, text});
    return pages;
}

class DjVuEncoderInterop : public MvxTest::DjVuFormTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(MvxTest::DjVuFormTest::SetUp());
        ASSERT_EQ(5u, testPages().size());
        for (const TestPage& page : testPages())
            ASSERT_FALSE(page.image.pixels.empty()) << page.name;
    }

    // The test pages of the list (indices into testPages) in the mode, one group, as a bundled document. In
    // emCompoundBoth each page keeps the smaller of FG44 and FGbz, as the add-in does: a page may carry
    // only one foreground colour chunk.
    static AutoPtr<ChunkCollection> encodeAll(uint32_t inMode, const std::vector<uint32_t>& inPages)
    {
        AutoPtr<DjVuEncoder> encoder = DjVuEncoder::create(1, 20, nullptr);
        AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
        const DjVuEncoder::Params params(inMode);
        for (uint32_t index : inPages) {
            const TestPage& page = testPages()[index];
            AutoPtr<Chunk> form;
            const NetpbmImage& image = page.image;
            // Bottom-up, as the exporter's bitmaps come: the first row is the last in memory.
            const size_t row = size_t(image.width) * image.bytesPerPixel;
            std::vector<uint8_t> bottomUp(image.pixels.size());
            for (uint32_t y = 0; y < image.height; ++y)
                std::copy(image.at(0, y), image.at(0, y) + row, bottomUp.end() - long((y + 1) * row));
            encoder->encodePage(form, &bottomUp[bottomUp.size() - row], -int32_t(row), page.photometric, image.width,
                                image.height, 300, &params, nullptr, 0, 0);
            doc->getChildren().append(form);
        }
        encoder->flush();
        return doc;
    }

    static void keepSmallerForeground(Chunk& ioForm)
    {
        const uint32_t fgbz = ioForm.find("FGbz", Chunk::notFound, false);
        const uint32_t fg44 = ioForm.find("FG44", Chunk::notFound, false);
        ASSERT_TRUE(fgbz != Chunk::notFound && fg44 != Chunk::notFound);
        Chunk::Children& children = ioForm.getChildren();
        const bool dropFG44 = children[fgbz]->getData()->getSize() < children[fg44]->getData()->getSize();
        children.remove(dropFG44 ? fg44 : fgbz, 1);
    }

    // Mode 5 on every page, made once: the structure test writes it, the determinism test encodes again.
    static const std::vector<Bytes>& compoundBothForms()
    {
        static std::vector<Bytes> forms;
        if (forms.empty()) {
            const AutoPtr<ChunkCollection> doc = encodeAll(DjVuEncoder::emCompoundBoth, {0, 1, 2, 3, 4});
            for (const AutoPtr<Chunk>& form : doc->getChildren())
                forms.push_back(formBytes(*form));
        }
        return forms;
    }

    // The chunk ids of each FORM that djvudump lists, one line per FORM: "DJVU: INFO INCL Sjbz ...".
    static std::vector<std::string> dumpedForms(const std::string& inDump)
    {
        std::vector<std::string> forms;
        std::istringstream lines(inDump);
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream words(line);
            std::string id;
            words >> id;
            if (id.rfind("FORM:", 0) == 0)
                forms.push_back(id.substr(5) + ":");
            else if (!id.empty() && !forms.empty())
                forms.back() += " " + id;
        }
        return forms;
    }
};

// Per mode the pages, the chunks each page must carry after INFO and the dictionary reference (in
// djvudump's terms), and the PSNR floor of the ddjvu decode. The modes the add-in does not use run on a few
// pages to keep the run short.
TEST_F(DjVuEncoderInterop, EveryModeDecodesWithItsStructure)
{
    enum { report, slide, sheet, photo, blackAndWhite };
    struct Case {
        uint32_t mode;
        std::vector<uint32_t> pages;
        double floor; // dB
    };
    const Case cases[] = {{0, {report, photo}, 23.0},
                          {1, {sheet}, 28.0},
                          {2, {slide, photo}, 27.0},
                          {3, {sheet, blackAndWhite}, 28.0},
                          {4, {report, slide, sheet, photo, blackAndWhite}, 23.0},
                          {5, {report, slide, sheet, photo, blackAndWhite}, 23.0},
                          {6, {sheet}, 27.0}}; // without foreground colours: black text pages only
    for (const Case& c : cases) {
        const std::string name = "mode" + std::to_string(c.mode) + ".djvu";
        AutoPtr<ChunkCollection> doc = encodeAll(c.mode, c.pages);
        // A document of one page is written as that page alone.
        std::vector<std::string> expected;
        if (c.pages.size() > 1)
            expected.push_back("DJVM: DIRM");
        // The pages of a kind share no shape with one another unless they have text in the same font:
        // the five pages together do, fewer may not.
        const bool shared = doc->getChildren()[0]->find("Djbz", Chunk::notFound, false) != Chunk::notFound;
        EXPECT_TRUE(shared || c.pages.size() < 5 || c.mode == DjVuEncoder::emPhoto) << "mode " << c.mode;
        if (shared)
            expected.push_back("DJVI: Djbz");
        for (uint32_t i = 0; i < c.pages.size(); ++i) {
            Chunk& form = *doc->getChildren()[i];
            if (c.mode == DjVuEncoder::emCompoundBoth) {
                EXPECT_TRUE(formBytes(form) == compoundBothForms()[i]) << "not the same bytes twice, page " << i;
                ASSERT_NO_FATAL_FAILURE(keepSmallerForeground(form));
            }
            const bool bitonal = c.mode == DjVuEncoder::emBitonal ||
                                 (c.mode == DjVuEncoder::emAuto && c.pages[i] == blackAndWhite);
            const std::string fg = c.mode == DjVuEncoder::emCompound || c.mode == DjVuEncoder::emAuto ? " FG44"
                                   : c.mode == DjVuEncoder::emCompoundPalette                        ? " FGbz"
                                                                                                     : "";
            std::string ids = c.mode == DjVuEncoder::emPhoto ? "INFO"
                              : std::string(shared ? "INFO Djbz Sjbz" : "INFO Sjbz") + (bitonal ? "" : fg);
            const std::string actual = chunkIds(form);
            if (c.mode == DjVuEncoder::emCompoundBoth)
                ids += actual.find("FG44") != std::string::npos ? " FG44" : " FGbz";
            EXPECT_EQ(0u, actual.find(ids)) << "mode " << c.mode << ": " << actual;
            const std::string rest = actual.substr(std::min(actual.size(), ids.size()));
            EXPECT_EQ(bitonal ? "" : " BG44 BG44 BG44 BG44", rest) << "mode " << c.mode << ": " << actual;
            // The serializer writes the dictionary reference as an INCL of the shared component.
            std::string dumped = "DJVU: " + actual;
            const size_t reference = dumped.find("Djbz");
            if (reference != std::string::npos)
                dumped.replace(reference, 4, "INCL");
            expected.push_back(dumped);
        }
        writeDocument(doc.get(), name);
        const std::string dump = run("djvudump " + host(name));
        EXPECT_EQ(expected, dumpedForms(dump)) << dump;
        // Every page includes the one shared component.
        const size_t component = dump.find("FORM:DJVI");
        if (c.mode != DjVuEncoder::emPhoto && component != std::string::npos) {
            const std::string named = dump.substr(dump.find('{', component), dump.find('}', component) -
                                                                              dump.find('{', component) + 1);
            size_t links = 0;
            for (size_t at = dump.find("--> " + named); at != std::string::npos; at = dump.find("--> " + named, at + 1))
                ++links;
            EXPECT_EQ(c.pages.size(), links) << dump;
        } else {
            EXPECT_EQ(std::string::npos, dump.find("INCL")) << dump;
        }
        for (uint32_t i = 0; i < c.pages.size(); ++i) {
            const TestPage& page = testPages()[c.pages[i]];
            const double db = MvxTest::psnr(page.image, decode(name, int(i + 1), "-format=ppm"));
            std::printf("mode %u %-16s PSNR %.2f dB\n", c.mode, page.name, db);
            EXPECT_GT(db, c.floor) << "mode " << c.mode << " " << page.name;
        }
    }
}

// The same pages through a fresh encoder give the same bytes again, chunk for chunk.
TEST_F(DjVuEncoderInterop, SamePagesGiveSameBytes)
{
    const AutoPtr<ChunkCollection> again = encodeAll(DjVuEncoder::emCompoundBoth, {0, 1, 2, 3, 4});
    ASSERT_EQ(compoundBothForms().size(), again->getChildren().count());
    for (uint32_t i = 0; i < again->getChildren().count(); ++i)
        EXPECT_TRUE(formBytes(*again->getChildren()[i]) == compoundBothForms()[i]) << testPages()[i].name;
}

// Our INFO is read as upright, and the rotations written through the page information are shown by ddjvu
// as meant: a black corner block at the top left of the page moves with the turn.
TEST_F(DjVuEncoderInterop, RotationFlagsAsOutsideDecodersReadThem)
{
    NetpbmImage page(64, 32, 1);
    std::fill(page.pixels.begin(), page.pixels.end(), uint8_t(255));
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 16; ++x)
            *page.at(x, y) = 0;
    struct Case {
        int rotation;
        uint32_t width, height;
        uint32_t cornerX, cornerY; // where the block's corner pixel lands
    };
    const Case cases[] = {{0, 64, 32, 0, 0}, {1, 32, 64, 0, 63}, {2, 64, 32, 63, 31}, {3, 32, 64, 31, 0}};
    for (const Case& c : cases) {
        AutoPtr<DjVuEncoder> encoder = DjVuEncoder::create(0, 20, nullptr);
        const DjVuEncoder::Params params(DjVuEncoder::emBitonal);
        AutoPtr<Chunk> form;
        encoder->encodePage(form, page.pixels.data(), 64, phGray, 64, 32, 300, &params, nullptr, 0, 0);
        PageInfo info{64, 32, 25, 0, 300, 22, 1};
        if (c.rotation) {
            setRotation(info, c.rotation);
            form->getChildren()[0] = MvxTest::leaf("INFO", MvxTest::infoChunkBody(info));
        }
        const std::string name = "turn" + std::to_string(c.rotation) + ".djvu";
        writeDocument(form.get(), name);
        const NetpbmImage decoded = decode(name, 1);
        ASSERT_EQ(c.width, decoded.width) << c.rotation;
        ASSERT_EQ(c.height, decoded.height) << c.rotation;
        EXPECT_EQ(1, *decoded.at(c.cornerX, c.cornerY)) << c.rotation;
        EXPECT_EQ(0, *decoded.at(c.width - 1 - c.cornerX, c.height - 1 - c.cornerY)) << c.rotation;
    }
}

typedef MvxTest::DjVuFormTest YccPageInterop;

// Photometric 3 read one way by every layer: a black mark (00 00 00) on white (FF 00 00) decodes black on
// white whether its colour travels in the palette (FGbz) or in the foreground wavelet layer (FG44).
TEST_F(YccPageInterop, BlackMarkOnWhiteInEitherForegroundLayer)
{
    const uint32_t width = 64, height = 48;
    std::vector<uint8_t> pixels, mask;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const bool ink = x >= 16 && x < 40 && y >= 12 && y < 36;
            pixels.insert(pixels.end(), {uint8_t(ink ? 0x00 : 0xFF), 0x00, 0x00});
            mask.push_back(ink ? 0 : 0xFF);
        }
    for (uint32_t mode : {uint32_t(DjVuEncoder::emCompound), uint32_t(DjVuEncoder::emCompoundPalette)}) {
        AutoPtr<DjVuEncoder> encoder = DjVuEncoder::create(0, 20, nullptr);
        const DjVuEncoder::Params params(mode);
        AutoPtr<Chunk> form;
        encoder->encodePage(form, pixels.data(), int32_t(width * 3), phYCC, width, height, 300, &params, mask.data(),
                            int32_t(width), mtBytes);
        const std::string name = "ycc" + std::to_string(mode) + ".djvu";
        writeDocument(form.get(), name);
        const NetpbmImage decoded = decode(name, 1, "-format=ppm");
        ASSERT_EQ(width, decoded.width) << "mode " << mode;
        for (uint32_t c = 0; c < 3; ++c) {
            EXPECT_LE(decoded.at(28, 24)[c], 8) << "mode " << mode << " mark, channel " << c;
            EXPECT_GE(decoded.at(4, 4)[c], 247) << "mode " << mode << " background, channel " << c;
        }
    }
}

typedef MvxTest::DjVuFormTest LosslessMaskInterop;

// The page as the library's own decoder renders its mask: 1 for ink, as ddjvu's PBM reads.
NetpbmImage decodeMask(Chunk& inForm, uint32_t inWidth, uint32_t inHeight)
{
    const uint32_t sjbz = inForm.find("Sjbz", Chunk::notFound, false);
    AutoPtr<JB2::JB2Dictionary> dictionary;
    const uint32_t djbz = inForm.find("Djbz", Chunk::notFound, false);
    if (djbz != Chunk::notFound)
        dictionary = JB2::JB2Dictionary::create(*inForm.getChildren()[djbz]);
    const AutoPtr<JB2::JB2Page> page = JB2::JB2Page::create(*inForm.getChildren()[sjbz], dictionary.get());
    std::vector<uint8_t> grey(size_t(inWidth) * inHeight, 255);
    const Rect window{0, 0, int32_t(inWidth), int32_t(inHeight)};
    page->renderMask(grey.data(), int32_t(inWidth), phGray, &window, 0, 0, false, 0);
    NetpbmImage mask(inWidth, inHeight);
    for (size_t i = 0; i < grey.size(); ++i)
        mask.pixels[i] = grey[i] < 128;
    return mask;
}

// Copies of a block, each but the first with one isolated hole. The encoder's default JB2 parameters drop
// such holes; the lossless ones (second comparison off) keep every pixel, as both the library's decoder
// and ddjvu read the pages, in groups with and without a shared dictionary.
TEST_F(LosslessMaskInterop, LosslessJB2ParametersKeepEveryPixel)
{
    const uint32_t width = 160, height = 32;
    NetpbmImage ink(width, height);
    for (uint32_t k = 0; k < 8; ++k)
        for (uint32_t y = 0; y < 12; ++y)
            for (uint32_t x = 0; x < 10; ++x)
                *ink.at(4 + 18 * k + x, 10 + y) = k == 0 || x != 1 + k || y != 2 + k;
    std::vector<uint8_t> grey(ink.pixels.size());
    for (size_t i = 0; i < grey.size(); ++i)
        grey[i] = ink.pixels[i] ? 0 : 255;
    const struct {
        const char* what;
        JB2::JB2Encoder::Params jb2;
        bool lossless;
    } cases[] = {
        {"second comparison off", {21, 0, 256}, true},
        {"no mismatch allowed, second comparison off", {0, 0, 256}, true},
        {"the defaults", JB2::JB2Encoder::defaultParams(), false},
    };
    for (const auto& c : cases) {
        for (uint32_t shared : {1u, 0u}) {
            SCOPED_TRACE(std::string(c.what) + (shared ? ", shared dictionary" : ", no shared dictionary"));
            AutoPtr<DjVuEncoder> encoder = DjVuEncoder::create(shared, 20, nullptr);
            DjVuEncoder::Params params(DjVuEncoder::emBitonal);
            params.jb2Params = c.jb2;
            AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
            for (uint32_t page = 0; page < 2; ++page) {
                AutoPtr<Chunk> form;
                encoder->encodePage(form, grey.data(), int32_t(width), phGray, width, height, 300, &params, nullptr,
                                    0, 0);
                doc->getChildren().append(form);
            }
            encoder->flush();
            writeDocument(doc.get(), "lossless.djvu");
            for (uint32_t page = 0; page < 2; ++page) {
                const NetpbmImage ours = decodeMask(*doc->getChildren()[page], width, height);
                const NetpbmImage theirs = decode("lossless.djvu", int(page + 1));
                EXPECT_EQ(c.lossless, MvxTest::firstDifference(ink, ours).empty()) << "page " << page + 1;
                EXPECT_EQ(c.lossless, MvxTest::firstDifference(ink, theirs).empty()) << "page " << page + 1;
            }
        }
    }
}

} // namespace
