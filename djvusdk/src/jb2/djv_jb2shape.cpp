// Shapes and their bitmaps.
#include "djv_jb2shape.h"

#include "djv_imageutils.h"
#include "mvx_exception.h"

#include <cstddef>
#include <cstring>

#define MVX_SOURCE "djv_jb2shape"

namespace Morvenix {
namespace DjVu {
namespace JB2 {

namespace {
// The row block is one SimpleArray, which cannot hold 2 GB or more: refuse such sizes before any
// arithmetic can wrap.
uint32_t checkedBlockSize(uint32_t inWidth, uint32_t inHeight, const char* inFunction)
{
    const uint64_t size = uint64_t((uint64_t(inWidth) + 7) / 8) * inHeight;
    if (size >= 0x80000000u)
        MVX_THROW(errInvalidParam, "The bitmap is too large!", inFunction);
    return uint32_t(size);
}
} // namespace

ShapeBitmap::ShapeBitmap(uint32_t inWidth, uint32_t inHeight) : m_width(0), m_height(0)
{
    resize(inWidth, inHeight);
    if (m_bits.count())
        std::memset(m_bits.data(), 0, m_bits.count());
}

ShapeBitmap::ShapeBitmap(uint32_t inWidth, uint32_t inHeight, int32_t inRowStep, const uint8_t* inData,
                         bool inPacked)
    : ShapeBitmap(inWidth, inHeight)
{
    if (!inData || inWidth == 0 || inHeight == 0)
        return;
    const uint32_t rowBytes = getRowBytes();
    const int64_t step = inRowStep;
    if (!rowStepHolds(inRowStep, inPacked ? rowBytes : inWidth))
        MVX_THROW(errInvalidParam, "The row step is shorter than a row!",
                  "Morvenix::DjVu::JB2::ShapeBitmap::ShapeBitmap");
    if (inPacked) {
        // Packed rows with a negative step come as a block given by its lowest address: the top row is
        // the one at its end.
        const uint8_t* top = step < 0 ? inData + (-step) * int64_t(inHeight - 1) : inData;
        for (uint32_t y = 0; y < inHeight; ++y)
            std::memcpy(row(y), top + step * y, rowBytes);
    } else {
        ImageUtils::packBytesToBits(inWidth, inHeight, inRowStep, inData, int32_t(rowBytes), m_bits.data());
    }
}

void ShapeBitmap::resize(uint32_t inWidth, uint32_t inHeight)
{
    const uint32_t size = checkedBlockSize(inWidth, inHeight, "Morvenix::DjVu::JB2::ShapeBitmap::resize");
    m_bits.resize(size, int32_t(size));
    m_width = inWidth;
    m_height = inHeight;
}

bool ShapeBitmap::samePixels(const ShapeBitmap& inOther) const
{
    if (m_width != inOther.m_width || m_height != inOther.m_height)
        return false;
    const uint32_t rowBytes = getRowBytes();
    const uint8_t tailMask = lastByteMask(m_width);
    for (uint32_t y = 0; y < m_height && rowBytes; ++y) {
        const uint8_t* a = row(y);
        const uint8_t* b = inOther.row(y);
        if (std::memcmp(a, b, rowBytes - 1) != 0 || ((a[rowBytes - 1] ^ b[rowBytes - 1]) & tailMask))
            return false;
    }
    return true;
}

} // namespace JB2
} // namespace DjVu
} // namespace Morvenix

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;

class ShapeImpl : public Shape {
public:
    ShapeImpl(ShapeType inType, Shape* inReference, int32_t inX, int32_t inY, ShapeBitmap* inBitmap)
        : m_type(inType), m_x(inX), m_y(inY), m_color(Color{0, 0, 0, 0}), m_bitmap(inBitmap)
    {
        refer(inReference);
    }
    ~ShapeImpl() override
    {
        refer(nullptr);
        delete m_bitmap;
    }

    ShapeType getType() const override { return m_type; }
    uint32_t getWidth() const override { return getBitmap().getWidth(); }
    uint32_t getHeight() const override { return getBitmap().getHeight(); }
    int32_t getX() const override { return m_x; }
    int32_t getY() const override { return m_y; }
    void setPosition(int32_t inX, int32_t inY) override
    {
        m_x = inX;
        m_y = inY;
    }
    Rect getRect() const override
    {
        return Rect{getX(), getY(), int32_t(getWidth()), int32_t(getHeight())};
    }
    const ShapeBitmap& getBitmap() const override { return m_bitmap ? *m_bitmap : m_reference->getBitmap(); }
    void replaceBitmap(const ShapeBitmap& inBitmap) override
    {
        if (!m_bitmap)
            MVX_THROW(errOperationFailed, "Could not replace the bitmap",
                      "_Mvx_Internal_NS_::ShapeImpl::replaceBitmap");
        ShapeBitmap* copy = new ShapeBitmap(inBitmap);
        delete m_bitmap;
        m_bitmap = copy;
    }
    void setRefinement(const AutoPtr<Shape>& inTarget) override
    {
        checkTarget(inTarget.get(), "_Mvx_Internal_NS_::ShapeImpl::setRefinement");
        checkNoCycle(inTarget.get(), "_Mvx_Internal_NS_::ShapeImpl::setRefinement");
        if (!m_bitmap)
            MVX_THROW(errOperationFailed, "Could not refine due to lack of bitmap!",
                      "_Mvx_Internal_NS_::ShapeImpl::setRefinement");
        m_type = Refinement;
        refer(inTarget.get());
    }
    void setMatch(const AutoPtr<Shape>& inTarget) override
    {
        checkTarget(inTarget.get(), "_Mvx_Internal_NS_::ShapeImpl::setMatch");
        checkNoCycle(inTarget.get(), "_Mvx_Internal_NS_::ShapeImpl::setMatch");
        if (!m_bitmap)
            MVX_THROW(errOperationFailed, "Could not match due to lack of bitmap!",
                      "_Mvx_Internal_NS_::ShapeImpl::setMatch");
        // Those would refer to a copy, which has no place among the shapes a JB2 stream can name.
        if (m_referrers)
            MVX_THROW(errInvalidParam, "A shape that other shapes refer to cannot become a copy!",
                      "_Mvx_Internal_NS_::ShapeImpl::setMatch");
        m_type = Match;
        refer(inTarget.get());
        delete m_bitmap;
        m_bitmap = nullptr;
    }
    void getColor(Color& outColor) const override { outColor = m_color; }
    void setColor(const Color& inColor) override { m_color = inColor; }
    Shape* getReference() const override { return m_reference.get(); }

    static void checkTarget(const Shape* inTarget, const char* inFunction)
    {
        if (!inTarget || inTarget->getType() == Match)
            MVX_THROW(errOperationFailed, "Refinement target should not be matched shape!", inFunction);
    }

private:
    // Takes inTarget as the reference, keeping count on both shapes of the shapes that refer to them.
    // Shapes of other implementations are referred to without a count.
    void refer(Shape* inTarget)
    {
        if (ShapeImpl* old = dynamic_cast<ShapeImpl*>(m_reference.get()))
            --old->m_referrers;
        if (ShapeImpl* target = dynamic_cast<ShapeImpl*>(inTarget))
            ++target->m_referrers;
        m_reference = inTarget;
    }

    // A shape reached again through its references would have its bitmap and size looked up without end
    // and never be freed. The chains that stand have no loop, so the walk ends.
    void checkNoCycle(const Shape* inTarget, const char* inFunction) const
    {
        for (const Shape* s = inTarget; s; s = s->getReference()) {
            if (s == this)
                MVX_THROW(errInvalidParam, "A shape cannot refer to itself!", inFunction);
        }
    }

    ShapeType m_type;
    AutoPtr<Shape> m_reference;
    int32_t m_x;
    int32_t m_y;
    Color m_color;
    ShapeBitmap* m_bitmap; // null for a Match
    uint32_t m_referrers = 0; // shapes whose reference this one is
};

namespace {
void checkOwnType(ShapeType inType)
{
    if (inType != Normal && inType != NonMark)
        MVX_THROW(errOperationFailed, "This function si only for Normal and NonMark Shape!",
                  "Morvenix::DjVu::JB2::Shape::create");
}
} // namespace

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {
namespace JB2 {

using _Mvx_Internal_NS_::ShapeImpl;

AutoPtr<Shape> Shape::create(uint32_t inWidth, uint32_t inHeight, int32_t inRowStep, const uint8_t* inPixels,
                             int32_t inX, int32_t inY, ShapeType inType)
{
    _Mvx_Internal_NS_::checkOwnType(inType);
    ShapeBitmap bitmap(inWidth, inHeight, inRowStep, inPixels, false);
    return create(bitmap, inX, inY, inType);
}

AutoPtr<Shape> Shape::create(const ShapeBitmap& inBitmap, int32_t inX, int32_t inY, ShapeType inType)
{
    _Mvx_Internal_NS_::checkOwnType(inType);
    ShapeBitmap* copy = new ShapeBitmap(inBitmap);
    return AutoPtr<Shape>(new ShapeImpl(inType, nullptr, inX, inY, copy));
}

AutoPtr<Shape> Shape::createRefinement(const AutoPtr<Shape>& inReference, uint32_t inWidth, uint32_t inHeight,
                                       int32_t inRowStep, const uint8_t* inPixels, int32_t inX, int32_t inY)
{
    ShapeImpl::checkTarget(inReference.get(), "Morvenix::DjVu::JB2::Shape::createRefinement");
    ShapeBitmap bitmap(inWidth, inHeight, inRowStep, inPixels, false);
    return createRefinement(inReference, bitmap, inX, inY);
}

AutoPtr<Shape> Shape::createRefinement(const AutoPtr<Shape>& inReference, const ShapeBitmap& inBitmap, int32_t inX,
                                       int32_t inY)
{
    ShapeImpl::checkTarget(inReference.get(), "Morvenix::DjVu::JB2::Shape::createRefinement");
    ShapeBitmap* copy = new ShapeBitmap(inBitmap);
    return AutoPtr<Shape>(new ShapeImpl(Refinement, inReference.get(), inX, inY, copy));
}

AutoPtr<Shape> Shape::createMatch(const AutoPtr<Shape>& inReference, int32_t inX, int32_t inY)
{
    ShapeImpl::checkTarget(inReference.get(), "Morvenix::DjVu::JB2::Shape::createMatch");
    return AutoPtr<Shape>(new ShapeImpl(Match, inReference.get(), inX, inY, nullptr));
}

} // namespace JB2
} // namespace DjVu
} // namespace Morvenix
