// Helpers of the JB2 tests: shapes drawn as text, the page a list of shapes should render to, and JB2
// streams written into memory.
#pragma once

#include "djv_jb2compressor.h"
#include "djv_jb2decompressor.h"
#include "djv_jb2page.h"
#include "djv_jb2shape.h"
#include "djvu_form_interop.h"
#include "mvx_memstorage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Jb2Test {

using Morvenix::AutoPtr;
using Morvenix::DjVu::JB2::Shape;
using Morvenix::DjVu::JB2::ShapeBitmap;
using Morvenix::DjVu::JB2::ShapeList;
typedef std::vector<unsigned char> Bytes;
typedef std::vector<std::string> Art;

// A bitmap drawn as rows of text, '#' for ink and anything else clear.
inline ShapeBitmap bitmapOf(const Art& inRows)
{
    const uint32_t width = inRows.empty() ? 0 : uint32_t(inRows[0].size());
    ShapeBitmap bitmap(width, uint32_t(inRows.size()));
    for (uint32_t y = 0; y < inRows.size(); ++y)
        for (uint32_t x = 0; x < width; ++x)
            bitmap.setPixel(x, y, inRows[y][x] == '#');
    return bitmap;
}

inline AutoPtr<Shape> shapeOf(const Art& inRows, int32_t inX, int32_t inY,
                              Morvenix::DjVu::JB2::ShapeType inType = Morvenix::DjVu::JB2::Normal)
{
    return Shape::create(bitmapOf(inRows), inX, inY, inType);
}

// A w x h bitmap whose pixels follow a pattern of the seed, with ink on every border row and column.
inline ShapeBitmap glyph(uint32_t inWidth, uint32_t inHeight, uint32_t inSeed)
{
    ShapeBitmap bitmap(inWidth, inHeight);
    uint32_t state = inSeed * 2654435761u + 12345u;
    for (uint32_t y = 0; y < inHeight; ++y)
        for (uint32_t x = 0; x < inWidth; ++x) {
            state = state * 1103515245u + 12345u;
            const bool border = x == 0 || y == 0 || x + 1 == inWidth || y + 1 == inHeight;
            bitmap.setPixel(x, y, border ? ((x + y + inSeed) % 3 != 0 || x == y) : ((state >> 16) & 3) == 0);
        }
    // Ink in each corner row and column keeps the ink box equal to the bitmap.
    bitmap.setPixel(0, 0, true);
    bitmap.setPixel(inWidth - 1, inHeight - 1, true);
    return bitmap;
}

inline ShapeList listOf(const std::vector<AutoPtr<Shape>>& inShapes)
{
    ShapeList list;
    for (const AutoPtr<Shape>& shape : inShapes)
        list.append(shape);
    return list;
}

// Text-like lines: new marks, exact copies and refinements of them, marks of different heights on one
// line (the bottom median), and one block of non-mark data.
inline ShapeList textPage()
{
    using namespace Morvenix::DjVu::JB2;
    std::vector<AutoPtr<Shape>> shapes;
    const AutoPtr<Shape> a = Shape::create(glyph(9, 12, 1), 10, 20, Normal);
    const AutoPtr<Shape> b = Shape::create(glyph(8, 16, 2), 22, 16, Normal);
    const AutoPtr<Shape> c = Shape::create(glyph(11, 7, 3), 33, 25, Normal);
    shapes.insert(shapes.end(), {a, b, c});
    shapes.push_back(Shape::createMatch(a, 47, 20));
    shapes.push_back(Shape::createMatch(b, 58, 17));
    ShapeBitmap bent = glyph(9, 12, 1);
    bent.setPixel(4, 5, !bent.getPixel(4, 5));
    bent.setPixel(2, 9, !bent.getPixel(2, 9));
    shapes.push_back(Shape::createRefinement(a, bent, 70, 21));
    shapes.push_back(Shape::createRefinement(c, glyph(13, 9, 4), 83, 24));
    // Next line, starting left of the last mark.
    shapes.push_back(Shape::createMatch(c, 12, 60));
    shapes.push_back(Shape::create(glyph(5, 20, 5), 30, 50, Normal));
    shapes.push_back(Shape::createMatch(a, 40, 58));
    shapes.push_back(Shape::create(glyph(40, 18, 6), 60, 100, NonMark));
    shapes.push_back(Shape::createMatch(a, 110, 98));
    return listOf(shapes);
}

// inCount new marks up to 20 x 20 pixels, scattered over a square of inSpan pixels from the top-left
// corner: their places and sizes are varied enough to fill the number coder's cells.
inline std::vector<AutoPtr<Shape>> scatteredMarks(uint32_t inCount, uint32_t inSpan)
{
    std::vector<AutoPtr<Shape>> shapes;
    uint32_t state = 3;
    const auto next = [&state](uint32_t inRange) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % inRange;
    };
    for (uint32_t i = 0; i < inCount; ++i) {
        const uint32_t w = 1 + next(20), h = 1 + next(20);
        shapes.push_back(Shape::create(glyph(w, h, i), int32_t(next(inSpan)), int32_t(next(inSpan)),
                                       Morvenix::DjVu::JB2::Normal));
    }
    return shapes;
}

// The bitonal page that the shapes make, each drawn at its place (parts off the page dropped).
inline MvxTest::NetpbmImage paint(uint32_t inWidth, uint32_t inHeight, const ShapeList& inShapes)
{
    MvxTest::NetpbmImage page(inWidth, inHeight);
    for (const AutoPtr<Shape>& shape : inShapes) {
        const ShapeBitmap& bitmap = shape->getBitmap();
        for (uint32_t y = 0; y < bitmap.getHeight(); ++y)
            for (uint32_t x = 0; x < bitmap.getWidth(); ++x) {
                const int64_t px = int64_t(shape->getX()) + x, py = int64_t(shape->getY()) + y;
                if (bitmap.getPixel(x, y) && px >= 0 && py >= 0 && px < inWidth && py < inHeight)
                    *page.at(uint32_t(px), uint32_t(py)) = 1;
            }
    }
    return page;
}

using MvxTest::bytesOf;

inline Bytes sjbz(uint32_t inWidth, uint32_t inHeight, const ShapeList& inShapes,
                  const ShapeList* inDictionary = nullptr)
{
    AutoPtr<Morvenix::MemoryStorage> out = Morvenix::MemoryStorage::create();
    Morvenix::DjVu::JB2::Compressor::encodeSjbz(AutoPtr<Morvenix::Stream>(out), inWidth, inHeight, inShapes,
                                                inDictionary);
    return bytesOf(*out);
}

inline AutoPtr<Morvenix::Stream> streamOf(const Bytes& inBytes)
{
    return AutoPtr<Morvenix::Stream>(Morvenix::MemoryStorage::create(inBytes.data(), inBytes.size(), 0));
}

inline Bytes djbz(const ShapeList& inShapes)
{
    AutoPtr<Morvenix::MemoryStorage> out = Morvenix::MemoryStorage::create();
    Morvenix::DjVu::JB2::Compressor::encodeDjbz(AutoPtr<Morvenix::Stream>(out), inShapes);
    return bytesOf(*out);
}


// Same types, places, pixels and colours, and references to shapes of the same pixels.
inline void expectSameShapes(const ShapeList& inExpected, const ShapeList& inActual)
{
    ASSERT_EQ(inExpected.count(), inActual.count());
    for (uint32_t i = 0; i < inExpected.count(); ++i) {
        const Shape& e = *inExpected[i];
        const Shape& a = *inActual[i];
        EXPECT_EQ(e.getType(), a.getType()) << "shape " << i;
        EXPECT_EQ(e.getX(), a.getX()) << "shape " << i;
        EXPECT_EQ(e.getY(), a.getY()) << "shape " << i;
        EXPECT_TRUE(e.getBitmap().samePixels(a.getBitmap())) << "shape " << i;
        Morvenix::DjVu::Color ec, ac;
        e.getColor(ec);
        a.getColor(ac);
        EXPECT_EQ(ec.toRGB(), ac.toRGB()) << "shape " << i;
        ASSERT_EQ(e.getReference() == nullptr, a.getReference() == nullptr) << "shape " << i;
        if (e.getReference()) {
            EXPECT_TRUE(e.getReference()->getBitmap().samePixels(a.getReference()->getBitmap())) << "shape " << i;
        }
    }
}

// The library a decoded page stream built: the inherited shapes that enter it, then the page's own new
// marks and refinements, in order.
inline std::vector<const Shape*> libraryOf(const ShapeList* inDictionary, const ShapeList& inPage)
{
    std::vector<const Shape*> library;
    for (const ShapeList* list : {inDictionary, &inPage})
        if (list)
            for (const AutoPtr<Shape>& shape : *list)
                if (shape->getType() == Morvenix::DjVu::JB2::Normal ||
                    shape->getType() == Morvenix::DjVu::JB2::Refinement)
                    library.push_back(shape.get());
    return library;
}

// Per decoded shape, the library index of the shape it refers to (-1 without one): the index its record
// coded.
inline std::vector<int> referenceIndices(const std::vector<const Shape*>& inLibrary, const ShapeList& inShapes)
{
    std::vector<int> indices;
    for (const AutoPtr<Shape>& shape : inShapes) {
        int index = -1;
        for (size_t i = 0; i < inLibrary.size(); ++i)
            if (inLibrary[i] == shape->getReference())
                index = int(i);
        indices.push_back(index);
    }
    return indices;
}

// The number-coder cells in use once the library's decoder has read the stream: the writer resets the
// number coder whenever a shape leaves more than JB2CoderImpl::kCellChunk in use, so a long stream read
// back holds no more than one shape's worth beyond that; without the resets it would hold them all.
inline uint32_t numberCellsAfterReading(const Bytes& inStream, bool inDictionary)
{
    _Mvx_Internal_NS_::JB2Decompressor decoder;
    ShapeList shapes;
    const AutoPtr<Morvenix::Stream> stream = streamOf(inStream);
    if (inDictionary) {
        decoder.decodeDictionary(stream, shapes);
    } else {
        uint32_t width = 0, height = 0;
        decoder.decodePage(stream, width, height, shapes, nullptr);
    }
    return decoder.getCellCount();
}

} // namespace Jb2Test
