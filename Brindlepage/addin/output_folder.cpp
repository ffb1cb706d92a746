#include "output_folder.h"

#include "mvx_path.h"
#include "mvx_string.h"

#include <windows.h>

#include <cwchar>

using Morvenix::String;
namespace Path = Morvenix::Path;

std::wstring OutputFolderProblem(const std::wstring& inPath)
{
    // The full path as the exporter resolves it: a bare name ("Untitled") lands in the current folder.
    const String file = Path::canonicalize(String(inPath.c_str()));
    if (file.isEmpty()) {
        // The size the system asks for to hold the full path, its NUL included.
        const DWORD full = GetFullPathNameW(inPath.c_str(), 0, nullptr, nullptr);
        if (full > MAX_PATH)
            return L"The DjVu file \"" + inPath + L"\" cannot be saved: its path is too long (" +
                   std::to_wstring(full - 1) + L" characters, where Windows takes at most " +
                   std::to_wstring(MAX_PATH - 1) + L").";
    }
    const String folder = Path::canonicalize(Path::getParent(file));
    if (file.isEmpty() || folder.isEmpty() || Path::getFileName(file).isEmpty())
        return L"The DjVu file \"" + inPath + L"\" cannot be saved: that is not the name of a file.";
    const std::wstring what = L"The DjVu file \"" + std::wstring(file.wc_str()) + L"\" cannot be saved: the folder \"" +
                              std::wstring(folder.wc_str()) + L"\" ";
    if (!Path::isDirectory(folder))
        return what + (Path::exists(folder) ? L"is a file, not a folder." : L"does not exist.");
    // Making a working file now tells whether the folder takes new files (permissions, read-only media,
    // shares), and it goes again at once. The working file's name needs room in the path: a folder deeper
    // than that is told as such, not as one that takes no files.
    const String probe = Path::makeWorkFileName(file);
    if (probe.isEmpty()) {
        if (GetLastError() != ERROR_FILENAME_EXCED_RANGE)
            return what + L"cannot be written to.";
        const size_t parent = wcslen(Path::getParent(file).wc_str());
        return what + L"has too long a path (" + std::to_wstring(parent - 1) +
               L" characters): the save writes a working file there first, which needs a folder path of at most " +
               std::to_wstring(Path::maxWorkFileDirectory - 1) + L".";
    }
    Path::deleteFile(probe);
    return std::wstring();
}
