// The late-bound storage: a URL opened through a resource broker on first use.
#define MVX_SOURCE "mvx_storage"

#include "mvx_broker.h"

#include "mvx_exception.h"
#include "mvx_url.h"

namespace _Mvx_Internal_NS_ {

using Morvenix::AutoLock;
using Morvenix::AutoPtr;
using Morvenix::String;

AutoPtr<Morvenix::Storage> LateBindingStorage::create(const String& inUrl, bool inLateBinding,
                                                      Morvenix::ResourceBroker* inBroker)
{
    AutoPtr<Morvenix::ResourceBroker> broker(inBroker);
    if (!broker)
        broker = Morvenix::ResourceBroker::getDefault();
    if (inLateBinding)
        return AutoPtr<Morvenix::Storage>(new LateBindingStorage(inUrl, broker.get()));
    return broker->locateFile(inUrl);
}

// Only a URL that holds a password is kept encrypted: a path or a URL without one is its own name, and
// needs no data protection (which a service, or a user without a loaded profile, may not have).
LateBindingStorage::LateBindingStorage(const String& inUrl, Morvenix::ResourceBroker* inBroker)
    : m_name(Morvenix::Url::withoutPassword(inUrl)), m_url(m_name == inUrl ? String() : inUrl), m_broker(inBroker)
{
}

String LateBindingStorage::url() const
{
    return m_url.getBlock().count() ? m_url.get() : m_name;
}

LateBindingStorage::~LateBindingStorage() {}

// The broker is dropped once the storage is open: nothing needs it any more. An opening that throws
// leaves the storage unbound with its broker, so the next operation tries again.
Morvenix::Storage& LateBindingStorage::bind()
{
    AutoLock guard(m_mutex);
    if (!m_bound) {
        if (!m_broker)
            MVX_THROW(Morvenix::errInvalidParam, "No resource broker!", "_Mvx_Internal_NS_::LateBindingStorage::bind");
        m_bound = m_broker->locateFile(url());
        m_broker.reset();
    }
    return *m_bound;
}

uint32_t LateBindingStorage::readBytes(void* outBuffer, uint32_t inSize, bool inExact)
{
    return bind().readBytes(outBuffer, inSize, inExact);
}

void LateBindingStorage::writeBytes(const void*, uint32_t)
{
    MVX_THROW(Morvenix::errNotImplemented, "writeBytes is not supported.",
              "_Mvx_Internal_NS_::LateBindingStorage::writeBytes");
}

void LateBindingStorage::flushBuffer() {}

bool LateBindingStorage::isEof()
{
    return bind().isEof();
}

uint64_t LateBindingStorage::getSize()
{
    return bind().getSize();
}

uint64_t LateBindingStorage::getPos()
{
    AutoPtr<Morvenix::Storage> bound;
    {
        AutoLock guard(m_mutex);
        bound = m_bound;
    }
    return bound ? bound->getPos() : 0;
}

void LateBindingStorage::reserve(uint64_t) {}

void LateBindingStorage::setPos(uint64_t inPos)
{
    bind().setPos(inPos);
}

void LateBindingStorage::setPosRelative(int64_t inOffset)
{
    bind().setPosRelative(inOffset);
}

void LateBindingStorage::setPosFromEnd(int64_t inOffset)
{
    bind().setPosFromEnd(inOffset);
}

void LateBindingStorage::setEof()
{
    MVX_THROW(Morvenix::errNotImplemented, "setEof is not supported.", "_Mvx_Internal_NS_::LateBindingStorage::setEof");
}

String LateBindingStorage::getName()
{
    return m_name;
}

AutoPtr<Morvenix::Storage> LateBindingStorage::duplicate()
{
    AutoPtr<Morvenix::Storage> bound;
    AutoPtr<Morvenix::ResourceBroker> broker;
    {
        AutoLock guard(m_mutex);
        bound = m_bound;
        broker = m_broker;
    }
    if (bound)
        return bound->duplicate();
    return AutoPtr<Morvenix::Storage>(new LateBindingStorage(url(), broker.get()));
}

void LateBindingStorage::lock()
{
    m_mutex.lock();
}

void LateBindingStorage::unlock()
{
    m_mutex.unlock();
}

} // namespace _Mvx_Internal_NS_
