// NAVM payloads built byte by byte, outlines compared as text, and the streams the bookmark tests use.
#pragma once

#include "djv_bookmark.h"
#include "mvx_memstorage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace BookmarkTest {

using Morvenix::AutoPtr;
using Morvenix::MemoryStorage;
using Morvenix::String;
using Morvenix::DjVu::Bookmark;

typedef std::vector<unsigned char> Bytes;

inline void put24(Bytes& out, uint32_t v)
{
    out.push_back(uint8_t(v >> 16));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

// One entry's head and texts; its children follow separately.
inline void putEntry(Bytes& out, uint8_t inChildren, const std::string& inTitle, const std::string& inUrl)
{
    out.push_back(inChildren);
    put24(out, uint32_t(inTitle.size()));
    out.insert(out.end(), inTitle.begin(), inTitle.end());
    put24(out, uint32_t(inUrl.size()));
    out.insert(out.end(), inUrl.begin(), inUrl.end());
}

inline Bytes total(uint16_t n) { return Bytes{uint8_t(n >> 8), uint8_t(n)}; }

inline AutoPtr<Bookmark> entry(const char* inTitle, const char* inUrl) { return Bookmark::create(inTitle, inUrl); }

inline AutoPtr<Bookmark> add(const AutoPtr<Bookmark>& ioParent, const char* inTitle, const char* inUrl)
{
    AutoPtr<Bookmark> child = Bookmark::create(inTitle, inUrl);
    ioParent->children.append(child);
    return child;
}

inline std::string str(const String& s) { return std::string(s.c_str(), s.getLength()); }

// The outline as nested ("title" "url" children...) groups, for comparing trees in one expectation.
inline std::string describe(const Bookmark& inBookmark)
{
    std::string out = "(\"" + str(inBookmark.title) + "\" \"" + str(inBookmark.url) + "\"";
    for (const AutoPtr<Bookmark>& child : inBookmark.children)
        out += " " + describe(*child);
    return out + ")";
}

inline Bytes encoded(Bookmark& inBookmark)
{
    AutoPtr<MemoryStorage> storage = MemoryStorage::create();
    inBookmark.encode(*storage);
    const auto& array = storage->getArray();
    return Bytes(array.data(), array.data() + array.count());
}

inline AutoPtr<Bookmark> decoded(const Bytes& inPayload)
{
    AutoPtr<MemoryStorage> storage = MemoryStorage::create();
    if (!inPayload.empty())
        storage->writeBytes(inPayload.data(), uint32_t(inPayload.size()));
    storage->setPos(0);
    return Bookmark::create(*storage);
}

} // namespace BookmarkTest
