// Morvenix::String: copies with patterns replaced or removed, a byte range cut out, arrays joined, code
// points mapped and excerpts for messages. Result sizes are worked out in 64 bits and refused beyond the
// longest string, so no block is ever sized from a wrapped value.
#define MVX_SOURCE "mvx_string_edit"
#include "mvx_string.h"

#include "mvx_exception.h"
#include "mvx_simplearray.h"
#include "mvx_string_internal.h"
#include "mvx_unicode.h"

#include <cstring>

namespace Morvenix {

using _Mvx_Internal_NS_::checkedLength;
using _Mvx_Internal_NS_::findBytes;

String String::replace(const String& inPattern, const String& inReplacement) const
{
    uint32_t patternLength = inPattern.getLength();
    if (patternLength == 0)
        MVX_THROW(errInvalidParam, "inReplacee is empty!", "Morvenix::String::replace");
    uint32_t length = getLength();
    if (length < patternLength)
        return *this;
    const char* text = begin();
    const char* pattern = inPattern.begin();
    SimpleArray<uint32_t, 2> positions(0, 0, nullptr, 128);
    for (uint32_t from = 0; from + patternLength <= length;) {
        const char* hit = findBytes(text + from, length - from, pattern, patternLength);
        if (!hit)
            break;
        uint32_t at = uint32_t(hit - text);
        positions.append(at);
        from = at + patternLength;
    }
    uint32_t replacementLength = inReplacement.getLength();
    uint32_t count = positions.count();
    int64_t total = int64_t(length) + (int64_t(replacementLength) - int64_t(patternLength)) * int64_t(count);
    uint32_t size = checkedLength(uint64_t(total), "Morvenix::String::replace");
    String result;
    if (size == 0)
        return result;
    char* out = result.allocate(size);
    uint32_t copied = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t at = positions[i];
        std::memcpy(out, text + copied, at - copied);
        out += at - copied;
        std::memcpy(out, inReplacement.begin(), replacementLength);
        out += replacementLength;
        copied = at + patternLength;
    }
    std::memcpy(out, text + copied, length - copied);
    return result;
}

String String::removeAll(const String& inPattern) const
{
    return replace(inPattern, String());
}

String String::removeBOM() const
{
    return removeAll(String("\xEF\xBB\xBF", 3));
}

String String::erase(uint32_t inPos, uint32_t inCount) const
{
    uint64_t resume = uint64_t(inPos) + inCount;
    String tail = resume >= getLength() ? String() : substr(uint32_t(resume));
    return substr(0, inPos) + tail;
}

String String::join(const SimpleArray<String, 1>& inParts, const String& inSeparator)
{
    uint32_t count = inParts.count();
    if (count == 0)
        return String();
    if (count == 1)
        return inParts[0];
    uint32_t separatorLength = inSeparator.getLength();
    uint64_t total = uint64_t(count - 1) * separatorLength;
    for (uint32_t i = 0; i < count; ++i)
        total += inParts[i].getLength();
    uint32_t size = checkedLength(total, "Morvenix::String::join");
    String result;
    if (size == 0)
        return result;
    char* out = result.allocate(size);
    for (uint32_t i = 0; i < count; ++i) {
        if (i && separatorLength) {
            std::memcpy(out, inSeparator.begin(), separatorLength);
            out += separatorLength;
        }
        uint32_t partLength = inParts[i].getLength();
        if (partLength) {
            std::memcpy(out, inParts[i].begin(), partLength);
            out += partLength;
        }
    }
    return result;
}

String String::map(CodePointMapper& inMapper) const
{
    SimpleArray<uint32_t, 2> mapped(0, 0, nullptr, 128);
    mapped.setWipe(true);
    const char* e = end();
    for (const char* p = begin(); p < e;) {
        uint32_t used;
        uint32_t cp = decodeUtf8Char(p, uint32_t(e - p), &used);
        mapped.append(inMapper.mapCodePoint(cp));
        p += used;
    }
    mapped.append(0);
    return String(mapped.data(), int32_t(npos));
}

} // namespace Morvenix

namespace _Mvx_Internal_NS_ {

Morvenix::String excerpt(const Morvenix::String& inText, uint32_t inMaxChars)
{
    const uint32_t cut = inText.charToByteOffset(inMaxChars);
    if (cut == Morvenix::String::npos || cut == inText.getLength())
        return inText;
    return inText.substr(0, cut) + "...";
}

} // namespace _Mvx_Internal_NS_
