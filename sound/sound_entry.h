// SoundEntry, the record of one loaded sound in the sound table, and the instance node
// payload.
#pragma once

#include <atomic>

#include "platform/audio/dsound.h"
#include "runtime/objtable.h"
#include "sound/decoders/decoder.h"

// The table hands out entries zero-filled and clears them on release; an entry whose
// buffer is null holds no sound.
struct SoundEntry {
  IDirectSoundBuffer* buffer;  // first: it is what makes the entry present
  ListNode* instances;         // extra playing copies, newest first
  int32_t pan;                 // read back from the new buffer at load
  uint32_t frequency;
  int32_t volume;
  DecoderStream* stream;       // streaming sounds only
  uint32_t stream_bytes;       // ring buffer size of a streaming sound, else 0
  std::atomic<uint8_t> stream_running;  // playback of the stream is wanted
  std::atomic<uint8_t> thread_alive;    // a refill thread works on this entry
  uint32_t play_flags;         // flags of the last streaming play, given to every refill read
};
static_assert(std::atomic<uint8_t>::is_always_lock_free);
static_assert(sizeof(std::atomic<uint8_t>) == 1);

// Payload of a node of SoundEntry::instances: the duplicate buffer.
struct SoundInstance {
  IDirectSoundBuffer* buffer;
};
constexpr int32_t SOUND_INSTANCE_NODE_BYTES =
    static_cast<int32_t>(sizeof(ListNode) + sizeof(SoundInstance));
