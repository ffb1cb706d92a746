#include "bp_textcapture.h"

#include <algorithm>
#include <climits>

using Morvenix::Rect;
using Morvenix::String;
using Morvenix::DjVu::TextZone;

int32_t ClampToInt32(int64_t inValue)
{
    return int32_t(std::min<int64_t>(std::max<int64_t>(inValue, INT32_MIN), INT32_MAX));
}

namespace {

// A rectangle as edges in 64 bits: growing or joining rectangles near the ends of the 32-bit range must
// not wrap round.
struct Edges {
    int64_t left, top, right, bottom;
};

Edges edgesOf(const Rect& inRect)
{
    return Edges{inRect.x, inRect.y, inRect.right(), inRect.bottom()};
}

Rect rectOf(const Edges& inEdges)
{
    const int32_t x = ClampToInt32(inEdges.left), y = ClampToInt32(inEdges.top);
    return Rect{x, y, ClampToInt32(inEdges.right - x), ClampToInt32(inEdges.bottom - y)};
}

Edges intersection(const Edges& inFirst, const Edges& inSecond)
{
    return Edges{std::max(inFirst.left, inSecond.left), std::max(inFirst.top, inSecond.top),
                 std::min(inFirst.right, inSecond.right), std::min(inFirst.bottom, inSecond.bottom)};
}

bool isNonEmpty(const Edges& inEdges)
{
    return inEdges.right - inEdges.left >= 1 && inEdges.bottom - inEdges.top >= 1;
}

} // namespace

RECTL BoundingBoxOfPoints(const POINT* inPoints, uint32_t inCount)
{
    if (!inCount)
        return RECTL{0, 0, 0, 0};
    int64_t left = inPoints[0].x, top = inPoints[0].y, right = left, bottom = top;
    for (uint32_t i = 1; i < inCount; ++i) {
        left = std::min<int64_t>(left, inPoints[i].x);
        right = std::max<int64_t>(right, inPoints[i].x);
        top = std::min<int64_t>(top, inPoints[i].y);
        bottom = std::max<int64_t>(bottom, inPoints[i].y);
    }
    // One past the largest, held at the end of the range rather than wrapping to the far side.
    return RECTL{LONG(left), LONG(top), LONG(ClampToInt32(right + 1)), LONG(ClampToInt32(bottom + 1))};
}

bool IsWordSeparator(uint32_t inUnit)
{
    return (inUnit >= 9 && inUnit <= 13) || inUnit == 32 || inUnit == 160 || (inUnit >= 0x2000 && inUnit <= 0x200B) ||
           inUnit == 0x3000;
}

void AppendWordSpace(TextZone* inZone, const String& inText)
{
    if (!inZone)
        return;
    TextZone* leaf = inZone;
    while (leaf->children.count())
        leaf = leaf->children[leaf->children.count() - 1].get();
    const uint32_t length = leaf->text.getLength();
    if (!length)
        return;
    // Only an ASCII separator ends the text: the last byte of a longer UTF-8 sequence is never one.
    const uint8_t last = uint8_t(leaf->text[length - 1]);
    if (last < 0x80 && IsWordSeparator(last))
        return;
    leaf->text += inText;
}

namespace {

TextZone* firstLeaf(TextZone* inZone)
{
    while (inZone->children.count())
        inZone = inZone->children[0].get();
    return inZone;
}

} // namespace

TextZone* FinishZoneGeometry(TextZone* inZone)
{
    const uint32_t count = inZone->children.count();
    if (!count)
        return inZone;
    TextZone* lastLeaf = FinishZoneGeometry(inZone->children[0].get());
    Edges box = edgesOf(inZone->children[0]->rect);
    for (uint32_t k = 1; k < count; ++k) {
        TextZone* child = inZone->children[k].get();
        TextZone* leaf = FinishZoneGeometry(child);
        const Edges edges = edgesOf(child->rect);
        box = Edges{std::min(box.left, edges.left), std::min(box.top, edges.top), std::max(box.right, edges.right),
                    std::max(box.bottom, edges.bottom)};
        // Neighbours are spaced as characters are: by the gap between the last character before and the
        // first after, so that runs split before punctuation or inside a word join up.
        if (!RectsTouch(lastLeaf->rect, firstLeaf(child)->rect))
            AppendWordSpace(lastLeaf, " ");
        lastLeaf = leaf;
    }
    inZone->rect = rectOf(box);
    return lastLeaf;
}

bool RectsTouch(const Rect& inFirst, const Rect& inSecond)
{
    auto grown = [](const Rect& inRect) {
        const Edges e = edgesOf(inRect);
        return Edges{e.left - 2, e.top - 2, e.right + 2, e.bottom + 2};
    };
    return isNonEmpty(intersection(grown(inFirst), grown(inSecond)));
}

bool IntersectRects(Rect* outRect, const Rect& inFirst, const Rect& inSecond)
{
    const Edges common = intersection(edgesOf(inFirst), edgesOf(inSecond));
    if (outRect)
        *outRect = rectOf(common);
    return isNonEmpty(common);
}
