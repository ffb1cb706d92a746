// The segmenter's work images and the settings its passes share. Every work image holds the page with a
// margin of two blocks on every side, so the passes read neighbours and block windows without bounds tests.
#pragma once

#include "mvx_simplearray.h"

#include <cstddef>
#include <cstdint>

namespace Morvenix {
namespace DjVu {
namespace Seg {

// Segmentation values: 0 foreground, 255 background; the passes mark pixels with others while they work.
enum : uint8_t { kForeground = 0, kBackground = 255 };

struct Config {
    uint32_t blockWidth;
    uint32_t blockHeight;
    uint32_t blockArea;
    uint32_t noiseSize;
    uint32_t noiseContrast;
    bool detectEdges;
    bool expandFully;
};

// A byte image over memory it does not own.
struct ImageView {
    uint32_t width;
    uint32_t height;
    int32_t stride;
    uint8_t* data;

    uint8_t* row(uint32_t y) const { return data + ptrdiff_t(y) * stride; }
    uint8_t& at(uint32_t x, uint32_t y) const { return row(y)[x]; }
};

// A byte image that owns its pixels, rows packed (row step equal to the width).
class WorkImage {
public:
    WorkImage(uint32_t inWidth, uint32_t inHeight, uint8_t inFill);
    const ImageView& view() const { return m_view; }
    uint8_t* row(uint32_t y) const { return m_view.row(y); }

private:
    WorkImage(const WorkImage&) = delete;
    WorkImage& operator=(const WorkImage&) = delete;

    SimpleArray<uint8_t, 2> m_pixels;
    ImageView m_view;
};

// Hands a work image to the library's debug trace under a file name.
void dumpImage(const ImageView& inImage, const char* inFileName);

} // namespace Seg
} // namespace DjVu
} // namespace Morvenix
