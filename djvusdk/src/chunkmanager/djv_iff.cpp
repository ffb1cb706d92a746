// The DjVu file writer: IFF framing with back-patched lengths, the "DIRM" directory of multi-page
// documents, shared chunks turned into "DJVI" components that pages include through "INCL" chunks, and
// the indirect form with one file per component.
#include "djv_iff.h"

#include "djv_bzz.h"
#include "mvx_diskstorage.h"
#include "mvx_exception.h"
#include "mvx_guid.h"
#include "mvx_memstorage.h"
#include "mvx_simplearray.h"
#include "mvx_syncobjs.h"

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#define MVX_SOURCE "djv_iff"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;

namespace {

const char* const serializeName = "Morvenix::DjVu::IFF::serialize";

// Real documents nest three or four FORMs deep; the limit only keeps a runaway tree off the stack.
const size_t maxDepth = 256;

const uint64_t max32 = 0xFFFFFFFFu;
const uint64_t max24 = 0xFFFFFFu;
const uint32_t maxComponents = 0xFFFFu;

void progress(IFF::ProgressCallback inCallback, void* inContext, uint32_t inDone, uint32_t inTotal)
{
    if (inCallback)
        inCallback(inContext, inDone, inTotal);
}

void putBytes(Stream& out, const char* inBytes, uint32_t inSize) { out.writeBytes(inBytes, inSize); }

void putByte(Stream& out, unsigned inValue)
{
    const unsigned char b = static_cast<unsigned char>(inValue);
    out.writeBytes(&b, 1);
}

void put16(Stream& out, uint32_t inValue)
{
    const unsigned char b[2] = {static_cast<unsigned char>(inValue >> 8), static_cast<unsigned char>(inValue)};
    out.writeBytes(b, 2);
}

void put24(Stream& out, uint32_t inValue)
{
    const unsigned char b[3] = {static_cast<unsigned char>(inValue >> 16), static_cast<unsigned char>(inValue >> 8),
                                static_cast<unsigned char>(inValue)};
    out.writeBytes(b, 3);
}

void put32(Stream& out, uint32_t inValue)
{
    const unsigned char b[4] = {static_cast<unsigned char>(inValue >> 24), static_cast<unsigned char>(inValue >> 16),
                                static_cast<unsigned char>(inValue >> 8), static_cast<unsigned char>(inValue)};
    out.writeBytes(b, 4);
}

// IFF chunks begin at even positions; the gap byte is 0.
void padToEven(Storage& out)
{
    if (out.getPos() & 1)
        putByte(out, 0);
}

[[noreturn]] void tooLarge(const char* inWhat, uint64_t inValue, uint64_t inLimit)
{
    MVX_THROW(errBufferOverflow,
              String::format("%s is %llu, more than its field holds (%llu)", inWhat, (unsigned long long)inValue,
                             (unsigned long long)inLimit),
              serializeName);
}

void checkFits(const char* inWhat, uint64_t inValue, uint64_t inLimit)
{
    if (inValue > inLimit)
        tooLarge(inWhat, inValue, inLimit);
}

// TreeCheck has made sure every id is four bytes long.
void putId(Storage& out, const String& inId) { putBytes(out, inId.c_str(), 4); }

// The FORM length counts the form type and the children, never a pad byte after the last child.
void patchFormLength(Storage& out, uint64_t inStart)
{
    const uint64_t end = out.getPos();
    checkFits("the length of a FORM", end - inStart - 8, max32);
    out.setPos(inStart + 4);
    put32(out, uint32_t(end - inStart - 8));
    out.setPos(end);
}

void writeIncl(Storage& out, const String& inName)
{
    padToEven(out);
    putBytes(out, "INCL", 4);
    put32(out, inName.getLength());
    putBytes(out, inName.c_str(), inName.getLength());
}

// The chunk a redirector stands for, or the chunk itself: the identity of shared chunks and collections.
Chunk* finalChunk(Chunk& inChunk)
{
    if (ChunkRedirector* redirector = dynamic_cast<ChunkRedirector*>(&inChunk))
        return redirector->getTarget().get();
    return &inChunk;
}

} // namespace

// Names the shared components of one serialize call: the first redirector to a target decides its name,
// every later reference reuses it.
class InclMap {
public:
    String getName(Chunk& inChunk, bool* outNew = nullptr)
    {
        ChunkRedirector* redirector = dynamic_cast<ChunkRedirector*>(&inChunk);
        Chunk* key = finalChunk(inChunk);
        std::map<Chunk*, String>::const_iterator known = m_names.find(key);
        if (known != m_names.end()) {
            if (outNew)
                *outNew = false;
            return known->second;
        }
        String name = redirector ? redirector->getRedirectorId() : String();
        if (name.isEmpty()) {
            const String id = key->getId();
            // "ANTz" and "ANTa" share the word "anno" and so one counter, which keeps their names apart.
            const char* word = id == "Djbz" ? "dict" : (id == "ANTz" || id == "ANTa") ? "anno" : "chunk";
            name = String::format("%s%04u.iff", word, ++m_counters[word]);
        }
        m_names[key] = name;
        if (outNew)
            *outNew = true;
        return name;
    }

private:
    std::map<std::string, uint32_t> m_counters;
    std::map<Chunk*, String> m_names;
};

// Refuses, before anything is written, a tree that cannot be written: a collection placed within itself
// (which would recurse for ever), nesting deep enough to exhaust the stack, a leaf without payload and
// an id that is not four bytes long.
class TreeCheck {
public:
    void check(Chunk& inChunk)
    {
        checkId(inChunk.getId());
        if (!inChunk.isCollection()) {
            if (!inChunk.getData())
                MVX_THROW(errInvalidParam,
                          String::format("chunk \"%s\" holds no payload", inChunk.getId().c_str()), serializeName);
            return;
        }
        Chunk* self = finalChunk(inChunk);
        for (const Chunk* outer : m_open) {
            if (outer == self)
                MVX_THROW(errInvalidParam,
                          String::format("the collection \"%s\" contains itself", self->getId().c_str()),
                          serializeName);
        }
        if (m_open.size() >= maxDepth)
            MVX_THROW(errInvalidParam, String::format("collections nest deeper than %u levels", unsigned(maxDepth)),
                      serializeName);
        m_open.push_back(self);
        Chunk::Children& children = inChunk.getChildren();
        for (uint32_t i = 0; i < children.count(); ++i) {
            AutoPtr<Chunk> child = children[i];
            if (child)
                check(*child);
        }
        m_open.pop_back();
    }

private:
    static void checkId(const String& inId)
    {
        if (inId.getLength() != 4)
            MVX_THROW(errInvalidParam, String::format("chunk id \"%s\" is not four bytes long", inId.c_str()),
                      serializeName);
    }

    std::vector<const Chunk*> m_open;
};

// Writes chunks, checked by TreeCheck, with their IFF framing. With a naming table, redirectors to leaves
// become "INCL" chunks; without one every redirector is written in place as its target.
class ChunkWriter {
public:
    explicit ChunkWriter(InclMap* inNames) : m_names(inNames) {}

    // Returns the position of the chunk's first byte (after any pad byte).
    uint64_t writeChunk(Storage& out, Chunk& inChunk)
    {
        padToEven(out);
        const uint64_t start = out.getPos();
        if (inChunk.isCollection()) {
            putBytes(out, "FORM****", 8);
            putId(out, inChunk.getId());
            Chunk::Children& children = inChunk.getChildren();
            for (uint32_t i = 0; i < children.count(); ++i) {
                AutoPtr<Chunk> child = children[i];
                if (child)
                    writeChunk(out, *child);
            }
            patchFormLength(out, start);
            return start;
        }
        if (m_names && inChunk.isRedirector()) {
            writeIncl(out, m_names->getName(inChunk));
            return start;
        }
        writeLeaf(out, inChunk);
        return start;
    }

    // The targets of the redirectors to leaves within inChunk that the naming table had not named yet,
    // depth first.
    void collectSharedTargets(Chunk& inChunk, std::vector<AutoPtr<Chunk>>& ioTargets)
    {
        if (inChunk.isCollection()) {
            Chunk::Children& children = inChunk.getChildren();
            for (uint32_t i = 0; i < children.count(); ++i) {
                AutoPtr<Chunk> child = children[i];
                if (child)
                    collectSharedTargets(*child, ioTargets);
            }
            return;
        }
        ChunkRedirector* redirector = dynamic_cast<ChunkRedirector*>(&inChunk);
        bool isNew = false;
        if (redirector && m_names) {
            m_names->getName(inChunk, &isNew);
            if (isNew)
                ioTargets.push_back(redirector->getTarget());
        }
    }

private:
    static void writeLeaf(Storage& out, Chunk& inChunk)
    {
        const String id = inChunk.getId();
        AutoPtr<Data> data = inChunk.getData();
        const uint32_t size = data->getSize();
        putId(out, id);
        put32(out, size);
        AutoPtr<Storage> source = data->getReadStorage(false);
        if (source) {
            // The length is already written: a payload storage that delivers another count would break
            // every chunk after it.
            if (out.copyAll(*source, 1024, nullptr, nullptr) != size)
                MVX_THROW(errDataBroken,
                          String::format("the payload of chunk \"%s\" does not match its size", id.c_str()),
                          serializeName);
        } else if (size) {
            out.writeBytes(data->getBuffer(), size);
        }
    }

    InclMap* m_names;
};

struct ChunkInfo {
    String name;
    AutoPtr<Chunk> chunk;
    uint32_t offset;
    uint32_t size;
    AutoPtr<Storage> storage;
};

// One multi-page document, bundled or indirect: the components go to a temporary file (bundled) or to
// their own files (indirect) first, and only then is the output written, directory first.
class DocumentWriter {
public:
    DocumentWriter(Storage& out, StorageLocator* inLocator, uint32_t inMode)
        : m_out(out), m_locator(inLocator), m_mode(inMode), m_chunks(&m_names), m_components(0, 0, nullptr, 128)
    {
    }

    void write(Chunk& inDocument, IFF::ProgressCallback inCallback, void* inContext)
    {
        Chunk::Children& children = inDocument.getChildren();
        if (m_mode == IFF::smBundled)
            m_temp = DiskStorage::createTemp();
        const uint32_t n = children.count();
        for (uint32_t i = 0; i < n; ++i) {
            progress(inCallback, inContext, i, n);
            AutoPtr<Chunk> child = children[i];
            if (!child)
                continue;
            String name;
            if (child->isCollection()) {
                writeSharedComponents(*child);
                name = collectionName(*child);
            } else if (child->getId() == "NAVM") {
                continue;
            } else {
                name = Guid(true).toString();
            }
            writeComponent(*child, name);
        }
        progress(inCallback, inContext, n, n);

        AutoPtr<MemoryStorage> directory = makeDirectoryPayload();
        AutoPtr<MemoryStorage> leading = makeLeadingLeaves(inDocument);
        writeOutput(*directory, *leading);
    }

private:
    static String collectionName(Chunk& inCollection)
    {
        Nameable* nameable = dynamic_cast<Nameable*>(finalChunk(inCollection));
        if (!nameable)
            MVX_THROW(errInvalidParam, "a component collection has no name", serializeName);
        return nameable->getName();
    }

    void writeSharedComponents(Chunk& inComponent)
    {
        std::vector<AutoPtr<Chunk>> targets;
        m_chunks.collectSharedTargets(inComponent, targets);
        for (const AutoPtr<Chunk>& target : targets) {
            AutoPtr<ChunkCollection> shared = ChunkCollection::create("DJVI");
            shared->getChildren().append(target);
            writeComponent(*shared, m_names.getName(*target));
        }
    }

    // Refuses what would make a broken directory (or, through the locator, a wrong file) before anything
    // is written for the component.
    void claimName(const String& inName)
    {
        if (inName.isEmpty() || std::memchr(inName.c_str(), 0, inName.getLength()))
            MVX_THROW(errInvalidParam, "a component name is empty or holds a NUL byte", serializeName);
        if (!m_used.insert(std::string(inName.c_str(), inName.getLength())).second)
            MVX_THROW(errInvalidParam, String::format("two components are named \"%s\"", inName.c_str()),
                      serializeName);
        if (m_components.count() >= maxComponents)
            tooLarge("the number of components", uint64_t(m_components.count()) + 1, maxComponents);
    }

    void writeComponent(Chunk& inChunk, const String& inName)
    {
        claimName(inName);
        ChunkInfo info;
        info.name = inName;
        info.chunk = &inChunk;
        info.offset = 0;
        info.size = 0;
        if (m_mode == IFF::smIndirect) {
            info.storage = openComponent(inName);
            m_chunks.writeChunk(*info.storage, inChunk);
        } else {
            const uint64_t start = m_chunks.writeChunk(*m_temp, inChunk);
            const uint64_t size = m_temp->getPos() - start;
            checkFits("the offset of a component", start, max32);
            checkFits(String::format("the size of component \"%s\"", inName.c_str()).c_str(), size, max24);
            info.offset = uint32_t(start);
            info.size = uint32_t(size);
        }
        m_components.append(info);
    }

    AutoPtr<Storage> openComponent(const String& inName)
    {
        AutoPtr<Storage> storage = m_locator->open(inName);
        putBytes(*storage, "AT&T", 4);
        return storage;
    }

    AutoPtr<MemoryStorage> makeDirectoryPayload()
    {
        AutoPtr<MemoryStorage> payload = MemoryStorage::create();
        AutoPtr<DeflateStream> bzz = DeflateStream::create(AutoPtr<Stream>(payload), 1024, 16);
        const uint32_t m = m_components.count();
        for (uint32_t i = 0; i < m; ++i)
            put24(*bzz, m_components[i].size);
        if (m) {
            std::vector<unsigned char> flags(m);
            for (uint32_t i = 0; i < m; ++i) {
                const String id = m_components[i].chunk->getId();
                flags[i] = id == "DJVU" ? 1 : id == "THUM" ? 2 : 0;
            }
            bzz->writeBytes(flags.data(), m);
        }
        for (uint32_t i = 0; i < m; ++i)
            bzz->writeBytes(m_components[i].name.c_str(), m_components[i].name.getLength() + 1);
        bzz->flushBuffer();
        return payload;
    }

    // The leaves before the first page go right after the directory; that is where readers look for the
    // outline. An outline placed after a page is moved there too rather than dropped.
    AutoPtr<MemoryStorage> makeLeadingLeaves(Chunk& inDocument)
    {
        AutoPtr<MemoryStorage> leading = MemoryStorage::create();
        ChunkWriter inPlace(nullptr);
        Chunk::Children& children = inDocument.getChildren();
        bool pastFirstCollection = false;
        for (uint32_t i = 0; i < children.count(); ++i) {
            AutoPtr<Chunk> child = children[i];
            if (!child)
                continue;
            if (child->isCollection())
                pastFirstCollection = true;
            else if (!pastFirstCollection || child->getId() == "NAVM")
                inPlace.writeChunk(*leading, *child);
        }
        return leading;
    }

    void writeOutput(MemoryStorage& inDirectory, MemoryStorage& inLeading)
    {
        const uint32_t m = m_components.count();
        const bool bundled = m_mode == IFF::smBundled;
        uint64_t h = inDirectory.getSize() + 27 + (bundled ? 4 * uint64_t(m) : 0);
        const bool padAfterDirectory = h & 1;
        h += padAfterDirectory;
        bool padAfterLeading = false;
        if (inLeading.getSize()) {
            h += inLeading.getSize();
            padAfterLeading = h & 1;
            h += padAfterLeading;
        }
        const uint64_t total = h + (bundled ? m_temp->getSize() : 0);
        checkFits("the length of the document FORM", total - 12, max32);
        if (bundled) {
            for (uint32_t i = 0; i < m; ++i)
                checkFits("the offset of a component", m_components[i].offset + h, max32);
        }

        putBytes(m_out, "AT&TFORMxxxxDJVMDIRMxxxx", 24);
        putByte(m_out, bundled ? 0x81 : 0x01);
        put16(m_out, m);
        if (bundled) {
            for (uint32_t i = 0; i < m; ++i)
                put32(m_out, uint32_t(m_components[i].offset + h));
        }
        inDirectory.setPos(0);
        m_out.copyAll(inDirectory, 1024, nullptr, nullptr);
        uint64_t p = m_out.getPos();
        m_out.setPos(20);
        put32(m_out, uint32_t(p - 24));
        m_out.setPos(p);
        if (padAfterDirectory)
            putByte(m_out, 0);
        if (inLeading.getSize()) {
            inLeading.setPos(0);
            m_out.copyAll(inLeading, 1024, nullptr, nullptr);
            if (padAfterLeading)
                putByte(m_out, 0);
        }
        if (bundled) {
            m_temp->setPos(0);
            m_out.copyAll(*m_temp, 1024, nullptr, nullptr);
        }
        p = m_out.getPos();
        m_out.setPos(8);
        put32(m_out, uint32_t(p - 12));
        m_out.setPos(p);
    }

    Storage& m_out;
    StorageLocator* m_locator;
    const uint32_t m_mode;
    InclMap m_names;
    ChunkWriter m_chunks;
    SimpleArray<ChunkInfo, 1> m_components;
    std::set<std::string> m_used;
    AutoPtr<DiskStorage> m_temp;
};

namespace {

void writeDocument(Storage& out, Chunk& inDocument, IFF::ProgressCallback inCallback, void* inContext,
                   uint32_t inMode, StorageLocator* inLocator)
{
    // The directory and the document length are patched at absolute positions 20 and 8, and the offsets
    // count from position 0: anything already in out would be overwritten or shift every offset.
    if (out.getPos() != 0 || out.getSize() != 0)
        MVX_THROW(errInvalidParam, "a document is written only into an empty output", serializeName);
    AutoPtr<StorageLocator> defaultLocator;
    if (inMode == IFF::smIndirect && !inLocator) {
        defaultLocator = StorageLocator::create(out.getName());
        inLocator = defaultLocator.get();
    }
    DocumentWriter(out, inLocator, inMode).write(inDocument, inCallback, inContext);
}

void writeSinglePage(Storage& out, Chunk& inPage, IFF::ProgressCallback inCallback, void* inContext)
{
    progress(inCallback, inContext, 0, 1);
    putBytes(out, "AT&T", 4);
    ChunkWriter(nullptr).writeChunk(out, inPage);
    progress(inCallback, inContext, 1, 1);
}

// The first page of a document that is written as a single page (one page, no outline), or null when it
// has two pages or an outline and must be written bundled.
AutoPtr<Chunk> soleOutlineFreePage(Chunk& inDocument)
{
    AutoPtr<Chunk> first;
    uint32_t pages = 0;
    Chunk::Children& children = inDocument.getChildren();
    for (uint32_t i = 0; i < children.count(); ++i) {
        AutoPtr<Chunk> child = children[i];
        if (!child)
            continue;
        const String id = child->getId();
        if (id == "NAVM")
            return AutoPtr<Chunk>();
        if (id == "DJVU" && child->isCollection()) {
            if (++pages == 2)
                return AutoPtr<Chunk>();
            first = child;
        }
    }
    if (!first)
        MVX_THROW(errInvalidParam, "the document holds neither a page nor an outline", serializeName);
    return first;
}

} // namespace

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {
namespace IFF {

using namespace _Mvx_Internal_NS_;

void serialize(Storage* out, Chunk* inChunk, ProgressCallback callback, void* context, uint32_t mode,
               StorageLocator* locator, SecurityProvider*)
{
    if (!inChunk)
        MVX_THROW(errInvalidParam, "inChunk is NULL!", serializeName);
    if (!out)
        MVX_THROW(errInvalidParam, "out is NULL!", serializeName);
    if (mode > smTreeOnly)
        MVX_THROW(errInvalidParam, String::format("IFF::serialize: unknown mode %u.", mode), serializeName);
    AutoLock rootLock(static_cast<Lockable*>(inChunk));
    TreeCheck().check(*inChunk);
    if (mode == smTreeOnly) {
        progress(callback, context, 0, 1);
        ChunkWriter(nullptr).writeChunk(*out, *inChunk);
        progress(callback, context, 1, 1);
        return;
    }
    const String id = inChunk->getId();
    const bool collection = inChunk->isCollection();
    if (collection && id == "DJVM") {
        if (mode == smSinglePage)
            MVX_THROW(errInvalidParam,
                      "IFF::serialize cannot serialize DJVM chunk without IFF::smBundled or IFF::smIndirect.",
                      serializeName);
        if (mode == smDefault) {
            AutoPtr<Chunk> page = soleOutlineFreePage(*inChunk);
            if (page) {
                writeSinglePage(*out, *page, callback, context);
                return;
            }
            mode = smBundled;
        }
        writeDocument(*out, *inChunk, callback, context, mode, locator);
        return;
    }
    if (collection && id == "DJVU") {
        if (mode == smDefault || mode == smSinglePage) {
            writeSinglePage(*out, *inChunk, callback, context);
            return;
        }
        AutoPtr<ChunkCollection> document = ChunkCollection::create("DJVM");
        document->getChildren().append(AutoPtr<Chunk>(inChunk));
        writeDocument(*out, *document, callback, context, mode, locator);
        return;
    }
    MVX_THROW(errInvalidParam,
              String::format("IFF::serialize cannot write a \"%s\" root except with IFF::smTreeOnly.", id.c_str()),
              serializeName);
}

} // namespace IFF
} // namespace DjVu
} // namespace Morvenix
