// Rendering the shapes of a JB2 page into a caller's pixel buffer of any size: pixel for pixel, by area
// reduction, or by bilinear interpolation, in the shapes' colours or a foreground image's, blended over
// the buffer or with coverage in an extra byte.
#pragma once

#include "djv_image.h"
#include "djv_jb2shape.h"
#include "mvx_geometry.h"
#include "mvx_simplearray.h"

#include <cstdint>

namespace _Mvx_Internal_NS_ {

// Per page row, the list indices of the shapes whose first drawn row it is, ascending. A shape is drawn
// on the rows it covers from max(y, 0) on; shapes that reach below the page are left out (ddjvu drops
// them too). Valid while the shape list is unchanged.
typedef Morvenix::SimpleArray<Morvenix::SimpleArray<uint32_t, 2>, 1> RenderIndex;

void buildRenderIndex(const Morvenix::DjVu::JB2::ShapeList& inShapes, uint32_t inPageHeight, RenderIndex& outIndex);

// A foreground image in the target's colour layout (3 bytes a pixel, 1 for grey), at least 1 x 1.
struct ForegroundImage {
    const uint8_t* pixels;
    int32_t rowStep;
    uint32_t width;
    uint32_t height;
};

// Writes the window (in target pixels, inside the target size) of the page rendered at the target size
// into outBuffer, whose first row is the window's top row. Without a foreground image the shapes paint
// in their own colours. Pixel layout: the photometric's colour bytes, followed with inAlpha by a coverage
// byte (colours then premultiplied). inFilter 0 reduces with a tent filter, anything else with a box.
// A photometric above phYCC throws errOperationFailed; a window outside the target, a row step shorter
// than the window's row or a foreground image that cannot be read throws errInvalidParam.
void resampleMaskT(uint8_t* outBuffer, int32_t inRowStep, const Morvenix::Rect& inWindow, uint32_t inTargetWidth,
                   uint32_t inTargetHeight, const Morvenix::DjVu::JB2::ShapeList& inShapes,
                   const RenderIndex& inIndex, uint32_t inPageWidth, uint32_t inPageHeight,
                   const ForegroundImage* inForeground, Morvenix::DjVu::Photometric inPhotometric, bool inAlpha,
                   uint32_t inFilter);

} // namespace _Mvx_Internal_NS_
