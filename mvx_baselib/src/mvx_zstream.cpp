// zlib streams. zlib takes its memory from the library's default allocator.
#define MVX_SOURCE "mvx_zstream"

#include "mvx_zstream.h"

#include "mvx_allocator.h"
#include "mvx_exception.h"
#include "mvx_string.h"
#include "mvx_unicode.h"

#include <zlib.h>

#include <cstring>

namespace Morvenix {

namespace {

const uint32_t kBufferSize = 1024;

voidpf allocateForZlib(voidpf inOpaque, uInt inItems, uInt inSize)
{
    const uint64_t bytes = uint64_t(inItems) * inSize;
    if (bytes > 0xFFFFFFFFull)
        return Z_NULL;
    return static_cast<MemoryAllocator*>(inOpaque)->allocate(uint32_t(bytes));
}

void freeForZlib(voidpf inOpaque, voidpf inBlock) { static_cast<MemoryAllocator*>(inOpaque)->free(inBlock); }

void prepare(z_stream& outStream)
{
    std::memset(&outStream, 0, sizeof outStream);
    outStream.zalloc = allocateForZlib;
    outStream.zfree = freeForZlib;
    outStream.opaque = MemoryAllocator::getDefault();
}

[[noreturn]] void throwZlibError(const z_stream& inStream, int inResult, const char* inFunction)
{
    MVX_THROW(errOperationFailed, String::format("zlib(%d): %s\n", inResult, inStream.msg ? inStream.msg : "error"),
              inFunction);
}

} // namespace

class DeflateStreamImpl : public DeflateStream {
public:
    explicit DeflateStreamImpl(const AutoPtr<Stream>& inTarget) : m_target(inTarget)
    {
        prepare(m_zstream);
        const int result = deflateInit(&m_zstream, Z_DEFAULT_COMPRESSION);
        if (result != Z_OK)
            throwZlibError(m_zstream, result, "Morvenix::DeflateStreamImpl::DeflateStreamImpl");
    }

    // Pending data goes to the target first. A destructor cannot report a failure to write it: such a
    // failure ends here, and a writer that must know flushes before letting the stream go.
    ~DeflateStreamImpl() override
    {
        try {
            flushBuffer();
        } catch (...) {
        }
        deflateEnd(&m_zstream);
        secureZero(&m_zstream, sizeof m_zstream);
        secureZero(m_buffer, sizeof m_buffer);
    }

    uint32_t readBytes(void*, uint32_t, bool) override
    {
        MVX_THROW(errNotImplemented, "errNotImplemented", "Morvenix::DeflateStreamImpl::readBytes");
    }

    // The caller's buffer is zlib's input only during the call: however the call ends (a zlib error, or
    // the target refusing the output), zlib lets go of it, so that no later flush reads freed memory. The
    // input not taken by then is lost with the failed call.
    void writeBytes(const void* inBuffer, uint32_t inSize) override
    {
        if (inSize == 0)
            return;
        struct InputRelease {
            z_stream& zstream;
            ~InputRelease()
            {
                zstream.next_in = Z_NULL;
                zstream.avail_in = 0;
            }
        } release{m_zstream};
        m_zstream.next_in = static_cast<Bytef*>(const_cast<void*>(inBuffer));
        m_zstream.avail_in = inSize;
        do {
            m_zstream.next_out = m_buffer;
            m_zstream.avail_out = kBufferSize;
            const int result = deflate(&m_zstream, Z_NO_FLUSH);
            if (result != Z_OK)
                throwZlibError(m_zstream, result, "Morvenix::DeflateStreamImpl::writeBytes");
            passOn();
        } while (m_zstream.avail_in != 0);
    }

    // Ends with a sync-flush marker. zlib answers Z_BUF_ERROR when a flush finds nothing to do (a
    // second flush with no data written in between): that is success, not a failure.
    void flushBuffer() override
    {
        do {
            m_zstream.next_out = m_buffer;
            m_zstream.avail_out = kBufferSize;
            const int result = deflate(&m_zstream, Z_SYNC_FLUSH);
            if (result == Z_BUF_ERROR)
                return;
            if (result != Z_OK)
                throwZlibError(m_zstream, result, "Morvenix::DeflateStreamImpl::flushBuffer");
            passOn();
        } while (m_zstream.avail_out == 0);
    }

    bool isEof() override { return false; }
    String getName() override
    {
        return String::format("zlib deflate stream (%llxh)", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)));
    }
    void lock() override { m_target->lock(); }
    void unlock() override { m_target->unlock(); }

private:
    void passOn()
    {
        const uint32_t produced = kBufferSize - m_zstream.avail_out;
        if (produced)
            m_target->writeBytes(m_buffer, produced);
    }

    AutoPtr<Stream> m_target;
    z_stream m_zstream;
    unsigned char m_buffer[kBufferSize];
};

class InflateStreamImpl : public InflateStream {
public:
    explicit InflateStreamImpl(const AutoPtr<Stream>& inSource) : m_source(inSource), m_ended(false)
    {
        prepare(m_zstream);
        const int result = inflateInit(&m_zstream);
        if (result != Z_OK)
            throwZlibError(m_zstream, result, "Morvenix::InflateStreamImpl::InflateStreamImpl");
    }

    ~InflateStreamImpl() override
    {
        inflateEnd(&m_zstream);
        secureZero(&m_zstream, sizeof m_zstream);
        secureZero(m_buffer, sizeof m_buffer);
    }

    uint32_t readBytes(void* outBuffer, uint32_t inSize, bool inExact) override
    {
        m_zstream.next_out = static_cast<Bytef*>(outBuffer);
        m_zstream.avail_out = inSize;
        uint32_t produced = 0;
        if (!m_ended) {
            for (;;) {
                if (produced == inSize) {
                    m_zstream.next_out = Z_NULL;
                    return produced;
                }
                if (m_zstream.avail_in == 0) {
                    m_zstream.next_in = m_buffer;
                    m_zstream.avail_in = m_source->readBytes(m_buffer, kBufferSize, false);
                }
                const int result = inflate(&m_zstream, Z_NO_FLUSH);
                produced = inSize - m_zstream.avail_out;
                if (result == Z_STREAM_END)
                    break;
                if (result != Z_OK) {
                    m_zstream.next_out = Z_NULL;
                    throwZlibError(m_zstream, result, "Morvenix::InflateStreamImpl::readBytes");
                }
            }
        }
        m_zstream.next_out = Z_NULL;
        m_ended = true;
        if (produced < inSize && inExact)
            MVX_THROW(errEOF, "errEOF", "Morvenix::InflateStreamImpl::readBytes");
        return produced;
    }

    void writeBytes(const void*, uint32_t) override
    {
        MVX_THROW(errNotImplemented, "errNotImplemented", "Morvenix::InflateStreamImpl::writeBytes");
    }

    void flushBuffer() override
    {
        MVX_THROW(errNotImplemented, "errNotImplemented", "Morvenix::InflateStreamImpl::flushBuffer");
    }

    bool isEof() override { return m_ended; }
    String getName() override
    {
        return String::format("zlib inflate stream (%llxh)", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)));
    }
    void lock() override { m_source->lock(); }
    void unlock() override { m_source->unlock(); }

private:
    AutoPtr<Stream> m_source;
    unsigned char m_buffer[kBufferSize];
    z_stream m_zstream;
    bool m_ended;
};

AutoPtr<DeflateStream> DeflateStream::create(const AutoPtr<Stream>& inTarget)
{
    return new DeflateStreamImpl(inTarget);
}

AutoPtr<InflateStream> InflateStream::create(const AutoPtr<Stream>& inSource)
{
    return new InflateStreamImpl(inSource);
}

} // namespace Morvenix
