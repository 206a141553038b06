// A streaming sound through the real device: SDL plays into a private PulseAudio server's
// null sink, parec records the sink's monitor, and the recording must hold the whole
// stream, every sample once and in order, then silence.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/audio/audio_backend.h"
#include "platform/thread/thread.h"
#include "sound/sound.h"
#include "sound/sound_state.h"
#include "tests/platform/audio/private_pulse.h"
#include "tests/sound/sound_test_support.h"

// SDL's PulseAudio device-watching thread leaves a few of libpulse's operation records
// unreleased when the subsystem quits; that is not this program's memory.
extern "C" const char* __lsan_default_suppressions() { return "leak:libpulse.so\n"; }

namespace {

class PulseStreaming : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(pulse.start(), "");
    sound_test_prepare();
    audio_select_backend(AUDIO_BACKEND_DEVICE);
    ASSERT_NE(sound_init(), 0);
  }
  void TearDown() override {
    sound_shutdown();
    pulse.stop();
  }
  Samples recording() { return pulse.recording(); }
  PrivatePulse pulse;
};

// The recording without runs of exact silence of 64 frames or more: a late device
// callback makes the server insert such a gap, which is not the sound layer's doing. The
// stream itself never holds such a run (its signal carries noise).
Samples without_gaps(const Samples& stereo) {
  Samples out;
  size_t frames = stereo.size() / 2;
  size_t f = 0;
  while (f < frames) {
    size_t run = 0;
    while (f + run < frames && stereo[2 * (f + run)] == 0 && stereo[2 * (f + run) + 1] == 0) run++;
    if (run >= 64) {
      f += run;
      continue;
    }
    size_t keep = run > 0 ? run : 1;
    out.insert(out.end(), stereo.begin() + 2 * f, stereo.begin() + 2 * (f + keep));
    f += keep;
  }
  return out;
}

size_t first_loud(const Samples& samples, size_t step) {
  for (size_t i = 0; i < samples.size(); i += step) {
    if (std::abs(samples[i]) > 200) return i / step;
  }
  return samples.size();
}

TEST_F(PulseStreaming, TheWholeStreamReachesTheSinkOnceAndInOrder) {
  // 48000 Hz mono, about four and a half ring buffers long.
  Bytes ogg = encode_vorbis({1, 48000, 150000, 41});
  Samples decoded = decode_whole(ogg);
  ASSERT_EQ(decoded.size(), 150000u);
  ASSERT_NE(sound_load_memory(1, ogg.data(), static_cast<int32_t>(ogg.size()), SOUND_LOAD_STREAM), 0);
  SoundEntry* entry = entry_of(1);
  ASSERT_EQ(pulse.record(), "");
  sound_play(1, 0, -1);
  // The bound only keeps a broken device from hanging the test.
  for (int i = 0; i < 3000 && entry->stream_running.load() == 1; i++) Sleep(10);
  EXPECT_EQ(entry->stream_running.load(), 0);
  Sleep(300);
  ASSERT_EQ(pulse.stop_record(), "");

  Samples recorded = without_gaps(recording());
  size_t start_recorded = first_loud(recorded, 2);
  size_t start_decoded = first_loud(decoded, 1);
  ASSERT_LT(start_recorded, recorded.size() / 2) << "nothing reached the sink";
  ASSERT_GE(start_recorded, start_decoded);
  size_t offset = start_recorded - start_decoded;
  ASSERT_LE((offset + decoded.size()) * 2, recorded.size()) << "the recording ends early";

  // Sample for sample, both channels; a lost, repeated or stale half would show as a
  // run of large differences.
  size_t differing = 0;
  int worst = 0;
  for (size_t f = 0; f < decoded.size(); f++) {
    for (int c = 0; c < 2; c++) {
      int d = std::abs(recorded[2 * (offset + f) + c] - decoded[f]);
      if (d > 2) differing++;
      if (d > worst) worst = d;
    }
  }
  EXPECT_EQ(differing, 0u) << "worst difference " << worst;
  // Then nothing but silence.
  for (size_t i = 2 * (offset + decoded.size()); i < recorded.size(); i++) {
    ASSERT_LE(std::abs(recorded[i]), 2) << "sound after the end, frame " << i / 2 - offset;
  }
}

}  // namespace
