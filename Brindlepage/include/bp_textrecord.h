// Reading the text-output records the capture takes (EMR_EXTTEXTOUTW, EMR_EXTTEXTOUTA, EMR_SMALLTEXTOUT):
// where the run starts, its characters as UTF-16 units and its advances.
#pragma once

#include "bp_emfrecord.h"

#include <windows.h>

#include <cstdint>
#include <vector>

struct TextRecord {
    POINT reference{0, 0};
    std::vector<wchar_t> units;
    // One a unit, or none: the run is then measured.
    std::vector<int32_t> advances;
};

// False when the record holds no text to capture: no characters, glyph indices, or a string or advance
// array that does not lie inside the record.
bool ReadTextRecord(uint32_t inType, const EmfRecordView& inRecord, TextRecord& outText);
