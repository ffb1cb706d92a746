// The source of a remote resource's bytes: a loader fetches byte ranges of one resource into a caller's
// storage, at the same offsets as in the resource. The loader over HTTP and HTTPS learns the size with a
// HEAD request and fetches block-aligned windows with ranged GET requests.
#pragma once

#include "mvx_stream.h"
#include "mvx_string.h"

#include <cstdint>

namespace Morvenix {

class HttpManager;

template <class T>
struct Range {
    T begin;
    T length;
    T end() const { return begin + length; }
    bool contains(T inPos) const { return inPos >= begin && inPos - begin < length; }
    bool operator==(const Range& o) const { return begin == o.begin && length == o.length; }
    bool operator!=(const Range& o) const { return !(*this == o); }
};

class StorageLoader : public Referable {
public:
    // A size the loader does not know.
    static constexpr uint64_t unknownSize = ~uint64_t(0);

    ~StorageLoader() override {}
    // Fetches at least the bytes inOffset .. inOffset + inSize - 1, widened to whole blocks, into
    // ioDestination at their offsets in the resource, and returns the part that was written, which is the
    // only statement of what is valid there (it may begin before inOffset and may be shorter than asked
    // when the resource ends). Size 0 fetches nothing and returns (inOffset, 0).
    virtual Range<uint64_t> load(Storage& ioDestination, uint64_t inOffset, uint32_t inSize) = 0;
    // unknownSize when the resource did not say.
    virtual uint64_t getSize() = 0;
    virtual String getName() = 0;
    // A new loader for the same resource, with its own size request and the default block size.
    virtual AutoPtr<StorageLoader> clone() = 0;
    // Stores and returns the smallest power of two not below the value (1 for 0, at most 2^31).
    virtual uint32_t setBlockSize(uint32_t inBlockSize) = 0;
    virtual void setProgressCallback(ProgressCallback inCallback, void* inContext) = 0;
    // Where the deadline of the last load counted from (before a load, what setDeadlineStart gave); a
    // moment that only the loader reads. A caller whose one operation takes several loads passes the
    // first one's on to each next, so the operation keeps to one deadline however many loads a source that
    // answers a little at a time makes it take.
    virtual uint64_t getDeadlineStart() = 0;
    // The loads count their deadline from inStart, a getDeadlineStart of an earlier load of this loader;
    // 0 (the default) counts from each load.
    virtual void setDeadlineStart(uint64_t inStart) = 0;

    // The loader over an "http" or "https" URL (other schemes: errInvalidParam), through the manager's
    // connections. A user name or password in the URL is answered to the URL's own host and port only;
    // proxies and the hosts of redirections get the manager's provider. The request carries the URL's
    // path and query as written (bytes that cannot stand in a request line escaped), never its fragment.
    // The HEAD request runs here; its failures reach the caller. Each operation (the HEAD request here or
    // in a clone, a load with the reading of its answer, or the loads from a setDeadlineStart on) keeps to
    // one deadline of the manager, counted from its first request, however many redirections it follows.
    static AutoPtr<StorageLoader> createHttp(HttpManager* inManager, const String& inUrl, bool inVerifyCertificate,
                                             ProgressCallback inCallback, void* inContext);
};

} // namespace Morvenix
