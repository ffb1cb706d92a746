// Inverse transform: row 0 is the marker's suffix; each row's byte is the one before its suffix, and the
// k-th occurrence of a byte leads to the k-th row whose suffix starts with that byte. Walking from row 0
// yields the block backwards and must end at the marker's row.
#define MVX_SOURCE "djv_blockunsort"

#include "djv_blockunsort.h"

#include "mvx_exception.h"

namespace Morvenix {
namespace DjVu {
namespace BzzBlock {

namespace {
const char* const kDecode = "_Mvx_Internal_NS_::InflateStreamImpl::decode";
}

void unsort(uint8_t* ioData, uint32_t inSize, uint32_t inMarkerPos, uint32_t* ioLinks)
{
    // Row 0 belongs to the marker's own suffix, so the marker's byte can never stand there.
    if (inMarkerPos == 0 || inMarkerPos >= inSize)
        MVX_THROW(errOperationFailed, "Stream corrupt", kDecode);
    uint32_t count[256] = {};
    for (uint32_t j = 0; j < inSize; ++j) {
        if (j == inMarkerPos)
            continue;
        const uint8_t c = ioData[j];
        ioLinks[j] = (uint32_t(c) << 24) | count[c]++;
    }
    uint32_t start[256];
    uint32_t next = 1;
    for (int v = 0; v < 256; ++v) {
        start[v] = next;
        next += count[v];
    }
    uint32_t row = 0;
    for (uint32_t i = inSize - 1; i-- > 0;) {
        // Reaching the marker early means the permutation has a cycle that misses rows.
        if (row == inMarkerPos)
            MVX_THROW(errOperationFailed, "Stream corrupt", kDecode);
        const uint32_t link = ioLinks[row];
        const uint8_t c = uint8_t(link >> 24);
        ioData[i] = c;
        row = start[c] + (link & 0xFFFFFF);
        if (row >= inSize)
            MVX_THROW(errOperationFailed, "Index out of range", kDecode);
    }
    if (row != inMarkerPos)
        MVX_THROW(errOperationFailed, "Stream corrupt", kDecode);
}

} // namespace BzzBlock
} // namespace DjVu
} // namespace Morvenix
