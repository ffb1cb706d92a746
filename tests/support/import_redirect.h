// Points a loaded module's import of a system function at a function of the test process: a host answers
// for what Wine without a display cannot give (windows, dialogs, message boxes), and a test sees how the
// code calls the system where Wine shows no difference.
#pragma once

#include <windows.h>

// Redirects inModule's import of inFunction from inDll (named as the import table names it, case
// insensitive) to inReplacement; false when the module does not import it by name.
bool redirectImport(HMODULE inModule, const char* inDll, const char* inFunction, void* inReplacement);
