// A text kept in memory only in encrypted form, encrypted for the current user by the platform's
// data-protection service; the plaintext exists only while a caller holds the result of get.
#pragma once

#include "mvx_simplearray.h"
#include "mvx_string.h"

namespace Morvenix {

class ProtectedBytes {
public:
    explicit ProtectedBytes(const String& inText = String());
    // The encrypted block, its allocator and growth step are copied; nothing is decrypted.
    ProtectedBytes(const ProtectedBytes& inOther);
    ProtectedBytes& operator=(const ProtectedBytes& inOther);
    // Zero-fills the block before it is freed.
    ~ProtectedBytes();

    // Stores the encryption of the text's UTF-8 bytes (no terminator); the empty text stores nothing. When
    // the platform refuses, it throws and the block stored before is kept.
    void set(const String& inText);
    // The decrypted text; the empty String when nothing is stored. A block the platform cannot decrypt
    // (damaged, or another user's) throws; no partial text is returned.
    String get() const;

    // The encrypted block exactly as the platform returned it.
    const SimpleArray<unsigned char, 2>& getBlock() const { return m_block; }

private:
    SimpleArray<unsigned char, 2> m_block;
};

} // namespace Morvenix
