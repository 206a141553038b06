// Shared by the sound tests: a sound session on the capture device, WAV images built
// chunk by chunk, capture rendering, and reading a sound buffer's bytes back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/audio/dsound.h"
#include "sound/sound_entry.h"
#include "tests/decoders/vorbis_fixture.h"

using Samples = std::vector<int16_t>;

// MainHeap, the Ogg Vorbis decoder and the capture device; call before sound_init.
void sound_test_prepare();

// A sound session on the capture device for one test: sound_init in the constructor,
// sound_shutdown in the destructor.
struct CaptureSession {
  CaptureSession();
  ~CaptureSession();
  bool ready;
};

// A RIFF image assembled from raw chunks, so tests can put any chunk anywhere.
struct WavImage {
  Bytes bytes;
  WavImage& riff(uint32_t riff_size = 0, const char* form = "WAVE");
  WavImage& chunk(const char* id, const Bytes& payload, bool pad = true);
  // A chunk whose size field says `declared` whatever the payload holds.
  WavImage& chunk_declared(const char* id, uint32_t declared, const Bytes& payload);
  WavImage& fmt(int channels, int rate, int bits, uint32_t chunk_bytes = 16);
  WavImage& data(const Samples& samples);
};
Bytes fmt_payload(int channels, int rate, int bits, uint32_t chunk_bytes);
Bytes sample_bytes(const Samples& samples);
// A complete 16-bit PCM WAV image.
Bytes make_wav(int channels, int rate, const Samples& samples);

// A ramp that never repeats within 32768 frames, so any misplaced sample shows.
Samples ramp(size_t count, int16_t start = 1, int16_t step = 1);
Samples constant(size_t count, int16_t value);

// Renders frames of the capture device (stereo interleaved).
Samples render(size_t frames);
// Mono PCM as the capture device plays it at full level: each sample on both channels.
Samples to_stereo(const Samples& mono);
Samples as_samples(const Bytes& pcm);

SoundEntry* entry_of(intptr_t number);
// Every byte a buffer holds, read through Lock.
Bytes buffer_bytes(IDirectSoundBuffer* buffer);
LONG buffer_volume(IDirectSoundBuffer* buffer);
bool buffer_playing(IDirectSoundBuffer* buffer);
IDirectSoundBuffer* instance_buffer(intptr_t handle);
size_t instance_count(const SoundEntry* entry);

// Whole decode of an Ogg image through the registry, as 16-bit samples.
Samples decode_whole(const Bytes& ogg);
