// The memory JB2 decoding takes is bounded by the data: a crafted page stream of about 10 KB that asks
// for gigabytes is refused early. The program's own allocation functions and the library's arrays count
// every byte held, so the peak is measured the same way on any host.
#include "djv_jb2page.h"
#include "jb2_record_writer.h"
#include "mvx_allocator.h"
#include "test_support.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

std::atomic<uint64_t> g_held{0};
std::atomic<uint64_t> g_peak{0};
// Blocks past this many bytes held are refused, so that an unbounded decoder fails fast instead of
// taking the machine's memory.
std::atomic<uint64_t> g_limit{UINT64_MAX};

// The size sits in front of the block, in a header that keeps malloc's alignment.
const size_t kHeader = 16;

void* take(size_t inSize)
{
    if (g_held.load() + inSize > g_limit.load())
        return nullptr;
    char* block = static_cast<char*>(std::malloc(inSize + kHeader));
    if (!block)
        return nullptr;
    *reinterpret_cast<size_t*>(block) = inSize;
    const uint64_t held = g_held += inSize;
    for (uint64_t peak = g_peak.load(); held > peak && !g_peak.compare_exchange_weak(peak, held);) {
    }
    return block + kHeader;
}

void give(void* inBlock)
{
    if (!inBlock)
        return;
    char* block = static_cast<char*>(inBlock) - kHeader;
    g_held -= *reinterpret_cast<size_t*>(block);
    std::free(block);
}

// While it lives: the library's arrays are counted with everything else, at most inBound bytes more than
// were held at its start may be held, and the peak is measured from there.
class MemoryMeter : public Morvenix::MemoryAllocator {
public:
    explicit MemoryMeter(uint64_t inBound) : m_start(g_held.load())
    {
        g_peak = m_start;
        g_limit = m_start + inBound;
        Morvenix::MemoryAllocator::setDefault(this);
    }
    ~MemoryMeter() override
    {
        Morvenix::MemoryAllocator::setDefault(nullptr);
        g_limit = UINT64_MAX;
    }
    void* allocate(uint32_t inSize) override { return take(inSize); }
    void free(void* inPtr) override { give(inPtr); }

    uint64_t peak() const { return g_peak.load() - m_start; }

private:
    const uint64_t m_start;
};

} // namespace

// Every C++ allocation of the program comes here.
void* operator new(std::size_t inSize)
{
    if (void* block = take(inSize ? inSize : 1))
        return block;
    throw std::bad_alloc();
}

// The blocks came from take above; the compiler cannot see that the replacements belong together.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* inBlock) noexcept
{
    give(inBlock);
}

void operator delete(void* inBlock, std::size_t) noexcept
{
    give(inBlock);
}
#pragma GCC diagnostic pop

using namespace Jb2Test;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;

TEST(JB2DecoderMemory, TenKilobytesOfCopiesAreRefusedWithinTheirBound)
{
    // A page of 65535 x 65535 pixels, one dot, then 20 million copies of it: the coder learns to code a
    // copy in a few thousandths of a byte, so a comment of one byte after every 6000 copies keeps them
    // under the decoder's 4096 records a byte while the stream grows to about 10 KB. Decoded in full,
    // the copies would take over a gigabyte.
    RecordWriter w;
    w.start(65535, 65535), w.type(1), w.direct(glyph(1, 1, 1)), w.place(0, 0, 1, 1);
    for (uint32_t i = 1; i <= 20000000; ++i) {
        w.type(7), w.number(JB2CoderImpl::nkMatchIndex, 0, 0, 0), w.place(0, 0, 1, 1);
        if (i % 6000 == 0) {
            w.type(10), w.number(JB2CoderImpl::nkCommentLength, 1, 0);
            w.number(JB2CoderImpl::nkCommentByte, int32_t(i * 2654435761u >> 24), 0, 255);
        }
    }
    const Bytes stream = w.finish();
    EXPECT_GT(stream.size(), 9000u);
    EXPECT_LT(stream.size(), 12000u);

    const uint64_t kBound = uint64_t(256) << 20;
    MemoryMeter meter(kBound);
    MvxTest::expectThrow([&] { JB2Page::create(streamOf(stream), nullptr); }, Morvenix::errDataBroken,
                         "JB2Decoder: More shapes than the data can hold!");
    std::printf("[ MEMORY   ] %u bytes of copies refused after %llu KB at the peak\n", unsigned(stream.size()),
                (unsigned long long)(meter.peak() / 1024));
    EXPECT_LT(meter.peak(), kBound);
}
