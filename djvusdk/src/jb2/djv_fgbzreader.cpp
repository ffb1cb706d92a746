// Reading the FGbz payload: the palette, then one BZZ-compressed palette index per page shape.
#include "djv_jb2compressor.h"

#include "djv_bzz.h"
#include "mvx_exception.h"

#define MVX_SOURCE "djv_fgbzreader"

namespace Morvenix {
namespace DjVu {
namespace JB2 {

namespace {
const uint32_t kIndicesPerBlock = 512;
}

void Compressor::decodeFGbz(const AutoPtr<Stream>& inStream, ShapeList& ioShapes)
{
    static const char* const kFunction = "Morvenix::DjVu::JB2::Compressor::decodeFGbz";
    uint8_t header[3];
    inStream->readBytes(header, sizeof header, true);
    // The high bit announces the indices; whether it is set does not change what follows.
    if (header[0] & 0x7F)
        MVX_THROW(errDataBroken, "JB2Decoder: Unknown FGbz version.", kFunction);
    const uint32_t colorCount = uint32_t(header[1]) << 8 | header[2];
    SimpleArray<Color, 1> palette(colorCount);
    for (Color& color : palette) {
        uint8_t bgr[3];
        inStream->readBytes(bgr, sizeof bgr, true);
        color = Color{bgr[0], bgr[1], bgr[2], 0};
    }
    uint8_t count[3];
    inStream->readBytes(count, sizeof count, true);
    const uint32_t indexCount = uint32_t(count[0]) << 16 | uint32_t(count[1]) << 8 | count[2];
    if (indexCount != ioShapes.count())
        MVX_THROW(errDataBroken, "JB2Decoder::decodeFGbz : Shape count mismatch to the one of Sjbz!", kFunction);

    AutoPtr<InflateStream> bzz = InflateStream::create(inStream, 0, 16);
    SimpleArray<uint16_t, 2> indices(indexCount);
    uint8_t block[2 * kIndicesPerBlock];
    for (uint32_t done = 0; done < indexCount;) {
        const uint32_t n = indexCount - done < kIndicesPerBlock ? indexCount - done : kIndicesPerBlock;
        bzz->readBytes(block, 2 * n, true);
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t index = uint32_t(block[2 * i]) << 8 | block[2 * i + 1];
            if (index >= colorCount)
                MVX_THROW(errDataBroken, "JB2Decoder::decodeFGbz : Palette index out of range!", kFunction);
            indices[done + i] = uint16_t(index);
        }
        done += n;
    }
    for (uint32_t i = 0; i < indexCount; ++i)
        ioShapes[i]->setColor(palette[indices[i]]);
}

} // namespace JB2
} // namespace DjVu
} // namespace Morvenix
