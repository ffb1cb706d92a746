// Cipher streams: 8-bit cipher feedback behind an 8-byte header (plaintext length, seed). The register
// starts as the first bytes of the MD5 of the seed; both directions only ever encrypt it.
#define MVX_SOURCE "mvx_cipherstream"

#include "mvx_cipherstream.h"

#include "mvx_checksum.h"
#include "mvx_exception.h"
#include "mvx_simplearray.h"

#include <cstring>

namespace Morvenix {

namespace {

void putBigEndian(unsigned char* out, uint32_t inValue)
{
    for (int i = 0; i < 4; ++i)
        out[i] = uint8_t(inValue >> (24 - 8 * i));
}

uint32_t getBigEndian(const unsigned char* in)
{
    return uint32_t(in[0]) << 24 | uint32_t(in[1]) << 16 | uint32_t(in[2]) << 8 | in[3];
}

} // namespace

class CipherStreamImpl : public CipherStream {
public:
    // Write mode: the header goes out at once, with a length of 0 until the stream is destroyed.
    CipherStreamImpl(const AutoPtr<Storage>& inStorage, const AutoPtr<BlockCipher>& inCipher, uint32_t inSeed)
        : m_cipher(inCipher), m_stream(inStorage), m_storage(inStorage), m_writeMode(true),
          m_headerPos(inStorage->getPos()), m_dataLength(0), m_byteCount(0), m_dataEnded(false)
    {
        unsigned char header[8];
        putBigEndian(header, 0);
        putBigEndian(header + 4, inSeed);
        m_stream->writeBytes(header, 8);
        makeRegister(inSeed);
    }

    // Read mode.
    CipherStreamImpl(const AutoPtr<Stream>& inStream, const AutoPtr<BlockCipher>& inCipher)
        : m_cipher(inCipher), m_stream(inStream), m_writeMode(false), m_headerPos(0), m_dataLength(0),
          m_byteCount(0), m_dataEnded(false)
    {
        unsigned char header[8];
        readHeaderPart(header);
        readHeaderPart(header + 4);
        m_dataLength = getBigEndian(header);
        makeRegister(getBigEndian(header + 4));
    }

    // The length goes into the header now. A destructor cannot report a failure, so a storage that
    // refuses the seek or the write leaves the header's 0 in place.
    ~CipherStreamImpl() override
    {
        if (!m_writeMode)
            return;
        try {
            const uint64_t pos = m_storage->getPos();
            unsigned char length[4];
            putBigEndian(length, m_byteCount);
            m_storage->setPos(m_headerPos);
            m_storage->writeBytes(length, 4);
            m_storage->setPos(pos);
        } catch (...) {
        }
    }

    // Reads end at the length the header states, so bytes that follow the data are never taken for it.
    uint32_t readBytes(void* outBuffer, uint32_t inSize, bool inExact) override
    {
        if (m_writeMode)
            MVX_THROW(errReadFailed, "This CipherStream is for write!", "Morvenix::CipherStreamImpl::readBytes");
        if (inSize == 0)
            return 0;
        const uint32_t remaining = m_byteCount < m_dataLength ? m_dataLength - m_byteCount : 0;
        if (inSize > remaining) {
            if (inExact)
                MVX_THROW(errEOF, "errEOF", "Morvenix::CipherStreamImpl::readBytes");
            inSize = remaining;
            if (inSize == 0)
                return 0;
        }
        const uint32_t n = m_stream->readBytes(outBuffer, inSize, inExact);
        if (n == 0)
            m_dataEnded = true;
        unsigned char* bytes = static_cast<unsigned char*>(outBuffer);
        for (uint32_t i = 0; i < n; ++i)
            bytes[i] = step(bytes[i], false);
        m_byteCount += n;
        return n;
    }

    void writeBytes(const void* inBuffer, uint32_t inSize) override
    {
        if (!m_writeMode)
            MVX_THROW(errReadFailed, "This CipherStream is not for write!", "Morvenix::CipherStreamImpl::writeBytes");
        if (inSize == 0)
            return;
        SimpleArray<unsigned char, 2> out(0, 0, nullptr, 128);
        out.setWipe(true);
        out.resize(inSize, inSize <= 0x7FFFFFFFu ? int32_t(inSize) : -1);
        const unsigned char* in = static_cast<const unsigned char*>(inBuffer);
        for (uint32_t i = 0; i < inSize; ++i)
            out[i] = step(in[i], true);
        m_stream->writeBytes(out.data(), inSize);
        m_byteCount += inSize;
    }

    void flushBuffer() override {}

    // A truncated stream ends where its data ends, before the stated length: when the underlying stream
    // says so, or when it had nothing more to give.
    bool isEof() override { return m_byteCount >= m_dataLength || m_dataEnded || m_stream->isEof(); }

    void lock() override { m_stream->lock(); }
    void unlock() override { m_stream->unlock(); }

private:
    // An underlying stream that answers an exact read short instead of throwing has no header to give.
    void readHeaderPart(unsigned char* outBytes)
    {
        if (m_stream->readBytes(outBytes, 4, true) != 4)
            MVX_THROW(errReadFailed, "The cipher stream header is cut short!",
                      "Morvenix::CipherStreamImpl::CipherStreamImpl");
    }

    void makeRegister(uint32_t inSeed)
    {
        const uint32_t iv = m_cipher->getIVSize();
        const uint32_t block = m_cipher->getBlockSize();
        m_feedback.setWipe(true);
        m_feedback.resize(iv + (block > iv ? block : iv), -1);
        unsigned char seed[4];
        putBigEndian(seed, inSeed);
        AutoPtr<MD5Checksum> md5 = MD5Checksum::create();
        md5->update(seed, 4);
        std::memcpy(m_feedback.data(), md5->getDigest(), iv < MD5Traits::digestSize ? iv : MD5Traits::digestSize);
    }

    // One byte through the feedback register; the ciphertext byte enters the register either way.
    unsigned char step(unsigned char inByte, bool inEncrypt)
    {
        const uint32_t iv = m_cipher->getIVSize();
        unsigned char* reg = m_feedback.data();
        m_cipher->encrypt(reg + iv, reg);
        const unsigned char out = reg[iv] ^ inByte;
        std::memmove(reg, reg + 1, iv - 1);
        reg[iv - 1] = inEncrypt ? out : inByte;
        return out;
    }

    AutoPtr<BlockCipher> m_cipher;
    AutoPtr<Stream> m_stream;
    AutoPtr<Storage> m_storage; // the same object as m_stream in write mode, null in read mode
    bool m_writeMode;
    uint64_t m_headerPos;
    uint32_t m_dataLength;
    uint32_t m_byteCount;
    bool m_dataEnded;
    SimpleArray<unsigned char, 2> m_feedback;
};

AutoPtr<CipherStream> CipherStream::create(const AutoPtr<Storage>& inStorage, const AutoPtr<BlockCipher>& inCipher,
                                           uint32_t inSeed)
{
    return new CipherStreamImpl(inStorage, inCipher, inSeed);
}

AutoPtr<CipherStream> CipherStream::create(const AutoPtr<Stream>& inStream, const AutoPtr<BlockCipher>& inCipher)
{
    return new CipherStreamImpl(inStream, inCipher);
}

} // namespace Morvenix
