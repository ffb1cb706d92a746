// Replaceable memory allocator behind every growable array.
#pragma once

#include <cstdint>

namespace Morvenix {

class MemoryAllocator {
public:
    // Null when no memory is available.
    virtual void* allocate(uint32_t inSize) = 0;
    virtual void free(void* inPtr) = 0;
    virtual ~MemoryAllocator() {}

    // The process-wide allocator over the run-time heap, made on first use.
    static MemoryAllocator* getDefault();
    // Arrays made earlier keep the allocator they were given; null puts the built-in one back.
    static void setDefault(MemoryAllocator* inAllocator);
};

} // namespace Morvenix
