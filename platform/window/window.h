// The least of a window system that the sound layer's hidden owner window needs: class
// registration, window creation, message delivery to the window procedure, the default
// procedure, painting, the stock black brush and the program's embedded icon.
#pragma once

#include "platform/base/platform_types.h"

typedef intptr_t HICON;
typedef intptr_t HCURSOR;
typedef intptr_t HBRUSH;
typedef intptr_t HMENU;
typedef intptr_t HDC;
typedef intptr_t HGDIOBJ;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef uint16_t ATOM;

typedef LRESULT (*WNDPROC)(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

struct WNDCLASSEXA {
  UINT cbSize;  // sizeof(WNDCLASSEXA)
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  const char* lpszMenuName;
  const char* lpszClassName;
  HICON hIconSm;
};

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
};

constexpr UINT CS_DBLCLKS = 0x0008;
constexpr DWORD WS_POPUP = 0x80000000u;
constexpr int BLACK_BRUSH = 4;

constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;

// Resource identifier n, as LoadIconA takes it.
inline const char* make_int_resource(uintptr_t id) { return reinterpret_cast<const char*>(id); }

ATOM RegisterClassExA(const WNDCLASSEXA* window_class);
HWND CreateWindowExA(DWORD ex_style, const char* class_name, const char* title, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     void* parameter);
// Delivers a message straight to the window's procedure and returns its result.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
HGDIOBJ GetStockObject(int object);
// Icon group `name` (a resource identifier) of the module's embedded resources; 0 if absent.
HICON LoadIconA(HINSTANCE instance, const char* name);

// The picture behind an icon handle: rows from the top, three bytes (red, green, blue) a
// pixel, and a mask of one byte a pixel (1 where the icon is transparent).
struct IconImage {
  int width;
  int height;
  int bits_per_pixel;  // of the stored image
  const BYTE* pixels;
  const BYTE* mask;
};
// Null for anything that LoadIconA did not return.
const IconImage* icon_image(HICON icon);
