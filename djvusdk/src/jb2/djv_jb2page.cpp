// JB2 pages and dictionaries as shape lists: decoded, rendered and written back.
#include "djv_jb2page.h"

#include "djv_jb2compressor.h"
#include "djv_jb2decompressor.h"
#include "djv_maskscaling.h"
#include "djv_palettegenerator.h"
#include "djv_payload.h"
#include "mvx_exception.h"

#define MVX_SOURCE "djv_jb2page"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;

class JB2DictionaryImpl : public JB2Dictionary {
public:
    JB2DictionaryImpl() : m_shapes(0, 32, nullptr, 128) {}

    const ShapeList& getShapes() const override { return m_shapes; }
    ShapeList& getShapes() override { return m_shapes; }
    void compact() override { m_shapes.compact(); }
    void dropRenderIndex() override {}

private:
    ShapeList m_shapes;
};

class JB2PageImpl : public JB2Page {
public:
    JB2PageImpl(uint32_t inWidth, uint32_t inHeight)
        : m_width(inWidth), m_height(inHeight), m_fgbzLoaded(false), m_shapes(0, 128, nullptr, 128),
          m_renderIndex(0, 128, nullptr, 128)
    {
    }

    const ShapeList& getShapes() const override { return m_shapes; }
    ShapeList& getShapes() override
    {
        dropRenderIndex();
        return m_shapes;
    }
    void compact() override
    {
        if (m_dictionary)
            m_dictionary->compact();
        m_shapes.compact();
    }
    void dropRenderIndex() override { m_renderIndex.resize(0, 0); }

    void decode(const AutoPtr<Stream>& inStream, const JB2Dictionary* inDictionary)
    {
        m_dictionary = const_cast<JB2DictionaryImpl*>(dynamic_cast<const JB2DictionaryImpl*>(inDictionary));
        JB2Decompressor decompressor;
        decompressor.decodePage(inStream, m_width, m_height, m_shapes,
                                m_dictionary ? &m_dictionary->getShapes() : nullptr);
    }

    void addFGbz(const Chunk& inFGbz) override
    {
        addFGbz(openPayload(inFGbz, false, "FGbz", MVX_SOURCE, "_Mvx_Internal_NS_::JB2PageImpl::addFGbz"));
    }
    void addFGbz(const AutoPtr<Stream>& inStream) override
    {
        if (m_fgbzLoaded)
            MVX_THROW(errOperationFailed, "FGbz already loaded!", "_Mvx_Internal_NS_::JB2PageImpl::addFGbz");
        Compressor::decodeFGbz(inStream, m_shapes);
        m_fgbzLoaded = true;
    }

    void renderMask(uint8_t* outBuffer, int32_t inRowStep, Photometric inPhotometric, const Rect* inWindow,
                    uint32_t inTargetWidth, uint32_t inTargetHeight, bool inAlpha, uint32_t inFilter) override
    {
        render(outBuffer, inRowStep, inPhotometric, inWindow, inTargetWidth, inTargetHeight, nullptr, inAlpha,
               inFilter);
    }
    void renderMask(uint8_t* outBuffer, int32_t inRowStep, Photometric inPhotometric, const Rect* inWindow,
                    uint32_t inTargetWidth, uint32_t inTargetHeight, const uint8_t* inForeground,
                    int32_t inForegroundRowStep, uint32_t inForegroundWidth, uint32_t inForegroundHeight,
                    bool inAlpha, uint32_t inFilter) override
    {
        const ForegroundImage foreground{inForeground, inForegroundRowStep, inForegroundWidth, inForegroundHeight};
        render(outBuffer, inRowStep, inPhotometric, inWindow, inTargetWidth, inTargetHeight,
               inForeground ? &foreground : nullptr, inAlpha, inFilter);
    }

    void encode(const AutoPtr<Stream>& outStream) override
    {
        Compressor::encodeSjbz(outStream, m_width, m_height, m_shapes,
                               m_dictionary ? &m_dictionary->getShapes() : nullptr);
    }
    AutoPtr<Chunk> createSjbzChunk() override
    {
        return makePayloadChunk("Sjbz", false, [this](Stream& s) { encode(AutoPtr<Stream>(&s)); });
    }
    void encodeFGbz(const AutoPtr<Stream>& outStream, uint32_t inPaletteLimit) override
    {
        PaletteGenerator::ColorArray colours;
        PaletteGenerator::IndexArray indices;
        PaletteGenerator().generatePalette(m_shapes, colours, indices, inPaletteLimit, nullptr, 0, phBGR, 0, 0);
        Compressor::encodeFGbz(outStream, colours, indices);
    }
    AutoPtr<Chunk> createFGbzChunk(uint32_t inPaletteLimit) override
    {
        return makePayloadChunk("FGbz", false,
                                [this, inPaletteLimit](Stream& s) { encodeFGbz(AutoPtr<Stream>(&s), inPaletteLimit); });
    }

    uint32_t getWidth() const override { return m_width; }
    uint32_t getHeight() const override { return m_height; }
    bool hasFGbz() const override { return m_fgbzLoaded; }
    const JB2Dictionary* getDictionary() const override { return m_dictionary.get(); }
    JB2Dictionary* getDictionary() override
    {
        dropRenderIndex();
        return m_dictionary.get();
    }

private:
    void render(uint8_t* outBuffer, int32_t inRowStep, Photometric inPhotometric, const Rect* inWindow,
                uint32_t inTargetWidth, uint32_t inTargetHeight, const ForegroundImage* inForeground, bool inAlpha,
                uint32_t inFilter)
    {
        if (!inWindow)
            MVX_THROW(errInvalidParam, "No window to render!", "_Mvx_Internal_NS_::JB2PageImpl::renderMask");
        if (m_renderIndex.count() == 0)
            buildRenderIndex(m_shapes, m_height, m_renderIndex);
        resampleMaskT(outBuffer, inRowStep, *inWindow, inTargetWidth ? inTargetWidth : m_width,
                      inTargetHeight ? inTargetHeight : m_height, m_shapes, m_renderIndex, m_width, m_height,
                      inForeground, inPhotometric, inAlpha, inFilter);
    }

    uint32_t m_width;
    uint32_t m_height;
    bool m_fgbzLoaded;
    AutoPtr<JB2DictionaryImpl> m_dictionary;
    ShapeList m_shapes;
    RenderIndex m_renderIndex;
};

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {
namespace JB2 {

AutoPtr<JB2Dictionary> JB2Dictionary::create()
{
    return AutoPtr<JB2Dictionary>(new _Mvx_Internal_NS_::JB2DictionaryImpl());
}

AutoPtr<JB2Dictionary> JB2Dictionary::create(const AutoPtr<Stream>& inStream)
{
    AutoPtr<_Mvx_Internal_NS_::JB2DictionaryImpl> dictionary(new _Mvx_Internal_NS_::JB2DictionaryImpl());
    _Mvx_Internal_NS_::JB2Decompressor decompressor;
    decompressor.decodeDictionary(inStream, dictionary->getShapes());
    return AutoPtr<JB2Dictionary>(dictionary);
}

AutoPtr<JB2Dictionary> JB2Dictionary::create(const Chunk& inDjbz)
{
    return create(openPayload(inDjbz, false, "Djbz", MVX_SOURCE, "Morvenix::DjVu::JB2::JB2Dictionary::create"));
}

AutoPtr<JB2Page> JB2Page::create(uint32_t inWidth, uint32_t inHeight)
{
    return AutoPtr<JB2Page>(new _Mvx_Internal_NS_::JB2PageImpl(inWidth, inHeight));
}

AutoPtr<JB2Page> JB2Page::create(const AutoPtr<Stream>& inStream, const JB2Dictionary* inDictionary)
{
    AutoPtr<_Mvx_Internal_NS_::JB2PageImpl> page(new _Mvx_Internal_NS_::JB2PageImpl(0, 0));
    page->decode(inStream, inDictionary);
    return AutoPtr<JB2Page>(page);
}

AutoPtr<JB2Page> JB2Page::create(const Chunk& inSjbz, const JB2Dictionary* inDictionary)
{
    return create(openPayload(inSjbz, false, "Sjbz", MVX_SOURCE, "Morvenix::DjVu::JB2::JB2Page::create"),
                  inDictionary);
}

} // namespace JB2
} // namespace DjVu
} // namespace Morvenix
