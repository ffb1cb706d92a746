// The wavelet coefficients of one plane: 32x32 blocks of 64 buckets of 16 signed 16-bit values, buckets
// carved from a pool so that absent detail costs nothing.
#pragma once

#include "mvx_referable.h"
#include "mvx_simplearray.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Morvenix {
namespace DjVu {
namespace IW44 {

class Map : public Referable {
public:
    static const uint32_t kBucketsPerBlock = 64;
    static const uint32_t kBucketSize = 16;

    Map(uint32_t inWidth, uint32_t inHeight);
    ~Map() override;

    uint32_t width() const { return m_iw; }
    uint32_t height() const { return m_ih; }
    // Both sizes rounded up to multiples of 32.
    uint32_t paddedWidth() const { return m_bw; }
    uint32_t paddedHeight() const { return m_bh; }
    uint32_t blockCount() const { return m_nb; }

    // Null when the bucket was never created (it reads as all zero).
    int16_t* bucket(uint32_t inBlock, uint32_t inBucket) const { return m_blocks[inBlock].buckets[inBucket]; }
    int16_t* makeBucket(uint32_t inBlock, uint32_t inBucket);
    void dropBucket(uint32_t inBlock, uint32_t inBucket) { m_blocks[inBlock].buckets[inBucket] = nullptr; }

private:
    struct Block {
        int16_t* buckets[kBucketsPerBlock];
    };
    uint32_t m_iw, m_ih, m_bw, m_bh, m_nb;
    // In the library's arrays, so that running out of memory is the library's exception.
    SimpleArray<Block, 2> m_blocks;
    std::vector<std::unique_ptr<SimpleArray<int16_t, 2>>> m_pool;
    uint32_t m_poolUsed;
};

// Position j = 16 x bucket + i of a block's coefficient order as the column (low byte) and row (high byte)
// of its sample in the 32x32 tile.
uint16_t zigzagPosition(uint32_t inIndex);

} // namespace IW44
} // namespace DjVu
} // namespace Morvenix
