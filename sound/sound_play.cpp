// Starting a sound: a streaming sound through its ring buffer and refill thread, an extra
// instance of a whole sound beside the others, or a whole sound from its beginning.
#include "platform/thread/thread.h"
#include "sound/sound.h"
#include "sound/sound_gate.h"
#include "sound/sound_state.h"

namespace {

intptr_t play_stream(intptr_t number, SoundEntry* entry, uint32_t flags, int32_t volume) {
  sound_stop(number, 0);
  while (entry->thread_alive.load() == 1) Sleep(SOUND_PLAY_WAIT_MS);
  decoder_rewind(entry->stream);
  entry->play_flags = flags;
  entry->stream_running.store(1);
  sound_refill_half(entry, 0);
  // Raised before the thread exists and lowered by the thread as its last touch of the
  // entry, so that no later play or release can miss a thread that has not run yet.
  entry->thread_alive.store(1);
  DWORD thread_id = 0;
  HANDLE thread = CreateThread(nullptr, SOUND_REFILL_STACK_BYTES, sound_stream_thread, entry, 0,
                               &thread_id);
  if (thread != 0) {
    CloseHandle(thread);
  } else {
    entry->thread_alive.store(0);
  }
  if (volume != -1) sound_set_volume(number, volume, 0);
  entry->buffer->SetCurrentPosition(0);
  entry->buffer->Play(0, 0, DSBPLAY_LOOPING);
  return 0;
}

intptr_t play_main(intptr_t number, SoundEntry* entry, uint32_t flags, int32_t volume) {
  entry->buffer->Stop();
  entry->buffer->SetCurrentPosition(0);
  if (volume != -1) sound_set_volume(number, volume, 0);
  DWORD play_flags = (flags & SOUND_PLAY_LOOP) ? DSBPLAY_LOOPING : 0;
  return entry->buffer->Play(0, 0, play_flags) == DS_OK ? 1 : 0;
}

intptr_t play_instance(intptr_t number, SoundEntry* entry, uint32_t flags, int32_t volume) {
  sound_purge_instances(entry);
  SoundInstance* instance =
      static_cast<SoundInstance*>(list_add(&entry->instances, SOUND_INSTANCE_NODE_BYTES));
  if (instance == nullptr) return 0;
  IDirectSoundBuffer* duplicate = nullptr;
  if (SoundDevice == nullptr ||
      SoundDevice->DuplicateSoundBuffer(entry->buffer, &duplicate) != DS_OK ||
      duplicate == nullptr) {
    list_remove(&entry->instances, instance);
    return 0;
  }
  instance->buffer = duplicate;
  intptr_t handle = reinterpret_cast<intptr_t>(instance);
  duplicate->SetFrequency(entry->frequency);
  duplicate->SetPan(entry->pan);
  if (volume == -1) {
    duplicate->SetVolume(entry->volume);
  } else {
    sound_set_volume(number, volume, handle);
  }
  duplicate->Play(0, 0, (flags & SOUND_PLAY_LOOP) ? DSBPLAY_LOOPING : 0);
  return handle;
}

}  // namespace

intptr_t sound_play(intptr_t number, uint32_t flags, int32_t volume) {
  SoundCall call;
  if (!call) return 0;
  SoundEntry* entry = sound_find(number);
  if (entry == nullptr) return 0;
  if (entry->stream != nullptr) return play_stream(number, entry, flags, volume);
  if (flags & SOUND_PLAY_INSTANCE) return play_instance(number, entry, flags, volume);
  return play_main(number, entry, flags, volume);
}

void sound_purge_instances(SoundEntry* entry) {
  ListNode* node = entry->instances;
  while (node != nullptr) {
    ListNode* older = node->next;
    SoundInstance* instance = reinterpret_cast<SoundInstance*>(node + 1);
    DWORD status = 0;
    instance->buffer->GetStatus(&status);
    if ((status & DSBSTATUS_PLAYING) == 0) {
      instance->buffer->Release();
      list_remove(&entry->instances, instance);
    }
    node = older;
  }
}
