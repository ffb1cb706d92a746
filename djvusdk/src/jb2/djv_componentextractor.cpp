// Connected-component extraction: a flood fill over a byte-a-pixel work copy of the mask, with an explicit
// stack of runs so that a component as large as the page needs no deep call chain.
#include "djv_componentextractor.h"

#include "djv_imageutils.h"
#include "mvx_exception.h"

#include <cstring>

#define MVX_SOURCE "djv_componentextractor"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;

namespace {

const char* const kFunction = "_Mvx_Internal_NS_::ComponentExtractor::extractShapes";

// Masks handed between the encoder's stages run top-down with positive steps; colour images may run
// bottom-up. Every product is taken in 64 bits, before any allocation.
void checkInput(uint32_t inWidth, uint32_t inHeight, uint32_t inMaskType, int32_t inMaskStride,
                const uint8_t* inMask, int32_t inColorStride, const uint8_t* inColor, Photometric inPhotometric)
{
    const uint64_t maskRow = inMaskType == mtBits ? (uint64_t(inWidth) + 7) / 8 : inWidth;
    bool bad = inWidth == 0 || inHeight == 0 || !inMask || inMaskStride <= 0 || uint64_t(inMaskStride) < maskRow ||
               uint64_t(inWidth) * inHeight > 0x7FFFFFFFu;
    if (inColor) {
        bad = bad || inPhotometric > phYCC ||
              !rowStepHolds(inColorStride, uint64_t(inWidth) * bytesPerPixel(inPhotometric));
    }
    if (bad)
        MVX_THROW(errInvalidParam, "errInvalidParam", kFunction);
}

} // namespace

ComponentExtractor::ComponentExtractor(uint32_t inWidth, uint32_t inHeight, uint32_t inMaskType,
                                       int32_t inMaskStride, const uint8_t* inMask, int32_t inColorStride,
                                       const uint8_t* inColor, Photometric inPhotometric)
    : m_workBytes(inWidth * inHeight, int32_t(inWidth * inHeight)),
      m_work{int32_t(inWidth), int32_t(inHeight), phGray, int32_t(inWidth), m_workBytes.data(), 1},
      m_color{int32_t(inWidth), int32_t(inHeight), inPhotometric, inColorStride, inColor,
              bytesPerPixel(inPhotometric)},
      m_runs(0, 128), m_seedColor(nullptr), m_left(0), m_top(0), m_right(-1), m_bottom(-1)
{
    if (inMaskType == mtBits) {
        ImageUtils::unpackBitsToBytes(inWidth, inHeight, inMaskStride, inMask, m_work.rowStep, m_work.row0);
        return;
    }
    // A byte mask's background may be any nonzero value, 128 included, which would read as "being
    // filled": every nonzero byte becomes the one background value.
    for (int32_t y = 0; y < m_work.height; ++y) {
        const uint8_t* s = inMask + ptrdiff_t(y) * inMaskStride;
        uint8_t* d = m_work.at(0, y);
        for (int32_t x = 0; x < m_work.width; ++x)
            d[x] = s[x] ? kDone : kFree;
    }
}

void ComponentExtractor::extractShapes(uint32_t inWidth, uint32_t inHeight, uint32_t inMaskType,
                                       int32_t inMaskStride, const uint8_t* inMask, int32_t inColorStride,
                                       const uint8_t* inColor, Photometric inPhotometric, JB2Page& ioPage)
{
    checkInput(inWidth, inHeight, inMaskType, inMaskStride, inMask, inColorStride, inColor, inPhotometric);
    ComponentExtractor extractor(inWidth, inHeight, inMaskType, inMaskStride, inMask, inColorStride, inColor,
                                 inPhotometric);
    if (inColor)
        extractor.extractAll<true>(ioPage.getShapes());
    else
        extractor.extractAll<false>(ioPage.getShapes());
}

template <bool kColor>
void ComponentExtractor::extractAll(ShapeList& ioShapes)
{
    for (int32_t y = 0; y < m_work.height; ++y) {
        uint8_t* row = m_work.at(0, y);
        const uint8_t* end = row + m_work.width;
        for (uint8_t* p = row; (p = static_cast<uint8_t*>(std::memchr(p, kFree, size_t(end - p)))) != nullptr;) {
            fillComponent<kColor>(int32_t(p - row), y);
            ioShapes.append(cutShape());
        }
    }
}

template <bool kColor>
void ComponentExtractor::fillComponent(int32_t inX, int32_t inY)
{
    m_left = m_top = INT32_MAX;
    m_right = m_bottom = -1;
    if (kColor)
        m_seedColor = m_color.at(inX, inY);
    pushRun<kColor>(inX, inY);
    while (m_runs.count()) {
        // A copy: pushing the next runs may move the stack.
        const Branch run = popRun();
        if (run.left < m_left)
            m_left = run.left;
        if (run.row < m_top)
            m_top = run.row;
        if (run.right > m_right)
            m_right = run.right;
        if (run.row > m_bottom)
            m_bottom = run.row;
        if (run.row > 0)
            scanRow<kColor>(run, run.row - 1);
        if (run.row + 1 < m_work.height)
            scanRow<kColor>(run, run.row + 1);
    }
}

template <bool kColor>
bool ComponentExtractor::joins(int32_t inX, int32_t inY, const uint8_t* inPixel) const
{
    if (*inPixel != kFree)
        return false;
    if (!kColor)
        return true;
    const uint8_t* c = m_color.at(inX, inY);
    return c[0] == m_seedColor[0] && (m_color.bytesPerPixel == 1 || (c[1] == m_seedColor[1] && c[2] == m_seedColor[2]));
}

template <bool kColor>
void ComponentExtractor::pushRun(int32_t inX, int32_t inY)
{
    uint8_t* row = m_work.at(0, inY);
    int32_t left = inX, right = inX;
    while (left > 0 && joins<kColor>(left - 1, inY, row + left - 1))
        --left;
    while (right + 1 < m_work.width && joins<kColor>(right + 1, inY, row + right + 1))
        ++right;
    // Marked as the run is pushed, so no pixel is pushed twice.
    std::memset(row + left, kFilling, size_t(right - left) + 1);
    m_runs.append(Branch{left, right, inY, row + left});
}

template <bool kColor>
void ComponentExtractor::scanRow(const Branch& inRun, int32_t inRow)
{
    uint8_t* row = inRun.pixel - inRun.left + (inRow > inRun.row ? m_work.rowStep : -m_work.rowStep);
    // One column further on each side reaches the diagonal neighbours.
    int32_t from = inRun.left, to = inRun.right;
    if (from > 0 && row[from - 1] == kFree)
        --from;
    if (to + 1 < m_work.width && row[to + 1] == kFree)
        ++to;
    for (int32_t x = from; x <= to; ++x) {
        if (joins<kColor>(x, inRow, row + x)) {
            pushRun<kColor>(x, inRow);
            x = m_runs[m_runs.count() - 1].right;
        }
    }
}

Branch ComponentExtractor::popRun()
{
    const Branch run = m_runs[m_runs.count() - 1];
    m_runs.setSize(m_runs.count() - 1);
    return run;
}

AutoPtr<Shape> ComponentExtractor::cutShape()
{
    const uint32_t width = uint32_t(m_right - m_left) + 1, height = uint32_t(m_bottom - m_top) + 1;
    ShapeBitmap bitmap(width, height);
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* p = m_work.at(m_left, m_top + int32_t(y));
        uint8_t* bits = bitmap.row(y);
        // Other components' pixels inside the box stay clear.
        for (uint32_t x = 0; x < width; ++x) {
            if (p[x] == kFilling) {
                bits[x >> 3] = uint8_t(bits[x >> 3] | 0x80 >> (x & 7));
                p[x] = kDone;
            }
        }
    }
    return Shape::create(bitmap, m_left, m_top, Normal);
}

} // namespace _Mvx_Internal_NS_
