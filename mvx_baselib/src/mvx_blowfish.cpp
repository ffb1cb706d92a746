// Blowfish: sixteen rounds over two big-endian 32-bit halves, key schedule by repeated encryption.
#include "mvx_blockcipher.h"

#include "mvx_blowfish_tables.h"
#include "mvx_byteorder.h"
#include "mvx_unicode.h"

#include <cstring>

namespace Morvenix {

namespace {

class BlowfishImpl : public Blowfish {
public:
    BlowfishImpl() { wipe(); }
    // The tables are derived from the key.
    ~BlowfishImpl() override { wipe(); }

    const char* getName() override { return "Blowfish"; }
    uint32_t getBlockSize() override { return 8; }
    uint32_t getMaxKeySize() override { return 56; }
    uint32_t getIVSize() override { return 8; }

    void setKey(const void* inKey, uint32_t inLength) override
    {
        std::memcpy(m_p, BlowfishTables::kInitialP, sizeof m_p);
        std::memcpy(m_s, BlowfishTables::kInitialS, sizeof m_s);
        const unsigned char* key = static_cast<const unsigned char*>(inKey);
        // An empty key leaves the initial P-array as it is: there is nothing to mix in.
        if (inLength) {
            uint32_t k = 0;
            for (uint32_t& p : m_p) {
                uint32_t word = 0;
                for (int i = 0; i < 4; ++i) {
                    word = word << 8 | key[k];
                    k = k + 1 == inLength ? 0 : k + 1;
                }
                p ^= word;
            }
        }
        uint32_t l = 0, r = 0;
        for (int i = 0; i < 18; i += 2) {
            encipher(l, r);
            m_p[i] = l;
            m_p[i + 1] = r;
        }
        for (auto& box : m_s) {
            for (int i = 0; i < 256; i += 2) {
                encipher(l, r);
                box[i] = l;
                box[i + 1] = r;
            }
        }
    }

    void encrypt(void* outBlock, const void* inBlock) override
    {
        uint32_t l, r;
        load(inBlock, l, r);
        encipher(l, r);
        store(outBlock, l, r);
    }

    void decrypt(void* outBlock, const void* inBlock) override
    {
        uint32_t l, r;
        load(inBlock, l, r);
        decipher(l, r);
        store(outBlock, l, r);
    }

    AutoPtr<BlockCipher> clone() override
    {
        BlowfishImpl* copy = new BlowfishImpl();
        AutoPtr<BlockCipher> result(copy);
        std::memcpy(copy->m_p, m_p, sizeof m_p);
        std::memcpy(copy->m_s, m_s, sizeof m_s);
        return result;
    }

private:
    void wipe()
    {
        secureZero(m_p, sizeof m_p);
        secureZero(m_s, sizeof m_s);
    }

    static void load(const void* inBlock, uint32_t& l, uint32_t& r)
    {
        const uint32_t* words = static_cast<const uint32_t*>(inBlock);
        l = ByteOrder::swap32(words);
        r = ByteOrder::swap32(words + 1);
    }

    static void store(void* outBlock, uint32_t l, uint32_t r)
    {
        const uint32_t words[2] = {ByteOrder::reversed(l), ByteOrder::reversed(r)};
        std::memcpy(outBlock, words, 8);
    }

    uint32_t f(uint32_t x) const
    {
        return ((m_s[0][x >> 24] + m_s[1][(x >> 16) & 0xFF]) ^ m_s[2][(x >> 8) & 0xFF]) + m_s[3][x & 0xFF];
    }

    void encipher(uint32_t& ioL, uint32_t& ioR) const
    {
        uint32_t l = ioL, r = ioR;
        for (int i = 0; i < 16; ++i) {
            l ^= m_p[i];
            r ^= f(l);
            const uint32_t t = l;
            l = r;
            r = t;
        }
        ioL = r ^ m_p[17];
        ioR = l ^ m_p[16];
    }

    void decipher(uint32_t& ioL, uint32_t& ioR) const
    {
        uint32_t l = ioL, r = ioR;
        for (int i = 17; i > 1; --i) {
            l ^= m_p[i];
            r ^= f(l);
            const uint32_t t = l;
            l = r;
            r = t;
        }
        ioL = r ^ m_p[0];
        ioR = l ^ m_p[1];
    }

    uint32_t m_p[18];
    uint32_t m_s[4][256];
};

} // namespace

AutoPtr<Blowfish> Blowfish::create() { return new BlowfishImpl(); }

} // namespace Morvenix
