// JB2 data written by the library and decoded by ddjvu: single pages (INFO and the JB2 chunks) and
// bundled documents, written through the IFF serializer, rendered as PBM or PPM.
#pragma once

#include "djv_chunk.h"
#include "djvu_form_interop.h"
#include "jb2_test_support.h"
#include "test_support.h"

#include <string>
#include <utility>
#include <vector>

namespace Jb2Test {

using Morvenix::DjVu::Chunk;
using Morvenix::DjVu::ChunkCollection;

using MvxTest::leaf;
using MvxTest::pageForm;

class Jb2Interop : public MvxTest::DjVuFormTest {
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
