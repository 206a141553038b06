// The gate is a count of calls in progress beside a state word. An entering call counts
// itself first and then looks at the state; shut-down sets the state first and then
// waits for the count. With both steps sequentially consistent, either the call sees the
// gate closing and backs out, or shut-down sees the call and waits for it.
#include "sound/sound_gate.h"

#include <atomic>

#include "platform/thread/thread.h"

namespace {

enum GateState { GATE_CLOSED = 0, GATE_OPEN = 1, GATE_CLOSING = 2 };

std::atomic<int32_t> gate_state{GATE_CLOSED};
std::atomic<int32_t> calls_in_progress{0};
// How deep the current thread is inside sound calls (or 1 for the closing thread).
thread_local int32_t gate_depth = 0;

}  // namespace

bool sound_gate_open() {
  int32_t expected = GATE_CLOSED;
  if (gate_state.compare_exchange_strong(expected, GATE_OPEN)) return true;
  return expected == GATE_OPEN;
}

bool sound_gate_enter() {
  if (gate_depth > 0) {
    gate_depth++;
    return true;
  }
  calls_in_progress.fetch_add(1);
  if (gate_state.load() != GATE_OPEN) {
    calls_in_progress.fetch_sub(1);
    return false;
  }
  gate_depth = 1;
  return true;
}

void sound_gate_leave() {
  if (--gate_depth == 0) calls_in_progress.fetch_sub(1);
}

bool sound_gate_close() {
  int32_t expected = GATE_OPEN;
  if (!gate_state.compare_exchange_strong(expected, GATE_CLOSING)) return false;
  // A shut-down started from inside a sound call must not wait for itself.
  int32_t own = gate_depth > 0 ? 1 : 0;
  while (calls_in_progress.load() > own) Sleep(1);
  gate_depth++;
  return true;
}

void sound_gate_finish_close() {
  gate_depth--;
  gate_state.store(GATE_CLOSED);
}

int32_t sound_gate_calls_in_progress() { return calls_in_progress.load(); }

bool sound_gate_is_open() { return gate_state.load() == GATE_OPEN; }
