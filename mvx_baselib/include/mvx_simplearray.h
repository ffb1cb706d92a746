// Growable array over a MemoryAllocator. Kind 1 holds objects (constructed, assigned and destroyed one by
// one); kind 2 holds plain memory (copied bytewise, new elements zero-filled). The wipe flag zero-fills
// every element range given up. Sizes are worked out in 64 bits, so no request can wrap past the 2 GB
// limit on a block.
#pragma once

#include "mvx_allocator.h"
#include "mvx_byteorder.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace Morvenix {

namespace ArrayErrors {
// Throwers shared by every instance; pretty is the instance's __PRETTY_FUNCTION__, from which the
// instance's name ("Morvenix::SimpleArray<unsigned char,2>::_malloc") is made.
[[noreturn]] void tooLarge(const char* pretty);
[[noreturn]] void outOfMemory(const char* pretty);
[[noreturn]] void noBlock(const char* pretty);
[[noreturn]] void subscript(const char* pretty);
[[noreturn]] void badInsertPos(const char* pretty);
[[noreturn]] void badRemoveRange(const char* pretty);
} // namespace ArrayErrors

template <class T, int kind>
class SimpleArray {
    static_assert(kind == 1 || kind == 2, "kind 1 holds objects, kind 2 plain memory");

public:
    // inCapacity -1 means n + max(growStep, n); a step of 0 means 128; no allocator means the default.
    explicit SimpleArray(uint32_t inCount = 0, int32_t inCapacity = 0, MemoryAllocator* inAllocator = nullptr,
                         uint32_t inGrowStep = 0)
        : m_data(nullptr), m_count(0), m_capacity(0), m_growStep(inGrowStep ? inGrowStep : 128), m_wipe(false),
          m_allocator(inAllocator ? inAllocator : MemoryAllocator::getDefault())
    {
        resize(inCount, inCapacity);
    }
    SimpleArray(const SimpleArray& o)
        : m_data(nullptr), m_count(0), m_capacity(0), m_growStep(o.m_growStep), m_wipe(o.m_wipe),
          m_allocator(o.m_allocator)
    {
        copyFrom(o);
    }
    // Keeps this array's allocator and wipe flag.
    SimpleArray& operator=(const SimpleArray& o)
    {
        if (this != &o) {
            free();
            m_growStep = o.m_growStep;
            copyFrom(o);
        }
        return *this;
    }
    ~SimpleArray() { free(); }

    T* data() { return m_data; }
    const T* data() const { return m_data; }
    uint32_t count() const { return m_count; }
    uint32_t capacity() const { return m_capacity; }
    uint32_t growStep() const { return m_growStep; }
    bool wipe() const { return m_wipe; }
    void setWipe(bool inWipe) { m_wipe = inWipe; }
    MemoryAllocator* allocator() const { return m_allocator; }
    void setGrowStep(uint32_t inStep) { m_growStep = inStep ? inStep : 128; }

    // Unchecked; at() checks.
    T& operator[](uint32_t i) { return m_data[i]; }
    const T& operator[](uint32_t i) const { return m_data[i]; }
    T& at(uint32_t i)
    {
        boundCheck(i);
        return m_data[i];
    }
    const T& at(uint32_t i) const
    {
        boundCheck(i);
        return m_data[i];
    }
    T* begin() { return m_data; }
    T* end() { return m_data + m_count; }
    const T* begin() const { return m_data; }
    const T* end() const { return m_data + m_count; }

    void boundCheck(uint32_t i) const
    {
        if (!m_data)
            ArrayErrors::noBlock(__PRETTY_FUNCTION__);
        if (i >= m_count)
            ArrayErrors::subscript(__PRETTY_FUNCTION__);
    }

    // Discards the contents, then holds n default elements in a block of inCapacity (-1: n + max(growStep,
    // n); never less than n). resize(0, 0) leaves no block.
    void resize(uint32_t n, int32_t inCapacity = -1)
    {
        free();
        if (n == 0 && inCapacity == 0)
            return;
        uint64_t cap = inCapacity < 0 ? grownCapacity(n) : uint64_t(uint32_t(inCapacity));
        if (cap < n)
            cap = n;
        T* block = _malloc(cap);
        constructRange(block, 0, n);
        install(block, n, uint32_t(cap));
    }

    // Keeps the contents; new elements are default objects (kind 1) or zero (kind 2).
    void setSize(uint32_t n)
    {
        if (n > m_capacity) {
            reallocate(grownCapacity(n), n);
            return;
        }
        if (n < m_count)
            destroyRange(n, m_count);
        else
            constructRange(m_data, m_count, n);
        m_count = n;
    }

    // Makes room for at least n elements without changing the count.
    void reserve(uint32_t n)
    {
        if (n > m_capacity)
            reallocate(n, m_count);
    }

    // Shrinks the capacity to the count; an empty array gives its block up.
    void compact()
    {
        if (m_count == m_capacity)
            return;
        if (m_count == 0)
            free();
        else
            reallocate(m_count, m_count);
    }

    void append(const T& value)
    {
        if (m_count < m_capacity || !overlaps(&value, 1)) {
            setSize(m_count + 1);
            m_data[m_count - 1] = value;
            return;
        }
        T copy(value); // value lives in the block that growing gives up
        setSize(m_count + 1);
        m_data[m_count - 1] = copy;
    }

    // Opens room for n elements at pos: default elements, or copies of src[0..n) when src is given (src
    // may lie inside this array).
    void insert(uint32_t pos, uint32_t n, const T* src = nullptr)
    {
        if (n == 0)
            return;
        if (pos > m_count)
            ArrayErrors::badInsertPos(__PRETTY_FUNCTION__);
        uint64_t total = uint64_t(m_count) + n;
        if (total < m_capacity && !(src && overlaps(src, n))) {
            constructRange(m_data, m_count, uint32_t(total));
            moveRange(m_data + pos + n, m_data + pos, m_count - pos);
            destroyRange(pos, pos + n);
            constructRange(m_data, pos, pos + n);
            fillFrom(m_data + pos, src, n);
            m_count = uint32_t(total);
            return;
        }
        uint64_t cap = grownCapacity(total);
        T* block = _malloc(cap);
        if constexpr (kind == 1)
            constructRange(block, 0, uint32_t(total));
        else if (!src)
            constructRange(block, pos, pos + n);
        copyRange(block, m_data, pos);
        fillFrom(block + pos, src, n);
        copyRange(block + pos + n, m_data + pos, m_count - pos);
        free();
        install(block, uint32_t(total), uint32_t(cap));
    }

    // Moves the tail down over [first, first + n); the capacity stays.
    void remove(uint32_t first, uint32_t n)
    {
        if (first > m_count || uint64_t(first) + n > m_count)
            ArrayErrors::badRemoveRange(__PRETTY_FUNCTION__);
        if (n == 0)
            return;
        moveRange(m_data + first, m_data + first + n, m_count - first - n);
        destroyRange(m_count - n, m_count);
        m_count -= n;
    }

    void free()
    {
        if (!m_data)
            return;
        destroyRange(0, m_count);
        m_allocator->free(m_data);
        m_data = nullptr;
        m_count = 0;
        m_capacity = 0;
    }

    // Plain-memory arrays only: takes the other's allocator, step and contents (its capacity, or just
    // its count when compacting); this array's wipe flag stays.
    void assign(const SimpleArray& o, bool inCompact)
    {
        static_assert(kind == 2, "bytewise assignment is for plain-memory arrays");
        if (this == &o) {
            if (inCompact)
                compact();
            return;
        }
        free();
        m_allocator = o.m_allocator;
        m_growStep = o.m_growStep;
        resize(o.m_count, inCompact ? int32_t(o.m_count) : int32_t(o.m_capacity));
        if (o.m_count)
            std::memcpy(static_cast<void*>(m_data), o.m_data, byteSize(o.m_count));
    }

    // Plain-memory arrays only: n elements from p, as stored for byte order 4321, otherwise each one
    // byte-reversed; the block holds n + max(growStep, n). p may point into this array's own block: the
    // new block is filled before the old one is given up.
    void assign(const T* p, uint32_t n, int32_t inByteOrder)
    {
        static_assert(kind == 2, "bytewise assignment is for plain-memory arrays");
        uint64_t cap = grownCapacity(n);
        T* block = _malloc(cap);
        if (inByteOrder == ByteOrder::asStored || sizeof(T) == 1) {
            if (n)
                std::memcpy(static_cast<void*>(block), p, byteSize(n));
        } else {
            for (uint32_t i = 0; i < n; ++i)
                block[i] = ByteOrder::reversed(p[i]);
        }
        free();
        install(block, n, uint32_t(cap));
    }

    // A block for n elements; refuses 2 GB or more before asking the allocator.
    T* _malloc(uint64_t n)
    {
        if (n > 0x7FFFFFFFull / sizeof(T))
            ArrayErrors::tooLarge(__PRETTY_FUNCTION__);
        void* p = m_allocator->allocate(uint32_t(n * sizeof(T)));
        if (!p)
            ArrayErrors::outOfMemory(__PRETTY_FUNCTION__);
        return static_cast<T*>(p);
    }

private:
    uint64_t grownCapacity(uint64_t n) const { return n + (n > m_growStep ? n : m_growStep); }

    // Every element range lies in a block that _malloc kept below 2 GB; saying so keeps the compiler from
    // warning about sizes it cannot rule out.
    static size_t byteSize(uint32_t n)
    {
        if (n > 0x7FFFFFFFu / sizeof(T))
            __builtin_unreachable();
        return size_t(n) * sizeof(T);
    }

    // Whether [p, p + n) meets this array's block.
    bool overlaps(const T* p, uint32_t n) const
    {
        if (!m_data)
            return false;
        uintptr_t a = reinterpret_cast<uintptr_t>(p), b = reinterpret_cast<uintptr_t>(m_data);
        return a < b + uintptr_t(m_capacity) * sizeof(T) && b < a + uintptr_t(n) * sizeof(T);
    }

    static void constructRange(T* block, uint32_t from, uint32_t to)
    {
        if (to <= from)
            return;
        if constexpr (kind == 1) {
            for (uint32_t i = from; i < to; ++i)
                new (block + i) T();
        } else {
            std::memset(static_cast<void*>(block + from), 0, byteSize(to - from));
        }
    }

    void destroyRange(uint32_t from, uint32_t to)
    {
        if (to <= from)
            return;
        if constexpr (kind == 1) {
            for (uint32_t i = from; i < to; ++i)
                m_data[i].~T();
        }
        if (m_wipe)
            std::memset(static_cast<void*>(m_data + from), 0, byteSize(to - from));
    }

    // Overlapping moves within one block, in the direction that is safe.
    static void moveRange(T* to, T* from, uint32_t n)
    {
        if (n == 0 || to == from)
            return;
        if constexpr (kind == 1) {
            if (to < from) {
                for (uint32_t i = 0; i < n; ++i)
                    to[i] = from[i];
            } else {
                for (uint32_t i = n; i-- > 0;)
                    to[i] = from[i];
            }
        } else {
            std::memmove(static_cast<void*>(to), from, byteSize(n));
        }
    }

    // Into constructed elements of another block.
    static void copyRange(T* to, const T* from, uint32_t n)
    {
        if (n == 0)
            return;
        if constexpr (kind == 1) {
            for (uint32_t i = 0; i < n; ++i)
                to[i] = from[i];
        } else {
            std::memcpy(static_cast<void*>(to), from, byteSize(n));
        }
    }

    static void fillFrom(T* to, const T* src, uint32_t n)
    {
        if (src)
            copyRange(to, src, n);
    }

    void reallocate(uint64_t cap, uint32_t newCount)
    {
        T* block = _malloc(cap);
        uint32_t keep = m_count < newCount ? m_count : newCount;
        constructRange(block, kind == 1 ? 0 : keep, newCount);
        copyRange(block, m_data, keep);
        free();
        install(block, newCount, uint32_t(cap));
    }

    void install(T* block, uint32_t n, uint32_t cap)
    {
        m_data = block;
        m_count = n;
        m_capacity = cap;
    }

    void copyFrom(const SimpleArray& o)
    {
        if (!o.m_data)
            return;
        T* block = _malloc(o.m_capacity);
        if constexpr (kind == 1)
            constructRange(block, 0, o.m_count);
        copyRange(block, o.m_data, o.m_count);
        install(block, o.m_count, o.m_capacity);
    }

    T* m_data;
    uint32_t m_count;
    uint32_t m_capacity;
    uint32_t m_growStep;
    bool m_wipe;
    MemoryAllocator* m_allocator;
};

} // namespace Morvenix
