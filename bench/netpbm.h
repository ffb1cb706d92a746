// The raw Netpbm images the benchmarks read: PBM ("P4", rows of (width + 7) / 8 bytes, 1 is black) and
// PPM ("P6", maximum 255, three bytes red, green, blue a pixel).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <istream>
#include <string>
#include <vector>

struct NetpbmImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> raw; // the body as the file holds it
};

// The next header field, past white space and comments.
inline std::istream& netpbmField(std::istream& ioIn, std::string& outField)
{
    ioIn >> std::ws;
    while (ioIn.peek() == '#') {
        ioIn.ignore(1 << 20, '\n');
        ioIn >> std::ws;
    }
    return ioIn >> outField;
}

// Reads a raw PBM (inMagic "P4") or PPM ("P6"); false for anything else, an empty image or a short body.
inline bool readNetpbm(const char* inPath, const std::string& inMagic, NetpbmImage& outImage)
{
    std::ifstream in(inPath, std::ios::binary);
    std::string magic, width, height, maxValue = "255";
    netpbmField(netpbmField(netpbmField(in, magic), width), height);
    if (inMagic == "P6")
        netpbmField(in, maxValue);
    in.get();
    outImage.width = uint32_t(std::strtoul(width.c_str(), nullptr, 10));
    outImage.height = uint32_t(std::strtoul(height.c_str(), nullptr, 10));
    if (!in || magic != inMagic || maxValue != "255" || !outImage.width || !outImage.height)
        return false;
    const size_t row = inMagic == "P4" ? (size_t(outImage.width) + 7) / 8 : size_t(outImage.width) * 3;
    outImage.raw.resize(row * outImage.height);
    in.read(reinterpret_cast<char*>(outImage.raw.data()), std::streamsize(outImage.raw.size()));
    return bool(in);
}
