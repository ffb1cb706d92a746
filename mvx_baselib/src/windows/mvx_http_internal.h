// What the HTTP client's files share: manager, connection and request as the others see them, the
// response over a posted request, the WinHTTP error names and the exception for a failed WinHTTP call.
#pragma once

#include "mvx_http.h"

#include <windows.h>
#include <winhttp.h>

#include "mvx_syncobjs.h"

#include <map>
#include <string>

namespace _Mvx_Internal_NS_ {

// The time limits of a request: each wait (WinHTTP's, 0 waits for ever) and the whole.
struct HttpLimits {
    DWORD resolveMs = 0;
    DWORD connectMs = 60000;
    DWORD sendMs = 30000;
    DWORD receiveMs = 30000;
    DWORD headersMs = 90000; // the wait for the answer's headers, which WinHTTP keeps apart
    DWORD totalMs = Morvenix::HttpManager::defaultDeadlineMs; // 0: none
};

// The deadline of one request, running from its making (the start of a post), or from the start of the
// operation it belongs to (an earlier request's, passed on).
class HttpDeadline {
public:
    // inStart: a start() of an earlier deadline to count from, 0 to count from now.
    HttpDeadline(const HttpLimits& inLimits, uint64_t inStart);
    // Where the deadline counts from (GetTickCount64).
    uint64_t start() const { return m_start; }
    // Cuts the request's waits to the time left, before a send or a read; past the deadline, throws the
    // time-out failure as from inFunction.
    void apply(HINTERNET inRequest, const char* inFunction);
    // Throws the time-out failure when the deadline has passed.
    void check(const char* inFunction) const;
    // What is left of the deadline for a wait (INFINITE without one); 0 once it has passed.
    DWORD msLeft() const;
    // Throws for the WinHTTP call that just failed: the time-out failure when a wait cut to the deadline
    // ran out, else the call's own failure with inTail.
    [[noreturn]] void fail(const Morvenix::String& inTail, const char* inFunction) const;
    // Throws the time-out failure of a request past its deadline.
    [[noreturn]] void throwPast(const char* inFunction) const;

private:

    HttpLimits m_limits;
    uint64_t m_start;    // GetTickCount64 where it counts from
    uint64_t m_end;      // GetTickCount64 at the deadline
    HINTERNET m_applied; // the handle the waits were last set on
    bool m_cut;          // the last apply cut a wait to the time left
};

// The manager: its sessions (one per proxy choice and check mode), its provider, its time-outs.
class HttpManagerImpl : public Morvenix::HttpManager {
public:
    HttpManagerImpl(const Morvenix::String& inUserAgent, Morvenix::CredentialProvider* inProvider,
                    Morvenix::HttpProxyChooser* inChooser);
    ~HttpManagerImpl() override;

    Morvenix::AutoPtr<Morvenix::HttpConnection> createConnection(const Morvenix::String& inHost,
                                                                 uint16_t inPort) override;
    Morvenix::AutoPtr<Morvenix::HttpConnection> createSecureConnection(const Morvenix::String& inHost, uint16_t inPort,
                                                                       bool inVerifyCertificate) override;
    void setProxy(const Morvenix::String&) override;
    Morvenix::CredentialProvider* getCredentialProvider() override { return m_provider.get(); }
    void setTimeouts(uint32_t inResolveMs, uint32_t inConnectMs, uint32_t inSendMs, uint32_t inReceiveMs) override;
    void setDeadline(uint32_t inTotalMs) override;

    // The limits for a request opened now.
    HttpLimits getLimits();
    Morvenix::Mutex& getLock() { return m_lock; }
    // Held by a post while it asks the provider, and no longer (not while it sends the answer and waits for
    // the server's): the requests of one manager ask one at a time, so the answer one of them got serves
    // the others that meet the same challenge unasked. A mutex, not a critical section: a post waits for
    // its turn only as long as its deadline allows (the post holding it may sit at a credential dialog),
    // and the thread that holds it may take it again (a request made while the dialog pumps messages).
    HANDLE getAnswerTurn() const { return m_answerTurn; }

private:
    Morvenix::AutoPtr<Morvenix::HttpConnection> connect(const Morvenix::String& inHost, uint16_t inPort, bool inSecure,
                                                        bool inVerify);
    HINTERNET session(const Morvenix::HttpProxyChoice& inProxy, bool inVerified,
                      const Morvenix::String& inUserAgentAsGiven);
    void closeSessions();

    Morvenix::String m_userAgent;
    Morvenix::AutoPtr<Morvenix::CredentialProvider> m_provider;
    Morvenix::AutoPtr<Morvenix::HttpProxyChooser> m_chooser;
    Morvenix::Mutex m_lock;
    HANDLE m_answerTurn = nullptr;
    std::map<std::string, HINTERNET> m_sessions;
    HttpLimits m_limits;
};

// A connection to one host and port, plain or over TLS, with or without certificate checks.
class HttpConnectionImpl : public Morvenix::HttpConnection {
public:
    HttpConnectionImpl(HINTERNET inHandle, HttpManagerImpl* inManager, bool inSecure, const Morvenix::String& inHost,
                       uint16_t inPort, bool inVerify, const Morvenix::HttpProxyChoice& inProxy);
    ~HttpConnectionImpl() override;

    Morvenix::AutoPtr<Morvenix::HttpRequestStream> createRequestStream(const Morvenix::String& inVerb,
                                                                       const Morvenix::String& inPath,
                                                                       bool inPathIsEncoded,
                                                                       Morvenix::CredentialProvider* inProvider) override;
    Morvenix::AutoPtr<Morvenix::HttpManager> getManager() override;
    Morvenix::String getHost() override { return m_host; }
    uint16_t getPort() override { return m_port; }
    bool isSecure() override { return m_secure; }

    Morvenix::Mutex& getLock() { return m_lock; }
    // Over TLS with the server's certificate checked.
    bool isVerified() const { return m_secure && m_verify; }
    HANDLE getAnswerTurn() const { return m_manager->getAnswerTurn(); }
    // The proxy choice the connection was made with.
    const Morvenix::HttpProxyChoice& getProxyChoice() const { return m_proxy; }
    // A request handle for the verb and the encoded target, with the connection's certificate checks;
    // WinHTTP follows no redirection of it. inPathAsGiven names it in an error.
    HINTERNET openRequestHandle(const Morvenix::String& inVerb, const Morvenix::String& inTarget,
                                const Morvenix::String& inPathAsGiven);

private:
    HINTERNET m_handle;
    Morvenix::AutoPtr<HttpManagerImpl> m_manager;
    bool m_secure;
    Morvenix::Mutex m_lock;
    Morvenix::String m_host;
    uint16_t m_port;
    bool m_verify;
    Morvenix::HttpProxyChoice m_proxy;
};

// A request over an open request handle for the encoded target, which it closes; it holds the
// connection's lock, taken by the caller, until it goes.
Morvenix::AutoPtr<Morvenix::HttpRequestStream> createHttpRequest(HINTERNET inHandle, HttpConnectionImpl* inConnection,
                                                                 const Morvenix::String& inVerb,
                                                                 const Morvenix::String& inPath,
                                                                 const Morvenix::String& inTarget,
                                                                 Morvenix::CredentialProvider* inProvider,
                                                                 const HttpLimits& inLimits);

// The response of a posted request; it keeps the request (and so its handle and lock) alive. With
// inBodyExpected (not a HEAD request) a body that ends before its Content-Length is an error. Its reads
// keep to the post's deadline.
Morvenix::AutoPtr<Morvenix::HttpResponseStream> createHttpResponse(HINTERNET inRequest,
                                                                   Morvenix::HttpRequestStream* inOwner,
                                                                   bool inBodyExpected,
                                                                   const HttpDeadline& inDeadline);

// The proxy, as the choice names it, that requests to the host go through; empty when they may go
// direct (no proxy, none for the scheme, or one that the bypass list may pass by).
Morvenix::String proxyOnTheWay(const Morvenix::HttpProxyChoice& inChoice, const Morvenix::String& inHost,
                               bool inSecure);

// The published constant name of a WinHTTP error number, "????" for any other.
const char* winHttpErrorName(DWORD inError);

// Throws for the thread's last Windows error: the mapped code, the system's text, a blank and inTail.
[[noreturn]] void throwWinHttpFailure(const Morvenix::String& inTail, const char* inSource, int inLine,
                                      const char* inFunction);

} // namespace _Mvx_Internal_NS_

#define MVX_THROW_WINHTTP(tail, function) \
    ::_Mvx_Internal_NS_::throwWinHttpFailure((tail), MVX_SOURCE, __LINE__, (function))
