// The block-sorting (Burrows-Wheeler) transform of BZZ compression, with an end marker that sorts before
// every byte value.
#pragma once

#include <cstdint>

namespace Morvenix {
namespace DjVu {
namespace CompressStream {

class BlockSort {
public:
    // ioData holds inSize bytes whose last one stands for the end marker (its value is not read).
    BlockSort(uint8_t* ioData, uint32_t inSize);

    // ioMarkerPos: on entry the marker's position, which must be inSize - 1. On return ioData holds, for
    // the suffix of rank r starting at p, the byte at p - 1 (0 for the suffix starting at 0), and
    // ioMarkerPos the rank of the suffix starting at 0.
    void run(uint32_t& ioMarkerPos);

private:
    uint8_t* m_data;
    uint32_t m_size;
};

} // namespace CompressStream
} // namespace DjVu
} // namespace Morvenix
