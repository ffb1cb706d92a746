// Chunk payloads written and read through a stream, plain or compressed by BZZ.
#include "djv_payload.h"

#include "djv_bzz.h"
#include "mvx_exception.h"

namespace Morvenix {
namespace DjVu {

namespace {
const uint32_t kBlockSizeKB = 1024;
const uint32_t kZPBufferSize = 16;
} // namespace

AutoPtr<MemoryData> makePayload(bool inCompressed, const PayloadWriter& inWrite)
{
    AutoPtr<MemoryData> data = MemoryData::create();
    {
        AutoPtr<MemoryStorage> storage = data->getStorage();
        if (inCompressed) {
            AutoPtr<DeflateStream> bzz = DeflateStream::create(AutoPtr<Stream>(storage), kBlockSizeKB, kZPBufferSize);
            inWrite(*bzz);
            // Here rather than in the destructor, which cannot report a failure.
            bzz->flushBuffer();
        } else {
            inWrite(*storage);
        }
    }
    // The writer's storage grows in large steps; a page holds many small payloads for a long time.
    data->compact();
    return data;
}

AutoPtr<Chunk> makePayloadChunk(const String& inId, bool inCompressed, const PayloadWriter& inWrite)
{
    AutoPtr<MemoryData> data = makePayload(inCompressed, inWrite);
    AutoPtr<Chunk> chunk = Chunk::create(inId);
    chunk->setData(data);
    return chunk;
}

AutoPtr<Stream> openPayload(const Chunk& inChunk, bool inCompressed, const char* inKind, const char* inSource,
                            const char* inFunction)
{
    AutoPtr<Data> data = inChunk.getData();
    if (!data)
        throw Exception(errInvalidParam, String::format("The %s chunk has no data!", inKind), inSource, __LINE__,
                        inFunction);
    AutoPtr<Stream> storage(data->getReadStorage(true));
    if (!inCompressed)
        return storage;
    return AutoPtr<Stream>(InflateStream::create(storage, 0, kZPBufferSize));
}

} // namespace DjVu
} // namespace Morvenix
