// The hidden window that owns the audio device's cooperative level. It is never shown and
// has no message loop; its procedure swallows what a visible window would act on.
#include "sound/sound_state.h"

HWND SoundOwnerWindow = 0;
int32_t SoundOwnerWindowCreated = 0;

int32_t sound_owner_window_create() {
  if (SoundOwnerWindowCreated) return 1;
  WNDCLASSEXA window_class = {};
  window_class.cbSize = sizeof(WNDCLASSEXA);
  window_class.style = CS_DBLCLKS;
  window_class.lpfnWndProc = sound_owner_window_proc;
  window_class.cbClsExtra = 0;
  window_class.cbWndExtra = 0;
  window_class.hInstance = ProgramInstance;
  window_class.hIcon = LoadIconA(ProgramInstance, make_int_resource(1));
  window_class.hCursor = 0;
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  window_class.lpszMenuName = nullptr;
  window_class.lpszClassName = SOUND_OWNER_CLASS;
  window_class.hIconSm = 0;
  if (RegisterClassExA(&window_class) == 0) return 0;
  SoundOwnerWindow = CreateWindowExA(0, SOUND_OWNER_CLASS, "", WS_POPUP, 0, 0, 1, 1, 0, 0,
                                     ProgramInstance, nullptr);
  if (SoundOwnerWindow != 0) SoundOwnerWindowCreated = 1;
  return SoundOwnerWindowCreated;
}

LRESULT sound_owner_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_ACTIVATE:
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 1;
    }
    case WM_CLOSE:
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_KEYUP:
    case WM_SYSKEYUP:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}
