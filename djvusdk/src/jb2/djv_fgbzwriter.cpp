// The FGbz payload: a palette of foreground colours and, BZZ-compressed, one palette index per page shape.
#include "djv_jb2compressor.h"

#include "djv_bzz.h"
#include "mvx_exception.h"

#define MVX_SOURCE "djv_fgbzwriter"

namespace Morvenix {
namespace DjVu {
namespace JB2 {

namespace {
// The high bit of the version byte announces the index part; the format's version is 0.
const uint8_t kVersionWithIndices = 0x80;
const uint32_t kMaxColors = 0xFFFF;
const uint32_t kMaxIndices = 0xFFFFFF;
const uint32_t kIndicesPerBlock = 512;
} // namespace

void Compressor::encodeFGbz(const AutoPtr<Stream>& outStream, const SimpleArray<Color, 1>& inColors,
                            const SimpleArray<uint32_t, 2>& inIndices)
{
    static const char* const kFunction = "Morvenix::DjVu::JB2::Compressor::encodeFGbz";
    const uint32_t colorCount = inColors.count(), indexCount = inIndices.count();
    // Counts that do not fit their fields, or an index past the palette, would make a payload that no
    // decoder accepts.
    if (colorCount > kMaxColors)
        MVX_THROW(errInvalidParam, "Too many colours for an FGbz palette!", kFunction);
    if (indexCount > kMaxIndices)
        MVX_THROW(errInvalidParam, "Too many shapes for an FGbz index!", kFunction);
    for (uint32_t index : inIndices) {
        if (index >= colorCount)
            MVX_THROW(errInvalidParam, "An FGbz index names no palette colour!", kFunction);
    }

    const uint8_t header[3] = {kVersionWithIndices, uint8_t(colorCount >> 8), uint8_t(colorCount)};
    outStream->writeBytes(header, sizeof header);
    for (const Color& color : inColors) {
        const uint8_t bgr[3] = {color.blue, color.green, color.red};
        outStream->writeBytes(bgr, sizeof bgr);
    }
    const uint8_t count[3] = {uint8_t(indexCount >> 16), uint8_t(indexCount >> 8), uint8_t(indexCount)};
    outStream->writeBytes(count, sizeof count);

    AutoPtr<DeflateStream> bzz = DeflateStream::create(outStream, 1024, 16);
    uint8_t block[2 * kIndicesPerBlock];
    for (uint32_t done = 0; done < indexCount;) {
        const uint32_t n = indexCount - done < kIndicesPerBlock ? indexCount - done : kIndicesPerBlock;
        for (uint32_t i = 0; i < n; ++i) {
            block[2 * i] = uint8_t(inIndices[done + i] >> 8);
            block[2 * i + 1] = uint8_t(inIndices[done + i]);
        }
        bzz->writeBytes(block, 2 * n);
        done += n;
    }
    bzz->flushBuffer();
}

} // namespace JB2
} // namespace DjVu
} // namespace Morvenix
