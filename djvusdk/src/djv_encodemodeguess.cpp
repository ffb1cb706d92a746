// The mode of an emAuto page: from the caller's mask when there is one, else from the grey levels and
// colours of the image.
#include "djv_djvuencoderimpl.h"

#include <cstdlib>

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;

namespace {

bool maskHasForeground(const uint8_t* inMask, int32_t inMaskStride, uint32_t inMaskType, uint32_t inWidth,
                       uint32_t inHeight)
{
    for (uint32_t y = 0; y < inHeight; ++y) {
        const uint8_t* row = inMask + ptrdiff_t(y) * inMaskStride;
        if (inMaskType == mtBytes) {
            for (uint32_t x = 0; x < inWidth; ++x)
                if (row[x] == 0)
                    return true;
            continue;
        }
        const uint32_t bytes = (inWidth + 7) / 8;
        for (uint32_t i = 0; i + 1 < bytes; ++i)
            if (row[i] != 0xFF)
                return true;
        const uint8_t used = lastByteMask(inWidth);
        if (bytes && (row[bytes - 1] & used) != used)
            return true;
    }
    return false;
}

} // namespace

void DjVuEncoderImpl::guessEncodeMode(const uint8_t* inPixels, int32_t inStride, Photometric inPhotometric,
                                      uint32_t inWidth, uint32_t inHeight, uint32_t* outMode, const uint8_t* inMask,
                                      int32_t inMaskStride, uint32_t inMaskType)
{
    if (inMask) {
        *outMode = maskHasForeground(inMask, inMaskStride, inMaskType, inWidth, inHeight) ? emCompound : emPhoto;
        return;
    }
    const uint32_t bytes = knownPixelBytes(inPhotometric, "_Mvx_Internal_NS_::DjVuEncoderImpl::guessEncodeMode");
    bool levels[256] = {};
    // Red and blue offsets of the two byte orders.
    const uint32_t r = inPhotometric == phBGR ? 2 : 0, b = 2 - r;
    for (uint32_t y = 0; y < inHeight; ++y) {
        const uint8_t* p = inPixels + ptrdiff_t(y) * inStride;
        for (uint32_t x = 0; x < inWidth; ++x, p += bytes) {
            switch (inPhotometric) {
            case phGray:
                levels[p[0]] = true;
                break;
            case phYCC: {
                const YCCPixel ycc = YCCPixel::read(p);
                if (std::abs(ycc.blue) + std::abs(ycc.red) >= 16) {
                    *outMode = emCompound;
                    return;
                }
                levels[ycc.luminance] = true;
                break;
            }
            default: {
                const int32_t g = p[1];
                if (std::abs(g - p[r]) + std::abs(g - p[b]) >= 16) {
                    *outMode = emCompound;
                    return;
                }
                levels[(uint32_t(p[r]) * 306 + uint32_t(g) * 601 + uint32_t(p[b]) * 117) >> 10] = true;
                break;
            }
            }
        }
    }
    uint32_t count = 0;
    for (bool level : levels)
        count += level;
    *outMode = count == 2 && levels[0] && levels[255] ? emBitonal : emCompound;
}

} // namespace _Mvx_Internal_NS_
