// Inputs and helpers shared by the BZZ tests.
#pragma once

#include "djv_bzz.h"
#include "mvx_memstorage.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace BzzTest {

using Bytes = std::vector<unsigned char>;

inline Bytes compress(const Bytes& inData, uint32_t inBlockKB, uint32_t inWriteSize = 0)
{
    Morvenix::AutoPtr<Morvenix::MemoryStorage> target = Morvenix::MemoryStorage::create();
    {
        Morvenix::AutoPtr<Morvenix::DjVu::DeflateStream> bzz =
            Morvenix::DjVu::DeflateStream::create(target, inBlockKB, 16);
        const size_t step = inWriteSize ? inWriteSize : (inData.empty() ? 1 : inData.size());
        for (size_t at = 0; at < inData.size(); at += step) {
            const size_t n = inData.size() - at < step ? inData.size() - at : step;
            bzz->writeBytes(inData.data() + at, uint32_t(n));
        }
        bzz->flushBuffer();
    }
    Morvenix::SimpleArray<unsigned char, 2>& a = target->getArray();
    return Bytes(a.data(), a.data() + a.count());
}

// Reads until the stream reports its end, in reads of inReadSize bytes.
inline Bytes decompress(const Bytes& inData, uint32_t inReadSize = 65536)
{
    Morvenix::AutoPtr<Morvenix::MemoryStorage> source =
        Morvenix::MemoryStorage::create(inData.data(), inData.size(), 4321);
    Morvenix::AutoPtr<Morvenix::DjVu::InflateStream> bzz = Morvenix::DjVu::InflateStream::create(source, 0, 16);
    Bytes out;
    std::vector<unsigned char> chunk(inReadSize);
    while (!bzz->isEof()) {
        const uint32_t n = bzz->readBytes(chunk.data(), inReadSize, false);
        out.insert(out.end(), chunk.begin(), chunk.begin() + n);
    }
    return out;
}

inline Bytes randomBytes(size_t inSize, uint32_t inSeed, int inAlphabet = 256)
{
    std::mt19937 rng(inSeed);
    Bytes out(inSize);
    for (auto& b : out)
        b = (unsigned char)(rng() % unsigned(inAlphabet));
    return out;
}

// English-like text: words from a small vocabulary, punctuation and line breaks.
inline Bytes text(size_t inSize, uint32_t inSeed)
{
    static const char* const words[] = {
        "the", "of", "and", "to", "in", "a", "is", "that", "for", "it", "as", "was", "with", "be", "by",
        "on", "not", "he", "this", "are", "or", "his", "from", "at", "which", "but", "have", "an", "they",
        "document", "page", "layer", "compression", "wavelet", "mask", "shape", "dictionary", "annotation",
        "hyperlink", "foreground", "background", "Office", "DjVu", "encoder", "decoder", "stream"};
    const size_t count = sizeof words / sizeof words[0];
    std::mt19937 rng(inSeed);
    std::string s;
    while (s.size() < inSize) {
        s += words[rng() % count];
        const unsigned r = rng() % 20;
        s += r == 0 ? ".\n" : (r == 1 ? ", " : " ");
    }
    s.resize(inSize);
    return Bytes(s.begin(), s.end());
}

// Text, random stretches, runs and small binary records, mixed the way document payloads are.
inline Bytes mixed(size_t inSize, uint32_t inSeed)
{
    std::mt19937 rng(inSeed);
    Bytes out;
    while (out.size() < inSize) {
        const size_t n = 1 + rng() % 20000;
        Bytes part;
        switch (rng() % 4) {
        case 0: part = text(n, rng()); break;
        case 1: part = randomBytes(n, rng()); break;
        case 2: part.assign(n, (unsigned char)(rng())); break;
        default:
            for (size_t i = 0; i < n; i += 4) {
                const uint32_t v = uint32_t(i) * 7 + (rng() % 3);
                part.push_back((unsigned char)(v >> 24));
                part.push_back((unsigned char)(v >> 16));
                part.push_back((unsigned char)(v >> 8));
                part.push_back((unsigned char)v);
            }
        }
        out.insert(out.end(), part.begin(), part.end());
    }
    out.resize(inSize);
    return out;
}

} // namespace BzzTest
