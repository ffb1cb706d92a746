// Segmenter benchmark: colour pages (raw PPM) segmented into one-bit masks as the page encoder asks for
// them. Prints per page its size, the seconds of the segmentation (best of five), the peak working memory
// it allocated (bytes and bytes per page pixel) and the share of foreground pixels; nothing else is timed.
//   segmenter_bench IN.ppm...
#include "counting_allocator.h"
#include "djv_segmenter.h"
#include "mvx_exception.h"
#include "netpbm.h"

#include <chrono>
#include <cstdio>
#include <vector>

using namespace Morvenix;
using namespace Morvenix::DjVu;

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: segmenter_bench IN.ppm...\n");
        return 2;
    }
    static CountingAllocator counter;
    MemoryAllocator::setDefault(&counter);
    try {
        for (int i = 1; i < argc; ++i) {
            NetpbmImage page;
            if (!readNetpbm(argv[i], "P6", page)) {
                std::fprintf(stderr, "%s: not a raw PPM file\n", argv[i]);
                return 1;
            }
            const int32_t maskStride = int32_t((page.width + 7) / 8);
            std::vector<uint8_t> mask(size_t(maskStride) * page.height);
            double best = 1e30;
            uint64_t peak = 0;
            for (int run = 0; run < 5; ++run) {
                counter.resetPeak();
                const auto t0 = std::chrono::steady_clock::now();
                Segmenter::segment(mask.data(), maskStride, mtBits, page.width, page.height, page.raw.data(),
                                   int32_t(page.width * 3), phRGB, nullptr);
                const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
                best = s < best ? s : best;
                peak = counter.peak();
            }
            uint64_t background = 0;
            for (uint32_t y = 0; y < page.height; ++y)
                for (uint32_t x = 0; x < page.width; ++x)
                    background += (mask[size_t(y) * maskStride + x / 8] >> (7 - x % 8)) & 1;
            const double pixels = double(page.width) * page.height;
            std::printf("%ux%u seconds %.4f peak bytes %llu (%.2f a pixel) foreground %.2f%%\n", page.width,
                        page.height, best, (unsigned long long)peak, double(peak) / pixels,
                        100.0 * (pixels - double(background)) / pixels);
        }
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
