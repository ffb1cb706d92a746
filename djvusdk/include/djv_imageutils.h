// Routines that prepare the layers of a compound page and move masks between one byte and one bit a
// pixel. Images are a pointer to row 0, a signed row step in bytes, a Photometric, a width and a height;
// masks travel the same way with a MaskType, a clear value being foreground.
#pragma once

#include "djv_image.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {

class ImageUtils {
public:
    // ceil(width / subsample) by ceil(height / subsample); subsample 1 to 12, else errInvalidParam.
    static void estimateSubsampledSize(uint32_t* outSubWidth, uint32_t* outSubHeight, uint32_t inWidth,
                                       uint32_t inHeight, uint32_t inSubsample);
    // A one-bit mask of the image: bit 1 where the pixel is light (background), 0 where it is dark.
    // Photometrics outside 0-3 throw errOperationFailed.
    static void packAnyToBits(uint32_t inWidth, uint32_t inHeight, int32_t inStride, const uint8_t* inPixels,
                              Photometric inPhotometric, int32_t inMaskStride, uint8_t* outMask);
    // The lightness tests of packAnyToBits for one pixel: a weighted sum 3R + 6G + B above 1280, or a grey
    // (or luminance) byte above 128.
    static bool isLightRGB(const uint8_t* inPixel) { return 3 * inPixel[0] + 6 * inPixel[1] + inPixel[2] > 1280; }
    static bool isLightBGR(const uint8_t* inPixel) { return 3 * inPixel[2] + 6 * inPixel[1] + inPixel[0] > 1280; }
    static bool isLightGray(const uint8_t* inPixel) { return *inPixel > 128; }
    // Grows the foreground (clear values) of a mask by one pixel in the four directions; pixels outside
    // the image count as background. Mask type 1 is one bit a pixel, any other value one byte. Source
    // and destination must not overlap.
    static void erodeMask(uint8_t* outDst, int32_t inDstStride, uint32_t inWidth, uint32_t inHeight,
                          uint32_t inMaskType, const uint8_t* inSrc, int32_t inSrcStride);
    // Reduces the image by averaging, per cell, only the pixels whose mask value inSelect picks (1: set,
    // 0: clear), then fills the cells that got too few such pixels from their surroundings. The factor is
    // the largest of 1 to 12 that turns inSrcWidth into inSubWidth; cells are anchored at the first column
    // and the last row. Cells that get no value stay as they were.
    static void subsampleWithMask(uint8_t* outDst, int32_t inDstStride, Photometric inPhotometric,
                                  uint32_t inSubWidth, uint32_t inSubHeight, const uint8_t* inSrc,
                                  int32_t inSrcStride, uint32_t inSrcWidth, uint32_t inSrcHeight,
                                  const uint8_t* inMask, int32_t inMaskStride, uint32_t inMaskType,
                                  uint32_t inSelect, uint32_t inMinCount);
    // One byte a pixel to one bit a pixel (nonzero gives 1); a row's last byte is padded with 0 bits.
    static void packBytesToBits(uint32_t inWidth, uint32_t inHeight, int32_t inSrcStride, const uint8_t* inSrc,
                                int32_t inDstStride, uint8_t* outDst);
    // One bit a pixel to one byte a pixel: 1 gives 0xFF, 0 gives 0.
    static void unpackBitsToBytes(uint32_t inWidth, uint32_t inHeight, int32_t inSrcStride, const uint8_t* inSrc,
                                  int32_t inDstStride, uint8_t* outDst);
    // One bit a pixel to one byte a pixel: 1 gives 1, 0 gives 0.
    static void unpackBitsToBinary(uint32_t inWidth, uint32_t inHeight, int32_t inSrcStride, const uint8_t* inSrc,
                                   int32_t inDstStride, uint8_t* outDst);
};

namespace Imaging {
// White in the photometric's own terms (FF FF FF, FF, or FF 80 80 for luminance and colour differences).
void fillWhite(uint8_t* outDst, int32_t inStride, uint32_t inWidth, uint32_t inHeight, Photometric inPhotometric);
} // namespace Imaging

} // namespace DjVu
} // namespace Morvenix
