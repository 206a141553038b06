// The mixer on the capture device: positions, play modes, volume, pan, frequency,
// duplicates, saturation, format refusals and locked regions, sample by sample.
#include "platform/audio/audio_backend.h"
#include "platform/audio/dsound_entry.h"
#include "tests/platform/audio/audio_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <numeric>

namespace {

class CaptureMixer : public ::testing::Test {
 protected:
  void SetUp() override {
    audio_select_backend(AUDIO_BACKEND_CAPTURE);
    ASSERT_EQ(DirectSoundCreate(nullptr, &device, nullptr), DS_OK);
    ASSERT_NE(device, nullptr);
  }
  void TearDown() override {
    for (IDirectSoundBuffer* buffer : buffers) buffer->Release();
    if (device != nullptr) device->Release();
    audio_select_backend(AUDIO_BACKEND_DEVICE);
  }

  IDirectSoundBuffer* make(WORD channels, DWORD rate, WORD bits, const void* data, DWORD bytes) {
    WAVEFORMATEX format = pcm_format(channels, rate, bits);
    DSBUFFERDESC description = secondary_description(&format, bytes);
    IDirectSoundBuffer* buffer = nullptr;
    EXPECT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), DS_OK);
    if (buffer == nullptr) return nullptr;
    buffers.push_back(buffer);
    if (data != nullptr) {
      EXPECT_TRUE(write_buffer(buffer, data, bytes));
    }
    return buffer;
  }
  IDirectSoundBuffer* make_stereo(const std::vector<int16_t>& samples) {
    return make(2, 48000, 16, samples.data(), static_cast<DWORD>(samples.size() * 2));
  }
  void release(IDirectSoundBuffer* buffer) {
    buffers.erase(std::find(buffers.begin(), buffers.end(), buffer));
    EXPECT_EQ(buffer->Release(), 0u);
  }
  IDirectSoundBuffer* duplicate(IDirectSoundBuffer* original) {
    IDirectSoundBuffer* copy = nullptr;
    EXPECT_EQ(device->DuplicateSoundBuffer(original, &copy), DS_OK);
    if (copy != nullptr) buffers.push_back(copy);
    return copy;
  }
  static std::vector<int16_t> render(size_t frames) {
    std::vector<int16_t> out(frames * 2, 12345);
    EXPECT_EQ(audio_capture_render(out.data(), frames), frames);
    return out;
  }
  static DWORD position(IDirectSoundBuffer* buffer) {
    DWORD play = 0xFFFFFFFF;
    EXPECT_EQ(buffer->GetCurrentPosition(&play, nullptr), DS_OK);
    return play;
  }
  static DWORD status(IDirectSoundBuffer* buffer) {
    DWORD value = 0xFFFFFFFF;
    EXPECT_EQ(buffer->GetStatus(&value), DS_OK);
    return value;
  }

  IDirectSound* device = nullptr;
  std::vector<IDirectSoundBuffer*> buffers;
};

// Stereo frames whose left sample is the frame number and right its negation: every
// rendered frame tells which source frame it came from.
std::vector<int16_t> numbered_frames(int count) {
  std::vector<int16_t> samples(static_cast<size_t>(count) * 2);
  for (int i = 0; i < count; ++i) {
    samples[2 * static_cast<size_t>(i)] = static_cast<int16_t>(i + 1);
    samples[2 * static_cast<size_t>(i) + 1] = static_cast<int16_t>(-(i + 1));
  }
  return samples;
}

TEST_F(CaptureMixer, OncePlaysEverySampleExactlyThenStopsAtTheStart) {
  std::vector<int16_t> source = numbered_frames(1000);
  IDirectSoundBuffer* buffer = make_stereo(source);
  ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
  EXPECT_EQ(status(buffer), DSBSTATUS_PLAYING);
  std::vector<int16_t> out = render(1500);
  EXPECT_TRUE(std::equal(source.begin(), source.end(), out.begin()));
  EXPECT_TRUE(std::all_of(out.begin() + 2000, out.end(), [](int16_t v) { return v == 0; }));
  EXPECT_EQ(status(buffer), 0u);
  EXPECT_EQ(position(buffer), 0u);
}

TEST_F(CaptureMixer, LoopingWrapsAtTheEndAndTheCursorFollowsTheMix) {
  std::vector<int16_t> source = numbered_frames(1000);
  IDirectSoundBuffer* buffer = make_stereo(source);
  ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  EXPECT_EQ(status(buffer), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
  std::vector<int16_t> out = render(300);
  EXPECT_EQ(position(buffer), 300u * 4);
  std::vector<int16_t> more = render(2450);
  out.insert(out.end(), more.begin(), more.end());
  EXPECT_EQ(position(buffer), (2750u % 1000) * 4);
  for (size_t frame = 0; frame < 2750; ++frame) {
    ASSERT_EQ(out[2 * frame], static_cast<int16_t>(frame % 1000 + 1)) << frame;
    ASSERT_EQ(out[2 * frame + 1], static_cast<int16_t>(-static_cast<int>(frame % 1000 + 1))) << frame;
  }
  EXPECT_EQ(status(buffer), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
}

TEST_F(CaptureMixer, StopKeepsThePositionAndPlayGoesOnFromIt) {
  std::vector<int16_t> source = numbered_frames(1000);
  IDirectSoundBuffer* buffer = make_stereo(source);
  buffer->Play(0, 0, 0);
  render(250);
  ASSERT_EQ(buffer->Stop(), DS_OK);
  EXPECT_EQ(status(buffer), 0u);
  EXPECT_EQ(position(buffer), 1000u);
  std::vector<int16_t> silent = render(100);
  EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](int16_t v) { return v == 0; }));
  EXPECT_EQ(position(buffer), 1000u);
  buffer->Play(0, 0, 0);
  std::vector<int16_t> out = render(10);
  EXPECT_EQ(out[0], 251);
  EXPECT_EQ(out[18], 260);
}

TEST_F(CaptureMixer, SetCurrentPositionRewindsAlignsAndRefusesPastTheEnd) {
  std::vector<int16_t> source = numbered_frames(1000);
  IDirectSoundBuffer* buffer = make_stereo(source);
  buffer->Play(0, 0, DSBPLAY_LOOPING);
  render(600);
  ASSERT_EQ(buffer->SetCurrentPosition(0), DS_OK);
  EXPECT_EQ(position(buffer), 0u);
  EXPECT_EQ(render(1)[0], 1);
  ASSERT_EQ(buffer->SetCurrentPosition(403), DS_OK);  // inside frame 100
  EXPECT_EQ(position(buffer), 400u);
  EXPECT_EQ(render(1)[0], 101);
  EXPECT_EQ(buffer->SetCurrentPosition(4000), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->SetCurrentPosition(0xFFFFFFFF), DSERR_INVALIDPARAM);
  EXPECT_EQ(position(buffer), 404u);
}

TEST_F(CaptureMixer, PlayOnAPlayingBufferCarriesOnWithTheNewFlags) {
  std::vector<int16_t> source = numbered_frames(1000);
  IDirectSoundBuffer* buffer = make_stereo(source);
  buffer->Play(0, 0, 0);
  render(500);
  ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  EXPECT_EQ(status(buffer), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
  std::vector<int16_t> out = render(1000);
  EXPECT_EQ(out[0], 501);
  EXPECT_EQ(out[2 * 499], 1000);
  EXPECT_EQ(out[2 * 500], 1);  // wrapped instead of stopping
  EXPECT_EQ(position(buffer), 2000u);
  ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
  EXPECT_EQ(status(buffer), DSBSTATUS_PLAYING);
  render(600);
  EXPECT_EQ(status(buffer), 0u);
}

TEST_F(CaptureMixer, MonoGoesToBothSidesAndEightBitIsCentredOn128) {
  std::vector<int16_t> mono(400);
  std::iota(mono.begin(), mono.end(), -200);
  IDirectSoundBuffer* buffer = make(1, 48000, 16, mono.data(), 800);
  std::vector<uint8_t> bytes = {128, 255, 0, 192};
  IDirectSoundBuffer* eight = make(1, 48000, 8, bytes.data(), 4);
  buffer->Play(0, 0, 0);
  std::vector<int16_t> out = render(400);
  for (size_t i = 0; i < 400; ++i) {
    ASSERT_EQ(out[2 * i], mono[i]);
    ASSERT_EQ(out[2 * i + 1], mono[i]);
  }
  eight->Play(0, 0, 0);
  out = render(4);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[2], 127 * 256);
  EXPECT_EQ(out[4], -32768);
  EXPECT_EQ(out[6], 64 * 256);
}

struct VolumeCase {
  LONG volume;
  LONG pan;
  double left_gain;
  double right_gain;
};

class CaptureVolume : public CaptureMixer, public ::testing::WithParamInterface<VolumeCase> {};

TEST_P(CaptureVolume, GainsFollowHundredthsOfADecibel) {
  const VolumeCase& c = GetParam();
  std::vector<int16_t> source(2 * 64, 20000);
  IDirectSoundBuffer* buffer = make_stereo(source);
  ASSERT_EQ(buffer->SetVolume(c.volume), DS_OK);
  ASSERT_EQ(buffer->SetPan(c.pan), DS_OK);
  LONG volume = 1, pan = 1;
  buffer->GetVolume(&volume);
  buffer->GetPan(&pan);
  EXPECT_EQ(volume, c.volume);
  EXPECT_EQ(pan, c.pan);
  buffer->Play(0, 0, 0);
  std::vector<int16_t> out = render(64);
  for (size_t i = 0; i < 64; ++i) {
    ASSERT_NEAR(out[2 * i], 20000 * c.left_gain, 1.0) << i;
    ASSERT_NEAR(out[2 * i + 1], 20000 * c.right_gain, 1.0) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CaptureVolume,
    ::testing::Values(VolumeCase{0, 0, 1.0, 1.0},
                      VolumeCase{-603, 0, std::pow(10.0, -603 / 2000.0), std::pow(10.0, -603 / 2000.0)},
                      VolumeCase{-2000, 0, 0.1, 0.1}, VolumeCase{-10000, 0, 0.0, 0.0},
                      VolumeCase{0, -2000, 1.0, 0.1}, VolumeCase{0, 2000, 0.1, 1.0},
                      VolumeCase{0, 10000, 0.0, 1.0}, VolumeCase{0, -10000, 1.0, 0.0},
                      VolumeCase{-603, 603, std::pow(10.0, -1206 / 2000.0), std::pow(10.0, -603 / 2000.0)}));

TEST_F(CaptureMixer, VolumeAndPanOutsideTheirRangesAreRefusedAndKeepTheOldValue) {
  std::vector<int16_t> source(8, 0);
  IDirectSoundBuffer* buffer = make_stereo(source);
  buffer->SetVolume(-500);
  buffer->SetPan(300);
  EXPECT_EQ(buffer->SetVolume(1), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->SetVolume(-10001), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->SetPan(10001), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->SetPan(-10001), DSERR_INVALIDPARAM);
  LONG volume = 0, pan = 0;
  buffer->GetVolume(&volume);
  buffer->GetPan(&pan);
  EXPECT_EQ(volume, -500);
  EXPECT_EQ(pan, 300);
}

TEST_F(CaptureMixer, FrequencySetsTheClockAndThePitch) {
  // One second of a 1000 Hz tone recorded at 48000 Hz.
  std::vector<int16_t> tone = sine_samples(48000, 1, 48000, 1000, 0.5);
  IDirectSoundBuffer* buffer = make(1, 48000, 16, tone.data(), 96000);
  DWORD frequency = 0;
  buffer->GetFrequency(&frequency);
  EXPECT_EQ(frequency, 48000u);
  ASSERT_EQ(buffer->SetFrequency(24000), DS_OK);
  buffer->GetFrequency(&frequency);
  EXPECT_EQ(frequency, 24000u);
  buffer->Play(0, 0, DSBPLAY_LOOPING);
  std::vector<int16_t> out = render(9600);
  // Half speed: the cursor moves 4800 frames in 9600 mixed ones, an octave down.
  EXPECT_EQ(position(buffer), 4800u * 2);
  EXPECT_NEAR(channel_frequency(out, 2, 0, 500, 9000, 48000), 500.0, 2.0);
  EXPECT_NEAR(channel_rms(out, 2, 0, 500, 9000), 0.5 * 32767 / std::sqrt(2.0), 0.02 * 0.5 * 32767);
  ASSERT_EQ(buffer->SetFrequency(96000), DS_OK);
  out = render(4800);
  EXPECT_EQ(position(buffer), (4800u + 9600u) * 2);
  EXPECT_NEAR(channel_frequency(out, 2, 1, 200, 4400, 48000), 2000.0, 4.0);
  ASSERT_EQ(buffer->SetFrequency(DSBFREQUENCY_ORIGINAL), DS_OK);
  buffer->GetFrequency(&frequency);
  EXPECT_EQ(frequency, 48000u);
  EXPECT_EQ(buffer->SetFrequency(99), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->SetFrequency(200001), DSERR_INVALIDPARAM);
  buffer->GetFrequency(&frequency);
  EXPECT_EQ(frequency, 48000u);
}

TEST_F(CaptureMixer, ABufferAtAnotherRateIsResampledToTheDeviceRate) {
  // 441 Hz at 22050 Hz, stereo with the right side at half level.
  std::vector<int16_t> tone(22050 * 2);
  for (size_t i = 0; i < 22050; ++i) {
    double v = 0.6 * 32767 * std::sin(2 * M_PI * 441 * static_cast<double>(i) / 22050);
    tone[2 * i] = static_cast<int16_t>(std::lrint(v));
    tone[2 * i + 1] = static_cast<int16_t>(std::lrint(v / 2));
  }
  IDirectSoundBuffer* buffer = make(2, 22050, 16, tone.data(), 22050 * 4);
  buffer->Play(0, 0, 0);
  std::vector<int16_t> out = render(48000);
  EXPECT_EQ(position(buffer), 0u);  // played through within one second
  EXPECT_EQ(status(buffer), 0u);
  EXPECT_NEAR(channel_frequency(out, 2, 0, 1000, 45000, 48000), 441.0, 1.0);
  EXPECT_NEAR(channel_rms(out, 2, 0, 1000, 45000), 0.6 * 32767 / std::sqrt(2.0), 0.02 * 0.6 * 32767);
  EXPECT_NEAR(channel_rms(out, 2, 1, 1000, 45000), 0.3 * 32767 / std::sqrt(2.0), 0.02 * 0.3 * 32767);
  // 22050 frames last 48000 mixed frames: the tone ends there and not long before.
  EXPECT_GT(channel_rms(out, 2, 0, 47000, 900), 0.5 * 0.6 * 32767 / std::sqrt(2.0));
}

// Frames from the first to the last loud sample of the left channel.
size_t sounding_frames(const std::vector<int16_t>& out) {
  size_t first = 0, last = 0;
  bool any = false;
  for (size_t i = 0; i < out.size() / 2; ++i) {
    if (std::abs(out[2 * i]) > 300) {
      if (!any) first = i;
      any = true;
      last = i;
    }
  }
  return any ? last - first + 1 : 0;
}

TEST_F(CaptureMixer, AResampledOncePlayIsHeardToItsLastFrame) {
  // A resampler holds back frames; the end of a once-play must still come out whole, in
  // whatever pieces the device pulls.
  for (DWORD rate : {44100u, 96000u, 11025u}) {
    std::vector<int16_t> tone = sine_samples(rate / 2, 1, rate, 880, 0.4);
    IDirectSoundBuffer* buffer = make(1, rate, 16, tone.data(), static_cast<DWORD>(tone.size() * 2));
    buffer->Play(0, 0, 0);
    std::vector<int16_t> out;
    for (int piece = 0; piece < 30; ++piece) {
      std::vector<int16_t> more = render(1024);
      out.insert(out.end(), more.begin(), more.end());
    }
    EXPECT_EQ(status(buffer), 0u);
    EXPECT_NEAR(static_cast<double>(sounding_frames(out)), 24000.0, 16.0) << rate;
    release(buffer);
  }
}

TEST_F(CaptureMixer, PlayingAgainRightAfterTheEndStartsAFreshCopy) {
  std::vector<int16_t> tone = sine_samples(4410, 1, 44100, 441, 0.4);
  IDirectSoundBuffer* buffer = make(1, 44100, 16, tone.data(), 8820);
  buffer->Play(0, 0, 0);
  while (status(buffer) != 0) render(256);
  EXPECT_EQ(position(buffer), 0u);
  ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);  // the old tail gives way
  std::vector<int16_t> out = render(9600);
  EXPECT_NEAR(static_cast<double>(sounding_frames(out)), 4800.0, 16.0);
  EXPECT_EQ(status(buffer), 0u);
  buffer->Stop();
  out = render(2048);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 0; }));
}

TEST_F(CaptureMixer, ADuplicateSharesTheSamplesWithItsOwnPositionAndVolume) {
  std::vector<int16_t> source = numbered_frames(1000);
  IDirectSoundBuffer* original = make_stereo(source);
  original->SetVolume(-2000);
  original->SetPan(-300);
  original->SetFrequency(47000);
  IDirectSoundBuffer* copy = duplicate(original);
  ASSERT_NE(copy, nullptr);
  LONG volume = 0, pan = 0;
  DWORD frequency = 0;
  copy->GetVolume(&volume);
  copy->GetPan(&pan);
  copy->GetFrequency(&frequency);
  EXPECT_EQ(volume, -2000);
  EXPECT_EQ(pan, -300);
  EXPECT_EQ(frequency, 47000u);
  EXPECT_EQ(position(copy), 0u);
  EXPECT_EQ(status(copy), 0u);

  original->SetVolume(0);
  original->SetPan(0);
  original->SetFrequency(0);
  copy->SetFrequency(0);
  copy->SetPan(0);
  copy->SetVolume(0);
  original->Play(0, 0, 0);
  render(100);
  copy->Play(0, 0, 0);
  std::vector<int16_t> out = render(200);
  for (size_t frame = 0; frame < 200; ++frame) {
    ASSERT_EQ(out[2 * frame], static_cast<int16_t>(101 + frame + 1 + frame)) << frame;
  }
  EXPECT_EQ(position(original), 300u * 4);
  EXPECT_EQ(position(copy), 200u * 4);
  copy->Stop();
  EXPECT_EQ(status(original), DSBSTATUS_PLAYING);
}

TEST_F(CaptureMixer, SamplesLiveOnInADuplicateWhenTheOriginalIsReleased) {
  std::vector<int16_t> source = numbered_frames(1000);
  IDirectSoundBuffer* original = make_stereo(source);
  IDirectSoundBuffer* copy = duplicate(original);
  original->Play(0, 0, DSBPLAY_LOOPING);
  copy->Play(0, 0, DSBPLAY_LOOPING);
  render(10);
  release(original);  // ends the original's playback; the copy keeps the samples
  std::vector<int16_t> out = render(1000);
  for (size_t frame = 0; frame < 1000; ++frame) {
    ASSERT_EQ(out[2 * frame], static_cast<int16_t>((frame + 10) % 1000 + 1)) << frame;
  }
  release(copy);
  out = render(10);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 0; }));
}

TEST_F(CaptureMixer, SumsSaturateInsteadOfWrapping) {
  std::vector<int16_t> loud = {30000, -30000, 30000, -30000};
  IDirectSoundBuffer* a = make_stereo(loud);
  IDirectSoundBuffer* b = make_stereo(loud);
  IDirectSoundBuffer* c = make_stereo({-20000, 20000, 1000, -1000});
  a->Play(0, 0, 0);
  b->Play(0, 0, 0);
  c->Play(0, 0, 0);
  std::vector<int16_t> out = render(2);
  EXPECT_EQ(out[0], 32767);
  EXPECT_EQ(out[1], -32768);
  EXPECT_EQ(out[2], 32767);
  EXPECT_EQ(out[3], -32768);
}

struct FormatCase {
  const char* what;
  WORD tag;
  WORD channels;
  DWORD rate;
  WORD bits;
  int block_delta;
  int rate_delta;
  DWORD bytes;
  HRESULT expected;
};

class CaptureFormats : public CaptureMixer, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(CaptureFormats, SecondaryBufferFormatsAreCheckedFieldByField) {
  const FormatCase& c = GetParam();
  WAVEFORMATEX format = pcm_format(c.channels, c.rate, c.bits);
  format.wFormatTag = c.tag;
  format.nBlockAlign = static_cast<WORD>(format.nBlockAlign + c.block_delta);
  format.nAvgBytesPerSec = static_cast<DWORD>(static_cast<int64_t>(format.nAvgBytesPerSec) + c.rate_delta);
  format.cbSize = 0xBEEF;  // never read for PCM
  DSBUFFERDESC description = secondary_description(&format, c.bytes);
  IDirectSoundBuffer* buffer = reinterpret_cast<IDirectSoundBuffer*>(1);
  EXPECT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), c.expected) << c.what;
  if (c.expected == DS_OK) {
    ASSERT_NE(buffer, nullptr);
    buffers.push_back(buffer);
  } else {
    EXPECT_EQ(buffer, nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CaptureFormats,
    ::testing::Values(
        FormatCase{"mono 16-bit 16000", 1, 1, 16000, 16, 0, 0, 40320, DS_OK},
        FormatCase{"stereo 8-bit 8000", 1, 2, 8000, 8, 0, 0, 100, DS_OK},
        FormatCase{"3 channels", 1, 3, 44100, 16, 0, 0, 600, DS_OK},
        FormatCase{"4 channels", 1, 4, 44100, 16, 0, 0, 800, DS_OK},
        FormatCase{"5 channels", 1, 5, 44100, 16, 0, 0, 1000, DS_OK},
        FormatCase{"6 channels", 1, 6, 44100, 16, 0, 0, 1200, DS_OK},
        FormatCase{"7 channels", 1, 7, 44100, 16, 0, 0, 1400, DS_OK},
        FormatCase{"8 channels", 1, 8, 44100, 8, 0, 0, 800, DS_OK},
        FormatCase{"lowest rate", 1, 1, 100, 16, 0, 0, 200, DS_OK},
        FormatCase{"highest rate", 1, 1, 200000, 16, 0, 0, 200, DS_OK},
        FormatCase{"odd byte count keeps whole frames", 1, 1, 8000, 16, 0, 0, 101, DS_OK},
        FormatCase{"smallest buffer", 1, 2, 8000, 8, 0, 0, DSBSIZE_MIN, DS_OK},
        FormatCase{"float tag", 3, 2, 48000, 16, 0, 0, 400, DSERR_BADFORMAT},
        FormatCase{"extensible tag", 0xFFFE, 2, 48000, 16, 0, 0, 400, DSERR_BADFORMAT},
        FormatCase{"no channels", 1, 0, 48000, 16, 0, 0, 400, DSERR_BADFORMAT},
        FormatCase{"nine channels", 1, 9, 48000, 16, 0, 0, 900, DSERR_BADFORMAT},
        FormatCase{"24-bit", 1, 2, 48000, 24, 0, 0, 600, DSERR_BADFORMAT},
        FormatCase{"4-bit", 1, 1, 48000, 4, 0, 0, 600, DSERR_BADFORMAT},
        FormatCase{"rate too low", 1, 1, 99, 16, 0, 0, 400, DSERR_BADFORMAT},
        FormatCase{"rate too high", 1, 1, 200001, 16, 0, 0, 400, DSERR_BADFORMAT},
        FormatCase{"zero rate", 1, 1, 0, 16, 0, 0, 400, DSERR_BADFORMAT},
        FormatCase{"block align too big", 1, 2, 48000, 16, 1, 0, 400, DSERR_INVALIDPARAM},
        FormatCase{"block align zero", 1, 2, 48000, 16, -4, 0, 400, DSERR_INVALIDPARAM},
        FormatCase{"byte rate off by one", 1, 2, 48000, 16, 0, 1, 400, DSERR_INVALIDPARAM},
        FormatCase{"zero bytes", 1, 2, 48000, 16, 0, 0, 0, DSERR_INVALIDPARAM},
        FormatCase{"less than a frame", 1, 8, 48000, 16, 0, 0, 8, DSERR_INVALIDPARAM},
        FormatCase{"below the minimum size", 1, 1, 48000, 8, 0, 0, 3, DSERR_INVALIDPARAM},
        FormatCase{"oversized", 1, 2, 48000, 16, 0, 0, DSBSIZE_MAX + 1, DSERR_INVALIDPARAM},
        FormatCase{"largest 32-bit size", 1, 2, 48000, 16, 0, 0, 0xFFFFFFFF, DSERR_INVALIDPARAM}),
    [](const ::testing::TestParamInfo<FormatCase>& info) {
      std::string name;
      for (const char* p = info.param.what; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
      return name;
    });

TEST_F(CaptureMixer, DescriptionsWithoutAFormatOrWithTheWrongSizeAreRefused) {
  WAVEFORMATEX format = pcm_format(2, 48000, 16);
  DSBUFFERDESC description = secondary_description(&format, 400);
  IDirectSoundBuffer* buffer = nullptr;
  description.lpwfxFormat = nullptr;
  EXPECT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), DSERR_INVALIDPARAM);
  description.lpwfxFormat = &format;
  description.dwSize = 20;
  EXPECT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), DSERR_INVALIDPARAM);
  description.dwSize = 36;  // the size callers built for 32-bit addresses give
  ASSERT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), DS_OK);
  buffers.push_back(buffer);
  EXPECT_EQ(device->CreateSoundBuffer(nullptr, &buffer, nullptr), DSERR_INVALIDPARAM);
  EXPECT_EQ(device->CreateSoundBuffer(&description, nullptr, nullptr), DSERR_INVALIDPARAM);
  int outer = 0;
  EXPECT_EQ(device->CreateSoundBuffer(&description, &buffer, &outer), DSERR_NOAGGREGATION);
}

TEST_F(CaptureMixer, ThePrimaryBufferTakesNoFormatAndDoesNothing) {
  DSBUFFERDESC description{};
  description.dwSize = sizeof(description);
  description.dwFlags = DSBCAPS_PRIMARYBUFFER;
  IDirectSoundBuffer* primary = nullptr;
  ASSERT_EQ(device->CreateSoundBuffer(&description, &primary, nullptr), DS_OK);
  buffers.push_back(primary);
  EXPECT_EQ(primary->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  DWORD value = 7;
  EXPECT_EQ(primary->GetStatus(&value), DS_OK);
  EXPECT_EQ(value, 0u);
  void* region = nullptr;
  DWORD bytes = 0;
  EXPECT_NE(primary->Lock(0, 4, &region, &bytes, nullptr, nullptr, 0), DS_OK);
  IDirectSoundBuffer* copy = nullptr;
  EXPECT_EQ(device->DuplicateSoundBuffer(primary, &copy), DSERR_INVALIDPARAM);
  EXPECT_EQ(copy, nullptr);
  std::vector<int16_t> out = render(16);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 0; }));

  WAVEFORMATEX format = pcm_format(2, 48000, 16);
  description.lpwfxFormat = &format;
  EXPECT_EQ(device->CreateSoundBuffer(&description, &primary, nullptr), DSERR_INVALIDPARAM);
  description.lpwfxFormat = nullptr;
  description.dwBufferBytes = 4096;
  EXPECT_EQ(device->CreateSoundBuffer(&description, &primary, nullptr), DSERR_INVALIDPARAM);
}

TEST_F(CaptureMixer, LockGivesASecondRegionOnlyWhenAskedAndAWrapNeedsIt) {
  IDirectSoundBuffer* buffer = make(1, 8000, 8, nullptr, 100);
  void* first = nullptr;
  void* second = reinterpret_cast<void*>(1);
  DWORD first_bytes = 0, second_bytes = 99;
  ASSERT_EQ(buffer->Lock(10, 20, &first, &first_bytes, &second, &second_bytes, 0), DS_OK);
  EXPECT_EQ(first_bytes, 20u);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(second_bytes, 0u);
  EXPECT_EQ(buffer->Unlock(first, first_bytes, nullptr, 0), DS_OK);

  ASSERT_EQ(buffer->Lock(90, 30, &first, &first_bytes, &second, &second_bytes, 0), DS_OK);
  EXPECT_EQ(first_bytes, 10u);
  EXPECT_EQ(second_bytes, 20u);
  std::memset(first, 1, first_bytes);
  std::memset(second, 2, second_bytes);
  EXPECT_EQ(buffer->Unlock(first, first_bytes, second, second_bytes), DS_OK);

  EXPECT_EQ(buffer->Lock(90, 30, &first, &first_bytes, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->Lock(100, 1, &first, &first_bytes, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->Lock(0, 0, &first, &first_bytes, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->Lock(0, 101, &first, &first_bytes, &second, &second_bytes, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->Lock(0, 4, nullptr, &first_bytes, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->Lock(0, 4, &first, &first_bytes, nullptr, nullptr, 0x80), DSERR_INVALIDPARAM);

  ASSERT_EQ(buffer->Lock(0, 0, &first, &first_bytes, nullptr, nullptr, DSBLOCK_ENTIREBUFFER), DS_OK);
  EXPECT_EQ(first_bytes, 100u);
  const uint8_t* all = static_cast<const uint8_t*>(first);
  EXPECT_EQ(all[0], 2);
  EXPECT_EQ(all[19], 2);
  EXPECT_EQ(all[20], 0);
  EXPECT_EQ(all[90], 1);
  EXPECT_EQ(all[99], 1);
  int unrelated = 0;
  EXPECT_EQ(buffer->Unlock(&unrelated, 4, nullptr, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->Unlock(first, first_bytes, nullptr, 0), DS_OK);
  EXPECT_EQ(buffer->Unlock(first, first_bytes, nullptr, 0), DSERR_INVALIDPARAM);  // only once
}

TEST_F(CaptureMixer, BytesWrittenWhilePlayingBecomeAudibleAtUnlock) {
  std::vector<int16_t> source(2 * 1000, 0);
  IDirectSoundBuffer* buffer = make_stereo(source);
  buffer->Play(0, 0, DSBPLAY_LOOPING);
  render(100);
  void* region = nullptr;
  DWORD bytes = 0;
  ASSERT_EQ(buffer->Lock(2000, 2000, &region, &bytes, nullptr, nullptr, 0), DS_OK);  // frames 500..999
  std::vector<int16_t> marks(1000, 777);
  std::memcpy(region, marks.data(), bytes);
  std::vector<int16_t> before = render(500);  // frames 100..599: the write is not in place yet
  EXPECT_TRUE(std::all_of(before.begin(), before.end(), [](int16_t v) { return v == 0; }));
  ASSERT_EQ(buffer->Unlock(region, bytes, nullptr, 0), DS_OK);
  std::vector<int16_t> after = render(400);  // frames 600..999
  EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](int16_t v) { return v == 777; }));
}

TEST_F(CaptureMixer, ReleasingABufferEndsItsPlayback) {
  std::vector<int16_t> source(2 * 100, 1000);
  IDirectSoundBuffer* buffer = make_stereo(source);
  buffer->Play(0, 0, DSBPLAY_LOOPING);
  EXPECT_EQ(render(10)[0], 1000);
  release(buffer);
  std::vector<int16_t> out = render(10);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 0; }));
}

TEST(CaptureDevice, RenderingWithoutADeviceGivesNothingAndTheNewestDeviceIsPulled) {
  audio_select_backend(AUDIO_BACKEND_CAPTURE);
  int16_t out[8] = {};
  EXPECT_EQ(audio_capture_render(out, 4), 0u);
  IDirectSound* older = nullptr;
  IDirectSound* newer = nullptr;
  ASSERT_EQ(DirectSoundCreate(nullptr, &older, nullptr), DS_OK);
  ASSERT_EQ(DirectSoundCreate(&GUID_NULL, &newer, nullptr), DS_OK);
  WAVEFORMATEX format = pcm_format(2, 48000, 16);
  DSBUFFERDESC description = secondary_description(&format, 16);
  IDirectSoundBuffer* on_older = nullptr;
  ASSERT_EQ(older->CreateSoundBuffer(&description, &on_older, nullptr), DS_OK);
  int16_t ones[8] = {1, 1, 1, 1, 1, 1, 1, 1};
  ASSERT_TRUE(write_buffer(on_older, ones, 16));
  on_older->Play(0, 0, DSBPLAY_LOOPING);
  EXPECT_EQ(audio_capture_render(out, 4), 4u);
  EXPECT_EQ(out[0], 0);  // the newer device is the one pulled
  EXPECT_EQ(newer->Release(), 0u);
  EXPECT_EQ(audio_capture_render(out, 4), 4u);
  EXPECT_EQ(out[0], 1);  // back to the older one
  on_older->Release();
  older->Release();
  EXPECT_EQ(audio_capture_render(out, 4), 0u);
  audio_select_backend(AUDIO_BACKEND_DEVICE);
}

TEST(DirectSoundCreateArguments, BadArgumentsAndTheNoneBackendFailCleanly) {
  IDirectSound* object = reinterpret_cast<IDirectSound*>(1);
  audio_select_backend(AUDIO_BACKEND_NONE);
  EXPECT_EQ(DirectSoundCreate(nullptr, &object, nullptr), DSERR_NODRIVER);
  EXPECT_EQ(object, nullptr);
  audio_select_backend(AUDIO_BACKEND_CAPTURE);
  EXPECT_EQ(DirectSoundCreate(nullptr, nullptr, nullptr), DSERR_INVALIDPARAM);
  GUID other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  object = reinterpret_cast<IDirectSound*>(1);
  EXPECT_EQ(DirectSoundCreate(&other, &object, nullptr), DSERR_NODRIVER);
  EXPECT_EQ(object, nullptr);
  int outer = 0;
  EXPECT_EQ(DirectSoundCreate(nullptr, &object, &outer), DSERR_NOAGGREGATION);
  ASSERT_EQ(DirectSoundCreate(nullptr, &object, nullptr), DS_OK);
  EXPECT_EQ(object->SetCooperativeLevel(0, DSSCL_PRIORITY), DSERR_INVALIDPARAM);
  EXPECT_EQ(object->SetCooperativeLevel(1234, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(object->SetCooperativeLevel(1234, DSSCL_PRIORITY), DS_OK);
  EXPECT_EQ(object->Release(), 0u);
  audio_select_backend(AUDIO_BACKEND_DEVICE);
}

}  // namespace
