// The capture device: an in-memory output with no thread of its own. Its clock moves only
// when audio_capture_render pulls frames, which makes the mix deterministic for tests. The
// most recently created capture device that still exists is the one that is pulled.
#include "platform/audio/audio_internal.h"

#include <cstring>

namespace {

std::mutex capture_lock;
AudioDevice* capture_device = nullptr;  // guarded by capture_lock
AudioDevice* capture_previous[8];       // older capture devices, restored as newer ones go
int capture_previous_count = 0;

bool capture_open(AudioDevice* device) {
  std::lock_guard<std::mutex> hold(capture_lock);
  if (capture_device != nullptr) {
    if (capture_previous_count == sizeof(capture_previous) / sizeof(capture_previous[0])) return false;
    capture_previous[capture_previous_count++] = capture_device;
  }
  capture_device = device;
  return true;
}

HRESULT capture_wake(AudioDevice*) { return DS_OK; }

void capture_close(AudioDevice* device) {
  std::lock_guard<std::mutex> hold(capture_lock);
  for (int i = 0; i < capture_previous_count; ++i) {
    if (capture_previous[i] == device) {
      std::memmove(&capture_previous[i], &capture_previous[i + 1],
                   sizeof(capture_previous[0]) * static_cast<size_t>(capture_previous_count - i - 1));
      --capture_previous_count;
      return;
    }
  }
  if (capture_device == device) {
    capture_device = capture_previous_count > 0 ? capture_previous[--capture_previous_count] : nullptr;
  }
}

BOOL capture_output_open(AudioDevice*) { return TRUE; }

}  // namespace

const AudioBackendOps capture_backend_ops = {capture_open, capture_wake, capture_close,
                                             capture_output_open};

size_t audio_capture_render(int16_t* out, size_t frames) {
  if (out == nullptr) return 0;
  std::lock_guard<std::mutex> hold(capture_lock);
  AudioDevice* device = capture_device;
  if (device == nullptr) return 0;
  std::lock_guard<std::mutex> mixing(device->mixer_lock);
  mixer_render(device, out, frames);
  return frames;
}
