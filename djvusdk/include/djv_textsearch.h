// Text search over a hidden-text zone tree: the zones that carry a byte range of the page text, and the
// rectangle they cover. Finding the range is the caller's business (in the text getText returns).
#pragma once

#include "djv_text.h"
#include "mvx_geometry.h"
#include "mvx_referable.h"
#include "mvx_simplearray.h"
#include "mvx_string.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {

struct TextSearchResult {
    TextSearchResult() : firstOffset(0), lastEnd(0), zones(0, 0, nullptr, 16), boundingRect{0, 0, 0, 0} {}

    // Where the range begins inside the first zone's text, in bytes.
    uint32_t firstOffset;
    // Where the range ends inside the last zone's text, counted from that zone's start.
    uint32_t lastEnd;
    // The zones that carry the range, in text order. A zone that lies wholly inside the range stands for
    // its descendants; a zone without text carries nothing and is never taken.
    TextZone::Children zones;
    // The union of the zones' rectangles (a zone without a rectangle of its own counts with its children's).
    Rect boundingRect;
};

class TextSearcher : public Referable {
public:
    ~TextSearcher() override {}

    // The page text the offsets refer to: the zone tree's text as it was when the searcher was made.
    virtual String getText() const = 0;
    // Fills the result with the zones that carry [offset, offset + length) of the page text and returns
    // true; false when no zone does (the result then has no zones and its other fields are unchanged).
    // A length of 0 finds the zone whose text strictly surrounds the offset.
    virtual bool search(uint32_t inOffset, uint32_t inLength, TextSearchResult& outResult) = 0;

    // The searcher of the tree below the zone; the tree's offsets and lengths are fixed now, while the
    // zones themselves are referenced, not copied.
    static AutoPtr<TextSearcher> create(TextZone& inZone);

protected:
    TextSearcher() {}
};

} // namespace DjVu
} // namespace Morvenix
