// Window classes, registered by name; class names compare without regard to case.
#include "platform/window/window_internal.h"

#include <cstring>
#include <mutex>

namespace {

constexpr ATOM FIRST_CLASS_ATOM = 0xC000;
constexpr size_t MAX_CLASSES = 64;
constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;
// The size that callers written for 32-bit addresses give; the fields are ours either way.
constexpr UINT CLASS_BYTES_32BIT = 48;

std::mutex class_lock;
WindowClass classes[MAX_CLASSES];
size_t class_count = 0;

bool same_name(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
    if (ca >= 'a' && ca <= 'z') ca -= 'a' - 'A';
    if (cb >= 'a' && cb <= 'z') cb -= 'a' - 'A';
    if (ca != cb) return false;
    if (ca == 0) return true;
  }
}

const WindowClass* find_locked(const char* name_or_atom) {
  uintptr_t value = reinterpret_cast<uintptr_t>(name_or_atom);
  if (value == 0) return nullptr;
  for (size_t i = 0; i < class_count; ++i) {
    if (value < 0x10000 ? classes[i].atom == value : same_name(classes[i].name, name_or_atom))
      return &classes[i];
  }
  return nullptr;
}

}  // namespace

ATOM RegisterClassExA(const WNDCLASSEXA* window_class) {
  if (window_class == nullptr ||
      (window_class->cbSize != sizeof(WNDCLASSEXA) && window_class->cbSize != CLASS_BYTES_32BIT) ||
      window_class->lpfnWndProc == nullptr || window_class->cbClsExtra < 0 ||
      window_class->cbWndExtra < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char* name = window_class->lpszClassName;
  if (reinterpret_cast<uintptr_t>(name) < 0x10000 || name[0] == 0 ||
      std::strlen(name) > WINDOW_CLASS_NAME_MAX) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard<std::mutex> hold(class_lock);
  if (find_locked(name) != nullptr) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  if (class_count == MAX_CLASSES) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  WindowClass& entry = classes[class_count];
  entry.atom = static_cast<ATOM>(FIRST_CLASS_ATOM + class_count);
  std::strcpy(entry.name, name);
  entry.description = *window_class;
  entry.description.lpszClassName = entry.name;  // the caller's text need not outlive the call
  entry.description.lpszMenuName = nullptr;
  ++class_count;
  return entry.atom;
}

const WindowClass* window_class_find(const char* name_or_atom) {
  std::lock_guard<std::mutex> hold(class_lock);
  return find_locked(name_or_atom);
}
