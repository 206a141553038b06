// Which device DirectSoundCreate opens. By default the real one (SDL2 audio, whichever
// driver SDL finds). Tests select, at run time, the capture device: an in-memory device with
// no thread of its own, whose clock moves only when the test pulls mixed frames from it.
#pragma once

#include "platform/base/platform_types.h"

enum AudioBackend {
  AUDIO_BACKEND_DEVICE = 0,   // real output through SDL2
  AUDIO_BACKEND_CAPTURE = 1,  // in-memory, pulled by audio_capture_render
  AUDIO_BACKEND_NONE = 2,     // no output: DirectSoundCreate fails
};

// Takes effect at the next DirectSoundCreate.
void audio_select_backend(AudioBackend backend);

// The capture device mixes to 48000 Hz stereo, signed 16-bit, interleaved.
constexpr int AUDIO_CAPTURE_RATE = 48000;
constexpr int AUDIO_CAPTURE_CHANNELS = 2;

// Mixes the next `frames` frames of the capture device into out; every playing buffer's
// play cursor advances by exactly what was mixed. Returns the frames written, 0 when no
// capture device is open.
size_t audio_capture_render(int16_t* out, size_t frames);

struct IDirectSound;
// Whether the device holds its output open now. The real device closes its output after a
// couple of seconds with nothing playing and opens it again at the next Play; the capture
// device is always open.
BOOL audio_output_open(IDirectSound* device);
