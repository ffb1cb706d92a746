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

// The cache's entries by key (byte order, so case-sensitive; see scopeKey and captionKey). One manager's
// requests may run on several threads, so every access takes the map's lock.
class CredMap : public Referable {
public:
    Mutex lock;
    Mutex askLock; // held while the base provider is asked
    std::map<String, AutoPtr<CredentialInfo>> entries;

    // The entry of the key: an answer no server has refused yet.
    bool find(const String& inKey, AutoPtr<CredentialInfo>& outCredential)
    {
        AutoLock guard(lock);
        auto it = entries.find(inKey);
        if (it == entries.end())
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
    CredentialInfoWrapper(CredMap* inMap, const String& inKey, CredentialInfo* inCredential)
        : m_credential(inCredential), m_map(inMap), m_key(inKey), m_done(false)
    {
    }
    String getTarget() override { return m_credential->getTarget(); }
    String getUserName() override { return m_credential->getUserName(); }
    String getPassword() override { return m_credential->getPassword(); }
    bool isConfirmed() override { return m_credential->isConfirmed(); }

    // The first answer counts, except that a refusal always removes the entry: a password accepted once
    // may be changed on the server later, and must not be offered again then. (Several requests may hold
    // the wrapper: a late acceptance by one does not bring back what another's server refused.)
    void setConfirmed(bool inConfirmed) override
    {
        AutoPtr<CredentialInfo> removed; // released after the lock: it may be the last reference to an entry
        AutoLock guard(m_map->lock);
        if (inConfirmed && m_done)
            return;
        m_credential->setConfirmed(inConfirmed);
        m_done = true;
        if (!inConfirmed) {
            // Only this wrapper's own entry: a newer answer for the key may have replaced it.
            auto it = m_map->entries.find(m_key);
            if (it != m_map->entries.end() && it->second.get() == this) {
                removed = it->second;
                m_map->entries.erase(it);
            }
        }
    }

private:
    AutoPtr<CredentialInfo> m_credential;
    AutoPtr<CredMap> m_map;
    String m_key;
    bool m_done;
};

// The key of a scope names whom the credential goes to, realm included but never the realm alone; a
// caption asked without a scope has a key apart from every scope's.
String scopeKey(const CredentialScope& inScope)
{
    return String::format("scope %u\n%s://%s:%u\n%s", unsigned(inScope.kind), inScope.scheme.c_str(),
                          inScope.host.toLower().c_str(), unsigned(inScope.port), inScope.realm.c_str());
}

String captionKey(uint32_t inKind, const String& inCaption)
{
    return String::format("caption %u\n%s", unsigned(inKind), inCaption.c_str());
}

// The answer given under the key that no server has refused, accepted or still being tried: one question
// serves every request that meets the same challenge, however many meet it at once. Else inAsk's answer
// from the base provider, kept under the key.
template <class Ask>
void answerFromMap(CredMap& ioMap, const String& inKey, const String& inCaption,
                   AutoPtr<CredentialInfo>& outCredential, Ask inAsk)
{
    if (ioMap.find(inKey, outCredential)) {
        debugTrace("CredentialProviderCache: Credential for %s reused.\n", inCaption.c_str());
        return;
    }
    // One question at a time (the base provider may show a dialog), and the map stays free meanwhile.
    // A thread that waited here takes the answer another thread was given in the meantime.
    AutoLock asking(ioMap.askLock);
    if (ioMap.find(inKey, outCredential))
        return;
    AutoPtr<CredentialInfo> answer;
    inAsk(answer);
    if (!answer) {
        outCredential.reset();
        return;
    }
    AutoPtr<CredentialInfo> wrapper(new CredentialInfoWrapper(&ioMap, inKey, answer.get()));
    {
        AutoLock guard(ioMap.lock);
        ioMap.entries[inKey] = wrapper;
    }
    outCredential = wrapper;
}

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
    answerFromMap(*m_map, captionKey(inKind, inCaption), inCaption, outCredential,
                  [&](AutoPtr<CredentialInfo>& outAnswer) {
                      m_base->getCredential(outAnswer, inKind, inCaption, inFlags);
                  });
}

void CredentialProviderCache::getCredentialFor(AutoPtr<CredentialInfo>& outCredential, const CredentialScope& inScope,
                                               const String& inCaption, uint32_t inFlags)
{
    // A server that proved nothing may be anyone on the way. (The way to a proxy is never checked; its
    // credential is kept, as it would go to the same proxy anyway.)
    if (inScope.kind != kindProxy && !inScope.verified) {
        AutoLock asking(m_map->askLock);
        m_base->getCredentialFor(outCredential, inScope, inCaption, inFlags);
        return;
    }
    answerFromMap(*m_map, scopeKey(inScope), inCaption, outCredential, [&](AutoPtr<CredentialInfo>& outAnswer) {
        m_base->getCredentialFor(outAnswer, inScope, inCaption, inFlags);
    });
}

} // namespace Morvenix
