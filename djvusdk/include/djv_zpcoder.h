// The ZP adaptive binary arithmetic coder of the DjVu format. Contexts are single bytes owned by the
// caller, starting at 0. Both coders are plain classes embedded by value in the codecs that use them.
#pragma once

#include "mvx_referable.h"
#include "mvx_simplearray.h"
#include "mvx_stream.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {

class ZPEncoder {
public:
    // inBufferSize 0 means 16. The coder keeps a reference to the stream for its whole life.
    ZPEncoder(const AutoPtr<Stream>& inStream, uint32_t inBufferSize);
    // Flushes (a failure of the final write is lost here: call flush to see it).
    ~ZPEncoder();

    void encode(int inBit, uint8_t& ioContext)
    {
        const uint32_t z = m_a + m_p[ioContext];
        if (inBit != (ioContext & 1))
            encodeLps(ioContext, z);
        else if (z < 0x8000)
            m_a = z;
        else
            encodeMps(ioContext, z);
    }
    // Fixed split 0x8000 + a/2.
    void encodeRaw(int inBit);
    // Fixed split 0x8000 + 3a/8, the wavelet coder's.
    void encodeRawIW(int inBit);
    // Ends the code stream and writes every pending byte; anything coded afterwards is dropped.
    void flush();

    ZPEncoder(const ZPEncoder&) = delete;
    ZPEncoder& operator=(const ZPEncoder&) = delete;

private:
    void encodeMps(uint8_t& ioContext, uint32_t z);
    void encodeLps(uint8_t& ioContext, uint32_t z);
    void encodeSplit(int inBit, uint32_t z);
    void renormalizeAfterLps();
    void emit(uint32_t inBit);
    void outputBit(uint32_t inBit);
    void outputRun(uint32_t inFirstBit);
    void outputByte(uint8_t inByte);
    void writeBuffer();

    uint32_t m_runCount;
    uint32_t m_byte;
    uint32_t m_bitCount;
    uint32_t m_delay;
    uint32_t m_subend;
    uint32_t m_a;
    uint32_t m_buffer;
    uint32_t m_p[256];
    uint32_t m_m[256];
    uint8_t m_up[256];
    uint8_t m_dn[256];
    AutoPtr<Stream> m_stream;
    SimpleArray<uint8_t, 2> m_out;
    uint32_t m_outFill;
};

class ZPDecoder {
public:
    // inByteLimit bounds how much of the stream the decoder reads (0: no bound); inBufferSize 0 means 16.
    ZPDecoder(const AutoPtr<Stream>& inStream, uint32_t inByteLimit, uint32_t inBufferSize);
    ~ZPDecoder();

    int decode(uint8_t& ioContext)
    {
        const uint32_t z = m_a + m_p[ioContext];
        if (z <= m_fence) {
            m_a = z;
            return ioContext & 1;
        }
        return decodeSlow(ioContext, z);
    }
    int decodeRaw();
    int decodeRawIW();
    // Bytes taken from the stream so far (read ahead by up to the buffer's size).
    uint64_t bytesRead() const { return m_bytesRead; }

    ZPDecoder(const ZPDecoder&) = delete;
    ZPDecoder& operator=(const ZPDecoder&) = delete;

private:
    int decodeSlow(uint8_t& ioContext, uint32_t z);
    int decodeSplit(uint32_t z);
    void shiftLps(uint32_t z);
    void shiftMps(uint32_t z);
    void finishStep();
    // Next input byte into outByte; false when the input has ended.
    bool read(uint8_t& outByte);
    void preload();

    uint32_t m_code;
    uint32_t m_fence;
    uint8_t m_leadingOnes[256];
    uint32_t m_inCount; // bytes in the input buffer
    int32_t m_bitCount;
    uint32_t m_delay;
    uint32_t m_a;
    uint32_t m_register;
    uint32_t m_p[256];
    uint32_t m_m[256];
    uint8_t m_up[256];
    uint8_t m_dn[256];
    AutoPtr<Stream> m_stream;
    SimpleArray<uint8_t, 2> m_in;
    uint32_t m_inPos;
    uint64_t m_remaining;
    uint64_t m_bytesRead;
};

} // namespace DjVu
} // namespace Morvenix
