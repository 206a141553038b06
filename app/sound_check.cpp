// ostrelin-sound-check: plays the alarm clip once through the same sound layer as the
// monitor, and says whether an audio device was opened, so a user can tell "no sound"
// apart from "no alarm".
#include <cstdio>

#include "app/alarm_clip.h"
#include "platform/audio/audio_backend.h"
#include "platform/heap/heap.h"
#include "platform/module/module.h"
#include "platform/thread/thread.h"
#include "runtime/heaps.h"
#include "runtime/strings.h"
#include "sound/decoders/vorbis_decoder.h"
#include "sound/sound.h"
#include "sound/sound_state.h"

HINSTANCE ProgramInstance = 0;

namespace {

constexpr DWORD CLIP_PLAY_MS = 1260;
constexpr DWORD PLAY_WAIT_STEP_MS = 20;
constexpr DWORD PLAY_WAIT_LIMIT_MS = 5000;

// Waits for the clip to finish so the process does not cut it short.
void wait_for_clip(IDirectSoundBuffer* buffer) {
  Sleep(CLIP_PLAY_MS);
  for (DWORD waited = 0; waited < PLAY_WAIT_LIMIT_MS; waited += PLAY_WAIT_STEP_MS) {
    DWORD status = 0;
    if (buffer->GetStatus(&status) != DS_OK || (status & DSBSTATUS_PLAYING) == 0) return;
    Sleep(PLAY_WAIT_STEP_MS);
  }
}

}  // namespace

int main(int argc, char**) {
  if (argc > 1) {
    std::fprintf(stderr, "usage: ostrelin-sound-check\n");
    return 2;
  }
  ProgramInstance = GetModuleHandleA(nullptr);
  MainHeap = HeapCreate(0, 4096, 0);
  string_manager_init();
  vorbis_decoder_register();

  if (sound_init() == 0 || SoundDevice == nullptr) {
    std::printf("No audio device could be opened: the monitor runs silently here.\n"
                "Check that a sound server runs (pactl info, or wpctl status) or that\n"
                "an ALSA device exists (aplay -l).\n");
    return 1;
  }
  if (sound_load_memory(0, ALARM_CLIP, static_cast<int32_t>(ALARM_CLIP_SIZE), 0) == 0) {
    std::printf("The audio device was found but refused the alarm clip.\n");
    sound_shutdown();
    return 1;
  }
  if (sound_play(0, 0, -1) != 1 || !audio_output_open(SoundDevice)) {
    std::printf("The audio device was found but could not be opened for playback.\n");
    sound_shutdown();
    return 1;
  }
  std::printf("Audio device opened: playing the alarm clip once (1.3 s)...\n");
  std::fflush(stdout);
  SoundEntry* entry = sound_find(0);
  if (entry != nullptr) wait_for_clip(entry->buffer);
  sound_shutdown();
  std::printf("Done. If you heard nothing, check the volume and the output your sound\n"
              "server plays to.\n");
  return 0;
}
