// The formatting engine: one template for 8-bit and 16-bit characters, the heap-buffer sink behind
// formatAlloc, and the small text helpers built on them.
#define MVX_SOURCE "mvx_format"
#include "mvx_format.h"

#include "mvx_unicode.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace _Mvx_Internal_NS_ {
namespace {

using namespace Morvenix;

const int kMaxWidth = 990;
const int kMaxPrecision = 960;
// Each conversion is built here; the width and precision limits keep every field inside it.
const int kWorkSize = 1000;

enum Kind { kInteger, kString, kOwnedString, kQuoted, kQuotedWithQuotes, kChar, kFixed, kExponential,
            kGeneral, kCount, kPercent };

struct Conversion {
    char ch;
    Kind kind;
    int base;
    bool isSigned;
    const char* digits; // digit set, or the exponent letter for floating point
    const char* altPrefix;
};

const Conversion kConversions[] = {
    {'d', kInteger, 10, true, "0123456789", nullptr},
    {'s', kString, 0, false, nullptr, nullptr},
    {'z', kOwnedString, 0, false, nullptr, nullptr},
    {'q', kQuoted, 0, false, nullptr, nullptr},
    {'Q', kQuotedWithQuotes, 0, false, nullptr, nullptr},
    {'c', kChar, 0, false, nullptr, nullptr},
    {'o', kInteger, 8, false, "01234567", "0"},
    {'u', kInteger, 10, false, "0123456789", nullptr},
    {'x', kInteger, 16, false, "0123456789abcdef", "0x"},
    {'X', kInteger, 16, false, "0123456789ABCDEF", "0X"},
    {'f', kFixed, 0, true, nullptr, nullptr},
    {'e', kExponential, 0, true, "e", nullptr},
    {'E', kExponential, 0, true, "E", nullptr},
    {'g', kGeneral, 0, true, "e", nullptr},
    {'G', kGeneral, 0, true, "E", nullptr},
    {'i', kInteger, 10, true, "0123456789", nullptr},
    {'n', kCount, 0, false, nullptr, nullptr},
    {'%', kPercent, 0, false, nullptr, nullptr},
    {'p', kInteger, 10, false, "0123456789", nullptr},
};

template <class CharT>
const Conversion* findConversion(CharT ch, int flags)
{
    if (ch <= 0 || ch >= 128)
        return nullptr;
    for (const Conversion& c : kConversions) {
        if (c.ch == char(ch))
            return (c.kind == kOwnedString && !(flags & formatExtended)) ? nullptr : &c;
    }
    return nullptr;
}

template <class CharT>
size_t textLength(const CharT* p, size_t limit)
{
    size_t n = 0;
    while (n < limit && p[n])
        ++n;
    return n;
}

// A field under construction in the work buffer.
template <class CharT>
class Field {
public:
    Field() : m_len(0) {}
    void put(CharT c)
    {
        if (m_len < sizeof(m_buf) / sizeof(CharT))
            m_buf[m_len++] = c;
    }
    void putAscii(const char* s)
    {
        while (*s)
            put(CharT(*s++));
    }
    void insert(size_t pos, CharT c, size_t n)
    {
        size_t room = sizeof(m_buf) / sizeof(CharT) - m_len;
        if (n > room)
            n = room;
        std::memmove(m_buf + pos + n, m_buf + pos, (m_len - pos) * sizeof(CharT));
        for (size_t i = 0; i < n; ++i)
            m_buf[pos + i] = c;
        m_len += n;
    }
    void truncate(size_t n) { m_len = n; }
    size_t length() const { return m_len; }
    CharT at(size_t i) const { return m_buf[i]; }
    const CharT* data() const { return m_buf; }

private:
    CharT m_buf[kWorkSize + 24];
    size_t m_len;
};

// Digits of a normalised value in [1, 10): the integer part, then the rest times ten; only the first 16
// digits carry information.
class DigitSource {
public:
    explicit DigitSource(double v) : m_value(v), m_produced(0) {}
    char next()
    {
        if (m_produced >= 16)
            return '0';
        ++m_produced;
        int d = int(m_value);
        if (d < 0)
            d = 0;
        else if (d > 9)
            d = 9;
        m_value = (m_value - d) * 10.0;
        return char('0' + d);
    }

private:
    double m_value;
    int m_produced;
};

template <class CharT>
class Engine {
public:
    typedef void (*Output)(void*, const CharT*, uint32_t);

    Engine(Output inOutput, void* inContext, int inFlags) : m_output(inOutput), m_context(inContext),
        m_flags(inFlags), m_count(0) {}

    int run(const CharT* f, va_list inArgs)
    {
        va_copy(m_args, inArgs);
        int result = runLoop(f);
        va_end(m_args);
        if (result < 0)
            return -1;
        return m_count > size_t(INT_MAX) ? INT_MAX : int(m_count);
    }

private:
    struct Spec {
        bool left = false, plus = false, blank = false, alt = false, zero = false;
        int width = 0;
        bool hasPrecision = false;
        int precision = 0;
        int longs = 0;
    };

    int runLoop(const CharT* f)
    {
        for (;;) {
            const CharT* start = f;
            while (*f && *f != CharT('%'))
                ++f;
            put(start, size_t(f - start));
            if (!*f)
                return 0;
            ++f;
            if (!*f) {
                putAscii("%");
                return -1;
            }
            Spec spec;
            for (;; ++f) {
                if (*f == CharT('-'))
                    spec.left = true;
                else if (*f == CharT('+'))
                    spec.plus = true;
                else if (*f == CharT(' '))
                    spec.blank = true;
                else if (*f == CharT('#'))
                    spec.alt = true;
                else if (*f == CharT('0'))
                    spec.zero = true;
                else
                    break;
            }
            if (*f == CharT('*')) {
                long long w = va_arg(m_args, int);
                if (w < 0) {
                    spec.left = true;
                    w = -w;
                }
                spec.width = w > kMaxWidth ? kMaxWidth : int(w);
                ++f;
            } else {
                spec.width = readNumber(f, kMaxWidth);
            }
            if (*f == CharT('.')) {
                ++f;
                spec.hasPrecision = true;
                if (*f == CharT('*')) {
                    long long p = va_arg(m_args, int);
                    if (p < 0)
                        p = -p;
                    spec.precision = p > kMaxPrecision ? kMaxPrecision : int(p);
                    ++f;
                } else {
                    spec.precision = readNumber(f, kMaxPrecision);
                }
            }
            if (*f == CharT('l')) {
                ++f;
                spec.longs = 1;
                if (*f == CharT('l')) {
                    ++f;
                    spec.longs = 2;
                }
            }
            CharT ch = *f;
            if (!ch) {
                // Flags, width or precision ended the format.
                putAscii("%");
                return 0;
            }
            ++f;
            const Conversion* conv = findConversion(ch, m_flags);
            if (!conv) {
                putAscii("%");
                put(&ch, 1);
                continue;
            }
            if (!convert(*conv, spec))
                return -1;
        }
    }

    // Decimal digits, saturating at the limit.
    static int readNumber(const CharT*& f, int limit)
    {
        int n = 0;
        while (*f >= CharT('0') && *f <= CharT('9')) {
            n = n * 10 + int(*f - CharT('0'));
            if (n > limit)
                n = limit;
            ++f;
        }
        return n;
    }

    bool convert(const Conversion& conv, const Spec& spec)
    {
        switch (conv.kind) {
        case kInteger:
            integer(conv, spec);
            return true;
        case kFixed:
        case kExponential:
        case kGeneral:
            floating(conv, spec);
            return true;
        case kString:
            return string(spec, false);
        case kOwnedString:
            return string(spec, true);
        case kQuoted:
        case kQuotedWithQuotes:
            return quoted(spec, conv.kind == kQuotedWithQuotes);
        case kChar: {
            int v = va_arg(m_args, int);
            CharT c = sizeof(CharT) == 1 ? CharT(v & 0xFF) : CharT(v & 0xFFFF);
            size_t n = spec.hasPrecision ? size_t(spec.precision) : 1;
            Field<CharT> field;
            for (size_t i = 0; i < n; ++i)
                field.put(c);
            emitPadded(field.data(), field.length(), spec);
            return true;
        }
        case kCount: {
            int* p = va_arg(m_args, int*);
            if (p)
                *p = m_count > size_t(INT_MAX) ? INT_MAX : int(m_count);
            return true;
        }
        case kPercent: {
            CharT c = CharT('%');
            emitPadded(&c, 1, spec);
            return true;
        }
        }
        return true;
    }

    void integer(const Conversion& conv, const Spec& spec)
    {
        uint64_t magnitude;
        bool negative = false;
        if (conv.ch == 'p') {
            magnitude = uint64_t(uintptr_t(va_arg(m_args, void*)));
        } else if (spec.longs == 2) {
            if (conv.isSigned) {
                long long v = va_arg(m_args, long long);
                negative = v < 0;
                magnitude = negative ? 0 - uint64_t(v) : uint64_t(v);
            } else {
                magnitude = va_arg(m_args, unsigned long long);
            }
        } else if (conv.isSigned) {
            int v = va_arg(m_args, int);
            negative = v < 0;
            magnitude = negative ? 0 - uint64_t(int64_t(v)) : uint64_t(v);
        } else {
            magnitude = va_arg(m_args, unsigned int);
        }

        char sign = 0;
        if (negative)
            sign = '-';
        else if (conv.isSigned && spec.plus)
            sign = '+';
        else if (conv.isSigned && spec.blank)
            sign = ' ';
        bool alt = spec.alt && magnitude != 0 && conv.altPrefix;

        int precision = spec.hasPrecision ? spec.precision : 0;
        if (spec.zero) {
            int fill = spec.width - (sign ? 1 : 0);
            if (fill > precision)
                precision = fill;
        }

        char digits[72];
        int n = 0;
        do {
            digits[n++] = conv.digits[magnitude % unsigned(conv.base)];
            magnitude /= unsigned(conv.base);
        } while (magnitude);

        Field<CharT> field;
        if (sign)
            field.put(CharT(sign));
        size_t bodyStart = field.length();
        for (int i = n; i < precision; ++i)
            field.put(CharT('0'));
        while (n)
            field.put(CharT(digits[--n]));
        if (alt) {
            // An octal number that already starts with its prefix gets no second one.
            size_t plen = std::strlen(conv.altPrefix);
            bool has = field.length() - bodyStart >= plen;
            for (size_t i = 0; has && i < plen; ++i)
                has = field.at(bodyStart + i) == CharT(conv.altPrefix[i]);
            if (!has) {
                for (size_t i = plen; i-- > 0;)
                    field.insert(bodyStart, CharT(conv.altPrefix[i]), 1);
            }
        }
        emitPadded(field.data(), field.length(), spec);
    }

    void floating(const Conversion& conv, const Spec& spec)
    {
        double v = va_arg(m_args, double);
        int precision = spec.hasPrecision ? spec.precision : 6;
        Field<CharT> field;
        char sign = 0;
        if (v < 0) {
            v = -v;
            sign = '-';
        } else if (spec.plus) {
            sign = '+';
        } else if (spec.blank) {
            sign = ' ';
        }
        if (std::isnan(v)) {
            field.putAscii("NaN");
            emitPadded(field.data(), field.length(), spec);
            return;
        }
        bool general = conv.kind == kGeneral;
        if (general && precision > 0)
            --precision;
        double rounding = 0.5;
        for (int i = 0; i < precision; ++i)
            rounding *= 0.1;
        if (conv.kind == kFixed)
            v += rounding;
        int exponent = 0;
        if (v > 0) {
            while (v >= 1e8 && exponent <= 350) {
                v *= 1e-8;
                exponent += 8;
            }
            while (v >= 10 && exponent <= 350) {
                v *= 0.1;
                exponent += 1;
            }
            while (v < 1e-8 && exponent >= -350) {
                v *= 1e8;
                exponent -= 8;
            }
            while (v < 1 && exponent >= -350) {
                v *= 10;
                exponent -= 1;
            }
            if (exponent > 350 || exponent < -350) {
                field.putAscii("NaN");
                emitPadded(field.data(), field.length(), spec);
                return;
            }
        }
        if (conv.kind != kFixed) {
            v += rounding;
            if (v >= 10) {
                v *= 0.1;
                ++exponent;
            }
        }
        bool exponential = conv.kind == kExponential;
        bool stripZeros = false;
        if (general) {
            stripZeros = !spec.alt;
            if (exponent < -4 || exponent > precision)
                exponential = true;
            else
                precision -= exponent;
        }
        if (!exponential && exponent + precision >= 970)
            exponential = true;

        if (sign)
            field.put(CharT(sign));
        size_t signLength = field.length();
        DigitSource digits(v);
        bool point = precision > 0 || spec.alt;
        if (!exponential) {
            if (exponent < 0)
                field.put(CharT('0'));
            else
                for (int i = 0; i <= exponent; ++i)
                    field.put(CharT(digits.next()));
            if (point)
                field.put(CharT('.'));
            int lead = 0;
            if (exponent < 0) {
                lead = -exponent - 1;
                if (lead > precision)
                    lead = precision;
                for (int i = 0; i < lead; ++i)
                    field.put(CharT('0'));
            }
            for (int i = lead; i < precision; ++i)
                field.put(CharT(digits.next()));
            if (stripZeros && point)
                stripTrailingZeros(field);
        } else {
            field.put(CharT(digits.next()));
            if (point)
                field.put(CharT('.'));
            for (int i = 0; i < precision; ++i)
                field.put(CharT(digits.next()));
            if (stripZeros && point)
                stripTrailingZeros(field);
            if (exponent != 0 || conv.kind == kExponential) {
                // %f falls back to this form for the largest values, with the lower-case letter.
                field.put(CharT(conv.digits ? conv.digits[0] : 'e'));
                int magnitude = exponent < 0 ? -exponent : exponent;
                field.put(CharT(exponent < 0 ? '-' : '+'));
                if (magnitude >= 100)
                    field.put(CharT('0' + magnitude / 100));
                field.put(CharT('0' + magnitude / 10 % 10));
                field.put(CharT('0' + magnitude % 10));
            }
        }
        if (spec.zero && !spec.left && field.length() < size_t(spec.width))
            field.insert(signLength, CharT('0'), size_t(spec.width) - field.length());
        emitPadded(field.data(), field.length(), spec);
    }

    static void stripTrailingZeros(Field<CharT>& field)
    {
        size_t n = field.length();
        while (n > 0 && field.at(n - 1) == CharT('0'))
            --n;
        if (n > 0 && field.at(n - 1) == CharT('.'))
            --n;
        field.truncate(n);
    }

    // A non-zero width is the exact number of characters taken; otherwise the precision cuts the text.
    bool string(const Spec& spec, bool owned)
    {
        const CharT* text;
        WipedBlock<CharT> converted;
        if (sizeof(CharT) == 1 && spec.longs > 0 && !owned) {
            const wchar_t* wide = va_arg(m_args, const wchar_t*);
            if (!convertWide(wide, converted))
                return false;
            text = converted.get();
        } else {
            text = va_arg(m_args, const CharT*);
        }
        if (text) {
            size_t n;
            if (spec.width > 0)
                n = textLength(text, size_t(spec.width));
            else if (spec.hasPrecision)
                n = textLength(text, size_t(spec.precision));
            else
                n = textLength(text, SIZE_MAX);
            emitPadded(text, n, spec);
        } else {
            emitPadded(text, 0, spec);
        }
        if (owned)
            std::free(const_cast<CharT*>(text));
        return true;
    }

    // The narrow engine's %ls: UTF-16 text as UTF-8, or as ANSI text when asked.
    bool convertWide(const wchar_t* wide, WipedBlock<CharT>& out);

    bool quoted(const Spec& spec, bool withQuotes)
    {
        const CharT* text = va_arg(m_args, const CharT*);
        if (!text) {
            Field<CharT> field;
            field.putAscii(withQuotes ? "NULL" : "(NULL)");
            emitQuoted(field.data(), field.length(), spec);
            return true;
        }
        size_t length = textLength(text, SIZE_MAX);
        size_t quotes = 0;
        for (size_t i = 0; i < length; ++i)
            quotes += text[i] == CharT('\'');
        size_t needed = length + quotes + (withQuotes ? 2 : 0);
        CharT local[kWorkSize];
        CharT* out;
        CharT* heap = nullptr;
        if (needed + 1 <= size_t(kWorkSize)) {
            out = local;
        } else {
            if (needed >= SIZE_MAX / sizeof(CharT) - 1)
                return false;
            heap = static_cast<CharT*>(std::malloc((needed + 1) * sizeof(CharT)));
            if (!heap)
                return false;
            out = heap;
        }
        size_t n = 0;
        if (withQuotes)
            out[n++] = CharT('\'');
        for (size_t i = 0; i < length; ++i) {
            out[n++] = text[i];
            if (text[i] == CharT('\''))
                out[n++] = CharT('\'');
        }
        if (withQuotes)
            out[n++] = CharT('\'');
        emitQuoted(out, n, spec);
        std::free(heap);
        return true;
    }

    void emitQuoted(const CharT* p, size_t n, const Spec& spec)
    {
        if (spec.hasPrecision && n > size_t(spec.precision))
            n = size_t(spec.precision);
        emitPadded(p, n, spec);
    }

    void emitPadded(const CharT* p, size_t n, const Spec& spec)
    {
        size_t pad = size_t(spec.width) > n ? size_t(spec.width) - n : 0;
        if (!spec.left)
            putSpaces(pad);
        put(p, n);
        if (spec.left)
            putSpaces(pad);
    }

    void putSpaces(size_t n)
    {
        CharT spaces[64];
        for (CharT& c : spaces)
            c = CharT(' ');
        while (n) {
            size_t k = n < 64 ? n : 64;
            put(spaces, k);
            n -= k;
        }
    }

    void putAscii(const char* s)
    {
        CharT buf[8];
        size_t n = 0;
        while (s[n] && n < 8) {
            buf[n] = CharT(s[n]);
            ++n;
        }
        put(buf, n);
    }

    void put(const CharT* p, size_t n)
    {
        while (n) {
            uint32_t k = n > 0x40000000u ? 0x40000000u : uint32_t(n);
            m_output(m_context, p, k);
            m_count += k;
            p += k;
            n -= k;
        }
    }

    Output m_output;
    void* m_context;
    int m_flags;
    size_t m_count;
    va_list m_args;
};

template <>
bool Engine<char>::convertWide(const wchar_t* wide, WipedBlock<char>& out)
{
    if (!wide)
        return true;
    try {
        if (m_flags & formatWideAsAnsi)
            utf16ToAnsi(wide, -1, out);
        else
            utf16ToUtf8(wide, -1, out);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

template <>
bool Engine<wchar_t>::convertWide(const wchar_t*, WipedBlock<wchar_t>&)
{
    return true;
}

// Grows a heap block by twice the piece size; starts in a buffer of the caller's frame.
template <class CharT>
class HeapSink {
public:
    HeapSink() : m_text(m_first), m_length(0), m_capacity(kFirstSize), m_failed(false)
    {
        m_first[0] = 0;
    }
    ~HeapSink()
    {
        if (m_text != m_first)
            std::free(m_text);
    }

    static void output(void* inContext, const CharT* inText, uint32_t inCount)
    {
        static_cast<HeapSink*>(inContext)->append(inText, inCount);
    }

    // The finished text, owned by the caller; null when memory ran out.
    CharT* finish()
    {
        if (m_failed)
            return nullptr;
        CharT* result;
        if (m_text == m_first) {
            result = static_cast<CharT*>(std::malloc((m_length + 1) * sizeof(CharT)));
            if (!result)
                return nullptr;
            std::memcpy(result, m_first, (m_length + 1) * sizeof(CharT));
            return result;
        }
        result = m_text;
        if (m_capacity - (m_length + 1) > 10) {
            CharT* shrunk = static_cast<CharT*>(std::realloc(m_text, (m_length + 1) * sizeof(CharT)));
            if (shrunk)
                result = shrunk;
        }
        m_text = m_first;
        return result;
    }

private:
    static const size_t kFirstSize = 200;

    void append(const CharT* p, uint32_t n)
    {
        if (m_failed)
            return;
        if (m_length + n + 1 > m_capacity) {
            if (n > (SIZE_MAX / sizeof(CharT) - 1 - m_length) / 2) {
                m_failed = true;
                return;
            }
            size_t capacity = m_length + 2 * size_t(n) + 1;
            CharT* block;
            if (m_text == m_first) {
                block = static_cast<CharT*>(std::malloc(capacity * sizeof(CharT)));
                if (block)
                    std::memcpy(block, m_first, m_length * sizeof(CharT));
            } else {
                block = static_cast<CharT*>(std::realloc(m_text, capacity * sizeof(CharT)));
            }
            if (!block) {
                m_failed = true;
                return;
            }
            m_text = block;
            m_capacity = capacity;
        }
        std::memcpy(m_text + m_length, p, n * sizeof(CharT));
        m_length += n;
        m_text[m_length] = 0;
    }

    CharT m_first[kFirstSize];
    CharT* m_text;
    size_t m_length;
    size_t m_capacity;
    bool m_failed;
};

} // namespace
} // namespace _Mvx_Internal_NS_

namespace Morvenix {

using _Mvx_Internal_NS_::Engine;
using _Mvx_Internal_NS_::HeapSink;

int formatEngine(FormatOutput inOutput, void* inContext, int inFlags, const char* inFormat, va_list inArgs)
{
    return Engine<char>(inOutput, inContext, inFlags).run(inFormat, inArgs);
}

int formatEngineW(FormatOutputW inOutput, void* inContext, int inFlags, const wchar_t* inFormat,
                  va_list inArgs)
{
    return Engine<wchar_t>(inOutput, inContext, inFlags).run(inFormat, inArgs);
}

char* vformatAllocFlags(int inFlags, const char* inFormat, va_list inArgs)
{
    HeapSink<char> sink;
    formatEngine(&HeapSink<char>::output, &sink, inFlags, inFormat, inArgs);
    return sink.finish();
}

char* vformatAlloc(const char* inFormat, va_list inArgs)
{
    return vformatAllocFlags(0, inFormat, inArgs);
}

char* formatAlloc(const char* inFormat, ...)
{
    va_list args;
    va_start(args, inFormat);
    char* text = vformatAlloc(inFormat, args);
    va_end(args);
    return text;
}

wchar_t* vformatAllocW(const wchar_t* inFormat, va_list inArgs)
{
    HeapSink<wchar_t> sink;
    formatEngineW(&HeapSink<wchar_t>::output, &sink, 0, inFormat, inArgs);
    return sink.finish();
}

wchar_t* formatAllocW(const wchar_t* inFormat, ...)
{
    va_list args;
    va_start(args, inFormat);
    wchar_t* text = vformatAllocW(inFormat, args);
    va_end(args);
    return text;
}

std::string formatStdString(const char* inFormat, ...)
{
    va_list args;
    va_start(args, inFormat);
    char* text = vformatAlloc(inFormat, args);
    va_end(args);
    if (!text)
        throw std::bad_alloc();
    std::string result;
    try {
        result = text;
    } catch (...) {
        std::free(text);
        throw;
    }
    std::free(text);
    return result;
}

void appendWithCrLf(std::string& ioText, const char* inText)
{
    for (const char* p = inText; *p; ++p) {
        if (*p == '\r' || *p == '\n') {
            ioText += "\r\n";
            if (p[0] == '\r' && p[1] == '\n')
                ++p;
        } else {
            ioText += *p;
        }
    }
}

void debugTrace(const char*, ...)
{
}

} // namespace Morvenix
