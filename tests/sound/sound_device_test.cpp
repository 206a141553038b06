// Bringing the sound layer up and down: VolumeTable, repeated start-up, shut-down with
// sounds loaded, the gate between shut-down and calls under way, the owner window.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "platform/audio/audio_backend.h"
#include "platform/heap/heap.h"
#include "platform/module/module.h"
#include "platform/thread/thread.h"
#include "runtime/heaps.h"
#include "sound/sound.h"
#include "sound/sound_gate.h"
#include "sound/sound_state.h"
#include "tests/sound/sound_test_support.h"

namespace {

TEST(VolumeTable, TellingRowsAreTruncatedNotRounded) {
  sound_fill_volume_table();
  const struct {
    int percent;
    int32_t entry;
  } rows[] = {{0, 0},     {1, 6000},  {2, 6602},  {5, 7397},  {10, 8000}, {25, 8795},
              {50, 9397}, {75, 9750}, {90, 9908}, {99, 9991}, {100, 10000}};
  for (const auto& row : rows) EXPECT_EQ(VolumeTable[row.percent], row.entry) << row.percent;
  int differ_from_rounding = 0;
  for (int v = 1; v < 100; v++) {
    double exact = std::log10(1000.0 * v) * 20.0 * 100.0;
    if (VolumeTable[v] != static_cast<int32_t>(std::lround(exact))) differ_from_rounding++;
  }
  EXPECT_EQ(differ_from_rounding, 47);
}

TEST(SoundInit, StartsTheDeviceOnceAndKeepsSoundsWhenRepeated) {
  sound_test_prepare();
  intptr_t table = sound_init();
  ASSERT_NE(table, 0);
  EXPECT_EQ(table, reinterpret_cast<intptr_t>(SoundTable));
  EXPECT_EQ(module_reference_count("DSOUND.DLL"), 1);
  IDirectSound* device = SoundDevice;
  HWND window = SoundOwnerWindow;
  ASSERT_NE(SoundOwnerWindow, 0);

  Bytes wav = make_wav(2, 48000, ramp(2000));
  ASSERT_NE(sound_load_memory(3, wav.data(), static_cast<int32_t>(wav.size()), 0), 0);
  intptr_t dynamic = sound_load_memory(-1, wav.data(), static_cast<int32_t>(wav.size()), 0);
  ASSERT_NE(dynamic, 0);

  EXPECT_EQ(sound_init(), table);
  EXPECT_EQ(module_reference_count("DSOUND.DLL"), 1);
  EXPECT_EQ(SoundDevice, device);
  EXPECT_EQ(SoundOwnerWindow, window);
  // The sounds loaded before are still there and play.
  EXPECT_EQ(sound_play(3, 0, -1), 1);
  EXPECT_EQ(sound_play(dynamic, 0, -1), 1);

  sound_shutdown();
  EXPECT_EQ(module_reference_count("DSOUND.DLL"), 0);
  EXPECT_EQ(entry_of(3), nullptr);
}

TEST(SoundShutdown, ReleasesEverySoundAndGivesTheirMemoryBack) {
  CaptureSession session;
  ASSERT_TRUE(session.ready);
  Bytes wav = make_wav(1, 48000, ramp(4000));
  // A numbered entry's memory stays with its slot: claim the slots before counting.
  for (intptr_t number : {0, 5, 6}) {
    ASSERT_NE(sound_load_memory(number, wav.data(), static_cast<int32_t>(wav.size()), 0), 0);
    sound_release(number);
  }
  HeapStats before = heap_stats(MainHeap);

  Bytes ogg = encode_vorbis({2, 44100, 100000, 7});
  ASSERT_NE(sound_load_memory(0, wav.data(), static_cast<int32_t>(wav.size()), 0), 0);
  ASSERT_NE(sound_load_memory(5, ogg.data(), static_cast<int32_t>(ogg.size()), 0), 0);
  ASSERT_NE(sound_load_memory(6, ogg.data(), static_cast<int32_t>(ogg.size()), SOUND_LOAD_STREAM), 0);
  intptr_t dynamic = sound_load_memory(-1, wav.data(), static_cast<int32_t>(wav.size()), 0);
  ASSERT_NE(dynamic, 0);
  ASSERT_NE(sound_play(0, SOUND_PLAY_INSTANCE | SOUND_PLAY_LOOP, -1), 0);
  sound_play(6, SOUND_PLAY_LOOP, -1);  // a refill thread runs now
  render(4800);

  sound_shutdown();
  HeapStats after = heap_stats(MainHeap);
  EXPECT_EQ(after.live_blocks, before.live_blocks);
  EXPECT_EQ(after.live_bytes, before.live_bytes);
  EXPECT_EQ(module_reference_count("DSOUND.DLL"), 0);
  EXPECT_EQ(entry_of(0), nullptr);
  EXPECT_EQ(entry_of(6), nullptr);
  EXPECT_EQ(entry_of(dynamic), nullptr);
}

TEST(SoundShutdown, WithoutInitDoesNothing) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // A fresh process, where sound_init has never run.
  EXPECT_EXIT(
      {
        sound_test_prepare();
        sound_shutdown();
        bool untouched = SoundTable == nullptr && module_reference_count("DSOUND.DLL") == 0;
        std::exit(untouched ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(SoundInit, WithoutAnAudioDeviceFailsAndCanBeRetried) {
  sound_test_prepare();
  audio_select_backend(AUDIO_BACKEND_NONE);
  EXPECT_EQ(sound_init(), 0);
  EXPECT_NE(SoundTable, nullptr);
  EXPECT_EQ(SoundDevice, nullptr);
  Bytes wav = make_wav(1, 48000, ramp(100));
  EXPECT_EQ(sound_load_memory(0, wav.data(), static_cast<int32_t>(wav.size()), 0), 0);
  EXPECT_EQ(sound_play(0, 0, -1), 0);

  audio_select_backend(AUDIO_BACKEND_CAPTURE);
  EXPECT_NE(sound_init(), 0);
  // The library loaded by the failed call is not loaded a second time.
  EXPECT_EQ(module_reference_count("DSOUND.DLL"), 1);
  sound_shutdown();
  EXPECT_EQ(module_reference_count("DSOUND.DLL"), 0);
}

TEST(SoundGate, ShutdownWaitsForACallUnderWayAndRefusesLaterCalls) {
  CaptureSession session;
  ASSERT_TRUE(session.ready);
  Bytes ogg = encode_vorbis({1, 48000, 48000, 11});
  ASSERT_NE(sound_load_memory(1, ogg.data(), static_cast<int32_t>(ogg.size()), SOUND_LOAD_STREAM), 0);
  SoundEntry* entry = entry_of(1);
  ASSERT_NE(entry, nullptr);

  // A play waits while the entry looks like it has a refill thread: a call under way.
  entry->thread_alive.store(1);
  std::atomic<bool> play_done{false};
  std::atomic<bool> shutdown_done{false};
  std::thread player([&] {
    sound_play(1, SOUND_PLAY_LOOP, -1);
    play_done.store(true);
  });
  // The bounds only keep a broken gate from hanging the test.
  for (int i = 0; i < 1000 && sound_gate_calls_in_progress() == 0; i++) Sleep(5);
  EXPECT_EQ(sound_gate_calls_in_progress(), 1);
  std::thread closer([&] {
    sound_shutdown();
    shutdown_done.store(true);
  });
  for (int i = 0; i < 1000 && sound_gate_is_open(); i++) Sleep(5);
  EXPECT_FALSE(sound_gate_is_open());
  Sleep(200);
  EXPECT_FALSE(shutdown_done.load()) << "shut-down ran beside a call under way";
  EXPECT_FALSE(play_done.load());
  EXPECT_EQ(entry_of(1), entry) << "the sound went while a call on it was under way";
  entry->thread_alive.store(0);
  player.join();
  closer.join();
  EXPECT_TRUE(play_done.load());
  EXPECT_TRUE(shutdown_done.load());
  EXPECT_EQ(entry_of(1), nullptr);

  // Closed: calls do nothing, not even a probe of the decoders.
  uint64_t requests = heap_request_count();
  EXPECT_EQ(sound_load_memory(2, ogg.data(), static_cast<int32_t>(ogg.size()), 0), 0);
  EXPECT_EQ(sound_play(1, 0, -1), 0);
  sound_stop(-1, 0);
  sound_set_volume(1, 50, 0);
  sound_release(1);
  EXPECT_EQ(heap_request_count(), requests);
  EXPECT_FALSE(sound_gate_enter());
}

TEST(SoundGate, NestedCallsPassWhileOpen) {
  CaptureSession session;
  ASSERT_TRUE(session.ready);
  ASSERT_TRUE(sound_gate_enter());
  ASSERT_TRUE(sound_gate_enter());
  sound_gate_leave();
  sound_gate_leave();
  // Replacing a sound runs the release callback from inside the load.
  Bytes wav = make_wav(1, 48000, ramp(100));
  ASSERT_NE(sound_load_memory(4, wav.data(), static_cast<int32_t>(wav.size()), 0), 0);
  ASSERT_NE(sound_load_memory(4, wav.data(), static_cast<int32_t>(wav.size()), 0), 0);
  EXPECT_NE(entry_of(4), nullptr);
}

TEST(OwnerWindow, SwallowsWhatAVisibleWindowWouldActOn) {
  CaptureSession session;
  ASSERT_TRUE(session.ready);
  HWND window = SoundOwnerWindow;
  const struct {
    UINT message;
    LRESULT result;
  } swallowed[] = {{WM_ACTIVATE, 0},    {WM_PAINT, 1},       {WM_CLOSE, 0},
                   {WM_ERASEBKGND, 1},  {WM_KEYUP, 0},       {WM_SYSKEYUP, 0},
                   {WM_LBUTTONDOWN, 0}, {WM_LBUTTONUP, 0},   {WM_RBUTTONDOWN, 0},
                   {WM_RBUTTONUP, 0}};
  for (const auto& row : swallowed) {
    EXPECT_EQ(SendMessageA(window, row.message, 0, 0), row.result) << row.message;
  }
  // Double clicks and everything else go to the default procedure.
  for (UINT message : {WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK, 0x0400u}) {
    EXPECT_EQ(sound_owner_window_proc(window, message, 7, 9), DefWindowProcA(window, message, 7, 9));
  }
  // Still alive after WM_CLOSE: the window is the same and still answers.
  EXPECT_EQ(sound_owner_window_create(), 1);
  EXPECT_EQ(SoundOwnerWindow, window);
  EXPECT_EQ(SendMessageA(window, WM_PAINT, 0, 0), 1);
}

}  // namespace
