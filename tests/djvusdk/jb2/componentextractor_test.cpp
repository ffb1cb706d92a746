// Connected-component extraction, checked against hand-made pictures and against a plain breadth-first
// flood fill written here.
#include "../../../djvusdk/src/jb2/djv_componentextractor.h"
#include "djv_imageutils.h"
#include "djv_jb2page.h"
#include "test_support.h"

#include <cstdint>
#include <cstring>
#include <queue>
#include <random>
#include <string>
#include <vector>

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;
using _Mvx_Internal_NS_::ComponentExtractor;
using MvxTest::expectThrow;

namespace {

typedef std::vector<uint8_t> Bytes;
typedef std::vector<std::string> Picture;

// A shape as its position and its bitmap drawn as '#' and '.'.
struct Cut {
    int32_t x, y;
    Picture rows;
    bool operator==(const Cut& o) const { return x == o.x && y == o.y && rows == o.rows; }
};

std::ostream& operator<<(std::ostream& os, const Cut& c)
{
    os << "at " << c.x << "," << c.y << ":";
    for (const std::string& r : c.rows)
        os << " " << r;
    return os;
}

// A byte mask: 0 for foreground (any character but '.'), inBackground elsewhere.
Bytes byteMask(const Picture& inPicture, uint8_t inBackground = 0xFF)
{
    Bytes mask;
    for (const std::string& row : inPicture)
        for (char c : row)
            mask.push_back(c == '.' ? inBackground : 0);
    return mask;
}

// A mask of width x height bytes packed into rows of inStep bytes.
Bytes packed(const Bytes& inMask, uint32_t inWidth, uint32_t inHeight, uint32_t inStep)
{
    Bytes bits(size_t(inStep) * inHeight, 0);
    ImageUtils::packBytesToBits(inWidth, inHeight, int32_t(inWidth), inMask.data(), int32_t(inStep), bits.data());
    return bits;
}

std::vector<Cut> cutsOf(const JB2Page& inPage)
{
    std::vector<Cut> cuts;
    for (const AutoPtr<Shape>& s : inPage.getShapes()) {
        EXPECT_EQ(Normal, s->getType());
        Color color;
        s->getColor(color);
        EXPECT_EQ(0u, color.toRGB());
        Cut c{s->getX(), s->getY(), {}};
        const ShapeBitmap& b = s->getBitmap();
        for (uint32_t y = 0; y < b.getHeight(); ++y) {
            std::string row;
            for (uint32_t x = 0; x < b.getWidth(); ++x)
                row += b.getPixel(x, y) ? '#' : '.';
            c.rows.push_back(row);
        }
        cuts.push_back(c);
    }
    return cuts;
}

// A colour image for a picture: each character its own colour, three bytes or one a pixel.
Bytes colorImage(const Picture& inPicture, uint32_t inBytesPerPixel)
{
    Bytes image;
    for (const std::string& row : inPicture)
        for (char c : row)
            for (uint32_t k = 0; k < inBytesPerPixel; ++k)
                image.push_back(uint8_t(k == inBytesPerPixel - 1 ? c : 0x40));
    return image;
}

std::vector<Cut> extract(const Picture& inPicture, uint32_t inMaskType, const uint8_t* inColor = nullptr,
                         int32_t inColorStep = 0, Photometric inPhotometric = phRGB)
{
    const uint32_t width = uint32_t(inPicture[0].size()), height = uint32_t(inPicture.size());
    const Bytes bytes = byteMask(inPicture);
    const uint32_t step = inMaskType == mtBits ? (width + 7) / 8 + 1 : width + 3;
    Bytes mask = inMaskType == mtBits ? packed(bytes, width, height, step) : Bytes(size_t(step) * height, 0x77);
    if (inMaskType != mtBits)
        for (uint32_t y = 0; y < height; ++y)
            std::memcpy(&mask[y * step], &bytes[y * width], width);
    AutoPtr<JB2Page> page = JB2Page::create(width, height);
    ComponentExtractor::extractShapes(width, height, inMaskType, int32_t(step), mask.data(), inColorStep, inColor,
                                      inPhotometric, *page);
    return cutsOf(*page);
}

// The reference: breadth-first flood fill over the eight neighbours from every unlabelled foreground
// pixel in raster order; with a colour image, only pixels of the seed's colour join.
std::vector<Cut> referenceCuts(const Bytes& inMask, uint32_t inWidth, uint32_t inHeight,
                               const Bytes* inColor = nullptr, uint32_t inBytesPerPixel = 3)
{
    const int32_t w = int32_t(inWidth), h = int32_t(inHeight);
    std::vector<int32_t> label(inMask.size(), -1);
    auto sameColor = [&](size_t a, size_t b) {
        return !inColor || std::memcmp(&(*inColor)[a * inBytesPerPixel], &(*inColor)[b * inBytesPerPixel],
                                       inBytesPerPixel) == 0;
    };
    std::vector<Cut> cuts;
    for (int32_t sy = 0; sy < h; ++sy) {
        for (int32_t sx = 0; sx < w; ++sx) {
            const size_t seed = size_t(sy) * inWidth + size_t(sx);
            if (inMask[seed] != 0 || label[seed] >= 0)
                continue;
            const int32_t id = int32_t(cuts.size());
            std::vector<size_t> members;
            std::queue<size_t> todo;
            label[seed] = id;
            todo.push(seed);
            int32_t left = sx, right = sx, top = sy, bottom = sy;
            while (!todo.empty()) {
                const size_t p = todo.front();
                todo.pop();
                members.push_back(p);
                const int32_t px = int32_t(p % inWidth), py = int32_t(p / inWidth);
                left = std::min(left, px);
                right = std::max(right, px);
                top = std::min(top, py);
                bottom = std::max(bottom, py);
                for (int32_t dy = -1; dy <= 1; ++dy) {
                    for (int32_t dx = -1; dx <= 1; ++dx) {
                        const int32_t nx = px + dx, ny = py + dy;
                        if (nx < 0 || ny < 0 || nx >= w || ny >= h)
                            continue;
                        const size_t n = size_t(ny) * inWidth + size_t(nx);
                        if (inMask[n] == 0 && label[n] < 0 && sameColor(n, seed)) {
                            label[n] = id;
                            todo.push(n);
                        }
                    }
                }
            }
            Cut c{left, top, Picture(size_t(bottom - top + 1), std::string(size_t(right - left + 1), '.'))};
            for (size_t p : members)
                c.rows[p / inWidth - size_t(top)][p % inWidth - size_t(left)] = '#';
            cuts.push_back(c);
        }
    }
    return cuts;
}

} // namespace

TEST(ComponentExtractor, HandMadePictures)
{
    struct Case {
        const char* name;
        Picture picture;
        std::vector<Cut> shapes;
    };
    const Case cases[] = {
        {"empty", {"....", "...."}, {}},
        {"single pixel", {".....", "...#.", "....."}, {{3, 1, {"#"}}}},
        {"diagonal down", {"#.", ".#"}, {{0, 0, {"#.", ".#"}}}},
        {"diagonal up", {".#", "#."}, {{0, 0, {".#", "#."}}}},
        {"full-width line", {"..........", "..........", "##########", ".........."},
         {{0, 2, {"##########"}}}},
        // The arms meet only below; the dot between them is its own shape and not in the U's bitmap.
        {"U with a dot", {"#...#", "#.#.#", "#...#", "#####"},
         {{0, 0, {"#...#", "#...#", "#...#", "#####"}}, {2, 1, {"#"}}}},
        // Ordered by top-most, then left-most, first pixel.
        {"order", {"...#", "#..#", "#..."}, {{3, 0, {"#", "#"}}, {0, 1, {"#", "#"}}}},
        {"whole page", {"###", "###"}, {{0, 0, {"###", "###"}}}},
    };
    for (const Case& c : cases) {
        for (uint32_t type : {mtBytes, mtBits}) {
            EXPECT_EQ(c.shapes, extract(c.picture, type)) << c.name << ", mask type " << type;
        }
    }
}

TEST(ComponentExtractor, ByteMaskBackgroundMayBeAnyNonzeroValue)
{
    // 128 is also the fill's "being taken" mark: it must still read as background.
    const Picture picture = {"#..#.", ".#.#.", "...##"};
    const std::vector<Cut> expected = {{0, 0, {"#.", ".#"}}, {3, 0, {"#.", "#.", "##"}}};
    for (uint8_t background : {uint8_t(1), uint8_t(127), uint8_t(128), uint8_t(255)}) {
        const Bytes mask = byteMask(picture, background);
        AutoPtr<JB2Page> page = JB2Page::create(5, 3);
        ComponentExtractor::extractShapes(5, 3, mtBytes, 5, mask.data(), 0, nullptr, phRGB, *page);
        EXPECT_EQ(expected, cutsOf(*page)) << "background " << int(background);
    }
}

TEST(ComponentExtractor, ColourSplitsTouchingStrokes)
{
    // 'k' black and 'r' red strokes touching side by side and at a corner.
    const Picture picture = {"kkr..", "kkr..", "...r.", "..k.."};
    const std::vector<Cut> split = {
        {0, 0, {"##", "##"}}, {2, 0, {"#.", "#.", ".#"}}, {2, 3, {"#"}}};
    const std::vector<Cut> whole = {{0, 0, {"###.", "###.", "...#", "..#."}}};
    for (uint32_t bytes : {3u, 1u}) {
        const Bytes color = colorImage(picture, bytes);
        const Photometric photometric = bytes == 1 ? phGray : phBGR;
        EXPECT_EQ(split, extract(picture, mtBits, color.data(), int32_t(5 * bytes), photometric)) << bytes;
        EXPECT_EQ(split, extract(picture, mtBytes, color.data(), int32_t(5 * bytes), photometric)) << bytes;
    }
    EXPECT_EQ(whole, extract(picture, mtBits));

    // Every byte of a three-byte pixel counts; a grey image has only the one.
    Bytes close = colorImage({"kk"}, 3);
    close[0] = 0x41;
    EXPECT_EQ((std::vector<Cut>{{0, 0, {"#"}}, {1, 0, {"#"}}}), extract({"kk"}, mtBytes, close.data(), 6, phYCC));
    Bytes grey = {0x10, 0x10, 0x11};
    EXPECT_EQ((std::vector<Cut>{{0, 0, {"##"}}, {2, 0, {"#"}}}), extract({"kkk"}, mtBytes, grey.data(), 3, phGray));
}

TEST(ComponentExtractor, BottomUpColourImage)
{
    // Stored bottom-up: the row 0 pointer is the top row, at the block's end, with a negative step.
    const Picture picture = {"rrkk.", ".....", "k.rr.", ".kkr."};
    const Bytes topDown = colorImage(picture, 3);
    Bytes bottomUp;
    for (size_t y = picture.size(); y-- > 0;)
        bottomUp.insert(bottomUp.end(), topDown.begin() + y * 15, topDown.begin() + (y + 1) * 15);
    const std::vector<Cut> expected = {
        {0, 0, {"##"}}, {2, 0, {"##"}}, {0, 2, {"#..", ".##"}}, {2, 2, {"##", ".#"}}};
    EXPECT_EQ(expected, extract(picture, mtBytes, topDown.data(), 15));
    EXPECT_EQ(expected, extract(picture, mtBytes, bottomUp.data() + 3 * 15, -15));
}

TEST(ComponentExtractor, RandomMasksMatchAPlainFloodFill)
{
    std::mt19937 random(20261210);
    for (int round = 0; round < 6; ++round) {
        const uint32_t width = 20 + random() % 60, height = 10 + random() % 40;
        const bool colored = round % 2 == 1;
        Bytes mask(size_t(width) * height), color(mask.size() * 3);
        const uint32_t density = 35 + random() % 25; // percent of foreground: around the merging threshold
        for (size_t i = 0; i < mask.size(); ++i) {
            mask[i] = random() % 100 < density ? 0 : 0xFF;
            color[3 * i + random() % 3] = uint8_t(random() % 2);
        }
        const std::vector<Cut> expected = referenceCuts(mask, width, height, colored ? &color : nullptr);
        ASSERT_FALSE(expected.empty());
        for (uint32_t type : {mtBytes, mtBits}) {
            const uint32_t step = type == mtBits ? (width + 7) / 8 : width;
            const Bytes input = type == mtBits ? packed(mask, width, height, step) : mask;
            AutoPtr<JB2Page> page = JB2Page::create(width, height);
            ComponentExtractor::extractShapes(width, height, type, int32_t(step), input.data(), int32_t(3 * width),
                                              colored ? color.data() : nullptr, phRGB, *page);
            EXPECT_EQ(expected, cutsOf(*page)) << "round " << round << ", mask type " << type;
        }
    }
}

TEST(ComponentExtractor, PageSizeMaskNeedsNoDeepCalls)
{
    // A 300-dpi letter page: lines of glyph-like blobs (rings, bars, dotted stems) above a serpentine
    // stroke that winds through the lower half as one component of over a million pixels.
    const uint32_t width = 2550, height = 3300;
    Bytes mask(size_t(width) * height, 0xFF);
    auto ink = [&](uint32_t x, uint32_t y) { mask[size_t(y) * width + x] = 0; };
    std::mt19937 random(300);
    for (uint32_t line = 150; line + 40 < 1600; line += 50) {
        for (uint32_t x = 150; x + 30 < width - 150;) {
            const uint32_t w = 8 + random() % 18, h = 20 + random() % 12, kind = random() % 3;
            for (uint32_t y = 0; y < h; ++y) {
                for (uint32_t dx = 0; dx < w; ++dx) {
                    const bool edge = y < 3 || y + 3 >= h || dx < 3 || dx + 3 >= w;
                    if (kind == 0 ? edge : kind == 1 ? (dx < 4 || y + 4 >= h) : (dx < 3 && y > 6))
                        ink(x + dx, line + y);
                }
            }
            if (kind == 2)
                ink(x + 1, line + 2); // the dot of an i
            x += w + 3 + random() % 12;
        }
    }
    for (uint32_t y = 1700, turn = 0; y + 6 < 3250; y += 6, ++turn) {
        for (uint32_t x = 100; x < width - 100; ++x)
            ink(x, y);
        for (uint32_t k = 0; k < 6; ++k)
            ink(turn % 2 ? 100 : width - 101, y + k);
    }

    const Bytes bits = packed(mask, width, height, (width + 7) / 8);
    AutoPtr<JB2Page> page = JB2Page::create(width, height);
    ComponentExtractor::extractShapes(width, height, mtBits, int32_t((width + 7) / 8), bits.data(), 0, nullptr, phRGB,
                                      *page);
    const std::vector<Cut> expected = referenceCuts(mask, width, height);
    const std::vector<Cut> cuts = cutsOf(*page);
    ASSERT_EQ(expected.size(), cuts.size());
    EXPECT_GT(cuts.size(), 2000u);
    for (size_t i = 0; i < cuts.size(); ++i)
        ASSERT_EQ(expected[i], cuts[i]) << "shape " << i;
    EXPECT_EQ((Rect{100, 1700, int32_t(width) - 200, 1548}), page->getShapes()[uint32_t(cuts.size() - 1)]->getRect());
}

TEST(ComponentExtractor, RefusesBadSizesAndStepsBeforeTouchingThePage)
{
    const Bytes mask(64, 0);
    const Bytes color(3 * 64, 0);
    struct Case {
        const char* name;
        uint32_t width, height, maskType;
        int32_t maskStep;
        const uint8_t* maskData;
        int32_t colorStep;
        const uint8_t* colorData;
        Photometric photometric;
    };
    const Case cases[] = {
        {"zero width", 0, 4, mtBytes, 8, mask.data(), 0, nullptr, phRGB},
        {"zero height", 8, 0, mtBits, 1, mask.data(), 0, nullptr, phRGB},
        {"no mask", 8, 4, mtBytes, 8, nullptr, 0, nullptr, phRGB},
        {"negative step", 8, 4, mtBytes, -8, mask.data() + 24, 0, nullptr, phRGB},
        {"zero step", 8, 4, mtBits, 0, mask.data(), 0, nullptr, phRGB},
        {"byte row longer than the step", 8, 4, mtBytes, 7, mask.data(), 0, nullptr, phRGB},
        {"bit row longer than the step", 9, 4, mtBits, 1, mask.data(), 0, nullptr, phRGB},
        {"colour row longer than the step", 8, 4, mtBytes, 8, mask.data(), -23, color.data() + 72, phRGB},
        {"unknown photometric", 8, 4, mtBytes, 8, mask.data(), 24, color.data(), Photometric(4)},
        // Sizes whose product wraps in 32 bits or exceeds what one array holds: refused before any
        // allocation or read.
        {"wrapping size", 0x10000, 0x10000, mtBytes, 0x10000, mask.data(), 0, nullptr, phRGB},
        {"too large", 0x40000, 0x2000, mtBits, 0x8000, mask.data(), 0, nullptr, phRGB},
    };
    for (const Case& c : cases) {
        AutoPtr<JB2Page> page = JB2Page::create(8, 4);
        expectThrow([&] { ComponentExtractor::extractShapes(c.width, c.height, c.maskType, c.maskStep, c.maskData,
                                                            c.colorStep, c.colorData, c.photometric, *page); },
                    errInvalidParam, "errInvalidParam", "djv_componentextractor");
        EXPECT_EQ(0u, page->getShapes().count()) << c.name;
    }
    // Without colour data the photometric and the colour step are not looked at.
    AutoPtr<JB2Page> page = JB2Page::create(8, 4);
    ComponentExtractor::extractShapes(8, 4, mtBytes, 8, mask.data(), -1, nullptr, Photometric(9), *page);
    EXPECT_EQ(1u, page->getShapes().count());
}
