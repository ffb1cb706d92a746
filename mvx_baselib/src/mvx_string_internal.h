// Helpers shared by the sources of Morvenix::String; not part of the public interface.
#pragma once

#include <cstdint>

namespace _Mvx_Internal_NS_ {

// The length as 32 bits; a result longer than String::maxLength is refused with errInvalidParam from
// inFunction, so no caller sizes a block from a wrapped value.
uint32_t checkedLength(uint64_t inLength, const char* inFunction);

// The first occurrence of the pattern in the text, or null; an empty pattern is found at the start.
// Plain comparison for short patterns or texts, Horspool's method from a 4-byte pattern in a 512-byte text.
const char* findBytes(const char* inText, uint32_t inTextLength, const char* inPattern, uint32_t inPatternLength);

} // namespace _Mvx_Internal_NS_
