// A test-only reader of JB2 streams on the same record coder as the compressor, reading direction: it
// lists the records of a stream with what each one codes, so that tests can look at the structure of
// what was written. Whether other decoders agree is for the interoperability tests to show.
#pragma once

#include "djv_jb2coder.h"
#include "djv_zpcoder.h"
#include "jb2_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace Jb2Test {

// A bitmap of one byte a pixel (1 is ink), rows from the top.
struct Pixels {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> bytes;
    uint8_t at(int64_t x, int64_t y) const
    {
        return x < 0 || y < 0 || x >= width || y >= height ? 0 : bytes[size_t(y) * width + size_t(x)];
    }
    bool operator==(const Pixels& o) const { return width == o.width && height == o.height && bytes == o.bytes; }
};

inline Pixels pixelsOf(const ShapeBitmap& inBitmap)
{
    Pixels p{inBitmap.getWidth(), inBitmap.getHeight(), {}};
    for (uint32_t y = 0; y < p.height; ++y)
        for (uint32_t x = 0; x < p.width; ++x)
            p.bytes.push_back(inBitmap.getPixel(x, y));
    return p;
}

struct Record {
    int type = -1;
    int32_t index = -1;      // library index of records 4, 5 and 7
    uint32_t count = 0;      // record 9 before the start record: the inherited shape count
    uint32_t width = 0;      // record 0: the image size
    uint32_t height = 0;
    int64_t x = 0, y = 0;    // records 1, 4, 7 and 8: the top-left corner, y downward
    Pixels bitmap;           // records 1, 2, 4, 5 and 8 (7: the copied bitmap)
    std::string comment;     // record 10
};

class RecordReader : public Morvenix::DjVu::JB2::JB2CoderImpl {
public:
    // The dictionary's shapes are the library a page stream inherits.
    explicit RecordReader(const Bytes& inStream, const ShapeList* inDictionary = nullptr)
        : JB2CoderImpl(false),
          m_zp(AutoPtr<Morvenix::Stream>(Morvenix::MemoryStorage::create(inStream.data(), inStream.size(), 0)), 0,
               16)
    {
        if (inDictionary)
            for (const AutoPtr<Shape>& shape : *inDictionary)
                m_library.push_back(pixelsOf(shape->getBitmap()));
    }

    int codeBit(int, uint8_t* ioContext) override { return m_zp.decode(*ioContext); }

    // Every record up to the end of data (at most inLimit, against runaway reads).
    std::vector<Record> readAll(size_t inLimit = 100000)
    {
        std::vector<Record> records;
        while (records.size() < inLimit) {
            records.push_back(readRecord());
            if (records.back().type == 11 || records.back().type < 0)
                break;
        }
        return records;
    }

    // The library as the stream has built it.
    const std::vector<Pixels>& library() const { return m_library; }

private:
    struct Box {
        int64_t x, y, width, height;
    };
    static Box inkBox(const Pixels& inPixels)
    {
        int64_t left = inPixels.width, top = inPixels.height, right = -1, bottom = -1;
        for (uint32_t y = 0; y < inPixels.height; ++y)
            for (uint32_t x = 0; x < inPixels.width; ++x)
                if (inPixels.at(x, y)) {
                    left = std::min<int64_t>(left, x);
                    right = std::max<int64_t>(right, x);
                    top = std::min<int64_t>(top, y);
                    bottom = std::max<int64_t>(bottom, y);
                }
        if (right < 0)
            return Box{inPixels.width, inPixels.height, 0, 0};
        return Box{left, top, right - left + 1, bottom - top + 1};
    }

    Record readRecord()
    {
        Record r;
        r.type = codeNumber(0, 11, 0, nkRecordType);
        switch (r.type) {
        case 0: {
            codeImageSize(r.width, r.height);
            uint8_t fresh = 0;
            EXPECT_EQ(0, codeBit(0, &fresh)) << "no lossless refinement";
            break;
        }
        case 1:
        case 2:
        case 8:
            r.bitmap.width = uint32_t(codeNumber(0, kBigPositive, 0, nkMarkWidth));
            r.bitmap.height = uint32_t(codeNumber(0, kBigPositive, 0, nkMarkHeight));
            readDirect(r.bitmap);
            if (r.type == 1)
                readLocation(r, r.bitmap.width, r.bitmap.height, 0, 0);
            if (r.type == 8) {
                r.x = codeNumber(1, int32_t(getImageWidth()), 0, nkAbsoluteX) - 1;
                r.y = int64_t(getImageHeight()) - codeNumber(1, int32_t(getImageHeight()), 0, nkAbsoluteY);
            } else {
                addToLibrary(r.bitmap);
            }
            break;
        case 4:
        case 5:
        case 7: {
            r.index = codeNumber(0, getLastLibraryIndex(), 0, nkMatchIndex);
            const Pixels& reference = m_library.at(size_t(r.index));
            const Box ink = inkBox(reference);
            if (r.type == 7) {
                r.bitmap = reference;
                readLocation(r, uint32_t(ink.width), uint32_t(ink.height), ink.x, ink.y);
                break;
            }
            r.bitmap.width = uint32_t(ink.width + codeNumber(kBigNegative, kBigPositive, 0, nkRefineWidth));
            r.bitmap.height = uint32_t(ink.height + codeNumber(kBigNegative, kBigPositive, 0, nkRefineHeight));
            readRefined(r.bitmap, reference, ink);
            if (r.type == 4)
                readLocation(r, r.bitmap.width, r.bitmap.height, 0, 0);
            addToLibrary(r.bitmap);
            break;
        }
        case 9:
            if (isStarted()) {
                resetNumberCoder();
            } else {
                r.count = uint32_t(codeNumber(0, kBigPositive, 0, nkInheritedCount));
                EXPECT_EQ(m_library.size(), r.count) << "the inherited count names the dictionary given";
                setLastLibraryIndex(int32_t(r.count) - 1);
            }
            break;
        case 10: {
            const int32_t length = codeNumber(0, kBigPositive, 0, nkCommentLength);
            for (int32_t i = 0; i < length; ++i)
                r.comment += char(codeNumber(0, 255, 0, nkCommentByte));
            break;
        }
        case 11:
            break;
        default:
            ADD_FAILURE() << "record type " << r.type << " is never written";
            r.type = -1;
        }
        return r;
    }

    void addToLibrary(const Pixels& inBitmap)
    {
        m_library.push_back(inBitmap);
        setLastLibraryIndex(int32_t(m_library.size()) - 1);
    }

    // Places a mark of w x h whose own top-left corner lies (inOffsetX, inOffsetY) inside the record's
    // bitmap.
    void readLocation(Record& ioRecord, uint32_t inWidth, uint32_t inHeight, int64_t inOffsetX, int64_t inOffsetY)
    {
        int32_t left = 0, bottom = 0;
        codeRelativeLocation(left, bottom, inWidth, inHeight);
        ioRecord.x = int64_t(left) - 1 - inOffsetX;
        ioRecord.y = int64_t(getImageHeight()) - bottom - inHeight + 1 - inOffsetY;
    }

    // Rows with 4 clear pixels on each side and two clear rows above the first.
    static std::vector<uint8_t> framed(uint32_t inWidth, uint32_t inHeight)
    {
        return std::vector<uint8_t>((size_t(inHeight) + 2) * (inWidth + 8), 0);
    }

    void readDirect(Pixels& ioBitmap)
    {
        const size_t stride = ioBitmap.width + 8;
        std::vector<uint8_t> rows = framed(ioBitmap.width, ioBitmap.height);
        for (uint32_t y = 0; y < ioBitmap.height; ++y) {
            uint8_t* up0 = &rows[(y + 2) * stride + 4];
            codeDirectRow(up0 - 2 * stride, up0 - stride, up0, ioBitmap.width,
                          [this](int, uint8_t& ioContext) { return m_zp.decode(ioContext); });
        }
        unframe(rows, ioBitmap);
    }

    void readRefined(Pixels& ioBitmap, const Pixels& inReference, const Box& inInk)
    {
        const int64_t w = ioBitmap.width, h = ioBitmap.height;
        const int64_t dy = inInk.y + inInk.height / 2 - h / 2;
        const int64_t dx = w / 2 - w - inInk.width / 2 + inInk.width + inInk.x;
        const size_t stride = ioBitmap.width + 8;
        // The reference's pixels at the new bitmap's positions, one row more above and below.
        std::vector<uint8_t> aligned((size_t(h) + 2) * stride, 0);
        for (int64_t y = -1; y <= h; ++y)
            for (int64_t x = -4; x < w + 4; ++x)
                aligned[size_t(y + 1) * stride + size_t(x + 4)] = inReference.at(x + dx, y + dy);
        std::vector<uint8_t> rows = framed(ioBitmap.width, ioBitmap.height);
        for (uint32_t y = 0; y < ioBitmap.height; ++y) {
            uint8_t* up0 = &rows[(y + 2) * stride + 4];
            const uint8_t* xup0 = &aligned[(y + 1) * stride + 4];
            codeRefinedRow(up0 - stride, up0, xup0 - stride, xup0, xup0 + stride, ioBitmap.width,
                           [this](int, uint8_t& ioContext) { return m_zp.decode(ioContext); });
        }
        unframe(rows, ioBitmap);
    }

    static void unframe(const std::vector<uint8_t>& inRows, Pixels& ioBitmap)
    {
        const size_t stride = ioBitmap.width + 8;
        ioBitmap.bytes.clear();
        for (uint32_t y = 0; y < ioBitmap.height; ++y)
            for (uint32_t x = 0; x < ioBitmap.width; ++x)
                ioBitmap.bytes.push_back(inRows[(y + 2) * stride + 4 + x]);
    }

    Morvenix::DjVu::ZPDecoder m_zp;
    std::vector<Pixels> m_library;
};

// The records of a stream, in order.
inline std::vector<Record> readRecords(const Bytes& inStream, const ShapeList* inDictionary = nullptr)
{
    RecordReader reader(inStream, inDictionary);
    return reader.readAll();
}

inline std::vector<int> typesOf(const std::vector<Record>& inRecords)
{
    std::vector<int> types;
    for (const Record& r : inRecords)
        types.push_back(r.type);
    return types;
}

} // namespace Jb2Test
