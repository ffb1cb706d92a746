// Geometry and spacing helpers of the hidden-text capture: boxes of points, word separators, the spaces
// appended between words and lines, and the pass that gives words, lines and the page their rectangles.
#pragma once

#include "djv_text.h"
#include "mvx_geometry.h"
#include "mvx_string.h"

#include <windows.h>

#include <cstdint>

// The nearest value a 32-bit coordinate holds.
int32_t ClampToInt32(int64_t inValue);
// left, top: smallest x and y; right, bottom: one past the largest.
RECTL BoundingBoxOfPoints(const POINT* inPoints, uint32_t inCount);
bool IsWordSeparator(uint32_t inUnit);
void AppendWordSpace(Morvenix::DjVu::TextZone* inZone, const Morvenix::String& inText);
// Sets every zone's rectangle from its children and spaces apart neighbouring children whose facing
// leaves (the last character of one, the first of the next) do not touch; returns the last leaf of the
// subtree.
Morvenix::DjVu::TextZone* FinishZoneGeometry(Morvenix::DjVu::TextZone* inZone);
bool RectsTouch(const Morvenix::Rect& inFirst, const Morvenix::Rect& inSecond);
bool IntersectRects(Morvenix::Rect* outRect, const Morvenix::Rect& inFirst, const Morvenix::Rect& inSecond);
