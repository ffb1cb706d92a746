// The storage over a Windows file: named files, anonymous temporary files that vanish when closed, named
// working files that stay, and adopted handles. Adds the handle and byte-range locks to the storage.
#pragma once

#include "mvx_stream.h"

#include <cstdint>

namespace Morvenix {

class Time;

class DiskStorage : public Storage {
public:
    // Access indexes.
    static constexpr uint32_t accessNone = 0;
    static constexpr uint32_t accessRead = 1;
    static constexpr uint32_t accessWrite = 2;
    static constexpr uint32_t accessReadWrite = 3;
    // Disposition indexes; 0 derives one from the access (read: open existing, write: create always).
    static constexpr uint32_t dispositionDefault = 0;
    static constexpr uint32_t openExisting = 1;
    static constexpr uint32_t openAlways = 2;
    static constexpr uint32_t createNew = 3;
    static constexpr uint32_t createAlways = 4;
    static constexpr uint32_t truncateExisting = 5;

    // The Windows file handle (a HANDLE).
    virtual void* getHandle() = 0;
    // The file's last-write time, to the second (mvx_time.h).
    virtual Time getFileTime() = 0;
    // Byte-range locks against other handles; a length of 0 reaches to the end of the 64-bit range.
    // lockRange waits until it is granted; tryLockRange returns false when another handle holds part of it.
    virtual bool lockRange(uint64_t inOffset, uint64_t inLength, bool inExclusive) = 0;
    virtual bool tryLockRange(uint64_t inOffset, uint64_t inLength, bool inExclusive) = 0;
    virtual void unlockRange(uint64_t inOffset, uint64_t inLength) = 0;

    // Opens the path; a writable open is exclusive, a read-only one shares reading. getName gives the
    // path as passed here.
    static AutoPtr<DiskStorage> create(const String& inPath, uint32_t inAccess, uint32_t inDisposition);
    // Adopts an open handle, which the storage closes; no name.
    static AutoPtr<DiskStorage> create(void* inHandle, uint32_t inAccess, uint32_t inDisposition);
    // A readable and writable file in the temporary folder that has no name left and disappears when
    // the storage is closed.
    static AutoPtr<DiskStorage> createTemp();
    // A new hidden working file beside ioPath, opened for writing; its path is written back into ioPath.
    // The file stays after the storage is closed.
    static AutoPtr<DiskStorage> createTemp(String& ioPath);
};

} // namespace Morvenix
