#include "bp_useroutput.h"

#include "mvx_exception.h"
#include "mvx_format.h"
#include "mvx_string.h"

#include <cstdarg>
#include <cstdlib>
#include <string>

namespace {

MessageBoxFunction g_messageBox = &MessageBoxW;
DebugOutputFunction g_debugOutput = &OutputDebugStringW;

} // namespace

int ShowMessageBox(HWND inOwner, const wchar_t* inText, const wchar_t* inCaption, UINT inStyle)
{
    return g_messageBox(inOwner, inText, inCaption, inStyle);
}

bool ShowErrorText(HWND inOwner, const wchar_t* inText) noexcept
{
    // MB_TASKMODAL: without an owner every window of the thread is disabled, with one it is the owner.
    return ShowMessageBox(inOwner, inText, L"DjVu Related Error", MB_ICONHAND | MB_TASKMODAL) != 0;
}

bool ShowErrorBox(HWND inOwner, const wchar_t* inWhat, const std::exception& inError) noexcept
{
    try {
        const Morvenix::Exception* library = dynamic_cast<const Morvenix::Exception*>(&inError);
        const Morvenix::String message = library ? library->getMessage() : Morvenix::String(inError.what());
        const std::wstring text = std::wstring(inWhat) + L"\n\nDetails: " + message.wc_str();
        return ShowErrorText(inOwner, text.c_str());
    } catch (...) {
        return false;
    }
}

void TraceDebugOutput(const wchar_t* inFormat, ...)
{
    va_list args;
    va_start(args, inFormat);
    wchar_t* text = Morvenix::vformatAllocW(inFormat, args);
    va_end(args);
    if (!text)
        return;
    g_debugOutput(text);
    std::free(text);
}

MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction inFunction)
{
    const MessageBoxFunction previous = g_messageBox;
    g_messageBox = inFunction ? inFunction : &MessageBoxW;
    return previous;
}

DebugOutputFunction SetDebugOutputFunction(DebugOutputFunction inFunction)
{
    const DebugOutputFunction previous = g_debugOutput;
    g_debugOutput = inFunction ? inFunction : &OutputDebugStringW;
    return previous;
}
