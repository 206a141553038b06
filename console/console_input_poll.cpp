// The key poll: the first key press among the events already waiting, never waiting for
// one.
#include "console/console.h"
#include "console/console_input.h"
#include "runtime/strings.h"

char* console_poll_key(int32_t offset) {
  ConsoleState.last_key_code = 0;
  bool taken = false;
  char character = 0;
  DWORD pending = 0;
  if (GetNumberOfConsoleInputEvents(ConsoleState.input_handle, &pending)) {
    // Only as many reads as events were waiting, so that no read has to wait.
    for (DWORD n = 0; n < pending; ++n) {
      INPUT_RECORD record;
      DWORD read = 0;
      if (!ReadConsoleInputA(ConsoleState.input_handle, &record, 1, &read) || read == 0) continue;
      if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) {
        ConsoleState.last_key_code = record.Event.KeyEvent.wVirtualKeyCode;
        character = record.Event.KeyEvent.uChar.AsciiChar;
        taken = true;
        break;
      }
    }
  }
  int32_t has = taken && character != 0 ? 1 : 0;
  char* q = result_buffer_reserve(has, offset);
  if (q == nullptr) return nullptr;
  if (has) q[0] = character;
  q[has] = '\0';
  return q;
}
