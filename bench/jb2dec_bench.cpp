// JB2 decoding benchmark: single-page DjVu files (INFO, Sjbz, optionally FGbz and an INCL of a shared
// dictionary, as djvmcvt -i splits a bundled document) decoded and rendered into a grey mask.
//   jb2dec_bench FACTOR OUT PAGE.djvu...
// FACTOR 1 renders at full size, N > 1 reduces to width / N x height / N (box filter; the size that
// ddjvu -subsample=N gives). The time is the best of three rounds over all pages: reading the dictionaries
// (each once a round) and pages, the FGbz colours and the rendering, not the file reading. Prints
// "pages <count> ms_per_page <ms>" and writes the first page's rendering to OUT (PBM at full size, ink
// where the grey is below 128; PGM when reduced).
#include "djv_jb2page.h"
#include "mvx_exception.h"
#include "mvx_memstorage.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;

namespace {

typedef std::vector<uint8_t> Bytes;

bool readFile(const std::string& inPath, Bytes& outBytes)
{
    std::ifstream in(inPath, std::ios::binary);
    outBytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return bool(in) || in.eof();
}

// The body of the first chunk with the id directly inside the file's FORM; empty when there is none.
Bytes findChunk(const Bytes& inFile, const char* inId)
{
    for (size_t at = 16; at + 8 <= inFile.size();) {
        const uint32_t len = uint32_t(inFile[at + 4]) << 24 | uint32_t(inFile[at + 5]) << 16 |
                             uint32_t(inFile[at + 6]) << 8 | inFile[at + 7];
        if (len > inFile.size() - at - 8)
            break;
        if (std::string(inFile.begin() + long(at), inFile.begin() + long(at) + 4) == inId)
            return Bytes(inFile.begin() + long(at) + 8, inFile.begin() + long(at + 8 + len));
        at += 8 + size_t(len) + (len & 1);
    }
    return Bytes();
}

AutoPtr<Stream> streamOf(const Bytes& inBytes)
{
    return AutoPtr<Stream>(MemoryStorage::create(inBytes.data(), inBytes.size(), 0));
}

struct PageFile {
    Bytes sjbz, fgbz;
    std::string dictionary; // the path of the included component, or empty
};

// One round: every page decoded and rendered into outGrey (the last page's rendering stays there).
void decodeAll(const std::vector<PageFile>& inPages, const std::map<std::string, Bytes>& inDictionaries,
               uint32_t inFactor, std::vector<uint8_t>& outGrey, uint32_t& outWidth, uint32_t& outHeight,
               bool inFirstOnly)
{
    std::map<std::string, AutoPtr<JB2Dictionary>> dictionaries;
    for (const PageFile& p : inPages) {
        const JB2Dictionary* dictionary = nullptr;
        if (!p.dictionary.empty()) {
            AutoPtr<JB2Dictionary>& d = dictionaries[p.dictionary];
            if (!d)
                d = JB2Dictionary::create(streamOf(inDictionaries.at(p.dictionary)));
            dictionary = d.get();
        }
        AutoPtr<JB2Page> page = JB2Page::create(streamOf(p.sjbz), dictionary);
        if (!p.fgbz.empty())
            page->addFGbz(streamOf(p.fgbz));
        outWidth = std::max(page->getWidth() / inFactor, 1u);
        outHeight = std::max(page->getHeight() / inFactor, 1u);
        outGrey.assign(size_t(outWidth) * outHeight, 255);
        const Rect window{0, 0, int32_t(outWidth), int32_t(outHeight)};
        page->renderMask(outGrey.data(), int32_t(outWidth), phGray, &window, outWidth, outHeight, false, 1);
        if (inFirstOnly)
            return;
    }
}

bool writeImage(const char* inPath, const std::vector<uint8_t>& inGrey, uint32_t inWidth, uint32_t inHeight,
                bool inBitonal)
{
    std::ofstream out(inPath, std::ios::binary);
    out << (inBitonal ? "P4\n" : "P5\n") << inWidth << " " << inHeight << (inBitonal ? "\n" : "\n255\n");
    if (!inBitonal) {
        out.write(reinterpret_cast<const char*>(inGrey.data()), std::streamsize(inGrey.size()));
        return bool(out);
    }
    std::vector<char> row((inWidth + 7) / 8);
    for (uint32_t y = 0; y < inHeight; ++y) {
        std::fill(row.begin(), row.end(), 0);
        for (uint32_t x = 0; x < inWidth; ++x)
            if (inGrey[size_t(y) * inWidth + x] < 128)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        out.write(row.data(), std::streamsize(row.size()));
    }
    return bool(out);
}

} // namespace

int main(int argc, char** argv)
{
    const uint32_t factor = argc > 3 ? uint32_t(std::atoi(argv[1])) : 0;
    if (factor == 0) {
        std::fprintf(stderr, "usage: jb2dec_bench FACTOR OUT PAGE.djvu...\n");
        return 2;
    }
    std::vector<PageFile> pages;
    std::map<std::string, Bytes> dictionaries;
    for (int i = 3; i < argc; ++i) {
        Bytes file;
        PageFile page;
        if (!readFile(argv[i], file) || (page.sjbz = findChunk(file, "Sjbz")).empty()) {
            std::fprintf(stderr, "cannot read %s as a DjVu page with JB2 data\n", argv[i]);
            return 1;
        }
        page.fgbz = findChunk(file, "FGbz");
        const Bytes incl = findChunk(file, "INCL");
        if (!incl.empty()) {
            const std::string path = argv[i];
            const size_t slash = path.find_last_of("/\\");
            page.dictionary =
                path.substr(0, slash == std::string::npos ? 0 : slash + 1) + std::string(incl.begin(), incl.end());
            Bytes component;
            if (!dictionaries.count(page.dictionary)) {
                if (!readFile(page.dictionary, component) || findChunk(component, "Djbz").empty()) {
                    std::fprintf(stderr, "cannot read the dictionary %s\n", page.dictionary.c_str());
                    return 1;
                }
                dictionaries[page.dictionary] = findChunk(component, "Djbz");
            }
        }
        pages.push_back(page);
    }
    try {
        std::vector<uint8_t> grey;
        uint32_t width = 0, height = 0;
        double best = 1e30;
        for (int run = 0; run < 3; ++run) {
            const auto t0 = std::chrono::steady_clock::now();
            decodeAll(pages, dictionaries, factor, grey, width, height, false);
            const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            best = s < best ? s : best;
        }
        decodeAll(pages, dictionaries, factor, grey, width, height, true);
        if (!writeImage(argv[2], grey, width, height, factor == 1)) {
            std::fprintf(stderr, "cannot write %s\n", argv[2]);
            return 1;
        }
        std::printf("pages %u ms_per_page %.2f\n", uint32_t(pages.size()), best * 1000 / double(pages.size()));
    } catch (const Morvenix::Exception& e) {
        std::fprintf(stderr, "%s", e.what());
        return 1;
    }
    return 0;
}
