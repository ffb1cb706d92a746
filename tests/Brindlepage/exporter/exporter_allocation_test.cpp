// Memory running out at any point of a page: the host hears E_OUTOFMEMORY (or E_FAIL with the box, where
// a library turned the failure into its own exception), never an exception; the document then lacks a
// page, so the finish writes nothing, and the user is told which pages could not be made.
#include "exporter_test_support.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <numeric>

namespace {

// Allocations left before the next one fails; negative: none fails.
std::atomic<long> g_allocationsLeft{-1};
std::atomic<long> g_allocations{0};
// Whether memory, once it ran out, stays short (every allocation fails) until a box is shown; and whether it
// is short now.
std::atomic<bool> g_shortageLasts{false};
std::atomic<bool> g_memoryShort{false};

} // namespace

// The test program's own allocation functions: every C++ allocation of the program, the add-in's and the
// libraries' included, comes here.
void* operator new(std::size_t inSize)
{
    ++g_allocations;
    if (g_memoryShort.load() || (g_allocationsLeft.load() >= 0 && g_allocationsLeft.fetch_sub(1) == 0)) {
        g_memoryShort = g_shortageLasts.load();
        throw std::bad_alloc();
    }
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

// The box is the system's and needs none of the add-in's memory: a shortage that lasted ends when one is
// shown, so that the recorder can keep it. The next box can be made to fail as MessageBoxW does when the
// system cannot show it (it answers 0); its text is kept apart from the boxes shown.
MessageBoxFunction g_recordBox = nullptr;
bool g_nextBoxFails = false;
std::vector<std::wstring> g_boxesNotShown;

int WINAPI showBox(HWND inOwner, const wchar_t* inText, const wchar_t* inCaption, UINT inStyle)
{
    g_memoryShort = false;
    if (g_nextBoxFails) {
        g_nextBoxFails = false;
        g_boxesNotShown.push_back(inText);
        return 0;
    }
    return g_recordBox(inOwner, inText, inCaption, inStyle);
}

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

// Memory running out at each allocation of the finish in turn: once, or for good from that allocation on (then a
// library failure made without memory finds none for its box either); and once with the box for it failing (the
// system could not show it). Either the save failed, the old file stays and the user is told once, without a
// text that would need memory; or it succeeded, silently, and the target holds the whole document. Either way
// no working file is left beside it.
TEST_F(ExporterAllocation, AFinishWithoutMemoryKeepsTheOldFileAndIsTold)
{
    // Small, since every round makes it again.
    Metafile page = reportPage(1, 15, 20);
    UserOutputRecorder recorder;
    g_recordBox = SetMessageBoxFunction(&showBox);
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
    const std::vector<unsigned char> document = MvxTest::readFile(path("measured.djvu"));
    ASSERT_EQ("AT&TFORM", std::string(document.begin(), document.begin() + std::min<size_t>(8, document.size())));
    const std::wstring memoryText =
        L"The DjVu file could not be saved: there was not enough memory. A file already there is kept.";
    const std::wstring plainText = L"The DjVu file could not be saved. A file already there is kept.";
    enum class Shortage { once, forGood, onceWithoutABox };
    int outOfMemory = 0, failed = 0, saved = 0;
    std::vector<long> everyAllocation(static_cast<size_t>(perFinish));
    std::iota(everyAllocation.begin(), everyAllocation.end(), 0L);
    for (const Shortage shortage : {Shortage::once, Shortage::forGood, Shortage::onceWithoutABox}) {
        // Where memory runs out decides what is on disk; a box that cannot be shown changes only the telling.
        for (const long at : shortage == Shortage::onceWithoutABox ? failurePoints(perFinish) : everyAllocation) {
            SCOPED_TRACE(std::string(shortage == Shortage::once      ? "once"
                                     : shortage == Shortage::forGood ? "for good"
                                                                     : "once, the box not shown") +
                         " from allocation " + std::to_string(at));
            newRound(recorder);
            g_boxesNotShown.clear();
            CDjVuExporter exporter;
            exporter.outputPath = target().c_str();
            ASSERT_EQ(S_OK, exporter.AddEmfPage(page.get()));
            g_shortageLasts = shortage == Shortage::forGood;
            g_nextBoxFails = shortage == Shortage::onceWithoutABox;
            g_allocationsLeft = at;
            const HRESULT finish = exporter.FinishDocument();
            g_allocationsLeft = -1;
            g_shortageLasts = g_memoryShort = g_nextBoxFails = false;
            for (const FolderEntry& entry : listFolder(folder)) {
                EXPECT_NE(0u, entry.name.find("~wt")) << entry.name;
                // Told once: the next round starts without it.
                if (entry.name.find("~wt") == 0)
                    DeleteFileA(path(entry.name).c_str());
            }
            if (finish == S_OK) {
                ++saved;
                EXPECT_EQ(document, MvxTest::readFile(target()));
                EXPECT_TRUE(recorder.boxes.empty());
                EXPECT_TRUE(g_boxesNotShown.empty());
                continue;
            }
            EXPECT_EQ(old, MvxTest::readFile(target()));
            ASSERT_EQ(1u, recorder.boxes.size());
            const std::wstring& told = recorder.boxes[0].text;
            if (finish == E_OUTOFMEMORY)
                ++outOfMemory;
            else
                ++failed;
            EXPECT_TRUE(finish == E_OUTOFMEMORY || finish == E_FAIL) << finish;
            if (shortage == Shortage::onceWithoutABox) {
                // The box that could not be shown, then the plain one that needs nothing.
                ASSERT_EQ(1u, g_boxesNotShown.size());
                EXPECT_EQ(plainText, told);
            } else if (finish == E_OUTOFMEMORY) {
                EXPECT_EQ(memoryText, told);
            } else {
                EXPECT_EQ("The DjVu file \"" + target() + "\" could not be saved.", firstLine(narrow(told)));
            }
        }
    }
    SetMessageBoxFunction(g_recordBox);
    std::printf("[ MEMORY   ] %ld allocations a finish, each failed in turn; %d E_OUTOFMEMORY, %d E_FAIL, %d saved\n",
                perFinish, outOfMemory, failed, saved);
    EXPECT_GT(outOfMemory, 0);
    EXPECT_GT(failed, 0);
}

// Page 21 closes the group of pages 1 to 20, whose flush fails when memory runs out while their dictionary is
// made: the page itself is made, into the next group, and it is pages 1 to 20 that the box names.
TEST_F(ExporterAllocation, AGroupFailingAtTheNextPageIsNamedByItsPages)
{
    Metafile page = drawPage(10, 10, [](HDC dc) { drawText(dc, 5, 20, L"Ab", 10); });
    UserOutputRecorder recorder;
    const auto groupMade = [&](CDjVuExporter& ioExporter) {
        ioExporter.outputPath = target().c_str();
        for (int i = 0; i < 20; ++i)
            ASSERT_EQ(S_OK, ioExporter.AddEmfPage(page.get()));
    };
    long perPage = 0;
    {
        CDjVuExporter exporter;
        groupMade(exporter);
        const long before = g_allocations.load();
        ASSERT_EQ(S_OK, exporter.AddEmfPage(page.get()));
        perPage = g_allocations.load() - before;
    }
    // The flush takes much of the page's allocations: some failure points spread over them fall on the
    // dictionary's.
    bool found = false;
    for (long at = 0; at < perPage && !found; at += perPage / 40 + 1) {
        SCOPED_TRACE("allocation " + std::to_string(at));
        newRound(recorder);
        CDjVuExporter exporter;
        groupMade(exporter);
        g_allocationsLeft = at;
        const HRESULT result = exporter.AddEmfPage(page.get());
        g_allocationsLeft = -1;
        if (recorder.boxes.empty() || recorder.boxes[0].text.find(L"The JB2 data of pages 1-20 ") == std::wstring::npos)
            continue;
        found = true;
        EXPECT_EQ(E_FAIL, result);
        EXPECT_EQ("Pages 1 to 20 could not be made into DjVu, so the DjVu file \"" + target() +
                      "\" is not saved; a file already there is kept.",
                  firstLine(narrow(recorder.boxes[0].text)));
        EXPECT_EQ(E_FAIL, exporter.AddEmfPage(page.get()));
        EXPECT_EQ(E_FAIL, exporter.FinishDocument());
        EXPECT_EQ(1u, recorder.boxes.size());
        EXPECT_EQ(old, MvxTest::readFile(target()));
    }
    EXPECT_TRUE(found) << "no failure point fell on the dictionary of pages 1 to 20";
}

// An export that failed writes nothing, so its end makes nothing either: the pages of its last group are
// not classified into a dictionary that would be thrown away.
TEST_F(ExporterAllocation, AFailedExportEndsWithoutEncodingItsLastGroup)
{
    Metafile page = reportPage(1, 30, 40);
    UserOutputRecorder recorder;
    std::unique_ptr<CDjVuExporter> exporter(new CDjVuExporter);
    exporter->outputPath = target().c_str();
    ASSERT_EQ(S_OK, exporter->AddEmfPage(page.get()));
    ASSERT_EQ(S_OK, exporter->AddEmfPage(page.get()));
    EXPECT_EQ(E_POINTER, exporter->AddEmfPage(nullptr));
    EXPECT_EQ(E_FAIL, exporter->FinishDocument());
    const long before = g_allocations.load();
    exporter.reset();
    EXPECT_EQ(0, g_allocations.load() - before);
}

} // namespace
