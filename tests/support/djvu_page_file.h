// Single-page DjVu files built byte by byte for the outside tools ("AT&T", FORM:DJVU with INFO and extra
// chunks), and the chunks found in such a file after a tool rewrote it.
#pragma once

#include "djv_pageinfo.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace MvxTest {

typedef std::vector<unsigned char> Bytes;

inline void putBE32(Bytes& out, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        out.push_back(uint8_t(v >> s));
}

// An IFF chunk: id, big-endian length, body, and the pad byte that keeps the next chunk at an even offset.
inline void putChunk(Bytes& out, const char* inId, const Bytes& inBody)
{
    out.insert(out.end(), inId, inId + 4);
    putBE32(out, uint32_t(inBody.size()));
    out.insert(out.end(), inBody.begin(), inBody.end());
    if (inBody.size() & 1)
        out.push_back(0);
}

// The ten bytes of an INFO chunk for the page information.
inline Bytes infoChunkBody(const Morvenix::DjVu::PageInfo& inInfo)
{
    Bytes info;
    info.push_back(uint8_t(inInfo.width >> 8));
    info.push_back(uint8_t(inInfo.width));
    info.push_back(uint8_t(inInfo.height >> 8));
    info.push_back(uint8_t(inInfo.height));
    info.push_back(uint8_t(inInfo.version));
    info.push_back(uint8_t(inInfo.majorVersion));
    info.push_back(uint8_t(inInfo.dpi)); // little-endian, as the format has it
    info.push_back(uint8_t(inInfo.dpi >> 8));
    info.push_back(uint8_t(inInfo.gamma));
    info.push_back(uint8_t(inInfo.flags));
    return info;
}

// A single-page file: "AT&T", FORM:DJVU with INFO and then the given chunks (id, body) in order.
inline Bytes pageFile(const Morvenix::DjVu::PageInfo& inInfo,
                      const std::vector<std::pair<std::string, Bytes>>& inChunks)
{
    Bytes form{'D', 'J', 'V', 'U'};
    putChunk(form, "INFO", infoChunkBody(inInfo));
    for (const auto& chunk : inChunks)
        putChunk(form, chunk.first.c_str(), chunk.second);
    Bytes file{'A', 'T', '&', 'T'};
    putChunk(file, "FORM", form);
    return file;
}

// A single-page file with INFO and, when given, one more chunk.
inline Bytes pageFile(const Morvenix::DjVu::PageInfo& inInfo, const char* inId = nullptr,
                      const Bytes& inBody = Bytes())
{
    std::vector<std::pair<std::string, Bytes>> chunks;
    if (inId)
        chunks.emplace_back(inId, inBody);
    return pageFile(inInfo, chunks);
}

// The bodies of the chunks with the id inside a single-page file's FORM (or any file of one FORM), in
// file order.
inline std::vector<Bytes> findChunks(const Bytes& inFile, const char* inId)
{
    std::vector<Bytes> bodies;
    size_t at = 16;
    while (at + 8 <= inFile.size()) {
        const uint32_t len = (uint32_t(inFile[at + 4]) << 24) | (uint32_t(inFile[at + 5]) << 16) |
                             (uint32_t(inFile[at + 6]) << 8) | inFile[at + 7];
        if (len > inFile.size() - at - 8)
            break;
        if (std::string(inFile.begin() + long(at), inFile.begin() + long(at) + 4) == inId)
            bodies.emplace_back(inFile.begin() + long(at) + 8, inFile.begin() + long(at + 8 + len));
        at += 8 + size_t(len) + (len & 1);
    }
    return bodies;
}

// The body of the first chunk with the id; false when there is none.
inline bool findChunk(const Bytes& inFile, const char* inId, Bytes& outBody)
{
    const std::vector<Bytes> bodies = findChunks(inFile, inId);
    if (bodies.empty())
        return false;
    outBody = bodies.front();
    return true;
}

// The same where the chunk must be there.
inline Bytes findChunk(const Bytes& inFile, const char* inId)
{
    Bytes body;
    if (!findChunk(inFile, inId, body))
        ADD_FAILURE() << "no " << inId << " chunk";
    return body;
}

} // namespace MvxTest
