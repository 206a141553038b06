// A small program on the console layer for terminal tests: draws like the monitor (clear,
// colour, a blank row, a status line) once a second without touching the network, or
// prints raw lines. Usage: console_driver surface|lines
#include "console/console.h"
#include "platform/heap/heap.h"
#include "runtime/heaps.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {
int close_events = 0;
const char RULER[] =
    "123456789.123456789.123456789.123456789.123456789.123456789.123456789.123456789."
    "123456789.123456789.123456789.";
}  // namespace

// What the close handler runs here: a note on standard error, for the test to find.
void monitor_end_libraries() {
  close_events++;
  const char note[] = "close handler ran\n";
  ssize_t ignored = write(2, note, sizeof note - 1);
  (void)ignored;
}

int main(int argc, char** argv) {
  MainHeap = HeapCreate(0, 4096, 0);
  const char* mode = argc > 1 ? argv[1] : "surface";
  console_open();
  console_set_title("Driver");
  if (strcmp(mode, "lines") == 0) {
    console_set_color(10, 0);
    console_print_line("green raw line");
    console_set_color(7, 0);
    console_print_line("plain raw line");
    pause();
    return 0;
  }
  console_set_graphical(1);
  for (int pass = 0;; ++pass) {
    char line[64];
    snprintf(line, sizeof line, "    pass %d \x01", pass);
    console_clear();
    console_set_color(pass % 2 == 0 ? 10 : 12, 0);
    console_print_line("");
    console_print_line(line);
    // Wider than any test terminal: it shows how wide the buffer is now.
    console_set_color(7, 0);
    console_print_line(RULER);
    sleep(1);
  }
}
