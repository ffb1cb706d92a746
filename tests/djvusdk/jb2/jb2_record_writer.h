// A test-only writer of JB2 records on the library's record coder: it writes what the compressor never
// does (page-only marks, sizes and indices a decoder must refuse, resets where the tests want them), so
// that the decoder can be shown such streams.
#pragma once

#include "djv_jb2coder.h"
#include "djv_zpcoder.h"
#include "jb2_test_support.h"
#include "mvx_memstorage.h"

#include <cstdint>
#include <memory>

namespace Jb2Test {

class RecordWriter : public Morvenix::DjVu::JB2::JB2CoderImpl {
public:
    RecordWriter()
        : JB2CoderImpl(true), m_out(Morvenix::MemoryStorage::create()),
          m_zp(new Morvenix::DjVu::ZPEncoder(AutoPtr<Morvenix::Stream>(m_out), 16))
    {
    }

    int codeBit(int inBit, uint8_t* ioContext) override
    {
        m_zp->encode(inBit, *ioContext);
        return inBit;
    }

    void type(int32_t inType) { codeNumber(0, 11, inType, nkRecordType); }
    void number(NumberKind inKind, int32_t inValue, int32_t inLow = kBigNegative, int32_t inHigh = kBigPositive)
    {
        codeNumber(inLow, inHigh, inValue, inKind);
    }
    void start(uint32_t inWidth, uint32_t inHeight)
    {
        type(0);
        codeImageSize(inWidth, inHeight);
        uint8_t refinementFlag = 0;
        codeBit(0, &refinementFlag);
    }
    // Size and pixels of a direct bitmap.
    void direct(const ShapeBitmap& inBitmap)
    {
        number(nkMarkWidth, int32_t(inBitmap.getWidth()), 0);
        number(nkMarkHeight, int32_t(inBitmap.getHeight()), 0);
        codeDirectBitmap(&inBitmap, nullptr, m_scratch, [this](int inBit, uint8_t& ioContext) {
            m_zp->encode(inBit, ioContext);
            return inBit;
        });
    }
    // Index, size changes and pixels of a refinement of inReference.
    void refined(int32_t inIndex, int32_t inLastIndex, const ShapeBitmap& inBitmap, const ShapeBitmap& inReference)
    {
        number(nkMatchIndex, inIndex, 0, inLastIndex);
        const InkBox ink = computeInkBox(inReference);
        number(nkRefineWidth, int32_t(inBitmap.getWidth()) - int32_t(ink.width));
        number(nkRefineHeight, int32_t(inBitmap.getHeight()) - int32_t(ink.height));
        codeRefinedBitmap(&inBitmap, nullptr, inReference, ink, m_scratch, [this](int inBit, uint8_t& ioContext) {
            m_zp->encode(inBit, ioContext);
            return inBit;
        });
    }
    // A w x h mark with its top-left corner at page pixel (x, y).
    void place(int32_t inX, int32_t inY, uint32_t inWidth, uint32_t inHeight)
    {
        int32_t left = inX + 1, bottom = int32_t(getImageHeight()) - inY - int32_t(inHeight) + 1;
        codeRelativeLocation(left, bottom, inWidth, inHeight);
    }
    Bytes finish()
    {
        type(11);
        m_zp->flush();
        m_zp.reset();
        return bytesOf(*m_out);
    }

private:
    AutoPtr<Morvenix::MemoryStorage> m_out;
    std::unique_ptr<Morvenix::DjVu::ZPEncoder> m_zp;
    Morvenix::SimpleArray<uint8_t, 2> m_scratch;
};

} // namespace Jb2Test
