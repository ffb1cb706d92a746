// ZP decoder: the mirror of the encoder's interval arithmetic over a bit register fed a byte at a time
// from a small input buffer. The fence turns the common MPS case into a single comparison.
#define MVX_SOURCE "djv_zpdecoder"

#include "djv_zpcoder.h"
#include "djv_zptable.h"

#include "mvx_exception.h"

namespace Morvenix {
namespace DjVu {

namespace {
const uint32_t kMissingBytesAllowed = 25; // 0xFF bytes supplied past the end before giving up
const uint32_t kDefaultBufferSize = 16;

inline uint32_t low16(uint32_t x) { return x & 0xFFFF; }
} // namespace

ZPDecoder::ZPDecoder(const AutoPtr<Stream>& inStream, uint32_t inByteLimit, uint32_t inBufferSize)
    : m_code(0), m_fence(0), m_inCount(0), m_bitCount(0), m_delay(kMissingBytesAllowed), m_a(0), m_register(0),
      m_stream(inStream), m_inPos(0), m_remaining(inByteLimit ? uint64_t(inByteLimit) : UINT64_MAX), m_bytesRead(0)
{
    if (!inStream)
        MVX_THROW(errOperationFailed, "no stream", "Morvenix::DjVu::ZPDecoder::ZPDecoder");
    ZPTable::fill(m_p, m_m, m_up, m_dn);
    for (int i = 0; i < 256; ++i) {
        uint8_t n = 0;
        for (int bit = 0x80; bit && (i & bit); bit >>= 1)
            ++n;
        m_leadingOnes[i] = n;
    }
    m_in.resize(inBufferSize ? inBufferSize : kDefaultBufferSize);
    // The two bytes that a stream shorter than that lacks are not counted as missing: a one-byte stream
    // is a valid code stream.
    uint8_t first = 0xFF, second = 0xFF;
    if (read(first))
        read(second);
    m_code = (uint32_t(first) << 8) | second;
    preload();
    m_fence = m_code < 0x7FFF ? m_code : 0x7FFF;
}

ZPDecoder::~ZPDecoder() {}

int ZPDecoder::decodeSlow(uint8_t& ioContext, uint32_t z)
{
    const uint32_t limit = 0x6000 + ((m_a + z) >> 2);
    if (z > limit)
        z = limit;
    int bit;
    if (z > m_code) {
        bit = 1 - (ioContext & 1);
        ioContext = m_dn[ioContext];
        shiftLps(z);
    } else {
        bit = ioContext & 1;
        if (m_a >= m_m[ioContext])
            ioContext = m_up[ioContext];
        shiftMps(z);
    }
    finishStep();
    return bit;
}

int ZPDecoder::decodeSplit(uint32_t z)
{
    int bit;
    if (z > m_code) {
        bit = 1;
        shiftLps(z);
    } else {
        bit = 0;
        shiftMps(z);
    }
    finishStep();
    return bit;
}

int ZPDecoder::decodeRaw() { return decodeSplit(0x8000 + (m_a >> 1)); }

int ZPDecoder::decodeRawIW() { return decodeSplit(0x8000 + ((m_a * 3) >> 3)); }

// z > a always, so a + w stays below 0x10000 and at or above 0x8000: the shift is 1 to 16.
void ZPDecoder::shiftLps(uint32_t z)
{
    const uint32_t w = 0x10000 - z;
    m_a += w;
    m_code += w;
    const int shift = m_a >= 0xFF00 ? m_leadingOnes[m_a & 0xFF] + 8 : m_leadingOnes[(m_a >> 8) & 0xFF];
    m_bitCount -= shift;
    m_a = low16(m_a << shift);
    m_code = low16(m_code << shift) | ((m_register >> m_bitCount) & ((1u << shift) - 1));
}

void ZPDecoder::shiftMps(uint32_t z)
{
    m_bitCount -= 1;
    m_a = low16(z << 1);
    m_code = low16(m_code << 1) | ((m_register >> m_bitCount) & 1);
}

void ZPDecoder::finishStep()
{
    if (m_bitCount < 16)
        preload();
    m_fence = m_code < 0x7FFF ? m_code : 0x7FFF;
}

bool ZPDecoder::read(uint8_t& outByte)
{
    if (m_inPos == m_inCount) {
        if (m_remaining == 0)
            return false;
        const uint32_t want = m_remaining < m_in.count() ? uint32_t(m_remaining) : m_in.count();
        const uint32_t got = m_stream->readBytes(m_in.data(), want, false);
        if (got == 0) {
            if (m_stream->isEof())
                return false;
            MVX_THROW(errReadFailed, "ZPCoder: read error.", "Morvenix::DjVu::ZPDecoder::read");
        }
        m_remaining -= got;
        m_bytesRead += got;
        m_inCount = got;
        m_inPos = 0;
    }
    outByte = m_in[m_inPos++];
    return true;
}

void ZPDecoder::preload()
{
    while (m_bitCount <= 24) {
        uint8_t byte;
        if (!read(byte)) {
            // Once exhausted it stays exhausted, however often an owner retries.
            if (m_delay == 0 || --m_delay == 0)
                MVX_THROW(errOperationFailed, "preload failed.", "Morvenix::DjVu::ZPDecoder::preload");
            byte = 0xFF;
        }
        m_register = (m_register << 8) | byte;
        m_bitCount += 8;
    }
}

} // namespace DjVu
} // namespace Morvenix
