// Wrapper storage: a plain stream loaded into memory on first use, read from its start, duplicates that
// keep the bytes alive, writable wrappers, failed loads.
#include "mvx_wrapperstorage.h"

#include "mvx_string.h"
#include "test_support.h"
#include "vector_stream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

using namespace Morvenix;

namespace {

typedef std::vector<unsigned char> Bytes;

// A source that says when it is destroyed and how many reads it served.
struct TrackedStream : MvxTest::VectorStream {
    explicit TrackedStream(Bytes inData, bool* outDestroyed = nullptr)
        : MvxTest::VectorStream(std::move(inData)), destroyed(outDestroyed)
    {
    }
    ~TrackedStream() override
    {
        if (destroyed)
            *destroyed = true;
    }
    uint32_t readBytes(void* outBuffer, uint32_t inSize, bool inExact) override
    {
        ++readCount;
        if (failAfter >= 0 && readCount > failAfter)
            throw Exception(errReadFailed, "source failed", "wrapperstorage_test", __LINE__, "TrackedStream::readBytes");
        return MvxTest::VectorStream::readBytes(outBuffer, inSize, inExact);
    }
    bool* destroyed;
    std::atomic<int> readCount{0};
    int failAfter = -1;
};

TEST(WrapperStorageTest, FreshWrapperReadsFromTheStart)
{
    bool destroyed = false;
    AutoPtr<WrapperStorage> w = WrapperStorage::create(AutoPtr<Stream>(new TrackedStream({'h', 'e', 'l', 'l', 'o'}, &destroyed)), false);
    EXPECT_EQ(0u, w->getPos()); // nothing loaded yet
    EXPECT_FALSE(destroyed);
    char buffer[8];
    EXPECT_EQ(5u, w->readBytes(buffer, 8, false)); // no setPos first: the load leaves it at 0
    EXPECT_EQ(0, std::memcmp(buffer, "hello", 5));
    EXPECT_TRUE(destroyed); // the source is released once loaded
    EXPECT_TRUE(w->isEof());

    AutoPtr<WrapperStorage> sized = WrapperStorage::create(AutoPtr<Stream>(new TrackedStream({1, 2, 3, 4, 5})), false);
    EXPECT_EQ(5u, sized->getSize());
    EXPECT_EQ(0u, sized->getPos());
    sized->setPos(0);
    EXPECT_EQ(5u, sized->readBytes(buffer, 5, true));
    sized->setPosFromEnd(-2);
    EXPECT_EQ(2u, sized->readBytes(buffer, 8, false));
    EXPECT_EQ(4, buffer[0]);
    sized->setPosRelative(-5);
    EXPECT_EQ(0u, sized->getPos());
}

TEST(WrapperStorageTest, ReadOnlyWrapperRefusesChanges)
{
    AutoPtr<WrapperStorage> w = WrapperStorage::create(AutoPtr<Stream>(new TrackedStream({1, 2, 3, 4, 5})), false);
    MvxTest::expectThrow([&] { w->writeBytes("x", 1); }, errWriteFailed, "writeBytes is not supported!", "mvx_storage");
    MvxTest::expectThrow([&] { w->setEof(); }, errWriteFailed, "setEof is not supported!",
                         "Morvenix::WrapperStorageImpl::setEof");
    EXPECT_EQ(5u, w->getSize());
    w->flushBuffer();
}

TEST(WrapperStorageTest, NameCarriesTheAddress)
{
    AutoPtr<WrapperStorage> w = WrapperStorage::create(AutoPtr<Stream>(new TrackedStream({1})), false);
    const std::string name = w->getName().c_str();
    EXPECT_TRUE(std::regex_match(name, std::regex("WrapperStorage [0-9A-F]{8,16}"))) << name;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(w.get()), uintptr_t(std::stoull(name.substr(15), nullptr, 16)));
    EXPECT_EQ(1u, w->getSize()); // getName loaded it
}

// The duplicate holds the loaded bytes: it outlives the wrapper it came from.
TEST(WrapperStorageTest, DuplicateKeepsTheBytesAlive)
{
    AutoPtr<WrapperStorage> w = WrapperStorage::create(AutoPtr<Stream>(new TrackedStream({'a', 'b', 'c', 'd'})), false);
    w->setPos(1);
    AutoPtr<Storage> d = w->duplicate();
    EXPECT_EQ(1u, d->getPos());
    AutoPtr<Storage> dd = d->duplicate();
    w = nullptr;
    char buffer[4];
    EXPECT_EQ(3u, d->readBytes(buffer, 4, false));
    EXPECT_EQ(0, std::memcmp(buffer, "bcd", 3));
    d = nullptr;
    dd->setPos(0);
    EXPECT_EQ(4u, dd->readBytes(buffer, 4, true));
    EXPECT_EQ(0, std::memcmp(buffer, "abcd", 4));
    MvxTest::expectThrow([&] { dd->writeBytes("x", 1); }, errWriteFailed); // same writable flag
}

TEST(WrapperStorageTest, WritableWrapperStartsEmpty)
{
    TrackedStream* source = new TrackedStream({9, 9, 9});
    AutoPtr<Stream> held(source);
    AutoPtr<WrapperStorage> w = WrapperStorage::create(held, true);
    EXPECT_EQ(0u, w->getSize());
    w->writeBytes("hello world", 11);
    w->setPos(5);
    w->setEof();
    EXPECT_EQ(5u, w->getSize());
    w->reserve(1000);
    w->setPos(0);
    char buffer[8];
    EXPECT_EQ(5u, w->readBytes(buffer, 8, false));
    EXPECT_EQ(0, std::memcmp(buffer, "hello", 5));
    EXPECT_EQ(0, source->readCount);

    AutoPtr<Storage> d = w->duplicate();
    d->setPos(0);
    d->writeBytes("J", 1);
    w->setPos(0);
    EXPECT_EQ(1u, w->readBytes(buffer, 1, true));
    EXPECT_EQ('J', buffer[0]);
}

TEST(WrapperStorageTest, FailedLoadIsNotMistakenForData)
{
    TrackedStream* source = new TrackedStream(Bytes(5000, 7));
    source->failAfter = 2; // two blocks of 1024, then a failure
    AutoPtr<WrapperStorage> w = WrapperStorage::create(AutoPtr<Stream>(source), false);
    MvxTest::expectThrow([&] { w->getSize(); }, errReadFailed, "source failed");
    char buffer[4];
    MvxTest::expectThrow([&] { w->readBytes(buffer, 4, false); }, errReadFailed, "Loading the source failed!");
    MvxTest::expectThrow([&] { w->isEof(); }, errReadFailed);
    EXPECT_EQ(0u, w->getPos());
}

TEST(WrapperStorageTest, LoadsOnceUnderConcurrentFirstUse)
{
    for (int round = 0; round < 20; ++round) {
        TrackedStream* source = new TrackedStream(Bytes(10000, 1));
        AutoPtr<Stream> held(source);
        AutoPtr<WrapperStorage> w = WrapperStorage::create(held, false);
        std::atomic<int> wrong{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&] {
                if (w->getSize() != 10000)
                    ++wrong;
            });
        for (auto& t : threads)
            t.join();
        EXPECT_EQ(0, wrong.load());
        EXPECT_EQ(10, source->readCount.load()); // ten blocks of 1024 bytes, read once
    }
}

} // namespace
