// A disk storage that edits an existing file through a hidden working copy beside it. commit puts the
// working copy in the file's place; destroying the storage without a commit leaves an existing file as
// it was and deletes what the storage created.
#pragma once

#include "mvx_diskstorage.h"

namespace Morvenix {

class DiskStorageWithRollback : public DiskStorage, public StorageRollback {
public:
    // Access 1 reads the file itself; 2 and 3 write through a working copy when the file exists (2 starts
    // it empty by default, 3 starts it as a copy), and create the file directly when it does not.
    // A disposition of 0 means the access's default: read 1 (open existing), write 4 (create always),
    // read-write 2 (open always).
    //
    // commit throws when the file cannot be replaced; the storage then stays on the working copy and the
    // target is left as it was. What becomes of that working copy is inFailedCommit's: keepWorkingCopy
    // keeps it even when the storage is destroyed (visible, and named in the message); dropWorkingCopy,
    // for a caller that can write its data again, deletes it with the storage like any uncommitted copy,
    // unless the target has gone from its place, when it is the only copy left and is kept as above.
    // Once the file is replaced, commit succeeds even when the saved file cannot be opened again; the
    // storage is then closed and every later use of it throws.
    enum FailedCommit { keepWorkingCopy, dropWorkingCopy };
    static AutoPtr<DiskStorageWithRollback> create(const String& inPath, uint32_t inAccess,
                                                   uint32_t inDisposition,
                                                   FailedCommit inFailedCommit = keepWorkingCopy);
};

} // namespace Morvenix
