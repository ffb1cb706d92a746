// Paths and files through the wide Windows calls. Nothing here throws: every failure is a false or an
// empty result with the thread's last error left as the failing call set it.
#define MVX_SOURCE "mvx_path.win"

#include "mvx_path.h"
#include "mvx_unicode.h"

#include <windows.h>
#include <shlwapi.h>

namespace Morvenix {

namespace Path {

namespace {

const DWORD kWorkFileAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY;

// A drive root ("C:\") or a lone separator: without the separator it would name the current directory
// of the drive, or nothing.
bool isRootSeparator(const String& inPath)
{
    const uint32_t n = inPath.getLength();
    if (n == 1)
        return isSeparator(uint8_t(inPath[0]));
    return n == 3 && isLetter(uint8_t(inPath[0])) && inPath[1] == ':' && isSeparator(uint8_t(inPath[2]));
}

} // namespace

String getFullPath(const String& inPath)
{
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetFullPathNameW(inPath.wc_str(), MAX_PATH, buffer, nullptr);
    if (n == 0)
        return String();
    if (n >= MAX_PATH) {
        // The system answered with the size it needs and set no error: without one, callers that report
        // the last error would report an older, unrelated failure, or success.
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return String();
    }
    return String(buffer, int32_t(n));
}

String getLongPath(const String& inPath)
{
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetLongPathNameW(inPath.wc_str(), buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return inPath;
    return String(buffer, int32_t(n));
}

String canonicalize(const String& inPath)
{
    const String full = getFullPath(isRootSeparator(inPath) ? inPath : removeTrailingSeparator(inPath));
    if (full.isEmpty())
        return String();
    const String longPath = getLongPath(full);
    wchar_t buffer[MAX_PATH] = {};
    if (!PathCanonicalizeW(buffer, longPath.wc_str()))
        return String();
    return String(buffer);
}

String getParent(const String& inPath)
{
    uint32_t at = inPath.rfind('\\');
    if (at == String::npos)
        at = inPath.rfind('/');
    if (at == String::npos)
        return String();
    return inPath.substr(0, at + 1);
}

String getFileName(const String& inPath)
{
    return String(PathFindFileNameW(inPath.wc_str()));
}

String removeExtension(const String& inPath)
{
    const uint32_t at = inPath.rfind('.');
    if (at == String::npos)
        return String();
    return inPath.substr(0, at);
}

String removeTrailingSeparator(const String& inPath)
{
    const uint32_t n = inPath.getLength();
    if (n == 0 || !isSeparator(uint8_t(inPath[n - 1])))
        return inPath;
    return inPath.substr(0, n - 1);
}

bool exists(const String& inPath)
{
    return PathFileExistsW(inPath.wc_str()) != FALSE;
}

bool isDirectory(const String& inPath)
{
    return PathIsDirectoryW(inPath.wc_str()) != FALSE;
}

bool deleteFile(const String& inPath)
{
    // A path that fits takes its UTF-16 form on the stack: memory may be what ran out.
    wchar_t path[MAX_PATH];
    if (utf8ToUtf16(inPath.begin(), int32_t(inPath.getLength()), path, MAX_PATH))
        return DeleteFileW(path) != FALSE;
    return DeleteFileW(inPath.wc_str()) != FALSE;
}

bool copyFile(const String& inSource, const String& inDestination, bool inOverwrite)
{
    return CopyFileW(inSource.wc_str(), inDestination.wc_str(), inOverwrite ? FALSE : TRUE) != FALSE;
}

bool moveFile(const String& inSource, const String& inTarget)
{
    return MoveFileExW(inSource.wc_str(), inTarget.wc_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
           FALSE;
}

bool replaceFile(const String& inTarget, const String& inReplacement)
{
    // ReplaceFileW refuses relative paths (Wine reports error 267).
    const String target = getFullPath(inTarget);
    const String replacement = getFullPath(inReplacement);
    if (target.isEmpty() || replacement.isEmpty())
        return false;
    // Wine's ReplaceFileW puts a file in the place of a directory, and the directory's contents are lost.
    if (isDirectory(target)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    // The right to delete the target is asked for before anything changes: when another program holds it
    // without sharing deletion the replace cannot succeed, and Wine's ReplaceFileW then leaves a stray
    // "rf....tmp" file behind. The name may reach a server (a pipe, a share), which may learn who asks,
    // never act as the user.
    HANDLE probe = CreateFileW(target.wc_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (probe != INVALID_HANDLE_VALUE)
        CloseHandle(probe);
    else if (GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND)
        return false;

    HMODULE kernel = LoadLibraryW(L"kernel32.dll");
    if (!kernel)
        return false;
    typedef BOOL(WINAPI * ReplaceFileProc)(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID);
    const ReplaceFileProc replace =
        reinterpret_cast<ReplaceFileProc>(reinterpret_cast<void*>(GetProcAddress(kernel, "ReplaceFileW")));
    if (!replace) {
        FreeLibrary(kernel);
        return moveFile(replacement, target);
    }
    BOOL done = replace(target.wc_str(), replacement.wc_str(), nullptr, REPLACEFILE_WRITE_THROUGH, nullptr, nullptr);
    DWORD error = done ? ERROR_SUCCESS : GetLastError();
    FreeLibrary(kernel);
    // A target that has gone away meanwhile leaves nothing to replace: the replacement simply takes its name.
    if (!done && error == ERROR_FILE_NOT_FOUND && GetFileAttributesW(target.wc_str()) == INVALID_FILE_ATTRIBUTES &&
        GetLastError() == ERROR_FILE_NOT_FOUND && exists(replacement)) {
        done = moveFile(replacement, target);
        error = done ? ERROR_SUCCESS : GetLastError();
    }
    SetLastError(error);
    return done != FALSE;
}

bool setHidden(const String& inPath, bool inHidden)
{
    const wchar_t* path = inPath.wc_str();
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    attributes &= ~DWORD(FILE_ATTRIBUTE_DIRECTORY);
    attributes = inHidden ? (attributes | kWorkFileAttributes) : (attributes & ~kWorkFileAttributes);
    return SetFileAttributesW(path, attributes ? attributes : FILE_ATTRIBUTE_NORMAL) != FALSE;
}

bool isLetter(uint32_t inCharacter)
{
    return (inCharacter >= 'a' && inCharacter <= 'z') || (inCharacter >= 'A' && inCharacter <= 'Z');
}

bool isSeparator(uint32_t inCharacter)
{
    return inCharacter == '/' || inCharacter == '\\';
}

bool isAbsolute(const String& inPath)
{
    const uint32_t n = inPath.getLength();
    if (n >= 3 && isLetter(uint8_t(inPath[0])) && inPath[1] == ':' && isSeparator(uint8_t(inPath[2])))
        return true;
    return n >= 2 && isSeparator(uint8_t(inPath[0])) && isSeparator(uint8_t(inPath[1]));
}

String getCurrentDirectory()
{
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetCurrentDirectoryW(MAX_PATH, buffer);
    if (n == 0 || n >= MAX_PATH)
        return String(".");
    return String(buffer, int32_t(n));
}

String getTempDirectory()
{
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetTempPathW(MAX_PATH, buffer);
    if (n == 0 || n >= MAX_PATH)
        return String();
    return String(buffer, int32_t(n));
}

String makeWorkFileName(const String& inPath)
{
    const wchar_t* path = inPath.wc_str();
    String directory(path, int32_t(PathFindFileNameW(path) - path));
    if (directory.isEmpty())
        directory = getCurrentDirectory();
    // GetTempFileNameW writes up to MAX_PATH units, so Windows refuses a longer directory; Wine does not, and
    // writes past the end of the name.
    const size_t units = wcslen(directory.wc_str());
    if (units + (units && isSeparator(directory.wc_str()[units - 1]) ? 0 : 1) > maxWorkFileDirectory) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return String();
    }
    wchar_t name[MAX_PATH];
    if (!GetTempFileNameW(directory.wc_str(), L"~wt", 0, name))
        return String();
    SetFileAttributesW(name, kWorkFileAttributes);
    // The file exists from here on: a name the caller never gets is a file no one would delete.
    try {
        return String(name);
    } catch (...) {
        DeleteFileW(name);
        throw;
    }
}

} // namespace Path

namespace {

class DirectoryEnumeratorImpl : public DirectoryEnumerator {
public:
    explicit DirectoryEnumeratorImpl(const String& inDirectory)
        : m_find(nullptr), m_started(false), m_directory(Path::canonicalize(inDirectory)), m_entry()
    {
        if (m_directory.isEmpty())
            m_directory = ".\\";
        else if (!m_directory.endsWith("\\"))
            m_directory += "\\";
    }

    ~DirectoryEnumeratorImpl() override
    {
        if (m_find)
            FindClose(m_find);
    }

    String next() override
    {
        if (!m_started) {
            m_started = true;
            HANDLE find = FindFirstFileW((m_directory + "*.*").wc_str(), &m_entry);
            if (find == INVALID_HANDLE_VALUE)
                return String();
            m_find = find;
            if (!isDotEntry())
                return current();
        }
        if (!m_find)
            return String();
        while (FindNextFileW(m_find, &m_entry)) {
            if (!isDotEntry())
                return current();
        }
        return String();
    }

private:
    bool isDotEntry() const
    {
        const wchar_t* name = m_entry.cFileName;
        return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
    }

    String current() const { return m_directory + String(m_entry.cFileName); }

    HANDLE m_find;
    bool m_started;
    String m_directory;
    WIN32_FIND_DATAW m_entry;
};

} // namespace

AutoPtr<DirectoryEnumerator> DirectoryEnumerator::create(const String& inDirectory)
{
    return AutoPtr<DirectoryEnumerator>(new DirectoryEnumeratorImpl(inDirectory));
}

} // namespace Morvenix
