// Plain rectangles and points in page pixels, shared by the text layer and the map areas.
#pragma once

#include <cstdint>

namespace Morvenix {

struct Rect {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;

    // Computed in 64 bits: a rectangle read from a file may sit at the edge of the 32-bit range.
    int64_t right() const { return int64_t(x) + width; }
    int64_t bottom() const { return int64_t(y) + height; }
    void clear() { x = y = width = height = 0; }
    bool operator==(const Rect& o) const { return x == o.x && y == o.y && width == o.width && height == o.height; }
    bool operator!=(const Rect& o) const { return !(*this == o); }
};

struct Point {
    int32_t x;
    int32_t y;
};

} // namespace Morvenix
