// Whether a blitted bitmap is drawn as foreground (left out of the plain pass) or kept in the plain image
// as a photograph. Small bitmaps and icons are decided before any pixel is read, and the count of
// distinct pixel values stops at the colour threshold.
#include "bp_emfrenderer.h"

#include <cstdlib>
#include <cstring>

namespace {

// The distinct values met so far, up to a few hundred: an open-addressed table with room to spare.
class DistinctValues {
public:
    DistinctValues() : m_count(0) { std::memset(m_used, 0, sizeof m_used); }
    uint32_t count() const { return m_count; }
    void add(uint32_t inValue)
    {
        uint32_t slot = (inValue * 2654435761u) >> (32 - kBits);
        while (m_used[slot]) {
            if (m_values[slot] == inValue)
                return;
            slot = (slot + 1) & (kSlots - 1);
        }
        m_used[slot] = 1;
        m_values[slot] = inValue;
        ++m_count;
    }

private:
    static const uint32_t kBits = 11;
    static const uint32_t kSlots = 1u << kBits;  // four times the largest colour threshold in use
    uint32_t m_count;
    uint8_t m_used[kSlots];
    uint32_t m_values[kSlots];
};

uint64_t rowBytes(uint64_t inBitsPerPixel, uint64_t inWidth)
{
    return (inBitsPerPixel * inWidth + 31) / 32 * 4;
}

} // namespace

bool EmfPageRenderer::IsForegroundBitmap(const BITMAPINFO* inSource, const void* inBits, uint32_t inBitsSize,
                                         int32_t inDestWidth, int32_t inDestHeight, const BITMAPINFO* inMask,
                                         const void* inMaskBits, uint32_t inMaskBitsSize) const
{
    // Mirrored blits have negative extents; the area counts either way, and in 64 bits.
    const uint64_t area = uint64_t(std::llabs(int64_t(inDestWidth))) * uint64_t(std::llabs(int64_t(inDestHeight)));
    if (area < uint64_t(m_pixelThreshold))
        return true;
    if (!inSource || !inBits)
        return true;
    BITMAPINFOHEADER source;
    std::memcpy(&source, &inSource->bmiHeader, sizeof source);
    const uint32_t bitCount = source.biBitCount;
    if (bitCount < 8)
        return true;
    // Run-length and embedded image compressions cannot be counted without decoding: such a bitmap is
    // kept in the plain image, where it is drawn as it is.
    const bool bitFields = source.biCompression == BI_BITFIELDS && (bitCount == 16 || bitCount == 32);
    if (source.biCompression != BI_RGB && !bitFields)
        return false;
    if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
        return true;
    if (source.biWidth <= 0 || source.biHeight == 0)
        return true;

    const uint64_t width = uint64_t(source.biWidth);
    const uint64_t rows = uint64_t(std::llabs(int64_t(source.biHeight)));
    const uint64_t rowSize = rowBytes(bitCount, width);
    // Rows that do not fit the bits the record holds are never read.
    if (rowSize * rows > inBitsSize)
        return true;
    const uint8_t* bits = static_cast<const uint8_t*>(inBits);
    const bool bottomUp = source.biHeight > 0;

    const uint8_t* maskBits = nullptr;
    uint64_t maskRowSize = 0;
    uint64_t maskRows = 0;
    bool maskBottomUp = false;
    if (inMask && inMaskBits) {
        BITMAPINFOHEADER mask;
        std::memcpy(&mask, &inMask->bmiHeader, sizeof mask);
        maskRowSize = rowBytes(1, width);
        maskRows = uint64_t(std::llabs(int64_t(mask.biHeight)));
        if (maskRows < rows || maskRowSize * maskRows > inMaskBitsSize)
            return true;
        maskBits = static_cast<const uint8_t*>(inMaskBits);
        maskBottomUp = mask.biHeight > 0;
    }

    const uint32_t bytesPerPixel = bitCount / 8;
    const uint32_t valueMask = bitCount == 32 && !bitFields ? 0xFFFFFFu : 0xFFFFFFFFu;
    DistinctValues values;
    for (uint64_t y = 0; y < rows; ++y) {
        const uint8_t* row = bits + rowSize * (bottomUp ? rows - 1 - y : y);
        const uint8_t* maskRow = maskBits ? maskBits + maskRowSize * (maskBottomUp ? maskRows - 1 - y : y) : nullptr;
        bool havePrevious = false;
        uint32_t previous = 0;
        for (uint64_t x = 0; x < width; ++x) {
            if (maskRow && !(maskRow[x >> 3] & (0x80 >> (x & 7))))
                continue;
            const uint8_t* p = row + x * bytesPerPixel;
            uint32_t value = p[0];
            if (bytesPerPixel > 1)
                value |= uint32_t(p[1]) << 8;
            if (bytesPerPixel > 2)
                value |= uint32_t(p[2]) << 16;
            if (bytesPerPixel > 3)
                value |= uint32_t(p[3]) << 24;
            value &= valueMask;
            // Runs of one value are common in drawings; each is counted once.
            if (havePrevious && value == previous)
                continue;
            havePrevious = true;
            previous = value;
            values.add(value);
            if (values.count() >= m_colorThreshold)
                return false;
        }
    }
    return true;
}
