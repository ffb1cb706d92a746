// FORM collections: a form type, ordered children and the component name of the collection.
#include "djv_chunk.h"
#include "djv_linkrepair.h"

#include "mvx_exception.h"
#include "mvx_guid.h"

#define MVX_SOURCE "djv_chunkcollection"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;

// Children are edited in place by callers, so an entry may be left null while the array is being filled:
// every walk over the children passes such holes over.
class ChunkCollectionImpl : public ChunkCollection {
public:
    explicit ChunkCollectionImpl(const String& inFormType)
        : m_formType(inFormType), m_children(0, 128, nullptr, 128), m_name(Guid(true).toString() + ".iff")
    {
    }

    String getId() const override { return m_formType; }

    AutoPtr<Data> getData() const override { noData(); }
    AutoPtr<Data> getData() override { noData(); }
    void setData(const AutoPtr<Data>&) override
    {
        MVX_THROW(errNotSupported, "Cannot set data to collection chunk!", "Morvenix::DjVu::ChunkCollection::setData");
    }

    Children& getChildren() override { return m_children; }
    const Children& getChildren() const override { return m_children; }

    uint32_t find(const String& inId, const String& inAltId, uint32_t inStart, bool inSkipUnloaded) override
    {
        const uint32_t count = m_children.count();
        // Unsigned wrap on purpose: a start of notFound searches from the first child.
        for (uint32_t i = inStart + 1; i < count; ++i) {
            Chunk* child = m_children[i].get();
            if (!child || (inSkipUnloaded && !child->isLoaded()))
                continue;
            String id = child->getId();
            if (id == inId || (!inAltId.isEmpty() && id == inAltId))
                return i;
        }
        return notFound;
    }

    uint32_t find(const String& inId, uint32_t inStart, bool inSkipUnloaded) override
    {
        return find(inId, String(), inStart, inSkipUnloaded);
    }

    bool isRedirector() const override { return false; }

    bool isLoaded() const override
    {
        for (const AutoPtr<Chunk>& child : m_children) {
            if (child && !child->isLoaded())
                return false;
        }
        return true;
    }

    bool isCollection() const override { return true; }

    void load(ChunkLoadCallback inCallback, void* inContext) override
    {
        // By index, re-reading the count: a callback may edit the children of this collection.
        for (uint32_t i = 0; i < m_children.count(); ++i) {
            AutoPtr<Chunk> child = m_children[i];
            if (child)
                child->load(inCallback, inContext);
        }
        if (inCallback)
            inCallback(inContext, this);
    }

    void updateLinks() override
    {
        // Only a document holds links between its pages.
        if (m_formType == String("DJVM"))
            repairDocumentLinks(*this);
    }

    void compact() override
    {
        m_children.compact();
        for (uint32_t i = 0; i < m_children.count(); ++i) {
            AutoPtr<Chunk> child = m_children[i];
            if (child)
                child->compact();
        }
    }

    void setSecurityProvider(SecurityProvider* inProvider) override { m_provider = inProvider; }
    SecurityProvider* getSecurityProvider() const override { return m_provider.get(); }

    String getName() const override { return m_name; }
    void setName(const String& inName) override { m_name = inName; }

    void lock() override { m_mutex.lock(); }
    void unlock() override { m_mutex.unlock(); }

private:
    [[noreturn]] static void noData()
    {
        MVX_THROW(errNotSupported, "Cannot get data from collection chunk!", "Morvenix::DjVu::ChunkCollection::getData");
    }

    String m_formType;
    Children m_children;
    Mutex m_mutex;
    String m_name;
    AutoPtr<SecurityProvider> m_provider;
};

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {

AutoPtr<ChunkCollection> ChunkCollection::create(const String& inFormType)
{
    return AutoPtr<ChunkCollection>(new _Mvx_Internal_NS_::ChunkCollectionImpl(inFormType));
}

} // namespace DjVu
} // namespace Morvenix
