#include "mvx_random.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

using MvxTest::expectThrow;

namespace {

TEST(Random, ZeroBytesTouchNothing)
{
    unsigned char buffer[8];
    std::memset(buffer, 0x5A, sizeof buffer);
    Morvenix::generateRandom(buffer, 0);
    for (unsigned char b : buffer)
        EXPECT_EQ(0x5A, b);
    Morvenix::generateRandom(nullptr, 0);
    expectThrow([] { Morvenix::generateRandom(nullptr, 4); }, Morvenix::errInvalidParam);
}

TEST(Random, CallsGiveDifferentBytes)
{
    std::set<std::array<unsigned char, 16>> seen;
    for (int i = 0; i < 50; ++i) {
        std::array<unsigned char, 16> a;
        Morvenix::generateRandom(a.data(), 16);
        EXPECT_TRUE(seen.insert(a).second) << "a 16-byte value came twice";
    }
}

// Exactly the count is written, and the bytes look uniform: every value turns up, none far too often.
TEST(Random, FillsExactlyTheCountWithSpreadBytes)
{
    const size_t count = 1 << 20;
    std::vector<unsigned char> buffer(count + 64, 0xA5);
    Morvenix::generateRandom(buffer.data(), uint32_t(count));
    for (size_t i = count; i < buffer.size(); ++i)
        ASSERT_EQ(0xA5, buffer[i]) << "written past the count at " << i;
    size_t histogram[256] = {};
    for (size_t i = 0; i < count; ++i)
        ++histogram[buffer[i]];
    // The expectation is 4096 a value; 4096 +- 600 is more than nine standard deviations.
    for (int v = 0; v < 256; ++v) {
        EXPECT_GT(histogram[v], 3496u) << v;
        EXPECT_LT(histogram[v], 4696u) << v;
    }
}

TEST(Random, ConcurrentCallers)
{
    std::atomic<int> failures(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                unsigned char a[32] = {}, zero[32] = {};
                try {
                    Morvenix::generateRandom(a, sizeof a);
                } catch (...) {
                    ++failures;
                }
                if (std::memcmp(a, zero, sizeof a) == 0)
                    ++failures;
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(0, failures.load());
}

} // namespace
