// Graphical line input: echo and backspace of our own from key presses, the line kept
// within one screen row.
#include "console/console.h"
#include "console/console_input.h"
#include "runtime/strings.h"

namespace {

constexpr char CARRIAGE_RETURN = '\r';
constexpr char BACKSPACE = 8;

// The character of a key press, or 0 for any other event.
char typed_character(const INPUT_RECORD& record) {
  if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) return 0;
  return record.Event.KeyEvent.uChar.AsciiChar;
}

}  // namespace

char* console_read_line_graphical(int32_t offset) {
  HANDLE output = ConsoleState.output_handle;
  CONSOLE_SCREEN_BUFFER_INFO info{};
  GetConsoleScreenBufferInfo(output, &info);
  int32_t width = info.dwSize.X > 0 ? info.dwSize.X : 0;
  char* q = result_buffer_reserve(width, offset);
  if (q == nullptr) return nullptr;
  int32_t i = 0;
  for (;;) {
    INPUT_RECORD record;
    DWORD read = 0;
    if (!ReadConsoleInputA(ConsoleState.input_handle, &record, 1, &read) || read == 0) break;
    char c = typed_character(record);
    if (c == 0) continue;
    CONSOLE_SCREEN_BUFFER_INFO now{};
    bool placed = GetConsoleScreenBufferInfo(output, &now) != 0;
    COORD cursor = now.dwCursorPosition;
    DWORD written = 0;
    if (c == CARRIAGE_RETURN) {
      console_print_line_graphical("");
      break;
    }
    if (c == BACKSPACE) {
      if (i == 0) continue;
      if (placed && cursor.X > 0) {
        cursor.X--;
        SetConsoleCursorPosition(output, cursor);
        WriteConsoleA(output, " ", 1, &written, nullptr);
        SetConsoleCursorPosition(output, cursor);
      }
      i--;
      continue;
    }
    // The echo never reaches the last column; without a cursor position nothing is kept,
    // and the line never outgrows its reservation.
    if (placed && cursor.X < width - 1 && i < width) {
      WriteConsoleA(output, &c, 1, &written, nullptr);
      q[i++] = c;
    }
  }
  result_buffer_release(width - i);
  q[i] = '\0';
  return q;
}
