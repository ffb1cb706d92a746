// Read-only storage over a caller's block: reads, seeks at and past both ends, refused writes, duplicates.
#include "mvx_romstorage.h"

#include "mvx_memstorage.h"
#include "mvx_string.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

using namespace Morvenix;

namespace {

const unsigned char kBlock[10] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};

TEST(RomStorageTest, EmptyBlock)
{
    AutoPtr<RomStorage> s = RomStorage::create(nullptr, 0);
    EXPECT_TRUE(s->isEof());
    EXPECT_EQ(0u, s->getSize());
    unsigned char buffer[4];
    EXPECT_EQ(0u, s->readBytes(buffer, 4, false));
    MvxTest::expectThrow([&] { s->readBytes(buffer, 1, true); }, errOperationFailed, "No more data!",
                         "mvx_romstorage");
}

TEST(RomStorageTest, ReadsAndShortReads)
{
    AutoPtr<RomStorage> s = RomStorage::create(kBlock, 10);
    EXPECT_EQ(10u, s->getSize());
    char buffer[16] = {};
    EXPECT_EQ(4u, s->readBytes(buffer, 4, true));
    EXPECT_EQ(0, std::memcmp(buffer, "0123", 4));
    EXPECT_EQ(4u, s->getPos());
    MvxTest::expectThrow([&] { s->readBytes(buffer, 7, true); }, errOperationFailed, "No more data!",
                         "Morvenix::RomStorageImpl::readBytes");
    EXPECT_EQ(4u, s->getPos()); // a refused read moves nothing
    EXPECT_EQ(6u, s->readBytes(buffer, 16, false));
    EXPECT_EQ(0, std::memcmp(buffer, "456789", 6));
    EXPECT_TRUE(s->isEof());
    EXPECT_EQ(0u, s->readBytes(buffer, 16, false));
    // A read of up to 4 GiB - 1 bytes near the end cannot wrap the position sum.
    s->setPos(9);
    EXPECT_EQ(1u, s->readBytes(buffer, 0xFFFFFFFFu, false));
}

TEST(RomStorageTest, Seeks)
{
    AutoPtr<RomStorage> s = RomStorage::create(kBlock, 10);
    char buffer[4];
    s->setPos(100);
    EXPECT_TRUE(s->isEof());
    EXPECT_EQ(0u, s->readBytes(buffer, 4, false));
    s->setPos(0xFFFFFFFFull);
    EXPECT_EQ(0xFFFFFFFFull, s->getPos());
    MvxTest::expectThrow([&] { s->setPos(0x100000000ull); }, errInvalidParam, nullptr, "Morvenix::RomStorageImpl::setPos");
    EXPECT_EQ(0xFFFFFFFFull, s->getPos());

    s->setPosFromEnd(-3);
    EXPECT_EQ(3u, s->readBytes(buffer, 4, false));
    EXPECT_EQ(0, std::memcmp(buffer, "789", 3));
    s->setPosRelative(-10);
    EXPECT_EQ(0u, s->getPos());

    const struct {
        int64_t offset;
        bool fromEnd;
    } refused[] = {{-1, false},
                   {-11, true},
                   {int64_t(0x100000000ll), false},
                   {int64_t(0xFFFFFFF6ll), true}, // 10 + that is 2^32
                   {std::numeric_limits<int64_t>::min(), false},
                   {std::numeric_limits<int64_t>::max(), true},
                   {std::numeric_limits<int64_t>::min(), true}};
    s->setPos(0);
    for (const auto& r : refused) {
        MvxTest::expectThrow([&] { r.fromEnd ? s->setPosFromEnd(r.offset) : s->setPosRelative(r.offset); },
                             errInvalidParam, nullptr,
                             r.fromEnd ? "Morvenix::RomStorageImpl::setPosFromEnd" : "Morvenix::RomStorageImpl::setPosRelative");
        EXPECT_EQ(0u, s->getPos());
    }
    s->setPosFromEnd(int64_t(0xFFFFFFF5ll));
    EXPECT_EQ(0xFFFFFFFFull, s->getPos());
}

TEST(RomStorageTest, WritesAreRefused)
{
    unsigned char block[4] = {1, 2, 3, 4};
    AutoPtr<RomStorage> s = RomStorage::create(block, 4);
    MvxTest::expectThrow([&] { s->writeBytes("x", 1); }, errNotImplemented, "errNotImplemented",
                         "Morvenix::RomStorageImpl::writeBytes");
    MvxTest::expectThrow([&] { s->setEof(); }, errNotImplemented, nullptr, "Morvenix::RomStorageImpl::setEof");
    MvxTest::expectThrow([&] { s->reserve(100); }, errNotImplemented, nullptr, "Morvenix::RomStorageImpl::reserve");
    s->flushBuffer();
    EXPECT_EQ(1, block[0]);
    EXPECT_EQ(4u, s->getSize());
}

TEST(RomStorageTest, DuplicatesReadIndependently)
{
    AutoPtr<RomStorage> s = RomStorage::create(kBlock, 10);
    s->setPos(3);
    AutoPtr<Storage> a = s->duplicate(), b = s->duplicate();
    EXPECT_EQ(3u, a->getPos());
    char x[3], y[5];
    EXPECT_EQ(3u, a->readBytes(x, 3, true));
    EXPECT_EQ(5u, b->readBytes(y, 5, true));
    EXPECT_EQ(0, std::memcmp(x, "345", 3));
    EXPECT_EQ(0, std::memcmp(y, "34567", 5));
    EXPECT_EQ(3u, s->getPos());
    s = nullptr; // the duplicates do not depend on the first storage
    a->setPos(0);
    EXPECT_EQ(3u, a->readBytes(x, 3, true));
    EXPECT_EQ(0, std::memcmp(x, "012", 3));
}

TEST(RomStorageTest, NameAndCopy)
{
    AutoPtr<RomStorage> s = RomStorage::create(kBlock, 10);
    const std::string name = s->getName().c_str();
    EXPECT_EQ(name, std::string(String::format("RomStorage %llXh",
                                               static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(s.get())))
                                    .c_str()));
    EXPECT_EQ(0u, name.find("RomStorage "));
    EXPECT_EQ('h', name.back());
    AutoPtr<MemoryStorage> out = MemoryStorage::create();
    EXPECT_EQ(10u, out->copyAll(*s, 3, nullptr, nullptr));
    EXPECT_EQ(0, std::memcmp(out->getArray().data(), kBlock, 10));
    {
        AutoLock lock(s.get()); // its own mutex, recursive
        AutoLock again(s.get());
    }
}

} // namespace
