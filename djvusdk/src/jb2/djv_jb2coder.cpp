// The JB2 number coder, the location state and the resets shared by both coding directions.
#include "djv_jb2coder.h"

#include "mvx_exception.h"

#include <algorithm>
#include <cstring>

#define MVX_SOURCE "djv_jb2coder"

namespace Morvenix {
namespace DjVu {
namespace JB2 {

namespace {
// Both cell arrays and the context array are kept the same size; 40000 reserved, 20000 usable at first.
const uint32_t kReservedCells = 2 * JB2CoderImpl::kCellChunk;

int32_t checkedDifference(int64_t inDifference)
{
    if (inDifference < JB2CoderImpl::kBigNegative || inDifference > JB2CoderImpl::kBigPositive)
        MVX_THROW(errInvalidParam, "The shape position is out of the JB2 range!",
                  "Morvenix::DjVu::JB2::JB2CoderImpl::codeRelativeLocation");
    return int32_t(inDifference);
}
} // namespace

JB2CoderImpl::JB2CoderImpl(bool inEncoding)
    : m_offsetTypeContext(0), m_lastBottom(0), m_previousLeft(0), m_previousRight(0), m_rowBottom(0), m_rowLeft(0),
      m_bottoms{0, 0, 0}, m_bottomPos(0), m_imageWidth(0), m_imageHeight(0), m_started(false), m_encoding(inEncoding),
      m_cellCount(1), m_cellContexts(kCellChunk, int32_t(kReservedCells)),
      m_leftCells(kCellChunk, int32_t(kReservedCells)), m_rightCells(kCellChunk, int32_t(kReservedCells)),
      m_lastLibraryIndex(-1)
{
    std::memset(m_directContexts, 0, sizeof m_directContexts);
    std::memset(m_refineContexts, 0, sizeof m_refineContexts);
    std::memset(m_roots, 0, sizeof m_roots);
}

void JB2CoderImpl::reset()
{
    m_offsetTypeContext = 0;
    std::memset(m_directContexts, 0, sizeof m_directContexts);
    std::memset(m_refineContexts, 0, sizeof m_refineContexts);
    m_started = false;
    resetNumberCoder();
}

void JB2CoderImpl::resetNumberCoder()
{
    // The cells past the count are unreachable from fresh roots and makeCell clears each one it hands
    // out again, so the arrays keep their old contents: a reset is a fraction of a byte of a stream, and
    // must not cost the size the arrays once grew to.
    std::memset(m_roots, 0, sizeof m_roots);
    m_cellCount = 1;
}

uint32_t JB2CoderImpl::makeCell()
{
    if (m_cellCount >= m_cellContexts.count()) {
        const uint32_t size = m_cellContexts.count() + kCellChunk;
        m_cellContexts.setSize(size);
        m_leftCells.setSize(size);
        m_rightCells.setSize(size);
    }
    const uint32_t cell = m_cellCount++;
    m_cellContexts[cell] = 0;
    m_leftCells[cell] = 0;
    m_rightCells[cell] = 0;
    return cell;
}

int32_t JB2CoderImpl::codeNumber(int32_t inLow, int32_t inHigh, int32_t inValue, uint32_t* ioRoot)
{
    if (*ioRoot >= m_cellCount)
        MVX_THROW(errInvalidParam, "JB2Codec.bad_number_of_context", "Morvenix::DjVu::JB2::JB2CoderImpl::codeNumber");
    if (m_encoding && (inValue < inLow || inValue > inHigh))
        MVX_THROW(errInvalidParam, "The number is out of its JB2 range!",
                  "Morvenix::DjVu::JB2::JB2CoderImpl::codeNumber");

    // 64 bits: the mirrored range and the doubling cutoff may pass the 32-bit limits.
    int64_t low = inLow, high = inHigh, value = inValue, cutoff = 0, range = -1;
    bool negative = false;
    int phase = 1;
    // The slot the next cell hangs from: the root, or a successor of cell parent (the arrays may move when
    // they grow, so no pointer into them is kept).
    uint32_t parent = 0;
    bool rightSide = false;
    while (range != 1) {
        uint32_t cell = parent ? (rightSide ? m_rightCells[parent] : m_leftCells[parent]) : *ioRoot;
        if (!cell) {
            cell = makeCell();
            if (!parent)
                *ioRoot = cell;
            else if (rightSide)
                m_rightCells[parent] = cell;
            else
                m_leftCells[parent] = cell;
        }

        bool decision;
        if (m_encoding)
            decision = (low < cutoff && cutoff <= high) ? codeBit(value >= cutoff, &m_cellContexts[cell]) != 0
                                                        : value >= cutoff;
        else
            decision = low >= cutoff || (high >= cutoff && codeBit(0, &m_cellContexts[cell]) != 0);
        parent = cell;
        rightSide = decision;

        // One phase a round: a decision that ends phase 2 starts phase 3 with the next round.
        switch (phase) {
        case 1: {
            negative = !decision;
            if (negative) {
                value = -value - 1;
                const int64_t mirroredHigh = -low - 1;
                low = -high - 1;
                high = mirroredHigh;
            }
            phase = 2;
            cutoff = 1;
            break;
        }
        case 2:
            if (decision) {
                cutoff = 2 * cutoff + 1;
            } else {
                phase = 3;
                range = (cutoff + 1) / 2;
                cutoff = range == 1 ? 0 : cutoff - range / 2;
            }
            break;
        default:
            range /= 2;
            if (range != 1)
                cutoff += decision ? range / 2 : -(range / 2);
            else if (!decision)
                --cutoff;
            break;
        }
    }
    return int32_t(negative ? -cutoff - 1 : cutoff);
}

void JB2CoderImpl::codeImageSize(uint32_t& ioWidth, uint32_t& ioHeight)
{
    const auto size = [this](uint32_t inSize) {
        const int32_t value = inSize > uint32_t(kBigPositive) ? -1 : int32_t(inSize);
        return uint32_t(codeNumber(0, kBigPositive, value, nkImageSize));
    };
    ioWidth = size(ioWidth);
    ioHeight = size(ioHeight);
    m_imageWidth = ioWidth;
    m_imageHeight = ioHeight;
    m_previousLeft = int32_t(ioWidth) + 1;
    m_rowLeft = 0;
    m_rowBottom = int32_t(ioHeight);
    m_previousRight = 0;
    m_lastBottom = int32_t(ioHeight);
    fillBottoms(int32_t(ioHeight));
    m_started = true;
}

void JB2CoderImpl::codeRelativeLocation(int32_t& ioLeft, int32_t& ioBottom, uint32_t inWidth, uint32_t inHeight)
{
    const int64_t width = inWidth, height = inHeight;
    const bool newRow = codeBit(ioLeft < m_previousLeft, &m_offsetTypeContext) != 0;
    int64_t left, bottom;
    if (newRow) {
        const int32_t dx = codeNumber(kBigNegative, kBigPositive,
                                      m_encoding ? checkedDifference(int64_t(ioLeft) - m_rowLeft) : 0, nkNewRowX);
        const int32_t dy = codeNumber(
            kBigNegative, kBigPositive,
            m_encoding ? checkedDifference(int64_t(ioBottom) + height - 1 - m_rowBottom) : 0, nkNewRowY);
        left = int64_t(m_rowLeft) + dx;
        bottom = int64_t(m_rowBottom) + dy - height + 1;
    } else {
        const int32_t dx = codeNumber(kBigNegative, kBigPositive,
                                      m_encoding ? checkedDifference(int64_t(ioLeft) - m_previousRight) : 0, nkSameRowX);
        const int32_t dy = codeNumber(kBigNegative, kBigPositive,
                                      m_encoding ? checkedDifference(int64_t(ioBottom) - m_lastBottom) : 0, nkSameRowY);
        left = int64_t(m_previousRight) + dx;
        bottom = int64_t(m_lastBottom) + dy;
    }
    // Read positions stay within what 32 bits hold: every step adds at most one JB2 number.
    if (left < INT32_MIN || left > INT32_MAX || bottom < INT32_MIN || bottom + height - 1 > INT32_MAX ||
        left + width - 1 > INT32_MAX)
        MVX_THROW(errInvalidParam, "The shape position is out of the JB2 range!",
                  "Morvenix::DjVu::JB2::JB2CoderImpl::codeRelativeLocation");
    ioLeft = int32_t(left);
    ioBottom = int32_t(bottom);
    m_previousLeft = ioLeft;
    m_previousRight = int32_t(left + width - 1);
    if (newRow) {
        m_rowLeft = ioLeft;
        m_rowBottom = ioBottom;
        m_lastBottom = ioBottom;
        fillBottoms(ioBottom);
    } else {
        m_lastBottom = updateBottoms(ioBottom);
    }
}

JB2CoderImpl::InkBox JB2CoderImpl::computeInkBox(const ShapeBitmap& inBitmap)
{
    const uint32_t width = inBitmap.getWidth(), height = inBitmap.getHeight(), rowBytes = inBitmap.getRowBytes();
    if (width == 0 || height == 0)
        return InkBox{width, height, 0, 0};
    const uint8_t tailMask = Morvenix::DjVu::lastByteMask(width);
    uint32_t top = height, bottom = 0, left = width, right = 0;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = inBitmap.row(y);
        const auto byteAt = [&](uint32_t i) { return i + 1 < rowBytes ? row[i] : uint8_t(row[i] & tailMask); };
        uint32_t first = 0;
        while (first < rowBytes && !byteAt(first))
            ++first;
        if (first == rowBytes)
            continue;
        uint32_t last = rowBytes - 1;
        while (!byteAt(last))
            --last;
        top = std::min(top, y);
        bottom = y;
        uint32_t firstBit = 0, lastBit = 7;
        while (!((byteAt(first) << firstBit) & 0x80))
            ++firstBit;
        while (!((byteAt(last) >> (7 - lastBit)) & 1))
            --lastBit;
        left = std::min(left, first * 8 + firstBit);
        right = std::max(right, last * 8 + lastBit);
    }
    if (top == height)
        return InkBox{width, height, 0, 0};
    return InkBox{left, top, right - left + 1, bottom - top + 1};
}

uint8_t* JB2CoderImpl::scratch(SimpleArray<uint8_t, 2>& ioScratch, size_t inBytes)
{
    if (ioScratch.count() < inBytes)
        ioScratch.resize(uint32_t(inBytes));
    return ioScratch.data();
}

void JB2CoderImpl::loadAlignedRow(uint8_t* outRow, uint32_t inWidth, const ShapeBitmap& inReference, int64_t inRow,
                                  int64_t inShift, uint8_t* ioUnpacked)
{
    std::memset(outRow - kRowMargin, 0, inWidth + 2 * size_t(kRowMargin));
    if (inRow < 0 || inRow >= int64_t(inReference.getHeight()))
        return;
    const uint32_t referenceWidth = inReference.getWidth();
    ImageUtils::unpackBitsToBinary(referenceWidth, 1, 0, inReference.row(uint32_t(inRow)), 0, ioUnpacked);
    const int64_t first = std::max(-int64_t(kRowMargin), -inShift);
    const int64_t end = std::min(int64_t(inWidth) + kRowMargin, int64_t(referenceWidth) - inShift);
    if (first < end)
        std::memcpy(outRow + first, ioUnpacked + first + inShift, size_t(end - first));
}

void JB2CoderImpl::fillBottoms(int32_t inBottom)
{
    m_bottoms[0] = m_bottoms[1] = m_bottoms[2] = inBottom;
    m_bottomPos = 0;
}

int32_t JB2CoderImpl::updateBottoms(int32_t inBottom)
{
    m_bottomPos = (m_bottomPos + 1) % 3;
    m_bottoms[m_bottomPos] = inBottom;
    const int32_t a = m_bottoms[0], b = m_bottoms[1], c = m_bottoms[2];
    if (a > b)
        return b > c ? b : (a < c ? a : c);
    return a > c ? a : (b < c ? b : c);
}

} // namespace JB2
} // namespace DjVu
} // namespace Morvenix
