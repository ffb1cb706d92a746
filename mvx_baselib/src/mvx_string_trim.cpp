// Morvenix::String: copies without leading or trailing white space or line breaks, and ASCII case changes.
#define MVX_SOURCE "mvx_string_trim"
#include "mvx_string.h"

#include "mvx_unicode.h"

namespace Morvenix {

namespace {

typedef bool (*CodePointTest)(uint32_t);

// The first byte at or after inFrom that does not start a code point passing the test.
const char* skipLeading(const char* inFrom, const char* inEnd, CodePointTest inTest)
{
    const char* p = inFrom;
    while (p < inEnd) {
        uint32_t used;
        if (!inTest(decodeUtf8Char(p, uint32_t(inEnd - p), &used)))
            break;
        p += used;
    }
    return p;
}

// The end of the last code point in [inFrom, inEnd) that fails the test (inFrom when there is none).
const char* lastKept(const char* inFrom, const char* inEnd, CodePointTest inTest)
{
    const char* kept = inFrom;
    for (const char* p = inFrom; p < inEnd;) {
        uint32_t used;
        bool drop = inTest(decodeUtf8Char(p, uint32_t(inEnd - p), &used));
        p += used;
        if (!drop)
            kept = p;
    }
    return kept;
}

String changeCase(const String& inText, char inFirst, char inLast, int inShift)
{
    uint32_t length = inText.getLength();
    if (length == 0)
        return String();
    String result;
    char* out = result.allocate(length);
    const char* in = inText.begin();
    for (uint32_t i = 0; i < length; ++i)
        out[i] = in[i] >= inFirst && in[i] <= inLast ? char(in[i] + inShift) : in[i];
    return result;
}

} // namespace

String String::trimLeft() const
{
    return substr(uint32_t(skipLeading(begin(), end(), isWhiteSpace) - begin()));
}

String String::trimRight() const
{
    return substr(0, uint32_t(lastKept(begin(), end(), isWhiteSpace) - begin()));
}

String String::trim() const
{
    const char* b = begin();
    const char* first = skipLeading(b, end(), isWhiteSpace);
    const char* last = lastKept(first, end(), isWhiteSpace);
    return substr(uint32_t(first - b), uint32_t(last - first));
}

String String::trimTrailingLineBreaks() const
{
    return substr(0, uint32_t(lastKept(begin(), end(), isLineBreak) - begin()));
}

String String::toUpper() const
{
    return changeCase(*this, 'a', 'z', 'A' - 'a');
}

String String::toLower() const
{
    return changeCase(*this, 'A', 'Z', 'a' - 'A');
}

} // namespace Morvenix
