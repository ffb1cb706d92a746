#include "djv_zpcoder.h"
#include "../../../djvusdk/src/zpcoder/djv_zptable.h"
#include "mvx_exception.h"
#include "mvx_memstorage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

using Morvenix::AutoPtr;
using Morvenix::MemoryStorage;
using Morvenix::DjVu::ZPDecoder;
using Morvenix::DjVu::ZPEncoder;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes contents(const AutoPtr<MemoryStorage>& s)
{
    Morvenix::SimpleArray<unsigned char, 2>& a = s->getArray();
    return Bytes(a.data(), a.data() + a.count());
}

AutoPtr<MemoryStorage> storageOf(const Bytes& b) { return MemoryStorage::create(b.data(), b.size(), 4321); }

// One coded step: which kind of coding, which context, which bit.
struct Step {
    int kind; // 0 adaptive, 1 raw, 2 raw IW
    int context;
    int bit;
};

// Bits with a bias per context, so that contexts travel far through the table in both directions.
std::vector<Step> script(size_t inCount, uint32_t inSeed, int inContexts)
{
    std::mt19937 rng(inSeed);
    std::vector<double> bias(static_cast<size_t>(inContexts));
    for (double& b : bias)
        b = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
    std::vector<Step> steps(inCount);
    for (Step& s : steps) {
        const unsigned r = rng() % 16;
        s.kind = r == 0 ? 1 : (r == 1 ? 2 : 0);
        s.context = int(rng() % unsigned(inContexts));
        s.bit = std::uniform_real_distribution<double>(0.0, 1.0)(rng) < bias[size_t(s.context)] ? 1 : 0;
    }
    return steps;
}

Bytes encodeScript(const std::vector<Step>& inSteps, std::vector<uint8_t>& ioContexts, uint32_t inBufferSize)
{
    AutoPtr<MemoryStorage> out = MemoryStorage::create();
    {
        ZPEncoder zp(out, inBufferSize);
        for (const Step& s : inSteps) {
            if (s.kind == 0)
                zp.encode(s.bit, ioContexts[size_t(s.context)]);
            else if (s.kind == 1)
                zp.encodeRaw(s.bit);
            else
                zp.encodeRawIW(s.bit);
        }
    }
    return contents(out);
}

TEST(ZPTable, TellingRowsAndClosure)
{
    using namespace Morvenix::DjVu::ZPTable;
    struct Row {
        int state;
        unsigned p, m, up, dn;
    };
    const Row rows[] = {{0, 0x8000, 0, 84, 145},
                        {1, 0x8000, 0, 3, 4},
                        {2, 0x8000, 0, 4, 3},
                        {3, 0x6BBD, 0x10A5, 5, 1},
                        {250, 0x481A, 0, 230, 246}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.state);
        EXPECT_EQ(r.p, kStates[r.state].p);
        EXPECT_EQ(r.m, kStates[r.state].m);
        EXPECT_EQ(r.up, kStates[r.state].up);
        EXPECT_EQ(r.dn, kStates[r.state].dn);
    }
    for (int s = 0; s < kStateCount; ++s) {
        EXPECT_LT(kStates[s].up, kStateCount) << s;
        EXPECT_LT(kStates[s].dn, kStateCount) << s;
        EXPECT_GT(kStates[s].p, 0u) << s;
    }
}

TEST(ZPCoder, RoundTripKeepsBitsAndContexts)
{
    struct Case {
        size_t steps;
        int contexts;
        uint32_t bufferSize;
    };
    const Case cases[] = {{1, 1, 16}, {2, 1, 0}, {25, 3, 1}, {1000, 7, 16}, {200000, 256, 16}, {50000, 40, 3}};
    uint32_t seed = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.steps);
        const std::vector<Step> steps = script(c.steps, ++seed, c.contexts);
        std::vector<uint8_t> encoderContexts(size_t(c.contexts), 0);
        const Bytes coded = encodeScript(steps, encoderContexts, c.bufferSize);

        AutoPtr<MemoryStorage> in = storageOf(coded);
        ZPDecoder zp(in, 0, c.bufferSize);
        std::vector<uint8_t> decoderContexts(size_t(c.contexts), 0);
        size_t wrong = 0;
        for (const Step& s : steps) {
            int bit;
            if (s.kind == 0)
                bit = zp.decode(decoderContexts[size_t(s.context)]);
            else if (s.kind == 1)
                bit = zp.decodeRaw();
            else
                bit = zp.decodeRawIW();
            wrong += bit != s.bit;
        }
        EXPECT_EQ(0u, wrong);
        EXPECT_EQ(encoderContexts, decoderContexts);
    }
}

TEST(ZPCoder, SkewedBitsCompress)
{
    std::mt19937 rng(7);
    std::vector<Step> steps(100000);
    for (Step& s : steps)
        s = Step{0, 0, rng() % 100 == 0 ? 1 : 0};
    std::vector<uint8_t> contexts(1, 0);
    const Bytes coded = encodeScript(steps, contexts, 16);
    // About 0.08 bits a symbol at a 1% rate; an adaptive coder that did not adapt would need far more.
    EXPECT_LT(coded.size(), 1500u);
    EXPECT_GT(coded.size(), 500u);
}

TEST(ZPCoder, EncoderThatCodedNothingWritesNothing)
{
    AutoPtr<MemoryStorage> out = MemoryStorage::create();
    {
        ZPEncoder zp(out, 16);
        zp.flush();
    }
    EXPECT_EQ(0u, out->getSize());
}

TEST(ZPCoder, FlushThenDestructorWritesTheEndOnce)
{
    AutoPtr<MemoryStorage> out = MemoryStorage::create();
    uint64_t afterFlush = 0;
    uint8_t ctx = 0;
    {
        ZPEncoder zp(out, 16);
        for (int i = 0; i < 500; ++i)
            zp.encode(i % 3 == 0, ctx);
        zp.flush();
        afterFlush = out->getSize();
        EXPECT_GT(afterFlush, 0u);
        zp.flush();
        zp.encode(1, ctx); // dropped: the code stream has ended
        EXPECT_EQ(afterFlush, out->getSize());
    }
    EXPECT_EQ(afterFlush, out->getSize());

    AutoPtr<MemoryStorage> viaDestructor = MemoryStorage::create();
    {
        ZPEncoder zp(viaDestructor, 16);
        uint8_t c = 0;
        for (int i = 0; i < 500; ++i)
            zp.encode(i % 3 == 0, c);
    }
    EXPECT_EQ(contents(out), contents(viaDestructor));
}

// With a = 0 both raw coders split at 0x8000, so the first bit codes alike.
TEST(ZPCoder, RawSplitsAgreeOnAFreshCoder)
{
    for (int bit = 0; bit < 2; ++bit) {
        AutoPtr<MemoryStorage> a = MemoryStorage::create(), b = MemoryStorage::create();
        {
            ZPEncoder raw(a, 16), iw(b, 16);
            raw.encodeRaw(bit);
            iw.encodeRawIW(bit);
        }
        EXPECT_EQ(contents(a), contents(b));
        AutoPtr<MemoryStorage> in1 = storageOf(contents(a)), in2 = storageOf(contents(a));
        ZPDecoder d1(in1, 0, 16), d2(in2, 0, 16);
        EXPECT_EQ(bit, d1.decodeRaw());
        EXPECT_EQ(bit, d2.decodeRawIW());
    }
    // Raw bits alone keep a at 0; after adaptive bits have moved it, the two splits code differently.
    std::vector<Step> raw, iw;
    std::mt19937 rng(3);
    for (int i = 0; i < 64; ++i) {
        const Step adaptive{0, 0, int(rng() % 5 == 0)};
        const int bit = int(rng() & 1);
        raw.push_back(adaptive);
        iw.push_back(adaptive);
        raw.push_back(Step{1, 0, bit});
        iw.push_back(Step{2, 0, bit});
    }
    std::vector<uint8_t> c1(1, 0), c2(1, 0);
    EXPECT_NE(encodeScript(raw, c1, 16), encodeScript(iw, c2, 16));
}

TEST(ZPCoder, NullStreamIsRefused)
{
    AutoPtr<Morvenix::Stream> none;
    try {
        ZPEncoder zp(none, 16);
        FAIL();
    } catch (const Morvenix::Exception& e) {
        EXPECT_EQ(Morvenix::errOperationFailed, e.getCode());
        EXPECT_NE(nullptr, strstr(e.what(), "no stream"));
    }
    try {
        ZPDecoder zp(none, 0, 16);
        FAIL();
    } catch (const Morvenix::Exception& e) {
        EXPECT_EQ(Morvenix::errOperationFailed, e.getCode());
        EXPECT_NE(nullptr, strstr(e.what(), "no stream"));
    }
}

// Counts the raw bits a decoder delivers over inBytes before it gives up on the missing input.
size_t bitsBeforeFailure(const Bytes& inBytes, std::vector<int>* outBits = nullptr)
{
    AutoPtr<MemoryStorage> in = storageOf(inBytes);
    try {
        ZPDecoder zp(in, 0, 16);
        for (size_t n = 0; n < 100000; ++n) {
            const int bit = zp.decodeRaw();
            if (outBits)
                outBits->push_back(bit);
        }
    } catch (const Morvenix::Exception& e) {
        EXPECT_EQ(Morvenix::errOperationFailed, e.getCode());
        EXPECT_NE(nullptr, strstr(e.what(), "preload failed."));
        return outBits ? outBits->size() : 1;
    }
    ADD_FAILURE() << "the decoder never ran out of input";
    return 0;
}

TEST(ZPCoder, MissingInputReadsAsFFBytesThenFails)
{
    std::vector<int> fromEmpty, fromFF;
    bitsBeforeFailure(Bytes(), &fromEmpty);
    bitsBeforeFailure(Bytes(26, 0xFF), &fromFF);
    // The 2 bytes of the start and 24 more are supplied; raw bits use a bit of input each.
    EXPECT_GE(fromEmpty.size(), 24u * 8 - 32);
    EXPECT_LE(fromEmpty.size(), 26u * 8);
    ASSERT_LE(fromEmpty.size(), fromFF.size());
    EXPECT_TRUE(std::equal(fromEmpty.begin(), fromEmpty.end(), fromFF.begin()));
}

TEST(ZPCoder, OneByteStreamDecodes)
{
    std::vector<int> bits;
    bitsBeforeFailure(Bytes(1, 0xFC), &bits);
    EXPECT_GE(bits.size(), 24u * 8 - 32);
    // 0xFC under a fresh coder: the top bits of the code select the first raw bits.
    AutoPtr<MemoryStorage> in = storageOf(Bytes(1, 0xFC));
    ZPDecoder zp(in, 0, 16);
    uint8_t ctx = 0;
    for (int i = 0; i < 64; ++i)
        zp.decode(ctx);
}

class EndlessEmptyStream : public Morvenix::Stream {
public:
    uint32_t readBytes(void*, uint32_t, bool) override { return 0; }
    void writeBytes(const void*, uint32_t) override {}
    void flushBuffer() override {}
    bool isEof() override { return false; }
    void lock() override {}
    void unlock() override {}
};

TEST(ZPCoder, StreamThatDeliversNothingBeforeItsEndIsAReadError)
{
    AutoPtr<Morvenix::Stream> s(new EndlessEmptyStream);
    try {
        ZPDecoder zp(s, 0, 16);
        FAIL();
    } catch (const Morvenix::Exception& e) {
        EXPECT_EQ(Morvenix::errReadFailed, e.getCode());
        EXPECT_NE(nullptr, strstr(e.what(), "ZPCoder: read error."));
    }
}

TEST(ZPCoder, ByteLimitStopsReadingAtTheLimit)
{
    const std::vector<Step> steps = script(5000, 11, 5);
    std::vector<uint8_t> contexts(5, 0);
    Bytes coded = encodeScript(steps, contexts, 16);
    const uint32_t limit = uint32_t(coded.size());
    Bytes withTail = coded;
    withTail.insert(withTail.end(), 100, 0x00); // decoding these would change the bits
    AutoPtr<MemoryStorage> in = storageOf(withTail);
    ZPDecoder zp(in, limit, 7);
    std::vector<uint8_t> decoded(5, 0);
    size_t wrong = 0;
    for (const Step& s : steps) {
        const int bit = s.kind == 0 ? zp.decode(decoded[size_t(s.context)]) : (s.kind == 1 ? zp.decodeRaw() : zp.decodeRawIW());
        wrong += bit != s.bit;
    }
    EXPECT_EQ(0u, wrong);
    EXPECT_EQ(uint64_t(limit), in->getPos());
}

} // namespace

namespace {

// The coder does not judge its input: any bytes decode until the input runs out, which ends in the one
// clean error. Damaged and random streams must not do anything else.
TEST(ZPCoder, DamagedAndRandomInputDecodesOrFailsCleanly)
{
    const std::vector<Step> steps = script(20000, 5, 12);
    std::vector<uint8_t> contexts(12, 0);
    const Bytes good = encodeScript(steps, contexts, 16);
    std::mt19937 rng(1210);
    int failed = 0;
    for (int round = 0; round < 200; ++round) {
        Bytes m = good;
        switch (rng() % 3) {
        case 0:
            for (unsigned n = 1 + rng() % 8; n; --n)
                m[rng() % m.size()] ^= (unsigned char)(1u << (rng() % 8));
            break;
        case 1:
            m.resize(rng() % m.size());
            break;
        default:
            for (unsigned char& b : m)
                b = (unsigned char)rng();
        }
        AutoPtr<MemoryStorage> in = storageOf(m);
        std::vector<uint8_t> ctx(12, 0);
        try {
            ZPDecoder zp(in, 0, 1 + rng() % 32);
            for (const Step& s : steps) {
                if (s.kind == 0)
                    zp.decode(ctx[size_t(s.context)]);
                else if (s.kind == 1)
                    zp.decodeRaw();
                else
                    zp.decodeRawIW();
            }
        } catch (const Morvenix::Exception& e) {
            EXPECT_NE(nullptr, strstr(e.what(), "preload failed.")) << e.what();
            ++failed;
        }
        for (uint8_t c : ctx)
            ASSERT_LT(c, Morvenix::DjVu::ZPTable::kStateCount);
    }
    EXPECT_GT(failed, 0);
}

} // namespace
