// Partial stream and partial storage: limits, and windows bounded at both ends for reads, writes and seeks.
#include "mvx_partialstorage.h"
#include "mvx_partialstream.h"

#include "mvx_memstorage.h"
#include "mvx_string.h"
#include "test_support.h"
#include "vector_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <vector>

using namespace Morvenix;

namespace {

typedef std::vector<unsigned char> Bytes;

Bytes hundred()
{
    Bytes b(100);
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<unsigned char>(i);
    return b;
}

AutoPtr<MemoryStorage> storageOf(const Bytes& b) { return MemoryStorage::create(b.data(), b.size(), 4321); }

Bytes contents(MemoryStorage& s)
{
    SimpleArray<unsigned char, 2>& a = s.getArray();
    return Bytes(a.data(), a.data() + a.count());
}

TEST(PartialStreamTest, ReadsStopAtTheLength)
{
    AutoPtr<MemoryStorage> inner = storageOf(hundred());
    AutoPtr<PartialStream> p = PartialStream::create(inner, 10);
    unsigned char buffer[20];
    EXPECT_FALSE(p->isEof());
    EXPECT_EQ(10u, p->readBytes(buffer, 20, false));
    EXPECT_EQ(9, buffer[9]);
    EXPECT_EQ(0u, p->readBytes(buffer, 20, false));
    EXPECT_TRUE(p->isEof());
    EXPECT_EQ(10u, inner->getPos());

    AutoPtr<PartialStream> exact = PartialStream::create(storageOf(hundred()), 10);
    MvxTest::expectThrow([&] { exact->readBytes(buffer, 11, true); }, errReadFailed, "Cannot read so many bytes!",
                         "Morvenix::PartialStream::readBytes");
    EXPECT_EQ(10u, exact->readBytes(buffer, 10, true));
}

TEST(PartialStreamTest, WritesStopAtTheLength)
{
    AutoPtr<MemoryStorage> inner = MemoryStorage::create();
    AutoPtr<PartialStream> p = PartialStream::create(inner, 10);
    p->writeBytes("0123456789", 10);
    MvxTest::expectThrow([&] { p->writeBytes("x", 1); }, errReadFailed, "Cannot write so many bytes!",
                         "mvx_stream");
    EXPECT_EQ(10u, inner->getSize());
    p->writeBytes("", 0);
}

TEST(PartialStreamTest, EndsWhereTheInnerStreamEnds)
{
    AutoPtr<Stream> inner(new MvxTest::VectorStream(Bytes{1, 2, 3, 4, 5}));
    AutoPtr<PartialStream> p = PartialStream::create(inner, 50);
    AutoPtr<MemoryStorage> out = MemoryStorage::create();
    EXPECT_EQ(5u, out->copyAll(*p, 2, nullptr, nullptr));
    EXPECT_TRUE(p->isEof());

    // The largest length cannot make the count wrap.
    AutoPtr<PartialStream> unbounded = PartialStream::create(storageOf(hundred()), std::numeric_limits<uint64_t>::max());
    unsigned char buffer[200];
    EXPECT_EQ(100u, unbounded->readBytes(buffer, 200, false));
    AutoPtr<PartialStream> nothing = PartialStream::create(storageOf(hundred()), 0);
    EXPECT_TRUE(nothing->isEof());
    EXPECT_EQ(0u, nothing->readBytes(buffer, 5, false));
}

TEST(PartialStorageTest, WindowBasics)
{
    AutoPtr<MemoryStorage> inner = storageOf(hundred());
    inner->setPos(77);
    AutoPtr<PartialStorage> w = PartialStorage::create(inner, 10, 20, false);
    EXPECT_EQ(20u, w->getSize());
    EXPECT_EQ(0u, w->getPos());
    EXPECT_EQ(10u, inner->getPos());
    EXPECT_FALSE(w->isEof());
    unsigned char buffer[40];
    EXPECT_EQ(20u, w->readBytes(buffer, 40, false));
    EXPECT_EQ(10, buffer[0]);
    EXPECT_EQ(29, buffer[19]);
    EXPECT_TRUE(w->isEof());
    EXPECT_EQ(0u, w->readBytes(buffer, 40, false));
    w->setPos(5);
    MvxTest::expectThrow([&] { w->readBytes(buffer, 16, true); }, errReadFailed,
                         "Cannot read because of the storage size!", "mvx_storage");
    EXPECT_EQ(5u, w->getPos());
    w->setPosFromEnd(0);
    EXPECT_EQ(30u, inner->getPos());
    EXPECT_TRUE(w->isEof());
    w->setPosFromEnd(-20);
    EXPECT_EQ(10u, inner->getPos());
    w->setPosRelative(7);
    EXPECT_EQ(7u, w->getPos());
    EXPECT_EQ(inner->getName(), w->getName());
    w->reserve(1000);
    EXPECT_EQ(100u, inner->getSize());
    MvxTest::expectThrow([&] { w->setEof(); }, errNotImplemented, "setEof is not supported.");
}

TEST(PartialStorageTest, WindowMustFitTheInnerStorage)
{
    AutoPtr<MemoryStorage> inner = storageOf(hundred());
    MvxTest::expectThrow([&] { PartialStorage::create(inner, 90, 11, false); }, errInvalidParam,
                         "The input storage is not so large!", "Morvenix::PartialStorage::create");
    MvxTest::expectThrow([&] { PartialStorage::create(inner, 101, 0, false); }, errInvalidParam);
    MvxTest::expectThrow([&] { PartialStorage::create(inner, 50, std::numeric_limits<uint64_t>::max() - 10, false); },
                         errInvalidParam, "The input storage is not so large!");
    AutoPtr<PartialStorage> whole = PartialStorage::create(inner, 0, 100, true);
    EXPECT_EQ(100u, whole->getSize());
    AutoPtr<PartialStorage> empty = PartialStorage::create(inner, 100, 0, true);
    EXPECT_TRUE(empty->isEof());
}

TEST(PartialStorageTest, WritesStayInTheWindow)
{
    AutoPtr<MemoryStorage> inner = storageOf(hundred());
    AutoPtr<PartialStorage> w = PartialStorage::create(inner, 10, 5, false);
    w->writeBytes("abc", 3);
    MvxTest::expectThrow([&] { w->writeBytes("xyz", 3); }, errWriteFailed, "Cannot write because of the storage size!",
                         "Morvenix::PartialStorageImpl::writeBytes");
    w->writeBytes("de", 2);
    Bytes expected = hundred();
    std::memcpy(expected.data() + 10, "abcde", 5);
    EXPECT_EQ(expected, contents(*inner));

    AutoPtr<PartialStorage> readOnly = PartialStorage::create(inner, 10, 5, true);
    MvxTest::expectThrow([&] { readOnly->writeBytes("q", 1); }, errWriteFailed, "The storage is read-only!");
    EXPECT_EQ(expected, contents(*inner));
}

// Seeks cannot leave the window at either end, and reads and writes check the inner position at both
// ends even when somebody else has moved the inner storage.
TEST(PartialStorageTest, BoundedAtBothEnds)
{
    AutoPtr<MemoryStorage> inner = storageOf(hundred());
    AutoPtr<PartialStorage> w = PartialStorage::create(inner, 10, 20, false);
    const struct {
        const char* what;
        std::function<void()> seek;
    } refused[] = {
        {"relative before the start", [&] { w->setPosRelative(-1); }},
        {"relative past the end", [&] { w->setPosRelative(21); }},
        {"relative minimum", [&] { w->setPosRelative(std::numeric_limits<int64_t>::min()); }},
        {"relative maximum", [&] { w->setPosRelative(std::numeric_limits<int64_t>::max()); }},
        {"from end before the start", [&] { w->setPosFromEnd(-21); }},
        {"from end past the end", [&] { w->setPosFromEnd(1); }},
        {"from end minimum", [&] { w->setPosFromEnd(std::numeric_limits<int64_t>::min()); }},
        {"absolute past the end", [&] { w->setPos(21); }},
        {"absolute maximum", [&] { w->setPos(std::numeric_limits<uint64_t>::max()); }},
    };
    for (const auto& r : refused) {
        MvxTest::expectThrow(r.seek, errInvalidParam);
        EXPECT_EQ(10u, inner->getPos()) << r.what;
    }
    w->setPos(20);
    EXPECT_TRUE(w->isEof());
    w->setPosRelative(-20);
    EXPECT_EQ(0u, w->getPos());

    unsigned char buffer[8];
    inner->setPos(5); // moved through the inner storage itself, before the window
    EXPECT_TRUE(w->isEof());
    MvxTest::expectThrow([&] { w->readBytes(buffer, 2, false); }, errReadFailed, "Cannot read before the storage start!");
    MvxTest::expectThrow([&] { w->writeBytes("zz", 2); }, errWriteFailed, "Cannot write before the storage start!");
    MvxTest::expectThrow([&] { w->setPosRelative(0); }, errInvalidParam);
    inner->setPos(40); // and past it
    EXPECT_TRUE(w->isEof());
    MvxTest::expectThrow([&] { w->readBytes(buffer, 2, false); }, errReadFailed, "Cannot read beyond EOF!");
    MvxTest::expectThrow([&] { w->writeBytes("zz", 2); }, errWriteFailed, "Cannot write because of the storage size!");
    EXPECT_EQ(hundred(), contents(*inner));
}

TEST(PartialStorageTest, DuplicateIsTheSameWindowWithItsOwnPosition)
{
    AutoPtr<MemoryStorage> inner = storageOf(hundred());
    AutoPtr<PartialStorage> w = PartialStorage::create(inner, 10, 20, false);
    w->setPos(4);
    AutoPtr<Storage> d = w->duplicate();
    EXPECT_EQ(4u, d->getPos());
    EXPECT_EQ(20u, d->getSize());
    unsigned char buffer[30];
    EXPECT_EQ(16u, d->readBytes(buffer, 30, false));
    EXPECT_EQ(14, buffer[0]);
    EXPECT_EQ(4u, w->getPos());
    d->setPos(0);
    d->writeBytes("Z", 1);
    EXPECT_EQ('Z', inner->getArray()[10]);
    MvxTest::expectThrow([&] { d->setPosRelative(-2); }, errInvalidParam); // one byte in, two back
}

TEST(PartialStorageTest, LockReachesTheInnerStorage)
{
    struct Counting : MvxTest::VectorStream {
        int locks = 0;
        void lock() override { ++locks; }
    };
    Counting* counted = new Counting();
    AutoPtr<Stream> held(counted);
    AutoPtr<PartialStream> p = PartialStream::create(held, 3);
    p->lock();
    p->unlock();
    EXPECT_EQ(1, counted->locks);
}

} // namespace
