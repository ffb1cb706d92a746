// The segmenter's blur: the 3x3 binomial kernel, truncated.
#include "djv_segpasses.h"

#include <cstring>

namespace Morvenix {
namespace DjVu {
namespace Seg {

void blur(const Config& inConfig, const ImageView& inGray, const ImageView& outBlurred)
{
    const uint32_t margin = 2 * inConfig.blockWidth;
    const uint32_t marginY = 2 * inConfig.blockHeight;
    const uint32_t pageWidth = inGray.width - 2 * margin;
    for (uint32_t y = 0; y < inGray.height; ++y) {
        const uint8_t* g = inGray.row(y);
        uint8_t* b = outBlurred.row(y);
        if (y < marginY || y >= inGray.height - marginY) {
            std::memcpy(b, g, inGray.width);
            continue;
        }
        std::memcpy(b, g, margin);
        std::memcpy(b + margin + pageWidth, g + margin + pageWidth, margin);
        const uint8_t* up = g - inGray.stride;
        const uint8_t* down = g + inGray.stride;
        // Column sums outside the page count 0, so the page's outer columns come out darker.
        uint32_t left = 0;
        uint32_t here = uint32_t(up[margin]) + 2u * g[margin] + down[margin];
        for (uint32_t x = margin; x < margin + pageWidth; ++x) {
            const uint32_t right =
                x + 1 < margin + pageWidth ? uint32_t(up[x + 1]) + 2u * g[x + 1] + down[x + 1] : 0u;
            b[x] = uint8_t((left + 2 * here + right) >> 4);
            left = here;
            here = right;
        }
    }
}

} // namespace Seg
} // namespace DjVu
} // namespace Morvenix
