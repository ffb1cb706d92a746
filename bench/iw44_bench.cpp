// IW44 benchmark and converter.
//   iw44_bench IN.ppm OUT.djvu SLICES   encodes the raw PPM image as a single-page file (INFO and one
//                                       "BG44" chunk per entry of SLICES, e.g. 74,10,4,9, chroma at full
//                                       resolution) and prints "seconds <s> bytes <chunk bytes>": the
//                                       best of three in-memory encodes (reading the image and the
//                                       colour transform included, file writing not), and the bytes of
//                                       the chunks' bodies.
#include "djv_iff.h"
#include "djv_iw44encoder.h"
#include "mvx_exception.h"
#include "mvx_memstorage.h"
#include "netpbm.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

using Morvenix::AutoPtr;
using namespace Morvenix::DjVu;

namespace {

using Bytes = std::vector<unsigned char>;

std::vector<AutoPtr<Chunk>> encodeLayer(const Bytes& inPixels, uint32_t inWidth, uint32_t inHeight,
                                        const IW44::IW44Encoder::Params& inParams)
{
    AutoPtr<IW44::IW44Encoder> encoder =
        IW44::IW44Encoder::create(inPixels.data(), int32_t(inWidth * 3), phRGB, inWidth, inHeight, &inParams);
    std::vector<AutoPtr<Chunk>> chunks;
    for (;;) {
        AutoPtr<Chunk> chunk;
        encoder->encodeChunk(chunk);
        if (!chunk)
            return chunks;
        chunks.push_back(chunk);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: iw44_bench IN.ppm OUT.djvu SLICES\n");
        return 2;
    }
    try {
        NetpbmImage image;
        if (!readNetpbm(argv[1], "P6", image)) {
            std::fprintf(stderr, "cannot read %s as a raw PPM\n", argv[1]);
            return 1;
        }
        IW44::IW44Encoder::Params params(1, 75, 2, 255);
        for (const char* at = argv[3]; *at;) {
            char* end = nullptr;
            params.chunks.append({uint32_t(std::strtoul(at, &end, 10)), 0});
            at = *end ? end + 1 : end;
        }
        double best = 1e9;
        std::vector<AutoPtr<Chunk>> chunks;
        for (int run = 0; run < 3; ++run) {
            const auto start = std::chrono::steady_clock::now();
            chunks = encodeLayer(image.raw, image.width, image.height, params);
            best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        AutoPtr<ChunkCollection> page = ChunkCollection::create("DJVU");
        const uint8_t info[10] = {uint8_t(image.width >> 8), uint8_t(image.width), uint8_t(image.height >> 8),
                                  uint8_t(image.height),
                                  24, 0, 44, 1, 22, 1}; // 300 dpi, little-endian
        page->getChildren().append(Chunk::createFromBytes("INFO", info, sizeof info));
        uint64_t bytes = 0;
        for (const AutoPtr<Chunk>& chunk : chunks) {
            bytes += chunk->getData()->getSize();
            page->getChildren().append(chunk);
        }
        AutoPtr<Morvenix::MemoryStorage> out = Morvenix::MemoryStorage::create();
        IFF::serialize(out.get(), page.get(), nullptr, nullptr, IFF::smDefault, nullptr, nullptr);
        std::ofstream file(argv[2], std::ios::binary);
        const Morvenix::SimpleArray<unsigned char, 2>& array = out->getArray();
        file.write(reinterpret_cast<const char*>(array.data()), std::streamsize(array.count()));
        if (!file) {
            std::fprintf(stderr, "cannot write %s\n", argv[2]);
            return 1;
        }
        std::printf("seconds %.3f bytes %llu\n", best, static_cast<unsigned long long>(bytes));
        return 0;
    } catch (const Morvenix::Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
