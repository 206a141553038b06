// Painting without a display: BeginPaint hands out a device context that draws nowhere,
// and the stock objects are records that exist for the whole run.
#include "platform/window/window_internal.h"

#include <cstring>

namespace {

struct StockBrush {
  BYTE red, green, blue;
};
// WHITE_BRUSH 0, LTGRAY_BRUSH 1, GRAY_BRUSH 2, DKGRAY_BRUSH 3, BLACK_BRUSH 4.
const StockBrush stock_brushes[] = {{255, 255, 255}, {192, 192, 192}, {128, 128, 128}, {64, 64, 64}, {0, 0, 0}};
const char null_device_context = 0;

}  // namespace

HDC BeginPaint(HWND handle, PAINTSTRUCT* paint) {
  Window* window = window_find(handle);
  if (window == nullptr || paint == nullptr) return 0;
  std::memset(paint, 0, sizeof(*paint));
  paint->hdc = reinterpret_cast<HDC>(&null_device_context);
  paint->rcPaint = RECT{0, 0, window->rect.right - window->rect.left, window->rect.bottom - window->rect.top};
  return paint->hdc;
}

BOOL EndPaint(HWND handle, const PAINTSTRUCT* paint) {
  return window_find(handle) != nullptr && paint != nullptr ? TRUE : FALSE;
}

HGDIOBJ GetStockObject(int object) {
  if (object < 0 || object >= static_cast<int>(sizeof(stock_brushes) / sizeof(stock_brushes[0]))) return 0;
  return reinterpret_cast<HGDIOBJ>(&stock_brushes[object]);
}
