// Page renderer benchmark: each page metafile is rendered as the exporter does (the capture pass with a
// page zone and an annotation, the plain pass, the agreement mask), best of a few rounds. Prints per page
// the milliseconds of the first round (both renders and the mask; on the first page the renderer's page
// images are new, later pages reuse them as the exporter's renderer does), of each step, and of the
// capture pass played without a page zone (the same records drawn, nothing captured), whose difference
// to the capture pass is the capture's own share. With
// "dump" each page's two renders (PPM) and mask (PBM, 1 black where the renders differ) are written.
//   render_bench [-r DPI] [-n ROUNDS] [-d DUMPPREFIX] PAGE.emf...
#include "bp_emfrenderer.h"
#include "bp_exporter.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

double msSince(std::chrono::steady_clock::time_point inStart)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - inStart).count();
}

void writePpm(const std::string& inPath, const T_Image& inImage)
{
    FILE* out = std::fopen(inPath.c_str(), "wb");
    if (!out)
        return;
    std::fprintf(out, "P6\n%d %d\n255\n", inImage.GetWidth(), inImage.GetHeight());
    std::string row(size_t(inImage.GetWidth()) * 3, '\0');
    for (int32_t y = 0; y < inImage.GetHeight(); ++y) {
        const uint8_t* p = inImage.GetRow(y);
        for (int32_t x = 0; x < inImage.GetWidth(); ++x) {
            row[3 * x] = char(p[3 * x + 2]);
            row[3 * x + 1] = char(p[3 * x + 1]);
            row[3 * x + 2] = char(p[3 * x]);
        }
        std::fwrite(row.data(), 1, row.size(), out);
    }
    std::fclose(out);
}

void writePbm(const std::string& inPath, const T_Image& inMask)
{
    FILE* out = std::fopen(inPath.c_str(), "wb");
    if (!out)
        return;
    std::fprintf(out, "P4\n%d %d\n", inMask.GetWidth(), inMask.GetHeight());
    const size_t bytes = (size_t(inMask.GetWidth()) + 7) / 8;
    std::string row(bytes, '\0');
    for (int32_t y = 0; y < inMask.GetHeight(); ++y) {
        const uint8_t* p = inMask.GetRow(y);
        for (size_t i = 0; i < bytes; ++i)
            row[i] = char(~p[i]);
        if (inMask.GetWidth() % 8)
            row[bytes - 1] = char(row[bytes - 1] & (0xFF << (8 - inMask.GetWidth() % 8)));
        std::fwrite(row.data(), 1, row.size(), out);
    }
    std::fclose(out);
}

int64_t zeros(const T_Image& inMask)
{
    int64_t count = 0;
    for (int32_t y = 0; y < inMask.GetHeight(); ++y)
        for (int32_t x = 0; x < inMask.GetWidth(); ++x)
            count += !((inMask.GetRow(y)[x >> 3] >> (7 - (x & 7))) & 1);
    return count;
}

} // namespace

int main(int argc, char** argv)
{
    int resolution = 300;
    int rounds = 3;
    std::string dump;
    int first = 1;
    for (; first + 1 < argc && argv[first][0] == '-'; first += 2) {
        if (!std::strcmp(argv[first], "-r"))
            resolution = std::atoi(argv[first + 1]);
        else if (!std::strcmp(argv[first], "-n"))
            rounds = std::max(1, std::atoi(argv[first + 1]));
        else if (!std::strcmp(argv[first], "-d"))
            dump = argv[first + 1];
        else
            break;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: render_bench [-r DPI] [-n ROUNDS] [-d DUMPPREFIX] PAGE.emf...\n");
        return 2;
    }

    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    std::printf("%-20s %10s %7s %7s %7s %6s %7s %8s %9s\n", "page", "pixels", "first", "capture", "plain", "mask",
                "nozone", "capture%", "fg-pixels");
    int status = 0;
    // One renderer for the document, as the exporter has: its page images are reused from page to page.
    EmfPageRenderer renderer;
    renderer.SetResolution(resolution);
    for (int i = first; i < argc; ++i) {
        HENHMETAFILE page = GetEnhMetaFileA(argv[i]);
        if (!page) {
            std::fprintf(stderr, "%s: not a metafile\n", argv[i]);
            status = 1;
            continue;
        }
        try {
            double capture = 1e30, plain = 1e30, mask = 1e30, noZone = 1e30, cold = 0;
            int32_t width = 0, height = 0;
            int64_t foreground = 0;
            for (int round = 0; round < rounds; ++round) {
                // As the exporter holds them: the plain image goes after the mask, the rest after the page.
                auto zone = Morvenix::DjVu::TextZone::create(1);
                auto annotation = Morvenix::DjVu::Annotation::create(0, 0, 0xFFFFFFFF, 0, 1);
                auto start = std::chrono::steady_clock::now();
                const auto coldStart = start;
                Morvenix::AutoPtr<T_Image> full = renderer.Render(page, zone.get(), annotation.get(), true);
                capture = std::min(capture, msSince(start));
                start = std::chrono::steady_clock::now();
                Morvenix::AutoPtr<T_Image> plainImage = renderer.Render(page, nullptr, nullptr, false);
                plain = std::min(plain, msSince(start));
                start = std::chrono::steady_clock::now();
                Morvenix::AutoPtr<T_Image> maskImage;
                CDjVuExporter::BuildAgreementMask(maskImage, *full, *plainImage);
                mask = std::min(mask, msSince(start));
                if (round == 0)
                    cold = msSince(coldStart);
                width = full->GetWidth();
                height = full->GetHeight();
                foreground = zeros(*maskImage);
                if (!dump.empty() && round == 0) {
                    const std::string prefix = dump + std::to_string(i - first + 1);
                    writePpm(prefix + "-full.ppm", *full);
                    writePpm(prefix + "-plain.ppm", *plainImage);
                    writePbm(prefix + "-mask.pbm", *maskImage);
                }
            }
            for (int round = 0; round < rounds; ++round) {
                const auto start = std::chrono::steady_clock::now();
                renderer.Render(page, nullptr, nullptr, true);
                noZone = std::min(noZone, msSince(start));
            }
            const char* name = std::max(std::strrchr(argv[i], '\\'), std::strrchr(argv[i], '/'));
            name = name ? name + 1 : argv[i];
            const std::string size = std::to_string(width) + "x" + std::to_string(height);
            std::printf("%-20s %10s %7.1f %7.1f %7.1f %6.1f %7.1f %7.0f%% %9lld\n", name, size.c_str(), cold, capture,
                        plain, mask, noZone, 100.0 * std::max(0.0, capture - noZone) / capture,
                        static_cast<long long>(foreground));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", argv[i], e.what());
            status = 1;
        }
        DeleteEnhMetaFile(page);
    }
    Gdiplus::GdiplusShutdown(token);
    return status;
}
