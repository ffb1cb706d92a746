// The button pressed in Word, Excel and PowerPoint: each host's own export call with the exporter in it,
// the file the user chose written with every page and its text, "Untitled" where the host gives no name,
// nothing written when the user cancels, and a failing save that keeps the old file and says why.
#include "command_support.h"
#include "fake_office.h"

#include <gtest/gtest.h>


namespace {

using namespace CommandTest;
using FakeOffice::HostKind;
using FakeOffice::HostSettings;

struct HostCase {
    const char* name;
    HostKind kind;
    const wchar_t* documentName;
    // The host's export arguments; PATH stands for the chosen path.
    const wchar_t* arguments;
    // What the host hands the exporter as the output name; PATH stands for the chosen path.
    const wchar_t* outputName;
};

const HostCase hostCases[] = {
    {"Word", HostKind::word, L"Report.docx",
     L"OutputFileName=\"PATH\"; ExportFormat=17; OpenAfterExport=0; OptimizeFor=0; Range=0; From=0; To=0; Item=0; "
     L"IncludeDocProps=-1; KeepIRM=0; CreateBookmarks=2; DocStructureTags=-1; BitmapMissingFonts=-1; "
     L"UseISO19005_1=0; FixedFormatExtClassPtr=&exporter",
     L"PATH"},
    {"Excel", HostKind::excel, L"Report.xlsx",
     L"Type=0; Filename=missing; Quality=missing; IncludeDocProperties=missing; IgnorePrintAreas=missing; "
     L"From=missing; To=missing; OpenAfterPublish=missing; FixedFormatExtClassPtr=exporter",
     L"Excel-offered.djvu"},
    {"PowerPoint", HostKind::powerPoint, L"Report.pptx",
     L"Path=\"PATH\"; FixedFormatType=2; Intent=2; FrameSlides=0; HandoutOrder=2; OutputType=1; "
     L"PrintHiddenSlides=-1; PrintRange=null; RangeType=1; SlideShowName=\"\"; IncludeDocProperties=-1; "
     L"KeepIRMSettings=0; DocStructureTags=-1; BitmapMissingFonts=-1; UseISO19005_1=0; ExternalExporter=exporter",
     L"PATH"},
};

std::wstring withPath(std::wstring inText, const std::wstring& inPath)
{
    for (size_t at = inText.find(L"PATH"); at != std::wstring::npos; at = inText.find(L"PATH", at + inPath.size()))
        inText.replace(at, 4, inPath);
    return inText;
}

bool exists(const std::string& inPath)
{
    return GetFileAttributesA(inPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> folderEntries(const std::string& inFolder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((inFolder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..")
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

// A page metafile the exporter refuses: 5.6 m wide, more pixels at 300 dpi than a DjVu page holds.
std::wstring writeRefusedPage(const std::string& inPath)
{
    const RECT frame{0, 0, 560000, 1000}; // in 0.01 mm
    HDC dc = CreateEnhMetaFileW(nullptr, widen(inPath).c_str(), &frame, nullptr);
    EXPECT_NE(nullptr, dc);
    if (dc) {
        Rectangle(dc, 10, 10, 100, 100);
        DeleteEnhMetaFile(CloseEnhMetaFile(dc));
    }
    return widen(inPath);
}

// Keeps the process's current folder and puts it back.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::string& inFolder)
    {
        GetCurrentDirectoryW(MAX_PATH, saved);
        SetCurrentDirectoryA(inFolder.c_str());
    }
    ~CurrentFolder() { SetCurrentDirectoryW(saved); }

private:
    wchar_t saved[MAX_PATH] = {};
};

class HostExport : public MvxTest::HostToolTest, public ::testing::WithParamInterface<HostCase> {
protected:
    HostSettings settings(size_t inPages = 3) const
    {
        HostSettings s;
        s.kind = GetParam().kind;
        s.documentName = GetParam().documentName;
        s.pages = samplePages(inPages);
        return s;
    }

    // The pages of the file as ddjvu renders them and their text as djvutxt reads it.
    void expectReadableDocument(const std::string& inFile, int inPages, const std::vector<std::string>& inWords)
    {
        const std::string pages = run("djvused -e n '" + MvxTest::hostPath(inFile) + "'");
        EXPECT_EQ(std::to_string(inPages) + "\n", pages);
        for (int page = 1; page <= inPages; ++page) {
            const std::string image = path("page" + std::to_string(page) + ".pnm");
            run("ddjvu -format=pnm -page=" + std::to_string(page) + " '" + MvxTest::hostPath(inFile) + "' '" +
                MvxTest::hostPath(image) + "'");
            EXPECT_GT(MvxTest::readFile(image).size(), 2481u * 3509u) << "page " << page;
            const std::string text = run("djvutxt --page=" + std::to_string(page) + " '" +
                                         MvxTest::hostPath(inFile) + "'");
            if (size_t(page) <= inWords.size()) {
                EXPECT_NE(std::string::npos, text.find(inWords[size_t(page) - 1])) << "page " << page << ": " << text;
            }
        }
    }

    Apartment apartment;
};

TEST_P(HostExport, WritesEveryPageWithItsTextToTheFileTheUserChose)
{
    const std::string file = path("Quarterly report.djvu");
    const std::wstring chosen = widen(file);
    HostRun run(settings(), chosen);
    const LONG applicationReferences = run.host.applicationReferences();
    EXPECT_EQ(S_OK, run.press());

    ASSERT_EQ(1u, run.user.dialogs().size());
    const FakeOffice::SaveDialogSeen& dialog = run.user.dialogs()[0];
    EXPECT_FALSE(dialog.classic);
    EXPECT_EQ(L"Report.djvu", dialog.fileName);
    EXPECT_EQ(L"Save as DjVu file", dialog.title);
    EXPECT_EQ(L"DjVu Files|*.djvu;*.djv", dialog.fileTypes);
    EXPECT_EQ(L"djvu", dialog.defaultExtension);
    // The dialog's own options kept, with the overwrite prompt and places in the file system only.
    EXPECT_EQ(FILEOPENDIALOGOPTIONS(FOS_OVERWRITEPROMPT | FOS_NOREADONLYRETURN | FOS_PATHMUSTEXIST | FOS_NOCHANGEDIR |
                                    FOS_FORCEFILESYSTEM),
              dialog.options);
    EXPECT_NE(nullptr, run.host.mainWindow());
    EXPECT_EQ(run.host.mainWindow(), dialog.owner);
    EXPECT_TRUE(run.user.messages().empty());

    ASSERT_EQ(1u, run.host.exports().size());
    const FakeOffice::ExportCall& call = run.host.exports()[0];
    EXPECT_EQ(withPath(GetParam().arguments, chosen), call.arguments);
    EXPECT_TRUE(call.exporterFound);
    EXPECT_EQ(withPath(GetParam().outputName, chosen), call.outputName.value_or(L"(none)"));
    EXPECT_EQ(std::vector<HRESULT>(3, S_OK), call.pages);
    EXPECT_EQ(S_OK, call.finish.value_or(E_UNEXPECTED));
    // The click gave back everything it took from the host.
    EXPECT_EQ(applicationReferences, run.host.applicationReferences());
    EXPECT_EQ(1, run.host.documentReferences());

    expectReadableDocument(file, 3, {"Archiving the yearly reports", "Figures of the year", "What comes next"});
    EXPECT_NE(std::string::npos,
              this->run("djvused -e 'select 1; print-ant' '" + MvxTest::hostPath(file) + "'")
                  .find("https://example.com/brindlepage/guide"));
    // Excel's own offer was not taken.
    EXPECT_FALSE(exists(path("Excel-offered.djvu")));
}

TEST_P(HostExport, TakesUntitledWithoutADialogWhenTheHostGivesNoName)
{
    HostSettings s = settings(1);
    s.documentName.reset();
    const CurrentFolder here(folder);
    HostRun run(s, widen(path("never asked.djvu")));
    EXPECT_EQ(S_OK, run.press());
    EXPECT_TRUE(run.user.dialogs().empty());
    EXPECT_TRUE(run.user.messages().empty());
    ASSERT_EQ(1u, run.host.exports().size());
    EXPECT_EQ(S_OK, run.host.exports()[0].finish.value_or(E_UNEXPECTED));
    ASSERT_TRUE(exists(path("Untitled")));
    expectReadableDocument(path("Untitled"), 1, {"Archiving the yearly reports"});
}

TEST_P(HostExport, WritesNothingWhenTheUserCancels)
{
    const CurrentFolder here(folder);
    HostRun run(settings(1), L"");
    EXPECT_EQ(S_OK, run.press());
    ASSERT_EQ(1u, run.user.dialogs().size());
    EXPECT_TRUE(run.user.dialogs()[0].shown);
    EXPECT_TRUE(run.user.messages().empty());
    EXPECT_TRUE(run.host.exports().empty());
    EXPECT_EQ(std::vector<std::string>(), folderEntries(folder));
    EXPECT_EQ(1, run.host.documentReferences());
}

// A folder that cannot take the file is told in words after the dialog, before the host draws a page:
// nothing is exported and nothing is written.
TEST_P(HostExport, TellsAFolderThatCannotTakeTheFileBeforeAnyPage)
{
    MvxTest::writeFile(path("a file"), {'x'});
    const struct {
        const char* name;
        std::string file;
        const wchar_t* because;
    } cases[] = {
        {"missing folder", path("missing\\out.djvu"), L"does not exist."},
        {"a file for a folder", path("a file\\out.djvu"), L"is a file, not a folder."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HostRun run(settings(1), widen(c.file));
        EXPECT_EQ(S_OK, run.press());
        ASSERT_EQ(1u, run.user.dialogs().size());
        EXPECT_TRUE(run.host.exports().empty());
        ASSERT_EQ(1u, run.user.messages().size());
        const FakeOffice::MessageSeen& box = run.user.messages()[0];
        EXPECT_EQ(L"DjVu Related Error", box.caption);
        EXPECT_EQ(UINT(MB_ICONHAND | MB_TASKMODAL), box.style);
        EXPECT_EQ(run.host.mainWindow(), box.owner);
        const std::wstring folderOf = widen(c.file.substr(0, c.file.rfind('\\')));
        EXPECT_EQ(L"The DjVu file \"" + widen(c.file) + L"\" cannot be saved: the folder \"" + folderOf + L"\" " +
                      c.because,
                  box.text);
    }
    EXPECT_EQ(std::vector<std::string>{"a file"}, folderEntries(folder));
}

// Paths the system cannot take are told as too long, before any page: a file's path past 259 characters,
// and a folder too deep for the working file the save writes there first. The deepest folder that takes it
// gets the document.
TEST_P(HostExport, TellsAPathThatIsTooLongBeforeAnyPage)
{
    const std::string deepest = path(std::string(245 - folder.size() - 1, 'd'));
    const std::string tooDeep = path(std::string(246 - folder.size() - 1, 'e'));
    ASSERT_TRUE(CreateDirectoryA(deepest.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(tooDeep.c_str(), nullptr));
    const std::string longFile = deepest + "\\" + std::string(16, 'f') + ".djvu";
    const std::string deepFile = tooDeep + "\\a.djvu";
    const struct {
        const char* name;
        std::string file;
        std::wstring told;
    } cases[] = {
        {"a file's path", longFile,
         L"The DjVu file \"" + widen(longFile) + L"\" cannot be saved: its path is too long (267 characters, "
         L"where Windows takes at most 259)."},
        {"a folder's path", deepFile,
         L"The DjVu file \"" + widen(deepFile) + L"\" cannot be saved: the folder \"" + widen(tooDeep) +
             L"\" has too long a path (246 characters): the save writes a working file there first, which needs "
             L"a folder path of at most 245."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HostRun run(settings(1), widen(c.file));
        EXPECT_EQ(S_OK, run.press());
        EXPECT_TRUE(run.host.exports().empty());
        ASSERT_EQ(1u, run.user.messages().size());
        EXPECT_EQ(c.told, run.user.messages()[0].text);
    }
    EXPECT_TRUE(folderEntries(tooDeep).empty());

    const std::string deepestFile = deepest + "\\a.djvu";
    HostRun run(settings(1), widen(deepestFile));
    EXPECT_EQ(S_OK, run.press());
    EXPECT_TRUE(run.user.messages().empty());
    ASSERT_EQ(1u, run.host.exports().size());
    EXPECT_EQ(S_OK, run.host.exports()[0].finish.value_or(E_UNEXPECTED));
    EXPECT_EQ(std::vector<std::string>{"a.djvu"}, folderEntries(deepest));
}

// The dialog asks before it hands back a file that is already there, whatever it was set up to do, and
// the file it was allowed to replace is replaced. It lets the user choose only a place in the file system,
// where a pick elsewhere would give no path and end the click as if cancelled.
TEST_P(HostExport, ReplacesAFileOnlyAsTheDialogAsked)
{
    const std::string file = path("replaced.djvu");
    MvxTest::writeFile(file, {'o', 'l', 'd'});
    HostRun run(settings(1), widen(file));
    run.user.setDialogDefaults(FOS_NOREADONLYRETURN | FOS_PATHMUSTEXIST);
    EXPECT_EQ(S_OK, run.press());
    ASSERT_EQ(1u, run.user.dialogs().size());
    EXPECT_EQ(FILEOPENDIALOGOPTIONS(FOS_OVERWRITEPROMPT | FOS_FORCEFILESYSTEM | FOS_NOREADONLYRETURN |
                                    FOS_PATHMUSTEXIST),
              run.user.dialogs()[0].options);
    EXPECT_TRUE(run.user.messages().empty());
    expectReadableDocument(file, 1, {"Archiving the yearly reports"});
}

// Without a name nobody is asked: a file "Untitled" already in the folder stays as it is, and the user is
// told why nothing was saved.
TEST_P(HostExport, KeepsAnUntitledFileThatNobodyAgreedToReplace)
{
    HostSettings s = settings(1);
    s.documentName.reset();
    const CurrentFolder here(folder);
    const std::vector<unsigned char> old = {'o', 'l', 'd'};
    MvxTest::writeFile(path("Untitled"), old);
    HostRun run(s, widen(path("never asked.djvu")));
    EXPECT_EQ(S_OK, run.press());
    EXPECT_TRUE(run.user.dialogs().empty());
    EXPECT_TRUE(run.host.exports().empty());
    ASSERT_EQ(1u, run.user.messages().size());
    EXPECT_EQ(L"The document has no name, so the DjVu file would be \"" + widen(path("Untitled")) +
                  L"\", which is already there and is not replaced without asking.",
              run.user.messages()[0].text);
    EXPECT_EQ(old, MvxTest::readFile(path("Untitled")));
    EXPECT_EQ(std::vector<std::string>{"Untitled"}, folderEntries(folder));
}

// The old file at the chosen path is held open by another program, or is read-only: the export fails at
// the end, the user is told which file could not be saved and the library's message, the old file keeps
// its bytes, and the document's working copy does not stay beside it.
TEST_P(HostExport, KeepsTheOldFileWhenTheSaveFails)
{
    for (const char* cause : {"held open", "read-only"}) {
        SCOPED_TRACE(cause);
        const std::string file = path(std::string(cause) + ".djvu");
        const std::vector<unsigned char> old = {'o', 'l', 'd', ' ', 'b', 'y', 't', 'e', 's'};
        MvxTest::writeFile(file, old);
        HANDLE holder = INVALID_HANDLE_VALUE;
        if (std::string(cause) == "held open")
            holder = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 0, nullptr);
        else
            SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);

        HostRun run(settings(1), widen(file));
        EXPECT_EQ(S_OK, run.press());
        if (holder != INVALID_HANDLE_VALUE)
            CloseHandle(holder);
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);

        ASSERT_EQ(1u, run.host.exports().size());
        EXPECT_EQ(E_FAIL, run.host.exports()[0].finish.value_or(S_OK));
        ASSERT_EQ(1u, run.user.messages().size());
        const FakeOffice::MessageSeen& box = run.user.messages()[0];
        EXPECT_EQ(L"DjVu Related Error", box.caption);
        // Owned by the host's window, which it keeps disabled while it is up.
        EXPECT_EQ(UINT(MB_ICONHAND | MB_TASKMODAL), box.style);
        EXPECT_EQ(run.host.mainWindow(), box.owner);
        // What failed for which file in words first, the library's message behind.
        EXPECT_EQ(L"The DjVu file \"" + widen(file) + L"\" could not be saved.",
                  box.text.substr(0, box.text.find(L'\n')));
        EXPECT_NE(std::wstring::npos, box.text.find(L"Error")) << narrow(box.text);
        EXPECT_EQ(std::wstring::npos, box.text.find(L"~wt")) << narrow(box.text);
        EXPECT_EQ(old, MvxTest::readFile(file));
        EXPECT_EQ(std::vector<std::string>{std::string(cause) + ".djvu"}, folderEntries(folder)) << cause;
        DeleteFileA(file.c_str());
    }
}

// A page that cannot be made, between pages that can, over a file already there: the host goes on with
// the pages after it and asks for the finish, or stops at it. The document would lack a page, so nothing
// is written and the old file keeps its bytes; one box, at the failed page, tells the user so.
TEST_P(HostExport, KeepsTheOldFileWhenAPageCannotBeMade)
{
    const std::vector<std::wstring> sample = samplePages(3);
    const std::wstring refused = writeRefusedPage(path("refused.emf"));
    const std::vector<unsigned char> old = {'o', 'l', 'd'};
    for (const bool goesOn : {true, false}) {
        SCOPED_TRACE(goesOn ? "the host goes on" : "the host stops");
        const std::string file = path("kept.djvu");
        MvxTest::writeFile(file, old);
        HostSettings s = settings(0);
        s.pages = {sample[0], refused, sample[1], sample[2]};
        s.goesOnAfterAFailedPage = goesOn;
        HostRun run(s, widen(file));
        EXPECT_EQ(S_OK, run.press());

        ASSERT_EQ(1u, run.host.exports().size());
        const FakeOffice::ExportCall& call = run.host.exports()[0];
        if (goesOn) {
            EXPECT_EQ((std::vector<HRESULT>{S_OK, E_FAIL, E_FAIL, E_FAIL}), call.pages);
            EXPECT_EQ(E_FAIL, call.finish.value_or(S_OK));
        } else {
            EXPECT_EQ((std::vector<HRESULT>{S_OK, E_FAIL}), call.pages);
            EXPECT_FALSE(call.finish.has_value());
        }
        EXPECT_EQ(old, MvxTest::readFile(file));
        EXPECT_EQ((std::vector<std::string>{"kept.djvu", "refused.emf"}), folderEntries(folder));
        ASSERT_EQ(1u, run.user.messages().size());
        const FakeOffice::MessageSeen& told = run.user.messages()[0];
        EXPECT_EQ(L"DjVu Related Error", told.caption);
        EXPECT_EQ(run.host.mainWindow(), told.owner);
        EXPECT_EQ(L"Page 2 could not be made into DjVu, so the DjVu file \"" + widen(file) +
                      L"\" is not saved; a file already there is kept.",
                  told.text.substr(0, told.text.find(L'\n')));
        EXPECT_NE(std::wstring::npos, told.text.find(L"Error 20: ")) << narrow(told.text);
    }
}

// A second press of the button while the export runs (here while the host draws the first page; a real
// host lets one through while a box is up, or in its own message loop) is refused in words, and the first
// export goes on to write its file.
TEST_P(HostExport, RefusesASecondClickWhileTheExportRuns)
{
    const std::string file = path("first.djvu");
    HostRun run(settings(2), widen(file));
    std::vector<HRESULT> nested;
    bool pressedAgain = false;
    run.host.onPage = [&](size_t inPage, size_t, const std::wstring&, HRESULT) {
        if (inPage == 1 && !pressedAgain) {
            pressedAgain = true;
            nested.push_back(run.press());
        }
    };
    EXPECT_EQ(S_OK, run.press());
    EXPECT_EQ(std::vector<HRESULT>{S_OK}, nested);
    EXPECT_EQ(1u, run.user.dialogs().size());
    ASSERT_EQ(1u, run.host.exports().size());
    EXPECT_EQ(S_OK, run.host.exports()[0].finish.value_or(E_UNEXPECTED));
    ASSERT_EQ(1u, run.user.messages().size());
    const FakeOffice::MessageSeen& box = run.user.messages()[0];
    EXPECT_EQ(L"A DjVu export is already running. Wait until it has finished, then try again.", box.text);
    EXPECT_EQ(L"DjVu Related Error", box.caption);
    // Without a known owner the box disables every window of the thread.
    EXPECT_EQ(UINT(MB_ICONHAND | MB_TASKMODAL), box.style);
    expectReadableDocument(file, 2, {"Archiving the yearly reports", "Figures of the year"});
    // And the button works again once the export is over.
    run.host.onPage = nullptr;
    EXPECT_EQ(S_OK, run.press());
    EXPECT_EQ(2u, run.host.exports().size());
    EXPECT_EQ(1u, run.user.messages().size());
}

// The host refuses the export before any page: the user is told what the host said, or its error code where
// it said nothing, and not what an earlier call left on the thread nor an error object that the document
// says its interface does not set.
TEST_P(HostExport, TellsTheHostsRefusal)
{
    const std::string file = path("refused.djvu");
    const struct {
        const char* name;
        const wchar_t* description;
        std::optional<bool> documentSetsErrorInfo;
        const wchar_t* told;
    } cases[] = {
        {"described", L"The document has nothing to print.", std::nullopt, L": The document has nothing to print."},
        {"described by an interface that sets error objects", L"The document has nothing to print.", true,
         L": The document has nothing to print."},
        {"an error object the interface does not set", L"Not the document's word.", false, L" (error 0x800A03EC)."},
        {"a code only", nullptr, true, L" (error 0x800A03EC)."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HostSettings s = settings(1);
        s.refusesExport = HRESULT(0x800A03EC);
        if (c.description)
            s.refusalDescription = c.description;
        s.documentSetsErrorInfo = c.documentSetsErrorInfo;
        HostRun run(s, widen(file));
        FakeOffice::raiseErrorInfo(L"An older failure", L"Elsewhere");
        EXPECT_EQ(S_OK, run.press());
        ASSERT_EQ(1u, run.host.exports().size());
        EXPECT_TRUE(run.host.exports()[0].pages.empty());
        ASSERT_EQ(1u, run.user.messages().size());
        EXPECT_EQ(L"DjVu Related Error", run.user.messages()[0].caption);
        EXPECT_EQ(run.host.mainWindow(), run.user.messages()[0].owner);
        EXPECT_EQ(widen(GetParam().name) + L" could not export the document to \"" + widen(file) + L"\"" + c.told,
                  run.user.messages()[0].text);
        EXPECT_FALSE(exists(file));
    }
}

INSTANTIATE_TEST_SUITE_P(Hosts, HostExport, ::testing::ValuesIn(hostCases),
                         [](const ::testing::TestParamInfo<HostCase>& inInfo) { return std::string(inInfo.param.name); });

} // namespace
