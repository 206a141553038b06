// The monitor's close path: only the closing of the window runs the library end routine,
// and every event is declined so that the default handling ends the process.
#include <gtest/gtest.h>

#include "app/alarm_clip.h"
#include "app/monitor.h"
#include "console/console.h"
#include "platform/audio/audio_backend.h"
#include "platform/heap/heap.h"
#include "platform/module/module.h"
#include "platform/terminal/terminal.h"
#include "runtime/heaps.h"
#include "runtime/strings.h"
#include "sound/decoders/vorbis_decoder.h"
#include "sound/sound.h"

namespace {

TEST(MonitorClose, OnlyTheCloseEventShutsTheSoundDownAndEveryEventIsDeclined) {
  ProgramInstance = GetModuleHandleA(nullptr);
  MainHeap = HeapCreate(0, 4096, 0);
  string_manager_init();
  audio_select_backend(AUDIO_BACKEND_CAPTURE);
  vorbis_decoder_register();
  ASSERT_NE(sound_init(), 0);
  ASSERT_NE(sound_load_memory(0, ALARM_CLIP, static_cast<int32_t>(ALARM_CLIP_SIZE), 0), 0);

  for (DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT}) {
    EXPECT_EQ(console_control_handler(event), FALSE) << event;
    EXPECT_EQ(sound_play(0, 0, -1), 1) << "event " << event << " must not touch the sound";
  }

  EXPECT_EQ(console_control_handler(CTRL_CLOSE_EVENT), FALSE);
  EXPECT_EQ(sound_play(0, 0, -1), 0);
}

}  // namespace
