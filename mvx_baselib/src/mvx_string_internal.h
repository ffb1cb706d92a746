// Helpers shared by the sources of Morvenix::String and the readers of numbers in text it serves; not part
// of the public interface.
#pragma once

#include <cstdint>
#include <vector>

namespace Morvenix {
class String;
}

namespace _Mvx_Internal_NS_ {

// The length as 32 bits; a result longer than String::maxLength is refused with errInvalidParam from
// inFunction, so no caller sizes a block from a wrapped value.
uint32_t checkedLength(uint64_t inLength, const char* inFunction);

// The first occurrence of the pattern in the text, or null; an empty pattern is found at the start.
// Plain comparison for short patterns or texts, Horspool's method from a 4-byte pattern in a 512-byte text.
const char* findBytes(const char* inText, uint32_t inTextLength, const char* inPattern, uint32_t inPatternLength);

// A run of decimal digits at ioText (left behind it) as a 64-bit number; false when there is none or it
// does not fit, where String::toUInt64 would wrap: a size read from outside must not pass for another.
bool parseDecimal(const char*& ioText, const char* inEnd, uint64_t& outValue);

// The elements of a list written in text (a header field's, a proxy list's), split at each byte of
// inSeparators and trimmed as String::trim trims; empty ones are kept, so that a caller sees "a,,b" and
// "a," for what they are.
std::vector<Morvenix::String> splitList(const Morvenix::String& inText, const char* inSeparators);

// The start of a text that came from outside, as an error message shows it: at most inMaxChars code
// points, "..." after a cut (a server's header value may be a megabyte long).
Morvenix::String excerpt(const Morvenix::String& inText, uint32_t inMaxChars);

} // namespace _Mvx_Internal_NS_
