// The IW44 lifting wavelet: a 4-tap interpolating predict and update, rows then columns, at each scale.
// Sums are 32-bit, shifts arithmetic, results stored back as 16-bit values.
#include "djv_iw44transform.h"

#include <cstddef>

namespace Morvenix {
namespace DjVu {
namespace IW44 {

namespace {

// One row at scale s: the n samples at x = 0, s, 2s, ...
void horizontalPass(int16_t* p, uint32_t n, uint32_t s)
{
    int32_t a0 = 0, a1 = 0, a2 = 0, a3 = 0, b0 = 0, b1 = 0, b2 = 0, b3 = 0;
    const auto x = [p, s](uint32_t i) -> int16_t& { return p[size_t(i) * s]; };
    uint32_t k = 1;
    if (n > 1) {
        a1 = a2 = a3 = x(0);
        if (n > 2)
            a2 = x(2);
        if (n > 4)
            a3 = x(4);
        b3 = x(1) - ((a1 + a2 + 1) >> 1);
        x(1) = int16_t(b3);
        k = 3;
    }
    for (; k + 3 < n; k += 2) {
        a0 = a1, a1 = a2, a2 = a3, a3 = x(k + 3);
        b0 = b1, b1 = b2, b2 = b3;
        b3 = x(k) - ((9 * (a1 + a2) - a0 - a3 + 8) >> 4);
        x(k) = int16_t(b3);
        x(k - 3) = int16_t(x(k - 3) + ((9 * (b1 + b2) - b0 - b3 + 16) >> 5));
    }
    for (; k < n; k += 2) {
        a1 = a2, a2 = a3;
        b0 = b1, b1 = b2, b2 = b3;
        b3 = x(k) - ((a1 + a2 + 1) >> 1);
        x(k) = int16_t(b3);
        x(k - 3) = int16_t(x(k - 3) + ((9 * (b1 + b2) - b0 - b3 + 16) >> 5));
    }
    // k is odd and at least 1 here, so k - 3 only goes below 0 for k = 1 (a single sample).
    for (; k < n + 3; k += 2) {
        b0 = b1, b1 = b2, b2 = b3, b3 = 0;
        if (k >= 3)
            x(k - 3) = int16_t(x(k - 3) + ((9 * (b1 + b2) - b0 - b3 + 16) >> 5));
    }
}

// Columns at scale s: m rows R[0..m-1] (plane rows 0, s, 2s, ...), w samples wide at step s.
void verticalPass(int16_t* p, uint32_t w, uint32_t m, uint32_t s, uint32_t rowsize)
{
    const size_t rowStep = size_t(rowsize) * s;
    const auto row = [p, rowStep](uint32_t i) { return p + rowStep * i; };
    for (uint32_t y = 1; y < m + 3; y += 2) {
        if (y < m) {
            int16_t* r = row(y);
            const int16_t* up = row(y - 1);
            if (y >= 3 && y + 3 < m) {
                const int16_t* dn = row(y + 1);
                const int16_t* up3 = row(y - 3);
                const int16_t* dn3 = row(y + 3);
                for (uint32_t x = 0; x < w; x += s)
                    r[x] = int16_t(r[x] - ((9 * (up[x] + dn[x]) - up3[x] - dn3[x] + 8) >> 4));
            } else {
                const int16_t* dn = y + 1 < m ? row(y + 1) : up;
                for (uint32_t x = 0; x < w; x += s)
                    r[x] = int16_t(r[x] - ((up[x] + dn[x] + 1) >> 1));
            }
        }
        if (y < 3)
            continue;
        int16_t* r = row(y - 3);
        const int16_t* up = row(y >= 4 ? y - 4 : 0); // only read for y >= 5
        const int16_t* u = y - 2 < m ? row(y - 2) : nullptr;
        const int16_t* v = y < m ? row(y) : nullptr;
        if (y >= 6 && y < m) {
            const int16_t* up6 = row(y - 6);
            for (uint32_t x = 0; x < w; x += s)
                r[x] = int16_t(r[x] + ((9 * (up[x] + u[x]) - up6[x] - v[x] + 16) >> 5));
            continue;
        }
        const int16_t* up6 = y >= 6 ? row(y - 6) : nullptr;
        for (uint32_t x = 0; x < w; x += s) {
            const int32_t uu = u ? u[x] : 0;
            const int32_t vv = v ? v[x] : 0;
            int32_t d;
            if (y >= 6)
                d = (9 * (up[x] + uu) - up6[x] - vv + 16) >> 5;
            else if (y == 5)
                d = (9 * (up[x] + uu) - vv + 16) >> 5;
            else
                d = (9 * uu - vv + 16) >> 5;
            r[x] = int16_t(r[x] + d);
        }
    }
}

} // namespace

void forwardTransform(int16_t* ioPlane, uint32_t inWidth, uint32_t inHeight, uint32_t inRowSize)
{
    for (uint32_t s = 1; s < 32; s <<= 1) {
        const uint32_t n = (inWidth - 1) / s + 1;
        const uint32_t m = (inHeight - 1) / s + 1;
        for (uint32_t y = 0; y < inHeight; y += s)
            horizontalPass(ioPlane + size_t(y) * inRowSize, n, s);
        verticalPass(ioPlane, inWidth, m, s, inRowSize);
    }
}

} // namespace IW44
} // namespace DjVu
} // namespace Morvenix
