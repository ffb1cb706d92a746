// Scanline flood fill: a span is filled at once and its rows above and below are searched for new spans.
#include "djv_segscanner.h"

#include <algorithm>
#include <cstdint>

namespace Morvenix {
namespace DjVu {
namespace Seg {

Scanner::Scanner(const ImageView& inImage)
    : m_image(inImage), m_stack(0, 0, nullptr, 1024), m_minX(INT32_MAX), m_minY(INT32_MAX), m_maxX(-1),
      m_maxY(-1), m_count(0), m_target(0), m_replacement(0)
{
}

void Scanner::seed(int32_t inX, int32_t inY, uint8_t* inPixel)
{
    int32_t left = inX;
    uint8_t* first = inPixel;
    while (left > 0 && first[-1] == m_target) {
        --left;
        --first;
    }
    int32_t right = inX;
    const int32_t lastColumn = int32_t(m_image.width) - 1;
    while (right < lastColumn && inPixel[right - inX + 1] == m_target)
        ++right;
    std::fill(first, first + (right - left + 1), m_replacement);
    m_stack.append(Branch{left, right, inY, first});
}

void Scanner::fill(int32_t inX, int32_t inY, uint8_t inTarget, uint8_t inReplacement)
{
    m_minX = INT32_MAX;
    m_minY = INT32_MAX;
    m_maxX = -1;
    m_maxY = -1;
    m_count = 0;
    m_target = inTarget;
    m_replacement = inReplacement;
    seed(inX, inY, m_image.row(uint32_t(inY)) + inX);
    while (m_stack.count()) {
        const Branch b = m_stack[m_stack.count() - 1];
        m_stack.setSize(m_stack.count() - 1);
        m_count += uint32_t(b.right - b.left + 1);
        m_minX = std::min(m_minX, b.left);
        m_maxX = std::max(m_maxX, b.right);
        m_minY = std::min(m_minY, b.y);
        m_maxY = std::max(m_maxY, b.y);
        for (int32_t dy : {-1, 1}) {
            const int32_t y = b.y + dy;
            if (y < 0 || y >= int32_t(m_image.height))
                continue;
            uint8_t* row = b.pixel + ptrdiff_t(dy) * m_image.stride - b.left;
            for (int32_t x = b.left; x <= b.right; ++x) {
                if (row[x] == m_target)
                    seed(x, y, row + x);
            }
        }
    }
}

} // namespace Seg
} // namespace DjVu
} // namespace Morvenix
