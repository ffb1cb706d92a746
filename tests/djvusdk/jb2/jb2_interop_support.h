// JB2 data written by the library and decoded by ddjvu: single pages (INFO and the JB2 chunks) and
// bundled documents, written through the IFF serializer, rendered as PBM or PPM.
#pragma once

#include "djv_chunk.h"
#include "djv_iff.h"
#include "djvu_page_file.h"
#include "jb2_test_support.h"
#include "test_support.h"

#include <string>
#include <utility>
#include <vector>

namespace Jb2Test {

using Morvenix::DjVu::Chunk;
using Morvenix::DjVu::ChunkCollection;

inline AutoPtr<Chunk> leaf(const char* inId, const Bytes& inBody)
{
    return Chunk::createFromBytes(inId, inBody.data(), uint32_t(inBody.size()));
}

// A "DJVU" form: INFO for a 300-dpi page of that size, then the chunks in order.
inline AutoPtr<ChunkCollection> pageForm(uint32_t inWidth, uint32_t inHeight,
                                         const std::vector<AutoPtr<Chunk>>& inChunks)
{
    AutoPtr<ChunkCollection> page = ChunkCollection::create("DJVU");
    const Morvenix::DjVu::PageInfo info{inWidth, inHeight, 24, 0, 300, 22, 1};
    page->getChildren().append(leaf("INFO", MvxTest::infoChunkBody(info)));
    for (const AutoPtr<Chunk>& chunk : inChunks)
        page->getChildren().append(chunk);
    return page;
}

class Jb2Interop : public MvxTest::HostToolTest {
protected:
    void writeDocument(Chunk* inRoot, const std::string& inName)
    {
        AutoPtr<Morvenix::MemoryStorage> out = Morvenix::MemoryStorage::create();
        Morvenix::DjVu::IFF::serialize(out.get(), inRoot, nullptr, nullptr, Morvenix::DjVu::IFF::smDefault, nullptr,
                                       nullptr);
        MvxTest::writeFile(path(inName), bytesOf(*out));
    }

    // Page inPage (from 1) of the file as ddjvu renders it, with the extra options given.
    MvxTest::NetpbmImage decode(const std::string& inName, int inPage, const std::string& inOptions = "-format=pbm")
    {
        const std::string out = inName + "." + std::to_string(inPage) + ".pnm";
        const std::string command =
            "ddjvu " + inOptions + " -page=" + std::to_string(inPage) + " " + host(inName) + " " + host(out);
        EXPECT_EQ(0, MvxTest::runHostTool(command)) << command;
        return MvxTest::parseNetpbm(MvxTest::readFile(path(out)));
    }

    // A single-page file of INFO and the page stream, as ddjvu renders it.
    MvxTest::NetpbmImage renderSjbz(uint32_t inWidth, uint32_t inHeight, const Bytes& inSjbz,
                                    const std::string& inName = "page.djvu")
    {
        AutoPtr<ChunkCollection> page = pageForm(inWidth, inHeight, {leaf("Sjbz", inSjbz)});
        writeDocument(page.get(), inName);
        return decode(inName, 1);
    }

    // The page stream of the shapes renders exactly the page the shapes paint.
    void expectRendersExactly(uint32_t inWidth, uint32_t inHeight, const ShapeList& inShapes,
                              const std::string& inName = "page.djvu")
    {
        const MvxTest::NetpbmImage decoded = renderSjbz(inWidth, inHeight, sjbz(inWidth, inHeight, inShapes), inName);
        EXPECT_EQ("", MvxTest::firstDifference(paint(inWidth, inHeight, inShapes), decoded)) << inName;
    }
};

} // namespace Jb2Test
