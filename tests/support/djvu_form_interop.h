// Pages built from the library's chunks, written through its IFF serializer and decoded by ddjvu: the
// round trip of every codec's interoperability tests.
#pragma once

#include "djv_chunk.h"
#include "djv_iff.h"
#include "djvu_page_file.h"
#include "mvx_memstorage.h"
#include "netpbm.h"
#include "test_support.h"

#include <string>
#include <vector>

namespace MvxTest {

using Morvenix::AutoPtr;

inline Bytes bytesOf(Morvenix::MemoryStorage& inStorage)
{
    const Morvenix::SimpleArray<unsigned char, 2>& array = inStorage.getArray();
    return Bytes(array.begin(), array.end());
}

inline AutoPtr<Morvenix::DjVu::Chunk> leaf(const char* inId, const Bytes& inBody)
{
    return Morvenix::DjVu::Chunk::createFromBytes(inId, inBody.data(), uint32_t(inBody.size()));
}

// A "DJVU" form: INFO for a 300-dpi page of that size, then the chunks in order.
inline AutoPtr<Morvenix::DjVu::ChunkCollection> pageForm(uint32_t inWidth, uint32_t inHeight,
                                                         const std::vector<AutoPtr<Morvenix::DjVu::Chunk>>& inChunks)
{
    AutoPtr<Morvenix::DjVu::ChunkCollection> page = Morvenix::DjVu::ChunkCollection::create("DJVU");
    const Morvenix::DjVu::PageInfo info{inWidth, inHeight, 24, 0, 300, 22, 1};
    page->getChildren().append(leaf("INFO", infoChunkBody(info)));
    for (const AutoPtr<Morvenix::DjVu::Chunk>& chunk : inChunks)
        page->getChildren().append(chunk);
    return page;
}

class DjVuFormTest : public HostToolTest {
protected:
    void writeDocument(Morvenix::DjVu::Chunk* inRoot, const std::string& inName)
    {
        AutoPtr<Morvenix::MemoryStorage> out = Morvenix::MemoryStorage::create();
        Morvenix::DjVu::IFF::serialize(out.get(), inRoot, nullptr, nullptr, Morvenix::DjVu::IFF::smDefault, nullptr,
                                       nullptr);
        writeFile(path(inName), bytesOf(*out));
    }

    // Page inPage (from 1) of the file as ddjvu renders it, with the extra options given.
    NetpbmImage decode(const std::string& inName, int inPage, const std::string& inOptions = "-format=pbm")
    {
        const std::string out = inName + "." + std::to_string(inPage) + ".pnm";
        const std::string command =
            "ddjvu " + inOptions + " -page=" + std::to_string(inPage) + " " + host(inName) + " " + host(out);
        EXPECT_EQ(0, runHostTool(command)) << command;
        return parseNetpbm(readFile(path(out)));
    }
};

} // namespace MvxTest
