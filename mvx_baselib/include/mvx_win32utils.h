// Windows helpers: kernel objects open to every user under machine-wide names, the module behind a code
// address, and a warning box shown to an interactive user before a library exception is thrown.
#pragma once

#include <cstdint>

struct _SECURITY_ATTRIBUTES;

namespace Morvenix {
class String;
}

namespace Morvenix_Win32 {

// Fills the record with a descriptor that grants everyone full access (inheritance off) and returns it,
// or returns null when the descriptor cannot be built; the caller then uses default security. The caller
// frees the descriptor with LocalFree once its object exists.
_SECURITY_ATTRIBUTES* createSecurityAttributes(_SECURITY_ATTRIBUTES* outAttributes);

// "Global\" and the name with "/" turned into "\", with exactly one backslash after the prefix.
Morvenix::String makeGlobalObjectName(const Morvenix::String& inName);

// Full path of the loaded module whose range holds the address; errNotFound when none does.
Morvenix::String getModuleNameFromAddress(const void* inAddress);

// The module from which this function is called.
Morvenix::String getCallerModuleName();

// Shows the message in a system-modal box when a user can see it (a service cannot), then throws the
// library exception with the code and message. An empty caption means "Morvenix Base Library".
[[noreturn]] void warnAndThrow(uint32_t inCode, const Morvenix::String& inMessage,
                               const Morvenix::String& inCaption);

} // namespace Morvenix_Win32
