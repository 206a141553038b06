// The ConsoleOps table and the set of functions each mode puts into it. The table starts
// with the raw set, so printing works before any mode is chosen.
#include "console/console.h"
#include "console/console_input.h"

namespace {

constexpr ConsoleOpsTable RAW_SET = {console_print_line_raw, console_poll_key,
                                     console_read_line_raw, console_print_raw};
constexpr ConsoleOpsTable GRAPHICAL_SET = {console_print_line_graphical, console_poll_key,
                                           console_read_line_graphical,
                                           console_print_graphical};

}  // namespace

constinit ConsoleOpsTable ConsoleOps = RAW_SET;

void console_set_graphical(int32_t enabled) {
  const ConsoleOpsTable& set = enabled != 0 ? GRAPHICAL_SET : RAW_SET;
  ConsoleOps.poll_key = set.poll_key;
  ConsoleOps.read_line = set.read_line;
  ConsoleOps.print = set.print;
  ConsoleOps.print_line = set.print_line;
  SetConsoleMode(ConsoleState.output_handle,
                 enabled != 0 ? CONSOLE_GRAPHICAL_OUTPUT_MODE : CONSOLE_RAW_OUTPUT_MODE);
  ConsoleState.graphical = enabled;
}

void console_print(const char* text) { ConsoleOps.print(text); }

void console_print_line(const char* text) { ConsoleOps.print_line(text); }
