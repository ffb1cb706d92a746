// On finish each page keeps the smaller of its two foreground encodings; a page that lacks one keeps
// what it has.
#include "bp_exporter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Morvenix::DjVu;

namespace {

Morvenix::AutoPtr<Chunk> leafOfSize(const char* inId, uint32_t inSize)
{
    const std::string bytes(inSize, 'x');
    return Chunk::createFromBytes(inId, bytes.data(), inSize);
}

std::string idsOf(Chunk& inPage)
{
    std::string ids;
    for (const Morvenix::AutoPtr<Chunk>& child : inPage.getChildren())
        ids += std::string(child->getId().c_str()) + " ";
    return ids;
}

TEST(ExporterForeground, KeepsTheSmallerEncoding)
{
    const struct {
        int fg44; // payload size, or -1 for no such chunk
        int fgbz;
        const char* kept;
    } cases[] = {
        {10, 10, "INFO Sjbz FG44 BG44 "}, // a tie keeps FG44
        {11, 10, "INFO Sjbz FGbz BG44 "},
        {9, 10, "INFO Sjbz FG44 BG44 "},
        {0, 1, "INFO Sjbz FG44 BG44 "},
        {70000, 3, "INFO Sjbz FGbz BG44 "},
        {10, -1, "INFO Sjbz FG44 BG44 "},
        {-1, 10, "INFO Sjbz FGbz BG44 "},
        {-1, -1, "INFO Sjbz BG44 "},
    };
    for (const auto& c : cases) {
        Morvenix::AutoPtr<ChunkCollection> page = ChunkCollection::create("DJVU");
        page->getChildren().append(leafOfSize("INFO", 10));
        page->getChildren().append(leafOfSize("Sjbz", 5));
        // The order the page encoder writes them in: the palette first.
        if (c.fgbz >= 0)
            page->getChildren().append(leafOfSize("FGbz", uint32_t(c.fgbz)));
        if (c.fg44 >= 0)
            page->getChildren().append(leafOfSize("FG44", uint32_t(c.fg44)));
        page->getChildren().append(leafOfSize("BG44", 20));
        CDjVuExporter::KeepSmallerForeground(*page);
        std::string expected = c.kept;
        EXPECT_EQ(expected, idsOf(*page)) << "FG44 " << c.fg44 << ", FGbz " << c.fgbz;
    }
}

} // namespace
