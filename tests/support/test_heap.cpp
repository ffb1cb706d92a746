#include "test_heap.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace MvxTest {

namespace {

// Plain atomics, set up before any allocation and never torn down: C++ allocations come here from the
// program's start to its end.
std::atomic<uint64_t> g_held{0};
std::atomic<uint64_t> g_peak{0};
std::atomic<uint64_t> g_limit{UINT64_MAX}; // of the bytes held
std::atomic<uint64_t> g_largest{UINT64_MAX};
std::atomic<uint64_t> g_counted{0}; // allocations counted since the scope began
std::atomic<uint64_t> g_failing{UINT64_MAX};
std::atomic<bool> g_countNew{false};

// The size sits in front of the block, in a header that keeps malloc's alignment.
const size_t kHeader = 16;

} // namespace

TestHeap& TestHeap::instance()
{
    alignas(TestHeap) static unsigned char storage[sizeof(TestHeap)];
    static TestHeap* heap = new (storage) TestHeap;
    return *heap;
}

void* TestHeap::take(size_t inSize, bool inFromNew)
{
    if ((!inFromNew || g_countNew.load()) && g_counted++ == g_failing.load())
        return nullptr;
    if (inSize > g_largest.load() || g_held.load() + inSize > g_limit.load())
        return nullptr;
    char* block = static_cast<char*>(std::malloc(inSize + kHeader));
    if (!block)
        return nullptr;
    *reinterpret_cast<size_t*>(block) = inSize;
    const uint64_t held = g_held += inSize;
    for (uint64_t peak = g_peak.load(); held > peak && !g_peak.compare_exchange_weak(peak, held);) {
    }
    return block + kHeader;
}

void TestHeap::give(void* inBlock)
{
    if (!inBlock)
        return;
    char* block = static_cast<char*>(inBlock) - kHeader;
    g_held -= *reinterpret_cast<size_t*>(block);
    std::free(block);
}

TestHeap::Scope::Scope(const Rules& inRules) : m_start(g_held.load())
{
    g_peak = m_start;
    g_limit = inRules.total > UINT64_MAX - m_start ? UINT64_MAX : m_start + inRules.total;
    g_largest = inRules.largest;
    g_counted = 0;
    g_failing = inRules.failing;
    g_countNew = inRules.countNew;
    setDefault(&instance());
}

TestHeap::Scope::~Scope()
{
    setDefault(nullptr);
    g_limit = UINT64_MAX;
    g_largest = UINT64_MAX;
    g_failing = UINT64_MAX;
    g_countNew = false;
}

uint64_t TestHeap::Scope::peak() const
{
    return g_peak.load() - m_start;
}

} // namespace MvxTest
