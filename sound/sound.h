// The sound layer: sounds kept under numbers, loaded from memory (RIFF/WAVE as is, other
// formats through the decoder registry), played whole, as extra instances or streamed
// through a refill thread, and stopped, set to a volume and released.
#pragma once

#include "platform/base/platform_types.h"

// Load flags.
constexpr uint32_t SOUND_LOAD_STREAM = 1;

// Play flags.
constexpr uint32_t SOUND_PLAY_LOOP = 1;
constexpr uint32_t SOUND_PLAY_INSTANCE = 2;

constexpr uint32_t SOUND_STREAM_BUFFER_BYTES = 65536;
constexpr int64_t SOUND_MAX_DECODED_BYTES = 64000000;
constexpr uint32_t SOUND_BUFFER_FLAGS = 98530;  // static, frequency, pan, volume, global focus, position

// Number asked for at load to get a dynamic handle; as an instance or a stop number: all.
constexpr intptr_t SOUND_DYNAMIC = -1;
constexpr intptr_t SOUND_ALL = -1;

// Non-zero (the sound table) on success, 0 on failure. Must run before any other sound call.
intptr_t sound_init();
// Releases every sound and unloads the audio library; later sound calls are refused until
// sound_init runs again. Does nothing if sound_init never ran.
void sound_shutdown();

// 0 on failure; for SOUND_DYNAMIC the new sound's handle, otherwise non-zero. size bounds
// every read of data. A streaming sound reads data while it plays: data must outlive it.
intptr_t sound_load_memory(intptr_t number, const uint8_t* data, int32_t size, uint32_t flags);

// volume -1 leaves the volume as it is. Returns 0 when the number holds no sound; 1 (or 0 if
// Play failed) for a restarted main buffer; an instance's handle for SOUND_PLAY_INSTANCE;
// always 0 for a streaming sound.
intptr_t sound_play(intptr_t number, uint32_t flags, int32_t volume);

// number -1: the main buffer of every sound. instance 0: the main buffer, -1: every buffer
// of the sound, else an instance handle from sound_play.
void sound_stop(intptr_t number, intptr_t instance = 0);
// volume is a percent, clamped to 0..100.
void sound_set_volume(intptr_t number, int32_t volume, intptr_t instance = 0);
void sound_release(intptr_t number);
