// The two copy operations that every stream shares, and the partial stream.
#include "mvx_stream.h"

#include "mvx_partialstream.h"

#include "mvx_exception.h"
#include "mvx_simplearray.h"

#define MVX_SOURCE "mvx_stream"

namespace Morvenix {

namespace {

// Wiped: the buffer may carry the data of a cipher or checksum stream.
void makeBuffer(SimpleArray<unsigned char, 2>& outBuffer, uint32_t inBlockSize, const char* inFunction)
{
    // A block size of 0 would read nothing, forever.
    if (inBlockSize == 0)
        MVX_THROW(errInvalidParam, "errInvalidParam", inFunction);
    outBuffer.setWipe(true);
    // Blocks of 2 GB or more are refused by the array.
    outBuffer.resize(inBlockSize, inBlockSize <= 0x7FFFFFFFu ? int32_t(inBlockSize) : -1);
}

} // namespace

void readExactly(Stream& inStream, void* outBuffer, uint32_t inSize, const char* inFunction)
{
    if (inStream.readBytes(outBuffer, inSize, true) != inSize)
        MVX_THROW(errEOF, "errEOF", inFunction);
}

// A read of 0 bytes ends the copy as well as the end flag does: a stream that returns nothing while it
// claims more would otherwise keep the loop spinning.
uint32_t Stream::copyAll(Stream& inSource, uint32_t inBlockSize, ProgressCallback inCallback, void* inContext)
{
    SimpleArray<unsigned char, 2> buffer(0, 0, nullptr, 128);
    makeBuffer(buffer, inBlockSize, "Morvenix::Stream::copyAll");
    uint32_t total = 0;
    if (inCallback)
        inCallback(inContext, 0, 0);
    while (!inSource.isEof()) {
        uint32_t n = inSource.readBytes(buffer.data(), inBlockSize, false);
        if (n == 0)
            break;
        writeBytes(buffer.data(), n);
        total += n;
        if (inCallback)
            inCallback(inContext, total, 0);
    }
    return total;
}

uint32_t Stream::copyBytes(Stream& inSource, uint32_t inLimit, uint32_t inBlockSize, ProgressCallback inCallback,
                           void* inContext)
{
    if (inLimit == 0)
        return copyAll(inSource, inBlockSize, inCallback, inContext);
    SimpleArray<unsigned char, 2> buffer(0, 0, nullptr, 128);
    makeBuffer(buffer, inBlockSize, "Morvenix::Stream::copyBytes");
    uint32_t total = 0, remaining = inLimit;
    if (inCallback)
        inCallback(inContext, 0, inLimit);
    if (inSource.isEof())
        return 0;
    while (remaining != 0) {
        uint32_t n = inSource.readBytes(buffer.data(), remaining < inBlockSize ? remaining : inBlockSize, false);
        if (n == 0)
            break;
        writeBytes(buffer.data(), n);
        total += n;
        remaining -= n;
        if (inCallback)
            inCallback(inContext, total, inLimit);
        if (inSource.isEof())
            break;
    }
    return total;
}

// Counts in 64 bits: a length near 2^64 cannot make passed + n wrap.
class PartialStreamImpl : public PartialStream {
public:
    PartialStreamImpl(const AutoPtr<Stream>& inInner, uint64_t inLength)
        : m_inner(inInner), m_length(inLength), m_passed(0)
    {
    }

    uint32_t readBytes(void* outBuffer, uint32_t inSize, bool inExact) override
    {
        const uint64_t left = m_passed < m_length ? m_length - m_passed : 0;
        if (inSize > left) {
            if (inExact)
                MVX_THROW(errReadFailed, "Cannot read so many bytes!", "Morvenix::PartialStream::readBytes");
            inSize = uint32_t(left);
        }
        const uint32_t n = m_inner->readBytes(outBuffer, inSize, inExact);
        m_passed += n;
        return n;
    }

    void writeBytes(const void* inBuffer, uint32_t inSize) override
    {
        const uint64_t left = m_passed < m_length ? m_length - m_passed : 0;
        if (inSize > left)
            MVX_THROW(errReadFailed, "Cannot write so many bytes!", "Morvenix::PartialStream::writeBytes");
        m_inner->writeBytes(inBuffer, inSize);
        m_passed += inSize;
    }

    void flushBuffer() override { m_inner->flushBuffer(); }
    bool isEof() override { return m_passed >= m_length || m_inner->isEof(); }
    void lock() override { m_inner->lock(); }
    void unlock() override { m_inner->unlock(); }

private:
    AutoPtr<Stream> m_inner;
    uint64_t m_length;
    uint64_t m_passed;
};

AutoPtr<PartialStream> PartialStream::create(const AutoPtr<Stream>& inInner, uint64_t inLength)
{
    return new PartialStreamImpl(inInner, inLength);
}

} // namespace Morvenix
