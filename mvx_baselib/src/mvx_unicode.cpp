// UTF-8, UTF-16 and UTF-32 readers and writers and the whole-text conversions between them. Every walk
// is bounded by its length and stops at a zero unit; a NUL byte inside a UTF-8 sequence cuts the sequence
// there, so no decoder steps over a terminator.
#define MVX_SOURCE "mvx_unicode"
#include "mvx_unicode.h"

#include <cstring>
#include <new>

namespace Morvenix {

void secureZero(void* inPtr, size_t inBytes)
{
    if (!inPtr || !inBytes)
        return;
    std::memset(inPtr, 0, inBytes);
    // The barrier keeps the stores: the block is freed right after.
    __asm__ __volatile__("" : : "r"(inPtr) : "memory");
}

namespace {

const uint32_t kWhiteSpace[] = {0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x0020, 0x00A0, 0x2000, 0x2001, 0x2002,
                                0x2003, 0x2004, 0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200A, 0x200B, 0x3000};
const uint32_t kLineBreaks[] = {0x000A, 0x000B, 0x000C, 0x000D, 0x0085, 0x2028, 0x2029};
// Lead-byte marker plus continuation markers, by sequence length.
const uint32_t kUtf8Offsets[7] = {0, 0, 0x00003080, 0x000E2080, 0x03C82080, 0xFA082080, 0x82082080};
// The smallest value that needs each sequence length; anything less is an overlong form.
const uint32_t kUtf8Minimum[7] = {0, 0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};

// Bytes available to the sequence at p: its announced length, cut by the end or by a NUL inside it.
uint32_t sequenceAvail(const char* p, uint32_t inRemaining)
{
    uint32_t n = Utf8::sequenceLength(uint8_t(*p));
    if (n > inRemaining)
        n = inRemaining;
    for (uint32_t i = 1; i < n; ++i) {
        if (p[i] == 0)
            return i;
    }
    return n;
}

// Calls f(code point) for each sequence of the UTF-8 text, stopping at the length or a NUL lead byte.
template <class F>
void walkUtf8(const char* inText, uint32_t inLength, F f)
{
    uint32_t pos = 0;
    while (pos < inLength && inText[pos]) {
        uint32_t used;
        uint32_t cp = decodeUtf8Char(inText + pos, sequenceAvail(inText + pos, inLength - pos), &used);
        f(cp);
        pos += used;
    }
}

template <class F>
void walkUtf16(const wchar_t* inText, uint32_t inLength, F f)
{
    uint32_t pos = 0;
    while (pos < inLength && inText[pos]) {
        uint32_t used;
        uint32_t cp = Utf16::decode(inText + pos, inLength - pos, &used);
        f(cp);
        pos += used;
    }
}

// The UTF-16 units the UTF-8 text becomes, terminator included.
uint64_t utf16Size(const char* inText, uint32_t inLength)
{
    uint64_t size = 1;
    walkUtf8(inText, inLength, [&](uint32_t cp) { size += cp > 0xFFFF ? 2 : 1; });
    return size;
}

// Writes them, terminated, to a buffer of that size.
void writeUtf16(const char* inText, uint32_t inLength, wchar_t* outText)
{
    walkUtf8(inText, inLength, [&](uint32_t cp) { outText += Utf16::encode(outText, cp); });
    *outText = 0;
}

template <class T>
uint32_t sourceLength(const T* inText, int32_t inLength)
{
    if (!inText || inLength == 0)
        return 0;
    if (inLength > 0)
        return uint32_t(inLength);
    size_t n = 0;
    while (inText[n] && n < 0xFFFFFFFEu)
        ++n;
    return uint32_t(n);
}

uint32_t checkedSize(uint64_t inUnits)
{
    if (inUnits > 0x7FFFFFFFu)
        throw std::bad_alloc();
    return uint32_t(inUnits);
}

template <class T>
bool inTable(const T& table, uint32_t cp)
{
    for (uint32_t v : table) {
        if (v == cp)
            return true;
    }
    return false;
}

} // namespace

bool isNonCharacter(uint32_t inCodePoint)
{
    if (inCodePoint >= 0xFDD0 && inCodePoint <= 0xFDEF)
        return true;
    return inCodePoint < 0x110000 && (inCodePoint & 0xFFFE) == 0xFFFE;
}

bool isValidCodePoint(uint32_t inCodePoint)
{
    if (inCodePoint <= 0xD7FF)
        return true;
    return inCodePoint >= 0xE000 && inCodePoint <= 0x10FFFF && !isNonCharacter(inCodePoint);
}

bool isSurrogate(uint32_t inCodePoint)
{
    return inCodePoint >= 0xD800 && inCodePoint <= 0xDFFF;
}

bool isWhiteSpace(uint32_t inCodePoint)
{
    return inTable(kWhiteSpace, inCodePoint);
}

bool isLineBreak(uint32_t inCodePoint)
{
    return inTable(kLineBreaks, inCodePoint);
}

bool isWhiteSpace(const char* inText, const char* inEnd)
{
    if (inText >= inEnd)
        return false;
    uint32_t used;
    return isWhiteSpace(decodeUtf8Char(inText, uint32_t(inEnd - inText), &used));
}

bool isLineBreak(const char* inText, const char* inEnd)
{
    if (inText >= inEnd)
        return false;
    uint32_t used;
    return isLineBreak(decodeUtf8Char(inText, uint32_t(inEnd - inText), &used));
}

uint32_t decodeUtf8Char(const char* inText, uint32_t inAvail, uint32_t* outLength)
{
    if (inAvail == 0) {
        *outLength = 0;
        return 0;
    }
    uint8_t lead = uint8_t(inText[0]);
    if (lead < 0x80) {
        *outLength = 1;
        return lead;
    }
    uint32_t n = Utf8::sequenceLength(lead);
    uint32_t value = lead;
    for (uint32_t i = 1; i < n; ++i)
        value = value * 64 + (i < inAvail ? uint8_t(inText[i]) : 0);
    *outLength = n < inAvail ? n : inAvail;
    return value - kUtf8Offsets[n];
}

uint32_t Utf8::sequenceLength(uint8_t inLead)
{
    if (inLead < 0xC0)
        return 1;
    if (inLead < 0xE0)
        return 2;
    if (inLead < 0xF0)
        return 3;
    if (inLead < 0xF8)
        return 4;
    if (inLead < 0xFC)
        return 5;
    if (inLead < 0xFE)
        return 6;
    return 1;
}

uint32_t Utf8::sequenceLengthStrict(uint8_t inLead)
{
    if (inLead < 0x80)
        return 1;
    if (inLead < 0xC0 || inLead > 0xFC)
        return 0;
    return sequenceLength(inLead);
}

uint32_t Utf8::encodedLength(uint32_t inCodePoint)
{
    if (inCodePoint < 0x80)
        return 1;
    if (inCodePoint < 0x800)
        return 2;
    if (inCodePoint < 0x10000)
        return 3;
    if (inCodePoint < 0x200000)
        return 4;
    if (inCodePoint < 0x4000000)
        return 5;
    return 6;
}

uint32_t Utf8::encode(char* outText, uint32_t inCodePoint)
{
    static const uint8_t kLeadMarks[7] = {0, 0, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
    static const uint32_t kLeadBits[7] = {0, 0, 0x1F, 0x0F, 0x07, 0x03, 0x01};
    uint32_t n = encodedLength(inCodePoint);
    if (n == 1) {
        outText[0] = char(inCodePoint);
        return 1;
    }
    uint32_t v = inCodePoint;
    for (uint32_t i = n - 1; i > 0; --i) {
        outText[i] = char(0x80 | (v & 0x3F));
        v >>= 6;
    }
    outText[0] = char(kLeadMarks[n] | (v & kLeadBits[n]));
    return n;
}

const char* Utf8::next(const char* inText)
{
    if (*inText == 0)
        return inText + 1;
    return inText + sequenceAvail(inText, 6);
}

uint32_t Utf8::countChars(const char* inText)
{
    uint32_t n = 0;
    for (const char* p = inText; *p; p = next(p))
        ++n;
    return n;
}

bool Utf8::isValid(const char* inText, uint32_t inLength)
{
    if (!inText || inLength == 0 || inText[0] == 0)
        return false;
    uint32_t pos = 0;
    for (;;) {
        uint32_t n = sequenceLengthStrict(uint8_t(inText[pos]));
        if (n == 0 || n > inLength - pos)
            return false;
        for (uint32_t i = 1; i < n; ++i) {
            if ((uint8_t(inText[pos + i]) & 0xC0) != 0x80)
                return false;
        }
        uint32_t used;
        uint32_t cp = decodeUtf8Char(inText + pos, n, &used);
        if (cp < kUtf8Minimum[n] || isSurrogate(cp) || cp > 0x10FFFF || isNonCharacter(cp))
            return false;
        if (cp < 0x20 && !isWhiteSpace(cp))
            return false;
        pos += n;
        if (pos == inLength)
            return true;
        if (inText[pos] == 0)
            return false;
    }
}

uint32_t Utf16::decode(const wchar_t* inText, uint32_t inAvail, uint32_t* outCount)
{
    if (inAvail == 0) {
        *outCount = 0;
        return 0;
    }
    uint16_t unit = uint16_t(inText[0]);
    if (isHighSurrogate(unit) && inAvail >= 2 && inText[1] != 0) {
        *outCount = 2;
        return combine(unit, uint16_t(inText[1]));
    }
    *outCount = 1;
    return unit;
}

uint32_t Utf16::encode(wchar_t* outText, uint32_t inCodePoint)
{
    if (inCodePoint > 0xFFFF) {
        outText[0] = wchar_t(highSurrogate(inCodePoint));
        outText[1] = wchar_t(lowSurrogate(inCodePoint));
        return 2;
    }
    outText[0] = wchar_t(inCodePoint);
    return 1;
}

uint32_t utf16ToUtf8(const wchar_t* inText, int32_t inLength, WipedBlock<char>& outBlock)
{
    uint32_t length = sourceLength(inText, inLength);
    uint64_t size = 1;
    walkUtf16(inText, length, [&](uint32_t cp) { size += Utf8::encodedLength(cp); });
    char* out = outBlock.reset(checkedSize(size));
    walkUtf16(inText, length, [&](uint32_t cp) { out += Utf8::encode(out, cp); });
    *out = 0;
    return uint32_t(size);
}

uint32_t utf32ToUtf8(const uint32_t* inText, int32_t inLength, WipedBlock<char>& outBlock)
{
    uint32_t length = sourceLength(inText, inLength);
    uint64_t size = 1;
    for (uint32_t i = 0; i < length && inText[i]; ++i)
        size += Utf8::encodedLength(inText[i]);
    char* out = outBlock.reset(checkedSize(size));
    for (uint32_t i = 0; i < length && inText[i]; ++i)
        out += Utf8::encode(out, inText[i]);
    *out = 0;
    return uint32_t(size);
}

uint32_t utf8ToUtf16(const char* inText, int32_t inLength, WipedBlock<wchar_t>& outBlock)
{
    const uint32_t length = sourceLength(inText, inLength);
    const uint32_t size = checkedSize(utf16Size(inText, length));
    writeUtf16(inText, length, outBlock.reset(size));
    return size;
}

uint32_t utf8ToUtf16(const char* inText, int32_t inLength, wchar_t* outBuffer, uint32_t inCapacity)
{
    const uint32_t length = sourceLength(inText, inLength);
    const uint64_t size = utf16Size(inText, length);
    if (size > inCapacity)
        return 0;
    writeUtf16(inText, length, outBuffer);
    return uint32_t(size);
}

uint32_t utf8ToUtf32(const char* inText, int32_t inLength, WipedBlock<uint32_t>& outBlock)
{
    uint32_t length = sourceLength(inText, inLength);
    uint64_t size = 1;
    walkUtf8(inText, length, [&](uint32_t) { ++size; });
    uint32_t* out = outBlock.reset(checkedSize(size));
    walkUtf8(inText, length, [&](uint32_t cp) { *out++ = cp; });
    *out = 0;
    return uint32_t(size);
}

} // namespace Morvenix
