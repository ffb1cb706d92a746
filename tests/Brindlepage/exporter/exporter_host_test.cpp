// The exporter driven as Office drives it, on GDI-made pages and on the committed LibreOffice-made pages of
// the sample report; the file is read back by the outside DjVu tools.
#include "exporter_test_support.h"

#include <algorithm>
#include <cstdio>

using namespace ExporterTest;

namespace {

struct ExpectedPage {
    const char* text;    // a phrase of the page's hidden text
    const wchar_t* link; // a link the page carries, or null
};

class ExporterHost : public MvxTest::HostToolTest {
protected:
    // Exports the pages as Office does and checks the file: one bundled document with a shared dictionary
    // per group of 20 pages, every page with its mask, one foreground encoding, background, hidden text and
    // annotation; ddjvu's rendering of every page against the exporter's own first render; the text and
    // the links of each page.
    void exportAndCheck(const std::vector<Metafile>& inPages, const std::vector<ExpectedPage>& inExpected,
                        double inPsnrFloor)
    {
        std::vector<HENHMETAFILE> pages;
        for (const Metafile& page : inPages)
            pages.push_back(page.get());
        UserOutputRecorder recorder;
        {
            CDjVuExporter exporter;
            ASSERT_EQ(S_OK, exportAsOffice(exporter, path("out.djvu"), pages));
        }
        EXPECT_TRUE(recorder.boxes.empty()) << narrow(recorder.boxes.front().text);

        const DocumentLayout layout = parseDjvudump(run("djvudump " + host("out.djvu")));
        EXPECT_TRUE(layout.bundled);
        EXPECT_EQ(int(pages.size() + 19) / 20, layout.dictionaries);
        ASSERT_EQ(pages.size(), layout.pages.size());
        for (size_t i = 0; i < pages.size(); ++i) {
            SCOPED_TRACE("page " + std::to_string(i + 1));
            const std::vector<std::string>& ids = layout.pages[i];
            const auto count = [&](const char* inId) { return std::count(ids.begin(), ids.end(), inId); };
            for (const char* id : {"INFO", "INCL", "Sjbz", "TXTz", "ANTz"})
                EXPECT_EQ(1, count(id)) << id;
            // The background comes in the IW44 encoder's slices, one chunk each.
            EXPECT_LE(1, count("BG44"));
            EXPECT_EQ(1, count("FGbz") + count("FG44"));
            EXPECT_EQ("INFO", ids.front());

            const std::string page = std::to_string(i + 1);
            const MvxTest::NetpbmImage decoded = MvxTest::parseNetpbm(
                readFileAfter("ddjvu -format=ppm -page=" + page + " " + host("out.djvu") + " " + host("p.ppm"), "p.ppm"));
            const double psnr = MvxTest::psnr(renderPage(pages[i]), decoded);
            std::printf("[ PSNR     ] page %s: %.2f dB\n", page.c_str(), psnr);
            EXPECT_GE(psnr, inPsnrFloor);

            const std::string text = run("djvutxt --page=" + page + " " + host("out.djvu"));
            EXPECT_NE(std::string::npos, text.find(inExpected[i].text)) << text;
            const std::string annotations = run("djvused -e 'select " + page + "; print-ant' " + host("out.djvu"));
            EXPECT_NE(std::string::npos, annotations.find("(mode color)")) << annotations;
            if (inExpected[i].link) {
                EXPECT_NE(std::string::npos, annotations.find("(maparea \"" + narrow(inExpected[i].link) + "\""))
                    << annotations;
            } else {
                EXPECT_EQ(std::string::npos, annotations.find("maparea")) << annotations;
            }
        }
    }

    std::vector<unsigned char> readFileAfter(const std::string& inCommand, const std::string& inName)
    {
        EXPECT_EQ(0, MvxTest::runHostTool(inCommand)) << inCommand;
        return MvxTest::readFile(path(inName));
    }
};

TEST_F(ExporterHost, GdiPages)
{
    std::vector<Metafile> pages;
    for (int i = 1; i <= 3; ++i)
        pages.push_back(reportPage(i));
    exportAndCheck(pages,
                   {{"Quarterly figures page 1", kLinkUrl},
                    {"Quarterly figures page 2", kLinkUrl},
                    {"Quarterly figures page 3", kLinkUrl}},
                   35.0);
}

TEST_F(ExporterHost, LibreOfficeSampleReport)
{
    exportAndCheck(samplePages(),
                   {{"Archiving the yearly reports", kLinkUrl}, {"Figures of the year", nullptr}, {"What comes next", nullptr}},
                   35.0);
}

} // namespace
