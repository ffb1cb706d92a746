// The scanline flood fill the segmenter's clean-up passes lean on.
#pragma once

#include "djv_segworkimage.h"
#include "mvx_simplearray.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {
namespace Seg {

class Scanner {
public:
    // One span of a fill waiting for its rows above and below: columns left to right of row y, and the
    // address of its first pixel.
    struct Branch {
        int32_t left;
        int32_t right;
        int32_t y;
        uint8_t* pixel;
    };

    explicit Scanner(const ImageView& inImage);

    // Replaces the 4-connected region of pixels equal to inTarget around (inX, inY), which must itself be
    // inTarget, with inReplacement; leaves the region's box and pixel count.
    void fill(int32_t inX, int32_t inY, uint8_t inTarget, uint8_t inReplacement);

    // Box of the last fill; the width and height count pixels (a one-pixel region is 1 x 1).
    int32_t minX() const { return m_minX; }
    int32_t minY() const { return m_minY; }
    int32_t boxWidth() const { return m_maxX - m_minX + 1; }
    int32_t boxHeight() const { return m_maxY - m_minY + 1; }
    uint32_t count() const { return m_count; }

private:
    void seed(int32_t inX, int32_t inY, uint8_t* inPixel);

    ImageView m_image;
    SimpleArray<Branch, 1> m_stack;
    int32_t m_minX;
    int32_t m_minY;
    int32_t m_maxX;
    int32_t m_maxY;
    uint32_t m_count;
    uint8_t m_target;
    uint8_t m_replacement;
};

} // namespace Seg
} // namespace DjVu
} // namespace Morvenix
