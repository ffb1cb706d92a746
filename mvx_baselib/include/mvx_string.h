// The text type of the system: UTF-8 in a reference-counted buffer shared by copies and substrings, with
// UTF-16, UTF-32 and ANSI forms made on demand and kept until the content changes.
#pragma once

#include "mvx_referable.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

namespace Morvenix {

class Stream;
template <class T, int kind>
class SimpleArray;

// Maps one code point to another, for String::map.
class CodePointMapper {
public:
    virtual ~CodePointMapper() {}
    virtual uint32_t mapCodePoint(uint32_t inCodePoint) = 0;
};

// The shared byte buffer behind strings; its text is always followed by a NUL.
class ReferableString : public Referable {
public:
    ~ReferableString() override {}
    // Replaces the text; a negative length means up to the NUL, and a null or empty text empties it.
    virtual void assign(const char* inText, int32_t inLength) = 0;
    virtual char* data() = 0;
    virtual int32_t length() = 0;
    virtual bool hasOwnBuffer() = 0;
};

class String {
public:
    // As a length: up to the NUL (or the end); as a result: not found. Every negative length means the same.
    static constexpr uint32_t npos = 0x80000000u;
    // The longest text a string holds; longer results are refused with errInvalidParam.
    static constexpr uint32_t maxLength = 0x7FFFFFF0u;

    String();
    String(std::nullptr_t);
    String(const char* inText, int32_t inLength = int32_t(npos));
    String(const wchar_t* inText, int32_t inLength = int32_t(npos));
    String(const uint32_t* inText, int32_t inLength = int32_t(npos));
    String(const std::string& inText, int32_t inLength = int32_t(npos));
    String(const String& inOther);
    String(const String& inOther, uint32_t inPos, uint32_t inCount);
    ~String();

    static String fromAnsi(const char* inText, int32_t inLength = int32_t(npos));
    static String fromCodePoint(uint32_t inCodePoint);
    static String repeat(const String& inText, uint32_t inCount);
    static String repeat(uint32_t inCodePoint, uint32_t inCount);

    String& operator=(const String& inOther);
    String& operator=(const char* inText);
    String& operator=(const wchar_t* inText);
    String& operator=(const uint32_t* inText);
    String& assignAnsi(const char* inText);
    void clear();
    // A private buffer of n bytes for the caller to fill; the length becomes the bytes before the first
    // NUL among them when it is first asked for.
    char* allocate(uint32_t inCount);

    const char* begin() const;
    const char* end() const;
    uint32_t getLength() const;
    char operator[](uint32_t inIndex) const;
    String substr(uint32_t inPos, uint32_t inCount = npos) const;
    // True when the first byte is NUL or the length is 0.
    bool isEmpty() const;
    const char* c_str() const;
    char* getWritablePtr(uint32_t inIndex = 0);

    int compare(const String& inOther) const;
    int compareNoCase(const String& inOther) const;
    bool operator==(const String& inOther) const { return compare(inOther) == 0; }
    bool operator!=(const String& inOther) const { return compare(inOther) != 0; }
    bool operator<(const String& inOther) const { return compare(inOther) < 0; }
    bool operator<=(const String& inOther) const { return compare(inOther) <= 0; }
    bool operator>(const String& inOther) const { return compare(inOther) > 0; }
    bool operator>=(const String& inOther) const { return compare(inOther) >= 0; }

    String& operator+=(const String& inOther);

    // Code-point positions. Code points are stepped by the length their lead byte announces, never past
    // the end; a NUL lead byte ends the count.
    uint32_t getCharCount() const;
    // Byte offset of code point n (the end when the string holds exactly n); npos when it holds fewer.
    uint32_t charToByteOffset(uint32_t inIndex) const;
    const char* charToPtr(uint32_t inIndex) const;

    // Byte search; results are byte indices, npos when absent. An empty pattern is found at the start.
    const char* findPtr(const String& inPattern) const;
    uint32_t find(const String& inPattern) const;
    bool startsWith(const String& inPrefix) const;
    bool endsWith(const String& inSuffix) const;
    // Code-point search.
    uint32_t findChar(uint32_t inCodePoint) const;
    uint32_t findChar(uint32_t inCodePoint, uint32_t inFrom) const;
    uint32_t rfind(uint32_t inCodePoint) const;
    // The first code point that belongs to the set (decoded up to its first NUL); the scan of this string
    // stops at its first NUL.
    uint32_t findFirstOf(const String& inSet) const;
    // The same from byte index inFrom up to the string's end.
    uint32_t findFirstOf(const String& inSet, uint32_t inFrom) const;
    uint32_t findFirstOf(const uint32_t* inSet, uint32_t inCount) const;

    // substr with position and count in code points (npos: to the end).
    String substrChars(uint32_t inPos, uint32_t inCount = npos) const;
    // ASCII letters only; every other byte stays.
    String toUpper() const;
    String toLower() const;
    String trimLeft() const;
    String trimRight() const;
    String trim() const;
    String trimTrailingLineBreaks() const;

    // strtol with base 10 and atof of the runtime.
    int32_t toInt() const;
    double toDouble() const;
    // Leading decimal digits only (no sign, no white space), wrapping; 0 when there are none.
    uint32_t toUInt() const;
    uint64_t toUInt64() const;

    // Every occurrence of the pattern, left to right without overlap, replaced; the replacement is not
    // searched again. An empty pattern is errInvalidParam; a result longer than maxLength too.
    String replace(const String& inPattern, const String& inReplacement) const;
    String removeAll(const String& inPattern) const;
    // Without any UTF-8 byte-order mark, wherever it stands.
    String removeBOM() const;
    // Without the bytes [pos, pos + count).
    String erase(uint32_t inPos, uint32_t inCount) const;
    // The elements with the separator between each two (empty elements keep their separators).
    static String join(const SimpleArray<String, 1>& inParts, const String& inSeparator);
    // Each code point replaced by the mapper's result; a result of 0 ends the text.
    String map(CodePointMapper& inMapper) const;

    // The text with every character reference (&name; of HTML 4.01, &#decimal; or &#xhex;) replaced by its
    // character, scanned up to the first NUL. A reference that is unclosed, empty, unknown, or names no
    // character (U+0000, a surrogate, above U+10FFFF) throws errDataBroken.
    String resolveEntityReferences() const;
    // The pieces between the matches of the regular expression (mvx_regex.h); false, with no pieces, when
    // it does not occur. With skipEmpty the empty pieces are left out.
    bool split(const String& inPattern, SimpleArray<String, 1>& outParts, bool inSkipEmpty) const;
    // The whole first match and each capture group of the regular expression; false, with the array
    // unchanged, when it does not occur.
    bool matchGroups(const String& inPattern, SimpleArray<String, 1>& outGroups) const;

    const wchar_t* wc_str() const;
    const uint32_t* utf32_str() const;
    const char* ansi_str() const;

    // Length as four bytes (stored order for the tag 4321, reversed for any other), then the bytes. A
    // stream that ends early fails the read with its own error, or errEOF when it answers short.
    void write(Stream* inStream, int32_t inByteOrder) const;
    uint32_t read(Stream* inStream, int32_t inByteOrder);
    static void writeUInt32(Stream* inStream, uint32_t inValue, int32_t inByteOrder);
    static uint32_t readUInt32(Stream* inStream, int32_t inByteOrder);

    // printf-style formatting through the library's own engine.
    static String format(const char* inFormat, ...);
    static String vformat(const char* inFormat, va_list inArgs);
    // The formatted text is taken as ANSI code-page text; a null format gives the empty string.
    static String formatAnsi(const char* inFormat, ...);
    static String vformatAnsi(const char* inFormat, va_list inArgs);
    // UTF-16 format; a null format gives the empty string.
    static String formatWide(const wchar_t* inFormat, ...);
    static String vformatWide(const wchar_t* inFormat, va_list inArgs);
    void assignFormat(const char* inFormat, ...);
    void assignFormatAnsi(const char* inFormat, ...);
    void assignFormatWide(const wchar_t* inFormat, ...);

private:
    void resolveLength() const;
    void dropForms();
    void setBuffer(ReferableString* inBuffer, uint32_t inOffset, int32_t inLength);
    void takeUtf8(const char* inText, uint32_t inSize);

    mutable AutoPtr<ReferableString> m_buffer;
    mutable uint32_t m_offset;
    mutable int32_t m_length;
    mutable wchar_t* m_utf16;
    mutable uint32_t m_utf16Count;
    mutable uint32_t* m_utf32;
    mutable uint32_t m_utf32Count;
    mutable char* m_ansi;
    mutable uint32_t m_ansiSize;
};

// A new string; an operand whose first byte is NUL adds nothing, and an embedded NUL ends the result.
String operator+(const String& inLeft, const String& inRight);

} // namespace Morvenix
