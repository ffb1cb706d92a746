// Cryptographically strong random bytes from the platform's provider.
#pragma once

#include <cstdint>

namespace Morvenix {

// Fills the buffer with inCount random bytes (a count of 0 touches nothing). When the provider cannot be
// acquired or fails to produce the bytes, it throws the mapping of the Windows error: the buffer is never
// handed back with bytes that are not random.
void generateRandom(void* outBuffer, uint32_t inCount);

} // namespace Morvenix
