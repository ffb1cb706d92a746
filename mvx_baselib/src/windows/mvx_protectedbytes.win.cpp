// Protected byte strings: texts encrypted for the current user by the platform's data protection.
#define MVX_SOURCE "mvx_protectedbytes.win"
#include "mvx_protectedbytes.h"

#include "mvx_crypterror.h"
#include "mvx_exception.h"
#include "mvx_unicode.h"

#include <windows.h>
#include <wincrypt.h>

namespace Morvenix {

namespace {

// The block the platform allocated for a result, wiped (it may hold plaintext) and released.
class PlatformBlob {
public:
    PlatformBlob() : blob{0, nullptr} {}
    ~PlatformBlob()
    {
        if (blob.pbData) {
            secureZero(blob.pbData, blob.cbData);
            LocalFree(blob.pbData);
        }
    }
    DATA_BLOB blob;

    PlatformBlob(const PlatformBlob&) = delete;
    PlatformBlob& operator=(const PlatformBlob&) = delete;
};

} // namespace

ProtectedBytes::ProtectedBytes(const String& inText) : m_block()
{
    m_block.setWipe(true);
    set(inText);
}

ProtectedBytes::ProtectedBytes(const ProtectedBytes& inOther) : m_block(inOther.m_block)
{
    m_block.setWipe(true);
}

ProtectedBytes& ProtectedBytes::operator=(const ProtectedBytes& inOther)
{
    m_block.assign(inOther.m_block, false);
    return *this;
}

ProtectedBytes::~ProtectedBytes()
{
}

void ProtectedBytes::set(const String& inText)
{
    uint32_t length = inText.getLength();
    if (length == 0) {
        m_block.free();
        return;
    }
    DATA_BLOB input = {length, reinterpret_cast<BYTE*>(const_cast<char*>(inText.begin()))};
    PlatformBlob output;
    if (!CryptProtectData(&input, L"setEString", nullptr, nullptr, nullptr, 0, &output.blob))
        MVX_THROW_CRYPT_FAILURE("CryptProtectData", "Morvenix::ProtectedBytes::set");
    if (output.blob.cbData == 0 || !output.blob.pbData)
        MVX_THROW(errOperationFailed, "The platform returned no protected data!", "Morvenix::ProtectedBytes::set");
    m_block.assign(output.blob.pbData, output.blob.cbData, ByteOrder::asStored);
}

String ProtectedBytes::get() const
{
    if (m_block.count() == 0)
        return String();
    DATA_BLOB input = {m_block.count(), const_cast<BYTE*>(m_block.data())};
    PlatformBlob output;
    if (!CryptUnprotectData(&input, nullptr, nullptr, nullptr, nullptr, 0, &output.blob))
        MVX_THROW_CRYPT_FAILURE("CryptUnprotectData", "Morvenix::ProtectedBytes::get");
    if (output.blob.cbData > String::maxLength)
        MVX_THROW(errDataBroken, "The protected text is too long!", "Morvenix::ProtectedBytes::get");
    return String(reinterpret_cast<const char*>(output.blob.pbData), int32_t(output.blob.cbData));
}

} // namespace Morvenix
