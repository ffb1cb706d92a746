// The pixel layouts and colour values that page images, masks and the codecs hand to one another.
#pragma once

#include <cstdint>

namespace Morvenix {
namespace DjVu {

// Byte layout of an image pixel. Routines that need the layout refuse any other value.
enum Photometric : uint32_t {
    phRGB = 0,  // red, green, blue
    phBGR = 1,  // blue, green, red
    phGray = 2, // one grey byte
    phYCC = 3,  // luminance first, then two colour-difference bytes: read as YCCPixel says
};

// Bytes a pixel of the layout: 3, or 1 for grey; 0 for a value outside the enumeration, which each routine
// that needs the layout refuses with its own message.
inline uint32_t bytesPerPixel(Photometric inPhotometric)
{
    return inPhotometric == phGray ? 1 : inPhotometric <= phYCC ? 3 : 0;
}

// Whether rows inStep bytes apart, in either direction, leave room for rows of inRowBytes bytes.
inline bool rowStepHolds(int32_t inStep, uint64_t inRowBytes)
{
    return uint64_t(inStep < 0 ? -int64_t(inStep) : int64_t(inStep)) >= inRowBytes;
}

// The bits of a one-bit row's last byte that hold pixels, the leftmost in the most significant bit: all
// eight when the width is a multiple of 8, none for width 0. The others are padding and may hold anything.
inline uint8_t lastByteMask(uint32_t inWidth)
{
    return inWidth ? uint8_t(0xFF00u >> (((inWidth - 1) & 7) + 1)) : 0;
}

// The one reading of a phYCC pixel, taken by every routine that reads page images: byte 0 is the
// luminance, unsigned, from 0 black to 255 white; bytes 1 and 2 are the blue and red colour differences
// (Cb, Cr), signed, 0 for none. White is therefore FF 00 00. The IW44 planes code luminance - 128, Cb and
// Cr, which IW44 decoders turn back into colours.
struct YCCPixel {
    int32_t luminance; // 0 - 255
    int32_t blue;      // Cb, -128 - 127
    int32_t red;       // Cr, -128 - 127

    static YCCPixel read(const uint8_t* inPixel)
    {
        return YCCPixel{inPixel[0], int8_t(inPixel[1]), int8_t(inPixel[2])};
    }
};

// Mask layouts: one byte a pixel, or one bit a pixel with the leftmost pixel in the most significant bit.
// In both a clear value is foreground.
enum MaskType : uint32_t {
    mtBytes = 0,
    mtBits = 1,
};

// A colour as four bytes blue, green, red, 0: read as a little-endian word it is 0x00RRGGBB.
struct Color {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
    uint8_t zero;

    uint32_t toRGB() const { return uint32_t(red) << 16 | uint32_t(green) << 8 | blue; }
    static Color fromRGB(uint32_t inRGB)
    {
        return Color{uint8_t(inRGB), uint8_t(inRGB >> 8), uint8_t(inRGB >> 16), 0};
    }
    bool operator==(const Color& o) const { return toRGB() == o.toRGB(); }
    bool operator!=(const Color& o) const { return !(*this == o); }
};

} // namespace DjVu
} // namespace Morvenix
