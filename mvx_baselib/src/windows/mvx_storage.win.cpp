// The disk storage: a Storage over a Windows file handle, with byte-range locks.
#define MVX_SOURCE "mvx_storage.win"

#include "mvx_diskstorage.h"

#include "mvx_exception.h"
#include "mvx_path.h"
#include "mvx_string.h"
#include "mvx_syncobjs.h"
#include "mvx_time.h"
#include "mvx_winfile.h"

#include <windows.h>

#define MVX_THROW_LAST_ERROR(context, function) WinFile::throwLastError(String(context), MVX_SOURCE, __LINE__, function)

namespace Morvenix {

namespace {

// The length a lock request covers: 0 reaches to the end of the 64-bit range.
uint64_t lockLength(uint64_t inOffset, uint64_t inLength)
{
    return inLength ? inLength : ~uint64_t(0) - inOffset;
}

OVERLAPPED lockPlace(uint64_t inOffset)
{
    OVERLAPPED place = {};
    place.Offset = DWORD(inOffset);
    place.OffsetHigh = DWORD(inOffset >> 32);
    return place;
}

} // namespace

class DiskStorageImpl : public DiskStorage {
public:
    DiskStorageImpl(const String& inName, HANDLE inHandle, uint32_t inAccess, uint32_t inDisposition)
        : m_name(inName), m_handle(inHandle), m_eof(false), m_access(inAccess), m_disposition(inDisposition)
    {
    }

    ~DiskStorageImpl() override { CloseHandle(m_handle); }

    uint32_t readBytes(void* outBuffer, uint32_t inSize, bool inExact) override
    {
        unsigned char* buffer = static_cast<unsigned char*>(outBuffer);
        uint32_t done = 0;
        while (done < inSize) {
            DWORD got = 0;
            if (!ReadFile(m_handle, buffer + done, inSize - done, &got, nullptr))
                MVX_THROW_LAST_ERROR("DiskStorageImpl::readBytes", "Morvenix::DiskStorageImpl::readBytes");
            if (got == 0) {
                m_eof = true;
                if (inExact)
                    MVX_THROW(errReadFailed, "Could not read the bytes specified!",
                              "Morvenix::DiskStorageImpl::readBytes");
                return done;
            }
            m_eof = false;
            done += got;
            if (!inExact)
                break;
        }
        return done;
    }

    void writeBytes(const void* inBuffer, uint32_t inSize) override
    {
        const unsigned char* buffer = static_cast<const unsigned char*>(inBuffer);
        uint32_t done = 0;
        while (done < inSize) {
            DWORD written = 0;
            // A call that writes nothing would never finish the loop.
            if (!WriteFile(m_handle, buffer + done, inSize - done, &written, nullptr) || written == 0)
                MVX_THROW_LAST_ERROR("DiskStorageImpl::writeBytes", "Morvenix::DiskStorageImpl::writeBytes");
            done += written;
        }
    }

    void flushBuffer() override { FlushFileBuffers(m_handle); }
    bool isEof() override { return m_eof; }

    uint64_t getSize() override
    {
        // GetFileSizeEx rather than GetFileSize: a size whose low word is all ones is no failure.
        LARGE_INTEGER size;
        if (!GetFileSizeEx(m_handle, &size))
            MVX_THROW_LAST_ERROR("DiskStorageImpl::getSize", "Morvenix::DiskStorageImpl::getSize");
        return uint64_t(size.QuadPart);
    }

    uint64_t getPos() override { return WinFile::seek(m_handle, 0, FILE_CURRENT, "Morvenix::DiskStorageImpl::getPos"); }

    void reserve(uint64_t) override {}

    void setPos(uint64_t inPos) override
    {
        m_eof = false;
        WinFile::seek(m_handle, int64_t(inPos), FILE_BEGIN, "Morvenix::DiskStorageImpl::setPos");
    }

    void setPosRelative(int64_t inOffset) override
    {
        m_eof = false;
        WinFile::seek(m_handle, inOffset, FILE_CURRENT, "Morvenix::DiskStorageImpl::setPosRelative");
    }

    void setPosFromEnd(int64_t inOffset) override
    {
        m_eof = false;
        WinFile::seek(m_handle, inOffset, FILE_END, "Morvenix::DiskStorageImpl::setPosFromEnd");
    }

    void setEof() override
    {
        if (!SetEndOfFile(m_handle))
            MVX_THROW_LAST_ERROR("DiskStorageImpl::setEof", "Morvenix::DiskStorageImpl::setEof");
    }

    String getName() override { return m_name; }

    AutoPtr<Storage> duplicate() override
    {
        AutoPtr<DiskStorage> copy = DiskStorage::create(m_name, m_access, m_disposition);
        copy->setPos(getPos());
        return copy;
    }

    void lock() override { m_mutex.lock(); }
    void unlock() override { m_mutex.unlock(); }

    void* getHandle() override { return m_handle; }

    Time getFileTime() override
    {
        FILETIME written;
        SYSTEMTIME utc;
        if (!GetFileTime(m_handle, nullptr, nullptr, &written) || !FileTimeToSystemTime(&written, &utc))
            MVX_THROW_LAST_ERROR("DiskStorageImpl::getFileTime", "Morvenix::DiskStorageImpl::getFileTime");
        return Time(utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute, utc.wSecond, true);
    }

    bool lockRange(uint64_t inOffset, uint64_t inLength, bool inExclusive) override
    {
        const uint64_t length = lockLength(inOffset, inLength);
        OVERLAPPED place = lockPlace(inOffset);
        if (!LockFileEx(m_handle, inExclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, DWORD(length), DWORD(length >> 32),
                        &place))
            MVX_THROW_LAST_ERROR("LockFileEx failed!", "Morvenix::DiskStorageImpl::lockRange");
        return true;
    }

    bool tryLockRange(uint64_t inOffset, uint64_t inLength, bool inExclusive) override
    {
        const uint64_t length = lockLength(inOffset, inLength);
        OVERLAPPED place = lockPlace(inOffset);
        const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (inExclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
        if (LockFileEx(m_handle, flags, 0, DWORD(length), DWORD(length >> 32), &place))
            return true;
        // A range held elsewhere: ERROR_LOCK_VIOLATION (33) under Wine and current Windows, ERROR_LOCK_FAILED
        // (167) from older systems.
        const DWORD error = GetLastError();
        if (error == ERROR_LOCK_VIOLATION || error == ERROR_LOCK_FAILED)
            return false;
        MVX_THROW_LAST_ERROR("LockFileEx failed!", "Morvenix::DiskStorageImpl::tryLockRange");
    }

    void unlockRange(uint64_t inOffset, uint64_t inLength) override
    {
        const uint64_t length = lockLength(inOffset, inLength);
        OVERLAPPED place = lockPlace(inOffset);
        if (!UnlockFileEx(m_handle, 0, DWORD(length), DWORD(length >> 32), &place))
            MVX_THROW_LAST_ERROR("UnlockFileEx failed!", "Morvenix::DiskStorageImpl::unlockRange");
    }

private:
    String m_name;
    HANDLE m_handle;
    bool m_eof;
    uint32_t m_access;
    uint32_t m_disposition;
    Mutex m_mutex;
};

namespace {

// A storage that cannot be made (memory ran out) must not leave its file open: nobody could close it, and
// the file could not be deleted or replaced while the process lives.
AutoPtr<DiskStorage> adoptFile(const String& inName, HANDLE inFile, uint32_t inAccess, uint32_t inDisposition)
{
    try {
        return AutoPtr<DiskStorage>(new DiskStorageImpl(inName, inFile, inAccess, inDisposition));
    } catch (...) {
        CloseHandle(inFile);
        throw;
    }
}

} // namespace

AutoPtr<DiskStorage> DiskStorage::create(const String& inPath, uint32_t inAccess, uint32_t inDisposition)
{
    HANDLE file = WinFile::open(inPath, inAccess, inDisposition, "Morvenix::DiskStorage::create");
    return adoptFile(inPath, file, inAccess, inDisposition);
}

AutoPtr<DiskStorage> DiskStorage::create(void* inHandle, uint32_t inAccess, uint32_t inDisposition)
{
    return AutoPtr<DiskStorage>(new DiskStorageImpl(String(), inHandle, inAccess, inDisposition));
}

AutoPtr<DiskStorage> DiskStorage::createTemp()
{
    HANDLE file = WinFile::openAnonymousTemp("Morvenix::DiskStorage::createTemp");
    return adoptFile(String(), file, accessRead, openExisting);
}

AutoPtr<DiskStorage> DiskStorage::createTemp(String& ioPath)
{
    const String name = Path::makeWorkFileName(ioPath);
    if (name.isEmpty())
        MVX_THROW(errOperationFailed, formatSystemMessage() + " creating a working file beside " + ioPath,
                  "Morvenix::DiskStorage::createTemp");
    HANDLE file = WinFile::tryOpen(name, accessWrite, openExisting);
    if (file == INVALID_HANDLE_VALUE) {
        const String message = formatSystemMessage() + " " + name;
        Path::deleteFile(name);
        MVX_THROW(errOperationFailed, message, "Morvenix::DiskStorage::createTemp");
    }
    AutoPtr<DiskStorage> storage;
    try {
        storage = adoptFile(name, file, accessWrite, openExisting);
    } catch (...) {
        Path::deleteFile(name);
        throw;
    }
    ioPath = name;
    return storage;
}

} // namespace Morvenix
