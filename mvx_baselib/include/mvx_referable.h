// Intrusive reference counting: the base classes of every shared object and the one-word owning pointer.
#pragma once

#include <cstdint>

namespace Morvenix {

// Counted with interlocked operations, so owning pointers may be copied and dropped on any thread.
class Referable {
public:
    Referable() : m_refCount(0) {}
    virtual ~Referable() {}

    int32_t addRef();
    int32_t release();

    Referable(const Referable&) = delete;
    Referable& operator=(const Referable&) = delete;

private:
    volatile long m_refCount;
};

// Same contract with a plain count, for objects that one thread at a time uses.
class ReferableNoTS {
public:
    ReferableNoTS() : m_refCount(0) {}
    virtual ~ReferableNoTS() {}

    int32_t addRef() { return ++m_refCount; }
    int32_t release()
    {
        int32_t n = --m_refCount;
        if (n == 0)
            delete this;
        return n;
    }

    ReferableNoTS(const ReferableNoTS&) = delete;
    ReferableNoTS& operator=(const ReferableNoTS&) = delete;

private:
    int32_t m_refCount;
};

template <class T>
class AutoPtr {
public:
    AutoPtr() : m_ptr(nullptr) {}
    AutoPtr(T* p) : m_ptr(p)
    {
        if (m_ptr)
            m_ptr->addRef();
    }
    AutoPtr(const AutoPtr& o) : m_ptr(o.m_ptr)
    {
        if (m_ptr)
            m_ptr->addRef();
    }
    template <class U>
    AutoPtr(const AutoPtr<U>& o) : m_ptr(o.get())
    {
        if (m_ptr)
            m_ptr->addRef();
    }
    ~AutoPtr() { reset(); }

    AutoPtr& operator=(T* p)
    {
        // The new reference is taken first: p may be reachable only through the object released here
        // (p = p->next).
        if (p != m_ptr) {
            if (p)
                p->addRef();
            T* old = m_ptr;
            m_ptr = p;
            if (old)
                old->release();
        }
        return *this;
    }
    AutoPtr& operator=(const AutoPtr& o) { return *this = o.m_ptr; }
    template <class U>
    AutoPtr& operator=(const AutoPtr<U>& o)
    {
        return *this = static_cast<T*>(o.get());
    }

    void reset()
    {
        if (m_ptr) {
            T* p = m_ptr;
            m_ptr = nullptr;
            p->release();
        }
    }

    T* get() const { return m_ptr; }
    T& operator*() const { return *m_ptr; }
    T* operator->() const { return m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }

private:
    T* m_ptr;
};

template <class T, class U>
bool operator==(const AutoPtr<T>& a, const AutoPtr<U>& b) { return a.get() == b.get(); }
template <class T, class U>
bool operator!=(const AutoPtr<T>& a, const AutoPtr<U>& b) { return a.get() != b.get(); }

} // namespace Morvenix
