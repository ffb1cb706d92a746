// Helpers of the chunk tree tests.
#pragma once

#include "djv_chunk.h"
#include "mvx_exception.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace ChunkTest {

// Runs f and checks that it throws the library exception with the code, the text and the function name.
using MvxTest::expectThrow;

inline std::string bytesOf(Morvenix::DjVu::Data& inData)
{
    return std::string(reinterpret_cast<const char*>(inData.getBuffer()), inData.getSize());
}

inline std::string readAll(Morvenix::Storage& inStorage)
{
    inStorage.setPos(0);
    std::string r(size_t(inStorage.getSize()), '\0');
    if (!r.empty())
        inStorage.readBytes(&r[0], uint32_t(r.size()), true);
    return r;
}

// Records the chunks that load visits, in order, by id.
inline void recordId(void* inContext, Morvenix::DjVu::Chunk* inChunk)
{
    static_cast<std::vector<std::string>*>(inContext)->push_back(inChunk->getId().c_str());
}

inline Morvenix::AutoPtr<Morvenix::DjVu::Chunk> leaf(const char* inId, const char* inPayload)
{
    return Morvenix::DjVu::Chunk::createFromBytes(inId, inPayload, uint32_t(std::strlen(inPayload)));
}

} // namespace ChunkTest
