// Feeding bytes to a digest that works on 64-byte blocks (MD5, SHA-1, SHA-256): the partial block in the
// state's buffer is filled first, whole blocks are compressed straight from the caller's data, and the rest
// waits in the buffer for the next update.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace Morvenix {

// inUsed (below 64) bytes already wait in ioBlock; inCompress (const unsigned char* block) takes a whole
// block. The caller keeps its own count of the bytes fed.
template <class Compress>
void feedBlocks(unsigned char (&ioBlock)[64], uint32_t inUsed, const unsigned char* inData, size_t inSize,
                Compress inCompress)
{
    if (inSize == 0)
        return; // inData may be null then
    const size_t room = 64 - inUsed;
    if (inSize < room) {
        std::memcpy(ioBlock + inUsed, inData, inSize);
        return;
    }
    std::memcpy(ioBlock + inUsed, inData, room);
    inCompress(ioBlock);
    size_t i = room;
    for (; inSize - i >= 64; i += 64)
        inCompress(inData + i);
    std::memcpy(ioBlock, inData + i, inSize - i);
}

} // namespace Morvenix
