#include "bp_image.h"

#include <cstring>
#include <stdexcept>

namespace {

uint32_t bitsPerPixel(uint32_t inFormat)
{
    static const uint32_t kBits[] = {24, 32, 8, 1};
    return kBits[inFormat];
}

} // namespace

T_Bitmap::T_Bitmap(int32_t inWidth, int32_t inHeight, uint32_t inFormat)
    : m_width(inWidth), m_height(inHeight), m_row0(nullptr), m_rowSize(0), m_format(inFormat), m_buffer(nullptr)
{
    m_rowSize = ((bitsPerPixel(inFormat) * uint32_t(inWidth) + 31) / 8) & ~3u;
    m_buffer = new uint8_t[size_t(m_rowSize) * uint32_t(inHeight)]();
    m_row0 = m_buffer;
}

T_Bitmap::~T_Bitmap()
{
    delete[] m_buffer;
}

int32_t T_Bitmap::GetWidth() const
{
    return m_width;
}

int32_t T_Bitmap::GetHeight() const
{
    return m_height;
}

uint8_t* T_Bitmap::GetRow(int32_t inY)
{
    return m_row0 + size_t(m_rowSize) * inY;
}

const uint8_t* T_Bitmap::GetRow(int32_t inY) const
{
    return m_row0 + size_t(m_rowSize) * inY;
}

int32_t T_Bitmap::GetRowStep() const
{
    return int32_t(m_rowSize);
}

uint32_t T_Bitmap::GetFormat() const
{
    return m_format;
}

Win32DIB::Win32DIB(int32_t inWidth, int32_t inHeight, HDC inReferenceDC)
    : m_width(inWidth), m_height(inHeight), m_rowStep(0), m_size(0), m_bits(nullptr), m_topRow(nullptr),
      m_bitmap(nullptr), m_memoryDC(nullptr), m_previous(nullptr), m_header()
{
    m_header.biSize = sizeof(BITMAPINFOHEADER);
    m_header.biWidth = inWidth;
    // A positive height: rows bottom-up, as GDI keeps them natively.
    m_header.biHeight = inHeight;
    m_header.biPlanes = 1;
    m_header.biBitCount = 24;
    m_header.biCompression = BI_RGB;

    HDC screen = inReferenceDC ? nullptr : GetDC(nullptr);
    void* bits = nullptr;
    m_bitmap = CreateDIBSection(inReferenceDC ? inReferenceDC : screen, reinterpret_cast<BITMAPINFO*>(&m_header),
                                DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!m_bitmap || !bits) {
        if (m_bitmap)
            DeleteObject(m_bitmap);
        if (screen)
            ReleaseDC(nullptr, screen);
        throw std::runtime_error("CreateDIBSection failed!");
    }
    const uint32_t rowSize = (3 * uint32_t(inWidth) + 3) & ~3u;
    m_rowStep = -int32_t(rowSize);
    m_size = rowSize * uint32_t(inHeight);
    m_bits = static_cast<uint8_t*>(bits);
    m_topRow = m_bits + size_t(rowSize) * (inHeight - 1);
    std::memset(m_bits, 255, m_size);

    m_memoryDC = CreateCompatibleDC(screen);
    if (m_memoryDC)
        m_previous = SelectObject(m_memoryDC, m_bitmap);
    if (screen)
        ReleaseDC(nullptr, screen);
}

Win32DIB::~Win32DIB()
{
    GdiFlush();
    CloseMemoryDC();
    DeleteObject(m_bitmap);
}

int32_t Win32DIB::GetWidth() const
{
    return m_width;
}

int32_t Win32DIB::GetHeight() const
{
    return m_height;
}

uint8_t* Win32DIB::GetRow(int32_t inY)
{
    return m_topRow + ptrdiff_t(m_rowStep) * inY;
}

const uint8_t* Win32DIB::GetRow(int32_t inY) const
{
    return m_topRow + ptrdiff_t(m_rowStep) * inY;
}

int32_t Win32DIB::GetRowStep() const
{
    return m_rowStep;
}

uint32_t Win32DIB::GetFormat() const
{
    return fmtBGR24;
}

HDC Win32DIB::GetMemoryDC() const
{
    return m_memoryDC;
}

void Win32DIB::CloseMemoryDC()
{
    if (!m_memoryDC)
        return;
    SelectObject(m_memoryDC, m_previous);
    DeleteDC(m_memoryDC);
    m_memoryDC = nullptr;
}
