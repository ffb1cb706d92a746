#include "bp_runplacement.h"

#include "bp_textcapture.h"

#include <algorithm>
#include <cmath>

namespace {

// tenths of a degree to radians, as the host's text angles are given
const double kEscapementToRadians = 0.0017453277777777778;

// To the nearest unit: the angle's sine and cosine are never quite 0 or 1 away from 0 degrees, and
// truncating would cut a whole unit off turned boxes. Damaged advances can add up far beyond any page;
// the value is held well inside what int64_t and a double share.
int64_t rounded(double inValue)
{
    const double limit = 4.0e18;
    return int64_t(std::floor(std::max(-limit, std::min(limit, inValue)) + 0.5));
}

} // namespace

RunPlacement PlaceRun(POINT inReference, uint32_t inAlign, int64_t inSpan, int32_t inAscent, int32_t inDescent,
                      const LOGFONTW* inFont, bool inYUp)
{
    RunPlacement placement{inReference, 0, 0, inAscent, inDescent, 1.0, 0.0, inYUp};
    switch (inAlign & (TA_TOP | TA_BOTTOM | TA_BASELINE)) {
    case TA_TOP:
        placement.acrossShift = inAscent;
        break;
    case TA_BOTTOM:
        placement.acrossShift = -int64_t(inDescent);
        break;
    default:
        break;
    }
    switch (inAlign & (TA_LEFT | TA_RIGHT | TA_CENTER)) {
    case TA_RIGHT:
        placement.alongShift = -inSpan;
        break;
    case TA_CENTER:
        placement.alongShift = -(inSpan / 2);
        break;
    default:
        break;
    }
    if (inFont && inFont->lfEscapement) {
        const double angle = inFont->lfEscapement * kEscapementToRadians;
        placement.cosine = std::cos(angle);
        placement.sine = std::sin(angle);
    }
    return placement;
}

// Offsets are taken as on the page, y downward (the angle turns counter-clockwise there); a mapping whose
// y grows upward turns the vertical offsets round, so the box does not come out mirrored at the baseline.
void CellBox(const RunPlacement& inPlacement, int64_t inBefore, int64_t inAfter, POINT outBox[2])
{
    const int64_t along[2] = {inBefore + inPlacement.alongShift, inAfter + inPlacement.alongShift};
    const int64_t across[2] = {inPlacement.acrossShift - inPlacement.ascent,
                               inPlacement.acrossShift + inPlacement.descent};
    const double c = inPlacement.cosine, s = inPlacement.sine;
    POINT corners[4];
    for (int k = 0; k < 4; ++k) {
        const double u = double(along[k == 1 || k == 2]), v = double(across[k >= 2]);
        const int64_t dx = rounded(u * c + v * s), dy = rounded(v * c - u * s);
        corners[k].x = ClampToInt32(inPlacement.reference.x + dx);
        corners[k].y = ClampToInt32(inPlacement.reference.y + (inPlacement.yUp ? -dy : dy));
    }
    const RECTL box = BoundingBoxOfPoints(corners, 4);
    outBox[0] = POINT{box.left, box.top};
    outBox[1] = POINT{box.right, box.bottom};
}

bool MapsYUpward(HDC inDC)
{
    POINT probe[2] = {{0, 0}, {0, 1024}};
    return LPtoDP(inDC, probe, 2) && probe[1].y < probe[0].y;
}
