// The resource broker: URLs and local paths to read-only storages, and the process-wide default broker.
#define MVX_SOURCE "mvx_broker"

#include "mvx_broker.h"

#include "mvx_diskstorage.h"
#include "mvx_exception.h"
#include "mvx_http.h"
#include "mvx_url.h"

#include <atomic>
#include <cstdlib>

namespace _Mvx_Internal_NS_ {

using Morvenix::AutoPtr;
using Morvenix::String;

class ResourceBrokerImpl : public Morvenix::ResourceBroker {
public:
    ResourceBrokerImpl(const String& inUserAgent, Morvenix::CredentialProvider* inProvider, bool inVerify)
        : m_manager(Morvenix::HttpManager::create(inUserAgent, inProvider)), m_verify(inVerify)
    {
    }
    ResourceBrokerImpl(Morvenix::HttpManager* inManager, bool inVerify)
        : m_manager(inManager ? AutoPtr<Morvenix::HttpManager>(inManager)
                              : Morvenix::HttpManager::create(String(), nullptr)),
          m_verify(inVerify)
    {
    }

    AutoPtr<Morvenix::Storage> locateFile(const String& inUrl) override
    {
        static const char* const kFunction = "_Mvx_Internal_NS_::ResourceBrokerImpl::locateFile";
        if (inUrl.startsWith("http://") || inUrl.startsWith("https://"))
            return m_manager->createStorage(inUrl, m_verify, nullptr, nullptr);
        if (inUrl.startsWith("file:"))
            return openLocal(Morvenix::Url::fileUrlToPath(inUrl));
        // A text that names a scheme is no path, even without "//": opened as one, its error text
        // would carry it, password and all, into the trace.
        if (inUrl.find("://") != String::npos || !Morvenix::Url::getScheme(inUrl).isEmpty())
            MVX_THROW(Morvenix::errInvalidParam, "Unknown resource protocol!", kFunction);
        return openLocal(inUrl);
    }

private:
    static AutoPtr<Morvenix::Storage> openLocal(const String& inPath)
    {
        return AutoPtr<Morvenix::Storage>(
            Morvenix::DiskStorage::create(inPath, Morvenix::DiskStorage::accessRead,
                                          Morvenix::DiskStorage::dispositionDefault)
                .get());
    }

    AutoPtr<Morvenix::HttpManager> m_manager; // never null
    bool m_verify;
};

namespace {

AutoPtr<Morvenix::ResourceBroker> s_defaultBroker;
std::atomic<Morvenix::ResourceBroker*> s_defaultPointer{nullptr};
Morvenix::OnceFlag s_defaultOnce;
bool s_releaseRegistered = false;

void releaseDefaultBroker()
{
    s_defaultPointer.store(nullptr);
    s_defaultBroker.reset();
}

// Under callOnce: a throw leaves nothing made, and the next getDefault runs this again.
void makeDefaultBroker()
{
    if (!s_releaseRegistered) {
        std::atexit(releaseDefaultBroker);
        s_releaseRegistered = true;
    }
    s_defaultBroker = new ResourceBrokerImpl(String(), nullptr, true);
    s_defaultPointer.store(s_defaultBroker.get());
}

} // namespace

} // namespace _Mvx_Internal_NS_

namespace Morvenix {

AutoPtr<ResourceBroker> ResourceBroker::create(const String& inUserAgent, CredentialProvider* inProvider,
                                               bool inVerifyCertificates)
{
    AutoPtr<CredentialProvider> provider(inProvider);
    if (!provider)
        provider = CredentialProviderImpl::create(nullptr, "Authentication Required", String());
    return AutoPtr<ResourceBroker>(
        new _Mvx_Internal_NS_::ResourceBrokerImpl(inUserAgent, provider.get(), inVerifyCertificates));
}

AutoPtr<ResourceBroker> ResourceBroker::create(HttpManager* inManager, bool inVerifyCertificates)
{
    return AutoPtr<ResourceBroker>(new _Mvx_Internal_NS_::ResourceBrokerImpl(inManager, inVerifyCertificates));
}

AutoPtr<ResourceBroker> ResourceBroker::getDefault()
{
    if (ResourceBroker* broker = _Mvx_Internal_NS_::s_defaultPointer.load())
        return AutoPtr<ResourceBroker>(broker);
    callOnce(_Mvx_Internal_NS_::s_defaultOnce, _Mvx_Internal_NS_::makeDefaultBroker);
    return AutoPtr<ResourceBroker>(_Mvx_Internal_NS_::s_defaultPointer.load());
}

} // namespace Morvenix
