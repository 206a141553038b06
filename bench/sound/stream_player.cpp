// Plays one Ogg Vorbis file through the sound layer as a streaming sound on the real
// device, to its end, and reports the CPU time the process used.
//   sound_stream_player FILE
#include <sys/resource.h>

#include <cstdio>
#include <vector>

#include "platform/audio/audio_backend.h"
#include "platform/heap/heap.h"
#include "platform/module/module.h"
#include "platform/thread/thread.h"
#include "runtime/heaps.h"
#include "sound/decoders/vorbis_decoder.h"
#include "sound/sound.h"
#include "sound/sound_state.h"

HINSTANCE ProgramInstance = 0;

namespace {

double cpu_seconds() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  FILE* file = std::fopen(argv[1], "rb");
  if (file == nullptr) return 1;
  std::vector<uint8_t> image;
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) image.insert(image.end(), chunk, chunk + n);
  std::fclose(file);

  MainHeap = HeapCreate(0, 4096, 0);
  ProgramInstance = GetModuleHandleA(nullptr);
  vorbis_decoder_register();
  audio_select_backend(AUDIO_BACKEND_DEVICE);
  if (sound_init() == 0) {
    std::fprintf(stderr, "no audio device\n");
    return 1;
  }
  if (sound_load_memory(1, image.data(), static_cast<int32_t>(image.size()), SOUND_LOAD_STREAM) == 0) {
    std::fprintf(stderr, "cannot load %s\n", argv[1]);
    return 1;
  }
  SoundEntry* entry = sound_find(1);
  sound_play(1, 0, -1);
  while (entry->stream_running.load() == 1) Sleep(50);
  sound_shutdown();
  std::printf("cpu_seconds %.3f\n", cpu_seconds());
  return 0;
}
