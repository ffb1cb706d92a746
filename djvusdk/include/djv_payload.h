// Chunk payloads written and read through a stream, either plain or compressed by BZZ: the one way the
// NAVM, TXTa/TXTz, ANTa/ANTz and FGbz writers and readers reach their bytes.
#pragma once

#include "djv_chunk.h"
#include "djv_data.h"
#include "mvx_stream.h"
#include "mvx_string.h"

#include <functional>

namespace Morvenix {
namespace DjVu {

typedef std::function<void(Stream& outStream)> PayloadWriter;

// The bytes inWrite writes, as they are or compressed by BZZ in blocks of 1 MB; the payload keeps no spare
// capacity. What inWrite or the compressor throws passes through, and no payload is made.
AutoPtr<MemoryData> makePayload(bool inCompressed, const PayloadWriter& inWrite);
// A leaf inId holding that payload.
AutoPtr<Chunk> makePayloadChunk(const String& inId, bool inCompressed, const PayloadWriter& inWrite);

// A stream over a copy of the chunk's payload, decompressed by BZZ when inCompressed. A chunk without
// payload throws errInvalidParam "The <inKind> chunk has no data!" in the name of its reader: inSource and
// inFunction.
AutoPtr<Stream> openPayload(const Chunk& inChunk, bool inCompressed, const char* inKind, const char* inSource,
                            const char* inFunction);

} // namespace DjVu
} // namespace Morvenix
