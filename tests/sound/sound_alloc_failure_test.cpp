// Every heap request of a load or an instance play is made to fail in turn: each run must
// end cleanly, give back what it took, and leave the sounds as they were.
#include <gtest/gtest.h>

#include <functional>

#include "platform/heap/heap.h"
#include "runtime/heaps.h"
#include "sound/sound.h"
#include "sound/sound_state.h"
#include "tests/sound/sound_test_support.h"

namespace {

intptr_t load(intptr_t number, const Bytes& image, uint32_t flags = 0) {
  return sound_load_memory(number, image.data(), static_cast<int32_t>(image.size()), flags);
}

bool same(HeapStats a, HeapStats b) { return a.live_blocks == b.live_blocks && a.live_bytes == b.live_bytes; }

// Counts the heap requests of one successful run of `operation`.
uint64_t requests_of(const std::function<intptr_t()>& operation) {
  uint64_t before = heap_request_count();
  EXPECT_NE(operation(), 0);
  return heap_request_count() - before;
}

class AllocationFailure : public ::testing::Test {
 protected:
  CaptureSession session;
  Bytes old_sound = make_wav(1, 48000, ramp(1000));
  Bytes ogg = encode_vorbis({2, 22050, 30000, 9});
  void SetUp() override { ASSERT_TRUE(session.ready); }

  // For each request n of a successful load into `number` (which holds old_sound when
  // `replace`), fails request n and checks that a failed load changed nothing.
  void check_load(intptr_t number, const Bytes& image, uint32_t flags) {
    auto run = [&] { return load(number, image, flags); };
    if (number != -1) {
      // The slot's own memory is claimed once and kept: not part of what is counted.
      ASSERT_NE(load(number, old_sound), 0);
      sound_release(number);
    }
    uint64_t count = requests_of(run);
    if (number != -1) sound_release(number);
    ASSERT_GT(count, 0u);
    uint64_t failed_loads = 0;
    for (uint64_t n = 1; n <= count; n++) {
      SCOPED_TRACE(testing::Message() << "request " << n << " of " << count);
      IDirectSoundBuffer* old_buffer = nullptr;
      if (number != -1) {
        ASSERT_NE(load(number, old_sound), 0);
        old_buffer = entry_of(number)->buffer;
      }
      HeapStats before = heap_stats(MainHeap);
      heap_fail_request(n);
      intptr_t result = run();
      heap_fail_request(0);
      if (result == 0) {
        failed_loads++;
        EXPECT_TRUE(same(heap_stats(MainHeap), before));
        if (number != -1) {
          ASSERT_NE(entry_of(number), nullptr);
          EXPECT_EQ(entry_of(number)->buffer, old_buffer);
          EXPECT_EQ(sound_play(number, 0, -1), 1);
        }
      } else {
        // A request whose failure was absorbed: the sound must be whole.
        intptr_t handle = number == -1 ? result : number;
        ASSERT_NE(entry_of(handle), nullptr);
        EXPECT_NE(entry_of(handle)->buffer, old_buffer);
        sound_release(handle);
      }
      if (number != -1) sound_release(number);
    }
    // Every request of a load is one it cannot do without.
    EXPECT_EQ(failed_loads, count);
  }
};

TEST_F(AllocationFailure, WholeDecodeLoad) { check_load(2, ogg, 0); }
TEST_F(AllocationFailure, WholeDecodeLoadDynamic) { check_load(-1, ogg, 0); }
TEST_F(AllocationFailure, RiffWaveLoadDynamic) { check_load(-1, make_wav(2, 48000, ramp(500)), 0); }
TEST_F(AllocationFailure, StreamingLoad) { check_load(3, ogg, SOUND_LOAD_STREAM); }
TEST_F(AllocationFailure, StreamingLoadDynamic) { check_load(-1, ogg, SOUND_LOAD_STREAM); }

TEST_F(AllocationFailure, RiffWaveLoadIntoANewSlot) {
  // A number past the slot array makes it grow: that request can fail too.
  Bytes wav = make_wav(2, 48000, ramp(500));
  intptr_t number = SoundTable->slot_count + 10;
  int32_t slots = SoundTable->slot_count;
  HeapStats before = heap_stats(MainHeap);
  heap_fail_request(1);
  EXPECT_EQ(load(number, wav), 0);
  heap_fail_request(0);
  EXPECT_TRUE(same(heap_stats(MainHeap), before));
  EXPECT_EQ(SoundTable->slot_count, slots);
  ASSERT_NE(load(number, wav), 0);
  EXPECT_EQ(sound_play(number, 0, -1), 1);
}

TEST_F(AllocationFailure, InstancePlay) {
  ASSERT_NE(load(0, old_sound), 0);
  SoundEntry* entry = entry_of(0);
  auto run = [&] { return sound_play(0, SOUND_PLAY_INSTANCE, -1); };
  uint64_t count = requests_of(run);
  ASSERT_GT(count, 0u);
  render(2000);  // the instance ends, and goes at the next instance play
  for (uint64_t n = 1; n <= count; n++) {
    sound_play(0, SOUND_PLAY_INSTANCE | SOUND_PLAY_LOOP, -1);
    size_t instances = instance_count(entry);
    HeapStats before = heap_stats(MainHeap);
    heap_fail_request(n);
    intptr_t result = run();
    heap_fail_request(0);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(same(heap_stats(MainHeap), before));
    EXPECT_EQ(instance_count(entry), instances);
    EXPECT_FALSE(buffer_playing(entry->buffer));
    sound_stop(0, -1);
    sound_release(0);
    ASSERT_NE(load(0, old_sound), 0);
    entry = entry_of(0);
  }
}

}  // namespace
