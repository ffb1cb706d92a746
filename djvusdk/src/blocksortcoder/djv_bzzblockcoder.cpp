// The rank coder of BZZ. Ranks come from a move-to-front list whose first four places are kept in order of
// an exponentially growing weight, so that a frequent symbol is not pushed back by one rare one.
#define MVX_SOURCE "djv_bzzblockcoder"

#include "djv_bzzblockcoder.h"

#include "mvx_exception.h"

namespace Morvenix {
namespace DjVu {
namespace BzzBlock {

namespace {

const int kMarkerRank = 256;
const int kClassCount = 7;      // rank classes 2^k .. 2^(k+1)-1 for k = 1..7
const int kFirstGate = 6;       // context of the first class's gate; each class uses 2^k contexts
const int kInitialRank = 3;

class MoveToFront {
public:
    explicit MoveToFront(int inShift) : m_shift(inShift), m_fadd(4)
    {
        for (int i = 0; i < 256; ++i) {
            m_mtf[i] = uint8_t(i);
            m_rank[i] = uint8_t(i);
        }
        m_freq[0] = m_freq[1] = m_freq[2] = m_freq[3] = 0;
    }

    int rankOf(uint8_t c) const { return m_rank[c]; }
    uint8_t symbolAt(int inRank) const { return m_mtf[inRank]; }

    void update(int inRank, uint8_t c)
    {
        m_fadd += m_fadd >> m_shift;
        if (m_fadd > 0x10000000) {
            m_fadd >>= 24;
            m_freq[0] >>= 24;
            m_freq[1] >>= 24;
            m_freq[2] >>= 24;
            m_freq[3] >>= 24;
        }
        uint32_t fc = m_fadd;
        if (inRank < 4)
            fc += m_freq[inRank];
        int k = inRank;
        for (; k >= 4; --k) {
            m_mtf[k] = m_mtf[k - 1];
            m_rank[m_mtf[k]] = uint8_t(k);
        }
        // Equal weight moves in front of the neighbour.
        for (; k > 0 && fc >= m_freq[k - 1]; --k) {
            m_mtf[k] = m_mtf[k - 1];
            m_freq[k] = m_freq[k - 1];
            m_rank[m_mtf[k]] = uint8_t(k);
        }
        m_mtf[k] = c;
        m_freq[k] = fc;
        m_rank[c] = uint8_t(k);
    }

private:
    int m_shift;
    uint32_t m_fadd;
    uint32_t m_freq[4];
    uint8_t m_mtf[256];
    uint8_t m_rank[256];
};

int shiftFor(uint32_t inSize)
{
    if (inSize < 100000)
        return 0;
    return inSize < 1000000 ? 1 : 2;
}

void encodeRank(ZPEncoder& zp, uint8_t* ctx, int rank, int previous)
{
    const int ctxid = previous < 2 ? previous : 2;
    if (rank == 0) {
        zp.encode(1, ctx[ctxid]);
        return;
    }
    zp.encode(0, ctx[ctxid]);
    if (rank == 1) {
        zp.encode(1, ctx[3 + ctxid]);
        return;
    }
    zp.encode(0, ctx[3 + ctxid]);
    int gate = kFirstGate;
    for (int k = 1; k <= kClassCount; ++k) {
        if (rank < (2 << k)) {
            zp.encode(1, ctx[gate]);
            const int value = rank - (1 << k);
            int node = 1;
            for (int bit = k - 1; bit >= 0; --bit) {
                const int b = (value >> bit) & 1;
                zp.encode(b, ctx[gate + node]);
                node = 2 * node + b;
            }
            return;
        }
        zp.encode(0, ctx[gate]);
        gate += 1 << k;
    }
}

int decodeRank(ZPDecoder& zp, uint8_t* ctx, int previous)
{
    const int ctxid = previous < 2 ? previous : 2;
    if (zp.decode(ctx[ctxid]))
        return 0;
    if (zp.decode(ctx[3 + ctxid]))
        return 1;
    int gate = kFirstGate;
    for (int k = 1; k <= kClassCount; ++k) {
        if (zp.decode(ctx[gate])) {
            int node = 1;
            for (int bit = 0; bit < k; ++bit)
                node = 2 * node + zp.decode(ctx[gate + node]);
            return node; // the leading 1 of the tree index is the class's 2^k
        }
        gate += 1 << k;
    }
    return kMarkerRank;
}

} // namespace

void encode(ZPEncoder& ioCoder, uint8_t* ioContexts, const uint8_t* inData, uint32_t inSize, uint32_t inMarkerPos)
{
    for (int bit = 23; bit >= 0; --bit)
        ioCoder.encodeRaw((inSize >> bit) & 1);
    const int shift = shiftFor(inSize);
    ioCoder.encodeRaw(shift > 0);
    if (shift > 0)
        ioCoder.encodeRaw(shift > 1);
    MoveToFront mtf(shift);
    int previous = kInitialRank;
    for (uint32_t i = 0; i < inSize; ++i) {
        const uint8_t c = inData[i];
        const int rank = i == inMarkerPos ? kMarkerRank : mtf.rankOf(c);
        encodeRank(ioCoder, ioContexts, rank, previous);
        previous = rank;
        if (rank != kMarkerRank)
            mtf.update(rank, c);
    }
}

void encodeEnd(ZPEncoder& ioCoder)
{
    for (int bit = 0; bit < 24; ++bit)
        ioCoder.encodeRaw(0);
}

uint32_t decodeSize(ZPDecoder& ioCoder)
{
    uint32_t size = 0;
    for (int bit = 0; bit < 24; ++bit)
        size = (size << 1) | uint32_t(ioCoder.decodeRaw());
    return size;
}

uint32_t decodeSymbols(ZPDecoder& ioCoder, uint8_t* ioContexts, uint8_t* outData, uint32_t inSize)
{
    int shift = 0;
    if (ioCoder.decodeRaw())
        shift = ioCoder.decodeRaw() ? 2 : 1;
    MoveToFront mtf(shift);
    int previous = kInitialRank;
    uint32_t markerPos = inSize;
    for (uint32_t i = 0; i < inSize; ++i) {
        const int rank = decodeRank(ioCoder, ioContexts, previous);
        previous = rank;
        if (rank == kMarkerRank) {
            if (markerPos != inSize)
                MVX_THROW(errOperationFailed, "Stream corrupt", "_Mvx_Internal_NS_::InflateStreamImpl::decode");
            outData[i] = 0;
            markerPos = i;
            continue;
        }
        const uint8_t c = mtf.symbolAt(rank);
        outData[i] = c;
        mtf.update(rank, c);
    }
    if (markerPos == inSize)
        MVX_THROW(errOperationFailed, "Stream corrupt", "_Mvx_Internal_NS_::InflateStreamImpl::decode");
    return markerPos;
}

} // namespace BzzBlock
} // namespace DjVu
} // namespace Morvenix
