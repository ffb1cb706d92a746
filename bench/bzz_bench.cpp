// BZZ benchmark and file converter.
//   bzz_bench -e IN OUT   compress IN into OUT (block size 1024 KB, as every writer of the library)
//   bzz_bench -d IN OUT   decompress IN into OUT
//   bzz_bench -t IN       time compressing and decompressing IN in memory; prints
//                         "encode <seconds> decode <seconds> sort <seconds>", the best of five runs
//                         each (sort: the block sorts alone, part of encode). Decoding hands its bytes
//                         out 64 KB at a time, each piece checked against IN, as the reference tool
//                         hands its output to a file: the figure is the decoder's, not that of a
//                         growing memory storage.
#include "djv_blocksort.h"
#include "djv_bzz.h"
#include "mvx_exception.h"
#include "mvx_memstorage.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

using Morvenix::AutoPtr;
using Morvenix::MemoryStorage;

namespace {

using Bytes = std::vector<unsigned char>;

bool readFile(const char* path, Bytes& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool writeFile(const char* path, const unsigned char* data, size_t size)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    return bool(out);
}

AutoPtr<MemoryStorage> compress(const Bytes& in)
{
    AutoPtr<MemoryStorage> target = MemoryStorage::create();
    AutoPtr<Morvenix::DjVu::DeflateStream> bzz = Morvenix::DjVu::DeflateStream::create(target, 1024, 16);
    bzz->writeBytes(in.data(), uint32_t(in.size()));
    bzz->flushBuffer();
    return target;
}

AutoPtr<MemoryStorage> decompress(const unsigned char* data, size_t size)
{
    AutoPtr<Morvenix::DjVu::InflateStream> bzz =
        Morvenix::DjVu::InflateStream::create(MemoryStorage::create(data, size, 4321), 0, 16);
    AutoPtr<MemoryStorage> out = MemoryStorage::create();
    out->copyAll(*bzz, 65536, nullptr, nullptr);
    return out;
}

// Decodes the whole stream in 64 KB reads, straight from ioPacked (no copy: the tool does not copy its
// input whole either); false when the bytes differ from inOriginal.
bool decodesTo(Morvenix::SimpleArray<unsigned char, 2>& ioPacked, const Bytes& inOriginal)
{
    AutoPtr<Morvenix::DjVu::InflateStream> bzz =
        Morvenix::DjVu::InflateStream::create(MemoryStorage::create(ioPacked), 0, 16);
    Bytes piece(65536);
    size_t at = 0;
    while (const uint32_t n = bzz->readBytes(piece.data(), uint32_t(piece.size()), false)) {
        if (n > inOriginal.size() - at || std::memcmp(piece.data(), inOriginal.data() + at, n) != 0)
            return false;
        at += n;
    }
    return at == inOriginal.size();
}

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The block sorts of encode alone, over the same 1 MB blocks.
double sortTime(const Bytes& in)
{
    const size_t blockData = 1024 * 1024 - 1;
    Bytes block(blockData + 1);
    double total = 0;
    for (size_t at = 0; at < in.size(); at += blockData) {
        const size_t n = in.size() - at < blockData ? in.size() - at : blockData;
        std::memcpy(block.data(), in.data() + at, n);
        uint32_t marker = uint32_t(n);
        const auto t0 = std::chrono::steady_clock::now();
        Morvenix::DjVu::CompressStream::BlockSort(block.data(), uint32_t(n + 1)).run(marker);
        total += seconds(t0);
    }
    return total;
}

int timeBoth(const Bytes& in)
{
    double encode = 1e30, decode = 1e30, sort = 1e30;
    for (int run = 0; run < 5; ++run) {
        auto t0 = std::chrono::steady_clock::now();
        AutoPtr<MemoryStorage> packed = compress(in);
        const double e = seconds(t0);
        Morvenix::SimpleArray<unsigned char, 2>& a = packed->getArray();
        t0 = std::chrono::steady_clock::now();
        const bool same = decodesTo(a, in);
        const double d = seconds(t0);
        if (!same) {
            std::fprintf(stderr, "round trip failed\n");
            return 1;
        }
        encode = e < encode ? e : encode;
        decode = d < decode ? d : decode;
        const double st = sortTime(in);
        sort = st < sort ? st : sort;
    }
    std::printf("encode %.4f decode %.4f sort %.4f\n", encode, decode, sort);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const bool convert = argc == 4 && (!std::strcmp(argv[1], "-e") || !std::strcmp(argv[1], "-d"));
    if (!convert && !(argc == 3 && !std::strcmp(argv[1], "-t"))) {
        std::fprintf(stderr, "usage: bzz_bench -e IN OUT | -d IN OUT | -t IN\n");
        return 2;
    }
    Bytes in;
    if (!readFile(argv[2], in)) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    try {
        if (!convert)
            return timeBoth(in);
        AutoPtr<MemoryStorage> out = argv[1][1] == 'e' ? compress(in) : decompress(in.data(), in.size());
        Morvenix::SimpleArray<unsigned char, 2>& a = out->getArray();
        if (!writeFile(argv[3], a.data(), a.count())) {
            std::fprintf(stderr, "cannot write %s\n", argv[3]);
            return 1;
        }
    } catch (const Morvenix::Exception& e) {
        std::fprintf(stderr, "%s", e.what());
        return 1;
    }
    return 0;
}
