// SHA-256 (FIPS 180-2).
#include "mvx_checksum.h"

#include "mvx_byteorder.h"
#include "mvx_digest_blocks.h"
#include "mvx_string.h"

#include <cstring>

namespace Morvenix {

namespace {

inline uint32_t rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

// The first 32 bits of the fractional parts of the cube roots of the first 64 primes.
const uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

void compress(uint32_t* ioH, const unsigned char* inBlock)
{
    uint32_t w[64];
    for (int t = 0; t < 16; ++t)
        w[t] = ByteOrder::swap32(reinterpret_cast<const uint32_t*>(inBlock + 4 * t));
    for (int t = 16; t < 64; ++t) {
        const uint32_t s0 = rotr(w[t - 15], 7) ^ rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
        const uint32_t s1 = rotr(w[t - 2], 17) ^ rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    uint32_t a = ioH[0], b = ioH[1], c = ioH[2], d = ioH[3], e = ioH[4], f = ioH[5], g = ioH[6], h = ioH[7];
    for (int t = 0; t < 64; ++t) {
        const uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[t] + w[t];
        const uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    ioH[0] += a;
    ioH[1] += b;
    ioH[2] += c;
    ioH[3] += d;
    ioH[4] += e;
    ioH[5] += f;
    ioH[6] += g;
    ioH[7] += h;
}

} // namespace

void SHA256Traits::init(State& outState)
{
    // The first 32 bits of the fractional parts of the square roots of the first 8 primes.
    static const uint32_t initial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::memcpy(outState.h, initial, sizeof initial);
    outState.bytesLow = outState.bytesHigh = 0;
    std::memset(outState.block, 0, sizeof outState.block);
}

void SHA256Traits::update(State& ioState, const unsigned char* inData, size_t inSize)
{
    if (inSize == 0)
        return; // inData may be null then
    const uint32_t used = ioState.bytesLow & 63;
    const uint64_t bytes = (uint64_t(ioState.bytesHigh) << 32 | ioState.bytesLow) + inSize;
    ioState.bytesLow = uint32_t(bytes);
    ioState.bytesHigh = uint32_t(bytes >> 32);
    feedBlocks(ioState.block, used, inData, inSize,
               [&](const unsigned char* inBlock) { compress(ioState.h, inBlock); });
}

void SHA256Traits::finish(State& ioState, unsigned char* outDigest)
{
    const uint64_t bits = (uint64_t(ioState.bytesHigh) << 32 | ioState.bytesLow) << 3;
    unsigned char length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = uint8_t(bits >> (56 - 8 * i));
    static const unsigned char padding[64] = {0x80};
    const uint32_t used = ioState.bytesLow & 63;
    update(ioState, padding, used < 56 ? 56 - used : 120 - used);
    update(ioState, length, 8);
    for (int i = 0; i < 8; ++i) {
        const uint32_t word = ByteOrder::reversed(ioState.h[i]);
        std::memcpy(outDigest + 4 * i, &word, 4);
    }
}

String SHA256Traits::digestToHex(const unsigned char* inDigest)
{
    return Hex::toStr(inDigest, digestSize, String());
}

} // namespace Morvenix
