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
    const MvxTest::TestHeap::Scope meter({kBound});
    MvxTest::expectThrow([&] { JB2Page::create(streamOf(stream), nullptr); }, Morvenix::errDataBroken,
                         "JB2Decoder: More shapes than the data can hold!");
    std::printf("[ MEMORY   ] %u bytes of copies refused after %llu KB at the peak\n", unsigned(stream.size()),
                (unsigned long long)(meter.peak() / 1024));
    EXPECT_LT(meter.peak(), kBound);
}
