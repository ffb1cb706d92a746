// Opening Windows files for the disk storages, and the one way their Windows failures become exceptions.
#pragma once

#include <cstdint>

namespace Morvenix {

class String;

namespace WinFile {

// Throws the thread's last Windows error as a library exception: the mapped code, and the system's text
// of the error followed by a space and the context. inSource and inLine name the throwing site.
[[noreturn]] void throwLastError(const String& inContext, const char* inSource, int inLine, const char* inFunction);

// Opens the path with the access and disposition indexes of the disk storage (see mvx_diskstorage.h)
// and returns the HANDLE. A writable open is exclusive, a read-only one shares reading. A failure gives
// INVALID_HANDLE_VALUE with the last error set (ERROR_INVALID_PARAMETER for indexes outside the tables).
void* tryOpen(const String& inPath, uint32_t inAccess, uint32_t inDisposition);
// The same, throwing a failure with the path as given as its context.
void* open(const String& inPath, uint32_t inAccess, uint32_t inDisposition, const char* inFunction);

// A new readable and writable file in the temporary folder, deleted when its handle is closed; its name
// is gone from the folder by the time this returns.
void* openAnonymousTemp(const char* inFunction);

// SetFilePointerEx; returns the new position.
uint64_t seek(void* inHandle, int64_t inDistance, uint32_t inMethod, const char* inFunction);

} // namespace WinFile

} // namespace Morvenix
