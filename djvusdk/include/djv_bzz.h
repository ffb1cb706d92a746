// BZZ, the general-purpose compressor of the DjVu format, as a write-only compressing stream and a
// read-only decompressing stream.
#pragma once

#include "mvx_referable.h"
#include "mvx_stream.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {

// Compresses what is written into the target. flushBuffer ends the compressed data (the destructor does
// it too, but cannot report a failure); writing afterwards throws. Reading throws errNotImplemented.
class DeflateStream : public Stream {
public:
    // inBlockSizeKB: block size in KB; below 10 counts as 10, above 4096 throws errInvalidParam.
    // inZPBufferSize: output buffer of the ZP coder, 0 meaning 16.
    static AutoPtr<DeflateStream> create(const AutoPtr<Stream>& inTarget, uint32_t inBlockSizeKB,
                                         uint32_t inZPBufferSize);
};

// Decompresses the source. isEof turns true once a read has met the end of the compressed data. Damaged
// data throws errOperationFailed: "Stream corrupt" or "Index out of range", or the ZP decoder's "preload
// failed." when the data end too early; an exact read past the end throws errOperationFailed too. Errors
// of the source pass through. Writing throws errNotImplemented.
class InflateStream : public Stream {
public:
    // inByteLimit: at most this many bytes are read from the source (0: no limit).
    static AutoPtr<InflateStream> create(const AutoPtr<Stream>& inSource, uint32_t inByteLimit,
                                         uint32_t inZPBufferSize);
};

} // namespace DjVu
} // namespace Morvenix
