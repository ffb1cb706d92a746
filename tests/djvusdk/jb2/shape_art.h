// Shapes drawn as rows of text, '#' for ink and anything else for blank, and back.
#pragma once

#include "djv_jb2shape.h"

#include <string>
#include <vector>

namespace MvxTest {

typedef std::vector<std::string> Art;

inline Morvenix::AutoPtr<Morvenix::DjVu::JB2::Shape> shapeFromArt(const Art& inRows, int32_t inX = 0,
                                                                  int32_t inY = 0)
{
    const uint32_t height = uint32_t(inRows.size());
    const uint32_t width = height ? uint32_t(inRows[0].size()) : 0;
    std::vector<uint8_t> pixels(size_t(width) * height);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            pixels[size_t(y) * width + x] = inRows[y][x] == '#';
    return Morvenix::DjVu::JB2::Shape::create(width, height, int32_t(width), pixels.data(), inX, inY,
                                              Morvenix::DjVu::JB2::Normal);
}

inline Art artOf(const Morvenix::DjVu::JB2::Shape& inShape)
{
    const Morvenix::DjVu::JB2::ShapeBitmap& b = inShape.getBitmap();
    Art rows(b.getHeight(), std::string(b.getWidth(), '.'));
    for (uint32_t y = 0; y < b.getHeight(); ++y)
        for (uint32_t x = 0; x < b.getWidth(); ++x)
            if (b.getPixel(x, y))
                rows[y][x] = '#';
    return rows;
}

// A width x height block of ink, with the listed pixels (x, y) left blank.
inline Art solidArt(uint32_t inWidth, uint32_t inHeight, const std::vector<std::pair<uint32_t, uint32_t>>& inHoles = {})
{
    Art rows(inHeight, std::string(inWidth, '#'));
    for (const auto& hole : inHoles)
        rows[hole.second][hole.first] = '.';
    return rows;
}

} // namespace MvxTest
