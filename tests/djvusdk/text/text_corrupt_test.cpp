// Damaged TXT payloads: every one ends in errDataBroken or a valid tree, never a crash or a hang.
#include "djv_chunk.h"
#include "djv_payload.h"
#include "djv_text.h"

#include "bzz_chunk_damage.h"
#include "text_test_support.h"

#include <gtest/gtest.h>

#include <random>

using namespace TextTest;
using Morvenix::DjVu::Chunk;

namespace {

void put16(Bytes& out, int v)
{
    uint32_t u = uint32_t(v + 0x8000);
    out.push_back(uint8_t(u >> 8));
    out.push_back(uint8_t(u));
}

void put24(Bytes& out, uint32_t v)
{
    out.push_back(uint8_t(v >> 16));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

void record(Bytes& out, int type, int dx, int dy, int w, int h, int start, uint32_t len, uint32_t count)
{
    out.push_back(uint8_t(type));
    put16(out, dx);
    put16(out, dy);
    put16(out, w);
    put16(out, h);
    put16(out, start);
    put24(out, len);
    put24(out, count);
}

Bytes header(const std::string& text, int version = 1)
{
    Bytes b;
    put24(b, uint32_t(text.size()));
    b.insert(b.end(), text.begin(), text.end());
    b.push_back(uint8_t(version));
    return b;
}

const PageInfo kPage = pageInfo(400, 300, 0);

TEST(TextCorrupt, TableOfDamagedPayloads)
{
    struct Case {
        const char* name;
        Bytes bytes;
        const char* message;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", Bytes(), "ends too early"});
    cases.push_back({"text longer than the data", Bytes{0, 0, 9, 'a', 'b'}, "ends too early"});
    cases.push_back({"no version", Bytes{0, 0, 1, 'a'}, "ends too early"});
    {
        Bytes b = header("ab", 2);
        record(b, 1, 0, 0, 10, 10, 0, 2, 0);
        cases.push_back({"version 2", b, "Unknown TXT? chunk format!"});
    }
    {
        Bytes b = header("ab");
        cases.push_back({"no root record", b, "ends too early"});
        b.insert(b.end(), {1, 0x80, 0, 0x80});
        cases.push_back({"half a root record", b, "ends too early"});
    }
    {
        Bytes b = header("ab");
        record(b, 1, 0, 0, 10, 10, -1, 2, 0);
        cases.push_back({"negative text start", b, "outside the page text"});
    }
    {
        Bytes b = header("ab");
        record(b, 1, 0, 0, 10, 10, 0, 3, 0);
        cases.push_back({"length past the end", b, "outside the page text"});
    }
    {
        Bytes b = header("ab");
        record(b, 1, 0, 0, 10, 10, 0, 0xFFFFFF, 0);
        cases.push_back({"largest length", b, "outside the page text"});
    }
    {
        Bytes b = header("abcd");
        record(b, 1, 0, 0, 10, 10, 0, 2, 2);
        record(b, 6, 0, 0, 5, 5, 0, 1, 0);
        record(b, 6, 0, 0, 5, 5, 0x7FFF, 1, 0);
        cases.push_back({"sibling starts past the end", b, "outside the page text"});
    }
    {
        Bytes b = header("abcd");
        record(b, 1, 0, 0, 10, 10, 0, 4, 1);
        record(b, 5, 0, 0, 5, 5, -0x8000, 1, 0);
        cases.push_back({"child starts before the text", b, "outside the page text"});
    }
    {
        Bytes b = header("ab");
        record(b, 1, 0, 0, 10, 10, 0, 2, 0xFFFFFF);
        record(b, 6, 0, 0, 5, 5, 0, 1, 0);
        cases.push_back({"child count beyond the data", b, "ends too early"});
    }
    {
        // Every zone one level below the previous: the reader stops at its depth limit.
        Bytes b = header("a");
        for (int i = 0; i < 100000; ++i)
            record(b, 3, 0, 0, 5, 5, 0, 1, 1);
        cases.push_back({"deep nesting", b, "nested too deeply"});
    }
    {
        // Siblings that each step 32767 to the right leave the 32-bit range.
        const uint32_t n = 70000;
        Bytes b = header("a");
        record(b, 1, 0, 0, 10, 10, 0, 1, n);
        for (uint32_t i = 0; i < n; ++i)
            record(b, 6, 0x7FFF, 0, 0x7FFF, 5, 0, i == 0 ? 1 : 0, 0);
        cases.push_back({"coordinates drift out of range", b, "coordinate range"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectThrow([&] { decodeBytes(c.bytes, kPage); }, Morvenix::errDataBroken, c.message);
    }
}

// Damage that the BZZ decoder meets first in a "TXTz" chunk keeps the decoder's code and names it; damage
// it lets through is the reader's own errDataBroken.
TEST(TextCorrupt, DamagedCompressedChunksPassTheBzzErrorsThrough)
{
    const Bytes packed = MvxTest::chunkBody(*sampleTree(0)->makeTXTz(kPage));
    std::vector<MvxTest::DamagedChunk> cases = MvxTest::bzzDamage(packed, encodeToBytes(*sampleTree(0), kPage));
    cases.push_back({"cut in half", Bytes(packed.begin(), packed.begin() + long(packed.size() / 2)),
                     Morvenix::errOperationFailed, "Stream corrupt", MvxTest::kInflateDecode});
    Bytes otherVersion = header("ab", 2);
    record(otherVersion, 1, 0, 0, 10, 10, 0, 2, 0);
    const Bytes packedOtherVersion = MvxTest::chunkBody(*Morvenix::DjVu::makePayloadChunk(
        "TXTz", true, [&](Morvenix::Stream& out) { out.writeBytes(otherVersion.data(), uint32_t(otherVersion.size())); }));
    cases.push_back({"compressed payload of another version", packedOtherVersion, Morvenix::errDataBroken,
                     "Unknown TXT? chunk format!", "Morvenix::DjVu::TextZone::decode"});
    MvxTest::expectChunkErrors("TXTz", cases, [](const Chunk& inChunk) { TextZone::decode(inChunk, kPage); });
}

TEST(TextCorrupt, EveryTruncationIsRefused)
{
    const Bytes good = encodeToBytes(*sampleTree(1), pageInfo(400, 300, 1));
    for (size_t n = 0; n < good.size(); ++n) {
        SCOPED_TRACE(n);
        expectThrow([&] { decodeBytes(Bytes(good.begin(), good.begin() + n), kPage); }, Morvenix::errDataBroken);
    }
}

// A decoded tree is walked the way callers walk it: every query must stay inside what was read.
void exercise(TextZone& inTree, const PageInfo& inInfo)
{
    (void)inTree.getText();
    (void)inTree.getBoundingRect();
    inTree.setRotation((inTree.getRotation() + 1) & 3);
    try {
        encodeToBytes(inTree, inInfo);
    } catch (const Morvenix::Exception& e) {
        // Damaged trees may hold values the writer cannot put back; it says so.
        EXPECT_EQ(Morvenix::errInvalidParam, e.getCode());
    }
}

TEST(TextCorrupt, MutatedPayloadsEndCleanly)
{
    std::mt19937 rng(20261210);
    for (int r = 0; r < 4; ++r) {
        const PageInfo info = pageInfo(400, 300, r);
        const Bytes good = encodeToBytes(*sampleTree(r), info);
        for (int i = 0; i < 1500; ++i) {
            Bytes b = good;
            int edits = 1 + int(rng() % 4);
            for (int e = 0; e < edits; ++e) {
                size_t at = rng() % b.size();
                switch (rng() % 4) {
                case 0:
                    b[at] = uint8_t(rng());
                    break;
                case 1:
                    b[at] ^= uint8_t(1u << (rng() % 8));
                    break;
                case 2:
                    b.erase(b.begin() + long(at));
                    break;
                default:
                    b.insert(b.begin() + long(at), uint8_t(rng()));
                    break;
                }
                if (b.empty())
                    b.push_back(0);
            }
            try {
                AutoPtr<TextZone> tree = decodeBytes(b, info);
                exercise(*tree, info);
            } catch (const Morvenix::Exception& e) {
                EXPECT_EQ(Morvenix::errDataBroken, e.getCode()) << e.what();
            }
        }
    }
}

TEST(TextCorrupt, MutatedCompressedChunksEndCleanly)
{
    std::mt19937 rng(4);
    const PageInfo info = pageInfo(400, 300, 3);
    AutoPtr<Chunk> good = sampleTree(3)->makeTXTz(info);
    AutoPtr<Morvenix::DjVu::Data> data = good->getData();
    const Bytes bytes(data->getBuffer(), data->getBuffer() + data->getSize());
    for (int i = 0; i < 400; ++i) {
        Bytes b = bytes;
        for (int e = 0; e < 1 + int(rng() % 3); ++e)
            b[rng() % b.size()] = uint8_t(rng());
        if (rng() % 4 == 0)
            b.resize(rng() % b.size());
        AutoPtr<Chunk> chunk = Chunk::createFromBytes("TXTz", b.data(), uint32_t(b.size()));
        try {
            AutoPtr<TextZone> tree = TextZone::decode(*chunk, info);
            exercise(*tree, info);
        } catch (const Morvenix::Exception& e) {
            // The BZZ layer reports the damage it meets with its own code, the reader the rest.
            EXPECT_TRUE(e.getCode() == Morvenix::errOperationFailed || e.getCode() == Morvenix::errDataBroken)
                << e.what();
        }
    }
}

} // namespace
