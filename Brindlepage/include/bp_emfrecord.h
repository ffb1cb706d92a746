// The EMF record layouts mingw's headers lack, and a bounded view of one record: every count, offset and
// size read from a host's record is checked against the record's own length before anything is read.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

enum : uint32_t {
    EMR_SMALLTEXTOUT_TYPE = 108,
    // Escape records: the data of a driver escape, 16 bytes in (the last behind a driver name).
    EMR_DRAWESCAPE_TYPE = 105,
    EMR_EXTESCAPE_TYPE = 106,
    EMR_NAMEDESCAPE_TYPE = 110,
    // Options of EMR_SMALLTEXTOUT: no clip rectangle in the record; 8-bit characters.
    BP_ETO_NO_RECT = 0x100,
    BP_ETO_SMALL_CHARS = 0x200,
    // Signature of the host's comments ("UNPP" read little-endian).
    HOST_COMMENT_SIGNATURE = 0x50504E55,
};

// Where a blit record (EMR_BITBLT, EMR_STRETCHBLT, EMR_MASKBLT, EMR_STRETCHDIBITS) keeps its source bitmap
// and its extents: the offsets of the source header's offset and size, of the source bits' offset and size,
// of the destination's width and height, and of the source's (a blit that does not stretch has none of its
// own: they are the destination's).
struct BlitLayout {
    uint32_t header, headerSize, bits, bitsSize, width, height, sourceWidth, sourceHeight;
};
const BlitLayout& BlitLayoutOf(uint32_t inType);

class EmfRecordView {
public:
    // inRecord points at the record's type field; inSize is the record's whole length.
    EmfRecordView(const uint8_t* inRecord, uint32_t inSize) : m_record(inRecord), m_size(inSize) {}
    // The record around the data GDI+ hands its enumeration callback, 8 bytes in, behind the type and size.
    // Without data the record is its 8-byte head and has no field to read.
    static EmfRecordView aroundData(const uint8_t* inData, uint32_t inDataSize)
    {
        static const uint8_t kHead[8] = {};
        if (!inData || inDataSize > UINT32_MAX - 8)
            return EmfRecordView(kHead, sizeof kHead);
        return EmfRecordView(inData - 8, inDataSize + 8);
    }

    uint32_t size() const { return m_size; }
    const uint8_t* record() const { return m_record; }
    bool has(uint64_t inOffset, uint64_t inLength) const
    {
        return inOffset <= m_size && inLength <= m_size - inOffset;
    }
    // A pointer to inLength bytes at inOffset, or null when they do not lie inside the record.
    const uint8_t* at(uint64_t inOffset, uint64_t inLength) const
    {
        return has(inOffset, inLength) ? m_record + inOffset : nullptr;
    }
    template <class T>
    bool read(uint64_t inOffset, T& outValue) const
    {
        if (!has(inOffset, sizeof(T)))
            return false;
        std::memcpy(&outValue, m_record + inOffset, sizeof(T));
        return true;
    }
    // The field at inOffset, or 0 when it does not lie inside the record.
    template <class T>
    T valueAt(uint64_t inOffset) const
    {
        T value{};
        read(inOffset, value);
        return value;
    }

private:
    const uint8_t* m_record;
    uint32_t m_size;
};

// Whether an EMF record (types 1 to 122) is whole: its fixed fields and everything its counts, offsets and
// sizes name (points, strings, advances, regions, bitmap headers, colour tables and rows) lie inside it,
// the objects it names lie inside the metafile's object table of inHandleCount entries (the header's
// nHandles), and the state an EMR_RESTOREDC names is one of the inSavedStates the page's records saved
// and have not restored yet. Records of other types are not.
bool RecordFitsItsFields(uint32_t inType, const EmfRecordView& inRecord, uint32_t inHandleCount,
                         uint32_t inSavedStates);
// The states the page's records have saved and not restored once a whole record has been played after
// inSavedStates: EMR_SAVEDC adds one, EMR_RESTOREDC takes away as many as it goes back.
uint32_t SavedStatesAfter(uint32_t inType, const EmfRecordView& inRecord, uint32_t inSavedStates);

// Whether a whole metafile's records (ioBits, as GetEnhMetaFileBits gives them) are framed: a header
// first, every record at least 8 bytes and inside the file, up to EMR_EOF at its end. An "EMF+" comment
// whose EMF+ records do not lie inside it one after the other (each at least 12 bytes, of an EMF+ type)
// is made an ordinary comment in place, and outRepaired is set.
bool CheckMetafileFraming(std::vector<uint8_t>& ioBits, bool& outRepaired);
