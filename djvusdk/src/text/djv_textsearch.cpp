// Text search: a mirror of the zone tree with each zone's byte span in the page text, and the walk that
// picks the zones carrying a range.
#include "djv_textsearch.h"

#include "mvx_exception.h"

#include <algorithm>
#include <cstdint>

#define MVX_SOURCE "djv_textsearch"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;

// A zone with the span [start, start + length) of the page text it carries. Spans are 64-bit: the sum of
// a large tree's texts is not allowed to wrap into a small offset.
class TextZoneForSearch : public ReferableNoTS {
public:
    TextZoneForSearch(TextZone& inZone, uint64_t inStart)
        : zone(&inZone), start(inStart), length(0), children(0, 0, nullptr, 128)
    {
    }

    AutoPtr<TextZone> zone;
    uint64_t start;
    uint64_t length;
    SimpleArray<AutoPtr<TextZoneForSearch>, 1> children;
};

namespace {

// A zone with text of its own is a leaf of the search tree, whatever children it has.
AutoPtr<TextZoneForSearch> buildNode(TextZone& inZone, uint64_t inStart, uint32_t inDepth)
{
    if (inDepth > TextZone::maxDepth)
        MVX_THROW(errInvalidParam, "The zone tree is nested too deeply!", "Morvenix::DjVu::TextSearcher::create");
    AutoPtr<TextZoneForSearch> node(new TextZoneForSearch(inZone, inStart));
    if (!inZone.text.isEmpty()) {
        node->length = inZone.text.getLength();
        return node;
    }
    uint64_t next = inStart;
    for (const AutoPtr<TextZone>& child : inZone.children) {
        if (!child)
            continue;
        AutoPtr<TextZoneForSearch> childNode = buildNode(*child, next, inDepth + 1);
        next += childNode->length;
        node->children.append(childNode);
    }
    node->length = next - inStart;
    return node;
}

// The rectangle a taken zone contributes: its own, or its children's when it has none of its own.
Rect rectOf(const TextZone& inZone)
{
    const Rect& r = inZone.rect;
    if (r.width == 0 && r.height == 0 && r.x == 0 && r.y == 0 && inZone.children.count() != 0)
        return inZone.getBoundingRect();
    return r;
}

class RangeWalk {
public:
    RangeWalk(uint64_t inOffset, uint64_t inEnd, TextSearchResult& outResult)
        : m_offset(inOffset), m_end(inEnd), m_result(outResult), m_first(nullptr), m_last(nullptr)
    {
    }

    // A zone without text carries no byte of any range: taking it would only drag its rectangle (often
    // unset, at the page origin) into the bounding rectangle.
    void walk(const TextZoneForSearch& inNode)
    {
        uint64_t nodeEnd = inNode.start + inNode.length;
        if (inNode.length == 0 || !(inNode.start < m_end && m_offset < nodeEnd))
            return;
        if (inNode.children.count() == 0 || (m_offset <= inNode.start && nodeEnd <= m_end)) {
            take(inNode);
            return;
        }
        for (const AutoPtr<TextZoneForSearch>& child : inNode.children)
            walk(*child);
    }

    bool finish()
    {
        if (!m_first)
            return false;
        m_result.firstOffset = uint32_t(m_offset - m_first->start);
        uint64_t lastEnd = m_last->start + m_last->length;
        m_result.lastEnd = uint32_t(lastEnd < m_end ? m_last->length : m_end - m_last->start);
        m_result.boundingRect = Rect{int32_t(m_left), int32_t(m_top), int32_t(m_right - m_left),
                                     int32_t(m_bottom - m_top)};
        return true;
    }

private:
    void take(const TextZoneForSearch& inNode)
    {
        m_result.zones.append(inNode.zone);
        Rect r = rectOf(*inNode.zone);
        if (!m_first) {
            m_first = &inNode;
            m_left = r.x;
            m_top = r.y;
            m_right = r.right();
            m_bottom = r.bottom();
        } else {
            m_left = std::min<int64_t>(m_left, r.x);
            m_top = std::min<int64_t>(m_top, r.y);
            m_right = std::max(m_right, r.right());
            m_bottom = std::max(m_bottom, r.bottom());
        }
        m_last = &inNode;
    }

    uint64_t m_offset;
    uint64_t m_end;
    TextSearchResult& m_result;
    const TextZoneForSearch* m_first;
    const TextZoneForSearch* m_last;
    int64_t m_left = 0, m_top = 0, m_right = 0, m_bottom = 0;
};

} // namespace

class TextSearcherImpl : public TextSearcher {
public:
    explicit TextSearcherImpl(TextZone& inZone) : m_root(buildNode(inZone, 0, 0)), m_text(inZone.getText()) {}

    String getText() const override { return m_text; }

    bool search(uint32_t inOffset, uint32_t inLength, TextSearchResult& outResult) override
    {
        outResult.zones.resize(0, 0);
        RangeWalk walk(inOffset, uint64_t(inOffset) + inLength, outResult);
        walk.walk(*m_root);
        return walk.finish();
    }

private:
    AutoPtr<TextZoneForSearch> m_root;
    String m_text;
};

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {

AutoPtr<TextSearcher> TextSearcher::create(TextZone& inZone)
{
    return AutoPtr<TextSearcher>(new _Mvx_Internal_NS_::TextSearcherImpl(inZone));
}

AutoPtr<TextSearcher> TextZone::createSearcher()
{
    return TextSearcher::create(*this);
}

} // namespace DjVu
} // namespace Morvenix
