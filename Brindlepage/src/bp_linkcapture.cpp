// The host's own comment records: hyperlinks become map areas of the page annotation, document-structure
// nodes go to the exporter's structure trace.
#include "bp_emfrecord.h"
#include "bp_emfrenderer.h"
#include "bp_exporter.h"
#include "bp_textcapture.h"

#include "djv_mapareas.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

using Morvenix::AutoPtr;
using Morvenix::Rect;
using Morvenix::String;

namespace {

// Comment sub-types.
enum : uint32_t {
    kLinkToUrl = 0x201,
    kLinkToPage = 0x202,
    kStructureNode = 0x209,
    kStructureEnd = 0x20A,
    kLinkToUrlInPoints = 0x210,
    kLinkToPageInPoints = 0x211,
};

// Offsets in the comment data (record offset 12).
enum : uint32_t {
    kSignature = 0,
    kSubType = 4,
    kLinkRect = 8,
    kLinkTarget = 24,
};

// The structure node as this add-in reads it (the host does not publish the layout): parent id, sort
// order, node id, node type, heading level, has-text flag (non-zero when set), the alternative text's
// length in UTF-16 units and the text itself, all 32-bit little-endian.
enum : uint32_t {
    kNodeParent = 8,
    kNodeSortOrder = 12,
    kNodeId = 16,
    kNodeType = 20,
    kNodeLevel = 24,
    kNodeHasText = 28,
    kNodeAltTextLength = 32,
    kNodeAltText = 36,
};

// Logical coordinates from a length in points at the metafile's device resolution, rounded half up; values
// that are no number or lie beyond the 32-bit range are held at its ends.
LONG pointsToUnits(double inPoints, double inDpi)
{
    const double value = std::trunc(inPoints * inDpi / 72.0 + 0.5);
    if (std::isnan(value))
        return 0;
    return LONG(std::max<double>(INT32_MIN, std::min<double>(INT32_MAX, value)));
}

// UTF-16 text from inOffset up to a NUL, never past the comment's data.
String textAt(const EmfRecordView& inComment, uint32_t inOffset, uint32_t inMaxUnits)
{
    if (inOffset > inComment.size())
        return String();
    const uint32_t available = std::min<uint32_t>((inComment.size() - inOffset) / 2, inMaxUnits);
    std::vector<wchar_t> units;
    units.reserve(available);
    for (uint32_t i = 0; i < available; ++i) {
        uint16_t unit = 0;
        inComment.read(inOffset + uint64_t(i) * 2, unit);
        if (!unit)
            break;
        units.push_back(wchar_t(unit));
    }
    return units.empty() ? String() : String(units.data(), int32_t(units.size()));
}

} // namespace

void EmfPageRenderer::ReadHostComment(const uint8_t* inRecord, uint32_t inRecordSize)
{
    const EmfRecordView record(inRecord, inRecordSize);
    uint32_t dataSize = 0;
    if (!record.read(8, dataSize) || dataSize <= 8)
        return;
    const uint8_t* data = record.at(12, dataSize);
    if (!data)
        return;
    const EmfRecordView comment(data, dataSize);
    uint32_t signature = 0, subType = 0;
    comment.read(kSignature, signature);
    comment.read(kSubType, subType);
    if (signature != HOST_COMMENT_SIGNATURE)
        return;

    switch (subType) {
    case kLinkToUrl:
    case kLinkToUrlInPoints:
        if (m_annotation && comment.has(0, kLinkTarget))
            AddLinkArea(LinkRectFromComment(data, dataSize), textAt(comment, kLinkTarget, UINT32_MAX));
        break;
    case kLinkToPage:
    case kLinkToPageInPoints: {
        uint32_t pageIndex = 0;
        // The last index has no page number in 32 bits; no document has that many pages.
        if (m_annotation && comment.read(kLinkTarget, pageIndex) &&
            pageIndex != UINT32_MAX)
            AddLinkArea(LinkRectFromComment(data, dataSize), FormatPageLink(pageIndex + 1));
        break;
    }
    case kStructureNode: {
        StructureNodeTrace node;
        if (ReadStructureNode(data, dataSize, node))
            CDjVuExporter::DumpStructureNode(*this, node);
        break;
    }
    case kStructureEnd:
        TraceStructureEnd();
        break;
    default:
        break;
    }
}

bool EmfPageRenderer::ReadStructureNode(const uint8_t* inComment, uint32_t inSize, StructureNodeTrace& outNode)
{
    const EmfRecordView comment(inComment, inSize);
    if (!comment.has(0, kNodeAltText))
        return false;
    outNode.parentId = comment.valueAt<int32_t>(kNodeParent);
    outNode.sortOrder = comment.valueAt<int32_t>(kNodeSortOrder);
    outNode.id = comment.valueAt<int32_t>(kNodeId);
    outNode.type = comment.valueAt<int32_t>(kNodeType);
    outNode.level = comment.valueAt<int32_t>(kNodeLevel);
    outNode.hasText = comment.valueAt<int32_t>(kNodeHasText) != 0;
    outNode.altText = textAt(comment, kNodeAltText, uint32_t(comment.valueAt<int32_t>(kNodeAltTextLength)));
    return true;
}

Rect EmfPageRenderer::LinkRectFromComment(const uint8_t* inComment, uint32_t inSize) const
{
    const EmfRecordView comment(inComment, inSize);
    uint32_t subType = 0;
    if (!comment.has(0, kLinkTarget) || !comment.read(kSubType, subType))
        return Rect{0, 0, 0, 0};
    POINT corners[2];
    if (subType == kLinkToUrlInPoints || subType == kLinkToPageInPoints) {
        const double x = comment.valueAt<float>(kLinkRect), y = comment.valueAt<float>(kLinkRect + 4);
        const double width = comment.valueAt<float>(kLinkRect + 8), height = comment.valueAt<float>(kLinkRect + 12);
        const double dpiX = m_header.DpiX, dpiY = m_header.DpiY;
        corners[0] = POINT{pointsToUnits(x, dpiX), pointsToUnits(y, dpiY)};
        corners[1] = POINT{pointsToUnits(x + width, dpiX), pointsToUnits(y + height, dpiY)};
    } else {
        corners[0] = POINT{comment.valueAt<int32_t>(kLinkRect), comment.valueAt<int32_t>(kLinkRect + 4)};
        corners[1] = POINT{comment.valueAt<int32_t>(kLinkRect + 8), comment.valueAt<int32_t>(kLinkRect + 12)};
    }
    LPtoDP(m_dc, corners, 2);
    const int64_t left = std::min(corners[0].x, corners[1].x), right = std::max(corners[0].x, corners[1].x);
    const int64_t top = std::min(corners[0].y, corners[1].y), bottom = std::max(corners[0].y, corners[1].y);
    return Rect{int32_t(left), int32_t(top), ClampToInt32(right - left), ClampToInt32(bottom - top)};
}

void EmfPageRenderer::AddLinkArea(const Rect& inRect, const String& inUrl)
{
    if (!m_annotation)
        return;
    AutoPtr<Morvenix::DjVu::MapRect> area = Morvenix::DjVu::MapRect::create();
    area->rect = inRect;
    area->hiliteColor = Morvenix::DjVu::colorUnspecified;
    area->opacity = 0;
    area->url = inUrl;
    area->borderType = Morvenix::DjVu::MapArea::borderXor;
    m_annotation->mapAreas.append(AutoPtr<Morvenix::DjVu::MapArea>(area));
}

String EmfPageRenderer::FormatPageLink(uint32_t inPageNumber)
{
    return String::format("#%u", inPageNumber);
}
