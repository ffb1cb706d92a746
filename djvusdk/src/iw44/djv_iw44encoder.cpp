// The IW44 encoder: the image is read and decomposed with the first chunk; every chunk then continues
// the same three plane coders up to its budget, behind the chunk header.
#include "djv_iw44encoder.h"

#include "djv_iw44codec.h"
#include "djv_iw44colour.h"
#include "djv_payload.h"
#include "mvx_exception.h"
#include "mvx_memstorage.h"

#include <algorithm>

#define MVX_SOURCE "djv_iw44encoder"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::IW44;

namespace {
const char* const kChunkIds[] = {"IW44", "BG44", "FG44", "PM44", "BM44", "TH44"};
const uint32_t kKinds = 6;
// The header gives the slice count and the serial number one byte each.
const uint32_t kMaxSlicesPerChunk = 255;
const uint32_t kMaxChunks = 256;
const uint32_t kMaxSize = 65535;
} // namespace

class IW44EncoderImpl : public IW44Encoder {
public:
    IW44EncoderImpl(const void* inPixels, int32_t inStride, Photometric inPhotometric, uint32_t inWidth,
                    uint32_t inHeight, const Params& inParams)
        : m_pixels(static_cast<const uint8_t*>(inPixels)), m_stride(inStride), m_width(inWidth), m_height(inHeight),
          m_photometric(inPhotometric), m_params(inParams), m_slices(0), m_serial(0), m_done(false)
    {
        if (m_params.crcbDelay == 255)
            m_params.crcbDelay = 0;
        if (m_params.kind == 1)
            m_params.crcbDelay = 10;
        if (m_params.kind == 4)
            m_params.chromaMode = 0;
        if (m_params.chunks.count() == 0 && !m_params.callback && m_params.userData == 0)
            m_params.configureChunks(m_params.kind, m_params.quality);
        if (m_params.chunks.count() > kMaxChunks)
            MVX_THROW(errInvalidParam, "A layer holds at most 256 chunks.", "_Mvx_Internal_NS_::IW44EncoderImpl");
        for (const ChunkConfig& chunk : m_params.chunks)
            if (chunk.slices > kMaxSlicesPerChunk)
                MVX_THROW(errInvalidParam, "A chunk holds at most 255 slices.", "_Mvx_Internal_NS_::IW44EncoderImpl");
    }

    bool encode(Storage* outStorage, uint32_t* outSize) override
    {
        if (!outStorage)
            MVX_THROW(errInvalidParam, "outStorage is null.", "_Mvx_Internal_NS_::IW44EncoderImpl::encode");
        return encodeTo(*outStorage, outSize);
    }

    void encodeChunk(AutoPtr<Chunk>& outChunk) override
    {
        outChunk.reset();
        bool written = false;
        AutoPtr<MemoryData> body = makePayload(false, [&](Stream& s) { written = encodeTo(s, nullptr); });
        if (!written)
            return;
        outChunk = ChunkEncoded::create(kChunkIds[m_params.kind]);
        outChunk->setData(AutoPtr<Data>(body));
    }

    float calculateMSE() override
    {
        if (!m_y)
            MVX_THROW(errInternalError, "calculateMSE cannot be called before start encoding.",
                      "_Mvx_Internal_NS_::IW44EncoderImpl::calculateMSE");
        return m_y->estimateMSE();
    }

private:
    bool encodeTo(Stream& outStream, uint32_t* outSize);
    void decompose();
    // Returns the header's byte count.
    uint32_t writeHeader(Stream& outStream, uint32_t inSlices) const;

    const uint8_t* m_pixels;
    int32_t m_stride;
    uint32_t m_width;
    uint32_t m_height;
    Photometric m_photometric;
    Params m_params;
    AutoPtr<ComponentEncoder> m_y, m_cb, m_cr;
    uint32_t m_slices;
    uint32_t m_serial;
    bool m_done;
};

void IW44EncoderImpl::decompose()
{
    if (m_photometric == phGray)
        m_params.chromaMode = 0;
    const bool chroma = m_params.chromaMode != 0;
    // The planes live only while they are transformed; the maps keep the coefficients.
    const uint32_t rowSize = (m_width + 31) & ~31u;
    // In the library's arrays: a plane too large for them, or memory running out, is the library's
    // exception. The count saturates so that a plane of 2^32 samples is refused, not wrapped to none.
    const uint64_t samples = uint64_t(rowSize) * ((m_height + 31) & ~31u);
    const uint32_t count = uint32_t(std::min<uint64_t>(samples, UINT32_MAX));
    SimpleArray<int16_t, 2> y(count, int32_t(count)), cb, cr;
    if (chroma) {
        cb.resize(count, int32_t(count));
        cr.resize(count, int32_t(count));
    }
    makePlanes(m_pixels, m_stride, m_photometric, m_width, m_height, rowSize, y.data(), chroma ? cb.data() : nullptr,
               chroma ? cr.data() : nullptr);
    m_y = new ComponentEncoder(m_width, m_height);
    m_y->decomposePlane(y.data());
    if (!chroma)
        return;
    m_cb = new ComponentEncoder(m_width, m_height);
    m_cb->decomposePlane(cb.data());
    m_cr = new ComponentEncoder(m_width, m_height);
    m_cr->decomposePlane(cr.data());
    if (m_params.chromaMode == 1) {
        m_cb->cutResolution(2);
        m_cr->cutResolution(2);
    }
}

uint32_t IW44EncoderImpl::writeHeader(Stream& outStream, uint32_t inSlices) const
{
    uint8_t header[9] = {uint8_t(m_serial), uint8_t(inSlices)};
    uint32_t size = 2;
    if (m_serial == 0) {
        header[2] = m_params.chromaMode ? 0x01 : 0x81;
        header[3] = 2;
        header[4] = uint8_t(m_width >> 8);
        header[5] = uint8_t(m_width);
        header[6] = uint8_t(m_height >> 8);
        header[7] = uint8_t(m_height);
        header[8] = uint8_t((m_params.crcbDelay & 0x7f) | (m_params.chromaMode == 1 ? 0 : 0x80));
        size = 9;
    }
    outStream.writeBytes(header, size);
    return size;
}

bool IW44EncoderImpl::encodeTo(Stream& outStream, uint32_t* outSize)
{
    if (m_done)
        return false;
    ChunkConfig budget{0, 0};
    if (m_params.chunks.count()) {
        if (m_serial >= m_params.chunks.count())
            return false;
        budget = m_params.chunks[m_serial];
        if (budget.slices == 0 && budget.bytes == 0)
            MVX_THROW(errInvalidParam, "Both of slices and bytes of ChunkConfig are 0.",
                      "_Mvx_Internal_NS_::IW44EncoderImpl::encode");
    } else if (m_serial >= kMaxChunks) {
        MVX_THROW(errInvalidParam, "A layer holds at most 256 chunks.", "_Mvx_Internal_NS_::IW44EncoderImpl::encode");
    }
    const uint32_t sliceLimit = budget.slices ? budget.slices : kMaxSlicesPerChunk;
    if (m_serial == 0)
        decompose();

    // The header, which counts the slices, goes before the code stream: the stream is held back until the
    // chunk ends. A one-byte coder buffer keeps the storage's size close to the bytes coded.
    AutoPtr<MemoryStorage> code = MemoryStorage::create();
    uint32_t n = 0;
    bool more = true;
    {
        ZPEncoder coder(AutoPtr<Stream>(code), 1);
        const bool chroma = m_params.chromaMode != 0;
        while (!(budget.bytes && code->getPos() >= budget.bytes) && n < sliceLimit) {
            more = m_y->codeSlice(coder);
            if (chroma && m_slices + n >= m_params.crcbDelay) {
                more = m_cb->codeSlice(coder) || more;
                more = m_cr->codeSlice(coder) || more;
            }
            ++n;
            if (m_params.callback) {
                const int verdict =
                    m_params.callback(this, m_serial, n, uint32_t(code->getPos()), m_params.userData);
                if (verdict == 2) {
                    m_done = true;
                    return false;
                }
                if (verdict == 1)
                    break;
            }
            if (!more)
                break;
        }
    }
    const uint32_t headerSize = writeHeader(outStream, n);
    const uint32_t codeSize = uint32_t(code->getSize());
    code->setPos(0);
    outStream.copyAll(*code, 1024, nullptr, nullptr);
    m_slices += n;
    ++m_serial;
    if (outSize)
        *outSize = headerSize + codeSize;
    if (!more)
        m_done = true;
    return true;
}

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {
namespace IW44 {

AutoPtr<IW44Encoder> IW44Encoder::create(const void* inPixels, int32_t inStride, Photometric inPhotometric,
                                         uint32_t inWidth, uint32_t inHeight, const Params* inParams)
{
    const char* const where = "Morvenix::DjVu::IW44::IW44Encoder::create";
    if (!inParams)
        MVX_THROW(errInvalidParam, "inParams is null.", where);
    if (inParams->kind >= _Mvx_Internal_NS_::kKinds)
        MVX_THROW(errInvalidParam, "kind must be in 0-5", where);
    // Sizes come from the caller: checked before anything is allocated for them.
    if (inWidth == 0 || inHeight == 0 || inWidth > _Mvx_Internal_NS_::kMaxSize ||
        inHeight > _Mvx_Internal_NS_::kMaxSize)
        MVX_THROW(errInvalidParam, "Width and height must be in 1-65535.", where);
    if (!inPixels)
        MVX_THROW(errInvalidParam, "inPixels is null.", where);
    const uint32_t bytes = bytesPerPixel(inPhotometric);
    if (!rowStepHolds(inStride, uint64_t(inWidth) * bytes))
        MVX_THROW(errInvalidParam, "The row step is smaller than a row.", where);
    return AutoPtr<IW44Encoder>(
        new _Mvx_Internal_NS_::IW44EncoderImpl(inPixels, inStride, inPhotometric, inWidth, inHeight, *inParams));
}

} // namespace IW44
} // namespace DjVu
} // namespace Morvenix
