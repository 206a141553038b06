// Alarm latency on the real device: from the sound_play call to the first audible sample
// of the alarm clip arriving from the sink's monitor, median of 20 plays. The baseline,
// measured in the same run, is the audio layer's own Play of a buffer holding the same
// samples, so the ratio shows what the sound layer adds.
//   sound_alarm_latency   (PULSE_SERVER must name a server with the null sink; see
//                          run_alarm_latency.sh)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/alarm_clip.h"
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

using Clock = std::chrono::steady_clock;
constexpr int kPlays = 20;

FILE* recorder = nullptr;

// Reads the monitor until a loud sample arrives; returns its arrival time.
Clock::time_point wait_for_sound() {
  int16_t block[256];
  for (;;) {
    size_t got = std::fread(block, sizeof(int16_t), 256, recorder);
    if (got == 0) return Clock::now();
    for (size_t i = 0; i < got; i++) {
      if (std::abs(block[i]) > 500) return Clock::now();
    }
  }
}

// Reads and drops the monitor for ms milliseconds' worth of frames.
void drain(int ms) {
  std::vector<int16_t> block(static_cast<size_t>(48 * ms) * 2);
  size_t left = block.size();
  while (left > 0) {
    size_t got = std::fread(block.data(), sizeof(int16_t), left, recorder);
    if (got == 0) return;
    left -= got;
  }
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return (values[values.size() / 2 - 1] + values[values.size() / 2]) / 2;
}

}  // namespace

int main() {
  MainHeap = HeapCreate(0, 4096, 0);
  ProgramInstance = GetModuleHandleA(nullptr);
  vorbis_decoder_register();
  audio_select_backend(AUDIO_BACKEND_DEVICE);
  if (sound_init() == 0 ||
      sound_load_memory(0, ALARM_CLIP, static_cast<int32_t>(ALARM_CLIP_SIZE), 0) == 0) {
    std::fprintf(stderr, "no audio device\n");
    return 1;
  }
  // The baseline buffer: a duplicate over the same samples, played straight.
  IDirectSoundBuffer* baseline = nullptr;
  SoundDevice->DuplicateSoundBuffer(sound_find(0)->buffer, &baseline);
  recorder = popen("parec --raw --format=s16le --rate=48000 --channels=2 --latency-msec=5 "
                   "--device=ostrelin_null.monitor 2>/dev/null", "r");
  if (recorder == nullptr || baseline == nullptr) return 1;
  drain(1000);

  std::vector<double> layer, direct;
  for (int i = 0; i < 2 * kPlays; i++) {
    bool through_layer = i % 2 == 0;
    Clock::time_point start = Clock::now();
    if (through_layer) {
      sound_play(0, 0, -1);
    } else {
      baseline->Stop();
      baseline->SetCurrentPosition(0);
      baseline->Play(0, 0, 0);
    }
    Clock::time_point heard = wait_for_sound();
    double ms = std::chrono::duration<double, std::milli>(heard - start).count();
    (through_layer ? layer : direct).push_back(ms);
    drain(2500);  // the clip's 1.26 s, then quiet as between two monitor passes
  }
  baseline->Release();
  pclose(recorder);
  sound_shutdown();
  double ours = median(layer), theirs = median(direct);
  std::printf("alarm latency, median of %d: sound_play %.1f ms, direct buffer Play %.1f ms, "
              "ratio %.2f\n", kPlays, ours, theirs, ours / theirs);
  return 0;
}
