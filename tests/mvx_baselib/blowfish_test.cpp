// Blowfish against the published test vectors and OpenSSL's implementation, its key schedule, clones
// and the choice of cipher by name.
#include "mvx_blockcipher.h"

#include "mvx_string.h"
#include "hex_bytes.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace Morvenix;

namespace {

using MvxTest::Bytes;
using MvxTest::fromHex;

// The published vectors are in upper case.
std::string toHex(const unsigned char* p, size_t n) { return MvxTest::toHex(p, n, true); }

AutoPtr<BlockCipher> keyed(const Bytes& key)
{
    AutoPtr<BlockCipher> c = BlockCipher::create("blowfish");
    c->setKey(key.data(), uint32_t(key.size()));
    return c;
}

std::string encryptHex(BlockCipher& c, const std::string& plainHex)
{
    Bytes in = fromHex(plainHex);
    unsigned char out[8];
    c.encrypt(out, in.data());
    return toHex(out, 8);
}

// Eric Young's published Blowfish ECB vectors (key, plaintext, ciphertext), each also confirmed with
// Python's cryptography package.
const char* const kEcbVectors[][3] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

TEST(BlowfishTest, PublishedVectors)
{
    for (const auto& v : kEcbVectors) {
        AutoPtr<BlockCipher> c = keyed(fromHex(v[0]));
        EXPECT_EQ(v[2], encryptHex(*c, v[1])) << "key " << v[0];
        Bytes cipher = fromHex(v[2]);
        unsigned char plain[8];
        c->decrypt(plain, cipher.data());
        EXPECT_EQ(v[1], toHex(plain, 8)) << "key " << v[0];
    }
}

// The published set-key vectors: prefixes of one key of 1 to 24 bytes over one plaintext.
TEST(BlowfishTest, PublishedKeyLengthVectors)
{
    const char* const expected[24] = {
        "F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05", "B39E44481BDB1E6E",
        "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82", "15750E7A4F4EC577", "122BA70B3AB64AE0",
        "3A833C9AFFC537F6", "9409DA87A90F6BF2", "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F",
        "93142887EE3BE15C", "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
        "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080",
    };
    const Bytes key = fromHex("F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677");
    for (size_t n = 1; n <= 24; ++n) {
        AutoPtr<BlockCipher> c = keyed(Bytes(key.begin(), key.begin() + n));
        EXPECT_EQ(expected[n - 1], encryptHex(*c, "FEDCBA9876543210")) << "key length " << n;
    }
}

TEST(BlowfishTest, InPlaceBlocksAndRoundTrips)
{
    AutoPtr<BlockCipher> c = keyed(fromHex("FEDCBA9876543210"));
    Bytes block = fromHex("0123456789ABCDEF");
    c->encrypt(block.data(), block.data());
    EXPECT_EQ("0ACEAB0FC6A0A28D", toHex(block.data(), 8));
    c->decrypt(block.data(), block.data());
    EXPECT_EQ("0123456789ABCDEF", toHex(block.data(), 8));

    std::mt19937 random(77);
    for (int i = 0; i < 200; ++i) {
        Bytes key(1 + random() % 56), in(8);
        for (auto& b : key)
            b = static_cast<unsigned char>(random());
        for (auto& b : in)
            b = static_cast<unsigned char>(random());
        AutoPtr<BlockCipher> k = keyed(key);
        unsigned char out[8], back[8];
        k->encrypt(out, in.data());
        k->decrypt(back, out);
        EXPECT_EQ(0, std::memcmp(back, in.data(), 8));
    }
}

// The key is taken cyclically over the 72 bytes of the P-array: repeating it changes nothing, and bytes
// after the 72nd are never used.
TEST(BlowfishTest, KeyIsCycledOverSeventyTwoBytes)
{
    const Bytes key = fromHex("0123456789ABCDEF");
    Bytes repeated;
    for (int i = 0; i < 9; ++i)
        repeated.insert(repeated.end(), key.begin(), key.end());
    AutoPtr<BlockCipher> shortKey = keyed(key), longKey = keyed(repeated);
    Bytes longer = repeated;
    longer.push_back(0xAA);
    longer.push_back(0x55);
    AutoPtr<BlockCipher> longest = keyed(longer);
    for (const char* plain : {"0000000000000000", "FFFFFFFFFFFFFFFF", "0123456789ABCDEF"}) {
        EXPECT_EQ(encryptHex(*shortKey, plain), encryptHex(*longKey, plain));
        EXPECT_EQ(encryptHex(*shortKey, plain), encryptHex(*longest, plain));
    }
    // A key of 1, 2 or 3 bytes is the same key repeated.
    AutoPtr<BlockCipher> one = keyed(Bytes{0x5A}), four = keyed(Bytes{0x5A, 0x5A, 0x5A, 0x5A});
    EXPECT_EQ(encryptHex(*four, "0011223344556677"), encryptHex(*one, "0011223344556677"));
    // Setting a key again starts from the initial tables.
    AutoPtr<BlockCipher> rekeyed = keyed(fromHex("FFFFFFFFFFFFFFFF"));
    const Bytes zero = fromHex("0000000000000000");
    rekeyed->setKey(zero.data(), 8);
    EXPECT_EQ("4EF997456198DD78", encryptHex(*rekeyed, "0000000000000000"));
}

TEST(BlowfishTest, CloneHasTheSameScheduleAndIsIndependent)
{
    AutoPtr<BlockCipher> original = keyed(fromHex("7CA110454A1A6E57"));
    AutoPtr<BlockCipher> copy = original->clone();
    ASSERT_NE(original.get(), copy.get());
    std::mt19937 random(5);
    for (int i = 0; i < 50; ++i) {
        unsigned char in[8], a[8], b[8];
        for (auto& x : in)
            x = static_cast<unsigned char>(random());
        original->encrypt(a, in);
        copy->encrypt(b, in);
        EXPECT_EQ(0, std::memcmp(a, b, 8));
    }
    const Bytes other = fromHex("0000000000000000");
    original->setKey(other.data(), 8);
    EXPECT_EQ("59C68245EB05282B", encryptHex(*copy, "01A1D6D039776742"));
    original = nullptr;
    EXPECT_EQ("59C68245EB05282B", encryptHex(*copy, "01A1D6D039776742"));
}

TEST(BlowfishTest, ChosenByExactName)
{
    AutoPtr<BlockCipher> c = BlockCipher::create("blowfish");
    ASSERT_TRUE(c);
    EXPECT_STREQ("Blowfish", c->getName());
    EXPECT_EQ(8u, c->getBlockSize());
    EXPECT_EQ(56u, c->getMaxKeySize());
    EXPECT_EQ(8u, c->getIVSize());
    for (const char* name : {"Blowfish", "BLOWFISH", "blowfish ", " blowfish", "blowfis", "aes", ""})
        MvxTest::expectThrow([&] { BlockCipher::create(name); }, errInvalidParam, "Unknown cipher name!",
                             "mvx_blockcipher");
    // A name with an embedded NUL after the right letters is not the right name either.
    MvxTest::expectThrow([&] { BlockCipher::create(String("blowfish\0x", 10)); }, errInvalidParam);
}

// OpenSSL's Blowfish (legacy provider) on random 16-byte keys and several blocks in ECB mode.
TEST(BlowfishTest, AgreesWithOpenSsl)
{
    ASSERT_NO_FATAL_FAILURE(MvxTest::requireHostTools({"openssl"}));
    const std::string folder = MvxTest::tempFolder();
    std::mt19937 random(1234);
    for (int round = 0; round < 8; ++round) {
        Bytes key(16), plain(64);
        for (auto& b : key)
            b = static_cast<unsigned char>(random());
        for (auto& b : plain)
            b = static_cast<unsigned char>(random());
        const std::string in = folder + "\\plain", out = folder + "\\cipher";
        MvxTest::writeFile(in, plain);
        ASSERT_EQ(0, MvxTest::runHostTool("openssl enc -bf-ecb -provider legacy -provider default -nopad -K " +
                                          toHex(key.data(), key.size()) + " -in " + MvxTest::hostPath(in) +
                                          " -out " + MvxTest::hostPath(out)));
        const Bytes expected = MvxTest::readFile(out);
        ASSERT_EQ(plain.size(), expected.size());
        AutoPtr<BlockCipher> c = keyed(key);
        Bytes ours(plain.size());
        for (size_t i = 0; i < plain.size(); i += 8)
            c->encrypt(ours.data() + i, plain.data() + i);
        EXPECT_EQ(toHex(expected.data(), expected.size()), toHex(ours.data(), ours.size())) << "round " << round;
    }
}

} // namespace
