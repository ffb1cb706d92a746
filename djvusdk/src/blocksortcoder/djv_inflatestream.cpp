// The BZZ decompressing stream: decodes a block at a time and hands its bytes out.
#define MVX_SOURCE "djv_inflatestream"

#include "djv_bzz.h"

#include "djv_blockunsort.h"
#include "djv_bzzblockcoder.h"
#include "djv_zpcoder.h"

#include "mvx_exception.h"
#include "mvx_simplearray.h"
#include "mvx_syncobjs.h"

#include <cstring>

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;

class InflateStreamImpl : public InflateStream {
public:
    InflateStreamImpl(const AutoPtr<Stream>& inSource, uint32_t inByteLimit, uint32_t inZPBufferSize)
        : m_eof(false), m_broken(false), m_offset(0), m_available(0), m_coder(inSource, inByteLimit, inZPBufferSize)
    {
        std::memset(m_contexts, 0, sizeof m_contexts);
    }

    uint32_t readBytes(void* outBuffer, uint32_t inSize, bool inExact) override
    {
        uint8_t* out = static_cast<uint8_t*>(outBuffer);
        uint32_t delivered = 0;
        while (delivered < inSize) {
            if (!m_available) {
                if (m_eof)
                    break;
                decodeBlock();
                continue;
            }
            const uint32_t want = inSize - delivered;
            const uint32_t n = want < m_available ? want : m_available;
            if (out)
                std::memcpy(out + delivered, m_block.data() + m_offset, n);
            m_offset += n;
            m_available -= n;
            delivered += n;
        }
        if (inExact && delivered < inSize)
            MVX_THROW(errOperationFailed, "Could not read 'size' many bytes",
                      "_Mvx_Internal_NS_::InflateStreamImpl::readBytes");
        return delivered;
    }

    bool isEof() override { return m_eof; }

    void writeBytes(const void*, uint32_t) override
    {
        MVX_THROW(errNotImplemented, "errNotImplemented", "_Mvx_Internal_NS_::InflateStreamImpl::writeBytes");
    }

    void flushBuffer() override
    {
        MVX_THROW(errNotImplemented, "errNotImplemented", "_Mvx_Internal_NS_::InflateStreamImpl::flushBuffer");
    }

    void lock() override { m_mutex.lock(); }
    void unlock() override { m_mutex.unlock(); }

private:
    void decodeBlock()
    {
        // After a failure the coder stands somewhere inside a block: every later read fails the same way.
        if (m_broken)
            MVX_THROW(errOperationFailed, "Stream corrupt", "_Mvx_Internal_NS_::InflateStreamImpl::decode");
        m_broken = true;
        const uint32_t size = BzzBlock::decodeSize(m_coder);
        if (size == 0) {
            m_eof = true;
            m_broken = false;
            return;
        }
        // Checked before anything is allocated for it.
        if (size > BzzBlock::kMaxSize)
            MVX_THROW(errOperationFailed, "Stream corrupt", "_Mvx_Internal_NS_::InflateStreamImpl::decode");
        // Exactly the block's size: a 4 MB block's links alone take 16 MB of a 32-bit host's address space.
        if (m_block.count() < size) {
            m_block.resize(size, int32_t(size));
            m_links.resize(size, int32_t(size));
        }
        const uint32_t marker = BzzBlock::decodeSymbols(m_coder, m_contexts, m_block.data(), size);
        BzzBlock::unsort(m_block.data(), size, marker, m_links.data());
        m_offset = 0;
        m_available = size - 1;
        m_broken = false;
    }

    bool m_eof;
    bool m_broken;
    uint32_t m_offset;     // read position in the decoded block
    uint32_t m_available;  // decoded bytes not yet delivered
    SimpleArray<uint8_t, 2> m_block;
    SimpleArray<uint32_t, 2> m_links;
    ZPDecoder m_coder;
    uint8_t m_contexts[BzzBlock::kContextCount];
    Mutex m_mutex;
};

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {

AutoPtr<InflateStream> InflateStream::create(const AutoPtr<Stream>& inSource, uint32_t inByteLimit,
                                             uint32_t inZPBufferSize)
{
    return AutoPtr<InflateStream>(new _Mvx_Internal_NS_::InflateStreamImpl(inSource, inByteLimit, inZPBufferSize));
}

} // namespace DjVu
} // namespace Morvenix
