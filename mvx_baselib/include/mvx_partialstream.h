// A stream that lets its user read or write at most a fixed number of bytes of another stream.
#pragma once

#include "mvx_stream.h"

#include <cstdint>

namespace Morvenix {

class PartialStream : public Stream {
public:
    static AutoPtr<PartialStream> create(const AutoPtr<Stream>& inInner, uint64_t inLength);
};

} // namespace Morvenix
