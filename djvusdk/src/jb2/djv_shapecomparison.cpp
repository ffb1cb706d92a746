// Comparing two shape bitmaps aligned on their centroids, a whole row in one word.
#include "djv_shapeclassifier.h"

#include <cstddef>

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu::JB2;

namespace {

// Per byte, its leftmost pixel in the most significant bit.
struct BitTables {
    uint8_t population[256];
    uint8_t leadingZeros[256];  // 8 for 0
    uint8_t trailingZeros[256]; // 8 for 0
    uint8_t positionSum[256];   // sum of the set bits' columns, the most significant bit being column 0
};

constexpr BitTables makeBitTables()
{
    BitTables t{};
    for (uint32_t v = 0; v < 256; ++v) {
        uint32_t lead = 8, trail = 8;
        for (uint32_t column = 0; column < 8; ++column) {
            if (!(v & (0x80u >> column)))
                continue;
            t.population[v] = uint8_t(t.population[v] + 1);
            t.positionSum[v] = uint8_t(t.positionSum[v] + column);
            if (lead == 8)
                lead = column;
            trail = 7 - column;
        }
        t.leadingZeros[v] = uint8_t(lead);
        t.trailingZeros[v] = uint8_t(trail);
    }
    return t;
}

constexpr BitTables kByteTables = makeBitTables();
static_assert(kByteTables.population[0xFF] == 8 && kByteTables.positionSum[0xFF] == 28 && kByteTables.positionSum[0x01] == 7,
              "bit tables");
static_assert(kByteTables.leadingZeros[0] == 8 && kByteTables.trailingZeros[0x80] == 7 && kByteTables.leadingZeros[0x01] == 7,
              "bit tables");

// A row in one word read as a big-endian number: column c is bit (kBits - 1 - c).
template <class Word>
struct WordTraits {
    static constexpr uint32_t kBits = uint32_t(sizeof(Word) * 8);
    static constexpr uint32_t kBytes = uint32_t(sizeof(Word));

    static uint8_t byteAt(Word inWord, uint32_t inIndex) { return uint8_t(inWord >> (kBits - 8 - 8 * inIndex)); }
    static uint32_t population(Word inWord)
    {
        uint32_t n = 0;
        for (uint32_t i = 0; i < kBytes; ++i)
            n += kByteTables.population[byteAt(inWord, i)];
        return n;
    }
    static uint32_t leadingZeros(Word inWord)
    {
        for (uint32_t i = 0; i < kBytes; ++i) {
            if (const uint8_t b = byteAt(inWord, i))
                return 8 * i + kByteTables.leadingZeros[b];
        }
        return kBits;
    }
    static uint32_t trailingZeros(Word inWord)
    {
        for (uint32_t i = kBytes; i-- > 0;) {
            if (const uint8_t b = byteAt(inWord, i))
                return 8 * (kBytes - 1 - i) + kByteTables.trailingZeros[b];
        }
        return kBits;
    }
    // The pixels of a bitmap row, the bits past the width clear.
    static Word load(const ShapeBitmap& inBitmap, uint32_t inY)
    {
        const uint8_t* bytes = inBitmap.row(inY);
        const uint32_t rowBytes = inBitmap.getRowBytes();
        Word w = 0;
        for (uint32_t i = 0; i < rowBytes; ++i)
            w |= Word(Word(bytes[i]) << (kBits - 8 - 8 * i));
        const uint32_t width = inBitmap.getWidth();
        return width < kBits ? Word(w & ~(~Word(0) >> width)) : w;
    }
};

// The rows of one bitmap, or of a difference, held so that every row from -1 to kMaxSide + 1 can be read:
// the comparisons read the row above the first (D[-1] and row sy - 1 with sy = 0) and, with a vertical
// offset of 1, the row just below the taller bitmap (row sy + n of b when n is its height). Rows outside
// the bitmap read as blank.
template <class Word>
class RowWords {
public:
    static constexpr int32_t kFirstRow = -1;
    static constexpr int32_t kLastRow = int32_t(ShapeClassifier::kMaxSide) + 1;

    // A bitmap at most kMaxSide rows high.
    explicit RowWords(const ShapeBitmap& inBitmap)
    {
        const uint32_t height = inBitmap.getHeight();
        for (uint32_t y = 0; y < height; ++y)
            m_slots[y + 1] = WordTraits<Word>::load(inBitmap, y);
        for (uint32_t slot = height + 1; slot < kSlots; ++slot)
            m_slots[slot] = 0;
        m_slots[0] = 0;
    }
    RowWords()
    {
        for (uint32_t slot = 0; slot < kSlots; ++slot)
            m_slots[slot] = 0;
    }

    // inY from kFirstRow to kLastRow.
    Word& operator[](int32_t inY) { return m_slots[inY - kFirstRow]; }
    Word operator[](int32_t inY) const { return m_slots[inY - kFirstRow]; }

private:
    static constexpr uint32_t kSlots = uint32_t(kLastRow - kFirstRow + 1);
    Word m_slots[kSlots];
};

struct Alignment {
    uint32_t sx;
    uint32_t sy;
};

// Offsets that put the centroid of a (not the taller) on that of b: row r of a faces row r + sy of b,
// and sx moves the wider one right. Only offsets of 0 or 1 are comparable.
bool align(const Shape& inA, const Shape& inB, ShapeClassifier::CentroidCache& ioCache, Alignment& outAlignment)
{
    const ShapeClassifier::Centroid ca = ShapeClassifier::getCentroid(ioCache, inA);
    const ShapeClassifier::Centroid cb = ShapeClassifier::getCentroid(ioCache, inB);
    const double dx = inB.getWidth() > inA.getWidth() ? cb.x - ca.x : ca.x - cb.x;
    const double dy = cb.y - ca.y;
    outAlignment.sx = uint32_t(int64_t(dx + 0.5));
    outAlignment.sy = uint32_t(int64_t(dy + 0.5));
    return outAlignment.sx <= 1 && outAlignment.sy <= 1;
}

// 32-bit words while both bitmaps fit in 32 columns and the taller in 32 rows.
bool fitsNarrowWords(const Shape& inA, const Shape& inB)
{
    const uint32_t widest = inA.getWidth() > inB.getWidth() ? inA.getWidth() : inB.getWidth();
    return widest <= 32 && inB.getHeight() <= 32;
}

ShapeClassifier::Centroid computeCentroid(const ShapeBitmap& inBitmap)
{
    const uint32_t height = inBitmap.getHeight();
    const uint32_t rowBytes = inBitmap.getRowBytes();
    const uint32_t width = inBitmap.getWidth();
    const uint8_t lastMask = Morvenix::DjVu::lastByteMask(width);
    double sumOfRowMeans = 0;
    uint32_t inkCount = 0, weightedRows = 0;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* bytes = inBitmap.row(y);
        uint32_t rowCount = 0, columnSum = 0;
        for (uint32_t i = 0; i < rowBytes; ++i) {
            const uint8_t b = i + 1 == rowBytes ? uint8_t(bytes[i] & lastMask) : bytes[i];
            rowCount += kByteTables.population[b];
            columnSum += kByteTables.population[b] * 8 * i + kByteTables.positionSum[b];
        }
        if (rowCount)
            sumOfRowMeans += double(columnSum) / rowCount;
        inkCount += rowCount;
        weightedRows += rowCount * y;
    }
    ShapeClassifier::Centroid c;
    c.x = height ? sumOfRowMeans / height : 0;
    c.y = inkCount ? double(weightedRows) / inkCount : 0;
    return c;
}

// inA is not the taller; both within kMaxSide.
template <class Word>
uint32_t countDifferences(const Shape& inA, const Shape& inB, const Alignment& inAlign)
{
    typedef WordTraits<Word> W;
    const RowWords<Word> a(inA.getBitmap());
    const RowWords<Word> b(inB.getBitmap());
    const int32_t n = int32_t(inA.getHeight());
    const int32_t heightB = int32_t(inB.getHeight());
    const int32_t sy = int32_t(inAlign.sy);

    // The rows of b that no row of a faces count whole.
    uint32_t count = 0;
    for (int32_t y = 0; y < sy && y < heightB; ++y)
        count += W::population(b[y]);
    for (int32_t y = sy + n; y < heightB; ++y)
        count += W::population(b[y]);

    const bool rotateA = inA.getWidth() >= inB.getWidth();
    for (int32_t r = 0; r < n; ++r) {
        Word wa = a[r];
        Word wb = b[r + sy];
        if (inAlign.sx) {
            Word& wider = rotateA ? wa : wb;
            wider = Word((wider >> 1) | (wider << (W::kBits - 1)));
        }
        count += W::population(Word(wa ^ wb));
    }
    return count;
}

// The second comparison, step by step. Its invariant: the target's rows stay in the target's own frame
// (row 0 its top row, column 0 its left column, never shifted) and only pixels inside its box change, so
// that the rewritten shape keeps every pixel it does not flip and lies within its old box, and so on the
// page wherever the old one was.
template <class Word>
class SecondComparison {
public:
    typedef WordTraits<Word> W;

    // inA is not the taller and at most kMaxSide wide, inB at most kMaxSide in both directions.
    SecondComparison(const Shape& inA, const Shape& inB, const Alignment& inAlign)
        : m_a(inA.getBitmap()), m_b(inB.getBitmap()), m_n(int32_t(inA.getHeight())), m_sx(int32_t(inAlign.sx)),
          m_sy(int32_t(inAlign.sy))
    {
    }

    // The differing pixels with no differing neighbour, in a's rows and b's columns.
    RowWords<Word> isolatedDifferences() const
    {
        const RowWords<Word> d = differences();
        RowWords<Word> isolated;
        for (int32_t r = 0; r < m_n; ++r) {
            // With sx = 1 the left-neighbour term cancels every bit.
            const Word notD = Word(~d[r]);
            isolated[r] = Word(d[r] & ~d[r - 1] & ~d[r + 1] & Word(notD << (1 - m_sx)) & Word(notD >> (m_sx + 1)));
        }
        return isolated;
    }

    // The isolated differences that fall inside the target's box, in the target's own frame: b's rows
    // are a's moved down by sy, a's columns are b's moved left by sx.
    RowWords<Word> flipsOf(const RowWords<Word>& inIsolated, const Shape& inTarget, bool inTargetIsB) const
    {
        const Word inside = columnsOf(inTarget.getWidth());
        const int32_t height = int32_t(inTarget.getHeight());
        RowWords<Word> flips;
        for (int32_t r = 0; r < m_n; ++r) {
            const int32_t row = inTargetIsB ? r + m_sy : r;
            if (row < height)
                flips[row] = Word((inTargetIsB ? inIsolated[r] : Word(inIsolated[r] << m_sx)) & inside);
        }
        return flips;
    }

    // The target's own rows, inHeight of them, with the flips made.
    RowWords<Word> flipped(const RowWords<Word>& inFlips, int32_t inHeight, bool inTargetIsB) const
    {
        RowWords<Word> rows = inTargetIsB ? m_b : m_a;
        for (int32_t r = 0; r < inHeight; ++r)
            rows[r] = Word(rows[r] ^ inFlips[r]);
        return rows;
    }

private:
    // The pixels of a row of that width.
    static Word columnsOf(uint32_t inWidth)
    {
        return inWidth >= W::kBits ? Word(~Word(0)) : Word(~(~Word(0) >> inWidth));
    }

    // D[-1..n]: a's rows, moved right by sx onto b's columns, against the rows of b they face; the rows of b
    // just above and below those bound them.
    RowWords<Word> differences() const
    {
        RowWords<Word> d;
        d[-1] = m_b[m_sy - 1];
        for (int32_t r = 0; r < m_n; ++r)
            d[r] = Word(Word(m_a[r] >> m_sx) ^ m_b[r + m_sy]);
        d[m_n] = m_b[m_sy + m_n];
        return d;
    }

    const RowWords<Word> m_a;
    const RowWords<Word> m_b;
    const int32_t m_n;
    const int32_t m_sx;
    const int32_t m_sy;
};

// The rows of a bitmap cropped to their ink: the first and last rows and columns that hold any.
struct InkCrop {
    int32_t top, bottom;
    uint32_t left, right; // blank columns at either end of the word
};

template <class Word>
bool cropToInk(const RowWords<Word>& inRows, int32_t inHeight, InkCrop& outCrop)
{
    typedef WordTraits<Word> W;
    outCrop.top = outCrop.bottom = -1;
    Word columns = 0;
    for (int32_t r = 0; r < inHeight; ++r) {
        if (!inRows[r])
            continue;
        if (outCrop.top < 0)
            outCrop.top = r;
        outCrop.bottom = r;
        columns = Word(columns | inRows[r]);
    }
    outCrop.left = W::leadingZeros(columns);
    outCrop.right = W::trailingZeros(columns);
    return outCrop.top >= 0;
}

// The shape takes the cropped rows as its bitmap, moved by what the crop cut off its top and left so that
// every pixel stays where it was on the page.
template <class Word>
void replaceByCrop(Shape& ioShape, const RowWords<Word>& inRows, const InkCrop& inCrop,
                   ShapeClassifier::CentroidCache& ioCache)
{
    typedef WordTraits<Word> W;
    ShapeBitmap cropped(W::kBits - inCrop.right - inCrop.left, uint32_t(inCrop.bottom - inCrop.top + 1));
    const uint32_t rowBytes = cropped.getRowBytes();
    for (int32_t r = inCrop.top; r <= inCrop.bottom; ++r) {
        const Word w = Word(inRows[r] << inCrop.left);
        uint8_t* out = cropped.row(uint32_t(r - inCrop.top));
        for (uint32_t i = 0; i < rowBytes; ++i)
            out[i] = W::byteAt(w, i);
    }
    const int32_t x = ioShape.getX() + int32_t(inCrop.left);
    const int32_t y = ioShape.getY() + inCrop.top;
    ioShape.replaceBitmap(cropped);
    ioCache[&ioShape] = computeCentroid(ioShape.getBitmap());
    ioShape.setPosition(x, y);
}

// inA is not the taller and at most kMaxSide wide, inB at most kMaxSide in both directions; the target is
// inB with mode 1, inA otherwise.
template <class Word>
uint32_t flipIsolated(Shape& inA, Shape& inB, const Alignment& inAlign, bool inTargetIsB,
                      ShapeClassifier::CentroidCache& ioCache)
{
    const SecondComparison<Word> comparison(inA, inB, inAlign);
    Shape& target = inTargetIsB ? inB : inA;
    const int32_t height = int32_t(target.getHeight());
    const RowWords<Word> flips = comparison.flipsOf(comparison.isolatedDifferences(), target, inTargetIsB);
    const RowWords<Word> rows = comparison.flipped(flips, height, inTargetIsB);
    InkCrop crop;
    // Nothing left to keep: the shape keeps its bitmap and place rather than become an empty mark.
    if (!cropToInk(rows, height, crop))
        return 0;
    uint32_t count = 0;
    for (int32_t r = 0; r < height; ++r)
        count += WordTraits<Word>::population(flips[r]);
    replaceByCrop(target, rows, crop, ioCache);
    return count;
}

} // namespace

const ShapeClassifier::Centroid& ShapeClassifier::getCentroid(CentroidCache& ioCache, const Shape& inShape)
{
    CentroidCache::iterator it = ioCache.find(&inShape);
    if (it == ioCache.end())
        it = ioCache.emplace(&inShape, computeCentroid(inShape.getBitmap())).first;
    return it->second;
}

uint32_t ShapeClassifier::compareShapes(const Shape& inA, const Shape& inB, CentroidCache& ioCache)
{
    if (&inA == &inB)
        return 0;
    const bool swap = inA.getHeight() > inB.getHeight();
    const Shape& a = swap ? inB : inA;
    const Shape& b = swap ? inA : inB;
    const uint32_t wa = a.getWidth(), wb = b.getWidth();
    if (b.getHeight() - a.getHeight() >= 2 || (wa > wb ? wa - wb : wb - wa) >= 2)
        return kNotComparable;
    // The row words hold no more.
    if (b.getHeight() > kMaxSide || wa > kMaxSide || wb > kMaxSide)
        return kNotComparable;
    Alignment alignment;
    if (!align(a, b, ioCache, alignment))
        return kNotComparable;
    return fitsNarrowWords(a, b) ? countDifferences<uint32_t>(a, b, alignment)
                                 : countDifferences<uint64_t>(a, b, alignment);
}

uint32_t ShapeClassifier::removeIsolatedDifferences(Shape& inA, Shape& inB, CentroidCache& ioCache, uint8_t inMode)
{
    if (&inA == &inB)
        return 0;
    bool targetIsB = inMode != 0;
    Shape* a = &inA;
    Shape* b = &inB;
    if (a->getHeight() > b->getHeight()) {
        a = &inB;
        b = &inA;
        targetIsB = false;
    }
    if (a->getWidth() > kMaxSide || b->getWidth() > kMaxSide || b->getHeight() > kMaxSide)
        return kNotComparable;
    Alignment alignment;
    if (!align(*a, *b, ioCache, alignment))
        return kNotComparable;
    return fitsNarrowWords(*a, *b) ? flipIsolated<uint32_t>(*a, *b, alignment, targetIsB, ioCache)
                                   : flipIsolated<uint64_t>(*a, *b, alignment, targetIsB, ioCache);
}

} // namespace _Mvx_Internal_NS_
