// The IW44 encoder's parameters, chunk budgets, headers and refusals.
#include "iw44_test_support.h"

#include "mvx_exception.h"
#include "test_heap.h"

#include <string>

namespace {

using namespace Iw44Test;
using Morvenix::errInternalError;
using Morvenix::errInvalidParam;
using Morvenix::DjVu::phGray;
using Morvenix::DjVu::phRGB;
using Morvenix::DjVu::phYCC;
typedef IW44Encoder::ChunkConfig ChunkConfig;

std::vector<uint32_t> slicesOf(const IW44Encoder::Params& inParams)
{
    std::vector<uint32_t> slices;
    for (const ChunkConfig& chunk : inParams.chunks)
        slices.push_back(chunk.slices);
    return slices;
}

TEST(Iw44Params, ChunkTablePerKindAndQuality)
{
    const struct {
        uint32_t kind, quality;
        std::vector<uint32_t> slices;
    } cases[] = {
        {0, 75, {100}}, {1, 75, {74, 10, 4, 9}}, {2, 75, {93}}, {3, 75, {100}}, {4, 75, {100}},
        {5, 75, {75}},  {1, 10, {9, 2}},         {1, 0, {1}},   {2, 0, {1}},    {0, 100, {133}},
    };
    for (const auto& c : cases) {
        IW44Encoder::Params params(c.kind, c.quality, 2, 255);
        params.configureChunks(c.kind, c.quality);
        EXPECT_EQ(c.slices, slicesOf(params)) << "kind " << c.kind << " quality " << c.quality;
    }
    IW44Encoder::Params params(1, 75, 2, 255);
    MvxTest::expectThrow([&] { params.configureChunks(1, 101); }, errInvalidParam, "inQuality must be in 0-100");
}

// The first chunk's nine header bytes after serial number and slice count.
Bytes firstHeader(const Image& inImage, const IW44Encoder::Params& inParams)
{
    AutoPtr<IW44Encoder> encoder = encoderOf(inImage, inParams);
    AutoPtr<Chunk> chunk;
    encoder->encodeChunk(chunk);
    const Bytes body = bodyOf(*chunk);
    return Bytes(body.begin(), body.begin() + 9);
}

TEST(Iw44Encoder, FirstHeaderPerKindAndChromaMode)
{
    const Image colour = gradientImage(300, 258);
    const Image grey = flatImage(300, 258, phGray, {90});
    const struct {
        const Image* image;
        uint32_t kind, chromaMode, delay;
        Bytes header;
    } cases[] = {
        {&colour, 1, 2, 255, {0, 74, 0x01, 2, 0x01, 0x2C, 0x01, 0x02, 0x8A}},
        {&colour, 1, 1, 0, {0, 74, 0x01, 2, 0x01, 0x2C, 0x01, 0x02, 0x0A}},
        {&colour, 2, 2, 255, {0, 93, 0x01, 2, 0x01, 0x2C, 0x01, 0x02, 0x80}},
        {&colour, 0, 2, 5, {0, 100, 0x01, 2, 0x01, 0x2C, 0x01, 0x02, 0x85}},
        {&colour, 4, 2, 255, {0, 100, 0x81, 2, 0x01, 0x2C, 0x01, 0x02, 0x80}},
        {&colour, 0, 0, 255, {0, 100, 0x81, 2, 0x01, 0x2C, 0x01, 0x02, 0x80}},
        {&grey, 2, 2, 255, {0, 93, 0x81, 2, 0x01, 0x2C, 0x01, 0x02, 0x80}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.header, firstHeader(*c.image, IW44Encoder::Params(c.kind, 75, c.chromaMode, c.delay)))
            << "kind " << c.kind << " chroma " << c.chromaMode;
}

TEST(Iw44Encoder, BackgroundLayerHasFourChunksWithShortHeadersAfterTheFirst)
{
    const Image image = gradientImage(100, 80);
    AutoPtr<IW44Encoder> encoder = encoderOf(image, IW44Encoder::Params(1, 75, 2, 255));
    const std::vector<AutoPtr<Chunk>> chunks = layerChunks(*encoder);
    ASSERT_EQ(4u, chunks.size());
    const uint32_t slices[] = {74, 10, 4, 9};
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(Morvenix::String("BG44"), chunks[i]->getId()) << i;
        const Bytes body = bodyOf(*chunks[i]);
        EXPECT_EQ(i, body[0]);
        EXPECT_EQ(slices[i], body[1]);
    }
    AutoPtr<Chunk> none;
    encoder->encodeChunk(none);
    EXPECT_FALSE(none);
}

TEST(Iw44Encoder, EncodeReportsTheBodySize)
{
    const Image image = gradientImage(64, 64);
    AutoPtr<IW44Encoder> encoder = encoderOf(image, IW44Encoder::Params(2, 75, 2, 255));
    AutoPtr<Morvenix::MemoryStorage> out = Morvenix::MemoryStorage::create();
    uint32_t size = 0;
    EXPECT_TRUE(encoder->encode(out.get(), &size));
    EXPECT_EQ(out->getSize(), size);
    EXPECT_FALSE(encoder->encode(out.get(), &size));
}

TEST(Iw44Encoder, ByteBudgetBoundsTheChunk)
{
    const Image image = gradientImage(200, 200, 60);
    IW44Encoder::Params params(0, 75, 2, 255);
    params.chunks.append({0, 1500});
    params.chunks.append({0, 100000});
    AutoPtr<IW44Encoder> encoder = encoderOf(image, params);
    const std::vector<AutoPtr<Chunk>> chunks = layerChunks(*encoder);
    ASSERT_EQ(2u, chunks.size());
    const size_t first = bodyOf(*chunks[0]).size() - 9;
    EXPECT_GE(first, 1500u);
    EXPECT_LT(first, 1700u);
}

int stopAfterEachSlice(IW44Encoder*, uint32_t, uint32_t, uint32_t, uintptr_t)
{
    return 1;
}
int abandon(IW44Encoder*, uint32_t, uint32_t, uint32_t, uintptr_t)
{
    return 2;
}

TEST(Iw44Encoder, CallbackEndsTheChunkOrAbandonsTheLayer)
{
    const Image image = gradientImage(40, 40);
    IW44Encoder::Params params(0, 75, 2, 255);
    params.callback = stopAfterEachSlice;
    AutoPtr<IW44Encoder> encoder = encoderOf(image, params);
    for (uint32_t i = 0; i < 3; ++i) {
        AutoPtr<Chunk> chunk;
        encoder->encodeChunk(chunk);
        ASSERT_TRUE(chunk);
        EXPECT_EQ(1u, bodyOf(*chunk)[1]);
    }
    params.callback = abandon;
    encoder = encoderOf(image, params);
    AutoPtr<Chunk> chunk;
    encoder->encodeChunk(chunk);
    EXPECT_FALSE(chunk);
    encoder->encodeChunk(chunk);
    EXPECT_FALSE(chunk);
}

TEST(Iw44Encoder, UnboundedChunkCodesEverySlice)
{
    const Image image = gradientImage(40, 40);
    IW44Encoder::Params params(0, 75, 0, 255);
    params.chunks.append({0, 100000});
    AutoPtr<IW44Encoder> encoder = encoderOf(image, params);
    const std::vector<AutoPtr<Chunk>> chunks = layerChunks(*encoder);
    ASSERT_EQ(1u, chunks.size());
    EXPECT_EQ(200u, bodyOf(*chunks[0])[1]);
}

TEST(Iw44Encoder, MeanSquaredErrorNeedsAChunkAndFalls)
{
    const Image image = gradientImage(80, 60);
    AutoPtr<IW44Encoder> encoder = encoderOf(image, IW44Encoder::Params(1, 75, 2, 255));
    MvxTest::expectThrow([&] { encoder->calculateMSE(); }, errInternalError,
                         "calculateMSE cannot be called before start encoding.");
    AutoPtr<Chunk> chunk;
    encoder->encodeChunk(chunk);
    const float first = encoder->calculateMSE();
    encoder->encodeChunk(chunk);
    EXPECT_LT(encoder->calculateMSE(), first);
}

// The luminance first, then the two colour differences signed around 0, as the page encoder reads them.
TEST(Iw44Encoder, LuminanceBytesCodeAsTheirColourImage)
{
    const Image rgb = gradientImage(57, 41);
    Image ycc{rgb.width, rgb.height, phYCC, Bytes()};
    for (size_t i = 0; i < rgb.pixels.size(); i += 3) {
        const int32_t r = rgb.pixels[i], g = rgb.pixels[i + 1], b = rgb.pixels[i + 2];
        const int32_t half = 1 << 15; // the matrix rounds to the nearest level
        const int32_t cb = (34193 * b - 22795 * g - 11398 * r + half) >> 16;
        ycc.pixels.push_back(uint8_t((19946 * r + 39891 * g + 5699 * b + half) >> 16));
        ycc.pixels.push_back(uint8_t(int8_t(cb < -128 ? -128 : cb > 127 ? 127 : cb)));
        ycc.pixels.push_back(uint8_t(int8_t((30393 * r - 26594 * g - 3799 * b + half) >> 16)));
    }
    for (uint32_t chromaMode : {1u, 2u}) {
        const IW44Encoder::Params params(1, 75, chromaMode, 255);
        AutoPtr<IW44Encoder> a = encoderOf(rgb, params);
        AutoPtr<IW44Encoder> b = encoderOf(ycc, params);
        const std::vector<AutoPtr<Chunk>> ca = layerChunks(*a), cb = layerChunks(*b);
        ASSERT_EQ(ca.size(), cb.size());
        for (size_t i = 0; i < ca.size(); ++i)
            EXPECT_EQ(bodyOf(*ca[i]), bodyOf(*cb[i])) << "chunk " << i << " chroma " << chromaMode;
    }
}

// The planes (512 KB each here) and the coefficient maps come from the library's arrays: running out of
// memory in either is the library's exception, not the run-time's.
TEST(Iw44Encoder, RunningOutOfMemoryIsTheLibrarysException)
{
    const Image image = gradientImage(512, 512);
    const struct {
        const char* name;
        uint32_t largest;
        uint64_t total;
    } cases[] = {{"no room for a plane", 256 * 1024, UINT64_MAX}, {"no room for the maps", UINT32_MAX, 2 << 20}};
    for (const auto& c : cases) {
        const MvxTest::TestHeap::Scope scarce({c.total, c.largest});
        const IW44Encoder::Params params(1, 75, 2, 255);
        AutoPtr<IW44Encoder> encoder = encoderOf(image, params);
        AutoPtr<Chunk> chunk;
        MvxTest::expectThrow([&] { encoder->encodeChunk(chunk); }, Morvenix::errOutOfMemory);
    }
}

TEST(Iw44Encoder, RefusesBadSizesStepsAndBudgets)
{
    const Bytes pixels(64 * 3, 0);
    const IW44Encoder::Params params(1, 75, 2, 255);
    const struct {
        int32_t stride;
        uint32_t width, height;
        Photometric photometric;
    } bad[] = {
        {30, 0, 4, phRGB}, {30, 10, 0, phRGB}, {29, 10, 4, phRGB}, {-29, 10, 4, phRGB},
        {9, 10, 4, phGray}, {0, 1, 1, phGray}, {300000, 65536, 1, phGray},
    };
    for (const auto& c : bad)
        MvxTest::expectThrow(
            [&] { IW44Encoder::create(pixels.data(), c.stride, c.photometric, c.width, c.height, &params); },
            errInvalidParam);
    MvxTest::expectThrow([&] { IW44Encoder::create(pixels.data(), 3, phRGB, 1, 1, nullptr); }, errInvalidParam);

    IW44Encoder::Params tooMany(0, 75, 2, 255);
    tooMany.chunks.append({256, 0});
    MvxTest::expectThrow([&] { IW44Encoder::create(pixels.data(), 3, phRGB, 1, 1, &tooMany); }, errInvalidParam,
                         "255 slices");
    IW44Encoder::Params tooLong(0, 75, 2, 255);
    for (uint32_t i = 0; i < 257; ++i)
        tooLong.chunks.append({1, 0});
    MvxTest::expectThrow([&] { IW44Encoder::create(pixels.data(), 3, phRGB, 1, 1, &tooLong); }, errInvalidParam,
                         "256 chunks");

    IW44Encoder::Params empty(0, 75, 2, 255);
    empty.chunks.append({0, 0});
    AutoPtr<IW44Encoder> encoder = IW44Encoder::create(pixels.data(), 3, phRGB, 1, 1, &empty);
    AutoPtr<Chunk> chunk;
    MvxTest::expectThrow([&] { encoder->encodeChunk(chunk); }, errInvalidParam,
                         "Both of slices and bytes of ChunkConfig are 0.");
    encoder = IW44Encoder::create(pixels.data(), 3, Photometric(4), 1, 1, &params);
    MvxTest::expectThrow([&] { encoder->encodeChunk(chunk); }, errInvalidParam, "Not supported Photometric.");
}

} // namespace
