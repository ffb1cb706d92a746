// A seekable storage over a plain stream: on first use the whole stream is loaded into memory.
#pragma once

#include "mvx_stream.h"

namespace Morvenix {

class WrapperStorage : public Storage {
public:
    // Nothing is read yet. A writable wrapper starts empty and never reads its source; a read-only one
    // loads the source and then stands at position 0.
    static AutoPtr<WrapperStorage> create(const AutoPtr<Stream>& inSource, bool inWritable);
};

} // namespace Morvenix
