// The device object: DirectSoundCreate over the selected backend, the cooperative level,
// buffer creation and duplication.
#include "platform/audio/audio_internal.h"
#include "platform/audio/dsound_entry.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

std::atomic<int> selected_backend{AUDIO_BACKEND_DEVICE};

const AudioBackendOps* backend_for(int backend) {
  switch (backend) {
    case AUDIO_BACKEND_CAPTURE:
      return &capture_backend_ops;
    case AUDIO_BACKEND_NONE:
      return &none_backend_ops;
    default:
      return &sdl_backend_ops;
  }
}

bool is_null_guid(const GUID& guid) { return std::memcmp(&guid, &GUID_NULL, sizeof(GUID)) == 0; }

// The layout of the description that callers written for 32-bit addresses fill in.
constexpr DWORD DESCRIPTION_BYTES_32BIT = 36;

HRESULT create_primary(AudioDevice* device, const DSBUFFERDESC* description,
                       IDirectSoundBuffer** out) {
  if (description->dwBufferBytes != 0 || description->lpwfxFormat != nullptr) return DSERR_INVALIDPARAM;
  SoundBuffer* buffer = new (std::nothrow) SoundBuffer;
  if (buffer == nullptr) return DSERR_OUTOFMEMORY;
  buffer->device = device;
  buffer->primary = true;
  device->holders.fetch_add(1, std::memory_order_relaxed);
  *out = buffer;
  return DS_OK;
}

HRESULT create_secondary(AudioDevice* device, const DSBUFFERDESC* description,
                         IDirectSoundBuffer** out) {
  SDL_AudioFormat sample_format = 0;
  HRESULT checked = audio_check_format(description->lpwfxFormat, &sample_format);
  if (checked != DS_OK) return checked;
  const WAVEFORMATEX& format = *description->lpwfxFormat;
  DWORD bytes = description->dwBufferBytes;
  if (bytes < DSBSIZE_MIN || bytes > DSBSIZE_MAX || bytes < format.nBlockAlign) return DSERR_INVALIDPARAM;

  SoundBuffer* buffer = new (std::nothrow) SoundBuffer;
  SampleStore* store = new (std::nothrow) SampleStore;
  BYTE* samples = static_cast<BYTE*>(std::calloc(bytes, 1));
  SDL_AudioStream* converter = audio_new_converter(format, sample_format, format.nSamplesPerSec);
  if (buffer == nullptr || store == nullptr || samples == nullptr || converter == nullptr) {
    HRESULT failure = converter == nullptr && buffer && store && samples ? DSERR_BADFORMAT : DSERR_OUTOFMEMORY;
    SDL_FreeAudioStream(converter);
    std::free(samples);
    delete store;
    delete buffer;
    return failure;
  }
  store->users.store(1, std::memory_order_relaxed);
  store->bytes = samples;
  store->size = bytes;
  buffer->device = device;
  buffer->store = store;
  // Copied field by field: cbSize is not part of a PCM format and may not be there.
  buffer->format.wFormatTag = format.wFormatTag;
  buffer->format.nChannels = format.nChannels;
  buffer->format.nSamplesPerSec = format.nSamplesPerSec;
  buffer->format.nAvgBytesPerSec = format.nAvgBytesPerSec;
  buffer->format.nBlockAlign = format.nBlockAlign;
  buffer->format.wBitsPerSample = format.wBitsPerSample;
  buffer->format.cbSize = 0;
  buffer->sample_format = sample_format;
  buffer->frame_bytes = format.nBlockAlign;
  buffer->frames = bytes / format.nBlockAlign;
  buffer->converter = converter;
  sound_buffer_init_mixing(buffer);
  device->holders.fetch_add(1, std::memory_order_relaxed);
  *out = buffer;
  return DS_OK;
}

}  // namespace

void audio_select_backend(AudioBackend backend) { selected_backend.store(backend); }

HRESULT DirectSoundCreate(const GUID* device_guid, IDirectSound** object, void* outer) {
  if (object == nullptr) return DSERR_INVALIDPARAM;
  *object = nullptr;
  if (outer != nullptr) return DSERR_NOAGGREGATION;
  if (device_guid != nullptr && !is_null_guid(*device_guid)) return DSERR_NODRIVER;
  AudioDevice* device = new (std::nothrow) AudioDevice;
  if (device == nullptr) return DSERR_OUTOFMEMORY;
  device->mix_sum = static_cast<float*>(std::malloc(MIX_CHUNK_FRAMES * MIX_CHANNELS * sizeof(float)));
  device->voice_mix = static_cast<float*>(std::malloc(MIX_CHUNK_FRAMES * MIX_CHANNELS * sizeof(float)));
  device->backend = backend_for(selected_backend.load());
  if (device->mix_sum == nullptr || device->voice_mix == nullptr) {
    std::free(device->mix_sum);
    std::free(device->voice_mix);
    delete device;
    return DSERR_OUTOFMEMORY;
  }
  if (!device->backend->open(device)) {
    std::free(device->mix_sum);
    std::free(device->voice_mix);
    delete device;
    return DSERR_NODRIVER;
  }
  *object = device;
  return DS_OK;
}

HRESULT AudioDevice::SetCooperativeLevel(HWND window, DWORD level) {
  if (window == 0 || level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) return DSERR_INVALIDPARAM;
  cooperative_level.store(level);
  return DS_OK;
}

HRESULT AudioDevice::CreateSoundBuffer(const DSBUFFERDESC* description, IDirectSoundBuffer** buffer,
                                       void* outer) {
  if (buffer == nullptr) return DSERR_INVALIDPARAM;
  *buffer = nullptr;
  if (outer != nullptr) return DSERR_NOAGGREGATION;
  if (description == nullptr) return DSERR_INVALIDPARAM;
  if (description->dwSize != sizeof(DSBUFFERDESC) && description->dwSize != DESCRIPTION_BYTES_32BIT)
    return DSERR_INVALIDPARAM;
  if (description->dwFlags & DSBCAPS_PRIMARYBUFFER) return create_primary(this, description, buffer);
  return create_secondary(this, description, buffer);
}

HRESULT AudioDevice::DuplicateSoundBuffer(IDirectSoundBuffer* original_interface,
                                          IDirectSoundBuffer** duplicate) {
  if (duplicate == nullptr) return DSERR_INVALIDPARAM;
  *duplicate = nullptr;
  if (original_interface == nullptr) return DSERR_INVALIDPARAM;
  // Every buffer is one of ours: SoundBuffer is the only implementation of the interface.
  SoundBuffer* original = static_cast<SoundBuffer*>(original_interface);
  if (original->primary || original->device != this) return DSERR_INVALIDPARAM;
  SDL_AudioStream* converter = nullptr;
  DWORD frequency;
  {
    std::lock_guard<std::mutex> hold(mixer_lock);
    frequency = original->frequency;
  }
  converter = audio_new_converter(original->format, original->sample_format, frequency);
  SoundBuffer* copy = new (std::nothrow) SoundBuffer;
  if (converter == nullptr || copy == nullptr) {
    SDL_FreeAudioStream(converter);
    delete copy;
    return DSERR_OUTOFMEMORY;
  }
  copy->device = this;
  copy->store = original->store;
  copy->store->users.fetch_add(1, std::memory_order_relaxed);
  copy->format = original->format;
  copy->sample_format = original->sample_format;
  copy->frame_bytes = original->frame_bytes;
  copy->frames = original->frames;
  copy->converter = converter;
  {
    std::lock_guard<std::mutex> hold(mixer_lock);
    copy->volume = original->volume;
    copy->pan = original->pan;
    copy->gain_left = original->gain_left;
    copy->gain_right = original->gain_right;
    // The rate the converter was made for, even if the original's changed meanwhile.
    copy->frequency = frequency;
  }
  holders.fetch_add(1, std::memory_order_relaxed);
  *duplicate = copy;
  return DS_OK;
}

ULONG AudioDevice::Release() {
  ULONG left = object_references.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) audio_device_drop(this);
  return left;
}

void audio_device_drop(AudioDevice* device) {
  if (device->holders.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  device->backend->close(device);
  std::free(device->mix_sum);
  std::free(device->voice_mix);
  delete device;
}

BOOL audio_output_open(IDirectSound* object) {
  if (object == nullptr) return FALSE;
  AudioDevice* device = static_cast<AudioDevice*>(object);
  return device->backend->output_open(device);
}
