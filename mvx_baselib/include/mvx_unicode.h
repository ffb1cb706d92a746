// Code-point classification, one-code-point readers and writers of UTF-8, UTF-16 and UTF-32, whole-text
// conversions between them and the ANSI code page. The decoders are lenient (they trust the lead byte or
// unit); validity is a separate test. Every reader is bounded by the length it is given: a sequence that
// the end cuts short is consumed to the end and ends the walk.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Morvenix {

static_assert(sizeof(wchar_t) == 2, "UTF-16 text is held in 16-bit wchar_t, as on Windows");

// Zero-fills memory that held data; the stores are not optimised away before a release.
void secureZero(void* inPtr, size_t inBytes);

// A heap block of T that is zero-filled before it is freed.
template <class T>
class WipedBlock {
public:
    WipedBlock() : m_data(nullptr), m_count(0) {}
    ~WipedBlock() { free(); }
    WipedBlock(const WipedBlock&) = delete;
    WipedBlock& operator=(const WipedBlock&) = delete;

    // Gives up the current block and allocates n elements (uninitialised); throws std::bad_alloc.
    T* reset(uint32_t n)
    {
        free();
        if (n) {
            m_data = new T[n];
            m_count = n;
        }
        return m_data;
    }
    void free()
    {
        wipeAndFree(m_data, m_count);
        m_data = nullptr;
        m_count = 0;
    }
    // Hands the block to the caller, who later frees it with wipeAndFree.
    T* detach()
    {
        T* p = m_data;
        m_data = nullptr;
        m_count = 0;
        return p;
    }
    void swap(WipedBlock& ioOther)
    {
        T* d = m_data;
        uint32_t c = m_count;
        m_data = ioOther.m_data;
        m_count = ioOther.m_count;
        ioOther.m_data = d;
        ioOther.m_count = c;
    }
    static void wipeAndFree(T* inData, uint32_t inCount)
    {
        if (inData) {
            secureZero(inData, size_t(inCount) * sizeof(T));
            delete[] inData;
        }
    }

    T* get() const { return m_data; }
    uint32_t count() const { return m_count; }

private:
    T* m_data;
    uint32_t m_count;
};

bool isNonCharacter(uint32_t inCodePoint);
bool isValidCodePoint(uint32_t inCodePoint);
bool isSurrogate(uint32_t inCodePoint);
bool isWhiteSpace(uint32_t inCodePoint);
bool isLineBreak(uint32_t inCodePoint);
// The code point at inText (at most inEnd - inText bytes read), then the same test.
bool isWhiteSpace(const char* inText, const char* inEnd);
bool isLineBreak(const char* inText, const char* inEnd);

// Decodes the sequence at inText without reading more than inAvail bytes (inAvail 0 gives 0 and a
// length of 0). A sequence cut short by inAvail decodes as if zero bytes followed and takes all inAvail
// bytes.
uint32_t decodeUtf8Char(const char* inText, uint32_t inAvail, uint32_t* outLength);

struct Utf8 {
    // 1 for ASCII and for stray bytes (continuation bytes, 0xFE, 0xFF), else what the lead byte announces.
    static uint32_t sequenceLength(uint8_t inLead);
    // The same, but 0 for bytes that cannot start a sequence (0x80-0xBF, 0xFD-0xFF).
    static uint32_t sequenceLengthStrict(uint8_t inLead);
    static uint32_t encodedLength(uint32_t inCodePoint);
    // Writes 1 to 6 bytes (31-bit form) and returns their count.
    static uint32_t encode(char* outText, uint32_t inCodePoint);
    // The next sequence, never stepping over a NUL.
    static const char* next(const char* inText);
    // Sequences before the NUL.
    static uint32_t countChars(const char* inText);
    // Well-formed, with only valid scalar values, no non-characters and no control characters other
    // than white space; false for an empty text.
    static bool isValid(const char* inText, uint32_t inLength);
};

struct Utf16 {
    static bool isHighSurrogate(uint16_t inUnit) { return (inUnit & 0xFC00) == 0xD800; }
    static uint32_t combine(uint32_t inHigh, uint32_t inLow) { return inHigh * 1024 + inLow - 0x35FDC00; }
    static uint16_t highSurrogate(uint32_t inCodePoint) { return uint16_t((inCodePoint >> 10) + 0xD7C0); }
    static uint16_t lowSurrogate(uint32_t inCodePoint) { return uint16_t((inCodePoint & 0x3FF) | 0xDC00); }
    // A high surrogate takes the following unit with it (not checked for being a low surrogate) unless
    // that unit is beyond inAvail or is zero.
    static uint32_t decode(const wchar_t* inText, uint32_t inAvail, uint32_t* outCount);
    static uint32_t encode(wchar_t* outText, uint32_t inCodePoint);
    static uint32_t sequenceLength(uint16_t inFirst) { return isHighSurrogate(inFirst) ? 2 : 1; }
};

struct Utf32 {
    static uint32_t decode(const uint32_t* inText, uint32_t* outCount)
    {
        *outCount = 1;
        return *inText;
    }
    static uint32_t encode(uint32_t* outText, uint32_t inCodePoint)
    {
        *outText = inCodePoint;
        return 1;
    }
};

// Whole-text conversions. inLength counts source units; a negative value means up to the terminating
// zero, and every walk also stops at a zero unit. The result is written terminated into outBlock, sized
// exactly; the return value is its size in units, terminator included.
uint32_t utf16ToUtf8(const wchar_t* inText, int32_t inLength, WipedBlock<char>& outBlock);
uint32_t utf32ToUtf8(const uint32_t* inText, int32_t inLength, WipedBlock<char>& outBlock);
uint32_t utf8ToUtf16(const char* inText, int32_t inLength, WipedBlock<wchar_t>& outBlock);
// The same into the caller's buffer of inCapacity units, without allocating; 0, with the buffer untouched,
// when the result does not fit.
uint32_t utf8ToUtf16(const char* inText, int32_t inLength, wchar_t* outBuffer, uint32_t inCapacity);
uint32_t utf8ToUtf32(const char* inText, int32_t inLength, WipedBlock<uint32_t>& outBlock);
// Through the current ANSI code page (CP_ACP).
uint32_t ansiToUtf8(const char* inText, int32_t inLength, WipedBlock<char>& outBlock);
// Returns the bytes the code page produced (terminator included); the block is one byte larger and
// ends in a NUL. Characters the code page lacks come out as its default character.
uint32_t utf8ToAnsi(const char* inText, int32_t inLength, WipedBlock<char>& outBlock);
uint32_t utf16ToAnsi(const wchar_t* inText, int32_t inLength, WipedBlock<char>& outBlock);

} // namespace Morvenix
