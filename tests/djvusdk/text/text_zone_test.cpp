// The zone tree, its orientation and the TXT payload written and read back.
#include "djv_chunk.h"
#include "djv_data.h"
#include "djv_text.h"

#include "text_test_support.h"

#include <gtest/gtest.h>

using namespace TextTest;
using Morvenix::DjVu::Chunk;
using Morvenix::DjVu::Data;

namespace {

// One zone record as the format lays it out.
void record(Bytes& out, int type, int dx, int dy, int w, int h, uint32_t len, uint32_t count, int startDelta = 0)
{
    auto p16 = [&](int v) {
        uint32_t u = uint32_t(v + 0x8000);
        out.push_back(uint8_t(u >> 8));
        out.push_back(uint8_t(u));
    };
    out.push_back(uint8_t(type));
    p16(dx);
    p16(dy);
    p16(w);
    p16(h);
    p16(startDelta);
    out.push_back(uint8_t(len >> 16));
    out.push_back(uint8_t(len >> 8));
    out.push_back(uint8_t(len));
    out.push_back(uint8_t(count >> 16));
    out.push_back(uint8_t(count >> 8));
    out.push_back(uint8_t(count));
}

std::string str(const String& s) { return std::string(s.c_str(), s.getLength()); }

TEST(TextZone, WritesRecordsRelativeToParentAndSiblings)
{
    // Page 100 x 50. Line 1: words "ab" (10,5,20,10) and "c" (40,6,10,9); line 2: word "d" (12,30,10,8).
    AutoPtr<TextZone> page = TextZone::create(TextZone::zonePage);
    AutoPtr<TextZone> line1 = TextZone::create(TextZone::zoneLine);
    add(line1, zone(TextZone::zoneWord, Rect{10, 5, 20, 10}, "ab"));
    add(line1, zone(TextZone::zoneWord, Rect{40, 6, 10, 9}, "c"));
    AutoPtr<TextZone> line2 = TextZone::create(TextZone::zoneLine);
    add(line2, zone(TextZone::zoneWord, Rect{12, 30, 10, 8}, "d"));
    add(page, line1);
    add(page, line2);

    Bytes expected = {0, 0, 4, 'a', 'b', 'c', 'd', 1};
    record(expected, 1, 10, 12, 40, 33, 4, 2); // root: absolute, bottom-left origin
    record(expected, 5, 0, 0, 40, 10, 3, 2);   // first child: from the parent's top-left corner
    record(expected, 6, 0, 0, 20, 10, 2, 0);
    record(expected, 6, 10, 0, 10, 9, 1, 0);   // a word: from the previous sibling's right edge
    record(expected, 5, 2, 15, 10, 8, 1, 1);   // a line: from the previous line's lower-left corner
    record(expected, 6, 0, 0, 10, 8, 1, 0);
    EXPECT_EQ(expected, encodeToBytes(*page, pageInfo(100, 50, 0)));

    AutoPtr<TextZone> back = decodeBytes(expected, pageInfo(100, 50, 0));
    expectSameTree(*page, *back);
    EXPECT_EQ("abcd", str(back->getText()));
    EXPECT_TRUE(back->getBoundingRect() == (Rect{10, 5, 40, 33}));
    EXPECT_TRUE(back->rect == (Rect{10, 5, 40, 33})) << "decoded inner zones keep the stored rectangle";
}

TEST(TextZone, RoundTripsInEveryOrientation)
{
    const Bytes unrotated = encodeToBytes(*sampleTree(0), pageInfo(400, 300, 0));
    for (int r = 0; r < 4; ++r) {
        SCOPED_TRACE(r);
        AutoPtr<TextZone> tree = sampleTree(r);
        const PageInfo info = pageInfo(400, 300, r);
        const Bytes bytes = encodeToBytes(*tree, info);
        // The file holds the unrotated page whatever the orientation.
        EXPECT_EQ(unrotated, bytes);
        AutoPtr<TextZone> back = decodeBytes(bytes, info);
        expectSameTree(*tree, *back);
        EXPECT_EQ(r, back->getRotation());
        EXPECT_EQ("Hello world\n\xE2\x82\xACuro ok", str(back->getText()));
        EXPECT_TRUE(tree->getBoundingRect() == back->getBoundingRect());

        // Read as an unrotated page, the rectangles are those of orientation 0.
        AutoPtr<TextZone> flat = decodeBytes(bytes, pageInfo(400, 300, 0));
        expectSameTree(*sampleTree(0), *flat);
    }
}

TEST(TextZone, OldPagesHaveNoOrientation)
{
    const PageInfo old = pageInfo(400, 300, 1, 21);
    const Bytes bytes = encodeToBytes(*sampleTree(0), old);
    EXPECT_EQ(encodeToBytes(*sampleTree(0), pageInfo(400, 300, 0)), bytes);
    AutoPtr<TextZone> back = decodeBytes(bytes, old);
    EXPECT_EQ(0, back->getRotation());
    expectSameTree(*sampleTree(0), *back);
}

TEST(TextZone, EmptyTextIsWrittenAsOneSpace)
{
    AutoPtr<TextZone> page = TextZone::create(TextZone::zonePage);
    AutoPtr<TextZone> line = TextZone::create(TextZone::zoneLine);
    add(line, zone(TextZone::zoneWord, Rect{1, 2, 3, 4}));
    add(line, zone(TextZone::zoneWord, Rect{5, 2, 3, 4}));
    add(page, line);
    const Bytes bytes = encodeToBytes(*page, pageInfo(10, 10, 0));
    ASSERT_GE(bytes.size(), 5u);
    EXPECT_EQ((Bytes{0, 0, 1, ' ', 1}), Bytes(bytes.begin(), bytes.begin() + 5));
    EXPECT_EQ(5u + 4 * 17, bytes.size());
    AutoPtr<TextZone> back = decodeBytes(bytes, pageInfo(10, 10, 0));
    expectSameTree(*page, *back);
    EXPECT_TRUE(back->getText().isEmpty());

    // A lone root with no text at all.
    AutoPtr<TextZone> lone = TextZone::create(TextZone::zonePage);
    AutoPtr<TextZone> loneBack = decodeBytes(encodeToBytes(*lone, pageInfo(10, 10, 0)), pageInfo(10, 10, 0));
    EXPECT_EQ(0u, loneBack->children.count());
    EXPECT_TRUE(loneBack->getText().isEmpty());
}

TEST(TextZone, ChildrenWinOverOwnText)
{
    AutoPtr<TextZone> line = zone(TextZone::zoneLine, Rect{0, 0, 500, 500}, "ignored");
    add(line, zone(TextZone::zoneWord, Rect{1, 1, 2, 2}, "x"));
    add(line, zone(TextZone::zoneWord, Rect{4, 0, 2, 5}, "y"));
    EXPECT_EQ("xy", str(line->getText()));
    EXPECT_TRUE(line->getBoundingRect() == (Rect{1, 0, 5, 5}));
    AutoPtr<TextZone> page = TextZone::create(TextZone::zonePage);
    add(page, line);
    const Bytes bytes = encodeToBytes(*page, pageInfo(20, 20, 0));
    EXPECT_EQ((Bytes{0, 0, 2, 'x', 'y', 1}), Bytes(bytes.begin(), bytes.begin() + 6));
}

TEST(TextZone, BoundingRectOfAList)
{
    TextZone::Children list;
    EXPECT_TRUE(Morvenix::DjVu::getBoundingRect(list) == (Rect{0, 0, 0, 0}));
    list.append(zone(TextZone::zoneWord, Rect{10, 20, 5, 5}));
    list.append(zone(TextZone::zoneWord, Rect{-3, 22, 4, 10}));
    EXPECT_TRUE(Morvenix::DjVu::getBoundingRect(list) == (Rect{-3, 20, 18, 12}));
}

TEST(TextZone, SetRotationTurnsTheTreeAndRecordsIt)
{
    for (uint32_t version : {25u, 21u}) {
        SCOPED_TRACE(version);
        AutoPtr<TextZone> root = TextZone::create(pageInfo(400, 300, 0, version));
        EXPECT_EQ(TextZone::zonePage, root->type);
        AutoPtr<TextZone> sample = sampleTree(0);
        for (const AutoPtr<TextZone>& c : sample->children)
            add(root, c);
        EXPECT_EQ(0, root->getRotation());
        for (int r : {1, 3, 2, 0, 5}) {
            root->setRotation(r);
            EXPECT_EQ(r & 3, root->getRotation());
            expectSameTree(*sampleTree(r & 3), *root);
        }
    }
    // Without page information there is nothing to turn with.
    expectThrow([] { sampleTree(0)->setRotation(1); }, Morvenix::errInvalidParam, "page information");
}

TEST(TextZone, ChunksAreSnapshots)
{
    AutoPtr<TextZone> tree = sampleTree(2);
    const PageInfo info = pageInfo(400, 300, 2);
    AutoPtr<Chunk> a = tree->makeTXTa(info);
    AutoPtr<Chunk> z = tree->makeTXTz(info);
    EXPECT_EQ("TXTa", str(a->getId()));
    EXPECT_EQ("TXTz", str(z->getId()));
    AutoPtr<Data> data = a->getData();
    EXPECT_EQ(encodeToBytes(*tree, info), Bytes(data->getBuffer(), data->getBuffer() + data->getSize()));
    EXPECT_LT(z->getData()->getSize(), data->getSize() + 64);

    tree->children[0]->children[1]->text = "changed";
    for (const AutoPtr<Chunk>& c : {a, z}) {
        AutoPtr<TextZone> back = TextZone::decode(*c, info);
        expectSameTree(*sampleTree(2), *back);
        EXPECT_EQ(2, back->getRotation());
    }
    expectThrow([&] { TextZone::decode(*Chunk::createFromBytes("ANTa", "x", 1), info); },
                Morvenix::errInvalidParam, "The input is not TXT* chunk!");
    expectThrow([&] { TextZone::decode(*Chunk::create("TXTa"), info); }, Morvenix::errInvalidParam);
}

// Values that do not fit their fields are refused, and nothing is written.
TEST(TextZone, WriterRefusesWhatTheFormatCannotHold)
{
    const PageInfo big = pageInfo(60000, 60000, 0);
    struct Case {
        const char* name;
        Rect rect;
        bool fits;
    };
    // Page height 60000: the file y of a zone is 60000 - y - height.
    const Case cases[] = {
        {"width 32767", Rect{0, 60000 - 10, 32767, 10}, true},
        {"width 32768", Rect{0, 60000 - 10, 32768, 10}, false},
        {"height 32767", Rect{0, 60000 - 32767, 5, 32767}, true},
        {"height 32768", Rect{0, 60000 - 32768, 5, 32768}, false},
        {"x 32767", Rect{32767, 60000 - 10, 5, 10}, true},
        {"x 32768", Rect{32768, 60000 - 10, 5, 10}, false},
        {"x -32768", Rect{-32768, 60000 - 10, 5, 10}, true},
        {"x -32769", Rect{-32769, 60000 - 10, 5, 10}, false},
        {"file y 32768", Rect{0, 60000 - 32768 - 10, 5, 10}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The root is written with absolute values, so a lone word under it carries them.
        AutoPtr<TextZone> page = TextZone::create(TextZone::zonePage);
        add(page, zone(TextZone::zoneWord, c.rect, "w"));
        AutoPtr<Morvenix::MemoryStorage> s = Morvenix::MemoryStorage::create();
        if (c.fits) {
            page->encode(*s, big);
            expectSameTree(*page, *decodeBytes(encodeToBytes(*page, big), big));
        } else {
            expectThrow([&] { page->encode(*s, big); }, Morvenix::errInvalidParam, "does not fit");
            EXPECT_EQ(0u, s->getSize());
        }
    }

    // Relative offsets between siblings are limited as well, not only absolute values.
    AutoPtr<TextZone> far = TextZone::create(TextZone::zonePage);
    AutoPtr<TextZone> line = TextZone::create(TextZone::zoneLine);
    add(line, zone(TextZone::zoneWord, Rect{0, 100, 10, 10}, "a"));
    add(line, zone(TextZone::zoneWord, Rect{40000, 100, 10, 10}, "b"));
    add(far, line);
    expectThrow([&] { far->encode(*Morvenix::MemoryStorage::create(), big); }, Morvenix::errInvalidParam,
                "does not fit");

    // 2^24 bytes of text do not fit the 24-bit length; one byte less does.
    for (uint32_t n : {0xFFFFFFu, 0x1000000u}) {
        AutoPtr<TextZone> page = TextZone::create(TextZone::zonePage);
        add(page, zone(TextZone::zoneWord, Rect{0, 0, 5, 5}, ""));
        add(page, zone(TextZone::zoneWord, Rect{5, 0, 5, 5}, "a"));
        page->children[0]->text = String(std::string(n - 1, 'x'));
        AutoPtr<Morvenix::MemoryStorage> s = Morvenix::MemoryStorage::create();
        const PageInfo small = pageInfo(100, 100, 0);
        if (n == 0xFFFFFFu) {
            page->encode(*s, small);
            EXPECT_EQ(n + 4 + 3 * 17, s->getSize());
        } else {
            expectThrow([&] { page->encode(*s, small); }, Morvenix::errInvalidParam, "too long");
            EXPECT_EQ(0u, s->getSize());
        }
    }

    // Types outside the format's seven, and nesting beyond the limit.
    expectThrow([&] { zone(9, Rect{0, 0, 1, 1}, "a")->encode(*Morvenix::MemoryStorage::create(), big); },
                Morvenix::errInvalidParam, "type");
    AutoPtr<TextZone> deep = TextZone::create(TextZone::zonePage);
    TextZone* at = deep.get();
    for (uint32_t i = 0; i < TextZone::maxDepth; ++i) {
        add(AutoPtr<TextZone>(at), TextZone::create(TextZone::zoneRegion));
        at = at->children[0].get();
    }
    expectThrow([&] { deep->encode(*Morvenix::MemoryStorage::create(), big); }, Morvenix::errInvalidParam,
                "nested");
}

} // namespace
