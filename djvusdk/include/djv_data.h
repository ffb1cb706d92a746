// Chunk payloads: the body interface every leaf chunk holds, and the body kept in a growable byte array
// that the chunk writers fill.
#pragma once

#include "mvx_memstorage.h"
#include "mvx_referable.h"
#include "mvx_stream.h"
#include "mvx_syncobjs.h"

#include <cstdint>

namespace Morvenix {

class MemoryAllocator;

namespace DjVu {

class Data : public Referable, public Lockable {
public:
    ~Data() override {}
    virtual unsigned char* getBuffer() = 0;
    virtual uint32_t getSize() = 0;
    // With true, a new storage over a copy of the payload, so the reader never sees later edits; with
    // false, null.
    virtual AutoPtr<Storage> getReadStorage(bool inCopy) = 0;
    // Makes the payload present; bodies produced on demand do their work here.
    virtual void load() = 0;
    // An independent copy; with inExactCapacity its block holds just the payload.
    virtual AutoPtr<Data> clone(bool inExactCapacity) = 0;
    // Gives up spare capacity (the whole block when the payload is empty).
    virtual void compact() = 0;
};

class MemoryData : public Data {
public:
    // A writable storage working directly on this payload's bytes: writing through it grows and fills
    // the payload. The storage keeps this object alive, and its lock is this object's lock.
    virtual AutoPtr<MemoryStorage> getStorage() = 0;

    // inReserve 0xFFFFFFFF means a capacity of count + max(growth step, count); a null allocator means
    // the default one; a growth step of 0 means 128. Writers pass the defaults.
    static AutoPtr<MemoryData> create(uint32_t inCount = 0, uint32_t inReserve = 0xFFFFFFFFu,
                                      MemoryAllocator* inAllocator = nullptr, uint32_t inGrowStep = 0);
    // A copy of inSize bytes at inBytes.
    static AutoPtr<MemoryData> createFromBytes(const void* inBytes, uint32_t inSize);
};

} // namespace DjVu
} // namespace Morvenix
