// The libraries built into the program that LoadLibraryA can find, and their entry points.
#pragma once

#include "platform/module/module.h"

struct BuiltinExport {
  const char* name;
  FARPROC address;
};

struct BuiltinModule {
  const char* name;
  const BuiltinExport* exports;
  size_t export_count;
};

// The program's libraries, and how many there are.
extern const BuiltinModule builtin_modules[];
extern const size_t builtin_module_count;
