// The audio output's entry point. Callers reach it through LoadLibraryA("DSOUND.DLL") and
// GetProcAddress(.., "DirectSoundCreate"); the module table and the tests name it directly.
#pragma once

#include "platform/audio/dsound.h"

// Opens the selected backend (audio_backend.h). device must be null or GUID_NULL (the
// default device), outer must be null. Fails with DSERR_NODRIVER, leaving *object null,
// when no audio output can be had.
HRESULT DirectSoundCreate(const GUID* device, IDirectSound** object, void* outer);
