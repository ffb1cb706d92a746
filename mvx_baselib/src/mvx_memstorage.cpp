// Memory storage. Positions are 32-bit; every sum of position and length is formed in 64 bits so that it
// cannot wrap. A duplicate of a storage that owns its array holds a reference to that owner, so the bytes
// it works on live as long as it does.
#define MVX_SOURCE "mvx_memstorage"

#include "mvx_memstorage.h"

#include "mvx_exception.h"
#include "mvx_string.h"
#include "mvx_syncobjs.h"

#include <cstring>

namespace Morvenix {

namespace {
const uint32_t kAllocationUnit = 0x80000;
const uint32_t kInitialCapacity = 128;
const uint64_t kPositionLimit = 0x100000000ull; // positions and sizes stay below 4 GiB
const char* const kReadOnly = "The instance is read-only!";
} // namespace

class MemoryStorageImpl : public MemoryStorage {
public:
    // Over the object's own array.
    MemoryStorageImpl() : m_own(0, 0, nullptr, kAllocationUnit), m_array(&m_own), m_pos(0), m_readOnly(false) {}

    // Over an array that inOwner holds (null: the caller owns it).
    MemoryStorageImpl(SimpleArray<unsigned char, 2>& ioArray, MemoryStorageImpl* inOwner, uint32_t inPos)
        : m_array(&ioArray), m_owner(inOwner), m_pos(inPos), m_readOnly(false)
    {
        m_array->setGrowStep(kAllocationUnit);
    }

    SimpleArray<unsigned char, 2>& ownArray() { return m_own; }

    uint32_t readBytes(void* outBuffer, uint32_t inSize, bool inExact) override
    {
        const uint32_t size = m_array->count();
        if (m_pos >= size) {
            if (inExact)
                MVX_THROW(errOperationFailed, "Current position exceeds the storage end!",
                          "Morvenix::MemoryStorageImpl::readBytes");
            return 0;
        }
        if (uint64_t(m_pos) + inSize > size) {
            if (inExact)
                MVX_THROW(errOperationFailed, "No more data!", "Morvenix::MemoryStorageImpl::readBytes");
            inSize = size - m_pos;
        }
        std::memcpy(outBuffer, m_array->data() + m_pos, inSize);
        m_pos += inSize;
        return inSize;
    }

    void writeBytes(const void* inBuffer, uint32_t inSize) override
    {
        if (m_readOnly)
            MVX_THROW(errWriteFailed, kReadOnly, "Morvenix::MemoryStorageImpl::writeBytes");
        if (!inSize)
            return;
        const uint64_t end = uint64_t(m_pos) + inSize;
        if (end >= kPositionLimit)
            MVX_THROW(errInvalidParam, "errInvalidParam", "Morvenix::MemoryStorageImpl::writeBytes");
        if (end > m_array->count())
            m_array->setSize(uint32_t(end));
        std::memcpy(m_array->data() + m_pos, inBuffer, inSize);
        m_pos = uint32_t(end);
    }

    void flushBuffer() override {}
    bool isEof() override { return m_pos >= m_array->count(); }
    uint64_t getSize() override { return m_array->count(); }
    uint64_t getPos() override { return m_pos; }

    void reserve(uint64_t inSize) override
    {
        if (m_readOnly)
            MVX_THROW(errOperationFailed, kReadOnly, "Morvenix::MemoryStorageImpl::reserve");
        if (inSize < m_array->capacity())
            return;
        if (inSize >= kPositionLimit)
            MVX_THROW(errInvalidParam, "errInvalidParam", "Morvenix::MemoryStorageImpl::reserve");
        m_array->reserve(uint32_t(inSize));
    }

    void setPos(uint64_t inPos) override
    {
        if (inPos >= kPositionLimit)
            MVX_THROW(errInvalidParam, "errInvalidParam", "Morvenix::MemoryStorageImpl::setPos");
        m_pos = uint32_t(inPos);
    }

    void setPosRelative(int64_t inOffset) override
    {
        m_pos = checkedPosition(int64_t(m_pos), inOffset, "Morvenix::MemoryStorageImpl::setPosRelative");
    }

    void setPosFromEnd(int64_t inOffset) override
    {
        m_pos = checkedPosition(int64_t(m_array->count()), inOffset, "Morvenix::MemoryStorageImpl::setPosFromEnd");
    }

    void setEof() override
    {
        if (m_readOnly)
            MVX_THROW(errOperationFailed, kReadOnly, "Morvenix::MemoryStorageImpl::setEof");
        m_array->setSize(m_pos);
    }

    String getName() override
    {
        return String::format("MemoryStorage %llXh", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)));
    }

    AutoPtr<Storage> duplicate() override
    {
        MemoryStorageImpl* owner = m_owner ? m_owner.get() : (m_array == &m_own ? this : nullptr);
        return AutoPtr<Storage>(new MemoryStorageImpl(*m_array, owner, m_pos));
    }

    SimpleArray<unsigned char, 2>& getArray() override
    {
        if (m_readOnly)
            MVX_THROW(errOperationFailed, kReadOnly, "Morvenix::MemoryStorageImpl::getArray");
        return *m_array;
    }

    void setAllocationUnit(uint32_t inUnit) override
    {
        if (m_readOnly)
            MVX_THROW(errOperationFailed, kReadOnly, "Morvenix::MemoryStorageImpl::setAllocationUnit");
        m_array->setGrowStep(inUnit);
    }

    void setReadOnly(bool inReadOnly) override { m_readOnly = inReadOnly; }

    void lock() override { m_mutex.lock(); }
    void unlock() override { m_mutex.unlock(); }

private:
    static uint32_t checkedPosition(int64_t inBase, int64_t inOffset, const char* inFunction)
    {
        // Compared against the limits rather than added first, so that no offset can overflow.
        if ((inOffset < 0 && inOffset < -inBase) || (inOffset > 0 && inOffset >= int64_t(kPositionLimit) - inBase))
            MVX_THROW(errInvalidParam, "errInvalidParam", inFunction);
        return uint32_t(inBase + inOffset);
    }

    SimpleArray<unsigned char, 2> m_own;
    SimpleArray<unsigned char, 2>* m_array;
    AutoPtr<MemoryStorageImpl> m_owner; // keeps m_array alive for a duplicate
    uint32_t m_pos;
    bool m_readOnly;
    Mutex m_mutex;
};

AutoPtr<MemoryStorage> MemoryStorage::create()
{
    MemoryStorageImpl* impl = new MemoryStorageImpl();
    AutoPtr<MemoryStorage> result(impl);
    impl->ownArray().reserve(kInitialCapacity);
    return result;
}

AutoPtr<MemoryStorage> MemoryStorage::create(SimpleArray<unsigned char, 2>& ioArray)
{
    return AutoPtr<MemoryStorage>(new MemoryStorageImpl(ioArray, nullptr, 0));
}

AutoPtr<MemoryStorage> MemoryStorage::create(const void* inData, size_t inSize, int32_t inByteOrder)
{
    if (uint64_t(inSize) >= kPositionLimit)
        MVX_THROW(errInvalidParam, "errInvalidParam", "Morvenix::MemoryStorage::create");
    MemoryStorageImpl* impl = new MemoryStorageImpl();
    AutoPtr<MemoryStorage> result(impl);
    SimpleArray<unsigned char, 2>& bytes = impl->ownArray();
    const uint32_t n = uint32_t(inSize);
    const uint64_t capacity = uint64_t(n < kInitialCapacity ? kInitialCapacity : n) + n;
    // Single bytes read the same in either byte order, so inByteOrder changes nothing here.
    bytes.resize(n, capacity < 0x80000000ull ? int32_t(capacity) : -1);
    if (n)
        std::memcpy(bytes.data(), inData, n);
    return result;
}

} // namespace Morvenix
