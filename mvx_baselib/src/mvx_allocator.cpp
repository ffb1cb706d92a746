// The process-wide default allocator and the built-in one over the run-time heap.
#include "mvx_allocator.h"

#include "mvx_syncobjs.h"

#include <atomic>
#include <cstdlib>

namespace _Mvx_Internal_NS_ {

class BuiltinMemoryAllocator : public Morvenix::MemoryAllocator {
public:
    void* allocate(uint32_t inSize) override { return std::malloc(inSize); }
    void free(void* inPtr) override { std::free(inPtr); }
};

} // namespace _Mvx_Internal_NS_

namespace Morvenix {

namespace {

std::atomic<MemoryAllocator*> s_default{nullptr};
OnceFlag s_builtinOnce;
MemoryAllocator* s_builtin;

// Function-static, so it is destroyed at exit after every static array that was made before it.
void makeBuiltin()
{
    static _Mvx_Internal_NS_::BuiltinMemoryAllocator builtin;
    s_builtin = &builtin;
}

} // namespace

MemoryAllocator* MemoryAllocator::getDefault()
{
    if (MemoryAllocator* current = s_default.load(std::memory_order_acquire))
        return current;
    callOnce(s_builtinOnce, makeBuiltin);
    MemoryAllocator* expected = nullptr;
    if (s_default.compare_exchange_strong(expected, s_builtin, std::memory_order_acq_rel))
        return s_builtin;
    return expected;
}

// Null puts the built-in allocator back.
void MemoryAllocator::setDefault(MemoryAllocator* inAllocator)
{
    s_default.store(inAllocator, std::memory_order_release);
}

} // namespace Morvenix
