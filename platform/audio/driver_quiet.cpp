// Keeps the sound libraries that SDL loads from printing on standard error. Where no
// device can be had, ALSA and JACK report every failed open there, and those lines would
// land on the user's terminal (and on the console's drawing). The same library instances
// that SDL loads are opened here to give them silent diagnostic handlers.
#include "platform/audio/audio_internal.h"

#include <dlfcn.h>
#include <cstdlib>

namespace {

extern "C" void ignore_alsa_error(const char*, int, const char*, int, const char*, ...) {}
extern "C" void ignore_jack_message(const char*) {}

typedef int (*AlsaSetErrorHandler)(void (*)(const char*, int, const char*, int, const char*, ...));
typedef void (*JackSetFunction)(void (*)(const char*));

}  // namespace

void audio_quiet_driver_diagnostics() {
  static bool done = false;
  if (done) return;
  done = true;
  // A failed probe must not start a JACK server of its own either.
  setenv("JACK_NO_START_SERVER", "1", 0);
  if (void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL)) {
    auto set_handler = reinterpret_cast<AlsaSetErrorHandler>(dlsym(alsa, "snd_lib_error_set_handler"));
    if (set_handler != nullptr) set_handler(ignore_alsa_error);
  }
  if (void* jack = dlopen("libjack.so.0", RTLD_NOW | RTLD_LOCAL)) {
    auto set_error = reinterpret_cast<JackSetFunction>(dlsym(jack, "jack_set_error_function"));
    auto set_info = reinterpret_cast<JackSetFunction>(dlsym(jack, "jack_set_info_function"));
    if (set_error != nullptr) set_error(ignore_jack_message);
    if (set_info != nullptr) set_info(ignore_jack_message);
  }
}
