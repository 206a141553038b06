// The monitor's pause, with the timer resolution raised only while it sleeps.
#include "runtime/delay.h"

#include "platform/thread/thread.h"

void runtime_delay(uint32_t ms) {
  timeBeginPeriod(1);
  Sleep(ms);
  timeEndPeriod(1);
}
