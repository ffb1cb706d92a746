// The IW44 reference YCbCr matrix in 16-bit fixed point, rounded to the nearest level: truncating would
// shift every sample down by half a level on average, which costs the colour planes most.
#include "djv_iw44colour.h"

#include "mvx_exception.h"

#include <algorithm>
#include <cstddef>

#define MVX_SOURCE "djv_iw44colour"

namespace Morvenix {
namespace DjVu {
namespace IW44 {

void makePlanes(const uint8_t* inPixels, int32_t inStride, Photometric inPhotometric, uint32_t inWidth,
                uint32_t inHeight, uint32_t inRowSize, int16_t* outY, int16_t* outCb, int16_t* outCr)
{
    if (bytesPerPixel(inPhotometric) == 0)
        MVX_THROW(errInvalidParam, "Not supported Photometric.", "_Mvx_Internal_NS_::IW44EncoderImpl::decompose");
    for (uint32_t row = 0; row < inHeight; ++row) {
        // Plane row 0 is the image's last row.
        const uint8_t* src = inPixels + ptrdiff_t(inStride) * ptrdiff_t(inHeight - 1 - row);
        const size_t at = size_t(row) * inRowSize;
        int16_t* y = outY + at;
        int16_t* cb = outCb ? outCb + at : nullptr;
        int16_t* cr = outCr ? outCr + at : nullptr;
        switch (inPhotometric) {
        case phGray:
            for (uint32_t x = 0; x < inWidth; ++x)
                // 127, not 128: decoders map a grey sample v back to 127 - v / 64.
                y[x] = int16_t((127 - int32_t(src[x])) * 64);
            break;
        case phYCC:
            for (uint32_t x = 0; x < inWidth; ++x, src += 3) {
                const YCCPixel p = YCCPixel::read(src);
                y[x] = int16_t((p.luminance - 128) * 64);
                if (cb) {
                    cb[x] = int16_t(p.blue * 64);
                    cr[x] = int16_t(p.red * 64);
                }
            }
            break;
        default: {
            const uint32_t r0 = inPhotometric == phBGR ? 2 : 0;
            for (uint32_t x = 0; x < inWidth; ++x, src += 3) {
                const int32_t r = src[r0], g = src[1], b = src[2 - r0];
                const int32_t half = 1 << 15;
                y[x] = int16_t((((19946 * r + 39891 * g + 5699 * b + half) >> 16) - 128) * 64);
                if (cb) {
                    const int32_t cbLevel = (34193 * b - 22795 * g - 11398 * r + half) >> 16;
                    cb[x] = int16_t(std::max(-128, std::min(127, cbLevel)) * 64);
                    // Shifting by 10 and clearing the low six bits is the x64 of the >> 16 result.
                    cr[x] = int16_t(((30393 * r - 26594 * g - 3799 * b + half) >> 10) & ~63);
                }
            }
            break;
        }
        }
    }
}

} // namespace IW44
} // namespace DjVu
} // namespace Morvenix
