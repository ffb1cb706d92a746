// The HTTP manager: its WinHTTP sessions, one per proxy choice and check mode, and the connections it
// opens through them.
#define MVX_SOURCE "mvx_http.win"
#include "mvx_http_internal.h"

#include "mvx_exception.h"
#include "mvx_platform.h"
#include "mvx_url.h"

namespace _Mvx_Internal_NS_ {

using Morvenix::AutoLock;
using Morvenix::AutoPtr;
using Morvenix::CredentialProvider;
using Morvenix::HttpProxyChoice;
using Morvenix::String;

HttpManagerImpl::HttpManagerImpl(const String& inUserAgent, CredentialProvider* inProvider,
                                 Morvenix::HttpProxyChooser* inChooser)
    : m_userAgent(inUserAgent.isEmpty() ? getDefaultUserAgent() : inUserAgent),
      m_chooser(inChooser ? AutoPtr<Morvenix::HttpProxyChooser>(inChooser) : Morvenix::HttpProxyChooser::createSystem())
{
    AutoPtr<CredentialProvider> base(inProvider);
    if (!base)
        base = Morvenix::CredentialProviderImpl::create(nullptr, "HTTP Authentication", String());
    m_provider = Morvenix::CredentialProviderCache::create(base.get());
    // The session of the system's own proxy setting is opened at once, so that a manager that cannot
    // work fails when it is made.
    AutoLock guard(m_lock);
    session(HttpProxyChoice(), false, inUserAgent);
    m_answerTurn = CreateMutexW(nullptr, FALSE, nullptr);
    if (!m_answerTurn) {
        const DWORD error = GetLastError();
        closeSessions();
        SetLastError(error);
        MVX_THROW_WINHTTP("CreateMutexW", "Morvenix::HttpManagerImpl::HttpManagerImpl");
    }
}

HttpManagerImpl::~HttpManagerImpl()
{
    AutoLock guard(m_lock);
    closeSessions();
    CloseHandle(m_answerTurn);
}

void HttpManagerImpl::closeSessions()
{
    for (auto& entry : m_sessions)
        WinHttpCloseHandle(entry.second);
    m_sessions.clear();
}

AutoPtr<Morvenix::HttpConnection> HttpManagerImpl::createConnection(const String& inHost, uint16_t inPort)
{
    return connect(inHost, inPort, false, false);
}

AutoPtr<Morvenix::HttpConnection> HttpManagerImpl::createSecureConnection(const String& inHost, uint16_t inPort,
                                                                          bool inVerifyCertificate)
{
    return connect(inHost, inPort, true, inVerifyCertificate);
}

void HttpManagerImpl::setProxy(const String&)
{
    MVX_THROW(Morvenix::errNotImplemented, "errNotImplemented", "Morvenix::HttpManagerImpl::setProxy");
}

void HttpManagerImpl::setTimeouts(uint32_t inResolveMs, uint32_t inConnectMs, uint32_t inSendMs, uint32_t inReceiveMs)
{
    AutoLock guard(m_lock);
    m_limits.resolveMs = inResolveMs;
    m_limits.connectMs = inConnectMs;
    m_limits.sendMs = inSendMs;
    m_limits.receiveMs = inReceiveMs;
    m_limits.headersMs = inReceiveMs;
}

void HttpManagerImpl::setDeadline(uint32_t inTotalMs)
{
    AutoLock guard(m_lock);
    m_limits.totalMs = inTotalMs;
}

HttpLimits HttpManagerImpl::getLimits()
{
    AutoLock guard(m_lock);
    return m_limits;
}

AutoPtr<Morvenix::HttpConnection> HttpManagerImpl::connect(const String& inHost, uint16_t inPort, bool inSecure,
                                                           bool inVerify)
{
    const String host = Morvenix::Url::hostToAscii(inHost);
    const uint16_t port = inPort ? inPort : (inSecure ? 443 : 80);
    // The lookup names scheme, host and port: automatic detection cannot answer for a bare host name.
    String lookup;
    Morvenix::Url::makeProxyLookupUrl(
        lookup, String::format("%s://%s:%u/", inSecure ? "https" : "http", host.c_str(), unsigned(port)));
    const HttpProxyChoice proxy = m_chooser->choose(lookup);
    AutoLock guard(m_lock);
    const char* function = inSecure ? "Morvenix::HttpManagerImpl::createSecureConnection"
                                    : "Morvenix::HttpManagerImpl::createConnection";
    HINTERNET handle = WinHttpConnect(session(proxy, inSecure && inVerify, m_userAgent), host.wc_str(), port, 0);
    if (!handle)
        MVX_THROW_WINHTTP(String::format("HttpManagerImpl::%s(%s:%u)",
                                         inSecure ? "createSecureConnection" : "createConnection", host.c_str(),
                                         unsigned(port)),
                          function);
    return AutoPtr<Morvenix::HttpConnection>(
        new HttpConnectionImpl(handle, this, inSecure, host, port, inVerify, proxy));
}

// The session for a proxy choice, opened on first use: WinHTTP takes a proxy reliably only when a
// session is opened with it, so each choice has a session of its own. Connections that verify the
// server's certificate have sessions apart too, which keeps Windows from pooling the two kinds
// together; that alone is not enough under Wine (see openRequestHandle). Under the manager's lock.
HINTERNET HttpManagerImpl::session(const HttpProxyChoice& inProxy, bool inVerified, const String& inUserAgentAsGiven)
{
    const std::string key = std::to_string(unsigned(inProxy.kind)) + (inVerified ? "v\n" : "\n") +
                            inProxy.proxy.c_str() + "\n" + inProxy.bypass.c_str();
    auto known = m_sessions.find(key);
    if (known != m_sessions.end())
        return known->second;
    DWORD access = WINHTTP_ACCESS_TYPE_DEFAULT_PROXY;
    const wchar_t* name = WINHTTP_NO_PROXY_NAME;
    const wchar_t* bypass = WINHTTP_NO_PROXY_BYPASS;
    if (inProxy.kind == HttpProxyChoice::kindDirect) {
        access = WINHTTP_ACCESS_TYPE_NO_PROXY;
    } else if (inProxy.kind == HttpProxyChoice::kindNamed) {
        access = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
        name = inProxy.proxy.wc_str();
        if (!inProxy.bypass.isEmpty())
            bypass = inProxy.bypass.wc_str();
    }
    HINTERNET handle = WinHttpOpen(m_userAgent.wc_str(), access, name, bypass, 0);
    if (!handle)
        MVX_THROW_WINHTTP(String::format("HttpManagerImpl(%s)", inUserAgentAsGiven.c_str()),
                          "Morvenix::HttpManagerImpl::HttpManagerImpl");
    m_sessions[key] = handle;
    return handle;
}

} // namespace _Mvx_Internal_NS_

namespace Morvenix {

AutoPtr<HttpManager> HttpManager::create(const String& inUserAgent, CredentialProvider* inProvider,
                                         HttpProxyChooser* inProxyChooser)
{
    return AutoPtr<HttpManager>(new _Mvx_Internal_NS_::HttpManagerImpl(inUserAgent, inProvider, inProxyChooser));
}

String HttpManager::getDefaultUserAgent()
{
    return String::format("Morvenix SDK (%s)", getPlatformString().c_str());
}

} // namespace Morvenix
