// JB2 data written by the library and decoded by ddjvu: single pages (INFO and the JB2 chunks) and
// bundled documents, written through the IFF serializer, rendered as PBM or PPM; real 300-dpi text pages
// set by Ghostscript to feed the encoders.
#pragma once

#include "djv_chunk.h"
#include "djv_jb2encoder.h"
#include "djvu_form_interop.h"
#include "jb2_test_support.h"
#include "test_support.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace Jb2Test {

using Morvenix::DjVu::Chunk;
using Morvenix::DjVu::ChunkCollection;

using MvxTest::leaf;
using MvxTest::NetpbmImage;
using MvxTest::pageForm;

const uint32_t kPages = 20;

class Jb2Interop : public MvxTest::DjVuFormTest {
protected:
    // kPages text pages of 2550 x 3300 in several fonts and sizes, set by Ghostscript from the system's
    // licence text; made once for the whole test program.
    static const std::vector<NetpbmImage>& textPages() { return textPageSet().pages; }
    // The host path of text page inIndex (from 0) as the raw PBM file Ghostscript wrote.
    static std::string textPagePbm(uint32_t inIndex)
    {
        return MvxTest::hostPath(pageFile(textPageSet().folder, inIndex));
    }

    // The group as a bundled document: the shared dictionary in a DJVI component that every page includes
    // (when it is not empty), each page its INFO, Sjbz and, when it has one, FGbz.
    void writeGroup(Morvenix::DjVu::JB2::JB2Encoder& ioEncoder, uint32_t inWidth, uint32_t inHeight,
                    const std::string& inName)
    {
        AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
        // Each page holds a redirector to the dictionary chunk: the serializer writes it once, as a DJVI
        // component that the pages include.
        AutoPtr<Chunk> djbz;
        ioEncoder.createDjbzChunk(djbz);
        for (uint32_t i = 0; i < ioEncoder.getPageCount(); ++i) {
            std::vector<AutoPtr<Chunk>> chunks;
            if (djbz)
                chunks.push_back(AutoPtr<Chunk>(Morvenix::DjVu::ChunkRedirector::create(djbz)));
            AutoPtr<Chunk> sjbz, fgbz;
            ioEncoder.createSjbzChunk(sjbz, i);
            chunks.push_back(sjbz);
            if (!ioEncoder.isFGbzEmpty(i)) {
                ioEncoder.createFGbzChunk(fgbz, i);
                chunks.push_back(fgbz);
            }
            doc->getChildren().append(AutoPtr<Chunk>(Jb2Test::pageForm(inWidth, inHeight, chunks)));
        }
        writeDocument(doc.get(), inName);
    }

    // With inGrey the page's grey image goes along, so that the page gets its (black) palette.
    static void addMask(Morvenix::DjVu::JB2::JB2Encoder& ioEncoder, const NetpbmImage& inPage, bool inGrey = false)
    {
        std::vector<uint8_t> mask(inPage.pixels.size());
        for (size_t i = 0; i < mask.size(); ++i)
            mask[i] = inPage.pixels[i] ? 0 : 255; // black is foreground
        ioEncoder.addPage(mask.data(), int32_t(inPage.width), Morvenix::DjVu::mtBytes, inPage.width, inPage.height,
                          inGrey ? mask.data() : nullptr, inGrey ? int32_t(inPage.width) : 0, Morvenix::DjVu::phGray,
                          nullptr);
    }

private:
    struct TextPageSet {
        std::string folder;
        std::vector<NetpbmImage> pages;
    };
    // The Windows path of a page's PBM file in the folder.
    static std::string pageFile(const std::string& inFolder, uint32_t inIndex)
    {
        char name[32];
        std::snprintf(name, sizeof name, "\\page%02u.pbm", inIndex + 1);
        return inFolder + name;
    }
    static const TextPageSet& textPageSet()
    {
        static TextPageSet set;
        if (!set.pages.empty())
            return set;
        MvxTest::requireHostTools({"python3", "gs"});
        set.folder = MvxTest::tempFolder();
        const std::string ps = MvxTest::hostPath(set.folder + "\\pages.ps");
        EXPECT_EQ(0, MvxTest::runHostTool("python3 " + MvxTest::sourceHostPath("bench/make_text_pages.py") + " " +
                                         std::to_string(kPages) + " " + ps));
        EXPECT_EQ(0, MvxTest::runHostTool("gs -q -dNOPAUSE -dBATCH -sDEVICE=pbmraw -r300 -g2550x3300 -sOutputFile=" +
                                         MvxTest::hostPath(set.folder + "\\page%02d.pbm") + " " + ps));
        for (uint32_t i = 0; i < kPages; ++i)
            set.pages.push_back(MvxTest::parseNetpbm(MvxTest::readFile(pageFile(set.folder, i))));
        return set;
    }

protected:
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
