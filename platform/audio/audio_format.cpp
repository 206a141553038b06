// Which PCM formats a secondary buffer accepts, and the converter that brings one to the
// mix format.
#include "platform/audio/audio_internal.h"

HRESULT audio_check_format(const WAVEFORMATEX* format, SDL_AudioFormat* sample_format) {
  if (format == nullptr) return DSERR_INVALIDPARAM;
  // Only the first 16 bytes are read: a PCM format chunk need not carry cbSize.
  if (format->wFormatTag != WAVE_FORMAT_PCM) return DSERR_BADFORMAT;
  if (format->nChannels < 1 || format->nChannels > 8) return DSERR_BADFORMAT;
  if (format->wBitsPerSample != 8 && format->wBitsPerSample != 16) return DSERR_BADFORMAT;
  if (format->nSamplesPerSec < DSBFREQUENCY_MIN || format->nSamplesPerSec > DSBFREQUENCY_MAX)
    return DSERR_BADFORMAT;
  DWORD block = static_cast<DWORD>(format->nChannels) * format->wBitsPerSample / 8;
  if (format->nBlockAlign != block) return DSERR_INVALIDPARAM;
  if (format->nAvgBytesPerSec != format->nSamplesPerSec * block) return DSERR_INVALIDPARAM;
  *sample_format = format->wBitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
  return DS_OK;
}

SDL_AudioStream* audio_new_converter(const WAVEFORMATEX& format, SDL_AudioFormat sample_format,
                                     DWORD rate) {
  return SDL_NewAudioStream(sample_format, static_cast<Uint8>(format.nChannels),
                            static_cast<int>(rate), AUDIO_F32SYS, MIX_CHANNELS, MIX_RATE);
}
