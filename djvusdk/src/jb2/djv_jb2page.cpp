// JB2 pages and dictionaries as shape lists.
#include "djv_jb2page.h"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
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
    uint32_t m_width;
    uint32_t m_height;
    bool m_fgbzLoaded;
    AutoPtr<JB2DictionaryImpl> m_dictionary;
    ShapeList m_shapes;
    // Per page row, the shapes that cover it, in list order; plain pointers valid while the list is unchanged.
    SimpleArray<SimpleArray<const Shape*, 1>, 1> m_renderIndex;
};

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {
namespace JB2 {

AutoPtr<JB2Dictionary> JB2Dictionary::create()
{
    return AutoPtr<JB2Dictionary>(new _Mvx_Internal_NS_::JB2DictionaryImpl());
}

AutoPtr<JB2Page> JB2Page::create(uint32_t inWidth, uint32_t inHeight)
{
    return AutoPtr<JB2Page>(new _Mvx_Internal_NS_::JB2PageImpl(inWidth, inHeight));
}

} // namespace JB2
} // namespace DjVu
} // namespace Morvenix
