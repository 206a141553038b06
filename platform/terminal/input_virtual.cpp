// The in-memory console's input: keys come only from what tests queue, and a line is
// edited from the queued key presses with echo onto the in-memory screen.
#include "platform/terminal/input_source.h"
#include "platform/terminal/terminal_backend.h"

#include <cstring>
#include <string>

namespace {

constexpr char CTRL_D = 4;
constexpr char CTRL_Z = 26;

// What tests typed and key reads have not taken yet, guarded by the queue's lock.
std::string typed;
size_t typed_taken = 0;

bool virtual_wait_keys(int) { return false; }

// Once everything typed is taken, no one will type more.
ssize_t virtual_read_keys(uint8_t* bytes, size_t count) {
  size_t left = typed.size() - typed_taken;
  if (left == 0) return -1;
  size_t n = left < count ? left : count;
  memcpy(bytes, typed.data() + typed_taken, n);
  typed_taken += n;
  if (typed_taken == typed.size()) {
    typed.clear();
    typed_taken = 0;
  }
  return static_cast<ssize_t>(n);
}

void echo(const char* bytes, DWORD count) {
  DWORD written = 0;
  WriteConsoleA(terminal_handle_of(1), bytes, count, &written, nullptr);
}

BOOL virtual_read_line(char* bytes, DWORD count, DWORD* read_count) {
  terminal_session_lock();
  DWORD mode = terminal_session.input_mode;
  terminal_session_unlock();
  bool editing = (mode & ENABLE_LINE_INPUT) != 0;
  bool echoing = editing && (mode & ENABLE_ECHO_INPUT) != 0;
  DWORD length = 0;
  bool ended = false;
  input_queue_lock();
  INPUT_RECORD record;
  while (!ended && input_queue_take_gathering(&VIRTUAL_INPUT_SOURCE, &record)) {
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) continue;
    char c = record.Event.KeyEvent.uChar.AsciiChar;
    if (c == 0) continue;
    if (!editing) {
      bytes[length++] = c;
      if (length == count) break;
      continue;
    }
    if (c == '\r' || c == '\n') {
      if (echoing) echo("\r\n", 2);
      ended = true;
    } else if (c == 8) {
      if (length > 0) {
        length--;
        if (echoing) echo("\b \b", 3);
      }
    } else if (c == CTRL_D) {
      break;  // at the start of a line the end of input, otherwise the line so far
    } else if (length < count) {
      bytes[length++] = c;
      if (echoing) echo(&c, 1);
    }
  }
  input_queue_unlock();
  if (editing && ended) {
    // A line that fills the whole read comes without its line end, as a long line does.
    if (length + 2 <= count) {
      bytes[length++] = '\r';
      bytes[length++] = '\n';
    }
  } else if (editing && length == 0) {
    // Nothing typed before the end of what was queued: end of input.
    const char line[] = {CTRL_Z, '\r', '\n'};
    for (DWORD i = 0; i < sizeof line && i < count; ++i) bytes[length++] = line[i];
  }
  *read_count = length;
  return TRUE;
}

}  // namespace

const InputSource VIRTUAL_INPUT_SOURCE = {virtual_wait_keys, virtual_read_keys,
                                          virtual_read_line};

void terminal_virtual_type(const char* bytes, size_t length) {
  input_queue_lock();
  input_queue_use_virtual();
  typed.append(bytes, length);
  input_queue_unlock();
}

void terminal_virtual_clear_input() {
  input_queue_lock();
  input_queue_clear();
  typed.clear();
  typed_taken = 0;
  input_queue_unlock();
}
