// The one form in which a failed call of the platform's cryptographic services becomes an exception.
#pragma once

#include "mvx_exception.h"
#include "mvx_string.h"

#include <windows.h>

namespace Morvenix {

// The thread's last Windows error (errOperationFailed when the failed call set none), with the system's
// text of it followed by " on " and the name of the call. inSource and inLine name the throwing site.
[[noreturn]] inline void throwCryptFailure(const char* inCall, const char* inSource, int inLine,
                                           const char* inFunction)
{
    const int code = GetLastError() == ERROR_SUCCESS ? int(errOperationFailed) : mapWin32Error();
    throw Exception(code, formatSystemMessage() + " on " + inCall, inSource, inLine, inFunction);
}

} // namespace Morvenix

#define MVX_THROW_CRYPT_FAILURE(call, function) \
    ::Morvenix::throwCryptFailure((call), MVX_SOURCE, __LINE__, (function))
