// Reduction of a page image that averages, per cell, only the pixels a mask selects, then fills the cells
// without enough such pixels from ever larger blocks around them.
#include "djv_imageutils.h"

#include "mvx_exception.h"
#include "mvx_simplearray.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#define MVX_SOURCE "djv_imageutils"

namespace Morvenix {
namespace DjVu {

namespace {

const char* const kFunction = "Morvenix::DjVu::ImageUtils::subsampleWithMask";

// A cell of the first pass whose count passes minCount weighs this much; each level of the second pass
// divides a block's total by four, so no weight ever grows past it.
const uint16_t kFullWeight = 4096;

struct ByteMask {
    static bool isSet(const uint8_t* inRow, uint32_t inX) { return inRow[inX] != 0; }
};
struct BitMask {
    static bool isSet(const uint8_t* inRow, uint32_t inX) { return (inRow[inX >> 3] >> (7 - (inX & 7))) & 1; }
};

struct Layout {
    // XOR-ed into each byte of a pixel as it is read and written, so that every byte averages as an unsigned
    // value: 0x80 for the signed colour differences of phYCC (YCCPixel), which would otherwise average
    // -1 and 1 to -128.
    uint8_t bias[3];
    uint8_t* dst;
    int32_t dstStride;
    uint32_t subWidth;
    uint32_t subHeight;
    const uint8_t* src;
    int32_t srcStride;
    uint32_t srcWidth;
    uint32_t srcHeight;
    const uint8_t* mask;
    int32_t maskStride;
    uint32_t factor;

    uint8_t* cell(uint32_t inCol, uint32_t inRow, uint32_t inBytes) const
    {
        return dst + ptrdiff_t(inRow) * dstStride + ptrdiff_t(inCol) * inBytes;
    }
};

// First pass. Destination row subHeight - 1 - j takes the source rows srcHeight - 1 - j * factor downwards,
// factor of them or up to row 0; the cells of a row start at column 0. A cell's 16-bit sums cannot
// overflow: at most 12 x 12 pixels of 255.
template <uint32_t kBytes, class Mask>
void averageSubsampleWithMask(const Layout& inL, uint32_t inSelect, uint32_t inMinCount, uint16_t* outWeights)
{
    SimpleArray<uint16_t, 2> sums(inL.subWidth * kBytes, int32_t(inL.subWidth * kBytes));
    SimpleArray<uint16_t, 2> counts(inL.subWidth, int32_t(inL.subWidth));
    const bool pickSet = inSelect == 1, pickClear = inSelect == 0;
    for (uint32_t j = 0; j < inL.subHeight; ++j) {
        const int64_t bottom = int64_t(inL.srcHeight) - 1 - int64_t(j) * inL.factor;
        if (bottom < 0)
            break; // the destination rows above have no source rows left
        const int64_t top = std::max<int64_t>(0, bottom + 1 - inL.factor);
        std::fill(sums.begin(), sums.end(), uint16_t(0));
        std::fill(counts.begin(), counts.end(), uint16_t(0));
        for (int64_t r = top; r <= bottom; ++r) {
            const uint8_t* px = inL.src + ptrdiff_t(r) * inL.srcStride;
            const uint8_t* m = inL.mask + ptrdiff_t(r) * inL.maskStride;
            for (uint32_t i = 0, x = 0; i < inL.subWidth; ++i) {
                const uint32_t end = std::min(x + inL.factor, inL.srcWidth);
                uint16_t* s = sums.data() + i * kBytes;
                for (; x < end; ++x) {
                    if (Mask::isSet(m, x) ? pickSet : pickClear) {
                        const uint8_t* p = px + ptrdiff_t(x) * kBytes;
                        for (uint32_t k = 0; k < kBytes; ++k)
                            s[k] = uint16_t(s[k] + (p[k] ^ inL.bias[k]));
                        ++counts[i];
                    }
                }
            }
        }
        const uint32_t row = inL.subHeight - 1 - j;
        for (uint32_t i = 0; i < inL.subWidth; ++i) {
            const uint32_t n = counts[i];
            if (n == 0)
                continue;
            uint8_t* d = inL.cell(i, row, kBytes);
            for (uint32_t k = 0; k < kBytes; ++k)
                d[k] = uint8_t((sums[i * kBytes + k] / n) ^ inL.bias[k]);
            outWeights[size_t(row) * inL.subWidth + i] = n > inMinCount ? kFullWeight : 0;
        }
    }
}

// Second pass. At each level, blocks of b x b cells (anchored like the cells: from column 0 and from the
// last row) average the anchors of their four sub-blocks by weight; a block that has some empty corner
// fills its cells of weight 0 with that average. The averages live in a copy of the destination, so
// what a cell got from the first pass is never overwritten.
template <uint32_t kBytes>
void fillEmptyCells(const Layout& inL, uint16_t* ioWeights)
{
    const uint32_t w = inL.subWidth, h = inL.subHeight;
    if (!(2 < w && 2 < h))
        return;
    SimpleArray<uint8_t, 2> copy(w * h * kBytes, int32_t(w * h * kBytes));
    for (uint32_t row = 0; row < h; ++row)
        std::memcpy(copy.data() + size_t(row) * w * kBytes, inL.cell(0, row, kBytes), size_t(w) * kBytes);

    for (uint32_t half = 1, b = 2; b < w && b < h; half = b, b *= 2) {
        bool incomplete = false;
        for (uint32_t by = 0; by * b < h; ++by) {
            const uint32_t anchorRow = h - 1 - by * b;
            const uint32_t topRow = anchorRow >= b - 1 ? anchorRow - (b - 1) : 0;
            for (uint32_t col0 = 0; col0 < w; col0 += b) {
                const uint32_t lastCol = std::min(col0 + b, w) - 1;
                uint32_t sum[kBytes] = {};
                uint32_t total = 0;
                bool someEmpty = false;
                for (uint32_t dy = 0; dy <= half && anchorRow - topRow >= dy; dy += half) {
                    for (uint32_t dx = 0; dx <= half && col0 + dx <= lastCol; dx += half) {
                        const size_t at = size_t(anchorRow - dy) * w + col0 + dx;
                        const uint32_t weight = ioWeights[at];
                        if (weight == 0) {
                            someEmpty = true;
                            continue;
                        }
                        total += weight;
                        for (uint32_t k = 0; k < kBytes; ++k)
                            sum[k] += weight * uint32_t(copy.data()[at * kBytes + k] ^ inL.bias[k]);
                    }
                }
                if (total == 0) {
                    incomplete = true;
                    continue;
                }
                uint8_t average[kBytes];
                for (uint32_t k = 0; k < kBytes; ++k)
                    average[k] = uint8_t((sum[k] / total) ^ inL.bias[k]);
                if (someEmpty) {
                    for (uint32_t row = topRow; row <= anchorRow; ++row) {
                        for (uint32_t col = col0; col <= lastCol; ++col) {
                            uint16_t& weight = ioWeights[size_t(row) * w + col];
                            if (weight == 0) {
                                std::memcpy(inL.cell(col, row, kBytes), average, kBytes);
                                weight = 1;
                            }
                        }
                    }
                }
                const size_t anchor = size_t(anchorRow) * w + col0;
                std::memcpy(copy.data() + anchor * kBytes, average, kBytes);
                ioWeights[anchor] = uint16_t(total / 4);
            }
        }
        if (!incomplete)
            break;
    }
}

template <uint32_t kBytes, class Mask>
void subsample(const Layout& inL, uint32_t inSelect, uint32_t inMinCount)
{
    SimpleArray<uint16_t, 2> weights(inL.subWidth * inL.subHeight, int32_t(inL.subWidth * inL.subHeight));
    averageSubsampleWithMask<kBytes, Mask>(inL, inSelect, inMinCount, weights.data());
    fillEmptyCells<kBytes>(inL, weights.data());
}

} // namespace

void ImageUtils::subsampleWithMask(uint8_t* outDst, int32_t inDstStride, Photometric inPhotometric,
                                   uint32_t inSubWidth, uint32_t inSubHeight, const uint8_t* inSrc,
                                   int32_t inSrcStride, uint32_t inSrcWidth, uint32_t inSrcHeight,
                                   const uint8_t* inMask, int32_t inMaskStride, uint32_t inMaskType,
                                   uint32_t inSelect, uint32_t inMinCount)
{
    // Only the widths decide the factor: the largest that gives the destination width.
    uint32_t factor = 12;
    while (factor > 0 && (uint64_t(inSrcWidth) + factor - 1) / factor != inSubWidth)
        --factor;
    if (factor == 0)
        MVX_THROW(errInvalidParam, "There is a mismatch between srcWidth and subWidth", kFunction);
    if (inPhotometric > phYCC)
        MVX_THROW(errInvalidParam, "Unknown photometric!", kFunction);
    if (inSubWidth == 0 || inSubHeight == 0)
        return;
    // The weights and the copy of a three-byte destination must fit one array each; checked before the
    // products are taken in 32 bits.
    if (uint64_t(inSubWidth) * inSubHeight * 3 > 0x7FFFFFFFu)
        MVX_THROW(errInvalidParam, "errInvalidParam", kFunction);

    const uint8_t colourBias = inPhotometric == phYCC ? 0x80 : 0;
    const Layout layout{{0, colourBias, colourBias}, outDst, inDstStride, inSubWidth, inSubHeight, inSrc,
                        inSrcStride, inSrcWidth, inSrcHeight, inMask, inMaskStride, factor};
    const bool threeBytes = inPhotometric != phGray;
    if (inMaskType == mtBits) {
        if (threeBytes)
            subsample<3, BitMask>(layout, inSelect, inMinCount);
        else
            subsample<1, BitMask>(layout, inSelect, inMinCount);
    } else {
        if (threeBytes)
            subsample<3, ByteMask>(layout, inSelect, inMinCount);
        else
            subsample<1, ByteMask>(layout, inSelect, inMinCount);
    }
}

} // namespace DjVu
} // namespace Morvenix
