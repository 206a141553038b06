// Start-up in its fixed order, then one probe per pass for the rest of the process's life.
#include "app/monitor.h"

#include "app/alarm_clip.h"
#include "app/echo_probe.h"
#include "app/monitor_constants.h"
#include "console/console.h"
#include "platform/heap/heap.h"
#include "platform/module/module.h"
#include "runtime/delay.h"
#include "runtime/heaps.h"
#include "runtime/strings.h"
#include "sound/decoders/vorbis_decoder.h"
#include "sound/sound.h"

HINSTANCE ProgramInstance = 0;
int32_t LastProbeResult = 0;

void monitor_end_libraries() { sound_shutdown(); }

void monitor_pass() {
  console_clear();
  LastProbeResult = echo_probe(PROBE_TARGET, PROBE_TIMEOUT_MS);
  if (LastProbeResult < 0) {
    console_set_color(ALARM_FOREGROUND, STATUS_BACKGROUND);
    console_print_line("");
    console_print_line(ALARM_LINE);
    sound_play(ALARM_SOUND_NUMBER, 0, -1);
  } else {
    console_set_color(ALL_WELL_FOREGROUND, STATUS_BACKGROUND);
    console_print_line("");
    console_print_line(ALL_WELL_LINE);
  }
}

void monitor_main() {
  MainHeap = 0;
  ProgramInstance = 0;
  LastProbeResult = 0;
  ProgramInstance = GetModuleHandleA(nullptr);
  MainHeap = HeapCreate(0, 4096, 0);
  string_manager_init();
  vorbis_decoder_register();
  sound_init();
  sound_load_memory(ALARM_SOUND_NUMBER, ALARM_CLIP, static_cast<int32_t>(ALARM_CLIP_SIZE), 0);
  console_open();
  console_set_title(CONSOLE_TITLE);
  console_set_graphical(1);
  for (;;) {
    monitor_pass();
    runtime_delay(MONITOR_PAUSE_MS);
  }
}
