// The debug print: standard error (with a console attached when the process has none) and the debugger.
#define MVX_SOURCE "mvx_debugprint.win"
#include "mvx_exception.h"
#include "mvx_format.h"

#include <cstdlib>
#include <cstring>
#include <windows.h>

namespace Morvenix {

void debugPrintRaw(const char* inText)
{
    if (!inText)
        return;
    // Fails harmlessly when the process already has a console.
    AllocConsole();
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    size_t length = std::strlen(inText);
    if (error && error != INVALID_HANDLE_VALUE && length) {
        DWORD written = 0;
        WriteFile(error, inText, DWORD(length > 0x7FFFFFFFu ? 0x7FFFFFFFu : length), &written, nullptr);
    }
    OutputDebugStringA(inText);
}

void vdebugPrint(const char* inFormat, va_list inArgs)
{
    char* text = vformatAlloc(inFormat, inArgs);
    if (!text)
        return;
    debugPrintRaw(text);
    std::free(text);
}

void debugPrint(const char* inFormat, ...)
{
    ErrorStateSaver saver;
    va_list args;
    va_start(args, inFormat);
    vdebugPrint(inFormat, args);
    va_end(args);
}

} // namespace Morvenix
