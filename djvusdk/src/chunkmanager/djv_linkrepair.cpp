// Renaming the components of a document and rewriting the page links of its outline and annotations.
#include "djv_linkrepair.h"

#include "djv_annoparse.h"
#include "djv_annotation.h"
#include "djv_bookmark.h"
#include "djv_link.h"
#include "djv_mapareaparser.h"
#include "djv_pageinforeader.h"
#include "mvx_exception.h"
#include "mvx_guid.h"

#include <map>
#include <set>
#include <vector>

#define MVX_SOURCE "djv_linkrepair"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;

namespace {

const char* const kFunction = "Morvenix::DjVu::ChunkCollection::updateLinks";

String newComponentName() { return Guid(true).toString() + ".iff"; }

// The chunk that holds the data, through a redirector.
Chunk* storedChunk(Chunk* inChunk)
{
    return inChunk->isRedirector() ? static_cast<ChunkRedirector*>(inChunk)->getTarget().get() : inChunk;
}

// Plans the repair in full, then applies it; applying only assigns what planning made.
class LinkRepair {
public:
    explicit LinkRepair(Chunk& ioDocument) : m_document(ioDocument) {}

    void plan()
    {
        Chunk::Children& children = m_document.getChildren();
        // The first page of each name, as a link by name finds it.
        for (uint32_t i = 0; i < children.count(); ++i) {
            const Chunk* child = children[i].get();
            const Nameable* named = dynamic_cast<const Nameable*>(child);
            if (named && child->getId() == String("DJVU"))
                m_pageByName.emplace(named->getName(), i);
        }
        planOutline();
        // Each page form once, even when a redirector stands for it as well.
        std::vector<Chunk*> pages;
        std::set<const Chunk*> seenPages;
        for (uint32_t i = 0; i < children.count(); ++i) {
            Chunk* child = children[i].get();
            // A "DJVU" leaf is not a page form: it holds no annotations.
            if (child && child->getId() == String("DJVU") && child->isCollection() &&
                seenPages.insert(storedChunk(child)).second)
                pages.push_back(child);
        }
        // An annotation that more than one place shows (through redirectors, or the same chunk in two
        // pages) must be repaired where it is stored, or the other places keep the old links.
        for (Chunk* page : pages) {
            for (uint32_t at : annotationsOf(*page)) {
                Chunk* chunk = page->getChildren()[at].get();
                m_uses[storedChunk(chunk)] += chunk->isRedirector() ? 2 : 1;
            }
        }
        for (Chunk* page : pages)
            planPage(*page);
        // Names are chosen for every component that stays, so that applying cannot fail halfway.
        for (uint32_t i = 0; i < children.count(); ++i) {
            Chunk* child = children[i].get();
            if (!child || !child->isCollection() || child->getId() == String("DJVI"))
                continue;
            if (dynamic_cast<Nameable*>(child))
                m_renames.push_back(Rename{children[i], nameFor(child)});
        }
    }

    void apply()
    {
        for (Replacement& r : m_replacements)
            r.parent->getChildren()[r.index] = r.chunk;
        for (Payload& p : m_payloads)
            p.chunk->setData(p.data);
        Chunk::Children& children = m_document.getChildren();
        for (uint32_t i = children.count(); i > 0; --i) {
            if (children[i - 1] && children[i - 1]->getId() == String("DJVI"))
                children.remove(i - 1, 1);
        }
        for (Rename& r : m_renames)
            dynamic_cast<Nameable*>(r.chunk.get())->setName(r.name);
    }

private:
    struct Replacement {
        AutoPtr<Chunk> parent;
        uint32_t index;
        AutoPtr<Chunk> chunk;
    };
    struct Payload {
        AutoPtr<Chunk> chunk;
        AutoPtr<Data> data;
    };
    struct Rename {
        AutoPtr<Chunk> chunk;
        String name;
    };

    String nameFor(const Chunk* inPage)
    {
        std::map<const Chunk*, String>::iterator found = m_names.find(inPage);
        if (found != m_names.end())
            return found->second;
        String name = newComponentName();
        m_names[inPage] = name;
        return name;
    }

    // Only links by name are rewritten: numbers and external addresses do not change with the names.
    bool repairLink(String& ioUrl)
    {
        Link link(ioUrl);
        if (link.getKind() != Link::lkPageName)
            return false;
        // Looked up rather than found by getPageChunkIndex, whose walk over the pages for every link would
        // make the repair grow with links times pages.
        std::map<String, uint32_t>::const_iterator page = m_pageByName.find(link.getPageName());
        if (page == m_pageByName.end())
            return false;
        ioUrl = String("#") + nameFor(m_document.getChildren()[page->second].get());
        return true;
    }

    // A page without width or height keeps its "maparea" expressions as text: their links are repaired in
    // that text, taken as the reader takes them from "(maparea url ...)" or "(maparea (url url target) ...)",
    // so that the page, once it has a size, reads them leading to the same pages.
    bool repairKeptMapArea(String& ioExpression)
    {
        AutoPtr<AnnoParse::ElementArray> parsed = AnnoParse::ElementArray::create();
        AnnoParse::parseAnnotationText(*parsed, ioExpression);
        if (parsed->getElements().count() != 1)
            return false;
        AnnoParse::ElementArray* expression = dynamic_cast<AnnoParse::ElementArray*>(parsed->getElements()[0].get());
        if (!expression)
            return false;
        AnnoParse::Elements& items = expression->getElements();
        if (items.count() < 2 || items[0]->toString() != String("maparea"))
            return false;
        AutoPtr<AnnoParse::Element>* url = &items[1];
        if (AnnoParse::ElementArray* withTarget = dynamic_cast<AnnoParse::ElementArray*>(items[1].get())) {
            if (withTarget->getElements().count() != 3)
                return false;
            url = &withTarget->getElements()[1];
        }
        String text = rewriteMapAreaUrl((*url)->toString());
        if (!repairLink(text))
            return false;
        *url = AnnoParse::Element::create(text, true);
        ioExpression = expression->toString();
        return true;
    }

    uint32_t repairOutline(Bookmark& ioEntry)
    {
        uint32_t changed = repairLink(ioEntry.url) ? 1 : 0;
        for (uint32_t i = 0; i < ioEntry.children.count(); ++i) {
            if (ioEntry.children[i])
                changed += repairOutline(*ioEntry.children[i]);
        }
        return changed;
    }

    void planOutline()
    {
        const uint32_t index = m_document.find("NAVM", Chunk::notFound, false);
        if (index == Chunk::notFound)
            return;
        AutoPtr<Bookmark> outline = Bookmark::create(*m_document.getChildren()[index]);
        if (repairOutline(*outline) > 0)
            m_replacements.push_back(Replacement{AutoPtr<Chunk>(&m_document), index, outline->makeNAVM()});
    }

    static std::vector<uint32_t> annotationsOf(Chunk& inPage)
    {
        std::vector<uint32_t> found;
        for (uint32_t at = inPage.find("ANTz", "ANTa", Chunk::notFound, false); at != Chunk::notFound;
             at = inPage.find("ANTz", "ANTa", at, false))
            found.push_back(at);
        return found;
    }

    void planPage(Chunk& ioPage)
    {
        const std::vector<uint32_t> annotations = annotationsOf(ioPage);
        if (annotations.empty())
            return;
        Chunk::Children& children = ioPage.getChildren();
        // Without its page size no map area of the page can be read or placed again.
        const uint32_t infoIndex = ioPage.find("INFO", Chunk::notFound, false);
        if (infoIndex == Chunk::notFound)
            MVX_THROW(errDataBroken, "A page with annotations has no INFO chunk!", kFunction);
        const PageInfo info = readPageInfo(*children[infoIndex]);

        for (uint32_t index : annotations) {
            AutoPtr<Chunk> chunk = children[index];
            Chunk* stored = storedChunk(chunk.get());
            // A shared annotation is repaired once, with the page information of the first page showing it.
            if (!m_repaired.insert(stored).second)
                continue;
            AutoPtr<Annotation> annotation = Annotation::create(*chunk, info);
            uint32_t changed = 0;
            for (uint32_t i = 0; i < annotation->mapAreas.count(); ++i) {
                if (annotation->mapAreas[i] && repairLink(annotation->mapAreas[i]->url))
                    ++changed;
            }
            for (uint32_t i = 0; i < annotation->otherExpressions.count(); ++i) {
                if (repairKeptMapArea(annotation->otherExpressions[i]))
                    ++changed;
            }
            if (changed == 0)
                continue;
            if (m_uses[stored] > 1) {
                // The shared chunk keeps its place and its kind; only its text changes.
                const bool plain = stored->getId() == String("ANTa");
                AutoPtr<Chunk> made = plain ? annotation->makeANTa(info) : annotation->makeANTz(info);
                m_payloads.push_back(Payload{AutoPtr<Chunk>(stored), made->getData()});
            } else {
                m_replacements.push_back(Replacement{AutoPtr<Chunk>(&ioPage), index, annotation->makeANTz(info)});
            }
        }
    }

    Chunk& m_document;
    std::map<String, uint32_t> m_pageByName;
    std::map<const Chunk*, String> m_names;
    std::map<const Chunk*, uint32_t> m_uses;
    std::set<const Chunk*> m_repaired;
    std::vector<Replacement> m_replacements;
    std::vector<Payload> m_payloads;
    std::vector<Rename> m_renames;
};

} // namespace

void repairDocumentLinks(Chunk& ioDocument)
{
    ioDocument.load(nullptr, nullptr);
    LinkRepair repair(ioDocument);
    repair.plan();
    repair.apply();
}

} // namespace _Mvx_Internal_NS_
