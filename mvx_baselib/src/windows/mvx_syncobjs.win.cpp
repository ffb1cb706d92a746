// Locks over critical sections and kernel objects, and once-only initialisation.
#include "mvx_syncobjs.h"

#include "mvx_exception.h"
#include "mvx_string.h"
#include "mvx_win32utils.h"

#include <windows.h>

#define MVX_SOURCE "mvx_syncobjs.win"

namespace Morvenix {

namespace {

// Null for an empty name, which makes the object unnamed.
const wchar_t* kernelName(const String& inName, String& outHolder)
{
    if (inName.isEmpty())
        return nullptr;
    outHolder = Morvenix_Win32::makeGlobalObjectName(inName);
    return outHolder.wc_str();
}

} // namespace

Mutex::Mutex() : m_section(new CRITICAL_SECTION)
{
    InitializeCriticalSection(static_cast<CRITICAL_SECTION*>(m_section));
}

Mutex::~Mutex()
{
    DeleteCriticalSection(static_cast<CRITICAL_SECTION*>(m_section));
    delete static_cast<CRITICAL_SECTION*>(m_section);
}

void Mutex::lock()
{
    EnterCriticalSection(static_cast<CRITICAL_SECTION*>(m_section));
}

void Mutex::unlock()
{
    LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(m_section));
}

// entries is 1 while a caller runs the initialiser. An initialiser that throws gives the claim back
// before its exception reaches its caller, so the callers waiting meanwhile (and later ones) take their
// own turn instead of waiting for a success that will not come.
void callOnce(OnceFlag& flag, void (*initialiser)())
{
    for (;;) {
        if (InterlockedCompareExchange(&flag.done, 0, 0))
            return;
        if (InterlockedCompareExchange(&flag.entries, 1, 0) == 0) {
            try {
                initialiser();
            } catch (...) {
                InterlockedExchange(&flag.entries, 0);
                throw;
            }
            InterlockedExchange(&flag.done, 1);
            return;
        }
        Sleep(0);
    }
}

Semaphore::Semaphore(int32_t inCount, const String& inName)
{
    String name;
    m_handle = CreateSemaphoreW(nullptr, inCount, inCount, kernelName(inName, name));
    if (!m_handle)
        MVX_THROW(errSemInitFailed, "errSemInitFailed", "Morvenix::Semaphore::Semaphore");
}

Semaphore::~Semaphore()
{
    CloseHandle(m_handle);
}

void Semaphore::lock()
{
    if (WaitForSingleObject(m_handle, INFINITE) == WAIT_FAILED)
        MVX_THROW(errLockFailed, "errLockFailed", "Morvenix::Semaphore::lock");
}

void Semaphore::unlock()
{
    if (!ReleaseSemaphore(m_handle, 1, nullptr))
        MVX_THROW(errUnlockFailed, "errUnlockFailed", "Morvenix::Semaphore::unlock");
}

NamedMutex::NamedMutex(const String& inName)
{
    String name;
    SECURITY_ATTRIBUTES attributes;
    SECURITY_ATTRIBUTES* everyone = Morvenix_Win32::createSecurityAttributes(&attributes);
    m_handle = CreateMutexW(everyone, FALSE, kernelName(inName, name));
    if (everyone)
        LocalFree(everyone->lpSecurityDescriptor);
    if (!m_handle)
        MVX_THROW(errInitializationFailed, "errInitializationFailed", "Morvenix::NamedMutex::NamedMutex");
}

NamedMutex::~NamedMutex()
{
    CloseHandle(m_handle);
}

// An abandoned mutex is acquired all the same.
void NamedMutex::lock()
{
    if (WaitForSingleObject(m_handle, INFINITE) == WAIT_FAILED)
        MVX_THROW(errLockFailed, "errLockFailed", "Morvenix::NamedMutex::lock");
}

void NamedMutex::unlock()
{
    if (!ReleaseMutex(m_handle))
        MVX_THROW(errUnlockFailed, "errUnlockFailed", "Morvenix::NamedMutex::unlock");
}

Event::Event() : m_handle(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
    if (!m_handle)
        MVX_THROW(errInitializationFailed, "errInitializationFailed", "Morvenix::Event::Event");
}

Event::~Event()
{
    CloseHandle(m_handle);
}

void Event::signal()
{
    if (!SetEvent(m_handle))
        MVX_THROW(errSignalFailed, "errSignalFailed", "Morvenix::Event::signal");
}

void Event::wait()
{
    if (WaitForSingleObject(m_handle, INFINITE) == WAIT_FAILED)
        MVX_THROW(errWaitFaild, "errWaitFaild", "Morvenix::Event::wait");
}

} // namespace Morvenix
