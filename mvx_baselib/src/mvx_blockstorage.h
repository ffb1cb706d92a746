// What the storages over one block of memory share (the memory storage and the read-only memory
// storage): reading, the position and its checks, and the mutex behind lock and unlock. Positions are
// 32-bit; every sum of position and length is formed in 64 bits so that it cannot wrap.
#pragma once

#include "mvx_exception.h"
#include "mvx_stream.h"
#include "mvx_syncobjs.h"

#include <cstdint>
#include <cstring>

namespace Morvenix {

// Impl supplies blockData and blockSize, kPastEnd (the message of an exact read at or past the end) and
// fail, which throws with the storage's own source and method text, so that failures name the storage.
template <class Interface, class Impl>
class BlockStorage : public Interface {
public:
    static constexpr uint64_t kPositionLimit = 0x100000000ull; // positions and sizes stay below 4 GiB

    uint32_t readBytes(void* outBuffer, uint32_t inSize, bool inExact) override
    {
        const uint32_t size = impl().blockSize();
        if (m_pos >= size) {
            if (inExact)
                Impl::fail(errOperationFailed, Impl::kPastEnd, "readBytes");
            return 0;
        }
        if (uint64_t(m_pos) + inSize > size) {
            if (inExact)
                Impl::fail(errOperationFailed, "No more data!", "readBytes");
            inSize = size - m_pos;
        }
        std::memcpy(outBuffer, impl().blockData() + m_pos, inSize);
        m_pos += inSize;
        return inSize;
    }

    void flushBuffer() override {}
    bool isEof() override { return m_pos >= impl().blockSize(); }
    uint64_t getSize() override { return impl().blockSize(); }
    uint64_t getPos() override { return m_pos; }

    void setPos(uint64_t inPos) override
    {
        if (inPos >= kPositionLimit)
            Impl::fail(errInvalidParam, "errInvalidParam", "setPos");
        m_pos = uint32_t(inPos);
    }
    void setPosRelative(int64_t inOffset) override { m_pos = checkedPosition(m_pos, inOffset, "setPosRelative"); }
    void setPosFromEnd(int64_t inOffset) override
    {
        m_pos = checkedPosition(impl().blockSize(), inOffset, "setPosFromEnd");
    }

    void lock() override { m_mutex.lock(); }
    void unlock() override { m_mutex.unlock(); }

protected:
    explicit BlockStorage(uint32_t inPos) : m_pos(inPos) {}

    uint32_t m_pos;

private:
    Impl& impl() { return static_cast<Impl&>(*this); }

    static uint32_t checkedPosition(uint32_t inBase, int64_t inOffset, const char* inMethod)
    {
        // Compared against the limits rather than added first, so that no offset can overflow.
        const int64_t base = inBase;
        if ((inOffset < 0 && inOffset < -base) || (inOffset > 0 && inOffset >= int64_t(kPositionLimit) - base))
            Impl::fail(errInvalidParam, "errInvalidParam", inMethod);
        return uint32_t(base + inOffset);
    }

    Mutex m_mutex;
};

} // namespace Morvenix
