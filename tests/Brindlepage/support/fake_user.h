// The user in front of an Office host: answers the add-in's save dialog and reads its message boxes.
// Wine without a display cannot show either, so the host process puts its own save dialog class in place of
// the system's (registered in the calling thread's apartment) and takes the add-in's calls of MessageBoxW and
// of the classic GetSaveFileNameW into its own functions. One user at a time, on the thread that made it.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <string>
#include <vector>

namespace FakeOffice {

// A save dialog as the add-in set it up. Texts of lists are written with "|" where the list has a NUL.
struct SaveDialogSeen {
    bool classic = false;
    HWND owner = nullptr;
    std::wstring title;
    std::wstring fileName;         // the proposed name
    std::wstring fileTypes;        // system dialog: "name|pattern" per type; classic: the filter list
    std::wstring defaultExtension; // system dialog only
    bool shown = false;            // system dialog: Show was called
    FILEOPENDIALOGOPTIONS options = 0; // system dialog: its options when shown
    // The classic dialog's structure.
    DWORD structSize = 0;
    DWORD maxFile = 0;
    DWORD flags = 0;
    bool hasDefaultExtension = false;
    bool hasInitialFolder = false;
};

struct MessageSeen {
    HWND owner = nullptr;
    std::wstring text;
    std::wstring caption;
    UINT style = 0;
};

class FakeUser {
public:
    // inSystemDialog false: the system's save dialog cannot be created, as on systems before it existed.
    explicit FakeUser(bool inSystemDialog = true);
    FakeUser(const FakeUser&) = delete;
    FakeUser& operator=(const FakeUser&) = delete;
    ~FakeUser();

    // The path the user gives every save dialog from now on; empty: the user cancels.
    void answerSaveDialogs(const std::wstring& inPath) { answer = inPath; }
    // The options the system's save dialog starts with (the documented ones unless set).
    void setDialogDefaults(FILEOPENDIALOGOPTIONS inOptions) { dialogDefaults = inOptions; }
    FILEOPENDIALOGOPTIONS defaultDialogOptions() const { return dialogDefaults; }

    // Sits the user in front of a loaded add-in module: its message boxes and classic save dialogs come
    // here. False when the module imports neither function.
    static bool watch(HMODULE inAddIn);

    const std::vector<SaveDialogSeen>& dialogs() const { return dialogsSeen; }
    const std::vector<MessageSeen>& messages() const { return messagesSeen; }

    // The one user in front of the host, or null.
    static FakeUser* current();

    // What the dialogs and boxes do, called by the stand-ins.
    const std::wstring& answerPath() const { return answer; }
    std::vector<SaveDialogSeen>& dialogsLog() { return dialogsSeen; }
    std::vector<MessageSeen>& messagesLog() { return messagesSeen; }

private:
    std::wstring answer;
    FILEOPENDIALOGOPTIONS dialogDefaults =
        FOS_OVERWRITEPROMPT | FOS_NOREADONLYRETURN | FOS_PATHMUSTEXIST | FOS_NOCHANGEDIR;
    std::vector<SaveDialogSeen> dialogsSeen;
    std::vector<MessageSeen> messagesSeen;
    DWORD registration = 0;
};

} // namespace FakeOffice
