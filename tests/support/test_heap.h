// The tests' heap: blocks of malloc with their size in front, so that the bytes held and their peak are
// counted alike on every host, and rules that refuse blocks, so that memory runs out where a test wants
// it to. The library's arrays take their blocks here while a scope lives (the heap is then the default
// allocator); a program built with heap_operator_new.cpp sends every C++ allocation here as well.
#pragma once

#include "mvx_allocator.h"

#include <cstddef>
#include <cstdint>

namespace MvxTest {

class TestHeap : public Morvenix::MemoryAllocator {
public:
    // What a scope refuses; each default refuses nothing.
    struct Rules {
        uint64_t total = UINT64_MAX;   // bytes held beyond those held when the scope began
        uint64_t largest = UINT64_MAX; // bytes of one block
        uint64_t failing = UINT64_MAX; // the one allocation refused, counted from 0 from the scope's start
        bool countNew = false;         // whether C++ allocations count toward failing, not only the arrays'
    };

    // While it lives the heap is the library's default allocator and refuses what its rules say. Arrays
    // made meanwhile keep the heap, which serves them as any other once the scope has ended.
    class Scope {
    public:
        explicit Scope(const Rules& inRules);
        ~Scope();
        // The most bytes held at once since the scope began, beyond those held then.
        uint64_t peak() const;

        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        uint64_t m_start;
    };

    // One heap for the whole program, never destroyed: arrays freed at exit still reach it.
    static TestHeap& instance();

    // A block, or null when the rules refuse it or malloc has none; inFromNew: a C++ allocation asks.
    static void* take(size_t inSize, bool inFromNew);
    static void give(void* inBlock);

    void* allocate(uint32_t inSize) override { return take(inSize, false); }
    void free(void* inPtr) override { give(inPtr); }

private:
    TestHeap() {}
};

} // namespace MvxTest
