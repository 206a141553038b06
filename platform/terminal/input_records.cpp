// The console's input records: the queue that key bytes are decoded into, the count that
// never waits, the read that waits for a record, and the line read.
#include "platform/terminal/input_decode.h"
#include "platform/terminal/input_source.h"
#include "platform/terminal/terminal_backend.h"
#include "platform/terminal/terminal_input.h"

#include <pthread.h>
#include <time.h>

#include <cstring>

namespace {

constexpr size_t QUEUE_CAPACITY = 512;
constexpr size_t RAW_CAPACITY = 256;
constexpr size_t DECODE_BATCH = 16;
// A wait for a record looks at the buffer size this often, as a resize comes as a signal
// to another thread and does not wake the wait.
constexpr int WAIT_SLICE_MS = 100;

struct InputState {
  pthread_mutex_t lock;
  INPUT_RECORD records[QUEUE_CAPACITY];
  size_t head;
  size_t count;
  uint8_t raw[RAW_CAPACITY];  // bytes read but not yet a whole key
  size_t raw_length;
  long raw_time_ms;  // when the last of them came
  const TerminalBackend* backend;  // the backend the queue belongs to
  bool size_seen;
  COORD size;
};

InputState input = {PTHREAD_MUTEX_INITIALIZER, {}, 0, 0, {}, 0, 0, nullptr, false, {0, 0}};

long now_ms() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
}

size_t free_records() { return QUEUE_CAPACITY - input.count; }

void clear_locked() {
  input.head = 0;
  input.count = 0;
  input.raw_length = 0;
  input.size_seen = false;
}

// With the queue locked: the source of standard input when it is the console, or null
// with the error set. Notes a change of the buffer size as a record.
const InputSource* console_source(HANDLE handle) {
  if (terminal_handle_stream(handle) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  terminal_session_lock();
  const TerminalBackend* backend = terminal_session.backend;
  bool console = terminal_stream_is_console(0);
  COORD size = {terminal_session.screen.width, terminal_session.screen.height};
  bool screen_ready = terminal_session.screen_ready;
  terminal_session_unlock();
  if (!console) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (backend != input.backend) {
    clear_locked();
    input.backend = backend;
  }
  if (screen_ready) {
    if (input.size_seen && (size.X != input.size.X || size.Y != input.size.Y) &&
        free_records() > 0) {
      INPUT_RECORD record{};
      record.EventType = WINDOW_BUFFER_SIZE_EVENT;
      record.Event.WindowBufferSizeEvent.dwSize = size;
      input_queue_push(record);
    }
    input.size = size;
    input.size_seen = true;
  }
  return backend == &VIRTUAL_TERMINAL_BACKEND ? &VIRTUAL_INPUT_SOURCE : &REAL_INPUT_SOURCE;
}

// Turns the whole keys among the raw bytes into records; final: no more bytes are coming
// soon, so an Escape waiting for the rest of a sequence is the key alone.
void decode_raw(bool final) {
  for (;;) {
    size_t room = free_records() / 2;
    if (room == 0 || input.raw_length == 0) return;
    DecodedKey keys[DECODE_BATCH];
    size_t key_count = 0;
    size_t used = input_decode_keys(input.raw, input.raw_length, final, keys,
                                    room < DECODE_BATCH ? room : DECODE_BATCH, &key_count);
    for (size_t i = 0; i < key_count; ++i) {
      input_queue_push_key(keys[i].virtual_key, keys[i].character, keys[i].control_state);
    }
    if (used == 0) return;
    memmove(input.raw, input.raw + used, input.raw_length - used);
    input.raw_length -= used;
  }
}

// Reads and decodes what the source has already sent. *gone: nothing more will come.
void gather(const InputSource* source, bool* gone) {
  *gone = false;
  for (;;) {
    bool filled = false;
    while (input.raw_length < RAW_CAPACITY) {
      ssize_t n = source->read_keys(input.raw + input.raw_length, RAW_CAPACITY - input.raw_length);
      if (n < 0) *gone = true;
      if (n <= 0) break;
      input.raw_length += static_cast<size_t>(n);
      input.raw_time_ms = now_ms();
      filled = input.raw_length == RAW_CAPACITY;
    }
    decode_raw(*gone || now_ms() - input.raw_time_ms >= INPUT_ESCAPE_WAIT_MS);
    // Bytes stay with the terminal while the queue is full.
    if (!filled || input.raw_length == RAW_CAPACITY) return;
  }
}

// Tests fill the queue before the first console call of a fresh in-memory console.
void use_virtual_queue() {
  if (input.backend == &VIRTUAL_TERMINAL_BACKEND) return;
  clear_locked();
  input.backend = &VIRTUAL_TERMINAL_BACKEND;
}

}  // namespace

void input_queue_lock() { pthread_mutex_lock(&input.lock); }
void input_queue_unlock() { pthread_mutex_unlock(&input.lock); }

bool input_queue_take(INPUT_RECORD* record) {
  if (input.count == 0) return false;
  *record = input.records[input.head];
  input.head = (input.head + 1) % QUEUE_CAPACITY;
  input.count--;
  return true;
}

bool input_queue_push(const INPUT_RECORD& record) {
  if (input.count == QUEUE_CAPACITY) return false;
  input.records[(input.head + input.count) % QUEUE_CAPACITY] = record;
  input.count++;
  return true;
}

bool input_queue_push_key(WORD virtual_key, char character, DWORD control_state) {
  if (free_records() < 2) return false;
  INPUT_RECORD record{};
  record.EventType = KEY_EVENT;
  KEY_EVENT_RECORD& key = record.Event.KeyEvent;
  key.bKeyDown = TRUE;
  key.wRepeatCount = 1;
  key.wVirtualKeyCode = virtual_key;
  key.uChar.UnicodeChar = 0;
  key.uChar.AsciiChar = character;
  key.dwControlKeyState = control_state;
  input_queue_push(record);
  key.bKeyDown = FALSE;
  input_queue_push(record);
  return true;
}

void input_queue_clear() { clear_locked(); }

BOOL GetNumberOfConsoleInputEvents(HANDLE handle, DWORD* count) {
  if (count == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *count = 0;
  input_queue_lock();
  const InputSource* source = console_source(handle);
  if (source != nullptr) {
    bool gone = false;
    gather(source, &gone);
    *count = static_cast<DWORD>(input.count);
  }
  input_queue_unlock();
  return source != nullptr ? TRUE : FALSE;
}

BOOL ReadConsoleInputA(HANDLE handle, INPUT_RECORD* records, DWORD length, DWORD* read) {
  if (read != nullptr) *read = 0;
  if (records == nullptr || length == 0 || read == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  input_queue_lock();
  for (;;) {
    const InputSource* source = console_source(handle);
    if (source == nullptr) break;
    bool gone = false;
    gather(source, &gone);
    if (input.count > 0) {
      DWORD taken = 0;
      while (taken < length && input_queue_take(&records[taken])) taken++;
      *read = taken;
      input_queue_unlock();
      return TRUE;
    }
    if (gone) {
      SetLastError(ERROR_HANDLE_EOF);
      break;
    }
    int timeout = WAIT_SLICE_MS;
    if (input.raw_length > 0) {
      long left = INPUT_ESCAPE_WAIT_MS - (now_ms() - input.raw_time_ms);
      timeout = left < 1 ? 1 : static_cast<int>(left);
    }
    input_queue_unlock();
    source->wait_keys(timeout);
    input_queue_lock();
  }
  input_queue_unlock();
  return FALSE;
}

BOOL ReadConsoleA(HANDLE handle, void* bytes, DWORD count, DWORD* read, void* input_control) {
  if (read != nullptr) *read = 0;
  if ((bytes == nullptr && count > 0) || read == nullptr || input_control != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  input_queue_lock();
  const InputSource* source = console_source(handle);
  input_queue_unlock();
  if (source == nullptr) return FALSE;
  if (count == 0) return TRUE;
  return source->read_line(static_cast<char*>(bytes), count, read);
}

bool input_queue_take_gathering(const InputSource* source, INPUT_RECORD* record) {
  if (input_queue_take(record)) return true;
  bool gone = false;
  gather(source, &gone);
  return input_queue_take(record);
}

void terminal_virtual_push_event(const INPUT_RECORD& record) {
  input_queue_lock();
  use_virtual_queue();
  // Behind every key typed before it.
  bool gone = false;
  gather(&VIRTUAL_INPUT_SOURCE, &gone);
  input_queue_push(record);
  input_queue_unlock();
}

void input_queue_use_virtual() { use_virtual_queue(); }
