// The segmenter's blur: the 3x3 binomial kernel, truncated.
#include "djv_segpasses.h"

#include "mvx_simplearray.h"

#include <cstring>

namespace Morvenix {
namespace DjVu {
namespace Seg {

void blur(const Config& inConfig, const ImageView& inGray, const ImageView& outBlurred)
{
    const uint32_t margin = 2 * inConfig.blockWidth;
    const uint32_t marginY = 2 * inConfig.blockHeight;
    const uint32_t pageWidth = inGray.width - 2 * margin;
    // Column sums of one row with a 0 on either side: outside the page they count 0, so the page's outer
    // columns come out darker.
    SimpleArray<uint16_t, 2> sums(pageWidth + 2);
    uint16_t* col = sums.data() + 1;
    col[-1] = 0;
    col[pageWidth] = 0;
    for (uint32_t y = 0; y < inGray.height; ++y) {
        const uint8_t* g = inGray.row(y);
        uint8_t* b = outBlurred.row(y);
        if (y < marginY || y >= inGray.height - marginY) {
            std::memcpy(b, g, inGray.width);
            continue;
        }
        std::memcpy(b, g, margin);
        std::memcpy(b + margin + pageWidth, g + margin + pageWidth, margin);
        const uint8_t* up = g - inGray.stride + margin;
        const uint8_t* here = g + margin;
        const uint8_t* down = g + inGray.stride + margin;
        for (uint32_t x = 0; x < pageWidth; ++x)
            col[x] = uint16_t(up[x] + 2 * here[x] + down[x]);
        uint8_t* out = b + margin;
        for (uint32_t x = 0; x < pageWidth; ++x)
            out[x] = uint8_t((col[int32_t(x) - 1] + 2 * col[x] + col[x + 1]) >> 4);
    }
}

} // namespace Seg
} // namespace DjVu
} // namespace Morvenix
