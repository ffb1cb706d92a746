#include "mvx_protectedbytes.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <random>
#include <string>

using Morvenix::ProtectedBytes;
using Morvenix::String;

namespace {

std::string str(const String& s)
{
    return std::string(s.begin(), s.getLength());
}

std::string blockOf(const ProtectedBytes& p)
{
    const auto& b = p.getBlock();
    return std::string(reinterpret_cast<const char*>(b.data()), b.count());
}

TEST(ProtectedBytes, EmptyTextStoresNothing)
{
    ProtectedBytes p;
    EXPECT_EQ(0u, p.getBlock().count());
    EXPECT_TRUE(p.get().isEmpty());
    ProtectedBytes q{String("")};
    EXPECT_EQ(0u, q.getBlock().count());
    EXPECT_TRUE(q.get().isEmpty());
}

TEST(ProtectedBytes, RoundTrips)
{
    const std::string texts[] = {"x", "secret password", "p\xC3\xA4ssw\xC3\xB6rd \xE2\x82\xAC \xF0\x9F\x94\x91",
                                 std::string(100000, 'q')};
    for (const std::string& t : texts) {
        ProtectedBytes p{String(t.c_str())};
        std::string block = blockOf(p);
        EXPECT_GT(block.size(), t.size());
        if (t.size() >= 8) {
            EXPECT_EQ(std::string::npos, block.find(t)) << "the plaintext is stored as it is";
        }
        EXPECT_EQ(t, str(p.get()));
        EXPECT_EQ(t, str(p.get())) << "a second get";
    }
}

// The block is the platform's own: it decrypts outside the class, with the description the class gives.
TEST(ProtectedBytes, BlockIsThePlatformsWithItsDescription)
{
    ProtectedBytes p{String("for the platform")};
    DATA_BLOB in = {p.getBlock().count(), const_cast<BYTE*>(p.getBlock().data())};
    DATA_BLOB out = {0, nullptr};
    LPWSTR description = nullptr;
    ASSERT_TRUE(CryptUnprotectData(&in, &description, nullptr, nullptr, nullptr, 0, &out));
    EXPECT_EQ("for the platform", std::string(reinterpret_cast<const char*>(out.pbData), out.cbData));
    ASSERT_NE(nullptr, description);
    EXPECT_EQ(std::wstring(L"setEString"), std::wstring(description));
    LocalFree(description);
    LocalFree(out.pbData);
}

TEST(ProtectedBytes, CopiesDecryptToTheSameText)
{
    ProtectedBytes p{String("user:secret")};
    ProtectedBytes copy(p);
    EXPECT_EQ(blockOf(p), blockOf(copy));
    EXPECT_EQ("user:secret", str(copy.get()));
    ProtectedBytes assigned{String("other")};
    assigned = p;
    EXPECT_EQ("user:secret", str(assigned.get()));
    assigned = assigned;
    EXPECT_EQ("user:secret", str(assigned.get()));
    ProtectedBytes empty;
    assigned = empty;
    EXPECT_TRUE(assigned.get().isEmpty());
    // The source is untouched by copying.
    EXPECT_EQ("user:secret", str(p.get()));
}

TEST(ProtectedBytes, SetReplacesAndEmpties)
{
    ProtectedBytes p{String("first")};
    std::string firstBlock = blockOf(p);
    p.set(String("second text"));
    EXPECT_NE(firstBlock, blockOf(p));
    EXPECT_EQ("second text", str(p.get()));
    p.set(String());
    EXPECT_EQ(0u, p.getBlock().count());
    EXPECT_TRUE(p.get().isEmpty());
}

// A damaged block never decrypts to bytes nobody stored: the platform refuses it (an exception), or the
// damage lay in a part of the block it does not use for the text, which then comes back unchanged.
TEST(ProtectedBytes, DamagedBlocksAreRefused)
{
    const ProtectedBytes original{String("a password worth keeping")};
    const uint32_t size = original.getBlock().count();
    std::mt19937 rng(1154);
    int refused = 0;
    for (int i = 0; i < 300; ++i) {
        ProtectedBytes damaged(original);
        unsigned char* bytes = const_cast<unsigned char*>(damaged.getBlock().data());
        for (int n = 1 + rng() % 3; n > 0; --n)
            bytes[rng() % size] ^= uint8_t(1 + rng() % 255);
        try {
            EXPECT_EQ("a password worth keeping", str(damaged.get()));
        } catch (const Morvenix::Exception& e) {
            ++refused;
            EXPECT_NE(nullptr, std::strstr(e.what(), "on CryptUnprotectData")) << e.what();
            EXPECT_NE(nullptr, std::strstr(e.what(), "Morvenix::ProtectedBytes::get")) << e.what();
        }
    }
    EXPECT_GT(refused, 150);
}

// Blocks cut short, lengthened or blanked: refused, or (where only unused bytes changed) the stored text.
TEST(ProtectedBytes, ResizedBlocksAreRefused)
{
    const ProtectedBytes original{String("another secret")};
    const uint32_t size = original.getBlock().count();
    struct Shape {
        uint32_t size;
        bool zero;
    };
    const Shape shapes[] = {{1, false}, {4, false}, {size / 2, false}, {size - 1, false}, {size + 16, false},
                            {size, true}, {1, true}};
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.size);
        ProtectedBytes damaged(original);
        auto& block = const_cast<Morvenix::SimpleArray<unsigned char, 2>&>(damaged.getBlock());
        block.setSize(shape.size);
        if (shape.zero)
            std::memset(block.data(), 0, block.count());
        bool refused = false;
        try {
            EXPECT_EQ("another secret", str(damaged.get()));
        } catch (const Morvenix::Exception& e) {
            refused = true;
            EXPECT_NE(nullptr, std::strstr(e.what(), "on CryptUnprotectData")) << e.what();
        }
        if (shape.size < size || shape.zero) {
            EXPECT_TRUE(refused);
        }
    }
}

} // namespace
