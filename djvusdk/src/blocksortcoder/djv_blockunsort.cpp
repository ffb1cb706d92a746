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
const uint32_t kRowMask = 0xFFFFFF; // rows fit 24 bits; the byte stands above them
} // namespace

void unsort(uint8_t* ioData, uint32_t inSize, uint32_t inMarkerPos, uint32_t* ioLinks)
{
    // Row 0 belongs to the marker's own suffix, so the marker's byte can never stand there. The walk
    // below reads no row past the block only because every row fits the link's row bits.
    if (inMarkerPos == 0 || inMarkerPos >= inSize || inSize - 1 > kRowMask)
        MVX_THROW(errOperationFailed, "Stream corrupt", kDecode);
    uint32_t count[256] = {};
    for (uint32_t j = 0; j < inSize; ++j)
        ++count[ioData[j]];
    --count[ioData[inMarkerPos]];
    uint32_t next[256];
    uint32_t row = 1;
    for (int v = 0; v < 256; ++v) {
        next[v] = row;
        row += count[v];
    }
    // Each link holds the row it leads to rather than an occurrence number: the walk below is one long
    // chain of dependent loads, and keeping the start-row lookup out of it shortens every step.
    for (uint32_t j = 0; j < inSize; ++j) {
        if (j == inMarkerPos)
            continue;
        const uint32_t c = ioData[j];
        ioLinks[j] = (c << 24) | next[c]++;
    }
    // The links map every row but the marker's one to one onto every row but 0, so the walk from row 0
    // cannot repeat a row and can only end at the marker's row. The block is whole when that end is
    // inSize - 1 steps away; meeting it earlier means the other rows form cycles the walk never enters.
    row = 0;
    for (uint32_t i = inSize - 1; i-- > 0;) {
        if (row == inMarkerPos)
            MVX_THROW(errOperationFailed, "Stream corrupt", kDecode);
        const uint32_t link = ioLinks[row];
        ioData[i] = uint8_t(link >> 24);
        row = link & kRowMask;
    }
}

} // namespace BzzBlock
} // namespace DjVu
} // namespace Morvenix
