// Page images: the 24-bit DIB section a metafile page is played into, and the plain in-memory image that
// holds the one-bit agreement mask. Row 0 is always the top row; the row step is the signed byte distance
// from a row to the one below it, so bottom-up DIB rows are handed out in place without a copy.
#pragma once

#include <windows.h>

#include "mvx_referable.h"

#include <cstdint>

class T_Image : public Morvenix::Referable {
public:
    // Pixel formats: 0 three bytes (blue, green, red), 1 four bytes, 2 one byte, 3 one bit (MSB first).
    enum Format : uint32_t { fmtBGR24 = 0, fmt32 = 1, fmt8 = 2, fmt1 = 3 };

    ~T_Image() override {}
    virtual int32_t GetWidth() const = 0;
    virtual int32_t GetHeight() const = 0;
    virtual uint8_t* GetRow(int32_t inY) = 0;
    virtual const uint8_t* GetRow(int32_t inY) const = 0;
    virtual int32_t GetRowStep() const = 0;
    virtual uint32_t GetFormat() const = 0;
};

// A zero-filled image in ordinary memory, rows top-down, each padded to whole 32-bit words.
class T_Bitmap : public T_Image {
public:
    T_Bitmap(int32_t inWidth, int32_t inHeight, uint32_t inFormat);
    ~T_Bitmap() override;
    int32_t GetWidth() const override;
    int32_t GetHeight() const override;
    uint8_t* GetRow(int32_t inY) override;
    const uint8_t* GetRow(int32_t inY) const override;
    int32_t GetRowStep() const override;
    uint32_t GetFormat() const override;

private:
    int32_t m_width;
    int32_t m_height;
    uint8_t* m_row0;
    uint32_t m_rowSize;
    uint32_t m_format;
    uint8_t* m_buffer;
};

// A white 24-bit bottom-up DIB section selected into its own memory device context: GDI and GDI+ drawing
// on GetMemoryDC() lands in the pixels, which are read in place.
class Win32DIB : public T_Image {
public:
    // Throws std::runtime_error("CreateDIBSection failed!") when the section cannot be made.
    Win32DIB(int32_t inWidth, int32_t inHeight, HDC inReferenceDC = nullptr);
    ~Win32DIB() override;
    int32_t GetWidth() const override;
    int32_t GetHeight() const override;
    uint8_t* GetRow(int32_t inY) override;
    const uint8_t* GetRow(int32_t inY) const override;
    int32_t GetRowStep() const override;
    uint32_t GetFormat() const override;

    HDC GetMemoryDC() const;
    void CloseMemoryDC();

private:
    int32_t m_width;
    int32_t m_height;
    int32_t m_rowStep;
    uint32_t m_size;
    uint8_t* m_bits;
    uint8_t* m_topRow;
    HBITMAP m_bitmap;
    HDC m_memoryDC;
    HGDIOBJ m_previous;
    BITMAPINFOHEADER m_header;
};
