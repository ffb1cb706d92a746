// The printf-style constructors of Morvenix::String, all through the library's own engine.
#define MVX_SOURCE "mvx_string_format"
#include "mvx_format.h"
#include "mvx_string.h"

#include <cstdlib>
#include <new>

namespace Morvenix {

namespace {

// The engine's heap text, freed also when building the string fails.
template <class CharT>
class EngineText {
public:
    explicit EngineText(CharT* inText) : m_text(inText)
    {
        if (!m_text)
            throw std::bad_alloc();
    }
    ~EngineText() { std::free(m_text); }
    const CharT* get() const { return m_text; }

    EngineText(const EngineText&) = delete;
    EngineText& operator=(const EngineText&) = delete;

private:
    CharT* m_text;
};

// Ends a va_list on every way out, the engine's exceptions included.
struct VaEnd {
    va_list& args;
    ~VaEnd() { va_end(args); }
};

} // namespace

String String::vformat(const char* inFormat, va_list inArgs)
{
    // The engine would have nothing to run: a missing format gives the empty string, as in the other forms.
    if (!inFormat)
        return String();
    EngineText<char> text(vformatAlloc(inFormat, inArgs));
    return String(text.get());
}

String String::vformatAnsi(const char* inFormat, va_list inArgs)
{
    if (!inFormat)
        return String();
    EngineText<char> text(vformatAllocFlags(formatWideAsAnsi, inFormat, inArgs));
    return fromAnsi(text.get());
}

String String::vformatWide(const wchar_t* inFormat, va_list inArgs)
{
    if (!inFormat)
        return String();
    EngineText<wchar_t> text(vformatAllocW(inFormat, inArgs));
    return String(text.get());
}

String String::format(const char* inFormat, ...)
{
    va_list args;
    va_start(args, inFormat);
    VaEnd end{args};
    return vformat(inFormat, args);
}

String String::formatAnsi(const char* inFormat, ...)
{
    va_list args;
    va_start(args, inFormat);
    VaEnd end{args};
    return vformatAnsi(inFormat, args);
}

String String::formatWide(const wchar_t* inFormat, ...)
{
    va_list args;
    va_start(args, inFormat);
    VaEnd end{args};
    return vformatWide(inFormat, args);
}

void String::assignFormat(const char* inFormat, ...)
{
    va_list args;
    va_start(args, inFormat);
    VaEnd end{args};
    *this = vformat(inFormat, args);
}

void String::assignFormatAnsi(const char* inFormat, ...)
{
    va_list args;
    va_start(args, inFormat);
    VaEnd end{args};
    *this = vformatAnsi(inFormat, args);
}

void String::assignFormatWide(const wchar_t* inFormat, ...)
{
    va_list args;
    va_start(args, inFormat);
    VaEnd end{args};
    *this = vformatWide(inFormat, args);
}

} // namespace Morvenix
