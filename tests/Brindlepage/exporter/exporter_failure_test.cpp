// Pages that cannot be made: the failure is shown once and answered with E_FAIL (E_POINTER for a null page), the
// pages after it are refused without being drawn or shown, and the finish writes nothing: a file already at the
// path keeps its bytes. Damaged page metafiles end the same way or are drawn as far as they go, never in a crash
// or a hang.
#include "exporter_test_support.h"

#include <algorithm>
#include <random>

using namespace ExporterTest;

namespace {

class ExporterFailure : public MvxTest::HostToolTest {};

// A page that cannot be made between good ones: one the renderer refuses, told at once with the library's
// details, and a null metafile, refused with E_POINTER and told by the finish in a text made without
// allocating. Either way the document lacks a page, so the file already at the path keeps its bytes.
TEST_F(ExporterFailure, AFailedPageKeepsTheDocumentFromReplacingTheFile)
{
    Metafile first = reportPage(1, 50, 70), last = reportPage(3, 50, 70);
    // 66 141 pixels wide at 300 dpi: more than a DjVu page holds, refused before anything is drawn.
    Metafile oversized = drawPage(5600, 10, [](HDC dc) { drawText(dc, 10, 20, L"Oversized", 10); });
    const std::string target = path("pages.djvu");
    const struct {
        const char* name;
        HENHMETAFILE page;
        HRESULT answer;
        bool toldAtThePage;
        std::string told;
        std::vector<std::string> details;
    } cases[] = {
        {"a page the renderer refuses", oversized.get(), E_FAIL, true,
         "Page 2 could not be made into DjVu, so the DjVu file \"" + target +
             "\" is not saved; a file already there is kept.",
         {": Error 20: ", "gives a page of 661"}},
        {"a null page", nullptr, E_POINTER, false,
         "Pages 2 to 4 could not be made into DjVu, so the DjVu file was not saved; a file already there is kept.",
         {}},
    };
    const std::vector<unsigned char> old = {'o', 'l', 'd'};
    // The host's main window, as the click handler finds it; the box keeps it disabled while it is up.
    const HWND hostWindow = reinterpret_cast<HWND>(UINT_PTR(0x4F460123));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MvxTest::writeFile(target, old);
        UserOutputRecorder recorder;
        {
            CDjVuExporter exporter;
            exporter.outputPath = target.c_str();
            exporter.SetOwnerWindow(hostWindow);
            EXPECT_EQ(S_OK, exporter.AddEmfPage(first.get()));
            EXPECT_EQ(c.answer, exporter.AddEmfPage(c.page));
            EXPECT_EQ(c.toldAtThePage ? 1u : 0u, recorder.boxes.size());
            EXPECT_EQ(E_FAIL, exporter.AddEmfPage(last.get()));
            EXPECT_EQ(E_FAIL, exporter.AddEmfPage(first.get()));
            EXPECT_EQ(E_FAIL, exporter.FinishDocument());
        }
        // One box for the export, owned by the host's window: in words first, the library's details after.
        const std::string message = errorBoxText(recorder);
        EXPECT_EQ(c.told, firstLine(message));
        for (const std::string& detail : c.details)
            EXPECT_NE(std::string::npos, message.find(detail)) << message;
        ASSERT_EQ(1u, recorder.boxes.size());
        EXPECT_EQ(hostWindow, recorder.boxes[0].owner);
        EXPECT_EQ(old, MvxTest::readFile(target));
        EXPECT_EQ(1u, listFolder(folder).size());
    }
}

// Pages whose link comments, text and fonts are damaged at random: what the exporter's own readers parse.
// Counts, offsets and object slots stay whole, since the system's metafile player trusts them (Wine's reads
// and writes past the record or its handle table), so no host can hand over a page with them damaged.
TEST_F(ExporterFailure, DamagedMetafilesEndCleanly)
{
    Metafile model = reportPage(1, 30, 40);
    std::vector<BYTE> bytes(GetEnhMetaFileBits(model.get(), 0, nullptr));
    ASSERT_FALSE(bytes.empty());
    GetEnhMetaFileBits(model.get(), UINT(bytes.size()), bytes.data());
    const auto word = [&](size_t inAt) {
        uint32_t value = 0;
        memcpy(&value, &bytes[inAt], 4);
        return value;
    };
    std::vector<size_t> body;
    const auto take = [&](size_t inFrom, size_t inTo, size_t inEnd) {
        for (size_t i = inFrom; i < std::min(inTo, inEnd); ++i)
            body.push_back(i);
    };
    for (size_t at = 0; at + 8 <= bytes.size();) {
        const uint32_t type = word(at), size = word(at + 4);
        if (size < 8 || at + size > bytes.size())
            break;
        const size_t end = at + size;
        if (type == 70) { // EMR_GDICOMMENT: its data size and data
            take(at + 8, end, end);
        } else if (type == 84 && size >= 76) { // EMR_EXTTEXTOUTW: the characters and their advances
            const size_t count = word(at + 44);
            take(at + word(at + 48), at + word(at + 48) + 2 * count, end);
            take(at + word(at + 72), at + word(at + 72) + 4 * count, end);
        } else if (type == 82) { // EMR_EXTCREATEFONTINDIRECTW: the LOGFONTW past its height and width,
            take(at + 20, at + 104, end); // which would only make the system draw giant glyphs slowly
        }
        at = end;
    }
    ASSERT_FALSE(body.empty());

    std::mt19937 random(18);
    UserOutputRecorder recorder;
    // A refused page ends its document, so each damaged page goes to an exporter of its own; the accepted
    // ones are then saved together.
    std::vector<Metafile> drawn;
    int refused = 0;
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
        CDjVuExporter exporter;
        const HRESULT result = exporter.AddEmfPage(page.get());
        if (result == S_OK) {
            EXPECT_EQ(boxes, recorder.boxes.size()) << "round " << round;
            drawn.push_back(std::move(page));
        } else {
            ++refused;
            EXPECT_EQ(E_FAIL, result) << "round " << round;
            EXPECT_EQ(boxes + 1, recorder.boxes.size()) << "round " << round;
        }
    }
    std::printf("[ DAMAGE   ] %d damaged pages drawn, %d refused\n", int(drawn.size()), refused);
    ASSERT_FALSE(drawn.empty());
    CDjVuExporter exporter;
    exporter.outputPath = path("damaged.djvu").c_str();
    for (const Metafile& page : drawn)
        EXPECT_EQ(S_OK, exporter.AddEmfPage(page.get()));
    EXPECT_EQ(S_OK, exporter.FinishDocument());
    EXPECT_EQ(drawn.size(), parseDjvudump(run("djvudump " + host("damaged.djvu"))).pages.size());
}

} // namespace
