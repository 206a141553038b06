// The console session: open, the control handler, the title, colour and clearing.
#include "console/console.h"

ConsoleStateRecord ConsoleState;

int32_t console_open() {
  if (CONSOLE_APP_BUILD == 0) AllocConsole();
  ConsoleState.input_handle = GetStdHandle(STD_INPUT_HANDLE);
  ConsoleState.output_handle = GetStdHandle(STD_OUTPUT_HANDLE);
  GetConsoleScreenBufferInfo(ConsoleState.output_handle, &ConsoleState.saved_info);
  SetConsoleCtrlHandler(console_control_handler, TRUE);
  InitializeCriticalSection(&ConsoleState.input_lock);
  InitializeCriticalSection(&ConsoleState.output_lock);
  return 1;
}

BOOL console_control_handler(DWORD ctrl_type) {
  if (ctrl_type == CTRL_CLOSE_EVENT) monitor_end_libraries();
  return FALSE;
}

BOOL console_set_title(const char* title) { return SetConsoleTitleA(title); }

void console_set_color(int32_t foreground, int32_t background) {
  if (foreground > 15 || background > 15) return;
  uint32_t attribute = static_cast<uint32_t>(foreground) | (static_cast<uint32_t>(background) << 4);
  ConsoleState.saved_info.wAttributes = static_cast<WORD>(attribute);
  SetConsoleTextAttribute(ConsoleState.output_handle, static_cast<WORD>(attribute));
}

void console_clear() {
  if (ConsoleState.graphical == 0) return;
  int32_t cells = static_cast<int32_t>(ConsoleState.saved_info.dwSize.Y) *
                  ConsoleState.saved_info.dwSize.X;
  DWORD length = cells > 0 ? static_cast<DWORD>(cells) : 0;
  DWORD written = 0;
  COORD home = {0, 0};
  // The blank screen and the cursor home reach the terminal together, in one write.
  terminal_hold_output();
  FillConsoleOutputAttribute(ConsoleState.output_handle, ConsoleState.saved_info.wAttributes,
                             length, home, &written);
  FillConsoleOutputCharacterA(ConsoleState.output_handle, ' ', length, home, &written);
  SetConsoleCursorPosition(ConsoleState.output_handle, home);
  terminal_release_output();
}
