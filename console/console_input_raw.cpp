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
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The area of one line in ResultBuffer while it is gathered.
struct LineArea {
  int32_t offset;
  char* q;
  int32_t capacity;
  int32_t len;
};

// Position of the first CR or LF in q[scan] to q[len - 1], or -1. Sixteen bytes are
// looked at in one step where the processor allows; never a byte past len.
int32_t find_line_end(const char* q, int32_t scan, int32_t len) {
  int32_t i = scan;
#if defined(__SSE2__)
  const __m128i line_feed = _mm_set1_epi8('\n');
  const __m128i carriage_return = _mm_set1_epi8('\r');
  for (; i + 16 <= len; i += 16) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + i));
    __m128i ends = _mm_or_si128(_mm_cmpeq_epi8(bytes, line_feed),
                                _mm_cmpeq_epi8(bytes, carriage_return));
    int mask = _mm_movemask_epi8(ends);
    if (mask != 0) return i + __builtin_ctz(static_cast<unsigned int>(mask));
  }
#endif
  for (; i < len; ++i) {
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
  ConsoleState.pending_start = 0;
  ConsoleState.pending_length = rest;
}

void drop_pending_block() {
  HeapFree(MainHeap, 0, ConsoleState.pending_input);
  ConsoleState.pending_input = nullptr;
  ConsoleState.pending_start = 0;
  ConsoleState.pending_length = 0;
}

// Where the line after the line end at position end of q (len bytes gathered) begins.
// A CR at the very end waits for the next gathered byte to decide.
int32_t after_line_end(const char* q, int32_t end, int32_t len) {
  int32_t after = end + 1;
  if (q[end] == '\r') {
    if (after < len) {
      if (q[after] == '\n') after++;
    } else {
      // Its LF, if any, has not come yet: the next gathered byte decides.
      ConsoleState.pending_after_cr = 1;
    }
  }
  return after;
}

// The kept remainder, first line first. When it holds a whole line that fits the area,
// that line goes into the area and the rest stays in the block where it is: a block of
// one read serves all its lines without being copied again for each; returns -1 then.
// Otherwise all of it goes into the area, which then holds nothing else, and the result
// is how many of those bytes are known to hold no line end.
int32_t take_pending(LineArea* line) {
  char* pending = ConsoleState.pending_input;
  if (pending == nullptr) return 0;
  char* rest = pending + ConsoleState.pending_start;
  int32_t length = ConsoleState.pending_length;
  if (ConsoleState.pending_after_cr != 0 && length > 0) {
    ConsoleState.pending_after_cr = 0;
    if (rest[0] == '\n') {
      rest++;
      length--;
    }
  }
  int32_t end = find_line_end(rest, 0, length);
  if (end >= 0 && end <= line->capacity) {
    int32_t after = after_line_end(rest, end, length);
    memcpy(line->q, rest, static_cast<size_t>(end));
    line->len = end;
    if (after < length) {
      ConsoleState.pending_start = static_cast<int32_t>(rest - pending) + after;
      ConsoleState.pending_length = length - after;
    } else {
      drop_pending_block();
    }
    return -1;
  }
  int32_t clean = end < 0 ? length : end;
  if (length > line->capacity) {
    char* grown = result_buffer_reserve(length + LINE_READ_CHUNK, line->offset);
    if (grown != nullptr) {
      line->q = grown;
      line->capacity = length + LINE_READ_CHUNK;
    } else {
      length = 0;  // cannot be placed: dropped like a remainder without a block
      clean = 0;
    }
  }
  memcpy(line->q, rest, static_cast<size_t>(length));
  line->len = length;
  drop_pending_block();
  return clean;
}

// One line from the redirected stream into line; the caller holds input_lock.
void read_redirected_line(LineArea* line) {
  int32_t scan = take_pending(line);
  if (scan < 0) return;
  int32_t room = line->capacity - line->len;
  for (;;) {
    char* q = line->q;
    int32_t end = find_line_end(q, scan, line->len);
    if (end >= 0) {
      int32_t after = after_line_end(q, end, line->len);
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
