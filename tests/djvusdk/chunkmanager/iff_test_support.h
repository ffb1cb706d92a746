// Helpers of the DjVu file writer tests: building pages and documents, reading the written bytes back as
// an IFF tree and the directory out of them.
#pragma once

#include "djv_bzz.h"
#include "djv_chunk.h"
#include "djv_iff.h"
#include "mvx_memstorage.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace IffTest {

using Morvenix::AutoPtr;
using Morvenix::DjVu::Chunk;
using Morvenix::DjVu::ChunkCollection;
using Morvenix::DjVu::ChunkRedirector;

inline uint32_t be(const std::string& s, size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | uint8_t(s.at(at + size_t(i)));
    return v;
}

inline std::string bytesOf(Morvenix::Storage& inStorage)
{
    const uint64_t pos = inStorage.getPos();
    inStorage.setPos(0);
    std::string r(size_t(inStorage.getSize()), '\0');
    if (!r.empty())
        inStorage.readBytes(&r[0], uint32_t(r.size()), true);
    inStorage.setPos(pos);
    return r;
}

inline std::string fileText(const std::string& inPath)
{
    std::vector<unsigned char> b = MvxTest::readFile(inPath);
    return std::string(b.begin(), b.end());
}

// One chunk of a written file: where its header starts, its id (form type for a FORM), its body (for a
// leaf) and its children (for a FORM).
struct Node {
    size_t offset = 0;
    std::string id;
    bool form = false;
    uint32_t length = 0;
    std::string body;
    std::vector<Node> children;
};

// Parses the chunks between from and to, requiring every chunk at an even offset and every pad byte 0.
inline std::vector<Node> parseRange(const std::string& s, size_t from, size_t to)
{
    std::vector<Node> nodes;
    size_t at = from;
    while (at < to) {
        if (at & 1) {
            EXPECT_EQ('\0', s[at]) << "pad byte at " << at;
            ++at;
            continue;
        }
        if (to - at < 8) {
            ADD_FAILURE() << "truncated chunk header at " << at;
            break;
        }
        Node n;
        n.offset = at;
        n.length = be(s, at + 4, 4);
        if (n.length > to - at - 8) {
            ADD_FAILURE() << "chunk at " << at << " runs past its parent";
            break;
        }
        const std::string id = s.substr(at, 4);
        if (id == "FORM") {
            n.form = true;
            n.id = s.substr(at + 8, 4);
            n.children = parseRange(s, at + 12, at + 8 + n.length);
        } else {
            n.id = id;
            n.body = s.substr(at + 8, n.length);
        }
        nodes.push_back(n);
        at += 8 + n.length;
    }
    return nodes;
}

// A whole file: "AT&T" and one chunk filling the rest.
inline Node parseFile(const std::string& s)
{
    EXPECT_GE(s.size(), 12u);
    EXPECT_EQ("AT&T", s.substr(0, 4));
    EXPECT_EQ(s.size() - 12, be(s, 8, 4)) << "the outer FORM covers the whole file";
    std::vector<Node> top = parseRange(s, 4, s.size());
    EXPECT_EQ(1u, top.size());
    return top.empty() ? Node() : top[0];
}

// The contents of a "DIRM" chunk.
struct Directory {
    unsigned flags = 0;
    uint32_t count = 0;
    std::vector<uint32_t> offsets;
    std::vector<uint32_t> sizes;
    std::vector<unsigned> componentFlags;
    std::vector<std::string> names;
};

inline std::string inflate(const std::string& inBzz)
{
    AutoPtr<Morvenix::MemoryStorage> source = Morvenix::MemoryStorage::create(inBzz.data(), inBzz.size(), 0);
    AutoPtr<Morvenix::DjVu::InflateStream> bzz =
        Morvenix::DjVu::InflateStream::create(AutoPtr<Morvenix::Stream>(source), 0, 16);
    std::string r;
    char block[4096];
    for (;;) {
        const uint32_t got = bzz->readBytes(block, sizeof block, false);
        if (!got)
            break;
        r.append(block, got);
    }
    return r;
}

inline Directory parseDirectory(const std::string& inBody)
{
    Directory d;
    d.flags = uint8_t(inBody.at(0));
    d.count = be(inBody, 1, 2);
    size_t at = 3;
    if (d.flags & 0x80) {
        for (uint32_t i = 0; i < d.count; ++i, at += 4)
            d.offsets.push_back(be(inBody, at, 4));
    }
    const std::string plain = inflate(inBody.substr(at));
    size_t p = 0;
    for (uint32_t i = 0; i < d.count; ++i, p += 3)
        d.sizes.push_back(be(plain, p, 3));
    for (uint32_t i = 0; i < d.count; ++i)
        d.componentFlags.push_back(uint8_t(plain.at(p++)));
    for (uint32_t i = 0; i < d.count; ++i) {
        const size_t end = plain.find('\0', p);
        if (end == std::string::npos) {
            ADD_FAILURE() << "unterminated component name";
            break;
        }
        d.names.push_back(plain.substr(p, end - p));
        p = end + 1;
    }
    EXPECT_EQ(plain.size(), p) << "nothing follows the names";
    return d;
}

inline AutoPtr<Chunk> leaf(const char* inId, const std::string& inPayload)
{
    return Chunk::createFromBytes(inId, inPayload.data(), uint32_t(inPayload.size()));
}

inline AutoPtr<ChunkCollection> form(const char* inType, std::vector<AutoPtr<Chunk>> inChildren,
                                     const char* inName = nullptr)
{
    AutoPtr<ChunkCollection> c = ChunkCollection::create(inType);
    for (const AutoPtr<Chunk>& child : inChildren)
        c->getChildren().append(child);
    if (inName)
        c->setName(inName);
    return c;
}

// A small page: INFO and one more chunk.
inline AutoPtr<ChunkCollection> page(const char* inName, const std::string& inPayload = "mask")
{
    return form("DJVU", {leaf("INFO", std::string("\x00\x10\x00\x08\x18\x00\x2c\x01\x16\x01", 10)),
                         leaf("Sjbz", inPayload)},
                inName);
}

inline std::string serializeToMemory(Chunk* inRoot, uint32_t inMode,
                                     Morvenix::DjVu::StorageLocator* inLocator = nullptr)
{
    AutoPtr<Morvenix::MemoryStorage> out = Morvenix::MemoryStorage::create();
    Morvenix::DjVu::IFF::serialize(out.get(), inRoot, nullptr, nullptr, inMode, inLocator, nullptr);
    return bytesOf(*out);
}

// Hands out memory storages and keeps them, so tests can look at every component "file".
class MemoryLocator : public Morvenix::DjVu::StorageLocator {
public:
    AutoPtr<Morvenix::Storage> open(const Morvenix::String& inName) override
    {
        AutoPtr<Morvenix::MemoryStorage> s = Morvenix::MemoryStorage::create();
        names.push_back(inName.c_str());
        storages.push_back(s);
        return s;
    }
    std::vector<std::string> names;
    std::vector<AutoPtr<Morvenix::MemoryStorage>> storages;
};

} // namespace IffTest
