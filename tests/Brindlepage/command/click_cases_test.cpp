// What a press of the button does before any page moves: which host the caption names, what the save dialog
// proposes, the classic dialog where the system has no save dialog class, and the message for a host the
// add-in cannot work with.
#include "command_support.h"
#include "fake_office.h"
#include "import_redirect.h"

#include <commdlg.h>

#include <gtest/gtest.h>

namespace {

using namespace CommandTest;
using FakeOffice::HostKind;
using FakeOffice::HostSettings;

class ClickCases : public MvxTest::HostToolTest {
protected:
    Apartment apartment;
};

// A host with one page of a document named Report.docx, with its own caption unless one is given.
HostSettings hostWith(HostKind inKind, const wchar_t* inCaption = nullptr)
{
    HostSettings s;
    s.kind = inKind;
    if (inCaption)
        s.caption = inCaption;
    s.documentName = L"Report.docx";
    s.pages = samplePages(1);
    return s;
}

// The box is owned by inOwner: the main window of the host the caption names, where it is known.
void expectUnsupportedBoxOnly(HostRun& inRun, HWND inOwner = nullptr)
{
    ASSERT_EQ(1u, inRun.user.messages().size());
    const FakeOffice::MessageSeen& box = inRun.user.messages()[0];
    EXPECT_EQ(L"Cannot operate with this condition!", box.text);
    EXPECT_EQ(L"Unsupported Application!", box.caption);
    EXPECT_EQ(0x1010u, box.style);
    EXPECT_EQ(inOwner, box.owner);
    EXPECT_TRUE(inRun.user.dialogs().empty());
    EXPECT_TRUE(inRun.host.exports().empty());
}

// GDI+ refuses to start for the add-in while this lives: its import of GdiplusStartup answers with an error.
class GdiplusRefused {
public:
    explicit GdiplusRefused(HMODULE inAddIn) : addIn(inAddIn)
    {
        active = redirectImport(addIn, "gdiplus.dll", "GdiplusStartup", reinterpret_cast<void*>(&refuse));
    }
    ~GdiplusRefused()
    {
        redirectImport(addIn, "gdiplus.dll", "GdiplusStartup",
                       reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"gdiplus.dll"), "GdiplusStartup")));
    }
    bool active = false;

private:
    static int WINAPI refuse(ULONG_PTR* outToken, const void*, void*)
    {
        *outToken = 0;
        return 18; // GdiplusNotInitialized
    }
    HMODULE addIn;
};

// Without GDI+ no page can be drawn: the user is told once, before the save dialog, and the host is not
// asked to draw a single page.
TEST_F(ClickCases, GdiplusThatDoesNotStartIsToldOnceBeforeAnyPage)
{
    HostSettings s = hostWith(HostKind::word);
    s.pages = samplePages(3);
    s.goesOnAfterAFailedPage = true;
    HostRun run(s, widen(path("out.djvu")));
    const GdiplusRefused refused(run.session.addInModule());
    ASSERT_TRUE(refused.active);
    EXPECT_EQ(S_OK, run.press());
    ASSERT_EQ(1u, run.user.messages().size());
    EXPECT_EQ(L"The DjVu export cannot start: GDI+, which draws the pages, could not be started.",
              run.user.messages()[0].text);
    EXPECT_EQ(L"DjVu Related Error", run.user.messages()[0].caption);
    EXPECT_EQ(run.host.mainWindow(), run.user.messages()[0].owner);
    EXPECT_TRUE(run.user.dialogs().empty());
    EXPECT_TRUE(run.host.exports().empty());
}

TEST_F(ClickCases, ACaptionThatCannotBeReadIsAnUnsupportedApplication)
{
    HostSettings s = hostWith(HostKind::word, L"Document1 - Microsoft Word");
    s.captionFails = true;
    HostRun run(s, widen(path("out.djvu")));
    EXPECT_EQ(S_OK, run.press());
    expectUnsupportedBoxOnly(run);
}

// A press before any host connected the add-in: there is no Application to ask, which is told as for an
// unreadable caption.
TEST_F(ClickCases, APressWithoutAConnectedHostIsAnUnsupportedApplication)
{
    FakeOffice::FakeUser user;
    CLSID clsid;
    ASSERT_EQ(S_OK, CLSIDFromProgID(L"Brindlepage.Connect", &clsid));
    IDispatch* addIn = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&addIn)));
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       *reinterpret_cast<LPCWSTR*>(addIn), &module);
    ASSERT_TRUE(FakeOffice::FakeUser::watch(module));
    LPOLESTR name = const_cast<LPOLESTR>(L"ConvButtonClicked");
    DISPID id = 0;
    ASSERT_EQ(S_OK, addIn->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
    FakeOffice::RibbonControl* control = FakeOffice::RibbonControl::create();
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_DISPATCH;
    arg.pdispVal = control;
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(S_OK, addIn->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr));
    control->Release();
    addIn->Release();
    ASSERT_EQ(1u, user.messages().size());
    EXPECT_EQ(L"Cannot operate with this condition!", user.messages()[0].text);
    EXPECT_EQ(L"Unsupported Application!", user.messages()[0].caption);
    EXPECT_TRUE(user.dialogs().empty());
}

TEST_F(ClickCases, ACaptionNamingNoneOfTheHostsEndsTheClickSilently)
{
    HostRun run(hostWith(HostKind::word, L"Document1 - Notepad"), widen(path("out.djvu")));
    EXPECT_EQ(S_OK, run.press());
    EXPECT_TRUE(run.user.messages().empty());
    EXPECT_TRUE(run.user.dialogs().empty());
    EXPECT_TRUE(run.host.exports().empty());
}

// Word is looked for first: a Word caption that also names Excel is Word's; an Excel whose caption names
// Word is taken for Word, does not answer Word's interface and gets the message, without further calls.
TEST_F(ClickCases, TheFirstHostNamedInTheCaptionDecides)
{
    {
        HostRun run(hostWith(HostKind::word, L"Excel figures.docx - Microsoft Word"), widen(path("word.djvu")));
        EXPECT_EQ(S_OK, run.press());
        ASSERT_EQ(1u, run.host.exports().size());
        EXPECT_EQ(0u, run.host.exports()[0].arguments.find(L"OutputFileName="));
        EXPECT_TRUE(run.user.messages().empty());
    }
    {
        HostRun run(hostWith(HostKind::excel, L"Microsoft Excel - Word list.xlsx"), widen(path("excel.djvu")));
        EXPECT_EQ(S_OK, run.press());
        expectUnsupportedBoxOnly(run);
        EXPECT_EQ(1, run.host.documentReferences());
    }
}

TEST_F(ClickCases, TheDialogProposesTheDocumentsNameWithTheDjvuExtension)
{
    const struct {
        const wchar_t* documentName;
        const wchar_t* proposed;
    } cases[] = {
        {L"Report.docx", L"Report.djvu"},
        {L"C:\\Documents\\Report.docx", L"Report.djvu"},
        {L"\\\\server\\share\\Year 2024\\Report.final.pptx", L"Report.final.djvu"},
        {L"Notes", L"Notes.djvu"},
        {L"archive.tar.gz", L"archive.tar.djvu"},
        {L"Book1", L"Book1.djvu"},
    };
    for (HostKind kind : {HostKind::word, HostKind::excel, HostKind::powerPoint}) {
        for (const auto& c : cases) {
            HostSettings s = hostWith(kind);
            s.documentName = c.documentName;
            HostRun run(s, L""); // the user cancels
            EXPECT_EQ(S_OK, run.press());
            ASSERT_EQ(1u, run.user.dialogs().size()) << narrow(c.documentName);
            EXPECT_EQ(c.proposed, run.user.dialogs()[0].fileName) << narrow(c.documentName);
            EXPECT_EQ(run.host.mainWindow(), run.user.dialogs()[0].owner);
            EXPECT_TRUE(run.host.exports().empty());
        }
    }
}

// PowerPoint 2007's main window is a "PP12FrameClass", 2010's and later ones' a "PPTFrameClass": the
// dialog is owned by (modal to) the main window of either.
TEST_F(ClickCases, TheDialogIsOwnedByPowerPointsMainWindowInEveryVersion)
{
    for (const wchar_t* windowClass : {L"PP12FrameClass", L"PPTFrameClass"}) {
        HostSettings s = hostWith(HostKind::powerPoint);
        s.windowClass = windowClass;
        HostRun run(s, L""); // the user cancels
        EXPECT_EQ(S_OK, run.press());
        ASSERT_EQ(1u, run.user.dialogs().size()) << narrow(windowClass);
        EXPECT_NE(nullptr, run.host.mainWindow());
        EXPECT_EQ(run.host.mainWindow(), run.user.dialogs()[0].owner) << narrow(windowClass);
    }
}

// Without the system's save dialog class the classic dialog asks: one filter, the title, overwrite prompt,
// no default extension, so that a name typed without one is used as typed, and the host's current folder
// left where it was.
TEST_F(ClickCases, TheClassicDialogStandsInWhereTheSystemHasNoSaveDialog)
{
    const std::string typed = path("typed without extension");
    HostRun run(hostWith(HostKind::powerPoint, L"Microsoft PowerPoint - [Report.pptx]"), widen(typed), false);
    wchar_t before[MAX_PATH] = {}, after[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, before);
    EXPECT_EQ(S_OK, run.press());
    GetCurrentDirectoryW(MAX_PATH, after);
    EXPECT_EQ(std::wstring(before), std::wstring(after));
    ASSERT_EQ(1u, run.user.dialogs().size());
    const FakeOffice::SaveDialogSeen& dialog = run.user.dialogs()[0];
    EXPECT_TRUE(dialog.classic);
    EXPECT_EQ(DWORD(sizeof(OPENFILENAMEW)), dialog.structSize);
    EXPECT_EQ(L"DjVu Files (*.djvu;*.djv)|*.djvu;*.djv|", dialog.fileTypes);
    EXPECT_EQ(L"Save as DjVu file", dialog.title);
    EXPECT_EQ(L"Report.djvu", dialog.fileName);
    EXPECT_EQ(260u, dialog.maxFile);
    EXPECT_EQ(DWORD(OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR), dialog.flags);
    EXPECT_FALSE(dialog.hasDefaultExtension);
    EXPECT_FALSE(dialog.hasInitialFolder);
    EXPECT_EQ(run.host.mainWindow(), dialog.owner);
    ASSERT_EQ(1u, run.host.exports().size());
    EXPECT_EQ(S_OK, run.host.exports()[0].finish.value_or(E_UNEXPECTED));
    EXPECT_EQ("1\n", this->run("djvused -e n '" + MvxTest::hostPath(typed) + "'"));
}

// A proposal longer than the classic dialog's buffer is cut in its name part and keeps its extension; a
// cancelled classic dialog writes nothing.
TEST_F(ClickCases, ALongNameFitsTheClassicDialogsBuffer)
{
    HostSettings s = hostWith(HostKind::word, L"Document1 - Microsoft Word");
    s.documentName = std::wstring(300, L'x') + L".docx";
    HostRun run(s, L"", false);
    EXPECT_EQ(S_OK, run.press());
    ASSERT_EQ(1u, run.user.dialogs().size());
    const std::wstring& proposed = run.user.dialogs()[0].fileName;
    EXPECT_EQ(259u, proposed.size());
    EXPECT_EQ(std::wstring(254, L'x') + L".djvu", proposed);
    EXPECT_TRUE(run.host.exports().empty());
}

} // namespace
