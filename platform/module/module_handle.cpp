// The program's own module handle: the address of a marker of the program's image, which is
// non-zero and the same for the whole run.
#include "platform/module/module.h"
#include "platform/module/module_loader.h"

namespace {
const char program_image_marker = 0;
}

HMODULE GetModuleHandleA(const char* name) {
  if (name == nullptr) return reinterpret_cast<HMODULE>(&program_image_marker);
  HMODULE module = module_loaded_handle(name);
  if (module == 0) SetLastError(ERROR_MOD_NOT_FOUND);
  return module;
}
