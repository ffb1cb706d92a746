// Page links: "#" and a page number or a component name, made from a page and resolved in a document.
#include "djv_link.h"

#include "mvx_exception.h"

#define MVX_SOURCE "djv_link"

namespace Morvenix {
namespace DjVu {

namespace {

// True for the text after '#' of a page-number link: decimal digits only, not all zeros ("#0" is a name).
// outNumber is the page, or 0 when the number is too large for any page to carry it.
bool readPageNumber(const String& inRest, uint32_t& outNumber)
{
    const uint32_t length = inRest.getLength();
    uint64_t value = 0;
    bool nonZero = false;
    for (uint32_t i = 0; i < length; ++i) {
        const char c = inRest[i];
        if (c < '0' || c > '9')
            return false;
        nonZero = nonZero || c != '0';
        if (value <= 0xFFFFFFFFu)
            value = value * 10 + uint32_t(c - '0');
    }
    outNumber = value > 0xFFFFFFFFu ? 0 : uint32_t(value);
    return nonZero;
}

void checkDocument(const Chunk* inDocument, const char* inFunction)
{
    if (!inDocument || inDocument->getId() != String("DJVM"))
        MVX_THROW(errInvalidParam, "Not a valid DJVM chunk!", inFunction);
}

const Nameable* nameOf(const Chunk* inChunk) { return dynamic_cast<const Nameable*>(inChunk); }

bool isPage(const Chunk* inChunk) { return inChunk && inChunk->getId() == String("DJVU"); }

// Walks the document's pages in order to the first that is page inNumber (0: none is) or is named inName.
// Gives back its index among the children and its 1-based page number, or false when no page is.
bool findPage(const Chunk* inDocument, uint32_t inNumber, const String& inName, uint32_t& outIndex,
              uint32_t& outNumber)
{
    const Chunk::Children& children = inDocument->getChildren();
    uint32_t pages = 0;
    for (uint32_t i = 0; i < children.count(); ++i) {
        const Chunk* child = children[i].get();
        if (!isPage(child))
            continue;
        ++pages;
        const Nameable* page = nameOf(child);
        if ((inNumber != 0 && pages == inNumber) || (page && page->getName() == inName)) {
            outIndex = i;
            outNumber = pages;
            return true;
        }
    }
    return false;
}

} // namespace

Link::Kind Link::getKind() const
{
    if (m_text.isEmpty())
        return lkEmpty;
    if (m_text[0] != '#')
        return lkExternal;
    uint32_t number = 0;
    return readPageNumber(m_text.substr(1), number) ? lkPageNumber : lkPageName;
}

String Link::getPageName() const
{
    if (getKind() != lkPageName)
        return String();
    const uint32_t length = m_text.getLength();
    for (uint32_t i = length; i > 1; --i) {
        if (m_text[i - 1] == '/')
            return m_text.substr(i);
    }
    return m_text.substr(1);
}

void Link::setLink(const Chunk* inPage)
{
    if (!isPage(inPage))
        MVX_THROW(errInvalidParam, "Not a valid DJVU chunk!", "Morvenix::DjVu::Link::setLink");
    const Nameable* page = nameOf(inPage);
    if (!page)
        MVX_THROW(errInvalidParam, "Not a Nameable object!", "Morvenix::DjVu::Link::setLink");
    m_text = String("#") + page->getName();
}

uint32_t Link::getPageChunkIndex(const Chunk* inDocument) const
{
    const Kind kind = getKind();
    if (kind == lkEmpty || kind == lkExternal)
        return notFound;
    String rest = m_text.substr(1);
    uint32_t number = 0;
    if (!readPageNumber(rest, number))
        rest = getPageName();
    checkDocument(inDocument, "Morvenix::DjVu::Link::getPageChunkIndex");
    uint32_t index = 0, page = 0;
    return findPage(inDocument, number, rest, index, page) ? index : notFound;
}

uint32_t Link::getPageNumber(const Chunk* inDocument) const
{
    const Kind kind = getKind();
    if (kind == lkEmpty || kind == lkExternal)
        return 0;
    const String rest = m_text.substr(1);
    uint32_t number = 0;
    if (readPageNumber(rest, number))
        return number;
    checkDocument(inDocument, "Morvenix::DjVu::Link::getPageNumber");
    uint32_t index = 0, page = 0;
    return findPage(inDocument, 0, rest, index, page) ? page : 0;
}

} // namespace DjVu
} // namespace Morvenix
