// The monitor's top level: start-up, the endless loop, and the library end routine that
// the console runs when its window is closed.
#pragma once

#include "platform/base/platform_types.h"

extern HINSTANCE ProgramInstance;
extern int32_t LastProbeResult;

[[noreturn]] void monitor_main();
void monitor_end_libraries();
// One pass of the loop (everything but the pause): clear, probe, show the outcome.
void monitor_pass();
