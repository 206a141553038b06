// Process-wide state of the sound layer and the building blocks its operations share.
#pragma once

#include "platform/audio/dsound.h"
#include "platform/module/module.h"
#include "platform/window/window.h"
#include "runtime/objtable.h"
#include "sound/sound_entry.h"

// The program's own module handle; the application defines it.
extern HINSTANCE ProgramInstance;

extern ObjectTable* SoundTable;
extern IDirectSound* SoundDevice;
extern IDirectSoundBuffer* SoundPrimaryBuffer;
extern HMODULE SoundLibrary;
extern HWND SoundOwnerWindow;
extern int32_t SoundOwnerWindowCreated;

constexpr int32_t VOLUME_TABLE_ENTRIES = 101;
extern int32_t VolumeTable[VOLUME_TABLE_ENTRIES];
void sound_fill_volume_table();

constexpr int32_t SOUND_TABLE_SLOTS = 64;
constexpr const char* SOUND_OWNER_CLASS = "DuzididoroZiri Class";

int32_t sound_owner_window_create();
LRESULT sound_owner_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The entry a number or handle names, or null. Numbers never loaded and handles no longer
// in the table find nothing, instead of being taken as addresses.
SoundEntry* sound_find(intptr_t number);

IDirectSoundBuffer* sound_create_stream_buffer(int32_t channels, int32_t rate, int32_t bytes);

void sound_purge_instances(SoundEntry* entry);
int32_t sound_refill_half(SoundEntry* entry, uint32_t offset);
DWORD sound_stream_thread(void* entry);

typedef int32_t (*SoundBufferOperation)(IDirectSoundBuffer* buffer, int32_t argument);
int32_t sound_stop_buffer(IDirectSoundBuffer* buffer, int32_t argument);
int32_t sound_set_buffer_volume(IDirectSoundBuffer* buffer, int32_t volume);
void sound_for_each_buffer(SoundEntry* entry, SoundBufferOperation operation, int32_t argument);

// Refill thread constants.
constexpr DWORD SOUND_REFILL_POLL_MS = 10;
constexpr DWORD SOUND_PLAY_WAIT_MS = 10;
constexpr size_t SOUND_REFILL_STACK_BYTES = 8192;
