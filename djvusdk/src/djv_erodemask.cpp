// Erosion of a mask's background: a pixel stays set only when it and its four neighbours are set, so the
// foreground grows by one pixel and the background layer is averaged away from the strokes' fringes.
#include "djv_imageutils.h"

#include <cstddef>

namespace Morvenix {
namespace DjVu {

namespace {

// Neighbours outside the image count as set, so they take part in the AND as 0xFF.
void erodeBytes(uint8_t* outDst, int32_t inDstStride, uint32_t inWidth, uint32_t inHeight, const uint8_t* inSrc,
                int32_t inSrcStride)
{
    for (uint32_t y = 0; y < inHeight; ++y) {
        const uint8_t* cur = inSrc + ptrdiff_t(y) * inSrcStride;
        const uint8_t* up = y > 0 ? cur - inSrcStride : nullptr;
        const uint8_t* down = y + 1 < inHeight ? cur + inSrcStride : nullptr;
        uint8_t* d = outDst + ptrdiff_t(y) * inDstStride;
        for (uint32_t x = 0; x < inWidth; ++x) {
            uint8_t v = cur[x];
            if (x > 0)
                v &= cur[x - 1];
            if (x + 1 < inWidth)
                v &= cur[x + 1];
            if (up)
                v &= up[x];
            if (down)
                v &= down[x];
            d[x] = v;
        }
    }
}

// A row of packed bits whose padding past the width reads as set: a pixel in the last column has no
// right neighbour, which must not turn it into foreground.
class BitRow {
public:
    BitRow(const uint8_t* inRow, uint32_t inBytes, uint8_t inPadding)
        : m_row(inRow), m_last(inBytes - 1), m_padding(inPadding)
    {
    }
    uint8_t operator[](uint32_t i) const
    {
        if (!m_row || i > m_last)
            return 0xFF;
        return i == m_last ? uint8_t(m_row[i] | m_padding) : m_row[i];
    }

private:
    const uint8_t* m_row;
    uint32_t m_last;
    uint8_t m_padding;
};

void erodeBits(uint8_t* outDst, int32_t inDstStride, uint32_t inWidth, uint32_t inHeight, const uint8_t* inSrc,
               int32_t inSrcStride)
{
    const uint32_t bytes = (inWidth + 7) / 8;
    const uint8_t padding = uint8_t(~lastByteMask(inWidth));
    for (uint32_t y = 0; y < inHeight; ++y) {
        const uint8_t* row = inSrc + ptrdiff_t(y) * inSrcStride;
        const BitRow cur(row, bytes, padding);
        const BitRow up(y > 0 ? row - inSrcStride : nullptr, bytes, padding);
        const BitRow down(y + 1 < inHeight ? row + inSrcStride : nullptr, bytes, padding);
        uint8_t* d = outDst + ptrdiff_t(y) * inDstStride;
        for (uint32_t i = 0; i < bytes; ++i) {
            const uint8_t c = cur[i];
            // The most significant bit is the leftmost pixel: its left neighbour is the previous byte's
            // lowest bit, the right neighbour of the lowest bit the next byte's highest.
            const uint8_t left = uint8_t(c >> 1 | (i > 0 ? cur[i - 1] : 0xFF) << 7);
            const uint8_t right = uint8_t(c << 1 | cur[i + 1] >> 7);
            d[i] = uint8_t(c & left & right & up[i] & down[i]);
        }
    }
}

} // namespace

void ImageUtils::erodeMask(uint8_t* outDst, int32_t inDstStride, uint32_t inWidth, uint32_t inHeight,
                           uint32_t inMaskType, const uint8_t* inSrc, int32_t inSrcStride)
{
    if (inWidth == 0 || inHeight == 0)
        return;
    if (inMaskType == mtBits)
        erodeBits(outDst, inDstStride, inWidth, inHeight, inSrc, inSrcStride);
    else
        erodeBytes(outDst, inDstStride, inWidth, inHeight, inSrc, inSrcStride);
}

} // namespace DjVu
} // namespace Morvenix
