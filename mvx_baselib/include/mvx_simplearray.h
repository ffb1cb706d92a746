// Growable array over a MemoryAllocator. Kind 1 holds objects (constructed, assigned and destroyed one by
// one); kind 2 holds plain memory (copied bytewise). The wipe flag zero-fills every element range given up.
#pragma once

#include "mvx_allocator.h"
#include "mvx_exception.h"

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

    T* data() const { return m_data; }
    uint32_t count() const { return m_count; }
    uint32_t capacity() const { return m_capacity; }
    uint32_t growStep() const { return m_growStep; }
    bool wipe() const { return m_wipe; }
    void setWipe(bool inWipe) { m_wipe = inWipe; }
    MemoryAllocator* allocator() const { return m_allocator; }
    void setGrowStep(uint32_t inStep) { m_growStep = inStep ? inStep : 128; }

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
    T* begin() const { return m_data; }
    T* end() const { return m_data + m_count; }

    void boundCheck(uint32_t i) const
    {
        if (!m_data)
            ArrayErrors::noBlock(__PRETTY_FUNCTION__);
        if (i >= m_count)
            ArrayErrors::subscript(__PRETTY_FUNCTION__);
    }

    // Discards the contents; inCapacity -1 means n + max(growStep, n).
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
        if (m_count < m_capacity || !inArray(&value)) {
            setSize(m_count + 1);
            m_data[m_count - 1] = value;
            return;
        }
        T copy(value); // value lives in the block that growing gives up
        setSize(m_count + 1);
        m_data[m_count - 1] = copy;
    }

    // Opens room for n elements at pos: default elements, or copies of src[0..n) when src is given.
    void insert(uint32_t pos, uint32_t n, const T* src = nullptr)
    {
        if (n == 0)
            return;
        if (pos > m_count)
            ArrayErrors::badInsertPos(__PRETTY_FUNCTION__);
        uint64_t total = uint64_t(m_count) + n;
        bool aliased = src && (inArray(src) || inArray(src + n - 1));
        if (total < m_capacity && !aliased) {
            constructRange(m_data, m_count, uint32_t(total));
            for (uint32_t i = m_count; i-- > pos;)
                moveElement(m_data[i + n], m_data[i]);
            destroyRange(pos, pos + n);
            constructRange(m_data, pos, pos + n);
            fillFrom(m_data + pos, src, n);
            m_count = uint32_t(total);
            return;
        }
        uint64_t cap = grownCapacity(total);
        T* block = _malloc(cap);
        constructRange(block, 0, uint32_t(total));
        for (uint32_t i = 0; i < pos; ++i)
            moveElement(block[i], m_data[i]);
        fillFrom(block + pos, src, n);
        for (uint32_t i = pos; i < m_count; ++i)
            moveElement(block[i + n], m_data[i]);
        free();
        install(block, uint32_t(total), uint32_t(cap));
    }

    void remove(uint32_t first, uint32_t n)
    {
        if (first > m_count || uint64_t(first) + n > m_count)
            ArrayErrors::badRemoveRange(__PRETTY_FUNCTION__);
        if (n == 0)
            return;
        for (uint32_t i = first + n; i < m_count; ++i)
            moveElement(m_data[i - n], m_data[i]);
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
        if (this == &o)
            return;
        free();
        m_allocator = o.m_allocator;
        m_growStep = o.m_growStep;
        resize(o.m_count, inCompact ? int32_t(o.m_count) : int32_t(o.m_capacity));
        if (o.m_count)
            std::memcpy(m_data, o.m_data, size_t(o.m_count) * sizeof(T));
    }

    // Plain-memory arrays only: n elements from p, each byte-reversed unless inByteOrder is 4321.
    void assign(const T* p, uint32_t n, int32_t inByteOrder);

    T* _malloc(uint64_t n)
    {
        uint64_t bytes = n * sizeof(T);
        if (bytes >= 0x80000000ull)
            ArrayErrors::tooLarge(__PRETTY_FUNCTION__);
        void* p = m_allocator->allocate(uint32_t(bytes));
        if (!p)
            ArrayErrors::outOfMemory(__PRETTY_FUNCTION__);
        return static_cast<T*>(p);
    }

private:
    uint64_t grownCapacity(uint64_t n) const { return n + (n > m_growStep ? n : m_growStep); }

    bool inArray(const T* p) const { return m_data && p >= m_data && p < m_data + m_capacity; }

    static void constructRange(T* block, uint32_t from, uint32_t to)
    {
        if (kind == 1) {
            for (uint32_t i = from; i < to; ++i)
                new (block + i) T();
        } else if (to > from) {
            std::memset(static_cast<void*>(block + from), 0, size_t(to - from) * sizeof(T));
        }
    }

    void destroyRange(uint32_t from, uint32_t to)
    {
        if (kind == 1) {
            for (uint32_t i = from; i < to; ++i)
                m_data[i].~T();
        }
        if (m_wipe && to > from)
            std::memset(static_cast<void*>(m_data + from), 0, size_t(to - from) * sizeof(T));
    }

    static void moveElement(T& to, T& from)
    {
        if (kind == 1)
            to = from;
        else
            std::memcpy(static_cast<void*>(&to), &from, sizeof(T));
    }

    static void fillFrom(T* to, const T* src, uint32_t n)
    {
        if (!src)
            return;
        for (uint32_t i = 0; i < n; ++i)
            to[i] = src[i];
    }

    void reallocate(uint64_t cap, uint32_t newCount)
    {
        T* block = _malloc(cap);
        uint32_t keep = m_count < newCount ? m_count : newCount;
        if (kind == 1) {
            constructRange(block, 0, newCount);
            for (uint32_t i = 0; i < keep; ++i)
                block[i] = m_data[i];
        } else {
            if (keep)
                std::memcpy(static_cast<void*>(block), m_data, size_t(keep) * sizeof(T));
            constructRange(block, keep, newCount);
        }
        free();
        install(block, newCount, uint32_t(cap));
    }

    void install(T* block, uint32_t n, uint32_t cap)
    {
        m_data = cap ? block : nullptr;
        if (!cap && block)
            m_allocator->free(block);
        m_count = n;
        m_capacity = cap;
    }

    void copyFrom(const SimpleArray& o)
    {
        if (!o.m_data)
            return;
        T* block = _malloc(o.m_capacity);
        constructRange(block, 0, o.m_count);
        for (uint32_t i = 0; i < o.m_count; ++i)
            moveElement(block[i], const_cast<T&>(o.m_data[i]));
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
