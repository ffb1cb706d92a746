// Chunk payloads held in a growable byte array, and the storage through which writers fill them.
#include "djv_data.h"

#include "mvx_exception.h"
#include "mvx_string.h"

#define MVX_SOURCE "djv_memorydata"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;

// Growth step of a payload while a writer fills it: large steps keep big layers from being copied often.
const uint32_t kWriterGrowStep = 0x80000;

class MemoryDataImpl : public MemoryData {
public:
    MemoryDataImpl(uint32_t inCount, int32_t inCapacity, MemoryAllocator* inAllocator, uint32_t inGrowStep)
        : m_array(inCount, inCapacity, inAllocator, inGrowStep)
    {
    }

    SimpleArray<unsigned char, 2>& array() { return m_array; }

    unsigned char* getBuffer() override { return m_array.data(); }
    uint32_t getSize() override { return m_array.count(); }

    AutoPtr<Storage> getReadStorage(bool inCopy) override
    {
        if (!inCopy)
            return AutoPtr<Storage>();
        return AutoPtr<Storage>(MemoryStorage::create(m_array.data(), m_array.count(), ByteOrder::asStored));
    }

    void load() override {}

    AutoPtr<Data> clone(bool inExactCapacity) override
    {
        MemoryDataImpl* copy = new MemoryDataImpl(0, 0, m_array.allocator(), m_array.growStep());
        AutoPtr<Data> result(copy);
        copy->m_array.assign(m_array, inExactCapacity);
        return result;
    }

    void compact() override { m_array.compact(); }

    AutoPtr<MemoryStorage> getStorage() override;

    void lock() override { m_mutex.lock(); }
    void unlock() override { m_mutex.unlock(); }

private:
    SimpleArray<unsigned char, 2> m_array;
    Mutex m_mutex;
};

// A memory storage over a payload's array that holds a reference to the payload, so a writer that keeps
// the storage longer than the payload still writes into live memory. Its lock is the payload's, which
// guards the bytes both share.
class MemoryDataStorage : public MemoryStorage {
public:
    MemoryDataStorage(MemoryDataImpl* inOwner, uint64_t inPos)
        : m_owner(inOwner), m_inner(MemoryStorage::create(inOwner->array()))
    {
        m_inner->setAllocationUnit(kWriterGrowStep);
        m_inner->setPos(inPos);
    }

    uint32_t readBytes(void* outBuffer, uint32_t inSize, bool inExact) override
    {
        return m_inner->readBytes(outBuffer, inSize, inExact);
    }
    void writeBytes(const void* inBuffer, uint32_t inSize) override { m_inner->writeBytes(inBuffer, inSize); }
    void flushBuffer() override { m_inner->flushBuffer(); }
    bool isEof() override { return m_inner->isEof(); }
    uint64_t getSize() override { return m_inner->getSize(); }
    uint64_t getPos() override { return m_inner->getPos(); }
    void reserve(uint64_t inSize) override { m_inner->reserve(inSize); }
    void setPos(uint64_t inPos) override { m_inner->setPos(inPos); }
    void setPosRelative(int64_t inOffset) override { m_inner->setPosRelative(inOffset); }
    void setPosFromEnd(int64_t inOffset) override { m_inner->setPosFromEnd(inOffset); }
    void setEof() override { m_inner->setEof(); }
    String getName() override { return m_inner->getName(); }
    AutoPtr<Storage> duplicate() override
    {
        return AutoPtr<Storage>(new MemoryDataStorage(m_owner.get(), m_inner->getPos()));
    }
    SimpleArray<unsigned char, 2>& getArray() override { return m_inner->getArray(); }
    void setAllocationUnit(uint32_t inUnit) override { m_inner->setAllocationUnit(inUnit); }
    void setReadOnly(bool inReadOnly) override { m_inner->setReadOnly(inReadOnly); }

    void lock() override { m_owner->lock(); }
    void unlock() override { m_owner->unlock(); }

private:
    AutoPtr<MemoryDataImpl> m_owner;
    AutoPtr<MemoryStorage> m_inner;
};

AutoPtr<MemoryStorage> MemoryDataImpl::getStorage()
{
    return AutoPtr<MemoryStorage>(new MemoryDataStorage(this, 0));
}

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {

using _Mvx_Internal_NS_::MemoryDataImpl;

AutoPtr<MemoryData> MemoryData::create(uint32_t inCount, uint32_t inReserve, MemoryAllocator* inAllocator,
                                       uint32_t inGrowStep)
{
    // A reserve the array's signed capacity cannot carry is asked for afterwards, so that the array
    // refuses it as too large instead of reading it as "count + step".
    const bool growthRule = inReserve == 0xFFFFFFFFu;
    const bool fits = inReserve <= 0x7FFFFFFFu;
    AutoPtr<MemoryData> result(new MemoryDataImpl(inCount, growthRule ? -1 : fits ? int32_t(inReserve) : 0,
                                                  inAllocator, inGrowStep));
    if (!growthRule && !fits)
        static_cast<MemoryDataImpl*>(result.get())->array().reserve(inReserve);
    return result;
}

AutoPtr<MemoryData> MemoryData::createFromBytes(const void* inBytes, uint32_t inSize)
{
    if (!inBytes && inSize)
        MVX_THROW(errInvalidParam, "errInvalidParam", "Morvenix::DjVu::MemoryData::createFromBytes");
    MemoryDataImpl* impl = new MemoryDataImpl(0, 0, nullptr, 0);
    AutoPtr<MemoryData> result(impl);
    impl->array().assign(static_cast<const unsigned char*>(inBytes), inSize, ByteOrder::asStored);
    return result;
}

} // namespace DjVu
} // namespace Morvenix
