#include "capture_probe.h"
#include "capture_records.h"
#include "render_support.h"
#include "test_support.h"

#include "bp_useroutput.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace CaptureTest;
using Morvenix::AutoPtr;
using Morvenix::DjVu::Annotation;
using Morvenix::DjVu::TextZone;

namespace {

void WINAPI dropTrace(const wchar_t*) {}

// Damaged records go to the capture twice: ending right at an inaccessible page and beginning right after
// one, so that any read outside the record faults and ends the test program.
class DamagedRecordTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dc = CreateCompatibleDC(nullptr);
        ASSERT_NE(nullptr, dc);
        previousTrace = SetDebugOutputFunction(&dropTrace);
        restart();
    }
    void TearDown() override
    {
        SetDebugOutputFunction(previousTrace);
        DeleteDC(dc);
    }
    void restart()
    {
        page = TextZone::create(TextZone::zonePage);
        annotation = Annotation::create(0, 0, Annotation::backgroundNone, 0, Annotation::modeColor);
        EmfPageRendererProbe::startPage(renderer, dc, page.get(), annotation.get());
    }
    void text(uint32_t inType, const Bytes& inRecord)
    {
        for (GuardedBytes::Side side : {GuardedBytes::guardAfter, GuardedBytes::guardBefore}) {
            GuardedBytes guarded(inRecord, side);
            EmfPageRendererProbe::textRecord(renderer, inType, guarded.data(), guarded.size());
        }
    }
    void comment(const Bytes& inRecord)
    {
        for (GuardedBytes::Side side : {GuardedBytes::guardAfter, GuardedBytes::guardBefore}) {
            GuardedBytes guarded(inRecord, side);
            EmfPageRendererProbe::comment(renderer, guarded.data(), guarded.size());
        }
    }

    HDC dc = nullptr;
    DebugOutputFunction previousTrace = nullptr;
    AutoPtr<TextZone> page;
    AutoPtr<Annotation> annotation;
    EmfPageRenderer renderer;
};

Bytes withWord(Bytes inRecord, size_t inOffset, uint32_t inValue)
{
    if (inOffset + 4 > inRecord.size())
        inRecord.resize(inOffset + 4);
    RenderTest::putWord(inRecord, inOffset, inValue);
    return inRecord;
}

TEST_F(DamagedRecordTest, TextRecordsThatDoNotHoldWhatTheyAnnounceAddNothing)
{
    const Bytes wide = extTextOutW({10, 10}, L"ab", {10, 10});      // string at 76, advances at 80
    const Bytes ansi = extTextOutA({10, 10}, "ab", {10, 10});       // string at 76, advances at 80
    const Bytes small = smallTextOut({10, 10}, L"ab", 0);            // string at 52
    const Bytes smallNoRect = smallTextOut({10, 10}, L"ab", 0x100);  // string at 36
    const uint32_t w = uint32_t(wide.size());
    const struct {
        const char* what;
        uint32_t type;
        Bytes record;
    } cases[] = {
        {"count past the record", EMR_EXTTEXTOUTW, withWord(wide, 44, 0x7FFFFFFF)},
        {"count whose bytes wrap 32 bits", EMR_EXTTEXTOUTW, withWord(wide, 44, 0x80000001)},
        {"largest count", EMR_EXTTEXTOUTW, withWord(wide, 44, 0xFFFFFFFF)},
        {"string offset past the end", EMR_EXTTEXTOUTW, withWord(wide, 48, w)},
        {"string across the end", EMR_EXTTEXTOUTW, withWord(wide, 48, w - 3)},
        {"string offset near 4 GB", EMR_EXTTEXTOUTW, withWord(wide, 48, 0xFFFFFFFE)},
        {"advances across the end", EMR_EXTTEXTOUTW, withWord(wide, 72, w - 4)},
        {"advances offset near 4 GB", EMR_EXTTEXTOUTW, withWord(wide, 72, 0xFFFFFFFC)},
        {"x and y advances that do not fit", EMR_EXTTEXTOUTW, withWord(wide, 52, ETO_PDY)},
        {"8-bit count past the record", EMR_EXTTEXTOUTA, withWord(ansi, 44, 0xFFFFFFFF)},
        {"8-bit advances across the end", EMR_EXTTEXTOUTA, withWord(ansi, 72, uint32_t(ansi.size()) - 7)},
        {"fixed part cut short", EMR_EXTTEXTOUTW, Bytes(wide.begin(), wide.begin() + 75)},
        {"small count past the record", 108, withWord(small, 16, 0x7FFFFFFF)},
        {"small count near 4 GB", 108, withWord(small, 16, 0xFFFFFFFF)},
        {"small text cut short", 108, Bytes(small.begin(), small.begin() + 55)},
        {"small record without room for its rectangle", 108, Bytes(small.begin(), small.begin() + 40)},
        {"small 8-bit count past the record", 108, withWord(withWord(smallNoRect, 20, 0x300), 16, 100)},
        {"small fixed part cut short", 108, Bytes(small.begin(), small.begin() + 19)},
        {"nothing at all", EMR_EXTTEXTOUTW, Bytes()},
    };
    for (const auto& c : cases) {
        text(c.type, c.record);
        EXPECT_EQ(0u, page->children.count()) << c.what;
    }
    // Every shorter piece of a sound record: whatever is captured comes from inside the piece.
    for (const Bytes* record : {&wide, &ansi, &small, &smallNoRect}) {
        uint32_t type = 0;
        std::memcpy(&type, record->data(), 4);
        for (size_t length = 0; length < record->size(); ++length)
            text(type, Bytes(record->begin(), record->begin() + long(length)));
    }
}

TEST_F(DamagedRecordTest, CommentsThatDoNotHoldWhatTheyAnnounceAreIgnored)
{
    const Bytes link = commentRecord(linkToUrlData(0, 0, 10, 10, L"http://a/"));
    const Bytes node = commentRecord(structureNodeData(1, 2, 3, 4, 5, true, L"alt"));
    const struct {
        const char* what;
        Bytes record;
    } cases[] = {
        {"data size past the record", withWord(link, 8, uint32_t(link.size()))},
        {"data size near 4 GB", withWord(link, 8, 0xFFFFFFF8)},
        {"largest data size", withWord(link, 8, 0xFFFFFFFF)},
        {"record without its data", Bytes(link.begin(), link.begin() + 20)},
        {"record without a data size", Bytes(link.begin(), link.begin() + 10)},
        {"structure node whose data size cuts its fields", withWord(node, 8, 35)},
    };
    for (const auto& c : cases) {
        comment(c.record);
        EXPECT_EQ(0u, annotation->mapAreas.count()) << c.what;
    }
    EXPECT_EQ(-1, renderer.LastStructureNode().type);
    for (const Bytes* record : {&link, &node})
        for (size_t length = 0; length < record->size(); ++length)
            comment(Bytes(record->begin(), record->begin() + long(length)));
}

// Records of the sample report's pages (LibreOffice's text runs, the host's link comment) and built ones,
// damaged at random: changed bytes, words set to edge values, cut short.
TEST_F(DamagedRecordTest, RandomlyDamagedRecordsNeverReadOutsideThemselves)
{
    std::vector<Bytes> records = {
        extTextOutW({10, 10}, L"ab cd", {10, 11, 12, 13, 14}),
        extTextOutW({10, 10}, L"a\xD800 b", {}),
        extTextOutW({10, 10}, L"ab", {1, 2, 3, 4}, ETO_PDY),
        extTextOutA({10, 10}, "ab c\xE9", {10, 11, 12, 13, 14}),
        smallTextOut({10, 10}, L"ab c", 0),
        smallTextOut({10, 10}, L"ab c", 0x300),
        commentRecord(linkToUrlData(0, 0, 10, 10, L"http://a/")),
        commentRecord(linkToPageData(0, 0, 10, 10, 2)),
        commentRecord(linkInPointsData(0x210, 1, 2, 3, 4, wideBytes(std::wstring(L"u") + L'\0'))),
        commentRecord(structureNodeData(1, 2, 3, 3, 5, true, L"alt")),
        commentRecord(hostCommentData(0x20A, RenderTest::words({3}))),
    };
    for (int n = 1; n <= 3; ++n) {
        const std::vector<uint8_t> file = MvxTest::readFile(
            MvxTest::windowsPath(MvxTest::sourceHostPath("samples/report/pages/page-000" + std::to_string(n) + ".emf")));
        for (size_t offset : RenderTest::recordOffsets(file)) {
            uint32_t type = 0, size = 0;
            std::memcpy(&type, &file[offset], 4);
            std::memcpy(&size, &file[offset + 4], 4);
            if ((type == EMR_EXTTEXTOUTW || type == EMR_GDICOMMENT) && offset + size <= file.size() && size < 2048)
                records.emplace_back(file.begin() + long(offset), file.begin() + long(offset + size));
        }
    }
    ASSERT_GT(records.size(), 20u);

    std::mt19937 random(17);
    auto below = [&](size_t n) { return n ? size_t(random() % n) : 0; };
    const uint32_t edges[] = {0, 1, 2, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFFE, 0x10000, 0x100, 0x200, 0x300};
    const uint32_t types[] = {EMR_EXTTEXTOUTW, EMR_EXTTEXTOUTA, 108};
    for (int round = 0; round < 3000; ++round) {
        Bytes record = records[below(records.size())];
        const int changes = 1 + int(below(4));
        for (int k = 0; k < changes && !record.empty(); ++k) {
            switch (below(3)) {
            case 0:
                record[below(record.size())] = uint8_t(random());
                break;
            case 1:
                if (record.size() >= 4) {
                    const size_t at = below(record.size() / 4) * 4;
                    const uint32_t value = below(2) ? edges[below(sizeof edges / sizeof edges[0])]
                                                    : uint32_t(below(record.size() + 8));
                    RenderTest::putWord(record, at, value);
                }
                break;
            default:
                record.resize(below(record.size() + 1));
                break;
            }
        }
        if (round % 50 == 0)
            restart();
        text(types[below(3)], record);
        comment(record);
    }
}

} // namespace
