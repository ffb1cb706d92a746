// Pages drawn for the page encoder's tests, and what the tests read back from its page forms.
#pragma once

#include "djv_chunk.h"
#include "djv_djvuencoder.h"
#include "djvu_page_file.h"
#include "netpbm.h"

#include <cstdint>
#include <string>
#include <vector>

namespace EncoderTest {

using Morvenix::AutoPtr;
using Morvenix::DjVu::Chunk;
using Morvenix::DjVu::DjVuEncoder;
using MvxTest::Bytes;
using MvxTest::NetpbmImage;

// A white RGB page with a pale blue band at the top and rows of dark "glyphs": eight shapes (a bar, a
// ring, an L and so on, one glyph per 12 x 16 cell) repeated in an order that depends on inSeed, so
// that pages share shapes. With inLeftOnly the glyphs fill only the left half.
inline NetpbmImage drawPage(uint32_t inWidth, uint32_t inHeight, uint32_t inSeed, bool inLeftOnly = false)
{
    NetpbmImage page(inWidth, inHeight, 3);
    std::fill(page.pixels.begin(), page.pixels.end(), uint8_t(255));
    for (uint32_t y = 0; y < inHeight / 8; ++y)
        for (uint32_t x = 0; x < inWidth; ++x) {
            uint8_t* p = page.at(x, y);
            p[0] = 200, p[1] = 220, p[2] = 250;
        }
    uint32_t seed = inSeed * 2654435761u + 1;
    const uint32_t right = inLeftOnly ? inWidth / 2 : inWidth;
    for (uint32_t cy = inHeight / 8 + 4; cy + 16 <= inHeight; cy += 16)
        for (uint32_t cx = 4; cx + 12 <= right; cx += 12) {
            seed = seed * 1103515245u + 12345u;
            const uint32_t glyph = (seed >> 16) % 9; // 8: a space
            for (uint32_t y = 0; y < 11; ++y)
                for (uint32_t x = 0; x < 8; ++x) {
                    const bool ink = glyph == 0   ? x < 2
                                     : glyph == 1 ? (x < 2 || x > 5 || y < 2 || y > 8)
                                     : glyph == 2 ? (x < 2 || y > 8)
                                     : glyph == 3 ? (y < 2 || (x > 2 && x < 5))
                                     : glyph == 4 ? (x + y) % 7 < 2
                                     : glyph == 5 ? (y < 2 || y > 8 || (y > 4 && y < 7))
                                     : glyph == 6 ? (x > 5 || y == 5 || y == 6)
                                     : glyph == 7 ? (x == 3 || x == 4 || y == 0)
                                                  : false;
                    if (ink) {
                        uint8_t* p = page.at(cx + x, cy + y);
                        p[0] = 20, p[1] = 20, p[2] = glyph == 7 ? 160 : 30;
                    }
                }
        }
    return page;
}

// The one-byte-a-pixel mask of a page: foreground (0) where the pixel is dark.
inline std::vector<uint8_t> darkMask(const NetpbmImage& inPage)
{
    std::vector<uint8_t> mask(size_t(inPage.width) * inPage.height);
    for (uint32_t y = 0; y < inPage.height; ++y)
        for (uint32_t x = 0; x < inPage.width; ++x)
            mask[size_t(y) * inPage.width + x] = inPage.at(x, y)[1] < 128 ? 0 : 255;
    return mask;
}

inline void encode(DjVuEncoder& ioEncoder, AutoPtr<Chunk>& outForm, const NetpbmImage& inPage, uint32_t inMode,
                   const std::vector<uint8_t>* inMask = nullptr)
{
    DjVuEncoder::Params params(inMode);
    ioEncoder.encodePage(outForm, inPage.pixels.data(), int32_t(inPage.width * 3), Morvenix::DjVu::phRGB,
                         inPage.width, inPage.height, 300, &params, inMask ? inMask->data() : nullptr,
                         int32_t(inPage.width), Morvenix::DjVu::mtBytes);
}

// The ids of a page form's children, separated by blanks (a redirector gives its target's id).
inline std::string chunkIds(Chunk& inForm)
{
    std::string ids;
    for (const AutoPtr<Chunk>& child : inForm.getChildren())
        ids += (ids.empty() ? "" : " ") + std::string(child->getId().c_str());
    return ids;
}

inline Bytes bodyOf(Chunk& inChunk)
{
    AutoPtr<Morvenix::DjVu::Data> data = inChunk.getData();
    if (!data)
        return Bytes();
    return Bytes(data->getBuffer(), data->getBuffer() + data->getSize());
}

// Every child's id and bytes in order: what the serializer writes of the page, but for component names.
inline Bytes formBytes(Chunk& inForm)
{
    Bytes all;
    for (const AutoPtr<Chunk>& child : inForm.getChildren()) {
        const std::string id = child->getId().c_str();
        all.insert(all.end(), id.begin(), id.end());
        const Bytes body = bodyOf(*child);
        MvxTest::putBE32(all, uint32_t(body.size()));
        all.insert(all.end(), body.begin(), body.end());
    }
    return all;
}

} // namespace EncoderTest
