// Shared between the module functions: the handle of a built-in library that is loaded now.
#pragma once

#include "platform/module/module.h"

// The handle of the named library if LoadLibraryA holds it now, else 0.
HMODULE module_loaded_handle(const char* name);
