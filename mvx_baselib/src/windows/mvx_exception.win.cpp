// The Windows half of the error helpers: the thread's error state, the Windows error mapping and text,
// the exception trace file and the assertion report.
#define MVX_SOURCE "mvx_exception.win"
#include "mvx_exception.h"

#include "mvx_format.h"
#include "mvx_string.h"
#include "mvx_unicode.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <windows.h>

namespace Morvenix {

ErrorStateSaver::ErrorStateSaver() : m_errno(errno), m_lastError(GetLastError())
{
}

ErrorStateSaver::~ErrorStateSaver()
{
    restore();
}

void ErrorStateSaver::restore()
{
    errno = m_errno;
    SetLastError(m_lastError);
}

void writeDebugFile(const char* text)
{
    ErrorStateSaver saver;
    char path[260];
    DWORD n = GetEnvironmentVariableA("_TRVN_DEBUG_FILE", path, sizeof(path));
    // 0: not set; 260 or more: the size a longer value would need, which is not taken.
    if (n == 0 || n >= sizeof(path))
        return;
    char* line = formatAlloc("%u %s\n", unsigned(GetCurrentProcessId()), text ? text : "");
    if (!line)
        return;
    FILE* file = std::fopen(path, "at");
    if (file) {
        std::fputs(line, file);
        std::fclose(file);
    }
    std::free(line);
}

int mapWin32Error()
{
    switch (GetLastError()) {
    case 1:
    case 50:
        return errNotImplemented;
    case 2:
    case 3:
    case 53:
        return errNotFound;
    case 5:
        return errAccessDenied;
    case 6:
    case 13:
    case 15:
    case 87:
    case 123:
        return errInvalidParam;
    case 8:
    case 14:
        return errOutOfMemory;
    case 25:
        return errSeekFailed;
    case 29:
    case 88:
        return errWriteFailed;
    case 30:
        return errReadFailed;
    case 38:
        return errEOF;
    case 110:
        return errOpenFailed;
    case 111:
        return errBufferOverflow;
    default:
        return errOperationFailed;
    }
}

namespace {

const DWORD kLanguage = 0x400; // neutral, default

// Owns the text FormatMessageW allocated, and puts the thread's last error back however the lookup ends.
class MessageLookup {
public:
    explicit MessageLookup(DWORD inError) : m_error(inError), m_text(nullptr), m_length(0) {}
    ~MessageLookup()
    {
        drop();
        SetLastError(m_error);
    }

    bool fromSystem()
    {
        return take(FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, m_error, kLanguage, reinterpret_cast<LPWSTR>(&m_text), 0, nullptr));
    }

    // Inserts are ignored here too: a module text with %1 would otherwise read arguments that are not there.
    bool fromModule(const wchar_t* inModule)
    {
        HMODULE module = LoadLibraryW(inModule);
        if (!module)
            return false;
        DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 module, m_error, kLanguage, reinterpret_cast<LPWSTR>(&m_text), 0, nullptr);
        FreeLibrary(module);
        return take(n);
    }

    // The text without its trailing line breaks.
    String text() const
    {
        DWORD n = m_length;
        while (n > 0 && isLineBreak(uint32_t(uint16_t(m_text[n - 1]))))
            --n;
        return String(m_text, int32_t(n));
    }

private:
    bool take(DWORD inLength)
    {
        if (inLength && m_text) {
            m_length = inLength;
            return true;
        }
        drop();
        return false;
    }

    void drop()
    {
        if (m_text)
            LocalFree(m_text);
        m_text = nullptr;
        m_length = 0;
    }

    DWORD m_error;
    wchar_t* m_text;
    DWORD m_length;
};

} // namespace

String formatSystemMessage()
{
    DWORD error = GetLastError();
    MessageLookup lookup(error);
    if (lookup.fromSystem() || lookup.fromModule(L"winhttp.dll") || lookup.fromModule(L"credui.dll")) {
        String text = lookup.text();
        return String::format("\"%s\" (%08xh)", text.c_str(), unsigned(error));
    }
    return String::format("::GetLastError() returns %xh\n", unsigned(error));
}

void reportAssertionFailure(const char* expression, const char* file, int line, const char* function)
{
    debugPrint("%s(%d) %s: Assertion failed : %s\n", file, line, function, expression);
    std::abort();
}

} // namespace Morvenix
