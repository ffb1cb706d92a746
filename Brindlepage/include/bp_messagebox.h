// The one way the add-in shows a message to the user. Tests that link the add-in's code replace the
// function to see what the user would see: Wine without a display returns from MessageBoxW at once.
#pragma once

#include <windows.h>

using MessageBoxFunction = int(WINAPI*)(HWND inOwner, const wchar_t* inText, const wchar_t* inCaption, UINT inStyle);

int ShowMessageBox(HWND inOwner, const wchar_t* inText, const wchar_t* inCaption, UINT inStyle);

// Replaces the function ShowMessageBox calls (null restores MessageBoxW) and returns the one it replaced.
MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction inShow);
