// The sparse cached storage: a remote resource read through its loader, every fetched range kept in a
// temporary file and remembered in a sorted list.
#define MVX_SOURCE "mvx_storagecache"

#include "mvx_cachedstorage.h"

#include "mvx_diskstorage.h"
#include "mvx_exception.h"
#include "mvx_format.h"
#include "mvx_simplearray.h"
#include "mvx_syncobjs.h"

namespace Morvenix {

namespace {

typedef Range<uint64_t> ByteRange;

// The temporary file and the list of the ranges it holds, one for a cache and all its duplicates: what
// one of them fetched is known to all, and none loads bytes the list already holds. Loads wait for the
// network outside the file's lock, so two of them that read the same missing bytes at once may both load
// them (the same bytes at the same offsets; merging a range twice changes nothing): waiting for another's
// load would let a slow server hold up every duplicate. Both are used under the file's lock.
class CacheFile : public Referable {
public:
    CacheFile() : backing(DiskStorage::createTemp()), ranges(0, 128, nullptr, 128) {}

    // Byte i of the resource lies at offset i once fetched.
    AutoPtr<DiskStorage> backing;
    SimpleArray<ByteRange, 2> ranges;
};

// What a load writes into: the cache file at positions of its own, each access under the file's lock, so
// that the load waits for the network holding no lock that the file's other users need.
class LoadTarget : public Storage {
public:
    explicit LoadTarget(CacheFile* inFile) : m_file(inFile), m_disk(*inFile->backing), m_pos(0) {}

    uint32_t readBytes(void* outBuffer, uint32_t inSize, bool inExact) override
    {
        AutoLock guard(m_disk);
        m_disk.setPos(m_pos);
        const uint32_t n = m_disk.readBytes(outBuffer, inSize, inExact);
        m_pos += n;
        return n;
    }
    void writeBytes(const void* inBuffer, uint32_t inSize) override
    {
        AutoLock guard(m_disk);
        m_disk.setPos(m_pos);
        m_disk.writeBytes(inBuffer, inSize);
        m_pos += inSize;
    }
    void flushBuffer() override {}
    bool isEof() override { return m_pos >= getSize(); }
    uint64_t getSize() override
    {
        AutoLock guard(m_disk);
        return m_disk.getSize();
    }
    uint64_t getPos() override { return m_pos; }
    void reserve(uint64_t) override {}
    void setPos(uint64_t inPos) override { m_pos = inPos; }
    void setPosRelative(int64_t inOffset) override { m_pos += uint64_t(inOffset); }
    void setPosFromEnd(int64_t inOffset) override { m_pos = getSize() + uint64_t(inOffset); }
    void setEof() override
    {
        MVX_THROW(errNotImplemented, "errNotImplemented", "Morvenix::LoadTarget::setEof");
    }
    String getName() override { return m_disk.getName(); }
    AutoPtr<Storage> duplicate() override { return AutoPtr<Storage>(new LoadTarget(m_file.get())); }
    void lock() override { m_disk.lock(); }
    void unlock() override { m_disk.unlock(); }

private:
    AutoPtr<CacheFile> m_file;
    DiskStorage& m_disk;
    uint64_t m_pos;
};

} // namespace

class AdvCachedStorageImpl : public AdvCachedStorage {
public:
    AdvCachedStorageImpl(StorageLoader* inLoader, CacheFile* inFile)
        : m_loader(inLoader), m_file(inFile), m_backing(*inFile->backing), m_ranges(inFile->ranges),
          m_target(new LoadTarget(inFile)), m_pos(0)
    {
    }

    uint32_t readBytes(void* outBuffer, uint32_t inCount, bool inExact) override;

    void writeBytes(const void*, uint32_t) override
    {
        MVX_THROW(errNotImplemented, "CacheStorage::writeBytes is not implemented!",
                  "Morvenix::AdvCachedStorageImpl::writeBytes");
    }
    void flushBuffer() override {}
    bool isEof() override { return m_pos >= m_loader->getSize(); }

    uint64_t getSize() override { return m_loader->getSize(); }
    uint64_t getPos() override { return m_pos; }
    void reserve(uint64_t) override {}
    void setPos(uint64_t inPos) override { m_pos = inPos; }
    void setPosRelative(int64_t inOffset) override { m_pos += uint64_t(inOffset); }
    void setPosFromEnd(int64_t inOffset) override { m_pos = m_loader->getSize() + uint64_t(inOffset); }
    void setEof() override
    {
        MVX_THROW(errNotImplemented, "CacheStorage::setEof is not implemented!", "Morvenix::AdvCachedStorageImpl::setEof");
    }
    String getName() override { return m_loader->getName(); }
    AutoPtr<Storage> duplicate() override;

    uint32_t setBlockSize(uint32_t inBlockSize) override { return m_loader->setBlockSize(inBlockSize); }
    void setProgressCallback(ProgressCallback inCallback, void* inContext) override
    {
        m_loader->setProgressCallback(inCallback, inContext);
    }
    std::vector<ByteRange> getRanges() override
    {
        AutoLock guard(m_backing);
        return std::vector<ByteRange>(m_ranges.data(), m_ranges.data() + m_ranges.count());
    }
    void healthCheck() override;

    void lock() override { m_mutex.lock(); }
    void unlock() override { m_mutex.unlock(); }

private:
    // The index of the first range that ends after inPos (the count when none does). Ranges are sorted and
    // disjoint, so their ends are sorted too.
    uint32_t findFrom(uint64_t inPos) const
    {
        uint32_t lo = 0, hi = m_ranges.count();
        while (lo < hi) {
            const uint32_t mid = lo + (hi - lo) / 2;
            if (m_ranges[mid].end() <= inPos)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }
    void mergeRange(const ByteRange& inRange);

    AutoPtr<StorageLoader> m_loader;
    // Shared with the duplicates; the two below are its parts.
    AutoPtr<CacheFile> m_file;
    DiskStorage& m_backing;
    SimpleArray<ByteRange, 2>& m_ranges;
    AutoPtr<LoadTarget> m_target; // where the loader writes
    uint64_t m_pos;
    // This storage's own: its position and its loader serve one read at a time.
    Mutex m_mutex;
};

uint32_t AdvCachedStorageImpl::readBytes(void* outBuffer, uint32_t inCount, bool inExact)
{
    static const char* const kFunction = "Morvenix::AdvCachedStorageImpl::readBytes";
    static const char* const kMessage = "Cannot read all of requested bytes!";
    if (inCount == 0)
        return 0;
    // Duplicates share the temporary file, its position and its list, which a read holds only to read the
    // file and to merge what it loaded: a duplicate, getRanges and healthCheck never wait for the network.
    AutoLock guard(m_mutex);
    const uint64_t size = m_loader->getSize();
    if (m_pos >= size) {
        if (inExact)
            MVX_THROW(errReadFailed, kMessage, kFunction);
        return 0;
    }
    uint32_t remaining = inCount;
    if (remaining > size - m_pos) {
        if (inExact)
            MVX_THROW(errReadFailed, kMessage, kFunction);
        remaining = uint32_t(size - m_pos);
    }
    unsigned char* out = static_cast<unsigned char*>(outBuffer);
    uint32_t total = 0;
    // One read keeps to one deadline, however many loads it takes: a source that brings a little at a
    // time, each answer just within a deadline, cannot hold the read for a deadline a load.
    uint64_t deadlineStart = 0;
    // Every round either reads at least one cached byte or loads, and a load must bring the position into
    // the cache or the read ends: a source that brings nothing cannot keep the loop going.
    while (remaining != 0) {
        uint32_t want = remaining;
        {
            AutoLock file(m_backing);
            const uint32_t i = findFrom(m_pos);
            if (i < m_ranges.count() && m_ranges[i].begin <= m_pos) {
                const uint64_t cached = m_ranges[i].end() - m_pos;
                if (cached < want)
                    want = uint32_t(cached);
                m_backing.setPos(m_pos);
                const uint32_t got = m_backing.readBytes(out + total, want, inExact);
                m_pos += got;
                total += got;
                remaining -= got;
                if (got < want)
                    break;
                continue;
            }
            // Only what this read needs of the gap: the loader widens it to whole blocks, no further.
            if (i < m_ranges.count() && m_ranges[i].begin - m_pos < want)
                want = uint32_t(m_ranges[i].begin - m_pos);
        }
        // Another storage over the file may load the same bytes meanwhile: both write the resource's
        // bytes at their offsets, and merging a range twice changes nothing.
        m_loader->setDeadlineStart(deadlineStart);
        const ByteRange loaded = m_loader->load(*m_target, m_pos, want);
        deadlineStart = m_loader->getDeadlineStart();
        {
            AutoLock file(m_backing);
            mergeRange(loaded);
        }
        if (!loaded.contains(m_pos)) {
            if (inExact)
                MVX_THROW(errReadFailed, kMessage, kFunction);
            break;
        }
    }
    return total;
}

void AdvCachedStorageImpl::mergeRange(const ByteRange& inRange)
{
    if (inRange.length == 0)
        return;
    const uint64_t begin = inRange.begin, end = inRange.end();
    // [first, last) are the ranges that overlap or touch the new one: they end at or after its begin and
    // begin at or before its end.
    uint32_t first = 0, hi = m_ranges.count();
    while (first < hi) {
        const uint32_t mid = first + (hi - first) / 2;
        if (m_ranges[mid].end() < begin)
            first = mid + 1;
        else
            hi = mid;
    }
    uint32_t last = first;
    while (last < m_ranges.count() && m_ranges[last].begin <= end)
        ++last;
    if (first == last) {
        m_ranges.insert(first, 1, &inRange);
        return;
    }
    const uint64_t newBegin = m_ranges[first].begin < begin ? m_ranges[first].begin : begin;
    const uint64_t lastEnd = m_ranges[last - 1].end();
    const uint64_t newEnd = lastEnd > end ? lastEnd : end;
    m_ranges[first].begin = newBegin;
    m_ranges[first].length = newEnd - newBegin;
    m_ranges.remove(first + 1, last - first - 1);
}

AutoPtr<Storage> AdvCachedStorageImpl::duplicate()
{
    AutoPtr<StorageLoader> loader = m_loader->clone();
    // The cached bytes are the old resource's: a duplicate over a resource that has since changed size
    // would mix the two.
    if (loader->getSize() != m_loader->getSize())
        MVX_THROW(errReadFailed, "The resource has changed!", "Morvenix::AdvCachedStorageImpl::duplicate");
    // The temporary file has no name left to open again (it is deleted when made), so the duplicate
    // shares the open file with its list; every access sets the position first.
    AutoPtr<AdvCachedStorageImpl> copy(new AdvCachedStorageImpl(loader.get(), m_file.get()));
    copy->m_pos = m_pos;
    return AutoPtr<Storage>(copy.get());
}

void AdvCachedStorageImpl::healthCheck()
{
    AutoLock guard(m_backing);
    bool broken = false;
    for (uint32_t i = 0; i < m_ranges.count(); ++i) {
        const ByteRange& r = m_ranges[i];
        if (r.length == 0 || r.end() < r.begin || (i + 1 < m_ranges.count() && r.end() >= m_ranges[i + 1].begin))
            broken = true;
    }
    if (!broken)
        return;
    debugTrace("Identifier: %s\nTotal Size: %016llXh\nDump of ranges:\n", getName().c_str(),
               static_cast<unsigned long long>(m_loader->getSize()));
    for (uint32_t i = 0; i < m_ranges.count(); ++i)
        debugTrace("[%016llXh %016llXh] len=%016llXh\n", static_cast<unsigned long long>(m_ranges[i].begin),
                   static_cast<unsigned long long>(m_ranges[i].end()),
                   static_cast<unsigned long long>(m_ranges[i].length));
    MVX_THROW(errDataBroken, "Internal Data Structure Broken!", "Morvenix::AdvCachedStorageImpl::healthCheck");
}

AutoPtr<AdvCachedStorage> AdvCachedStorage::create(StorageLoader* inLoader)
{
    if (!inLoader)
        MVX_THROW(errInvalidParam, "errInvalidParam", "Morvenix::AdvCachedStorage::create");
    AutoPtr<CacheFile> file(new CacheFile());
    return AutoPtr<AdvCachedStorage>(new AdvCachedStorageImpl(inLoader, file.get()));
}

} // namespace Morvenix
