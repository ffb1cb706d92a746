// The HTTP storage loader: a remote resource's size from a HEAD request, its bytes in block-aligned windows
// from ranged GET requests; and the manager's storage over a URL, the loader under a sparse cache.
#define MVX_SOURCE "mvx_http"

#include "mvx_cachedstorage.h"
#include "mvx_credentials.h"
#include "mvx_exception.h"
#include "mvx_http.h"
#include "mvx_simplearray.h"
#include "mvx_storageloader.h"
#include "mvx_string_internal.h"
#include "mvx_url.h"

#include <string>
#include <vector>

namespace Morvenix {

namespace {

const uint32_t kDefaultBlockSize = 32768;
// The copy buffer follows the block size within these bounds: tiny blocks would mean a read call per
// byte, huge ones a huge allocation.
const uint32_t kMinCopyBuffer = 4096;
const uint32_t kMaxCopyBuffer = 1024 * 1024;
// Redirections followed for one request; a longer chain is refused rather than followed for ever.
const int kMaxRedirects = 8;
// What an error shows of a text the server sent, in characters.
const uint32_t kShownChars = 100;

// Gives the URL's own user name and password to a challenge of the URL's own scheme, host and port only,
// also after a redirection, and only once the server has proved who it is (TLS with the certificate
// checked): whoever else asks, and a question that names no scope, get the manager's provider, as a URL
// without credentials would.
class UrlCredentialProvider : public CredentialProvider {
public:
    UrlCredentialProvider(const String& inUser, const String& inPassword, const String& inScheme,
                          const String& inHost, uint16_t inPort, CredentialProvider* inOthers)
        : m_fixed(SimpleCredentialProviderImpl::create(inUser, inPassword, String())), m_scheme(inScheme),
          m_host(inHost), m_port(inPort), m_others(inOthers)
    {
    }
    void getCredential(AutoPtr<CredentialInfo>& outCredential, uint32_t inKind, const String& inCaption,
                       uint32_t inFlags) override
    {
        if (m_others)
            m_others->getCredential(outCredential, inKind, inCaption, inFlags);
        else
            outCredential.reset();
    }
    void getCredentialFor(AutoPtr<CredentialInfo>& outCredential, const CredentialScope& inScope,
                          const String& inCaption, uint32_t inFlags) override
    {
        if (inScope.kind == kindServer && inScope.verified && inScope.scheme == m_scheme && inScope.port == m_port &&
            inScope.host.compareNoCase(m_host) == 0)
            m_fixed->getCredential(outCredential, inScope.kind, inCaption, inFlags);
        else if (m_others)
            m_others->getCredentialFor(outCredential, inScope, inCaption, inFlags);
        else
            outCredential.reset();
    }

private:
    AutoPtr<CredentialProvider> m_fixed;
    String m_scheme;
    String m_host; // ASCII form
    uint16_t m_port;
    AutoPtr<CredentialProvider> m_others;
};

// "bytes FIRST-LAST/TOTAL" (TOTAL may be "*" or missing: outTotal stays unknown). False for any other
// form, a last byte before the first among them.
bool parseContentRange(const String& inValue, uint64_t& outFirst, uint64_t& outLast, uint64_t& outTotal)
{
    const char* p = inValue.begin();
    const char* end = inValue.end();
    while (p != end && !(*p >= '0' && *p <= '9'))
        ++p;
    if (!_Mvx_Internal_NS_::parseDecimal(p, end, outFirst) || p == end || *p != '-')
        return false;
    ++p;
    if (!_Mvx_Internal_NS_::parseDecimal(p, end, outLast) || outLast < outFirst)
        return false;
    outTotal = StorageLoader::unknownSize;
    if (p != end && *p == '/') {
        ++p;
        if (p != end && *p == '*')
            return true;
        return _Mvx_Internal_NS_::parseDecimal(p, end, outTotal);
    }
    return true;
}

// The cache holds the resource's own bytes at their own offsets: a body in a coding cannot be placed. Every
// field of a name counts (one "identity" line must not hide a "gzip" one): no content coding but identity
// (empty elements of the list, as "identity," or an empty line leave, name none), no transfer coding but one
// chunked, which WinHTTP takes off.
void checkCodings(HttpResponseStream& inAnswer)
{
    static const char* const kFunction = "Morvenix::HttpStorageLoaderImpl::request";
    if (inAnswer.hasHeader("Content-Encoding")) {
        const String codings = inAnswer.getCombinedHeader("Content-Encoding");
        for (const String& coding : _Mvx_Internal_NS_::splitList(codings, ","))
            if (!coding.isEmpty() && coding.compareNoCase("identity") != 0)
                MVX_THROW(errReadFailed,
                          String::format("The answer is not the resource's own bytes (Content-Encoding: %s)!",
                                         _Mvx_Internal_NS_::excerpt(codings, kShownChars).c_str()),
                          kFunction);
    }
    if (inAnswer.hasHeader("Transfer-Encoding")) {
        const String codings = inAnswer.getCombinedHeader("Transfer-Encoding");
        const std::vector<String> elements = _Mvx_Internal_NS_::splitList(codings, ",");
        if (elements.size() != 1 || elements[0].compareNoCase("chunked") != 0)
            MVX_THROW(errReadFailed,
                      String::format("The answer is not the resource's own bytes (Transfer-Encoding: %s)!",
                                     _Mvx_Internal_NS_::excerpt(codings, kShownChars).c_str()),
                      kFunction);
    }
}

} // namespace

class HttpStorageLoaderImpl : public StorageLoader {
public:
    // inProvider: a clone's, the original's provider (its URL has no password left to make one of);
    // null for a new loader.
    HttpStorageLoaderImpl(HttpManager* inManager, const String& inUrl, CredentialProvider* inProvider,
                          bool inVerifyCertificate, ProgressCallback inCallback, void* inContext);

    Range<uint64_t> load(Storage& ioDestination, uint64_t inOffset, uint32_t inSize) override;
    uint64_t getSize() override { return m_size; }
    String getName() override { return m_name; }
    // A copy fills the same cache: it must speak of the version already cached, not of whatever its own
    // HEAD request finds now.
    AutoPtr<StorageLoader> clone() override
    {
        AutoPtr<HttpStorageLoaderImpl> copy(new HttpStorageLoaderImpl(
            m_connection->getManager().get(), m_name, m_provider.get(), m_verify, m_callback, m_context));
        if ((!m_etag.isEmpty() && copy->m_etag != m_etag) ||
            (!m_lastModified.isEmpty() && copy->m_lastModified != m_lastModified))
            MVX_THROW(errReadFailed, "The resource has changed!", "Morvenix::HttpStorageLoaderImpl::clone");
        copy->m_etag = m_etag;
        copy->m_lastModified = m_lastModified;
        return AutoPtr<StorageLoader>(copy.get());
    }
    uint32_t setBlockSize(uint32_t inBlockSize) override
    {
        uint32_t size = 1;
        while (size < inBlockSize && size < 0x80000000u)
            size <<= 1;
        m_blockSize = size;
        return size;
    }
    void setProgressCallback(ProgressCallback inCallback, void* inContext) override
    {
        m_callback = inCallback;
        m_context = inContext;
    }
    uint64_t getDeadlineStart() override { return m_loadedFrom ? m_loadedFrom : m_countFrom; }
    void setDeadlineStart(uint64_t inStart) override
    {
        m_countFrom = inStart;
        m_loadedFrom = 0;
    }

private:
    // ioDeadlineStart: where the deadline counts from (0: the first request's post); on return, where it
    // counted from.
    AutoPtr<HttpResponseStream> request(const char* inVerb, const String& inHeader, uint64_t& ioDeadlineStart);
    void follow(const String& inLocation, AutoPtr<HttpConnection>& ioConnection, String& ioTarget);
    // The answer must speak of the resource the HEAD request described: a validator that differs means
    // the bytes already cached belong to another version. A validator the HEAD answer lacked is taken from
    // the first answer that gives it, so that later changes are still seen.
    void checkValidators(HttpResponseStream& inAnswer)
    {
        checkValidator(inAnswer, "ETag", m_etag);
        checkValidator(inAnswer, "Last-Modified", m_lastModified);
    }
    static void checkValidator(HttpResponseStream& inAnswer, const char* inName, String& ioKnown)
    {
        if (!inAnswer.hasHeader(inName))
            return;
        const String value = inAnswer.getHeader(inName);
        if (ioKnown.isEmpty())
            ioKnown = value;
        else if (value != ioKnown)
            MVX_THROW(errReadFailed, "The resource has changed!", "Morvenix::HttpStorageLoaderImpl::load");
    }
    uint64_t copyBody(HttpResponseStream& inAnswer, uint64_t inSkip, Storage& ioDestination, uint64_t inFirst,
                      uint64_t inLimit);

    // The URL without its password, which only the provider keeps (encrypted).
    String m_name;
    String m_target;
    AutoPtr<HttpConnection> m_connection;
    uint64_t m_size;
    uint32_t m_blockSize;
    bool m_verify;
    AutoPtr<CredentialProvider> m_provider;
    ProgressCallback m_callback;
    void* m_context;
    String m_etag;
    String m_lastModified;
    uint64_t m_countFrom = 0;  // where the deadline of each load counts from; 0: the load
    uint64_t m_loadedFrom = 0; // where the last load's counted from
};

HttpStorageLoaderImpl::HttpStorageLoaderImpl(HttpManager* inManager, const String& inUrl,
                                             CredentialProvider* inProvider, bool inVerifyCertificate,
                                             ProgressCallback inCallback, void* inContext)
    : m_name(Url::withoutPassword(inUrl)), m_size(unknownSize), m_blockSize(kDefaultBlockSize),
      m_verify(inVerifyCertificate), m_callback(inCallback), m_context(inContext)
{
    if (!inManager)
        MVX_THROW(errInvalidParam, "errInvalidParam", "Morvenix::HttpStorageLoaderImpl::HttpStorageLoaderImpl");
    Url::Parts parts;
    Url::separateUrl(parts, inUrl);
    parts.scheme = parts.scheme.toLower();
    m_target = Url::requestTarget(parts);
    if (parts.scheme == "http")
        m_connection = inManager->createConnection(parts.host, uint16_t(parts.port));
    else if (parts.scheme == "https")
        m_connection = inManager->createSecureConnection(parts.host, uint16_t(parts.port), inVerifyCertificate);
    else
        MVX_THROW(errInvalidParam, String::format("Invalid protocol \"%s\"\n", parts.scheme.c_str()),
                  "Morvenix::HttpStorageLoaderImpl::HttpStorageLoaderImpl");
    if (inProvider)
        m_provider = inProvider;
    else if (!parts.user.isEmpty() || !parts.password.isEmpty())
        m_provider = new UrlCredentialProvider(parts.user, parts.password, parts.scheme, m_connection->getHost(),
                                               m_connection->getPort(), inManager->getCredentialProvider());
    else
        m_provider = inManager->getCredentialProvider();

    uint64_t deadlineStart = 0;
    AutoPtr<HttpResponseStream> answer = request("HEAD", String(), deadlineStart);
    if (answer->hasHeader("Content-Length"))
        m_size = answer->getContentLength();
    if (answer->getStatus() / 100 == 2)
        checkValidators(*answer);
}

// The loader follows redirections itself: WinHTTP would carry the credentials set for one host on to the
// next. Each hop is a request of its own, whose challenges the provider answers for the host that asks;
// all keep to one deadline, from ioDeadlineStart or the first one's post, so a server cannot stretch one
// operation by a deadline a hop.
AutoPtr<HttpResponseStream> HttpStorageLoaderImpl::request(const char* inVerb, const String& inHeader,
                                                           uint64_t& ioDeadlineStart)
{
    AutoPtr<HttpConnection> connection = m_connection;
    String target = m_target;
    for (int hop = 0;; ++hop) {
        AutoPtr<HttpRequestStream> r = connection->createRequestStream(inVerb, target, true, m_provider.get());
        r->setFollowRedirects(false);
        r->setDeadlineStart(ioDeadlineStart);
        // The cache holds the resource's own bytes at their own offsets (checkCodings).
        r->addHeader("Accept-Encoding: identity");
        if (!inHeader.isEmpty())
            r->addHeader(inHeader);
        AutoPtr<HttpResponseStream> answer = r->post(nullptr, 0);
        ioDeadlineStart = r->getDeadlineStart();
        if (!HttpResponseStream::isRedirection(answer->getStatus()) || !answer->hasHeader("Location")) {
            if (answer->getStatus() / 100 == 2)
                checkCodings(*answer);
            return answer;
        }
        const String location = answer->getHeader("Location");
        if (hop == kMaxRedirects)
            MVX_THROW(errReadFailed, "Too many redirections!", "Morvenix::HttpStorageLoaderImpl::request");
        // The request holds its connection's lock until it goes.
        answer.reset();
        r.reset();
        follow(location, connection, target);
    }
}

// Points connection and target at a Location: an absolute URL, one without scheme, an absolute path or
// a path relative to the target. A redirection from https to http is refused, as WinHTTP refuses it.
void HttpStorageLoaderImpl::follow(const String& inLocation, AutoPtr<HttpConnection>& ioConnection, String& ioTarget)
{
    static const char* const kFunction = "Morvenix::HttpStorageLoaderImpl::request";
    const bool secure = ioConnection->isSecure();
    Url::Parts parts;
    Url::resolveLocation(parts, secure, ioConnection->getHost(), ioConnection->getPort(), ioTarget, inLocation);
    if (parts.scheme != "http" && parts.scheme != "https")
        MVX_THROW(errInvalidParam,
                  String::format("Invalid protocol \"%s\"\n",
                                 _Mvx_Internal_NS_::excerpt(parts.scheme, kShownChars).c_str()),
                  kFunction);
    const bool toSecure = parts.scheme == "https";
    if (secure && !toSecure)
        MVX_THROW(errReadFailed, "Redirection from https to http refused!", kFunction);
    const uint16_t port = uint16_t(parts.port);
    AutoPtr<HttpManager> manager = ioConnection->getManager();
    if (toSecure != secure || port != ioConnection->getPort() ||
        Url::hostToAscii(parts.host).compareNoCase(ioConnection->getHost()) != 0)
        ioConnection = toSecure ? manager->createSecureConnection(parts.host, port, m_verify)
                                : manager->createConnection(parts.host, port);
    ioTarget = Url::requestTarget(parts);
}

Range<uint64_t> HttpStorageLoaderImpl::load(Storage& ioDestination, uint64_t inOffset, uint32_t inSize)
{
    static const char* const kFunction = "Morvenix::HttpStorageLoaderImpl::load";
    if (inSize == 0)
        return Range<uint64_t>{inOffset, 0};
    const uint64_t block = m_blockSize;
    const uint64_t begin = inOffset & ~(block - 1);
    // In 64 bits, held below the top of the range: the window's last byte must be a number.
    uint64_t end = inOffset + inSize;
    if (end < inOffset || end > ~uint64_t(0) - block)
        end = ~uint64_t(0);
    else
        end = (end + block - 1) & ~(block - 1);
    const uint64_t window = end - begin;

    uint64_t deadlineStart = m_countFrom;
    AutoPtr<HttpResponseStream> answer =
        request("GET",
                String::format("Range: bytes=%llu-%llu", static_cast<unsigned long long>(begin),
                               static_cast<unsigned long long>(end - 1)),
                deadlineStart);
    m_loadedFrom = deadlineStart;
    const uint32_t status = answer->getStatus();
    if (status / 100 != 2)
        MVX_THROW(errReadFailed, String::format("HTTP Status=%u", unsigned(status)), kFunction);
    checkValidators(*answer);

    if (status != 206) {
        // The whole resource from its first byte, whatever Content-Range it carries (only partial content
        // is a part); its length tells whether it is still the one measured. Only the window is kept,
        // whatever length the server claims: the bytes before it are read past, and the answer is closed
        // unread after it.
        const uint64_t length = answer->getContentLength();
        if (m_size != unknownSize && length != m_size)
            MVX_THROW(errReadFailed, "The resource has changed!", kFunction);
        if (length <= begin)
            return Range<uint64_t>{begin, 0};
        const uint64_t rest = length - begin;
        return Range<uint64_t>{begin, copyBody(*answer, begin, ioDestination, begin, rest < window ? rest : window)};
    }
    // Partial content without its range cannot be placed.
    uint64_t first = 0, last = 0, total = 0;
    if (!answer->hasHeader("Content-Range") ||
        !parseContentRange(answer->getHeader("Content-Range"), first, last, total))
        MVX_THROW(errReadFailed, "Invalid Content-Range format!", kFunction);
    if (first != begin)
        MVX_THROW(errReadFailed, "???? Content-Range is not identical to the request!", kFunction);
    if (m_size != unknownSize && total != unknownSize && total != m_size)
        MVX_THROW(errReadFailed, "The resource has changed!", kFunction);
    // Never more than was asked for, whatever the answer claims.
    const uint64_t claimed = last - first;
    const uint64_t length = claimed < window ? claimed + 1 : window;
    return Range<uint64_t>{first, copyBody(*answer, 0, ioDestination, first, length)};
}

// Reads past the first inSkip bytes of the body, then copies at most inLimit bytes to inFirst in the
// destination, in 64 bits; returns how many were copied (fewer when the body ends first).
uint64_t HttpStorageLoaderImpl::copyBody(HttpResponseStream& inAnswer, uint64_t inSkip, Storage& ioDestination,
                                         uint64_t inFirst, uint64_t inLimit)
{
    const uint32_t bufferSize =
        m_blockSize < kMinCopyBuffer ? kMinCopyBuffer : (m_blockSize > kMaxCopyBuffer ? kMaxCopyBuffer : m_blockSize);
    SimpleArray<unsigned char, 2> buffer(bufferSize, int32_t(bufferSize));
    for (uint64_t skipped = 0; skipped < inSkip;) {
        const uint64_t left = inSkip - skipped;
        const uint32_t n = inAnswer.readBytes(buffer.data(), left < bufferSize ? uint32_t(left) : bufferSize, false);
        if (n == 0)
            return 0;
        skipped += n;
    }
    const uint32_t total32 = inLimit > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(inLimit);
    if (m_callback)
        m_callback(m_context, 0, total32);
    ioDestination.setPos(inFirst);
    uint64_t copied = 0;
    while (copied < inLimit) {
        const uint64_t left = inLimit - copied;
        const uint32_t n = inAnswer.readBytes(buffer.data(), left < bufferSize ? uint32_t(left) : bufferSize, false);
        if (n == 0)
            break;
        ioDestination.writeBytes(buffer.data(), n);
        copied += n;
        if (m_callback)
            m_callback(m_context, copied > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(copied), total32);
    }
    return copied;
}

AutoPtr<StorageLoader> StorageLoader::createHttp(HttpManager* inManager, const String& inUrl, bool inVerifyCertificate,
                                                 ProgressCallback inCallback, void* inContext)
{
    return AutoPtr<StorageLoader>(
        new HttpStorageLoaderImpl(inManager, inUrl, nullptr, inVerifyCertificate, inCallback, inContext));
}

AutoPtr<Storage> HttpManager::createStorage(const String& inUrl, bool inVerifyCertificate, ProgressCallback inCallback,
                                            void* inContext)
{
    AutoPtr<StorageLoader> loader = StorageLoader::createHttp(this, inUrl, inVerifyCertificate, inCallback, inContext);
    return AutoPtr<Storage>(AdvCachedStorage::create(loader.get()).get());
}

} // namespace Morvenix
