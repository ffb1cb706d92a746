// The HTTP client: a manager holds WinHTTP sessions, its user agent, its proxy choice and its credential
// provider; it opens connections to a host, plain or over TLS; a connection opens requests, and posting
// a request carries the whole conversation (resending, 401 and 407 challenges, client certificates) and
// gives the response, read as a stream, with its status and headers.
#pragma once

#include "mvx_credentials.h"
#include "mvx_stream.h"
#include "mvx_string.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace Morvenix {

class HttpConnection;
class HttpRequestStream;
class HttpResponseStream;

// How requests to one host reach it.
struct HttpProxyChoice {
    enum Kind : uint32_t {
        kindDefault = 0, // the system's own WinHTTP setting
        kindDirect = 1,  // no proxy
        kindNamed = 2,   // through the proxy named below
    };
    Kind kind = kindDefault;
    String proxy;  // "host:port" entries as WinHTTP takes them (kindNamed)
    String bypass; // hosts that go direct (kindNamed), may be empty
};

// Decides the proxy for a host. The manager asks it once per connection with the lookup URL of the
// host, "http://host:port/" or "https://host:port/" (host in ASCII form), from any thread that opens one,
// without holding a lock of its own.
class HttpProxyChooser : public Referable {
public:
    virtual HttpProxyChoice choose(const String& inLookupUrl) = 0;

    // The user's settings: automatic detection or a configuration script (answers cached by lookup URL), else
    // the manually configured proxy and bypass list, else no proxy. A failed lookup means the system default.
    static AutoPtr<HttpProxyChooser> createSystem();
};

class HttpManager : public Referable {
public:
    ~HttpManager() override {}
    // Port 0 means 80.
    virtual AutoPtr<HttpConnection> createConnection(const String& inHost, uint16_t inPort) = 0;
    // Port 0 means 443. Without verification, unknown authorities, wrong names and dates and wrong usage of
    // the server's certificate are accepted.
    virtual AutoPtr<HttpConnection> createSecureConnection(const String& inHost, uint16_t inPort,
                                                           bool inVerifyCertificate) = 0;
    // A read-only storage over the "http" or "https" URL: an AdvCachedStorage over
    // StorageLoader::createHttp with these values (mvx_cachedstorage.h), which fetches each part of the
    // resource when it is first read and keeps it (storages over one cache that read the same missing
    // part at the same time may each fetch it). The same for every manager.
    virtual AutoPtr<Storage> createStorage(const String& inUrl, bool inVerifyCertificate, ProgressCallback inCallback,
                                           void* inContext);
    // Not provided: the proxy is the chooser's business. Throws errNotImplemented.
    virtual void setProxy(const String& inProxy) = 0;
    // The manager's provider (a cache); no reference is added.
    virtual CredentialProvider* getCredentialProvider() = 0;
    // Time-outs in milliseconds of name resolution, connecting, sending and each wait for answer bytes, for
    // the requests opened from now on (WinHTTP's defaults until set; 0 waits for ever). A server that
    // stalls longer fails the request with the mapped time-out error.
    virtual void setTimeouts(uint32_t inResolveMs, uint32_t inConnectMs, uint32_t inSendMs,
                             uint32_t inReceiveMs) = 0;
    // The longest one request may take in milliseconds, from its post to the last byte of its answer read,
    // for the requests opened from now on (0: no limit; defaultDeadlineMs until set). Every wait is cut to
    // the time left, and past it the request fails with the mapped time-out error, however the server
    // paces its bytes.
    virtual void setDeadline(uint32_t inTotalMs) = 0;
    static constexpr uint32_t defaultDeadlineMs = 5 * 60 * 1000;

    // An empty user agent means getDefaultUserAgent(); a null provider means an interactive one captioned
    // "HTTP Authentication"; a null chooser means HttpProxyChooser::createSystem(). The provider is
    // wrapped in a CredentialProviderCache.
    static AutoPtr<HttpManager> create(const String& inUserAgent, CredentialProvider* inProvider,
                                       HttpProxyChooser* inProxyChooser = nullptr);
    // "Morvenix SDK (<platform string>)"; also the subject text of the client certificate.
    static String getDefaultUserAgent();
};

class HttpConnection : public Referable {
public:
    ~HttpConnection() override {}
    // The request holds the connection's lock until it is destroyed, so the requests of one connection run
    // one after another. A null provider means the manager's.
    virtual AutoPtr<HttpRequestStream> createRequestStream(const String& inVerb, const String& inPath,
                                                           bool inPathIsEncoded, CredentialProvider* inProvider) = 0;
    virtual AutoPtr<HttpManager> getManager() = 0;
    // The host in ASCII-compatible form.
    virtual String getHost() = 0;
    virtual uint16_t getPort() = 0;
    virtual bool isSecure() = 0;
};

// Written to with the body; readBytes and isEof throw errNotImplemented.
class HttpRequestStream : public Stream {
public:
    // One "Name: value" line, added or replacing a header of that name; returns whether WinHTTP took it.
    virtual bool addHeader(const String& inHeaderLine) = 0;
    // Sends the body written so far followed by inExtraSize bytes of inExtraData, answers challenges, and
    // returns the response. Statuses are not errors, except a challenge that the credentials do not meet
    // or that offers no scheme the post may answer (errAuthFailed).
    virtual AutoPtr<HttpResponseStream> post(const void* inExtraData, uint32_t inExtraSize) = 0;
    virtual String getHost() = 0;
    virtual uint16_t getPort() = 0;
    virtual bool isSecure() = 0;
    // "http[s]://host:port/" followed by the path as given.
    virtual String getUrl() = 0;
    // Whether post follows redirections (the default) or returns their answers (3xx with a Location) to
    // the caller. It follows only to the connection's own scheme, host and port, with the headers added
    // and the credentials already given (after a 303 with GET and no body); a redirection anywhere else
    // always comes back to the caller, who decides whether to trust the new host.
    virtual void setFollowRedirects(bool inFollow) = 0;
    // Where the deadline of the request's last post counted from (before a post, what
    // setDeadlineStart gave); a moment that only the client reads. A caller that follows redirections
    // with requests of its own passes the first one's on to each next, so the whole chain keeps to one
    // deadline however many hops the server makes it take.
    virtual uint64_t getDeadlineStart() = 0;
    // The posts of the request count their deadline from inStart, a getDeadlineStart of an earlier
    // request; 0 (the default) counts from each post.
    virtual void setDeadlineStart(uint64_t inStart) = 0;
};

// The response headers as (name, value) pairs, sorted by name in byte order; a later pair with the same name
// comes before the earlier one.
class HttpHeader {
public:
    typedef std::pair<String, String> Pair;

    // Replaces the pairs with those of a raw header block: lines split at CR LF (or LF), a line that starts
    // with a blank continues the one before, each line split at its first colon; name and value without
    // surrounding white space. The status line and lines without a colon or name give no pair.
    void parse(const String& inRawHeaders);
    uint32_t getCount() const { return uint32_t(m_pairs.size()); }
    // errInvalidParam past the count.
    const Pair& getNth(uint32_t inIndex) const;
    // The value of the first pair whose name equals the given one, ASCII case ignored; errNotFound when
    // none does.
    const String& operator[](const String& inName) const;
    // The same test without throwing.
    bool has(const String& inName) const;
    // The values of every pair whose name equals the given one (ASCII case ignored) in the order received,
    // joined by ", " as one field of the name would carry them; empty when there is none. What a field
    // of a list (Content-Encoding, Transfer-Encoding) says, which the value of one of its lines may not.
    String combined(const String& inName) const;

private:
    std::vector<Pair> m_pairs;
    std::vector<uint32_t> m_received; // for each pair, its place in the block
};

// The body is read straight from the network; writeBytes and flushBuffer throw errNotImplemented. The lock
// is the request's.
class HttpResponseStream : public Stream {
public:
    virtual uint32_t getStatus() = 0;
    virtual uint32_t getHeaderCount() = 0;
    virtual void getNthHeader(HttpHeader::Pair& outPair, uint32_t inIndex) = 0;
    virtual String getHeader(const String& inName) = 0;
    // "Content-Length" as a decimal number; errNotFound when missing, errDataBroken when it is no number.
    virtual uint64_t getContentLength() = 0;
    // Whether getHeader finds the name.
    virtual bool hasHeader(const String& inName) = 0;
    // HttpHeader::combined of the name.
    virtual String getCombinedHeader(const String& inName) = 0;

    // 301, 302, 303, 307 and 308: the statuses whose Location names where the resource is.
    static bool isRedirection(uint32_t inStatus);
};

} // namespace Morvenix
