// The fixed credential provider and the cache of accepted credentials.
#define MVX_SOURCE "mvx_credentials"
#include "mvx_credentials.h"

#include "mvx_credentialinfo.h"
#include "mvx_exception.h"
#include "mvx_format.h"
#include "mvx_syncobjs.h"

#include <map>

using _Mvx_Internal_NS_::SimpleCredentialInfoImpl;

namespace Morvenix {

// The cache's entries by caption (byte order, so case-sensitive). One manager's requests may run on
// several threads, so every access takes the map's lock.
class CredMap : public Referable {
public:
    Mutex lock;
    Mutex askLock; // held while the base provider is asked
    std::map<String, AutoPtr<CredentialInfo>> entries;

    // The entry of the caption when a server accepted it.
    bool findConfirmed(const String& inCaption, AutoPtr<CredentialInfo>& outCredential)
    {
        AutoLock guard(lock);
        auto it = entries.find(inCaption);
        if (it == entries.end() || !it->second->isConfirmed())
            return false;
        outCredential = it->second;
        return true;
    }
};

namespace {

// Gives the one credential it was made with, whatever is asked.
class FixedCredentialProvider : public SimpleCredentialProviderImpl {
public:
    FixedCredentialProvider(const String& inUserName, const String& inPassword, const String& inTarget)
        : m_credential(new SimpleCredentialInfoImpl(inTarget, inUserName, inPassword, false))
    {
    }
    void getCredential(AutoPtr<CredentialInfo>& outCredential, uint32_t, const String&, uint32_t) override
    {
        outCredential = m_credential;
    }

private:
    AutoPtr<CredentialInfo> m_credential;
};

// What the cache hands out: the base provider's answer, which removes itself from the map when a server
// refuses it. It keeps the map alive, since a request may hold it past the cache; the cache empties the
// map when it goes, which ends the cycle between map and wrappers.
class CredentialInfoWrapper : public CredentialInfo {
public:
    CredentialInfoWrapper(CredMap* inMap, const String& inCaption, CredentialInfo* inCredential)
        : m_credential(inCredential), m_map(inMap), m_caption(inCaption), m_done(false)
    {
    }
    String getTarget() override { return m_credential->getTarget(); }
    String getUserName() override { return m_credential->getUserName(); }
    String getPassword() override { return m_credential->getPassword(); }
    bool isConfirmed() override { return m_credential->isConfirmed(); }

    // The first answer counts, except that a refusal always removes the entry: a password accepted once
    // may be changed on the server later, and must not be offered again then.
    void setConfirmed(bool inConfirmed) override
    {
        AutoPtr<CredentialInfo> removed; // released after the lock: it may be the last reference to an entry
        AutoLock guard(m_map->lock);
        if (inConfirmed && m_done)
            return;
        m_credential->setConfirmed(inConfirmed);
        m_done = true;
        if (inConfirmed) {
            // Another thread may have put a newer, still unproven answer in the entry meanwhile; the one a
            // server accepted serves the caption better.
            AutoPtr<CredentialInfo>& entry = m_map->entries[m_caption];
            if (!entry || !entry->isConfirmed()) {
                removed = entry;
                entry = this;
            }
        } else {
            // Only this wrapper's own entry: a newer answer for the caption may have replaced it.
            auto it = m_map->entries.find(m_caption);
            if (it != m_map->entries.end() && it->second.get() == this) {
                removed = it->second;
                m_map->entries.erase(it);
            }
        }
    }

private:
    AutoPtr<CredentialInfo> m_credential;
    AutoPtr<CredMap> m_map;
    String m_caption;
    bool m_done;
};

} // namespace

AutoPtr<CredentialProvider> SimpleCredentialProviderImpl::create(const String& inUserName, const String& inPassword,
                                                                 const String& inTarget)
{
    return AutoPtr<CredentialProvider>(new FixedCredentialProvider(inUserName, inPassword, inTarget));
}

CredentialProviderCache::CredentialProviderCache(CredentialProvider* inBaseCredCache)
    : m_base(inBaseCredCache), m_map(new CredMap)
{
    if (!inBaseCredCache)
        MVX_THROW(errInvalidParam, "CredentialProviderCache: inBaseCredCache is NULL!",
                  "Morvenix::CredentialProviderCache::CredentialProviderCache");
}

CredentialProviderCache::~CredentialProviderCache()
{
    std::map<String, AutoPtr<CredentialInfo>> entries;
    AutoLock guard(m_map->lock);
    entries.swap(m_map->entries);
    guard.release();
}

AutoPtr<CredentialProvider> CredentialProviderCache::create(CredentialProvider* inBaseCredCache)
{
    return AutoPtr<CredentialProvider>(new CredentialProviderCache(inBaseCredCache));
}

void CredentialProviderCache::getCredential(AutoPtr<CredentialInfo>& outCredential, uint32_t inKind,
                                            const String& inCaption, uint32_t inFlags)
{
    if (m_map->findConfirmed(inCaption, outCredential)) {
        debugTrace("CredentialProviderCache: Credential for %s reused.\n", inCaption.c_str());
        return;
    }
    // One question at a time (the base provider may show a dialog), and the map stays free meanwhile.
    // A thread that waited here takes the credential another thread had confirmed in the meantime.
    AutoLock asking(m_map->askLock);
    if (m_map->findConfirmed(inCaption, outCredential))
        return;
    AutoPtr<CredentialInfo> answer;
    m_base->getCredential(answer, inKind, inCaption, inFlags);
    if (!answer) {
        outCredential.reset();
        return;
    }
    AutoPtr<CredentialInfo> wrapper(new CredentialInfoWrapper(m_map.get(), inCaption, answer.get()));
    {
        // A credential that a server accepted while the base provider was being asked keeps its place.
        AutoLock guard(m_map->lock);
        AutoPtr<CredentialInfo>& entry = m_map->entries[inCaption];
        if (!entry || !entry->isConfirmed())
            entry = wrapper;
    }
    outCredential = wrapper;
}

} // namespace Morvenix
