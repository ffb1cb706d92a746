// URLs and local paths opened as read-only storages: the resource broker sends "http://" and "https://"
// URLs to its HTTP manager (a cached storage that fetches no part it holds again) and opens "file:" URLs
// and plain paths from the disk; the storage factory opens at once or on first use.
#pragma once

#include "mvx_credentials.h"
#include "mvx_protectedbytes.h"
#include "mvx_stream.h"
#include "mvx_string.h"
#include "mvx_syncobjs.h"

namespace Morvenix {

class HttpManager;

class ResourceBroker : public Referable {
public:
    ~ResourceBroker() override {}
    // "http://" and "https://" (case-sensitive): the manager's cached storage; "file:": the path of the
    // URL; any other text with "://" in it or that names a scheme (Url::getScheme, as "https:x@y" does):
    // errInvalidParam "Unknown resource protocol!"; anything else: a local path. Local files are opened
    // read-only and must exist. Each HTTP operation (the opening, a read with all its loads, a duplicate's
    // opening) keeps to the manager's time-outs and to one deadline (HttpManager::defaultDeadlineMs unless
    // set) however many redirections it follows, and waits for the network under no lock that another
    // storage over the same resource needs, so none hangs.
    virtual AutoPtr<Storage> locateFile(const String& inUrl) = 0;

    // Over a new HTTP manager with that user agent and provider; a null provider means an interactive one
    // captioned "Authentication Required". Servers' certificates are checked unless inVerifyCertificates
    // is false.
    static AutoPtr<ResourceBroker> create(const String& inUserAgent, CredentialProvider* inProvider,
                                          bool inVerifyCertificates = true);
    // Over the manager (null: a new one with the default user agent and provider).
    static AutoPtr<ResourceBroker> create(HttpManager* inManager, bool inVerifyCertificates = true);
    // The process-wide broker (default user agent, interactive provider, certificates checked), made on
    // first use. A failure to make it reaches the caller, and the next call tries again.
    static AutoPtr<ResourceBroker> getDefault();
};

} // namespace Morvenix

namespace _Mvx_Internal_NS_ {

// A storage that opens its URL through a broker on the first operation that needs the resource (read,
// end test, size, seek), once, under its own lock; a failed opening is tried again by the next operation.
// Its name is the URL without a password (Url::withoutPassword), its position 0 until then. Writing and
// truncating throw errNotImplemented.
class LateBindingStorage : public Morvenix::Storage {
public:
    // The storage factory. A null broker means ResourceBroker::getDefault(). With inLateBinding the URL
    // is opened on first use; without, at once, and its failures reach the caller here.
    static Morvenix::AutoPtr<Morvenix::Storage> create(const Morvenix::String& inUrl, bool inLateBinding,
                                                       Morvenix::ResourceBroker* inBroker);

    LateBindingStorage(const Morvenix::String& inUrl, Morvenix::ResourceBroker* inBroker);
    ~LateBindingStorage() override;

    uint32_t readBytes(void* outBuffer, uint32_t inSize, bool inExact) override;
    void writeBytes(const void* inBuffer, uint32_t inSize) override;
    void flushBuffer() override;
    bool isEof() override;
    uint64_t getSize() override;
    uint64_t getPos() override;
    void reserve(uint64_t inSize) override;
    void setPos(uint64_t inPos) override;
    void setPosRelative(int64_t inOffset) override;
    void setPosFromEnd(int64_t inOffset) override;
    void setEof() override;
    Morvenix::String getName() override;
    Morvenix::AutoPtr<Morvenix::Storage> duplicate() override;
    void lock() override;
    void unlock() override;

private:
    // The opened storage, opening it first when needed.
    Morvenix::Storage& bind();
    // The URL to open, password and all.
    Morvenix::String url() const;

    const Morvenix::String m_name;
    // The whole URL, password and all, is needed only to open it; empty when the name is the URL.
    const Morvenix::ProtectedBytes m_url;
    Morvenix::AutoPtr<Morvenix::ResourceBroker> m_broker;
    Morvenix::AutoPtr<Morvenix::Storage> m_bound;
    Morvenix::Mutex m_mutex;
};

} // namespace _Mvx_Internal_NS_
