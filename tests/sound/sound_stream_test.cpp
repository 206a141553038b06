// Streaming on the capture device: the device is pulled at about real time, so the refill
// thread meets the same deadlines it meets on a real device; the output is compared with
// a whole decode of the same stream, sample for sample.
#include <gtest/gtest.h>

#include "platform/thread/thread.h"
#include "sound/sound.h"
#include "sound/sound_state.h"
#include "tests/sound/sound_test_support.h"

namespace {

// 48000 Hz mono: the capture device plays it without resampling, each sample on both
// channels. 50000 frames is about three halves of the ring buffer.
const FixtureStream kShape = {1, 48000, 50000, 21};
constexpr size_t kChunkFrames = 480;

Samples render_paced(size_t frames) {
  Samples out;
  while (frames > 0) {
    size_t n = frames < kChunkFrames ? frames : kChunkFrames;
    Samples chunk = render(n);
    out.insert(out.end(), chunk.begin(), chunk.end());
    frames -= n;
    Sleep(10);
  }
  return out;
}

// First frame at which two stereo renders differ, or -1.
long first_difference(const Samples& got, const Samples& want) {
  size_t frames = (got.size() < want.size() ? got.size() : want.size()) / 2;
  for (size_t f = 0; f < frames; f++) {
    if (got[2 * f] != want[2 * f] || got[2 * f + 1] != want[2 * f + 1]) return static_cast<long>(f);
  }
  return got.size() == want.size() ? -1 : static_cast<long>(frames);
}

class Streaming : public ::testing::Test {
 protected:
  CaptureSession session;
  Bytes ogg;
  Samples decoded;
  SoundEntry* entry = nullptr;
  void SetUp() override {
    ASSERT_TRUE(session.ready);
    ogg = encode_vorbis(kShape);
    decoded = decode_whole(ogg);
    ASSERT_EQ(decoded.size(), static_cast<size_t>(kShape.frames));
    ASSERT_NE(sound_load_memory(1, ogg.data(), static_cast<int32_t>(ogg.size()), SOUND_LOAD_STREAM), 0);
    entry = entry_of(1);
    ASSERT_NE(entry, nullptr);
  }
  void wait_for_thread_end() {
    for (int i = 0; i < 1000 && entry->thread_alive.load() != 0; i++) Sleep(10);
  }
};

TEST_F(Streaming, PlaysEverySampleOnceInOrderAndStopsByItself) {
  EXPECT_EQ(sound_play(1, 0, -1), 0);  // a streaming play reports 0 even when it starts
  EXPECT_EQ(entry->stream_running.load(), 1);
  EXPECT_EQ(entry->thread_alive.load(), 1);
  Samples played = render_paced(decoded.size());
  EXPECT_EQ(first_difference(played, to_stereo(decoded)), -1);
  // Silence follows until the thread sees the silent half and stops the buffer.
  size_t extra = 0;
  while (entry->stream_running.load() == 1 && extra < 4 * 16384) {
    Samples tail = render_paced(kChunkFrames);
    for (int16_t sample : tail) ASSERT_EQ(sample, 0);
    extra += kChunkFrames;
  }
  EXPECT_EQ(entry->stream_running.load(), 0);
  wait_for_thread_end();
  EXPECT_EQ(entry->thread_alive.load(), 0);
  EXPECT_FALSE(buffer_playing(entry->buffer));
}

TEST_F(Streaming, LoopsWithoutASeam) {
  sound_play(1, SOUND_PLAY_LOOP | SOUND_PLAY_INSTANCE, -1);
  EXPECT_EQ(instance_count(entry), 0u);  // instances are for whole sounds only
  size_t frames = decoded.size() * 2 + decoded.size() / 3;
  Samples played = render_paced(frames);
  Samples expected;
  for (size_t f = 0; f < frames; f++) {
    int16_t sample = decoded[f % decoded.size()];
    expected.push_back(sample);
    expected.push_back(sample);
  }
  EXPECT_EQ(first_difference(played, expected), -1);
  EXPECT_EQ(entry->stream_running.load(), 1);
  sound_stop(1, 0);
  EXPECT_EQ(entry->stream_running.load(), 0);
  wait_for_thread_end();
  EXPECT_EQ(entry->thread_alive.load(), 0);
}

TEST_F(Streaming, PlayingAgainStartsOverFromTheBeginning) {
  sound_play(1, 0, 50);
  EXPECT_EQ(buffer_volume(entry->buffer), -603);
  render_paced(30000);
  sound_play(1, 0, -1);
  EXPECT_EQ(buffer_volume(entry->buffer), -603);
  sound_set_volume(1, 100, 0);
  Samples played = render_paced(decoded.size());
  EXPECT_EQ(first_difference(played, to_stereo(decoded)), -1);
}

TEST_F(Streaming, StopWithAnUnknownInstanceEndsTheThreadButNotTheBuffer) {
  sound_play(1, SOUND_PLAY_LOOP, -1);
  render_paced(4800);
  sound_stop(1, 4242);
  EXPECT_EQ(entry->stream_running.load(), 0);
  wait_for_thread_end();
  EXPECT_EQ(entry->thread_alive.load(), 0);
  EXPECT_TRUE(buffer_playing(entry->buffer));
  // The ring goes on looping over what it holds.
  Samples first = render(32768);
  Samples second = render(32768);
  EXPECT_EQ(first, second);
}

TEST_F(Streaming, ReleaseWhileTheThreadRunsWaitsForIt) {
  sound_play(1, SOUND_PLAY_LOOP, -1);
  render_paced(9600);
  EXPECT_EQ(entry->thread_alive.load(), 1);
  sound_release(1);
  EXPECT_EQ(entry_of(1), nullptr);
  // Straight after a play, before the new thread has run.
  ASSERT_NE(sound_load_memory(1, ogg.data(), static_cast<int32_t>(ogg.size()), SOUND_LOAD_STREAM), 0);
  sound_play(1, 0, -1);
  sound_release(1);
  EXPECT_EQ(entry_of(1), nullptr);
}

}  // namespace
