// The FGbz payload: its header, the BZZ-compressed index part, its refusals, and what ddjvu and bzz make
// of it.
#include "djv_bzz.h"
#include "jb2_interop_support.h"

#include <string>

using namespace Jb2Test;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;

namespace {

Morvenix::SimpleArray<Color, 1> colorsOf(const std::vector<uint32_t>& inRGB)
{
    Morvenix::SimpleArray<Color, 1> colors;
    for (uint32_t rgb : inRGB)
        colors.append(Color::fromRGB(rgb));
    return colors;
}

Morvenix::SimpleArray<uint32_t, 2> indicesOf(const std::vector<uint32_t>& inIndices)
{
    Morvenix::SimpleArray<uint32_t, 2> indices;
    for (uint32_t i : inIndices)
        indices.append(i);
    return indices;
}

Bytes fgbz(const Morvenix::SimpleArray<Color, 1>& inColors, const Morvenix::SimpleArray<uint32_t, 2>& inIndices)
{
    AutoPtr<Morvenix::MemoryStorage> out = Morvenix::MemoryStorage::create();
    Compressor::encodeFGbz(AutoPtr<Morvenix::Stream>(out), inColors, inIndices);
    return bytesOf(*out);
}

Bytes inflate(const Bytes& inBzz)
{
    AutoPtr<InflateStream> bzz = InflateStream::create(
        AutoPtr<Morvenix::Stream>(Morvenix::MemoryStorage::create(inBzz.data(), inBzz.size(), 0)), 0, 16);
    Bytes out;
    uint8_t block[4096];
    while (const uint32_t got = bzz->readBytes(block, sizeof block, false))
        out.insert(out.end(), block, block + got);
    return out;
}

} // namespace

TEST(FGbzWriter, EmptyPaletteAndIndicesStillWriteTheHeader)
{
    // BZZ data of nothing is no bytes at all, as with bzz -e.
    EXPECT_EQ((Bytes{0x80, 0, 0, 0, 0, 0}), fgbz(colorsOf({}), indicesOf({})));
}

TEST(FGbzWriter, ColoursAreBlueGreenRedAndIndicesBigEndianPairs)
{
    const Bytes payload = fgbz(colorsOf({0x112233, 0xAABBCC}), indicesOf({1, 0, 1}));
    const Bytes header{0x80, 0, 2, 0x33, 0x22, 0x11, 0xCC, 0xBB, 0xAA, 0, 0, 3};
    ASSERT_GT(payload.size(), header.size());
    EXPECT_EQ(header, Bytes(payload.begin(), payload.begin() + long(header.size())));
    EXPECT_EQ((Bytes{0, 1, 0, 0, 0, 1}), inflate(Bytes(payload.begin() + long(header.size()), payload.end())));
}

TEST(FGbzWriter, LargeCountsFillTheirFields)
{
    // 300 colours (two count bytes) and 70000 indices (three), indices past 255 in both bytes.
    std::vector<uint32_t> rgb, indices;
    for (uint32_t i = 0; i < 300; ++i)
        rgb.push_back(i * 0x010203u);
    for (uint32_t i = 0; i < 70000; ++i)
        indices.push_back((i * 7) % 300);
    const Bytes payload = fgbz(colorsOf(rgb), indicesOf(indices));
    EXPECT_EQ((Bytes{0x80, 0x01, 0x2C}), Bytes(payload.begin(), payload.begin() + 3));
    const size_t countAt = 3 + 3 * 300;
    EXPECT_EQ((Bytes{0x01, 0x11, 0x70}), Bytes(payload.begin() + long(countAt), payload.begin() + long(countAt) + 3));
    const Bytes tail = inflate(Bytes(payload.begin() + long(countAt) + 3, payload.end()));
    ASSERT_EQ(2 * indices.size(), tail.size());
    for (size_t i = 0; i < indices.size(); ++i)
        ASSERT_EQ(indices[i], uint32_t(tail[2 * i] << 8 | tail[2 * i + 1])) << i;
}

TEST(FGbzWriter, RefusesPayloadsNoDecoderAccepts)
{
    struct Case {
        const char* what;
        uint32_t colors;
        std::vector<uint32_t> indices;
        uint32_t indexCount; // when not 0: that many zero indices instead
        const char* message;
    } cases[] = {
        {"too many colours", 65536, {}, 0, "Too many colours for an FGbz palette!"},
        {"index past the palette", 3, {0, 3}, 0, "An FGbz index names no palette colour!"},
        {"index without a palette", 0, {0}, 0, "An FGbz index names no palette colour!"},
        {"too many indices", 1, {}, 0x1000000, "Too many shapes for an FGbz index!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Morvenix::SimpleArray<Color, 1> colors(c.colors);
        Morvenix::SimpleArray<uint32_t, 2> indices = indicesOf(c.indices);
        if (c.indexCount)
            indices.setSize(c.indexCount);
        AutoPtr<Morvenix::MemoryStorage> out = Morvenix::MemoryStorage::create();
        MvxTest::expectThrow([&] { Compressor::encodeFGbz(AutoPtr<Morvenix::Stream>(out), colors, indices); },
                             Morvenix::errInvalidParam, c.message);
        EXPECT_EQ(0u, out->getSize());
    }
}

TEST_F(Jb2Interop, ForegroundShowsEachShapeInItsColour)
{
    const AutoPtr<Shape> a = Shape::create(glyph(9, 12, 1), 4, 4, Normal);
    const AutoPtr<Shape> b = Shape::create(glyph(10, 8, 2), 20, 6, Normal);
    const ShapeList shapes = listOf({a, b, Shape::createMatch(a, 36, 4), Shape::createRefinement(b, glyph(10, 9, 3), 50, 6),
                                     Shape::create(glyph(12, 5, 4), 5, 25, NonMark), Shape::createMatch(a, 66, 20)});
    const std::vector<uint32_t> palette = {0xC01020, 0x10A040, 0x2030F0, 0x000000};
    const std::vector<uint32_t> indices = {0, 1, 2, 1, 3, 2};
    const Bytes payload = fgbz(colorsOf(palette), indicesOf(indices));
    AutoPtr<ChunkCollection> page =
        pageForm(80, 34, {leaf("Sjbz", sjbz(80, 34, shapes)), leaf("FGbz", payload)});
    writeDocument(page.get(), "colour.djvu");

    const MvxTest::NetpbmImage decoded = decode("colour.djvu", 1, "-mode=foreground -format=ppm");
    ASSERT_EQ(80u, decoded.width);
    ASSERT_EQ(34u, decoded.height);
    MvxTest::NetpbmImage expected(80, 34, 3);
    std::fill(expected.pixels.begin(), expected.pixels.end(), 0xFF);
    for (uint32_t s = 0; s < shapes.count(); ++s) {
        const ShapeBitmap& bitmap = shapes[s]->getBitmap();
        const uint32_t rgb = palette[indices[s]];
        for (uint32_t y = 0; y < bitmap.getHeight(); ++y)
            for (uint32_t x = 0; x < bitmap.getWidth(); ++x)
                if (bitmap.getPixel(x, y)) {
                    uint8_t* p = expected.at(uint32_t(shapes[s]->getX()) + x, uint32_t(shapes[s]->getY()) + y);
                    p[0] = uint8_t(rgb >> 16);
                    p[1] = uint8_t(rgb >> 8);
                    p[2] = uint8_t(rgb);
                }
    }
    EXPECT_EQ("", MvxTest::firstDifference(expected, decoded));

    // The index part, cut out and decompressed by bzz, holds the indices as big-endian pairs.
    const size_t tailAt = 3 + 3 * palette.size() + 3;
    MvxTest::writeFile(path("indices.bzz"), Bytes(payload.begin() + long(tailAt), payload.end()));
    ASSERT_EQ(0, MvxTest::runHostTool("bzz -d " + host("indices.bzz") + " " + host("indices.raw")));
    const Bytes raw = MvxTest::readFile(path("indices.raw"));
    EXPECT_EQ((Bytes{0, 0, 0, 1, 0, 2, 0, 1, 0, 3, 0, 2}), raw);
}

TEST_F(Jb2Interop, EmptyPaletteOfAnEmptyPageDecodes)
{
    AutoPtr<ChunkCollection> page =
        pageForm(12, 8, {leaf("Sjbz", sjbz(12, 8, ShapeList())), leaf("FGbz", fgbz(colorsOf({}), indicesOf({})))});
    writeDocument(page.get(), "empty.djvu");
    const MvxTest::NetpbmImage decoded = decode("empty.djvu", 1, "-mode=foreground -format=ppm");
    MvxTest::NetpbmImage white(12, 8, 3);
    std::fill(white.pixels.begin(), white.pixels.end(), 0xFF);
    EXPECT_EQ("", MvxTest::firstDifference(white, decoded));
}
