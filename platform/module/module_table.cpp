// The one library the program loads at run time: the audio output.
#include "platform/module/module_table.h"

#include "platform/audio/dsound_entry.h"

namespace {
const BuiltinExport dsound_exports[] = {
    {"DirectSoundCreate", reinterpret_cast<FARPROC>(&DirectSoundCreate)},
};
}  // namespace

const BuiltinModule builtin_modules[] = {
    {"DSOUND.DLL", dsound_exports, sizeof(dsound_exports) / sizeof(dsound_exports[0])},
};
const size_t builtin_module_count = sizeof(builtin_modules) / sizeof(builtin_modules[0]);
