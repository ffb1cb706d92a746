// Morvenix::String: construction, copy-before-write, comparison, the cached UTF-16, UTF-32 and ANSI forms
// and the stream form. The buffer class is private to this file.
#define MVX_SOURCE "mvx_string"
#include "mvx_string.h"

#include "mvx_exception.h"
#include "mvx_format.h"
#include "mvx_stream.h"
#include "mvx_string_internal.h"
#include "mvx_unicode.h"

#include <cstring>
#include <new>
#include <utility>

namespace _Mvx_Internal_NS_ {

using Morvenix::secureZero;

class ReferableUtf8StringImpl : public Morvenix::ReferableString {
public:
    ReferableUtf8StringImpl() : m_bytes(s_emptyText), m_capacity(0), m_length(0) {}
    ~ReferableUtf8StringImpl() override { freeBlock(); }

    // Six zero bytes follow the text, so a sequence that the end cuts short reads zeros inside the block.
    void assign(const char* inText, int32_t inLength) override
    {
        if (!inText || inLength == 0 || inText[0] == 0) {
            freeBlock();
            return;
        }
        size_t length = inLength < 0 ? std::strlen(inText) : size_t(inLength);
        if (length > Morvenix::String::maxLength)
            MVX_THROW(Morvenix::errInvalidParam, "The text exceeds the largest string length!",
                      "_Mvx_Internal_NS_::ReferableUtf8StringImpl::assign");
        uint32_t needed = uint32_t(length) + 6;
        if (m_capacity < needed) {
            // The new block is filled before the old one goes: the text may lie in it.
            char* block = new char[needed];
            std::memcpy(block, inText, length);
            freeBlock();
            m_bytes = block;
            m_capacity = needed;
        } else {
            std::memmove(m_bytes, inText, length);
        }
        std::memset(m_bytes + length, 0, 6);
        m_length = int32_t(length);
    }

    char* data() override { return m_bytes; }

    int32_t length() override
    {
        if (m_length == kUncounted) {
            uint32_t n = 0;
            while (n + 1 < m_capacity && m_bytes[n])
                ++n;
            m_length = int32_t(n);
        }
        return m_length;
    }

    bool hasOwnBuffer() override { return m_bytes != s_emptyText; }

    // A block of n + 1 bytes with its first and last byte NUL, for the caller to fill; its length is
    // counted when first asked for.
    char* allocate(uint32_t inCount)
    {
        char* block = new char[size_t(inCount) + 1];
        block[0] = 0;
        block[inCount] = 0;
        freeBlock();
        m_bytes = block;
        m_capacity = inCount + 1;
        m_length = kUncounted;
        return block;
    }

private:
    static const int32_t kUncounted = int32_t(0x80000000u);

    void freeBlock()
    {
        if (hasOwnBuffer()) {
            secureZero(m_bytes, m_capacity);
            delete[] m_bytes;
        }
        m_bytes = s_emptyText;
        m_capacity = 0;
        m_length = 0;
    }

    static char s_emptyText[1];
    char* m_bytes;
    uint32_t m_capacity;
    int32_t m_length;
};

char ReferableUtf8StringImpl::s_emptyText[1] = {0};

namespace {

// Made on first use and kept to the end of the process; strings that outlive the holder keep it alive
// through their own references.
Morvenix::ReferableString* sharedEmptyBuffer()
{
    static Morvenix::AutoPtr<Morvenix::ReferableString> s_empty(new ReferableUtf8StringImpl);
    return s_empty.get();
}

} // namespace

uint32_t checkedLength(uint64_t inLength, const char* inFunction)
{
    if (inLength > Morvenix::String::maxLength)
        MVX_THROW(Morvenix::errInvalidParam, "The result exceeds the largest string length!", inFunction);
    return uint32_t(inLength);
}

} // namespace _Mvx_Internal_NS_

namespace Morvenix {

using _Mvx_Internal_NS_::ReferableUtf8StringImpl;
using _Mvx_Internal_NS_::checkedLength;
using _Mvx_Internal_NS_::sharedEmptyBuffer;

String::String()
    : m_buffer(sharedEmptyBuffer()), m_offset(0), m_length(0), m_utf16(nullptr), m_utf16Count(0),
      m_utf32(nullptr), m_utf32Count(0), m_ansi(nullptr), m_ansiSize(0)
{
}

String::String(std::nullptr_t) : String()
{
}

String::String(const char* inText, int32_t inLength) : String()
{
    if (!inText || inLength == 0 || inText[0] == 0)
        return;
    AutoPtr<ReferableString> buffer(new ReferableUtf8StringImpl);
    buffer->assign(inText, inLength);
    setBuffer(buffer.get(), 0, buffer->length());
}

String::String(const wchar_t* inText, int32_t inLength) : String()
{
    if (!inText || inLength == 0)
        return;
    WipedBlock<char> utf8;
    uint32_t size;
    if (inText[0] == wchar_t(0xFEFF)) {
        debugTrace("BOM found (native), skip BOM.\n");
        size = utf16ToUtf8(inText + 1, inLength < 0 ? inLength : inLength - 1, utf8);
    } else if (inText[0] == wchar_t(0xFFFE)) {
        uint32_t units = 0;
        while ((inLength < 0 || int64_t(units) + 1 < inLength) && inText[units + 1])
            ++units;
        WipedBlock<wchar_t> swapped;
        wchar_t* w = swapped.reset(units + 1);
        for (uint32_t i = 0; i < units; ++i) {
            uint16_t u = uint16_t(inText[i + 1]);
            w[i] = wchar_t(uint16_t((u >> 8) | (u << 8)));
        }
        w[units] = 0;
        debugTrace("BOM found (non-native), swap endian.\n");
        size = utf16ToUtf8(w, int32_t(units), utf8);
    } else {
        size = utf16ToUtf8(inText, inLength, utf8);
    }
    takeUtf8(utf8.get(), size);
}

String::String(const uint32_t* inText, int32_t inLength) : String()
{
    if (!inText || inLength == 0)
        return;
    WipedBlock<char> utf8;
    uint32_t size = utf32ToUtf8(inText, inLength, utf8);
    takeUtf8(utf8.get(), size);
}

String::String(const std::string& inText, int32_t inLength) : String()
{
    if (inLength < 0) {
        *this = String(inText.c_str(), inLength);
        return;
    }
    size_t n = size_t(inLength) < inText.size() ? size_t(inLength) : inText.size();
    *this = String(inText.data(), int32_t(n));
}

String::String(const String& inOther)
    : m_buffer(inOther.m_buffer), m_offset(inOther.m_offset), m_length(inOther.m_length), m_utf16(nullptr),
      m_utf16Count(0), m_utf32(nullptr), m_utf32Count(0), m_ansi(nullptr), m_ansiSize(0)
{
}

String::String(const String& inOther, uint32_t inPos, uint32_t inCount) : String()
{
    uint32_t length = inOther.getLength();
    if (inCount == 0 || inPos >= length)
        return;
    uint32_t available = length - inPos;
    uint32_t count = inCount >= npos || inCount > available ? available : inCount;
    setBuffer(inOther.m_buffer.get(), inOther.m_offset + inPos, int32_t(count));
}

String::~String()
{
    dropForms();
}

void String::takeUtf8(const char* inText, uint32_t inSize)
{
    if (inSize > 1)
        *this = String(inText, int32_t(inSize - 1));
}

void String::setBuffer(ReferableString* inBuffer, uint32_t inOffset, int32_t inLength)
{
    m_buffer = inBuffer;
    m_offset = inOffset;
    m_length = inLength;
}

void String::dropForms()
{
    WipedBlock<wchar_t>::wipeAndFree(m_utf16, m_utf16Count);
    WipedBlock<uint32_t>::wipeAndFree(m_utf32, m_utf32Count);
    WipedBlock<char>::wipeAndFree(m_ansi, m_ansiSize);
    m_utf16 = nullptr;
    m_utf32 = nullptr;
    m_ansi = nullptr;
    m_utf16Count = m_utf32Count = m_ansiSize = 0;
}

String String::fromAnsi(const char* inText, int32_t inLength)
{
    String result;
    if (!inText || inLength == 0)
        return result;
    WipedBlock<char> utf8;
    uint32_t size = ansiToUtf8(inText, inLength, utf8);
    result.takeUtf8(utf8.get(), size);
    return result;
}

String String::fromCodePoint(uint32_t inCodePoint)
{
    String result;
    char* p = result.allocate(Utf8::encodedLength(inCodePoint));
    Utf8::encode(p, inCodePoint);
    return result;
}

String String::repeat(const String& inText, uint32_t inCount)
{
    uint32_t length = inText.getLength();
    String result;
    if (inCount == 0 || length == 0)
        return result;
    uint32_t total = checkedLength(uint64_t(length) * inCount, "Morvenix::String::repeat");
    char* p = result.allocate(total);
    for (uint32_t i = 0; i < inCount; ++i)
        std::memcpy(p + size_t(i) * length, inText.begin(), length);
    return result;
}

String String::repeat(uint32_t inCodePoint, uint32_t inCount)
{
    char encoded[6];
    uint32_t length = Utf8::encode(encoded, inCodePoint);
    String result;
    if (inCount == 0)
        return result;
    uint32_t total = checkedLength(uint64_t(length) * inCount, "Morvenix::String::repeat");
    char* p = result.allocate(total);
    for (uint32_t i = 0; i < inCount; ++i)
        std::memcpy(p + size_t(i) * length, encoded, length);
    return result;
}

String& String::operator=(const String& inOther)
{
    if (this != &inOther) {
        setBuffer(inOther.m_buffer.get(), inOther.m_offset, inOther.m_length);
        dropForms();
    }
    return *this;
}

String& String::operator=(const char* inText)
{
    return *this = String(inText);
}

String& String::operator=(const wchar_t* inText)
{
    return *this = String(inText);
}

String& String::operator=(const uint32_t* inText)
{
    return *this = String(inText);
}

String& String::assignAnsi(const char* inText)
{
    return *this = fromAnsi(inText);
}

void String::clear()
{
    setBuffer(sharedEmptyBuffer(), 0, 0);
    dropForms();
}

char* String::allocate(uint32_t inCount)
{
    checkedLength(inCount, "Morvenix::String::allocate");
    ReferableUtf8StringImpl* impl = new ReferableUtf8StringImpl;
    AutoPtr<ReferableString> buffer(impl);
    char* p = impl->allocate(inCount);
    setBuffer(impl, 0, -int32_t(inCount));
    dropForms();
    return p;
}

void String::resolveLength() const
{
    if (m_length >= 0)
        return;
    uint32_t limit = uint32_t(-int64_t(m_length));
    const char* p = m_buffer->data() + m_offset;
    uint32_t n = 0;
    while (n < limit && p[n])
        ++n;
    m_length = int32_t(n);
}

const char* String::begin() const
{
    return m_buffer->data() + m_offset;
}

const char* String::end() const
{
    return begin() + getLength();
}

uint32_t String::getLength() const
{
    resolveLength();
    return uint32_t(m_length);
}

char String::operator[](uint32_t inIndex) const
{
    return inIndex < getLength() ? begin()[inIndex] : 0;
}

String String::substr(uint32_t inPos, uint32_t inCount) const
{
    return String(*this, inPos, inCount);
}

bool String::isEmpty() const
{
    return getLength() == 0 || begin()[0] == 0;
}

const char* String::c_str() const
{
    uint32_t length = getLength();
    const char* p = begin();
    if (p[length] == 0)
        return p;
    ReferableUtf8StringImpl* impl = new ReferableUtf8StringImpl;
    AutoPtr<ReferableString> buffer(impl);
    char* copy = impl->allocate(length);
    std::memcpy(copy, p, length);
    m_buffer = buffer;
    m_offset = 0;
    m_length = int32_t(length);
    return copy;
}

char* String::getWritablePtr(uint32_t inIndex)
{
    uint32_t length = getLength();
    char* p = m_buffer->data() + m_offset;
    // The count seen through addRef includes the probe's own reference.
    bool sole = m_buffer->hasOwnBuffer() && m_buffer->addRef() == 2;
    if (m_buffer->hasOwnBuffer())
        m_buffer->release();
    if (!sole || p[length] != 0) {
        ReferableUtf8StringImpl* impl = new ReferableUtf8StringImpl;
        AutoPtr<ReferableString> buffer(impl);
        char* copy = impl->allocate(length);
        std::memcpy(copy, p, length);
        setBuffer(impl, 0, int32_t(length));
        p = copy;
    }
    dropForms();
    return p + inIndex;
}

int String::compare(const String& inOther) const
{
    uint32_t a = getLength(), b = inOther.getLength();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(begin());
    const unsigned char* q = reinterpret_cast<const unsigned char*>(inOther.begin());
    uint32_t n = a < b ? a : b;
    for (uint32_t i = 0; i < n; ++i) {
        if (p[i] != q[i])
            return int(p[i]) - int(q[i]);
        if (p[i] == 0)
            return 0;
    }
    return a == b ? 0 : (a < b ? -1 : 1);
}

int String::compareNoCase(const String& inOther) const
{
    uint32_t a = getLength(), b = inOther.getLength();
    const char* p = begin();
    const char* q = inOther.begin();
    uint32_t n = a < b ? a : b;
    for (uint32_t i = 0; i < n; ++i) {
        signed char x = static_cast<signed char>(p[i] >= 'A' && p[i] <= 'Z' ? p[i] + 32 : p[i]);
        signed char y = static_cast<signed char>(q[i] >= 'A' && q[i] <= 'Z' ? q[i] + 32 : q[i]);
        if (x != y)
            return int(x) - int(y);
        if (x == 0)
            return 0;
    }
    return a == b ? 0 : (a < b ? -1 : 1);
}

String& String::operator+=(const String& inOther)
{
    return *this = *this + inOther;
}

String operator+(const String& inLeft, const String& inRight)
{
    if (inRight.isEmpty())
        return inLeft;
    if (inLeft.isEmpty())
        return inRight;
    uint32_t a = inLeft.getLength(), b = inRight.getLength();
    uint32_t total = checkedLength(uint64_t(a) + b, "Morvenix::operator+");
    String result;
    char* p = result.allocate(total);
    std::memcpy(p, inLeft.begin(), a);
    std::memcpy(p + a, inRight.begin(), b);
    return result;
}

const wchar_t* String::wc_str() const
{
    if (isEmpty())
        return L"";
    if (!m_utf16) {
        WipedBlock<wchar_t> block;
        utf8ToUtf16(begin(), int32_t(getLength()), block);
        m_utf16Count = block.count();
        m_utf16 = block.detach();
    }
    return m_utf16;
}

const uint32_t* String::utf32_str() const
{
    static const uint32_t s_zero = 0;
    if (isEmpty())
        return &s_zero;
    if (!m_utf32) {
        WipedBlock<uint32_t> block;
        utf8ToUtf32(begin(), int32_t(getLength()), block);
        m_utf32Count = block.count();
        m_utf32 = block.detach();
    }
    return m_utf32;
}

const char* String::ansi_str() const
{
    if (isEmpty())
        return "";
    if (!m_ansi) {
        WipedBlock<char> block;
        utf8ToAnsi(begin(), int32_t(getLength()), block);
        m_ansiSize = block.count();
        m_ansi = block.detach();
    }
    return m_ansi;
}

void String::writeUInt32(Stream* inStream, uint32_t inValue, int32_t inByteOrder)
{
    unsigned char bytes[4];
    std::memcpy(bytes, &inValue, 4);
    if (inByteOrder != 4321) {
        std::swap(bytes[0], bytes[3]);
        std::swap(bytes[1], bytes[2]);
    }
    inStream->writeBytes(bytes, 4);
}

uint32_t String::readUInt32(Stream* inStream, int32_t inByteOrder)
{
    unsigned char bytes[4];
    readExactly(*inStream, bytes, 4, "Morvenix::String::readUInt32");
    if (inByteOrder != 4321) {
        std::swap(bytes[0], bytes[3]);
        std::swap(bytes[1], bytes[2]);
    }
    uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

void String::write(Stream* inStream, int32_t inByteOrder) const
{
    uint32_t length = getLength();
    writeUInt32(inStream, length, inByteOrder);
    if (length)
        inStream->writeBytes(begin(), length);
}

uint32_t String::read(Stream* inStream, int32_t inByteOrder)
{
    uint32_t length = readUInt32(inStream, inByteOrder);
    if (length > maxLength)
        MVX_THROW(errDataBroken, "The stored string length is too large!", "Morvenix::String::read");
    // A stored length is untrusted: beyond the first megabyte the text is read in growing pieces, so
    // that a short stream fails before a block of the claimed size is made.
    const uint32_t kDirect = 1u << 20;
    if (length <= kDirect) {
        char* p = allocate(length);
        if (length)
            readExactly(*inStream, p, length, "Morvenix::String::read");
        return length;
    }
    WipedBlock<char> gathered;
    uint32_t have = 0;
    uint32_t capacity = kDirect;
    gathered.reset(capacity);
    while (have < length) {
        if (have == capacity) {
            uint32_t grown = capacity > length - capacity ? length : capacity * 2;
            WipedBlock<char> bigger;
            bigger.reset(grown);
            std::memcpy(bigger.get(), gathered.get(), have);
            gathered.swap(bigger);
            capacity = grown;
        }
        const uint32_t piece = capacity - have < length - have ? capacity - have : length - have;
        readExactly(*inStream, gathered.get() + have, piece, "Morvenix::String::read");
        have += piece;
    }
    char* p = allocate(length);
    std::memcpy(p, gathered.get(), length);
    return length;
}

} // namespace Morvenix
