// Pages that cannot be made: the failure is shown once and answered with E_FAIL, the document stays as it
// was, and the pages before and after it are saved. Damaged page metafiles end the same way or are drawn
// as far as they go, never in a crash or a hang.
#include "exporter_test_support.h"

#include <random>

using namespace ExporterTest;

namespace {

class ExporterFailure : public MvxTest::HostToolTest {};

TEST_F(ExporterFailure, AFailedPageLeavesTheDocumentWhole)
{
    const struct {
        const char* what;
        int widthMm, heightMm;
        const char* message; // a part of the box's text
    } cases[] = {
        // 66 142 pixels wide: past the format's 65 535, refused by the page encoder.
        {"too wide for the format", 5600, 10, ": Error 7: "},
        // No bitmap section of 236 220 x 236 220 pixels can be made.
        {"too large to draw", 20000, 20000, "CreateDIBSection failed!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        UserOutputRecorder recorder;
        Metafile first = reportPage(1, 50, 70), last = reportPage(3, 50, 70);
        Metafile bad = drawPage(c.widthMm, c.heightMm, [](HDC dc) { drawText(dc, 10, 20, L"Oversized", 10); });
        {
            CDjVuExporter exporter;
            exporter.outputPath = path("pages.djvu").c_str();
            EXPECT_EQ(S_OK, exporter.AddEmfPage(first.get()));
            EXPECT_EQ(E_FAIL, exporter.AddEmfPage(bad.get()));
            ASSERT_EQ(1u, recorder.boxes.size());
            EXPECT_EQ(std::wstring(L"DjVu Related Error"), recorder.boxes[0].caption);
            EXPECT_EQ(UINT(MB_ICONHAND), recorder.boxes[0].style);
            EXPECT_NE(std::string::npos, narrow(recorder.boxes[0].text).find(c.message)) << narrow(recorder.boxes[0].text);
            EXPECT_EQ(S_OK, exporter.AddEmfPage(last.get()));
            EXPECT_EQ(S_OK, exporter.FinishDocument());
        }
        EXPECT_EQ(1u, recorder.boxes.size());
        const DocumentLayout layout = parseDjvudump(run("djvudump " + host("pages.djvu")));
        EXPECT_EQ(2u, layout.pages.size());
        EXPECT_NE(std::string::npos, run("djvutxt --page=2 " + host("pages.djvu")).find(pageText(3)));
        EXPECT_EQ(0, MvxTest::runHostTool("ddjvu -format=pbm -page=2 " + host("pages.djvu") + " " + host("p.pbm")));
    }
}

// The bytes of every record after the header changed at random, record types and sizes kept: what the
// exporter's own readers (fonts, text, comments, bitmaps) see of a damaged page.
TEST_F(ExporterFailure, DamagedMetafilesEndCleanly)
{
    Metafile model = reportPage(1, 30, 40);
    std::vector<BYTE> bytes(GetEnhMetaFileBits(model.get(), 0, nullptr));
    ASSERT_FALSE(bytes.empty());
    GetEnhMetaFileBits(model.get(), UINT(bytes.size()), bytes.data());
    // Where record bodies lie: past each record's type and size, the header record left whole.
    std::vector<size_t> body;
    for (size_t at = 0; at + 8 <= bytes.size();) {
        uint32_t size = 0;
        memcpy(&size, &bytes[at + 4], 4);
        if (size < 8 || at + size > bytes.size())
            break;
        if (at > 0)
            for (size_t i = at + 8; i < at + size; ++i)
                body.push_back(i);
        at += size;
    }
    ASSERT_FALSE(body.empty());

    std::mt19937 random(18);
    UserOutputRecorder recorder;
    CDjVuExporter exporter;
    exporter.outputPath = path("damaged.djvu").c_str();
    int accepted = 0, refused = 0;
    for (int round = 0; round < 60; ++round) {
        std::vector<BYTE> damaged = bytes;
        const int changes = 1 + int(random() % 8);
        for (int i = 0; i < changes; ++i) {
            const size_t at = body[random() % body.size()];
            // Small values, large values and sign flips are what move a count or an offset out of range.
            const uint32_t kind = random() % 3;
            damaged[at] = kind == 0 ? BYTE(random()) : kind == 1 ? BYTE(0xFF) : BYTE(damaged[at] ^ 0x80);
        }
        Metafile page(SetEnhMetaFileBits(UINT(damaged.size()), damaged.data()));
        if (!page)
            continue;
        const size_t boxes = recorder.boxes.size();
        const HRESULT result = exporter.AddEmfPage(page.get());
        if (result == S_OK) {
            ++accepted;
            EXPECT_EQ(boxes, recorder.boxes.size()) << "round " << round;
        } else {
            ++refused;
            EXPECT_EQ(E_FAIL, result) << "round " << round;
            EXPECT_EQ(boxes + 1, recorder.boxes.size()) << "round " << round;
        }
    }
    std::printf("[ DAMAGE   ] %d damaged pages drawn, %d refused\n", accepted, refused);
    ASSERT_GT(accepted, 0);
    EXPECT_EQ(S_OK, exporter.FinishDocument());
    EXPECT_EQ(size_t(accepted), parseDjvudump(run("djvudump " + host("damaged.djvu"))).pages.size());
}

} // namespace
