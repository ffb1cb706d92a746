// Where the glyph cells of a text run lie, in logical units: the reference point, the shift along the
// baseline that right or centre alignment asks for, the baseline's offset across it, the font's ascent,
// descent and angle.
#pragma once

#include <windows.h>

#include <cstdint>

struct RunPlacement {
    POINT reference;
    int64_t alongShift;
    int64_t acrossShift;
    int32_t ascent;
    int32_t descent;
    double cosine;
    double sine;
    bool yUp;
};

// inAlign is the device context's text alignment, inSpan the run's length along the baseline, inFont the
// font it is drawn with (its escapement turns the run) or none; inYUp: the mapping's y grows upward on the
// page, so what lies above the baseline has the larger logical y.
RunPlacement PlaceRun(POINT inReference, uint32_t inAlign, int64_t inSpan, int32_t inAscent, int32_t inDescent,
                      const LOGFONTW* inFont, bool inYUp);
// The box of the glyph cell from inBefore to inAfter along the baseline, as two points (left, top) and
// (right, bottom) in logical units, right and bottom one past the cell.
void CellBox(const RunPlacement& inPlacement, int64_t inBefore, int64_t inAfter, POINT outBox[2]);
// Whether the device context's y axis runs up the page.
bool MapsYUpward(HDC inDC);
