// Where the add-in speaks to the person at the keyboard and to the debugger: a message box and debugger
// traces. Both go through one replaceable function each, so that a test (or a host without a desktop,
// where MessageBoxW returns at once) sees exactly what the user would have been shown or a debugger told.
#pragma once

#include <windows.h>

#include <exception>

typedef int(WINAPI* MessageBoxFunction)(HWND inOwner, const wchar_t* inText, const wchar_t* inCaption, UINT inStyle);
typedef void(WINAPI* DebugOutputFunction)(const wchar_t* inText);

// MessageBoxW unless replaced.
int ShowMessageBox(HWND inOwner, const wchar_t* inText, const wchar_t* inCaption, UINT inStyle);
// The add-in's error box, captioned "DjVu Related Error", with inText as it stands. It is owned by inOwner,
// the host's main window where it is known, which stays disabled while the box is up, so that the host
// takes no second click on the button and closes no document under an export; the box is also task-modal,
// which without an owner disables every top-level window of the thread instead (with one, only the owner).
// Never throws; false when no box could be shown.
bool ShowErrorText(HWND inOwner, const wchar_t* inText) noexcept;
// The same box for a failure: inWhat, a sentence that says what failed and for which file, on the first
// line; behind it the failure's message (a library exception's whole message, where it arose included) for
// whoever looks into it. Never throws: without memory for the text nothing is shown (false).
bool ShowErrorBox(HWND inOwner, const wchar_t* inWhat, const std::exception& inError) noexcept;
// Formats UTF-16 text (the library's engine: %s takes a wchar_t text, %f a double) and hands it to
// OutputDebugStringW unless replaced. Never throws; text that cannot be formatted is dropped.
void TraceDebugOutput(const wchar_t* inFormat, ...);

// Each returns the function it replaces; null puts the system's own back.
MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction inFunction);
DebugOutputFunction SetDebugOutputFunction(DebugOutputFunction inFunction);
