// A 45-page document (three dictionary groups) is written and read back; the process does not grow with
// the page count: each page's images are gone once the page is added, and only its encoded chunks stay.
#include "exporter_test_support.h"

#include <psapi.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

using namespace ExporterTest;

namespace {

uint64_t committedBytes()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return counters.PagefileUsage;
}

// The text holds the page's heading, not only as the start of a longer number's ("page 1" of "page 12").
bool holdsPageText(const std::string& inText, int inNumber)
{
    const std::string heading = pageText(inNumber);
    for (size_t at = inText.find(heading); at != std::string::npos; at = inText.find(heading, at + 1)) {
        const size_t next = at + heading.size();
        if (next == inText.size() || !std::isdigit(static_cast<unsigned char>(inText[next])))
            return true;
    }
    return false;
}

class ExporterMemory : public MvxTest::HostToolTest {};

TEST_F(ExporterMemory, FortyFivePagesKeepMemoryFlat)
{
    const int pages = 45, warmUp = 5;
    std::vector<uint64_t> samples;
    {
        CDjVuExporter exporter;
        exporter.outputPath = path("long.djvu").c_str();
        for (int i = 1; i <= pages; ++i) {
            Metafile page = reportPage(i, 50, 70);
            ASSERT_EQ(S_OK, exporter.AddEmfPage(page.get())) << "page " << i;
            samples.push_back(committedBytes());
        }
        ASSERT_EQ(S_OK, exporter.FinishDocument());
    }
    ASSERT_GT(samples.front(), 0u) << "no memory counters";
    const uint64_t base = samples[warmUp - 1];
    const uint64_t highest = *std::max_element(samples.begin() + warmUp, samples.end());
    const uint64_t growth = highest > base ? highest - base : 0;
    std::printf("[ MEMORY   ] %d pages: committed memory after page %d %llu KB, grew by at most %llu KB over the "
                "next %d pages (%llu KB a page)\n",
                pages, warmUp, (unsigned long long)(base / 1024), (unsigned long long)(growth / 1024), pages - warmUp,
                (unsigned long long)(growth / 1024 / (pages - warmUp)));
    RecordProperty("growthKB", std::to_string(growth / 1024));
    // Two page images of 590 x 826 pixels are 2.9 MB: keeping them for every page would add 110 MB.
    EXPECT_LT(growth, 8u * 1024 * 1024);

    const DocumentLayout layout = parseDjvudump(run("djvudump " + host("long.djvu")));
    EXPECT_TRUE(layout.bundled);
    EXPECT_EQ(3, layout.dictionaries);
    ASSERT_EQ(size_t(pages), layout.pages.size());
    for (const std::vector<std::string>& ids : layout.pages)
        EXPECT_EQ(1, std::count(ids.begin(), ids.end(), "Sjbz"));
    const std::string text = run("djvutxt " + host("long.djvu"));
    for (int i = 1; i <= pages; ++i)
        EXPECT_TRUE(holdsPageText(text, i)) << "page " << i;
    for (int i : {1, 21, 45}) {
        EXPECT_EQ(0, MvxTest::runHostTool("ddjvu -format=ppm -page=" + std::to_string(i) + " " + host("long.djvu") + " " +
                                          host("p.ppm")));
        const MvxTest::NetpbmImage decoded = MvxTest::parseNetpbm(MvxTest::readFile(path("p.ppm")));
        EXPECT_GT(MvxTest::psnr(renderPage(reportPage(i, 50, 70).get()), decoded), 30.0) << "page " << i;
    }
}

} // namespace
