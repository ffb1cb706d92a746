// Damaged BZZ data ends in a clean library exception or a valid result: never a crash, a hang or a read
// outside the buffers.
#include "bzz_test_data.h"
#include "djv_zpcoder.h"
#include "../../../djvusdk/src/blocksortcoder/djv_bzzblockcoder.h"
#include "mvx_exception.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

using BzzTest::Bytes;
using Morvenix::AutoPtr;
using Morvenix::MemoryStorage;
using Morvenix::DjVu::InflateStream;

namespace {

// Decodes everything; returns the exception's text, or "" when the data decoded.
std::string decodeOutcome(const Bytes& inCompressed, Bytes* outData = nullptr)
{
    try {
        const Bytes data = BzzTest::decompress(inCompressed, 4096);
        if (outData)
            *outData = data;
        return std::string();
    } catch (const Morvenix::Exception& e) {
        return e.what();
    }
}

// A stream built from blocks given symbol by symbol: the marker may stand anywhere (or nowhere when
// inMarker is past the block).
Bytes craftedStream(const Bytes& inBlock, uint32_t inMarker, uint32_t inSizeField = 0)
{
    AutoPtr<MemoryStorage> out = MemoryStorage::create();
    {
        Morvenix::DjVu::ZPEncoder zp(out, 16);
        uint8_t contexts[Morvenix::DjVu::BzzBlock::kContextCount] = {};
        if (inSizeField) {
            for (int bit = 23; bit >= 0; --bit)
                zp.encodeRaw((inSizeField >> bit) & 1);
            for (int i = 0; i < 64; ++i)
                zp.encodeRaw(i & 1);
        } else {
            Morvenix::DjVu::BzzBlock::encode(zp, contexts, inBlock.data(), uint32_t(inBlock.size()), inMarker);
            Morvenix::DjVu::BzzBlock::encodeEnd(zp);
        }
    }
    Morvenix::SimpleArray<unsigned char, 2>& a = out->getArray();
    return Bytes(a.data(), a.data() + a.count());
}

TEST(BzzCorrupt, CraftedBlocks)
{
    struct Case {
        const char* name;
        Bytes stream;
        const char* error;
    };
    const Case cases[] = {
        {"valid block", craftedStream(Bytes{'a', 'a', 0}, 2), nullptr},
        {"marker at position 0", craftedStream(Bytes{0, 'a', 'b'}, 0), "Stream corrupt"},
        {"no marker", craftedStream(Bytes{'a', 'b', 'c'}, 3), "Stream corrupt"},
        {"walk meets the marker early", craftedStream(Bytes{'b', 'a', 0}, 2), "Stream corrupt"},
        {"walk in a cycle", craftedStream(Bytes{'b', 'a', 0, 'a', 'b'}, 2), "Stream corrupt"},
        {"size above 4096 KB", craftedStream(Bytes(), 0, 0x400001), "Stream corrupt"},
        {"largest size field", craftedStream(Bytes(), 0, 0xFFFFFF), "Stream corrupt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes data;
        const std::string outcome = decodeOutcome(c.stream, &data);
        if (!c.error) {
            EXPECT_EQ("", outcome);
            EXPECT_TRUE(data == Bytes({'a', 'a'}));
        } else {
            EXPECT_NE(std::string::npos, outcome.find(c.error)) << outcome;
        }
    }
}

// Every text has exactly one transformed block, so among all blocks of a size over two letters, with the
// marker anywhere, exactly as many decode as there are texts, each to a different text; the others are
// corrupt. A walk that accepted a broken block would repeat a text, one that refused a sound block would
// leave one out.
TEST(BzzCorrupt, ExactlyOneBlockDecodesToEachShortText)
{
    for (uint32_t size = 2; size <= 8; ++size) {
        SCOPED_TRACE("size " + std::to_string(size));
        const uint32_t texts = 1u << (size - 1);
        std::set<Bytes> decoded;
        uint32_t sound = 0;
        for (uint32_t marker = 0; marker < size; ++marker) {
            for (uint32_t letters = 0; letters < texts; ++letters) {
                Bytes block(size, 0);
                for (uint32_t i = 0, bit = 0; i < size; ++i)
                    if (i != marker)
                        block[i] = (letters >> bit++) & 1 ? 'b' : 'a';
                Bytes data;
                const std::string outcome = decodeOutcome(craftedStream(block, marker), &data);
                if (!outcome.empty()) {
                    EXPECT_NE(std::string::npos, outcome.find("Stream corrupt")) << outcome;
                    continue;
                }
                ++sound;
                EXPECT_EQ(size - 1, data.size());
                decoded.insert(data);
            }
        }
        EXPECT_EQ(texts, sound);
        EXPECT_EQ(texts, decoded.size());
    }
}

TEST(BzzCorrupt, DamagedValidStreams)
{
    const Bytes text = BzzTest::text(40000, 1);
    const Bytes good = BzzTest::compress(text, 10);
    ASSERT_GT(good.size(), 200u);
    std::vector<std::pair<std::string, Bytes>> cases;
    for (size_t keep : {size_t(1), size_t(2), size_t(10), good.size() / 2, good.size() - 30, good.size() - 1})
        cases.push_back({"truncated to " + std::to_string(keep), Bytes(good.begin(), good.begin() + long(keep))});
    for (size_t at : {size_t(0), size_t(1), size_t(2), size_t(5), good.size() / 3, good.size() - 2}) {
        Bytes flipped = good;
        flipped[at] ^= 0xFF;
        cases.push_back({"flipped byte " + std::to_string(at), flipped});
    }
    cases.push_back({"all 0x00", Bytes(good.size(), 0x00)});
    cases.push_back({"all 0xFF", Bytes(good.size(), 0xFF)});
    cases.push_back({"random", BzzTest::randomBytes(5000, 9)});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        Bytes data;
        const std::string outcome = decodeOutcome(c.second, &data);
        // Either a clean error or some decoded bytes; a damaged stream never reproduces the text whole.
        if (outcome.empty()) {
            EXPECT_FALSE(data == text);
        }
    }
}

TEST(BzzCorrupt, ReadsAfterAFailureKeepFailing)
{
    const Bytes stream = craftedStream(Bytes{0, 'a', 'b'}, 0);
    AutoPtr<InflateStream> in = InflateStream::create(MemoryStorage::create(stream.data(), stream.size(), 4321), 0, 16);
    unsigned char buffer[8];
    for (int i = 0; i < 3; ++i) {
        try {
            in->readBytes(buffer, sizeof buffer, false);
            FAIL();
        } catch (const Morvenix::Exception& e) {
            EXPECT_EQ(Morvenix::errOperationFailed, e.getCode());
        }
    }
}

TEST(BzzCorrupt, SeededMutationsThrowCleanlyOrDecode)
{
    const Bytes sources[] = {BzzTest::text(30000, 2), BzzTest::randomBytes(3000, 3), Bytes(20000, 'z'),
                             BzzTest::mixed(25000, 4), Bytes(3, 'q')};
    std::vector<Bytes> streams;
    for (const Bytes& s : sources)
        streams.push_back(BzzTest::compress(s, 10));
    std::mt19937 rng(20261210);
    int thrown = 0, decoded = 0;
    for (int round = 0; round < 400; ++round) {
        Bytes m = streams[rng() % streams.size()];
        switch (rng() % 4) {
        case 0: // flipped bits
            for (unsigned n = 1 + rng() % 4; n; --n)
                m[rng() % m.size()] ^= (unsigned char)(1u << (rng() % 8));
            break;
        case 1: // truncated
            m.resize(rng() % m.size());
            break;
        case 2: // random bytes inserted
            m.insert(m.begin() + long(rng() % (m.size() + 1)), 1 + rng() % 8, (unsigned char)rng());
            break;
        default: // a random stretch overwritten
            for (size_t at = rng() % m.size(), n = 1 + rng() % 16; n && at < m.size(); --n, ++at)
                m[at] = (unsigned char)rng();
        }
        const std::string outcome = decodeOutcome(m);
        if (outcome.empty())
            ++decoded;
        else
            ++thrown;
    }
    EXPECT_GT(thrown, 0);
    EXPECT_EQ(400, thrown + decoded);
}

} // namespace
