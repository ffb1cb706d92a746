// Opening files for the disk storages. Error texts name the path as the caller wrote it, since that is
// what the user recognises; the call itself always gets the full path.
#define MVX_SOURCE "mvx_winfile"

#include "mvx_winfile.h"

#include "mvx_diskstorage.h"
#include "mvx_exception.h"
#include "mvx_path.h"
#include "mvx_string.h"

#include <windows.h>

namespace Morvenix {

namespace WinFile {

namespace {

const DWORD kAccess[] = {0, GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
const DWORD kDisposition[] = {0, OPEN_EXISTING, OPEN_ALWAYS, CREATE_NEW, CREATE_ALWAYS, TRUNCATE_EXISTING};
const uint32_t kAccessCount = sizeof(kAccess) / sizeof(kAccess[0]);
const uint32_t kDispositionCount = sizeof(kDisposition) / sizeof(kDisposition[0]);
// A path may name a named pipe: its server may learn who opened it, never act as that user.
const DWORD kIdentifyOnly = SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;

DWORD creationDisposition(DWORD inAccess, uint32_t inDisposition)
{
    if (inDisposition != 0)
        return kDisposition[inDisposition];
    if (inAccess == GENERIC_READ)
        return OPEN_EXISTING;
    return (inAccess & GENERIC_WRITE) ? CREATE_ALWAYS : 0;
}

} // namespace

void throwLastError(const String& inContext, const char* inSource, int inLine, const char* inFunction)
{
    const int code = mapWin32Error();
    throw Exception(code, formatSystemMessage() + " " + inContext, inSource, inLine, inFunction);
}

void* tryOpen(const String& inPath, uint32_t inAccess, uint32_t inDisposition)
{
    if (inAccess >= kAccessCount || inDisposition >= kDispositionCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const String fullPath = Path::getFullPath(inPath);
    if (fullPath.isEmpty())
        return INVALID_HANDLE_VALUE;
    const DWORD access = kAccess[inAccess];
    const DWORD share = (access & GENERIC_WRITE) ? 0 : FILE_SHARE_READ;
    const DWORD flags = (inAccess == DiskStorage::accessRead ? FILE_FLAG_RANDOM_ACCESS : 0) | kIdentifyOnly;
    return CreateFileW(fullPath.wc_str(), access, share, nullptr, creationDisposition(access, inDisposition), flags,
                       nullptr);
}

void* open(const String& inPath, uint32_t inAccess, uint32_t inDisposition, const char* inFunction)
{
    HANDLE file = tryOpen(inPath, inAccess, inDisposition);
    if (file == INVALID_HANDLE_VALUE)
        throwLastError(inPath, MVX_SOURCE, __LINE__, inFunction);
    return file;
}

void* openAnonymousTemp(const char* inFunction)
{
    const String folder = Path::getTempDirectory();
    wchar_t name[MAX_PATH];
    if (folder.isEmpty() || !GetTempFileNameW(folder.wc_str(), L"VSP", 0, name))
        throwLastError(folder + "VSP", MVX_SOURCE, __LINE__, inFunction);
    const DWORD attributes = FILE_FLAG_RANDOM_ACCESS | FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                             FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | kIdentifyOnly;
    HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              attributes, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        DeleteFileW(name);
        SetLastError(error);
        throwLastError(String(name), MVX_SOURCE, __LINE__, inFunction);
    }
    {
        // The open handle keeps the file; without a name no one else can open it, and it cannot outlive
        // the process.
        ErrorStateSaver saver;
        DeleteFileW(name);
    }
    return file;
}

uint64_t seek(void* inHandle, int64_t inDistance, uint32_t inMethod, const char* inFunction)
{
    LARGE_INTEGER distance;
    distance.QuadPart = inDistance;
    LARGE_INTEGER position;
    if (!SetFilePointerEx(inHandle, distance, &position, inMethod))
        throwLastError(String("SetFilePointerEx"), MVX_SOURCE, __LINE__, inFunction);
    return uint64_t(position.QuadPart);
}

} // namespace WinFile

} // namespace Morvenix
