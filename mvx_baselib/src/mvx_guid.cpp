// GUID values: text form, parsing, ordering and the raw stream form.
#include "mvx_guid.h"

#include "mvx_byteorder.h"
#include "mvx_exception.h"
#include "mvx_stream.h"
#include "mvx_string.h"

#include <cstring>

#define MVX_SOURCE "mvx_guid"

namespace Morvenix {

Guid::Guid(bool inGenerate)
{
    clear();
    if (inGenerate)
        generate();
}

Guid::Guid(const char* inText)
{
    clear();
    fromString(inText);
}

Guid::Guid(const String& inText)
{
    clear();
    fromString(inText);
}

Guid::Guid(const Guid& inOther)
{
    std::memcpy(m_bytes, inOther.m_bytes, sizeof(m_bytes));
}

Guid& Guid::operator=(const Guid& inOther)
{
    std::memcpy(m_bytes, inOther.m_bytes, sizeof(m_bytes));
    return *this;
}

void Guid::clear()
{
    std::memset(m_bytes, 0, sizeof(m_bytes));
}

void Guid::fromString(const char* inText)
{
    if (!inText || !*inText)
        MVX_THROW(errInvalidParam, "errInvalidParam", "Morvenix::Guid::fromString");
    parse(inText, uint32_t(std::strlen(inText)));
}

void Guid::fromString(const String& inText)
{
    if (inText.isEmpty())
        MVX_THROW(errInvalidParam, "errInvalidParam", "Morvenix::Guid::fromString");
    parse(inText.begin(), inText.getLength());
}

void Guid::parse(const char* inText, uint32_t inLength)
{
    uint32_t pos = 0;
    for (unsigned char& byte : m_bytes) {
        while (pos < inLength && Hex::charToInt(inText[pos]) < 0)
            ++pos;
        // A pair is two adjacent digits: a lone digit followed by anything else (or the end) is refused.
        if (pos + 1 >= inLength || Hex::charToInt(inText[pos + 1]) < 0)
            MVX_THROW(errInvalidParam, "errInvalidParam", "Morvenix::Guid::fromString");
        byte = (unsigned char)(Hex::charToInt(inText[pos]) << 4 | Hex::charToInt(inText[pos + 1]));
        pos += 2;
    }
}

String Guid::toString() const
{
    const unsigned char* b = m_bytes;
    return String::format("%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0], b[1],
                          b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                          b[15]);
}

const Guid& Guid::getNull()
{
    static const Guid null(false);
    return null;
}

bool Guid::isValid() const
{
    return *this != getNull();
}

int Guid::compare(const Guid& inOther) const
{
    return std::memcmp(m_bytes, inOther.m_bytes, sizeof(m_bytes));
}

void Guid::write(Stream* inStream, int32_t) const
{
    if (!inStream)
        MVX_THROW(errInvalidParam, "errInvalidParam", "Morvenix::Guid::write");
    inStream->writeBytes(m_bytes, sizeof(m_bytes));
}

void Guid::read(Stream* inStream, int32_t)
{
    if (!inStream)
        MVX_THROW(errInvalidParam, "errInvalidParam", "Morvenix::Guid::read");
    // Into a scratch copy, so a failed read leaves the value as it was.
    unsigned char bytes[sizeof(m_bytes)];
    readExactly(*inStream, bytes, sizeof(bytes), "Morvenix::Guid::read");
    std::memcpy(m_bytes, bytes, sizeof(m_bytes));
}

} // namespace Morvenix
