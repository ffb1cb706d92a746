// The clean-up passes after the classification: block deletion, noise deletion and expansion.
#include "djv_segpasses.h"

#include "djv_segscanner.h"

#include <cstddef>
#include <cstring>

namespace Morvenix {
namespace DjVu {
namespace Seg {

namespace {

// Transient marks: the component being examined, the same during the isolation test, a component kept.
constexpr uint8_t kExamined = 128, kIsolationMark = 254, kKept = 64;

struct Box {
    uint32_t x, y, width, height;
};

Box lastBox(const Scanner& inScanner)
{
    return Box{uint32_t(inScanner.minX()), uint32_t(inScanner.minY()), uint32_t(inScanner.boxWidth()),
               uint32_t(inScanner.boxHeight())};
}

void replaceInBox(const ImageView& ioImage, const Box& inBox, uint8_t inFrom, uint8_t inTo)
{
    for (uint32_t y = inBox.y; y < inBox.y + inBox.height; ++y) {
        uint8_t* p = ioImage.row(y) + inBox.x;
        for (uint32_t x = 0; x < inBox.width; ++x) {
            if (p[x] == inFrom)
                p[x] = inTo;
        }
    }
}

class NoiseEraser {
public:
    NoiseEraser(const Config& inConfig, const ImageView& ioSegmented, const ImageView& inBlurred)
        : m_config(inConfig), m_seg(ioSegmented), m_blurred(inBlurred), m_scanner(ioSegmented)
    {
    }

    void run()
    {
        const uint32_t bs = m_config.blockWidth;
        const uint32_t bsY = m_config.blockHeight;
        // Pieces are looked for up to two blocks short of the page's right and bottom ends; parts of kept
        // pieces that reach beyond stay marked, which reads as background.
        const uint32_t endX = m_seg.width - 4 * bs;
        const uint32_t endY = m_seg.height - 4 * bsY;
        if (endX <= 2 * bs || endY <= 2 * bsY)
            return;
        const Box range{2 * bs, 2 * bsY, endX - 2 * bs, endY - 2 * bsY};
        for (uint32_t y = range.y; y < range.y + range.height; ++y) {
            for (uint32_t x = range.x; x < range.x + range.width; ++x) {
                if (m_seg.at(x, y) == kForeground)
                    examine(x, y);
            }
        }
        replaceInBox(m_seg, range, kKept, kForeground);
    }

private:
    void examine(uint32_t inX, uint32_t inY)
    {
        m_scanner.fill(int32_t(inX), int32_t(inY), kForeground, kExamined);
        const Box box = lastBox(m_scanner);
        const bool erase = m_scanner.count() <= m_config.noiseSize && isIsolated(inX, inY, box);
        replaceInBox(m_seg, box, kExamined, erase || isLowContrast(box) ? uint8_t(kBackground) : kKept);
    }

    bool isIsolated(uint32_t inX, uint32_t inY, const Box& inBox)
    {
        m_scanner.fill(int32_t(inX), int32_t(inY), kExamined, kIsolationMark);
        const uint32_t x0 = inBox.x ? inBox.x : 1;
        const uint32_t y0 = inBox.y ? inBox.y : 1;
        const uint32_t x1 = inBox.x + inBox.width < m_seg.width ? inBox.x + inBox.width : m_seg.width - 1;
        const uint32_t y1 = inBox.y + inBox.height < m_seg.height ? inBox.y + inBox.height : m_seg.height - 1;
        bool isolated = true;
        for (uint32_t y = y0; y < y1 && isolated; ++y) {
            for (uint32_t x = x0; x < x1 && isolated; ++x) {
                if (m_seg.at(x, y) != kIsolationMark)
                    continue;
                for (int32_t dy = -1; dy <= 1; ++dy) {
                    const uint8_t* row = m_seg.row(uint32_t(int32_t(y) + dy));
                    for (int32_t dx = -1; dx <= 1; ++dx) {
                        const uint8_t v = row[int32_t(x) + dx];
                        if (v == kForeground || v == kExamined)
                            isolated = false;
                    }
                }
            }
        }
        m_scanner.fill(int32_t(inX), int32_t(inY), kIsolationMark, kExamined);
        return isolated;
    }

    // Whether the piece differs from its surroundings by less than the noise contrast in the blurred
    // image; a piece that fills most of a box larger than a block is never low-contrast.
    bool isLowContrast(const Box& inBox) const
    {
        uint64_t all = 0, inside = 0, n = 0;
        for (uint32_t y = inBox.y - 2; y < inBox.y + inBox.height + 2; ++y) {
            const uint8_t* b = m_blurred.row(y);
            const uint8_t* s = m_seg.row(y);
            for (uint32_t x = inBox.x - 2; x < inBox.x + inBox.width + 2; ++x) {
                all += b[x];
                if (s[x] == kExamined) {
                    inside += b[x];
                    ++n;
                }
            }
        }
        const uint64_t area = uint64_t(inBox.width) * inBox.height;
        if (n * 100 / area >= 91 && area > m_config.blockArea)
            return false;
        const int64_t insideMean = int64_t(inside / n);
        const int64_t allMean = int64_t(all / ((uint64_t(inBox.width) + 4) * (uint64_t(inBox.height) + 4)));
        const int64_t diff = insideMean > allMean ? insideMean - allMean : allMean - insideMean;
        return diff < int64_t(m_config.noiseContrast);
    }

    const Config& m_config;
    ImageView m_seg;
    ImageView m_blurred;
    Scanner m_scanner;
};

class BlockEraser {
public:
    BlockEraser(const Config& inConfig, const ImageView& ioSegmented, const ImageView& inBlocks,
                uint8_t* inScratch)
        : m_config(inConfig), m_seg(ioSegmented), m_blocks(inBlocks), m_scratch(inScratch), m_scanner(ioSegmented)
    {
    }

    void run()
    {
        const uint32_t bs = m_config.blockWidth;
        const uint32_t bsY = m_config.blockHeight;
        const uint32_t endX = m_seg.width - 3 * bs;
        for (uint32_t y = 2 * bsY; y < m_seg.height - 3 * bsY; ++y) {
            const uint8_t* blockRow = m_blocks.row(y / bsY);
            for (uint32_t blockX = 2 * bs; blockX < endX; blockX += bs) {
                if (blockRow[blockX / bs] != 0)
                    continue;
                const uint8_t* seg = m_seg.row(y);
                for (uint32_t x = blockX; x < blockX + bs && x < endX; ++x) {
                    if (seg[x] == kForeground)
                        flip(x, y);
                }
            }
        }
    }

private:
    // The component from (inX, inY) becomes background, and what it encloses changes sides.
    void flip(uint32_t inX, uint32_t inY)
    {
        m_scanner.fill(int32_t(inX), int32_t(inY), kForeground, kExamined);
        const Box box = lastBox(m_scanner);
        // Outline of the component with a free border, from whose corner the outside is filled.
        const ImageView local{box.width + 2, box.height + 2, int32_t(box.width + 2), m_scratch};
        std::memset(local.row(0), kBackground, local.width);
        std::memset(local.row(local.height - 1), kBackground, local.width);
        for (uint32_t y = 0; y < box.height; ++y) {
            const uint8_t* s = m_seg.row(box.y + y) + box.x;
            uint8_t* l = local.row(y + 1);
            l[0] = kBackground;
            l[box.width + 1] = kBackground;
            ++l;
            for (uint32_t x = 0; x < box.width; ++x)
                l[x] = s[x] == kExamined ? kExamined : uint8_t(kBackground);
        }
        Scanner outside(local);
        outside.fill(0, 0, kBackground, 0);
        for (uint32_t y = 0; y < box.height; ++y) {
            uint8_t* s = m_seg.row(box.y + y) + box.x;
            const uint8_t* l = local.row(y + 1) + 1;
            for (uint32_t x = 0; x < box.width; ++x) {
                const uint8_t enclosed = l[x] == kBackground ? uint8_t(~s[x]) : s[x];
                s[x] = l[x] == kExamined ? uint8_t(kBackground) : enclosed;
            }
        }
    }

    const Config& m_config;
    ImageView m_seg;
    ImageView m_blocks;
    uint8_t* m_scratch;
    Scanner m_scanner;
};

} // namespace

void deleteBlocks(const Config& inConfig, const ImageView& ioSegmented, const ImageView& inBlocks,
                  uint8_t* inScratch)
{
    BlockEraser(inConfig, ioSegmented, inBlocks, inScratch).run();
}

void deleteNoise(const Config& inConfig, const ImageView& ioSegmented, const ImageView& inBlurred)
{
    if (inConfig.noiseContrast)
        NoiseEraser(inConfig, ioSegmented, inBlurred).run();
}

void expand(const Config& inConfig, const ImageView& ioSegmented)
{
    const uint32_t W = ioSegmented.width;
    const uint32_t H = ioSegmented.height;
    const ptrdiff_t step = ioSegmented.stride;
    for (uint32_t y = 2; y + 2 < H; ++y) {
        uint8_t* p = ioSegmented.row(y);
        for (uint32_t x = 2; x + 2 < W; ++x) {
            if (p[x] == kForeground) {
                p[x - 1] &= 128;
                p[x + 1] &= 128;
                p[x - step] &= 128;
                p[x + step] &= 128;
            }
        }
    }
    for (uint32_t y = 1; y + 1 < H; ++y) {
        uint8_t* p = ioSegmented.row(y);
        for (uint32_t x = 1; x + 1 < W; ++x) {
            if (p[x] != 128)
                continue;
            const uint32_t exposed = (p[x - 1] >> 7) + (p[x + 1] >> 7) + (p[x - step] >> 7) + (p[x + step] >> 7);
            p[x] = inConfig.expandFully || exposed <= 1 ? kForeground : kBackground;
        }
    }
}

} // namespace Seg
} // namespace DjVu
} // namespace Morvenix
