// Reading a remote resource through the cached HTTP storage.
//   net_bench URL LOCAL MODE [BLOCK]
// reads the resource at URL (the same bytes as the file LOCAL) through HttpManager::createStorage with the
// loader's block size BLOCK (default 32768) and checks every byte against LOCAL. MODE "sequential" reads
// it front to back in 64 KB pieces; "random" reads 10,000 pieces of 4 KB at random places (a fixed seed).
// Prints "<seconds> <bytes read>": the time of the reads alone (opening the storage, which asks for the
// size, included; loading LOCAL not).
#include "mvx_cachedstorage.h"
#include "mvx_exception.h"
#include "mvx_http.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

using Morvenix::AutoPtr;

namespace {

// Every host directly, whatever the machine's proxy settings say.
class DirectChooser : public Morvenix::HttpProxyChooser {
public:
    Morvenix::HttpProxyChoice choose(const Morvenix::String&) override
    {
        Morvenix::HttpProxyChoice choice;
        choice.kind = Morvenix::HttpProxyChoice::kindDirect;
        return choice;
    }
};

int run(const char* inUrl, const std::vector<unsigned char>& inLocal, const std::string& inMode, uint32_t inBlock)
{
    AutoPtr<DirectChooser> chooser(new DirectChooser);
    AutoPtr<Morvenix::HttpManager> manager = Morvenix::HttpManager::create("", nullptr, chooser.get());
    const auto start = std::chrono::steady_clock::now();
    AutoPtr<Morvenix::Storage> storage = manager->createStorage(inUrl, false, nullptr, nullptr);
    dynamic_cast<Morvenix::AdvCachedStorage&>(*storage).setBlockSize(inBlock);
    if (storage->getSize() != inLocal.size()) {
        std::fprintf(stderr, "the resource has %llu bytes, the file %zu\n",
                     static_cast<unsigned long long>(storage->getSize()), inLocal.size());
        return 1;
    }
    std::vector<unsigned char> buffer(65536);
    uint64_t total = 0;
    auto readAt = [&](uint64_t inPos, uint32_t inCount) {
        storage->setPos(inPos);
        storage->readBytes(buffer.data(), inCount, true);
        if (std::memcmp(buffer.data(), inLocal.data() + inPos, inCount) != 0) {
            std::fprintf(stderr, "wrong bytes at %llu\n", static_cast<unsigned long long>(inPos));
            std::exit(1);
        }
        total += inCount;
    };
    if (inMode == "sequential") {
        for (uint64_t pos = 0; pos < inLocal.size(); pos += buffer.size()) {
            const uint64_t left = inLocal.size() - pos;
            readAt(pos, uint32_t(left < buffer.size() ? left : buffer.size()));
        }
    } else if (inMode == "random") {
        std::mt19937_64 rnd(10000);
        for (int i = 0; i < 10000; ++i)
            readAt(rnd() % (inLocal.size() - 4096), 4096);
    } else {
        std::fprintf(stderr, "unknown mode %s\n", inMode.c_str());
        return 2;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f %llu\n", seconds, static_cast<unsigned long long>(total));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: net_bench URL LOCAL sequential|random [BLOCK]\n");
        return 2;
    }
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 2;
    }
    const std::vector<unsigned char> local((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    try {
        return run(argv[1], local, argv[3], argc > 4 ? uint32_t(std::strtoul(argv[4], nullptr, 10)) : 32768);
    } catch (const Morvenix::Exception& e) {
        std::fprintf(stderr, "%s", e.what());
        return 1;
    }
}
