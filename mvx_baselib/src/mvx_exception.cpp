// Morvenix::Exception and the portable half of the error helpers: the run-time error mapping and text.
#define MVX_SOURCE "mvx_exception"
#include "mvx_exception.h"

#include "mvx_string.h"

#include <cerrno>
#include <cstring>

namespace Morvenix {

namespace {

const char kNoMessage[] = "No error message obtained...";

} // namespace

Exception::Exception(int code, const char* message, const char* file, int line, const char* function)
    : m_code(code), m_message(nullptr)
{
    // Throw sites build the exception right after a failed call; its error state stays for the handler.
    ErrorStateSaver saver;
    try {
        m_message = new String(String::formatAnsi("%s(%d) : %s: Error %d: %s\n", file, line, function, code,
                                                  message));
    } catch (...) {
        m_message = nullptr;
    }
    writeDebugFile(what());
}

Exception::Exception(int code, const String& message, const char* file, int line, const char* function)
    : m_code(code), m_message(nullptr)
{
    ErrorStateSaver saver;
    try {
        String prefix = String::formatAnsi("%s(%d) : %s: Error %d: ", file, line, function, code);
        m_message = new String(prefix + message + String("\n"));
    } catch (...) {
        m_message = nullptr;
    }
    writeDebugFile(what());
}

Exception::Exception(const Exception& other) : std::exception(other), m_code(other.m_code), m_message(nullptr)
{
    if (other.m_message) {
        try {
            m_message = new String(*other.m_message);
        } catch (...) {
            m_message = nullptr;
        }
    }
}

Exception& Exception::operator=(const Exception& other)
{
    if (this == &other)
        return *this;
    m_code = other.m_code;
    if (m_message && other.m_message) {
        *m_message = *other.m_message;
    } else {
        delete m_message;
        m_message = nullptr;
        if (other.m_message) {
            try {
                m_message = new String(*other.m_message);
            } catch (...) {
                m_message = nullptr;
            }
        }
    }
    return *this;
}

Exception::~Exception()
{
    delete m_message;
}

const char* Exception::what() const noexcept
{
    if (!m_message)
        return kNoMessage;
    try {
        return m_message->ansi_str();
    } catch (...) {
        return kNoMessage;
    }
}

String Exception::getMessage() const
{
    return m_message ? *m_message : String();
}

int mapErrno()
{
    switch (errno) {
    case 2:
        return errNotFound;
    case 12:
        return errOutOfMemory;
    case 13:
        return errPermissionDenied;
    case 17:
        return errAlreadyExists;
    case 22:
        return errInvalidParam;
    default:
        return errOperationFailed;
    }
}

String formatErrnoMessage()
{
    return String::fromAnsi(std::strerror(errno));
}

} // namespace Morvenix
