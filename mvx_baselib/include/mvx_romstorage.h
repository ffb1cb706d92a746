// A read-only storage over a memory block that somebody else owns, such as data compiled into the
// program. It never copies, changes or frees the block.
#pragma once

#include "mvx_stream.h"

#include <cstdint>

namespace Morvenix {

class RomStorage : public Storage {
public:
    // The caller keeps the block alive and unchanged for the life of the storage and its duplicates.
    static AutoPtr<RomStorage> create(const void* inData, uint32_t inSize);
};

} // namespace Morvenix
