// Coefficient maps: bucket storage from a chain of zero-filled pool chunks, freed with the map.
#include "djv_iw44map.h"


namespace Morvenix {
namespace DjVu {
namespace IW44 {

namespace {
const uint32_t kPoolCells = 4080;
} // namespace

Map::Map(uint32_t inWidth, uint32_t inHeight)
    : m_iw(inWidth), m_ih(inHeight), m_bw((inWidth + 31) & ~31u), m_bh((inHeight + 31) & ~31u),
      m_nb((m_bw / 32) * (m_bh / 32)), m_blocks(m_nb, int32_t(m_nb)), m_poolUsed(kPoolCells)
{
}

Map::~Map() {}

int16_t* Map::makeBucket(uint32_t inBlock, uint32_t inBucket)
{
    int16_t*& slot = m_blocks[inBlock].buckets[inBucket];
    if (slot)
        return slot;
    if (m_poolUsed + kBucketSize > kPoolCells) {
        m_pool.emplace_back(new SimpleArray<int16_t, 2>(kPoolCells, int32_t(kPoolCells)));
        m_poolUsed = 0;
    }
    slot = m_pool.back()->data() + m_poolUsed;
    m_poolUsed += kBucketSize;
    return slot;
}

uint16_t zigzagPosition(uint32_t inIndex)
{
    uint32_t x = 0, y = 0;
    for (uint32_t bit = 0; bit < 5; ++bit) {
        x |= ((inIndex >> (2 * bit)) & 1u) << (4 - bit);
        y |= ((inIndex >> (2 * bit + 1)) & 1u) << (4 - bit);
    }
    return uint16_t(y << 8 | x);
}

} // namespace IW44
} // namespace DjVu
} // namespace Morvenix
