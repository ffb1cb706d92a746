// Helpers of the text layer tests: page information, zone trees, payload bytes, and an independent
// rotation of rectangles by their corner points.
#pragma once

#include "djv_text.h"
#include "mvx_exception.h"
#include "mvx_memstorage.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace TextTest {

using Morvenix::AutoPtr;
using Morvenix::Rect;
using Morvenix::String;
using Morvenix::DjVu::PageInfo;
using Morvenix::DjVu::TextZone;
typedef std::vector<unsigned char> Bytes;

// The INFO flags byte other DjVu software writes for each quarter turn (0, 90 ccw, 180, 90 cw).
inline uint32_t infoFlagsOf(int inRotation)
{
    static const uint32_t kFlags[4] = {1, 6, 2, 5};
    return kFlags[inRotation & 3];
}

inline PageInfo pageInfo(uint32_t inWidth, uint32_t inHeight, int inRotation, uint32_t inVersion = 25)
{
    return PageInfo{inWidth, inHeight, inVersion, 0, 300, 22, infoFlagsOf(inRotation)};
}

using MvxTest::expectThrow;

// A point of a page in orientation r (width W, height H of that orientation) seen after one more quarter
// turn: what was the left edge becomes the bottom edge.
inline void turnPoint(int64_t& x, int64_t& y, int64_t inWidthBefore)
{
    int64_t nx = y, ny = inWidthBefore - x;
    x = nx;
    y = ny;
}

// The rectangle of an orientation-0 page (top-left origin) as it lies after inTurns quarter turns: the
// bounding box of its turned corners.
inline Rect turnRect(const Rect& r, int inTurns, int64_t inPageWidth, int64_t inPageHeight)
{
    int64_t xs[4] = {r.x, r.x + r.width, r.x, r.x + r.width};
    int64_t ys[4] = {r.y, r.y, r.y + r.height, r.y + r.height};
    int64_t w = inPageWidth, h = inPageHeight;
    for (int t = 0; t < (inTurns & 3); ++t) {
        for (int i = 0; i < 4; ++i)
            turnPoint(xs[i], ys[i], w);
        std::swap(w, h);
    }
    int64_t x0 = *std::min_element(xs, xs + 4), x1 = *std::max_element(xs, xs + 4);
    int64_t y0 = *std::min_element(ys, ys + 4), y1 = *std::max_element(ys, ys + 4);
    return Rect{int32_t(x0), int32_t(y0), int32_t(x1 - x0), int32_t(y1 - y0)};
}

inline AutoPtr<TextZone> zone(int32_t inType, const Rect& r, const char* inText = "")
{
    return TextZone::create(String(inText), inType, r.x, r.y, r.width, r.height);
}

inline void add(const AutoPtr<TextZone>& ioParent, const AutoPtr<TextZone>& inChild)
{
    ioParent->children.append(inChild);
}

// A page of 400 x 300 in orientation 0: two lines, words, and characters in the first word.
struct Leaf {
    const char* text;
    Rect rect; // orientation 0, top-left origin
};

inline AutoPtr<TextZone> sampleTree(int inRotation, uint32_t inWidth = 400, uint32_t inHeight = 300)
{
    // Line 1: "He" as characters, then "llo", then "world"; line 2: "€uro" and "ok".
    AutoPtr<TextZone> page = TextZone::create(TextZone::zonePage);
    auto r = [&](int32_t x, int32_t y, int32_t w, int32_t h) { return turnRect(Rect{x, y, w, h}, inRotation, inWidth, inHeight); };
    AutoPtr<TextZone> line1 = TextZone::create(TextZone::zoneLine);
    AutoPtr<TextZone> w1 = TextZone::create(TextZone::zoneWord);
    add(w1, zone(TextZone::zoneCharacter, r(10, 20, 8, 12), "H"));
    add(w1, zone(TextZone::zoneCharacter, r(19, 21, 7, 11), "e"));
    add(line1, w1);
    add(line1, zone(TextZone::zoneWord, r(28, 18, 30, 14), "llo "));
    add(line1, zone(TextZone::zoneWord, r(70, 20, 50, 13), "world\n"));
    AutoPtr<TextZone> line2 = TextZone::create(TextZone::zoneLine);
    add(line2, zone(TextZone::zoneWord, r(12, 60, 40, 15), "\xE2\x82\xACuro "));
    add(line2, zone(TextZone::zoneWord, r(60, 62, 20, 12), "ok"));
    add(page, line1);
    add(page, line2);
    return page;
}

inline void collectLeaves(const TextZone& inZone, std::vector<const TextZone*>& out)
{
    if (inZone.children.count() == 0) {
        out.push_back(&inZone);
        return;
    }
    for (const AutoPtr<TextZone>& c : inZone.children)
        collectLeaves(*c, out);
}

// Compares shapes, types, leaf rectangles and leaf texts of two trees.
inline void expectSameTree(const TextZone& a, const TextZone& b)
{
    EXPECT_EQ(a.type, b.type);
    ASSERT_EQ(a.children.count(), b.children.count());
    if (a.children.count() == 0) {
        EXPECT_EQ(std::string(a.text.c_str()), std::string(b.text.c_str()));
        EXPECT_TRUE(a.rect == b.rect) << a.rect.x << "," << a.rect.y << "," << a.rect.width << ","
                                      << a.rect.height << " vs " << b.rect.x << "," << b.rect.y << ","
                                      << b.rect.width << "," << b.rect.height;
        return;
    }
    for (uint32_t i = 0; i < a.children.count(); ++i)
        expectSameTree(*a.children[i], *b.children[i]);
}

inline Bytes encodeToBytes(TextZone& inZone, const PageInfo& inInfo)
{
    AutoPtr<Morvenix::MemoryStorage> s = Morvenix::MemoryStorage::create();
    inZone.encode(*s, inInfo);
    Bytes out(size_t(s->getSize()));
    s->setPos(0);
    if (!out.empty())
        s->readBytes(&out[0], uint32_t(out.size()), true);
    return out;
}

inline AutoPtr<TextZone> decodeBytes(const Bytes& inBytes, const PageInfo& inInfo)
{
    AutoPtr<Morvenix::MemoryStorage> s =
        Morvenix::MemoryStorage::create(inBytes.data(), inBytes.size(), Morvenix::ByteOrder::asStored);
    return TextZone::decode(*s, inInfo);
}

} // namespace TextTest
