// Graphical-mode output: text drawn as glyphs, clipped to the buffer width, serialised by
// output_lock; only the line end is processed.
#include "console/console.h"

#include <cstring>

namespace {

// The text cut to the buffer's current width; WriteConsoleA fails on a redirected output,
// and nothing else is tried.
void write_clipped(const char* text) {
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  GetConsoleScreenBufferInfo(ConsoleState.output_handle, &info);
  size_t length = strlen(text);
  int64_t width = info.dwSize.X;
  DWORD count = static_cast<int64_t>(length) < width ? static_cast<DWORD>(length)
                                                     : static_cast<DWORD>(width > 0 ? width : 0);
  DWORD written = 0;
  WriteConsoleA(ConsoleState.output_handle, text, count, &written, nullptr);
}

}  // namespace

void console_print_graphical(const char* text) {
  if (text == nullptr) return;
  EnterCriticalSection(&ConsoleState.output_lock);
  write_clipped(text);
  LeaveCriticalSection(&ConsoleState.output_lock);
}

void console_print_line_graphical(const char* text) {
  EnterCriticalSection(&ConsoleState.output_lock);
  // The text and its line end reach the terminal together, in one write.
  terminal_hold_output();
  if (text != nullptr) write_clipped(text);
  SetConsoleMode(ConsoleState.output_handle, CONSOLE_RAW_OUTPUT_MODE);
  DWORD written = 0;
  WriteConsoleA(ConsoleState.output_handle, "\r\n", 2, &written, nullptr);
  SetConsoleMode(ConsoleState.output_handle, CONSOLE_GRAPHICAL_OUTPUT_MODE);
  terminal_release_output();
  LeaveCriticalSection(&ConsoleState.output_lock);
}
