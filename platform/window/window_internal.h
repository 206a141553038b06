// Shared by the window functions: registered classes and created windows.
#pragma once

#include "platform/window/window.h"

constexpr size_t WINDOW_CLASS_NAME_MAX = 256;

struct WindowClass {
  ATOM atom;
  char name[WINDOW_CLASS_NAME_MAX + 1];
  WNDCLASSEXA description;
};

struct Window {
  const WindowClass* window_class;
  WNDPROC procedure;
  DWORD style;
  DWORD ex_style;
  RECT rect;
  HINSTANCE instance;
};

// The class a name or an atom (a value below 0x10000, as MAKEINTATOM gives) names, or null.
const WindowClass* window_class_find(const char* name_or_atom);
// The window a handle names, or null.
Window* window_find(HWND window);

// Decodes the first image of an .ico file held in memory; false, with nothing allocated, if
// it is not a well-formed uncompressed 24-bit image lying wholly inside the data.
bool icon_decode(const unsigned char* data, size_t size, IconImage* out);
void icon_free(IconImage* image);
