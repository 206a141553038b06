// Modules: the program's own instance handle, and libraries found by name at run time with
// their entry points looked up by name.
#pragma once

#include "platform/base/platform_types.h"

typedef intptr_t HMODULE;
typedef void (*FARPROC)();

// A null name gives the program's own module; 0 for an unknown name.
HMODULE GetModuleHandleA(const char* name);
// Case-insensitive on the name, as callers spell library names freely. 0 if unavailable.
HMODULE LoadLibraryA(const char* name);
// Null (ERROR_PROC_NOT_FOUND) for an unknown entry point.
FARPROC GetProcAddress(HMODULE module, const char* name);
// Balances LoadLibraryA; the library stays loaded until its last reference goes.
BOOL FreeLibrary(HMODULE module);
// How many LoadLibraryA references a library holds now (tests).
int module_reference_count(const char* name);
