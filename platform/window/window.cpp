// Windows of a registered class. There is no display: a window is a record that holds its
// procedure, is never shown, and gets messages only through SendMessageA.
#include "platform/window/window_internal.h"

#include <mutex>
#include <new>

namespace {

constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_CANNOT_FIND_WND_CLASS = 1407;
constexpr size_t MAX_WINDOWS = 64;

std::mutex window_lock;
Window* windows[MAX_WINDOWS];
size_t window_count = 0;

}  // namespace

HWND CreateWindowExA(DWORD ex_style, const char* class_name, const char*, DWORD style, int x, int y,
                     int width, int height, HWND, HMENU, HINSTANCE instance, void*) {
  const WindowClass* window_class = window_class_find(class_name);
  if (window_class == nullptr) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return 0;
  }
  std::lock_guard<std::mutex> hold(window_lock);
  Window* window = window_count < MAX_WINDOWS ? new (std::nothrow) Window : nullptr;
  if (window == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  window->window_class = window_class;
  window->procedure = window_class->description.lpfnWndProc;
  window->style = style;
  window->ex_style = ex_style;
  window->rect = RECT{x, y, x + (width > 0 ? width : 0), y + (height > 0 ? height : 0)};
  window->instance = instance;
  windows[window_count++] = window;
  return reinterpret_cast<HWND>(window);
}

Window* window_find(HWND handle) {
  std::lock_guard<std::mutex> hold(window_lock);
  for (size_t i = 0; i < window_count; ++i) {
    if (reinterpret_cast<HWND>(windows[i]) == handle) return windows[i];
  }
  return nullptr;
}

LRESULT SendMessageA(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
  Window* window = window_find(handle);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  // No lock is held here: a procedure may send messages of its own.
  return window->procedure(handle, message, wparam, lparam);
}

// Nothing here needs default handling. A window that gets WM_CLOSE stays: there is no
// desktop to take it from, and the owner window must outlive every sound.
LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }
