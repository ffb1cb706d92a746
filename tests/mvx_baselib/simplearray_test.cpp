#include "mvx_simplearray.h"

#include "mvx_exception.h"
#include "mvx_referable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

using Morvenix::SimpleArray;

namespace {

// Keeps what the array does with its memory visible: counts requests, can refuse them, keeps a copy of
// every block's contents as it is freed and then poisons the block, so reads of freed memory show.
class RecordingAllocator : public Morvenix::MemoryAllocator {
public:
    void* allocate(uint32_t inSize) override
    {
        ++requests;
        lastRequest = inSize;
        if (refuse)
            return nullptr;
        unsigned char* p = static_cast<unsigned char*>(std::malloc(inSize));
        std::memset(p, 0xA5, inSize); // what a fresh block holds before the array fills it
        sizes[p] = inSize;
        return p;
    }
    void free(void* inPtr) override
    {
        unsigned char* p = static_cast<unsigned char*>(inPtr);
        uint32_t size = sizes.at(p);
        lastFreed.assign(p, p + size);
        std::memset(p, 0xDD, size);
        sizes.erase(p);
        std::free(p);
    }
    ~RecordingAllocator() override { EXPECT_TRUE(sizes.empty()) << "blocks left behind"; }

    int requests = 0;
    uint32_t lastRequest = 0;
    bool refuse = false;
    std::vector<unsigned char> lastFreed;
    std::map<unsigned char*, uint32_t> sizes;
};

// The text of the exception that f throws, checking its code.
template <class F>
std::string thrownText(F f, int code)
{
    try {
        f();
    } catch (const Morvenix::Exception& e) {
        EXPECT_EQ(code, e.getCode());
        return e.what();
    }
    ADD_FAILURE() << "no exception";
    return std::string();
}

const char* const kTooLarge =
    "SimpleArray: The size of the memory block exceeds 2GB, we could not deal with the request!";

TEST(SimpleArray, GrowthRule)
{
    struct Case {
        uint32_t step, from, to, capacity;
    } cases[] = {
        {0, 0, 1, 129},   {0, 0, 200, 400}, {0, 0, 128, 256}, {0, 0, 127, 255},
        {0, 5, 134, 268}, {16, 0, 3, 19},   {16, 0, 17, 34},  {1, 0, 1, 2},
    };
    for (const Case& c : cases) {
        SimpleArray<unsigned char, 2> a(0, 0, nullptr, c.step);
        a.setSize(c.from);
        a.setSize(c.to);
        EXPECT_EQ(c.to, a.count());
        EXPECT_EQ(c.capacity, a.capacity()) << "step " << c.step << " from " << c.from << " to " << c.to;
    }
}

TEST(SimpleArray, ResizeEdges)
{
    SimpleArray<int, 2> a(3, -1);
    EXPECT_EQ(131u, a.capacity());
    a.resize(0, 0);
    EXPECT_EQ(nullptr, a.data());
    EXPECT_EQ(0u, a.capacity());
    a.resize(0, -1);
    EXPECT_NE(nullptr, a.data());
    EXPECT_EQ(0u, a.count());
    EXPECT_EQ(128u, a.capacity());
    a.resize(10, 4); // a capacity below the count is raised to it
    EXPECT_EQ(10u, a.count());
    EXPECT_EQ(10u, a.capacity());
}

TEST(SimpleArray, ShrinkWipesOnlyWhenAsked)
{
    for (bool wipe : {false, true}) {
        SimpleArray<unsigned char, 2> a(8, 8);
        a.setWipe(wipe);
        for (uint32_t i = 0; i < 8; ++i)
            a[i] = uint8_t(i + 1);
        a.setSize(3);
        EXPECT_EQ(8u, a.capacity());
        for (uint32_t i = 3; i < 8; ++i)
            EXPECT_EQ(wipe ? 0 : int(i + 1), a.data()[i]) << "wipe " << wipe;
    }
}

TEST(SimpleArray, NewPlainElementsAreZero)
{
    RecordingAllocator alloc;
    SimpleArray<uint32_t, 2> a(4, 16, &alloc);
    for (uint32_t i = 0; i < 4; ++i)
        a[i] = 0xFFFFFFFFu;
    a.setSize(1); // no wipe: the old values stay in the block
    a.setSize(10);
    for (uint32_t i = 1; i < 10; ++i)
        EXPECT_EQ(0u, a[i]);
    a.setSize(40); // grows into a fresh block
    EXPECT_EQ(0xFFFFFFFFu, a[0]);
    for (uint32_t i = 1; i < 40; ++i)
        EXPECT_EQ(0u, a[i]);
    a.insert(5, 3);
    for (uint32_t i = 5; i < 8; ++i)
        EXPECT_EQ(0u, a[i]);
}

TEST(SimpleArray, RemoveBounds)
{
    SimpleArray<int, 2> a(5, -1);
    for (int i = 0; i < 5; ++i)
        a[i] = i;
    a.remove(3, 2); // ends exactly at the count
    ASSERT_EQ(3u, a.count());
    EXPECT_EQ(2, a[2]);
    struct Case {
        uint32_t first, n;
    } bad[] = {{2, 2}, {4, 0}, {0, 4}, {1, 0xFFFFFFFFu}, {0xFFFFFFFFu, 1}, {3, 0xFFFFFFFEu}};
    for (const Case& c : bad) {
        std::string text = thrownText([&] { a.remove(c.first, c.n); }, 7);
        EXPECT_NE(std::string::npos, text.find("The range to remove is out of the array!")) << text;
        EXPECT_EQ(3u, a.count());
    }
    a.remove(3, 0);
    a.remove(0, 3);
    EXPECT_EQ(0u, a.count());
}

TEST(SimpleArray, InsertBounds)
{
    SimpleArray<int, 2> a(2, -1);
    a[0] = 10;
    a[1] = 11;
    a.insert(2, 3); // at the count: appends defaults
    ASSERT_EQ(5u, a.count());
    EXPECT_EQ(11, a[1]);
    EXPECT_EQ(0, a[4]);
    std::string text = thrownText([&] { a.insert(6, 1); }, 7);
    EXPECT_NE(std::string::npos, text.find("inPos out of the array!")) << text;
    a.insert(6, 0); // nothing to insert: nothing to check either
    EXPECT_EQ(5u, a.count());
}

TEST(SimpleArray, InsertFromSourceRun)
{
    const int src[] = {7, 8, 9};
    for (uint32_t step : {1u, 128u}) { // a step of 1 forces the growing path, 128 the in-place one
        SimpleArray<int, 2> a(0, 0, nullptr, step);
        for (int i = 0; i < 4; ++i)
            a.append(i);
        a.insert(1, 3, src);
        std::vector<int> got(a.begin(), a.end());
        EXPECT_EQ((std::vector<int>{0, 7, 8, 9, 1, 2, 3}), got) << "step " << step;
    }
}

TEST(SimpleArray, InsertFromItsOwnElements)
{
    for (uint32_t step : {1u, 128u}) {
        RecordingAllocator alloc;
        SimpleArray<int, 2> a(0, 0, &alloc, step);
        for (int i = 0; i < 6; ++i)
            a.append(i);
        a.insert(2, 4, a.data() + 1); // the run overlaps the place it is inserted at
        std::vector<int> got(a.begin(), a.end());
        EXPECT_EQ((std::vector<int>{0, 1, 1, 2, 3, 4, 2, 3, 4, 5}), got) << "step " << step;
    }
}

TEST(SimpleArray, AppendOfItsOwnElementWhileGrowing)
{
    RecordingAllocator alloc;
    SimpleArray<std::string, 1> a(0, 0, &alloc, 1);
    a.append(std::string(40, 'x'));
    for (int i = 0; i < 6; ++i)
        a.append(a[0]); // every other append moves the block away under the argument
    ASSERT_EQ(7u, a.count());
    for (const std::string& s : a)
        EXPECT_EQ(std::string(40, 'x'), s);
}

TEST(SimpleArray, RequestsOf2GBAreRefusedBeforeTheAllocator)
{
    RecordingAllocator alloc;
    SimpleArray<unsigned char, 2> bytes(0, 0, &alloc);
    SimpleArray<uint32_t, 2> words(0, 0, &alloc);
    bytes.append(1);
    words.append(2);
    // These leave the array as it was; resize gives the contents up before it asks.
    std::vector<std::function<void()>> requests = {
        [&] { bytes.setSize(0x40000000u); },   // grown capacity reaches 2 GB
        [&] { bytes.setSize(0xFFFFFFFFu); },   // n + n wraps in 32 bits
        [&] { bytes.reserve(0x80000000u); },
        [&] { bytes.insert(0, 0xFFFFFFFFu); }, // count + n wraps in 32 bits
        [&] { words.setSize(0x40000000u); },   // n * 4 wraps to 0 in 32 bits
        [&] { words.setSize(0x20000000u); },
        [&] { words.reserve(0x20000000u); },
        [&] { words.insert(1, 0x7FFFFFFFu); },
        [&] { bytes.resize(0x80000000u, int32_t(0x80000000u)); },
        [&] { bytes.resize(0x7FFFFFFFu, -1); },
        [&] { words.resize(0x20000000u, int32_t(0x20000000u)); },
    };
    int before = alloc.requests;
    for (size_t i = 0; i < requests.size(); ++i) {
        std::string text = thrownText(requests[i], 26);
        EXPECT_NE(std::string::npos, text.find(kTooLarge)) << i << ": " << text;
        if (i == 7) {
            EXPECT_EQ(1u, bytes.count());
            EXPECT_EQ(1u, words.count());
            EXPECT_EQ(2u, words[0]);
        }
    }
    EXPECT_EQ(before, alloc.requests);
    // just below the limit the request reaches the allocator
    alloc.refuse = true;
    thrownText([&] { words.reserve(0x1FFFFFFFu); }, 1);
    EXPECT_EQ(0x7FFFFFFCu, alloc.lastRequest);
}

TEST(SimpleArray, OutOfMemoryLeavesTheArrayAsItWas)
{
    RecordingAllocator alloc;
    SimpleArray<int, 2> a(3, 3, &alloc);
    a[0] = 5;
    alloc.refuse = true;
    std::string text = thrownText([&] { a.setSize(4); }, 1);
    EXPECT_NE(std::string::npos, text.find("SimpleArray: Out of memory!")) << text;
    text = thrownText([&] { a.insert(0, 1); }, 1);
    EXPECT_EQ(3u, a.count());
    EXPECT_EQ(3u, a.capacity());
    EXPECT_EQ(5, a[0]);
    alloc.refuse = false;
}

TEST(SimpleArray, ErrorsNameTheInstance)
{
    SimpleArray<unsigned char, 2> bytes;
    std::string text = thrownText([&] { bytes.setSize(0x40000000u); }, 26);
    EXPECT_NE(std::string::npos,
              text.find(" : Morvenix::SimpleArray<unsigned char,2>::_malloc: Error 26: " + std::string(kTooLarge) +
                        "\n"))
        << text;
    EXPECT_EQ(0u, text.find("mvx_simplearray(")) << text;

    SimpleArray<uint32_t, 2> words(2, -1);
    text = thrownText([&] { words.remove(1, 2); }, 7);
    EXPECT_NE(std::string::npos, text.find(": Morvenix::SimpleArray<unsigned int,2>::remove: Error 7:")) << text;

    SimpleArray<std::string, 1> strings;
    text = thrownText([&] { strings.at(0); }, -2);
    EXPECT_NE(std::string::npos,
              text.find(": Morvenix::SimpleArray<std::__cxx11::basic_string<char>,1>::boundCheck: Error -2: "
                        "SimpleArray: m_array==NULL!"))
        << text;
    strings.setSize(1);
    text = thrownText([&] { strings.at(1); }, 7);
    EXPECT_NE(std::string::npos, text.find("::boundCheck: Error 7: SimpleArray: subscript out of range")) << text;
    text = thrownText([&] { strings.insert(2, 1); }, 7);
    EXPECT_NE(std::string::npos, text.find("SimpleArray<std::__cxx11::basic_string<char>,1>::insert: Error 7:"))
        << text;
}

struct Tracked {
    static int live;
    Tracked() { ++live; }
    Tracked(const Tracked& o) : value(o.value) { ++live; }
    Tracked& operator=(const Tracked&) = default;
    ~Tracked() { --live; }
    int value = -1;
};
int Tracked::live = 0;

TEST(SimpleArray, ObjectsAreConstructedAndDestroyedInStep)
{
    {
        SimpleArray<Tracked, 1> a(3, -1, nullptr, 2);
        EXPECT_EQ(3, Tracked::live);
        a.setSize(10);
        EXPECT_EQ(10, Tracked::live);
        EXPECT_EQ(-1, a[9].value);
        a.setSize(4);
        EXPECT_EQ(4, Tracked::live);
        a.insert(1, 5);
        EXPECT_EQ(9, Tracked::live);
        a.insert(0, 100); // growing path
        EXPECT_EQ(109, Tracked::live);
        a.remove(10, 90);
        EXPECT_EQ(19, Tracked::live);
        a.compact();
        EXPECT_EQ(19u, a.capacity());
        EXPECT_EQ(19, Tracked::live);
        SimpleArray<Tracked, 1> copy(a);
        EXPECT_EQ(38, Tracked::live);
        copy = a;
        EXPECT_EQ(38, Tracked::live);
        a.free();
        EXPECT_EQ(19, Tracked::live);
    }
    EXPECT_EQ(0, Tracked::live);
}

struct Node : Morvenix::Referable {
    explicit Node(int* destroyed) : destroyed(destroyed) {}
    ~Node() override { ++*destroyed; }
    int* destroyed;
};

TEST(SimpleArray, OwningPointersKeepTheirReferences)
{
    int destroyed = 0;
    {
        Morvenix::AutoPtr<Node> run[2] = {new Node(&destroyed), new Node(&destroyed)};
        SimpleArray<Morvenix::AutoPtr<Node>, 1> a;
        a.setSize(1);
        EXPECT_FALSE(bool(a[0]));
        a[0] = run[0];
        a.insert(1, 2, run);
        a.insert(0, 2, a.data() + 1); // copies of its own elements
        run[0].reset();
        run[1].reset();
        EXPECT_EQ(0, destroyed);
        ASSERT_EQ(5u, a.count()); // n0 n1 n0 n0 n1
        a.remove(0, 4);
        EXPECT_EQ(1, destroyed);
        ASSERT_EQ(1u, a.count());
        a.remove(0, 1);
        EXPECT_EQ(2, destroyed);
    }
    EXPECT_EQ(2, destroyed);
}

TEST(SimpleArray, WipeCoversExactlyWhatIsGivenUp)
{
    RecordingAllocator alloc;
    SimpleArray<unsigned char, 2> a(0, 0, &alloc);
    a.setWipe(true);
    a.resize(6, 10);
    std::memset(a.data(), 0x11, 6);
    a.remove(1, 2);
    EXPECT_EQ(4u, a.count());
    EXPECT_EQ(0, a.data()[4]);
    EXPECT_EQ(0, a.data()[5]);
    EXPECT_EQ(0x11, a.data()[3]);
    a.free();
    ASSERT_EQ(10u, alloc.lastFreed.size());
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(0, alloc.lastFreed[i]) << i; // the elements in use
    for (int i = 6; i < 10; ++i)
        EXPECT_EQ(0xA5, alloc.lastFreed[i]) << i; // never in use: not touched
    // without the flag the freed block keeps its bytes
    SimpleArray<unsigned char, 2> b(4, 4, &alloc);
    std::memset(b.data(), 0x22, 4);
    b.free();
    EXPECT_EQ((std::vector<unsigned char>(4, 0x22)), alloc.lastFreed);
    // growing wipes the old block's elements
    a.setWipe(true);
    a.resize(3, 3);
    std::memset(a.data(), 0x33, 3);
    a.setSize(4);
    EXPECT_EQ((std::vector<unsigned char>(3, 0)), alloc.lastFreed);
    EXPECT_EQ(0x33, a[2]);
}

TEST(SimpleArray, ReserveAndCompact)
{
    SimpleArray<int, 2> a(3, -1);
    a[2] = 9;
    a.reserve(1000);
    EXPECT_EQ(1000u, a.capacity());
    EXPECT_EQ(3u, a.count());
    EXPECT_EQ(9, a[2]);
    a.reserve(10);
    EXPECT_EQ(1000u, a.capacity());
    a.compact();
    EXPECT_EQ(3u, a.capacity());
    EXPECT_EQ(9, a[2]);
    a.setSize(0);
    a.compact();
    EXPECT_EQ(nullptr, a.data());
    EXPECT_EQ(0u, a.capacity());
}

TEST(SimpleArray, AssignFromAnotherArray)
{
    RecordingAllocator other;
    SimpleArray<int, 2> src(3, 50, &other, 7);
    src[0] = 1;
    src[1] = 2;
    src[2] = 3;
    for (bool compact : {false, true}) {
        SimpleArray<int, 2> a(5, -1);
        a.setWipe(true);
        a.assign(src, compact);
        EXPECT_EQ(3u, a.count());
        EXPECT_EQ(compact ? 3u : 50u, a.capacity());
        EXPECT_EQ(7u, a.growStep());
        EXPECT_EQ(&other, a.allocator());
        EXPECT_TRUE(a.wipe());
        EXPECT_EQ(3, a[2]);
    }
    src.assign(src, false);
    EXPECT_EQ(3u, src.count());
    EXPECT_EQ(2, src[1]);
    src.assign(src, true);
    EXPECT_EQ(3u, src.capacity());
    EXPECT_EQ(2, src[1]);
}

TEST(SimpleArray, AssignFromPointerInByteOrder)
{
    const uint16_t shorts[] = {0x0102, 0xA0B0};
    SimpleArray<uint16_t, 2> s(0, 0, nullptr, 4);
    s.assign(shorts, 2, 4321);
    EXPECT_EQ(0x0102, s[0]);
    EXPECT_EQ(6u, s.capacity());
    s.assign(shorts, 2, 1234);
    EXPECT_EQ(0x0201, s[0]);
    EXPECT_EQ(0xB0A0, s[1]);

    const uint64_t longs[] = {0x0102030405060708ull};
    SimpleArray<uint64_t, 2> l;
    l.assign(longs, 1, 0);
    EXPECT_EQ(0x0807060504030201ull, l[0]);
    EXPECT_EQ(129u, l.capacity());

    const unsigned char bytes[] = {1, 2, 3};
    SimpleArray<unsigned char, 2> b;
    b.assign(bytes, 3, 1234); // single bytes have no order
    EXPECT_EQ((std::vector<unsigned char>{1, 2, 3}), std::vector<unsigned char>(b.begin(), b.end()));
}

TEST(SimpleArray, AssignFromItsOwnBlock)
{
    RecordingAllocator alloc;
    SimpleArray<unsigned char, 2> a(0, 0, &alloc);
    a.setWipe(true);
    const char text[] = "abcdefgh";
    a.assign(reinterpret_cast<const unsigned char*>(text), 8, 4321);
    a.assign(a.data() + 2, 4, 4321); // freed (and wiped) block under the source
    EXPECT_EQ("cdef", std::string(a.begin(), a.end()));
    a.assign(a.data(), a.count(), 4321);
    EXPECT_EQ("cdef", std::string(a.begin(), a.end()));

    SimpleArray<uint32_t, 2> w(0, 0, &alloc);
    const uint32_t words[] = {0x11223344u, 0xAABBCCDDu};
    w.assign(words, 2, 4321);
    w.assign(w.data(), 2, 1);
    EXPECT_EQ(0x44332211u, w[0]);
    EXPECT_EQ(0xDDCCBBAAu, w[1]);
}

// Random operations against a standard vector, for both kinds.
template <class T, int kind, class Make>
void randomAgainstVector(uint32_t seed, Make make)
{
    std::mt19937 rng(seed);
    SimpleArray<T, kind> a(0, 0, nullptr, 1 + rng() % 8);
    std::vector<T> model;
    for (int step = 0; step < 3000; ++step) {
        uint32_t size = uint32_t(model.size());
        switch (rng() % 7) {
        case 0: {
            T v = make(rng());
            a.append(v);
            model.push_back(v);
            break;
        }
        case 1: {
            uint32_t n = rng() % 20;
            a.setSize(n);
            model.resize(n, T());
            break;
        }
        case 2: {
            uint32_t pos = rng() % (size + 1), n = rng() % 5;
            std::vector<T> run;
            for (uint32_t i = 0; i < n; ++i)
                run.push_back(make(rng()));
            a.insert(pos, n, run.empty() ? nullptr : run.data());
            model.insert(model.begin() + pos, run.begin(), run.end());
            break;
        }
        case 3: {
            uint32_t first = rng() % (size + 1), n = rng() % (size - first + 1);
            a.remove(first, n);
            model.erase(model.begin() + first, model.begin() + first + n);
            break;
        }
        case 4:
            a.compact();
            break;
        case 5:
            a.reserve(rng() % 64);
            break;
        case 6:
            if (size) {
                uint32_t from = rng() % size, pos = rng() % (size + 1), n = rng() % (size - from + 1);
                std::vector<T> run(model.begin() + from, model.begin() + from + n);
                a.insert(pos, n, a.data() + from);
                model.insert(model.begin() + pos, run.begin(), run.end());
            }
            break;
        }
        ASSERT_EQ(model.size(), a.count()) << "step " << step;
        ASSERT_LE(a.count(), a.capacity());
        ASSERT_EQ(a.capacity() == 0, a.data() == nullptr);
        for (uint32_t i = 0; i < a.count(); ++i)
            ASSERT_EQ(model[i], a[i]) << "step " << step << " index " << i;
    }
}

TEST(SimpleArray, RandomOperationsMatchAVector)
{
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        randomAgainstVector<int, 2>(seed, [](uint32_t r) { return int(r % 1000) + 1; });
        randomAgainstVector<std::string, 1>(seed, [](uint32_t r) { return std::string(r % 30, char('a' + r % 26)); });
    }
}

} // namespace
