// Playing whole sounds on the capture device: restart from the beginning, looping, extra
// instances beside the main buffer with their own volumes, and their purge.
#include <gtest/gtest.h>

#include <cmath>

#include "sound/sound.h"
#include "sound/sound_state.h"
#include "tests/sound/sound_test_support.h"

namespace {

intptr_t load(intptr_t number, const Bytes& image, uint32_t flags = 0) {
  return sound_load_memory(number, image.data(), static_cast<int32_t>(image.size()), flags);
}

Samples frames_of(const Samples& stereo, size_t first, size_t count) {
  return Samples(stereo.begin() + 2 * first, stereo.begin() + 2 * (first + count));
}

class WholePlay : public ::testing::Test {
 protected:
  CaptureSession session;
  void SetUp() override { ASSERT_TRUE(session.ready); }
};

TEST_F(WholePlay, ANumberWithoutASoundPlaysNothing) { EXPECT_EQ(sound_play(9, 0, -1), 0); }

TEST_F(WholePlay, PlayingAgainRestartsFromTheBeginningAtTheSameVolume) {
  Samples sound = ramp(2000);  // 1000 stereo frames
  ASSERT_NE(load(0, make_wav(2, 48000, sound)), 0);
  EXPECT_EQ(sound_play(0, 0, -1), 1);
  EXPECT_EQ(render(300), frames_of(sound, 0, 300));
  EXPECT_EQ(sound_play(0, 0, -1), 1);
  EXPECT_EQ(render(300), frames_of(sound, 0, 300));

  sound_set_volume(0, 50, 0);
  EXPECT_EQ(sound_play(0, 0, -1), 1);
  EXPECT_EQ(buffer_volume(entry_of(0)->buffer), -603);
  EXPECT_EQ(sound_play(0, 0, 100), 1);
  EXPECT_EQ(buffer_volume(entry_of(0)->buffer), 0);
}

TEST_F(WholePlay, OncePlayEndsAndLoopPlayWraps) {
  Samples sound = ramp(1000);  // 500 frames
  ASSERT_NE(load(0, make_wav(2, 48000, sound)), 0);
  SoundEntry* entry = entry_of(0);
  EXPECT_EQ(sound_play(0, 0, -1), 1);
  Samples once = render(700);
  EXPECT_EQ(frames_of(once, 0, 500), sound);
  EXPECT_EQ(frames_of(once, 500, 200), Samples(400, 0));
  EXPECT_FALSE(buffer_playing(entry->buffer));

  EXPECT_EQ(sound_play(0, SOUND_PLAY_LOOP, -1), 1);
  Samples looped = render(1300);
  for (size_t frame = 0; frame < 1300; frame++) {
    ASSERT_EQ(looped[2 * frame], sound[2 * (frame % 500)]) << frame;
  }
  EXPECT_TRUE(buffer_playing(entry->buffer));
}

TEST_F(WholePlay, InstancesPlayBesideTheMainBufferWithTheirOwnVolumes) {
  const int16_t level = 8000;
  ASSERT_NE(load(0, make_wav(1, 48000, constant(4800, level))), 0);
  SoundEntry* entry = entry_of(0);
  EXPECT_EQ(sound_play(0, 0, -1), 1);
  render(100);
  intptr_t half = sound_play(0, SOUND_PLAY_INSTANCE, 50);
  intptr_t quarter = sound_play(0, SOUND_PLAY_INSTANCE, 25);
  ASSERT_NE(half, 0);
  ASSERT_NE(quarter, 0);
  EXPECT_NE(half, quarter);
  EXPECT_EQ(instance_count(entry), 2u);
  EXPECT_EQ(buffer_volume(entry->buffer), 0);
  EXPECT_EQ(buffer_volume(instance_buffer(half)), -603);
  EXPECT_EQ(buffer_volume(instance_buffer(quarter)), -1205);
  // The main buffer went on from where it was.
  DWORD cursor = 0;
  entry->buffer->GetCurrentPosition(&cursor, nullptr);
  EXPECT_EQ(cursor, 200u);

  Samples mixed = render(100);
  double expected = level * (1.0 + std::pow(10.0, -603 / 2000.0) + std::pow(10.0, -1205 / 2000.0));
  for (int16_t sample : mixed) ASSERT_NEAR(sample, expected, 2.0);
}

TEST_F(WholePlay, FinishedInstancesGoAtTheNextInstancePlay) {
  ASSERT_NE(load(0, make_wav(1, 48000, ramp(200))), 0);
  SoundEntry* entry = entry_of(0);
  intptr_t looping = sound_play(0, SOUND_PLAY_INSTANCE | SOUND_PLAY_LOOP, -1);
  intptr_t first = sound_play(0, SOUND_PLAY_INSTANCE, -1);
  ASSERT_NE(looping, 0);
  ASSERT_NE(first, 0);
  render(300);
  EXPECT_FALSE(buffer_playing(instance_buffer(first)));
  // Still listed until the next instance play.
  EXPECT_EQ(instance_count(entry), 2u);
  intptr_t second = sound_play(0, SOUND_PLAY_INSTANCE, -1);
  ASSERT_NE(second, 0);
  // Only the new instance and the looping one are left, newest first.
  ASSERT_EQ(instance_count(entry), 2u);
  EXPECT_EQ(reinterpret_cast<intptr_t>(entry->instances + 1), second);
  EXPECT_EQ(reinterpret_cast<intptr_t>(entry->instances->next + 1), looping);
  if (first != second) {
    // A purged handle is no longer acted on.
    sound_set_volume(0, 10, first);
    sound_stop(0, first);
  }
  EXPECT_TRUE(buffer_playing(instance_buffer(second)));
}

TEST_F(WholePlay, AnInstanceWithoutAVolumeGetsTheVolumeReadAtLoad) {
  ASSERT_NE(load(0, make_wav(1, 48000, ramp(2000))), 0);
  SoundEntry* entry = entry_of(0);
  sound_set_volume(0, 10, 0);
  EXPECT_EQ(buffer_volume(entry->buffer), -2000);
  intptr_t instance = sound_play(0, SOUND_PLAY_INSTANCE, -1);
  ASSERT_NE(instance, 0);
  EXPECT_EQ(buffer_volume(instance_buffer(instance)), entry->volume);
  EXPECT_EQ(entry->volume, 0);
  EXPECT_TRUE(buffer_playing(instance_buffer(instance)));
}

}  // namespace
