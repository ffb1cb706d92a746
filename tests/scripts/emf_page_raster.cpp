// Plays an enhanced metafile with Windows' own player into a white page of the metafile's frame at a
// given resolution and writes it as a grey PGM image, for the page-metafile tests to set beside
// pdftoppm's render of the same page. Test-only: an independent view of where a metafile puts its content.
//   emf_page_raster IN.emf OUT.pgm DPI
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: emf_page_raster IN.emf OUT.pgm DPI\n");
        return 2;
    }
    const double dpi = _wtof(argv[3]);
    HENHMETAFILE metafile = GetEnhMetaFileW(argv[1]);
    if (metafile == nullptr || dpi <= 0) {
        std::fprintf(stderr, "emf_page_raster: cannot read the metafile\n");
        return 1;
    }
    ENHMETAHEADER header = {};
    GetEnhMetaFileHeader(metafile, sizeof header, &header);
    // The frame is in hundredths of a millimetre.
    const long width = std::lround((header.rclFrame.right - header.rclFrame.left) * dpi / 2540.0);
    const long height = std::lround((header.rclFrame.bottom - header.rclFrame.top) * dpi / 2540.0);
    if (width <= 0 || height <= 0 || width > 20000 || height > 20000) {
        std::fprintf(stderr, "emf_page_raster: frame of %ld x %ld pixels\n", width, height);
        return 1;
    }

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dc == nullptr || bitmap == nullptr) {
        std::fprintf(stderr, "emf_page_raster: no %ld x %ld bitmap\n", width, height);
        return 1;
    }
    SelectObject(dc, bitmap);
    RECT page = {0, 0, width, height};
    FillRect(dc, &page, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const BOOL played = PlayEnhMetaFile(dc, metafile, &page);
    GdiFlush();

    FILE* out = _wfopen(argv[2], L"wb");
    if (!played || out == nullptr) {
        std::fprintf(stderr, "emf_page_raster: %s\n", played ? "cannot write the image" : "playing failed");
        return 1;
    }
    std::fprintf(out, "P5\n%ld %ld\n255\n", width, height);
    const auto* pixels = static_cast<const unsigned char*>(bits);
    std::vector<unsigned char> row(static_cast<size_t>(width));
    for (long y = 0; y < height; ++y) {
        for (long x = 0; x < width; ++x) {
            const unsigned char* p = pixels + (static_cast<size_t>(y) * width + x) * 4;  // B, G, R, unused
            row[static_cast<size_t>(x)] = static_cast<unsigned char>((p[0] * 29 + p[1] * 150 + p[2] * 77) >> 8);
        }
        std::fwrite(row.data(), 1, row.size(), out);
    }
    std::fclose(out);
    DeleteObject(bitmap);
    DeleteDC(dc);
    DeleteEnhMetaFile(metafile);
    return 0;
}
