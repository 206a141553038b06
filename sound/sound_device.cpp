// Bringing the sound layer up (sound table, VolumeTable, owner window, the audio device
// found at run time) and taking it down.
#include "platform/heap/heap.h"
#include "sound/sound.h"
#include "sound/sound_gate.h"
#include "sound/sound_state.h"

ObjectTable* SoundTable = nullptr;
IDirectSound* SoundDevice = nullptr;
IDirectSoundBuffer* SoundPrimaryBuffer = nullptr;
HMODULE SoundLibrary = 0;

namespace {

intptr_t init_steps() {
  // Kept across repeated calls: a new table would lose every loaded sound unreleased.
  if (SoundTable == nullptr) {
    SoundTable = objtable_new(static_cast<int32_t>(sizeof(SoundEntry)), SOUND_TABLE_SLOTS,
                              sound_release);
    if (SoundTable == nullptr) return 0;
  }
  sound_fill_volume_table();
  if (sound_owner_window_create() == 0) return 0;
  if (SoundDevice != nullptr) return reinterpret_cast<intptr_t>(SoundTable);

  // A library already loaded by an earlier, failed call is not loaded a second time, so
  // that the one FreeLibrary of shut-down balances it.
  if (SoundLibrary == 0) {
    SoundLibrary = LoadLibraryA("DSOUND.DLL");
    if (SoundLibrary == 0) return 0;
  }
  DirectSoundCreateProc create =
      reinterpret_cast<DirectSoundCreateProc>(GetProcAddress(SoundLibrary, "DirectSoundCreate"));
  if (create == nullptr) return 0;
  IDirectSound* device = nullptr;
  if (create(nullptr, &device, nullptr) != DS_OK || device == nullptr) return 0;
  SoundDevice = device;
  if (SoundDevice->SetCooperativeLevel(SoundOwnerWindow, DSSCL_PRIORITY) != DS_OK) return 0;

  DSBUFFERDESC primary = {};
  primary.dwSize = sizeof(DSBUFFERDESC);
  primary.dwFlags = DSBCAPS_PRIMARYBUFFER;
  primary.dwBufferBytes = 0;
  primary.dwReserved = 0;
  primary.lpwfxFormat = nullptr;
  primary.guid3DAlgorithm = GUID_NULL;
  IDirectSoundBuffer* buffer = nullptr;
  if (SoundDevice->CreateSoundBuffer(&primary, &buffer, nullptr) != DS_OK) return 0;
  SoundPrimaryBuffer = buffer;
  return reinterpret_cast<intptr_t>(SoundTable);
}

}  // namespace

intptr_t sound_init() {
  // Start-up runs before anything can shut down; a shut-down still under way refuses it.
  if (!sound_gate_open()) return 0;
  SoundCall call;
  if (!call) return 0;
  return init_steps();
}

void sound_shutdown() {
  if (SoundTable == nullptr) return;
  if (!sound_gate_close()) return;
  objtable_first(SoundTable);
  intptr_t number = 0;
  while (objtable_next(SoundTable, &number) != nullptr) sound_release(number);
  // The device's objects come from the library: they go before it is unloaded. A later
  // sound_init then makes a new device.
  if (SoundPrimaryBuffer != nullptr) {
    SoundPrimaryBuffer->Release();
    SoundPrimaryBuffer = nullptr;
  }
  if (SoundDevice != nullptr) {
    SoundDevice->Release();
    SoundDevice = nullptr;
  }
  if (SoundLibrary != 0) {
    FreeLibrary(SoundLibrary);
    SoundLibrary = 0;
  }
  sound_gate_finish_close();
}
