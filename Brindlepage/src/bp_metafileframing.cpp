// The framing of a host's metafile, checked before GDI and GDI+ walk it: GDI steps from record to record
// by their sizes, and GDI+ steps through the EMF+ records inside "EMF+" comments by theirs, trusting both.
#include "bp_emfrecord.h"
#include "mvx_byteorder.h"

#include <windows.h>

#include <cstring>

namespace {

const uint32_t kEmfPlusSignature = 0x2B464D45;  // "EMF+" read little-endian
const uint32_t kEmfPlusHeadSize = 12;           // type and flags (16 bits each), size, data size
const uint16_t kEmfPlusFirstType = 0x4000;
const uint16_t kEmfPlusLastType = 0x403A;

uint32_t wordAt(const std::vector<uint8_t>& inBits, size_t inOffset)
{
    return Morvenix::ByteOrder::load<uint32_t>(inBits.data() + inOffset);
}

// Whether the EMF+ records of a comment's data (inSize bytes at inOffset) follow each other inside it.
bool emfPlusRecordsFramed(const std::vector<uint8_t>& inBits, size_t inOffset, uint32_t inSize)
{
    size_t offset = 4;  // behind the signature
    while (offset < inSize) {
        if (inSize - offset < kEmfPlusHeadSize)
            return false;
        uint16_t type = 0;
        std::memcpy(&type, inBits.data() + inOffset + offset, 2);
        const uint32_t size = wordAt(inBits, inOffset + offset + 4);
        const uint32_t dataSize = wordAt(inBits, inOffset + offset + 8);
        if (type < kEmfPlusFirstType || type > kEmfPlusLastType || size < kEmfPlusHeadSize ||
            size > inSize - offset || dataSize > size - kEmfPlusHeadSize)
            return false;
        offset += size;
    }
    return true;
}

} // namespace

bool CheckMetafileFraming(std::vector<uint8_t>& ioBits, bool& outRepaired)
{
    outRepaired = false;
    if (ioBits.size() < 88 || wordAt(ioBits, 0) != EMR_HEADER)
        return false;
    size_t offset = 0;
    while (offset < ioBits.size()) {
        if (ioBits.size() - offset < 8)
            return false;
        const uint32_t type = wordAt(ioBits, offset);
        const uint32_t size = wordAt(ioBits, offset + 4);
        if (size < 8 || size > ioBits.size() - offset)
            return false;
        if (type == EMR_GDICOMMENT && size >= 16 && wordAt(ioBits, offset + 12) == kEmfPlusSignature) {
            const uint32_t dataSize = wordAt(ioBits, offset + 8);
            // GDI+ steps behind the signature by the data size: one smaller than the signature wraps.
            if (dataSize < 4 || dataSize > size - 12 || !emfPlusRecordsFramed(ioBits, offset + 12, dataSize)) {
                // An ordinary comment to GDI+ from now on: its drawing is lost, the rest of the page stays.
                const uint32_t plain = 0;
                const uint32_t fitting = size - 12;
                std::memcpy(ioBits.data() + offset + 12, &plain, 4);
                if (dataSize > fitting)
                    std::memcpy(ioBits.data() + offset + 8, &fitting, 4);
                outRepaired = true;
            }
        }
        offset += size;
        if (type == EMR_EOF)
            break;
    }
    return offset == ioBits.size();
}
