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

#include <vector>
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
// A challenge or Location header longer than this is not read.
const DWORD kMaxQueriedBytes = 64 * 1024;

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

// The text of a header of the answer, or false when there is none or it is longer than inMaxBytes.
bool queryText(HINTERNET inRequest, DWORD inQuery, DWORD inMaxBytes, String& outText)
{
    DWORD size = 0;
    if (WinHttpQueryHeaders(inRequest, inQuery, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                            WINHTTP_NO_HEADER_INDEX) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || size > inMaxBytes)
        return false;
    Morvenix::WipedBlock<wchar_t> buffer;
    const uint32_t units = size / 2 + 1;
    wchar_t* text = buffer.reset(units);
    Morvenix::secureZero(text, units * sizeof(wchar_t));
    DWORD bytes = (units - 1) * sizeof(wchar_t);
    if (!WinHttpQueryHeaders(inRequest, inQuery, WINHTTP_HEADER_NAME_BY_INDEX, text, &bytes, WINHTTP_NO_HEADER_INDEX))
        return false;
    outText = String(text, int32_t(bytes / sizeof(wchar_t)));
    return true;
}

// A credential given for a challenge, until an answer says whether it worked, and how it was set.
struct Answered {
    AutoPtr<CredentialInfo> waiting;
    DWORD target = 0;
    DWORD scheme = 0;
};

// The manager's answer turn, held while the provider is asked.
class AnswerTurn {
public:
    // Waits for the turn no longer than the deadline allows; past it, throws the deadline's failure. A turn
    // whose holder's thread ended without giving it back (ended inside the provider, as TerminateThread
    // ends one) passes to this post, but only the turn: what the provider held then, such as the question
    // lock of the manager's credential cache, stays held, and the question waits on it for ever. A thread
    // must not be ended while it asks.
    AnswerTurn(HANDLE inTurn, const HttpDeadline& inDeadline, const char* inFunction) : m_turn(inTurn)
    {
        const DWORD waited = WaitForSingleObject(inTurn, inDeadline.msLeft());
        if (waited == WAIT_TIMEOUT)
            inDeadline.throwPast(inFunction);
        if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED)
            MVX_THROW_WINHTTP("WaitForSingleObject", inFunction);
    }
    AnswerTurn(const AnswerTurn&) = delete;
    AnswerTurn& operator=(const AnswerTurn&) = delete;
    ~AnswerTurn() { ReleaseMutex(m_turn); }

private:
    HANDLE m_turn;
};

// What one post has learnt so far.
struct Conversation {
    Answered server, proxy;
    uint32_t previous = 0; // the status of the previous round, 0 at first
    bool certificateTried = false;
    String verb;           // the caller's, or GET after a 303
    bool withBody = true;  // false after a 303
};

class HttpRequestStreamImpl : public Morvenix::HttpRequestStream {
public:
    HttpRequestStreamImpl(HINTERNET inHandle, HttpConnectionImpl* inConnection, const String& inVerb,
                          const String& inPath, const String& inTarget, CredentialProvider* inProvider,
                          const HttpLimits& inLimits)
        : m_body(), m_handle(inHandle), m_connection(inConnection), m_path(inPath), m_target(inTarget),
          m_verb(inVerb), m_limits(inLimits), m_provider(inProvider)
    {
        m_body.setWipe(true);
        m_bodyStorage = Morvenix::MemoryStorage::create(m_body);
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
        if (!WinHttpAddRequestHeaders(m_handle, inHeaderLine.wc_str(), DWORD(-1L),
                                      WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE))
            return false;
        m_headers.push_back(inHeaderLine);
        return true;
    }

    AutoPtr<Morvenix::HttpResponseStream> post(const void* inExtraData, uint32_t inExtraSize) override;

    void setFollowRedirects(bool inFollow) override
    {
        AutoLock guard(m_lock);
        m_follow = inFollow;
    }
    uint64_t getDeadlineStart() override
    {
        AutoLock guard(m_lock);
        return m_postedFrom ? m_postedFrom : m_countFrom;
    }
    void setDeadlineStart(uint64_t inStart) override
    {
        AutoLock guard(m_lock);
        m_countFrom = inStart;
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
    // One send and the wait for the answer's status; the Windows error of the failed call, or 0.
    DWORD sendOnce(const void* inExtraData, uint32_t inExtraSize, bool inWithBody, uint32_t& outStatus,
                   const char*& outCall);
    // Whether an error is one the conversation answers by sending again: WinHTTP's request to resend, or
    // a server that asks for a client certificate (tried once).
    bool sendAgainAfter(DWORD inError, Conversation& ioTalk);
    // A 401 or 407: the credential for the challenge set on the request; throws when the same challenge
    // comes twice in a row.
    void answerChallenge(uint32_t inStatus, Conversation& ioTalk, const HttpDeadline& inDeadline);
    // The proxy that sent a 407: the one on the way to the server, as long as no tunnel through it to the
    // server is up (what comes through one is the server's). Throws when no proxy can have sent it.
    String challengingProxy(const char* inFunction);
    // Sets a credential given for a challenge on the request, as it was given.
    void setCredentials(const Answered& inAnswered);
    // Moves the request to the target of a redirection on its own scheme, host and port; false (the
    // answer goes to the caller) for any other target, or when following is off.
    bool followWithinOrigin(uint32_t inStatus, Conversation& ioTalk);

    Morvenix::SimpleArray<unsigned char, 2> m_body;
    AutoPtr<Morvenix::MemoryStorage> m_bodyStorage;
    HINTERNET m_handle;
    AutoPtr<HttpConnectionImpl> m_connection;
    Morvenix::Mutex m_lock;
    String m_path;   // as the caller gave it
    String m_target; // what the request line carries now
    String m_verb;
    std::vector<String> m_headers; // as added, for the request of a followed redirection
    bool m_follow = true;
    HttpLimits m_limits;
    uint64_t m_countFrom = 0;  // where the deadline of each post counts from; 0: the post
    uint64_t m_postedFrom = 0; // where the last post's counted from
    AutoPtr<CredentialProvider> m_provider; // never null: the manager's when the caller gave none
};

DWORD HttpRequestStreamImpl::sendOnce(const void* inExtraData, uint32_t inExtraSize, bool inWithBody,
                                      uint32_t& outStatus, const char*& outCall)
{
    const DWORD bodySize = inWithBody ? m_body.count() : 0;
    const uint32_t extraSize = inWithBody ? inExtraSize : 0;
    outCall = "on WinHttpSendRequest";
    if (!WinHttpSendRequest(m_handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0, bodySize ? m_body.data() : nullptr, bodySize,
                            bodySize + extraSize, reinterpret_cast<DWORD_PTR>(this)))
        return GetLastError();
    outCall = "on WinHttpWriteData";
    const unsigned char* extra = static_cast<const unsigned char*>(inExtraData);
    uint32_t written = 0;
    while (written < extraSize) {
        DWORD n = 0;
        if (!WinHttpWriteData(m_handle, extra + written, extraSize - written, &n))
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
    DWORD status = 0;
    DWORD size = sizeof(status);
    outCall = "on WinHttpReceiveResponse (2)";
    if (!WinHttpQueryHeaders(m_handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return GetLastError();
    outStatus = status;
    return 0;
}

bool HttpRequestStreamImpl::sendAgainAfter(DWORD inError, Conversation& ioTalk)
{
    if (inError == ERROR_WINHTTP_RESEND_REQUEST) {
        Morvenix::debugTrace("***ERROR_WINHTTP_RESEND_REQUEST\n");
        return true;
    }
    // Windows reports a server's request for a client certificate as its own error; Wine fails the
    // handshake as a secure channel error. Either way one certificate is tried, once.
    if ((inError == ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED || inError == ERROR_WINHTTP_SECURE_CHANNEL_ERROR) &&
        !ioTalk.certificateTried && isSecure()) {
        Morvenix::debugTrace("***ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED\n");
        ioTalk.certificateTried = true;
        if (attachClientCertificate(m_handle, Morvenix::HttpManager::getDefaultUserAgent()))
            return true;
        SetLastError(inError);
    }
    return false;
}

void HttpRequestStreamImpl::answerChallenge(uint32_t inStatus, Conversation& ioTalk, const HttpDeadline& inDeadline)
{
    static const char* const kFunction = "Morvenix::HttpRequestStreamImpl::post";
    const bool proxy = inStatus == HTTP_STATUS_PROXY_AUTH_REQ;
    // Whom the credential would go to: it is kept for them alone.
    Morvenix::CredentialScope scope;
    scope.kind = proxy ? CredentialProvider::kindProxy : CredentialProvider::kindServer;
    if (proxy) {
        Morvenix::debugTrace("***HTTP_STATUS_PROXY_AUTH_REQ\n");
        scope.host = challengingProxy(kFunction);
    } else {
        scope.scheme = isSecure() ? "https" : "http";
        scope.host = getHost();
        scope.port = getPort();
        scope.verified = m_connection->isVerified();
    }
    Answered& answered = proxy ? ioTalk.proxy : ioTalk.server;
    // A challenge after credentials were sent refuses them: the cache must not offer them again.
    const bool refused = bool(answered.waiting);
    if (refused)
        answered.waiting->setConfirmed(false);
    if (inStatus == ioTalk.previous)
        MVX_THROW(Morvenix::errAuthFailed,
                  proxy ? "Proxy Authorization Failed (407)." : "Authorization Failed (401).", kFunction);
    ioTalk.previous = inStatus;

    String challenge;
    queryText(m_handle, proxy ? WINHTTP_QUERY_PROXY_AUTHENTICATE : WINHTTP_QUERY_WWW_AUTHENTICATE, kMaxQueriedBytes,
              challenge);
    scope.realm = findRealm(challenge);
    const String caption =
        proxy ? String::format("%s (%s)", scope.realm.c_str(), scope.host.c_str())
              : String::format("%s (%s:%u)", scope.realm.c_str(), getHost().c_str(), unsigned(getPort()));
    DWORD supported = 0, first = 0, target = 0;
    const BOOL schemes = WinHttpQueryAuthSchemes(m_handle, &supported, &first, &target);
    Morvenix::debugTrace("WinHttpQueryAuthSchemes res=%d scheme=%xh target=%xh\n", int(schemes), unsigned(first),
                         unsigned(target));
    // The strongest scheme offered; Basic only when nothing else is, and to a server only over TLS with
    // its certificate checked: it hands the password itself to whoever answers. (The way to a proxy is
    // plain whatever the target, so a proxy that offers only Basic gets it.)
    const bool basicRefused = !proxy && !scope.verified;
    DWORD scheme = 0;
    for (DWORD candidate : {DWORD(WINHTTP_AUTH_SCHEME_NEGOTIATE), DWORD(WINHTTP_AUTH_SCHEME_NTLM),
                            DWORD(WINHTTP_AUTH_SCHEME_DIGEST), DWORD(WINHTTP_AUTH_SCHEME_BASIC)}) {
        if ((supported & candidate) && !(candidate == WINHTTP_AUTH_SCHEME_BASIC && basicRefused)) {
            scheme = candidate;
            break;
        }
    }
    // Nobody is asked for a password that could not be sent: a challenge that offers no scheme this post
    // may answer (none at all, only Bearer or unknown ones, Basic to a server that proved nothing) is the
    // server's last word, and ends the post as a refusal does, without a question whose realm the server
    // chose and without sending the request again.
    if (!schemes || !scheme) {
        if (basicRefused && (supported & WINHTTP_AUTH_SCHEME_BASIC))
            Morvenix::debugTrace("Basic authentication to a server without a checked certificate refused.\n");
        MVX_THROW(Morvenix::errAuthFailed,
                  proxy ? "Proxy Authorization Failed (407)." : "Authorization Failed (401).", kFunction);
    }
    {
        // Only the question holds the turn: a server that answers the resent request slowly, or never,
        // holds up no other request's question.
        AnswerTurn turn(m_connection->getAnswerTurn(), inDeadline, kFunction);
        m_provider->getCredentialFor(answered.waiting, scope, caption,
                                     refused ? uint32_t(CredentialProvider::flagIncorrectPassword) : 0u);
    }
    answered.target = target;
    answered.scheme = scheme;
    setCredentials(answered);
}

String HttpRequestStreamImpl::challengingProxy(const char* inFunction)
{
    const String proxy = proxyOnTheWay(m_connection->getProxyChoice(), getHost(), isSecure());
    // A tunnel is up once the server's certificate is known.
    const CERT_CONTEXT* certificate = nullptr;
    DWORD size = sizeof(certificate);
    const bool tunnelled = isSecure() && WinHttpQueryOption(m_handle, WINHTTP_OPTION_SERVER_CERT_CONTEXT,
                                                            &certificate, &size) && certificate;
    if (certificate)
        CertFreeCertificateContext(certificate);
    if (proxy.isEmpty() || tunnelled)
        MVX_THROW(Morvenix::errAuthFailed, "Proxy challenge refused: the 407 came from the server, not from a proxy.",
                  inFunction);
    return proxy;
}

void HttpRequestStreamImpl::setCredentials(const Answered& inAnswered)
{
    if (!inAnswered.waiting || !inAnswered.scheme)
        return;
    const String user = inAnswered.waiting->getUserName();
    const String password = inAnswered.waiting->getPassword();
    WinHttpSetCredentials(m_handle, inAnswered.target, inAnswered.scheme, user.wc_str(), password.wc_str(), nullptr);
}

bool HttpRequestStreamImpl::followWithinOrigin(uint32_t inStatus, Conversation& ioTalk)
{
    String location;
    if (!m_follow || !Morvenix::HttpResponseStream::isRedirection(inStatus) ||
        !queryText(m_handle, WINHTTP_QUERY_LOCATION, kMaxQueriedBytes, location))
        return false;
    String target;
    try {
        const bool secure = isSecure();
        Morvenix::Url::Parts parts;
        Morvenix::Url::resolveLocation(parts, secure, getHost(), getPort(), m_target, location);
        if (parts.scheme != (secure ? "https" : "http") || parts.port != getPort() ||
            Morvenix::Url::hostToAscii(parts.host).compareNoCase(getHost()) != 0)
            return false;
        target = Morvenix::Url::requestTarget(parts);
    } catch (const Morvenix::Exception&) {
        // A Location that cannot be read names no place of this origin: the caller gets the answer.
        return false;
    }
    // A 303 asks for the result with GET, without the body.
    if (inStatus == 303 && ioTalk.verb.compareNoCase("HEAD") != 0) {
        ioTalk.verb = "GET";
        ioTalk.withBody = false;
    }
    HINTERNET next = m_connection->openRequestHandle(ioTalk.verb, target, m_path);
    WinHttpCloseHandle(m_handle);
    m_handle = next;
    m_target = target;
    for (const String& line : m_headers)
        WinHttpAddRequestHeaders(m_handle, line.wc_str(), DWORD(-1L),
                                 WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
    // The same origin may have the credentials already given to it, as WinHTTP's own following would.
    setCredentials(ioTalk.server);
    setCredentials(ioTalk.proxy);
    return true;
}

AutoPtr<Morvenix::HttpResponseStream> HttpRequestStreamImpl::post(const void* inExtraData, uint32_t inExtraSize)
{
    AutoLock guard(m_lock);
    static const char* const kFunction = "Morvenix::HttpRequestStreamImpl::post";
    Conversation talk;
    talk.verb = m_verb;
    HttpDeadline deadline(m_limits, m_countFrom);
    m_postedFrom = deadline.start();
    for (uint32_t round = 0;; ++round) {
        if (round == kMaxRounds)
            MVX_THROW(Morvenix::errOperationFailed,
                      String::format("The server did not give an answer in %u rounds.", unsigned(kMaxRounds)),
                      kFunction);
        deadline.apply(m_handle, kFunction);
        const char* call = nullptr;
        uint32_t status = 0;
        const DWORD error = sendOnce(inExtraData, inExtraSize, talk.withBody, status, call);
        if (error && sendAgainAfter(error, talk))
            continue;
        if (error) {
            Morvenix::debugTrace("WinHttpReceiveResponse failed. Error=%s(%u)\n", winHttpErrorName(error),
                                 unsigned(error));
            SetLastError(error);
            deadline.fail(call, kFunction);
        }
        if (status < 100 || status > 999)
            MVX_THROW(Morvenix::errDataBroken,
                      String::format("The server's answer carries no valid status (%u).", unsigned(status)),
                      kFunction);
        if (status == HTTP_STATUS_DENIED || status == HTTP_STATUS_PROXY_AUTH_REQ) {
            answerChallenge(status, talk, deadline);
            continue;
        }
        if (followWithinOrigin(status, talk))
            continue;
        if (status / 100 == 2) {
            for (Answered* answered : {&talk.server, &talk.proxy})
                if (answered->waiting)
                    answered->waiting->setConfirmed(true);
        } else {
            Morvenix::debugTrace("HTTP Error %u\n", unsigned(status));
        }
        // Wine's WinHTTP bounds each wait for the headers, not their sum: a server that drips them holds
        // the send past the deadline, and the answer is refused then.
        deadline.check(kFunction);
        return createHttpResponse(m_handle, this, talk.verb.compareNoCase("HEAD") != 0, deadline);
    }
}

} // namespace

AutoPtr<Morvenix::HttpRequestStream> createHttpRequest(HINTERNET inHandle, HttpConnectionImpl* inConnection,
                                                       const String& inVerb, const String& inPath,
                                                       const String& inTarget, CredentialProvider* inProvider,
                                                       const HttpLimits& inLimits)
{
    return AutoPtr<Morvenix::HttpRequestStream>(
        new HttpRequestStreamImpl(inHandle, inConnection, inVerb, inPath, inTarget, inProvider, inLimits));
}

} // namespace _Mvx_Internal_NS_
