// Finding the format and the samples of a RIFF/WAVE image, reading only inside the image.
#pragma once

#include "platform/audio/dsound.h"

constexpr int32_t RIFF_FORMAT_OFFSET = 12;   // the "fmt " chunk must be the first one
constexpr uint32_t RIFF_PCM_FORMAT_BYTES = 16;

struct RiffWaveImage {
  // Points into the image when the whole WAVEFORMATEX, with the extra bytes its cbSize
  // declares, lies inside the format chunk; otherwise at local_format.
  const WAVEFORMATEX* format;
  WAVEFORMATEX local_format;
  const uint8_t* samples;
  uint32_t bytes;
};

// True for an image that starts "RIFF" (and is long enough to tell).
bool riff_wave_is_riff(const uint8_t* data, int32_t size);
// False when "fmt " is not the first chunk, the format chunk is shorter than a PCM format
// or runs past the image, or no whole "data" chunk with samples lies inside the image.
// Odd-sized chunks are followed by a pad byte, which the walk skips.
bool riff_wave_parse(const uint8_t* data, int32_t size, RiffWaveImage* image);
