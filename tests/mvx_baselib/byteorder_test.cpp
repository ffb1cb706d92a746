#include "mvx_byteorder.h"

#include "mvx_simplearray.h"
#include "mvx_string.h"
#include "vector_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include <random>
#include <string>

namespace ByteOrder = Morvenix::ByteOrder;
namespace Hex = Morvenix::Hex;
using Morvenix::String;

namespace {

TEST(ByteOrder, ReadersReverseTheStoredBytes)
{
    const unsigned char stored[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88};
    // Unaligned on purpose: fields of a DjVu stream sit at any offset.
    unsigned char buffer[9];
    std::memcpy(buffer + 1, stored, 8);
    const unsigned char* p = buffer + 1;
    EXPECT_EQ(0x01020304u, ByteOrder::swap32(reinterpret_cast<const uint32_t*>(p)));
    EXPECT_EQ(0x0102, ByteOrder::swap16(reinterpret_cast<const uint16_t*>(p)));
    EXPECT_EQ(0x0102030405060788ull, ByteOrder::swap64(reinterpret_cast<const uint64_t*>(p)));
    const unsigned char negative[8] = {0x88, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01};
    EXPECT_EQ(int64_t(0x8807060504030201ull), ByteOrder::swap64(reinterpret_cast<const int64_t*>(negative)));
    EXPECT_EQ(int32_t(0x88070605), ByteOrder::swap32(reinterpret_cast<const int32_t*>(negative)));
    EXPECT_EQ(0x88, ByteOrder::get8(p + 7));
    EXPECT_EQ(int8_t(-120), ByteOrder::get8(reinterpret_cast<const int8_t*>(p + 7)));
}

TEST(ByteOrder, FloatFormsReverseInPlace)
{
    float f = 1.5f;
    float swapped = ByteOrder::reversed(f);
    float stored = swapped;
    EXPECT_EQ(1.5f, ByteOrder::swap32(&stored));
    EXPECT_EQ(1.5f, stored);
    double d = -2.25;
    double storedD = ByteOrder::reversed(d);
    EXPECT_EQ(-2.25, ByteOrder::swap64(&storedD));
    EXPECT_EQ(-2.25, storedD);
}

TEST(ByteOrder, ConvertUInt64)
{
    uint64_t v = 0x0011223344556677ull, out = 0;
    EXPECT_EQ(v, Morvenix::convertUInt64(v, 4321));
    EXPECT_EQ(0x7766554433221100ull, Morvenix::convertUInt64(v, 1234));
    EXPECT_EQ(0x7766554433221100ull, Morvenix::convertUInt64(v, 0));
    Morvenix::convertUInt64(&out, v, -1);
    EXPECT_EQ(0x7766554433221100ull, out);
}

TEST(ByteOrder, SixtyFourBitStreamIO)
{
    const uint64_t v = 0x0102030405060708ull;
    struct Case {
        int32_t tag;
        unsigned char first;
    } cases[] = {{4321, 0x08}, {1234, 0x01}, {0, 0x01}};
    for (const Case& c : cases) {
        MvxTest::VectorStream out;
        Morvenix::writeUInt64(out, v, c.tag);
        ASSERT_EQ(8u, out.written.size());
        EXPECT_EQ(c.first, out.written[0]) << c.tag;
        MvxTest::VectorStream in(out.written);
        EXPECT_EQ(v, Morvenix::readUInt64(in, c.tag));
        Morvenix::writeInt64(out, -5, c.tag);
        MvxTest::VectorStream in2(std::vector<unsigned char>(out.written.begin() + 8, out.written.end()));
        EXPECT_EQ(-5, Morvenix::readInt64(in2, c.tag));
    }
    MvxTest::VectorStream shortStream({1, 2, 3});
    EXPECT_THROW(Morvenix::readUInt64(shortStream, 4321), Morvenix::Exception);
}

TEST(Hex, ToStr)
{
    const unsigned char bytes[] = {0x00, 0xAB, 0x10};
    struct Case {
        uint32_t count;
        const char* separator;
        const char* text;
    } cases[] = {
        {3, ":", "00:ab:10"}, {3, "", "00ab10"}, {1, ":", "00"}, {2, ", ", "00, ab"}, {0, ":", ""}, {0, "", ""},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(c.text, Hex::toStr(bytes, c.count, String(c.separator)).c_str()) << c.text;
    unsigned char all[256];
    for (int i = 0; i < 256; ++i)
        all[i] = uint8_t(i);
    String text = Hex::toStr(all, 256, String());
    ASSERT_EQ(512u, text.getLength());
    EXPECT_EQ(std::string("fdfeff"), std::string(text.c_str() + 506));
}

TEST(Hex, Decode)
{
    struct Case {
        const char* text;
        uint32_t capacity;
        std::vector<unsigned char> bytes;
    } cases[] = {
        {"0A-1b 2", 8, {0x0A, 0x1B}},
        {"", 8, {}},
        {"f", 8, {}},
        {"FfeE", 8, {0xFF, 0xEE}},
        {"zz 12 gh 3 4", 8, {0x12, 0x34}},
        {"00112233", 2, {0x00, 0x11}},
        {"0011", 0, {}},
        {"\xC3\xA9" "ab", 4, {0xAB}},
    };
    for (const Case& c : cases) {
        unsigned char out[8];
        std::memset(out, 0x77, sizeof out);
        uint32_t n = Hex::decode(out, c.capacity, String(c.text));
        EXPECT_EQ(c.bytes, std::vector<unsigned char>(out, out + n)) << c.text;
        for (uint32_t i = n; i < 8; ++i)
            EXPECT_EQ(0x77, out[i]) << c.text << ": wrote past what it returned";
    }
}

// Any bytes at all: the decoder stays inside the text and the buffer, and keeps every digit pair.
TEST(Hex, DecodeOfRandomText)
{
    std::mt19937 rng(2026);
    const char alphabet[] = "0123456789abcdefABCDEF:- \x00\xff\xc3gG";
    for (int round = 0; round < 2000; ++round) {
        std::string text(rng() % 40, '\0');
        for (char& c : text)
            c = rng() % 4 ? alphabet[rng() % (sizeof alphabet - 1)] : char(rng());
        uint32_t capacity = rng() % 24, digits = 0;
        for (char c : text)
            digits += std::isxdigit(static_cast<unsigned char>(c)) ? 1 : 0;
        unsigned char out[32];
        std::memset(out, 0x5A, sizeof out);
        String s(text.data(), int32_t(text.size()));
        uint32_t n = Hex::decode(out, capacity, s);
        uint32_t expected = std::min(capacity, std::min(digits, s.getLength()) / 2);
        ASSERT_LE(n, expected) << round;
        if (s.getLength() == text.size()) {
            ASSERT_EQ(expected, n) << round;
        }
        for (uint32_t i = n; i < sizeof out; ++i)
            ASSERT_EQ(0x5A, out[i]) << round;
    }
}

TEST(Hex, FromStr)
{
    Morvenix::SimpleArray<unsigned char, 2> bytes;
    Hex::fromStr(bytes, String("de:ad:be:ef"));
    EXPECT_EQ((std::vector<unsigned char>{0xDE, 0xAD, 0xBE, 0xEF}), std::vector<unsigned char>(bytes.begin(), bytes.end()));
    Hex::fromStr(bytes, String("x"));
    EXPECT_EQ(0u, bytes.count());
    Hex::fromStr(bytes, String("0102"));
    EXPECT_EQ(2u, bytes.count());
    EXPECT_EQ(2, bytes[1]);
}

} // namespace
