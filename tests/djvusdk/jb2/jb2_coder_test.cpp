// The JB2 record coder: the number coder's decisions in both directions, its cell tree, the bottom
// history, the relative location and the bitmap contexts.
#include "djv_jb2coder.h"
#include "test_support.h"

#include <cstdlib>
#include <vector>

using Morvenix::DjVu::JB2::JB2CoderImpl;
using MvxTest::expectThrow;

namespace {

const int32_t kNeg = JB2CoderImpl::kBigNegative;
const int32_t kPos = JB2CoderImpl::kBigPositive;

// Keeps the coded bits in a list instead of an arithmetic coder; the reading twin plays them back. This
// shows the number coder's decisions alone.
class BitTape : public JB2CoderImpl {
public:
    BitTape() : JB2CoderImpl(true), recording(true) {}
    explicit BitTape(const std::vector<int>& inBits) : JB2CoderImpl(false), bits(inBits), recording(false) {}

    int codeBit(int inBit, uint8_t*) override
    {
        if (!recording)
            return bits.at(pos++);
        bits.push_back(inBit);
        return inBit;
    }

    std::vector<int> bits;
    size_t pos = 0;
    const bool recording;
};

struct NumberCase {
    int32_t low, high, value;
};

const NumberCase kNumbers[] = {
    {0, 11, 0},       {0, 11, 11},         {0, 11, 9},          {kNeg, kPos, kNeg}, {kNeg, kPos, kPos},
    {kNeg, kPos, 0},  {kNeg, kPos, -1},    {kNeg, kPos, -4567}, {kNeg, kPos, 4567}, {1, 1, 1},
    {1, 5000, 1},     {1, 5000, 5000},     {-3, -3, -3},        {0, 255, 200},      {0, kPos, kPos},
    {0, 0, 0},        {-10, 10, -10},      {0, 1, 1},
};

} // namespace

TEST(JB2NumberCoder, EveryValueReadsBackInItsRange)
{
    // Each on its own root, then all on one root, where the later values walk the cells of the earlier.
    for (bool sharedRoot : {false, true}) {
        BitTape writer;
        uint32_t roots[sizeof kNumbers / sizeof kNumbers[0]] = {};
        uint32_t shared = 0;
        for (size_t i = 0; i < sizeof kNumbers / sizeof kNumbers[0]; ++i) {
            const NumberCase& c = kNumbers[i];
            EXPECT_EQ(c.value, writer.codeNumber(c.low, c.high, c.value, sharedRoot ? &shared : &roots[i]));
        }
        BitTape read(writer.bits);
        uint32_t readRoots[sizeof kNumbers / sizeof kNumbers[0]] = {};
        shared = 0;
        for (size_t i = 0; i < sizeof kNumbers / sizeof kNumbers[0]; ++i) {
            const NumberCase& c = kNumbers[i];
            EXPECT_EQ(c.value, read.codeNumber(c.low, c.high, 0, sharedRoot ? &shared : &readRoots[i]))
                << c.low << ".." << c.high << " shared " << sharedRoot;
        }
        EXPECT_EQ(writer.bits.size(), read.pos) << "every bit read, no more";
        EXPECT_EQ(writer.getCellCount(), read.getCellCount());
    }
}

TEST(JB2NumberCoder, ZeroOfARecordTypeIsOneBitOverTwoCells)
{
    BitTape writer;
    EXPECT_EQ(1u, writer.getCellCount());
    writer.codeNumber(0, 11, 0, JB2CoderImpl::nkRecordType);
    EXPECT_EQ(std::vector<int>{0}, writer.bits);
    EXPECT_EQ(3u, writer.getCellCount());
}

TEST(JB2NumberCoder, EqualBoundsCodeNoBitYetMakeCells)
{
    BitTape writer;
    uint32_t root = 0;
    writer.codeNumber(5, 5, 5, &root);
    EXPECT_TRUE(writer.bits.empty());
    EXPECT_GT(writer.getCellCount(), 2u);
    EXPECT_NE(0u, root);
    BitTape read(std::vector<int>{});
    uint32_t readRoot = 0;
    EXPECT_EQ(5, read.codeNumber(5, 5, 0, &readRoot));
}

TEST(JB2NumberCoder, APhaseChangeTakesEffectInTheNextRound)
{
    // Decisions worked out by hand. 5 in 0..11: the sign needs no bit; 1 >= 1, 5 >= 3, 5 < 7 ends the
    // doubling with cutoff 5 and range 4; the halving rounds then ask 5 >= 5 and 5 >= 6. Handling the
    // halving in the round that ended the doubling would ask 5 >= 4 instead.
    const struct {
        int32_t low, high, value;
        std::vector<int> bits;
    } cases[] = {
        {0, 11, 5, {1, 1, 0, 1, 0}},
        {0, 11, 2, {1, 0, 1}},
        {-5, 5, 0, {1, 0}},
        {-5, 5, -1, {0, 0}},
        {-5, 5, -4, {0, 1, 1, 0}},
    };
    for (const auto& c : cases) {
        BitTape writer;
        writer.codeNumber(c.low, c.high, c.value, JB2CoderImpl::nkNewRowX);
        EXPECT_EQ(c.bits, writer.bits) << c.value << " in " << c.low << ".." << c.high;
        BitTape read(c.bits);
        EXPECT_EQ(c.value, read.codeNumber(c.low, c.high, 0, JB2CoderImpl::nkNewRowX));
    }
}

TEST(JB2NumberCoder, NegativeValuesAreCodedMirrored)
{
    // -v - 1 over the mirrored range: after the sign decision -5 codes exactly as 4.
    BitTape negative, positive;
    negative.codeNumber(kNeg, kPos, -5, JB2CoderImpl::nkNewRowX);
    positive.codeNumber(kNeg, kPos, 4, JB2CoderImpl::nkNewRowX);
    ASSERT_FALSE(negative.bits.empty());
    EXPECT_EQ(0, negative.bits[0]);
    EXPECT_EQ(1, positive.bits[0]);
    EXPECT_EQ(std::vector<int>(positive.bits.begin() + 1, positive.bits.end()),
              std::vector<int>(negative.bits.begin() + 1, negative.bits.end()));
}

TEST(JB2NumberCoder, RefusesValuesOutsideTheRangeAndRootsWithoutCells)
{
    BitTape writer;
    expectThrow([&] { writer.codeNumber(0, 11, 12, JB2CoderImpl::nkRecordType); }, Morvenix::errInvalidParam,
                "out of its JB2 range");
    expectThrow([&] { writer.codeNumber(1, 20, 0, JB2CoderImpl::nkAbsoluteX); }, Morvenix::errInvalidParam);
    EXPECT_TRUE(writer.bits.empty());
    uint32_t stale = 7;
    expectThrow([&] { writer.codeNumber(0, 11, 1, &stale); }, Morvenix::errInvalidParam,
                "JB2Codec.bad_number_of_context");
}

TEST(JB2NumberCoder, CellArraysGrowPastTheirReserve)
{
    std::vector<int32_t> values;
    uint32_t state = 99;
    for (int i = 0; i < 12000; ++i) {
        state = state * 1664525u + 1013904223u;
        values.push_back(int32_t(state % uint32_t(kPos - kNeg + 1)) + kNeg);
    }
    BitTape writer;
    for (int32_t v : values)
        writer.codeNumber(kNeg, kPos, v, JB2CoderImpl::nkSameRowX);
    EXPECT_GT(writer.getCellCount(), 2 * JB2CoderImpl::kCellChunk);
    BitTape read(writer.bits);
    for (size_t i = 0; i < values.size(); ++i)
        ASSERT_EQ(values[i], read.codeNumber(kNeg, kPos, 0, JB2CoderImpl::nkSameRowX)) << i;
}

TEST(JB2NumberCoder, ResetStartsFromFreshRoots)
{
    BitTape writer;
    writer.codeNumber(kNeg, kPos, 1234, JB2CoderImpl::nkNewRowY);
    const uint32_t cellsOfOneNumber = writer.getCellCount();
    writer.codeNumber(kNeg, kPos, 1234, JB2CoderImpl::nkNewRowY);
    EXPECT_EQ(cellsOfOneNumber, writer.getCellCount()) << "the same value walks the cells it made";
    writer.resetNumberCoder();
    EXPECT_EQ(1u, writer.getCellCount());
    writer.codeNumber(kNeg, kPos, 1234, JB2CoderImpl::nkNewRowY);
    EXPECT_EQ(cellsOfOneNumber, writer.getCellCount()) << "after the reset the root makes its cells anew";
}

TEST(JB2Location, BottomHistoryGivesTheMedianOfTheLastThree)
{
    BitTape coder;
    coder.fillBottoms(5);
    EXPECT_EQ(5, coder.updateBottoms(9));
    EXPECT_EQ(7, coder.updateBottoms(7));
    coder.fillBottoms(4);
    EXPECT_EQ(4, coder.updateBottoms(4));
    EXPECT_EQ(4, coder.updateBottoms(9));
    EXPECT_EQ(9, coder.updateBottoms(12)) << "the oldest entry gives way: 12, 4, 9";
}

TEST(JB2Location, PlacesReadBackAndTheFirstMarkStartsARow)
{
    struct Mark {
        int32_t left, bottom;
        uint32_t width, height;
    };
    const Mark marks[] = {{300, 50, 10, 12}, {312, 52, 8, 9}, {330, 49, 1, 1}, {5, 20, 30, 7},
                          {1, 1, 1, 1},      {299, 99, 2, 2}, {-4, -9, 3, 3}};
    BitTape writer;
    uint32_t width = 300, height = 100;
    writer.codeImageSize(width, height);
    const size_t firstMarkBit = writer.bits.size();
    for (const Mark& m : marks) {
        int32_t left = m.left, bottom = m.bottom;
        writer.codeRelativeLocation(left, bottom, m.width, m.height);
    }
    EXPECT_EQ(1, writer.bits.at(firstMarkBit)) << "left is below the initial previous left, width + 1";

    BitTape read(writer.bits);
    uint32_t readWidth = 0, readHeight = 0;
    read.codeImageSize(readWidth, readHeight);
    EXPECT_EQ(300u, readWidth);
    EXPECT_EQ(100u, readHeight);
    for (const Mark& m : marks) {
        int32_t left = 0, bottom = 0;
        read.codeRelativeLocation(left, bottom, m.width, m.height);
        EXPECT_EQ(m.left, left);
        EXPECT_EQ(m.bottom, bottom);
    }
    EXPECT_EQ(writer.bits.size(), read.pos);
}

TEST(JB2Location, RefusesDifferencesNoNumberHolds)
{
    BitTape writer;
    uint32_t width = 100, height = 100;
    writer.codeImageSize(width, height);
    int32_t left = 300000, bottom = 1;
    // Same row (left is past the previous left): 300000 - 0 is too far.
    expectThrow([&] { writer.codeRelativeLocation(left, bottom, 1, 1); }, Morvenix::errInvalidParam,
                "The shape position is out of the JB2 range!");
    left = 1;
    bottom = -300000;
    expectThrow([&] { writer.codeRelativeLocation(left, bottom, 1, 1); }, Morvenix::errInvalidParam,
                "The shape position is out of the JB2 range!");
    uint32_t tooWide = uint32_t(kPos) + 1;
    expectThrow([&] { writer.codeImageSize(tooWide, height); }, Morvenix::errInvalidParam);
}

namespace {

// Rows of one byte a pixel with 4 clear pixels either side, as the bitmap coders take them; seed 0 leaves
// them clear.
struct Rows {
    explicit Rows(uint32_t inWidth, uint32_t inCount, uint32_t inSeed)
        : width(inWidth), data(size_t(inCount) * (inWidth + 8), 0)
    {
        uint32_t state = inSeed;
        for (uint32_t r = 0; inSeed && r < inCount; ++r)
            for (uint32_t x = 0; x < inWidth; ++x) {
                state = state * 1103515245u + 12345u;
                row(r)[x] = (state >> 17) & 1;
            }
    }
    uint8_t* row(uint32_t r) { return &data[size_t(r) * (width + 8) + 4]; }
    uint32_t width;
    std::vector<uint8_t> data;
};

// The context byte each pixel was coded with, as an index into the table of the first one handed out
// for an all-clear neighbourhood (index 0).
struct ContextLog {
    const uint8_t* base = nullptr;
    std::vector<long> indices;
    int operator()(int inBit, uint8_t& ioContext)
    {
        if (!base)
            base = &ioContext;
        else
            indices.push_back(long(&ioContext - base));
        return inBit;
    }
};

} // namespace

TEST(JB2BitmapContexts, DirectContextFollowsTheTemplateAlongTheRow)
{
    BitTape coder;
    ContextLog log;
    Rows clear(1, 3, 0);
    coder.codeDirectRow(clear.row(0), clear.row(1), clear.row(2), 1, log);
    Rows rows(37, 3, 5);
    const std::vector<uint8_t> before = rows.data;
    coder.codeDirectRow(rows.row(0), rows.row(1), rows.row(2), 37, log);
    EXPECT_EQ(before, rows.data) << "writing stores each pixel back unchanged";
    ASSERT_EQ(37u, log.indices.size());
    const uint8_t *up2 = rows.row(0), *up1 = rows.row(1), *up0 = rows.row(2);
    for (int c = 0; c < 37; ++c) {
        const long expected = up2[c - 1] << 9 | up2[c] << 8 | up2[c + 1] << 7 | up1[c - 2] << 6 | up1[c - 1] << 5 |
                              up1[c] << 4 | up1[c + 1] << 3 | up1[c + 2] << 2 | up0[c - 2] << 1 | up0[c - 1];
        EXPECT_EQ(expected, log.indices[size_t(c)]) << "column " << c;
    }
}

TEST(JB2BitmapContexts, RefinementContextFollowsTheTemplateAlongTheRow)
{
    BitTape coder;
    ContextLog log;
    Rows clear(1, 5, 0);
    coder.codeRefinedRow(clear.row(0), clear.row(1), clear.row(2), clear.row(3), clear.row(4), 1, log);
    Rows rows(29, 5, 11);
    coder.codeRefinedRow(rows.row(0), rows.row(1), rows.row(2), rows.row(3), rows.row(4), 29, log);
    ASSERT_EQ(29u, log.indices.size());
    const uint8_t *up1 = rows.row(0), *up0 = rows.row(1), *xup1 = rows.row(2), *xup0 = rows.row(3),
                  *xdn1 = rows.row(4);
    for (int c = 0; c < 29; ++c) {
        const long expected = up1[c - 1] << 10 | up1[c] << 9 | up1[c + 1] << 8 | up0[c - 1] << 7 | xup1[c] << 6 |
                              xup0[c - 1] << 5 | xup0[c] << 4 | xup0[c + 1] << 3 | xdn1[c - 1] << 2 |
                              xdn1[c] << 1 | xdn1[c + 1];
        EXPECT_EQ(expected, log.indices[size_t(c)]) << "column " << c;
    }
}
