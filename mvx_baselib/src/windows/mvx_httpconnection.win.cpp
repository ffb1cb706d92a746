// An HTTP connection to one host and port: the requests it opens, with the certificate checks it was
// made with.
#define MVX_SOURCE "mvx_http.win"
#include "mvx_http_internal.h"

#include "mvx_exception.h"
#include "mvx_url.h"

namespace _Mvx_Internal_NS_ {

using Morvenix::AutoPtr;
using Morvenix::CredentialProvider;
using Morvenix::HttpProxyChoice;
using Morvenix::String;

HttpConnectionImpl::HttpConnectionImpl(HINTERNET inHandle, HttpManagerImpl* inManager, bool inSecure,
                                       const String& inHost, uint16_t inPort, bool inVerify,
                                       const HttpProxyChoice& inProxy)
    : m_handle(inHandle), m_manager(inManager), m_secure(inSecure), m_host(inHost), m_port(inPort), m_verify(inVerify),
      m_proxy(inProxy)
{
}

HttpConnectionImpl::~HttpConnectionImpl()
{
    WinHttpCloseHandle(m_handle);
}

AutoPtr<Morvenix::HttpManager> HttpConnectionImpl::getManager()
{
    return AutoPtr<Morvenix::HttpManager>(m_manager.get());
}

AutoPtr<Morvenix::HttpRequestStream> HttpConnectionImpl::createRequestStream(const String& inVerb,
                                                                             const String& inPath,
                                                                             bool inPathIsEncoded,
                                                                             CredentialProvider* inProvider)
{
    // Held until the request is destroyed (or released here when making it fails).
    m_lock.lock();
    try {
        const String target = (inPathIsEncoded ? inPath : Morvenix::Url::encode(inPath)).trim().removeBOM();
        HINTERNET handle = openRequestHandle(inVerb, target, inPath);
        CredentialProvider* provider = inProvider ? inProvider : m_manager->getCredentialProvider();
        return createHttpRequest(handle, this, inVerb, inPath, target, provider, m_manager->getLimits());
    } catch (...) {
        m_lock.unlock();
        throw;
    }
}

HINTERNET HttpConnectionImpl::openRequestHandle(const String& inVerb, const String& inTarget,
                                                const String& inPathAsGiven)
{
    static const char* const kFunction = "Morvenix::HttpConnectionImpl::createRequestStream";
    HINTERNET handle = WinHttpOpenRequest(m_handle, inVerb.wc_str(), inTarget.wc_str(), nullptr, WINHTTP_NO_REFERER,
                                          WINHTTP_DEFAULT_ACCEPT_TYPES,
                                          WINHTTP_FLAG_NULL_CODEPAGE | (m_secure ? WINHTTP_FLAG_SECURE : 0));
    if (!handle)
        MVX_THROW_WINHTTP(String::format("HttpConnectionImpl::createRequestStream(%s %s)", inVerb.c_str(),
                                         inPathAsGiven.c_str()),
                          kFunction);
    // The request follows redirections itself, to its own scheme, host and port only: WinHTTP would take
    // the credentials set for this host to any other.
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    bool set = WinHttpSetOption(handle, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof(never)) != FALSE;
    if (set && m_secure) {
        const DWORD ignore = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE |
                             SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
        DWORD flags = 0;
        DWORD size = sizeof(flags);
        // A failure leaves the system's checks as they are.
        if (WinHttpQueryOption(handle, WINHTTP_OPTION_SECURITY_FLAGS, &flags, &size)) {
            flags = m_verify ? (flags & ~ignore) : (flags | ignore);
            WinHttpSetOption(handle, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof(flags));
        }
        // The certificate is checked when a connection is opened, not when a request reuses it, and
        // WinHTTP's pool of open connections can span sessions (under Wine it serves the whole process): a
        // connection opened without the checks must close after its answer, or a checked request to the
        // same host and port would ride on it unchecked.
        DWORD noKeepAlive = WINHTTP_DISABLE_KEEP_ALIVE;
        set = m_verify ||
              WinHttpSetOption(handle, WINHTTP_OPTION_DISABLE_FEATURE, &noKeepAlive, sizeof(noKeepAlive)) != FALSE;
    }
    if (!set) {
        const DWORD error = GetLastError();
        WinHttpCloseHandle(handle);
        SetLastError(error);
        MVX_THROW_WINHTTP("WinHttpSetOption", kFunction);
    }
    return handle;
}

} // namespace _Mvx_Internal_NS_
