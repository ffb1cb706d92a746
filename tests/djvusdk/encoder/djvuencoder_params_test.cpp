// The page encoder's parameter block: its defaults and its copies.
#include "djv_djvuencoder.h"

#include <gtest/gtest.h>

using namespace Morvenix::DjVu;

namespace {

TEST(DjVuEncoderParams, DefaultsOfTheExporterBlock)
{
    const DjVuEncoder::Params p(DjVuEncoder::emAuto, 12, 75, 3, 75);
    EXPECT_EQ(4u, p.mode);
    EXPECT_EQ(12u, p.fgSubsample);
    EXPECT_EQ(3u, p.bgSubsample);
    const IW44::IW44Encoder::Params* layers[2] = {&p.fgParams, &p.bgParams};
    for (uint32_t i = 0; i < 2; ++i) {
        EXPECT_EQ(2u - i, layers[i]->kind);
        EXPECT_EQ(75u, layers[i]->quality);
        EXPECT_EQ(2u, layers[i]->chromaMode);
        EXPECT_EQ(255u, layers[i]->crcbDelay);
        EXPECT_EQ(0u, layers[i]->chunks.count());
        EXPECT_EQ(nullptr, layers[i]->callback);
    }
    EXPECT_EQ(16u, p.segmenterParams.blockSize);
    EXPECT_EQ(4u, p.segmenterParams.noiseSize);
    EXPECT_EQ(8u, p.segmenterParams.noiseContrast);
    EXPECT_FALSE(p.segmenterParams.detectEdges || p.segmenterParams.expandFully ||
                 p.segmenterParams.uniformForeground);
    EXPECT_EQ(21u, p.jb2Params.matchThreshold);
    EXPECT_EQ(1u, p.jb2Params.secondCompare);
    EXPECT_EQ(256u, p.jb2Params.paletteLimit);
    EXPECT_EQ(0u, p.flags);
}

TEST(DjVuEncoderParams, CopyHoldsItsOwnChunkBudgets)
{
    DjVuEncoder::Params p(DjVuEncoder::emCompoundBoth, 6, 50, 2, 90);
    p.bgParams.chunks.append(IW44::IW44Encoder::ChunkConfig{10, 0});
    p.bgParams.chunks.append(IW44::IW44Encoder::ChunkConfig{0, 2000});
    DjVuEncoder::Params copy(p);
    p.bgParams.chunks[0].slices = 99;
    ASSERT_EQ(2u, copy.bgParams.chunks.count());
    EXPECT_EQ(10u, copy.bgParams.chunks[0].slices);
    EXPECT_EQ(2000u, copy.bgParams.chunks[1].bytes);
    EXPECT_EQ(50u, copy.fgParams.quality);
    EXPECT_EQ(90u, copy.bgParams.quality);
    EXPECT_EQ(6u, copy.fgSubsample);
}

} // namespace
