// Memory running out at any point of a page: the host hears E_OUTOFMEMORY (or E_FAIL with the box, where
// a library turned the failure into its own exception), never an exception; the document then lacks a
// page, so the finish writes nothing, and the user is told which pages could not be made.
#include "exporter_test_support.h"

#include <algorithm>
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

class ExporterAllocation : public MvxTest::HostToolTest {
protected:
    // The allocations to fail among inCount: each of the first eight, then ever wider apart.
    static std::vector<long> failurePoints(long inCount)
    {
        std::vector<long> points;
        for (long at = 0; at < inCount; at = at < 8 ? at + 1 : at * 5 / 4 + 1)
            points.push_back(at);
        return points;
    }
    // A round of its own: the old file back at the target, the boxes of earlier rounds forgotten.
    void newRound(UserOutputRecorder& ioRecorder) const
    {
        MvxTest::writeFile(target(), old);
        ioRecorder.boxes.clear();
    }
    std::string target() const { return path("kept.djvu"); }

    const std::vector<unsigned char> old = {'o', 'l', 'd'};
};

TEST_F(ExporterAllocation, AFailedAllocationKeepsTheOldFileAndIsTold)
{
    Metafile page = reportPage(1, 30, 40), next = reportPage(2, 30, 40);
    UserOutputRecorder recorder;
    // How many allocations the first page of an exporter takes, so that failures can be spread over all of it.
    long perPage = 0;
    {
        CDjVuExporter exporter;
        const long before = g_allocations.load();
        ASSERT_EQ(S_OK, exporter.AddEmfPage(page.get()));
        perPage = g_allocations.load() - before;
    }
    ASSERT_GT(perPage, 10);

    int outOfMemory = 0, failed = 0, passed = 0;
    for (const long at : failurePoints(perPage)) {
        SCOPED_TRACE("allocation " + std::to_string(at));
        newRound(recorder);
        CDjVuExporter exporter;
        exporter.outputPath = target().c_str();
        g_allocationsLeft = at;
        const HRESULT result = exporter.AddEmfPage(page.get());
        const bool allocationFailed = g_allocationsLeft.load() < 0;
        g_allocationsLeft = -1;
        const size_t pageBoxes = recorder.boxes.size();
        // The next page comes with memory again.
        const HRESULT nextResult = exporter.AddEmfPage(next.get());
        const HRESULT finish = exporter.FinishDocument();
        if (result == S_OK) {
            ++passed;
            EXPECT_FALSE(allocationFailed) << "an allocation failed, yet the page went in";
            EXPECT_EQ(S_OK, nextResult);
            EXPECT_EQ(S_OK, finish);
            EXPECT_TRUE(recorder.boxes.empty());
            const std::vector<unsigned char> written = MvxTest::readFile(target());
            EXPECT_EQ("AT&TFORM", std::string(written.begin(), written.begin() + std::min<size_t>(8, written.size())));
            continue;
        }
        EXPECT_EQ(E_FAIL, nextResult);
        EXPECT_EQ(E_FAIL, finish);
        EXPECT_EQ(old, MvxTest::readFile(target()));
        ASSERT_FALSE(recorder.boxes.empty());
        if (result == E_OUTOFMEMORY) {
            ++outOfMemory;
            // Nothing at the page, one box at the finish.
            EXPECT_EQ(0u, pageBoxes);
            ASSERT_EQ(1u, recorder.boxes.size());
            EXPECT_EQ(L"Pages 1 to 2 could not be made into DjVu (there was not enough memory for the first), so the "
                      L"DjVu file was not saved; a file already there is kept.",
                      recorder.boxes[0].text);
        } else {
            ++failed;
            // The box at the page is the export's only one.
            EXPECT_EQ(E_FAIL, result);
            EXPECT_EQ(1u, recorder.boxes.size());
            EXPECT_EQ("Page 1 could not be made into DjVu, so the DjVu file \"" + target() +
                          "\" is not saved; a file already there is kept.",
                      firstLine(narrow(recorder.boxes[0].text)));
        }
    }
    std::printf("[ MEMORY   ] %ld allocations a page; failed at %d points: %d E_OUTOFMEMORY, %d E_FAIL, %d "
                "survived\n",
                perPage, outOfMemory + failed + passed, outOfMemory, failed, passed);
    EXPECT_GT(outOfMemory, 0);
}

// Memory running out while the finish writes the document: the old file stays, and the user is told
// without a text that would need memory.
TEST_F(ExporterAllocation, AFinishWithoutMemoryKeepsTheOldFileAndIsTold)
{
    Metafile page = reportPage(1, 30, 40);
    UserOutputRecorder recorder;
    long perFinish = 0;
    {
        CDjVuExporter exporter;
        exporter.outputPath = path("measured.djvu").c_str();
        ASSERT_EQ(S_OK, exporter.AddEmfPage(page.get()));
        const long before = g_allocations.load();
        ASSERT_EQ(S_OK, exporter.FinishDocument());
        perFinish = g_allocations.load() - before;
    }
    ASSERT_GT(perFinish, 10);
    int outOfMemory = 0, failed = 0;
    for (const long at : failurePoints(perFinish)) {
        SCOPED_TRACE("allocation " + std::to_string(at));
        newRound(recorder);
        CDjVuExporter exporter;
        exporter.outputPath = target().c_str();
        ASSERT_EQ(S_OK, exporter.AddEmfPage(page.get()));
        g_allocationsLeft = at;
        const HRESULT finish = exporter.FinishDocument();
        g_allocationsLeft = -1;
        if (finish == S_OK)
            continue;
        EXPECT_EQ(old, MvxTest::readFile(target()));
        for (const FolderEntry& entry : listFolder(folder))
            EXPECT_NE(0u, entry.name.find("~wt")) << entry.name;
        ASSERT_EQ(1u, recorder.boxes.size());
        if (finish == E_OUTOFMEMORY) {
            ++outOfMemory;
            EXPECT_EQ(L"The DjVu file could not be saved: there was not enough memory. A file already there is kept.",
                      recorder.boxes[0].text);
        } else {
            ++failed;
            EXPECT_EQ(E_FAIL, finish);
            EXPECT_EQ("The DjVu file \"" + target() + "\" could not be saved.",
                      firstLine(narrow(recorder.boxes[0].text)));
        }
    }
    std::printf("[ MEMORY   ] %ld allocations a finish; %d E_OUTOFMEMORY, %d E_FAIL\n", perFinish, outOfMemory, failed);
    EXPECT_GT(outOfMemory, 0);
}

} // namespace
