// A memory allocator for the benchmarks: counts the bytes held through the library's arrays and remembers
// the most held at once.
#pragma once

#include "mvx_allocator.h"

#include <cstdint>
#include <cstdlib>
#include <map>

class CountingAllocator : public Morvenix::MemoryAllocator {
public:
    void* allocate(uint32_t inSize) override
    {
        void* p = std::malloc(inSize ? inSize : 1);
        if (p) {
            m_sizes[p] = inSize;
            m_held += inSize;
            m_peak = m_held > m_peak ? m_held : m_peak;
        }
        return p;
    }
    void free(void* inPtr) override
    {
        if (!inPtr)
            return;
        m_held -= m_sizes[inPtr];
        m_sizes.erase(inPtr);
        std::free(inPtr);
    }
    void resetPeak() { m_peak = m_held; }
    uint64_t peak() const { return m_peak; }

private:
    std::map<void*, uint32_t> m_sizes;
    uint64_t m_held = 0;
    uint64_t m_peak = 0;
};

