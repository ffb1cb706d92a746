// Random bytes from the platform's cryptographic provider.
#define MVX_SOURCE "mvx_random.win"
#include "mvx_random.h"

#include "mvx_crypterror.h"
#include "mvx_exception.h"
#include "mvx_string.h"

#include <windows.h>
#include <wincrypt.h>

namespace Morvenix {

namespace {

const char* const kFunction = "Morvenix::generateRandom";

// A verify-only context needs no key set, so NTE_BAD_KEYSET should not happen; where it does, creating
// the key set is tried a few times and no more (another process may be creating the same one).
const int kNewKeySetAttempts = 3;

class ProviderContext {
public:
    ProviderContext() : m_handle(0)
    {
        if (CryptAcquireContextW(&m_handle, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
            return;
        for (int i = 0; i < kNewKeySetAttempts && GetLastError() == DWORD(NTE_BAD_KEYSET); ++i) {
            if (CryptAcquireContextW(&m_handle, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET))
                return;
        }
        m_handle = 0;
        MVX_THROW_CRYPT_FAILURE("CryptAcquireContext", kFunction);
    }
    ~ProviderContext() { CryptReleaseContext(m_handle, 0); }
    HCRYPTPROV get() const { return m_handle; }

    ProviderContext(const ProviderContext&) = delete;
    ProviderContext& operator=(const ProviderContext&) = delete;

private:
    HCRYPTPROV m_handle;
};

} // namespace

void generateRandom(void* outBuffer, uint32_t inCount)
{
    if (inCount == 0)
        return;
    if (!outBuffer)
        MVX_THROW(errInvalidParam, "No buffer for the random bytes!", kFunction);
    ProviderContext context;
    if (!CryptGenRandom(context.get(), inCount, static_cast<BYTE*>(outBuffer)))
        MVX_THROW_CRYPT_FAILURE("CryptGenRandom", kFunction);
}

} // namespace Morvenix
