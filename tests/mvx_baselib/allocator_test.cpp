#include "mvx_allocator.h"

#include "mvx_simplearray.h"

#include <gtest/gtest.h>

#include <cstdlib>

using Morvenix::MemoryAllocator;

namespace {

class CountingAllocator : public MemoryAllocator {
public:
    void* allocate(uint32_t inSize) override
    {
        ++allocations;
        return std::malloc(inSize);
    }
    void free(void* inPtr) override
    {
        ++frees;
        std::free(inPtr);
    }
    int allocations = 0, frees = 0;
};

TEST(MemoryAllocator, DefaultIsStableAndWorks)
{
    MemoryAllocator* a = MemoryAllocator::getDefault();
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(a, MemoryAllocator::getDefault());
    void* p = a->allocate(64);
    ASSERT_NE(nullptr, p);
    std::memset(p, 1, 64);
    a->free(p);
}

TEST(MemoryAllocator, SetDefaultServesLaterArraysOnly)
{
    MemoryAllocator* builtin = MemoryAllocator::getDefault();
    Morvenix::SimpleArray<int, 2> earlier(4, -1);
    CountingAllocator counting;
    MemoryAllocator::setDefault(&counting);
    EXPECT_EQ(&counting, MemoryAllocator::getDefault());
    {
        Morvenix::SimpleArray<int, 2> later(4, -1);
        EXPECT_EQ(&counting, later.allocator());
        earlier.setSize(1000);
        EXPECT_EQ(builtin, earlier.allocator());
        EXPECT_EQ(1, counting.allocations);
    }
    EXPECT_EQ(1, counting.frees);
    MemoryAllocator::setDefault(nullptr);
    EXPECT_EQ(builtin, MemoryAllocator::getDefault());
}

} // namespace
