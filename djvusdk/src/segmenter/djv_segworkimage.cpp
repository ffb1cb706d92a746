// The segmenter's work images.
#include "djv_segworkimage.h"

#include "mvx_format.h"

#include <cstring>

namespace Morvenix {
namespace DjVu {
namespace Seg {

WorkImage::WorkImage(uint32_t inWidth, uint32_t inHeight, uint8_t inFill)
    : m_pixels(uint32_t(uint64_t(inWidth) * inHeight)), m_view{inWidth, inHeight, int32_t(inWidth), nullptr}
{
    m_view.data = m_pixels.data();
    std::memset(m_view.data, inFill, size_t(inWidth) * inHeight);
}

void dumpImage(const ImageView& inImage, const char* inFileName)
{
    debugTrace("segmenter image %s: %ux%u", inFileName, inImage.width, inImage.height);
}

} // namespace Seg
} // namespace DjVu
} // namespace Morvenix
