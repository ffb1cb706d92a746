// Read-only storage over a caller's memory block.
#define MVX_SOURCE "mvx_romstorage"

#include "mvx_romstorage.h"

#include "mvx_blockstorage.h"
#include "mvx_exception.h"
#include "mvx_string.h"

namespace Morvenix {

class RomStorageImpl : public BlockStorage<RomStorage, RomStorageImpl> {
public:
    static constexpr const char* kPastEnd = "No more data!";

    RomStorageImpl(const void* inData, uint32_t inSize, uint32_t inPos)
        : BlockStorage(inPos), m_data(static_cast<const unsigned char*>(inData)), m_size(inSize)
    {
    }

    const unsigned char* blockData() const { return m_data; }
    uint32_t blockSize() const { return m_size; }
    [[noreturn]] static void fail(int inCode, const char* inMessage, const char* inMethod)
    {
        MVX_THROW(inCode, inMessage, String::format("Morvenix::RomStorageImpl::%s", inMethod).c_str());
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

    String getName() override
    {
        return String::format("RomStorage %llXh", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)));
    }

    AutoPtr<Storage> duplicate() override { return new RomStorageImpl(m_data, m_size, m_pos); }

private:
    const unsigned char* m_data;
    uint32_t m_size;
};

AutoPtr<RomStorage> RomStorage::create(const void* inData, uint32_t inSize)
{
    return new RomStorageImpl(inData, inSize, 0);
}

} // namespace Morvenix
