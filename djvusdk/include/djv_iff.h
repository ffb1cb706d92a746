// Writing a chunk tree as DjVu file bytes: a single page, a one-file (bundled) document with its
// directory, or an indirect document made of an index file and one file per component.
#pragma once

#include "djv_chunk.h"
#include "djv_storagelocator.h"
#include "mvx_stream.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {
namespace IFF {

// A "DJVM" root is written bundled, or as a single-page file when it has fewer than two pages and no
// outline; a "DJVU" root as a single-page file.
constexpr uint32_t smDefault = 0;
// A "DJVU" root as a single-page file; a "DJVM" root is refused.
constexpr uint32_t smSinglePage = 1;
// One file holding the directory, the outline and every component.
constexpr uint32_t smBundled = 2;
// An index file (directory without offsets, outline) plus one file per component, opened through the
// locator (by default in the folder of the output storage's name).
constexpr uint32_t smIndirect = 3;
// The chunk tree as it is, without the "AT&T" magic or a directory, for any root.
constexpr uint32_t smTreeOnly = 4;

// (context, done, total); called with (0, 1) and (1, 1) around a single page, and with (i, n) before each
// of the n children of a document and (n, n) after them.
typedef void (*ProgressCallback)(void* inContext, uint32_t inDone, uint32_t inTotal);

// Writes the tree under inChunk into out, which must be writable, seekable, at position 0 and empty for
// the document modes. The root stays locked for the whole call. In the document modes nothing reaches
// out before every component has been written, so a failure leaves out untouched; whatever has been
// written stays written, and callers that need all-or-nothing output write through a storage with
// rollback (or a rollback locator) and commit once this returns.
// Throws errInvalidParam for a null root, an unknown mode, a root the mode cannot write ("DJVM" as a
// single page, anything but "DJVU" and "DJVM" outside smTreeOnly), a document without a page, a
// collection that contains itself, a leaf without payload, component names that are empty, repeated or
// hold a NUL, and a document mode with an output that is not empty; errBufferOverflow for a length, size, offset or count that does not fit its field.
// callback and locator may be null; provider is kept for callers that have one and is not used.
void serialize(Storage* out, Chunk* inChunk, ProgressCallback callback, void* context, uint32_t mode,
               StorageLocator* locator, SecurityProvider* provider);

} // namespace IFF
} // namespace DjVu
} // namespace Morvenix
