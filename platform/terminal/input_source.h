// Inside the key input: where key bytes and edited lines come from (the real terminal or
// the in-memory console), and the queue of records both feed.
#pragma once

#include "platform/base/platform_types.h"
#include "platform/terminal/terminal_input.h"

#include <sys/types.h>

struct InputSource {
  // Waits up to timeout_ms for key bytes (0: not at all). False when none came.
  bool (*wait_keys)(int timeout_ms);
  // Key bytes already sent, without waiting, the terminal set up for single keys without
  // echo. > 0 bytes read, 0 none yet, -1 none will ever come (the terminal went away).
  ssize_t (*read_keys)(uint8_t* bytes, size_t count);
  // ReadConsoleA on this source.
  BOOL (*read_line)(char* bytes, DWORD count, DWORD* read);
};

extern const InputSource REAL_INPUT_SOURCE;
extern const InputSource VIRTUAL_INPUT_SOURCE;

// The queue of decoded records, guarded by its own lock (never the session lock while
// waiting). Records of one key press go in together.
void input_queue_lock();
void input_queue_unlock();
// With the queue locked: the front record, taken out; false when empty.
bool input_queue_take(INPUT_RECORD* record);
// With the queue locked: a key press and its release; false when the queue is full.
bool input_queue_push_key(WORD virtual_key, char character, DWORD control_state);
bool input_queue_push(const INPUT_RECORD& record);
void input_queue_clear();
// With the queue locked: the front record, reading and decoding what the source has
// already sent when the queue is empty; false when there is none.
bool input_queue_take_gathering(const InputSource* source, INPUT_RECORD* record);
// With the queue locked: the queue belongs to the in-memory console from now on.
void input_queue_use_virtual();
