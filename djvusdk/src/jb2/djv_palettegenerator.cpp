// The foreground palette of a JB2 page.
#include "djv_palettegenerator.h"

#include "djv_imagedesc.h"
#include "mvx_exception.h"

#include <algorithm>

#define MVX_SOURCE "djv_palettegenerator"

using Morvenix::AutoPtr;
using Morvenix::DjVu::Color;
using Morvenix::DjVu::Photometric;
using Morvenix::DjVu::JB2::Shape;
using Morvenix::DjVu::JB2::ShapeBitmap;
using Morvenix::DjVu::JB2::ShapeList;

namespace _Mvx_Internal_NS_ {

namespace {

// The library has no name for the code of a lookup in a palette that was never filled.
const int kErrPaletteEmpty = 9;

// Each reader takes a pixel's first byte and gives its colour as 0x00RRGGBB.
typedef uint32_t (*PixelReader)(const uint8_t*);

uint32_t rgb(uint32_t inRed, uint32_t inGreen, uint32_t inBlue) { return inRed << 16 | inGreen << 8 | inBlue; }

uint32_t readRGB(const uint8_t* inPixel) { return rgb(inPixel[0], inPixel[1], inPixel[2]); }
uint32_t readBGR(const uint8_t* inPixel) { return rgb(inPixel[2], inPixel[1], inPixel[0]); }
uint32_t readGray(const uint8_t* inPixel) { return rgb(inPixel[0], inPixel[0], inPixel[0]); }

// Shifts that round toward minus infinity whatever the compiler does with negative operands.
int32_t floorShift(int32_t inValue, int inBits) { return inValue >= 0 ? inValue >> inBits : ~(~inValue >> inBits); }

uint32_t clampChannel(int32_t inValue) { return inValue >= 255 ? 255u : inValue <= 0 ? 0u : uint32_t(inValue); }

// The IW44 decoders' conversion of the planes' samples (the luminance centred on 0).
uint32_t readYCC(const uint8_t* inPixel)
{
    const Morvenix::DjVu::YCCPixel p = Morvenix::DjVu::YCCPixel::read(inPixel);
    const int32_t y = p.luminance - 128, cb = p.blue, cr = p.red;
    const int32_t t = cr + floorShift(cr, 1);
    const int32_t m = y - floorShift(cb, 2) + 128;
    return rgb(clampChannel(y + t + 128), clampChannel(m - floorShift(t, 1)), clampChannel(m + 2 * cb));
}

const PixelReader kReaders[] = {readRGB, readBGR, readGray, readYCC}; // by Photometric

bool lessRGB(const Color& a, const Color& b) { return a.toRGB() < b.toRGB(); }

uint64_t inkCount(const ShapeBitmap& inBitmap)
{
    const uint32_t rowBytes = inBitmap.getRowBytes();
    const uint8_t tailMask = Morvenix::DjVu::lastByteMask(inBitmap.getWidth());
    uint64_t count = 0;
    for (uint32_t y = 0; y < inBitmap.getHeight() && rowBytes; ++y) {
        const uint8_t* row = inBitmap.row(y);
        for (uint32_t i = 0; i + 1 < rowBytes; ++i)
            count += uint32_t(__builtin_popcount(row[i]));
        count += uint32_t(__builtin_popcount(row[rowBytes - 1] & tailMask));
    }
    return count;
}

// The part [outFrom, outTo) of a bitmap's span of inSize pixels at inPos that falls on a page of inLimit.
void clip(int32_t inPos, uint32_t inSize, uint32_t inLimit, uint32_t& outFrom, uint32_t& outTo)
{
    const int64_t from = std::max<int64_t>(0, -int64_t(inPos));
    const int64_t to = std::min<int64_t>(inSize, int64_t(inLimit) - inPos);
    outFrom = uint32_t(std::min<int64_t>(from, inSize));
    outTo = uint32_t(std::max<int64_t>(to, outFrom));
}

} // namespace

PaletteGenerator::PaletteGenerator() : m_bucketsFilled(false) {}

void PaletteGenerator::generatePalette(const ShapeList& inShapes, ColorArray& outPalette, IndexArray& outIndices,
                                       uint32_t /*inPaletteLimit*/, const uint8_t* inImage, int32_t inRowStep,
                                       uint32_t inPhotometric, uint32_t inWidth, uint32_t inHeight)
{
    generatePalette(inShapes, outPalette, outIndices, inImage, inRowStep, inPhotometric, inWidth, inHeight);
}

void PaletteGenerator::generatePalette(const ShapeList& inShapes, ColorArray& outPalette, IndexArray& outIndices,
                                       const uint8_t* inImage, int32_t inRowStep, uint32_t inPhotometric,
                                       uint32_t inWidth, uint32_t inHeight)
{
    if (inImage && inPhotometric > Morvenix::DjVu::phYCC)
        MVX_THROW(Morvenix::errInvalidParam, "JB2 : Unknown Photometric.",
                  "_Mvx_Internal_NS_::PaletteGenerator::generatePalette");

    ColorArray shapeColors(0, int32_t(inShapes.count()));
    if (inImage)
        collectFromImage(inShapes, inImage, inRowStep, inPhotometric, inWidth, inHeight, shapeColors);
    else
        collectFromShapes(inShapes, shapeColors);

    m_palette = shapeColors;
    getPalette(outPalette);
    outIndices.resize(inShapes.count(), int32_t(inShapes.count()));
    for (uint32_t i = 0; i < inShapes.count(); ++i) {
        outIndices[i] = getNearestColorIndex(shapeColors[i]);
        if (inImage)
            inShapes[i]->setColor(m_palette[outIndices[i]]);
    }
}

void PaletteGenerator::collectFromImage(const ShapeList& inShapes, const uint8_t* inImage, int32_t inRowStep,
                                        uint32_t inPhotometric, uint32_t inWidth, uint32_t inHeight,
                                        ColorArray& outShapeColors)
{
    const ImageDesc<const uint8_t> image =
        ImageDesc<const uint8_t>::describe(inImage, inRowStep, Photometric(inPhotometric), inWidth, inHeight);
    const PixelReader read = kReaders[inPhotometric];
    for (const AutoPtr<Shape>& shape : inShapes) {
        const ShapeBitmap& bitmap = shape->getBitmap();
        const int32_t x = shape->getX(), y = shape->getY();
        uint32_t colFrom, colTo, rowFrom, rowTo;
        clip(x, bitmap.getWidth(), image.width, colFrom, colTo);
        clip(y, bitmap.getHeight(), image.height, rowFrom, rowTo);

        // A large shape's totals pass 2^32 (a solid 300 x 300 one reaches 255 x 90000 per channel).
        uint64_t red = 0, green = 0, blue = 0, count = 0;
        for (uint32_t j = rowFrom; j < rowTo; ++j) {
            const uint8_t* bits = bitmap.row(j);
            for (uint32_t i = colFrom; i < colTo; ++i) {
                if (!(bits[i >> 3] & (0x80 >> (i & 7))))
                    continue;
                const uint32_t c = read(image.at(int32_t(x + int64_t(i)), int32_t(y + int64_t(j))));
                m_histogram.add(c, 1);
                red += c >> 16;
                green += (c >> 8) & 0xFF;
                blue += c & 0xFF;
                ++count;
            }
        }
        Color color;
        if (count)
            color = Color{uint8_t(blue / count), uint8_t(green / count), uint8_t(red / count), 0};
        else // nothing to measure: the shape's own colour is the only one there is
            shape->getColor(color);
        outShapeColors.append(color);
    }
}

void PaletteGenerator::collectFromShapes(const ShapeList& inShapes, ColorArray& outShapeColors)
{
    for (const AutoPtr<Shape>& shape : inShapes) {
        Color color;
        shape->getColor(color);
        m_histogram.add(color.toRGB(), inkCount(shape->getBitmap()));
        outShapeColors.append(color);
    }
}

void PaletteGenerator::getPalette(ColorArray& outPalette)
{
    // One sort of all the colours: keeping the palette sorted as each one arrives moved a quarter of it on
    // average per new colour, which on pages of many distinct colours took seconds.
    std::sort(m_palette.begin(), m_palette.end(), lessRGB);
    m_palette.setSize(uint32_t(std::unique(m_palette.begin(), m_palette.end()) - m_palette.begin()));
    if (m_palette.count() > kMaxColors) {
        m_histogram.medianCut(kMaxColors, m_palette);
        for (IndexArray& bucket : m_buckets)
            bucket.resize(0, 0);
        m_bucketsFilled = false;
    }
    outPalette = m_palette;
}

void PaletteGenerator::fillBuckets()
{
    for (uint32_t k = 0; k < m_palette.count(); ++k)
        m_buckets[m_palette[k].green >> 2].append(k);
    m_bucketsFilled = true;
}

uint32_t PaletteGenerator::getNearestColorIndex(const Color& inColor)
{
    if (m_palette.count() == 0)
        MVX_THROW(kErrPaletteEmpty, "Palette data is not initialized",
                  "_Mvx_Internal_NS_::PaletteGenerator::getNearestColorIndex");
    if (!m_bucketsFilled)
        fillBuckets();

    // An exact colour is the nearest there is, and the lowest index holding it is the first of the
    // nearest in its bucket: bisection finds it without scanning a bucket that may hold the whole palette.
    const Color* at = std::lower_bound(m_palette.begin(), m_palette.end(), inColor, lessRGB);
    if (at != m_palette.end() && *at == inColor)
        return uint32_t(at - m_palette.begin());

    const IndexArray& bucket = m_buckets[inColor.green >> 2];
    uint32_t best = 0, bestDistance = 0xFFFFFFFFu;
    for (uint32_t k : bucket) {
        const Color& c = m_palette[k];
        const int32_t dr = int32_t(c.red) - inColor.red, dg = int32_t(c.green) - inColor.green,
                      db = int32_t(c.blue) - inColor.blue;
        const uint32_t distance = uint32_t(dr * dr + dg * dg + db * db);
        if (distance < bestDistance) {
            best = k;
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace _Mvx_Internal_NS_
