// ZP encoder: interval arithmetic with a 24-bit carry register, deferred runs of carry-dependent bits,
// and a small output buffer so that the target stream is called once per buffer.
#define MVX_SOURCE "djv_zpencoder"

#include "djv_zpcoder.h"
#include "djv_zptable.h"

#include "mvx_exception.h"

namespace Morvenix {
namespace DjVu {

namespace {
const uint32_t kDelay = 25;           // the first 25 code bits carry no information and are not written
const uint32_t kSuppressed = 255;     // delay value that drops every bit: the stream has been flushed
const uint32_t kDefaultBufferSize = 16;

inline uint32_t low16(uint32_t x) { return x & 0xFFFF; }
} // namespace

ZPEncoder::ZPEncoder(const AutoPtr<Stream>& inStream, uint32_t inBufferSize)
    : m_runCount(0), m_byte(0), m_bitCount(0), m_delay(kDelay), m_subend(0), m_a(0), m_buffer(0xFFFFFF),
      m_stream(inStream), m_outFill(0)
{
    if (!inStream)
        MVX_THROW(errOperationFailed, "no stream", "Morvenix::DjVu::ZPEncoder::ZPEncoder");
    ZPTable::fill(m_p, m_m, m_up, m_dn);
    m_out.resize(inBufferSize ? inBufferSize : kDefaultBufferSize);
}

ZPEncoder::~ZPEncoder()
{
    try {
        flush();
    } catch (const Exception&) {
        // A destructor cannot report it; owners that care call flush themselves.
    }
}

void ZPEncoder::encodeMps(uint8_t& ioContext, uint32_t z)
{
    const uint32_t limit = 0x6000 + ((m_a + z) >> 2);
    if (z > limit)
        z = limit;
    if (m_a >= m_m[ioContext])
        ioContext = m_up[ioContext];
    emit(1 - (m_subend >> 15));
    m_subend = low16(m_subend << 1);
    m_a = low16(z << 1);
}

void ZPEncoder::encodeLps(uint8_t& ioContext, uint32_t z)
{
    const uint32_t limit = 0x6000 + ((m_a + z) >> 2);
    if (z > limit)
        z = limit;
    ioContext = m_dn[ioContext];
    const uint32_t w = 0x10000 - z;
    m_subend += w;
    m_a += w;
    renormalizeAfterLps();
}

void ZPEncoder::renormalizeAfterLps()
{
    while (m_a >= 0x8000) {
        emit(1 - (m_subend >> 15));
        m_subend = low16(m_subend << 1);
        m_a = low16(m_a << 1);
    }
}

void ZPEncoder::encodeSplit(int inBit, uint32_t z)
{
    if (!inBit) {
        emit(1 - (m_subend >> 15));
        m_subend = low16(m_subend << 1);
        m_a = low16(z << 1);
        return;
    }
    const uint32_t w = 0x10000 - z;
    m_subend += w;
    m_a += w;
    renormalizeAfterLps();
}

void ZPEncoder::encodeRaw(int inBit) { encodeSplit(inBit, 0x8000 + (m_a >> 1)); }

void ZPEncoder::encodeRawIW(int inBit) { encodeSplit(inBit, 0x8000 + ((m_a * 3) >> 3)); }

// inBit is 1, 0, -1 or -2 in two's complement: the carry into the register may be negative.
void ZPEncoder::emit(uint32_t inBit)
{
    m_buffer = (m_buffer << 1) + inBit;
    const uint32_t top = (m_buffer >> 24) & 0xFF;
    m_buffer &= 0xFFFFFF;
    if (top == 0)
        ++m_runCount;
    else if (top == 1)
        outputRun(1);
    else
        outputRun(0);
}

void ZPEncoder::outputBit(uint32_t inBit)
{
    if (m_delay) {
        if (m_delay < kSuppressed)
            --m_delay;
        return;
    }
    m_byte = (m_byte << 1) | inBit;
    if (++m_bitCount == 8) {
        outputByte(uint8_t(m_byte));
        m_byte = 0;
        m_bitCount = 0;
    }
}

// inFirstBit followed by the deferred run of its opposite, whole bytes at a time where possible.
void ZPEncoder::outputRun(uint32_t inFirstBit)
{
    outputBit(inFirstBit);
    uint32_t run = m_runCount;
    m_runCount = 0;
    const uint32_t bit = inFirstBit ^ 1;
    if (m_delay) {
        if (m_delay == kSuppressed)
            return;
        const uint32_t dropped = run < m_delay ? run : m_delay;
        m_delay -= dropped;
        run -= dropped;
    }
    while (run && m_bitCount) {
        outputBit(bit);
        --run;
    }
    if (!run)
        return;
    for (; run >= 8; run -= 8)
        outputByte(bit ? 0xFF : 0x00);
    m_byte = bit ? (1u << run) - 1 : 0;
    m_bitCount = run;
}

void ZPEncoder::outputByte(uint8_t inByte)
{
    if (m_outFill == m_out.count())
        writeBuffer();
    m_out[m_outFill++] = inByte;
}

void ZPEncoder::writeBuffer()
{
    if (m_outFill) {
        const uint32_t n = m_outFill;
        m_outFill = 0;
        m_stream->writeBytes(m_out.data(), n);
    }
}

void ZPEncoder::flush()
{
    if (m_subend > 0x8000)
        emit(uint32_t(-1));
    else if (m_subend > 0)
        emit(0);
    m_subend = 0;
    while (m_buffer != 0xFFFFFF)
        emit(1);
    outputRun(1);
    while (m_bitCount)
        outputBit(1);
    m_delay = kSuppressed;
    writeBuffer();
}

} // namespace DjVu
} // namespace Morvenix
