// The real device where no output can be had: DirectSoundCreate fails cleanly, leaves the
// object null, and can be asked again.
#include "platform/audio/audio_backend.h"
#include "platform/audio/dsound_entry.h"

#include <gtest/gtest.h>

#include <stdlib.h>

namespace {

void expect_no_device() {
  audio_select_backend(AUDIO_BACKEND_DEVICE);
  for (int attempt = 0; attempt < 2; ++attempt) {
    IDirectSound* object = reinterpret_cast<IDirectSound*>(1);
    EXPECT_EQ(DirectSoundCreate(nullptr, &object, nullptr), DSERR_NODRIVER);
    EXPECT_EQ(object, nullptr);
  }
}

TEST(NoSoundServer, DirectSoundCreateFailsWhenTheServerCannotBeReached) {
  char config[] = "/tmp/ostrelin-client-conf.XXXXXX";
  int fd = mkstemp(config);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "autospawn = no\n", 15), 15);
  close(fd);
  setenv("PULSE_CLIENTCONFIG", config, 1);
  setenv("PULSE_SERVER", "unix:/nonexistent/ostrelin/native", 1);
  setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
  expect_no_device();
  unlink(config);
}

TEST(NoSoundServer, DirectSoundCreateFailsWhenNoDriverIsKnown) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  expect_no_device();
}

}  // namespace
