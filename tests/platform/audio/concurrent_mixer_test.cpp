// The mixer's lock: a thread pulling mixed frames while others play, stop, change, lock,
// duplicate and release buffers. Run under the thread sanitizer as well as the others.
#include "platform/audio/audio_backend.h"
#include "platform/audio/dsound_entry.h"
#include "tests/platform/audio/audio_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

TEST(ConcurrentMixer, CallersAndTheMixerThreadShareBuffersSafely) {
  audio_select_backend(AUDIO_BACKEND_CAPTURE);
  IDirectSound* device = nullptr;
  ASSERT_EQ(DirectSoundCreate(nullptr, &device, nullptr), DS_OK);
  WAVEFORMATEX format = pcm_format(1, 22050, 16);
  DSBUFFERDESC description = secondary_description(&format, 8192);
  IDirectSoundBuffer* ring = nullptr;
  ASSERT_EQ(device->CreateSoundBuffer(&description, &ring, nullptr), DS_OK);
  std::vector<int16_t> tone = sine_samples(4096, 1, 22050, 300, 0.3);
  ASSERT_TRUE(write_buffer(ring, tone.data(), 8192));

  std::atomic<bool> done{false};
  std::atomic<size_t> rendered{0};
  std::thread mixer([&] {
    std::vector<int16_t> out(2 * 512);
    while (!done.load()) rendered += audio_capture_render(out.data(), 512);
  });
  // The callers start once the mixer runs, so that they really overlap it on a busy machine.
  auto wait_for_mixer = [&] {
    while (rendered.load() == 0) std::this_thread::yield();
  };
  std::thread refiller([&] {
    wait_for_mixer();
    ring->Play(0, 0, DSBPLAY_LOOPING);
    for (int i = 0; i < 3000; ++i) {
      void* first = nullptr;
      void* second = nullptr;
      DWORD first_bytes = 0, second_bytes = 0;
      DWORD play = 0;
      ring->GetCurrentPosition(&play, nullptr);
      if (ring->Lock((play + 4096) % 8192, 4096, &first, &first_bytes, &second, &second_bytes, 0) == DS_OK) {
        std::memset(first, i & 0xFF, first_bytes);
        if (second != nullptr) std::memset(second, i & 0xFF, second_bytes);
        ring->Unlock(first, first_bytes, second, second_bytes);
      }
      ring->SetFrequency(i % 2 ? 44100 : 22050);
      ring->SetVolume(-(i % 50) * 100);
    }
  });
  std::thread instances([&] {
    wait_for_mixer();
    for (int i = 0; i < 1500; ++i) {
      IDirectSoundBuffer* copy = nullptr;
      if (device->DuplicateSoundBuffer(ring, &copy) != DS_OK) continue;
      copy->SetPan((i % 21 - 10) * 1000);
      copy->Play(0, 0, i % 3 == 0 ? DSBPLAY_LOOPING : 0);
      DWORD status = 0;
      copy->GetStatus(&status);
      if (i % 2) copy->Stop();
      copy->SetCurrentPosition(static_cast<DWORD>(i * 2) % 8192);
      copy->Release();
    }
  });
  refiller.join();
  instances.join();
  ring->Stop();
  done = true;
  mixer.join();
  EXPECT_GT(rendered.load(), 0u);

  // Everything is stopped or released: the mix is silent again.
  std::vector<int16_t> out(2 * 256, 1);
  ASSERT_EQ(audio_capture_render(out.data(), 256), 256u);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 0; }));
  EXPECT_EQ(ring->Release(), 0u);
  EXPECT_EQ(device->Release(), 0u);
  audio_select_backend(AUDIO_BACKEND_DEVICE);
}

}  // namespace
