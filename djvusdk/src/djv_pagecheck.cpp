// The checks a page passes before the page encoder touches its group.
#include "djv_djvuencoderimpl.h"

#include "mvx_exception.h"

#define MVX_SOURCE "djv_pagecheck"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;

uint32_t knownPixelBytes(Photometric inPhotometric, const char* inFunction)
{
    const uint32_t bytes = bytesPerPixel(inPhotometric);
    if (bytes == 0)
        MVX_THROW(errInvalidParam, "Unknown photometric!", inFunction);
    return bytes;
}

void checkPage(const void* inPixels, int32_t inStride, Photometric inPhotometric, uint32_t inWidth,
               uint32_t inHeight, uint32_t inDpi, const void* inMask, int32_t inMaskStride, uint32_t inMaskType)
{
    static const char* const kFunction = "Morvenix::DjVu::DjVuEncoder::encodePage";
    // INFO holds width, height and resolution in 16 bits each: larger values cannot be written.
    const uint32_t kMaxField = 0xFFFF;
    if (!inPixels)
        MVX_THROW(errInvalidParam, "inPixels is null.", kFunction);
    if (inWidth == 0 || inHeight == 0 || inWidth > kMaxField || inHeight > kMaxField)
        MVX_THROW(errInvalidParam, "Width and height must be in 1-65535.", kFunction);
    if (inDpi > kMaxField)
        MVX_THROW(errInvalidParam, "The resolution must be at most 65535 dpi.", kFunction);
    const uint32_t bytes = knownPixelBytes(inPhotometric, kFunction);
    if (!rowStepHolds(inStride, uint64_t(inWidth) * bytes))
        MVX_THROW(errInvalidParam, "The row step is smaller than a row.", kFunction);
    if (!inMask)
        return;
    if (inMaskType != mtBytes && inMaskType != mtBits)
        MVX_THROW(errInvalidParam, "Unknown mask type!", kFunction);
    const uint32_t maskRow = inMaskType == mtBits ? (inWidth + 7) / 8 : inWidth;
    if (inMaskStride <= 0 || uint32_t(inMaskStride) < maskRow)
        MVX_THROW(errInvalidParam, "The mask row step must be positive and hold a mask row.", kFunction);
}

} // namespace _Mvx_Internal_NS_
