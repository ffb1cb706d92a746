#include "fake_user.h"

#include "fake_office.h"
#include "import_redirect.h"

#include <commdlg.h>
#include <shobjidl.h>

#include <cstring>
#include <new>

namespace FakeOffice {

namespace {

FakeUser* theUser = nullptr;

// The chosen file as the dialog hands it back.
class ShellItem : public Counted<IShellItem> {
public:
    explicit ShellItem(const std::wstring& inPath) : path(inPath) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        return answerQuery(static_cast<IShellItem*>(this), inIid, {&IID_IUnknown, &IID_IShellItem}, outObject);
    }
    HRESULT STDMETHODCALLTYPE BindToHandler(IBindCtx*, REFGUID, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetParent(IShellItem**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDisplayName(SIGDN inForm, LPWSTR* outName) override
    {
        *outName = nullptr;
        if (inForm != SIGDN_FILESYSPATH)
            return E_INVALIDARG;
        const size_t bytes = (path.size() + 1) * sizeof(wchar_t);
        *outName = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        if (!*outName)
            return E_OUTOFMEMORY;
        std::memcpy(*outName, path.c_str(), bytes);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAttributes(SFGAOF, SFGAOF*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Compare(IShellItem*, SICHINTF, int*) override { return E_NOTIMPL; }

private:
    std::wstring path;
};

// The system's save dialog as the user sees it: what the add-in sets up is written down, Show answers
// with the user's choice.
class SaveDialog : public Counted<IFileSaveDialog> {
public:
    explicit SaveDialog(FakeUser& inUser)
        : user(inUser), index(inUser.dialogsLog().size()), options(inUser.defaultDialogOptions())
    {
        inUser.dialogsLog().emplace_back();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        return answerQuery(static_cast<IFileSaveDialog*>(this), inIid,
                           {&IID_IUnknown, &IID_IModalWindow, &IID_IFileDialog, &IID_IFileSaveDialog}, outObject);
    }

    HRESULT STDMETHODCALLTYPE Show(HWND inOwner) override
    {
        seen().shown = true;
        seen().owner = inOwner;
        seen().options = options;
        chosen = user.answerPath();
        return chosen.empty() ? HRESULT_FROM_WIN32(ERROR_CANCELLED) : S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetFileTypes(UINT inCount, const COMDLG_FILTERSPEC* inTypes) override
    {
        for (UINT i = 0; i < inCount; ++i)
            seen().fileTypes += std::wstring(i ? L"|" : L"") + inTypes[i].pszName + L"|" + inTypes[i].pszSpec;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetFileTypeIndex(UINT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetFileTypeIndex(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Advise(IFileDialogEvents*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOptions(FILEOPENDIALOGOPTIONS inOptions) override
    {
        options = inOptions;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetOptions(FILEOPENDIALOGOPTIONS* outOptions) override
    {
        *outOptions = options;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetDefaultFolder(IShellItem*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetFolder(IShellItem*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetFolder(IShellItem**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentSelection(IShellItem**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFileName(LPCWSTR inName) override
    {
        seen().fileName = inName ? inName : L"";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetFileName(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTitle(LPCWSTR inTitle) override
    {
        seen().title = inTitle ? inTitle : L"";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetOkButtonLabel(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetFileNameLabel(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetResult(IShellItem** outItem) override
    {
        *outItem = nullptr;
        if (chosen.empty())
            return E_UNEXPECTED;
        *outItem = new (std::nothrow) ShellItem(chosen);
        return *outItem ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE AddPlace(IShellItem*, FDAP) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetDefaultExtension(LPCWSTR inExtension) override
    {
        seen().defaultExtension = inExtension ? inExtension : L"";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Close(HRESULT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetClientGuid(REFGUID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ClearClientData() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetFilter(IShellItemFilter*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetSaveAsItem(IShellItem*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetProperties(IPropertyStore*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetCollectedProperties(IPropertyDescriptionList*, WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetProperties(IPropertyStore**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ApplyProperties(IShellItem*, IPropertyStore*, HWND, IFileOperationProgressSink*) override
    {
        return E_NOTIMPL;
    }

private:
    SaveDialogSeen& seen() { return user.dialogsLog()[index]; }

    FakeUser& user;
    size_t index; // of this dialog's entry in the user's log
    FILEOPENDIALOGOPTIONS options;
    std::wstring chosen;
};

// The class object put in place of the system's save dialog for the apartment that registered it. With
// the system dialog withdrawn it answers as a class that is not there.
class SaveDialogClass : public Counted<IClassFactory> {
public:
    explicit SaveDialogClass(bool inAvailable) : available(inAvailable) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        return answerQuery(static_cast<IClassFactory*>(this), inIid, {&IID_IUnknown, &IID_IClassFactory}, outObject);
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* inOuter, REFIID inIid, void** outObject) override
    {
        *outObject = nullptr;
        if (inOuter)
            return CLASS_E_NOAGGREGATION;
        if (!available || !theUser)
            return REGDB_E_CLASSNOTREG;
        SaveDialog* dialog = new (std::nothrow) SaveDialog(*theUser);
        if (!dialog)
            return E_OUTOFMEMORY;
        const HRESULT hr = dialog->QueryInterface(inIid, outObject);
        dialog->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    bool available;
};

// A list of NUL-terminated texts ending with an empty one, written with "|" for each NUL inside it.
std::wstring filterText(const wchar_t* inList)
{
    std::wstring text;
    for (const wchar_t* p = inList; p && *p; p += wcslen(p) + 1)
        text += std::wstring(p) + L"|";
    return text;
}

int WINAPI userMessageBox(HWND inOwner, LPCWSTR inText, LPCWSTR inCaption, UINT inStyle)
{
    if (!theUser)
        return MessageBoxW(inOwner, inText, inCaption, inStyle);
    theUser->messagesLog().push_back({inOwner, inText ? inText : L"", inCaption ? inCaption : L"", inStyle});
    return IDOK;
}

BOOL WINAPI userClassicSaveDialog(OPENFILENAMEW* inDialog)
{
    if (!theUser)
        return GetSaveFileNameW(inDialog);
    SaveDialogSeen& seen = theUser->dialogsLog().emplace_back();
    seen.classic = true;
    seen.shown = true;
    seen.structSize = inDialog->lStructSize;
    seen.owner = inDialog->hwndOwner;
    seen.title = inDialog->lpstrTitle ? inDialog->lpstrTitle : L"";
    seen.fileTypes = filterText(inDialog->lpstrFilter);
    seen.maxFile = inDialog->nMaxFile;
    seen.fileName = std::wstring(inDialog->lpstrFile, wcsnlen(inDialog->lpstrFile, inDialog->nMaxFile));
    seen.flags = inDialog->Flags;
    seen.hasDefaultExtension = inDialog->lpstrDefExt != nullptr;
    seen.hasInitialFolder = inDialog->lpstrInitialDir != nullptr;
    const std::wstring& answer = theUser->answerPath();
    if (answer.empty() || answer.size() >= inDialog->nMaxFile)
        return FALSE;
    answer.copy(inDialog->lpstrFile, answer.size());
    inDialog->lpstrFile[answer.size()] = L'\0';
    // As the system's dialog does, the chosen file's folder becomes the current one unless asked not to.
    const size_t separator = answer.find_last_of(L"\\/");
    if (!(inDialog->Flags & OFN_NOCHANGEDIR) && separator != std::wstring::npos)
        SetCurrentDirectoryW(answer.substr(0, separator).c_str());
    return TRUE;
}

} // namespace

FakeUser::FakeUser(bool inSystemDialog)
{
    theUser = this;
    SaveDialogClass* dialogClass = new SaveDialogClass(inSystemDialog);
    CoRegisterClassObject(CLSID_FileSaveDialog, dialogClass, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &registration);
    dialogClass->Release();
}

FakeUser::~FakeUser()
{
    if (registration)
        CoRevokeClassObject(registration);
    theUser = nullptr;
}

FakeUser* FakeUser::current()
{
    return theUser;
}

bool FakeUser::watch(HMODULE inAddIn)
{
    const bool boxes = redirectImport(inAddIn, "user32.dll", "MessageBoxW", reinterpret_cast<void*>(&userMessageBox));
    const bool dialogs =
        redirectImport(inAddIn, "comdlg32.dll", "GetSaveFileNameW", reinterpret_cast<void*>(&userClassicSaveDialog));
    return boxes || dialogs;
}

} // namespace FakeOffice
