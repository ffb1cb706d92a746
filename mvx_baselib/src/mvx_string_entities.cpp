// Morvenix::String: resolving the character references of HTML 4.01 text.
#define MVX_SOURCE "mvx_string_entities"
#include "mvx_string.h"

#include "mvx_entity_table.h"
#include "mvx_exception.h"
#include "mvx_misc.h"
#include "mvx_unicode.h"

#include <cstring>
#include <string>

namespace Morvenix {

namespace {

const char* const kFunction = "Morvenix::String::resolveEntityReferences";

const char* findEntity(const char* inName, uint32_t inLength)
{
    using _Mvx_Internal_NS_::kEntityRows;
    uint32_t low = 0, high = _Mvx_Internal_NS_::kEntityRowCount;
    while (low < high) {
        uint32_t mid = low + (high - low) / 2;
        const char* name = kEntityRows[mid].name;
        int c = std::strncmp(name, inName, inLength);
        if (c == 0 && name[inLength] != '\0')
            c = 1; // the row's name is longer
        if (c == 0)
            return kEntityRows[mid].text;
        if (c < 0)
            low = mid + 1;
        else
            high = mid;
    }
    return nullptr;
}

// A numeric reference names a Unicode scalar value: U+0000, surrogates and values above U+10FFFF are no
// characters, and their UTF-8 forms would be invalid text.
void appendCodePoint(std::string& ioResult, int32_t inValue)
{
    uint32_t cp = uint32_t(inValue);
    if (cp == 0 || cp > 0x10FFFF || isSurrogate(cp))
        MVX_THROW(errDataBroken, String::format("Broken reference! (No character U+%04X)", unsigned(cp)), kFunction);
    char bytes[6];
    ioResult.append(bytes, Utf8::encode(bytes, cp));
}

void appendReference(std::string& ioResult, const char* inName, uint32_t inLength)
{
    if (inLength == 0)
        MVX_THROW(errDataBroken, "Broken reference! (0-length)", kFunction);
    if (inName[0] == '#' && inLength >= 2) {
        if (inName[1] != 'x') {
            appendCodePoint(ioResult, Decimal::fromStrToInt(inName + 1, inLength - 1));
            return;
        }
        if (inLength >= 3) {
            appendCodePoint(ioResult, Hex::fromStrToInt(inName + 2, inLength - 2));
            return;
        }
    }
    const char* text = findEntity(inName, inLength);
    if (!text)
        MVX_THROW(errDataBroken, "Unknown entity reference!", kFunction);
    ioResult.append(text);
}

} // namespace

String String::resolveEntityReferences() const
{
    const char* p = c_str();
    std::string result;
    const char* plain = p;
    for (;;) {
        const char* amp = std::strchr(plain, '&');
        if (!amp)
            break;
        result.append(plain, size_t(amp - plain));
        const char* name = amp + 1;
        const char* semicolon = std::strchr(name, ';');
        if (!semicolon)
            MVX_THROW(errDataBroken, "Broken reference! (No ';')", kFunction);
        appendReference(result, name, uint32_t(semicolon - name));
        plain = semicolon + 1;
    }
    result.append(plain);
    // Every reference is longer than its character, so the result is never longer than this string.
    return String(result.data(), int32_t(result.size()));
}

} // namespace Morvenix
