// SHA-1, MD5 and SHA-256 against standard vectors and the host's sha1sum/md5sum/sha256sum, and the
// checksum streams that append and verify a digest trailer.
#include "mvx_checksum.h"

#include "mvx_string.h"
#include "hex_bytes.h"
#include "test_support.h"
#include "vector_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace Morvenix;

namespace {

using MvxTest::Bytes;

// Bytes (7i + 3) mod 256, a pattern without runs that would hide a misplaced byte.
Bytes pattern(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<unsigned char>((i * 7 + 3) & 0xFF);
    return b;
}

// Digests by Python's hashlib; the lengths straddle the 55/56/64-byte padding boundaries of one and two
// blocks.
struct Vector {
    size_t length; // of pattern(); the two text vectors say so below
    const char* text;
    const char* sha1;
    const char* md5;
    const char* sha256;
};

const Vector kVectors[] = {
    {0, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709", "d41d8cd98f00b204e9800998ecf8427e",
     "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {3, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d", "900150983cd24fb0d6963f7d28e17f72",
     "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {1, nullptr, "9842926af7ca0a8cca12604f945414f07b01e13d", "8666683506aacd900bbd5a74ac4edf68",
     "084fed08b978af4d7d196a7446a86b58009e636b611db16211b65a9aadff29c5"},
    {55, nullptr, "ddf57317ef34bfee3b6df83d359098930eb278bc", "52c0e574e1198de5fe3f8f11440dcb1b",
     "e7313d333c272e639f790978283f9eb392e843d0f29b7016828bb1daa4aac70b"},
    {56, nullptr, "a0d492bb0fc889d0eca3bc137066ab6f4f74f369", "46c9907fc908ee68b1e7b8e71286a518",
     "4324d65f3c103567f5589c710bc08f8523f929a9272e3af36fc968e52abc6c27"},
    {57, nullptr, "11a02dcf95859677a62e75024067c22b165d890f", "1c805dd236c35cab25fcb1bc73802c51",
     "35df609437dcfea3279283ab79fd554e2bf78f8f7ae2de532d8ee300b09e8f73"},
    {63, nullptr, "c55856749bef509bdfe6bfebfc7bf4e793e82132", "a62f6d59e837867693f042f5b8f5a236",
     "81c80242132f230c3bd41b3e63bbcff16107339549214a99614ff26664625055"},
    {64, nullptr, "bede92be29c3874e1b54ddc77988d606fc857a8e", "7160b8fb5e9e4023d549c3971fbaeead",
     "39e3d7b6b5d075d37d053ad89b24b41bef4f3c29760c84447cab3f3be1882241"},
    {65, nullptr, "b05a80522b053d6dc7e0a517d0e70212c7dad11f", "70bd662e7aefbda85a0f7244167b7897",
     "aacca6ff74fdbb296d165a45cecfa04e5127bc008770fbbdd48006f2d2fae95e"},
    {111, nullptr, "4a01b1272627e5be00f57bc3c3029c23a452e629", "13f00cb15f0c3fe588d1c17cde14b38f",
     "67d9492e628fd376e0b2efec8ca2b99b123e202cf620deb270728df979b2f73e"},
    {112, nullptr, "54c08c2a0ed21de25e3d8606c3929454eb1d3f8b", "5fe6a9f76b541ec645559589da9a088a",
     "96b928cff8528dbb99602c709a65b846cb6467acb8b722f0d758e4dc27bfc508"},
    {119, nullptr, "504e27376a6e0f0dba8295b85cb25dc4dfa17d23", "e84905d4214f4d1ca56c2cdcc152b143",
     "9ce7368e4daf32341631b492e80359dc9f594b48453cd0dd5bf0b19279cc177e"},
    {120, nullptr, "82134b02fb3f702491be9bed581eeab59334acb2", "e3eb5a6c8669ea01a8c185b8abc8a5dc",
     "7836b787757e95e58b3ca5aec90b1b004e8deba1e50e9675af9cabf1a13a04b5"},
    {127, nullptr, "34d5e582029e9b9b85b2febe31da3db7cdabaaea", "acce2474d6cc8302120d09c818d17ef7",
     "a8d23e75d936f303d248888d9b165ee543f4cbafcad3c9dd2a79bd84faa11d07"},
    {128, nullptr, "a09133e6730ffe899efb70204cb5646cd5dc24ee", "10b2da1a82f16d99a81a7203fe9f02cb",
     "d2742f1f4ac6bb7ca2b239ee18402ba8b3f9f8e652d2a72973c2b9ba11c08cf6"},
    {129, nullptr, "808aea332ce367541d37adae7f94e59c5c1a934e", "03fefbbcebe2959cf2270241aafe0250",
     "307f8fc2c1622b92762e818d39a185d4d667ad49a4b07ceae1f4afa008a93ec4"},
    {1000, nullptr, "4231a8a50a10fa9758db8ec71fdef855b751048a", "10046f077f2082ac19676b8079f1cb1a",
     "1e9bc38cbf860b9ec31918b065f9b52476c549a782e0e7990bed8ce3868d2371"},
};

Bytes input(const Vector& v)
{
    return v.text ? Bytes(v.text, v.text + v.length) : pattern(v.length);
}

std::string hex(const unsigned char* p, size_t n) { return MvxTest::toHex(p, n); }

std::string hexOf(Checksum& c) { return hex(c.getDigest(), c.getDigestSize()); }

// The three algorithms side by side, so that every test runs over all of them.
struct Algorithm {
    const char* name;
    uint32_t size;
    std::function<AutoPtr<Checksum>()> make;
    std::function<AutoPtr<ChecksumStream>(Stream&)> makeStream;
    std::function<String(const unsigned char*)> toHex;
    const char* Vector::*expected;
    const char* hostTool;
    const char* millionA; // one million bytes 'a'
};

const Algorithm kAlgorithms[] = {
    {"SHA-1", 20, [] { return AutoPtr<Checksum>(SHA1Checksum::create()); },
     [](Stream& s) { return AutoPtr<ChecksumStream>(SHA1Stream::create(s)); }, SHA1Traits::digestToHex, &Vector::sha1,
     "sha1sum", "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    {"MD5", 16, [] { return AutoPtr<Checksum>(MD5Checksum::create()); },
     [](Stream& s) { return AutoPtr<ChecksumStream>(MD5Stream::create(s)); }, MD5Traits::digestToHex, &Vector::md5,
     "md5sum", "7707d6ae4e027c70eea2a935c2296f21"},
    {"SHA-256", 32, [] { return AutoPtr<Checksum>(SHA256Checksum::create()); },
     [](Stream& s) { return AutoPtr<ChecksumStream>(SHA256Stream::create(s)); }, SHA256Traits::digestToHex,
     &Vector::sha256, "sha256sum", "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

class ChecksumTest : public ::testing::TestWithParam<Algorithm> {};

INSTANTIATE_TEST_SUITE_P(All, ChecksumTest, ::testing::ValuesIn(kAlgorithms),
                         [](const ::testing::TestParamInfo<Algorithm>& info) {
                             return std::string(info.param.name == std::string("SHA-1")     ? "SHA1"
                                                : info.param.name == std::string("MD5")     ? "MD5"
                                                                                            : "SHA256");
                         });

TEST_P(ChecksumTest, StandardVectorsInOneCall)
{
    const Algorithm& a = GetParam();
    for (const Vector& v : kVectors) {
        AutoPtr<Checksum> c = a.make();
        EXPECT_EQ(a.size, c->getDigestSize());
        Bytes data = input(v);
        c->update(data.data(), data.size());
        EXPECT_EQ(v.*a.expected, hexOf(*c)) << "length " << v.length;
    }
}

TEST_P(ChecksumTest, StandardVectorsInOddPieces)
{
    const Algorithm& a = GetParam();
    const size_t pieces[] = {1, 2, 3, 5, 7, 13, 31, 55, 56, 63, 64, 65, 127};
    for (size_t piece : pieces) {
        for (const Vector& v : kVectors) {
            AutoPtr<Checksum> c = a.make();
            Bytes data = input(v);
            // Growing and shrinking pieces, so that block boundaries fall at every offset of a piece.
            size_t at = 0, step = piece;
            while (at < data.size()) {
                size_t n = std::min(step, data.size() - at);
                c->update(data.data() + at, n);
                at += n;
                step = step % 67 + 1;
            }
            EXPECT_EQ(v.*a.expected, hexOf(*c)) << "length " << v.length << " first piece " << piece;
        }
    }
}

TEST_P(ChecksumTest, MillionA)
{
    const Algorithm& a = GetParam();
    const char* want = a.millionA;
    AutoPtr<Checksum> whole = a.make();
    Bytes data(1000000, 'a');
    whole->update(data.data(), data.size());
    EXPECT_EQ(want, hexOf(*whole));
    AutoPtr<Checksum> pieces = a.make();
    for (size_t at = 0; at < data.size(); at += 997)
        pieces->update(data.data() + at, std::min<size_t>(997, data.size() - at));
    EXPECT_EQ(want, hexOf(*pieces));
}

TEST_P(ChecksumTest, StringUpdateHashesItsUtf8Bytes)
{
    const Algorithm& a = GetParam();
    AutoPtr<Checksum> text = a.make(), bytes = a.make();
    text->update(String("abc"));
    const unsigned char abc[] = {0x61, 0x62, 0x63};
    bytes->update(abc, 3);
    EXPECT_EQ(hexOf(*bytes), hexOf(*text));
    EXPECT_EQ(kVectors[1].*a.expected, hexOf(*text));

    // "é€" is five UTF-8 bytes; the terminator is not hashed.
    AutoPtr<Checksum> wide = a.make(), raw = a.make();
    wide->update(String(L"\u00e9\u20ac"));
    const unsigned char utf8[] = {0xC3, 0xA9, 0xE2, 0x82, 0xAC};
    raw->update(utf8, 5);
    EXPECT_EQ(hexOf(*raw), hexOf(*wide));
}

TEST_P(ChecksumTest, DigestLeavesTheRunningStateAlone)
{
    const Algorithm& a = GetParam();
    AutoPtr<Checksum> c = a.make();
    EXPECT_EQ(kVectors[0].*a.expected, hexOf(*c)); // new object: the empty message
    c->update("a", 1);
    const std::string afterA = hexOf(*c);
    c->update("bc", 2);
    EXPECT_EQ(kVectors[1].*a.expected, hexOf(*c));
    EXPECT_NE(afterA, hexOf(*c));
    // The same pointer every time; reset starts over.
    EXPECT_EQ(c->getDigest(), c->getDigest());
    c->reset();
    EXPECT_EQ(kVectors[0].*a.expected, hexOf(*c));
    c->update("abc", 3);
    EXPECT_EQ(kVectors[1].*a.expected, hexOf(*c));
}

TEST_P(ChecksumTest, DigestToHexIsLowerCaseTwoDigitsAByte)
{
    const Algorithm& a = GetParam();
    AutoPtr<Checksum> c = a.make();
    const String text = a.toHex(c->getDigest());
    EXPECT_EQ(std::string(kVectors[0].*a.expected), std::string(text.c_str()));
    EXPECT_EQ(2 * a.size, text.getLength());
    std::vector<unsigned char> edge(a.size);
    for (uint32_t i = 0; i < a.size; ++i)
        edge[i] = static_cast<unsigned char>(i * 37 + (i & 1 ? 0xF0 : 0x0A));
    EXPECT_EQ(hex(edge.data(), edge.size()), std::string(a.toHex(edge.data()).c_str()));
}

TEST_P(ChecksumTest, EmptyUpdatesChangeNothing)
{
    const Algorithm& a = GetParam();
    AutoPtr<Checksum> c = a.make();
    c->update(nullptr, 0);
    c->update(String());
    c->update("abc", 3);
    c->update(nullptr, 0);
    EXPECT_EQ(kVectors[1].*a.expected, hexOf(*c));
}

// The host's coreutils on random data of lengths around the block boundaries and over a few blocks, all
// files in one run of the tool.
TEST_P(ChecksumTest, AgreesWithHostTool)
{
    const Algorithm& a = GetParam();
    ASSERT_NO_FATAL_FAILURE(MvxTest::requireHostTools({a.hostTool}));
    const std::string folder = MvxTest::tempFolder();
    std::mt19937 random(0x5EED0 + a.size);
    const size_t lengths[] = {0, 1, 54, 55, 56, 63, 64, 119, 120, 4097, 65537};
    std::vector<std::string> expected;
    std::string files;
    for (size_t i = 0; i < sizeof lengths / sizeof lengths[0]; ++i) {
        Bytes data(lengths[i]);
        for (auto& b : data)
            b = static_cast<unsigned char>(random());
        const std::string in = folder + "\\in" + std::to_string(i);
        MvxTest::writeFile(in, data);
        files += " " + MvxTest::hostPath(in);
        AutoPtr<Checksum> c = a.make();
        c->update(data.data(), data.size());
        expected.push_back(hexOf(*c));
    }
    const std::string out = folder + "\\out";
    ASSERT_EQ(0, MvxTest::runHostTool(std::string(a.hostTool) + files, out));
    std::ifstream lines(out);
    for (size_t i = 0; i < expected.size(); ++i) {
        std::string line;
        ASSERT_TRUE(bool(std::getline(lines, line))) << "line " << i;
        EXPECT_EQ(expected[i], line.substr(0, 2 * a.size)) << "length " << lengths[i];
    }
}

TEST_P(ChecksumTest, StreamAppendsAndVerifiesTrailer)
{
    const Algorithm& a = GetParam();
    MvxTest::VectorStream target;
    AutoPtr<ChecksumStream> writer = a.makeStream(target);
    EXPECT_EQ(a.size, writer->getDigestSize());
    writer->writeBytes("abc", 3);
    writer->writeDigest();
    ASSERT_EQ(3 + a.size, target.written.size());
    EXPECT_EQ(kVectors[1].*a.expected, hex(target.written.data() + 3, a.size));

    // Reading back: the trailer is read past the hashing, so it is compared with the digest of the data.
    MvxTest::VectorStream source(target.written);
    AutoPtr<ChecksumStream> reader = a.makeStream(source);
    unsigned char data[3];
    EXPECT_EQ(3u, reader->readBytes(data, 3, true));
    EXPECT_TRUE(reader->verify());
    EXPECT_TRUE(source.isEof());

    for (size_t changed = 0; changed < target.written.size(); ++changed) {
        Bytes damaged = target.written;
        damaged[changed] ^= 0x01;
        MvxTest::VectorStream damagedSource(damaged);
        AutoPtr<ChecksumStream> check = a.makeStream(damagedSource);
        check->readBytes(data, 3, true);
        EXPECT_FALSE(check->verify()) << "byte " << changed;
    }
}

TEST_P(ChecksumTest, StreamDigestToAndFromOtherStreams)
{
    const Algorithm& a = GetParam();
    MvxTest::VectorStream data, trailer;
    AutoPtr<ChecksumStream> writer = a.makeStream(data);
    Bytes payload = pattern(200);
    writer->writeBytes(payload.data(), 100);
    writer->writeBytes(payload.data() + 100, 100);
    writer->writeDigest(&trailer);
    EXPECT_EQ(payload, data.written);
    ASSERT_EQ(a.size, trailer.written.size());

    MvxTest::VectorStream source(payload), trailerSource(trailer.written);
    AutoPtr<ChecksumStream> reader = a.makeStream(source);
    Bytes back(200);
    EXPECT_EQ(200u, reader->readBytes(back.data(), 200, true));
    EXPECT_TRUE(reader->verify(&trailerSource));
}

TEST_P(ChecksumTest, ShortReadHashesOnlyWhatItReturned)
{
    const Algorithm& a = GetParam();
    MvxTest::VectorStream source(Bytes{'a', 'b', 'c'});
    AutoPtr<ChecksumStream> reader = a.makeStream(source);
    unsigned char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(3u, reader->readBytes(buffer, 16, false));
    EXPECT_EQ(0u, reader->readBytes(buffer, 16, false));
    EXPECT_TRUE(reader->isEof());
    EXPECT_EQ(kVectors[1].*a.expected, hex(reader->finalize(), a.size));
}

TEST_P(ChecksumTest, FinalizeKeepsTheFirstDigest)
{
    const Algorithm& a = GetParam();
    MvxTest::VectorStream target;
    AutoPtr<ChecksumStream> s = a.makeStream(target);
    s->writeBytes("abc", 3);
    const unsigned char* first = s->finalize();
    const std::string digest = hex(first, a.size);
    s->writeBytes("more", 4);
    EXPECT_EQ(first, s->finalize());
    EXPECT_EQ(digest, hex(s->finalize(), a.size));
    EXPECT_EQ(kVectors[1].*a.expected, digest);
    // reset restarts the running state only; the reported digest stays.
    s->reset();
    EXPECT_EQ(digest, hex(s->finalize(), a.size));

    // Before finalizing, reset does restart the message.
    MvxTest::VectorStream other;
    AutoPtr<ChecksumStream> r = a.makeStream(other);
    r->writeBytes("zzz", 3);
    r->reset();
    r->writeBytes("abc", 3);
    EXPECT_EQ(kVectors[1].*a.expected, hex(r->finalize(), a.size));
}

TEST_P(ChecksumTest, FailuresOfTheWrappedStreamPassThroughUnhashed)
{
    const Algorithm& a = GetParam();
    MvxTest::VectorStream target;
    target.writeLimit = 3;
    AutoPtr<ChecksumStream> writer = a.makeStream(target);
    writer->writeBytes("abc", 3);
    MvxTest::expectThrow([&] { writer->writeBytes("d", 1); }, errWriteFailed);
    EXPECT_EQ(kVectors[1].*a.expected, hex(writer->finalize(), a.size));

    MvxTest::VectorStream source(Bytes{'a', 'b', 'c'});
    AutoPtr<ChecksumStream> reader = a.makeStream(source);
    unsigned char buffer[4];
    MvxTest::expectThrow([&] { reader->readBytes(buffer, 4, true); }, errEOF);
    source.pos = 0;
    EXPECT_EQ(3u, reader->readBytes(buffer, 3, true));
    EXPECT_EQ(kVectors[1].*a.expected, hex(reader->finalize(), a.size));

    // A trailer cut short is reported by the wrapped stream's exact read.
    MvxTest::VectorStream shortTrailer(Bytes(a.size - 1, 0));
    AutoPtr<ChecksumStream> check = a.makeStream(shortTrailer);
    MvxTest::expectThrow([&] { check->verify(); }, errEOF);
}

// A stream outside the library may answer an exact read with fewer bytes than asked instead of throwing.
// The bytes it did not deliver are no trailer, whatever the buffer holds: verify fails.
TEST_P(ChecksumTest, TrailerReadShortWithoutAnErrorDoesNotVerify)
{
    const Algorithm& a = GetParam();
    MvxTest::VectorStream target;
    AutoPtr<ChecksumStream> writer = a.makeStream(target);
    writer->writeBytes("abc", 3);
    writer->writeDigest();

    // Copies the whole request into the buffer but reports one byte fewer.
    struct UnderReporting : MvxTest::VectorStream {
        using MvxTest::VectorStream::VectorStream;
        uint32_t readBytes(void* outBuffer, uint32_t inSize, bool inExact) override
        {
            const uint32_t n = MvxTest::VectorStream::readBytes(outBuffer, inSize, false);
            return n ? n - 1 : 0;
        }
    };
    UnderReporting trailer(Bytes(target.written.begin() + 3, target.written.end()));
    MvxTest::VectorStream data(Bytes{'a', 'b', 'c'});
    AutoPtr<ChecksumStream> check = a.makeStream(data);
    unsigned char buffer[3];
    EXPECT_EQ(3u, check->readBytes(buffer, 3, true));
    EXPECT_FALSE(check->verify(&trailer));
}

// A message of 2^64 bits or more cannot be stated in the length block: SHA-1 says so on standard output
// and goes on hashing.
TEST(SHA1TraitsTest, BitCountOverflowIsReportedAndHashingGoesOn)
{
    SHA1Traits::State state;
    SHA1Traits::init(state);
    state.bitsHigh = 0xFFFFFFFFu;
    state.bitsLow = 0xFFFFFFF0u;
    ::testing::internal::CaptureStdout();
    SHA1Traits::update(state, reinterpret_cast<const unsigned char*>("ab"), 2);
    EXPECT_EQ("!!!\n", ::testing::internal::GetCapturedStdout());
    EXPECT_EQ(0u, state.bitsHigh);
    EXPECT_EQ(0u, state.bitsLow);
    EXPECT_EQ(2u, state.fill);
    unsigned char digest[20];
    SHA1Traits::finish(state, digest);
    EXPECT_EQ(40u, SHA1Traits::digestToHex(digest).getLength());
}

} // namespace
