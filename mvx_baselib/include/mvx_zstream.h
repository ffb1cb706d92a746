// zlib compression through streams: a write-only stream that deflates into a target stream and a
// read-only stream that inflates from a source stream.
#pragma once

#include "mvx_stream.h"

namespace Morvenix {

// Writes a zlib stream that is never finished: every flushBuffer ends with a sync-flush marker, so a
// reader gets back exactly what was written before the last flush. Destroying it flushes.
class DeflateStream : public Stream {
public:
    // "zlib deflate stream (<address in hexadecimal>h)".
    virtual String getName() = 0;

    static AutoPtr<DeflateStream> create(const AutoPtr<Stream>& inTarget);
};

// Reads a zlib stream; a finished one ends through isEof and short reads. It reads its source ahead in
// blocks of up to 1024 bytes.
class InflateStream : public Stream {
public:
    // "zlib inflate stream (<address in hexadecimal>h)".
    virtual String getName() = 0;

    static AutoPtr<InflateStream> create(const AutoPtr<Stream>& inSource);
};

} // namespace Morvenix
