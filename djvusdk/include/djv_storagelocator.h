// Where the component files of an indirect DjVu document go: a locator opens one storage per component
// name in the folder of the index file, plainly or through working copies that are committed together.
#pragma once

#include "mvx_referable.h"
#include "mvx_stream.h"
#include "mvx_string.h"

namespace Morvenix {
namespace DjVu {

class StorageLocator : public Referable {
public:
    ~StorageLocator() override {}
    // A new, empty, writable storage for the component file inName in the locator's folder. The name is
    // a plain file name: an empty name, or one holding '\\', '/', ':' or "..", would leave the folder and
    // throws errInvalidParam. Failures to create the file pass through.
    virtual AutoPtr<Storage> open(const String& inName) = 0;

    // Component files are created in the folder of inPath (the index file's path; only its folder part,
    // up to the last separator, is kept); a bare file name means the current directory.
    static AutoPtr<StorageLocator> create(const String& inPath);
};

// Every component file goes to a working copy that replaces an existing file only on commit; a locator
// released without commit leaves the folder as it was.
class StorageWithRollbackLocator : public StorageLocator {
public:
    // Commits every storage opened so far, in the order opened; the first failure passes through and the
    // storages after it stay uncommitted.
    virtual void commit() = 0;

    static AutoPtr<StorageWithRollbackLocator> create(const String& inPath);
};

} // namespace DjVu
} // namespace Morvenix
