// Zero-filling memory that held keys, digests or compressor state just before it is given up. The stores
// go through a volatile pointer, so that the compiler cannot drop them as writes nobody reads.
#pragma once

#include <cstddef>

namespace Morvenix {

inline void wipeBytes(void* ioBytes, size_t inSize)
{
    volatile unsigned char* p = static_cast<volatile unsigned char*>(ioBytes);
    for (size_t i = 0; i < inSize; ++i)
        p[i] = 0;
}

} // namespace Morvenix
