// Writers of the JB2 chunk payloads: the page stream ("Sjbz"), the shared dictionary stream ("Djbz") and
// the foreground palette with one colour index per page shape ("FGbz"); and the reader of the last.
#pragma once

#include "djv_image.h"
#include "djv_jb2shape.h"
#include "mvx_referable.h"
#include "mvx_simplearray.h"
#include "mvx_stream.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {
namespace JB2 {

class Compressor {
public:
    // One complete page stream of the shapes in order. With a dictionary list (even an empty one) the
    // stream asks for it first, and the page's matches and refinements may name its shapes.
    // Page and shape sizes above 262142, and non-mark data off the page, throw errInvalidParam before
    // anything is written. When its record comes, a mark that starts left of the page or reaches below
    // it (ddjvu drops such marks) or lies further from the marks before it than a JB2 number reaches
    // throws errInvalidParam, and a shape type or reference that the stream cannot hold throws
    // errDataBroken; both leave a partial stream behind.
    static void encodeSjbz(const AutoPtr<Stream>& outStream, uint32_t inWidth, uint32_t inHeight,
                           const ShapeList& inShapes, const ShapeList* inDictionary);
    // One complete dictionary stream: Normal shapes and refinements of earlier dictionary shapes.
    static void encodeDjbz(const AutoPtr<Stream>& outStream, const ShapeList& inShapes);
    // The palette and, BZZ-compressed, the palette index of each page shape in the page stream's order.
    // More than 65535 colours, more than 16777215 indices, or an index that names no colour throw
    // errInvalidParam before anything is written.
    static void encodeFGbz(const AutoPtr<Stream>& outStream, const SimpleArray<Color, 1>& inColors,
                           const SimpleArray<uint32_t, 2>& inIndices);
    // Reads FGbz data and gives each shape of the list, in order, its palette colour. A version other
    // than 0, an index count other than the list's or an index past the palette throw errDataBroken;
    // every index is read and checked before any shape is touched, so a failed read colours nothing.
    static void decodeFGbz(const AutoPtr<Stream>& inStream, ShapeList& ioShapes);
};

} // namespace JB2
} // namespace DjVu
} // namespace Morvenix
