// Streams that encrypt what is written to them, or decrypt what is read, with a block cipher in 8-bit
// cipher feedback. The writer leaves an 8-byte header (plaintext length and seed, both big-endian) before
// the data; the length is filled in when the writer is destroyed.
#pragma once

#include "mvx_blockcipher.h"
#include "mvx_stream.h"

#include <cstdint>

namespace Morvenix {

class CipherStream : public Stream {
public:
    // Writes the header at the storage's position; the seed chooses the initialisation vector. The
    // cipher must have its key.
    static AutoPtr<CipherStream> create(const AutoPtr<Storage>& inStorage, const AutoPtr<BlockCipher>& inCipher,
                                        uint32_t inSeed);
    // Reads the header at the stream's position; reads then end at the length it states, or earlier
    // where the stream's data ends.
    static AutoPtr<CipherStream> create(const AutoPtr<Stream>& inStream, const AutoPtr<BlockCipher>& inCipher);
};

} // namespace Morvenix
