// The digest objects and the checksum streams, one template each over the algorithm's traits.
#include "mvx_checksum.h"

#include "mvx_string.h"
#include "mvx_unicode.h"

#include <cstring>

namespace Morvenix {

namespace {

// The digest of what has been hashed so far; the running state goes on unchanged.
template <class Traits>
void finishCopy(const typename Traits::State& inState, unsigned char* outDigest)
{
    typename Traits::State copy = inState;
    Traits::finish(copy, outDigest);
    secureZero(&copy, sizeof copy);
}

template <class Traits, class Interface>
class ChecksumImpl : public Interface {
public:
    ChecksumImpl() { Traits::init(m_state); }
    // The running state may be worth keeping from other users of the heap.
    ~ChecksumImpl() override
    {
        secureZero(&m_state, sizeof m_state);
        secureZero(m_digest, sizeof m_digest);
    }

    void reset() override { Traits::init(m_state); }
    void update(const String& inText) override
    {
        Traits::update(m_state, reinterpret_cast<const unsigned char*>(inText.begin()), inText.getLength());
    }
    void update(const void* inData, size_t inSize) override
    {
        Traits::update(m_state, static_cast<const unsigned char*>(inData), inSize);
    }
    uint32_t getDigestSize() override { return Traits::digestSize; }
    const unsigned char* getDigest() override
    {
        finishCopy<Traits>(m_state, m_digest);
        return m_digest;
    }

private:
    typename Traits::State m_state;
    unsigned char m_digest[Traits::digestSize];
};

template <class Traits, class Interface>
class ChecksumStreamImpl : public Interface {
public:
    explicit ChecksumStreamImpl(Stream& inStream) : m_stream(inStream), m_finalized(false)
    {
        Traits::init(m_state);
        std::memset(m_digest, 0, sizeof m_digest);
    }
    ~ChecksumStreamImpl() override
    {
        secureZero(&m_state, sizeof m_state);
        secureZero(m_digest, sizeof m_digest);
    }

    uint32_t readBytes(void* outBuffer, uint32_t inSize, bool inExact) override
    {
        const uint32_t n = m_stream.readBytes(outBuffer, inSize, inExact);
        Traits::update(m_state, static_cast<const unsigned char*>(outBuffer), n);
        return n;
    }
    void writeBytes(const void* inBuffer, uint32_t inSize) override
    {
        m_stream.writeBytes(inBuffer, inSize);
        Traits::update(m_state, static_cast<const unsigned char*>(inBuffer), inSize);
    }
    void flushBuffer() override { m_stream.flushBuffer(); }
    bool isEof() override { return m_stream.isEof(); }
    void lock() override { m_stream.lock(); }
    void unlock() override { m_stream.unlock(); }

    void writeDigest(Stream* inOutput) override
    {
        const unsigned char* digest = finalize();
        (inOutput ? *inOutput : m_stream).writeBytes(digest, Traits::digestSize);
    }
    // A stream that answers the exact read with fewer bytes than asked, instead of throwing, has no whole
    // trailer to give: what the rest of the buffer holds is not one.
    bool verify(Stream* inInput) override
    {
        unsigned char stored[Traits::digestSize] = {};
        const uint32_t n = (inInput ? *inInput : m_stream).readBytes(stored, Traits::digestSize, true);
        const unsigned char* digest = finalize();
        return n == Traits::digestSize && std::memcmp(stored, digest, Traits::digestSize) == 0;
    }
    void reset() override { Traits::init(m_state); }
    const unsigned char* finalize() override
    {
        if (!m_finalized) {
            finishCopy<Traits>(m_state, m_digest);
            m_finalized = true;
        }
        return m_digest;
    }
    uint32_t getDigestSize() override { return Traits::digestSize; }

private:
    Stream& m_stream;
    typename Traits::State m_state;
    unsigned char m_digest[Traits::digestSize];
    bool m_finalized;
};

} // namespace

AutoPtr<SHA1Checksum> SHA1Checksum::create() { return new ChecksumImpl<SHA1Traits, SHA1Checksum>(); }
AutoPtr<MD5Checksum> MD5Checksum::create() { return new ChecksumImpl<MD5Traits, MD5Checksum>(); }
AutoPtr<SHA256Checksum> SHA256Checksum::create() { return new ChecksumImpl<SHA256Traits, SHA256Checksum>(); }

AutoPtr<SHA1Stream> SHA1Stream::create(Stream& inStream)
{
    return new ChecksumStreamImpl<SHA1Traits, SHA1Stream>(inStream);
}
AutoPtr<MD5Stream> MD5Stream::create(Stream& inStream)
{
    return new ChecksumStreamImpl<MD5Traits, MD5Stream>(inStream);
}
AutoPtr<SHA256Stream> SHA256Stream::create(Stream& inStream)
{
    return new ChecksumStreamImpl<SHA256Traits, SHA256Stream>(inStream);
}

} // namespace Morvenix
