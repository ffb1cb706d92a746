#include "bp_textrecord.h"

#include "bp_ansitext.h"

#include <cstring>

namespace {

// Offsets in EMR_EXTTEXTOUTA/W (the EMRTEXT part starts at 36) and in EMR_SMALLTEXTOUT.
enum : uint32_t {
    kExtReference = 36,
    kExtCount = 44,
    kExtStringOffset = 48,
    kExtOptions = 52,
    kExtDxOffset = 72,
    kSmallReference = 8,
    kSmallCount = 16,
    kSmallOptions = 20,
    kSmallStringWithRect = 52,
    kSmallStringWithoutRect = 36,
};

// EMR_EXTTEXTOUTW and EMR_EXTTEXTOUTA. False when the record holds no text to capture: no characters,
// glyph indices, or a string or advance array that does not lie inside the record.
bool readExtTextOut(const EmfRecordView& inRecord, bool inAnsi, TextRecord& outText)
{
    uint32_t count = 0, stringOffset = 0, options = 0, dxOffset = 0;
    if (!inRecord.read(kExtReference, outText.reference.x) || !inRecord.read(kExtReference + 4, outText.reference.y) ||
        !inRecord.read(kExtCount, count) || !inRecord.read(kExtStringOffset, stringOffset) ||
        !inRecord.read(kExtOptions, options) || !inRecord.read(kExtDxOffset, dxOffset))
        return false;
    if (!count || (options & ETO_GLYPH_INDEX))
        return false;
    const uint8_t* chars = inRecord.at(stringOffset, uint64_t(count) * (inAnsi ? 1 : 2));
    if (!chars)
        return false;
    std::vector<int32_t> advances;
    if (dxOffset) {
        // With ETO_PDY every character has an x and a y advance.
        const uint32_t stride = (options & ETO_PDY) ? 2 : 1;
        const uint8_t* dx = inRecord.at(dxOffset, uint64_t(count) * stride * 4);
        if (!dx)
            return false;
        advances.resize(count);
        for (uint32_t i = 0; i < count; ++i)
            std::memcpy(&advances[i], dx + uint64_t(i) * stride * 4, 4);
    }
    if (inAnsi) {
        AnsiTextUnits(chars, count, advances, outText.units, outText.advances);
    } else {
        outText.units.resize(count);
        std::memcpy(outText.units.data(), chars, size_t(count) * 2);
        outText.advances.swap(advances);
    }
    return true;
}

// EMR_SMALLTEXTOUT: no advances; 8-bit characters with ETO_SMALL_CHARS; no clip rectangle with ETO_NO_RECT.
bool readSmallTextOut(const EmfRecordView& inRecord, TextRecord& outText)
{
    uint32_t count = 0, options = 0;
    if (!inRecord.read(kSmallReference, outText.reference.x) ||
        !inRecord.read(kSmallReference + 4, outText.reference.y) || !inRecord.read(kSmallCount, count) ||
        !inRecord.read(kSmallOptions, options))
        return false;
    if (!count || (options & ETO_GLYPH_INDEX))
        return false;
    const uint32_t stringOffset = (options & BP_ETO_NO_RECT) ? kSmallStringWithoutRect : kSmallStringWithRect;
    const bool ansi = (options & BP_ETO_SMALL_CHARS) != 0;
    const uint8_t* chars = inRecord.at(stringOffset, uint64_t(count) * (ansi ? 1 : 2));
    if (!chars)
        return false;
    if (ansi) {
        AnsiTextUnits(chars, count, std::vector<int32_t>(), outText.units, outText.advances);
    } else {
        outText.units.resize(count);
        std::memcpy(outText.units.data(), chars, size_t(count) * 2);
    }
    return true;
}

} // namespace

bool ReadTextRecord(uint32_t inType, const EmfRecordView& inRecord, TextRecord& outText)
{
    return inType == EMR_SMALLTEXTOUT_TYPE ? readSmallTextOut(inRecord, outText)
                                           : readExtTextOut(inRecord, inType == EMR_EXTTEXTOUTA, outText);
}
