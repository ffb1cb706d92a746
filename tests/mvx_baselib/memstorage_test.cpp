#include "mvx_exception.h"
#include "mvx_memstorage.h"
#include "mvx_string.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using Morvenix::AutoPtr;
using Morvenix::MemoryStorage;
using Morvenix::SimpleArray;
using Morvenix::Storage;

namespace {

// Every storage exception names this storage's source.
template <class F>
void expectThrow(F&& f, int inCode, const char* inText = nullptr)
{
    MvxTest::expectThrow(f, inCode, inText, "mvx_memstorage");
}

std::string readAll(Storage& s)
{
    s.setPos(0);
    std::string r(size_t(s.getSize()), '\0');
    if (!r.empty()) {
        EXPECT_EQ(uint32_t(r.size()), s.readBytes(&r[0], uint32_t(r.size()), true));
    }
    return r;
}

void write(Storage& s, const std::string& text) { s.writeBytes(text.data(), uint32_t(text.size())); }

TEST(MemoryStorage, NewStorageIsEmpty)
{
    AutoPtr<MemoryStorage> s = MemoryStorage::create();
    EXPECT_EQ(0u, s->getSize());
    EXPECT_EQ(0u, s->getPos());
    EXPECT_TRUE(s->isEof());
    EXPECT_EQ(128u, s->getArray().capacity());
    EXPECT_EQ(0x80000u, s->getArray().growStep());
    char b;
    EXPECT_EQ(0u, s->readBytes(&b, 1, false));
    expectThrow([&] { s->readBytes(&b, 1, true); }, Morvenix::errOperationFailed,
                "Current position exceeds the storage end!");
}

TEST(MemoryStorage, ReadsWritesAndShortReads)
{
    AutoPtr<MemoryStorage> s = MemoryStorage::create();
    write(*s, "hello world");
    EXPECT_EQ(11u, s->getPos());
    EXPECT_TRUE(s->isEof());
    s->setPos(6);
    EXPECT_FALSE(s->isEof());
    char buf[16] = {};
    expectThrow([&] { s->readBytes(buf, 6, true); }, Morvenix::errOperationFailed, "No more data!");
    EXPECT_EQ(6u, s->getPos());
    EXPECT_EQ(5u, s->readBytes(buf, 6, false));
    EXPECT_EQ(std::string("world"), std::string(buf, 5));
    s->setPos(0);
    write(*s, "J");
    EXPECT_EQ("Jello world", readAll(*s));
}

TEST(MemoryStorage, WriteBeyondTheEndGrows)
{
    AutoPtr<MemoryStorage> s = MemoryStorage::create();
    s->setPos(10);
    EXPECT_EQ(0u, s->getSize());
    write(*s, "x");
    EXPECT_EQ(11u, s->getSize());
    EXPECT_EQ('x', readAll(*s)[10]);
    // Past the capacity, growth gives max(step, size) + size.
    s->setPos(0);
    write(*s, std::string(200, 'y'));
    EXPECT_EQ(0x80000u + 200u, s->getArray().capacity());
}

TEST(MemoryStorage, Positions)
{
    AutoPtr<MemoryStorage> s = MemoryStorage::create();
    expectThrow([&] { s->setPos(0x100000000ull); }, Morvenix::errInvalidParam);
    s->setPos(0xFFFFFFFFull);
    EXPECT_EQ(0xFFFFFFFFull, s->getPos());
    // position + n past 4 GiB is refused before anything changes
    expectThrow([&] { write(*s, "ab"); }, Morvenix::errInvalidParam);
    EXPECT_EQ(0u, s->getSize());

    s->setPos(0);
    write(*s, "12345");
    s->setPosFromEnd(-1);
    EXPECT_EQ(4u, s->getPos());
    s->setPosFromEnd(3);
    EXPECT_EQ(8u, s->getPos());
    s->setPosRelative(-8);
    EXPECT_EQ(0u, s->getPos());
    struct Bad {
        bool fromEnd;
        int64_t offset;
    };
    const Bad bad[] = {{false, -1}, {true, -6}, {false, INT64_MIN}, {false, INT64_MAX}, {true, INT64_MIN},
                       {true, INT64_MAX}, {true, int64_t(0x100000000ll) - 5}};
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.offset);
        expectThrow([&] { b.fromEnd ? s->setPosFromEnd(b.offset) : s->setPosRelative(b.offset); },
                    Morvenix::errInvalidParam);
        EXPECT_EQ(0u, s->getPos());
    }
    s->setPosFromEnd(int64_t(0x100000000ll) - 6);
    EXPECT_EQ(0xFFFFFFFFull, s->getPos());
}

TEST(MemoryStorage, SetEofCutsAndExtends)
{
    AutoPtr<MemoryStorage> s = MemoryStorage::create();
    write(*s, "0123456789");
    s->setPos(3);
    s->setEof();
    EXPECT_EQ(3u, s->getSize());
    EXPECT_EQ(3u, s->getPos());
    EXPECT_EQ("012", readAll(*s));
    s->setPos(6);
    s->setEof();
    EXPECT_EQ(6u, s->getSize());
}

TEST(MemoryStorage, ReadOnly)
{
    AutoPtr<MemoryStorage> s = MemoryStorage::create();
    write(*s, "abc");
    s->setReadOnly(true);
    expectThrow([&] { write(*s, "d"); }, Morvenix::errWriteFailed, "The instance is read-only!");
    expectThrow([&] { s->setEof(); }, Morvenix::errOperationFailed, "The instance is read-only!");
    expectThrow([&] { s->reserve(1000); }, Morvenix::errOperationFailed, "The instance is read-only!");
    expectThrow([&] { s->getArray(); }, Morvenix::errOperationFailed, "The instance is read-only!");
    expectThrow([&] { s->setAllocationUnit(10); }, Morvenix::errOperationFailed, "The instance is read-only!");
    EXPECT_EQ("abc", readAll(*s));
    s->setPosFromEnd(-1);
    EXPECT_EQ(2u, s->getPos());
    s->setReadOnly(false);
    write(*s, "Z");
    EXPECT_EQ("abZ", readAll(*s));
}

TEST(MemoryStorage, OverACallersArray)
{
    SimpleArray<unsigned char, 2> bytes(4);
    std::memcpy(bytes.data(), "wxyz", 4);
    {
        AutoPtr<MemoryStorage> s = MemoryStorage::create(bytes);
        EXPECT_EQ(0x80000u, bytes.growStep());
        EXPECT_EQ(4u, s->getSize());
        EXPECT_EQ(0u, s->getPos()); // writes start at the beginning, not at the array's end
        EXPECT_EQ(&bytes, &s->getArray());
        write(*s, "AB");
        s->setPosFromEnd(0);
        write(*s, "123");
    }
    ASSERT_EQ(7u, bytes.count());
    EXPECT_EQ(0, std::memcmp(bytes.data(), "AByz123", 7));
}

TEST(MemoryStorage, CopyOfCallersBytes)
{
    const std::string text(1000, 'q');
    AutoPtr<MemoryStorage> s = MemoryStorage::create(text.data(), text.size(), 4321);
    EXPECT_EQ(0u, s->getPos());
    EXPECT_EQ(text, readAll(*s));
    EXPECT_EQ(2000u, s->getArray().capacity());
    EXPECT_EQ(0x80000u, s->getArray().growStep());
    AutoPtr<MemoryStorage> small = MemoryStorage::create("ab", 2, 1234);
    EXPECT_EQ("ab", readAll(*small));
    EXPECT_EQ(130u, small->getArray().capacity());
    AutoPtr<MemoryStorage> none = MemoryStorage::create(nullptr, 0, 4321);
    EXPECT_EQ(0u, none->getSize());
}

TEST(MemoryStorage, AllocationUnitAndReserve)
{
    AutoPtr<MemoryStorage> s = MemoryStorage::create();
    s->setAllocationUnit(0);
    EXPECT_EQ(128u, s->getArray().growStep());
    s->setAllocationUnit(4096);
    EXPECT_EQ(4096u, s->getArray().growStep());
    s->reserve(64);
    EXPECT_EQ(128u, s->getArray().capacity());
    write(*s, "keep");
    s->reserve(5000);
    EXPECT_EQ(5000u, s->getArray().capacity());
    EXPECT_EQ("keep", readAll(*s));
    expectThrow([&] { s->reserve(0x100000000ull); }, Morvenix::errInvalidParam);
}

TEST(MemoryStorage, DuplicatesShareTheBytes)
{
    AutoPtr<MemoryStorage> s = MemoryStorage::create();
    write(*s, "shared");
    s->setPos(2);
    s->setReadOnly(true);
    AutoPtr<Storage> d = s->duplicate();
    EXPECT_EQ(2u, d->getPos());
    write(*d, "AR"); // the duplicate is writable
    EXPECT_EQ(4u, d->getPos());
    EXPECT_EQ(2u, s->getPos()); // each has its own position
    EXPECT_EQ("shARed", readAll(*s));
}

TEST(MemoryStorage, DuplicateKeepsTheBytesAliveAfterTheOriginalGoes)
{
    AutoPtr<MemoryStorage> s = MemoryStorage::create();
    write(*s, std::string(100000, 'k'));
    AutoPtr<Storage> d = s->duplicate();
    AutoPtr<Storage> dd = d->duplicate();
    s.reset();
    EXPECT_EQ(std::string(100000, 'k'), readAll(*d));
    d.reset();
    write(*dd, "more");
    EXPECT_EQ(100004u, dd->getSize());
}

TEST(MemoryStorage, NameAndLocks)
{
    AutoPtr<MemoryStorage> s = MemoryStorage::create();
    const std::string name = s->getName().c_str();
    char expected[64];
    snprintf(expected, sizeof expected, "MemoryStorage %llXh",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(s.get())));
    EXPECT_EQ(std::string(expected), name);
    s->lock();
    s->lock();
    s->unlock();
    s->unlock();
}

TEST(MemoryStorage, CopyAllBetweenStorages)
{
    const std::string text(5000, 'c');
    AutoPtr<MemoryStorage> from = MemoryStorage::create(text.data(), text.size(), 4321);
    AutoPtr<MemoryStorage> to = MemoryStorage::create();
    EXPECT_EQ(5000u, to->copyAll(*from, 1024, nullptr, nullptr));
    EXPECT_EQ(text, readAll(*to));
}

} // namespace
