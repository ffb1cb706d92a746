// Helpers of the renderer tests: GDI+ for the test program's life, metafile pages drawn with GDI, raw
// records spliced into a metafile's bytes, both renders of a page, and pixel counts of the images.
#pragma once

#include "bp_emfrenderer.h"
#include "bp_image.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace RenderTest {

// Owns a metafile handle.
class Metafile {
public:
    explicit Metafile(HENHMETAFILE inHandle = nullptr) : m_handle(inHandle) {}
    ~Metafile();
    Metafile(Metafile&& o) noexcept : m_handle(o.m_handle) { o.m_handle = nullptr; }
    Metafile& operator=(Metafile&& o) noexcept;
    Metafile(const Metafile&) = delete;
    Metafile& operator=(const Metafile&) = delete;
    HENHMETAFILE get() const { return m_handle; }

private:
    HENHMETAFILE m_handle;
};

// A page metafile recorded on the screen's reference device: inWidth x inHeight hundredths of a millimetre
// (default two inches square). Logical units are the reference device's pixels (MM_TEXT).
class PageDrawing {
public:
    explicit PageDrawing(int32_t inWidth = 5080, int32_t inHeight = 5080);
    ~PageDrawing();
    PageDrawing(const PageDrawing&) = delete;
    PageDrawing& operator=(const PageDrawing&) = delete;
    HDC dc() const { return m_dc; }
    Metafile finish();

private:
    HDC m_dc;
};

std::vector<uint8_t> metafileBytes(HENHMETAFILE inMetafile);
// Null when GDI refuses the bytes.
Metafile metafileFromBytes(const std::vector<uint8_t>& inBytes);

// One record: its type, its size (8 + the payload, padded to 4 bytes) unless inSize is given, the payload.
std::vector<uint8_t> makeRecord(uint32_t inType, const std::vector<uint8_t>& inPayload, uint32_t inSize = 0);
// The payload's little-endian 32-bit words, for building records.
std::vector<uint8_t> words(std::initializer_list<uint32_t> inWords);
void putWord(std::vector<uint8_t>& ioBytes, size_t inOffset, uint32_t inValue);
// The metafile with the records put in before its end-of-file record, the header's counts made true.
std::vector<uint8_t> spliceRecords(const std::vector<uint8_t>& inMetafile,
                                   const std::vector<std::vector<uint8_t>>& inRecords);
// The offsets of the metafile's records, the header's first.
std::vector<size_t> recordOffsets(const std::vector<uint8_t>& inMetafile);

// Both passes of a page, as the exporter runs them, and the agreement mask.
struct PageRenders {
    Morvenix::AutoPtr<T_Image> full;
    Morvenix::AutoPtr<T_Image> plain;
    Morvenix::AutoPtr<T_Image> mask;
    Morvenix::AutoPtr<Morvenix::DjVu::TextZone> page;
    Morvenix::AutoPtr<Morvenix::DjVu::Annotation> annotation;
    // Image pixels a logical unit of a PageDrawing (the reference device's pixels).
    double scale = 0;
};
PageRenders renderPage(HENHMETAFILE inMetafile, int32_t inResolution = 300);

// 0xRRGGBB of a 24-bit image's pixel.
uint32_t pixel(const T_Image& inImage, int32_t inX, int32_t inY);
// Pixels of the rectangle [x0, x1) x [y0, y1) that are not white.
int64_t countInked(const T_Image& inImage, int32_t inX0, int32_t inY0, int32_t inX1, int32_t inY1);
int64_t countInked(const T_Image& inImage);
int64_t countDifferent(const T_Image& inFirst, const T_Image& inSecond);
// Distinct pixel values of a 24-bit image.
size_t countColours(const T_Image& inImage);
// Mask bits set to 1 within the image's width; and whether every bit past the width is 0.
int64_t countMaskOnes(const T_Image& inMask);
bool maskPaddingClear(const T_Image& inMask);

} // namespace RenderTest
