// Chunk walk of a RIFF/WAVE image. Offsets are 64-bit so that no chunk size can wrap them.
#include "sound/riff_wave.h"

#include <cstring>

namespace {

bool has_id(const uint8_t* at, const char* id) { return std::memcmp(at, id, 4) == 0; }

uint32_t read_u32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
         static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

// Chunk payloads are padded to an even length.
int64_t next_chunk(int64_t payload, uint32_t payload_bytes) {
  return payload + payload_bytes + (payload_bytes & 1);
}

}  // namespace

bool riff_wave_is_riff(const uint8_t* data, int32_t size) {
  return data != nullptr && size >= 4 && has_id(data, "RIFF");
}

bool riff_wave_parse(const uint8_t* data, int32_t size, RiffWaveImage* image) {
  const int64_t end = size;
  if (!riff_wave_is_riff(data, size) || end < RIFF_FORMAT_OFFSET + 8) return false;
  if (!has_id(data + RIFF_FORMAT_OFFSET, "fmt ")) return false;
  uint32_t format_bytes = read_u32(data + RIFF_FORMAT_OFFSET + 4);
  const int64_t format_at = RIFF_FORMAT_OFFSET + 8;
  if (format_bytes < RIFF_PCM_FORMAT_BYTES || format_at + format_bytes > end) return false;

  const uint8_t* format = data + format_at;
  uint32_t declared = sizeof(WAVEFORMATEX);
  if (format_bytes >= sizeof(WAVEFORMATEX)) {
    WORD extra = static_cast<WORD>(format[16] | format[17] << 8);
    declared += extra;
  }
  if (format_bytes >= declared) {
    image->format = reinterpret_cast<const WAVEFORMATEX*>(format);
  } else {
    // The format lacks cbSize (the common 16-byte PCM chunk) or declares more than the
    // chunk holds: a copy without extra bytes keeps every reader inside the image.
    std::memset(&image->local_format, 0, sizeof(image->local_format));
    std::memcpy(&image->local_format, format, RIFF_PCM_FORMAT_BYTES);
    image->local_format.cbSize = 0;
    image->format = &image->local_format;
  }

  int64_t at = next_chunk(format_at, format_bytes);
  while (at + 8 <= end) {
    uint32_t chunk_bytes = read_u32(data + at + 4);
    if (has_id(data + at, "data")) {
      if (chunk_bytes == 0 || at + 8 + chunk_bytes > end) return false;
      image->samples = data + at + 8;
      image->bytes = chunk_bytes;
      return true;
    }
    at = next_chunk(at + 8, chunk_bytes);
  }
  return false;
}
