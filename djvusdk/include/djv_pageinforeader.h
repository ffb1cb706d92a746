// Reading a page's INFO values from its "INFO" chunk.
#pragma once

#include "djv_chunk.h"
#include "djv_pageinfo.h"

namespace Morvenix {
namespace DjVu {

// Fields the payload does not set keep the defaults width 0, height 0, version 25, major version 0,
// dpi 300, gamma 22, flags 1. A payload shorter than the ten bytes read fails with the storage's
// end-of-data error, a chunk without payload with errDataBroken.
PageInfo readPageInfo(const Chunk& inInfoChunk);

} // namespace DjVu
} // namespace Morvenix
