// Coding of one sorted BZZ block: its size, its frequency shift and the move-to-front ranks of its bytes
// under the stream's 300 adaptive contexts, which carry over from block to block.
#pragma once

#include "djv_zpcoder.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {
namespace BzzBlock {

const uint32_t kContextCount = 300;
const uint32_t kMaxSize = 0x400000; // symbols of one block, marker included (4096 KB)

// inData: the transformed block of inSize symbols, the marker at inMarkerPos.
void encode(ZPEncoder& ioCoder, uint8_t* ioContexts, const uint8_t* inData, uint32_t inSize, uint32_t inMarkerPos);
// The block of size 0 that ends a stream.
void encodeEnd(ZPEncoder& ioCoder);

uint32_t decodeSize(ZPDecoder& ioCoder);
// Decodes the inSize symbols that follow a size into outData and returns the marker's position; a block
// without exactly one marker is corrupt.
uint32_t decodeSymbols(ZPDecoder& ioCoder, uint8_t* ioContexts, uint8_t* outData, uint32_t inSize);

} // namespace BzzBlock
} // namespace DjVu
} // namespace Morvenix
