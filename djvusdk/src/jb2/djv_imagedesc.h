// A caller's pixel buffer as the JB2 routines that read page images see it.
#pragma once

#include "djv_image.h"

#include <cstddef>
#include <cstdint>

namespace _Mvx_Internal_NS_ {

// Pixel (x, y) lies at row 0 + y x row step + x x bytes per pixel, so a negative step serves a bottom-up
// buffer whose row 0 pointer is the top row.
struct ImageDesc {
    uint32_t width;
    uint32_t height;
    uint32_t photometric;
    int32_t rowStep;
    const uint8_t* pixels;
    uint32_t bytesPerPixel;

    // Photometrics above phYCC are the caller's to refuse before describing the buffer.
    static ImageDesc describe(const uint8_t* inPixels, int32_t inRowStep, Morvenix::DjVu::Photometric inPhotometric,
                              uint32_t inWidth, uint32_t inHeight)
    {
        static const uint32_t kBytesPerPixel[] = {3, 3, 1, 3};
        return ImageDesc{inWidth, inHeight, inPhotometric, inRowStep, inPixels, kBytesPerPixel[inPhotometric]};
    }

    const uint8_t* pixelAt(uint32_t inX, uint32_t inY) const
    {
        return pixels + ptrdiff_t(inY) * rowStep + ptrdiff_t(inX) * ptrdiff_t(bytesPerPixel);
    }
};

} // namespace _Mvx_Internal_NS_
