// JB2 page rendering into scaled masks. Source rows are painted with coverage into working rows, one
// row at a time through an active list of the shapes that cover it, then copied, reduced or
// interpolated into the target window.
#include "djv_maskscaling.h"

#include "mvx_exception.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#define MVX_SOURCE "djv_maskscaling"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;

namespace {

const char* const kFunction = "_Mvx_Internal_NS_::resampleMaskT";

inline uint8_t clampByte(int32_t inValue)
{
    return uint8_t(inValue < 0 ? 0 : inValue > 255 ? 255 : inValue);
}

inline uint8_t truncByte(float inValue)
{
    return inValue >= 255.0f ? uint8_t(255) : inValue <= 0.0f ? uint8_t(0) : uint8_t(inValue);
}

inline int32_t clampSigned(int32_t inValue)
{
    return inValue < -128 ? -128 : inValue > 127 ? 127 : inValue;
}

// A shape colour in the target's colour bytes; those of phYCC are read as YCCPixel reads them (the colour
// differences signed).
void layoutColour(const Color& inColour, Photometric inPhotometric, uint8_t* outBytes)
{
    const int32_t b = inColour.blue, g = inColour.green, r = inColour.red;
    const int32_t grey = std::min(255, (15 * b + 75 * g + 38 * r + 64) >> 7);
    switch (inPhotometric) {
    case phRGB:
        outBytes[0] = uint8_t(r), outBytes[1] = uint8_t(g), outBytes[2] = uint8_t(b);
        break;
    case phBGR:
        outBytes[0] = uint8_t(b), outBytes[1] = uint8_t(g), outBytes[2] = uint8_t(r);
        break;
    case phGray:
        outBytes[0] = uint8_t(grey);
        break;
    default:
        outBytes[0] = uint8_t(grey);
        outBytes[1] = uint8_t(clampSigned(((b + 1) * 32 - 21 * g - 11 * r) >> 6));
        outBytes[2] = uint8_t(clampSigned(((r + 1) * 32 - 27 * g - 5 * b) >> 6));
        break;
    }
}

// Paints the ink of one page row at a time, rows in non-decreasing order (a lower row starts over).
template <uint32_t kColour, bool kForeground>
class RowPainter {
public:
    RowPainter(const ShapeList& inShapes, const RenderIndex& inIndex, uint32_t inPageWidth, uint32_t inPageHeight,
               const ForegroundImage* inForeground, Photometric inPhotometric)
        : m_shapes(inShapes), m_index(inIndex), m_pageWidth(inPageWidth), m_pageHeight(inPageHeight),
          m_foreground(inForeground), m_photometric(inPhotometric), m_nextRow(0), m_lastRow(-1)
    {
    }

    // Calls inPut(column, colour bytes) for every ink pixel of the row in columns [inFirst, inEnd) that
    // lies on the page; true when there was one. Rows at or below the page's bottom paint nothing.
    template <class Put>
    bool paint(uint32_t inRow, int64_t inFirst, int64_t inEnd, Put&& inPut)
    {
        if (inRow >= m_pageHeight)
            return false;
        advanceTo(inRow);
        const uint8_t* fgRow = nullptr;
        if (kForeground)
            fgRow = m_foreground->pixels +
                    ptrdiff_t(uint64_t(inRow) * m_foreground->height / m_pageHeight) * m_foreground->rowStep;
        const int64_t first = std::max<int64_t>(inFirst, 0), end = std::min<int64_t>(inEnd, m_pageWidth);
        bool any = false;
        for (const Active& active : m_active) {
            const Shape& shape = *m_shapes[active.index];
            const ShapeBitmap& bitmap = shape.getBitmap();
            const int64_t sx = shape.getX();
            const int64_t lo = std::max(first, sx), hi = std::min(end, sx + int64_t(bitmap.getWidth()));
            if (lo >= hi)
                continue;
            const uint8_t* bits = bitmap.row(uint32_t(int64_t(inRow) - shape.getY()));
            const int64_t lastByte = (hi - sx - 1) >> 3;
            for (int64_t i = (lo - sx) >> 3; i <= lastByte; ++i) {
                const uint32_t byte = bits[i];
                if (!byte)
                    continue;
                for (uint32_t bit = 0; bit < 8; ++bit) {
                    if (!((byte << bit) & 0x80))
                        continue;
                    const int64_t c = sx + i * 8 + bit;
                    if (c < lo || c >= hi)
                        continue;
                    any = true;
                    if (kForeground)
                        inPut(c, fgRow + ptrdiff_t(uint64_t(c) * m_foreground->width / m_pageWidth) * kColour);
                    else
                        inPut(c, active.colour);
                }
            }
        }
        return any;
    }

private:
    struct Active {
        uint32_t index;
        uint8_t colour[3];
    };

    void advanceTo(uint32_t inRow)
    {
        if (int64_t(inRow) < m_lastRow) {
            m_active.clear();
            m_nextRow = 0;
        }
        for (; m_nextRow <= inRow && m_nextRow < m_index.count(); ++m_nextRow) {
            for (uint32_t index : m_index[m_nextRow]) {
                Active entry{index, {0, 0, 0}};
                if (!kForeground) {
                    Color colour;
                    m_shapes[index]->getColor(colour);
                    layoutColour(colour, m_photometric, entry.colour);
                }
                // Shapes paint in list order, so that the later of two overlapping ones shows.
                const auto at = std::upper_bound(m_active.begin(), m_active.end(), index,
                                                 [](uint32_t i, const Active& a) { return i < a.index; });
                m_active.insert(at, entry);
            }
        }
        m_active.erase(std::remove_if(m_active.begin(), m_active.end(),
                                      [&](const Active& a) {
                                          const Shape& s = *m_shapes[a.index];
                                          return int64_t(s.getY()) + s.getHeight() <= int64_t(inRow);
                                      }),
                       m_active.end());
        m_lastRow = inRow;
    }

    const ShapeList& m_shapes;
    const RenderIndex& m_index;
    uint32_t m_pageWidth;
    uint32_t m_pageHeight;
    const ForegroundImage* m_foreground;
    Photometric m_photometric;
    uint32_t m_nextRow;
    int64_t m_lastRow;
    std::vector<Active> m_active;
};

// One target layout and colour source: kColour colour bytes, a coverage byte with kAlpha.
template <uint32_t kColour, bool kAlpha, bool kForeground>
class Renderer {
public:
    static constexpr uint32_t kPixel = kColour + (kAlpha ? 1 : 0);
    // Working rows: the colour bytes and the coverage of each source pixel.
    static constexpr uint32_t kWork = kColour + 1;

    Renderer(uint8_t* outBuffer, int32_t inRowStep, const Rect& inWindow, uint32_t inTargetWidth,
             uint32_t inTargetHeight, uint32_t inPageWidth, uint32_t inPageHeight, Photometric inPhotometric,
             RowPainter<kColour, kForeground>& ioPainter)
        : m_buffer(outBuffer), m_rowStep(inRowStep), m_window(inWindow), m_targetWidth(inTargetWidth),
          m_targetHeight(inTargetHeight), m_pageWidth(inPageWidth), m_pageHeight(inPageHeight), m_painter(ioPainter)
    {
        for (uint32_t c = 0; c < kWork; ++c)
            m_bias[c] = inPhotometric == phYCC && c >= 1 && c < kColour ? 0x80 : 0;
    }

    void pixelForPixel()
    {
        for (int32_t t = 0; t < m_window.height; ++t) {
            uint8_t* out = row(t);
            if (kAlpha)
                std::memset(out, 0, size_t(m_window.width) * kPixel);
            const int64_t x0 = m_window.x;
            m_painter.paint(uint32_t(m_window.y + t), x0, x0 + m_window.width,
                            [&](int64_t inColumn, const uint8_t* inColour) {
                                uint8_t* p = out + (inColumn - x0) * kPixel;
                                for (uint32_t k = 0; k < kColour; ++k)
                                    p[k] = inColour[k];
                                if (kAlpha)
                                    p[kColour] = 255;
                            });
        }
    }

    void reduce(bool inTent)
    {
        const float scaleX = float(m_pageWidth) / float(m_targetWidth);
        const float scaleY = float(m_pageHeight) / float(m_targetHeight);
        const float area = scaleX * scaleY;
        const uint32_t width = uint32_t(m_window.width);
        // Column map: source position n + frac of target column window.x + i, for i = 0 .. width.
        std::vector<uint32_t> n(width + 1);
        std::vector<float> frac(width + 1);
        for (uint32_t i = 0; i <= width; ++i) {
            const float p = float(uint32_t(m_window.x) + i) * scaleX;
            n[i] = uint32_t(p);
            frac[i] = p - float(n[i]);
        }
        m_workFirst = n[0];
        m_work.assign((size_t(n[width]) - n[0] + 3) * kWork, 0);
        // Horizontal weights per target column, flattened: first source pixel, count, weights.
        std::vector<uint32_t> first(width), count(width);
        std::vector<float> weights;
        for (uint32_t i = 0; i < width; ++i) {
            const uint32_t span = n[i + 1] - n[i];
            const float a = frac[i], b = frac[i + 1];
            first[i] = n[i] - m_workFirst;
            const size_t before = weights.size();
            if (span == 0) {
                weights.push_back((2 - (a + b)) * (b - a) / 2);
                weights.push_back((a + b) * (b - a) / 2);
            } else if (!inTent) {
                weights.push_back(1 - a);
                for (uint32_t k = 1; k < span; ++k)
                    weights.push_back(1);
                weights.push_back(b);
            } else if (span == 1) {
                weights.push_back((1 - a) * (1 - a) / 2);
                weights.push_back((1 - a * a + (2 - b) * b) / 2);
                weights.push_back(b * b / 2);
            } else {
                weights.push_back((1 - a) * (1 - a) / 2);
                weights.push_back((2 - a * a) / 2);
                for (uint32_t k = 2; k < span; ++k)
                    weights.push_back(1);
                weights.push_back(((2 - b) * b + 1) / 2);
                weights.push_back(b * b / 2);
            }
            count[i] = uint32_t(weights.size() - before);
        }
        std::vector<float> sums(size_t(width) * kWork), reduced(size_t(width) * kWork);
        const auto reduceRow = [&](uint32_t inSourceRow) {
            if (!paintWork(inSourceRow, int64_t(n[0]), int64_t(n[width]) + 2))
                return false;
            const float* w = weights.data();
            for (uint32_t i = 0; i < width; ++i) {
                const uint8_t* src = m_work.data() + size_t(first[i]) * kWork;
                float acc[kWork] = {};
                for (uint32_t k = 0; k < count[i]; ++k, src += kWork)
                    for (uint32_t c = 0; c < kWork; ++c)
                        acc[c] += w[k] * float(valueOf(src, c));
                w += count[i];
                for (uint32_t c = 0; c < kWork; ++c)
                    reduced[size_t(i) * kWork + c] = acc[c];
            }
            return true;
        };
        // The reduced row s1 of a band is the row s0 of the next one.
        std::vector<float> carried(size_t(width) * kWork);
        int64_t carriedRow = -1;
        bool carriedPainted = false;
        const auto addRow = [&](uint32_t inSourceRow, float inWeight, bool& ioAny) {
            bool painted;
            if (int64_t(inSourceRow) == carriedRow) {
                painted = carriedPainted;
                if (painted)
                    reduced = carried;
            } else {
                painted = reduceRow(inSourceRow);
            }
            if (!painted)
                return false;
            ioAny = true;
            for (size_t k = 0; k < sums.size(); ++k)
                sums[k] += inWeight * reduced[k];
            return true;
        };
        for (int32_t t = 0; t < m_window.height; ++t) {
            const uint32_t target = uint32_t(m_window.y + t);
            const float v0 = float(target) * scaleY, v1 = float(target + 1) * scaleY;
            const uint32_t s0 = uint32_t(v0), s1 = uint32_t(v1);
            const float f0 = v0 - float(s0), f1 = v1 - float(s1);
            std::fill(sums.begin(), sums.end(), 0.0f);
            bool any = false;
            if (uint64_t(s1) + 1 >= m_pageHeight) {
                // The last band: row s0 alone, written into every remaining window row.
                if (!addRow(s0, 1.0f, any))
                    return;
                store(t, sums, scaleX);
                for (int32_t rest = t + 1; rest < m_window.height; ++rest)
                    std::memcpy(row(rest), row(t), size_t(width) * kPixel);
                return;
            }
            addRow(s0, 1 - f0, any);
            for (uint32_t s = s0 + 1; s < s1; ++s)
                addRow(s, 1.0f, any);
            carriedPainted = addRow(s1, f1, any);
            carriedRow = s1;
            if (carriedPainted)
                carried = reduced;
            if (any)
                store(t, sums, area);
        }
    }

    void interpolate()
    {
        const double scaleX = double(m_pageWidth) / double(m_targetWidth);
        const double scaleY = double(m_pageHeight) / double(m_targetHeight);
        const uint32_t width = uint32_t(m_window.width);
        std::vector<uint32_t> k(width);
        std::vector<float> fx(width);
        for (uint32_t i = 0; i < width; ++i) {
            const double u = double(uint32_t(m_window.x) + i) * scaleX;
            k[i] = uint32_t(u);
            fx[i] = float(u - double(k[i]));
        }
        m_workFirst = width ? k[0] : 0;
        const size_t span = width ? size_t(k[width - 1]) - k[0] + 2 : 0;
        std::vector<uint8_t> upper(span * kWork), lower(span * kWork);
        int64_t paintedRow = -1;
        for (int32_t t = 0; t < m_window.height; ++t) {
            const double v = double(uint32_t(m_window.y + t)) * scaleY;
            const uint32_t s = uint32_t(v);
            const float fy = float(v - double(s));
            if (int64_t(s) != paintedRow) {
                const int64_t end = int64_t(m_workFirst) + int64_t(span);
                m_work.assign(span * kWork, 0);
                paintWork(s, m_workFirst, end);
                upper = m_work;
                m_work.assign(span * kWork, 0);
                paintWork(s + 1 < m_pageHeight ? s + 1 : s, m_workFirst, end);
                lower = m_work;
                paintedRow = s;
            }
            uint8_t* out = row(t);
            for (uint32_t i = 0; i < width; ++i, out += kPixel) {
                const size_t at = size_t(k[i] - m_workFirst) * kWork;
                float value[kWork];
                for (uint32_t c = 0; c < kWork; ++c) {
                    const float top = float(valueOf(&upper[at], c)) * (1 - fx[i]) +
                                      float(valueOf(&upper[at + kWork], c)) * fx[i];
                    const float bottom = float(valueOf(&lower[at], c)) * (1 - fx[i]) +
                                         float(valueOf(&lower[at + kWork], c)) * fx[i];
                    value[c] = top * (1 - fy) + bottom * fy;
                }
                if (kAlpha) {
                    for (uint32_t c = 0; c < kWork; ++c)
                        out[c] = byteOf(value[c], c);
                } else {
                    const int32_t keep = 255 - truncByte(value[kColour]);
                    for (uint32_t c = 0; c < kColour; ++c) {
                        const int32_t kept = floorDiv255(valueOf(out, c) * keep);
                        const int32_t added = int32_t(truncByte(value[c] + float(m_bias[c]))) - m_bias[c];
                        out[c] = uint8_t(clampByte(kept + added + m_bias[c]) ^ m_bias[c]);
                    }
                }
            }
        }
    }

private:
    uint8_t* row(int32_t inWindowRow) const { return m_buffer + ptrdiff_t(inWindowRow) * m_rowStep; }

    // Byte inChannel of a pixel as a value: the colour differences of phYCC are signed (YCCPixel), every
    // other byte unsigned; blank working pixels (all bytes 0) are 0 either way.
    int32_t valueOf(const uint8_t* inPixel, uint32_t inChannel) const
    {
        if constexpr (kColour == 1)
            return inPixel[inChannel];
        return int32_t(uint8_t(inPixel[inChannel] ^ m_bias[inChannel])) - int32_t(m_bias[inChannel]);
    }
    // A value back into byte inChannel, rounded down and clamped to that byte's range.
    uint8_t byteOf(float inValue, uint32_t inChannel) const
    {
        if constexpr (kColour == 1)
            return truncByte(inValue);
        return uint8_t(truncByte(inValue + float(m_bias[inChannel])) ^ m_bias[inChannel]);
    }
    static int32_t floorDiv255(int32_t inValue) { return (inValue >= 0 ? inValue : inValue - 254) / 255; }

    // Paints source row inRow, columns [inFirst, inEnd), into the working row that starts at m_workFirst.
    bool paintWork(uint32_t inRow, int64_t inFirst, int64_t inEnd)
    {
        std::fill(m_work.begin(), m_work.end(), uint8_t(0));
        uint8_t* work = m_work.data() - ptrdiff_t(m_workFirst) * kWork;
        return m_painter.paint(inRow, inFirst, inEnd, [&](int64_t inColumn, const uint8_t* inColour) {
            uint8_t* p = work + inColumn * kWork;
            for (uint32_t c = 0; c < kColour; ++c)
                p[c] = inColour[c];
            p[kColour] = 255;
        });
    }

    // Writes summed channels, divided by inDivisor, into window row t.
    void store(int32_t inWindowRow, const std::vector<float>& inSums, float inDivisor)
    {
        uint8_t* out = row(inWindowRow);
        const float* sum = inSums.data();
        for (int32_t i = 0; i < m_window.width; ++i, out += kPixel, sum += kWork) {
            if (kAlpha) {
                for (uint32_t c = 0; c < kWork; ++c)
                    out[c] = byteOf(sum[c] / inDivisor, c);
            } else if (sum[kColour] != 0) {
                const float keep = 1 - sum[kColour] / inDivisor / 255;
                for (uint32_t c = 0; c < kColour; ++c)
                    out[c] = byteOf(float(valueOf(out, c)) * keep + sum[c] / inDivisor, c);
            }
        }
    }

    uint8_t* m_buffer;
    int32_t m_rowStep;
    Rect m_window;
    uint32_t m_targetWidth;
    uint32_t m_targetHeight;
    uint32_t m_pageWidth;
    uint32_t m_pageHeight;
    RowPainter<kColour, kForeground>& m_painter;
    // XOR-ed into each byte of a pixel as it is read and written, so that signed bytes order as unsigned
    // ones: 0x80 for the colour differences of phYCC.
    uint8_t m_bias[kWork];
    uint32_t m_workFirst = 0;
    std::vector<uint8_t> m_work;
};

template <uint32_t kColour, bool kAlpha, bool kForeground>
void render(uint8_t* outBuffer, int32_t inRowStep, const Rect& inWindow, uint32_t inTargetWidth,
            uint32_t inTargetHeight, const ShapeList& inShapes, const RenderIndex& inIndex, uint32_t inPageWidth,
            uint32_t inPageHeight, const ForegroundImage* inForeground, Photometric inPhotometric, uint32_t inFilter)
{
    RowPainter<kColour, kForeground> painter(inShapes, inIndex, inPageWidth, inPageHeight, inForeground,
                                             inPhotometric);
    Renderer<kColour, kAlpha, kForeground> renderer(outBuffer, inRowStep, inWindow, inTargetWidth, inTargetHeight,
                                                    inPageWidth, inPageHeight, inPhotometric, painter);
    if (inTargetWidth == inPageWidth && inTargetHeight == inPageHeight)
        renderer.pixelForPixel();
    else if (inTargetWidth < inPageWidth && inTargetHeight < inPageHeight)
        renderer.reduce(inFilter == 0);
    else
        renderer.interpolate();
}

template <uint32_t kColour>
void renderWith(bool inAlpha, uint8_t* outBuffer, int32_t inRowStep, const Rect& inWindow,
                uint32_t inTargetWidth, uint32_t inTargetHeight, const ShapeList& inShapes,
                const RenderIndex& inIndex, uint32_t inPageWidth, uint32_t inPageHeight,
                const ForegroundImage* inForeground, Photometric inPhotometric, uint32_t inFilter)
{
    const auto go = [&](auto inRender) {
        inRender(outBuffer, inRowStep, inWindow, inTargetWidth, inTargetHeight, inShapes, inIndex, inPageWidth,
                 inPageHeight, inForeground, inPhotometric, inFilter);
    };
    if (inAlpha)
        inForeground ? go(render<kColour, true, true>) : go(render<kColour, true, false>);
    else
        inForeground ? go(render<kColour, false, true>) : go(render<kColour, false, false>);
}

} // namespace

void buildRenderIndex(const ShapeList& inShapes, uint32_t inPageHeight, RenderIndex& outIndex)
{
    outIndex.resize(inPageHeight, int32_t(std::min<uint32_t>(inPageHeight, INT32_MAX)));
    for (uint32_t i = 0; i < inShapes.count(); ++i) {
        const Shape& shape = *inShapes[i];
        const int64_t y = shape.getY(), bottom = y + int64_t(shape.getHeight());
        // Marks above the page are clipped to it; marks below it, or reaching past its bottom, are not drawn.
        if (y >= int64_t(inPageHeight) || bottom > int64_t(inPageHeight) || bottom <= 0)
            continue;
        outIndex[uint32_t(std::max<int64_t>(y, 0))].append(i);
    }
}

void resampleMaskT(uint8_t* outBuffer, int32_t inRowStep, const Rect& inWindow, uint32_t inTargetWidth,
                   uint32_t inTargetHeight, const ShapeList& inShapes, const RenderIndex& inIndex,
                   uint32_t inPageWidth, uint32_t inPageHeight, const ForegroundImage* inForeground,
                   Photometric inPhotometric, bool inAlpha, uint32_t inFilter)
{
    if (inPhotometric > phYCC)
        MVX_THROW(errOperationFailed, "Unsupported Photometric!", kFunction);
    const uint32_t colourBytes = bytesPerPixel(inPhotometric);
    const uint64_t pixelBytes = colourBytes + (inAlpha ? 1 : 0);
    if (inWindow.x < 0 || inWindow.y < 0 || inWindow.width < 0 || inWindow.height < 0 ||
        inWindow.right() > int64_t(inTargetWidth) || inWindow.bottom() > int64_t(inTargetHeight))
        MVX_THROW(errInvalidParam, "The window lies outside the target!", kFunction);
    if (inWindow.width == 0 || inWindow.height == 0)
        return;
    if (!outBuffer || (inWindow.height > 1 && !rowStepHolds(inRowStep, pixelBytes * inWindow.width)))
        MVX_THROW(errInvalidParam, "The target rows do not hold the window!", kFunction);
    if (inForeground &&
        (!inForeground->pixels || inForeground->width == 0 || inForeground->height == 0 ||
         (inForeground->height > 1 &&
          !rowStepHolds(inForeground->rowStep, uint64_t(colourBytes) * inForeground->width))))
        MVX_THROW(errInvalidParam, "The foreground image cannot be read!", kFunction);
    if (colourBytes == 1)
        renderWith<1>(inAlpha, outBuffer, inRowStep, inWindow, inTargetWidth,
                      inTargetHeight, inShapes, inIndex, inPageWidth, inPageHeight, inForeground, inPhotometric,
                      inFilter);
    else
        renderWith<3>(inAlpha, outBuffer, inRowStep, inWindow, inTargetWidth,
                      inTargetHeight, inShapes, inIndex, inPageWidth, inPageHeight, inForeground, inPhotometric,
                      inFilter);
}

} // namespace _Mvx_Internal_NS_
