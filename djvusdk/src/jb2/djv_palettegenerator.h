// The foreground palette of a JB2 page: one colour for every shape, the page's colours as a palette of
// at most 65535 entries, and one palette index per shape (the content of an FGbz chunk).
#pragma once

#include "djv_colorhistogram.h"
#include "djv_image.h"
#include "djv_jb2shape.h"
#include "mvx_simplearray.h"

#include <cstdint>

namespace _Mvx_Internal_NS_ {

// One object per generation: it collects the colours of one page and is then dropped.
class PaletteGenerator {
public:
    typedef Morvenix::SimpleArray<Morvenix::DjVu::Color, 1> ColorArray;
    typedef Morvenix::SimpleArray<uint32_t, 2> IndexArray;

    // FGbz stores palette indices in 16 bits.
    static const uint32_t kMaxColors = 65535;

    PaletteGenerator();

    // With an image (row 0 at inImage), each shape's colour is the mean, truncated, of the image pixels
    // under its ink, and the shape is recoloured with its palette entry; ink outside the image is not
    // read, and a shape with no ink inside keeps its own colour. Without an image, the shapes' own colours
    // are collected, each weighted by its ink. The palette is the exact set of the shapes' colours while
    // there are at most kMaxColors of them, and a median cut of their histogram otherwise; outIndices gets
    // one index per shape, in shape order. An image whose photometric is above phYCC throws
    // errInvalidParam before anything is touched.
    void generatePalette(const Morvenix::DjVu::JB2::ShapeList& inShapes, ColorArray& outPalette,
                         IndexArray& outIndices, const uint8_t* inImage, int32_t inRowStep, uint32_t inPhotometric,
                         uint32_t inWidth, uint32_t inHeight);
    // The JB2 encoder's entry. The palette keeps up to kMaxColors colours whatever the limit says: FGbz
    // readers take any palette size, and a smaller one would only cost colour fidelity.
    void generatePalette(const Morvenix::DjVu::JB2::ShapeList& inShapes, ColorArray& outPalette,
                         IndexArray& outIndices, uint32_t inPaletteLimit, const uint8_t* inImage, int32_t inRowStep,
                         uint32_t inPhotometric, uint32_t inWidth, uint32_t inHeight);

    // The index of the palette colour nearest to inColor among those whose green agrees in its upper six
    // bits (the first of equally near ones), or 0 when there is none. An empty palette throws code 9.
    uint32_t getNearestColorIndex(const Morvenix::DjVu::Color& inColor);

    // Sorts the collected colours into the palette, reduces it if it holds more than kMaxColors colours, and
    // copies it out.
    void getPalette(ColorArray& outPalette);

private:
    void collectFromImage(const Morvenix::DjVu::JB2::ShapeList& inShapes, const uint8_t* inImage, int32_t inRowStep,
                          uint32_t inPhotometric, uint32_t inWidth, uint32_t inHeight, ColorArray& outShapeColors);
    void collectFromShapes(const Morvenix::DjVu::JB2::ShapeList& inShapes, ColorArray& outShapeColors);
    void fillBuckets();

    static const uint32_t kBucketCount = 64; // green >> 2

    ColorHistogram m_histogram;
    // The shapes' colours, copied in by generatePalette; from getPalette on ascending as 0x00RRGGBB,
    // without duplicates until a reduction.
    ColorArray m_palette;
    IndexArray m_buckets[kBucketCount];
    bool m_bucketsFilled;
};

} // namespace _Mvx_Internal_NS_
