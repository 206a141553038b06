// The console session: standard handles, the title, colours, clearing, and text output in
// a raw (line) mode or a graphical (surface) mode chosen through the ConsoleOps table.
#pragma once

#include "platform/base/platform_types.h"
#include "platform/terminal/terminal.h"
#include "platform/thread/thread.h"

// The program is linked as a console program: its console exists before it starts, so
// console_open does not ask for one.
constexpr int32_t CONSOLE_APP_BUILD = 1;

// Output modes of the two console modes.
constexpr DWORD CONSOLE_RAW_OUTPUT_MODE = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
constexpr DWORD CONSOLE_GRAPHICAL_OUTPUT_MODE = 0;

struct ConsoleStateRecord {
  HANDLE input_handle;
  HANDLE output_handle;
  // Taken at open. dwSize is the area console_clear fills; wAttributes is the current colour.
  CONSOLE_SCREEN_BUFFER_INFO saved_info;
  CRITICAL_SECTION input_lock;   // redirected line input
  CRITICAL_SECTION output_lock;  // graphical print and print-line
  int32_t graphical;             // 0 raw; otherwise the value given to console_set_graphical
  uint32_t last_key_code;
  char* pending_input;  // MainHeap block of redirected input kept for the next line, or null
  int32_t pending_start;   // where in pending_input the kept bytes begin (lines before it are taken)
  int32_t pending_length;  // bytes kept from pending_start on (a zero byte among them is data)
  int32_t pending_after_cr;  // the last redirected line ended with a CR: an LF next is its
                             // line end, not an empty line
};

// One entry per operation; console_set_graphical installs the set of its mode.
struct ConsoleOpsTable {
  void (*print_line)(const char* text);
  char* (*poll_key)(int32_t offset);
  char* (*read_line)(int32_t offset);
  void (*print)(const char* text);
};

extern ConsoleStateRecord ConsoleState;
extern ConsoleOpsTable ConsoleOps;

// Must run before any other console operation. Always 1.
int32_t console_open();
// SetConsoleTitleA's result.
BOOL console_set_title(const char* title);
// Non-zero: graphical mode (output mode 0); 0: raw mode (output mode 3).
void console_set_graphical(int32_t enabled);
// Graphical mode only: the size recorded at open filled with blanks in the current colour,
// cursor home. Does nothing in raw mode.
void console_clear();
// Colours 0 to 15; a value above 15 changes nothing.
void console_set_color(int32_t foreground, int32_t background);
// Through ConsoleOps; a null text is accepted.
void console_print(const char* text);
void console_print_line(const char* text);

// count bytes to the console, or to the file or pipe that standard output is.
BOOL console_write(const char* bytes, DWORD count);
void console_print_raw(const char* text);
// The text and CR LF in one write, then a flush.
void console_print_line_raw(const char* text);
// Clipped to the buffer width; nothing reaches a redirected output.
void console_print_graphical(const char* text);
void console_print_line_graphical(const char* text);

// Registered at open. Runs monitor_end_libraries on CTRL_CLOSE_EVENT; declines every event.
BOOL console_control_handler(DWORD ctrl_type);

// Defined by the program: ends every library that has an end routine.
void monitor_end_libraries();
