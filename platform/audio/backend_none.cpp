// No audio output: DirectSoundCreate fails, and the caller runs silently.
#include "platform/audio/audio_internal.h"

namespace {
bool none_open(AudioDevice*) { return false; }
HRESULT none_wake(AudioDevice*) { return DSERR_NODRIVER; }
void none_close(AudioDevice*) {}
BOOL none_output_open(AudioDevice*) { return FALSE; }
}  // namespace

const AudioBackendOps none_backend_ops = {none_open, none_wake, none_close, none_output_open};
