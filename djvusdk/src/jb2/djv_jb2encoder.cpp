// The JB2 encoder of a group of pages: shapes cut when a page is added, classified and coded when the
// result is first asked for.
#include "djv_jb2encoder.h"

#include "djv_componentextractor.h"
#include "djv_jb2compressor.h"
#include "djv_jb2page.h"
#include "djv_palettegenerator.h"
#include "djv_payload.h"
#include "djv_shapeclassifier.h"
#include "mvx_exception.h"

#include <exception>

#define MVX_SOURCE "djv_jb2encoder"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;

// A page's foreground colours and one palette index per shape, in shape order.
struct Palette {
    Palette() : colors(0, 128), indices(0, 128) {}
    PaletteGenerator::ColorArray colors;
    PaletteGenerator::IndexArray indices;
};

class JB2EncoderImpl : public JB2Encoder {
public:
    explicit JB2EncoderImpl(const Params* inParams)
        : m_params(inParams ? *inParams : defaultParams()), m_generated(false), m_dictionary(JB2Dictionary::create()),
          m_pages(0, 8), m_palettes(0, 128)
    {
    }

    void addPage(const uint8_t* inMask, int32_t inMaskStride, uint32_t inMaskType, uint32_t inWidth,
                 uint32_t inHeight, const uint8_t* inColor, int32_t inColorStride, Photometric inPhotometric,
                 const Params* inParams) override;
    bool isDjbzEmpty() override
    {
        generateDict(true);
        return m_dictionary->getShapes().count() == 0;
    }
    void encodeDjbz(const AutoPtr<Stream>& outStream) override
    {
        if (!isDjbzEmpty())
            Compressor::encodeDjbz(outStream, m_dictionary->getShapes());
    }
    void createDjbzChunk(AutoPtr<Chunk>& outChunk) override
    {
        outChunk.reset();
        if (!isDjbzEmpty())
            outChunk = makeChunk("Djbz", [&](const AutoPtr<Stream>& s) { encodeDjbz(s); });
    }

    uint32_t getPageCount() const override { return m_pages.count(); }
    uint64_t getShapeBytes() const override { return m_shapeBytes; }
    bool isSjbzEmpty(uint32_t inPageIndex) override
    {
        checkIndex(inPageIndex, "_Mvx_Internal_NS_::JB2EncoderImpl::isSjbzEmpty");
        generateDict(false);
        return m_pages[inPageIndex]->getShapes().count() == 0;
    }
    void encodeSjbz(uint32_t inPageIndex, const AutoPtr<Stream>& outStream) override
    {
        checkIndex(inPageIndex, "_Mvx_Internal_NS_::JB2EncoderImpl::encodeSjbz");
        generateDict(false);
        const JB2Page& page = *m_pages[inPageIndex];
        Compressor::encodeSjbz(outStream, page.getWidth(), page.getHeight(), page.getShapes(),
                               &static_cast<const JB2Dictionary&>(*m_dictionary).getShapes());
    }
    void createSjbzChunk(AutoPtr<Chunk>& outChunk, uint32_t inPageIndex) override
    {
        outChunk = makeChunk("Sjbz", [&](const AutoPtr<Stream>& s) { encodeSjbz(inPageIndex, s); });
    }
    bool isFGbzEmpty(uint32_t inPageIndex) override
    {
        return isSjbzEmpty(inPageIndex) || inPageIndex >= m_palettes.count() ||
               m_palettes[inPageIndex].colors.count() == 0;
    }
    void encodeFGbz(uint32_t inPageIndex, const AutoPtr<Stream>& outStream) override
    {
        checkIndex(inPageIndex, "_Mvx_Internal_NS_::JB2EncoderImpl::encodeFGbz");
        generateDict(false);
        // A page added without a colour image after the last page with one has no palette entry: it is
        // written as the empty palette it stands for.
        static const Palette kEmpty;
        const Palette& palette = inPageIndex < m_palettes.count() ? m_palettes[inPageIndex] : kEmpty;
        Compressor::encodeFGbz(outStream, palette.colors, palette.indices);
    }
    void createFGbzChunk(AutoPtr<Chunk>& outChunk, uint32_t inPageIndex) override
    {
        outChunk = makeChunk("FGbz", [&](const AutoPtr<Stream>& s) { encodeFGbz(inPageIndex, s); });
    }

private:
    void checkIndex(uint32_t inPageIndex, const char* inFunction) const
    {
        if (inPageIndex >= m_pages.count())
            MVX_THROW(errInvalidParam, "JB2Encoder : inPageIndex over page index.", inFunction);
    }
    void generateDict(bool inShared);

    // The stream a payload writer hands out is held by it for the whole write.
    template <class Write>
    static AutoPtr<Chunk> makeChunk(const char* inId, Write inWrite)
    {
        AutoPtr<Chunk> chunk = ChunkEncoded::create(inId);
        chunk->setData(AutoPtr<Data>(makePayload(false, [&](Stream& s) { inWrite(AutoPtr<Stream>(&s)); })));
        return chunk;
    }

    Params m_params;
    bool m_generated;
    AutoPtr<JB2Dictionary> m_dictionary;
    ShapeClassifier::PageList m_pages;
    SimpleArray<Palette, 1> m_palettes;
    uint64_t m_shapeBytes = 0;
    std::exception_ptr m_buildFailure; // every later question fails with it
};

void JB2EncoderImpl::addPage(const uint8_t* inMask, int32_t inMaskStride, uint32_t inMaskType, uint32_t inWidth,
                             uint32_t inHeight, const uint8_t* inColor, int32_t inColorStride,
                             Photometric inPhotometric, const Params* inParams)
{
    if (m_generated)
        MVX_THROW(errOperationFailed, "JB2Encoder : Cannot add page due to existing dictionary.",
                  "_Mvx_Internal_NS_::JB2EncoderImpl::addPage");
    // The pages are classified once: after a build that failed, a page added would never be.
    if (m_buildFailure)
        std::rethrow_exception(m_buildFailure);
    if (inParams && !m_params.sameClassification(*inParams))
        MVX_THROW(errInvalidParam, "JB2Encoder : The page's parameters differ from the encoder's.",
                  "_Mvx_Internal_NS_::JB2EncoderImpl::addPage");
    const Params& params = inParams ? *inParams : m_params;
    AutoPtr<JB2Page> page = JB2Page::create(inWidth, inHeight);
    ComponentExtractor::extractShapes(inWidth, inHeight, inMaskType, inMaskStride, inMask, inColorStride, inColor,
                                      inPhotometric, *page);
    page->getShapes().compact();
    m_pages.append(page);
    // The bitmap, and for the shape object, its slot and its palette index a round figure.
    const uint64_t kPerShape = 64;
    for (const AutoPtr<Shape>& shape : page->getShapes())
        m_shapeBytes += uint64_t(shape->getBitmap().getRowBytes()) * shape->getHeight() + kPerShape;
    if (!inColor)
        return;
    m_palettes.setSize(m_pages.count());
    Palette& last = m_palettes[m_pages.count() - 1];
    PaletteGenerator().generatePalette(page->getShapes(), last.colors, last.indices, params.paletteLimit, inColor,
                                       inColorStride, inPhotometric, inWidth, inHeight);
    m_shapeBytes += uint64_t(last.colors.count()) * sizeof(Color);
}

void JB2EncoderImpl::generateDict(bool inShared)
{
    if (m_generated)
        return;
    // A build that failed may have left the pages half-classified or without their shapes: built again, it
    // would make page streams without marks and palettes of the wrong count.
    if (m_buildFailure)
        std::rethrow_exception(m_buildFailure);
    if (m_pages.count() == 0)
        MVX_THROW(errOperationFailed, "JB2Encoder : No pages.", "_Mvx_Internal_NS_::JB2EncoderImpl::generateDict");
    try {
        if (inShared) {
            ShapeClassifier::buildSharedDictionary(m_pages, *m_dictionary, m_params.secondCompare,
                                                   m_params.matchThreshold);
            m_dictionary->compact();
        } else {
            for (AutoPtr<JB2Page>& page : m_pages)
                ShapeClassifier::buildPageDictionary(*page, m_params.secondCompare, m_params.matchThreshold);
        }
    } catch (...) {
        m_buildFailure = std::current_exception();
        throw;
    }
    m_generated = true;
}

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {
namespace JB2 {

AutoPtr<JB2Encoder> JB2Encoder::create(const Params* inParams)
{
    return AutoPtr<JB2Encoder>(new _Mvx_Internal_NS_::JB2EncoderImpl(inParams));
}

} // namespace JB2
} // namespace DjVu
} // namespace Morvenix
