// Stop, volume and release on the capture device, and the order in which a sound's
// buffers are visited.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/heap/heap.h"
#include "runtime/heaps.h"
#include "sound/sound.h"
#include "sound/sound_state.h"
#include "tests/sound/sound_test_support.h"

namespace {

intptr_t load(intptr_t number, const Bytes& image) {
  return sound_load_memory(number, image.data(), static_cast<int32_t>(image.size()), 0);
}

class Control : public ::testing::Test {
 protected:
  CaptureSession session;
  void SetUp() override { ASSERT_TRUE(session.ready); }
};

TEST_F(Control, VolumePercentIsClampedAndAppliedThroughTheTable) {
  ASSERT_NE(load(0, make_wav(1, 48000, ramp(100))), 0);
  IDirectSoundBuffer* buffer = entry_of(0)->buffer;
  const struct {
    int32_t percent;
    LONG applied;
  } rows[] = {{150, 0},     {100, 0},     {99, -9},     {90, -92},  {75, -250}, {50, -603},
              {25, -1205},  {10, -2000},  {5, -2603},   {2, -3398}, {1, -4000}, {0, -10000},
              {-5, -10000}, {1 << 30, 0}, {-(1 << 30), -10000}};
  for (const auto& row : rows) {
    sound_set_volume(0, row.percent, 0);
    EXPECT_EQ(buffer_volume(buffer), row.applied) << row.percent;
  }
  // The copy taken at load stays.
  EXPECT_EQ(entry_of(0)->volume, 0);
}

TEST_F(Control, VolumeSelectsTheMainBufferAnInstanceOrAll) {
  ASSERT_NE(load(0, make_wav(1, 48000, ramp(4000))), 0);
  SoundEntry* entry = entry_of(0);
  intptr_t a = sound_play(0, SOUND_PLAY_INSTANCE | SOUND_PLAY_LOOP, -1);
  intptr_t b = sound_play(0, SOUND_PLAY_INSTANCE | SOUND_PLAY_LOOP, -1);
  sound_set_volume(0, 50, a);
  EXPECT_EQ(buffer_volume(instance_buffer(a)), -603);
  EXPECT_EQ(buffer_volume(instance_buffer(b)), 0);
  EXPECT_EQ(buffer_volume(entry->buffer), 0);
  sound_set_volume(0, 10, 12345);  // not an instance of this sound
  sound_set_volume(0, 25, -1);
  for (IDirectSoundBuffer* buffer : {entry->buffer, instance_buffer(a), instance_buffer(b)}) {
    EXPECT_EQ(buffer_volume(buffer), -1205);
  }
}

TEST_F(Control, StopAllStopsMainBuffersAndLeavesInstancesPlaying) {
  for (intptr_t instance_argument : {intptr_t{0}, intptr_t{-1}}) {
    SCOPED_TRACE(instance_argument);
    ASSERT_NE(load(0, make_wav(1, 48000, ramp(4000))), 0);
    ASSERT_NE(load(3, make_wav(1, 48000, ramp(4000))), 0);
    intptr_t dynamic = load(-1, make_wav(1, 48000, ramp(4000)));
    ASSERT_NE(dynamic, 0);
    for (intptr_t number : {intptr_t{0}, intptr_t{3}, dynamic}) sound_play(number, SOUND_PLAY_LOOP, -1);
    intptr_t instance = sound_play(3, SOUND_PLAY_INSTANCE | SOUND_PLAY_LOOP, -1);
    render(100);
    sound_stop(-1, instance_argument);
    for (intptr_t number : {intptr_t{0}, intptr_t{3}, dynamic}) {
      IDirectSoundBuffer* buffer = entry_of(number)->buffer;
      EXPECT_FALSE(buffer_playing(buffer));
      DWORD cursor = 99;
      buffer->GetCurrentPosition(&cursor, nullptr);
      EXPECT_EQ(cursor, 0u);
    }
    EXPECT_TRUE(buffer_playing(instance_buffer(instance)));
    sound_release(dynamic);
  }
}

TEST_F(Control, StopOfOneSoundSelectsItsBuffers) {
  ASSERT_NE(load(0, make_wav(1, 48000, ramp(4000))), 0);
  SoundEntry* entry = entry_of(0);
  sound_play(0, SOUND_PLAY_LOOP, -1);
  intptr_t a = sound_play(0, SOUND_PLAY_INSTANCE | SOUND_PLAY_LOOP, -1);
  intptr_t b = sound_play(0, SOUND_PLAY_INSTANCE | SOUND_PLAY_LOOP, -1);
  render(50);
  sound_stop(0, a);
  EXPECT_FALSE(buffer_playing(instance_buffer(a)));
  EXPECT_TRUE(buffer_playing(instance_buffer(b)));
  EXPECT_TRUE(buffer_playing(entry->buffer));
  sound_stop(0, 777);  // no such instance: nothing stops
  EXPECT_TRUE(buffer_playing(entry->buffer));
  sound_stop(0, 0);
  EXPECT_FALSE(buffer_playing(entry->buffer));
  EXPECT_TRUE(buffer_playing(instance_buffer(b)));
  sound_play(0, SOUND_PLAY_LOOP, -1);
  sound_stop(0, -1);
  EXPECT_FALSE(buffer_playing(entry->buffer));
  EXPECT_FALSE(buffer_playing(instance_buffer(b)));
}

TEST_F(Control, ReleaseFreesTheSoundAndTheNumberLoadsAgain) {
  const intptr_t number = 40;
  bool slot_existed = SoundTable->slots[number] != nullptr;
  HeapStats before = heap_stats(MainHeap);
  sound_release(number);  // nothing there
  ASSERT_NE(load(number, make_wav(1, 48000, ramp(4000))), 0);
  intptr_t dynamic = load(-1, make_wav(1, 48000, ramp(4000)));
  sound_play(number, SOUND_PLAY_INSTANCE | SOUND_PLAY_LOOP, -1);
  sound_play(number, SOUND_PLAY_INSTANCE, -1);
  sound_release(number);
  sound_release(dynamic);
  EXPECT_EQ(entry_of(number), nullptr);
  EXPECT_EQ(sound_play(number, 0, -1), 0);
  HeapStats after = heap_stats(MainHeap);
  // The numbered entry's memory stays with its slot for reuse.
  EXPECT_EQ(after.live_blocks, before.live_blocks + (slot_existed ? 0 : 1));
  ASSERT_NE(load(number, make_wav(1, 48000, ramp(100))), 0);
  EXPECT_EQ(sound_play(number, 0, -1), 1);
}

// A buffer that writes down what is done to it.
struct RecordingBuffer final : IDirectSoundBuffer {
  RecordingBuffer(std::string name, std::vector<std::string>* log) : name(std::move(name)), log(log) {}
  HRESULT GetCurrentPosition(DWORD*, DWORD*) override { return DS_OK; }
  HRESULT GetFrequency(DWORD*) override { return DS_OK; }
  HRESULT GetPan(LONG*) override { return DS_OK; }
  HRESULT GetStatus(DWORD*) override { return DS_OK; }
  HRESULT GetVolume(LONG*) override { return DS_OK; }
  HRESULT Lock(DWORD, DWORD, void**, DWORD*, void**, DWORD*, DWORD) override { return DSERR_GENERIC; }
  HRESULT Play(DWORD, DWORD, DWORD) override { return DS_OK; }
  HRESULT SetCurrentPosition(DWORD position) override {
    log->push_back(name + " position " + std::to_string(position));
    return DS_OK;
  }
  HRESULT SetFrequency(DWORD) override { return DS_OK; }
  HRESULT SetPan(LONG) override { return DS_OK; }
  HRESULT SetVolume(LONG volume) override {
    log->push_back(name + " volume " + std::to_string(volume));
    return DS_OK;
  }
  HRESULT Stop() override {
    log->push_back(name + " stop");
    return DS_OK;
  }
  HRESULT Unlock(void*, DWORD, void*, DWORD) override { return DS_OK; }
  ULONG Release() override { return 0; }
  std::string name;
  std::vector<std::string>* log;
};

TEST(ForEachBuffer, MainBufferFirstThenInstancesNewestToOldest) {
  sound_test_prepare();
  sound_fill_volume_table();
  std::vector<std::string> log;
  RecordingBuffer main("main", &log), oldest("oldest", &log), middle("middle", &log),
      newest("newest", &log);
  SoundEntry entry{};
  entry.buffer = &main;
  for (RecordingBuffer* b : {&oldest, &middle, &newest}) {
    SoundInstance* instance =
        static_cast<SoundInstance*>(list_add(&entry.instances, SOUND_INSTANCE_NODE_BYTES));
    ASSERT_NE(instance, nullptr);
    instance->buffer = b;
  }
  sound_for_each_buffer(&entry, sound_stop_buffer, 0);
  sound_for_each_buffer(&entry, sound_set_buffer_volume, 50);
  EXPECT_EQ(log, (std::vector<std::string>{
                     "main stop", "main position 0", "newest stop", "newest position 0",
                     "middle stop", "middle position 0", "oldest stop", "oldest position 0",
                     "main volume -603", "newest volume -603", "middle volume -603",
                     "oldest volume -603"}));
  while (entry.instances != nullptr) list_remove(&entry.instances, entry.instances + 1);
}

}  // namespace
