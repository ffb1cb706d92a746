// MD5 (RFC 1321).
#include "mvx_checksum.h"

#include "mvx_byteorder.h"
#include "mvx_digest_blocks.h"
#include "mvx_string.h"

#include <cstring>

namespace Morvenix {

namespace {

inline uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// The words of a block are little-endian whatever the machine.
inline uint32_t littleEndianWord(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// T[i] = floor(abs(sin(i + 1)) * 2^32), as the RFC lists them.
const uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

const int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

void compress(uint32_t* ioH, const unsigned char* inBlock)
{
    uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = littleEndianWord(inBlock + 4 * i);
    uint32_t a = ioH[0], b = ioH[1], c = ioH[2], d = ioH[3];
    for (int i = 0; i < 64; ++i) {
        const int round = i / 16;
        uint32_t f;
        int k;
        switch (round) {
        case 0:
            f = (b & c) | (~b & d);
            k = i;
            break;
        case 1:
            f = (b & d) | (c & ~d);
            k = (5 * i + 1) & 15;
            break;
        case 2:
            f = b ^ c ^ d;
            k = (3 * i + 5) & 15;
            break;
        default:
            f = c ^ (b | ~d);
            k = (7 * i) & 15;
            break;
        }
        const uint32_t sum = a + f + x[k] + kSine[i];
        a = d;
        d = c;
        c = b;
        b = b + rotl(sum, kShift[round][i & 3]);
    }
    ioH[0] += a;
    ioH[1] += b;
    ioH[2] += c;
    ioH[3] += d;
}

} // namespace

void MD5Traits::init(State& outState)
{
    static const uint32_t initial[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    std::memcpy(outState.h, initial, sizeof initial);
    outState.bitsLow = outState.bitsHigh = 0;
    std::memset(outState.block, 0, sizeof outState.block);
}

void MD5Traits::update(State& ioState, const unsigned char* inData, size_t inSize)
{
    if (inSize == 0)
        return; // inData may be null then
    const uint32_t used = (ioState.bitsLow >> 3) & 63;
    const uint64_t bits = (uint64_t(ioState.bitsHigh) << 32 | ioState.bitsLow) + uint64_t(inSize) * 8;
    ioState.bitsLow = uint32_t(bits);
    ioState.bitsHigh = uint32_t(bits >> 32);
    feedBlocks(ioState.block, used, inData, inSize,
               [&](const unsigned char* inBlock) { compress(ioState.h, inBlock); });
}

void MD5Traits::finish(State& ioState, unsigned char* outDigest)
{
    unsigned char length[8];
    for (int i = 0; i < 4; ++i) {
        length[i] = uint8_t(ioState.bitsLow >> (8 * i));
        length[4 + i] = uint8_t(ioState.bitsHigh >> (8 * i));
    }
    static const unsigned char padding[64] = {0x80};
    const uint32_t used = (ioState.bitsLow >> 3) & 63;
    update(ioState, padding, used < 56 ? 56 - used : 120 - used);
    update(ioState, length, 8);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            outDigest[4 * i + j] = uint8_t(ioState.h[i] >> (8 * j));
}

String MD5Traits::digestToHex(const unsigned char* inDigest) { return Hex::toStr(inDigest, digestSize, String()); }

} // namespace Morvenix
