// An HTTP request: the body written to it, and its post, which carries the conversation with the server
// (resending, a client certificate, 401 and 407 challenges) up to the answer.
#define MVX_SOURCE "mvx_http.win"
#include "mvx_http_internal.h"

#include "mvx_exception.h"
#include "mvx_format.h"
#include "mvx_memstorage.h"
#include "mvx_simplearray.h"
#include "mvx_unicode.h"
#include "mvx_url.h"

#include <wincrypt.h>

namespace _Mvx_Internal_NS_ {

namespace {

using Morvenix::AutoLock;
using Morvenix::AutoPtr;
using Morvenix::CredentialInfo;
using Morvenix::CredentialProvider;
using Morvenix::String;

// Rounds of one post: resends, one client certificate, a server and a proxy challenge each answered once,
// with room to spare; a conversation that goes on past this is refused rather than looped.
const uint32_t kMaxRounds = 16;
// A challenge header longer than this is not searched for its realm.
const DWORD kMaxChallengeBytes = 64 * 1024;

// Finds in the certificate store "MY" the first certificate whose subject contains the text and sets it
// on the request; false when there is none.
bool attachClientCertificate(HINTERNET inRequest, const String& inSubject)
{
    HCERTSTORE store = CertOpenSystemStoreW(0, L"MY");
    if (!store)
        return false;
    bool attached = false;
    PCCERT_CONTEXT certificate = CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                            CERT_FIND_SUBJECT_STR_W, inSubject.wc_str(), nullptr);
    if (certificate) {
        attached = WinHttpSetOption(inRequest, WINHTTP_OPTION_CLIENT_CERT_CONTEXT, const_cast<CERT_CONTEXT*>(certificate),
                                    sizeof(CERT_CONTEXT)) != FALSE;
        CertFreeCertificateContext(certificate);
    }
    CertCloseStore(store, 0);
    return attached;
}

// The realm of a challenge: the quoted value of the first parameter named "realm" (any case). Empty when
// there is none.
String findRealm(const String& inChallenge)
{
    const char* begin = inChallenge.begin();
    const char* end = inChallenge.end();
    for (const char* p = begin; p + 1 < end; ++p) {
        if (p[0] != '=' || p[1] != '"' || p - begin < 5)
            continue;
        if (String(p - 5, 5).compareNoCase("realm") != 0)
            continue;
        const char* value = p + 2;
        const char* close = value;
        while (close != end && *close != '"')
            ++close;
        return String(value, int32_t(close - value));
    }
    return String();
}

class HttpRequestStreamImpl : public Morvenix::HttpRequestStream {
public:
    HttpRequestStreamImpl(HINTERNET inHandle, HttpConnectionImpl* inConnection, const String& inVerb,
                          const String& inPath, CredentialProvider* inProvider)
        : m_body(), m_handle(inHandle), m_connection(inConnection), m_path(inPath), m_verb(inVerb),
          m_provider(inProvider)
    {
        m_body.setWipe(true);
        m_bodyStorage = Morvenix::MemoryStorage::create(m_body);
        WinHttpSetStatusCallback(m_handle, onRedirect, WINHTTP_CALLBACK_FLAG_REDIRECT, 0);
    }
    // The connection's lock was taken by createRequestStream and is held until now.
    ~HttpRequestStreamImpl() override
    {
        {
            AutoLock guard(m_lock);
            WinHttpCloseHandle(m_handle);
        }
        m_connection->getLock().unlock();
    }

    uint32_t readBytes(void*, uint32_t, bool) override
    {
        MVX_THROW(Morvenix::errNotImplemented, "errNotImplemented", "Morvenix::HttpRequestStreamImpl::readBytes");
    }
    void writeBytes(const void* inBuffer, uint32_t inSize) override
    {
        AutoLock guard(m_lock);
        m_bodyStorage->writeBytes(inBuffer, inSize);
    }
    void flushBuffer() override {}
    bool isEof() override
    {
        MVX_THROW(Morvenix::errNotImplemented, "errNotImplemented", "Morvenix::HttpRequestStreamImpl::isEof");
    }
    void lock() override { m_lock.lock(); }
    void unlock() override { m_lock.unlock(); }

    bool addHeader(const String& inHeaderLine) override
    {
        AutoLock guard(m_lock);
        return WinHttpAddRequestHeaders(m_handle, inHeaderLine.wc_str(), DWORD(-1L),
                                        WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE) != FALSE;
    }

    AutoPtr<Morvenix::HttpResponseStream> post(const void* inExtraData, uint32_t inExtraSize) override;

    void setFollowRedirects(bool inFollow) override
    {
        AutoLock guard(m_lock);
        DWORD policy = inFollow ? WINHTTP_OPTION_REDIRECT_POLICY_DEFAULT : WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
        // Callers that turn following off rely on it to keep credentials from other hosts.
        if (!WinHttpSetOption(m_handle, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy)))
            MVX_THROW_WINHTTP("WinHttpSetOption", "Morvenix::HttpRequestStreamImpl::setFollowRedirects");
    }

    String getHost() override { return m_connection->getHost(); }
    uint16_t getPort() override { return m_connection->getPort(); }
    bool isSecure() override { return m_connection->isSecure(); }
    String getUrl() override
    {
        return String::format("%s://%s:%u%s%s", isSecure() ? "https" : "http", getHost().c_str(),
                              unsigned(getPort()), m_path.startsWith("/") ? "" : "/", m_path.c_str());
    }

private:
    // Notes where a redirection leads, for the caption of a challenge met there. WinHTTP calls it on the
    // thread of the post (the session is synchronous), with the request as the send's context.
    // Nothing may unwind through WinHTTP: a target that cannot be kept is marked as one no host matches.
    static void CALLBACK onRedirect(HINTERNET, DWORD_PTR inContext, DWORD inStatus, void* inInfo, DWORD inLength)
    {
        if (inStatus != WINHTTP_CALLBACK_STATUS_REDIRECT || !inContext || !inInfo)
            return;
        HttpRequestStreamImpl* self = reinterpret_cast<HttpRequestStreamImpl*>(inContext);
        try {
            self->m_redirectedTo = String(static_cast<const wchar_t*>(inInfo), int32_t(inLength));
            self->m_redirectLost = false;
        } catch (...) {
            self->m_redirectLost = true;
        }
    }
    // The host (ASCII form) and port that gave the last answer: the connection's, or those of the last
    // redirection's target.
    void answeringHost(String& outHost, uint16_t& outPort);
    // One send and the wait for the answer's headers; the Windows error of the failed call, or 0.
    DWORD sendOnce(const void* inExtraData, uint32_t inExtraSize, const char*& outCall);
    // Answers a 401 or 407: the credential for the challenge set on the request.
    void answerChallenge(uint32_t inStatus, AutoPtr<CredentialInfo>& ioWaiting, bool inRefused);

    Morvenix::SimpleArray<unsigned char, 2> m_body;
    AutoPtr<Morvenix::MemoryStorage> m_bodyStorage;
    HINTERNET m_handle;
    AutoPtr<HttpConnectionImpl> m_connection;
    Morvenix::Mutex m_lock;
    String m_path;
    String m_verb;
    String m_redirectedTo; // the URL of the last redirection of the current post, empty when none
    bool m_redirectLost = false; // a redirection happened whose target could not be kept
    AutoPtr<CredentialProvider> m_provider; // never null: the manager's when the caller gave none
};

void HttpRequestStreamImpl::answeringHost(String& outHost, uint16_t& outPort)
{
    outHost = getHost();
    outPort = getPort();
    if (m_redirectLost) {
        outHost.clear();
        outPort = 0;
        return;
    }
    if (m_redirectedTo.isEmpty())
        return;
    try {
        Morvenix::Url::Parts parts;
        Morvenix::Url::separateUrl(parts, m_redirectedTo);
        outHost = Morvenix::Url::hostToAscii(parts.host);
        outPort = uint16_t(parts.port ? parts.port : (parts.scheme.compareNoCase("https") == 0 ? 443 : 80));
    } catch (const Morvenix::Exception&) {
        // A target that cannot be split is named by no host of its own: nobody's credentials fit it.
        outHost = m_redirectedTo;
        outPort = 0;
    }
}

DWORD HttpRequestStreamImpl::sendOnce(const void* inExtraData, uint32_t inExtraSize, const char*& outCall)
{
    const DWORD bodySize = m_body.count();
    outCall = "on WinHttpSendRequest";
    if (!WinHttpSendRequest(m_handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0, bodySize ? m_body.data() : nullptr, bodySize,
                            bodySize + inExtraSize, reinterpret_cast<DWORD_PTR>(this)))
        return GetLastError();
    outCall = "on WinHttpWriteData";
    const unsigned char* extra = static_cast<const unsigned char*>(inExtraData);
    uint32_t written = 0;
    while (written < inExtraSize) {
        DWORD n = 0;
        if (!WinHttpWriteData(m_handle, extra + written, inExtraSize - written, &n))
            return GetLastError();
        if (n == 0) {
            SetLastError(ERROR_WINHTTP_CONNECTION_ERROR);
            return ERROR_WINHTTP_CONNECTION_ERROR;
        }
        written += n;
    }
    outCall = "on WinHttpReceiveResponse";
    if (!WinHttpReceiveResponse(m_handle, nullptr))
        return GetLastError();
    return 0;
}

void HttpRequestStreamImpl::answerChallenge(uint32_t inStatus, AutoPtr<CredentialInfo>& ioWaiting, bool inRefused)
{
    const bool proxy = inStatus == HTTP_STATUS_PROXY_AUTH_REQ;
    String challenge;
    DWORD size = 0;
    const DWORD query = proxy ? WINHTTP_QUERY_PROXY_AUTHENTICATE : WINHTTP_QUERY_WWW_AUTHENTICATE;
    if (!WinHttpQueryHeaders(m_handle, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                             WINHTTP_NO_HEADER_INDEX) &&
        GetLastError() == ERROR_INSUFFICIENT_BUFFER && size <= kMaxChallengeBytes) {
        Morvenix::WipedBlock<wchar_t> buffer;
        const uint32_t units = size / 2 + 1;
        wchar_t* text = buffer.reset(units);
        Morvenix::secureZero(text, units * sizeof(wchar_t));
        DWORD bytes = (units - 1) * sizeof(wchar_t);
        if (WinHttpQueryHeaders(m_handle, query, WINHTTP_HEADER_NAME_BY_INDEX, text, &bytes, WINHTTP_NO_HEADER_INDEX))
            challenge = String(text, int32_t(bytes / sizeof(wchar_t)));
    }
    const String realm = findRealm(challenge);
    // A server challenge names the host that asked: after a redirection that is not the connection's, and
    // a provider must not take it for the connection's host.
    String host;
    uint16_t port = 0;
    answeringHost(host, port);
    const String caption = proxy ? String::format("%s (%s)", realm.c_str(), m_connection->getProxyName().c_str())
                                 : String::format("%s (%s:%u)", realm.c_str(), host.c_str(), unsigned(port));
    DWORD supported = 0, first = 0, target = 0;
    const BOOL schemes = WinHttpQueryAuthSchemes(m_handle, &supported, &first, &target);
    Morvenix::debugTrace("WinHttpQueryAuthSchemes res=%d scheme=%xh target=%xh\n", int(schemes), unsigned(first),
                         unsigned(target));
    // The strongest scheme offered; Basic only when nothing else is (it sends the password as it is).
    DWORD scheme = 0;
    for (DWORD candidate : {DWORD(WINHTTP_AUTH_SCHEME_NEGOTIATE), DWORD(WINHTTP_AUTH_SCHEME_NTLM),
                            DWORD(WINHTTP_AUTH_SCHEME_DIGEST), DWORD(WINHTTP_AUTH_SCHEME_BASIC)}) {
        if (supported & candidate) {
            scheme = candidate;
            break;
        }
    }
    m_provider->getCredential(ioWaiting, proxy ? CredentialProvider::kindProxy : CredentialProvider::kindServer,
                              caption, inRefused ? uint32_t(CredentialProvider::flagIncorrectPassword) : 0u);
    if (ioWaiting && schemes && scheme) {
        const String user = ioWaiting->getUserName();
        const String password = ioWaiting->getPassword();
        WinHttpSetCredentials(m_handle, target, scheme, user.wc_str(), password.wc_str(), nullptr);
    }
}

AutoPtr<Morvenix::HttpResponseStream> HttpRequestStreamImpl::post(const void* inExtraData, uint32_t inExtraSize)
{
    AutoLock guard(m_lock);
    static const char* const kFunction = "Morvenix::HttpRequestStreamImpl::post";
    // The credential last set for the server and for the proxy, until an answer says whether it worked.
    AutoPtr<CredentialInfo> waitingServer, waitingProxy;
    uint32_t previous = 0;
    m_redirectedTo.clear();
    m_redirectLost = false;
    bool certificateTried = false;
    for (uint32_t round = 0;; ++round) {
        if (round == kMaxRounds)
            MVX_THROW(Morvenix::errOperationFailed,
                      String::format("The server did not give an answer in %u rounds.", unsigned(kMaxRounds)),
                      kFunction);
        const char* call = nullptr;
        DWORD error = sendOnce(inExtraData, inExtraSize, call);
        DWORD status = 0;
        if (!error) {
            DWORD size = sizeof(status);
            call = "on WinHttpReceiveResponse (2)";
            if (!WinHttpQueryHeaders(m_handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                     WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
                error = GetLastError();
        }
        if (error == ERROR_WINHTTP_RESEND_REQUEST) {
            Morvenix::debugTrace("***ERROR_WINHTTP_RESEND_REQUEST\n");
            continue;
        }
        // Windows reports a server's request for a client certificate as its own error; Wine fails the
        // handshake as a secure channel error. Either way one certificate is tried, once.
        if ((error == ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED || error == ERROR_WINHTTP_SECURE_CHANNEL_ERROR) &&
            !certificateTried && isSecure()) {
            Morvenix::debugTrace("***ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED\n");
            certificateTried = true;
            if (attachClientCertificate(m_handle, Morvenix::HttpManager::getDefaultUserAgent()))
                continue;
            SetLastError(error);
        }
        if (error) {
            Morvenix::debugTrace("WinHttpReceiveResponse failed. Error=%s(%u)\n", winHttpErrorName(error),
                                 unsigned(error));
            MVX_THROW_WINHTTP(call, kFunction);
        }
        if (status < 100 || status > 999)
            MVX_THROW(Morvenix::errDataBroken,
                      String::format("The server's answer carries no valid status (%u).", unsigned(status)),
                      kFunction);
        if (status == HTTP_STATUS_DENIED || status == HTTP_STATUS_PROXY_AUTH_REQ) {
            if (status == HTTP_STATUS_PROXY_AUTH_REQ)
                Morvenix::debugTrace("***HTTP_STATUS_PROXY_AUTH_REQ\n");
            AutoPtr<CredentialInfo>& waiting = status == HTTP_STATUS_DENIED ? waitingServer : waitingProxy;
            // A challenge after credentials were sent refuses them: the cache must not offer them again.
            const bool refused = bool(waiting);
            if (refused)
                waiting->setConfirmed(false);
            if (status == previous)
                MVX_THROW(Morvenix::errAuthFailed,
                          status == HTTP_STATUS_DENIED ? "Authorization Failed (401)." : "Proxy Authorization Failed (407).",
                          kFunction);
            answerChallenge(status, waiting, refused);
            previous = status;
            continue;
        }
        if (status / 100 == 2) {
            if (waitingServer)
                waitingServer->setConfirmed(true);
            if (waitingProxy)
                waitingProxy->setConfirmed(true);
        } else {
            Morvenix::debugTrace("HTTP Error %u\n", unsigned(status));
        }
        break;
    }
    return createHttpResponse(m_handle, this, m_verb.compareNoCase("HEAD") != 0);
}

} // namespace

AutoPtr<Morvenix::HttpRequestStream> createHttpRequest(HINTERNET inHandle, HttpConnectionImpl* inConnection,
                                                       const String& inVerb, const String& inPath,
                                                       CredentialProvider* inProvider)
{
    return AutoPtr<Morvenix::HttpRequestStream>(
        new HttpRequestStreamImpl(inHandle, inConnection, inVerb, inPath, inProvider));
}

} // namespace _Mvx_Internal_NS_
