// Loading an image from memory into a sound buffer: RIFF/WAVE as it is, anything else
// through the decoder registry, decoded whole or kept open for streaming.
#include <cstring>

#include "platform/heap/heap.h"
#include "runtime/heaps.h"
#include "sound/riff_wave.h"
#include "sound/sound.h"
#include "sound/sound_gate.h"
#include "sound/sound_state.h"

namespace {

// A 16-bit PCM format; false when the decoder's figures cannot describe one.
bool make_pcm_format(int32_t channels, int32_t rate, WAVEFORMATEX* format) {
  if (channels < 1 || channels > 0x7FFF || rate < 1) return false;
  std::memset(format, 0, sizeof(*format));
  format->wFormatTag = WAVE_FORMAT_PCM;
  format->nChannels = static_cast<WORD>(channels);
  format->nSamplesPerSec = static_cast<DWORD>(rate);
  format->nAvgBytesPerSec = static_cast<DWORD>(rate) * static_cast<DWORD>(channels) * 2u;
  format->nBlockAlign = static_cast<WORD>(channels * 2);
  format->wBitsPerSample = 16;
  format->cbSize = 0;
  return true;
}

IDirectSoundBuffer* create_buffer(const WAVEFORMATEX* format, uint32_t bytes) {
  if (SoundDevice == nullptr) return nullptr;
  DSBUFFERDESC description = {};
  description.dwSize = sizeof(DSBUFFERDESC);
  description.dwFlags = SOUND_BUFFER_FLAGS;
  description.dwBufferBytes = bytes;
  description.dwReserved = 0;
  description.lpwfxFormat = format;
  description.guid3DAlgorithm = GUID_NULL;
  IDirectSoundBuffer* buffer = nullptr;
  if (SoundDevice->CreateSoundBuffer(&description, &buffer, nullptr) != DS_OK) return nullptr;
  return buffer;
}

intptr_t load_result(intptr_t number, SoundEntry* entry) {
  return number == OBJTABLE_DYNAMIC ? reinterpret_cast<intptr_t>(entry) : 1;
}

// The ring buffer is made before the number is claimed, so a failure leaves the sound
// already held under it in place.
intptr_t load_stream(intptr_t number, DecoderStream* stream, int32_t channels) {
  IDirectSoundBuffer* buffer = sound_create_stream_buffer(
      channels, decoder_rate(stream), static_cast<int32_t>(SOUND_STREAM_BUFFER_BYTES));
  if (buffer == nullptr) {
    decoder_close(stream);
    return 0;
  }
  SoundEntry* entry = static_cast<SoundEntry*>(objtable_alloc(SoundTable, number));
  if (entry == nullptr) {
    buffer->Release();
    decoder_close(stream);
    return 0;
  }
  entry->stream_bytes = SOUND_STREAM_BUFFER_BYTES;
  entry->stream = stream;
  entry->buffer = buffer;
  return load_result(number, entry);
}

// Byte count of a whole decode, in whole frames and at most SOUND_MAX_DECODED_BYTES;
// 0 when there is nothing to decode.
int32_t whole_decode_bytes(int32_t frames, int32_t channels) {
  if (frames <= 0 || channels <= 0) return 0;
  int64_t frame_bytes = static_cast<int64_t>(channels) * 2;
  int64_t bytes = static_cast<int64_t>(frames) * frame_bytes;
  int64_t limit = SOUND_MAX_DECODED_BYTES / frame_bytes * frame_bytes;
  if (bytes > limit) bytes = limit;
  return static_cast<int32_t>(bytes);
}

// Makes the main buffer from format and samples and claims the number only once the
// buffer holds them, so that a failure leaves the sound already held under it.
intptr_t load_buffer(intptr_t number, const WAVEFORMATEX* format, const uint8_t* samples,
                     uint32_t bytes) {
  IDirectSoundBuffer* buffer = create_buffer(format, bytes);
  if (buffer == nullptr) return 0;
  void* region = nullptr;
  DWORD region_bytes = 0;
  if (buffer->Lock(0, bytes, &region, &region_bytes, nullptr, nullptr, 0) != DS_OK ||
      region == nullptr) {
    buffer->Release();
    return 0;
  }
  std::memcpy(region, samples, region_bytes < bytes ? region_bytes : bytes);
  SoundEntry* entry = static_cast<SoundEntry*>(objtable_alloc(SoundTable, number));
  if (entry == nullptr) {
    buffer->Unlock(region, region_bytes, nullptr, 0);
    buffer->Release();
    return 0;
  }
  entry->buffer = buffer;
  buffer->GetPan(&entry->pan);
  buffer->GetFrequency(&entry->frequency);
  buffer->GetVolume(&entry->volume);
  buffer->Unlock(region, region_bytes, nullptr, 0);
  return load_result(number, entry);
}

intptr_t load_decoded(intptr_t number, const uint8_t* data, int32_t size, uint32_t flags) {
  DecoderStream* stream = decoder_open_memory(data, size, flags);
  if (stream == nullptr) return 0;
  int32_t channels = decoder_channels(stream);
  if (flags & SOUND_LOAD_STREAM) return load_stream(number, stream, channels);

  WAVEFORMATEX format;
  int32_t bytes = whole_decode_bytes(decoder_frames(stream), channels);
  if (bytes <= 0 || !make_pcm_format(channels, decoder_rate(stream), &format)) {
    decoder_close(stream);
    return 0;
  }
  uint8_t* block = static_cast<uint8_t*>(HeapAlloc(MainHeap, 0, static_cast<size_t>(bytes)));
  if (block == nullptr) {
    decoder_close(stream);
    return 0;
  }
  int32_t got = decoder_read(stream, block, bytes, 0, 0);
  if (got < 0) got = 0;
  if (got < bytes) std::memset(block + got, 0, static_cast<size_t>(bytes - got));
  decoder_close(stream);
  intptr_t result = load_buffer(number, &format, block, static_cast<uint32_t>(bytes));
  HeapFree(MainHeap, 0, block);
  return result;
}

}  // namespace

IDirectSoundBuffer* sound_create_stream_buffer(int32_t channels, int32_t rate, int32_t bytes) {
  WAVEFORMATEX format;
  if (bytes <= 0 || !make_pcm_format(channels, rate, &format)) return nullptr;
  return create_buffer(&format, static_cast<uint32_t>(bytes));
}

intptr_t sound_load_memory(intptr_t number, const uint8_t* data, int32_t size, uint32_t flags) {
  if (data == nullptr || size <= 0) return 0;
  if (number < 0 && number != OBJTABLE_DYNAMIC) return 0;
  // The table keeps its slot count in 32 bits.
  if (number > INT32_MAX - SOUND_TABLE_SLOTS) return 0;
  SoundCall call;
  if (!call || SoundTable == nullptr) return 0;
  if (riff_wave_is_riff(data, size)) {
    RiffWaveImage image;
    if (!riff_wave_parse(data, size, &image)) return 0;
    return load_buffer(number, image.format, image.samples, image.bytes);
  }
  return load_decoded(number, data, size, flags);
}
