// Storages that stand for other streams: a window onto another storage, and a stream loaded into memory.
#define MVX_SOURCE "mvx_storage"

#include "mvx_partialstorage.h"
#include "mvx_wrapperstorage.h"

#include "mvx_exception.h"
#include "mvx_memstorage.h"
#include "mvx_string.h"
#include "mvx_syncobjs.h"

namespace Morvenix {

// Every read, write and seek is held inside [begin, end] at both ends: the inner storage may hold data
// on either side of the window that the window's user must not reach.
class PartialStorageImpl : public PartialStorage {
public:
    PartialStorageImpl(const AutoPtr<Storage>& inInner, uint64_t inBegin, uint64_t inEnd, bool inReadOnly)
        : m_inner(inInner), m_begin(inBegin), m_end(inEnd), m_readOnly(inReadOnly)
    {
    }

    uint32_t readBytes(void* outBuffer, uint32_t inSize, bool inExact) override
    {
        const uint64_t p = m_inner->getPos();
        if (p < m_begin)
            MVX_THROW(errReadFailed, "Cannot read before the storage start!", "Morvenix::PartialStorageImpl::readBytes");
        if (p + inSize > m_end || p + inSize < p) {
            if (inExact)
                MVX_THROW(errReadFailed, "Cannot read because of the storage size!",
                          "Morvenix::PartialStorageImpl::readBytes");
            if (p > m_end)
                MVX_THROW(errReadFailed, "Cannot read beyond EOF!", "Morvenix::PartialStorageImpl::readBytes");
            inSize = uint32_t(m_end - p);
        }
        return m_inner->readBytes(outBuffer, inSize, inExact);
    }

    void writeBytes(const void* inBuffer, uint32_t inSize) override
    {
        if (m_readOnly)
            MVX_THROW(errWriteFailed, "The storage is read-only!", "Morvenix::PartialStorageImpl::writeBytes");
        const uint64_t p = m_inner->getPos();
        if (p < m_begin)
            MVX_THROW(errWriteFailed, "Cannot write before the storage start!",
                      "Morvenix::PartialStorageImpl::writeBytes");
        if (p + inSize > m_end || p + inSize < p)
            MVX_THROW(errWriteFailed, "Cannot write because of the storage size!",
                      "Morvenix::PartialStorageImpl::writeBytes");
        m_inner->writeBytes(inBuffer, inSize);
    }

    void flushBuffer() override { m_inner->flushBuffer(); }

    // Outside the window nothing can be read.
    bool isEof() override
    {
        const uint64_t p = m_inner->getPos();
        return p < m_begin || p >= m_end;
    }

    uint64_t getSize() override
    {
        const uint64_t innerSize = m_inner->getSize();
        if (innerSize <= m_begin)
            return 0;
        const uint64_t available = innerSize - m_begin, length = m_end - m_begin;
        return available < length ? available : length;
    }

    uint64_t getPos() override { return m_inner->getPos() - m_begin; }
    void reserve(uint64_t) override {}

    void setPos(uint64_t inPos) override
    {
        if (inPos > m_end - m_begin)
            MVX_THROW(errInvalidParam, "errInvalidParam", "Morvenix::PartialStorageImpl::setPos");
        m_inner->setPos(m_begin + inPos);
    }

    void setPosRelative(int64_t inOffset) override
    {
        const uint64_t p = m_inner->getPos();
        // Compared against the distances to both ends, so that no offset can overflow.
        if (p < m_begin || p > m_end || (inOffset < 0 && uint64_t(0) - uint64_t(inOffset) > p - m_begin) ||
            (inOffset > 0 && uint64_t(inOffset) > m_end - p))
            MVX_THROW(errInvalidParam, "errInvalidParam", "Morvenix::PartialStorageImpl::setPosRelative");
        m_inner->setPos(p + uint64_t(inOffset));
    }

    void setPosFromEnd(int64_t inOffset) override
    {
        if (inOffset > 0 || uint64_t(0) - uint64_t(inOffset) > m_end - m_begin)
            MVX_THROW(errInvalidParam, "errInvalidParam", "Morvenix::PartialStorageImpl::setPosFromEnd");
        m_inner->setPos(m_end + uint64_t(inOffset));
    }

    void setEof() override
    {
        MVX_THROW(errNotImplemented, "setEof is not supported.", "Morvenix::PartialStorageImpl::setEof");
    }

    String getName() override { return m_inner->getName(); }

    // The inner duplicate starts where the inner storage stands, so the new window does too.
    AutoPtr<Storage> duplicate() override
    {
        return new PartialStorageImpl(m_inner->duplicate(), m_begin, m_end, m_readOnly);
    }

    void lock() override { m_inner->lock(); }
    void unlock() override { m_inner->unlock(); }

private:
    AutoPtr<Storage> m_inner;
    uint64_t m_begin;
    uint64_t m_end; // exclusive
    bool m_readOnly;
};

AutoPtr<PartialStorage> PartialStorage::create(const AutoPtr<Storage>& inInner, uint64_t inBegin, uint64_t inLength,
                                               bool inReadOnly)
{
    const uint64_t end = inBegin + inLength;
    if (end < inBegin || inInner->getSize() < end)
        MVX_THROW(errInvalidParam, "The input storage is not so large!", "Morvenix::PartialStorage::create");
    AutoPtr<PartialStorage> result(new PartialStorageImpl(inInner, inBegin, end, inReadOnly));
    inInner->setPos(inBegin);
    return result;
}

// Loads on first use, under its mutex. A load that fails is not retried: the source has been read
// partly, and what a second attempt would load is not the stream's data.
class WrapperStorageImpl : public WrapperStorage {
public:
    WrapperStorageImpl(const AutoPtr<Stream>& inSource, bool inWritable)
        : m_source(inSource), m_writable(inWritable), m_loadFailed(false)
    {
    }

    // A duplicate over the memory storage of another wrapper; that storage keeps the bytes alive.
    WrapperStorageImpl(const AutoPtr<MemoryStorage>& inLoaded, bool inWritable)
        : m_loaded(inLoaded), m_writable(inWritable), m_loadFailed(false)
    {
    }

    uint32_t readBytes(void* outBuffer, uint32_t inSize, bool inExact) override
    {
        return load().readBytes(outBuffer, inSize, inExact);
    }

    void writeBytes(const void* inBuffer, uint32_t inSize) override
    {
        if (!m_writable)
            MVX_THROW(errWriteFailed, "writeBytes is not supported!", "Morvenix::WrapperStorageImpl::writeBytes");
        load().writeBytes(inBuffer, inSize);
    }

    void flushBuffer() override {}
    bool isEof() override { return load().isEof(); }
    uint64_t getSize() override { return load().getSize(); }

    uint64_t getPos() override
    {
        AutoLock lock(m_mutex);
        return m_loaded ? m_loaded->getPos() : 0;
    }

    void reserve(uint64_t inSize) override { load().reserve(inSize); }
    void setPos(uint64_t inPos) override { load().setPos(inPos); }
    void setPosRelative(int64_t inOffset) override { load().setPosRelative(inOffset); }
    void setPosFromEnd(int64_t inOffset) override { load().setPosFromEnd(inOffset); }

    void setEof() override
    {
        if (!m_writable)
            MVX_THROW(errWriteFailed, "setEof is not supported!", "Morvenix::WrapperStorageImpl::setEof");
        load().setEof();
    }

    String getName() override
    {
        load();
        return String::format("WrapperStorage %08llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)));
    }

    AutoPtr<Storage> duplicate() override
    {
        MemoryStorage& loaded = load();
        AutoPtr<Storage> copy = loaded.duplicate();
        return new WrapperStorageImpl(AutoPtr<MemoryStorage>(static_cast<MemoryStorage*>(copy.get())), m_writable);
    }

    void lock() override { m_mutex.lock(); }
    void unlock() override { m_mutex.unlock(); }

private:
    // A read-only wrapper holds the whole source and stands at its start; a writable one starts empty.
    MemoryStorage& load()
    {
        AutoLock lock(m_mutex);
        if (m_loadFailed)
            MVX_THROW(errReadFailed, "Loading the source failed!", "Morvenix::WrapperStorageImpl::load");
        if (!m_loaded) {
            AutoPtr<MemoryStorage> loaded = MemoryStorage::create();
            if (!m_writable && m_source) {
                try {
                    loaded->copyAll(*m_source, 1024, nullptr, nullptr);
                } catch (...) {
                    m_loadFailed = true;
                    m_source.reset();
                    throw;
                }
                m_source.reset();
                loaded->setPos(0);
            }
            m_loaded = loaded;
        }
        return *m_loaded;
    }

    AutoPtr<MemoryStorage> m_loaded;
    AutoPtr<Stream> m_source;
    bool m_writable;
    bool m_loadFailed;
    Mutex m_mutex;
};

AutoPtr<WrapperStorage> WrapperStorage::create(const AutoPtr<Stream>& inSource, bool inWritable)
{
    return new WrapperStorageImpl(inSource, inWritable);
}

} // namespace Morvenix
