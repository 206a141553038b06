// The real device end to end: the mixer plays through SDL into a private PulseAudio
// server's null sink, parec records the sink's monitor, and the recording must hold the
// sounds played, at their pitch, level and length. Between the two sounds the output sits
// idle long enough to close, so the second one also shows that reopening loses nothing.
#include "platform/audio/audio_backend.h"
#include "platform/module/module.h"
#include "tests/platform/audio/audio_test_support.h"
#include "tests/platform/audio/private_pulse.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

// SDL's PulseAudio device-watching thread leaves a few of libpulse's operation records
// unreleased when the subsystem quits; that is not this program's memory.
extern "C" const char* __lsan_default_suppressions() { return "leak:libpulse.so\n"; }

namespace {

class PulseDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(pulse.start(), "");
    audio_select_backend(AUDIO_BACKEND_DEVICE);
  }
  void TearDown() override { pulse.stop(); }
  int sink_inputs() {
    std::string listed = pulse_run("pactl list short sink-inputs");
    int lines = 0;
    for (char c : listed) lines += c == '\n';
    return lines;
  }
  std::vector<int16_t> recording() { return pulse.recording(); }
  PrivatePulse pulse;
};

// Runs of sound in the left channel: [first frame, end frame) pairs, split where the
// signal stays near zero for a tenth of a second.
std::vector<std::pair<size_t, size_t>> bursts(const std::vector<int16_t>& stereo) {
  std::vector<std::pair<size_t, size_t>> found;
  size_t frames = stereo.size() / 2;
  size_t quiet = 0;
  bool inside = false;
  for (size_t i = 0; i < frames; ++i) {
    bool loud = std::abs(stereo[2 * i]) > 300;
    if (loud) {
      if (!inside) found.push_back({i, i + 1});
      inside = true;
      quiet = 0;
      found.back().second = i + 1;
    } else if (inside && ++quiet > 4800) {
      inside = false;
    }
  }
  return found;
}

// The frames of one burst without the gaps a sound server fills with exact silence when a
// client falls behind (a heavily loaded machine): those delay samples but lose none, so
// the rest must still join up into the whole sound.
std::vector<int16_t> without_gaps(const std::vector<int16_t>& stereo, std::pair<size_t, size_t> burst) {
  std::vector<int16_t> kept;
  size_t i = burst.first;
  while (i < burst.second) {
    size_t run = 0;
    while (i + run < burst.second && stereo[2 * (i + run)] == 0 && stereo[2 * (i + run) + 1] == 0) ++run;
    if (run >= 2) {
      i += run;
      continue;
    }
    kept.push_back(stereo[2 * i]);
    kept.push_back(stereo[2 * i + 1]);
    ++i;
  }
  return kept;
}

// Plays a buffer once and waits for it to finish; the wait's bound only keeps a broken
// device from hanging the test.
void play_to_end(IDirectSoundBuffer* buffer) {
  ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
  DWORD status = DSBSTATUS_PLAYING;
  DWORD last = 0;
  bool moved = false;
  for (int i = 0; i < 1000 && (status & DSBSTATUS_PLAYING); ++i) {
    usleep(10000);
    DWORD play = 0;
    buffer->GetCurrentPosition(&play, nullptr);
    buffer->GetStatus(&status);
    if (status & DSBSTATUS_PLAYING) {
      EXPECT_GE(play, last);  // the clock only moves forward during a once-play
      moved = moved || play > 0;
      last = play;
    }
  }
  EXPECT_EQ(status, 0u);
  EXPECT_TRUE(moved);
}

TEST_F(PulseDevice, SoundsReachTheSinkAtTheirPitchLevelAndLength) {
  ASSERT_EQ(pulse.record(), "");
  HMODULE library = LoadLibraryA("DSOUND.DLL");
  ASSERT_NE(library, 0);
  auto create = reinterpret_cast<DirectSoundCreateProc>(GetProcAddress(library, "DirectSoundCreate"));
  ASSERT_NE(create, nullptr);
  IDirectSound* device = nullptr;
  ASSERT_EQ(create(nullptr, &device, nullptr), DS_OK);
  ASSERT_EQ(device->SetCooperativeLevel(1, DSSCL_PRIORITY), DS_OK);
  EXPECT_TRUE(audio_output_open(device));
  EXPECT_EQ(sink_inputs(), 1);

  // One second of 440 Hz, mono 48000 Hz at half scale, played at -6.03 dB.
  std::vector<int16_t> low = sine_samples(48000, 1, 48000, 440, 0.5);
  WAVEFORMATEX mono = pcm_format(1, 48000, 16);
  DSBUFFERDESC description = secondary_description(&mono, 96000);
  IDirectSoundBuffer* first = nullptr;
  ASSERT_EQ(device->CreateSoundBuffer(&description, &first, nullptr), DS_OK);
  ASSERT_TRUE(write_buffer(first, low.data(), 96000));
  ASSERT_EQ(first->SetVolume(-603), DS_OK);
  play_to_end(first);

  // Nothing plays: the output closes by itself, and the server sees the stream go.
  for (int i = 0; i < 1000 && audio_output_open(device); ++i) usleep(10000);
  EXPECT_FALSE(audio_output_open(device));
  EXPECT_EQ(sink_inputs(), 0);

  // Half a second of 880 Hz, stereo 44100 Hz: resampled, and opens the output again.
  std::vector<int16_t> high = sine_samples(22050, 2, 44100, 880, 0.4);
  WAVEFORMATEX stereo = pcm_format(2, 44100, 16);
  description = secondary_description(&stereo, 22050 * 4);
  IDirectSoundBuffer* second = nullptr;
  ASSERT_EQ(device->CreateSoundBuffer(&description, &second, nullptr), DS_OK);
  ASSERT_TRUE(write_buffer(second, high.data(), 22050 * 4));
  play_to_end(second);
  EXPECT_TRUE(audio_output_open(device));
  usleep(300000);  // the last pull's frames are still on their way through the server
  pulse.stop_record();

  std::vector<int16_t> recorded = recording();
  std::vector<std::pair<size_t, size_t>> found = bursts(recorded);
  ASSERT_EQ(found.size(), 2u);
  std::vector<int16_t> sound = without_gaps(recorded, found[0]);
  EXPECT_NEAR(static_cast<double>(sound.size() / 2), 48000.0, 480.0);
  double level = 0.5 * 32767 * std::pow(10.0, -603 / 2000.0) / std::sqrt(2.0);
  EXPECT_NEAR(channel_frequency(sound, 2, 0, 2400, 43200, 48000), 440.0, 1.0);
  EXPECT_NEAR(channel_rms(sound, 2, 0, 2400, 43200), level, 0.02 * level);
  EXPECT_NEAR(channel_rms(sound, 2, 1, 2400, 43200), level, 0.02 * level);

  sound = without_gaps(recorded, found[1]);
  EXPECT_NEAR(static_cast<double>(sound.size() / 2), 24000.0, 480.0);  // nothing lost at the reopen
  EXPECT_NEAR(channel_frequency(sound, 2, 0, 2400, 19200, 48000), 880.0, 2.0);
  level = 0.4 * 32767 / std::sqrt(2.0);
  EXPECT_NEAR(channel_rms(sound, 2, 0, 2400, 19200), level, 0.02 * level);

  first->Release();
  second->Release();
  device->Release();
  FreeLibrary(library);
}

}  // namespace
