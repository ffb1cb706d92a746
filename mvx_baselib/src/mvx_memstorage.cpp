// Memory storage. Positions are 32-bit; every sum of position and length is formed in 64 bits so that it
// cannot wrap. A duplicate of a storage that owns its array holds a reference to that owner, so the bytes
// it works on live as long as it does.
#define MVX_SOURCE "mvx_memstorage"

#include "mvx_memstorage.h"

#include "mvx_blockstorage.h"
#include "mvx_exception.h"
#include "mvx_string.h"

#include <cstring>

namespace Morvenix {

namespace {
const uint32_t kAllocationUnit = 0x80000;
const uint32_t kInitialCapacity = 128;
const char* const kReadOnly = "The instance is read-only!";
} // namespace

class MemoryStorageImpl : public BlockStorage<MemoryStorage, MemoryStorageImpl> {
public:
    static constexpr const char* kPastEnd = "Current position exceeds the storage end!";

    // Over the object's own array.
    MemoryStorageImpl() : BlockStorage(0), m_own(0, 0, nullptr, kAllocationUnit), m_array(&m_own), m_readOnly(false)
    {
    }

    // Over an array that inOwner holds (null: the caller owns it).
    MemoryStorageImpl(SimpleArray<unsigned char, 2>& ioArray, MemoryStorageImpl* inOwner, uint32_t inPos)
        : BlockStorage(inPos), m_array(&ioArray), m_owner(inOwner), m_readOnly(false)
    {
        m_array->setGrowStep(kAllocationUnit);
    }

    SimpleArray<unsigned char, 2>& ownArray() { return m_own; }

    const unsigned char* blockData() const { return m_array->data(); }
    uint32_t blockSize() const { return m_array->count(); }
    [[noreturn]] static void fail(int inCode, const char* inMessage, const char* inMethod)
    {
        MVX_THROW(inCode, inMessage, String::format("Morvenix::MemoryStorageImpl::%s", inMethod).c_str());
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

private:
    SimpleArray<unsigned char, 2> m_own;
    SimpleArray<unsigned char, 2>* m_array;
    AutoPtr<MemoryStorageImpl> m_owner; // keeps m_array alive for a duplicate
    bool m_readOnly;
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
    if (uint64_t(inSize) >= MemoryStorageImpl::kPositionLimit)
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
