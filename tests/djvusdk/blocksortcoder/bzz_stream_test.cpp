// The stream contract of the BZZ compressing and decompressing streams.
#include "bzz_test_data.h"
#include "mvx_exception.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>

using BzzTest::Bytes;
using Morvenix::AutoPtr;
using Morvenix::MemoryStorage;
using Morvenix::DjVu::DeflateStream;
using Morvenix::DjVu::InflateStream;

namespace {

using MvxTest::expectThrow;

AutoPtr<InflateStream> inflaterOf(const Bytes& inCompressed)
{
    return InflateStream::create(MemoryStorage::create(inCompressed.data(), inCompressed.size(), 4321), 0, 16);
}

// Sizes on both sides of the frequency shift's steps (100000 and 1000000 symbols, marker included).
TEST(BzzStream, RoundTripAtTheShiftBoundaries)
{
    for (uint32_t symbols : {99999u, 100000u, 999999u, 1000000u}) {
        SCOPED_TRACE(symbols);
        const Bytes data = BzzTest::mixed(symbols - 1, symbols);
        EXPECT_TRUE(BzzTest::decompress(BzzTest::compress(data, 4096)) == data);
    }
}

TEST(BzzStream, RoundTripOfAssortedInputs)
{
    const Bytes inputs[] = {Bytes(), Bytes(1, 0), Bytes(1, 0xFF), Bytes(100000, 0), Bytes(33000, 0x80),
                            BzzTest::randomBytes(70000, 1), BzzTest::text(50000, 2),
                            BzzTest::randomBytes(40000, 3, 2)};
    for (const Bytes& data : inputs) {
        for (uint32_t blockKB : {10u, 64u, 1024u}) {
            SCOPED_TRACE(data.size());
            SCOPED_TRACE(blockKB);
            EXPECT_TRUE(BzzTest::decompress(BzzTest::compress(data, blockKB), 777) == data);
        }
    }
}

TEST(BzzStream, FullBlockIsCodedAtOnce)
{
    AutoPtr<MemoryStorage> target = MemoryStorage::create();
    AutoPtr<DeflateStream> bzz = DeflateStream::create(target, 10, 16);
    const Bytes data = BzzTest::text(10 * 1024, 1);
    bzz->writeBytes(data.data(), 10 * 1024 - 2);
    EXPECT_EQ(0u, target->getSize());
    bzz->writeBytes(data.data() + 10 * 1024 - 2, 1); // block size - 1 bytes: coded now
    const uint64_t afterBlock = target->getSize();
    EXPECT_GT(afterBlock, 0u);
    bzz->writeBytes(data.data() + 10 * 1024 - 1, 1); // starts the next block
    EXPECT_EQ(afterBlock, target->getSize());
    bzz->flushBuffer();
    Morvenix::SimpleArray<unsigned char, 2>& a = target->getArray();
    EXPECT_TRUE(BzzTest::decompress(Bytes(a.data(), a.data() + a.count())) == data);
}

TEST(BzzStream, BlockSizeArguments)
{
    const Bytes data = BzzTest::text(25000, 2);
    EXPECT_TRUE(BzzTest::compress(data, 9) == BzzTest::compress(data, 10));
    EXPECT_TRUE(BzzTest::compress(data, 0) == BzzTest::compress(data, 10));
    EXPECT_FALSE(BzzTest::compress(data, 11) == BzzTest::compress(data, 10));
    EXPECT_TRUE(BzzTest::decompress(BzzTest::compress(data, 4096)) == data);
    expectThrow([] { DeflateStream::create(MemoryStorage::create(), 4097, 16); }, Morvenix::errInvalidParam,
                "Stream blocksize error");
}

TEST(BzzStream, NullStreamsAreRefused)
{
    expectThrow([] { DeflateStream::create(AutoPtr<Morvenix::Stream>(), 1024, 16); }, Morvenix::errOperationFailed,
                "no stream");
    expectThrow([] { InflateStream::create(AutoPtr<Morvenix::Stream>(), 0, 16); }, Morvenix::errOperationFailed,
                "no stream");
}

TEST(BzzStream, EmptyInputGivesNoBytesAndReadsBackEmpty)
{
    EXPECT_TRUE(BzzTest::compress(Bytes(), 1024).empty());
    AutoPtr<InflateStream> in = inflaterOf(Bytes());
    EXPECT_FALSE(in->isEof());
    unsigned char b;
    EXPECT_EQ(0u, in->readBytes(&b, 1, false));
    EXPECT_TRUE(in->isEof());
}

TEST(BzzStream, ReleasingWithoutFlushGivesTheSameBytes)
{
    const Bytes data = BzzTest::mixed(30000, 3);
    AutoPtr<MemoryStorage> target = MemoryStorage::create();
    {
        AutoPtr<DeflateStream> bzz = DeflateStream::create(target, 10, 16);
        bzz->writeBytes(data.data(), uint32_t(data.size()));
    }
    Morvenix::SimpleArray<unsigned char, 2>& a = target->getArray();
    EXPECT_TRUE(Bytes(a.data(), a.data() + a.count()) == BzzTest::compress(data, 10));
}

TEST(BzzStream, WritingAfterTheEndThrows)
{
    AutoPtr<MemoryStorage> target = MemoryStorage::create();
    AutoPtr<DeflateStream> bzz = DeflateStream::create(target, 10, 16);
    bzz->writeBytes("abc", 3);
    bzz->flushBuffer();
    const uint64_t size = target->getSize();
    bzz->flushBuffer();
    bzz->writeBytes("", 0);
    expectThrow([&] { bzz->writeBytes("d", 1); }, Morvenix::errOperationFailed, "flushBuffer");
    bzz.reset();
    EXPECT_EQ(size, target->getSize());
}

TEST(BzzStream, WrongDirectionIsNotImplemented)
{
    AutoPtr<DeflateStream> out = DeflateStream::create(MemoryStorage::create(), 10, 16);
    unsigned char b = 0;
    expectThrow([&] { out->readBytes(&b, 1, false); }, Morvenix::errNotImplemented, "DeflateStreamImpl::readBytes");
    expectThrow([&] { out->isEof(); }, Morvenix::errNotImplemented, "DeflateStreamImpl::isEof");
    AutoPtr<InflateStream> in = inflaterOf(BzzTest::compress(Bytes(5, 'x'), 10));
    expectThrow([&] { in->writeBytes(&b, 1); }, Morvenix::errNotImplemented, "InflateStreamImpl::writeBytes");
    expectThrow([&] { in->flushBuffer(); }, Morvenix::errNotImplemented, "InflateStreamImpl::flushBuffer");
}

TEST(BzzStream, ReadsExactShortAndSkipping)
{
    const Bytes data = BzzTest::text(50000, 4);
    const Bytes compressed = BzzTest::compress(data, 10);

    AutoPtr<InflateStream> in = inflaterOf(compressed);
    Bytes got(data.size());
    EXPECT_EQ(100u, in->readBytes(got.data(), 100, true));
    EXPECT_EQ(20000u, in->readBytes(nullptr, 20000, true)); // skipped, across a block boundary
    EXPECT_EQ(uint32_t(data.size() - 20100), in->readBytes(got.data() + 20100, uint32_t(data.size() - 20100), true));
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 100, data.begin()));
    EXPECT_TRUE(std::equal(got.begin() + 20100, got.end(), data.begin() + 20100));
    EXPECT_FALSE(in->isEof()); // the end block has not been read yet
    EXPECT_EQ(0u, in->readBytes(got.data(), 10, false));
    EXPECT_TRUE(in->isEof());

    AutoPtr<InflateStream> exact = inflaterOf(compressed);
    Bytes big(data.size() + 1);
    expectThrow([&] { exact->readBytes(big.data(), uint32_t(big.size()), true); }, Morvenix::errOperationFailed,
                "Could not read 'size' many bytes");

    AutoPtr<InflateStream> shorter = inflaterOf(compressed);
    EXPECT_EQ(uint32_t(data.size()), shorter->readBytes(big.data(), uint32_t(big.size()), false));
    EXPECT_TRUE(shorter->isEof());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), big.begin()));
}

TEST(BzzStream, CopyAllReadsTheWholeStream)
{
    const Bytes data = BzzTest::mixed(60000, 5);
    AutoPtr<InflateStream> in = inflaterOf(BzzTest::compress(data, 10));
    AutoPtr<MemoryStorage> out = MemoryStorage::create();
    EXPECT_EQ(uint32_t(data.size()), out->copyAll(*in, 1024, nullptr, nullptr));
    Morvenix::SimpleArray<unsigned char, 2>& a = out->getArray();
    EXPECT_TRUE(Bytes(a.data(), a.data() + a.count()) == data);
}

} // namespace
