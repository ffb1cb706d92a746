// The disk storage with rollback. An existing target is only ever read until commit: every write goes to
// a hidden working file beside it, which the commit moves into its place in one step. Whatever this
// storage created and did not commit is deleted when it goes, except a working file whose commit failed:
// that file holds the only copy of what was written, so it stays, visible, and the error names it, unless
// the caller can write it again and the old target still stands.
#define MVX_SOURCE "mvx_diskstorage_rb"

#include "mvx_diskstorage_rb.h"

#include "mvx_exception.h"
#include "mvx_path.h"
#include "mvx_string.h"
#include "mvx_time.h"

namespace Morvenix {

namespace {

const char* const kConstructor = "Morvenix::DiskStorageWithRollbackImpl::DiskStorageWithRollbackImpl";

enum Mode : int32_t {
    modeReadOnly = 1,
    modeWorkingCopy = 2,  // the working file started as a copy of the target
    modeDirect = 3,       // the target itself: created here, or after a commit
    modeEmptyWorkingFile = 4,
};

uint32_t defaultDisposition(uint32_t inAccess)
{
    switch (inAccess) {
    case DiskStorage::accessRead:
        return DiskStorage::openExisting;
    case DiskStorage::accessWrite:
        return DiskStorage::createAlways;
    default:
        return DiskStorage::openAlways;
    }
}

} // namespace

class DiskStorageWithRollbackImpl : public DiskStorageWithRollback {
public:
    DiskStorageWithRollbackImpl(const String& inPath, uint32_t inAccess, uint32_t inDisposition,
                                FailedCommit inFailedCommit)
        : m_mode(modeReadOnly), m_failedCommit(inFailedCommit)
    {
        if (inAccess < accessRead || inAccess > accessReadWrite)
            MVX_THROW(errInvalidParam, "errInvalidParam", kConstructor);
        const uint32_t disposition = inDisposition ? inDisposition : defaultDisposition(inAccess);
        if (disposition > truncateExisting || (inAccess == accessRead && disposition != openExisting))
            MVX_THROW(errInvalidParam, "errInvalidParam", kConstructor);
        m_target = Path::getFullPath(inPath);
        if (m_target.isEmpty())
            MVX_THROW(errOperationFailed, "errOperationFailed", kConstructor);
        m_working = m_target;

        if (inAccess == accessRead) {
            m_current = DiskStorage::create(m_target, accessRead, openExisting);
            return;
        }

        try {
            // Held until the commit, so that no one else changes or removes the target meanwhile.
            m_holder = DiskStorage::create(m_target, accessRead, openExisting);
        } catch (const Exception& e) {
            if (e.getCode() != errNotFound)
                throw;
            if (disposition == openExisting || disposition == truncateExisting)
                MVX_THROW(errNotFound, "errNotFound", kConstructor);
            m_current = DiskStorage::create(m_target, accessReadWrite, createNew);
            m_deletePath = m_target;
            m_mode = modeDirect;
            return;
        }
        if (disposition == createNew)
            MVX_THROW(errAlreadyExists, "errAlreadyExists", kConstructor);
        m_mode = (disposition == openExisting || disposition == openAlways) ? modeWorkingCopy : modeEmptyWorkingFile;

        m_working = Path::makeWorkFileName(m_target);
        if (m_working.isEmpty())
            MVX_THROW(errOperationFailed,
                      String::format("creating working file failed. (%s)", formatSystemMessage().c_str()),
                      kConstructor);
        try {
            if (m_mode == modeWorkingCopy)
                copyTargetToWorkingFile();
            m_current = DiskStorage::create(m_working, accessReadWrite, openExisting);
        } catch (...) {
            // The target is untouched; the working file holds nothing yet.
            Path::deleteFile(m_working);
            throw;
        }
        m_deletePath = m_working;
    }

    ~DiskStorageWithRollbackImpl() override
    {
        ErrorStateSaver saver;
        m_current.reset();
        m_holder.reset();
        if (!m_deletePath.isEmpty())
            Path::deleteFile(m_deletePath);
    }

    uint32_t readBytes(void* outBuffer, uint32_t inSize, bool inExact) override
    {
        return current().readBytes(outBuffer, inSize, inExact);
    }
    void writeBytes(const void* inBuffer, uint32_t inSize) override { current().writeBytes(inBuffer, inSize); }
    void flushBuffer() override { current().flushBuffer(); }
    bool isEof() override { return current().isEof(); }
    uint64_t getSize() override { return current().getSize(); }
    uint64_t getPos() override { return current().getPos(); }
    void reserve(uint64_t inSize) override { current().reserve(inSize); }
    void setPos(uint64_t inPos) override { current().setPos(inPos); }
    void setPosRelative(int64_t inOffset) override { current().setPosRelative(inOffset); }
    void setPosFromEnd(int64_t inOffset) override { current().setPosFromEnd(inOffset); }
    void setEof() override { current().setEof(); }
    String getName() override { return current().getName(); }
    void lock() override { current().lock(); }
    void unlock() override { current().unlock(); }
    void* getHandle() override { return current().getHandle(); }
    Time getFileTime() override { return current().getFileTime(); }
    bool lockRange(uint64_t inOffset, uint64_t inLength, bool inExclusive) override
    {
        return current().lockRange(inOffset, inLength, inExclusive);
    }
    bool tryLockRange(uint64_t inOffset, uint64_t inLength, bool inExclusive) override
    {
        return current().tryLockRange(inOffset, inLength, inExclusive);
    }
    void unlockRange(uint64_t inOffset, uint64_t inLength) override { current().unlockRange(inOffset, inLength); }

    AutoPtr<Storage> duplicate() override
    {
        if (m_mode != modeReadOnly)
            MVX_THROW(4, "DiskStorageWithRollback: could not duplicate the storage!",
                      "Morvenix::DiskStorageWithRollbackImpl::duplicate");
        AutoPtr<Storage> copy(new DiskStorageWithRollbackImpl(m_target, accessRead, openExisting, m_failedCommit));
        copy->setPos(current().getPos());
        return copy;
    }

    void commit() override
    {
        if (m_mode == modeDirect)
            m_deletePath.clear();
        if (m_mode != modeWorkingCopy && m_mode != modeEmptyWorkingFile)
            return;

        const uint64_t position = current().getPos();
        m_current.reset();
        m_holder.reset();
        // ReplaceFileW gives the target the replacement's attributes: the saved file must not come out hidden.
        Path::setHidden(m_working, false);
        if (!Path::replaceFile(m_target, m_working)) {
            const int code = mapWin32Error();
            const String reason = formatSystemMessage();
            // A target no longer in its place (a replacement that failed half-way) leaves the working copy
            // as the only copy of anything: it is kept then, whatever the caller chose.
            const bool drop = m_failedCommit == dropWorkingCopy && Path::exists(m_target);
            if (drop)
                Path::setHidden(m_working, true);
            else
                m_deletePath.clear(); // kept whatever becomes of this storage
            // A later commit may still succeed.
            try {
                reopen(m_working, position);
            } catch (const Exception&) {
                // The replacement failure is what the caller needs to hear; the storage stays closed.
            }
            MVX_THROW(code,
                      drop ? String::format("%s Could not replace %s, which is left as it was.", reason.c_str(),
                                            m_target.c_str())
                           : String::format("%s Could not replace %s; what was written is kept in %s", reason.c_str(),
                                            m_target.c_str(), m_working.c_str()),
                      "Morvenix::DiskStorageWithRollbackImpl::commit");
        }
        m_working = m_target;
        m_deletePath.clear();
        m_mode = modeDirect;
        try {
            reopen(m_target, position);
        } catch (...) {
            // The document is saved, so the commit succeeded: a target that cannot be opened again (another
            // program took it first, or memory ran out) leaves the storage closed, and its next use says so.
        }
    }

private:
    DiskStorage& current()
    {
        if (!m_current)
            MVX_THROW(errOperationFailed, "The file could not be opened again after the commit; the storage is closed.",
                      "Morvenix::DiskStorageWithRollbackImpl::current");
        return *m_current;
    }

    // Open in full or not at all: a storage at the wrong place must not stand for the closed one.
    void reopen(const String& inPath, uint64_t inPosition)
    {
        AutoPtr<DiskStorage> storage = DiskStorage::create(inPath, accessReadWrite, openExisting);
        storage->setPos(inPosition);
        m_current = storage;
    }

    // CopyFileW will not overwrite a hidden file, so the working file is visible while it is filled.
    void copyTargetToWorkingFile()
    {
        Path::setHidden(m_working, false);
        if (!Path::copyFile(m_target, m_working, true)) {
            const int code = mapWin32Error();
            MVX_THROW(code,
                      formatSystemMessage() + " " +
                          String::format("During copying %s to %s", m_target.c_str(), m_working.c_str()),
                      kConstructor);
        }
        Path::setHidden(m_working, true);
    }

    AutoPtr<DiskStorage> m_current;
    AutoPtr<DiskStorage> m_holder;
    String m_target;
    String m_working;
    String m_deletePath;
    int32_t m_mode;
    FailedCommit m_failedCommit;
};

AutoPtr<DiskStorageWithRollback> DiskStorageWithRollback::create(const String& inPath, uint32_t inAccess,
                                                                 uint32_t inDisposition, FailedCommit inFailedCommit)
{
    return AutoPtr<DiskStorageWithRollback>(
        new DiskStorageWithRollbackImpl(inPath, inAccess, inDisposition, inFailedCommit));
}

} // namespace Morvenix
