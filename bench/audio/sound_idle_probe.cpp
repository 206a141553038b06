// The sound layer started as the monitor starts it, with the alarm clip loaded, for a
// while; reports the process's CPU time, for idle_cpu.sh.
//   sound_idle_probe SECONDS idle|open
// idle: nothing plays. open: the clip loops at volume 0, which keeps the output open the
// whole time (the cost the idle close avoids).
#include "app/alarm_clip.h"
#include "platform/heap/heap.h"
#include "platform/module/module.h"
#include "runtime/heaps.h"
#include "runtime/strings.h"
#include "sound/decoders/vorbis_decoder.h"
#include "sound/sound.h"

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

HINSTANCE ProgramInstance = 0;

namespace {

double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double wall_seconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SECONDS idle|open\n", argv[0]);
    return 2;
  }
  int seconds = std::atoi(argv[1]);
  bool keep_open = std::strcmp(argv[2], "open") == 0;
  double wall_start = wall_seconds();
  ProgramInstance = GetModuleHandleA(nullptr);
  MainHeap = HeapCreate(0, 4096, 0);
  string_manager_init();
  vorbis_decoder_register();
  if (sound_init() == 0 || sound_load_memory(0, ALARM_CLIP, static_cast<int32_t>(ALARM_CLIP_SIZE), 0) == 0) {
    std::fprintf(stderr, "no audio output\n");
    return 1;
  }
  if (keep_open) sound_play(0, SOUND_PLAY_LOOP, 0);
  // After SETTLE_SECONDS an idle output has closed: from then on is the steady cost.
  constexpr double SETTLE_SECONDS = 5;
  double settle = SETTLE_SECONDS - (wall_seconds() - wall_start);
  if (settle > 0) usleep(static_cast<useconds_t>(settle * 1e6));
  double settled_cpu = cpu_seconds(), settled_wall = wall_seconds();
  double remaining = seconds - (wall_seconds() - wall_start);
  if (remaining > 0) usleep(static_cast<useconds_t>(remaining * 1e6));
  std::printf("cpu_seconds=%.4f steady_cpu_per_second=%.6f wall_seconds=%.3f\n", cpu_seconds(),
              (cpu_seconds() - settled_cpu) / (wall_seconds() - settled_wall), wall_seconds() - wall_start);
  return 0;
}
