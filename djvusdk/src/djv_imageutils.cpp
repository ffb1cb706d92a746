// Reduced layer sizes, the lightness mask of a page image, and white fills.
#include "djv_imageutils.h"

#include "mvx_exception.h"

#include <cstddef>
#include <cstring>

#define MVX_SOURCE "djv_imageutils"

namespace Morvenix {
namespace DjVu {

void ImageUtils::estimateSubsampledSize(uint32_t* outSubWidth, uint32_t* outSubHeight, uint32_t inWidth,
                                        uint32_t inHeight, uint32_t inSubsample)
{
    static const char* const kFunction = "Morvenix::DjVu::ImageUtils::estimateSubsampledSize";
    if (!outSubWidth || !outSubHeight)
        MVX_THROW(errInvalidParam, "errInvalidParam", kFunction);
    if (inSubsample == 0)
        MVX_THROW(errInvalidParam, "inSubsample must be positive integer.", kFunction);
    if (inSubsample > 12)
        MVX_THROW(errInvalidParam, "This function doesn't support over 12 inSubsample.", kFunction);
    // In 64 bits: a width near 2^32 must not wrap to a tiny layer.
    *outSubWidth = uint32_t((uint64_t(inWidth) + inSubsample - 1) / inSubsample);
    *outSubHeight = uint32_t((uint64_t(inHeight) + inSubsample - 1) / inSubsample);
}

namespace {
template <uint32_t kBytes, bool (*kIsLight)(const uint8_t*)>
void packLightness(uint32_t inWidth, uint32_t inHeight, int32_t inStride, const uint8_t* inPixels,
                   int32_t inMaskStride, uint8_t* outMask)
{
    for (uint32_t y = 0; y < inHeight; ++y) {
        const uint8_t* p = inPixels + ptrdiff_t(y) * inStride;
        uint8_t* m = outMask + ptrdiff_t(y) * inMaskStride;
        uint32_t bits = 0, filled = 0;
        for (uint32_t x = 0; x < inWidth; ++x, p += kBytes) {
            bits = bits << 1 | uint32_t(kIsLight(p));
            if (++filled == 8) {
                *m++ = uint8_t(bits);
                bits = filled = 0;
            }
        }
        if (filled)
            *m = uint8_t(bits << (8 - filled));
    }
}
} // namespace

void ImageUtils::packAnyToBits(uint32_t inWidth, uint32_t inHeight, int32_t inStride, const uint8_t* inPixels,
                               Photometric inPhotometric, int32_t inMaskStride, uint8_t* outMask)
{
    switch (inPhotometric) {
    case phRGB:
        packLightness<3, isLightRGB>(inWidth, inHeight, inStride, inPixels, inMaskStride, outMask);
        break;
    case phBGR:
        packLightness<3, isLightBGR>(inWidth, inHeight, inStride, inPixels, inMaskStride, outMask);
        break;
    case phGray:
        packLightness<1, isLightGray>(inWidth, inHeight, inStride, inPixels, inMaskStride, outMask);
        break;
    case phYCC:
        // The luminance byte leads the pixel and is read like a grey value.
        packLightness<3, isLightGray>(inWidth, inHeight, inStride, inPixels, inMaskStride, outMask);
        break;
    default:
        MVX_THROW(errOperationFailed, "packAnyToBits: Unknown photometric!",
                  "Morvenix::DjVu::ImageUtils::packAnyToBits");
    }
}

namespace Imaging {

void fillWhite(uint8_t* outDst, int32_t inStride, uint32_t inWidth, uint32_t inHeight, Photometric inPhotometric)
{
    if (inPhotometric > phYCC)
        MVX_THROW(errInvalidParam, "Unknown photometric!", "Morvenix::DjVu::Imaging::fillWhite");
    const uint32_t bytes = bytesPerPixel(inPhotometric);
    for (uint32_t y = 0; y < inHeight; ++y) {
        uint8_t* row = outDst + ptrdiff_t(y) * inStride;
        std::memset(row, 0xFF, size_t(inWidth) * bytes);
        // Full luminance without colour difference (YCCPixel).
        if (inPhotometric == phYCC) {
            for (uint32_t x = 0; x < inWidth; ++x) {
                row[3 * size_t(x) + 1] = 0;
                row[3 * size_t(x) + 2] = 0;
            }
        }
    }
}

} // namespace Imaging

} // namespace DjVu
} // namespace Morvenix
