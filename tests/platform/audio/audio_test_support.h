// Shared by the audio tests: buffers in a given PCM format, filling them, and measuring the
// level and pitch of mixed sound.
#pragma once

#include "platform/audio/dsound.h"

#include <cmath>
#include <cstring>
#include <vector>

inline WAVEFORMATEX pcm_format(WORD channels, DWORD rate, WORD bits) {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = channels;
  format.nSamplesPerSec = rate;
  format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
  format.nAvgBytesPerSec = rate * format.nBlockAlign;
  format.wBitsPerSample = bits;
  return format;
}

inline DSBUFFERDESC secondary_description(const WAVEFORMATEX* format, DWORD bytes) {
  DSBUFFERDESC description{};
  description.dwSize = sizeof(DSBUFFERDESC);
  description.dwFlags = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME |
                        DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;
  description.dwBufferBytes = bytes;
  description.lpwfxFormat = format;
  return description;
}

// Writes bytes at offset 0 through Lock/Unlock; false if either fails.
inline bool write_buffer(IDirectSoundBuffer* buffer, const void* data, DWORD bytes) {
  void* region = nullptr;
  DWORD region_bytes = 0;
  if (buffer->Lock(0, bytes, &region, &region_bytes, nullptr, nullptr, 0) != DS_OK) return false;
  std::memcpy(region, data, region_bytes);
  return buffer->Unlock(region, region_bytes, nullptr, 0) == DS_OK && region_bytes == bytes;
}

inline std::vector<int16_t> sine_samples(size_t frames, int channels, double rate, double hz,
                                         double amplitude) {
  std::vector<int16_t> samples(frames * static_cast<size_t>(channels));
  for (size_t i = 0; i < frames; ++i) {
    double value = amplitude * 32767.0 * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / rate);
    for (int c = 0; c < channels; ++c) samples[i * static_cast<size_t>(channels) + static_cast<size_t>(c)] =
        static_cast<int16_t>(std::lrint(value));
  }
  return samples;
}

// Root mean square of one channel of interleaved samples, over [first, first + count).
inline double channel_rms(const std::vector<int16_t>& samples, int channels, int channel,
                          size_t first, size_t count) {
  double sum = 0;
  for (size_t i = first; i < first + count; ++i) {
    double v = samples[i * static_cast<size_t>(channels) + static_cast<size_t>(channel)];
    sum += v * v;
  }
  return count == 0 ? 0 : std::sqrt(sum / static_cast<double>(count));
}

// Frequency of one channel from its rising zero crossings over [first, first + count).
inline double channel_frequency(const std::vector<int16_t>& samples, int channels, int channel,
                                size_t first, size_t count, double rate) {
  long first_crossing = -1, last_crossing = -1, crossings = 0;
  for (size_t i = first + 1; i < first + count; ++i) {
    int16_t before = samples[(i - 1) * static_cast<size_t>(channels) + static_cast<size_t>(channel)];
    int16_t now = samples[i * static_cast<size_t>(channels) + static_cast<size_t>(channel)];
    if (before < 0 && now >= 0) {
      if (first_crossing < 0) first_crossing = static_cast<long>(i);
      else ++crossings;
      last_crossing = static_cast<long>(i);
    }
  }
  if (crossings == 0) return 0;
  return crossings * rate / static_cast<double>(last_crossing - first_crossing);
}
