// Asking the user where the DjVu file goes: the system's save dialog, or the classic one where the system
// has no such dialog. Its texts come from the resource module chosen at connection.
#include "connect.h"

#include "resource_ids.h"

#include "bp_useroutput.h"
#include "mvx_path.h"

#include "com_support.h"

#include <commdlg.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <memory>

namespace {

// The classic dialog's file buffer, in characters, its terminating NUL included.
constexpr size_t kClassicFileBuffer = 260;

std::wstring loadString(UINT inId)
{
    wchar_t text[1024];
    const int length = LoadStringW(CAddInModule::resourceInstance(), inId, text, int(sizeof(text) / sizeof(text[0])));
    return std::wstring(text, size_t(length > 0 ? length : 0));
}

// The path the user chose in the system's dialog; empty when cancelled or when the dialog failed. What
// the configuring calls answer does not matter: a dialog that takes none of it still asks for a name.
std::wstring askWithDialog(IFileSaveDialog* inDialog, HWND inOwner, const std::wstring& inDefaultName,
                           const std::wstring& inTitle, const std::wstring& inTypeName, const std::wstring& inPattern)
{
    const COMDLG_FILTERSPEC type = {inTypeName.c_str(), inPattern.c_str()};
    // An existing file is replaced only when the user says so: the dialog asks, whatever its defaults. And
    // only a place in the file system can be chosen: a pick elsewhere (a library, a device) has no path,
    // and would end the click as if the user had cancelled.
    const FILEOPENDIALOGOPTIONS needed = FOS_OVERWRITEPROMPT | FOS_FORCEFILESYSTEM;
    FILEOPENDIALOGOPTIONS options = 0;
    if (SUCCEEDED(inDialog->GetOptions(&options)) && (options & needed) != needed)
        inDialog->SetOptions(options | needed);
    inDialog->SetFileTypes(1, &type);
    inDialog->SetDefaultExtension(L"djvu");
    inDialog->SetTitle(inTitle.c_str());
    inDialog->SetFileName(inDefaultName.c_str());
    if (FAILED(inDialog->Show(inOwner)))
        return std::wstring();
    OwnedInterface<IShellItem> item;
    if (FAILED(inDialog->GetResult(item.out())) || !item.get())
        return std::wstring();
    wchar_t* text = nullptr;
    if (FAILED(item.get()->GetDisplayName(SIGDN_FILESYSPATH, &text)) || !text)
        return std::wstring();
    const std::unique_ptr<wchar_t, decltype(&CoTaskMemFree)> owned(text, &CoTaskMemFree);
    return std::wstring(text);
}

// The classic dialog: one filter ("DjVu Files (*.djvu;*.djv)" selecting "*.djvu;*.djv"), no default
// extension, so that a name typed without one is taken as typed. It would make the chosen folder the
// process's current one: the host's current folder is the host's, and stays.
std::wstring askClassic(HWND inOwner, std::wstring inDefaultName, const std::wstring& inTitle,
                        const std::wstring& inTypeName, const std::wstring& inPattern)
{
    std::wstring filter = inTypeName + L" (" + inPattern + L")|" + inPattern + L"|";
    for (wchar_t& c : filter)
        if (c == L'|')
            c = L'\0';
    // A proposal longer than the buffer loses the end of its name part, never its extension.
    if (inDefaultName.size() >= kClassicFileBuffer)
        inDefaultName.erase(kClassicFileBuffer - 1 - 5, inDefaultName.size() - (kClassicFileBuffer - 1));
    wchar_t file[kClassicFileBuffer] = {};
    inDefaultName.copy(file, kClassicFileBuffer - 1);

    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = inOwner;
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = file;
    dialog.nMaxFile = DWORD(kClassicFileBuffer);
    dialog.lpstrTitle = inTitle.c_str();
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&dialog))
        return std::wstring();
    file[kClassicFileBuffer - 1] = L'\0';
    return file;
}

} // namespace

std::wstring CConnect::AskSaveFileName(HWND inOwner, const wchar_t* inDocumentName)
{
    const wchar_t* fileName = inDocumentName ? PathFindFileNameW(inDocumentName) : nullptr;
    if (!fileName || !*fileName) {
        // Nobody is asked, so nobody agreed to replace a file that is already there.
        if (Morvenix::Path::exists("Untitled")) {
            const std::wstring text = L"The document has no name, so the DjVu file would be \"" +
                                      std::wstring(Morvenix::Path::canonicalize("Untitled").wc_str()) +
                                      L"\", which is already there and is not replaced without asking.";
            ShowErrorText(inOwner, text.c_str());
            return std::wstring();
        }
        return L"Untitled";
    }
    // Only the last extension goes: archive.tar.gz proposes archive.tar.djvu.
    const wchar_t* extension = PathFindExtensionW(fileName);
    const std::wstring defaultName = std::wstring(fileName, size_t(extension - fileName)) + L".djvu";
    const std::wstring title = loadString(IDS_SAVE_TITLE);
    const std::wstring typeName = loadString(IDS_FILE_TYPE_NAME);
    const std::wstring pattern = loadString(IDS_FILE_PATTERN);

    OwnedInterface<IFileSaveDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_ALL, IID_IFileSaveDialog,
                                reinterpret_cast<void**>(dialog.out()))) ||
        !dialog.get())
        return askClassic(inOwner, defaultName, title, typeName, pattern);
    return askWithDialog(dialog.get(), inOwner, defaultName, title, typeName, pattern);
}
