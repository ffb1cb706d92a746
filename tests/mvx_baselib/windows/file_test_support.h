// What the file tests look at from outside the library: entries of a folder with their attributes,
// handles opened the way another program would, and the flags the library opens files with.
#pragma once

#include "import_redirect.h"

#include <windows.h>

#include <string>
#include <vector>

namespace FileTest {

struct Entry {
    std::string name;
    DWORD attributes;
    bool hidden() const { return (attributes & FILE_ATTRIBUTE_HIDDEN) != 0; }
};

// The folder's entries without "." and "..", in the order the system gives them.
inline std::vector<Entry> listFolder(const std::string& inFolder)
{
    std::vector<Entry> entries;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((inFolder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return entries;
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..")
            entries.push_back({name, data.dwFileAttributes});
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return entries;
}

inline std::vector<std::string> hiddenEntries(const std::string& inFolder)
{
    std::vector<std::string> names;
    for (const Entry& e : listFolder(inFolder))
        if (e.hidden())
            names.push_back(e.name);
    return names;
}

inline bool isHidden(const std::string& inPath)
{
    const DWORD attributes = GetFileAttributesA(inPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN);
}

// Held by "another program": reading, sharing reads and writes but not deletion.
class ForeignHandle {
public:
    explicit ForeignHandle(const std::string& inPath, DWORD inShare = FILE_SHARE_READ | FILE_SHARE_WRITE)
        : m_handle(CreateFileA(inPath.c_str(), GENERIC_READ, inShare, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~ForeignHandle() { close(); }
    bool isOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }
    void close()
    {
        if (isOpen())
            CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }
    ForeignHandle(const ForeignHandle&) = delete;
    ForeignHandle& operator=(const ForeignHandle&) = delete;

private:
    HANDLE m_handle;
};

// Makes the folder the current directory for the scope.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::string& inFolder)
    {
        char previous[MAX_PATH];
        GetCurrentDirectoryA(MAX_PATH, previous);
        m_previous = previous;
        SetCurrentDirectoryA(inFolder.c_str());
    }
    ~CurrentDirectory() { SetCurrentDirectoryA(m_previous.c_str()); }

private:
    std::string m_previous;
};

// Records the flags of every file this program opens (its CreateFileW, the library's included) while it
// lives: what the storages and paths ask of the system, where Wine shows no difference.
class OpenRecorder {
public:
    OpenRecorder()
    {
        flags().clear();
        original() = reinterpret_cast<decltype(&CreateFileW)>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateFileW")));
        redirected = original() && redirectImport(GetModuleHandleW(nullptr), "kernel32.dll", "CreateFileW",
                                                  reinterpret_cast<void*>(&record));
    }
    ~OpenRecorder()
    {
        if (redirected)
            redirectImport(GetModuleHandleW(nullptr), "kernel32.dll", "CreateFileW",
                           reinterpret_cast<void*>(original()));
    }
    OpenRecorder(const OpenRecorder&) = delete;
    OpenRecorder& operator=(const OpenRecorder&) = delete;

    // The flags of each opening, in order.
    static std::vector<DWORD>& flags()
    {
        static std::vector<DWORD> recorded;
        return recorded;
    }
    bool redirected = false;

private:
    static decltype(&CreateFileW)& original()
    {
        static decltype(&CreateFileW) function = nullptr;
        return function;
    }
    static HANDLE WINAPI record(LPCWSTR inName, DWORD inAccess, DWORD inShare, LPSECURITY_ATTRIBUTES inSecurity,
                                DWORD inDisposition, DWORD inFlags, HANDLE inTemplate)
    {
        flags().push_back(inFlags);
        return original()(inName, inAccess, inShare, inSecurity, inDisposition, inFlags, inTemplate);
    }
};

} // namespace FileTest
