// The sound layer started as the monitor starts it, with the alarm clip loaded, for a
// while; reports the process's CPU time, for idle_cpu.sh.
//   sound_idle_probe SECONDS idle|open
// idle: nothing plays. open: the clip loops at volume 0, which keeps the output open the
// whole time (the cost the idle close avoids).
#include "bench/audio/idle_measure.h"
#include "app/alarm_clip.h"
#include "platform/heap/heap.h"
#include "platform/module/module.h"
#include "runtime/heaps.h"
#include "runtime/strings.h"
#include "sound/decoders/vorbis_decoder.h"
#include "sound/sound.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

HINSTANCE ProgramInstance = 0;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SECONDS idle|open\n", argv[0]);
    return 2;
  }
  int seconds = std::atoi(argv[1]);
  bool keep_open = std::strcmp(argv[2], "open") == 0;
  double wall_start = idle_wall_seconds();
  ProgramInstance = GetModuleHandleA(nullptr);
  MainHeap = HeapCreate(0, 4096, 0);
  string_manager_init();
  vorbis_decoder_register();
  if (sound_init() == 0 || sound_load_memory(0, ALARM_CLIP, static_cast<int32_t>(ALARM_CLIP_SIZE), 0) == 0) {
    std::fprintf(stderr, "no audio output\n");
    return 1;
  }
  if (keep_open) sound_play(0, SOUND_PLAY_LOOP, 0);
  idle_measure_until(wall_start, seconds);
  return 0;
}
