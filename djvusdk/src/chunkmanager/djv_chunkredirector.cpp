// Redirectors: a chunk that stands for another one, so a shared chunk can sit under several parents.
#include "djv_chunk.h"

#include "mvx_exception.h"

#define MVX_SOURCE "djv_chunkredirector"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;

// Holds no lock of its own: locking it locks the target, whose data every operation reaches.
class ChunkRedirectorImpl : public ChunkRedirector {
public:
    ChunkRedirectorImpl(const AutoPtr<Chunk>& inTarget, const String& inId) : m_target(inTarget), m_id(inId) {}

    AutoPtr<Chunk> getTarget() const override { return m_target; }
    AutoPtr<Chunk> getTarget() override { return m_target; }
    String getRedirectorId() const override { return m_id; }

    String getId() const override { return m_target->getId(); }
    AutoPtr<Data> getData() const override { return constTarget()->getData(); }
    AutoPtr<Data> getData() override { return m_target->getData(); }
    void setData(const AutoPtr<Data>& inData) override { m_target->setData(inData); }
    Children& getChildren() override { return m_target->getChildren(); }
    const Children& getChildren() const override { return constTarget()->getChildren(); }

    uint32_t find(const String& inId, const String& inAltId, uint32_t inStart, bool inSkipUnloaded) override
    {
        if (!m_target->isLoaded())
            return notFound;
        return m_target->find(inId, inAltId, inStart, inSkipUnloaded);
    }
    uint32_t find(const String& inId, uint32_t inStart, bool inSkipUnloaded) override
    {
        if (!m_target->isLoaded())
            return notFound;
        return m_target->find(inId, inStart, inSkipUnloaded);
    }

    bool isRedirector() const override { return true; }
    bool isLoaded() const override { return m_target->isLoaded(); }
    bool isCollection() const override { return m_target->isCollection(); }
    void load(ChunkLoadCallback inCallback, void* inContext) override { m_target->load(inCallback, inContext); }
    void updateLinks() override { m_target->updateLinks(); }
    void compact() override { m_target->compact(); }
    void setSecurityProvider(SecurityProvider* inProvider) override { m_target->setSecurityProvider(inProvider); }
    SecurityProvider* getSecurityProvider() const override { return m_target->getSecurityProvider(); }

    void lock() override { m_target->lock(); }
    void unlock() override { m_target->unlock(); }

private:
    const Chunk* constTarget() const { return m_target.get(); }

    AutoPtr<Chunk> m_target;
    String m_id;
};

namespace {

// The chunk at the end of a chain of redirectors.
AutoPtr<Chunk> finalTarget(const AutoPtr<Chunk>& inTarget)
{
    AutoPtr<Chunk> target = inTarget;
    while (ChunkRedirector* redirector = dynamic_cast<ChunkRedirector*>(target.get()))
        target = redirector->getTarget();
    if (!target)
        MVX_THROW(errInvalidParam, "errInvalidParam", "Morvenix::DjVu::ChunkRedirector::create");
    return target;
}

} // namespace

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {

using _Mvx_Internal_NS_::ChunkRedirectorImpl;
using _Mvx_Internal_NS_::finalTarget;

AutoPtr<ChunkRedirector> ChunkRedirector::create(const AutoPtr<Chunk>& inTarget)
{
    return AutoPtr<ChunkRedirector>(new ChunkRedirectorImpl(finalTarget(inTarget), String()));
}

AutoPtr<ChunkRedirector> ChunkRedirector::createWithId(const AutoPtr<Chunk>& inTarget, const String& inId)
{
    return AutoPtr<ChunkRedirector>(new ChunkRedirectorImpl(finalTarget(inTarget), inId));
}

} // namespace DjVu
} // namespace Morvenix
