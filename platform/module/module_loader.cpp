// LoadLibraryA/GetProcAddress/FreeLibrary over the table of built-in libraries, with a
// reference count per library. A handle is the address of the library's table entry.
#include "platform/module/module_loader.h"
#include "platform/module/module_table.h"

#include <cstring>
#include <mutex>

namespace {

std::mutex loader_lock;
// Indexed like builtin_modules; libraries past the sixteenth are not offered.
constexpr size_t MAX_MODULES = 16;
int reference_counts[MAX_MODULES];

bool same_name_ignoring_case(const char* a, const char* b) {
  for (;; ++a, ++b) {
    unsigned char ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
    if (ca >= 'a' && ca <= 'z') ca = static_cast<unsigned char>(ca - 'a' + 'A');
    if (cb >= 'a' && cb <= 'z') cb = static_cast<unsigned char>(cb - 'a' + 'A');
    if (ca != cb) return false;
    if (ca == 0) return true;
  }
}

// Index of the named library in the table, or -1. As with the system loader, a name
// without an extension means the ".DLL" file.
int find_module(const char* name) {
  if (name == nullptr) return -1;
  char with_extension[64];
  const char* wanted = name;
  if (std::strchr(name, '.') == nullptr) {
    size_t length = std::strlen(name);
    if (length + 5 > sizeof(with_extension)) return -1;
    std::memcpy(with_extension, name, length);
    std::memcpy(with_extension + length, ".DLL", 5);
    wanted = with_extension;
  }
  for (size_t i = 0; i < builtin_module_count && i < MAX_MODULES; ++i) {
    if (same_name_ignoring_case(wanted, builtin_modules[i].name)) return static_cast<int>(i);
  }
  return -1;
}

// Index of the library a handle names, or -1 for anything that is not a table entry.
int module_index(HMODULE module) {
  for (size_t i = 0; i < builtin_module_count && i < MAX_MODULES; ++i) {
    if (module == reinterpret_cast<HMODULE>(&builtin_modules[i])) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

HMODULE module_loaded_handle(const char* name) {
  std::lock_guard<std::mutex> hold(loader_lock);
  int index = find_module(name);
  if (index < 0 || reference_counts[index] == 0) return 0;
  return reinterpret_cast<HMODULE>(&builtin_modules[index]);
}

HMODULE LoadLibraryA(const char* name) {
  std::lock_guard<std::mutex> hold(loader_lock);
  int index = find_module(name);
  if (index < 0) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  ++reference_counts[index];
  return reinterpret_cast<HMODULE>(&builtin_modules[index]);
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
  std::lock_guard<std::mutex> hold(loader_lock);
  int index = module_index(module);
  if (index < 0 || reference_counts[index] == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (name != nullptr && reinterpret_cast<uintptr_t>(name) >= 0x10000) {
    const BuiltinModule& entry = builtin_modules[index];
    for (size_t i = 0; i < entry.export_count; ++i) {
      if (std::strcmp(entry.exports[i].name, name) == 0) return entry.exports[i].address;
    }
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
  std::lock_guard<std::mutex> hold(loader_lock);
  int index = module_index(module);
  if (index < 0 || reference_counts[index] == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  --reference_counts[index];
  return TRUE;
}

int module_reference_count(const char* name) {
  std::lock_guard<std::mutex> hold(loader_lock);
  int index = find_module(name);
  return index < 0 ? 0 : reference_counts[index];
}
