// JB2 benchmark and converter: bitonal pages (raw PBM) coded by the JB2 encoder into DjVu files.
//   jb2_bench new OUT IN.pbm              one page, every connected component a new shape
//   jb2_bench lossless OUT IN.pbm...      the pages as one group around a shared dictionary, lossless
//                                          (refinements, and copies only of identical shapes)
//   jb2_bench lossy OUT IN.pbm...         the same with the default, lossy, classification
// A single page becomes a single-page file, several pages a bundled document. Prints
// "bytes <file size> seconds <time>", the time being the coding alone (best of three), without reading
// the PBM files or writing the output.
#include "djv_chunk.h"
#include "djv_iff.h"
#include "djv_jb2encoder.h"
#include "mvx_exception.h"
#include "netpbm.h"
#include "mvx_memstorage.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;

namespace {

// A page as one byte a pixel, 0 for black (the encoder's foreground) and 255 for white.
struct Page {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> mask;
};

bool readPbm(const char* inPath, Page& outPage)
{
    NetpbmImage image;
    if (!readNetpbm(inPath, "P4", image))
        return false;
    outPage.width = image.width;
    outPage.height = image.height;
    const size_t rowBytes = (size_t(image.width) + 7) / 8;
    outPage.mask.resize(size_t(image.width) * image.height);
    for (uint32_t y = 0; y < image.height; ++y)
        for (uint32_t x = 0; x < image.width; ++x)
            outPage.mask[size_t(y) * image.width + x] = (image.raw[y * rowBytes + x / 8] >> (7 - x % 8)) & 1 ? 0 : 255;
    return true;
}

AutoPtr<Chunk> infoChunk(const Page& inPage)
{
    const uint8_t info[10] = {uint8_t(inPage.width >> 8), uint8_t(inPage.width), uint8_t(inPage.height >> 8),
                              uint8_t(inPage.height), 24, 0, 300 & 0xFF, 300 >> 8, 22, 1};
    return Chunk::createFromBytes("INFO", info, sizeof info);
}

// Codes the group and builds its document: one page form, or a bundled document whose pages include
// the shared dictionary.
AutoPtr<Chunk> encodeGroup(const std::vector<Page>& inPages, const JB2Encoder::Params& inParams)
{
    AutoPtr<JB2Encoder> encoder = JB2Encoder::create(&inParams);
    for (const Page& p : inPages)
        encoder->addPage(p.mask.data(), int32_t(p.width), mtBytes, p.width, p.height, nullptr, 0, phBGR, nullptr);
    // Each page holds a redirector to the dictionary chunk: the serializer writes it once, as a DJVI
    // component that the pages include.
    AutoPtr<Chunk> djbz;
    if (inPages.size() > 1 && !encoder->isDjbzEmpty())
        encoder->createDjbzChunk(djbz);
    AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
    for (uint32_t i = 0; i < inPages.size(); ++i) {
        AutoPtr<ChunkCollection> page = ChunkCollection::create("DJVU");
        page->getChildren().append(infoChunk(inPages[i]));
        if (djbz)
            page->getChildren().append(AutoPtr<Chunk>(ChunkRedirector::create(djbz)));
        AutoPtr<Chunk> sjbz;
        encoder->createSjbzChunk(sjbz, i);
        page->getChildren().append(sjbz);
        if (inPages.size() == 1)
            return AutoPtr<Chunk>(page);
        doc->getChildren().append(AutoPtr<Chunk>(page));
    }
    return AutoPtr<Chunk>(doc);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 3 ? argv[1] : "";
    JB2Encoder::Params params = JB2Encoder::defaultParams();
    if (mode == "new" && argc == 4)
        params = JB2Encoder::Params{0, 0, 256}; // no mismatch allowed: nothing is matched or refined
    else if (mode == "lossless")
        params.secondCompare = 0;
    else if (mode != "lossy") {
        std::fprintf(stderr, "usage: jb2_bench new OUT IN.pbm | lossless OUT IN.pbm... | lossy OUT IN.pbm...\n");
        return 2;
    }
    std::vector<Page> pages(size_t(argc - 3));
    for (int i = 3; i < argc; ++i)
        if (!readPbm(argv[i], pages[size_t(i - 3)])) {
            std::fprintf(stderr, "cannot read %s as raw PBM\n", argv[i]);
            return 1;
        }
    try {
        double best = 1e30;
        AutoPtr<MemoryStorage> file;
        for (int run = 0; run < 3; ++run) {
            const auto t0 = std::chrono::steady_clock::now();
            AutoPtr<Chunk> root = encodeGroup(pages, params);
            file = MemoryStorage::create();
            IFF::serialize(file.get(), root.get(), nullptr, nullptr, IFF::smDefault, nullptr, nullptr);
            const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            best = s < best ? s : best;
        }
        const SimpleArray<unsigned char, 2>& bytes = file->getArray();
        std::ofstream out(argv[2], std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.count()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", argv[2]);
            return 1;
        }
        std::printf("bytes %u seconds %.4f\n", bytes.count(), best);
    } catch (const Morvenix::Exception& e) {
        std::fprintf(stderr, "%s", e.what());
        return 1;
    }
    return 0;
}
