// Chunks whose BZZ payload is damaged, each with the error the BZZ decoder meets it with: the readers of
// compressed chunks let those errors through unchanged, and their tables pin it.
#pragma once

#include "djv_chunk.h"
#include "djv_data.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace MvxTest {

struct DamagedChunk {
    std::string name;
    std::vector<unsigned char> body;
    int code;
    const char* message;
    const char* function;
};

// The bytes a chunk's body holds.
inline std::vector<unsigned char> chunkBody(const Morvenix::DjVu::Chunk& inChunk)
{
    Morvenix::AutoPtr<Morvenix::DjVu::Data> data = inChunk.getData();
    return std::vector<unsigned char>(data->getBuffer(), data->getBuffer() + data->getSize());
}

const char* const kInflateDecode = "_Mvx_Internal_NS_::InflateStreamImpl::decode";
const char* const kZPPreload = "Morvenix::DjVu::ZPDecoder::preload";

// The damage that shows the same way in every BZZ payload: a first byte flipped leaves the ZP decoder
// without data before the first block ends, and a payload stored uncompressed names no valid block.
inline std::vector<DamagedChunk> bzzDamage(const std::vector<unsigned char>& inCompressed,
                                           const std::vector<unsigned char>& inPlain)
{
    std::vector<unsigned char> flipped = inCompressed;
    flipped[0] ^= 0x10;
    return {{"first byte flipped", flipped, Morvenix::errOperationFailed, "preload failed.", kZPPreload},
            {"uncompressed payload", inPlain, Morvenix::errOperationFailed, "Stream corrupt", kInflateDecode}};
}

// Reads each body as a chunk inId through inRead and expects the case's error.
template <class Read>
void expectChunkErrors(const char* inId, const std::vector<DamagedChunk>& inCases, Read&& inRead)
{
    for (const DamagedChunk& c : inCases) {
        SCOPED_TRACE(c.name);
        Morvenix::AutoPtr<Morvenix::DjVu::Chunk> chunk =
            Morvenix::DjVu::Chunk::createFromBytes(inId, c.body.data(), uint32_t(c.body.size()));
        expectThrow([&] { inRead(*chunk); }, c.code, c.message, c.function);
    }
}

} // namespace MvxTest
