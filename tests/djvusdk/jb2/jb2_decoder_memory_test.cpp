// The memory JB2 decoding takes is bounded by the data: a crafted page stream of about 10 KB that asks
// for gigabytes is refused early. The program's C++ allocations and the library's arrays come from the
// tests' heap, which counts every byte held, so the peak is measured the same way on any host.
#include "djv_jb2page.h"
#include "jb2_record_writer.h"
#include "test_heap.h"
#include "test_support.h"

#include <cstdio>

using namespace Jb2Test;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;

// Pages of 65535 x 65535 pixels, one dot, then millions of copies of it: the coder learns to code a copy
// in a few thousandths of a byte, so a comment of one random byte after every few hundred or thousand
// copies keeps them under the decoder's 4096 records a byte while the stream grows. Decoded in full, the
// copies would take gigabytes: the bytes read, or the stream's own bound of 512 MB, refuse them first.
// The decoder counts each shape at its size on a 32-bit host, where memory is scarcest; with 64-bit words
// the same shapes hold about twice the bytes, so the stream's own bound lets the peak grow with them.
TEST(JB2DecoderMemory, CraftedCopiesAreRefusedWithinTheirBound)
{
    const struct {
        const char* what;
        uint32_t copies, perComment;
        size_t smallest, largest; // of the stream
        uint64_t bound32, bound64; // on the memory the decoder may take, with 32- and 64-bit words
        const char* message;
    } cases[] = {
        {"ten kilobytes", 20000000, 6000, 9000, 12000, uint64_t(256) << 20, uint64_t(256) << 20,
         "JB2Decoder: More shapes than the data can hold!"},
        {"forty kilobytes", 12000000, 700, 36000, 48000, uint64_t(640) << 20, uint64_t(1280) << 20,
         "JB2Decoder: The shapes need more memory than a stream may take!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RecordWriter w;
        w.start(65535, 65535), w.type(1), w.direct(glyph(1, 1, 1)), w.place(0, 0, 1, 1);
        for (uint32_t i = 1; i <= c.copies; ++i) {
            w.type(7), w.number(JB2CoderImpl::nkMatchIndex, 0, 0, 0), w.place(0, 0, 1, 1);
            if (i % c.perComment == 0) {
                w.type(10), w.number(JB2CoderImpl::nkCommentLength, 1, 0);
                w.number(JB2CoderImpl::nkCommentByte, int32_t(i * 2654435761u >> 24), 0, 255);
            }
        }
        const Bytes stream = w.finish();
        EXPECT_GT(stream.size(), c.smallest);
        EXPECT_LT(stream.size(), c.largest);

        const uint64_t bound = sizeof(void*) == 4 ? c.bound32 : c.bound64;
        const MvxTest::TestHeap::Scope meter({bound});
        MvxTest::expectThrow([&] { JB2Page::create(streamOf(stream), nullptr); }, Morvenix::errDataBroken,
                             c.message);
        std::printf("[ MEMORY   ] %u bytes of copies refused after %llu KB at the peak\n", unsigned(stream.size()),
                    (unsigned long long)(meter.peak() / 1024));
        EXPECT_LT(meter.peak(), bound);
    }
}
