// A coarse colour histogram of a page's foreground and the median cut that reduces it to a palette.
#pragma once

#include "djv_image.h"
#include "mvx_simplearray.h"

#include <cstdint>

namespace _Mvx_Internal_NS_ {

// 4096 cells, one for every combination of the upper four bits of red, green and blue.
class ColorHistogram {
public:
    ColorHistogram();

    // Adds inWeight samples of the colour (0x00RRGGBB) to its cell; a weight of 0 adds nothing.
    void add(uint32_t inRGB, uint64_t inWeight);

    // Each non-empty cell, as its mean colour, is cut into boxes of similar colours, always splitting the
    // heaviest box that still spans more than one step in some channel, until no box can be split or
    // inMaxColors boxes exist. The palette gets each box's weighted mean colour, sorted ascending as
    // 0x00RRGGBB (two boxes may give the same colour); it is empty when the histogram is.
    void medianCut(uint32_t inMaxColors, Morvenix::SimpleArray<Morvenix::DjVu::Color, 1>& outPalette) const;

private:
    // Weights are 64-bit: overlapping and copied shapes can cover more than 2^32 pixels in total.
    struct Cell {
        double blue;
        double green;
        double red;
        uint64_t weight;
    };
    Morvenix::SimpleArray<Cell, 2> m_cells;
};

} // namespace _Mvx_Internal_NS_
