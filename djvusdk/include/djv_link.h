// Links between the pages of a multi-page document, as map areas and outline entries hold them in their
// url: "#" followed by a 1-based page number or by the name of a page's component.
#pragma once

#include "djv_chunk.h"
#include "mvx_string.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {

// Works in place on the url text it is made over, which must outlive it.
//
// A page-number link is "#" followed by decimal digits only, of a value other than 0. Any other text after
// "#" is a page name: component names are GUID texts, and a GUID text such as "6B29FC40-..." must not be
// taken for page 6 because it happens to begin with a digit.
class Link {
public:
    enum Kind { lkEmpty, lkExternal, lkPageNumber, lkPageName };
    // The result of getPageChunkIndex when the link leads to no page of the document.
    static constexpr uint32_t notFound = String::npos;

    explicit Link(String& ioText) : m_text(ioText) {}

    Kind getKind() const;
    // The component name a page-name link looks for: the text after "#", from just after its last '/' when
    // it has one. Empty for links of the other kinds.
    String getPageName() const;
    // "#" and the name of the page; the page must be a "DJVU" collection (errInvalidParam otherwise).
    void setLink(const Chunk* inPage);
    // The index among the document's children of the page the link leads to, or notFound. A page name is
    // also found by the part after its last '/', as links into an indirect document's folder are written.
    // The document must be a "DJVM" collection (errInvalidParam otherwise) unless the link cannot lead to a
    // page at all.
    uint32_t getPageChunkIndex(const Chunk* inDocument) const;
    // The 1-based page number the link leads to, or 0. A page number is given back as written, without
    // looking at the document; a number too large for 32 bits leads nowhere.
    uint32_t getPageNumber(const Chunk* inDocument) const;

private:
    String& m_text;
};

} // namespace DjVu
} // namespace Morvenix
