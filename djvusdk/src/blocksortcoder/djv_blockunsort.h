// The inverse of the BZZ block-sorting transform.
#pragma once

#include <cstdint>

namespace Morvenix {
namespace DjVu {
namespace BzzBlock {

// ioData: a decoded block of inSize symbols with the marker at inMarkerPos; on return its first
// inSize - 1 bytes are the original data. ioLinks: working space of inSize entries. Throws on a block
// whose walk does not lead through every row to the marker.
void unsort(uint8_t* ioData, uint32_t inSize, uint32_t inMarkerPos, uint32_t* ioLinks);

} // namespace BzzBlock
} // namespace DjVu
} // namespace Morvenix
