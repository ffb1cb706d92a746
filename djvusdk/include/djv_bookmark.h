// The outline of a multi-page document: a tree of bookmarks, each with a title and a link (usually "#"
// and a page number or component name), written as a NAVM chunk and read back.
#pragma once

#include "djv_chunk.h"
#include "mvx_referable.h"
#include "mvx_simplearray.h"
#include "mvx_stream.h"
#include "mvx_string.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {

class Bookmark : public Referable {
public:
    typedef SimpleArray<AutoPtr<Bookmark>, 1> Children;

    // Filled directly by the callers. A bookmark whose title and url are both empty is a root: it stands
    // for the outline as a whole and is not itself written as an entry.
    Children children;
    String title; // UTF-8
    String url;   // UTF-8

    ~Bookmark() override {}

    bool isRoot() const { return title.getLength() == 0 && url.getLength() == 0; }

    // Writes the uncompressed NAVM payload of the outline this bookmark stands for: a root writes its
    // children, any other bookmark an outline holding itself and its subtree. The tree is checked before
    // anything is written: an entry with more than maxChildren children throws code 39 ("Too many
    // bookmark children!"); more than maxEntries entries, nesting deeper than maxDepth, or a title or url
    // of 16 MB or more throw errInvalidParam.
    virtual void encode(Stream& outStream) = 0;
    // A "NAVM" chunk holding the payload compressed by BZZ.
    virtual AutoPtr<Chunk> makeNAVM() = 0;

    // An entry without children; two empty strings make an empty root.
    static AutoPtr<Bookmark> create(const String& inTitle, const String& inUrl);
    // The root of an uncompressed NAVM payload, or of a chunk's payload compressed by BZZ (any chunk id is
    // taken). A damaged payload (cut short, nested deeper than maxDepth, more than maxEntries entries)
    // throws errDataBroken. Damage the BZZ decoder meets first in a chunk throws its errOperationFailed
    // (djv_bzz.h), and errors of the stream read from pass through, both unchanged. A url
    // "#file://dir/name" is read as "#name".
    static AutoPtr<Bookmark> create(Stream& inStream);
    static AutoPtr<Bookmark> create(const Chunk& inNavm);

    static constexpr uint32_t maxChildren = 255;
    static constexpr uint32_t maxEntries = 65535;
    // The deepest nesting of entries below the root that the writer and the reader accept.
    static constexpr uint32_t maxDepth = 256;

protected:
    Bookmark() : children(0, 128, nullptr, 128) {}
};

} // namespace DjVu
} // namespace Morvenix
