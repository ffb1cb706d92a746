// What the HTTP client's files share: the response over a posted request, the WinHTTP error names and
// the exception for a failed WinHTTP call.
#pragma once

#include "mvx_http.h"

#include <windows.h>
#include <winhttp.h>

namespace _Mvx_Internal_NS_ {

// The response of a posted request; it keeps the request (and so its handle and lock) alive. With
// inBodyExpected (not a HEAD request) a body that ends before its Content-Length is an error.
Morvenix::AutoPtr<Morvenix::HttpResponseStream> createHttpResponse(HINTERNET inRequest,
                                                                   Morvenix::HttpRequestStream* inOwner,
                                                                   bool inBodyExpected);

// The published constant name of a WinHTTP error number, "????" for any other.
const char* winHttpErrorName(DWORD inError);

// Throws for the thread's last Windows error: the mapped code, the system's text, a blank and inTail.
[[noreturn]] void throwWinHttpFailure(const Morvenix::String& inTail, const char* inSource, int inLine,
                                      const char* inFunction);

} // namespace _Mvx_Internal_NS_

#define MVX_THROW_WINHTTP(tail, function) \
    ::_Mvx_Internal_NS_::throwWinHttpFailure((tail), MVX_SOURCE, __LINE__, (function))
