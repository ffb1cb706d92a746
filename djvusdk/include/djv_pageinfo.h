// A page's INFO values as the text layer, the annotations and the link repair take them, with the page
// orientation they record and the turning of rectangles between orientations.
#pragma once

#include "mvx_geometry.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {

struct PageInfo {
    uint32_t width;
    uint32_t height;
    uint32_t version; // the INFO chunk's minor version
    uint32_t majorVersion;
    uint32_t dpi;
    uint32_t gamma;
    uint32_t flags;
};

// Quarter turns 0..3. Files older than version 22 carry no orientation, whatever their flags say.
inline int getRotation(const PageInfo& inInfo)
{
    if (inInfo.version < 22)
        return 0;
    switch (inInfo.flags & 6) {
    case 6:
        return 1;
    case 2:
        return 2;
    case 4:
        return 3;
    default:
        return 0;
    }
}

// Writes the flags other DjVu software writes and reads (1, 6, 2, 5): decoders take only those, so a three
// quarter turn marked 4 would be shown upright.
inline void setRotation(PageInfo& ioInfo, int inRotation)
{
    static const uint32_t kFlagsOfRotation[4] = {1, 6, 2, 5};
    if (ioInfo.version < 22)
        ioInfo.version = 25;
    ioInfo.flags = (ioInfo.flags & ~7u) | kFlagsOfRotation[inRotation & 3];
}

// Turns a rectangle from orientation inFrom to inTo on a page of the given unrotated size. The sums wrap
// instead of overflowing: rectangles from damaged files may hold any values.
inline Rect rotateRect(const Rect& inRect, int inFrom, int inTo, uint32_t inPageWidth, uint32_t inPageHeight)
{
    uint32_t w = (inFrom & 1) ? inPageHeight : inPageWidth;
    uint32_t h = (inFrom & 1) ? inPageWidth : inPageHeight;
    uint32_t x = uint32_t(inRect.x), y = uint32_t(inRect.y);
    uint32_t rw = uint32_t(inRect.width), rh = uint32_t(inRect.height);
    switch ((inTo - inFrom) & 3) {
    case 1:
        return Rect{int32_t(y), int32_t(w - x - rw), int32_t(rh), int32_t(rw)};
    case 2:
        return Rect{int32_t(w - x - rw), int32_t(h - y - rh), int32_t(rw), int32_t(rh)};
    case 3:
        return Rect{int32_t(h - y - rh), int32_t(x), int32_t(rh), int32_t(rw)};
    default:
        return inRect;
    }
}

} // namespace DjVu
} // namespace Morvenix
