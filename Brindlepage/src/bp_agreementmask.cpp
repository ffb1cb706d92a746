#include "bp_exporter.h"

#include "mvx_exception.h"

#include <cstring>

#define MVX_SOURCE "bp_agreementmask"

namespace {

// Pixels compared a block at a time: most of a page agrees, and a whole mask byte is set at once.
const int32_t kBlockPixels = 8;
const size_t kBlockBytes = kBlockPixels * 3;

} // namespace

void CDjVuExporter::BuildAgreementMask(Morvenix::AutoPtr<T_Image>& outMask, const T_Image& inFirst,
                                       const T_Image& inSecond)
{
    static const char kFunction[] = "CDjVuExporter::BuildAgreementMask";
    const int32_t width = inFirst.GetWidth();
    const int32_t height = inFirst.GetHeight();
    if (inSecond.GetWidth() != width || inSecond.GetHeight() != height ||
        inFirst.GetFormat() != T_Image::fmtBGR24 || inSecond.GetFormat() != T_Image::fmtBGR24)
        MVX_THROW(Morvenix::errInvalidParam, "The two renders of a page differ in size or format", kFunction);

    Morvenix::AutoPtr<T_Image> mask(new T_Bitmap(width, height, T_Image::fmt1));
    const int32_t wholeBlocks = width / kBlockPixels;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* first = inFirst.GetRow(y);
        const uint8_t* second = inSecond.GetRow(y);
        uint8_t* bits = mask->GetRow(y);
        for (int32_t block = 0; block < wholeBlocks; ++block) {
            const size_t offset = size_t(block) * kBlockBytes;
            if (std::memcmp(first + offset, second + offset, kBlockBytes) == 0) {
                bits[block] = 0xFF;
                continue;
            }
            uint8_t byte = 0;
            for (int32_t i = 0; i < kBlockPixels; ++i) {
                const size_t pixel = offset + size_t(i) * 3;
                if (first[pixel] == second[pixel] && first[pixel + 1] == second[pixel + 1] &&
                    first[pixel + 2] == second[pixel + 2])
                    byte |= uint8_t(0x80 >> i);
            }
            bits[block] = byte;
        }
        for (int32_t x = wholeBlocks * kBlockPixels; x < width; ++x) {
            const size_t pixel = size_t(x) * 3;
            if (first[pixel] == second[pixel] && first[pixel + 1] == second[pixel + 1] &&
                first[pixel + 2] == second[pixel + 2])
                bits[x >> 3] |= uint8_t(0x80 >> (x & 7));
        }
    }
    outMask = mask;
}
