// Images made in the IW44 tests, the encoder's chunks of a layer, and the PSNR of a decode.
#pragma once

#include "djv_iw44encoder.h"
#include "djvu_form_interop.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace Iw44Test {

using Morvenix::AutoPtr;
using Morvenix::DjVu::Chunk;
using Morvenix::DjVu::Photometric;
using Morvenix::DjVu::IW44::IW44Encoder;
typedef std::vector<unsigned char> Bytes;

// Pixels of a top-down image with rows of width x bytes.
struct Image {
    uint32_t width;
    uint32_t height;
    Photometric photometric;
    Bytes pixels;
    uint32_t bytesPerPixel() const { return Morvenix::DjVu::bytesPerPixel(photometric); }
    int32_t stride() const { return int32_t(width * bytesPerPixel()); }
};

// A smooth colour gradient with deterministic noise of the given amplitude (a photo-like picture).
inline Image gradientImage(uint32_t inWidth, uint32_t inHeight, uint32_t inNoise = 24)
{
    Image image{inWidth, inHeight, Morvenix::DjVu::phRGB, Bytes(size_t(inWidth) * inHeight * 3)};
    uint32_t seed = 12345;
    for (uint32_t y = 0; y < inHeight; ++y)
        for (uint32_t x = 0; x < inWidth; ++x) {
            uint8_t* p = &image.pixels[(size_t(y) * inWidth + x) * 3];
            const int32_t base[3] = {int32_t(x * 255 / inWidth), int32_t(y * 255 / inHeight),
                                     int32_t((x + y) * 127 / (inWidth + inHeight) + 64)};
            for (int c = 0; c < 3; ++c) {
                seed = seed * 1103515245u + 12345u;
                const int32_t noise = inNoise ? int32_t((seed >> 16) % (2 * inNoise + 1)) - int32_t(inNoise) : 0;
                const int32_t v = base[c] + noise;
                p[c] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    return image;
}

inline Image flatImage(uint32_t inWidth, uint32_t inHeight, Photometric inPhotometric, const Bytes& inPixel)
{
    Image image{inWidth, inHeight, inPhotometric, Bytes()};
    for (size_t i = 0; i < size_t(inWidth) * inHeight; ++i)
        image.pixels.insert(image.pixels.end(), inPixel.begin(), inPixel.end());
    return image;
}

inline AutoPtr<IW44Encoder> encoderOf(const Image& inImage, const IW44Encoder::Params& inParams)
{
    return IW44Encoder::create(inImage.pixels.data(), inImage.stride(), inImage.photometric, inImage.width,
                               inImage.height, &inParams);
}

// Every chunk of the layer, in order.
inline std::vector<AutoPtr<Chunk>> layerChunks(IW44Encoder& ioEncoder)
{
    std::vector<AutoPtr<Chunk>> chunks;
    for (;;) {
        AutoPtr<Chunk> chunk;
        ioEncoder.encodeChunk(chunk);
        if (!chunk)
            return chunks;
        chunks.push_back(chunk);
    }
}

inline Bytes bodyOf(const Chunk& inChunk)
{
    AutoPtr<Morvenix::DjVu::Data> data = inChunk.getData();
    AutoPtr<Morvenix::Storage> storage(data->getReadStorage(true));
    Bytes body(size_t(storage->getSize()));
    if (!body.empty())
        storage->readBytes(body.data(), uint32_t(body.size()), true);
    return body;
}

// PSNR in dB of a decoded PPM against the image (grey images compare each channel with the grey byte).
inline double psnr(const Image& inImage, const MvxTest::NetpbmImage& inDecoded)
{
    if (inDecoded.width != inImage.width || inDecoded.height != inImage.height || inDecoded.bytesPerPixel != 3)
        return 0.0;
    double sum = 0.0;
    const uint32_t bpp = inImage.bytesPerPixel();
    for (uint32_t y = 0; y < inImage.height; ++y)
        for (uint32_t x = 0; x < inImage.width; ++x)
            for (uint32_t c = 0; c < 3; ++c) {
                const double d = double(inImage.pixels[(size_t(y) * inImage.width + x) * bpp + (bpp == 3 ? c : 0)]) -
                                 inDecoded.at(x, y)[c];
                sum += d * d;
            }
    const double mse = sum / (3.0 * inImage.width * inImage.height);
    return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

} // namespace Iw44Test
