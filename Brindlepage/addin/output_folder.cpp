#include "output_folder.h"

#include "mvx_path.h"
#include "mvx_string.h"

using Morvenix::String;
namespace Path = Morvenix::Path;

std::wstring OutputFolderProblem(const std::wstring& inPath)
{
    // The full path as the exporter resolves it: a bare name ("Untitled") lands in the current folder.
    const String file = Path::canonicalize(String(inPath.c_str()));
    const String folder = Path::canonicalize(Path::getParent(file));
    if (file.isEmpty() || folder.isEmpty() || Path::getFileName(file).isEmpty())
        return L"The DjVu file \"" + inPath + L"\" cannot be saved: that is not the name of a file.";
    const std::wstring what = L"The DjVu file \"" + std::wstring(file.wc_str()) + L"\" cannot be saved: the folder \"" +
                              std::wstring(folder.wc_str()) + L"\" ";
    if (!Path::isDirectory(folder))
        return what + (Path::exists(folder) ? L"is a file, not a folder." : L"does not exist.");
    // The document is written into a working file beside the target first: making one now tells whether
    // the folder takes new files (permissions, read-only media, shares), and it goes again at once.
    const String probe = Path::makeWorkFileName(file);
    if (probe.isEmpty())
        return what + L"cannot be written to.";
    Path::deleteFile(probe);
    return std::wstring();
}
