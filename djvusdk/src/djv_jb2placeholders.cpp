// Deferred JB2 chunks: leaves that fetch their payload from the group's JB2 encoder on first request.
#include "djv_jb2placeholders.h"

#include "djv_data.h"
#include "mvx_exception.h"

#define MVX_SOURCE "djv_jb2placeholders"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;

namespace {
[[noreturn]] void notCollection(const char* inFunction)
{
    MVX_THROW(errOperationFailed, "Not a collection chunk!", inFunction);
}
} // namespace

AutoPtr<Data> ChunkBase::getData() const
{
    // Asking for the bytes is what makes them: the placeholder stands for a chunk that already has them.
    const_cast<ChunkBase*>(this)->encode();
    return m_data;
}

AutoPtr<Data> ChunkBase::getData()
{
    encode();
    return m_data;
}

Chunk::Children& ChunkBase::getChildren()
{
    notCollection("_Mvx_Internal_NS_::ChunkBase::getChildren");
}

const Chunk::Children& ChunkBase::getChildren() const
{
    notCollection("_Mvx_Internal_NS_::ChunkBase::getChildren");
}

uint32_t ChunkBase::find(const String&, const String&, uint32_t, bool)
{
    notCollection("_Mvx_Internal_NS_::ChunkBase::find");
}

uint32_t ChunkBase::find(const String&, uint32_t, bool)
{
    notCollection("_Mvx_Internal_NS_::ChunkBase::find");
}

void ChunkBase::load(ChunkLoadCallback inCallback, void* inContext)
{
    AutoPtr<Data> data = m_data;
    if (data)
        data->load();
    if (inCallback)
        inCallback(inContext, this);
}

void ChunkBase::compact()
{
    if (m_data)
        m_data->compact();
}

void ChunkBase::setSecurityProvider(SecurityProvider*)
{
    MVX_THROW(errOperationFailed, "Only collection chunk can have SecurityProvider!",
              "_Mvx_Internal_NS_::ChunkBase::setSecurityProvider");
}

void ChunkBase::encode()
{
    if (!m_encoder)
        return;
    m_asked = true;
    AutoPtr<MemoryData> data = MemoryData::create();
    {
        AutoPtr<MemoryStorage> storage = data->getStorage();
        write(*m_encoder, AutoPtr<Stream>(storage.get()));
    }
    data->compact();
    m_data = data;
    discard();
}

} // namespace _Mvx_Internal_NS_
