// Choosing a block cipher by name.
#define MVX_SOURCE "mvx_blockcipher"

#include "mvx_blockcipher.h"

#include "mvx_exception.h"
#include "mvx_string.h"

#include <cstring>

namespace Morvenix {

AutoPtr<BlockCipher> BlockCipher::create(const String& inName)
{
    if (inName.getLength() == 8 && std::memcmp(inName.begin(), "blowfish", 8) == 0)
        return Blowfish::create();
    MVX_THROW(errInvalidParam, "Unknown cipher name!", "Morvenix::BlockCipher::create");
}

} // namespace Morvenix
