// The mixer: every playing buffer goes through its own SDL converter (its rate and channel
// count to the mix format, as float), gets its volume and pan, and is summed; the sum is
// saturated into signed 16-bit. A buffer's play cursor is a clock: it advances by exactly
// frequency/MIX_RATE frames per mixed frame, while the converter is fed a little ahead of
// it: a resampling converter holds back some frames (tens of milliseconds in SDL's). When a
// once-play's clock reaches the end, the buffer stops as far as its callers can see, and
// the mixer goes on giving out what the converter still holds, so the tail is heard.
#include "platform/audio/audio_internal.h"

#include <cmath>
#include <cstring>

namespace {

constexpr size_t MIX_FRAME_BYTES = sizeof(float) * MIX_CHANNELS;
// Extra frames fed to a resampling converter so that one feed usually covers a whole chunk.
constexpr DWORD RESAMPLER_LEAD_FRAMES = 16;

// What a converter is fed after a once-play's last frame, to push out the frames its
// resampler still holds (SDL's flush gives back only part of them).
constexpr size_t SILENCE_BYTES = 4096;
const BYTE silence_signed[SILENCE_BYTES] = {};
struct UnsignedSilence {
  BYTE bytes[SILENCE_BYTES];
  UnsignedSilence() { std::memset(bytes, 0x80, sizeof(bytes)); }
};
const UnsignedSilence silence_unsigned;
// How long a resampled once-play stays in the mix after its clock has reached the end,
// in mixed frames: a few times what SDL's resampler was seen to hold back.
constexpr int64_t TAIL_FRAMES = 4096;

bool feed_silence(SoundBuffer* voice, DWORD wanted) {
  const BYTE* silence = voice->sample_format == AUDIO_U8 ? silence_unsigned.bytes : silence_signed;
  size_t bytes = static_cast<size_t>(wanted) * voice->frame_bytes;
  while (bytes > 0) {
    size_t piece = bytes < SILENCE_BYTES ? bytes : SILENCE_BYTES - SILENCE_BYTES % voice->frame_bytes;
    if (SDL_AudioStreamPut(voice->converter, silence, static_cast<int>(piece)) != 0) return false;
    bytes -= piece;
  }
  return true;
}

// Feeds the converter `wanted` frames from the read position, wrapping for a loop; after a
// once-play's last frame, silence.
bool feed_voice(SoundBuffer* voice, DWORD wanted) {
  if (voice->fed_to_end) return feed_silence(voice, wanted);
  while (wanted > 0) {
    DWORD until_end = voice->frames - voice->read_frame;
    DWORD take = wanted < until_end ? wanted : until_end;
    const BYTE* from = voice->store->bytes + static_cast<size_t>(voice->read_frame) * voice->frame_bytes;
    if (SDL_AudioStreamPut(voice->converter, from, static_cast<int>(take * voice->frame_bytes)) != 0)
      return false;
    voice->read_frame += take;
    wanted -= take;
    if (voice->read_frame == voice->frames) {
      if (!voice->looping) {
        voice->fed_to_end = true;
        return wanted == 0 || feed_silence(voice, wanted);
      }
      voice->read_frame = 0;
    }
  }
  return true;
}

void link_voice(SoundBuffer* buffer) {
  if (buffer->mixed) return;
  AudioDevice* device = buffer->device;
  buffer->mixed = true;
  buffer->previous_playing = nullptr;
  buffer->next_playing = device->playing_head;
  if (device->playing_head != nullptr) device->playing_head->previous_playing = buffer;
  device->playing_head = buffer;
}

void unlink_voice(SoundBuffer* buffer) {
  if (!buffer->mixed) return;
  AudioDevice* device = buffer->device;
  if (buffer->previous_playing != nullptr)
    buffer->previous_playing->next_playing = buffer->next_playing;
  else
    device->playing_head = buffer->next_playing;
  if (buffer->next_playing != nullptr) buffer->next_playing->previous_playing = buffer->previous_playing;
  buffer->next_playing = buffer->previous_playing = nullptr;
  buffer->mixed = false;
}

// Converts `frames` frames of one voice into voice_mix; frames the voice cannot give (its
// end has been reached) are silence.
void convert_voice(SoundBuffer* voice, float* voice_mix, size_t frames) {
  size_t got = 0;
  int idle_rounds = 0;
  while (got < frames) {
    int available = SDL_AudioStreamAvailable(voice->converter);
    if (available >= static_cast<int>(MIX_FRAME_BYTES)) {
      size_t want_bytes = (frames - got) * MIX_FRAME_BYTES;
      size_t take = static_cast<size_t>(available) < want_bytes ? static_cast<size_t>(available) : want_bytes;
      take -= take % MIX_FRAME_BYTES;
      int read = SDL_AudioStreamGet(voice->converter, voice_mix + got * MIX_CHANNELS, static_cast<int>(take));
      if (read <= 0) break;
      got += static_cast<size_t>(read) / MIX_FRAME_BYTES;
      idle_rounds = 0;
      continue;
    }
    uint64_t needed = (static_cast<uint64_t>(frames - got) * voice->frequency + MIX_RATE - 1) / MIX_RATE;
    if (voice->frequency != MIX_RATE) needed += RESAMPLER_LEAD_FRAMES;
    if (needed > MIX_CHUNK_FRAMES * 8) needed = MIX_CHUNK_FRAMES * 8;
    // A converter that takes input but gives nothing back must not hold the mixer forever.
    if (!feed_voice(voice, static_cast<DWORD>(needed)) || ++idle_rounds > 64) break;
  }
  if (got < frames) std::memset(voice_mix + got * MIX_CHANNELS, 0, (frames - got) * MIX_FRAME_BYTES);
}

// Moves the play cursor by the time `frames` mixed frames take; a once-play that reaches
// its end stops and goes back to the start.
void advance_clock(SoundBuffer* voice, size_t frames) {
  uint64_t total = voice->clock_remainder + static_cast<uint64_t>(frames) * voice->frequency;
  uint64_t advance = total / MIX_RATE;
  voice->clock_remainder = total % MIX_RATE;
  uint64_t cursor = voice->cursor_frame + advance;
  if (voice->looping) {
    voice->cursor_frame = static_cast<DWORD>(cursor % voice->frames);
    return;
  }
  if (cursor < voice->frames) {
    voice->cursor_frame = static_cast<DWORD>(cursor);
    return;
  }
  // Stopped for its callers, back at the start. A resampled voice's converter still holds
  // its last frames: it stays in the mix a little longer to give them out.
  voice->playing = false;
  voice->cursor_frame = 0;
  if (voice->frequency == MIX_RATE) {
    mixer_resync_voice(voice);
    return;
  }
  voice->draining = true;
  voice->tail_frames = TAIL_FRAMES;
}

int16_t saturate(float value) {
  float scaled = value * 32768.0f;
  if (scaled >= 32767.0f) return 32767;
  if (scaled <= -32768.0f) return -32768;
  return static_cast<int16_t>(std::lrintf(scaled));
}

void render_chunk(AudioDevice* device, int16_t* out, size_t frames) {
  float* sum = device->mix_sum;
  std::memset(sum, 0, frames * MIX_FRAME_BYTES);
  SoundBuffer* voice = device->playing_head;
  while (voice != nullptr) {
    SoundBuffer* next = voice->next_playing;  // the voice may leave the list below
    convert_voice(voice, device->voice_mix, frames);
    if (voice->draining) {
      voice->tail_frames -= static_cast<int64_t>(frames);
      if (voice->tail_frames <= 0) mixer_resync_voice(voice);  // the tail is out
    }
    const float left = voice->gain_left, right = voice->gain_right;
    const float* from = device->voice_mix;
    for (size_t i = 0; i < frames; ++i) {
      sum[2 * i] += from[2 * i] * left;
      sum[2 * i + 1] += from[2 * i + 1] * right;
    }
    if (voice->playing) advance_clock(voice, frames);
    voice = next;
  }
  for (size_t i = 0; i < frames * MIX_CHANNELS; ++i) out[i] = saturate(sum[i]);
}

}  // namespace

void mixer_render(AudioDevice* device, int16_t* out, size_t frames) {
  while (frames > 0) {
    size_t chunk = frames < MIX_CHUNK_FRAMES ? frames : MIX_CHUNK_FRAMES;
    render_chunk(device, out, chunk);
    out += chunk * MIX_CHANNELS;
    frames -= chunk;
  }
}

void mixer_start_voice(SoundBuffer* buffer) {
  if (buffer->playing) return;
  if (buffer->draining) mixer_resync_voice(buffer);  // the old tail gives way to the new play
  buffer->playing = true;
  link_voice(buffer);
}

void mixer_stop_voice(SoundBuffer* buffer) {
  buffer->playing = false;
  mixer_resync_voice(buffer);
}

void mixer_resync_voice(SoundBuffer* buffer) {
  if (buffer->converter != nullptr) SDL_AudioStreamClear(buffer->converter);
  buffer->read_frame = buffer->cursor_frame;
  buffer->clock_remainder = 0;
  buffer->fed_to_end = false;
  buffer->draining = false;
  if (!buffer->playing) unlink_voice(buffer);  // a halted buffer has nothing left to mix
}
