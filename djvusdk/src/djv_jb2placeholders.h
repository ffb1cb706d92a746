// Leaf chunks of a page group whose bytes the group's JB2 encoder writes only when they are first asked
// for (or when the page encoder flushes the group): the shared dictionary "Djbz", a page's "Sjbz" and a
// page's "FGbz".
#pragma once

#include "djv_chunk.h"
#include "djv_jb2encoder.h"
#include "mvx_syncobjs.h"

#include <cstdint>

namespace _Mvx_Internal_NS_ {

class ChunkBase : public Morvenix::DjVu::Chunk {
public:
    Morvenix::String getId() const override { return m_id; }
    // Encodes a pending placeholder first; a dropped one answers null.
    Morvenix::AutoPtr<Morvenix::DjVu::Data> getData() const override;
    Morvenix::AutoPtr<Morvenix::DjVu::Data> getData() override;
    void setData(const Morvenix::AutoPtr<Morvenix::DjVu::Data>& inData) override { m_data = inData; }

    Children& getChildren() override;
    const Children& getChildren() const override;
    uint32_t find(const Morvenix::String&, const Morvenix::String&, uint32_t, bool) override;
    uint32_t find(const Morvenix::String&, uint32_t, bool) override;

    bool isRedirector() const override { return false; }
    bool isLoaded() const override { return bool(m_data); }
    bool isCollection() const override { return false; }
    // Never encodes: only a payload that is there is loaded.
    void load(Morvenix::DjVu::ChunkLoadCallback inCallback, void* inContext) override;
    void updateLinks() override {}
    void compact() override;
    void setSecurityProvider(Morvenix::DjVu::SecurityProvider*) override;
    Morvenix::DjVu::SecurityProvider* getSecurityProvider() const override { return nullptr; }

    void lock() override { m_mutex.lock(); }
    void unlock() override { m_mutex.unlock(); }

    // Asks the JB2 encoder for the bytes once, then lets go of it; nothing once encoded or discarded. A
    // failure leaves the placeholder pending.
    void encode();
    // Lets go of the JB2 encoder without producing bytes.
    void discard() { m_encoder.reset(); }
    // True once the bytes were asked of the JB2 encoder, even when it failed to make them: it has built its
    // dictionary then, and takes no more pages.
    bool wasAsked() const { return m_asked; }

protected:
    ChunkBase(const Morvenix::String& inId, const Morvenix::AutoPtr<Morvenix::DjVu::JB2::JB2Encoder>& inEncoder)
        : m_id(inId), m_encoder(inEncoder)
    {
    }
    virtual void write(Morvenix::DjVu::JB2::JB2Encoder& ioEncoder,
                       const Morvenix::AutoPtr<Morvenix::Stream>& outStream) = 0;

private:
    Morvenix::AutoPtr<Morvenix::DjVu::Data> m_data;
    Morvenix::String m_id;
    Morvenix::Mutex m_mutex;
    Morvenix::AutoPtr<Morvenix::DjVu::JB2::JB2Encoder> m_encoder;
    bool m_asked = false;
};

class ChunkDjbz : public ChunkBase {
public:
    ChunkDjbz(const Morvenix::String& inId, const Morvenix::AutoPtr<Morvenix::DjVu::JB2::JB2Encoder>& inEncoder)
        : ChunkBase(inId, inEncoder)
    {
    }

protected:
    void write(Morvenix::DjVu::JB2::JB2Encoder& ioEncoder, const Morvenix::AutoPtr<Morvenix::Stream>& outStream) override
    {
        ioEncoder.encodeDjbz(outStream);
    }
};

// A placeholder for one page of the group: pageIndex counts the pages the JB2 encoder received, from 0.
template <void (Morvenix::DjVu::JB2::JB2Encoder::*Write)(uint32_t, const Morvenix::AutoPtr<Morvenix::Stream>&)>
class ChunkOfPage : public ChunkBase {
public:
    ChunkOfPage(const Morvenix::String& inId, const Morvenix::AutoPtr<Morvenix::DjVu::JB2::JB2Encoder>& inEncoder,
                uint32_t inPageIndex)
        : ChunkBase(inId, inEncoder), m_pageIndex(inPageIndex)
    {
    }

protected:
    void write(Morvenix::DjVu::JB2::JB2Encoder& ioEncoder, const Morvenix::AutoPtr<Morvenix::Stream>& outStream) override
    {
        (ioEncoder.*Write)(m_pageIndex, outStream);
    }

private:
    uint32_t m_pageIndex;
};

typedef ChunkOfPage<&Morvenix::DjVu::JB2::JB2Encoder::encodeSjbz> ChunkSjbz;
typedef ChunkOfPage<&Morvenix::DjVu::JB2::JB2Encoder::encodeFGbz> ChunkFGbz;

} // namespace _Mvx_Internal_NS_
