// The mixer's records, shared by the device object, its buffers and the backends: the
// device, a buffer's mixing state, the samples that a buffer and its duplicates share, and
// the table of backend functions.
#pragma once

#include "platform/audio/audio_backend.h"
#include "platform/audio/dsound.h"

#include <SDL.h>

#include <atomic>
#include <mutex>

// Every backend mixes to this format; the real device converts to whatever the hardware
// wants inside SDL.
constexpr int MIX_RATE = AUDIO_CAPTURE_RATE;
constexpr int MIX_CHANNELS = AUDIO_CAPTURE_CHANNELS;
// Longest run mixed in one go; longer requests are mixed in pieces of this size.
constexpr size_t MIX_CHUNK_FRAMES = 1024;
// Most regions one buffer may hold locked at once.
constexpr int MAX_LOCKED_REGIONS = 4;

struct AudioDevice;

// Backend operations. open runs once in DirectSoundCreate (false: no output can be had);
// wake runs after a buffer has started to play; close runs when the device goes.
struct AudioBackendOps {
  bool (*open)(AudioDevice* device);
  HRESULT (*wake)(AudioDevice* device);
  void (*close)(AudioDevice* device);
  BOOL (*output_open)(AudioDevice* device);
};

extern const AudioBackendOps sdl_backend_ops;
extern const AudioBackendOps capture_backend_ops;
extern const AudioBackendOps none_backend_ops;

// Samples shared by a buffer and its duplicates; freed when the last of them goes.
struct SampleStore {
  std::atomic<int> users;
  BYTE* bytes;
  DWORD size;
};

// A region handed out by Lock. When a buffer over the same samples is playing, the caller
// writes into a copy that Unlock puts in place under the mixer lock, so that the mixer never
// reads bytes that another thread is writing.
struct LockedRegion {
  BYTE* handed_out;  // null: slot free
  DWORD offset;
  DWORD bytes;
  bool is_copy;
};

struct SoundBuffer final : IDirectSoundBuffer {
  HRESULT GetCurrentPosition(DWORD* play_cursor, DWORD* write_cursor) override;
  HRESULT GetFrequency(DWORD* frequency) override;
  HRESULT GetPan(LONG* pan) override;
  HRESULT GetStatus(DWORD* status) override;
  HRESULT GetVolume(LONG* volume) override;
  HRESULT Lock(DWORD offset, DWORD bytes, void** region1, DWORD* bytes1, void** region2,
               DWORD* bytes2, DWORD flags) override;
  HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) override;
  HRESULT SetCurrentPosition(DWORD position) override;
  HRESULT SetFrequency(DWORD frequency) override;
  HRESULT SetPan(LONG pan) override;
  HRESULT SetVolume(LONG volume) override;
  HRESULT Stop() override;
  HRESULT Unlock(void* region1, DWORD bytes1, void* region2, DWORD bytes2) override;
  ULONG Release() override;

  AudioDevice* device = nullptr;
  bool primary = false;
  std::atomic<ULONG> references{1};

  // Fixed at creation (null store for the primary buffer).
  SampleStore* store = nullptr;
  WAVEFORMATEX format{};
  SDL_AudioFormat sample_format = 0;
  DWORD frame_bytes = 0;
  DWORD frames = 0;  // whole frames in the buffer; a trailing partial frame never plays

  // Everything below is guarded by the device's mixer lock.
  LONG volume = 0;
  LONG pan = 0;
  DWORD frequency = 0;  // Hz the samples play at
  float gain_left = 1.0f;
  float gain_right = 1.0f;
  bool playing = false;   // what GetStatus reports
  bool looping = false;
  bool draining = false;  // a finished once-play giving out what its converter still holds
  bool mixed = false;     // in the device's list of buffers the mixer visits
  DWORD cursor_frame = 0;       // play cursor: where the device's clock has got to
  uint64_t clock_remainder = 0; // fraction of a frame, in units of 1/MIX_RATE
  DWORD read_frame = 0;         // next frame fed to the converter; runs a little ahead
  bool fed_to_end = false;      // a once-play has fed its last frame: silence follows
  int64_t tail_frames = 0;      // mixed frames left to give out while draining
  SDL_AudioStream* converter = nullptr;  // own rate and channels to the mix format
  SoundBuffer* next_playing = nullptr;
  SoundBuffer* previous_playing = nullptr;
  LockedRegion locks[MAX_LOCKED_REGIONS]{};
};

struct AudioDevice final : IDirectSound {
  HRESULT SetCooperativeLevel(HWND window, DWORD level) override;
  HRESULT CreateSoundBuffer(const DSBUFFERDESC* description, IDirectSoundBuffer** buffer,
                            void* outer) override;
  HRESULT DuplicateSoundBuffer(IDirectSoundBuffer* original,
                               IDirectSoundBuffer** duplicate) override;
  ULONG Release() override;

  // The object's own references and one per live buffer; the device goes with the last.
  std::atomic<ULONG> object_references{1};
  std::atomic<ULONG> holders{1};
  const AudioBackendOps* backend = nullptr;
  void* backend_state = nullptr;
  std::atomic<DWORD> cooperative_level{0};

  std::mutex mixer_lock;
  SoundBuffer* playing_head = nullptr;  // buffers being mixed; guarded by mixer_lock
  float* mix_sum = nullptr;             // MIX_CHUNK_FRAMES * MIX_CHANNELS
  float* voice_mix = nullptr;           // MIX_CHUNK_FRAMES * MIX_CHANNELS
};

// Drops one holder of the device; the last one closes the backend and frees it.
void audio_device_drop(AudioDevice* device);

// Mixes the next `frames` frames of every playing buffer into out (MIX_RATE, MIX_CHANNELS,
// signed 16-bit) and advances their clocks. The caller holds device->mixer_lock.
void mixer_render(AudioDevice* device, int16_t* out, size_t frames);
// Starts a buffer playing from its play cursor, or halts it where it is; a halted buffer
// leaves the mix at once, its converter emptied (mixer lock held).
void mixer_start_voice(SoundBuffer* buffer);
void mixer_stop_voice(SoundBuffer* buffer);
// Forgets what the converter holds and feeds again from the play cursor (mixer lock held).
void mixer_resync_voice(SoundBuffer* buffer);

// Sets a new buffer's frequency to its format's rate and its gains from volume and pan.
void sound_buffer_init_mixing(SoundBuffer* buffer);

// The sample format SDL converts from for a validated PCM format.
HRESULT audio_check_format(const WAVEFORMATEX* format, SDL_AudioFormat* sample_format);

// Silences the diagnostics that sound libraries loaded by SDL print on standard error.
void audio_quiet_driver_diagnostics();
// A converter from the buffer's own rate `rate` and channels to the mix format, or null.
SDL_AudioStream* audio_new_converter(const WAVEFORMATEX& format, SDL_AudioFormat sample_format,
                                     DWORD rate);
