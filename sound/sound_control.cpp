// Finding a sound by number, and stopping, setting the volume of and releasing sounds.
#include "platform/thread/thread.h"
#include "sound/sound.h"
#include "sound/sound_gate.h"
#include "sound/sound_state.h"

namespace {

// The instance buffer a handle names, if the handle is still in the entry's list.
IDirectSoundBuffer* find_instance(SoundEntry* entry, intptr_t instance) {
  void* payload = reinterpret_cast<void*>(instance);
  if (list_find(reinterpret_cast<ListNode*>(&entry->instances), payload) == nullptr) {
    return nullptr;
  }
  return static_cast<SoundInstance*>(payload)->buffer;
}

void apply(SoundEntry* entry, intptr_t instance, SoundBufferOperation operation,
           int32_t argument) {
  if (instance == SOUND_ALL) {
    sound_for_each_buffer(entry, operation, argument);
  } else if (instance == 0) {
    operation(entry->buffer, argument);
  } else {
    IDirectSoundBuffer* buffer = find_instance(entry, instance);
    if (buffer != nullptr) operation(buffer, argument);
  }
}

}  // namespace

SoundEntry* sound_find(intptr_t number) {
  if (SoundTable == nullptr) return nullptr;
  if (number < 0 || number >= SoundTable->slot_count) {
    // Only an address the table handed out is looked at; anything else finds nothing.
    void* payload = reinterpret_cast<void*>(number);
    if (list_find(reinterpret_cast<ListNode*>(&SoundTable->dynamic_head), payload) == nullptr) {
      return nullptr;
    }
  }
  return static_cast<SoundEntry*>(objtable_get(SoundTable, number));
}

int32_t sound_stop_buffer(IDirectSoundBuffer* buffer, int32_t) {
  buffer->Stop();
  buffer->SetCurrentPosition(0);
  return 1;
}

int32_t sound_set_buffer_volume(IDirectSoundBuffer* buffer, int32_t volume) {
  buffer->SetVolume(VolumeTable[volume] - 10000);
  return 1;
}

void sound_for_each_buffer(SoundEntry* entry, SoundBufferOperation operation, int32_t argument) {
  operation(entry->buffer, argument);
  for (ListNode* node = entry->instances; node != nullptr; node = node->next) {
    operation(reinterpret_cast<SoundInstance*>(node + 1)->buffer, argument);
  }
}

void sound_stop(intptr_t number, intptr_t instance) {
  SoundCall call;
  if (!call) return;
  if (number == SOUND_ALL) {
    if (SoundTable == nullptr) return;
    objtable_first(SoundTable);
    intptr_t each = 0;
    while (objtable_next(SoundTable, &each) != nullptr) sound_stop(each, 0);
    return;
  }
  SoundEntry* entry = sound_find(number);
  if (entry == nullptr) return;
  apply(entry, instance, sound_stop_buffer, 0);
  entry->stream_running.store(0);
}

void sound_set_volume(intptr_t number, int32_t volume, intptr_t instance) {
  SoundCall call;
  if (!call) return;
  SoundEntry* entry = sound_find(number);
  if (entry == nullptr) return;
  if (volume > 100) volume = 100;
  if (volume < 0) volume = 0;
  apply(entry, instance, sound_set_buffer_volume, volume);
}

void sound_release(intptr_t number) {
  SoundCall call;
  if (!call) return;
  SoundEntry* entry = sound_find(number);
  if (entry == nullptr) return;
  if (entry->stream != nullptr) {
    entry->stream_running.store(0);
    while (entry->thread_alive.load() == 1) Sleep(0);
    decoder_close(entry->stream);
  }
  while (entry->instances != nullptr) {
    SoundInstance* instance = reinterpret_cast<SoundInstance*>(entry->instances + 1);
    instance->buffer->Release();
    list_remove(&entry->instances, instance);
  }
  entry->buffer->Release();
  objtable_free(SoundTable, number);
}
