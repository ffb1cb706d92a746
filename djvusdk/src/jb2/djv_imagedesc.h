// A caller's pixel buffer as the JB2 routines that read page images and masks see it.
#pragma once

#include "djv_image.h"

#include <cstddef>
#include <cstdint>

namespace _Mvx_Internal_NS_ {

// Photometrics above phYCC are the caller's to refuse. Pixel (x, y) lies at row 0 + y x row step + x x bytes per pixel, so a negative step serves a bottom-up
// buffer whose row 0 pointer is the top row.
template <class Byte>
struct ImageDesc {
    int32_t width;
    int32_t height;
    Morvenix::DjVu::Photometric photometric;
    int32_t rowStep;
    Byte* row0;
    uint32_t bytesPerPixel;

    static ImageDesc describe(Byte* inRow0, int32_t inRowStep, Morvenix::DjVu::Photometric inPhotometric,
                              uint32_t inWidth, uint32_t inHeight)
    {
        return ImageDesc{int32_t(inWidth), int32_t(inHeight), inPhotometric, inRowStep, inRow0,
                         Morvenix::DjVu::bytesPerPixel(inPhotometric)};
    }

    Byte* at(int32_t inX, int32_t inY) const
    {
        return row0 + ptrdiff_t(inY) * rowStep + ptrdiff_t(inX) * ptrdiff_t(bytesPerPixel);
    }
};

} // namespace _Mvx_Internal_NS_
