// Raw-mode output: the console's own line behaviour, and plain writes when standard
// output is a file or pipe.
#include "console/console.h"
#include "platform/heap/heap.h"
#include "runtime/heaps.h"

#include <cstring>

BOOL console_write(const char* bytes, DWORD count) {
  DWORD written = 0;
  if (WriteConsoleA(ConsoleState.output_handle, bytes, count, &written, nullptr)) return TRUE;
  return WriteFile(ConsoleState.output_handle, bytes, count, &written, nullptr);
}

void console_print_raw(const char* text) {
  if (text == nullptr) return;
  console_write(text, static_cast<DWORD>(strlen(text)));
}

void console_print_line_raw(const char* text) {
  size_t length = text != nullptr ? strlen(text) : 0;
  size_t n = length + 2;
  char* block = static_cast<char*>(HeapAlloc(MainHeap, 0, n + 1));
  if (block == nullptr) return;
  if (length > 0) memcpy(block, text, length);
  memcpy(block + length, "\r\n", 3);
  console_write(block, static_cast<DWORD>(n));
  FlushFileBuffers(ConsoleState.output_handle);
  HeapFree(MainHeap, 0, block);
}
