// Runs the audio output for a while and reports the process's CPU time, for idle_cpu.sh.
//   audio_idle_probe SECONDS idle|open
// idle: the device object, the primary buffer and one loaded buffer the size of the alarm
// clip, nothing playing. open: the same, with a silent buffer looping, which keeps the
// output open the whole time (the cost the idle close avoids).
#include "bench/audio/idle_measure.h"
#include "platform/audio/dsound.h"
#include "platform/module/module.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SECONDS idle|open\n", argv[0]);
    return 2;
  }
  int seconds = std::atoi(argv[1]);
  bool keep_open = std::strcmp(argv[2], "open") == 0;
  double wall_start = idle_wall_seconds();
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
  idle_measure_until(wall_start, seconds);
  return 0;
}
