#include "bp_messagebox.h"

namespace {

MessageBoxFunction showFunction = nullptr;

} // namespace

int ShowMessageBox(HWND inOwner, const wchar_t* inText, const wchar_t* inCaption, UINT inStyle)
{
    return (showFunction ? showFunction : &MessageBoxW)(inOwner, inText, inCaption, inStyle);
}

MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction inShow)
{
    const MessageBoxFunction previous = showFunction ? showFunction : &MessageBoxW;
    showFunction = inShow;
    return previous;
}
