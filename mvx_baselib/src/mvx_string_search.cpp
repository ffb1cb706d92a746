// Morvenix::String: byte-pattern search (plain or Horspool), code-point search, the conversion between
// code-point and byte positions, and the split of a list at its separators.
#define MVX_SOURCE "mvx_string_search"
#include "mvx_string.h"

#include "mvx_string_internal.h"
#include "mvx_unicode.h"

#include <cstring>

namespace _Mvx_Internal_NS_ {

namespace {

// Below these sizes building the skip table costs more than it saves.
const uint32_t kHorspoolMinPattern = 4;
const uint32_t kHorspoolMinText = 512;

const char* plainSearch(const char* inText, uint32_t inTextLength, const char* inPattern, uint32_t inPatternLength)
{
    const char* last = inText + (inTextLength - inPatternLength);
    for (const char* p = inText; p <= last; ++p) {
        p = static_cast<const char*>(std::memchr(p, inPattern[0], size_t(last - p) + 1));
        if (!p)
            return nullptr;
        if (std::memcmp(p + 1, inPattern + 1, inPatternLength - 1) == 0)
            return p;
    }
    return nullptr;
}

const char* horspoolSearch(const char* inText, uint32_t inTextLength, const char* inPattern,
                           uint32_t inPatternLength)
{
    const unsigned char* text = reinterpret_cast<const unsigned char*>(inText);
    const unsigned char* pattern = reinterpret_cast<const unsigned char*>(inPattern);
    uint32_t skip[256];
    for (uint32_t& s : skip)
        s = inPatternLength;
    for (uint32_t i = 0; i + 1 < inPatternLength; ++i)
        skip[pattern[i]] = inPatternLength - 1 - i;
    const unsigned char lastByte = pattern[inPatternLength - 1];
    // p is the text index of the window's last byte; 64 bits so that a skip near the end cannot wrap.
    for (uint64_t p = inPatternLength - 1; p < inTextLength; p += skip[text[p]]) {
        if (text[p] != lastByte)
            continue;
        const unsigned char* window = text + (p - (inPatternLength - 1));
        if (std::memcmp(window, pattern, inPatternLength - 1) == 0)
            return reinterpret_cast<const char*>(window);
    }
    return nullptr;
}

} // namespace

const char* findBytes(const char* inText, uint32_t inTextLength, const char* inPattern, uint32_t inPatternLength)
{
    if (inPatternLength > inTextLength)
        return nullptr;
    if (inPatternLength == 0)
        return inText;
    if (inPatternLength < kHorspoolMinPattern || inTextLength < kHorspoolMinText)
        return plainSearch(inText, inTextLength, inPattern, inPatternLength);
    return horspoolSearch(inText, inTextLength, inPattern, inPatternLength);
}

std::vector<Morvenix::String> splitList(const Morvenix::String& inText, const char* inSeparators)
{
    std::vector<Morvenix::String> elements;
    const char* p = inText.begin();
    const char* end = inText.end();
    for (;;) {
        const char* stop = p;
        while (stop != end && (*stop == 0 || !std::strchr(inSeparators, *stop)))
            ++stop;
        elements.push_back(Morvenix::String(p, int32_t(stop - p)).trim());
        if (stop == end)
            return elements;
        p = stop + 1;
    }
}

} // namespace _Mvx_Internal_NS_

namespace Morvenix {

namespace {

// The code point at p and, in outLength, its bytes: what the lead byte announces, cut by the end.
uint32_t codePointAt(const char* p, const char* inEnd, uint32_t* outLength)
{
    return decodeUtf8Char(p, uint32_t(inEnd - p), outLength);
}

// The end of the text up to its first NUL.
const char* nulOrEnd(const char* inBegin, const char* inEnd)
{
    const void* nul = std::memchr(inBegin, 0, size_t(inEnd - inBegin));
    return nul ? static_cast<const char*>(nul) : inEnd;
}

bool contains(uint32_t inCodePoint, const uint32_t* inSet, uint32_t inCount)
{
    for (uint32_t i = 0; i < inCount; ++i) {
        if (inSet[i] == inCodePoint)
            return true;
    }
    return false;
}

// Index of the first code point in [inFrom, inEnd) of the text that belongs to the set.
uint32_t firstOf(const char* inBegin, const char* inFrom, const char* inEnd, const uint32_t* inSet, uint32_t inCount)
{
    for (const char* p = inFrom; p < inEnd;) {
        uint32_t used;
        uint32_t cp = codePointAt(p, inEnd, &used);
        if (contains(cp, inSet, inCount))
            return uint32_t(p - inBegin);
        p += used;
    }
    return String::npos;
}

// The set decoded up to its first NUL; returns the number of code points.
uint32_t decodeSet(const String& inSet, WipedBlock<uint32_t>& outBlock)
{
    return utf8ToUtf32(inSet.begin(), int32_t(inSet.getLength()), outBlock) - 1;
}

} // namespace

uint32_t String::getCharCount() const
{
    const char* e = end();
    uint32_t count = 0;
    for (const char* p = begin(); p < e && *p;) {
        uint32_t used;
        codePointAt(p, e, &used);
        p += used;
        ++count;
    }
    return count;
}

uint32_t String::charToByteOffset(uint32_t inIndex) const
{
    const char* b = begin();
    const char* e = end();
    const char* p = b;
    for (uint32_t i = 0; i < inIndex; ++i) {
        if (p >= e || *p == 0)
            return npos;
        uint32_t used;
        codePointAt(p, e, &used);
        p += used;
    }
    return uint32_t(p - b);
}

const char* String::charToPtr(uint32_t inIndex) const
{
    uint32_t offset = charToByteOffset(inIndex);
    return offset == npos ? nullptr : begin() + offset;
}

const char* String::findPtr(const String& inPattern) const
{
    return _Mvx_Internal_NS_::findBytes(begin(), getLength(), inPattern.begin(), inPattern.getLength());
}

uint32_t String::find(const String& inPattern) const
{
    const char* p = findPtr(inPattern);
    return p ? uint32_t(p - begin()) : npos;
}

bool String::startsWith(const String& inPrefix) const
{
    uint32_t n = inPrefix.getLength();
    return n <= getLength() && std::memcmp(begin(), inPrefix.begin(), n) == 0;
}

bool String::endsWith(const String& inSuffix) const
{
    uint32_t n = inSuffix.getLength();
    uint32_t length = getLength();
    return n <= length && std::memcmp(begin() + (length - n), inSuffix.begin(), n) == 0;
}

uint32_t String::findChar(uint32_t inCodePoint) const
{
    return findChar(inCodePoint, 0);
}

uint32_t String::findChar(uint32_t inCodePoint, uint32_t inFrom) const
{
    if (inFrom >= getLength())
        return npos;
    return firstOf(begin(), begin() + inFrom, end(), &inCodePoint, 1);
}

uint32_t String::rfind(uint32_t inCodePoint) const
{
    const char* b = begin();
    const char* e = end();
    uint32_t found = npos;
    for (const char* p = b; p < e;) {
        uint32_t used;
        if (codePointAt(p, e, &used) == inCodePoint)
            found = uint32_t(p - b);
        p += used;
    }
    return found;
}

uint32_t String::findFirstOf(const String& inSet) const
{
    WipedBlock<uint32_t> set;
    uint32_t count = decodeSet(inSet, set);
    return findFirstOf(set.get(), count);
}

uint32_t String::findFirstOf(const String& inSet, uint32_t inFrom) const
{
    if (inFrom >= getLength())
        return npos;
    WipedBlock<uint32_t> set;
    uint32_t count = decodeSet(inSet, set);
    return firstOf(begin(), begin() + inFrom, end(), set.get(), count);
}

uint32_t String::findFirstOf(const uint32_t* inSet, uint32_t inCount) const
{
    const char* b = begin();
    return firstOf(b, b, nulOrEnd(b, end()), inSet, inCount);
}

String String::substrChars(uint32_t inPos, uint32_t inCount) const
{
    uint32_t first = charToByteOffset(inPos);
    if (first == npos)
        return String();
    if (inCount >= npos)
        return substr(first);
    uint32_t count = String(*this, first, npos).charToByteOffset(inCount);
    return substr(first, count == npos ? npos : count);
}

} // namespace Morvenix
