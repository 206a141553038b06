// The refill thread against the calls that end or restart it, many times over, with the
// capture device pulled from a thread of its own as a real device would be. Meant for the
// ThreadSanitizer build as much as for the others.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/thread/thread.h"
#include "sound/sound.h"
#include "sound/sound_state.h"
#include "tests/sound/sound_test_support.h"

namespace {

constexpr int kIterations = 25;

class DeviceClock {
 public:
  DeviceClock() : thread_([this] {
      while (!stop_.load()) {
        render(960);
        Sleep(5);
      }
    }) {}
  ~DeviceClock() {
    stop_.store(true);
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class RefillThread : public ::testing::Test {
 protected:
  CaptureSession session;
  Bytes ogg = encode_vorbis({1, 48000, 20000, 31});  // a little over one ring buffer
  void SetUp() override { ASSERT_TRUE(session.ready); }
  SoundEntry* load_stream(intptr_t number) {
    if (sound_load_memory(number, ogg.data(), static_cast<int32_t>(ogg.size()), SOUND_LOAD_STREAM) == 0) {
      return nullptr;
    }
    return entry_of(number);
  }
  static void wait_for_end(SoundEntry* entry) {
    for (int i = 0; i < 2000 && entry->thread_alive.load() != 0; i++) Sleep(5);
  }
};

TEST_F(RefillThread, PlayAndReplayWhilePlaying) {
  SoundEntry* entry = load_stream(1);
  ASSERT_NE(entry, nullptr);
  DeviceClock clock;
  for (int i = 0; i < kIterations; i++) {
    sound_play(1, i % 2 ? SOUND_PLAY_LOOP : 0, -1);
    Sleep(i % 7);
    sound_play(1, SOUND_PLAY_LOOP, 40);
    Sleep(i % 5);
  }
  sound_stop(1, 0);
  wait_for_end(entry);
  EXPECT_EQ(entry->thread_alive.load(), 0);
}

TEST_F(RefillThread, StopThenPlayAtOnce) {
  SoundEntry* entry = load_stream(1);
  ASSERT_NE(entry, nullptr);
  DeviceClock clock;
  for (int i = 0; i < kIterations; i++) {
    sound_play(1, SOUND_PLAY_LOOP, -1);
    sound_stop(1, 0);
    sound_play(1, SOUND_PLAY_LOOP, -1);
    Sleep(i % 4);
    sound_stop(1, -1);
  }
  wait_for_end(entry);
  EXPECT_EQ(entry->thread_alive.load(), 0);
  EXPECT_EQ(entry->stream_running.load(), 0);
}

TEST_F(RefillThread, ReleaseWhileTheThreadRuns) {
  DeviceClock clock;
  for (int i = 0; i < kIterations; i++) {
    intptr_t number = i % 3 == 0 ? -1 : 2;
    intptr_t handle = number;
    if (number == -1) {
      handle = sound_load_memory(-1, ogg.data(), static_cast<int32_t>(ogg.size()), SOUND_LOAD_STREAM);
      ASSERT_NE(handle, 0);
    } else {
      ASSERT_NE(load_stream(number), nullptr);
    }
    sound_play(handle, SOUND_PLAY_LOOP, -1);
    Sleep(i % 6);  // sometimes before the thread has run at all
    if (i % 2) {
      sound_release(handle);
    } else {
      // Replacing the number releases the streaming sound from inside the load.
      ASSERT_NE(load_stream(2), nullptr);
      sound_release(2);
      if (handle != 2) sound_release(handle);
    }
    EXPECT_EQ(entry_of(handle), nullptr);
  }
}

TEST_F(RefillThread, NaturalEndBesideOtherCalls) {
  SoundEntry* entry = load_stream(1);
  ASSERT_NE(entry, nullptr);
  DeviceClock clock;
  for (int i = 0; i < 6; i++) {
    sound_play(1, 0, -1);
    // A short stream at about five times real time ends within a few hundred ms.
    for (int n = 0; n < 2000 && entry->stream_running.load() == 1; n++) {
      sound_set_volume(1, n % 100, 0);
      Sleep(2);
    }
    EXPECT_EQ(entry->stream_running.load(), 0);
    wait_for_end(entry);
    EXPECT_EQ(entry->thread_alive.load(), 0);
  }
}

TEST_F(RefillThread, ShutdownWhileStreaming) {
  for (int i = 0; i < 8; i++) {
    sound_init();
    SoundEntry* entry = load_stream(1);
    ASSERT_NE(entry, nullptr);
    {
      DeviceClock clock;
      sound_play(1, SOUND_PLAY_LOOP, -1);
      std::thread closer([] { sound_shutdown(); });
      // The main thread goes on calling while the close runs beside it.
      for (int n = 0; n < 20; n++) {
        sound_play(1, SOUND_PLAY_LOOP, -1);
        sound_stop(-1, 0);
      }
      closer.join();
    }
    EXPECT_EQ(entry_of(1), nullptr);
  }
}

}  // namespace
