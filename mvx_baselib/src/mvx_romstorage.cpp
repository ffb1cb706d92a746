// Read-only storage over a caller's memory block. Positions are 32-bit; sums of position and length are
// formed in 64 bits so that they cannot wrap.
#define MVX_SOURCE "mvx_romstorage"

#include "mvx_romstorage.h"

#include "mvx_exception.h"
#include "mvx_string.h"
#include "mvx_syncobjs.h"

#include <cstring>

namespace Morvenix {

namespace {
const uint64_t kPositionLimit = 0x100000000ull;
} // namespace

class RomStorageImpl : public RomStorage {
public:
    RomStorageImpl(const void* inData, uint32_t inSize, uint32_t inPos)
        : m_data(static_cast<const unsigned char*>(inData)), m_size(inSize), m_pos(inPos)
    {
    }

    uint32_t readBytes(void* outBuffer, uint32_t inSize, bool inExact) override
    {
        if (m_pos >= m_size) {
            if (inExact)
                MVX_THROW(errOperationFailed, "No more data!", "Morvenix::RomStorageImpl::readBytes");
            return 0;
        }
        if (uint64_t(m_pos) + inSize > m_size) {
            if (inExact)
                MVX_THROW(errOperationFailed, "No more data!", "Morvenix::RomStorageImpl::readBytes");
            inSize = m_size - m_pos;
        }
        std::memcpy(outBuffer, m_data + m_pos, inSize);
        m_pos += inSize;
        return inSize;
    }

    void writeBytes(const void*, uint32_t) override
    {
        MVX_THROW(errNotImplemented, "errNotImplemented", "Morvenix::RomStorageImpl::writeBytes");
    }
    void setEof() override { MVX_THROW(errNotImplemented, "errNotImplemented", "Morvenix::RomStorageImpl::setEof"); }
    void reserve(uint64_t) override
    {
        MVX_THROW(errNotImplemented, "errNotImplemented", "Morvenix::RomStorageImpl::reserve");
    }

    void flushBuffer() override {}
    bool isEof() override { return m_pos >= m_size; }
    uint64_t getSize() override { return m_size; }
    uint64_t getPos() override { return m_pos; }

    void setPos(uint64_t inPos) override
    {
        if (inPos >= kPositionLimit)
            MVX_THROW(errInvalidParam, "errInvalidParam", "Morvenix::RomStorageImpl::setPos");
        m_pos = uint32_t(inPos);
    }
    void setPosRelative(int64_t inOffset) override
    {
        m_pos = checkedPosition(m_pos, inOffset, "Morvenix::RomStorageImpl::setPosRelative");
    }
    void setPosFromEnd(int64_t inOffset) override
    {
        m_pos = checkedPosition(m_size, inOffset, "Morvenix::RomStorageImpl::setPosFromEnd");
    }

    String getName() override
    {
        return String::format("RomStorage %llXh", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)));
    }

    AutoPtr<Storage> duplicate() override { return new RomStorageImpl(m_data, m_size, m_pos); }

    void lock() override { m_mutex.lock(); }
    void unlock() override { m_mutex.unlock(); }

private:
    static uint32_t checkedPosition(uint32_t inBase, int64_t inOffset, const char* inFunction)
    {
        // Compared against the limits rather than added first, so that no offset can overflow.
        const int64_t base = inBase;
        if ((inOffset < 0 && inOffset < -base) || (inOffset > 0 && inOffset >= int64_t(kPositionLimit) - base))
            MVX_THROW(errInvalidParam, "errInvalidParam", inFunction);
        return uint32_t(base + inOffset);
    }

    const unsigned char* m_data;
    uint32_t m_size;
    uint32_t m_pos;
    Mutex m_mutex;
};

AutoPtr<RomStorage> RomStorage::create(const void* inData, uint32_t inSize)
{
    return new RomStorageImpl(inData, inSize, 0);
}

} // namespace Morvenix
