#include "render_support.h"

#include "bp_exporter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

namespace RenderTest {

namespace {

// GDI+ runs for the whole test program, as it does for the exporter's life.
class GdiplusEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::Ok, Gdiplus::GdiplusStartup(&m_token, &input, nullptr));
    }
    void TearDown() override { Gdiplus::GdiplusShutdown(m_token); }

private:
    ULONG_PTR m_token = 0;
};

::testing::Environment* const gdiplus = ::testing::AddGlobalTestEnvironment(new GdiplusEnvironment);

uint32_t wordAt(const std::vector<uint8_t>& inBytes, size_t inOffset)
{
    uint32_t value = 0;
    std::memcpy(&value, &inBytes[inOffset], 4);
    return value;
}

} // namespace

Metafile::~Metafile()
{
    if (m_handle)
        DeleteEnhMetaFile(m_handle);
}

Metafile& Metafile::operator=(Metafile&& o) noexcept
{
    if (this != &o) {
        if (m_handle)
            DeleteEnhMetaFile(m_handle);
        m_handle = o.m_handle;
        o.m_handle = nullptr;
    }
    return *this;
}

PageDrawing::PageDrawing(int32_t inWidth, int32_t inHeight)
{
    const RECT frame = {0, 0, inWidth, inHeight};
    m_dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
}

PageDrawing::~PageDrawing()
{
    if (m_dc)
        DeleteEnhMetaFile(CloseEnhMetaFile(m_dc));
}

Metafile PageDrawing::finish()
{
    HENHMETAFILE handle = CloseEnhMetaFile(m_dc);
    m_dc = nullptr;
    return Metafile(handle);
}

std::vector<uint8_t> metafileBytes(HENHMETAFILE inMetafile)
{
    std::vector<uint8_t> bytes(GetEnhMetaFileBits(inMetafile, 0, nullptr));
    GetEnhMetaFileBits(inMetafile, UINT(bytes.size()), bytes.data());
    return bytes;
}

Metafile metafileFromBytes(const std::vector<uint8_t>& inBytes)
{
    return Metafile(SetEnhMetaFileBits(UINT(inBytes.size()), inBytes.data()));
}

std::vector<uint8_t> makeRecord(uint32_t inType, const std::vector<uint8_t>& inPayload, uint32_t inSize)
{
    std::vector<uint8_t> record(8 + ((inPayload.size() + 3) & ~size_t(3)), 0);
    std::memcpy(record.data() + 8, inPayload.data(), inPayload.size());
    putWord(record, 0, inType);
    putWord(record, 4, inSize ? inSize : uint32_t(record.size()));
    return record;
}

std::vector<uint8_t> words(std::initializer_list<uint32_t> inWords)
{
    std::vector<uint8_t> bytes;
    for (uint32_t w : inWords)
        for (int i = 0; i < 4; ++i)
            bytes.push_back(uint8_t(w >> (8 * i)));
    return bytes;
}

void putWord(std::vector<uint8_t>& ioBytes, size_t inOffset, uint32_t inValue)
{
    std::memcpy(&ioBytes[inOffset], &inValue, 4);
}

std::vector<size_t> recordOffsets(const std::vector<uint8_t>& inMetafile)
{
    std::vector<size_t> offsets;
    size_t offset = 0;
    while (offset + 8 <= inMetafile.size()) {
        offsets.push_back(offset);
        const uint32_t size = wordAt(inMetafile, offset + 4);
        if (size < 8)
            break;
        offset += size;
    }
    return offsets;
}

std::vector<uint8_t> spliceRecords(const std::vector<uint8_t>& inMetafile,
                                   const std::vector<std::vector<uint8_t>>& inRecords)
{
    const std::vector<size_t> offsets = recordOffsets(inMetafile);
    const size_t eof = offsets.back();  // EMR_EOF closes every metafile GDI writes
    std::vector<uint8_t> bytes(inMetafile.begin(), inMetafile.begin() + eof);
    for (const auto& record : inRecords)
        bytes.insert(bytes.end(), record.begin(), record.end());
    bytes.insert(bytes.end(), inMetafile.begin() + eof, inMetafile.end());
    putWord(bytes, 48, uint32_t(bytes.size()));                                 // nBytes
    putWord(bytes, 52, wordAt(bytes, 52) + uint32_t(inRecords.size()));         // nRecords
    return bytes;
}

PageRenders renderPage(HENHMETAFILE inMetafile, int32_t inResolution)
{
    PageRenders renders;
    EmfPageRenderer renderer;
    renderer.SetResolution(inResolution);
    renders.page = Morvenix::DjVu::TextZone::create(1);
    renders.annotation = Morvenix::DjVu::Annotation::create(0, 0, 0xFFFFFFFF, 0, 1);
    renders.full = renderer.Render(inMetafile, renders.page.get(), renders.annotation.get(), true);
    renders.scale = double(renders.full->GetWidth()) / renderer.Header().Width;
    renders.plain = renderer.Render(inMetafile, nullptr, nullptr, false);
    CDjVuExporter::BuildAgreementMask(renders.mask, *renders.full, *renders.plain);
    return renders;
}

uint32_t pixel(const T_Image& inImage, int32_t inX, int32_t inY)
{
    const uint8_t* p = inImage.GetRow(inY) + 3 * inX;
    return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

int64_t countInked(const T_Image& inImage, int32_t inX0, int32_t inY0, int32_t inX1, int32_t inY1)
{
    int64_t count = 0;
    for (int32_t y = std::max(inY0, 0); y < std::min(inY1, inImage.GetHeight()); ++y)
        for (int32_t x = std::max(inX0, 0); x < std::min(inX1, inImage.GetWidth()); ++x)
            count += pixel(inImage, x, y) != 0xFFFFFF;
    return count;
}

int64_t countInked(const T_Image& inImage)
{
    return countInked(inImage, 0, 0, inImage.GetWidth(), inImage.GetHeight());
}

int64_t countDifferent(const T_Image& inFirst, const T_Image& inSecond)
{
    int64_t count = 0;
    for (int32_t y = 0; y < inFirst.GetHeight(); ++y)
        for (int32_t x = 0; x < inFirst.GetWidth(); ++x)
            count += pixel(inFirst, x, y) != pixel(inSecond, x, y);
    return count;
}

size_t countColours(const T_Image& inImage)
{
    std::set<uint32_t> colours;
    for (int32_t y = 0; y < inImage.GetHeight(); ++y)
        for (int32_t x = 0; x < inImage.GetWidth(); ++x)
            colours.insert(pixel(inImage, x, y));
    return colours.size();
}

int64_t countMaskOnes(const T_Image& inMask)
{
    int64_t count = 0;
    for (int32_t y = 0; y < inMask.GetHeight(); ++y)
        for (int32_t x = 0; x < inMask.GetWidth(); ++x)
            count += (inMask.GetRow(y)[x >> 3] >> (7 - (x & 7))) & 1;
    return count;
}

bool maskPaddingClear(const T_Image& inMask)
{
    const int32_t rowBits = inMask.GetRowStep() * 8;
    for (int32_t y = 0; y < inMask.GetHeight(); ++y)
        for (int32_t x = inMask.GetWidth(); x < rowBits; ++x)
            if ((inMask.GetRow(y)[x >> 3] >> (7 - (x & 7))) & 1)
                return false;
    return true;
}

} // namespace RenderTest
