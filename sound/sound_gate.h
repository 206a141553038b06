// The gate every public sound operation passes: shut-down closes it, waits for the calls
// under way to leave, and from then on the operations are refused without touching the
// audio layer. A call made from inside another (the table's release callback during a
// load, sound_stop inside sound_play) always passes, so nesting cannot deadlock.
#pragma once

#include "platform/base/platform_types.h"

// Opens a closed gate for a new session; false while a shut-down is under way.
bool sound_gate_open();
// Enter before touching sound state; false means refused, and nothing must be done.
bool sound_gate_enter();
void sound_gate_leave();
// Closes the gate and waits until no call is under way; the calling thread then holds it
// (its own sound calls pass) until sound_gate_finish_close. False if the gate was not open.
bool sound_gate_close();
void sound_gate_finish_close();

// What the gate holds now, for tests: calls under way, and whether new ones are let in.
int32_t sound_gate_calls_in_progress();
bool sound_gate_is_open();

// Scoped pass through the gate.
class SoundCall {
 public:
  SoundCall() : entered_(sound_gate_enter()) {}
  ~SoundCall() {
    if (entered_) sound_gate_leave();
  }
  SoundCall(const SoundCall&) = delete;
  SoundCall& operator=(const SoundCall&) = delete;
  explicit operator bool() const { return entered_; }

 private:
  bool entered_;
};
