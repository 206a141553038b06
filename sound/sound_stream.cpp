// The refill thread of a streaming sound and the refill of one half of its ring buffer.
// While the play cursor is in one half, the other is decoded into straight from the
// decoder, so the thread allocates nothing and copies nothing.
#include <cstring>

#include "platform/thread/thread.h"
#include "sound/sound_state.h"

int32_t sound_refill_half(SoundEntry* entry, uint32_t offset) {
  uint32_t half = entry->stream_bytes / 2;
  void* region = nullptr;
  DWORD region_bytes = 0;
  if (entry->buffer->Lock(offset, half, &region, &region_bytes, nullptr, nullptr, 0) != DS_OK ||
      region == nullptr) {
    return 0;
  }
  uint32_t length = region_bytes < half ? region_bytes : half;
  // The decoder is asked for whole frames only.
  int32_t channels = decoder_channels(entry->stream);
  uint32_t frame_bytes = channels > 0 ? static_cast<uint32_t>(channels) * 2u : 2u;
  uint32_t wanted = length / frame_bytes * frame_bytes;
  uint8_t* bytes = static_cast<uint8_t*>(region);
  int32_t got = decoder_read(entry->stream, bytes, static_cast<int32_t>(wanted), 0,
                             entry->play_flags);
  if (got < 0) got = 0;
  if (static_cast<uint32_t>(got) > wanted) got = static_cast<int32_t>(wanted);
  std::memset(bytes + got, 0, length - static_cast<uint32_t>(got));
  entry->buffer->Unlock(region, region_bytes, nullptr, 0);
  return got != 0 ? 1 : 0;
}

DWORD sound_stream_thread(void* parameter) {
  SoundEntry* entry = static_cast<SoundEntry*>(parameter);
  // thread_alive was raised by the play that created this thread.
  const uint32_t half = entry->stream_bytes / 2;
  int32_t phase = 1;
  int32_t end_count = 0;
  while (entry->stream_running.load() == 1) {
    Sleep(SOUND_REFILL_POLL_MS);
    DWORD play_cursor = 0;
    if (entry->buffer->GetCurrentPosition(&play_cursor, nullptr) == DS_OK) {
      bool boundary = false;
      uint32_t target = 0;
      if (phase == 1 && play_cursor < half) {
        boundary = true;
        target = half;
      } else if (phase == 0 && play_cursor > half) {
        boundary = true;
        target = 0;
      }
      if (boundary) {
        if (end_count > 0) {
          end_count++;
        } else if (sound_refill_half(entry, target) == 0) {
          end_count = 1;
        }
        phase = phase == 1 ? 0 : 1;
      }
    }
    if (end_count == 2) {
      entry->buffer->Stop();
      entry->stream_running.store(0);
      break;
    }
  }
  // The last touch of the entry: from here on a play or release may reuse or free it.
  entry->thread_alive.store(0);
  return 0;
}
