// The response of a posted request: status and headers read once, the body read straight from WinHTTP.
#define MVX_SOURCE "mvx_httpresponse.win"
#include "mvx_http_internal.h"

#include "mvx_exception.h"
#include "mvx_string_internal.h"
#include "mvx_unicode.h"

namespace _Mvx_Internal_NS_ {

namespace {

using Morvenix::String;

// A raw header block past this is refused rather than allocated: no sound server sends one.
const DWORD kMaxRawHeaderBytes = 1024 * 1024;

class HttpResponseStreamImpl : public Morvenix::HttpResponseStream {
public:
    HttpResponseStreamImpl(HINTERNET inRequest, Morvenix::HttpRequestStream* inOwner, bool inBodyExpected,
                           const HttpDeadline& inDeadline)
        : m_request(inRequest), m_owner(inOwner), m_deadline(inDeadline), m_status(0), m_end(false),
          m_hasLength(false), m_length(0), m_received(0)
    {
        DWORD status = 0;
        DWORD size = sizeof(status);
        if (!WinHttpQueryHeaders(m_request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                 WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
            MVX_THROW(Morvenix::errOperationFailed, "errOperationFailed",
                      "Morvenix::HttpResponseStreamImpl::HttpResponseStreamImpl");
        m_status = status;
        parseHeaders();
        // A HEAD answer and the statuses without a body announce a length that never follows.
        if (inBodyExpected && m_status >= 200 && m_status != 204 && m_status != 304 &&
            m_header.has("Content-Length")) {
            m_length = parseLength(m_header["Content-Length"]);
            m_hasLength = true;
        }
    }

    uint32_t readBytes(void* outBuffer, uint32_t inSize, bool inExact) override
    {
        if (inSize == 0)
            return 0;
        Morvenix::AutoLock guard(m_owner.get());
        unsigned char* out = static_cast<unsigned char*>(outBuffer);
        uint32_t total = 0;
        while (total < inSize) {
            // Reading only what has come keeps each call to one wait (WinHTTP may otherwise wait on until
            // the whole count has come), so the deadline is looked at between the server's bytes.
            m_deadline.apply(m_request, "Morvenix::HttpResponseStreamImpl::readBytes");
            DWORD got = 0;
            DWORD ready = 0;
            if (!WinHttpQueryDataAvailable(m_request, &ready) ||
                (ready && !WinHttpReadData(m_request, out + total, ready < inSize - total ? ready : inSize - total,
                                           &got)))
                m_deadline.fail("HttpResponseStreamImpl::readBytes", "Morvenix::HttpResponseStreamImpl::readBytes");
            if (got == 0) {
                m_end = true;
                // A body cut short by the server is broken data, not a short file.
                if (m_hasLength && m_received < m_length)
                    MVX_THROW(Morvenix::errDataBroken,
                              String::format("The connection ended after %llu of %llu bytes of the body.",
                                             (unsigned long long)m_received, (unsigned long long)m_length),
                              "Morvenix::HttpResponseStreamImpl::readBytes");
                if (inExact)
                    MVX_THROW(Morvenix::errEOF, "errEOF", "Morvenix::HttpResponseStreamImpl::readBytes");
                return total;
            }
            total += got;
            m_received += got;
            if (!inExact)
                break;
        }
        return total;
    }

    void writeBytes(const void*, uint32_t) override
    {
        MVX_THROW(Morvenix::errNotImplemented, "errNotImplemented", "Morvenix::HttpResponseStreamImpl::writeBytes");
    }
    void flushBuffer() override
    {
        MVX_THROW(Morvenix::errNotImplemented, "errNotImplemented", "Morvenix::HttpResponseStreamImpl::flushBuffer");
    }
    bool isEof() override { return m_end; }
    void lock() override { m_owner->lock(); }
    void unlock() override { m_owner->unlock(); }

    uint32_t getStatus() override { return m_status; }
    uint32_t getHeaderCount() override { return m_header.getCount(); }
    void getNthHeader(Morvenix::HttpHeader::Pair& outPair, uint32_t inIndex) override
    {
        outPair = m_header.getNth(inIndex);
    }
    String getHeader(const String& inName) override { return m_header[inName]; }
    uint64_t getContentLength() override { return parseLength(m_header["Content-Length"]); }
    bool hasHeader(const String& inName) override { return m_header.has(inName); }
    String getCombinedHeader(const String& inName) override { return m_header.combined(inName); }

private:
    void parseHeaders()
    {
        DWORD size = 0;
        if (!WinHttpQueryHeaders(m_request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                                 WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX) &&
            GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            MVX_THROW_WINHTTP("WinHttpQueryHeaders", "Morvenix::HttpResponseStreamImpl::parseHeaders");
        if (size > kMaxRawHeaderBytes)
            MVX_THROW(Morvenix::errDataBroken, String::format("The response headers take %u bytes.", unsigned(size)),
                      "Morvenix::HttpResponseStreamImpl::parseHeaders");
        Morvenix::WipedBlock<wchar_t> buffer;
        const uint32_t units = size / 2 + 1;
        wchar_t* text = buffer.reset(units);
        Morvenix::secureZero(text, units * sizeof(wchar_t));
        DWORD bytes = (units - 1) * sizeof(wchar_t);
        if (!WinHttpQueryHeaders(m_request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, text,
                                 &bytes, WINHTTP_NO_HEADER_INDEX))
            MVX_THROW_WINHTTP("WinHttpQueryHeaders", "Morvenix::HttpResponseStreamImpl::parseHeaders");
        m_header.parse(String(text, int32_t(bytes / sizeof(wchar_t))));
    }

    // Digits only, without overflow: a length that is no number must not pass for a size.
    static uint64_t parseLength(const String& inValue)
    {
        const char* p = inValue.begin();
        const char* end = inValue.end();
        if (p == end)
            MVX_THROW(Morvenix::errDataBroken, "Content-Length is empty.", "Morvenix::HttpResponseStreamImpl::parseLength");
        uint64_t value = 0;
        if (!_Mvx_Internal_NS_::parseDecimal(p, end, value) || p != end)
            MVX_THROW(Morvenix::errDataBroken,
                      String::format("Content-Length \"%s\" is no size.", excerpt(inValue, 100).c_str()),
                      "Morvenix::HttpResponseStreamImpl::parseLength");
        return value;
    }

    HINTERNET m_request;
    Morvenix::AutoPtr<Morvenix::HttpRequestStream> m_owner;
    HttpDeadline m_deadline;
    Morvenix::HttpHeader m_header;
    uint32_t m_status;
    bool m_end;
    bool m_hasLength;
    uint64_t m_length;
    uint64_t m_received;
};

} // namespace

Morvenix::AutoPtr<Morvenix::HttpResponseStream> createHttpResponse(HINTERNET inRequest,
                                                                   Morvenix::HttpRequestStream* inOwner,
                                                                   bool inBodyExpected, const HttpDeadline& inDeadline)
{
    return Morvenix::AutoPtr<Morvenix::HttpResponseStream>(
        new HttpResponseStreamImpl(inRequest, inOwner, inBodyExpected, inDeadline));
}

} // namespace _Mvx_Internal_NS_
