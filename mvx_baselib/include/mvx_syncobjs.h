// Locks: the Lockable interface every stream, storage and chunk carries, the in-process mutex behind it,
// the scoped lock, once-only initialisation, and wrappers around kernel semaphores, mutexes and events.
#pragma once

#include <cstdint>

namespace Morvenix {

class String;

class Lockable {
public:
    virtual void lock() = 0;
    virtual void unlock() = 0;
    virtual ~Lockable() {}
};

// Recursive: the owning thread may lock it again, and unlocks once per lock.
class Mutex : public Lockable {
public:
    Mutex();
    ~Mutex() override;
    void lock() override;
    void unlock() override;

    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

private:
    void* m_section; // heap CRITICAL_SECTION
};

class AutoLock {
public:
    explicit AutoLock(Lockable* lockable) : m_lockable(lockable)
    {
        if (m_lockable)
            m_lockable->lock();
    }
    explicit AutoLock(Lockable& lockable) : AutoLock(&lockable) {}
    ~AutoLock() { release(); }
    void release()
    {
        if (m_lockable) {
            Lockable* l = m_lockable;
            m_lockable = nullptr;
            l->unlock();
        }
    }

    AutoLock(const AutoLock&) = delete;
    AutoLock& operator=(const AutoLock&) = delete;

private:
    Lockable* m_lockable;
};

// Static storage, zero-initialised.
struct OnceFlag {
    volatile long done;
    volatile long entries;
};

// Runs the initialiser until it has once returned normally; callers that arrive while it runs yield until
// it ends. An initialiser that throws has not run: its exception reaches the caller that ran it, and the
// next caller (one that was waiting, or a later one) runs it again.
void callOnce(OnceFlag& flag, void (*initialiser)());

class Semaphore : public Lockable {
public:
    // Initial and maximum count are both inCount; an empty name makes it unnamed, any other name is
    // made machine-wide.
    Semaphore(int32_t inCount, const String& inName);
    ~Semaphore() override;
    void lock() override;
    void unlock() override;

    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

private:
    void* m_handle;
};

class NamedMutex : public Lockable {
public:
    explicit NamedMutex(const String& inName);
    ~NamedMutex() override;
    void lock() override;
    void unlock() override;

    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

private:
    void* m_handle;
};

// Auto-reset, initially not signalled.
class Event {
public:
    Event();
    ~Event();
    void signal();
    void wait();

    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

private:
    void* m_handle;
};

} // namespace Morvenix
