// A read-only storage over a remote resource that is fetched piece by piece: every byte range fetched
// is kept in a temporary file, and only what is missing is asked of the loader.
#pragma once

#include "mvx_storageloader.h"

#include <cstdint>
#include <vector>

namespace Morvenix {

class AdvCachedStorage : public Storage {
public:
    // The loader's; returns what it returns.
    virtual uint32_t setBlockSize(uint32_t inBlockSize) = 0;
    virtual void setProgressCallback(ProgressCallback inCallback, void* inContext) = 0;
    // The ranges held, sorted, disjoint and never touching.
    virtual std::vector<Range<uint64_t>> getRanges() = 0;
    // Checks the range list; a broken one is dumped to the debug trace and throws errDataBroken.
    virtual void healthCheck() = 0;

    // Over a new temporary file. Reads load at most the missing parts of what they ask for, widened by the
    // loader to whole blocks; a load that brings nothing of the position being read ends the read (an
    // error with the exact flag). The loads of one read keep to one deadline of the loader
    // (StorageLoader::setDeadlineStart). Writing and truncating throw errNotImplemented. A duplicate shares the
    // temporary file and the list of the ranges it holds, whose lock a read takes only to read the file
    // and to merge what it loaded, never while it waits for the network: a duplicate's reads, getRanges
    // and healthCheck do not wait for another storage's load. The lock of the storage is its own (its
    // position and its loader), which every read takes; callers that share one cache object between
    // threads hold it around each position change and read.
    static AutoPtr<AdvCachedStorage> create(StorageLoader* inLoader);
};

} // namespace Morvenix
