// SHA-1 (FIPS 180-2).
#include "mvx_checksum.h"

#include "mvx_byteorder.h"
#include "mvx_digest_blocks.h"
#include "mvx_string.h"

#include <cstdio>
#include <cstring>

namespace Morvenix {

namespace {

inline uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

void compress(uint32_t* ioH, const unsigned char* inBlock)
{
    uint32_t w[80];
    for (int t = 0; t < 16; ++t)
        w[t] = ByteOrder::swap32(reinterpret_cast<const uint32_t*>(inBlock + 4 * t));
    for (int t = 16; t < 80; ++t)
        w[t] = rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    uint32_t a = ioH[0], b = ioH[1], c = ioH[2], d = ioH[3], e = ioH[4];
    for (int t = 0; t < 80; ++t) {
        uint32_t f, k;
        if (t < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (t < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (t < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        uint32_t temp = rotl(a, 5) + f + e + k + w[t];
        e = d;
        d = c;
        c = rotl(b, 30);
        b = a;
        a = temp;
    }
    ioH[0] += a;
    ioH[1] += b;
    ioH[2] += c;
    ioH[3] += d;
    ioH[4] += e;
}

// Into the block buffer, compressing each block it fills; the bit count is the caller's.
void absorb(SHA1Traits::State& ioState, const unsigned char* inData, size_t inSize)
{
    feedBlocks(ioState.block, ioState.fill, inData, inSize,
               [&](const unsigned char* inBlock) { compress(ioState.h, inBlock); });
    ioState.fill = uint32_t((ioState.fill + inSize % 64) % 64);
}

} // namespace

void SHA1Traits::init(State& outState)
{
    static const uint32_t initial[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::memcpy(outState.h, initial, sizeof initial);
    outState.bitsLow = outState.bitsHigh = 0;
    outState.fill = 0;
    std::memset(outState.block, 0, sizeof outState.block);
}

void SHA1Traits::update(State& ioState, const unsigned char* inData, size_t inSize)
{
    if (inSize == 0)
        return; // inData may be null then
    const uint64_t before = uint64_t(ioState.bitsHigh) << 32 | ioState.bitsLow;
    const uint64_t after = before + uint64_t(inSize) * 8;
    ioState.bitsLow = uint32_t(after);
    ioState.bitsHigh = uint32_t(after >> 32);
    if (after < before)
        std::fputs("!!!\n", stdout); // more than 2^64 bits: the length block can no longer say so
    absorb(ioState, inData, inSize);
}

void SHA1Traits::finish(State& ioState, unsigned char* outDigest)
{
    unsigned char length[8];
    for (int i = 0; i < 4; ++i) {
        length[i] = uint8_t(ioState.bitsHigh >> (24 - 8 * i));
        length[4 + i] = uint8_t(ioState.bitsLow >> (24 - 8 * i));
    }
    static const unsigned char padding[64] = {0x80};
    const uint32_t used = ioState.fill;
    absorb(ioState, padding, used < 56 ? 56 - used : 120 - used);
    absorb(ioState, length, 8);
    for (int i = 0; i < 5; ++i) {
        const uint32_t word = ByteOrder::reversed(ioState.h[i]);
        std::memcpy(outDigest + 4 * i, &word, 4);
    }
}

String SHA1Traits::digestToHex(const unsigned char* inDigest) { return Hex::toStr(inDigest, digestSize, String()); }

} // namespace Morvenix
