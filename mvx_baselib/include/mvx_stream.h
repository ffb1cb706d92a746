// The byte stream and seekable storage interfaces through which every byte of the system is read and
// written, and the commit interface of storages that edit a file through a working copy.
#pragma once

#include "mvx_referable.h"
#include "mvx_syncobjs.h"

#include <cstdint>

namespace Morvenix {

class String;

// Progress of the copy operations: (context, bytes done, total or 0 when unknown).
typedef void (*ProgressCallback)(void* inContext, uint32_t inDone, uint32_t inTotal);

class Stream : public Referable, public Lockable {
public:
    ~Stream() override {}
    // With inExact a short read throws; otherwise it returns fewer bytes only at the end (0 there).
    virtual uint32_t readBytes(void* outBuffer, uint32_t inSize, bool inExact) = 0;
    // Writes everything or throws.
    virtual void writeBytes(const void* inBuffer, uint32_t inSize) = 0;
    virtual void flushBuffer() = 0;
    virtual bool isEof() = 0;
    // Copy from inSource into this stream, in blocks of inBlockSize bytes, until the source ends.
    virtual uint32_t copyAll(Stream& inSource, uint32_t inBlockSize, ProgressCallback inCallback,
                             void* inContext);
    // The same, stopping after inLimit bytes; a limit of 0 copies everything.
    virtual uint32_t copyBytes(Stream& inSource, uint32_t inLimit, uint32_t inBlockSize,
                               ProgressCallback inCallback, void* inContext);
};

class Storage : public Stream {
public:
    virtual uint64_t getSize() = 0;
    virtual uint64_t getPos() = 0;
    virtual void reserve(uint64_t inSize) = 0;
    virtual void setPos(uint64_t inPos) = 0;
    virtual void setPosRelative(int64_t inOffset) = 0;
    virtual void setPosFromEnd(int64_t inOffset) = 0;
    virtual void setEof() = 0;
    virtual String getName() = 0;
    // A second storage over the same data, with its own position starting at this one's.
    virtual AutoPtr<Storage> duplicate() = 0;
};

// Reads exactly inSize bytes through the stream's exact read. The library's streams throw when they fall
// short; a stream from outside may answer with fewer bytes (0 at its end) instead, and that too is the end
// of the data: errEOF, naming inFunction. Loops that read piece by piece count on it to end.
void readExactly(Stream& inStream, void* outBuffer, uint32_t inSize, const char* inFunction);

class StorageRollback {
public:
    virtual void commit() = 0;
    virtual ~StorageRollback() {}
};

} // namespace Morvenix
