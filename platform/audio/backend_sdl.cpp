// The real output: SDL2 audio, whatever driver SDL finds (PipeWire, PulseAudio, ALSA, ...).
//
// SDL keeps its audio thread running, and the sound server its stream, even while a device
// is paused, so an open device costs CPU all the time. The alarm plays for about a second
// now and then, so the output is closed once nothing has played for IDLE_CLOSE_SECONDS and
// opened again by the next Play. Nothing is lost on the way: a buffer's play cursor moves
// only when the device pulls mixed frames, so its clock starts when the reopened device
// really starts pulling, from the first sample.
#include "platform/audio/audio_internal.h"

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <new>

namespace {

constexpr int IDLE_CLOSE_SECONDS = 2;
constexpr int IDLE_CHECK_MILLISECONDS = 500;
// About 43 ms per pull: enough slack for a loaded machine, and still well inside the half
// of a streaming sound's ring buffer that the sound layer refills at a time.
constexpr int DEVICE_FRAMES = 2048;

using Clock = std::chrono::steady_clock;

// SDL's audio calls are not made from two threads at once: one lock for every device.
std::mutex sdl_lock;

struct SdlOutput {
  SDL_AudioDeviceID id = 0;          // 0 while closed; guarded by sdl_lock
  std::condition_variable wake_watcher;
  bool quit = false;                 // guarded by sdl_lock
  pthread_t watcher{};
  Clock::time_point last_active;     // guarded by the device's mixer lock
};

SdlOutput* output_of(AudioDevice* device) { return static_cast<SdlOutput*>(device->backend_state); }

void pull(void* userdata, Uint8* stream, int length) {
  AudioDevice* device = static_cast<AudioDevice*>(userdata);
  std::lock_guard<std::mutex> hold(device->mixer_lock);
  mixer_render(device, reinterpret_cast<int16_t*>(stream),
               static_cast<size_t>(length) / (sizeof(int16_t) * MIX_CHANNELS));
  if (device->playing_head != nullptr) output_of(device)->last_active = Clock::now();
}

// Opens the SDL device and starts it pulling (sdl_lock held).
bool open_output(AudioDevice* device) {
  SdlOutput* output = output_of(device);
  if (output->id != 0) return true;
  SDL_AudioSpec wanted{};
  wanted.freq = MIX_RATE;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = MIX_CHANNELS;
  wanted.samples = DEVICE_FRAMES;
  wanted.callback = pull;
  wanted.userdata = device;
  SDL_AudioSpec got{};
  // No changes allowed: SDL converts to what the hardware takes.
  SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &wanted, &got, 0);
  if (id == 0) return false;
  {
    std::lock_guard<std::mutex> hold(device->mixer_lock);
    output->last_active = Clock::now();
  }
  output->id = id;
  SDL_PauseAudioDevice(id, 0);
  output->wake_watcher.notify_all();
  return true;
}

// Closes the device once it has been idle long enough; waits without a timeout while the
// device is closed, so an idle program has no thread that wakes.
void* watch_idle(void* argument) {
  AudioDevice* device = static_cast<AudioDevice*>(argument);
  SdlOutput* output = output_of(device);
  std::unique_lock<std::mutex> hold(sdl_lock);
  while (!output->quit) {
    if (output->id == 0) {
      output->wake_watcher.wait(hold);
      continue;
    }
    output->wake_watcher.wait_for(hold, std::chrono::milliseconds(IDLE_CHECK_MILLISECONDS));
    if (output->quit || output->id == 0) continue;
    bool idle;
    {
      std::lock_guard<std::mutex> mixing(device->mixer_lock);
      idle = device->playing_head == nullptr &&
             Clock::now() - output->last_active >= std::chrono::seconds(IDLE_CLOSE_SECONDS);
    }
    if (idle) {
      // The pull callback takes only the mixer lock, so closing here cannot deadlock.
      SDL_CloseAudioDevice(output->id);
      output->id = 0;
    }
  }
  return nullptr;
}

bool sdl_open(AudioDevice* device) {
  SdlOutput* output = new (std::nothrow) SdlOutput;
  if (output == nullptr) return false;
  device->backend_state = output;
  std::unique_lock<std::mutex> hold(sdl_lock);
  audio_quiet_driver_diagnostics();
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    delete output;
    device->backend_state = nullptr;
    return false;
  }
  if (!open_output(device)) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    delete output;
    device->backend_state = nullptr;
    return false;
  }
  if (pthread_create(&output->watcher, nullptr, watch_idle, device) != 0) {
    SDL_CloseAudioDevice(output->id);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    delete output;
    device->backend_state = nullptr;
    return false;
  }
  return true;
}

HRESULT sdl_wake(AudioDevice* device) {
  std::lock_guard<std::mutex> hold(sdl_lock);
  return open_output(device) ? DS_OK : DSERR_NODRIVER;
}

void sdl_close(AudioDevice* device) {
  SdlOutput* output = output_of(device);
  {
    std::lock_guard<std::mutex> hold(sdl_lock);
    output->quit = true;
    output->wake_watcher.notify_all();
  }
  pthread_join(output->watcher, nullptr);
  std::lock_guard<std::mutex> hold(sdl_lock);
  if (output->id != 0) SDL_CloseAudioDevice(output->id);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  delete output;
  device->backend_state = nullptr;
}

BOOL sdl_output_open(AudioDevice* device) {
  std::lock_guard<std::mutex> hold(sdl_lock);
  return output_of(device)->id != 0 ? TRUE : FALSE;
}

}  // namespace

const AudioBackendOps sdl_backend_ops = {sdl_open, sdl_wake, sdl_close, sdl_output_open};
