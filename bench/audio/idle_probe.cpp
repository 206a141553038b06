// Runs the audio output for a while and reports the process's CPU time, for idle_cpu.sh.
//   audio_idle_probe SECONDS idle|open
// idle: the device object, the primary buffer and one loaded buffer the size of the alarm
// clip, nothing playing. open: the same, with a silent buffer looping, which keeps the
// output open the whole time (the cost the idle close avoids).
#include "platform/audio/dsound.h"
#include "platform/module/module.h"

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

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
  HMODULE library = LoadLibraryA("DSOUND.DLL");
  auto create = reinterpret_cast<DirectSoundCreateProc>(GetProcAddress(library, "DirectSoundCreate"));
  IDirectSound* device = nullptr;
  if (create == nullptr || create(nullptr, &device, nullptr) != DS_OK) {
    std::fprintf(stderr, "no audio output\n");
    return 1;
  }
  device->SetCooperativeLevel(1, DSSCL_PRIORITY);
  DSBUFFERDESC primary_description{};
  primary_description.dwSize = sizeof(primary_description);
  primary_description.dwFlags = DSBCAPS_PRIMARYBUFFER;
  IDirectSoundBuffer* primary = nullptr;
  device->CreateSoundBuffer(&primary_description, &primary, nullptr);

  WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 16000, 32000, 2, 16, 0};
  DSBUFFERDESC description{};
  description.dwSize = sizeof(description);
  description.dwFlags = 98530;
  description.dwBufferBytes = 40320;
  description.lpwfxFormat = &format;
  IDirectSoundBuffer* clip = nullptr;
  device->CreateSoundBuffer(&description, &clip, nullptr);
  void* region = nullptr;
  DWORD bytes = 0;
  clip->Lock(0, 40320, &region, &bytes, nullptr, nullptr, 0);
  std::memset(region, 0x11, bytes);
  clip->Unlock(region, bytes, nullptr, 0);
  if (keep_open) {
    clip->SetVolume(DSBVOLUME_MIN);
    clip->Play(0, 0, DSBPLAY_LOOPING);
  }
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
