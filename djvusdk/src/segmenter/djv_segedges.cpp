// The edge pass: ridges of the grey gradient cut thin background lines through foreground areas.
#include "djv_segpasses.h"

#include "mvx_simplearray.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <utility>

namespace Morvenix {
namespace DjVu {
namespace Seg {

namespace {

void gradient(const ImageView& inGray, uint32_t inX, uint32_t inY, int32_t& outGx, int32_t& outGy)
{
    outGx = int32_t(inGray.at(inX + 1, inY)) - inGray.at(inX - 1, inY);
    outGy = int32_t(inGray.at(inX, inY + 1)) - inGray.at(inX, inY - 1);
}

// Gradient magnitudes of row y; the first and last entries stay 0.
void magnitudeRow(const ImageView& inGray, uint32_t inY, double* outRow)
{
    for (uint32_t x = 1; x + 1 < inGray.width; ++x) {
        int32_t gx, gy;
        gradient(inGray, x, inY, gx, gy);
        outRow[x] = std::sqrt(double(gx * gx + gy * gy));
    }
}

} // namespace

void detectEdges(const ImageView& inGray, const ImageView& ioSegmented)
{
    const uint32_t W = inGray.width;
    const uint32_t H = inGray.height;
    int32_t gMax = 0;
    for (uint32_t y = 1; y + 1 < H; ++y) {
        for (uint32_t x = 1; x + 1 < W; ++x) {
            int32_t gx, gy;
            gradient(inGray, x, y, gx, gy);
            gMax = std::max(gMax, gx * gx + gy * gy);
        }
    }
    const double T = 48 / (25500 / (std::sqrt(double(gMax)) * 100));

    SimpleArray<double, 2> rows(3 * W);
    std::fill(rows.data(), rows.data() + 3 * W, 0.0);
    double* P = rows.data();
    double* M = P + W;
    double* N = M + W;
    if (H > 1)
        magnitudeRow(inGray, 1, M);
    for (uint32_t y = 1; y + 4 <= H; ++y) {
        magnitudeRow(inGray, y + 1, N);
        uint8_t* seg = ioSegmented.row(y);
        for (uint32_t x = 1; x + 1 < W; ++x) {
            if (M[x] < T)
                continue;
            int32_t gx, gy;
            gradient(inGray, x, y, gx, gy);
            const bool sameSign = (gx < 0) == (gy < 0);
            const bool vertical = std::abs(gy) > std::abs(gx);
            double dA, dB, dC, dD;
            if (vertical && sameSign) {
                dA = N[x + 1] - N[x], dB = M[x] - N[x], dC = P[x - 1] - P[x], dD = M[x] - P[x];
            } else if (vertical) {
                dA = N[x - 1] - N[x], dB = M[x] - N[x], dC = P[x + 1] - P[x], dD = M[x] - P[x];
            } else if (sameSign) {
                dA = M[x + 1] - M[x], dB = M[x + 1] - N[x + 1], dC = M[x - 1] - M[x], dD = M[x - 1] - P[x - 1];
            } else {
                dA = M[x - 1] - M[x], dB = M[x - 1] - N[x - 1], dC = M[x + 1] - M[x], dD = M[x + 1] - P[x + 1];
            }
            const double ax = std::abs(gx);
            const double ay = std::abs(gy);
            if (!(ax * dA <= ay * dB && ax * dC <= ay * dD))
                continue;
            if (seg[x] != kForeground) {
                seg[x] = kBackground;
                continue;
            }
            const uint8_t* at = seg + x;
            const ptrdiff_t across = vertical ? ioSegmented.stride : 1;
            if (!(at[-across] & 15) && !(at[across] & 15))
                seg[x] = kBackground;
        }
        std::swap(P, M);
        std::swap(M, N);
    }
}

} // namespace Seg
} // namespace DjVu
} // namespace Morvenix
