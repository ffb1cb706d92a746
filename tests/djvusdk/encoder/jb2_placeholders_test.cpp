// The deferred JB2 chunks: bytes made once, on the first request or at the flush, and never by load.
#include "djv_jb2placeholders.h"
#include "encoder_test_support.h"
#include "test_support.h"

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;
using _Mvx_Internal_NS_::ChunkDjbz;
using _Mvx_Internal_NS_::ChunkFGbz;
using _Mvx_Internal_NS_::ChunkSjbz;

namespace {

AutoPtr<JB2Encoder> encoderWithPage(bool inBlank = false)
{
    const MvxTest::NetpbmImage page = EncoderTest::drawPage(120, 80, 3);
    std::vector<uint8_t> mask = EncoderTest::darkMask(page);
    if (inBlank)
        std::fill(mask.begin(), mask.end(), uint8_t(255));
    AutoPtr<JB2Encoder> encoder = JB2Encoder::create(nullptr);
    encoder->addPage(mask.data(), 120, mtBytes, 120, 80, page.pixels.data(), 360, phRGB, nullptr);
    return encoder;
}

TEST(Jb2Placeholders, EarlyRequestEncodesOnceAndLaterEncodeKeepsTheBytes)
{
    AutoPtr<JB2Encoder> jb2 = encoderWithPage();
    AutoPtr<ChunkSjbz> sjbz(new ChunkSjbz("Sjbz", jb2, 0));
    EXPECT_FALSE(sjbz->isLoaded());
    sjbz->load(nullptr, nullptr);
    EXPECT_FALSE(sjbz->isLoaded()) << "load must not encode";
    AutoPtr<Data> first = sjbz->getData();
    ASSERT_TRUE(first);
    EXPECT_GT(first->getSize(), 0u);
    EXPECT_TRUE(sjbz->isLoaded());
    sjbz->encode();
    EXPECT_EQ(first.get(), sjbz->getData().get());
    EXPECT_EQ("Sjbz", std::string(sjbz->getId().c_str()));
}

TEST(Jb2Placeholders, DroppedPlaceholderHasNoData)
{
    AutoPtr<ChunkDjbz> djbz(new ChunkDjbz("Djbz", encoderWithPage()));
    djbz->discard();
    EXPECT_FALSE(djbz->getData());
    EXPECT_FALSE(djbz->isLoaded());
}

TEST(Jb2Placeholders, EmptyPayloadGivesDataOfSizeZero)
{
    AutoPtr<JB2Encoder> jb2 = encoderWithPage(true);
    AutoPtr<ChunkDjbz> djbz(new ChunkDjbz("Djbz", jb2));
    AutoPtr<ChunkFGbz> fgbz(new ChunkFGbz("FGbz", jb2, 0));
    djbz->encode();
    ASSERT_TRUE(djbz->getData());
    EXPECT_EQ(0u, djbz->getData()->getSize());
    ASSERT_TRUE(fgbz->getData());
}

TEST(Jb2Placeholders, CollectionOperationsThrow)
{
    AutoPtr<ChunkSjbz> sjbz(new ChunkSjbz("Sjbz", AutoPtr<JB2Encoder>(), 0));
    MvxTest::expectThrow([&] { sjbz->getChildren(); }, errOperationFailed, "Not a collection chunk!");
    MvxTest::expectThrow([&] { sjbz->find("INFO", Chunk::notFound, false); }, errOperationFailed,
                         "Not a collection chunk!");
    MvxTest::expectThrow([&] { sjbz->setSecurityProvider(nullptr); }, errOperationFailed,
                         "Only collection chunk can have SecurityProvider!");
    EXPECT_FALSE(sjbz->getData()) << "a null encoder gives nothing";
}

} // namespace
