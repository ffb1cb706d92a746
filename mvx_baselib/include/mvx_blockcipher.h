// Block ciphers chosen by name, and Blowfish, the one the library implements.
#pragma once

#include "mvx_referable.h"

#include <cstdint>

namespace Morvenix {

class String;

class BlockCipher : public Referable {
public:
    virtual const char* getName() = 0;
    virtual uint32_t getBlockSize() = 0;
    virtual uint32_t getMaxKeySize() = 0;
    // Runs the key schedule; the key is the caller's, nothing keeps it.
    virtual void setKey(const void* inKey, uint32_t inLength) = 0;
    // Length of the feedback register of the cipher streams.
    virtual uint32_t getIVSize() = 0;
    // One block; output and input may be the same buffer.
    virtual void encrypt(void* outBlock, const void* inBlock) = 0;
    virtual void decrypt(void* outBlock, const void* inBlock) = 0;
    // A new cipher with the same key schedule.
    virtual AutoPtr<BlockCipher> clone() = 0;

    // "blowfish" (exactly so) gives an unkeyed Blowfish; any other name throws errInvalidParam.
    static AutoPtr<BlockCipher> create(const String& inName);
};

// 64-bit blocks, keys of 1 to 56 bytes (longer keys are taken; only their first 72 bytes count).
class Blowfish : public BlockCipher {
public:
    static AutoPtr<Blowfish> create();
};

} // namespace Morvenix
