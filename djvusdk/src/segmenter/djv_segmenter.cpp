// The segmenter: grey image, blur, per-block thresholds, classification and clean-up, then the mask in the
// caller's layout.
#include "djv_segmenter.h"

#include "djv_imageutils.h"
#include "djv_segpasses.h"
#include "djv_segworkimage.h"
#include "mvx_exception.h"

#include <cstddef>
#include <cstring>

#define MVX_SOURCE "segmenter/djv_segmenter"

namespace Morvenix {
namespace DjVu {

namespace {

constexpr const char* kFunction = "Morvenix::DjVu::Segmenter::segment";

// Largest work image: keeps each below 2 GB and every coordinate and size in 31 bits.
constexpr uint64_t kMaxWorkBytes = 0x7FFFFFFFu;

// Copies the page into the grey image at the margin offset; returns how many grey levels occur.
uint32_t makeGrayscaleImage(const Seg::Config& inConfig, Photometric inPhotometric, const uint8_t* inPixels,
                            int32_t inStride, uint32_t inWidth, uint32_t inHeight, const Seg::ImageView& outGray)
{
    bool seen[256] = {};
    const uint32_t x0 = 2 * inConfig.blockWidth;
    const uint32_t y0 = 2 * inConfig.blockHeight;
    for (uint32_t y = 0; y < inHeight; ++y) {
        const uint8_t* s = inPixels + ptrdiff_t(y) * inStride;
        uint8_t* g = outGray.row(y0 + y) + x0;
        switch (inPhotometric) {
        case phRGB:
        case phBGR: {
            const uint32_t red = inPhotometric == phRGB ? 0 : 2;
            const uint32_t blue = 2 - red;
            for (uint32_t x = 0; x < inWidth; ++x, s += 3)
                g[x] = uint8_t((306u * s[red] + 601u * s[1] + 117u * s[blue]) >> 10);
            break;
        }
        case phGray:
            std::memcpy(g, s, inWidth);
            break;
        case phYCC:
            for (uint32_t x = 0; x < inWidth; ++x, s += 3)
                g[x] = s[0];
            break;
        }
        for (uint32_t x = 0; x < inWidth; ++x)
            seen[g[x]] = true;
    }
    uint32_t levels = 0;
    for (bool b : seen)
        levels += b;
    return levels;
}

void validate(const uint8_t* inMask, int32_t inMaskStride, uint32_t inMaskType, uint32_t inWidth, uint32_t inHeight,
              const uint8_t* inPixels, int32_t inStride, Photometric inPhotometric, const Segmenter::Params& inParams)
{
    if (inPhotometric > phYCC)
        MVX_THROW(errInvalidParam, "Segmenter: Unknown photometric.", kFunction);
    if (!inMask || !inPixels || !inWidth || !inHeight || !inParams.blockSize)
        MVX_THROW(errInvalidParam, "errInvalidParam", kFunction);
    const uint64_t pixelBytes = uint64_t(inWidth) * bytesPerPixel(inPhotometric);
    const uint64_t maskRowBytes = inMaskType == mtBits ? (uint64_t(inWidth) + 7) / 8 : inWidth;
    if (inMaskStride <= 0 || uint64_t(inMaskStride) < maskRowBytes || !rowStepHolds(inStride, pixelBytes))
        MVX_THROW(errInvalidParam, "errInvalidParam", kFunction);
    const uint64_t workWidth = inWidth + 4 * uint64_t(inParams.blockSize);
    const uint64_t workHeight = inHeight + 4 * uint64_t(inParams.blockSize);
    if (workWidth > kMaxWorkBytes || workHeight > kMaxWorkBytes || workWidth * workHeight > kMaxWorkBytes)
        MVX_THROW(errInvalidParam, "errInvalidParam", kFunction);
}

void fillMask(uint8_t* outMask, int32_t inMaskStride, uint32_t inMaskType, uint32_t inWidth, uint32_t inHeight,
              uint8_t inValue)
{
    const size_t rowBytes = inMaskType == mtBits ? (size_t(inWidth) + 7) / 8 : inWidth;
    for (uint32_t y = 0; y < inHeight; ++y)
        std::memset(outMask + ptrdiff_t(y) * inMaskStride, inValue, rowBytes);
}

} // namespace

void Segmenter::segment(uint8_t* outMask, int32_t inMaskStride, uint32_t inMaskType, uint32_t inWidth,
                        uint32_t inHeight, const uint8_t* inPixels, int32_t inStride, Photometric inPhotometric,
                        const Params* inParams)
{
    const Params params = inParams ? *inParams : defaultParams();
    validate(outMask, inMaskStride, inMaskType, inWidth, inHeight, inPixels, inStride, inPhotometric, params);
    const uint32_t bs = params.blockSize;
    const Seg::Config config{bs,
                             bs,
                             bs * bs,
                             params.noiseSize,
                             params.noiseContrast,
                             params.detectEdges != 0,
                             params.expandFully != 0};
    if (inWidth < bs || inHeight < bs)
        return;

    const uint32_t workWidth = inWidth + 4 * bs;
    const uint32_t workHeight = inHeight + 4 * bs;
   
    Seg::WorkImage gray(workWidth, workHeight, Seg::kBackground);
   
    const uint32_t levels =
        makeGrayscaleImage(config, inPhotometric, inPixels, inStride, inWidth, inHeight, gray.view());
    Seg::dumpImage(gray.view(), "segtest_0grayscale.pgm");
    if (levels == 1) {
        fillMask(outMask, inMaskStride, inMaskType, inWidth, inHeight,
                 params.uniformForeground ? Seg::kForeground : Seg::kBackground);
        return;
    }

    Seg::WorkImage blurred(workWidth, workHeight, 0);
   
    Seg::blur(config, gray.view(), blurred.view());
    Seg::dumpImage(blurred.view(), "segtest_1blurred.pgm");
    Seg::WorkImage segmented(workWidth, workHeight, Seg::kBackground);
    Seg::WorkImage blocks(workWidth / bs, workHeight / bs, 255);
    Seg::classify(config, gray.view(), blurred.view(), segmented.view(), blocks.view());
    Seg::dumpImage(segmented.view(), "segtest_2segmented.pgm");
    Seg::dumpImage(blocks.view(), "segtest_2foreback.pgm");
    if (levels >= 17 && config.detectEdges) {
        Seg::detectEdges(gray.view(), segmented.view());
        Seg::dumpImage(segmented.view(), "segtest_4edgedetect.pgm");
    }
    if (levels > 2) {
        // The grey image is not read after this point: block deletion works in its memory.
        Seg::deleteBlocks(config, segmented.view(), blocks.view(), gray.view().data);
        Seg::dumpImage(segmented.view(), "segtest_5deleteblock.pgm");
        Seg::deleteNoise(config, segmented.view(), blurred.view());
        Seg::dumpImage(segmented.view(), "segtest_6deletenoise.pgm");
        Seg::expand(config, segmented.view());
        Seg::dumpImage(segmented.view(), "segtest_7expansion.pgm");
    }

    const uint8_t* page = segmented.row(2 * bs) + 2 * bs;
    if (inMaskType == mtBytes) {
        for (uint32_t y = 0; y < inHeight; ++y)
            std::memcpy(outMask + ptrdiff_t(y) * inMaskStride, page + size_t(y) * workWidth, inWidth);
    } else if (inMaskType == mtBits) {
        ImageUtils::packBytesToBits(inWidth, inHeight, int32_t(workWidth), page, inMaskStride, outMask);
    } else {
        MVX_THROW(errInvalidParam, "Unknown mask type.", kFunction);
    }
}

} // namespace DjVu
} // namespace Morvenix
