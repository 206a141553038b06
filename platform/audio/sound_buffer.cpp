// The sound buffer: its position, state, volume, pan and frequency, and locked regions.
// Every field the mixer reads is changed under the device's mixer lock; converters are made
// and freed outside it, so that the mixer thread never waits on an allocation.
#include "platform/audio/audio_internal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// 10^(hundredths of a decibel / 2000); the lowest setting is silence.
float attenuation_gain(LONG hundredths) {
  if (hundredths <= DSBVOLUME_MIN) return 0.0f;
  return static_cast<float>(std::pow(10.0, hundredths / 2000.0));
}

// Pan attenuates the other side on the volume's scale (mixer lock held).
void update_gains(SoundBuffer* buffer) {
  float gain = attenuation_gain(buffer->volume);
  buffer->gain_left = gain * (buffer->pan > 0 ? attenuation_gain(-buffer->pan) : 1.0f);
  buffer->gain_right = gain * (buffer->pan < 0 ? attenuation_gain(buffer->pan) : 1.0f);
}

bool store_in_use_by_player(SoundBuffer* buffer) {
  for (SoundBuffer* voice = buffer->device->playing_head; voice != nullptr; voice = voice->next_playing) {
    if (voice->store == buffer->store && voice->playing) return true;
  }
  return false;
}

// Hands out one region, as the buffer's own bytes or (while the samples play) as a copy.
HRESULT hand_out(SoundBuffer* buffer, DWORD offset, DWORD bytes, bool copy, void** region) {
  int slot = -1;
  for (int i = 0; i < MAX_LOCKED_REGIONS; ++i) {
    if (buffer->locks[i].handed_out == nullptr) {
      slot = i;
      break;
    }
  }
  if (slot < 0) return DSERR_INVALIDPARAM;
  BYTE* at = buffer->store->bytes + offset;
  if (copy) {
    BYTE* copied = static_cast<BYTE*>(std::malloc(bytes));
    if (copied == nullptr) return DSERR_OUTOFMEMORY;
    std::memcpy(copied, at, bytes);
    at = copied;
  }
  buffer->locks[slot] = LockedRegion{at, offset, bytes, copy};
  *region = at;
  return DS_OK;
}

// Takes back a region Lock handed out; a copy goes into the samples. Mixer lock held.
HRESULT take_back(SoundBuffer* buffer, void* region, DWORD bytes) {
  for (LockedRegion& lock : buffer->locks) {
    if (lock.handed_out == nullptr || lock.handed_out != region) continue;
    if (lock.is_copy) {
      DWORD written = bytes < lock.bytes ? bytes : lock.bytes;
      std::memcpy(buffer->store->bytes + lock.offset, lock.handed_out, written);
      std::free(lock.handed_out);
    }
    lock = LockedRegion{};
    return DS_OK;
  }
  return DSERR_INVALIDPARAM;
}

}  // namespace

HRESULT SoundBuffer::GetCurrentPosition(DWORD* play_cursor, DWORD* write_cursor) {
  if (play_cursor == nullptr && write_cursor == nullptr) return DSERR_INVALIDPARAM;
  if (primary) {
    if (play_cursor != nullptr) *play_cursor = 0;
    if (write_cursor != nullptr) *write_cursor = 0;
    return DS_OK;
  }
  std::lock_guard<std::mutex> hold(device->mixer_lock);
  // The write cursor is the first byte not yet handed to the converter: writing from there
  // on is heard.
  if (play_cursor != nullptr) *play_cursor = cursor_frame * frame_bytes;
  if (write_cursor != nullptr) {
    DWORD ahead = playing ? read_frame : cursor_frame;
    if (ahead >= frames) ahead = 0;
    *write_cursor = ahead * frame_bytes;
  }
  return DS_OK;
}

HRESULT SoundBuffer::GetFrequency(DWORD* out) {
  if (out == nullptr) return DSERR_INVALIDPARAM;
  if (primary) return DSERR_UNSUPPORTED;
  std::lock_guard<std::mutex> hold(device->mixer_lock);
  *out = frequency;
  return DS_OK;
}

HRESULT SoundBuffer::GetPan(LONG* out) {
  if (out == nullptr) return DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> hold(device->mixer_lock);
  *out = pan;
  return DS_OK;
}

HRESULT SoundBuffer::GetStatus(DWORD* status) {
  if (status == nullptr) return DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> hold(device->mixer_lock);
  *status = playing ? (DSBSTATUS_PLAYING | (looping ? DSBSTATUS_LOOPING : 0)) : 0;
  return DS_OK;
}

HRESULT SoundBuffer::GetVolume(LONG* out) {
  if (out == nullptr) return DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> hold(device->mixer_lock);
  *out = volume;
  return DS_OK;
}

HRESULT SoundBuffer::Lock(DWORD offset, DWORD bytes, void** region1, DWORD* bytes1, void** region2,
                          DWORD* bytes2, DWORD flags) {
  if (region1 == nullptr || bytes1 == nullptr) return DSERR_INVALIDPARAM;
  if ((region2 == nullptr) != (bytes2 == nullptr)) return DSERR_INVALIDPARAM;
  if ((flags & ~(DSBLOCK_FROMWRITECURSOR | DSBLOCK_ENTIREBUFFER)) != 0) return DSERR_INVALIDPARAM;
  if (primary) return DSERR_UNSUPPORTED;
  std::lock_guard<std::mutex> hold(device->mixer_lock);
  const DWORD size = store->size;
  if (flags & DSBLOCK_FROMWRITECURSOR) {
    DWORD ahead = playing ? read_frame : cursor_frame;
    offset = ahead >= frames ? 0 : ahead * frame_bytes;
  }
  if (flags & DSBLOCK_ENTIREBUFFER) bytes = size;
  if (offset >= size || bytes == 0 || bytes > size) return DSERR_INVALIDPARAM;
  DWORD first = size - offset < bytes ? size - offset : bytes;
  DWORD second = bytes - first;
  // A request that runs past the end wraps only for a caller that takes a second region.
  if (second > 0 && region2 == nullptr) return DSERR_INVALIDPARAM;
  bool copy = store_in_use_by_player(this);
  HRESULT result = hand_out(this, offset, first, copy, region1);
  if (result != DS_OK) return result;
  *bytes1 = first;
  if (region2 != nullptr) {
    *region2 = nullptr;
    *bytes2 = 0;
    if (second > 0) {
      result = hand_out(this, 0, second, copy, region2);
      if (result != DS_OK) {
        take_back(this, *region1, 0);
        *region1 = nullptr;
        *bytes1 = 0;
        return result;
      }
      *bytes2 = second;
    }
  }
  return DS_OK;
}

HRESULT SoundBuffer::Unlock(void* region1, DWORD bytes1, void* region2, DWORD bytes2) {
  if (primary) return DSERR_UNSUPPORTED;
  if (region1 == nullptr) return DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> hold(device->mixer_lock);
  HRESULT result = take_back(this, region1, bytes1);
  if (region2 != nullptr) {
    HRESULT second = take_back(this, region2, bytes2);
    if (result == DS_OK) result = second;
  }
  return result;
}

HRESULT SoundBuffer::Play(DWORD reserved, DWORD priority, DWORD flags) {
  if (reserved != 0 || priority != 0) return DSERR_INVALIDPARAM;
  if (primary) return DS_OK;  // the primary buffer always "plays": the mix goes out anyway
  bool loop = (flags & DSBPLAY_LOOPING) != 0;
  bool was_playing;
  {
    std::lock_guard<std::mutex> hold(device->mixer_lock);
    was_playing = playing;
    if (playing && loop != looping) {
      // Feed again from the cursor: a once-play may have fed its end already, a loop may
      // have fed frames past the wrap.
      looping = loop;
      mixer_resync_voice(this);
    }
    looping = loop;
    mixer_start_voice(this);
  }
  if (was_playing) return DS_OK;
  HRESULT woken = device->backend->wake(device);
  if (woken != DS_OK) {
    std::lock_guard<std::mutex> hold(device->mixer_lock);
    mixer_stop_voice(this);
  }
  return woken;
}

HRESULT SoundBuffer::SetCurrentPosition(DWORD position) {
  if (primary) return DSERR_UNSUPPORTED;
  std::lock_guard<std::mutex> hold(device->mixer_lock);
  if (position >= store->size) return DSERR_INVALIDPARAM;
  DWORD frame = position / frame_bytes;
  if (frame >= frames) frame = 0;  // inside the trailing partial frame
  cursor_frame = frame;
  mixer_resync_voice(this);
  return DS_OK;
}

HRESULT SoundBuffer::SetFrequency(DWORD wanted) {
  if (primary) return DSERR_UNSUPPORTED;
  if (wanted == DSBFREQUENCY_ORIGINAL) wanted = format.nSamplesPerSec;
  if (wanted < DSBFREQUENCY_MIN || wanted > DSBFREQUENCY_MAX) return DSERR_INVALIDPARAM;
  {
    std::lock_guard<std::mutex> hold(device->mixer_lock);
    if (wanted == frequency) return DS_OK;
  }
  // A converter runs at one rate: a new rate gets a new converter, made outside the lock.
  SDL_AudioStream* fresh = audio_new_converter(format, sample_format, wanted);
  if (fresh == nullptr) return DSERR_OUTOFMEMORY;
  SDL_AudioStream* old;
  {
    std::lock_guard<std::mutex> hold(device->mixer_lock);
    old = converter;
    converter = fresh;
    frequency = wanted;
    mixer_resync_voice(this);
  }
  SDL_FreeAudioStream(old);
  return DS_OK;
}

HRESULT SoundBuffer::SetPan(LONG wanted) {
  if (wanted < DSBPAN_LEFT || wanted > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> hold(device->mixer_lock);
  pan = wanted;
  update_gains(this);
  return DS_OK;
}

HRESULT SoundBuffer::SetVolume(LONG wanted) {
  if (wanted < DSBVOLUME_MIN || wanted > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> hold(device->mixer_lock);
  volume = wanted;
  update_gains(this);
  return DS_OK;
}

HRESULT SoundBuffer::Stop() {
  if (primary) return DS_OK;
  std::lock_guard<std::mutex> hold(device->mixer_lock);
  // Also ends the tail of a finished once-play; what the converter holds beyond the
  // cursor would otherwise play again at the next Play.
  mixer_stop_voice(this);
  return DS_OK;
}

ULONG SoundBuffer::Release() {
  ULONG left = references.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left != 0) return left;
  AudioDevice* owner = device;
  if (!primary) {
    {
      std::lock_guard<std::mutex> hold(owner->mixer_lock);
      mixer_stop_voice(this);
      for (LockedRegion& lock : locks) {
        if (lock.handed_out != nullptr && lock.is_copy) std::free(lock.handed_out);
        lock = LockedRegion{};
      }
    }
    SDL_FreeAudioStream(converter);
    if (store->users.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      std::free(store->bytes);
      delete store;
    }
  }
  delete this;
  audio_device_drop(owner);
  return 0;
}

void sound_buffer_init_mixing(SoundBuffer* buffer) {
  buffer->frequency = buffer->format.nSamplesPerSec;
  update_gains(buffer);
}
