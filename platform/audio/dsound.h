// The audio output the sound layer plays through: a device object that makes sound
// buffers, and buffers of PCM that play once or looping, with volume, pan and frequency.
// Reached at run time: LoadLibraryA("DSOUND.DLL"), GetProcAddress(.., "DirectSoundCreate").
// Every operation is safe between the mixer's thread and the callers.
#pragma once

#include "platform/base/platform_types.h"

constexpr HRESULT DS_OK = 0;
constexpr HRESULT DSERR_GENERIC = -2147467259;        // 0x80004005
constexpr HRESULT DSERR_INVALIDPARAM = -2147024809;   // 0x80070057
constexpr HRESULT DSERR_OUTOFMEMORY = -2147024882;    // 0x8007000E
constexpr HRESULT DSERR_NODRIVER = -2005401480;       // 0x88780078
constexpr HRESULT DSERR_BADFORMAT = -2005401500;      // 0x88780064
constexpr HRESULT DSERR_UNSUPPORTED = -2147467263;    // 0x80004001
constexpr HRESULT DSERR_PRIOLEVELNEEDED = -2005401530;// 0x88780046

constexpr DWORD DSSCL_NORMAL = 1;
constexpr DWORD DSSCL_PRIORITY = 2;
constexpr DWORD DSSCL_EXCLUSIVE = 3;
constexpr DWORD DSSCL_WRITEPRIMARY = 4;
constexpr HRESULT DSERR_NOAGGREGATION = -2147221232;  // 0x80040110

constexpr DWORD DSBCAPS_PRIMARYBUFFER = 0x1;
constexpr DWORD DSBCAPS_STATIC = 0x2;
constexpr DWORD DSBCAPS_CTRLFREQUENCY = 0x20;
constexpr DWORD DSBCAPS_CTRLPAN = 0x40;
constexpr DWORD DSBCAPS_CTRLVOLUME = 0x80;
constexpr DWORD DSBCAPS_GLOBALFOCUS = 0x8000;
constexpr DWORD DSBCAPS_GETCURRENTPOSITION2 = 0x10000;

constexpr DWORD DSBPLAY_LOOPING = 0x1;
constexpr DWORD DSBLOCK_FROMWRITECURSOR = 0x1;  // Lock: offset ignored, from the write cursor
constexpr DWORD DSBLOCK_ENTIREBUFFER = 0x2;     // Lock: bytes ignored, the whole buffer
constexpr DWORD DSBSIZE_MIN = 4;                // secondary buffer sizes in bytes
constexpr DWORD DSBSIZE_MAX = 0x0FFFFFFF;
constexpr DWORD DSBSTATUS_PLAYING = 0x1;
constexpr DWORD DSBSTATUS_LOOPING = 0x4;

constexpr LONG DSBVOLUME_MIN = -10000;
constexpr LONG DSBVOLUME_MAX = 0;
constexpr LONG DSBPAN_LEFT = -10000;
constexpr LONG DSBPAN_CENTER = 0;
constexpr LONG DSBPAN_RIGHT = 10000;
constexpr DWORD DSBFREQUENCY_ORIGINAL = 0;  // SetFrequency(0): back to the format's rate
constexpr DWORD DSBFREQUENCY_MIN = 100;
constexpr DWORD DSBFREQUENCY_MAX = 200000;

constexpr WORD WAVE_FORMAT_PCM = 1;

struct GUID {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};
constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

#pragma pack(push, 1)
// As laid out in a RIFF/WAVE format chunk. A PCM format is the first 16 bytes; cbSize is
// never read for WAVE_FORMAT_PCM, so a 16-byte chunk is enough.
struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

struct DSBUFFERDESC {
  DWORD dwSize;  // sizeof(DSBUFFERDESC)
  DWORD dwFlags;
  DWORD dwBufferBytes;
  DWORD dwReserved;
  const WAVEFORMATEX* lpwfxFormat;
  GUID guid3DAlgorithm;
};

struct IDirectSoundBuffer {
  // Play cursor in bytes, advancing with the device's clock; write cursor may be null.
  virtual HRESULT GetCurrentPosition(DWORD* play_cursor, DWORD* write_cursor) = 0;
  virtual HRESULT GetFrequency(DWORD* frequency) = 0;
  virtual HRESULT GetPan(LONG* pan) = 0;
  virtual HRESULT GetStatus(DWORD* status) = 0;
  virtual HRESULT GetVolume(LONG* volume) = 0;
  // A request that runs past the end wraps into the second region (when one is asked for).
  virtual HRESULT Lock(DWORD offset, DWORD bytes, void** region1, DWORD* bytes1, void** region2,
                       DWORD* bytes2, DWORD flags) = 0;
  // From the current position; on a playing buffer it carries on with the new flags.
  virtual HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) = 0;
  virtual HRESULT SetCurrentPosition(DWORD position) = 0;
  virtual HRESULT SetFrequency(DWORD frequency) = 0;
  virtual HRESULT SetPan(LONG pan) = 0;
  // Hundredths of a decibel, DSBVOLUME_MIN..DSBVOLUME_MAX; gain 10^(volume/2000).
  virtual HRESULT SetVolume(LONG volume) = 0;
  // Halts; the position is kept.
  virtual HRESULT Stop() = 0;
  virtual HRESULT Unlock(void* region1, DWORD bytes1, void* region2, DWORD bytes2) = 0;
  // Ends playback and frees the buffer once nobody holds it; returns the remaining count.
  virtual ULONG Release() = 0;

 protected:
  ~IDirectSoundBuffer() = default;
};

struct IDirectSound {
  virtual HRESULT SetCooperativeLevel(HWND window, DWORD level) = 0;
  // Primary (dwFlags DSBCAPS_PRIMARYBUFFER, no format) or secondary buffer; outer must be null.
  virtual HRESULT CreateSoundBuffer(const DSBUFFERDESC* description, IDirectSoundBuffer** buffer,
                                    void* outer) = 0;
  // Shares the samples; own position, state and volume; starts with the original's volume,
  // pan and frequency.
  virtual HRESULT DuplicateSoundBuffer(IDirectSoundBuffer* original,
                                       IDirectSoundBuffer** duplicate) = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IDirectSound() = default;
};

// The entry point's type, as found with GetProcAddress.
typedef HRESULT (*DirectSoundCreateProc)(const GUID* device, IDirectSound** object, void* outer);
