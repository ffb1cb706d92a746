// Whether a shape or text record lies near the page once the playback's mapping and world transform have
// placed it. GDI's time to draw an ellipse, a polygon whose device coordinates leave the 32-bit range, or
// glyphs taller than the page, grows with their size on the device however much is clipped away; shapes
// kilometres off the page and glyphs many pages tall come only from damaged coordinates or transforms,
// and are not drawn.
#include "bp_emfrenderer.h"

#include "bp_emfrecord.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

namespace {

// A box in logical coordinates, grown point by point.
struct Box {
    double left = 0, top = 0, right = 0, bottom = 0;
    bool empty = true;
    void add(double inX, double inY)
    {
        if (empty) {
            left = right = inX;
            top = bottom = inY;
            empty = false;
            return;
        }
        left = std::min(left, inX);
        right = std::max(right, inX);
        top = std::min(top, inY);
        bottom = std::max(bottom, inY);
    }
};

void addRect(const EmfRecordView& inRecord, uint64_t inOffset, Box& ioBox)
{
    RECTL rect = {};
    if (inRecord.read(inOffset, rect)) {
        ioBox.add(rect.left, rect.top);
        ioBox.add(rect.right, rect.bottom);
    }
}

// inCount points of 8 bytes (or, short, 4) from inOffset.
void addPoints(const EmfRecordView& inRecord, uint64_t inOffset, uint64_t inCount, bool inShort, Box& ioBox)
{
    const uint64_t size = inShort ? 4 : 8;
    if (!inRecord.has(inOffset, inCount * size))
        return;
    for (uint64_t i = 0; i < inCount; ++i) {
        if (inShort) {
            int16_t point[2];
            inRecord.read(inOffset + size * i, point);
            ioBox.add(point[0], point[1]);
        } else {
            int32_t point[2];
            inRecord.read(inOffset + size * i, point);
            ioBox.add(point[0], point[1]);
        }
    }
}

// The logical box of the record's shape; empty for records without one.
Box shapeBox(uint32_t inType, const EmfRecordView& inRecord)
{
    Box box;
    uint32_t count = 0;
    switch (inType) {
    case EMR_ELLIPSE:
    case EMR_RECTANGLE:
    case EMR_ROUNDRECT:
    case EMR_ARC:
    case EMR_ARCTO:
    case EMR_CHORD:
    case EMR_PIE:
        addRect(inRecord, 8, box);
        break;
    case EMR_ANGLEARC: {
        int32_t centre[2] = {};
        uint32_t radius = 0;
        if (inRecord.read(8, centre) && inRecord.read(16, radius)) {
            box.add(double(centre[0]) - radius, double(centre[1]) - radius);
            box.add(double(centre[0]) + radius, double(centre[1]) + radius);
        }
        break;
    }
    case EMR_EXTTEXTOUTA:
    case EMR_EXTTEXTOUTW:
        addPoints(inRecord, 36, 1, false, box);
        break;
    case EMR_SMALLTEXTOUT_TYPE:
        addPoints(inRecord, 8, 1, false, box);
        break;
    case EMR_POLYTEXTOUTA:
    case EMR_POLYTEXTOUTW:
        // Each text of the record is 40 bytes; a count they do not fill is not walked.
        if (inRecord.read(36, count) && inRecord.has(40, 40 * uint64_t(count)))
            for (uint64_t i = 0; i < count; ++i)
                addPoints(inRecord, 40 + 40 * i, 1, false, box);
        break;
    case EMR_MOVETOEX:
    case EMR_LINETO: {
        int32_t point[2] = {};
        if (inRecord.read(8, point))
            box.add(point[0], point[1]);
        break;
    }
    case EMR_POLYBEZIER:
    case EMR_POLYGON:
    case EMR_POLYLINE:
    case EMR_POLYBEZIERTO:
    case EMR_POLYLINETO:
    case EMR_POLYDRAW:
    case EMR_POLYBEZIER16:
    case EMR_POLYGON16:
    case EMR_POLYLINE16:
    case EMR_POLYBEZIERTO16:
    case EMR_POLYLINETO16:
    case EMR_POLYDRAW16: {
        const bool isShort = inType >= EMR_POLYBEZIER16;
        if (inRecord.read(24, count))
            addPoints(inRecord, 28, count, isShort, box);
        break;
    }
    case EMR_POLYPOLYLINE:
    case EMR_POLYPOLYGON:
    case EMR_POLYPOLYLINE16:
    case EMR_POLYPOLYGON16: {
        uint32_t polygons = 0;
        if (inRecord.read(24, polygons) && inRecord.read(28, count))
            addPoints(inRecord, 32 + 4 * uint64_t(polygons), count,
                      inType == EMR_POLYPOLYLINE16 || inType == EMR_POLYPOLYGON16, box);
        break;
    }
    default:
        break;
    }
    return box;
}

bool isText(uint32_t inType)
{
    return inType == EMR_EXTTEXTOUTA || inType == EMR_EXTTEXTOUTW || inType == EMR_SMALLTEXTOUT_TYPE ||
           inType == EMR_POLYTEXTOUTA || inType == EMR_POLYTEXTOUTW;
}

} // namespace

bool EmfPageRenderer::IsNearThePage(uint32_t inType, const EmfRecordView& inRecord) const
{
    const Box box = shapeBox(inType, inRecord);
    if (box.empty || !m_dc || !m_image)
        return true;
    // Logical to device: the world transform, then the window-to-viewport mapping.
    XFORM world = {1, 0, 0, 1, 0, 0};
    GetWorldTransform(m_dc, &world);
    POINT windowOrigin = {}, viewportOrigin = {};
    SIZE windowExtent = {1, 1}, viewportExtent = {1, 1};
    GetWindowOrgEx(m_dc, &windowOrigin);
    GetViewportOrgEx(m_dc, &viewportOrigin);
    GetWindowExtEx(m_dc, &windowExtent);
    GetViewportExtEx(m_dc, &viewportExtent);
    if (windowExtent.cx == 0 || windowExtent.cy == 0)
        return true;
    const double scaleX = double(viewportExtent.cx) / windowExtent.cx;
    const double scaleY = double(viewportExtent.cy) / windowExtent.cy;
    const double side = std::max(m_image->GetWidth(), m_image->GetHeight());
    const double low = -8 * side, high = 9 * side;
    const auto device = [&](double inX, double inY, bool inVector) {
        const double shift = inVector ? 0 : 1;
        const double worldX = inX * world.eM11 + inY * world.eM21 + shift * world.eDx;
        const double worldY = inX * world.eM12 + inY * world.eM22 + shift * world.eDy;
        return std::make_pair((worldX - shift * windowOrigin.x) * scaleX + shift * viewportOrigin.x,
                              (worldY - shift * windowOrigin.y) * scaleY + shift * viewportOrigin.y);
    };
    const double corners[4][2] = {
        {box.left, box.top}, {box.right, box.top}, {box.left, box.bottom}, {box.right, box.bottom}};
    for (const auto& corner : corners) {
        const auto point = device(corner[0], corner[1], false);
        if (!(point.first >= low && point.first <= high && point.second >= low && point.second <= high))
            return false;
    }
    if (isText(inType)) {
        // The em of the current font, across and along the baseline, no taller than two pages.
        const double em = m_currentFont && m_currentFont->lfHeight ? std::fabs(double(m_currentFont->lfHeight)) : 16;
        for (const auto& vector : {device(0, em, true), device(em, 0, true)})
            if (!(std::hypot(vector.first, vector.second) <= 2 * side))
                return false;
    }
    return true;
}
