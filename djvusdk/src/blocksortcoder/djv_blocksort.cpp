// Suffix sorting for the BZZ transform: a radix pass on the first one or two symbols, a three-way
// quicksort of every bucket on single bytes to depth 8, then prefix doubling on ranks (each entry's rank
// is the last index of its group of equal prefixes) until every suffix stands alone. Sorted stretches are
// marked in the position array by their negative length and skipped by later passes; the positions they
// overwrite are rebuilt from the ranks at the end.
#define MVX_SOURCE "djv_blocksort"

#include "djv_blocksort.h"

#include "mvx_exception.h"
#include "mvx_simplearray.h"

#include <cstring>

namespace Morvenix {
namespace DjVu {
namespace CompressStream {

namespace {

const int32_t kSmallRange = 10;               // ranges of at most this many entries are insertion-sorted
const int32_t kPresortDepth = 8;
const uint32_t kTwoSymbolRadixAbove = 32768;
const int32_t kAlphabet = 257;                // the marker (0) and the byte values (1 to 256)
const uint32_t kMaxSize = 0x1000000;          // positions and ranks stay below 2^24

struct Task {
    int32_t lo;
    int32_t hi;
    int32_t depth;  // presort: the symbol compared next; doubling: -1 marks a group to settle
};

class Sorter {
public:
    Sorter(const uint8_t* inData, int32_t inSize)
        : m_data(inData), m_size(inSize), m_last(inSize - 1), m_posn(uint32_t(inSize)), m_rank(uint32_t(inSize)),
          m_unfinished(false)
    {
    }

    // Leaves m_posn holding the suffixes in order.
    void sort()
    {
        radixAndPresort();
        for (int32_t d = kPresortDepth; m_unfinished; d *= 2)
            doublingPass(d);
        int32_t* posn = m_posn.data();
        const int32_t* rank = m_rank.data();
        for (int32_t p = 0; p < m_size; ++p)
            posn[rank[p]] = p;
    }

    const int32_t* positions() const { return m_posn.data(); }
    // The rank array is free once sorting is done; its bytes serve as scratch for the permutation.
    uint8_t* scratch() { return reinterpret_cast<uint8_t*>(m_rank.data()); }

private:
    // The marker's byte has been zeroed, so this needs no branch.
    int32_t symbol(int32_t i) const { return int32_t(m_data[i]) + (i != m_last); }

    void push(int32_t lo, int32_t hi, int32_t depth)
    {
        if (lo <= hi)
            m_stack.append(Task{lo, hi, depth});
    }
    Task pop()
    {
        Task t = m_stack[m_stack.count() - 1];
        m_stack.setSize(m_stack.count() - 1);
        return t;
    }

    // Gives the entries lo..hi one group: rank hi. A group of one is in its final place.
    void settle(int32_t lo, int32_t hi)
    {
        int32_t* posn = m_posn.data();
        int32_t* rank = m_rank.data();
        for (int32_t i = lo; i <= hi; ++i)
            rank[posn[i]] = hi;
        if (lo == hi)
            posn[lo] = -1;
        else
            m_unfinished = true;
    }

    template <class Key>
    static int32_t median3(const Key& key, int32_t a, int32_t b, int32_t c)
    {
        return median3Values(key(a), key(b), key(c));
    }

    template <class Key>
    static int32_t pivot(const Key& key, int32_t lo, int32_t hi)
    {
        const int32_t mid = lo + (hi - lo) / 2;
        if (hi - lo <= 256)
            return median3(key, lo, mid, hi);
        const int32_t eighth = (hi - lo) / 8;
        return median3Values(median3(key, lo, lo + eighth, lo + 2 * eighth),
                             median3(key, mid - eighth, mid, mid + eighth),
                             median3(key, hi - 2 * eighth, hi - eighth, hi));
    }
    static int32_t median3Values(int32_t a, int32_t b, int32_t c)
    {
        if (a < b)
            return b < c ? b : (a < c ? c : a);
        return a < c ? a : (b < c ? c : b);
    }

    // Three-way partition of lo..hi around v: on return lo..outLt-1 < v, outLt..outGt == v, > v after.
    template <class Key>
    void partition(const Key& key, int32_t lo, int32_t hi, int32_t v, int32_t& outLt, int32_t& outGt)
    {
        int32_t* posn = m_posn.data();
        int32_t lt = lo, i = lo, gt = hi;
        while (i <= gt) {
            const int32_t k = key(i);
            if (k < v) {
                const int32_t t = posn[lt];
                posn[lt++] = posn[i];
                posn[i++] = t;
            } else if (k > v) {
                const int32_t t = posn[gt];
                posn[gt--] = posn[i];
                posn[i] = t;
            } else {
                ++i;
            }
        }
        outLt = lt;
        outGt = gt;
    }

    void radixAndPresort()
    {
        int32_t* posn = m_posn.data();
        m_rank[uint32_t(m_last)] = 0;
        posn[0] = -1; // the marker's suffix comes first and is in place

        const bool twoSymbols = uint32_t(m_size) > kTwoSymbolRadixAbove;
        const int32_t buckets = twoSymbols ? kAlphabet * kAlphabet : kAlphabet;
        SimpleArray<int32_t, 2> next(uint32_t(buckets) + 1);
        int32_t* start = next.data();
        for (int32_t p = 0; p < m_last; ++p)
            ++start[radixKey(p, twoSymbols) + 1];
        start[0] = 1;
        for (int32_t k = 1; k <= buckets; ++k)
            start[k] += start[k - 1];
        for (int32_t p = 0; p < m_last; ++p)
            posn[start[radixKey(p, twoSymbols)]++] = p;
        // start[k] is now the end of bucket k.
        const int32_t depth = twoSymbols ? 2 : 1;
        int32_t lo = 1;
        for (int32_t k = 0; k < buckets; ++k) {
            if (start[k] > lo)
                presort(lo, start[k] - 1, depth);
            lo = start[k];
        }
    }

    int32_t radixKey(int32_t p, bool inTwoSymbols) const
    {
        return inTwoSymbols ? symbol(p) * kAlphabet + symbol(p + 1) : symbol(p);
    }

    void presort(int32_t lo, int32_t hi, int32_t depth)
    {
        push(lo, hi, depth);
        while (m_stack.count()) {
            const Task t = pop();
            if (t.lo == t.hi || t.depth >= kPresortDepth) {
                settle(t.lo, t.hi);
                continue;
            }
            if (t.hi - t.lo < kSmallRange) {
                presortSmall(t.lo, t.hi, t.depth);
                continue;
            }
            const int32_t* posn = m_posn.data();
            const int32_t d = t.depth;
            auto key = [&](int32_t i) { return symbol(posn[i] + d); };
            int32_t lt, gt;
            partition(key, t.lo, t.hi, pivot(key, t.lo, t.hi), lt, gt);
            push(t.lo, lt - 1, d);
            push(lt, gt, d + 1);
            push(gt + 1, t.hi, d);
        }
    }

    // Compares suffixes p and q from symbol `from` to the presort depth: <0, 0 or >0.
    int32_t comparePrefix(int32_t p, int32_t q, int32_t from) const
    {
        for (int32_t k = from; k < kPresortDepth; ++k) {
            const int32_t diff = symbol(p + k) - symbol(q + k);
            if (diff)
                return diff;
        }
        return 0;
    }

    // Orders the suffixes in lo..hi by compare(p, q), which answers <0, 0 or >0.
    template <class Compare>
    void insertionSort(int32_t lo, int32_t hi, const Compare& compare)
    {
        int32_t* posn = m_posn.data();
        for (int32_t i = lo + 1; i <= hi; ++i) {
            const int32_t p = posn[i];
            int32_t j = i;
            for (; j > lo && compare(posn[j - 1], p) > 0; --j)
                posn[j] = posn[j - 1];
            posn[j] = p;
        }
    }

    void presortSmall(int32_t lo, int32_t hi, int32_t depth)
    {
        insertionSort(lo, hi, [&](int32_t p, int32_t q) { return comparePrefix(p, q, depth); });
        const int32_t* posn = m_posn.data();
        // Groups must be found before settle marks singletons.
        int32_t groupEnds[kSmallRange + 1];
        int32_t groups = 0;
        for (int32_t i = lo; i < hi; ++i)
            if (comparePrefix(posn[i], posn[i + 1], depth) != 0)
                groupEnds[groups++] = i;
        groupEnds[groups++] = hi;
        int32_t first = lo;
        for (int32_t g = 0; g < groups; ++g) {
            settle(first, groupEnds[g]);
            first = groupEnds[g] + 1;
        }
    }

    // Orders every unsorted group by the rank at depth d, given ranks that order at least d symbols.
    void doublingPass(int32_t d)
    {
        m_unfinished = false;
        int32_t* posn = m_posn.data();
        const int32_t* rank = m_rank.data();
        int32_t runStart = -1;
        int32_t i = 0;
        while (i < m_size) {
            const int32_t s = posn[i];
            if (s < 0) {
                if (runStart < 0)
                    runStart = i;
                i -= s;
                continue;
            }
            if (runStart >= 0) {
                posn[runStart] = runStart - i;
                runStart = -1;
            }
            const int32_t end = rank[s];
            if (end - i < kSmallRange)
                sortGroupCompletely(i, end, d);
            else
                splitGroup(i, end, d);
            i = end + 1;
        }
        if (runStart >= 0)
            posn[runStart] = runStart - m_size;
    }

    // Entries of one group share at least d symbols and none holds the marker among them, so p + k*d
    // stays inside the block until two ranks differ, which the unique marker guarantees.
    int32_t compareRanks(int32_t p, int32_t q, int32_t d) const
    {
        const int32_t* rank = m_rank.data();
        for (int32_t k = d;; k += d) {
            const int32_t diff = rank[p + k] - rank[q + k];
            if (diff)
                return diff;
        }
    }

    void sortGroupCompletely(int32_t lo, int32_t hi, int32_t d)
    {
        insertionSort(lo, hi, [&](int32_t p, int32_t q) { return compareRanks(p, q, d); });
        for (int32_t i = lo; i <= hi; ++i)
            settle(i, i);
    }

    // Ranks change while a group is split; the less part is finished before the equal part is settled
    // and that before the greater part is looked at, so every rank read is a refinement of the order
    // already known and splits are never made in the wrong direction.
    void splitGroup(int32_t lo, int32_t hi, int32_t d)
    {
        push(lo, hi, 0);
        while (m_stack.count()) {
            const Task t = pop();
            if (t.depth < 0 || t.lo == t.hi) {
                settle(t.lo, t.hi);
                continue;
            }
            if (t.hi - t.lo < kSmallRange) {
                splitSmall(t.lo, t.hi, d);
                continue;
            }
            int32_t* posn = m_posn.data();
            const int32_t* rank = m_rank.data();
            auto key = [&](int32_t i) { return rank[posn[i] + d]; };
            int32_t lt, gt;
            partition(key, t.lo, t.hi, pivot(key, t.lo, t.hi), lt, gt);
            push(gt + 1, t.hi, 0);
            push(lt, gt, -1);
            push(t.lo, lt - 1, 0);
        }
    }

    // Keys are read once, before any rank of the range changes.
    void splitSmall(int32_t lo, int32_t hi, int32_t d)
    {
        int32_t* posn = m_posn.data();
        const int32_t* rank = m_rank.data();
        int32_t keys[kSmallRange + 1];
        int32_t items[kSmallRange + 1];
        const int32_t n = hi - lo + 1;
        for (int32_t i = 0; i < n; ++i) {
            const int32_t p = posn[lo + i];
            const int32_t k = rank[p + d];
            int32_t j = i;
            for (; j > 0 && keys[j - 1] > k; --j) {
                keys[j] = keys[j - 1];
                items[j] = items[j - 1];
            }
            keys[j] = k;
            items[j] = p;
        }
        for (int32_t i = 0; i < n; ++i)
            posn[lo + i] = items[i];
        int32_t first = 0;
        for (int32_t i = 1; i <= n; ++i) {
            if (i == n || keys[i] != keys[first]) {
                settle(lo + first, lo + i - 1);
                first = i;
            }
        }
    }

    const uint8_t* m_data;
    int32_t m_size;
    int32_t m_last;
    SimpleArray<int32_t, 2> m_posn;
    SimpleArray<int32_t, 2> m_rank;
    SimpleArray<Task, 2> m_stack;
    bool m_unfinished;
};

} // namespace

BlockSort::BlockSort(uint8_t* ioData, uint32_t inSize) : m_data(ioData), m_size(inSize) {}

void BlockSort::run(uint32_t& ioMarkerPos)
{
    if (m_size == 0 || m_size > kMaxSize || ioMarkerPos != m_size - 1)
        MVX_THROW(errOperationFailed, "Invalid marker in block sorting",
                  "Morvenix::DjVu::CompressStream::BlockSort::run");
    m_data[m_size - 1] = 0;
    Sorter sorter(m_data, int32_t(m_size));
    sorter.sort();
    const int32_t* posn = sorter.positions();
    uint8_t* out = sorter.scratch();
    for (uint32_t r = 0; r < m_size; ++r) {
        const int32_t p = posn[r];
        if (p == 0) {
            out[r] = 0;
            ioMarkerPos = r;
        } else {
            out[r] = m_data[p - 1];
        }
    }
    std::memcpy(m_data, out, m_size);
}

} // namespace CompressStream
} // namespace DjVu
} // namespace Morvenix
