// Cipher streams: the header, 8-bit cipher feedback against vectors computed outside, any division of
// the data into calls, truncated and damaged input, and destruction that never throws.
#include "mvx_cipherstream.h"

#include "mvx_memstorage.h"
#include "mvx_romstorage.h"
#include "mvx_string.h"
#include "hex_bytes.h"
#include "test_support.h"
#include "vector_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace Morvenix;

namespace {

using MvxTest::Bytes;
using MvxTest::fromHex;

const char kKey[] = "Morvenix key";
const char kText[] = "The quick brown fox jumps over the lazy dog.";

AutoPtr<BlockCipher> cipher(const char* key = kKey)
{
    AutoPtr<BlockCipher> c = BlockCipher::create("blowfish");
    c->setKey(key, uint32_t(std::strlen(key)));
    return c;
}

Bytes contents(MemoryStorage& s)
{
    SimpleArray<unsigned char, 2>& a = s.getArray();
    return Bytes(a.data(), a.data() + a.count());
}

// Everything written through a new writer over a new memory storage, the writer destroyed at the end.
Bytes encrypt(const Bytes& plain, uint32_t seed, const std::vector<size_t>& pieces = {})
{
    AutoPtr<MemoryStorage> storage = MemoryStorage::create();
    {
        AutoPtr<CipherStream> writer = CipherStream::create(storage, cipher(), seed);
        size_t at = 0, i = 0;
        while (at < plain.size()) {
            size_t n = pieces.empty() ? plain.size() : std::min(pieces[i++ % pieces.size()], plain.size() - at);
            writer->writeBytes(plain.data() + at, uint32_t(n));
            at += n;
        }
    }
    return contents(*storage);
}

AutoPtr<CipherStream> reader(const Bytes& data, const char* key = kKey)
{
    return CipherStream::create(AutoPtr<Stream>(MemoryStorage::create(data.data(), data.size(), 4321)), cipher(key));
}

// Computed with Python: cryptography's Blowfish in ECB for the block function, hashlib's MD5 of the
// big-endian seed for the register, and 8-bit cipher feedback as NIST SP 800-38A defines it.
TEST(CipherStreamTest, MatchesOutsideComputation)
{
    const Bytes plain(kText, kText + std::strlen(kText));
    const struct {
        uint32_t seed;
        const char* expected;
    } cases[] = {
        {0, "0000002c00000000b1cb08236e8aea3a32b5977f26b362d69d9e8f64b607d82fd0e9b937467fa2479141e6a17a6c0a74c60d9c67"},
        {0x12345678, "0000002c123456786369afbb15aefb980d1ded237da9509578111aea9f006615af70dcb9474f4d6edd122d42bc84b8d7cc86dc2b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fromHex(c.expected), encrypt(plain, c.seed)) << c.seed;
        // Any division of the writes gives the same bytes.
        EXPECT_EQ(fromHex(c.expected), encrypt(plain, c.seed, {1, 2, 3, 5, 8})) << c.seed;
    }
}

TEST(CipherStreamTest, EmptyWriterLeavesTheHeaderOnly)
{
    AutoPtr<MemoryStorage> storage = MemoryStorage::create();
    storage->writeBytes("pre", 3);
    {
        AutoPtr<CipherStream> writer = CipherStream::create(storage, cipher(), 0xA1B2C3D4);
        writer->writeBytes("x", 0);
        EXPECT_TRUE(writer->isEof()); // a writer always reports the end
        writer->flushBuffer();
    }
    EXPECT_EQ((Bytes{'p', 'r', 'e', 0, 0, 0, 0, 0xA1, 0xB2, 0xC3, 0xD4}), contents(*storage));
}

TEST(CipherStreamTest, HeaderLengthIsFilledInOnDestruction)
{
    AutoPtr<MemoryStorage> storage = MemoryStorage::create();
    storage->writeBytes("0123456789", 10);
    storage->setPos(4); // the header goes where the storage stands
    AutoPtr<CipherStream> writer = CipherStream::create(storage, cipher(), 7);
    writer->writeBytes("abc", 3);
    writer->writeBytes("defghij", 7);
    EXPECT_EQ(0, std::memcmp(contents(*storage).data() + 4, "\0\0\0\0", 4));
    storage->setPos(2);
    writer = nullptr;
    Bytes bytes = contents(*storage);
    EXPECT_EQ(22u, bytes.size());
    EXPECT_EQ((Bytes{0, 0, 0, 10, 0, 0, 0, 7}), Bytes(bytes.begin() + 4, bytes.begin() + 12));
    EXPECT_EQ(2u, storage->getPos()); // the position is put back where the owner left it

    Bytes stream(bytes.begin() + 4, bytes.end());
    for (std::vector<uint32_t> split : {std::vector<uint32_t>{10}, {1, 9}, {3, 3, 3, 1}, {7, 3}}) {
        AutoPtr<CipherStream> r = reader(stream);
        std::string back;
        for (uint32_t n : split) {
            char buffer[16];
            ASSERT_EQ(n, r->readBytes(buffer, n, true));
            back.append(buffer, n);
        }
        EXPECT_EQ("abcdefghij", back);
        EXPECT_TRUE(r->isEof());
    }
}

TEST(CipherStreamTest, SeedAndKeyChooseTheCiphertext)
{
    const Bytes plain(kText, kText + std::strlen(kText));
    const Bytes a = encrypt(plain, 1), b = encrypt(plain, 2), again = encrypt(plain, 1);
    EXPECT_EQ(a, again);
    EXPECT_NE(Bytes(a.begin() + 8, a.end()), Bytes(b.begin() + 8, b.end()));
    // The wrong key reads other bytes, of the right length.
    AutoPtr<CipherStream> wrong = reader(a, "another key");
    Bytes back(plain.size());
    EXPECT_EQ(plain.size(), wrong->readBytes(back.data(), uint32_t(back.size()), true));
    EXPECT_NE(plain, back);
}

TEST(CipherStreamTest, EndIsTheStatedLength)
{
    const Bytes plain = {'h', 'e', 'l', 'l', 'o'};
    Bytes data = encrypt(plain, 9);
    data.insert(data.end(), {'t', 'r', 'a', 'i', 'l'}); // bytes after the data (a checksum trailer, say)
    AutoPtr<CipherStream> r = reader(data);
    EXPECT_FALSE(r->isEof());
    unsigned char buffer[32];
    EXPECT_EQ(0u, r->readBytes(buffer, 0, true));
    EXPECT_EQ(2u, r->readBytes(buffer, 2, true));
    EXPECT_FALSE(r->isEof());
    EXPECT_EQ(3u, r->readBytes(buffer + 2, 30, false));
    EXPECT_EQ(0, std::memcmp(buffer, "hello", 5));
    EXPECT_TRUE(r->isEof());
    EXPECT_EQ(0u, r->readBytes(buffer, 30, false));
    MvxTest::expectThrow([&] { r->readBytes(buffer, 1, true); }, errEOF);

    // copyAll takes exactly the data.
    AutoPtr<CipherStream> all = reader(data);
    AutoPtr<MemoryStorage> out = MemoryStorage::create();
    EXPECT_EQ(5u, out->copyAll(*all, 2, nullptr, nullptr));
    EXPECT_EQ(plain, contents(*out));
}

// A stream cut short ends where its bytes end: isEof turns true there and copyAll returns.
TEST(CipherStreamTest, TruncatedStreamEnds)
{
    Bytes plain(300);
    for (size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<unsigned char>(i * 13);
    const Bytes full = encrypt(plain, 42);
    for (size_t cut : {size_t(8), size_t(9), size_t(100), size_t(307)}) {
        Bytes data(full.begin(), full.begin() + cut);
        AutoPtr<CipherStream> r = reader(data);
        AutoPtr<MemoryStorage> out = MemoryStorage::create();
        EXPECT_EQ(cut - 8, out->copyAll(*r, 64, nullptr, nullptr));
        EXPECT_TRUE(r->isEof());
        EXPECT_EQ(Bytes(plain.begin(), plain.begin() + (cut - 8)), contents(*out));
        AutoPtr<CipherStream> exact = reader(data);
        Bytes buffer(300);
        EXPECT_THROW(exact->readBytes(buffer.data(), 300, true), Exception);
    }
    // Over a stream that is not a storage, too.
    AutoPtr<Stream> source(new MvxTest::VectorStream(Bytes(full.begin(), full.begin() + 50)));
    AutoPtr<CipherStream> r = CipherStream::create(source, cipher());
    AutoPtr<MemoryStorage> out = MemoryStorage::create();
    EXPECT_EQ(42u, out->copyBytes(*r, 1000, 16, nullptr, nullptr));
    EXPECT_TRUE(r->isEof());

    // And over a stream that never reports its end: the first empty read ends the cipher stream.
    struct Endless : MvxTest::VectorStream {
        using MvxTest::VectorStream::VectorStream;
        bool isEof() override { return false; }
    };
    AutoPtr<CipherStream> endless = CipherStream::create(AutoPtr<Stream>(new Endless(Bytes(full.begin(), full.begin() + 20))), cipher());
    unsigned char buffer[64];
    EXPECT_EQ(12u, endless->readBytes(buffer, 64, false));
    EXPECT_FALSE(endless->isEof());
    EXPECT_EQ(0u, endless->readBytes(buffer, 64, false));
    EXPECT_TRUE(endless->isEof());
}

TEST(CipherStreamTest, WrongDirectionThrows)
{
    AutoPtr<MemoryStorage> storage = MemoryStorage::create();
    AutoPtr<CipherStream> writer = CipherStream::create(storage, cipher(), 1);
    unsigned char buffer[4];
    MvxTest::expectThrow([&] { writer->readBytes(buffer, 4, false); }, errReadFailed,
                         "This CipherStream is for write!", "mvx_cipherstream");
    const Bytes data = encrypt(Bytes{1, 2, 3}, 1);
    AutoPtr<CipherStream> r = reader(data);
    MvxTest::expectThrow([&] { r->writeBytes("x", 1); }, errReadFailed, "This CipherStream is not for write!");
}

// A storage that refuses the header update must not make the destructor throw.
TEST(CipherStreamTest, DestructorSwallowsStorageFailure)
{
    AutoPtr<MemoryStorage> storage = MemoryStorage::create();
    {
        AutoPtr<CipherStream> writer = CipherStream::create(storage, cipher(), 3);
        writer->writeBytes("abcd", 4);
        storage->setReadOnly(true);
    }
    storage->setReadOnly(false);
    const Bytes bytes = contents(*storage);
    ASSERT_EQ(12u, bytes.size());
    EXPECT_EQ((Bytes{0, 0, 0, 0, 0, 0, 0, 3}), Bytes(bytes.begin(), bytes.begin() + 8));
}

TEST(CipherStreamTest, FailedWriteIsReported)
{
    AutoPtr<MemoryStorage> storage = MemoryStorage::create();
    AutoPtr<CipherStream> writer = CipherStream::create(storage, cipher(), 3);
    storage->setReadOnly(true);
    MvxTest::expectThrow([&] { writer->writeBytes("abcd", 4); }, errWriteFailed);
    storage->setReadOnly(false);
}

TEST(CipherStreamTest, LockReachesTheUnderlyingStream)
{
    struct CountingStream : MvxTest::VectorStream {
        int locks = 0, unlocks = 0;
        void lock() override { ++locks; }
        void unlock() override { ++unlocks; }
    };
    CountingStream* inner = new CountingStream();
    inner->data = encrypt(Bytes{1, 2}, 5);
    AutoPtr<Stream> held(inner);
    AutoPtr<CipherStream> r = CipherStream::create(held, cipher());
    {
        AutoLock lock(r.get());
        EXPECT_EQ(1, inner->locks);
    }
    EXPECT_EQ(1, inner->unlocks);
}

// Damaged headers and data: short headers throw; any stated length, any bytes end in a clean result.
TEST(CipherStreamTest, CorruptInputTable)
{
    const Bytes good = encrypt(Bytes{'d', 'a', 't', 'a'}, 11);
    const struct {
        const char* name;
        Bytes data;
        bool throws;
        uint32_t delivered;
    } cases[] = {
        {"empty", {}, true, 0},
        {"length only", {0, 0, 0, 4}, true, 0},
        {"seven header bytes", {0, 0, 0, 4, 0, 0, 0}, true, 0},
        {"header, no data", {0, 0, 0, 4, 0, 0, 0, 11}, false, 0},
        {"length 0 before data", {0, 0, 0, 0, 0, 0, 0, 11, 1, 2, 3}, false, 0},
        {"length 4 GiB - 1 over 3 bytes", {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 11, 1, 2, 3}, false, 3},
        {"good", good, false, 4},
    };
    for (const auto& c : cases) {
        try {
            AutoPtr<CipherStream> r = reader(c.data);
            EXPECT_FALSE(c.throws) << c.name;
            AutoPtr<MemoryStorage> out = MemoryStorage::create();
            EXPECT_EQ(c.delivered, out->copyAll(*r, 1024, nullptr, nullptr)) << c.name;
            EXPECT_TRUE(r->isEof()) << c.name;
        } catch (const Exception&) {
            EXPECT_TRUE(c.throws) << c.name;
        }
    }
}

// A stream outside the library may answer an exact read with what it has instead of throwing: a header
// it cannot give whole is refused all the same, never completed with bytes nobody read.
TEST(CipherStreamTest, HeaderReadShortWithoutAnErrorIsRefused)
{
    auto answeringShort = [](const Bytes& inData) {
        MvxTest::VectorStream* stream = new MvxTest::VectorStream(inData);
        stream->answersShort = true;
        return AutoPtr<Stream>(stream);
    };
    const Bytes good = encrypt(Bytes{'d', 'a', 't', 'a'}, 11);
    for (size_t cut = 0; cut < 8; ++cut) {
        AutoPtr<Stream> source = answeringShort(Bytes(good.begin(), good.begin() + cut));
        MvxTest::expectThrow([&] { CipherStream::create(source, cipher()); }, errReadFailed,
                             "Morvenix::CipherStreamImpl::CipherStreamImpl");
    }
    AutoPtr<CipherStream> whole = CipherStream::create(answeringShort(good), cipher());
    unsigned char buffer[8];
    EXPECT_EQ(4u, whole->readBytes(buffer, 8, false));
    EXPECT_EQ(0, std::memcmp(buffer, "data", 4));
}

TEST(CipherStreamTest, MutatedInputEndsCleanly)
{
    Bytes plain(200);
    for (size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<unsigned char>(i);
    const Bytes good = encrypt(plain, 99);
    std::mt19937 random(20261210);
    for (int round = 0; round < 500; ++round) {
        Bytes data = good;
        const int flips = 1 + int(random() % 6);
        for (int i = 0; i < flips; ++i)
            data[random() % data.size()] = static_cast<unsigned char>(random());
        if (random() % 3 == 0)
            data.resize(random() % (data.size() + 1));
        try {
            AutoPtr<CipherStream> r = reader(data);
            AutoPtr<MemoryStorage> out = MemoryStorage::create();
            const uint32_t n = out->copyAll(*r, 1 + random() % 64, nullptr, nullptr);
            EXPECT_LE(n, data.size() - 8);
            EXPECT_TRUE(r->isEof());
        } catch (const Exception&) {
        }
    }
}

} // namespace
