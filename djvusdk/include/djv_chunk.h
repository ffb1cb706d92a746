// The in-memory tree of IFF chunks that holds a DjVu document: leaves with a payload, FORM collections
// with ordered children, and redirectors that let one chunk appear at several places of a tree.
#pragma once

#include "djv_data.h"
#include "mvx_referable.h"
#include "mvx_simplearray.h"
#include "mvx_stream.h"
#include "mvx_string.h"
#include "mvx_syncobjs.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {

class Chunk;

// An opaque object that may be attached to a document root; the chunk tree only keeps it.
class SecurityProvider : public Referable {
public:
    ~SecurityProvider() override {}
};

// Called once for every chunk that load visits, after the chunk's own subtree.
typedef void (*ChunkLoadCallback)(void* inContext, Chunk* inChunk);

// The component name of a collection: its file name when a document is written as separate files, and the
// target of "#name" page links.
class Nameable {
public:
    virtual ~Nameable() {}
    virtual String getName() const = 0;
    virtual void setName(const String& inName) = 0;
};

// None of the operations locks by itself: a caller that shares a tree between threads locks the chunks it
// works on (a redirector's lock is its target's).
class Chunk : public Referable, public Lockable {
public:
    typedef SimpleArray<AutoPtr<Chunk>, 1> Children;
    static constexpr uint32_t notFound = 0xFFFFFFFFu;

    ~Chunk() override {}
    // The four-character chunk id, or the form type of a collection.
    virtual String getId() const = 0;
    // Leaves only (null when the leaf has no payload yet); a collection throws errNotSupported.
    virtual AutoPtr<Data> getData() const = 0;
    virtual AutoPtr<Data> getData() = 0;
    // Leaves only; null makes the leaf unloaded.
    virtual void setData(const AutoPtr<Data>& inData) = 0;
    // Collections only; callers add, remove and reorder children by editing this array. A leaf throws
    // errOperationFailed.
    virtual Children& getChildren() = 0;
    virtual const Children& getChildren() const = 0;
    // The index of the first child after inStart (notFound: from the first child) whose id is inId or
    // inAltId, or notFound. With inSkipUnloaded, children that are not loaded are passed over. An empty
    // inAltId matches nothing.
    virtual uint32_t find(const String& inId, const String& inAltId, uint32_t inStart, bool inSkipUnloaded) = 0;
    virtual uint32_t find(const String& inId, uint32_t inStart, bool inSkipUnloaded) = 0;
    virtual bool isRedirector() const = 0;
    // A leaf while it has a payload; a collection when every child is.
    virtual bool isLoaded() const = 0;
    virtual bool isCollection() const = 0;
    // Loads the subtree in post-order, calling inCallback (when given) for each chunk after its children.
    // Failures pass through; what was loaded stays loaded.
    virtual void load(ChunkLoadCallback inCallback, void* inContext) = 0;
    // Renames the components of a "DJVM" document and rewrites the page links that name them; nothing for
    // other chunks (djv_link.h).
    virtual void updateLinks() = 0;
    // Gives up spare capacity throughout the subtree.
    virtual void compact() = 0;
    // Collections only (a leaf throws errOperationFailed); null clears the provider.
    virtual void setSecurityProvider(SecurityProvider* inProvider) = 0;
    // Not referenced for the caller; null for a leaf.
    virtual SecurityProvider* getSecurityProvider() const = 0;

    // A leaf without payload.
    static AutoPtr<Chunk> create(const String& inId);
    // A leaf whose payload is a MemoryData holding a copy of the bytes.
    static AutoPtr<Chunk> createFromBytes(const String& inId, const void* inBytes, uint32_t inSize);
    // A leaf whose payload is a MemoryData holding everything the source delivers.
    static AutoPtr<Chunk> createWithMemoryData(const String& inId, Stream& inSource);
};

// Mixed into the leaves that the system's own encoders produce; the flag is set from creation.
class ChunkEncoded {
public:
    virtual bool isEncoded() const = 0;
    virtual void clearEncoded() = 0;
    virtual ~ChunkEncoded() {}

    // A leaf without payload, marked as encoded.
    static AutoPtr<Chunk> create(const String& inId);
};

// Stands in a tree for a chunk that lives elsewhere: every chunk operation, and the lock, go to the target.
class ChunkRedirector : public Chunk {
public:
    virtual AutoPtr<Chunk> getTarget() const = 0;
    virtual AutoPtr<Chunk> getTarget() = 0;
    // The redirector's own id; the id of the chunk it stands for is getId.
    virtual String getRedirectorId() const = 0;

    // A target that is itself a redirector is followed to the chunk at the end of the chain, so a
    // redirector always points at a chunk that is not one. A null target throws errInvalidParam.
    static AutoPtr<ChunkRedirector> create(const AutoPtr<Chunk>& inTarget);
    static AutoPtr<ChunkRedirector> createWithId(const AutoPtr<Chunk>& inTarget, const String& inId);
};

// An IFF FORM ("DJVM" document, "DJVU" page, "DJVI" shared component) with ordered children.
class ChunkCollection : public Chunk, public Nameable {
public:
    // Empty, named by a new GUID text followed by ".iff".
    static AutoPtr<ChunkCollection> create(const String& inFormType);
};

} // namespace DjVu
} // namespace Morvenix
