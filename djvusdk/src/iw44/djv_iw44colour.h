// The colour transform of the IW44 encoder: an image's pixels as the signed luminance and
// colour-difference planes the wavelet codes (samples x64, plane row 0 being the image's bottom row).
#pragma once

#include "djv_image.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {
namespace IW44 {

// Fills the planes (rows inRowSize samples apart, already zero beyond the image) from the image; inCb and
// inCr null leave out the colour difference. Throws errInvalidParam for an unknown layout.
void makePlanes(const uint8_t* inPixels, int32_t inStride, Photometric inPhotometric, uint32_t inWidth,
                uint32_t inHeight, uint32_t inRowSize, int16_t* outY, int16_t* outCb, int16_t* outCr);

} // namespace IW44
} // namespace DjVu
} // namespace Morvenix
