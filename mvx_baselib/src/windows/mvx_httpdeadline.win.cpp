// The deadline of one request: WinHTTP bounds each wait on its own, so a server that sends a byte just
// before each wait ends would keep a request going for ever; every wait is cut to the time left instead.
#define MVX_SOURCE "mvx_http.win"
#include "mvx_http_internal.h"

#include "mvx_exception.h"

namespace _Mvx_Internal_NS_ {

HttpDeadline::HttpDeadline(const HttpLimits& inLimits, uint64_t inStart)
    : m_limits(inLimits), m_start(inStart ? inStart : GetTickCount64()), m_end(0), m_applied(nullptr), m_cut(false)
{
    if (m_limits.totalMs)
        m_end = m_start + m_limits.totalMs;
}

void HttpDeadline::check(const char* inFunction) const
{
    if (m_limits.totalMs && GetTickCount64() >= m_end)
        throwPast(inFunction);
}

DWORD HttpDeadline::msLeft() const
{
    if (!m_limits.totalMs)
        return INFINITE;
    const uint64_t now = GetTickCount64();
    return now >= m_end ? 0 : DWORD(m_end - now);
}

void HttpDeadline::apply(HINTERNET inRequest, const char* inFunction)
{
    const uint64_t now = GetTickCount64();
    if (m_limits.totalMs && now >= m_end)
        throwPast(inFunction);
    const DWORD left = m_limits.totalMs ? DWORD(m_end - now) : 0;
    // 0 waits for ever; with a deadline no wait outlasts the time left. Waits set whole on this handle
    // before need not be set again (reads come often, and far from the deadline nothing changes).
    const bool wasWhole = m_applied == inRequest && !m_cut;
    m_cut = false;
    auto cut = [this, left](DWORD inWait) {
        if (!left || (inWait && inWait <= left))
            return inWait;
        m_cut = true;
        return left;
    };
    const DWORD headers = cut(m_limits.headersMs);
    const DWORD resolve = cut(m_limits.resolveMs), connect = cut(m_limits.connectMs), send = cut(m_limits.sendMs),
                receive = cut(m_limits.receiveMs);
    if (wasWhole && !m_cut)
        return;
    m_applied = inRequest;
    WinHttpSetTimeouts(inRequest, int(resolve), int(connect), int(send), int(receive));
    DWORD wait = headers;
    WinHttpSetOption(inRequest, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &wait, sizeof(wait));
}

void HttpDeadline::fail(const Morvenix::String& inTail, const char* inFunction) const
{
    // WinHTTP reports its own time-out; Wine's passes on the socket's.
    const DWORD error = GetLastError();
    if (m_cut && (error == ERROR_WINHTTP_TIMEOUT || error == WSAETIMEDOUT))
        throwPast(inFunction);
    throwWinHttpFailure(inTail, MVX_SOURCE, __LINE__, inFunction);
}

void HttpDeadline::throwPast(const char* inFunction) const
{
    SetLastError(ERROR_WINHTTP_TIMEOUT);
    MVX_THROW_WINHTTP(
        Morvenix::String::format("The request went past its deadline of %u ms.", unsigned(m_limits.totalMs)),
        inFunction);
}

} // namespace _Mvx_Internal_NS_
