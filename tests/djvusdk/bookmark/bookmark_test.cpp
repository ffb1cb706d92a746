// The outline tree written as a NAVM payload and read back: the exact bytes, the limits of the format's
// fields, the NAVM chunk, and the reading rules for totals and file urls.
#include "djv_bookmark.h"
#include "djv_bzz.h"
#include "djv_chunk.h"
#include "djv_data.h"
#include "mvx_exception.h"

#include "bookmark_test_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

using namespace BookmarkTest;
using Morvenix::DjVu::Chunk;

namespace {

template <class F>
void expectThrow(F&& f, int inCode, const char* inText = nullptr)
{
    MvxTest::expectThrow(f, inCode, inText, "djv_bookmark");
}

TEST(Bookmark, EmptyRootIsTwoZeroBytes)
{
    AutoPtr<Bookmark> root = Bookmark::create("", "");
    EXPECT_TRUE(root->isRoot());
    EXPECT_EQ(128u, root->children.capacity());
    EXPECT_EQ(128u, root->children.growStep());
    EXPECT_EQ(Bytes({0, 0}), encoded(*root));
    AutoPtr<Bookmark> back = decoded(Bytes{0, 0});
    EXPECT_TRUE(back->isRoot());
    EXPECT_EQ(0u, back->children.count());
}

TEST(Bookmark, AnEntryWritesAnOutlineHoldingItself)
{
    AutoPtr<Bookmark> a = entry("A", "#p2");
    EXPECT_FALSE(a->isRoot());
    EXPECT_EQ(Bytes({0, 1, 0, 0, 0, 1, 'A', 0, 0, 3, '#', 'p', '2'}), encoded(*a));
    // Writing it changes nothing in it.
    EXPECT_EQ("(\"A\" \"#p2\")", describe(*a));
    // An entry with only a url, or only a title, is not a root.
    EXPECT_EQ(Bytes({0, 1, 0, 0, 0, 0, 0, 0, 1, '#'}), encoded(*entry("", "#")));
    EXPECT_EQ(Bytes({0, 1, 0, 0, 0, 1, 'T', 0, 0, 0}), encoded(*entry("T", "")));
}

TEST(Bookmark, NestedOutlineBytesAndRoundTrip)
{
    AutoPtr<Bookmark> root = Bookmark::create("", "");
    AutoPtr<Bookmark> one = add(root, "One", "#1");
    add(one, "One.a", "#2");
    AutoPtr<Bookmark> b = add(one, "One.b", "#page0003.djvu");
    add(b, "Deep \xE2\x82\xAC", "http://example.org/a?b=c");
    add(root, "Two", "#4");

    Bytes expected = total(5);
    putEntry(expected, 2, "One", "#1");
    putEntry(expected, 0, "One.a", "#2");
    putEntry(expected, 1, "One.b", "#page0003.djvu");
    putEntry(expected, 0, "Deep \xE2\x82\xAC", "http://example.org/a?b=c");
    putEntry(expected, 0, "Two", "#4");
    EXPECT_EQ(expected, encoded(*root));
    EXPECT_EQ(describe(*root), describe(*decoded(expected)));

    // Encoded from an inner entry, the outline holds that entry and its subtree.
    Bytes inner = total(2);
    putEntry(inner, 1, "One.b", "#page0003.djvu");
    putEntry(inner, 0, "Deep \xE2\x82\xAC", "http://example.org/a?b=c");
    EXPECT_EQ(inner, encoded(*b));
    EXPECT_EQ("(\"\" \"\" " + describe(*b) + ")", describe(*decoded(inner)));
}

TEST(Bookmark, ChildLimits)
{
    // The root writes no child count: 300 top-level entries are fine.
    AutoPtr<Bookmark> root = Bookmark::create("", "");
    for (int i = 0; i < 300; ++i)
        add(root, "t", "#1");
    Bytes payload = encoded(*root);
    ASSERT_EQ(2u + 300u * 10u, payload.size());
    EXPECT_EQ(300u, (uint32_t(payload[0]) << 8 | payload[1]));
    EXPECT_EQ(300u, decoded(payload)->children.count());

    // An entry may have 255 children, not 256; a refused outline writes nothing.
    AutoPtr<Bookmark> wide = add(root, "wide", "#2");
    for (int i = 0; i < 255; ++i)
        add(wide, "c", "");
    AutoPtr<Bookmark> back = decoded(encoded(*root));
    EXPECT_EQ(255u, back->children[300]->children.count());
    add(wide, "c", "");
    AutoPtr<MemoryStorage> storage = MemoryStorage::create();
    expectThrow([&] { root->encode(*storage); }, 39, "Too many bookmark children!");
    expectThrow([&] { wide->encode(*storage); }, 39, "_Mvx_Internal_NS_::BookmarkImpl::encodeBookmark");
    EXPECT_EQ(0u, storage->getSize());
    AutoPtr<Chunk> chunk;
    expectThrow([&] { chunk = root->makeNAVM(); }, 39);
    EXPECT_FALSE(chunk);
}

TEST(Bookmark, TotalLimit)
{
    // 65535 entries fit the two-byte total; one more is refused, not wrapped.
    AutoPtr<Bookmark> root = Bookmark::create("", "");
    for (int i = 0; i < 257; ++i) {
        AutoPtr<Bookmark> group = add(root, "g", "");
        for (int k = 0; k < 254; ++k)
            add(group, "e", "");
    }
    // 257 * 255 = 65535
    Bytes payload = encoded(*root);
    EXPECT_EQ(0xFF, payload[0]);
    EXPECT_EQ(0xFF, payload[1]);
    AutoPtr<Bookmark> back = decoded(payload);
    EXPECT_EQ(257u, back->children.count());
    EXPECT_EQ(254u, back->children[256]->children.count());
    add(root, "one too many", "");
    AutoPtr<MemoryStorage> storage = MemoryStorage::create();
    expectThrow([&] { root->encode(*storage); }, Morvenix::errInvalidParam, "more bookmarks");
    EXPECT_EQ(0u, storage->getSize());
}

TEST(Bookmark, DepthLimitAndMissingChildren)
{
    AutoPtr<Bookmark> root = Bookmark::create("", "");
    AutoPtr<Bookmark> at = root;
    for (uint32_t depth = 0; depth < Bookmark::maxDepth; ++depth)
        at = add(at, "d", "");
    AutoPtr<Bookmark> back = decoded(encoded(*root));
    uint32_t depth = 0;
    for (const Bookmark* b = back.get(); b->children.count(); b = b->children[0].get())
        ++depth;
    EXPECT_EQ(Bookmark::maxDepth, depth);

    add(at, "too deep", "");
    AutoPtr<MemoryStorage> storage = MemoryStorage::create();
    expectThrow([&] { root->encode(*storage); }, Morvenix::errInvalidParam, "nested too deeply");
    // An outline that contains itself is refused the same way, not followed forever.
    AutoPtr<Bookmark> loop = entry("loop", "#1");
    loop->children.append(loop);
    expectThrow([&] { loop->encode(*storage); }, Morvenix::errInvalidParam, "nested too deeply");
    loop->children.resize(0, 0);
    EXPECT_EQ(0u, storage->getSize());

    AutoPtr<Bookmark> holey = Bookmark::create("", "");
    holey->children.append(AutoPtr<Bookmark>());
    expectThrow([&] { holey->encode(*storage); }, Morvenix::errInvalidParam, "empty child");
    AutoPtr<Bookmark> holeyEntry = add(root, "x", "");
    holeyEntry->children.append(AutoPtr<Bookmark>());
    expectThrow([&] { holeyEntry->encode(*storage); }, Morvenix::errInvalidParam, "empty child");
}

TEST(Bookmark, TextLengthLimit)
{
    // 16 MB - 1 fits the three-byte length, 16 MB does not.
    const uint32_t most = 0xFFFFFF;
    String fits = String::repeat('t', most);
    AutoPtr<Bookmark> big = entry("", "");
    big->url = fits;
    Bytes payload = encoded(*big);
    ASSERT_EQ(2u + 7u + most, payload.size());
    AutoPtr<Bookmark> back = decoded(payload);
    EXPECT_EQ(most, back->children[0]->url.getLength());
    big->title = String::repeat('t', most + 1);
    AutoPtr<MemoryStorage> storage = MemoryStorage::create();
    expectThrow([&] { big->encode(*storage); }, Morvenix::errInvalidParam, "too long");
    EXPECT_EQ(0u, storage->getSize());
}

TEST(Bookmark, NavmChunkIsCompressedAndReadBack)
{
    AutoPtr<Bookmark> root = Bookmark::create("", "");
    AutoPtr<Bookmark> one = add(root, "Chapter 1", "#1");
    add(one, "Section", "#2");
    AutoPtr<Chunk> chunk = root->makeNAVM();
    ASSERT_TRUE(chunk);
    EXPECT_EQ("NAVM", str(chunk->getId()));

    // The payload is BZZ: inflating it gives the encoded bytes.
    AutoPtr<Morvenix::Storage> storage = chunk->getData()->getReadStorage(true);
    AutoPtr<Morvenix::DjVu::InflateStream> bzz =
        Morvenix::DjVu::InflateStream::create(AutoPtr<Morvenix::Stream>(storage), 0, 16);
    Bytes inflated(4096);
    inflated.resize(bzz->readBytes(inflated.data(), uint32_t(inflated.size()), false));
    EXPECT_EQ(encoded(*root), inflated);

    EXPECT_EQ(describe(*root), describe(*Bookmark::create(*chunk)));
    // Any chunk id is taken.
    AutoPtr<Chunk> other = Chunk::create("XXXX");
    other->setData(chunk->getData());
    EXPECT_EQ(describe(*root), describe(*Bookmark::create(*other)));
    // An empty root makes a chunk that reads as an empty root.
    EXPECT_EQ("(\"\" \"\")", describe(*Bookmark::create(*Bookmark::create("", "")->makeNAVM())));
    // A chunk without payload is refused.
    expectThrow([&] { Bookmark::create(*Chunk::create("NAVM")); }, Morvenix::errInvalidParam, "no data");
}

TEST(Bookmark, FileUrlsBecomeComponentLinks)
{
    struct Case {
        const char* stored;
        const char* read;
    } cases[] = {
        {"#file://some/dir/page0003.djvu", "#page0003.djvu"},
        {"#file://", "#"},
        {"#file://page.djvu", "#page.djvu"},
        {"#file:///", "#"},
        {"#file://a\xE0/b\xC3\xA9.djvu", "#b\xC3\xA9.djvu"}, // a damaged byte before the last '/'
        {"#file://dir\xE2\x82/x", "#x"},
        {"#file:/x/y", "#file:/x/y"},
        {"#FILE://a/b", "#FILE://a/b"},
        {"file://a/b", "file://a/b"},
        {"#page.djvu", "#page.djvu"},
    };
    for (const Case& c : cases) {
        Bytes payload = total(1);
        putEntry(payload, 0, "t", c.stored);
        EXPECT_EQ(c.read, str(decoded(payload)->children[0]->url)) << c.stored;
    }
}

TEST(Bookmark, TotalCountsReadEntries)
{
    Bytes payload = total(2);
    putEntry(payload, 2, "a", "#1");
    putEntry(payload, 0, "a1", "#2");
    putEntry(payload, 0, "a2", "#3");
    putEntry(payload, 0, "b", "#4");
    // The total is reached inside the first top-level entry: its subtree is read whole, then reading stops.
    EXPECT_EQ("(\"\" \"\" (\"a\" \"#1\" (\"a1\" \"#2\") (\"a2\" \"#3\")))", describe(*decoded(payload)));
    payload[1] = 4;
    EXPECT_EQ(2u, decoded(payload)->children.count());
    // A total of 0 is an empty outline, whatever follows.
    payload[1] = 0;
    EXPECT_EQ(0u, decoded(payload)->children.count());
}

} // namespace
