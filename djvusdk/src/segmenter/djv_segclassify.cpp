// Per-block thresholds and the classification of blocks and pixels into foreground and background.
#include "djv_segpasses.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Morvenix {
namespace DjVu {
namespace Seg {

namespace {

// Strengths of the class model: p1 weighs the spread of the classes, p2 the prior of a split level.
constexpr double kP1 = 75;
constexpr double kP2 = 25;
constexpr double kS1 = (250 - 2 * kP1) / 100;
constexpr double kS2 = (2 * kP1 + 50) / 100;

// Histogram of a window with cumulative counts and moments of its levels measured from its minimum.
struct WindowStats {
    uint32_t min;
    uint32_t max;
    uint32_t prior[256];
    uint32_t hist[256];
    uint32_t cnt[256];
    // 64 bits: the windows of large blocks would overflow 32-bit moments.
    uint64_t sum[256];
    uint64_t sq[256];
};

void gatherWindow(WindowStats& outStats, const ImageView& inBlurred, uint32_t inX, uint32_t inY, uint32_t inBs)
{
    const uint32_t side = inBs + (inBs & ~1u);
    const uint32_t x0 = inX - inBs / 2;
    const uint32_t y0 = inY - inBs / 2;
    // Four partial histograms: runs of one level (most of a page) would otherwise make every count wait
    // for the one before.
    uint32_t partial[4][256] = {};
    for (uint32_t y = y0; y < y0 + side; ++y) {
        const uint8_t* p = inBlurred.row(y) + x0;
        uint32_t x = 0;
        for (; x + 4 <= side; x += 4) {
            ++partial[0][p[x]];
            ++partial[1][p[x + 1]];
            ++partial[2][p[x + 2]];
            ++partial[3][p[x + 3]];
        }
        for (; x < side; ++x)
            ++partial[0][p[x]];
    }
    for (uint32_t v = 0; v < 256; ++v)
        outStats.hist[v] = partial[0][v] + partial[1][v] + partial[2][v] + partial[3][v];
    uint32_t lo = 0;
    while (!outStats.hist[lo])
        ++lo;
    uint32_t hi = 255;
    while (!outStats.hist[hi])
        --hi;
    outStats.min = lo;
    outStats.max = hi;
    const uint32_t prior = inBs * inBs / (hi - lo + 1);
    uint32_t cnt = 0;
    uint64_t sum = 0, sq = 0;
    for (uint32_t k = 0; k <= hi - lo; ++k) {
        const uint32_t h = outStats.hist[lo + k];
        outStats.prior[lo + k] = prior;
        cnt += h;
        sum += uint64_t(h) * k;
        sq += uint64_t(h) * k * k;
        outStats.cnt[k] = cnt;
        outStats.sum[k] = sum;
        outStats.sq[k] = sq;
    }
}

void estimateThreshold(BlockData& outData, const WindowStats& inStats)
{
    const uint32_t min = inStats.min;
    const uint32_t n = inStats.max - min;
    if (n < 4) {
        outData = BlockData{BlockData::kNearlyUniform, 0, float(min), float(min), min};
        return;
    }
    static const double lnS1 = std::log(kS1);
    static const double lnS2 = std::log(kS2);
    const double N = inStats.cnt[n];
    const double S = inStats.sum[n];
    const double Q = inStats.sq[n];
    const double D = S * (S / N) - Q;
    double best = std::max(D / (kS1 * kS1) - 2 * N * lnS1, D / (kS2 * kS2) - 2 * N * lnS2);
    uint32_t bestK = 0;
    double bestNd = 0, bestMd = 0, bestMl = 0;
    for (uint32_t k = 2; k + 3 <= n; ++k) {
        if (!inStats.hist[min + k])
            continue;
        const double nd = inStats.cnt[k];
        const double sd = inStats.sum[k];
        const double qd = inStats.sq[k];
        const double nl = N - nd;
        const double sl = S - sd;
        const double md = sd / nd;
        const double ml = sl / nl;
        const double d = ml - md;
        if (d < 0)
            continue;
        const double score = ((sl * ml - (Q - qd)) / (kS2 * kS2) - 2 * nl * lnS2) +
                             ((sd * md - qd) / (kS1 * kS1) - 2 * nd * lnS1) -
                             inStats.prior[min + k] * 2 * kP2 / (kS1 * kS2) -
                             (std::fabs(d) + 10) * N * 50 / (kS1 * kS2 * 100);
        if (score > best) {
            best = score;
            bestK = k;
            bestNd = nd;
            bestMd = md;
            bestMl = ml;
        }
    }
    if (bestK) {
        outData = BlockData{BlockData::kTwoClasses, float(bestNd / N), float(min + bestMd), float(min + bestMl),
                            min + bestK};
        return;
    }
    const double mean = min + S / N;
    outData = BlockData{BlockData::kOneClass, 0, float(mean), float(mean), min + uint32_t(S / N)};
}

// Sums of the class means of neighbour blocks, weighted by the classes' shares.
struct ClassSums {
    double wD = 0, aD = 0, bD = 0;
    double wL = 0, aL = 0, bL = 0;

    void add(const BlockData& inData)
    {
        const float share = inData.share;
        const float lightShare = 1 - share;
        wD += share;
        aD += float(share * inData.darkMean);
        bD += float(share * inData.darkMean * inData.darkMean);
        wL += lightShare;
        aL += float(lightShare * inData.lightMean);
        bL += float(lightShare * inData.lightMean * inData.lightMean);
    }
};

// Whether a block without a split of its own is foreground, judged by how well its level fits the dark
// and the light classes of its neighbours.
bool isFlatForeground(BlockGrid& ioGrid, uint32_t inX, uint32_t inY, uint32_t inBs, double inMu)
{
    ClassSums sums;
    uint32_t split = 0;
    const uint32_t neighbours[4][2] = {{inX + inBs, inY}, {inX - inBs, inY}, {inX, inY + inBs}, {inX, inY - inBs}};
    for (const auto& nb : neighbours) {
        const BlockData& data = ioGrid.get(nb[0], nb[1]);
        if (data.kind == BlockData::kTwoClasses) {
            sums.add(data);
            ++split;
        }
    }
    if (!split) {
        sums.add(ioGrid.get(inX - inBs, inY));
        sums.add(ioGrid.get(inX, inY - inBs));
    }
    const double eD = 2 * sums.aD * inMu - sums.bD - sums.wD * inMu * inMu;
    const double eL = 2 * sums.aL * inMu - sums.bL - sums.wL * inMu * inMu;
    const double ln2 = std::log(2.0);
    const double vD = 0.25 * eD - 2 * ln2 * sums.wD;
    const double vL = 0.25 * eL - 2 * ln2 * sums.wL;
    return vD > vL;
}

} // namespace

BlockGrid::BlockGrid(const Config& inConfig, const ImageView& inBlurred)
    : m_config(inConfig), m_blurred(inBlurred),
      m_gridWidth((inBlurred.width + inConfig.blockWidth - 1) / inConfig.blockWidth),
      m_blocks(m_gridWidth * ((inBlurred.height + inConfig.blockHeight - 1) / inConfig.blockHeight))
{
}

const BlockData& BlockGrid::get(uint32_t inX, uint32_t inY)
{
    const uint32_t bs = m_config.blockWidth;
    BlockData& data = m_blocks[inY / bs * m_gridWidth + inX / bs];
    if (data.kind == BlockData::kNotComputed)
        compute(data, inX / bs * bs, inY / bs * bs);
    return data;
}

void BlockGrid::compute(BlockData& outData, uint32_t inX, uint32_t inY) const
{
    WindowStats stats;
    gatherWindow(stats, m_blurred, inX, inY, m_config.blockWidth);
    estimateThreshold(outData, stats);
}

void classify(const Config& inConfig, const ImageView& inGray, const ImageView& inBlurred,
              const ImageView& ioSegmented, const ImageView& ioBlocks)
{
    const uint32_t bs = inConfig.blockWidth;
    BlockGrid grid(inConfig, inBlurred);
    for (uint32_t y = 2 * bs; y < inGray.height - 3 * bs; y += bs) {
        for (uint32_t x = 2 * bs; x < inGray.width - 3 * bs; x += bs) {
            const BlockData& data = grid.get(x, y);
            if (data.kind == BlockData::kTwoClasses) {
                const uint32_t threshold = data.threshold;
                for (uint32_t row = y; row < y + bs; ++row) {
                    const uint8_t* g = inGray.row(row) + x;
                    uint8_t* s = ioSegmented.row(row) + x;
                    for (uint32_t i = 0; i < bs; ++i)
                        s[i] = g[i] > threshold ? kBackground : kForeground;
                }
                continue;
            }
            const uint8_t value = isFlatForeground(grid, x, y, bs, data.darkMean) ? kForeground : kBackground;
            for (uint32_t row = y; row < y + bs; ++row)
                std::memset(ioSegmented.row(row) + x, value, bs);
            ioBlocks.at(x / bs, y / bs) = 0;
        }
    }
}

} // namespace Seg
} // namespace DjVu
} // namespace Morvenix
