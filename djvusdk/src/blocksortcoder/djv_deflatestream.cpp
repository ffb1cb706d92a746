// The BZZ compressing stream: collects a block, sorts it and codes it through the ZP encoder.
#define MVX_SOURCE "djv_deflatestream"

#include "djv_bzz.h"

#include "djv_blocksort.h"
#include "djv_bzzblockcoder.h"
#include "djv_zpcoder.h"

#include "mvx_exception.h"
#include "mvx_simplearray.h"
#include "mvx_syncobjs.h"

#include <cstring>

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;

namespace {
const uint32_t kMinBlockKB = 10;
const uint32_t kMaxBlockKB = 4096;

uint32_t checkedBlockSize(uint32_t inBlockSizeKB)
{
    if (inBlockSizeKB > kMaxBlockKB)
        MVX_THROW(errInvalidParam, "Stream blocksize error", "_Mvx_Internal_NS_::DeflateStreamImpl::DeflateStreamImpl");
    return (inBlockSizeKB < kMinBlockKB ? kMinBlockKB : inBlockSizeKB) * 1024;
}
} // namespace

class DeflateStreamImpl : public DeflateStream {
public:
    DeflateStreamImpl(const AutoPtr<Stream>& inTarget, uint32_t inBlockSizeKB, uint32_t inZPBufferSize)
        : m_count(0), m_blockSize(checkedBlockSize(inBlockSizeKB)), m_coder(inTarget, inZPBufferSize),
          m_ended(false)
    {
        std::memset(m_contexts, 0, sizeof m_contexts);
    }

    ~DeflateStreamImpl() override
    {
        try {
            flushBuffer();
        } catch (const Exception&) {
            // Nothing to report to from here; owners that care call flushBuffer.
        }
    }

    uint32_t readBytes(void*, uint32_t, bool) override
    {
        MVX_THROW(errNotImplemented, "errNotImplemented", "_Mvx_Internal_NS_::DeflateStreamImpl::readBytes");
    }

    bool isEof() override
    {
        MVX_THROW(errNotImplemented, "errNotImplemented", "_Mvx_Internal_NS_::DeflateStreamImpl::isEof");
    }

    // A block holds at most block size - 1 bytes: the marker takes the last place.
    void writeBytes(const void* inBuffer, uint32_t inSize) override
    {
        if (!inSize)
            return;
        // Silently dropping data written after the end would lose it without a trace.
        if (m_ended)
            MVX_THROW(errOperationFailed, "Bytes written after flushBuffer ended the compressed stream",
                      "_Mvx_Internal_NS_::DeflateStreamImpl::writeBytes");
        if (!m_block.count())
            m_block.resize(m_blockSize);
        const uint8_t* in = static_cast<const uint8_t*>(inBuffer);
        while (inSize) {
            const uint32_t room = m_blockSize - 1 - m_count;
            const uint32_t n = inSize < room ? inSize : room;
            std::memcpy(m_block.data() + m_count, in, n);
            m_count += n;
            in += n;
            inSize -= n;
            if (m_count == m_blockSize - 1)
                codeBlock();
        }
    }

    void flushBuffer() override
    {
        if (m_ended)
            return;
        m_ended = true;
        if (m_count)
            codeBlock();
        BzzBlock::encodeEnd(m_coder);
        m_coder.flush();
    }

    void lock() override { m_mutex.lock(); }
    void unlock() override { m_mutex.unlock(); }

private:
    void codeBlock()
    {
        const uint32_t size = m_count + 1;
        uint32_t marker = size - 1;
        CompressStream::BlockSort(m_block.data(), size).run(marker);
        BzzBlock::encode(m_coder, m_contexts, m_block.data(), size, marker);
        m_count = 0;
    }

    uint32_t m_count;      // data bytes in the current block
    uint32_t m_blockSize;  // in bytes
    SimpleArray<uint8_t, 2> m_block;
    ZPEncoder m_coder;
    uint8_t m_contexts[BzzBlock::kContextCount];
    Mutex m_mutex;
    bool m_ended;
};

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {

AutoPtr<DeflateStream> DeflateStream::create(const AutoPtr<Stream>& inTarget, uint32_t inBlockSizeKB,
                                             uint32_t inZPBufferSize)
{
    return AutoPtr<DeflateStream>(new _Mvx_Internal_NS_::DeflateStreamImpl(inTarget, inBlockSizeKB, inZPBufferSize));
}

} // namespace DjVu
} // namespace Morvenix
