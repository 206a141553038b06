// Classes, hidden windows, message delivery, painting and the stock brush.
#include "platform/module/module.h"
#include "platform/window/window.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Delivered {
  HWND window;
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
};
std::vector<Delivered> delivered;

LRESULT recording_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  delivered.push_back({window, message, wparam, lparam});
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC context = BeginPaint(window, &paint);
    EXPECT_NE(context, 0);
    EXPECT_EQ(paint.hdc, context);
    EXPECT_TRUE(EndPaint(window, &paint));
    return 1;
  }
  if (message == WM_CLOSE) return DefWindowProcA(window, message, wparam, lparam);
  return static_cast<LRESULT>(wparam + 1);
}

WNDCLASSEXA window_class(const char* name) {
  WNDCLASSEXA description{};
  description.cbSize = sizeof(description);
  description.style = CS_DBLCLKS;
  description.lpfnWndProc = recording_procedure;
  description.hInstance = GetModuleHandleA(nullptr);
  description.hbrBackground = GetStockObject(BLACK_BRUSH);
  description.lpszClassName = name;
  return description;
}

TEST(WindowClass, RegistersByNameOnceAndRefusesBadDescriptions) {
  WNDCLASSEXA description = window_class("Registration Test Class");
  ATOM atom = RegisterClassExA(&description);
  EXPECT_NE(atom, 0);
  EXPECT_EQ(RegisterClassExA(&description), 0);  // already there
  WNDCLASSEXA other_case = window_class("REGISTRATION test CLASS");
  EXPECT_EQ(RegisterClassExA(&other_case), 0);
  WNDCLASSEXA second = window_class("Registration Test Class 2");
  ATOM second_atom = RegisterClassExA(&second);
  EXPECT_NE(second_atom, 0);
  EXPECT_NE(second_atom, atom);

  EXPECT_EQ(RegisterClassExA(nullptr), 0);
  WNDCLASSEXA bad = window_class("Bad Class");
  bad.cbSize = 44;
  EXPECT_EQ(RegisterClassExA(&bad), 0);
  bad.cbSize = 48;  // the size callers built for 32-bit addresses give
  EXPECT_NE(RegisterClassExA(&bad), 0);
  bad = window_class("Bad Class 2");
  bad.lpfnWndProc = nullptr;
  EXPECT_EQ(RegisterClassExA(&bad), 0);
  bad = window_class(nullptr);
  EXPECT_EQ(RegisterClassExA(&bad), 0);
  bad = window_class("");
  EXPECT_EQ(RegisterClassExA(&bad), 0);
  std::string long_name(300, 'x');
  bad = window_class(long_name.c_str());
  EXPECT_EQ(RegisterClassExA(&bad), 0);
}

TEST(Window, AWindowOfARegisteredClassGetsItsMessages) {
  std::string name = "Delivery Test Class";
  WNDCLASSEXA description = window_class(name.c_str());
  ATOM atom = RegisterClassExA(&description);
  ASSERT_NE(atom, 0);
  name.assign("overwritten after registration");  // the class keeps its own copy

  HINSTANCE self = GetModuleHandleA(nullptr);
  HWND window = CreateWindowExA(0, "delivery test class", "", WS_POPUP, 0, 0, 1, 1, 0, 0, self, nullptr);
  ASSERT_NE(window, 0);
  HWND by_atom = CreateWindowExA(0, reinterpret_cast<const char*>(static_cast<uintptr_t>(atom)), nullptr,
                                 WS_POPUP, 0, 0, 1, 1, 0, 0, self, nullptr);
  EXPECT_NE(by_atom, 0);
  EXPECT_NE(by_atom, window);
  EXPECT_EQ(CreateWindowExA(0, "No Such Class", "", WS_POPUP, 0, 0, 1, 1, 0, 0, self, nullptr), 0);
  EXPECT_EQ(CreateWindowExA(0, nullptr, "", WS_POPUP, 0, 0, 1, 1, 0, 0, self, nullptr), 0);

  delivered.clear();
  EXPECT_EQ(SendMessageA(window, WM_LBUTTONDBLCLK, 41, -7), 42);
  EXPECT_EQ(SendMessageA(window, WM_PAINT, 0, 0), 1);
  EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
  // WM_CLOSE through the default procedure leaves the window alive.
  EXPECT_EQ(SendMessageA(window, WM_ACTIVATE, 9, 0), 10);
  ASSERT_EQ(delivered.size(), 4u);
  EXPECT_EQ(delivered[0].window, window);
  EXPECT_EQ(delivered[0].message, WM_LBUTTONDBLCLK);
  EXPECT_EQ(delivered[0].wparam, 41u);
  EXPECT_EQ(delivered[0].lparam, -7);
  EXPECT_EQ(delivered[2].message, WM_CLOSE);

  EXPECT_EQ(SendMessageA(0, WM_PAINT, 0, 0), 0);
  EXPECT_EQ(SendMessageA(window + 1, WM_PAINT, 0, 0), 0);
  EXPECT_EQ(delivered.size(), 4u);
}

TEST(Window, DefaultProcedurePaintingAndStockObjects) {
  for (UINT message : {WM_ACTIVATE, WM_PAINT, WM_CLOSE, WM_ERASEBKGND, WM_KEYUP, WM_LBUTTONDBLCLK}) {
    EXPECT_EQ(DefWindowProcA(0, message, 1, 2), 0) << message;
  }
  PAINTSTRUCT paint;
  EXPECT_EQ(BeginPaint(0, &paint), 0);
  EXPECT_FALSE(EndPaint(0, &paint));
  HGDIOBJ black = GetStockObject(BLACK_BRUSH);
  EXPECT_NE(black, 0);
  EXPECT_EQ(GetStockObject(BLACK_BRUSH), black);
  EXPECT_NE(GetStockObject(0), black);  // the white brush
  EXPECT_EQ(GetStockObject(-1), 0);
  EXPECT_EQ(GetStockObject(1000), 0);
}

}  // namespace
