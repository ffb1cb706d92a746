// Damaged NAVM data: payloads cut short or lying about their lengths, nesting past the limit, and random
// mutations of payloads and of compressed chunks all end in an outline or in a library exception.
#include "djv_bookmark.h"
#include "djv_chunk.h"
#include "djv_data.h"
#include "djv_payload.h"
#include "mvx_exception.h"

#include "bookmark_test_support.h"
#include "bzz_chunk_damage.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace BookmarkTest;
using Morvenix::DjVu::Chunk;

namespace {

Bytes sampleOutline()
{
    Bytes payload = total(4);
    putEntry(payload, 2, "Chapter", "#1");
    putEntry(payload, 0, "Section one", "#file://dir/p2.djvu");
    putEntry(payload, 0, "Section two", "#3");
    putEntry(payload, 0, "End", "#4");
    return payload;
}

TEST(BookmarkCorrupt, DamagedPayloadsAreDataBroken)
{
    const Bytes sample = sampleOutline();
    std::vector<std::pair<std::string, Bytes>> cases;
    cases.emplace_back("nothing", Bytes());
    cases.emplace_back("half a total", Bytes{0});
    cases.emplace_back("total without entries", total(1));
    cases.emplace_back("total past the entries", [] {
        Bytes b = total(3);
        putEntry(b, 0, "a", "#1");
        return b;
    }());
    cases.emplace_back("children that never come", [] {
        Bytes b = total(1);
        putEntry(b, 3, "a", "#1");
        putEntry(b, 0, "b", "#2");
        return b;
    }());
    cases.emplace_back("title longer than the data", [] {
        Bytes b = total(1);
        b.push_back(0);
        put24(b, 10);
        b.insert(b.end(), {'s', 'h', 'o', 'r', 't'});
        return b;
    }());
    cases.emplace_back("url longer than the data", [] {
        Bytes b = total(1);
        b.push_back(0);
        put24(b, 1);
        b.push_back('t');
        put24(b, 0xFFFFFF);
        b.insert(b.end(), {'#', '1'});
        return b;
    }());
    cases.emplace_back("url length cut", [] {
        Bytes b = total(1);
        b.push_back(0);
        put24(b, 0);
        b.insert(b.end(), {0, 0});
        return b;
    }());
    for (size_t cut = 1; cut < sample.size(); cut += 3)
        cases.emplace_back("sample cut at " + std::to_string(cut), Bytes(sample.begin(), sample.begin() + long(cut)));

    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        MvxTest::expectThrow([&] { decoded(c.second); }, Morvenix::errDataBroken, "djv_bookmark",
                             "Morvenix::DjVu::Bookmark::create");
    }
    // The intact sample reads, with its file url shortened.
    EXPECT_EQ("(\"\" \"\" (\"Chapter\" \"#1\" (\"Section one\" \"#p2.djvu\") (\"Section two\" \"#3\")) (\"End\" \"#4\"))",
              describe(*decoded(sample)));
}

// Damage that the BZZ decoder meets first in a NAVM chunk keeps the decoder's code and names it; damage it
// lets through is the reader's own errDataBroken.
TEST(BookmarkCorrupt, DamagedChunksPassTheBzzErrorsThrough)
{
    const Bytes sample = sampleOutline();
    const Bytes packed = MvxTest::chunkBody(*decoded(sample)->makeNAVM());
    std::vector<MvxTest::DamagedChunk> cases = MvxTest::bzzDamage(packed, sample);
    cases.push_back({"cut in half", Bytes(packed.begin(), packed.begin() + long(packed.size() / 2)),
                     Morvenix::errOperationFailed, "Stream corrupt", MvxTest::kInflateDecode});
    const Bytes cut(sample.begin(), sample.begin() + long(sample.size() / 2));
    const Bytes packedCut = MvxTest::chunkBody(*Morvenix::DjVu::makePayloadChunk(
        "NAVM", true, [&](Morvenix::Stream& out) { out.writeBytes(cut.data(), uint32_t(cut.size())); }));
    cases.push_back({"compressed payload cut in half", packedCut, Morvenix::errDataBroken,
                     "The NAVM data ends too early!", "Morvenix::DjVu::Bookmark::create"});
    MvxTest::expectChunkErrors("NAVM", cases, [](const Chunk& inChunk) { Bookmark::create(inChunk); });
}

TEST(BookmarkCorrupt, NestingPastTheLimitIsDataBroken)
{
    // A chain of single children: as deep as the limit reads, one more is refused before the stack suffers.
    for (uint32_t depth : {Bookmark::maxDepth, Bookmark::maxDepth + 1, 60000u}) {
        Bytes b = total(uint16_t(depth));
        for (uint32_t i = 0; i < depth; ++i)
            putEntry(b, i + 1 < depth ? 1 : 0, "", "");
        if (depth <= Bookmark::maxDepth) {
            EXPECT_EQ(1u, decoded(b)->children.count());
        } else {
            MvxTest::expectThrow([&] { decoded(b); }, Morvenix::errDataBroken, "nested too deeply");
        }
    }
}

// Children are read past the total, so only a bound on the entries keeps a small compressed chunk from
// standing for millions of them: as many as the total can count read, one more is refused.
TEST(BookmarkCorrupt, MoreEntriesThanTheTotalCanCountAreDataBroken)
{
    for (uint32_t entries : {Bookmark::maxEntries, Bookmark::maxEntries + 1}) {
        SCOPED_TRACE(entries);
        // One top-level entry over 255 children of 255 children each (65281 entries); the rest hang as
        // single children below the first grandchildren.
        const uint32_t extra = entries - (1 + 255 + 255 * 255);
        Bytes b = total(1);
        putEntry(b, 255, "top", "");
        for (uint32_t child = 0; child < 255; ++child) {
            putEntry(b, 255, "", "");
            for (uint32_t grandchild = 0; grandchild < 255; ++grandchild) {
                const bool carries = child == 0 && grandchild < extra;
                putEntry(b, carries ? 1 : 0, "", "");
                if (carries)
                    putEntry(b, 0, "", "");
            }
        }
        if (entries <= Bookmark::maxEntries) {
            AutoPtr<Bookmark> root = decoded(b);
            ASSERT_EQ(1u, root->children.count());
            EXPECT_EQ(255u, root->children[0]->children.count());
        } else {
            MvxTest::expectThrow([&] { decoded(b); }, Morvenix::errDataBroken, "more bookmarks than its total");
        }
    }
}

TEST(BookmarkCorrupt, MutatedPayloadsEndCleanly)
{
    const Bytes sample = sampleOutline();
    std::mt19937 random(2143);
    int read = 0, refused = 0;
    for (int i = 0; i < 4000; ++i) {
        Bytes b = sample;
        for (int k = 1 + int(random() % 4); k > 0; --k) {
            size_t at = random() % b.size();
            switch (random() % 4) {
            case 0: b[at] = uint8_t(random()); break;
            case 1: b[at] ^= uint8_t(1u << (random() % 8)); break;
            case 2: b.insert(b.begin() + long(at), uint8_t(random())); break;
            default: if (b.size() > 1) b.erase(b.begin() + long(at)); break;
            }
        }
        try {
            AutoPtr<Bookmark> root = decoded(b);
            ASSERT_TRUE(root->isRoot());
            ++read;
        } catch (const Morvenix::Exception& e) {
            ASSERT_EQ(Morvenix::errDataBroken, e.getCode()) << e.what();
            ++refused;
        }
    }
    EXPECT_GT(read, 0);
    EXPECT_GT(refused, 0);
}

TEST(BookmarkCorrupt, MutatedChunksEndCleanly)
{
    AutoPtr<Bookmark> root = decoded(sampleOutline());
    AutoPtr<Chunk> navm = root->makeNAVM();
    AutoPtr<Morvenix::DjVu::Data> data = navm->getData();
    const Bytes compressed(data->getBuffer(), data->getBuffer() + data->getSize());
    std::mt19937 random(2144);
    for (int i = 0; i < 1500; ++i) {
        Bytes b = compressed;
        for (int k = 1 + int(random() % 3); k > 0; --k) {
            size_t at = random() % b.size();
            if (random() % 3 == 0 && b.size() > 1)
                b.resize(at ? at : 1);
            else
                b[at] = uint8_t(random());
        }
        AutoPtr<Chunk> chunk = Chunk::createFromBytes("NAVM", b.data(), uint32_t(b.size()));
        try {
            AutoPtr<Bookmark> back = Bookmark::create(*chunk);
            ASSERT_TRUE(back->isRoot());
        } catch (const Morvenix::Exception& e) {
            // Damaged compressed data may fail in the decompressor, with its own code.
            EXPECT_TRUE(e.getCode() == Morvenix::errOperationFailed || e.getCode() == Morvenix::errDataBroken)
                << e.what();
        }
    }
}

} // namespace
