// Repair of the page links of a "DJVM" document whose components get new names.
#pragma once

#include "djv_chunk.h"

namespace _Mvx_Internal_NS_ {

// Drops the document's "DJVI" members, gives every component collection a new GUID name and rewrites every
// outline and annotation link that names a page so that it names the same page under its new name.
// Everything is read and every new chunk and name made before the document is touched: a failure (a
// damaged outline, annotation or INFO chunk) leaves the document as it was, never with links to names
// that were not given.
void repairDocumentLinks(Morvenix::DjVu::Chunk& ioDocument);

} // namespace _Mvx_Internal_NS_
