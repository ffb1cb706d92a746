// The block sort against a plain prefix-doubling suffix sort written for the test.
#include "bzz_test_data.h"
#include "djv_blocksort.h"
#include "mvx_exception.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

using BzzTest::Bytes;
using Morvenix::DjVu::CompressStream::BlockSort;

namespace {

// The transform by definition: data plus the marker (smaller than every byte) sorted as suffixes.
Bytes expectedTransform(const Bytes& inData, uint32_t& outMarker)
{
    const size_t n = inData.size() + 1;
    std::vector<int> rank(n), next(n), sa(n);
    for (size_t i = 0; i < n; ++i)
        rank[i] = i + 1 < n ? inData[i] + 1 : 0;
    std::iota(sa.begin(), sa.end(), 0);
    for (size_t k = 1;; k *= 2) {
        auto key = [&](int i) { return std::make_pair(rank[size_t(i)], size_t(i) + k < n ? rank[size_t(i) + k] : -1); };
        std::sort(sa.begin(), sa.end(), [&](int a, int b) { return key(a) < key(b); });
        next[size_t(sa[0])] = 0;
        for (size_t i = 1; i < n; ++i)
            next[size_t(sa[i])] = next[size_t(sa[i - 1])] + (key(sa[i - 1]) < key(sa[i]) ? 1 : 0);
        rank = next;
        if (size_t(rank[size_t(sa[n - 1])]) == n - 1)
            break;
    }
    Bytes out(n);
    for (size_t r = 0; r < n; ++r) {
        if (sa[r] == 0) {
            out[r] = 0;
            outMarker = uint32_t(r);
        } else {
            out[r] = inData[size_t(sa[r]) - 1];
        }
    }
    return out;
}

Bytes ourTransform(const Bytes& inData, uint32_t& outMarker)
{
    Bytes block(inData);
    block.push_back(0xA5); // the marker's byte is never read as data
    outMarker = uint32_t(inData.size());
    BlockSort(block.data(), uint32_t(block.size())).run(outMarker);
    return block;
}

Bytes fibonacciWord(size_t inSize)
{
    std::string a = "a", b = "ab";
    while (b.size() < inSize) {
        std::string c = b + a;
        a = b;
        b = c;
    }
    b.resize(inSize);
    return Bytes(b.begin(), b.end());
}

TEST(BlockSort, MatchesTheDefinition)
{
    struct Case {
        const char* name;
        Bytes data;
    };
    std::vector<Case> cases = {
        {"empty", Bytes()},
        {"one byte", Bytes{7}},
        {"zero byte", Bytes{0}},
        {"zeros", Bytes(300, 0)},
        {"zeros across the radix limit", Bytes(40000, 0)},
        {"run", Bytes(5000, 'a')},
        {"two runs", Bytes(3000, 'b')},
        {"ascending", Bytes()},
        {"two symbols", BzzTest::randomBytes(20000, 1, 2)},
        {"three symbols", BzzTest::randomBytes(33000, 2, 3)},
        {"random small", BzzTest::randomBytes(11, 3)},
        {"random", BzzTest::randomBytes(50000, 4)},
        {"text", BzzTest::text(70000, 5)},
        {"mixed", BzzTest::mixed(120000, 6)},
        {"fibonacci", fibonacciWord(45000)},
        {"exactly the radix limit", BzzTest::randomBytes(32767, 7, 4)},
        {"one past the radix limit", BzzTest::randomBytes(32768, 8, 4)},
    };
    cases[6].data.insert(cases[6].data.end(), 3000, 'a');
    for (int i = 0; i < 1000; ++i)
        cases[7].data.push_back((unsigned char)(i % 256));
    Bytes period;
    for (int i = 0; i < 60000; ++i)
        period.push_back((unsigned char)("abracadabra"[i % 11]));
    cases.push_back({"periodic", period});
    Bytes endsInZeros = BzzTest::text(1000, 9);
    endsInZeros.insert(endsInZeros.end(), 20, 0);
    cases.push_back({"ends in zeros", endsInZeros});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t expectedMarker = 0, marker = 0;
        const Bytes expected = expectedTransform(c.data, expectedMarker);
        const Bytes ours = ourTransform(c.data, marker);
        EXPECT_EQ(expectedMarker, marker);
        EXPECT_TRUE(expected == ours);
    }
}

TEST(BlockSort, RandomSmallBlocks)
{
    std::mt19937 rng(42);
    for (int i = 0; i < 300; ++i) {
        const Bytes data = BzzTest::randomBytes(rng() % 200, rng(), 1 + int(rng() % 4));
        uint32_t expectedMarker = 0, marker = 0;
        const Bytes expected = expectedTransform(data, expectedMarker);
        const Bytes ours = ourTransform(data, marker);
        ASSERT_EQ(expectedMarker, marker) << i;
        ASSERT_TRUE(expected == ours) << i;
    }
}

TEST(BlockSort, MarkerMustBeTheLastSymbol)
{
    Bytes block{1, 2, 3, 0};
    for (uint32_t marker : {0u, 2u, 4u}) {
        try {
            BlockSort(block.data(), uint32_t(block.size())).run(marker);
            FAIL() << marker;
        } catch (const Morvenix::Exception& e) {
            EXPECT_EQ(Morvenix::errOperationFailed, e.getCode());
            EXPECT_NE(nullptr, strstr(e.what(), "Invalid marker in block sorting"));
        }
    }
}

} // namespace
