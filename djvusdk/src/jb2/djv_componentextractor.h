// Cutting a page mask into shapes: one Normal shape for every 8-connected group of foreground pixels, the
// groups split by colour when the page's colour image is given.
#pragma once

#include "djv_image.h"
#include "djv_imagedesc.h"
#include "djv_jb2page.h"
#include "mvx_simplearray.h"

#include <cstddef>
#include <cstdint>

namespace Morvenix {

// One run of the fill stack: columns left to right of one row, and the work-copy byte of its left pixel.
struct Branch {
    int32_t left;
    int32_t right;
    int32_t row;
    uint8_t* pixel;
};

} // namespace Morvenix

namespace _Mvx_Internal_NS_ {

class ComponentExtractor {
public:
    // Appends to the page, in the order of their top-most then left-most pixel, one shape for every
    // component of the mask's foreground (clear values). With colour data (rows of three bytes for
    // photometrics 0, 1 and 3, one for 2; the step may be negative) a pixel joins a component only when
    // its colour equals that of the component's first pixel. A zero width or height, a mask step that is
    // not positive or shorter than a row, a colour step shorter than a row or an unknown photometric
    // with colour data throw errInvalidParam before the page is touched; an allocation failure leaves
    // the shapes cut so far in the page.
    static void extractShapes(uint32_t inWidth, uint32_t inHeight, uint32_t inMaskType, int32_t inMaskStride,
                              const uint8_t* inMask, int32_t inColorStride, const uint8_t* inColor,
                              Morvenix::DjVu::Photometric inPhotometric, Morvenix::DjVu::JB2::JB2Page& ioPage);

private:
    // Work-copy values: a foreground pixel not yet taken, one taken by the component being filled, and
    // background or foreground already cut into a shape.
    enum : uint8_t { kFree = 0, kFilling = 128, kDone = 255 };

    ComponentExtractor(uint32_t inWidth, uint32_t inHeight, uint32_t inMaskType, int32_t inMaskStride,
                       const uint8_t* inMask, int32_t inColorStride, const uint8_t* inColor,
                       Morvenix::DjVu::Photometric inPhotometric);

    template <bool kColor>
    void extractAll(Morvenix::DjVu::JB2::ShapeList& ioShapes);
    template <bool kColor>
    void fillComponent(int32_t inX, int32_t inY);
    template <bool kColor>
    bool joins(int32_t inX, int32_t inY, const uint8_t* inPixel) const;
    template <bool kColor>
    void pushRun(int32_t inX, int32_t inY);
    template <bool kColor>
    void scanRow(const Morvenix::Branch& inRun, int32_t inRow);
    Morvenix::Branch popRun();
    Morvenix::AutoPtr<Morvenix::DjVu::JB2::Shape> cutShape();

    Morvenix::SimpleArray<uint8_t, 2> m_workBytes;
    ImageDesc<uint8_t> m_work;
    ImageDesc<const uint8_t> m_color;
    Morvenix::SimpleArray<Morvenix::Branch, 2> m_runs;
    const uint8_t* m_seedColor;
    // The component's box, inclusive; empty while right < left.
    int32_t m_left, m_top, m_right, m_bottom;
};

} // namespace _Mvx_Internal_NS_
