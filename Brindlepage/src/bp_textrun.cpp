#include "bp_emfrenderer.h"

// Not captured yet: text records add no zones.
void EmfPageRenderer::CaptureTextRecord(uint32_t, const uint8_t*, uint32_t) {}
void EmfPageRenderer::CaptureTextRun(HDC, const Morvenix::String&, POINT, const RECTL*, const int32_t*) {}
void EmfPageRenderer::ComputeCharBox(POINT inReference, const RECTL*, const int32_t*, int32_t, int32_t, uint32_t,
                                     POINT outBox[2]) const
{
    outBox[0] = outBox[1] = inReference;
}
