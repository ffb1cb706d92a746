// The one exception type of the libraries, its error codes, and the mapping of system errors onto them.
#pragma once

#include <cstdint>
#include <exception>

namespace Morvenix {

class String;

enum ErrorCode : int32_t {
    errInternalError = -2,
    errOutOfMemory = 1,
    errPermissionDenied = 2,
    errAccessDenied = 3,
    errAuthFailed = 5,
    errInvalidParam = 7,
    errAlreadyExists = 10,
    errNotFound = 12,
    errEOF = 13,
    errInitializationFailed = 14,
    errOpenFailed = 15,
    errReadFailed = 16,
    errWriteFailed = 17,
    errSeekFailed = 18,
    errBufferOverflow = 19,
    errDataBroken = 20,
    errOperationFailed = 26,
    errNotSupported = 27,
    errNotImplemented = 28,
    errSemInitFailed = 5000,
    errLockFailed = 5004,
    errUnlockFailed = 5005,
    errSignalFailed = 5006,
    errWaitFaild = 5007,
};

class Exception : public std::exception {
public:
    // The message becomes "<file>(<line>) : <function>: Error <code>: <message>\n".
    Exception(int code, const char* message, const char* file, int line, const char* function);
    Exception(int code, const String& message, const char* file, int line, const char* function);
    Exception(const Exception& other);
    Exception& operator=(const Exception& other);
    ~Exception() override;

    const char* what() const noexcept override;
    int getCode() const { return m_code; }
    String getMessage() const;

private:
    int32_t m_code;
    String* m_message; // null only when its allocation failed
};

// Keeps errno and the thread's last Windows error across clean-up code.
class ErrorStateSaver {
public:
    ErrorStateSaver();
    ~ErrorStateSaver();
    void restore();

private:
    int32_t m_errno;
    uint32_t m_lastError;
};

void writeDebugFile(const char* text);
int mapWin32Error();
int mapErrno();
String formatSystemMessage();
String formatErrnoMessage();
[[noreturn]] void reportAssertionFailure(const char* expression, const char* file, int line, const char* function);
inline void reportAssertion(bool condition, const char* expression, const char* file, int line,
                            const char* function)
{
    if (!condition)
        reportAssertionFailure(expression, file, line, function);
}

} // namespace Morvenix

// Throw sites name their source with MVX_SOURCE, defined once near the top of each source file as the
// file's relative name without extension, and pass their function's qualified name as a literal.
#define MVX_THROW(code, message, function) \
    throw ::Morvenix::Exception((code), (message), MVX_SOURCE, __LINE__, (function))
