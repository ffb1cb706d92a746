// A growable storage in memory, over its own byte array or over one that the caller owns.
#pragma once

#include "mvx_simplearray.h"
#include "mvx_stream.h"

#include <cstddef>
#include <cstdint>

namespace Morvenix {

class MemoryStorage : public Storage {
public:
    // The array in use; throws while the storage is read-only.
    virtual SimpleArray<unsigned char, 2>& getArray() = 0;
    // Growth step of the array in use (0 means 128); throws while read-only.
    virtual void setAllocationUnit(uint32_t inUnit) = 0;
    // While set, writes and the operations that change the size or hand out the array throw.
    virtual void setReadOnly(bool inReadOnly) = 0;

    // An empty storage on its own array.
    static AutoPtr<MemoryStorage> create();
    // Works directly on ioArray from position 0: reads see its elements, writes change and grow it. The
    // caller keeps the array alive for as long as this storage and its duplicates live.
    static AutoPtr<MemoryStorage> create(SimpleArray<unsigned char, 2>& ioArray);
    // Its own array holding a copy of inSize bytes at inData; inByteOrder is the byte-order tag (bytes are
    // copied as they are whatever the tag).
    static AutoPtr<MemoryStorage> create(const void* inData, size_t inSize, int32_t inByteOrder);
};

} // namespace Morvenix
