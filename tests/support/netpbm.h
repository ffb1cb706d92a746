// Images as the outside tools write them: raw PBM ("P4": one bit a pixel, most significant bit first, 1
// being black) and raw PPM ("P6": three bytes red, green, blue a pixel, maximum value 255).
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace MvxTest {

// Pixels of bytesPerPixel bytes each (1 for PBM: 1 is black; 3 for PPM: red, green, blue), rows from
// the top.
struct NetpbmImage {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bytesPerPixel = 1;
    std::vector<uint8_t> pixels;

    NetpbmImage() {}
    NetpbmImage(uint32_t inWidth, uint32_t inHeight, uint32_t inBytesPerPixel = 1)
        : width(inWidth), height(inHeight), bytesPerPixel(inBytesPerPixel),
          pixels(size_t(inWidth) * inHeight * inBytesPerPixel, 0)
    {
    }
    uint8_t* at(uint32_t x, uint32_t y) { return &pixels[(size_t(y) * width + x) * bytesPerPixel]; }
    const uint8_t* at(uint32_t x, uint32_t y) const { return &pixels[(size_t(y) * width + x) * bytesPerPixel]; }
    // 0xRRGGBB of a PPM pixel.
    uint32_t rgb(uint32_t x, uint32_t y) const
    {
        const uint8_t* p = at(x, y);
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
    bool operator==(const NetpbmImage& o) const
    {
        return width == o.width && height == o.height && bytesPerPixel == o.bytesPerPixel && pixels == o.pixels;
    }
};

// Where two images first differ, for a failure message ("" when they are equal).
inline std::string firstDifference(const NetpbmImage& inExpected, const NetpbmImage& inActual)
{
    if (inExpected.width != inActual.width || inExpected.height != inActual.height ||
        inExpected.bytesPerPixel != inActual.bytesPerPixel)
        return "size " + std::to_string(inActual.width) + "x" + std::to_string(inActual.height) + ", expected " +
               std::to_string(inExpected.width) + "x" + std::to_string(inExpected.height);
    for (uint32_t y = 0; y < inExpected.height; ++y)
        for (uint32_t x = 0; x < inExpected.width; ++x)
            for (uint32_t b = 0; b < inExpected.bytesPerPixel; ++b)
                if (inExpected.at(x, y)[b] != inActual.at(x, y)[b])
                    return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") byte " + std::to_string(b) +
                           " is " + std::to_string(inActual.at(x, y)[b]) + ", expected " +
                           std::to_string(inExpected.at(x, y)[b]);
    return std::string();
}

// PSNR in dB of a decoded PPM against the original (one byte a pixel: grey, compared with each channel);
// 0 for images of different sizes.
inline double psnr(const NetpbmImage& inOriginal, const NetpbmImage& inDecoded)
{
    if (inDecoded.width != inOriginal.width || inDecoded.height != inOriginal.height || inDecoded.bytesPerPixel != 3)
        return 0.0;
    const uint32_t bpp = inOriginal.bytesPerPixel;
    double sum = 0.0;
    for (uint32_t y = 0; y < inOriginal.height; ++y)
        for (uint32_t x = 0; x < inOriginal.width; ++x)
            for (uint32_t c = 0; c < 3; ++c) {
                const double d = double(inOriginal.at(x, y)[bpp == 3 ? c : 0]) - inDecoded.at(x, y)[c];
                sum += d * d;
            }
    const double mse = sum / (3.0 * inOriginal.width * inOriginal.height);
    return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// A raw PBM file of a one-byte-a-pixel image (nonzero is black).
inline std::vector<unsigned char> formatPbm(const NetpbmImage& inImage)
{
    const std::string header = "P4\n" + std::to_string(inImage.width) + " " + std::to_string(inImage.height) + "\n";
    std::vector<unsigned char> file(header.begin(), header.end());
    const size_t rowBytes = (size_t(inImage.width) + 7) / 8;
    for (uint32_t y = 0; y < inImage.height; ++y) {
        const size_t row = file.size();
        file.resize(row + rowBytes, 0);
        for (uint32_t x = 0; x < inImage.width; ++x)
            if (*inImage.at(x, y))
                file[row + x / 8] = uint8_t(file[row + x / 8] | (0x80 >> (x % 8)));
    }
    return file;
}

// Parses a P4 or P6 file; a malformed one fails the test and gives an empty image.
inline NetpbmImage parseNetpbm(const std::vector<unsigned char>& inFile)
{
    size_t at = 2;
    const auto number = [&](uint32_t& outValue) {
        while (at < inFile.size() && (std::isspace(inFile[at]) || inFile[at] == '#')) {
            if (inFile[at] == '#')
                while (at < inFile.size() && inFile[at] != '\n')
                    ++at;
            else
                ++at;
        }
        uint64_t v = 0;
        const size_t first = at;
        while (at < inFile.size() && std::isdigit(inFile[at]) && v <= 0xFFFFFFFFu)
            v = v * 10 + uint32_t(inFile[at++] - '0');
        outValue = uint32_t(v);
        return at > first && v <= 0xFFFFFFFFu;
    };
    if (inFile.size() < 2 || inFile[0] != 'P' || (inFile[1] != '4' && inFile[1] != '6')) {
        ADD_FAILURE() << "neither a raw PBM nor a raw PPM file";
        return NetpbmImage();
    }
    const bool pbm = inFile[1] == '4';
    uint32_t width = 0, height = 0, maxValue = 1;
    if (!number(width) || !number(height) || (!pbm && (!number(maxValue) || maxValue != 255)) ||
        uint64_t(width) * height > (uint64_t(1) << 28)) {
        ADD_FAILURE() << "bad PBM/PPM header";
        return NetpbmImage();
    }
    ++at; // the single white-space byte before the raster
    NetpbmImage image(width, height, pbm ? 1 : 3);
    const size_t rowBytes = pbm ? (size_t(width) + 7) / 8 : size_t(width) * 3;
    if (inFile.size() < at + rowBytes * height) {
        ADD_FAILURE() << "raster cut short";
        return NetpbmImage();
    }
    if (!pbm) {
        std::copy(inFile.begin() + long(at), inFile.begin() + long(at + rowBytes * height), image.pixels.begin());
        return image;
    }
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            *image.at(x, y) = (inFile[at + y * rowBytes + x / 8] >> (7 - x % 8)) & 1;
    return image;
}

} // namespace MvxTest
