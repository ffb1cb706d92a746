// Leaf chunks: a chunk id and a payload, plain or marked as produced by one of the system's encoders.
#include "djv_chunk.h"

#include "mvx_exception.h"

#define MVX_SOURCE "djv_chunk"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;

class ChunkImpl : public Chunk {
public:
    explicit ChunkImpl(const String& inId) : m_id(inId) {}

    String getId() const override { return m_id; }
    AutoPtr<Data> getData() const override { return m_data; }
    AutoPtr<Data> getData() override { return m_data; }
    void setData(const AutoPtr<Data>& inData) override { m_data = inData; }

    Children& getChildren() override { notCollection("Morvenix::DjVu::ChunkImpl::getChildren"); }
    const Children& getChildren() const override { notCollection("Morvenix::DjVu::ChunkImpl::getChildren"); }
    uint32_t find(const String&, const String&, uint32_t, bool) override
    {
        notCollection("Morvenix::DjVu::ChunkImpl::find");
    }
    uint32_t find(const String&, uint32_t, bool) override { notCollection("Morvenix::DjVu::ChunkImpl::find"); }

    bool isRedirector() const override { return false; }
    bool isLoaded() const override { return bool(m_data); }
    bool isCollection() const override { return false; }

    void load(ChunkLoadCallback inCallback, void* inContext) override
    {
        // Held across the call: a payload made on demand may replace itself through setData.
        AutoPtr<Data> data = m_data;
        if (data)
            data->load();
        if (inCallback)
            inCallback(inContext, this);
    }

    void updateLinks() override {}

    void compact() override
    {
        if (m_data)
            m_data->compact();
    }

    void setSecurityProvider(SecurityProvider*) override
    {
        MVX_THROW(errOperationFailed, "Only collection chunk can have SecurityProvider!",
                  "Morvenix::DjVu::ChunkImpl::setSecurityProvider");
    }
    SecurityProvider* getSecurityProvider() const override { return nullptr; }

    void lock() override { m_mutex.lock(); }
    void unlock() override { m_mutex.unlock(); }

private:
    [[noreturn]] static void notCollection(const char* inFunction)
    {
        MVX_THROW(errOperationFailed, "Not a collection chunk!", inFunction);
    }

    AutoPtr<Data> m_data;
    String m_id;
    Mutex m_mutex;
};

class ChunkEncodedImpl : public ChunkImpl, public ChunkEncoded {
public:
    explicit ChunkEncodedImpl(const String& inId) : ChunkImpl(inId), m_encoded(true) {}

    bool isEncoded() const override { return m_encoded; }
    void clearEncoded() override { m_encoded = false; }

private:
    bool m_encoded;
};

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {

using _Mvx_Internal_NS_::ChunkEncodedImpl;
using _Mvx_Internal_NS_::ChunkImpl;

AutoPtr<Chunk> Chunk::create(const String& inId)
{
    return AutoPtr<Chunk>(new ChunkImpl(inId));
}

AutoPtr<Chunk> Chunk::createFromBytes(const String& inId, const void* inBytes, uint32_t inSize)
{
    AutoPtr<Chunk> chunk(new ChunkImpl(inId));
    chunk->setData(MemoryData::createFromBytes(inBytes, inSize));
    return chunk;
}

AutoPtr<Chunk> Chunk::createWithMemoryData(const String& inId, Stream& inSource)
{
    AutoPtr<MemoryData> data = MemoryData::create();
    AutoPtr<MemoryStorage> storage = data->getStorage();
    storage->copyAll(inSource, 1024, nullptr, nullptr);
    storage.reset();
    AutoPtr<Chunk> chunk(new ChunkImpl(inId));
    chunk->setData(data);
    return chunk;
}

AutoPtr<Chunk> ChunkEncoded::create(const String& inId)
{
    return AutoPtr<Chunk>(new ChunkEncodedImpl(inId));
}

} // namespace DjVu
} // namespace Morvenix
