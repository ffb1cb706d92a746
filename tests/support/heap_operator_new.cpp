// Every C++ allocation of the program goes to the tests' heap: its bytes are counted with the library's
// arrays, and its rules can refuse them (std::bad_alloc).
#include "test_heap.h"

#include <new>

void* operator new(std::size_t inSize)
{
    if (void* block = MvxTest::TestHeap::take(inSize ? inSize : 1, true))
        return block;
    throw std::bad_alloc();
}

// The blocks came from the heap above; the compiler cannot see that the replacements belong together.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* inBlock) noexcept
{
    MvxTest::TestHeap::give(inBlock);
}

void operator delete(void* inBlock, std::size_t) noexcept
{
    MvxTest::TestHeap::give(inBlock);
}
#pragma GCC diagnostic pop
