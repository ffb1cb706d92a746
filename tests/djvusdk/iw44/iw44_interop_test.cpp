// IW44 layers written by the encoder and decoded by ddjvu: page backgrounds in colour and grey, slice by
// slice in step with an independent decoder.
#include "djv_imageutils.h"
#include "iw44_test_support.h"

#include <string>

namespace {

using namespace Iw44Test;
using Morvenix::DjVu::phBGR;
using Morvenix::DjVu::phGray;
using Morvenix::DjVu::Photometric;
using Morvenix::DjVu::phRGB;
using Morvenix::DjVu::phYCC;

class Iw44Interop : public MvxTest::DjVuFormTest {
protected:
    // The page of INFO and the chunks, as ddjvu renders it in colour.
    MvxTest::NetpbmImage render(const Image& inImage, const std::vector<AutoPtr<Chunk>>& inChunks,
                                const std::string& inName)
    {
        AutoPtr<Morvenix::DjVu::ChunkCollection> page = MvxTest::pageForm(inImage.width, inImage.height, inChunks);
        writeDocument(page.get(), inName);
        return decode(inName, 1, "-format=ppm");
    }

    // PSNR of the decode after each chunk of the layer.
    std::vector<double> psnrPerChunk(const Image& inImage, const IW44Encoder::Params& inParams,
                                     const std::string& inName)
    {
        AutoPtr<IW44Encoder> encoder = encoderOf(inImage, inParams);
        const std::vector<AutoPtr<Chunk>> chunks = layerChunks(*encoder);
        std::vector<double> result;
        for (size_t n = 1; n <= chunks.size(); ++n) {
            const std::vector<AutoPtr<Chunk>> first(chunks.begin(), chunks.begin() + long(n));
            result.push_back(psnr(inImage, render(inImage, first, inName + std::to_string(n) + ".djvu")));
        }
        return result;
    }

    // The page file c44 makes of the picture at the background's slices (74+10+4+9).
    MvxTest::Bytes c44Page(const Image& inImage, const std::string& inName)
    {
        const std::string header =
            "P6\n" + std::to_string(inImage.width) + " " + std::to_string(inImage.height) + "\n255\n";
        Bytes ppm(header.begin(), header.end());
        ppm.insert(ppm.end(), inImage.pixels.begin(), inImage.pixels.end());
        MvxTest::writeFile(path(inName + ".ppm"), ppm);
        run("c44 -slice 74+10+4+9 " + host(inName + ".ppm") + " " + host(inName + ".djvu"));
        return MvxTest::readFile(path(inName + ".djvu"));
    }
};

TEST_F(Iw44Interop, BackgroundGetsBetterWithEachChunkInBothChromaModes)
{
    const Image image = gradientImage(211, 157, 6);
    for (uint32_t chromaMode : {1u, 2u}) {
        const IW44Encoder::Params params(1, 75, chromaMode, 255);
        const std::vector<double> quality = psnrPerChunk(image, params, "bg" + std::to_string(chromaMode) + "-");
        ASSERT_EQ(4u, quality.size());
        EXPECT_GT(quality[0], 22.0) << "chroma mode " << chromaMode;
        for (size_t i = 1; i < quality.size(); ++i)
            EXPECT_GE(quality[i], quality[i - 1]) << "chunk " << i + 1 << ", chroma mode " << chromaMode;
        EXPECT_GT(quality.back(), quality.front() + 1.0) << "chroma mode " << chromaMode;
        EXPECT_GT(quality.back(), 30.0) << "chroma mode " << chromaMode;
    }
}

TEST_F(Iw44Interop, FlatGreyDecodesToItsLevel)
{
    for (uint32_t level : {0u, 1u, 37u, 127u, 128u, 200u, 254u, 255u}) {
        const Image image = flatImage(40, 30, phGray, {uint8_t(level)});
        AutoPtr<IW44Encoder> encoder = encoderOf(image, IW44Encoder::Params(1, 75, 2, 255));
        const MvxTest::NetpbmImage decoded = render(image, layerChunks(*encoder), "grey.djvu");
        ASSERT_EQ(40u, decoded.width);
        EXPECT_EQ(level * 0x010101u, decoded.rgb(0, 0)) << "level " << level;
        EXPECT_EQ(level * 0x010101u, decoded.rgb(39, 29)) << "level " << level;
    }
}

// What the page encoder puts into layer cells that get no pixel: white in every layout.
TEST_F(Iw44Interop, WhiteFillDecodesWhite)
{
    for (Photometric photometric : {phRGB, phBGR, phGray, phYCC}) {
        Image image{40, 30, photometric, Bytes()};
        image.pixels.resize(size_t(image.stride()) * image.height);
        Morvenix::DjVu::Imaging::fillWhite(image.pixels.data(), image.stride(), image.width, image.height,
                                           photometric);
        AutoPtr<IW44Encoder> encoder = encoderOf(image, IW44Encoder::Params(1, 75, 2, 255));
        const std::string name = "white" + std::to_string(photometric) + ".djvu";
        const MvxTest::NetpbmImage decoded = render(image, layerChunks(*encoder), name);
        ASSERT_EQ(40u, decoded.width) << name;
        EXPECT_EQ(0xFFFFFFu, decoded.rgb(0, 0)) << name;
        EXPECT_EQ(0xFFFFFFu, decoded.rgb(39, 29)) << name;
    }
}

TEST_F(Iw44Interop, FlatColourDecodesClose)
{
    const Image image = flatImage(64, 48, phBGR, {0x30, 0xA0, 0xE0});
    AutoPtr<IW44Encoder> encoder = encoderOf(image, IW44Encoder::Params(1, 75, 2, 255));
    const MvxTest::NetpbmImage decoded = render(image, layerChunks(*encoder), "flat.djvu");
    ASSERT_EQ(64u, decoded.width);
    for (uint32_t c = 0; c < 3; ++c)
        EXPECT_NEAR(image.pixels[2 - c], decoded.at(31, 20)[c], 3) << "channel " << c;
}

// Sizes where the tiles and the transform's edge rules meet the image's border.
TEST_F(Iw44Interop, OddSizesDecode)
{
    const struct {
        uint32_t width, height;
    } sizes[] = {{1, 1}, {33, 33}, {37, 23}, {2, 95}, {129, 3}};
    for (const auto& size : sizes) {
        const Image image = gradientImage(size.width, size.height, 8);
        AutoPtr<IW44Encoder> encoder = encoderOf(image, IW44Encoder::Params(1, 100, 2, 255));
        const std::string name = std::to_string(size.width) + "x" + std::to_string(size.height) + ".djvu";
        const MvxTest::NetpbmImage decoded = render(image, layerChunks(*encoder), name);
        EXPECT_EQ(size.width, decoded.width) << name;
        EXPECT_GT(psnr(image, decoded), 30.0) << name;
    }
}

// c44 and we both apply the reference colour matrix rounded to the nearest level and then code the same
// wavelet slices, so a colour picture gives the same chunks byte for byte.
TEST_F(Iw44Interop, ColourChunksAreThoseOfC44)
{
    ASSERT_NO_FATAL_FAILURE(MvxTest::requireHostTools({"c44"}));
    const Image images[] = {gradientImage(100, 80, 12), gradientImage(37, 23, 40)};
    for (const Image& image : images) {
        const std::string name = std::to_string(image.width) + "x" + std::to_string(image.height);
        AutoPtr<IW44Encoder> encoder = encoderOf(image, IW44Encoder::Params(1, 75, 2, 255));
        std::vector<Bytes> ours;
        for (const AutoPtr<Chunk>& chunk : layerChunks(*encoder))
            ours.push_back(bodyOf(*chunk));
        EXPECT_EQ(MvxTest::findChunks(c44Page(image, name), "BG44"), ours) << name;
    }
}

// c44 codes the same slices of the same colour photo; our decode must be as good for no more bytes.
TEST_F(Iw44Interop, BackgroundQualityIsCloseToC44AtTheSameSlices)
{
    ASSERT_NO_FATAL_FAILURE(MvxTest::requireHostTools({"c44"}));
    const Image image = gradientImage(256, 192, 12);
    AutoPtr<IW44Encoder> encoder = encoderOf(image, IW44Encoder::Params(1, 75, 2, 255));
    const std::vector<AutoPtr<Chunk>> chunks = layerChunks(*encoder);
    ASSERT_EQ(4u, chunks.size());
    size_t ourBytes = 0;
    for (const AutoPtr<Chunk>& chunk : chunks)
        ourBytes += bodyOf(*chunk).size();
    const double ours = psnr(image, render(image, chunks, "ours.djvu"));

    size_t theirBytes = 0;
    for (const Bytes& body : MvxTest::findChunks(c44Page(image, "c44"), "BG44"))
        theirBytes += body.size();
    const double theirs = psnr(image, decode("c44.djvu", 1, "-format=ppm"));

    EXPECT_GE(ours, theirs - 0.3) << "c44 " << theirs << " dB";
    EXPECT_LE(ourBytes, theirBytes + theirBytes / 50) << "c44 " << theirBytes << " bytes";
}

// Past about 150 slices some thresholds have fallen to 0: those bands are null for a decoder too.
TEST_F(Iw44Interop, TwoHundredSlicesStayInStepWithTheDecoder)
{
    const Image image = gradientImage(70, 50, 40);
    IW44Encoder::Params params(1, 75, 2, 255);
    params.chunks.append({200, 0});
    params.chunks.append({40, 0});
    AutoPtr<IW44Encoder> encoder = encoderOf(image, params);
    const std::vector<AutoPtr<Chunk>> chunks = layerChunks(*encoder);
    ASSERT_EQ(2u, chunks.size());
    // Luminance runs out at slice 200; chroma, delayed by 10 slices, fills the second chunk.
    EXPECT_EQ(200u, bodyOf(*chunks[0])[1]);
    EXPECT_GT(psnr(image, render(image, chunks, "full.djvu")), 45.0);
}

TEST_F(Iw44Interop, GreyPhotoDecodes)
{
    const Image colour = gradientImage(90, 66);
    Image grey{colour.width, colour.height, phGray, Bytes()};
    for (size_t i = 0; i < colour.pixels.size(); i += 3)
        grey.pixels.push_back(colour.pixels[i + 1]);
    IW44Encoder::Params params(1, 75, 2, 255);
    const std::vector<double> quality = psnrPerChunk(grey, params, "grey-");
    ASSERT_EQ(4u, quality.size());
    EXPECT_GT(quality.back(), quality.front() + 1.0);
    EXPECT_GT(quality.back(), 30.0);
}

// The photo and bitonal-era kinds stand as forms of their own ("FORM:PM44" of "PM44" chunks and likewise
// "BM44", which is always grey); decoders still read them as IW44 pictures.
TEST_F(Iw44Interop, PictureFormsOfTheirOwnKindDecode)
{
    const Image colour = gradientImage(90, 66, 6);
    Image grey{colour.width, colour.height, phGray, Bytes()};
    for (size_t i = 0; i < colour.pixels.size(); i += 3)
        grey.pixels.push_back(colour.pixels[i + 1]);
    const struct {
        uint32_t kind;
        const char* id;
        const Image& image;
    } cases[] = {{3, "PM44", colour}, {4, "BM44", grey}};
    for (const auto& c : cases) {
        AutoPtr<IW44Encoder> encoder = encoderOf(c.image, IW44Encoder::Params(c.kind, 75, 2, 255));
        AutoPtr<Morvenix::DjVu::ChunkCollection> form = Morvenix::DjVu::ChunkCollection::create(c.id);
        for (const AutoPtr<Chunk>& chunk : layerChunks(*encoder))
            form->getChildren().append(chunk);
        const std::string name = std::string(c.id) + ".djvu";
        // The document modes only write "DJVU" and "DJVM" roots; a bare tree is what these files are.
        AutoPtr<Morvenix::MemoryStorage> out = Morvenix::MemoryStorage::create();
        Morvenix::DjVu::IFF::serialize(out.get(), form.get(), nullptr, nullptr, Morvenix::DjVu::IFF::smTreeOnly,
                                       nullptr, nullptr);
        MvxTest::writeFile(path(name), MvxTest::bytesOf(*out));
        EXPECT_NE(std::string::npos, run("djvudump " + host(name)).find(std::string(c.id) + " [")) << c.id;
        EXPECT_GT(psnr(c.image, decode(name, 1, "-format=ppm")), 35.0) << c.id;
    }
}

TEST_F(Iw44Interop, LetterSizePageBackgroundDecodes)
{
    const Image image = gradientImage(2550, 3300, 16);
    AutoPtr<IW44Encoder> encoder = encoderOf(image, IW44Encoder::Params(1, 75, 2, 255));
    const std::vector<AutoPtr<Chunk>> chunks = layerChunks(*encoder);
    ASSERT_EQ(4u, chunks.size());
    EXPECT_GT(psnr(image, render(image, chunks, "letter.djvu")), 28.0);
}

} // namespace
