// Memory running out at any point of a page: the host hears E_OUTOFMEMORY (or E_FAIL with the box, where
// a library turned the failure into its own exception), never an exception, and the document goes on
// with the next page as if the failed one had not been offered.
#include "exporter_test_support.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// Allocations left before the next one fails; negative: none fails.
std::atomic<long> g_allocationsLeft{-1};
std::atomic<long> g_allocations{0};

} // namespace

// The test program's own allocation functions: every C++ allocation of the program, the add-in's and the
// libraries' included, comes here.
void* operator new(std::size_t inSize)
{
    ++g_allocations;
    if (g_allocationsLeft.load() >= 0 && g_allocationsLeft.fetch_sub(1) == 0)
        throw std::bad_alloc();
    if (void* block = std::malloc(inSize ? inSize : 1))
        return block;
    throw std::bad_alloc();
}

// The blocks came from malloc above; the compiler cannot see that the two replacements belong together.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* inBlock) noexcept
{
    std::free(inBlock);
}

void operator delete(void* inBlock, std::size_t) noexcept
{
    std::free(inBlock);
}
#pragma GCC diagnostic pop

using namespace ExporterTest;

namespace {

class ExporterAllocation : public MvxTest::HostToolTest {};

TEST_F(ExporterAllocation, AFailedAllocationFailsOnlyItsPage)
{
    Metafile page = reportPage(1, 30, 40), next = reportPage(2, 30, 40);
    UserOutputRecorder recorder;
    CDjVuExporter exporter;
    exporter.outputPath = path("short.djvu").c_str();
    // How many allocations a page takes, so that failures can be spread over all of it.
    const long before = g_allocations.load();
    ASSERT_EQ(S_OK, exporter.AddEmfPage(page.get()));
    const long perPage = g_allocations.load() - before;
    ASSERT_GT(perPage, 10);

    size_t pagesAdded = 1;
    int outOfMemory = 0, failed = 0, passed = 0;
    for (long at = 0; at < perPage; at = at < 8 ? at + 1 : at * 5 / 4 + 1) {
        const size_t boxes = recorder.boxes.size();
        g_allocationsLeft = at;
        const HRESULT result = exporter.AddEmfPage(page.get());
        const bool allocationFailed = g_allocationsLeft.load() < 0;
        g_allocationsLeft = -1;
        if (result == S_OK) {
            ++passed;
            ++pagesAdded;
            EXPECT_FALSE(allocationFailed) << "allocation " << at << " failed, yet the page went in";
        } else if (result == E_OUTOFMEMORY) {
            ++outOfMemory;
            EXPECT_EQ(boxes, recorder.boxes.size()) << "allocation " << at;
        } else {
            ++failed;
            EXPECT_EQ(E_FAIL, result) << "allocation " << at;
            EXPECT_EQ(boxes + 1, recorder.boxes.size()) << "allocation " << at;
        }
        // The next page, with memory again, goes in whole.
        ASSERT_EQ(S_OK, exporter.AddEmfPage(next.get())) << "after allocation " << at;
        ++pagesAdded;
    }
    std::printf("[ MEMORY   ] %ld allocations a page; failed at %d points: %d E_OUTOFMEMORY, %d E_FAIL, %d "
                "survived\n",
                perPage, outOfMemory + failed + passed, outOfMemory, failed, passed);
    EXPECT_GT(outOfMemory, 0);
    ASSERT_EQ(S_OK, exporter.FinishDocument());
    EXPECT_EQ(pagesAdded, parseDjvudump(run("djvudump " + host("short.djvu"))).pages.size());
    const std::string text = run("djvutxt --page=" + std::to_string(pagesAdded) + " " + host("short.djvu"));
    EXPECT_NE(std::string::npos, text.find(pageText(2))) << text;
}

} // namespace
