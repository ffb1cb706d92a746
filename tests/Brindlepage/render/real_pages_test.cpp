// LibreOffice's page metafiles (tests/Brindlepage/data, samples/report/pages): every record is whole, the
// plain pass keeps the photo and leaves out the text, and damaged copies render without a crash.
#include "render_support.h"

#include "bp_emfrecord.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

using namespace RenderTest;

namespace {

const char* const kPages[] = {"tests/Brindlepage/data/report-page.emf", "tests/Brindlepage/data/slides-page.emf",
                              "samples/report/pages/page-0001.emf", "samples/report/pages/page-0002.emf"};

std::vector<uint8_t> readPage(const char* inRelativePath)
{
    return MvxTest::readFile(MvxTest::windowsPath(MvxTest::sourceHostPath(inRelativePath)));
}

uint32_t wordAt(const std::vector<uint8_t>& inBytes, size_t inOffset)
{
    uint32_t value = 0;
    std::memcpy(&value, &inBytes[inOffset], 4);
    return value;
}

TEST(RealPages, EveryRecordIsWhole)
{
    for (const char* name : kPages) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> bytes = readPage(name);
        ASSERT_GT(bytes.size(), 100u);
        size_t records = 0;
        uint32_t savedStates = 0;
        for (size_t offset : recordOffsets(bytes)) {
            const uint32_t type = wordAt(bytes, offset);
            const uint32_t size = wordAt(bytes, offset + 4);
            ASSERT_LE(offset + size, bytes.size());
            const EmfRecordView record(bytes.data() + offset, size);
            EXPECT_TRUE(RecordFitsItsFields(type, record, wordAt(bytes, 56) & 0xFFFF, savedStates))
                << "record type " << type << " at " << offset;
            savedStates = SavedStatesAfter(type, record, savedStates);
            ++records;
        }
        EXPECT_EQ(wordAt(bytes, 52), records);
    }
}

TEST(RealPages, PlainPassKeepsThePhotoAndLeavesOutTheText)
{
    for (const char* name : {kPages[0], kPages[1], kPages[2]}) {  // the pages with a photo
        SCOPED_TRACE(name);
        Metafile page = metafileFromBytes(readPage(name));
        ASSERT_NE(nullptr, page.get());
        const PageRenders r = renderPage(page.get(), 150);
        const int64_t full = countInked(*r.full);
        const int64_t plain = countInked(*r.plain);
        EXPECT_GT(plain, 0);                // the photo
        EXPECT_GT(full, plain);             // text and line art on top
        int64_t redrawnDifferently = 0;
        for (int32_t y = 0; y < r.plain->GetHeight(); ++y)
            for (int32_t x = 0; x < r.plain->GetWidth(); ++x)
                redrawnDifferently +=
                    pixel(*r.plain, x, y) != 0xFFFFFF && pixel(*r.full, x, y) != pixel(*r.plain, x, y);
        // What the plain pass draws, the full render shows the same, but where text or line art lies on it.
        EXPECT_LT(redrawnDifferently, plain / 50);
        EXPECT_EQ(int64_t(r.full->GetWidth()) * r.full->GetHeight() - countDifferent(*r.full, *r.plain),
                  countMaskOnes(*r.mask));
    }
}

// Record bodies (never the type and size, which GDI itself walks by) changed at random: both passes
// render without a crash or a hang.
TEST(RealPages, MutatedRecordsRenderWithoutACrash)
{
    const std::vector<uint8_t> original = readPage(kPages[0]);
    const std::vector<size_t> offsets = recordOffsets(original);
    std::mt19937 random(17);
    for (int round = 0; round < 60; ++round) {
        std::vector<uint8_t> bytes = original;
        const int changes = 1 + int(random() % 24);
        for (int i = 0; i < changes; ++i) {
            const size_t offset = offsets[1 + random() % (offsets.size() - 2)];  // not the header nor EOF
            const uint32_t size = wordAt(bytes, offset + 4);
            if (size <= 8)
                continue;
            const size_t at = offset + 8 + random() % (size - 8);
            switch (random() % 3) {
            case 0:
                bytes[at] = uint8_t(random());
                break;
            case 1:
                bytes[at] ^= uint8_t(1u << (random() % 8));
                break;
            default:  // a word of a count or offset made large
                if (at + 4 <= offset + size)
                    putWord(bytes, at & ~size_t(3), random() % 2 ? 0x7FFFFFFF : uint32_t(random()));
            }
        }
        Metafile page = metafileFromBytes(bytes);
        if (!page.get())
            continue;
        SCOPED_TRACE(round);
        try {
            renderPage(page.get(), 40);
        } catch (const Morvenix::Exception&) {
            // a header the mutation made unreadable
        }
    }
}

} // namespace
