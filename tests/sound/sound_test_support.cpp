// Helpers for the sound tests; the program's instance handle is defined here as the
// application does.
#include "tests/sound/sound_test_support.h"

#include <cstring>

#include "platform/audio/audio_backend.h"
#include "platform/module/module.h"
#include "sound/decoders/vorbis_decoder.h"
#include "sound/sound.h"
#include "sound/sound_state.h"

HINSTANCE ProgramInstance = 0;

void sound_test_prepare() {
  ensure_main_heap();
  if (ProgramInstance == 0) ProgramInstance = GetModuleHandleA(nullptr);
  vorbis_decoder_register();
  audio_select_backend(AUDIO_BACKEND_CAPTURE);
}

CaptureSession::CaptureSession() {
  sound_test_prepare();
  ready = sound_init() != 0;
}

CaptureSession::~CaptureSession() { sound_shutdown(); }

namespace {

void put_u32(Bytes& out, uint32_t value) {
  for (int i = 0; i < 4; i++) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void put_u16(Bytes& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void put_id(Bytes& out, const char* id) {
  for (int i = 0; i < 4; i++) out.push_back(static_cast<uint8_t>(id[i]));
}

}  // namespace

WavImage& WavImage::riff(uint32_t riff_size, const char* form) {
  put_id(bytes, "RIFF");
  put_u32(bytes, riff_size);
  put_id(bytes, form);
  return *this;
}

WavImage& WavImage::chunk(const char* id, const Bytes& payload, bool pad) {
  put_id(bytes, id);
  put_u32(bytes, static_cast<uint32_t>(payload.size()));
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  if (pad && (payload.size() & 1)) bytes.push_back(0);
  return *this;
}

WavImage& WavImage::chunk_declared(const char* id, uint32_t declared, const Bytes& payload) {
  put_id(bytes, id);
  put_u32(bytes, declared);
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return *this;
}

Bytes fmt_payload(int channels, int rate, int bits, uint32_t chunk_bytes) {
  Bytes out;
  int block = channels * bits / 8;
  put_u16(out, WAVE_FORMAT_PCM);
  put_u16(out, static_cast<uint16_t>(channels));
  put_u32(out, static_cast<uint32_t>(rate));
  put_u32(out, static_cast<uint32_t>(rate * block));
  put_u16(out, static_cast<uint16_t>(block));
  put_u16(out, static_cast<uint16_t>(bits));
  while (out.size() < chunk_bytes) out.push_back(0);  // cbSize 0 and any extra bytes
  out.resize(chunk_bytes);
  return out;
}

WavImage& WavImage::fmt(int channels, int rate, int bits, uint32_t chunk_bytes) {
  return chunk("fmt ", fmt_payload(channels, rate, bits, chunk_bytes));
}

Bytes sample_bytes(const Samples& samples) {
  Bytes out(samples.size() * 2);
  std::memcpy(out.data(), samples.data(), out.size());
  return out;
}

WavImage& WavImage::data(const Samples& samples) { return chunk("data", sample_bytes(samples)); }

Bytes make_wav(int channels, int rate, const Samples& samples) {
  WavImage image;
  image.riff().fmt(channels, rate, 16).data(samples);
  return image.bytes;
}

Samples ramp(size_t count, int16_t start, int16_t step) {
  Samples out(count);
  int32_t value = start;
  for (size_t i = 0; i < count; i++) {
    out[i] = static_cast<int16_t>(value);
    value += step;
    if (value > 30000) value -= 60000;
  }
  return out;
}

Samples constant(size_t count, int16_t value) { return Samples(count, value); }

Samples render(size_t frames) {
  Samples out(frames * AUDIO_CAPTURE_CHANNELS);
  size_t got = audio_capture_render(out.data(), frames);
  out.resize(got * AUDIO_CAPTURE_CHANNELS);
  return out;
}

Samples to_stereo(const Samples& mono) {
  Samples out(mono.size() * 2);
  for (size_t i = 0; i < mono.size(); i++) out[2 * i] = out[2 * i + 1] = mono[i];
  return out;
}

Samples as_samples(const Bytes& pcm) {
  Samples out(pcm.size() / 2);
  std::memcpy(out.data(), pcm.data(), out.size() * 2);
  return out;
}

SoundEntry* entry_of(intptr_t number) { return sound_find(number); }

Bytes buffer_bytes(IDirectSoundBuffer* buffer) {
  void* region = nullptr;
  DWORD got = 0;
  if (buffer->Lock(0, 0, &region, &got, nullptr, nullptr, DSBLOCK_ENTIREBUFFER) != DS_OK) return {};
  Bytes out(static_cast<const uint8_t*>(region), static_cast<const uint8_t*>(region) + got);
  buffer->Unlock(region, got, nullptr, 0);
  return out;
}

LONG buffer_volume(IDirectSoundBuffer* buffer) {
  LONG volume = 12345;
  buffer->GetVolume(&volume);
  return volume;
}

bool buffer_playing(IDirectSoundBuffer* buffer) {
  DWORD status = 0;
  buffer->GetStatus(&status);
  return (status & DSBSTATUS_PLAYING) != 0;
}

IDirectSoundBuffer* instance_buffer(intptr_t handle) {
  return reinterpret_cast<SoundInstance*>(handle)->buffer;
}

size_t instance_count(const SoundEntry* entry) {
  size_t count = 0;
  for (ListNode* node = entry->instances; node != nullptr; node = node->next) count++;
  return count;
}

Samples decode_whole(const Bytes& ogg) {
  DecoderStream* stream = decoder_open_memory(ogg.data(), static_cast<int32_t>(ogg.size()), 0);
  if (stream == nullptr) return {};
  int32_t bytes = decoder_frames(stream) * decoder_channels(stream) * 2;
  Bytes pcm(static_cast<size_t>(bytes));
  int32_t got = decoder_read(stream, pcm.data(), bytes, 0, 0);
  decoder_close(stream);
  pcm.resize(static_cast<size_t>(got > 0 ? got : 0));
  return as_samples(pcm);
}
