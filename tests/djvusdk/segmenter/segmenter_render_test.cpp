// The segmenter on 300-dpi office pages rendered by Ghostscript: text, a ruled table, a photo-like picture
// and coloured bands. Each page is rendered twice, with and without its text and rules, so the pixels
// that differ are the text pixels the mask must catch. The grainy picture gives some of its darker grain
// to the foreground (about 15 % of its pixels); the bounds below leave room around that, not more.
#include "djv_segmenter.h"
#include "netpbm.h"
#include "test_support.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using namespace Morvenix::DjVu;

namespace {

struct Figures {
    uint64_t text = 0, textFound = 0;
    uint64_t photo = 0, photoTaken = 0;
    uint64_t paper = 0, paperTaken = 0;
};

class SegmenterRender : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(MvxTest::requireHostTools({"gs", "python3"}));
        folder = MvxTest::tempFolder();
    }

    // Renders page 1 of the kind (a4 or slide) with and without ink, segments the inked render and counts.
    Figures measure(const std::string& inKind, const char* inSize)
    {
        const std::string script = MvxTest::sourceHostPath("bench/make_office_pages.py");
        const std::string host = MvxTest::hostPath(folder);
        Figures f;
        for (const char* layer : {"ink", "paper"}) {
            const std::string ps = host + "/" + layer + ".ps";
            EXPECT_EQ(0, MvxTest::runHostTool("python3 " + script + " 1 " + inKind + " " + layer + " " + ps,
                                              folder + "\\photo.txt"));
            EXPECT_EQ(0, MvxTest::runHostTool("gs -q -dNOPAUSE -dBATCH -sDEVICE=ppmraw -r300 -g" +
                                              std::string(inSize) + " -sOutputFile=" + host + "/" + layer +
                                              ".ppm " + ps));
        }
        const MvxTest::NetpbmImage ink = MvxTest::parseNetpbm(MvxTest::readFile(folder + "\\ink.ppm"));
        const MvxTest::NetpbmImage paper = MvxTest::parseNetpbm(MvxTest::readFile(folder + "\\paper.ppm"));
        const std::vector<unsigned char> photoLine = MvxTest::readFile(folder + "\\photo.txt");
        uint32_t px = 0, py = 0, pw = 0, ph = 0;
        EXPECT_EQ(4, std::sscanf(std::string(photoLine.begin(), photoLine.end()).c_str(), "photo %u %u %u %u", &px,
                                 &py, &pw, &ph));
        if (ink.pixels.empty() || !(ink.width == paper.width && ink.height == paper.height)) {
            ADD_FAILURE() << "renders missing or of different sizes";
            return f;
        }
        std::vector<uint8_t> mask(size_t(ink.width) * ink.height, 0x5A);
        Segmenter::segment(mask.data(), int32_t(ink.width), mtBytes, ink.width, ink.height, ink.pixels.data(),
                           int32_t(ink.width * 3), phRGB, nullptr);
        for (uint32_t y = 0; y < ink.height; ++y) {
            for (uint32_t x = 0; x < ink.width; ++x) {
                const bool taken = mask[size_t(y) * ink.width + x] == 0;
                const bool inPhoto = x >= px && x < px + pw && y >= py && y < py + ph;
                if (ink.rgb(x, y) != paper.rgb(x, y)) {
                    ++f.text;
                    f.textFound += taken;
                } else if (inPhoto) {
                    ++f.photo;
                    f.photoTaken += taken;
                } else {
                    ++f.paper;
                    f.paperTaken += taken;
                }
            }
        }
        const auto share = [](uint64_t a, uint64_t b) { return b ? 100.0 * double(a) / double(b) : 0.0; };
        std::printf("%s page: text pixels found %.2f%% of %llu; photo pixels taken %.3f%% of %llu; other pixels "
                    "taken %.3f%% of %llu\n",
                    inKind.c_str(), share(f.textFound, f.text), (unsigned long long)f.text,
                    share(f.photoTaken, f.photo), (unsigned long long)f.photo, share(f.paperTaken, f.paper),
                    (unsigned long long)f.paper);
        return f;
    }

    std::string folder;
};

} // namespace

TEST_F(SegmenterRender, TextIsForegroundPictureMostlyNot)
{
    for (const char* kind : {"a4", "slide"}) {
        SCOPED_TRACE(kind);
        const Figures f = measure(kind, kind == std::string("a4") ? "2480x3508" : "4000x2250");
        ASSERT_GT(f.text, 100000u);
        ASSERT_GT(f.photo, 100000u);
        EXPECT_GE(f.textFound * 100, f.text * 99);
        EXPECT_LE(f.photoTaken * 100, f.photo * 20);
        EXPECT_LE(f.paperTaken * 100, f.paper * 1);
    }
}
