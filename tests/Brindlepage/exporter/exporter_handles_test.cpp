// A hundred pages (the sample report's three over and over) go through one exporter: the process's GDI and
// USER objects do not grow with the page count, so a long document cannot run the process out of handles.
#include "exporter_test_support.h"

#include <winternl.h>

#include <cstdio>
#include <cstring>

using namespace ExporterTest;

namespace {

// The process's GDI and USER objects as GetGuiResources counts them. Wine leaves GetGuiResources
// unimplemented (0, ERROR_CALL_NOT_IMPLEMENTED); there the GDI objects are counted in the handle table the
// process environment block points to (Wine's entries are 24 bytes on either word size, as Windows' are
// on 64-bit, with the object's type in the byte at 14, 0 for a free entry), and the USER objects cannot be
// counted (-1).
struct GuiObjects {
    int64_t gdi;
    int64_t user;
};

int64_t liveGdiTableEntries()
{
    typedef NTSTATUS(NTAPI * QueryProcess)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);
    const QueryProcess query = reinterpret_cast<QueryProcess>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic = {};
    if (!query || query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0 ||
        !basic.PebBaseAddress)
        return -1;
    const uint8_t* environment = reinterpret_cast<const uint8_t*>(basic.PebBaseAddress);
    const size_t tableField = sizeof(void*) == 8 ? 0xF8 : 0x94;
    const uint8_t* table = nullptr;
    std::memcpy(&table, environment + tableField, sizeof table);
    if (!table)
        return -1;
    const size_t entries = 0x10000, entrySize = 24, typeAt = 14;
    int64_t live = 0;
    for (size_t i = 0; i < entries; ++i)
        live += table[i * entrySize + typeAt] != 0;
    return live;
}

GuiObjects guiObjects()
{
    SetLastError(0);
    const DWORD gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (gdi == 0 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED)
        return GuiObjects{liveGdiTableEntries(), -1};
    return GuiObjects{int64_t(gdi), int64_t(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS))};
}

class ExporterHandles : public MvxTest::HostToolTest {};

TEST_F(ExporterHandles, AHundredPagesLeaveTheProcessWithTheObjectsOfTen)
{
    const std::vector<Metafile> sample = samplePages();
    ASSERT_EQ(3u, sample.size());
    const int pages = 100, settled = 10;
    GuiObjects afterSettled{}, highest{-1, -1};
    {
        CDjVuExporter exporter;
        exporter.outputPath = path("hundred.djvu").c_str();
        for (int i = 1; i <= pages; ++i) {
            ASSERT_EQ(S_OK, exporter.AddEmfPage(sample[size_t(i - 1) % sample.size()].get())) << "page " << i;
            const GuiObjects now = guiObjects();
            if (i == settled)
                afterSettled = now;
            if (i > settled) {
                highest.gdi = std::max(highest.gdi, now.gdi);
                highest.user = std::max(highest.user, now.user);
            }
        }
        ASSERT_EQ(S_OK, exporter.FinishDocument());
    }
    ASSERT_GT(afterSettled.gdi, 0) << "no way to count the GDI objects";
    std::printf("[ HANDLES  ] GDI objects after page %d: %lld, at most %lld up to page %d; USER objects %lld, at "
                "most %lld (-1: not counted here)\n",
                settled, (long long)afterSettled.gdi, (long long)highest.gdi, pages, (long long)afterSettled.user,
                (long long)highest.user);
    // A page that kept one object would leave 90 more.
    EXPECT_LE(highest.gdi, afterSettled.gdi + 2);
    if (afterSettled.user >= 0) {
        EXPECT_LE(highest.user, afterSettled.user + 2);
    }
    EXPECT_EQ(size_t(pages), parseDjvudump(run("djvudump " + host("hundred.djvu"))).pages.size());
}

} // namespace
