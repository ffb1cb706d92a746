// Masks between one byte and one bit a pixel.
#include "djv_imageutils.h"

#include <cstddef>

namespace Morvenix {
namespace DjVu {

void ImageUtils::packBytesToBits(uint32_t inWidth, uint32_t inHeight, int32_t inSrcStride, const uint8_t* inSrc,
                                 int32_t inDstStride, uint8_t* outDst)
{
    for (uint32_t y = 0; y < inHeight; ++y) {
        const uint8_t* s = inSrc + ptrdiff_t(y) * inSrcStride;
        uint8_t* d = outDst + ptrdiff_t(y) * inDstStride;
        uint32_t x = 0;
        for (; x + 8 <= inWidth; x += 8, s += 8)
            *d++ = uint8_t((s[0] != 0) << 7 | (s[1] != 0) << 6 | (s[2] != 0) << 5 | (s[3] != 0) << 4 |
                           (s[4] != 0) << 3 | (s[5] != 0) << 2 | (s[6] != 0) << 1 | (s[7] != 0));
        if (x < inWidth) {
            uint8_t b = 0;
            for (uint32_t bit = 0; x < inWidth; ++x, ++bit)
                b |= uint8_t((*s++ != 0) << (7 - bit));
            *d = b;
        }
    }
}

namespace {
template <uint8_t kSet>
void unpackBits(uint32_t inWidth, uint32_t inHeight, int32_t inSrcStride, const uint8_t* inSrc, int32_t inDstStride,
                uint8_t* outDst)
{
    for (uint32_t y = 0; y < inHeight; ++y) {
        const uint8_t* s = inSrc + ptrdiff_t(y) * inSrcStride;
        uint8_t* d = outDst + ptrdiff_t(y) * inDstStride;
        for (uint32_t x = 0; x < inWidth; ++x)
            d[x] = ((s[x >> 3] >> (7 - (x & 7))) & 1) ? kSet : 0;
    }
}
} // namespace

void ImageUtils::unpackBitsToBytes(uint32_t inWidth, uint32_t inHeight, int32_t inSrcStride, const uint8_t* inSrc,
                                   int32_t inDstStride, uint8_t* outDst)
{
    unpackBits<0xFF>(inWidth, inHeight, inSrcStride, inSrc, inDstStride, outDst);
}

void ImageUtils::unpackBitsToBinary(uint32_t inWidth, uint32_t inHeight, int32_t inSrcStride, const uint8_t* inSrc,
                                    int32_t inDstStride, uint8_t* outDst)
{
    unpackBits<1>(inWidth, inHeight, inSrcStride, inSrc, inDstStride, outDst);
}

} // namespace DjVu
} // namespace Morvenix
