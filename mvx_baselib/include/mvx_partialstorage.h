// A window [begin, begin + length) of another storage, seen as a storage of its own whose positions
// count from the window's start. The window has no position of its own: it moves the inner storage's.
#pragma once

#include "mvx_stream.h"

#include <cstdint>

namespace Morvenix {

class PartialStorage : public Storage {
public:
    // The inner storage must hold the whole window; its position moves to the window's start.
    static AutoPtr<PartialStorage> create(const AutoPtr<Storage>& inInner, uint64_t inBegin, uint64_t inLength,
                                          bool inReadOnly);
};

} // namespace Morvenix
