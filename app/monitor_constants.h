// The monitor's fixed settings: there is no command line and no configuration.
#pragma once

#include <cstdint>

// A large anycast public DNS resolver that answers echo requests.
constexpr const char* PROBE_TARGET = "9.9.9.9";
constexpr uint32_t PROBE_TIMEOUT_MS = 2000;
constexpr uint32_t MONITOR_PAUSE_MS = 3000;
constexpr intptr_t ALARM_SOUND_NUMBER = 0;

constexpr const char* CONSOLE_TITLE = "Ostrelin";
constexpr const char* ALL_WELL_LINE = "    =:)";
constexpr const char* ALARM_LINE = "    (((((((( Drellomar )))))))";

constexpr int32_t ALL_WELL_FOREGROUND = 10;  // bright green
constexpr int32_t ALARM_FOREGROUND = 12;     // bright red
constexpr int32_t STATUS_BACKGROUND = 0;     // black
