// Page encoder benchmark: colour pages (raw PPM) encoded in mode 5 (the add-in's) into one bundled
// document, pages grouped by 20 around shared dictionaries, each page keeping the smaller of FG44 and
// FGbz as the add-in does. With "mask" the pages come with a mask (the render thresholded at 50%),
// otherwise the encoder segments them. Prints per page the seconds of encodePage (and of the segmenter
// alone, run once more outside it) and the bytes of each layer; then the seconds of the flush (the JB2
// classification and coding), the shared dictionaries' bytes, the file's bytes and the peak memory held
// through the library's arrays. Two helpers for the script: "threshold" writes the 50% mask of a render
// as PBM (1 black, the foreground) for the outside tools, "psnr" prints the PSNR of a decode against the
// render.
//   page_bench mask|segment OUT.djvu IN.ppm...
//   page_bench threshold IN.ppm OUT.pbm
//   page_bench psnr RENDER.ppm DECODED.ppm
#include "counting_allocator.h"
#include "djv_djvuencoder.h"
#include "djv_iff.h"
#include "djv_segmenter.h"
#include "mvx_exception.h"
#include "mvx_memstorage.h"
#include "netpbm.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

using namespace Morvenix;
using namespace Morvenix::DjVu;

namespace {

double secondsSince(std::chrono::steady_clock::time_point inStart)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - inStart).count();
}

// The foreground of the "mask" runs: the pixels darker than half, by the luminance weights of the
// library's mode guess.
bool isDark(const uint8_t* inRGB)
{
    return (inRGB[0] * 306 + inRGB[1] * 601 + inRGB[2] * 117) >> 10 < 128;
}

int threshold(const char* inPpm, const char* inPbm)
{
    NetpbmImage page;
    if (!readNetpbm(inPpm, "P6", page)) {
        std::fprintf(stderr, "%s: not a raw PPM file\n", inPpm);
        return 1;
    }
    const size_t row = (size_t(page.width) + 7) / 8;
    std::vector<uint8_t> bits(row * page.height);
    for (uint32_t y = 0; y < page.height; ++y)
        for (uint32_t x = 0; x < page.width; ++x)
            if (isDark(&page.raw[(size_t(y) * page.width + x) * 3]))
                bits[y * row + x / 8] |= uint8_t(0x80 >> (x % 8));
    std::ofstream out(inPbm, std::ios::binary);
    out << "P4\n" << page.width << " " << page.height << "\n";
    out.write(reinterpret_cast<const char*>(bits.data()), std::streamsize(bits.size()));
    return out ? 0 : 1;
}

int psnr(const char* inRender, const char* inDecoded)
{
    NetpbmImage a, b;
    if (!readNetpbm(inRender, "P6", a) || !readNetpbm(inDecoded, "P6", b) || a.width != b.width ||
        a.height != b.height) {
        std::fprintf(stderr, "%s, %s: not two raw PPM files of one size\n", inRender, inDecoded);
        return 1;
    }
    double sum = 0;
    for (size_t i = 0; i < a.raw.size(); ++i) {
        const double d = double(a.raw[i]) - b.raw[i];
        sum += d * d;
    }
    const double mse = sum / double(a.raw.size());
    std::printf("%.2f\n", mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse));
    return 0;
}

uint32_t sizeOf(Chunk& inChunk)
{
    AutoPtr<Data> data = inChunk.getData();
    return data ? data->getSize() : 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "threshold") == 0)
        return threshold(argv[2], argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "psnr") == 0)
        return psnr(argv[2], argv[3]);
    if (argc < 4 || (std::strcmp(argv[1], "mask") && std::strcmp(argv[1], "segment"))) {
        std::fprintf(stderr, "usage: page_bench mask|segment OUT.djvu IN.ppm... | threshold IN.ppm OUT.pbm | psnr "
                             "RENDER.ppm DECODED.ppm\n");
        return 2;
    }
    const bool withMask = std::strcmp(argv[1], "mask") == 0;
    static CountingAllocator counter;
    MemoryAllocator::setDefault(&counter);
    try {
        AutoPtr<DjVuEncoder> encoder = DjVuEncoder::create(1, 20, nullptr);
        AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
        DjVuEncoder::Params params(DjVuEncoder::emCompoundBoth);
        double encodeSeconds = 0, segmentSeconds = 0, flushSeconds = 0;
        for (int i = 3; i < argc; ++i) {
            NetpbmImage page;
            if (!readNetpbm(argv[i], "P6", page)) {
                std::fprintf(stderr, "%s: not a raw PPM file\n", argv[i]);
                return 1;
            }
            const int32_t stride = int32_t(page.width * 3);
            std::vector<uint8_t> mask;
            if (withMask) {
                mask.resize(size_t(page.width) * page.height);
                for (size_t p = 0; p < mask.size(); ++p)
                    mask[p] = isDark(&page.raw[p * 3]) ? 0 : 255;
            } else {
                std::vector<uint8_t> scratch(size_t((page.width + 7) / 8) * page.height);
                const auto t = std::chrono::steady_clock::now();
                Segmenter::segment(scratch.data(), int32_t((page.width + 7) / 8), mtBits, page.width, page.height,
                                   page.raw.data(), stride, phRGB, &params.segmenterParams);
                segmentSeconds += secondsSince(t);
            }
            AutoPtr<Chunk> form;
            const auto t = std::chrono::steady_clock::now();
            encoder->encodePage(form, page.raw.data(), stride, phRGB, page.width, page.height, 300, &params,
                                withMask ? mask.data() : nullptr, int32_t(page.width), mtBytes);
            encodeSeconds += secondsSince(t);
            doc->getChildren().append(form);
        }
        auto t = std::chrono::steady_clock::now();
        encoder->flush();
        flushSeconds = secondsSince(t);

        // Per page the smaller of the two foreground encodings stays (a tie keeps FG44).
        std::map<std::string, uint64_t> layers;
        uint32_t index = 0;
        for (AutoPtr<Chunk>& form : doc->getChildren()) {
            Chunk::Children& children = form->getChildren();
            const uint32_t fgbz = form->find("FGbz", Chunk::notFound, false);
            const uint32_t fg44 = form->find("FG44", Chunk::notFound, false);
            if (fgbz != Chunk::notFound && fg44 != Chunk::notFound)
                children.remove(sizeOf(*children[fgbz]) < sizeOf(*children[fg44]) ? fg44 : fgbz, 1);
            std::map<std::string, uint64_t> page;
            for (AutoPtr<Chunk>& child : children)
                if (!child->isRedirector())
                    page[child->getId().c_str()] += sizeOf(*child);
            std::printf("page %u", ++index);
            for (const char* id : {"Sjbz", "FGbz", "FG44", "BG44"}) {
                std::printf(" %s %llu", id, (unsigned long long)page[id]);
                layers[id] += page[id];
            }
            std::printf("\n");
        }
        // Each group's dictionary once, through the redirectors its pages hold.
        uint64_t dictionaries = 0;
        std::map<const Chunk*, bool> seen;
        for (AutoPtr<Chunk>& form : doc->getChildren())
            for (AutoPtr<Chunk>& child : form->getChildren())
                if (child->isRedirector()) {
                    const Chunk* target = static_cast<ChunkRedirector&>(*child).getTarget().get();
                    if (!seen[target])
                        dictionaries += sizeOf(*child);
                    seen[target] = true;
                }

        t = std::chrono::steady_clock::now();
        AutoPtr<MemoryStorage> out = MemoryStorage::create();
        IFF::serialize(out.get(), doc.get(), nullptr, nullptr, IFF::smDefault, nullptr, nullptr);
        const double writeSeconds = secondsSince(t);
        const SimpleArray<unsigned char, 2>& bytes = out->getArray();
        std::ofstream(argv[2], std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.count()));
        const uint32_t pages = uint32_t(argc - 3);
        std::printf("pages %u bytes %u Djbz %llu Sjbz %llu FGbz %llu FG44 %llu BG44 %llu\n", pages, bytes.count(),
                    (unsigned long long)dictionaries, (unsigned long long)layers["Sjbz"],
                    (unsigned long long)layers["FGbz"], (unsigned long long)layers["FG44"],
                    (unsigned long long)layers["BG44"]);
        std::printf("seconds encodePage %.3f (segmenter alone %.3f) flush %.3f write %.3f peak %llu\n",
                    encodeSeconds, segmentSeconds, flushSeconds, writeSeconds, (unsigned long long)counter.peak());
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
