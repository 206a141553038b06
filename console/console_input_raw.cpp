// Raw-mode line input: the console's own line editing, or, when standard input is a file
// or pipe, the stream split into lines here. What a redirected read brings in after the
// line it ends is kept, with its length, for the next call.
#include "console/console.h"
#include "console/console_input.h"
#include "console/console_input_limits.h"
#include "platform/heap/heap.h"
#include "runtime/heaps.h"
#include "runtime/strings.h"

#include <cstring>

namespace {

// The area of one line in ResultBuffer while it is gathered.
struct LineArea {
  int32_t offset;
  char* q;
  int32_t capacity;
  int32_t len;
};

// Position of the first CR or LF in q[scan] to q[len - 1], or -1.
int32_t find_line_end(const char* q, int32_t scan, int32_t len) {
  for (int32_t i = scan; i < len; ++i) {
    unsigned char c = static_cast<unsigned char>(q[i]);
    if (c <= '\r' && (c == '\r' || c == '\n')) return i;
  }
  return -1;
}

// New gathered bytes at q[len] (count of them). When the last line ended with a CR, an
// LF that comes first belongs to that line end and is dropped. Returns the bytes kept.
int32_t take_line_feed_of_last_line(char* at, int32_t count) {
  if (ConsoleState.pending_after_cr == 0 || count == 0) return count;
  ConsoleState.pending_after_cr = 0;
  if (at[0] != '\n') return count;
  memmove(at, at + 1, static_cast<size_t>(count - 1));
  return count - 1;
}

// Keeps q[after] to q[len - 1] for the next call. If no block can be had, the remainder
// is dropped: nothing is written through a null pointer.
void keep_remainder(const char* q, int32_t after, int32_t len) {
  int32_t rest = len - after;
  if (rest <= 0) return;
  char* block = static_cast<char*>(HeapAlloc(MainHeap, 0, static_cast<size_t>(rest) + 1));
  if (block == nullptr) return;
  memcpy(block, q + after, static_cast<size_t>(rest));
  block[rest] = '\0';
  ConsoleState.pending_input = block;
  ConsoleState.pending_length = rest;
}

// The kept remainder into the line's area, which then holds nothing else.
void take_pending(LineArea* line) {
  char* pending = ConsoleState.pending_input;
  int32_t length = ConsoleState.pending_length;
  ConsoleState.pending_input = nullptr;
  ConsoleState.pending_length = 0;
  if (pending == nullptr) return;
  if (length > line->capacity) {
    char* grown = result_buffer_reserve(length + LINE_READ_CHUNK, line->offset);
    if (grown != nullptr) {
      line->q = grown;
      line->capacity = length + LINE_READ_CHUNK;
    } else {
      length = 0;  // cannot be placed: dropped like a remainder without a block
    }
  }
  memcpy(line->q, pending, static_cast<size_t>(length));
  line->len = take_line_feed_of_last_line(line->q, length);
  HeapFree(MainHeap, 0, pending);
}

// One line from the redirected stream into line; the caller holds input_lock.
void read_redirected_line(LineArea* line) {
  take_pending(line);
  int32_t room = line->capacity - line->len;
  int32_t scan = 0;
  for (;;) {
    char* q = line->q;
    int32_t end = find_line_end(q, scan, line->len);
    if (end >= 0) {
      int32_t after = end + 1;
      if (q[end] == '\r') {
        if (after < line->len) {
          if (q[after] == '\n') after++;
        } else {
          // Its LF, if any, has not come yet: the next gathered byte decides.
          ConsoleState.pending_after_cr = 1;
        }
      }
      keep_remainder(q, after, line->len);
      line->len = end;
      return;
    }
    scan = line->len;
    if (room < LINE_READ_MIN_ROOM) {
      char* grown = result_buffer_reserve(line->len + LINE_READ_CHUNK, line->offset);
      if (grown != nullptr) {
        line->q = grown;
        line->capacity = line->len + LINE_READ_CHUNK;
        room = LINE_READ_CHUNK;
      } else if (room == 0) {
        return;  // the area cannot grow: the line is what fits, the rest comes next
      }
    }
    DWORD count = 0;
    BOOL ok = ReadFile(ConsoleState.input_handle, line->q + line->len, static_cast<DWORD>(room),
                       &count, nullptr);
    if (ok && count > 0) {
      int32_t kept = take_line_feed_of_last_line(line->q + line->len, static_cast<int32_t>(count));
      line->len += kept;
      room -= kept;
      continue;
    }
    if (ok || GetLastError() == ERROR_BROKEN_PIPE) {
      // The end of the file, or a pipe whose writer has gone: no LF can follow now.
      ConsoleState.pending_after_cr = 0;
      if (line->len == 0) {
        line->q[0] = INPUT_END_CHAR;
        line->len = 1;
      }
    }
    return;
  }
}

}  // namespace

char* console_read_line_raw(int32_t offset) {
  LineArea line = {offset, result_buffer_reserve(LINE_READ_CHUNK, offset), LINE_READ_CHUNK, 0};
  if (line.q == nullptr) return nullptr;
  SetConsoleMode(ConsoleState.input_handle, CONSOLE_LINE_INPUT_MODE);
  DWORD count = 0;
  if (ReadConsoleA(ConsoleState.input_handle, line.q, LINE_READ_CHUNK, &count, nullptr)) {
    line.len = static_cast<int32_t>(count);
    if (line.len >= 2 && line.q[line.len - 2] == '\r') line.len -= 2;
    if (line.len == 1 && line.q[0] == CONSOLE_CTRL_Z) line.q[0] = INPUT_END_CHAR;
  } else {
    EnterCriticalSection(&ConsoleState.input_lock);
    read_redirected_line(&line);
    LeaveCriticalSection(&ConsoleState.input_lock);
  }
  result_buffer_release(line.capacity - line.len);
  line.q[line.len] = '\0';
  return line.q;
}
