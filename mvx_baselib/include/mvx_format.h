// The library's own printf-style engine, over 8-bit and 16-bit characters, and the outputs built on it:
// heap-allocated texts, standard strings, the debug print and the (silent) trace. Its conversions differ
// from the run-time's: %p prints in decimal, infinities print as NaN, %q and %Q double single quotes,
// a width given to %s is the exact number of characters taken.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

namespace Morvenix {

// Receives every piece of output; pieces are not NUL-terminated.
typedef void (*FormatOutput)(void* inContext, const char* inText, uint32_t inCount);
typedef void (*FormatOutputW)(void* inContext, const wchar_t* inText, uint32_t inCount);

enum FormatFlags {
    // Enables %z: as %s, after which the argument is released with the run-time free.
    formatExtended = 1,
    // The narrow engine's %ls (a UTF-16 argument) produces ANSI code-page text instead of UTF-8.
    formatWideAsAnsi = 2,
};

// Run inFormat; return the number of characters output, or -1 when the format ends right after a "%"
// or memory for a quoted or converted string runs out.
int formatEngine(FormatOutput inOutput, void* inContext, int inFlags, const char* inFormat, va_list inArgs);
int formatEngineW(FormatOutputW inOutput, void* inContext, int inFlags, const wchar_t* inFormat,
                  va_list inArgs);

// The formatted text as a NUL-terminated block of the run-time heap (release it with free); null when
// memory runs out.
char* vformatAlloc(const char* inFormat, va_list inArgs);
char* vformatAllocFlags(int inFlags, const char* inFormat, va_list inArgs);
char* formatAlloc(const char* inFormat, ...);
wchar_t* vformatAllocW(const wchar_t* inFormat, va_list inArgs);
wchar_t* formatAllocW(const wchar_t* inFormat, ...);

std::string formatStdString(const char* inFormat, ...);
// Appends inText, writing every LF, every CR and every CR LF pair as CR LF.
void appendWithCrLf(std::string& ioText, const char* inText);

// Standard error (a console is attached when the process has none) and the debugger. Never throws.
void vdebugPrint(const char* inFormat, va_list inArgs);
// As vdebugPrint, keeping errno and the last Windows error.
void debugPrint(const char* inFormat, ...);
void debugPrintRaw(const char* inText);
// Diagnostics that the library produces but does not show.
void debugTrace(const char* inFormat, ...);

} // namespace Morvenix
