// Shared body of the fuzz targets.
#include "tests/sound/fuzz/fuzz_session.h"

#include <cstdio>
#include <cstdlib>

#include "platform/heap/heap.h"
#include "runtime/heaps.h"
#include "sound/sound.h"
#include "sound/sound_state.h"
#include "tests/sound/sound_test_support.h"

void fuzz_session_start() {
  sound_test_prepare();
  if (sound_init() == 0) {
    std::fprintf(stderr, "the capture device did not start\n");
    std::abort();
  }
  // Claim slot 0 once, so its kept memory does not count as left behind.
  Bytes wav = make_wav(1, 8000, ramp(16));
  sound_load_memory(0, wav.data(), static_cast<int32_t>(wav.size()), 0);
  sound_release(0);
}

void fuzz_load_image(const uint8_t* image, size_t size, uint32_t flags) {
  if (size > 0x7FFFFFFF) return;
  HeapStats before = heap_stats(MainHeap);
  intptr_t handle = sound_load_memory(flags & 2 ? -1 : 0, image, static_cast<int32_t>(size),
                                      flags & SOUND_LOAD_STREAM);
  if (handle != 0) {
    intptr_t number = flags & 2 ? handle : 0;
    SoundEntry* entry = sound_find(number);
    if (entry == nullptr) std::abort();
    if (entry->stream != nullptr) {
      // The refill itself, without a thread, so that each input runs quickly.
      entry->play_flags = flags & 4 ? SOUND_PLAY_LOOP : 0;
      for (int i = 0; i < 3; i++) sound_refill_half(entry, (i % 2) * (entry->stream_bytes / 2));
    } else {
      sound_play(number, 0, -1);
      sound_play(number, SOUND_PLAY_INSTANCE, 30);
      render(256);
    }
    sound_release(number);
  }
  HeapStats after = heap_stats(MainHeap);
  if (after.live_blocks != before.live_blocks || after.live_bytes != before.live_bytes) {
    std::fprintf(stderr, "sound load left %zu blocks behind\n", after.live_blocks - before.live_blocks);
    std::abort();
  }
}
