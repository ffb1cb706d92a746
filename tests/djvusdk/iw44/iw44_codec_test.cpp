// The wavelet transform, the coefficient map and the slice schedule of one plane.
#include "djv_iw44codec.h"
#include "djv_iw44transform.h"
#include "mvx_memstorage.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

using namespace Morvenix::DjVu::IW44;
using Morvenix::AutoPtr;

TEST(Iw44Map, CoefficientOrderCoversTheTileOnce)
{
    EXPECT_EQ(0x0000, zigzagPosition(0));
    EXPECT_EQ(0x0010, zigzagPosition(1)); // x 16
    EXPECT_EQ(0x1000, zigzagPosition(2)); // y 16
    EXPECT_EQ(0x1010, zigzagPosition(3));
    std::set<uint16_t> seen;
    for (uint32_t j = 0; j < 1024; ++j)
        seen.insert(zigzagPosition(j));
    EXPECT_EQ(1024u, seen.size());
}

TEST(Iw44Transform, SingleSampleStaysAsItIs)
{
    std::vector<int16_t> plane(32 * 32, 0);
    plane[0] = -1234;
    forwardTransform(plane.data(), 1, 1, 32);
    EXPECT_EQ(-1234, plane[0]);
    for (size_t i = 1; i < plane.size(); ++i)
        ASSERT_EQ(0, plane[i]) << i;
}

TEST(Iw44Transform, TouchesOnlyTheImageArea)
{
    std::vector<int16_t> plane(64 * 64, 77);
    for (uint32_t y = 0; y < 33; ++y)
        for (uint32_t x = 0; x < 33; ++x)
            plane[y * 64 + x] = int16_t((x * 37 + y * 11) % 200 * 64 - 6000);
    forwardTransform(plane.data(), 33, 33, 64);
    for (uint32_t y = 0; y < 64; ++y)
        for (uint32_t x = 0; x < 64; ++x) {
            if (x >= 33 || y >= 33) {
                ASSERT_EQ(77, plane[y * 64 + x]) << x << "," << y;
            }
        }
}

TEST(Iw44Transform, ConstantPlaneKeepsOnlyTheCoarsestSamples)
{
    const uint32_t sizes[][2] = {{64, 64}, {70, 45}, {33, 33}};
    for (const auto& size : sizes) {
        const uint32_t w = size[0], h = size[1];
        ComponentEncoder encoder(w, h);
        const Map& map = encoder.coefficients();
        std::vector<int16_t> plane(size_t(map.paddedWidth()) * map.paddedHeight(), 0);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
                plane[y * map.paddedWidth() + x] = 3200;
        encoder.decomposePlane(plane.data());
        for (uint32_t block = 0; block < map.blockCount(); ++block)
            for (uint32_t b = 0; b < Map::kBucketsPerBlock; ++b) {
                const int16_t* bucket = map.bucket(block, b);
                ASSERT_NE(nullptr, bucket);
                for (uint32_t i = 0; i < 16; ++i)
                    ASSERT_EQ(b == 0 && i == 0 ? 3200 : 0, bucket[i]) << w << "x" << h << " block " << block
                                                                     << " bucket " << b << " at " << i;
            }
    }
}

TEST(Iw44Codec, ResolutionCutKeepsTheCoarseBuckets)
{
    const struct {
        uint32_t level, kept;
    } cases[] = {{1, 64}, {2, 16}, {3, 16}, {4, 4}, {7, 4}, {8, 1}};
    for (const auto& c : cases) {
        ComponentEncoder encoder(40, 40);
        std::vector<int16_t> plane(64 * 64, 100);
        encoder.decomposePlane(plane.data());
        encoder.cutResolution(c.level);
        for (uint32_t block = 0; block < 4; ++block)
            for (uint32_t b = 0; b < 64; ++b)
                EXPECT_EQ(b < c.kept, encoder.coefficients().bucket(block, b) != nullptr)
                    << "level " << c.level << " bucket " << b;
    }
}

TEST(Iw44Codec, PlaneEndsAfterTwoHundredSlicesAndErrorFalls)
{
    ComponentEncoder encoder(50, 40);
    std::vector<int16_t> plane(64 * 64, 0);
    for (uint32_t y = 0; y < 40; ++y)
        for (uint32_t x = 0; x < 50; ++x)
            plane[y * 64 + x] = int16_t(((x * 7 + y * 13) % 255 - 128) * 64);
    encoder.decomposePlane(plane.data());
    AutoPtr<Morvenix::MemoryStorage> out = Morvenix::MemoryStorage::create();
    Morvenix::DjVu::ZPEncoder coder(AutoPtr<Morvenix::Stream>(out), 0);
    float last = encoder.estimateMSE();
    EXPECT_GT(last, 100.0f);
    uint32_t slices = 0;
    while (encoder.codeSlice(coder)) {
        ++slices;
        if (slices % 10 == 0) {
            const float mse = encoder.estimateMSE();
            EXPECT_LE(mse, last) << slices;
            last = mse;
        }
    }
    EXPECT_EQ(199u, slices); // the 200th slice reports the end
    EXPECT_LT(last, 0.1f);
    EXPECT_FALSE(encoder.codeSlice(coder));
}

} // namespace
