// Works out the foreground mask of a page image that comes without one: dark, locally contrasted things
// (text, line art) become foreground, the rest background.
#pragma once

#include "djv_image.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {

class Segmenter {
public:
    using MaskType = DjVu::MaskType;

    struct Params {
        // Side of the statistics blocks; the work images carry a margin of twice this on every side.
        uint32_t blockSize;
        // An isolated foreground piece of at most this many pixels is erased as noise.
        uint32_t noiseSize;
        // Grey difference below which a piece counts as low-contrast and is erased; 0 keeps every piece.
        uint32_t noiseContrast;
        // Cut foreground along strong edges, on pages of more than 16 grey levels.
        uint8_t detectEdges;
        // The expansion step turns every background pixel next to foreground into foreground.
        uint8_t expandFully;
        // A page of one single grey level becomes all foreground instead of all background.
        uint8_t uniformForeground;
    };
    static Params defaultParams() { return Params{16, 4, 8, false, false, false}; }

    // Writes the mask (0 foreground) of the width x height image: mask type 0 one byte a pixel, 1 one bit
    // a pixel, most significant first. inParams null means the defaults. A page narrower or lower than one
    // block leaves the mask untouched. Zero sizes, a block size of 0, a mask step that is not positive or
    // shorter than a mask row, an image step shorter than a pixel row, null buffers and photometrics
    // outside 0-3 throw errInvalidParam before any work; any mask type but 0 and 1 throws errInvalidParam
    // once the work is done (a page of one grey level takes it as bytes). Nothing is written on a failure.
    static void segment(uint8_t* outMask, int32_t inMaskStride, uint32_t inMaskType, uint32_t inWidth,
                        uint32_t inHeight, const uint8_t* inPixels, int32_t inStride, Photometric inPhotometric,
                        const Params* inParams);
};

} // namespace DjVu
} // namespace Morvenix
