// The IW44 coefficient coder: ten bands a round, each band of every block coded as a root bit, bucket
// bits, new coefficients with their signs and mantissa bits of the coefficients already significant.
#include "djv_iw44codec.h"

#include "djv_iw44transform.h"

#include <algorithm>

namespace Morvenix {
namespace DjVu {
namespace IW44 {

namespace {

// A threshold codes anything only between these bounds; a decoder treats every other band as null.
bool isLive(uint32_t inThreshold)
{
    return inThreshold > 0 && inThreshold < 0x8000;
}

// The norms of the IW44 basis functions, per position of band 0 and per band.
const float kWeightLo[16] = {2627.989014f, 183.289307f, 183.295898f, 51.1469f,  45.833439f, 45.833439f,
                             45.833439f,   45.833439f,  45.834621f,  45.834621f, 45.834621f, 45.834621f,
                             12.79225f,    12.79225f,   12.79225f,   12.79225f};
const float kWeightHi[ComponentCodec::kBands] = {0.0f,     11.49671f, 11.49712f, 3.218888f, 2.999281f,
                                                 2.999476f, 0.873316f, 1.074451f, 1.074511f, 0.428932f};

// Band of each bucket.
uint32_t bandOf(uint32_t inBucket)
{
    return inBucket < 4 ? inBucket : inBucket < 16 ? 4 + (inBucket - 4) / 4 : 7 + (inBucket - 16) / 16;
}

} // namespace

const uint8_t ComponentCodec::kBandFirst[kBands + 1] = {0, 1, 2, 3, 4, 8, 12, 16, 32, 48, 64};

ComponentCodec::ComponentCodec()
    : m_quantHi{0, 0x20000, 0x20000, 0x40000, 0x40000, 0x40000, 0x80000, 0x40000, 0x40000, 0x80000},
      m_quantLo{0x4000,  0x8000,  0x8000,  0x10000, 0x10000, 0x10000, 0x10000, 0x10000,
                0x10000, 0x10000, 0x10000, 0x10000, 0x20000, 0x20000, 0x20000, 0x20000},
      m_coeffState{}, m_bucketState{}, m_startContext{}, m_bucketContext{}, m_mantissaContext(0), m_rootContext(0)
{
}

ComponentCodec::~ComponentCodec() {}

ComponentEncoder::ComponentEncoder(uint32_t inWidth, uint32_t inHeight)
    : m_coeffs(new Map(inWidth, inHeight)), m_coded(new Map(inWidth, inHeight)), m_round(1), m_band(0)
{
}

ComponentEncoder::~ComponentEncoder() {}

void ComponentEncoder::decomposePlane(int16_t* ioPlane)
{
    Map& map = *m_coeffs;
    const uint32_t rowSize = map.paddedWidth();
    forwardTransform(ioPlane, map.width(), map.height(), rowSize);
    uint16_t order[1024];
    for (uint32_t j = 0; j < 1024; ++j)
        order[j] = zigzagPosition(j);
    const uint32_t blocksAcross = rowSize / 32;
    for (uint32_t block = 0; block < map.blockCount(); ++block) {
        const int16_t* tile =
            ioPlane + size_t(block / blocksAcross) * 32 * rowSize + size_t(block % blocksAcross) * 32;
        for (uint32_t b = 0; b < Map::kBucketsPerBlock; ++b) {
            int16_t* bucket = map.makeBucket(block, b);
            for (uint32_t i = 0; i < Map::kBucketSize; ++i) {
                const uint16_t at = order[b * Map::kBucketSize + i];
                bucket[i] = tile[size_t(at >> 8) * rowSize + (at & 0xFF)];
            }
        }
    }
}

void ComponentEncoder::cutResolution(uint32_t inLevel)
{
    const uint32_t keep = inLevel < 2 ? Map::kBucketsPerBlock : inLevel < 4 ? 16 : inLevel < 8 ? 4 : 1;
    for (uint32_t block = 0; block < m_coeffs->blockCount(); ++block)
        for (uint32_t b = keep; b < Map::kBucketsPerBlock; ++b)
            m_coeffs->dropBucket(block, b);
}

bool ComponentEncoder::isNullSlice()
{
    if (m_band != 0)
        return !isLive(m_quantHi[m_band]);
    bool null = true;
    for (uint32_t i = 0; i < 16; ++i) {
        m_coeffState[i] = isLive(m_quantLo[i]) ? UNK : ZERO;
        if (m_coeffState[i] == UNK)
            null = false;
    }
    return null;
}

bool ComponentEncoder::codeSlice(ZPEncoder& ioCoder)
{
    if (m_round < 0)
        return false;
    if (!isNullSlice())
        for (uint32_t block = 0; block < m_coeffs->blockCount(); ++block)
            encodeBuckets(ioCoder, block);
    m_quantHi[m_band] >>= 1;
    if (m_band == 0)
        for (uint32_t& q : m_quantLo)
            q >>= 1;
    if (++m_band < kBands)
        return true;
    m_band = 0;
    ++m_round;
    if (m_quantHi[kBands - 1] == 0) {
        m_round = -1;
        return false;
    }
    return true;
}

void ComponentEncoder::encodeBuckets(ZPEncoder& ioCoder, uint32_t inBlock)
{
    const uint32_t band = m_band;
    const uint32_t first = kBandFirst[band];
    const uint32_t count = kBandFirst[band + 1] - first;
    const uint32_t hi = m_quantHi[band];
    const auto thresholdOf = [&](uint32_t i) { return int32_t(band == 0 ? m_quantLo[i] : hi); };

    // The states of the band's coefficients and buckets, and of the block as a whole.
    uint8_t blockState = 0;
    if (band == 0) {
        const int16_t* c = m_coeffs->makeBucket(inBlock, 0);
        const int16_t* e = m_coded->makeBucket(inBlock, 0);
        uint8_t state = 0;
        for (uint32_t i = 0; i < 16; ++i) {
            if (m_coeffState[i] != ZERO) {
                const int32_t t = thresholdOf(i);
                m_coeffState[i] = e[i] ? uint8_t(ACTIVE) : (c[i] >= t || c[i] <= -t) ? uint8_t(NEW | UNK) : uint8_t(UNK);
            }
            state |= m_coeffState[i];
        }
        m_bucketState[0] = state;
        blockState = state;
    } else {
        const int32_t t = int32_t(hi);
        for (uint32_t b = 0; b < count; ++b) {
            const int16_t* c = m_coeffs->bucket(inBlock, first + b);
            const int16_t* e = m_coded->bucket(inBlock, first + b);
            uint8_t* cs = m_coeffState + b * 16;
            uint8_t state = 0;
            if (!c) {
                state = UNK;
            } else {
                for (uint32_t i = 0; i < 16; ++i) {
                    cs[i] = (e && e[i]) ? uint8_t(ACTIVE) : (c[i] >= t || c[i] <= -t) ? uint8_t(NEW | UNK) : uint8_t(UNK);
                    state |= cs[i];
                }
            }
            m_bucketState[b] = state;
            blockState |= state;
        }
    }

    // Root bit: whether any bucket of the band holds a new coefficient.
    if (count < 16 || (blockState & ACTIVE))
        blockState |= NEW;
    else if (blockState & UNK)
        ioCoder.encode((blockState & NEW) ? 1 : 0, m_rootContext);

    if (blockState & NEW) {
        for (uint32_t b = 0; b < count; ++b) {
            if (!(m_bucketState[b] & UNK))
                continue;
            uint32_t ctx = 0;
            if (band > 0) {
                const uint32_t k = (first + b) * 4;
                const int16_t* parent = m_coded->bucket(inBlock, k / 16);
                if (parent) {
                    const uint32_t at = k % 16;
                    ctx = (parent[at] != 0) + (parent[at + 1] != 0) + (parent[at + 2] != 0);
                    if (ctx < 3 && parent[at + 3])
                        ++ctx;
                }
            }
            if (blockState & ACTIVE)
                ctx += 4;
            ioCoder.encode((m_bucketState[b] & NEW) ? 1 : 0, m_bucketContext[band][ctx]);
        }
        for (uint32_t b = 0; b < count; ++b) {
            if (!(m_bucketState[b] & NEW))
                continue;
            const uint8_t* cs = m_coeffState + b * 16;
            const int16_t* c = m_coeffs->bucket(inBlock, first + b);
            int16_t* e = nullptr;
            uint32_t pending = 0;
            for (uint32_t i = 0; i < 16; ++i)
                if (cs[i] & UNK)
                    ++pending;
            for (uint32_t i = 0; i < 16; ++i) {
                if (!(cs[i] & UNK))
                    continue;
                uint32_t ctx = std::min<uint32_t>(pending, 7);
                if (m_bucketState[b] & ACTIVE)
                    ctx += 8;
                const bool isNew = (cs[i] & NEW) != 0;
                ioCoder.encode(isNew ? 1 : 0, m_startContext[ctx]);
                if (isNew) {
                    ioCoder.encodeRawIW(c[i] < 0 ? 1 : 0);
                    if (!e)
                        e = m_coded->makeBucket(inBlock, first + b);
                    const int32_t t = thresholdOf(i);
                    e[i] = int16_t(t + (t >> 1));
                    pending = 0;
                } else if (pending > 0) {
                    --pending;
                }
            }
        }
    }

    if (blockState & ACTIVE) {
        for (uint32_t b = 0; b < count; ++b) {
            if (!(m_bucketState[b] & ACTIVE))
                continue;
            const uint8_t* cs = m_coeffState + b * 16;
            const int16_t* c = m_coeffs->bucket(inBlock, first + b);
            int16_t* e = m_coded->bucket(inBlock, first + b);
            for (uint32_t i = 0; i < 16; ++i) {
                if (!(cs[i] & ACTIVE))
                    continue;
                const int32_t t = thresholdOf(i);
                const int32_t a = c[i] < 0 ? -int32_t(c[i]) : c[i];
                const int32_t ev = e[i];
                const int bit = a >= ev ? 1 : 0;
                if (ev <= 3 * t)
                    ioCoder.encode(bit, m_mantissaContext);
                else
                    ioCoder.encodeRawIW(bit);
                e[i] = int16_t(ev - (bit ? 0 : t) + (t >> 1));
            }
        }
    }
}

float ComponentEncoder::estimateMSE() const
{
    const Map& coeffs = *m_coeffs;
    float total = 0.0f;
    for (uint32_t block = 0; block < coeffs.blockCount(); ++block) {
        float sum = 0.0f;
        for (uint32_t b = 0; b < Map::kBucketsPerBlock; ++b) {
            const int16_t* c = coeffs.bucket(block, b);
            if (!c)
                continue;
            const int16_t* e = m_coded->bucket(block, b);
            const uint32_t band = bandOf(b);
            for (uint32_t i = 0; i < 16; ++i) {
                const float w = band == 0 ? kWeightLo[i] : kWeightHi[band];
                const float d = e ? float((c[i] < 0 ? -int32_t(c[i]) : c[i]) - e[i]) : float(c[i]);
                sum += w * d * d;
            }
        }
        total += sum / 1024.0f;
    }
    return total / float(coeffs.blockCount()) / 4096.0f;
}

} // namespace IW44
} // namespace DjVu
} // namespace Morvenix
