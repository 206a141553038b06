// The millisecond pause of the monitor loop.
#pragma once

#include "platform/base/platform_types.h"

// Sleeps ms milliseconds with the timer resolution raised for the duration.
void runtime_delay(uint32_t ms);
